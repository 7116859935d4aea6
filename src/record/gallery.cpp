#include "record/gallery.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "record/csv.h"
#include "record/picture_record.h"
#include "services/codepage.h"
#include "services/files.h"
#include "services/own_text.h"

namespace sorvane::record {

namespace {

// Longer than any page takes between two rows of one run (a page that has no
// time-out and hangs longer is rare; splitting its run costs only a heading),
// shorter than the time between two runs of a daily job.
constexpr std::int64_t kRunGapSeconds = 10 * 60;

// Seconds since a fixed day for "2026-12-08 07:00:04"; nothing for any other text.
std::optional<std::int64_t> secondsOf(std::string_view t) {
  if (t.size() != 19) return std::nullopt;
  for (std::size_t i = 0; i < t.size(); ++i) {
    const bool digit = t[i] >= '0' && t[i] <= '9';
    const char separator = i == 4 || i == 7 ? '-' : i == 10 ? ' ' : i == 13 || i == 16 ? ':' : 0;
    if (separator ? t[i] != separator : !digit) return std::nullopt;
  }
  const auto field = [&](std::size_t at, std::size_t length) {
    std::int64_t n = 0;
    for (std::size_t i = at; i < at + length; ++i) n = n * 10 + (t[i] - '0');
    return n;
  };
  std::int64_t y = field(0, 4);
  const std::int64_t m = field(5, 2), d = field(8, 2);
  // Days from civil, counted from 1 March of year 0.
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = y / 400;
  const std::int64_t yearOfEra = y - era * 400;
  const std::int64_t dayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t days =
      era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return days * 86400 + field(11, 2) * 3600 + field(14, 2) * 60 + field(17, 2);
}

const CodePage& codePage() { return systemCodePage(); }

std::string utf8(std::string_view text) { return codePage().toUtf8(text); }

// The name a link takes: browsers read a link's escapes as UTF-8. Where the
// code page is UTF-8 the name's own bytes are used, so even a name that is not
// valid UTF-8 still finds its file.
std::string linkName(std::string_view name) {
  return codePage().number() == 65001 ? std::string(name) : utf8(name);
}

}  // namespace

const Text& galleryFileName() { return ownText("截图记录.html"); }

bool RunSplitter::startsRun(std::string_view time, const std::string& url) {
  const std::optional<std::int64_t> seconds = secondsOf(time);
  const std::size_t hash = std::hash<std::string>()(url);
  bool starts = first_ || urls_.contains(hash);
  if (seconds && lastSeconds_ &&
      (*seconds - *lastSeconds_ > kRunGapSeconds || *lastSeconds_ - *seconds > kRunGapSeconds))
    starts = true;
  if (starts) urls_.clear();
  urls_.insert(hash);
  if (seconds) lastSeconds_ = seconds;
  first_ = false;
  return starts;
}

Gallery::Gallery(std::function<void(const Text&)> say, std::size_t bound)
    : say_(std::move(say)), bound_(bound > 0 ? bound : 1) {}

Gallery::Page Gallery::page(const Text& folder, std::string_view time, const std::string& url,
                            const std::string& picture, std::optional<PageEnd> end,
                            std::string_view otherEnd,
                            const std::string& change, NoPicture why) const {
  html::Card c;
  c.time = utf8(time);
  c.url = utf8(url);
  c.picture = picture.empty() ? std::string() : linkName(picture);
  c.end = end;
  if (!end) c.otherEnd = utf8(otherEnd);
  c.change = utf8(change);
  c.why = why;
  const bool changed = !picture.empty() && html::changed(c.change);
  if (changed) {
    const Text framed = changePictureName(Text(picture));
    if (nameTaken(folder + framed)) c.changePicture = linkName(framed.bytes());
  }
  Page p;
  p.time = std::string(time);
  p.url = url;
  p.end = c.end;
  p.changed = changed;
  p.card = html::card(c);
  return p;
}

void Gallery::load(const Text& folder, const RecordRow& row) {
  loadedFolder_ = folder;
  pages_.clear();
  earlier_ = 0;
  nextStartsRun_ = true;
  failed_ = false;
  const ByteSet bytes = readFile(folder + recordFileName());
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());

