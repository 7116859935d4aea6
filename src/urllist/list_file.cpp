#include "urllist/list_file.h"

#include "services/conversions.h"
#include "services/files.h"

namespace sorvane::urllist {

ByteSet encodeListFile(const TextArray& entries) {
  Text text;
  for (const Text& entry : entries) text += Text("\r\n") + entry;
  return toBytes(text);
}

TextArray decodeListFile(const ByteSet& bytes, const CodePage& cp) {
  const Text text = toText(bytes);
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
  // (std::filesystem would reinterpret the code page's bytes on Windows).
  const std::optional<std::uint64_t> size = readableFileSize(name);
  if (!size) return std::nullopt;
  ByteSet bytes = readFile(name);
  // readFile says nothing about failure: a file that had bytes a moment ago
  // and now gives none could not be read.
  if (bytes.empty() && *size != 0) return std::nullopt;
  return bytes;
}

}  // namespace sorvane::urllist
