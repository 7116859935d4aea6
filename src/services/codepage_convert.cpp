#include "services/codepage_convert.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <iconv.h>
#endif

namespace sorvane::detail {

#ifndef _WIN32

namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD

const char* iconvName(int codePage) {
  switch (codePage) {
    case 936:
      return "GBK";
    case 65001:
      return "UTF-8";
    default:
      return nullptr;
  }
}

class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from)
      : handle_(to && from ? iconv_open(to, from) : invalid()) {}
  ~IconvHandle() {
    if (ok()) iconv_close(handle_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  bool ok() const { return handle_ != invalid(); }
  iconv_t get() const { return handle_; }

 private:
  static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
  iconv_t handle_;
};

// Converts `in`, putting `replacement` for each character that does not
// convert and stepping over it by the walk of `walk`.
std::string convert(const char* to, const char* from, std::string_view in,
                    std::string_view replacement, const CodePage& walk) {
  std::string out;
  IconvHandle cd(to, from);
  if (!cd.ok()) {
    // No converter installed: keep ASCII, which every code page here shares.
    for (std::size_t pos = 0; pos < in.size();) {
      const std::size_t length = walk.charLength(in, pos);
      if (length == 1 && static_cast<unsigned char>(in[pos]) < 0x80) {
        out.push_back(in[pos]);
      } else {
        out.append(replacement);
      }
      if (length == 0) break;
      pos += length;
    }
    return out;
  }

  std::size_t pos = 0;
  char buffer[4096];
  while (pos < in.size()) {
    char* inPtr = const_cast<char*>(in.data() + pos);
    std::size_t inLeft = in.size() - pos;
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft);
    const int error = errno;
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    pos = in.size() - inLeft;
    if (result != static_cast<std::size_t>(-1) || error == E2BIG) continue;
    out.append(replacement);
    if (error != EILSEQ) break;  // EINVAL: a character cut off by the end
    const std::size_t length = walk.charLength(in, pos);
    if (length == 0) break;
    pos += length;
  }
  char* outPtr = buffer;
  std::size_t outLeft = sizeof buffer;
  iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft);
  out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
  return out;
}

}  // namespace

std::string nativeToUtf8(const CodePage& cp, std::string_view text) {
  return convert("UTF-8", iconvName(cp.number()), text, kReplacementUtf8, cp);
}

std::string nativeFromUtf8(const CodePage& cp, std::string_view utf8) {
  return convert(iconvName(cp.number()), "UTF-8", utf8, "?", utf8CodePage());
}

#else  // _WIN32

namespace {

std::wstring toWide(unsigned codePage, std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int wideSize = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(wideSize > 0 ? wideSize : 0), L'\0');
  if (wideSize > 0) MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), wideSize);
  return wide;
}

std::string fromWide(unsigned codePage, const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  // CP_UTF8 takes no default character; the ANSI pages put '?' for what they lack.
  const char* defaultChar = codePage == CP_UTF8 ? nullptr : "?";
  const int bytes =
      WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, defaultChar, nullptr);
  std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) {
    WideCharToMultiByte(codePage, 0, wide.data(), size, out.data(), bytes, defaultChar, nullptr);
  }
  return out;
}

}  // namespace

std::string nativeToUtf8(const CodePage& cp, std::string_view text) {
  return fromWide(CP_UTF8, toWide(static_cast<unsigned>(cp.number()), text));
}

std::string nativeFromUtf8(const CodePage& cp, std::string_view utf8) {
  return fromWide(static_cast<unsigned>(cp.number()), toWide(CP_UTF8, utf8));
}

int ansiCodePageNumber() { return static_cast<int>(GetACP()); }

bool isAnsiLeadByte(int codePage, unsigned char byte) {
  return IsDBCSLeadByteEx(static_cast<unsigned>(codePage), byte) != 0;
}

#endif

}  // namespace sorvane::detail
