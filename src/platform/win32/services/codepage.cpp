// The native half of the code pages on Windows: the system's own conversion
// calls (through the same UTF-16 edge as every wide call), and the rule that
// picks the program's code page.

#include <windows.h>

#include <string>

#include "platform/win32/services/text.h"
#include "services/codepage_convert.h"

namespace sorvane::detail {

std::string nativeToUtf8(const CodePage& cp, std::string_view text) {
  return platform::win32::fromWideIn(utf8CodePage(), platform::win32::toWideIn(cp, text));
}

std::string nativeFromUtf8(const CodePage& cp, std::string_view utf8) {
  // Broken UTF-8 decodes to U+FFFD, which GBK lacks: it comes out as '?'.
  return platform::win32::fromWideIn(cp, platform::win32::toWideIn(utf8CodePage(), utf8));
}

// The list files and pictures a Chinese system already holds are GBK, so GBK
// is the program's page unless the system runs in UTF-8; on any other system
// (an English one, say) GBK still, so the Chinese captions and the comparison
// of the start button's caption keep working.
int nativeSystemCodePage() { return GetACP() == CP_UTF8 ? 65001 : 936; }

}  // namespace sorvane::detail
