#pragma once
// Where the browser is and where its profile goes, named in UTF-16 from the
// system's own wide calls: a path the code page cannot spell still works.

#include <optional>
#include <string>

namespace sorvane::platform::win32 {

// The first of Edge and Chrome this system has: their App Paths (the current
// user's, then the machine's, each in both registry views, since a 32-bit
// program sees only its own otherwise), then the folders they install to.
std::optional<std::wstring> findInstalledBrowser();

// A browser the user named: a path as it is, a bare name looked for as the
// system looks for programs, on the path and then in App Paths. Nothing when
// no such file is there.
std::optional<std::wstring> findNamedBrowser(const std::wstring& name);

// A fresh, empty folder for one browser's profile, under the user's local
// application data; nothing when none can be made.
std::optional<std::wstring> makeProfileFolder();

// Removes a folder and all in it. A link inside is removed, never followed:
// what it points to is not the profile's.
void removeFolderTree(const std::wstring& folder);

}  // namespace sorvane::platform::win32
