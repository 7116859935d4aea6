#pragma once
// The edge between the program's texts and the wide Windows calls, for the
// services' Windows half and the desktop backend alike.

#include <optional>
#include <string>
#include <string_view>

namespace sorvane {
class CodePage;
}

namespace sorvane::platform::win32 {

// Text (bytes in the program's code page, see services/codepage.h) to UTF-16 and back.
std::wstring toWide(std::string_view text);    // undecodable bytes become U+FFFD
std::string fromWide(std::wstring_view wide);  // what the code page lacks becomes '?'
std::optional<std::string> fromWideExact(std::wstring_view wide);  // nullopt if anything is lost
// For names handed to the system (paths): nullopt when a byte does not decode,
// so that a broken name never opens some other file.
std::optional<std::wstring> toWideExact(std::string_view text);

// The same conversions for any code page, not only the program's: the
// services' own conversion between code pages goes through UTF-16 here.
std::wstring toWideIn(const CodePage& page, std::string_view text);
std::string fromWideIn(const CodePage& page, std::wstring_view wide);

}  // namespace sorvane::platform::win32
