#pragma once
// The names the wide file calls get: full names with the prefix that lifts the
// old 260-character limit, so that a picture folder nested deep, and the
// temporary name beside a file near that limit, still work.

#include <optional>
#include <string>
#include <string_view>

namespace sorvane::platform::win32 {

// A full path ("C:\a\b", "\\server\share\b") made long-capable: "\\?\C:\a\b",
// "\\?\UNC\server\share\b". A device name or one already prefixed stays as it is.
std::wstring longPathName(const std::wstring& full);

// The name in the program's code page for a file call: nothing when a byte
// does not decode; a relative name as it is (the current folder resolves it);
// an absolute one tidied (separators, "." and "..", as the system would) and
// long-capable.
std::optional<std::wstring> systemFileName(std::string_view name);

// The full path the system makes of a name (against the current folder);
// nothing when it cannot.
std::optional<std::wstring> fullPathName(const std::wstring& name);

}  // namespace sorvane::platform::win32
