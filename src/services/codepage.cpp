#include "services/codepage.h"

#include <cstdint>

#include "services/codepage_convert.h"

namespace sorvane {

namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD

unsigned char byteAt(std::string_view text, std::size_t pos) {
  return static_cast<unsigned char>(text[pos]);
}

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of a UTF-8 character as its lead byte announces it; 1 for ASCII, for a
// stray continuation byte and for bytes that can never lead.
std::size_t utf8LeadLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

// A strictly valid UTF-8 character at pos (no overlong forms, no surrogates,
// nothing above U+10FFFF): its length and code point, or 0.
std::size_t decodeUtf8(std::string_view text, std::size_t pos, char32_t& codePoint) {
  const unsigned char lead = byteAt(text, pos);
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  const std::size_t length = utf8LeadLength(lead);
  if (length == 1 || pos + length > text.size()) return 0;
  char32_t value = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byteAt(text, pos + i);
    if (!isContinuation(next)) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return 0;
  }
  codePoint = value;
  return length;
}

class GbkCodePage final : public CodePage {
 public:
  int number() const override { return 936; }

  // Every byte from 0x80 up leads a pair and takes the next byte with it, even
  // a backslash or a comma: that is how GBK hides 0x40..0x7E in second bytes.
  std::size_t charLength(std::string_view text, std::size_t pos) const override {
    if (byteAt(text, pos) < 0x80) return 1;
    return pos + 1 < text.size() ? 2 : 0;
  }

  std::string_view fullWidthSpace() const override { return "\xA1\xA1"; }

  int foldToAscii(std::string_view ch) const override {
    if (ch.size() != 2) return -1;
    const unsigned char first = byteAt(ch, 0), second = byteAt(ch, 1);
    if (first == 0xA3 && second >= 0xA1 && second <= 0xFE) return second - 0x80;
    if (first != 0xA1) return -1;
    switch (second) {
      case 0xA1:
        return ' ';
      case 0xAB:
        return '~';
      case 0xEE:
      case 0xEF:
        return '*';  // white and black star
      default:
        return -1;
    }
  }

  std::string toUtf8(std::string_view text) const override {
    return detail::nativeToUtf8(*this, text);
  }
  std::string fromUtf8(std::string_view utf8) const override {
    return detail::nativeFromUtf8(*this, utf8);
  }
};

class Utf8CodePage final : public CodePage {
 public:
  int number() const override { return 65001; }

  // The lead byte decides the length, provided the bytes after it really are
  // continuation bytes; anything else walks as a single byte, so one broken
  // sequence cannot swallow the ASCII that follows it.
  std::size_t charLength(std::string_view text, std::size_t pos) const override {
    const std::size_t length = utf8LeadLength(byteAt(text, pos));
    for (std::size_t i = 1; i < length; ++i) {
      if (pos + i >= text.size()) return 0;
      if (!isContinuation(byteAt(text, pos + i))) return 1;
    }
    return length;
  }

  std::string_view fullWidthSpace() const override { return "\xE3\x80\x80"; }

  int foldToAscii(std::string_view ch) const override {
    char32_t cp = 0;
    if (ch.size() < 2 || decodeUtf8(ch, 0, cp) != ch.size()) return -1;
    if (cp >= 0xFF01 && cp <= 0xFF5E) return static_cast<int>(cp - 0xFEE0);
    if (cp == 0x3000) return ' ';
    if (cp == 0x2605 || cp == 0x2606) return '*';
    return -1;
  }

  // Already UTF-8; only broken sequences need repair before they reach a
  // toolkit that insists on valid text.
  std::string toUtf8(std::string_view text) const override {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
      char32_t cp = 0;
      const std::size_t length = decodeUtf8(text, pos, cp);
      if (length == 0) {
        out.append(kReplacementUtf8);
        ++pos;
      } else {
        out.append(text.substr(pos, length));
        pos += length;
      }
    }
    return out;
  }

  std::string fromUtf8(std::string_view utf8) const override { return std::string(utf8); }
};

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t cp = 0;
    const std::size_t length = decodeUtf8(text, pos, cp);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  const auto unitAt = [&](std::size_t pos) -> char32_t {
    const unsigned char a = byteAt(bytes, pos), b = byteAt(bytes, pos + 1);
    return bigEndian ? (a << 8) | b : (b << 8) | a;
  };
  std::string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  for (; pos + 1 < bytes.size(); pos += 2) {
    const char32_t unit = unitAt(pos);
    if (unit >= 0xD800 && unit <= 0xDBFF && pos + 3 < bytes.size()) {
      const char32_t low = unitAt(pos + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        pos += 2;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      out.append(kReplacementUtf8);
    } else {
      appendUtf8(out, unit);
    }
  }
  if (pos < bytes.size()) out.append(kReplacementUtf8);
  return out;
}

const CodePage& gbkCodePage() {
  static const GbkCodePage page;
  return page;
}

const CodePage& utf8CodePage() {
  static const Utf8CodePage page;
  return page;
}

const CodePage& systemCodePage() {
  // Decided once: every text the program holds is in this page, so it must not
  // change under them.
  static const CodePage& page =
      detail::nativeSystemCodePage() == 936 ? gbkCodePage() : utf8CodePage();
  return page;
}

}  // namespace sorvane