  struct Fields {
    std::vector<std::string> f;
    bool startsRun = false;
  };
  // The latest rows, in a ring whose strings are reused row after row.
  std::vector<Fields> ring(bound_);
  std::size_t next = 0;
  splitter_ = RunSplitter();
  bool header = true;
  std::uint64_t rows = 0;
  // Rows up to the first one that is not the record's (the record sets aside
  // a file it cannot read, so that is at most a row cut off by a crash).
  readCsv(text, [&](const std::vector<std::string>& fields) {
    if (header) {
      header = false;
      return true;
    }
    if (fields.size() != 5) return false;
    ++rows;
    Fields& slot = ring[next];
    next = (next + 1) % ring.size();
    slot.f = fields;
    slot.startsRun = splitter_.startsRun(fields[0], fields[1]);
    return true;
  });
  const std::size_t start = rows >= ring.size() ? next : 0;  // the oldest row kept
  std::size_t kept = static_cast<std::size_t>(std::min<std::uint64_t>(rows, ring.size()));
  // The row just added is the record's last, unless it could not be written
  // there yet; it is added below as the run's own.
  if (kept > 0) {
    const std::vector<std::string>& last = ring[(next + ring.size() - 1) % ring.size()].f;
    if (last[0] == recordTime(row.at).bytes() && last[1] == row.url.bytes() &&
        last[2] == row.picture.bytes() && last[3] == pageEndWord(row.end) &&
        last[4] == row.change.bytes()) {
      --kept;
      --rows;
    }
  }
  earlier_ = rows - kept;
  for (std::size_t i = 0; i < kept; ++i) {
    const Fields& k = ring[(start + i) % ring.size()];
    pages_.push_back(page(folder, k.f[0], k.f[1], k.f[2], pageEndFromWord(k.f[3]), k.f[3], k.f[4],
                          NoPicture::Unknown));
    pages_.back().startsRun = k.startsRun;
  }
}

bool Gallery::add(const Text& folder, const RecordRow& row) {
  if (!loadedFolder_ || !(*loadedFolder_ == folder)) load(folder, row);
  const std::string time = recordTime(row.at).bytes();
  bool starts = nextStartsRun_;
  if (starts && continues_ && !pages_.empty()) starts = splitter_.startsRun(time, row.url.bytes());
  pages_.push_back(page(folder, time, row.url.bytes(), row.picture.bytes(), row.end, {},
                        row.change.bytes(), row.picture.empty() ? row.why : NoPicture::Unknown));
  pages_.back().startsRun = starts;
  pages_.back().engine = engine_;
  nextStartsRun_ = false;

  const std::string text = compose();
  const Text path = folder + galleryFileName();
  if (writeFile(path, ByteSet::fromString(text))) return true;
  if (!failed_) say_(ownText("截图记录网页无法写入：") + path);
  failed_ = true;
  return false;
}

std::string Gallery::compose() {
  // The runs shown, newest first: [from, to) in pages_, and whether the
  // run's earlier pages are left out.
  struct Shown {
    std::size_t from, to;
    bool cut;
  };
  std::vector<Shown> shown;
  std::size_t count = 0;
  for (std::size_t to = pages_.size(); to > 0;) {
    std::size_t from = to - 1;
    while (from > 0 && !pages_[from].startsRun) --from;
    const std::size_t n = to - from;
    if (shown.empty()) {
      // The newest run always shows, its latest pages when it has too many.
      const std::size_t first = n > bound_ ? to - bound_ : from;
      shown.push_back({first, to, first != from || !pages_[from].startsRun});
      count = to - first;
    } else {
      // An older run shows whole or not at all.
      if (!pages_[from].startsRun || count + n > bound_) break;
      shown.push_back({from, to, false});
      count += n;
    }
    to = from;
  }
  // What is not shown now never will be: runs only come after it.
  const std::size_t first = shown.empty() ? pages_.size() : shown.back().from;
  const std::size_t dropped = first;
  earlier_ += dropped;
  pages_.erase(pages_.begin(), pages_.begin() + static_cast<std::ptrdiff_t>(dropped));
  for (Shown& s : shown) {
    s.from -= dropped;
    s.to -= dropped;
  }

  std::string out = html::pageStart(shown.size(), count, earlier_);
  out.reserve(out.size() + count * 900);
  for (const Shown& s : shown) {
    html::RunCounts counts;
    for (std::size_t i = s.from; i < s.to; ++i) counts.count(pages_[i].end, pages_[i].changed);
    out += html::runStart(utf8(pages_[s.from].time), counts, s.cut, pages_[s.to - 1].engine);
    for (std::size_t i = s.from; i < s.to; ++i) out += pages_[i].card;
    out += html::runEnd();
  }
  out += html::pageEnd();
  return out;
}

}  // namespace sorvane::record
