// The native half of the code pages on POSIX systems: iconv. Windows has its
// own in platform/win32/services/codepage.cpp.

#include <errno.h>
#include <iconv.h>

#include "services/codepage_convert.h"

namespace sorvane::detail {

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

// File names, list files and toolkit texts are UTF-8 on any current Linux
// desktop; the locale is not asked, as it may be unset or "C".
int nativeSystemCodePage() { return 65001; }

}  // namespace sorvane::detail
