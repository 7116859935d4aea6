#pragma once
// Win32 backend: what the system's browser engine reads about this program
// before its first control is made.

#include <string>

namespace sorvane::platform::win32 {

// The user's per-program setting that lets the engine draw today's pages:
// HKCU\<kEmulationKey>, a value named after the program's file.
inline constexpr wchar_t kEmulationKey[] =
    L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
// Standards pages in the newest mode; a page's own X-UA-Compatible and
// DOCTYPE are still honoured.
inline constexpr unsigned long kEmulationMode = 11000;

// The file name the program runs under now, without its folder.
std::wstring programFileName();

// Writes the emulation value for the program's current file name and turns
// the engine's navigation click off for this process. Writes one registry
// value and reads none; a failure leaves the engine's defaults.
void prepareBrowserEngine();

}  // namespace sorvane::platform::win32
