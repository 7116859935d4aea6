#include "platform/win32/services/text.h"

#include <windows.h>

#include <algorithm>

#include "services/codepage.h"

namespace sorvane::platform::win32 {

namespace {

unsigned programCodePage() { return static_cast<unsigned>(systemCodePage().number()); }

// One strict conversion; nullopt when the bytes do not decode.
std::optional<std::wstring> decodeStrict(unsigned codePage, std::string_view text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int wideSize =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (wideSize <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), wideSize);
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

bool isSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Encodes; `lost` says whether a character had no exact counterpart.
std::string encode(unsigned codePage, std::wstring_view wide, bool& lost) {
  lost = false;
  if (wide.empty()) return {};
  if (codePage == CP_UTF8) {
    // UTF-8 carries everything but a stray half of a surrogate pair; the strict
    // flag finds those, and only then is the text repaired.
    const int size = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr,
                                          0, nullptr, nullptr);
    if (bytes > 0) {
      std::string out(static_cast<std::size_t>(bytes), '\0');
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, out.data(), bytes,
                          nullptr, nullptr);
      return out;
    }
    lost = true;
    std::wstring repaired(wide);
    for (std::size_t i = 0; i < repaired.size(); ++i) {
      const wchar_t c = repaired[i];
      if (!isSurrogate(c)) continue;
      if (c <= 0xDBFF && i + 1 < repaired.size() && repaired[i + 1] >= 0xDC00 &&
          repaired[i + 1] <= 0xDFFF) {
        ++i;
      } else {
        repaired[i] = L'?';
      }
    }
    bool ignored = false;
    return encode(CP_UTF8, repaired, ignored);
  }
  const std::wstring bmp = withoutSurrogates(wide);
  const bool hadSurrogates =
      std::any_of(wide.begin(), wide.end(), [](wchar_t c) { return isSurrogate(c); });
  const int size = static_cast<int>(bmp.size());
  BOOL usedDefault = FALSE;
  // No best fit: a character the page lacks becomes '?', never a look-alike
  // (a best-fit backslash in a path would change its meaning).
  const int bytes = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, bmp.data(), size, nullptr,
                                        0, "?", &usedDefault);
  if (bytes <= 0) {
    lost = true;
    return std::string(bmp.size(), '?');
  }
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, bmp.data(), size, out.data(), bytes, "?",
                      &usedDefault);
  lost = usedDefault != FALSE || hadSurrogates;
  return out;
}

}  // namespace

std::wstring toWideIn(const CodePage& page, std::string_view text) {
  const auto codePage = static_cast<unsigned>(page.number());
  if (auto whole = decodeStrict(codePage, text)) return *whole;
  // Something does not decode: go character by character along the code
  // page's own walk, so each broken character costs one U+FFFD and no more.
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t length = page.charLength(text, pos);
    if (length == 0) length = text.size() - pos;  // cut off by the end
    if (auto one = decodeStrict(codePage, text.substr(pos, length))) {
      out += *one;
    } else {
      out += L'\xFFFD';
    }
    pos += length;
  }
  return out;
}

std::string fromWideIn(const CodePage& page, std::wstring_view wide) {
  bool lost = false;
  return encode(static_cast<unsigned>(page.number()), wide, lost);
}

std::wstring toWide(std::string_view text) { return toWideIn(systemCodePage(), text); }

std::optional<std::wstring> toWideExact(std::string_view text) {
  return decodeStrict(programCodePage(), text);
}

std::string fromWide(std::wstring_view wide) { return fromWideIn(systemCodePage(), wide); }

std::optional<std::string> fromWideExact(std::wstring_view wide) {
  bool lost = false;
  std::string out = encode(programCodePage(), wide, lost);
  if (lost) return std::nullopt;
  return out;
}

}  // namespace sorvane::platform::win32
