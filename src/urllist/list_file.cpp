#include "urllist/list_file.h"

#include <string>
#include <string_view>

#include "services/conversions.h"
#include "services/files.h"

namespace sorvane::urllist {

namespace {

bool hasNonAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

// The list as text in `cp`, however an editor saved it: Notepad writes UTF-8
// with a byte-order mark, or UTF-16 ("Unicode") with one; other editors write
// UTF-8 without; the Windows program exports GBK. Only what comes before the
// first zero character counts.
std::string listText(const ByteSet& bytes, const CodePage& cp) {
  std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const bool littleEndian = raw.starts_with("\xFF\xFE"), bigEndian = raw.starts_with("\xFE\xFF");
  if (littleEndian || bigEndian) {
    const std::string utf8 = utf16ToUtf8(raw.substr(2), bigEndian);
    return cp.fromUtf8(utf8.substr(0, utf8.find('\0')));
  }
  raw = raw.substr(0, raw.find('\0'));
  if (raw.starts_with("\xEF\xBB\xBF")) raw.remove_prefix(3);
  if (cp.number() == utf8CodePage().number()) {
    // Not UTF-8: a list the Windows program exported.
    return isValidUtf8(raw) ? std::string(raw) : gbkCodePage().toUtf8(raw);
  }
  // In a code page such as GBK, valid UTF-8 with anything beyond ASCII is
  // UTF-8: Chinese text in GBK almost never passes for it.
  if (hasNonAscii(raw) && isValidUtf8(raw)) return cp.fromUtf8(raw);
  return std::string(raw);
}

}  // namespace

ByteSet encodeListFile(const TextArray& entries) {
  Text text;
  for (const Text& entry : entries) text += Text("\r\n") + entry;
  return toBytes(text);
}

TextArray decodeListFile(const ByteSet& bytes, const CodePage& cp) {
  const Text text(listText(bytes, cp));
  const std::string_view in = text.view();
  TextArray lines;
  std::size_t lineStart = 0;
  bool afterCarriageReturn = false;
  // Walk by characters, so that a line break is never found inside a
  // double-byte character.
  for (std::size_t pos = 0; pos < in.size();) {
    const std::size_t length = cp.charLength(in, pos);
    if (length == 0) break;  // a dangling lead byte stays in the last line
    if (length == 1 && in[pos] == '\n') {
      const std::size_t lineEnd = afterCarriageReturn ? pos - 1 : pos;
      lines.emplace_back(in.substr(lineStart, lineEnd - lineStart));
      lineStart = pos + 1;
      afterCarriageReturn = false;
    } else {
      afterCarriageReturn = length == 1 && in[pos] == '\r';
    }
    pos += length;
  }
  if (lineStart < in.size()) lines.emplace_back(in.substr(lineStart));
  if (!lines.empty() && lines.front().empty()) lines.erase(lines.begin());
  return lines;
}

std::optional<ByteSet> readFileChecked(const Text& name) {
  if (name.empty()) return std::nullopt;
  // Through the file services, which hand the name to the system as it is
  // (std::filesystem would reinterpret the code page's bytes on Windows), and
  // read a list an editor still has open.
  FileRead read = readFileReporting(name);
  if (read.fault != FileFault::None) return std::nullopt;
  return std::move(read.bytes);
}

}  // namespace sorvane::urllist
