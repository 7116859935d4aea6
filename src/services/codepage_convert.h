#pragma once
// The native half of the code pages, defined once per system (codepage_posix.cpp
// with iconv; on Windows platform/win32/services/codepage.cpp with the system's
// conversion calls, linked in their place). Internal to services/.

#include <string>
#include <string_view>

#include "services/codepage.h"

namespace sorvane::detail {

// For multi-byte code pages other than UTF-8. A character that does not convert
// becomes U+FFFD; `cp` says how far to step over it.
std::string nativeToUtf8(const CodePage& cp, std::string_view text);
// A character the code page lacks, or a broken UTF-8 sequence, becomes '?'.
std::string nativeFromUtf8(const CodePage& cp, std::string_view utf8);

// The program's code page, 936 or 65001, fixed for the life of the process.
int nativeSystemCodePage();

}  // namespace sorvane::detail
