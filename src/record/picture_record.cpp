#include "record/picture_record.h"

#include <algorithm>
#include <cstdio>

#include "capture/picture_file.h"
#include "record/csv.h"
#include "services/codepage.h"
#include "services/conversions.h"
#include "services/files.h"
#include "services/own_text.h"

namespace sorvane::record {

namespace {

constexpr std::size_t kColumns = 5;

std::string rowText(const RecordRow& row) {
  return csvRow({recordTime(row.at).view(), row.url.view(), row.picture.view(), pageEndWord(row.end),
                 row.change.view()});
}

}  // namespace

const Text& recordFileName() { return ownText("截图记录.csv"); }

std::string recordHeader() {
  const Text& header = ownText("时间,网址,截图,结果,变化");
  return header.bytes() + "\r\n";
}

Text recordTime(DateTime at) {
  const CivilTime t = civilFromDateTime(at);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return Text(buffer);
}

Text changePictureName(const Text& picture) {
  const std::string& name = picture.bytes();
  const std::size_t dot = name.rfind('.');
  const std::size_t cut = dot == std::string::npos ? name.size() : dot;
  return Text(name.substr(0, cut)) + ownText("-变化") + Text(name.substr(cut));
}

Text Comparison::changeText() const {
  return change ? record::changeText(change->tenths) : Text("new");
}

PictureRecord::PictureRecord(KeepPictures keep, std::function<void(const Text&)> say)
    : keep_(keep), say_(std::move(say)), gallery_(say_) {}

PictureRecord::~PictureRecord() {
  // Closing the window in the middle of a run loses no row either.
  try {
    if (const std::optional<Text> note = endRun()) say_(*note);
  } catch (...) {
  }
}

bool PictureRecord::ensureLoaded(const Text& folder) {
  if (loadedFolder_ && *loadedFolder_ == folder) return state_ != State::Unusable;
  // Rows waiting for the record of a folder the run has left stay in their
  // file there.
  if (!waiting_.empty() && !(waitingFolder_ == folder)) {
    keepWaitingAside();
    if (const std::optional<Text> note = leaveWaitingAside()) say_(*note);
    waiting_.clear();
    asideName_.reset();
    asideRows_ = 0;
  }
  loadedFolder_ = folder;
  latest_.clear();
  lineEndOwed_ = false;
  appendFailed_ = false;
  state_ = load(folder);
  if (state_ == State::Unusable) {
    waiting_.clear();  // any in their file stay there
    asideName_.reset();
    asideRows_ = 0;
    return false;
  }
  takeUpWaiting(folder);
  for (const WaitingRow& row : waiting_) {
    if (!row.picture.empty()) latest_[row.url] = row.picture;
  }
  return true;
}

Text PictureRecord::sharedAsideName(const Text& folder) const {
  return folder + ownText("截图记录-") + toText(sharedStart_.value_or(DateTime{})) + Text(".csv");
}

void PictureRecord::takeUpWaiting(const Text& folder) {
  if (!sharedStart_) return;
  const Text name = sharedAsideName(folder);
  const ByteSet file = readFile(name);
  const std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
  std::deque<WaitingRow> rows;
  std::string bytes;
  const std::string header = recordHeader();
  if (text.starts_with(header)) {
    const CsvRead read =
        readCsv(text.substr(header.size()), [&](const std::vector<std::string>& fields) {
          if (fields.size() != kColumns) return false;
          rows.push_back({DateTime{},
                          csvRow({fields[0], fields[1], fields[2], fields[3], fields[4]}),
                          fields[1], fields[2]});
          return true;
        });
    // A row cut short by the end of the process that wrote it is not whole:
    // turned down, cut inside quotes, or read whole but without its line end.
    if (!rows.empty() && read.end == CsvEnd::Whole && !read.lastRowEnded) rows.pop_back();
    for (const WaitingRow& row : rows) bytes += row.bytes;
  }
  // Ended between its append to the record and the file's removal, the last
  // process left them in both.
  if (!rows.empty()) {
    const ByteSet record = readFile(folder + recordFileName());
    if (std::string_view(reinterpret_cast<const char*>(record.data()), record.size())
            .ends_with(bytes)) {
      rows.clear();
    }
  }
  // A row cut short goes from the file too, before others are added after it.
  if (rows.empty() && !file.empty()) {
    removeFile(name);
  } else if (!rows.empty() && text.size() != header.size() + bytes.size()) {
    writeFile(name, ByteSet::fromString(header + bytes));
  }
  // Rows of this process that its file held and that are gone from it now
  // went into the record meanwhile; those it never held still wait.
  const std::size_t inFile = rows.size();
  const std::size_t held = std::min(asideRows_, waiting_.size());
  rows.insert(rows.end(), waiting_.begin() + static_cast<std::ptrdiff_t>(held), waiting_.end());
  waiting_ = std::move(rows);
  asideRows_ = inFile;
  asideName_ = name;
  if (!waiting_.empty()) waitingFolder_ = folder;
}

PictureRecord::State PictureRecord::load(const Text& folder) {
  const Text path = folder + recordFileName();
  const FileRead file = readFileReporting(path);
  switch (file.fault) {
    case FileFault::None: break;
    case FileFault::Missing: return startNew(path);
    case FileFault::InUse: return State::Held;  // whole, only not ours to read now
    case FileFault::Failed: return setAside(folder, path);
  }
  const ByteSet& bytes = file.bytes;
  if (bytes.empty()) return startNew(path);

  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const std::string header = recordHeader();
  std::vector<std::string> headerFields;
  readCsv(header, [&](const std::vector<std::string>& fields) {
    headerFields = fields;
    return true;
  });
  bool first = true;
  std::size_t rows = 0;
  std::unordered_map<std::string, std::string> latest;
  const CsvRead read = readCsv(text, [&](const std::vector<std::string>& fields) {
    if (first) {
      first = false;
      return fields == headerFields;
    }
    ++rows;
    if (fields.size() != kColumns) return false;
    if (!fields[2].empty()) latest[fields[1]] = fields[2];
    return true;
  });
  // A row the program was writing when it was stopped (a crash, power lost)
  // is the only part that may be cut short: it is dropped, the rest kept.
  const bool torn =
      read.end == CsvEnd::CutShort ||
      (read.end == CsvEnd::Malformed && !read.lastRowEnded && rows > 0 && read.lastRowStart > 0);
  if (read.end == CsvEnd::Malformed && !torn) return setAside(folder, path);
  if (first) return setAside(folder, path);  // nothing read, not even a header
  // The rows this run has waiting are newer than any in the file.
  for (const WaitingRow& row : waiting_) {
    if (!row.picture.empty()) latest[row.url] = row.picture;
  }
  latest_ = std::move(latest);
  if (!torn) {
    lineEndOwed_ = !read.lastRowEnded;
    return State::Ready;
  }
  const ByteSet kept(bytes.data(), read.lastRowStart);
  const FileFault repaired = writeFileReporting(path, {&kept});
  if (repaired == FileFault::None) return State::Ready;
  if (repaired == FileFault::InUse) return State::Held;  // mended once it is free
  say_(ownText("截图记录无法写入，本次不记录：") + path);
  return State::Unusable;
}

PictureRecord::State PictureRecord::setAside(const Text& folder, const Text& path) {
  const Text stem = folder + ownText("截图记录-无法读取");
  Text asideName = stem + Text(".csv");
  for (std::int32_t n = 2; n < 1000; ++n) {
    if (renameToNewName(path, asideName)) {
      say_(ownText("截图记录无法读取，已改名为 ") + asideName + ownText("，另起新的记录"));
      return startNew(path);
    }
    if (!nameTaken(asideName)) break;
    asideName = stem + Text("(") + toText(n) + Text(").csv");
  }
  say_(ownText("截图记录无法读取，也无法改名，本次不记录：") + path);
  return State::Unusable;
}

PictureRecord::State PictureRecord::startNew(const Text& path) {
  const FileFault fault = appendToFileReporting(path, ByteSet::fromString(recordHeader()));
  if (fault == FileFault::None) {
    lineEndOwed_ = false;
    return State::Ready;
  }
  // Made by another program meanwhile, and held: read at the next row.
  if (fault == FileFault::InUse) return State::Held;
  say_(ownText("截图记录无法写入，本次不记录：") + path);
  return State::Unusable;
}

void PictureRecord::writeWaiting() {
  if (!loadedFolder_ || waiting_.empty()) return;
  const Text path = *loadedFolder_ + recordFileName();
  // Read again, as at the first page: another program may have changed it
  // (or left a row cut short) while it held it.
  if (state_ == State::Held) state_ = load(*loadedFolder_);
  while (state_ == State::Ready && !waiting_.empty()) {
    // Taken away during the run: a new record starts with its header.
    if (!nameTaken(path)) {
      state_ = startNew(path);
      continue;
    }
    // All in one append: they reach the record together or not at all, so
    // their file never holds rows the record has too.
    std::string bytes = lineEndOwed_ ? "\r\n" : "";
    for (const WaitingRow& row : waiting_) bytes += row.bytes;
    const FileFault fault = appendToFileReporting(path, ByteSet::fromString(bytes));
    if (fault == FileFault::InUse) {
      state_ = State::Held;
      break;
    }
    if (fault == FileFault::None) {
      lineEndOwed_ = false;
    } else if (!appendFailed_) {
      say_(ownText("截图记录无法写入：") + path);
      appendFailed_ = true;
    }
    waiting_.clear();
  }
  if (state_ == State::Unusable) {
    waiting_.clear();  // any in their file stay there
    asideName_.reset();
    asideRows_ = 0;
  }
}

void PictureRecord::keepWaitingAside() {
  if (waiting_.empty()) {
    if (asideName_ && asideRows_ > 0 && !removeFile(*asideName_) && nameTaken(*asideName_))
      say_(ownText("截图记录已写入，但无法删除另存的文件：") + *asideName_);
    asideRows_ = 0;
    if (!sharedStart_) asideName_.reset();
    return;
  }
  if (asideRows_ >= waiting_.size()) return;
  if (asideName_ && asideRows_ > 0) {
    std::string rows;
    for (std::size_t i = asideRows_; i < waiting_.size(); ++i) rows += waiting_[i].bytes;
    if (appendToFileReporting(*asideName_, ByteSet::fromString(rows)) == FileFault::None)
      asideRows_ = waiting_.size();
    return;
  }
  std::string rows = recordHeader();
  for (const WaitingRow& row : waiting_) rows += row.bytes;
  const ByteSet bytes = ByteSet::fromString(rows);
  // A run of its own takes a name nothing has; the processes of a shared run
  // all use the one its start gives.
  const Text stem =
      waitingFolder_ + ownText("截图记录-") + toText(runStartedAt_.value_or(waiting_.front().at));
  Text name = asideName_.value_or(stem + Text(".csv"));
  for (std::int32_t n = 2; n < 1000; ++n) {
    if (writeFile(name, bytes, WriteMode::NewOnly)) {
      asideName_ = name;
      asideRows_ = waiting_.size();
      return;
    }
    if (sharedStart_ || !nameTaken(name)) return;  // kept here, for one more try
    name = stem + Text("(") + toText(n) + Text(").csv");
  }
}

std::optional<Text> PictureRecord::leaveWaitingAside() {
  if (waiting_.empty()) return std::nullopt;
  const Text count = toText(static_cast<std::int32_t>(waiting_.size()));
  const Text held = ownText("截图记录正被其他程序使用，本次的 ") + count + ownText(" 行");
  if (!asideName_ || asideRows_ < waiting_.size())
    return held + ownText("无法写入：") + waitingFolder_ + recordFileName();
  const Text note = held + ownText("另存为 ") + *asideName_;
  waiting_.clear();
  asideRows_ = 0;
  if (!sharedStart_) asideName_.reset();
  return note;
}

std::optional<Text> PictureRecord::endRun() {
  // Another process of the run may have added rows to their file, or moved
  // them into the record.
  if (sharedStart_ && tellsFor_) {
    const Text folder = loadedFolder_.value_or(*tellsFor_);
    if (nameTaken(sharedAsideName(folder))) {
      readAgain();
      ensureLoaded(folder);
    } else {
      takeUpWaiting(folder);
    }
  }
  if (waiting_.empty()) return std::nullopt;
  if (loadedFolder_ && *loadedFolder_ == waitingFolder_) writeWaiting();
  keepWaitingAside();
  // A worker's rows wait for the next process of its run, which says where.
  if (sharedStart_ && !tellsFor_) return std::nullopt;
  return leaveWaitingAside();
}

std::optional<Text> PictureRecord::latestPicture(const Text& folder, const Text& url) {
  if (!ensureLoaded(folder)) return std::nullopt;
  const auto it = latest_.find(url.bytes());
  if (it == latest_.end()) return std::nullopt;
  return Text(it->second);
}

Comparison PictureRecord::compare(const Text& folder, const Text& url,
                                  const platform::Pixels& captured, const ByteSet& stored,
                                  ImageFormat format) {
  Comparison result;
  const std::optional<Text> earlierName = latestPicture(folder, url);
  if (!earlierName) return result;
  const ByteSet earlier = readFile(folder + *earlierName);
  if (earlier.empty()) return result;
  if (earlier == stored) {
    // The same encoder given the same pixels writes the same bytes.
    result.change = Change{};
  } else {
    const std::optional<platform::Pixels> before = capture::decodePicture(earlier);
    if (!before) return result;
    // A JPEG is compared as it will be seen, decoded: the same page saved
    // twice then differs nowhere, and its blocks' noise never counts.
    std::optional<platform::Pixels> seen;
    if (format == ImageFormat::Jpeg) seen = decodeJpeg(stored);
    const platform::Pixels& now = seen ? *seen : captured;
    result.change = Change{changeTenths(now, *before), {}};
    // Only a change is framed: an unchanged picture is spared the second pass.
    if (result.change->tenths != 0) result.change->areas = changedAreas(now, *before);
  }
  if (keep_ == KeepPictures::ChangedOnly && result.change->tenths == 0)
    result.keptEarlier = *earlierName;
  return result;
}

bool PictureRecord::saveChangePicture(const Text& picture, const platform::Pixels& captured,
                                      const Comparison& comparison, ImageFormat format) {
  if (!comparison.change || comparison.change->tenths == 0) return true;
  platform::Pixels framed = captured;
  frameAreas(framed, comparison.change->areas);
  const ByteSet bytes = capture::encodePicture(framed, format);
  return !bytes.empty() && writeFile(changePictureName(picture), bytes, WriteMode::NewOnly);
}

void PictureRecord::addRow(const Text& folder, const RecordRow& row) {
  if (!ensureLoaded(folder)) return;
  waitingFolder_ = folder;
  waiting_.push_back({row.at, rowText(row), row.url.bytes(), row.picture.bytes()});
  if (!row.picture.empty()) latest_[row.url.bytes()] = row.picture.bytes();
  writeWaiting();
  keepWaitingAside();
  gallery_.add(folder, row);
}

void PictureRecord::setEngine(const Text& name) {
  gallery_.setEngine(systemCodePage().toUtf8(name.bytes()));
}

}  // namespace sorvane::record
