// The native half of the code pages on Windows: the system's own conversion
// calls, and the rule that picks the program's code page.

#include <windows.h>

#include <string>

#include "services/codepage_convert.h"

namespace sorvane::detail {

namespace {

std::wstring decode(unsigned codePage, std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int wideSize = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (wideSize <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), wideSize);
  return wide;
}

// GBK has no character beyond the first 65536: each pair of surrogates (and any
// stray half of one) becomes a single '?', as any other missing character does.
std::wstring withoutSurrogates(std::wstring_view wide) {
  std::wstring out;
  out.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const wchar_t c = wide[i];
    if (c < 0xD800 || c > 0xDFFF) {
      out.push_back(c);
      continue;
    }
    if (c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) ++i;
    out.push_back(L'?');
  }
  return out;
}

std::string encode(unsigned codePage, std::wstring wide) {
  if (wide.empty()) return {};
  if (codePage != CP_UTF8) wide = withoutSurrogates(wide);
  const int size = static_cast<int>(wide.size());
  // UTF-8 takes no default character; GBK puts '?' for what it lacks.
  const char* defaultChar = codePage == CP_UTF8 ? nullptr : "?";
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int bytes =
      WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, defaultChar, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), size, out.data(), bytes, defaultChar, nullptr);
  return out;
}

// One character at a time along the code page's walk, so that a byte sequence
// the system will not decode costs one U+FFFD and no more.
std::wstring decodeEach(const CodePage& cp, std::string_view text) {
  const auto codePage = static_cast<unsigned>(cp.number());
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t length = cp.charLength(text, pos);
    if (length == 0) length = text.size() - pos;
    const std::string_view one = text.substr(pos, length);
    const int size = static_cast<int>(one.size());
    wchar_t wide[4];
    const int got = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, one.data(), size, wide, 4);
    if (got > 0) {
      out.append(wide, static_cast<std::size_t>(got));
    } else {
      out.push_back(L'\xFFFD');
    }
    pos += length;
  }
  return out;
}

}  // namespace

std::string nativeToUtf8(const CodePage& cp, std::string_view text) {
  return encode(CP_UTF8, decodeEach(cp, text));
}

std::string nativeFromUtf8(const CodePage& cp, std::string_view utf8) {
  // Broken UTF-8 decodes to U+FFFD, which GBK lacks: it comes out as '?'.
  return encode(static_cast<unsigned>(cp.number()), decode(CP_UTF8, utf8));
}

// The list files and pictures a Chinese system already holds are GBK, so GBK
// is the program's page unless the system runs in UTF-8; on any other system
// (an English one, say) GBK still, so the Chinese captions and the comparison
// of the start button's caption keep working.
int nativeSystemCodePage() { return GetACP() == CP_UTF8 ? 65001 : 936; }

}  // namespace sorvane::detail
