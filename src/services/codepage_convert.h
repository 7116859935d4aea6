#pragma once
// The native half of the code pages: conversion at the edges (iconv on POSIX,
// the Windows conversion calls on Windows). Internal to services/.

#include <string>
#include <string_view>

#include "services/codepage.h"

namespace sorvane::detail {

// For multi-byte code pages other than UTF-8. A character that does not convert
// becomes U+FFFD; `cp` says how far to step over it.
std::string nativeToUtf8(const CodePage& cp, std::string_view text);
// A character the code page lacks, or a broken UTF-8 sequence, becomes '?'.
std::string nativeFromUtf8(const CodePage& cp, std::string_view utf8);

#ifdef _WIN32
int ansiCodePageNumber();
bool isAnsiLeadByte(int codePage, unsigned char byte);
#endif

}  // namespace sorvane::detail
