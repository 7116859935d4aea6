#include "record/picture_record.h"

#include <cstdio>

#include "capture/picture_file.h"
#include "record/csv.h"
#include "services/conversions.h"
#include "services/files.h"
#include "services/own_text.h"

namespace sorvane::record {

namespace {

constexpr std::size_t kColumns = 5;

std::string rowText(const RecordRow& row) {
  return csvRow({recordTime(row.at).view(), row.url.view(), row.picture.view(), row.pageEnd.view(),
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

bool PictureRecord::ensureLoaded(const Text& folder) {
  if (loadedFolder_ && *loadedFolder_ == folder) return usable_;
  loadedFolder_ = folder;
  latest_.clear();
  lineEndOwed_ = false;
  appendFailed_ = false;
  usable_ = load(folder);
  return usable_;
}

bool PictureRecord::load(const Text& folder) {
  const Text path = folder + recordFileName();
  if (!nameTaken(path)) return startNew(path);
  const std::optional<std::uint64_t> size = readableFileSize(path);
  if (size && *size == 0) return startNew(path);
  const ByteSet bytes = size ? readFile(path) : ByteSet();
  if (bytes.empty()) return setAside(folder, path);

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
  if (torn) {
    const std::vector<std::uint8_t> kept(bytes.data(), bytes.data() + read.lastRowStart);
    if (!writeFile(path, ByteSet(kept))) {
      say_(ownText("截图记录无法写入，本次不记录：") + path);
      return false;
    }
  } else {
    lineEndOwed_ = !read.lastRowEnded;
  }
  latest_ = std::move(latest);
  return true;
}

bool PictureRecord::setAside(const Text& folder, const Text& path) {
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
  return false;
}

bool PictureRecord::startNew(const Text& path) {
  if (appendToFile(path, ByteSet::fromString(recordHeader()))) return true;
  say_(ownText("截图记录无法写入，本次不记录：") + path);
  return false;
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
    result.change = comparePictures(seen ? *seen : captured, *before);
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
  const Text path = folder + recordFileName();
  // Taken away during the run: a new record starts with its header.
  if (!nameTaken(path) && !startNew(path)) {
    usable_ = false;
    return;
  }
  std::string bytes = lineEndOwed_ ? "\r\n" : "";
  bytes += rowText(row);
  if (!appendToFile(path, ByteSet::fromString(bytes))) {
    if (!appendFailed_) say_(ownText("截图记录无法写入：") + path);
    appendFailed_ = true;
    return;
  }
  lineEndOwed_ = false;
  if (!row.picture.empty()) latest_[row.url.bytes()] = row.picture.bytes();
  gallery_.add(folder, row);
}

}  // namespace sorvane::record
