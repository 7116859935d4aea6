#pragma once
// The character walk of a code page: which bytes start a character and how long
// it is. Every service that walks characters goes through this.

#include <cstddef>
#include <string>
#include <string_view>

namespace sorvane {

class CodePage {
 public:
  virtual ~CodePage() = default;
  virtual int number() const = 0;  // 936, 65001
  // Bytes in the character that starts at text[pos] (pos < size). 0 when that
  // character is cut off by the end of the text (a dangling lead byte).
  virtual std::size_t charLength(std::string_view text, std::size_t pos) const = 0;
  // The encoded full-width space: A1 A1 in GBK, E3 80 80 in UTF-8.
  virtual std::string_view fullWidthSpace() const = 0;
  // toNumber's folding of one multi-byte character to an ASCII byte, or -1 to
  // keep it: full-width forms of 0x21..0x7E, the full-width space, the
  // full-width tilde and the two stars.
  virtual int foldToAscii(std::string_view character) const = 0;
  // Conversion at the edges. Bytes that do not convert become U+FFFD / '?'.
  virtual std::string toUtf8(std::string_view text) const = 0;
  virtual std::string fromUtf8(std::string_view utf8) const = 0;
};

const CodePage& gbkCodePage();   // 936
const CodePage& utf8CodePage();  // 65001
// Whether every character of the text is strict UTF-8 (no overlong forms, no
// surrogates, nothing cut off at the end).
bool isValidUtf8(std::string_view text);
// UTF-16 bytes (no byte-order mark) as UTF-8; a unit without its pair, and an
// odd last byte, become U+FFFD.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian);

// The process's code page: UTF-8 on Linux; on Windows GBK, or UTF-8 when that
// is the system's ANSI code page.
const CodePage& systemCodePage();

}  // namespace sorvane
