#pragma once
// The edge between the program's texts and the wide Windows calls.

#include <optional>
#include <string>
#include <string_view>

namespace sorvane::platform::win32 {

// Text (bytes in the program's code page, see services/codepage.h) to UTF-16 and back.
std::wstring toWide(std::string_view text);                        // undecodable bytes become U+FFFD
std::string fromWide(std::wstring_view wide);                       // what the code page lacks becomes '?'
std::optional<std::string> fromWideExact(std::wstring_view wide);  // nullopt if anything is lost

}  // namespace sorvane::platform::win32
