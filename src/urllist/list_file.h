#pragma once
// The address list file: every entry preceded by CR LF, raw bytes in the
// system code page, no terminator. Reading also takes the list as editors
// save it: UTF-8 with or without a byte-order mark, UTF-16 with one, and on
// a UTF-8 system the GBK that the Windows program exports.

#include <optional>

#include "services/codepage.h"
#include "services/values.h"

namespace sorvane::urllist {

ByteSet encodeListFile(const TextArray& entries);

// Only the text before the first zero character counts. Lines end in LF or CR LF
// (a CR alone is content); the first line is dropped only when it is empty,
// which it is in every file encodeListFile wrote; a line break at the very end
// adds no empty entry.
TextArray decodeListFile(const ByteSet& bytes, const CodePage& cp = systemCodePage());

// The whole file, or nothing when it cannot be read (missing, a folder, no
// permission). Unlike readFile, an empty file and a failure differ here.
std::optional<ByteSet> readFileChecked(const Text& name);

}  // namespace sorvane::urllist
