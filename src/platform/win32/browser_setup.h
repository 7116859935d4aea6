#pragma once
// Win32 backend: what the system's browser engine reads about this program
// before its first control is made.

#include <optional>
#include <string>

namespace sorvane::platform::win32 {

// The user's per-program setting that lets the engine draw today's pages:
// HKCU\<kEmulationKey>, a value named after the program's file.
inline constexpr wchar_t kEmulationKey[] =
    L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
// Where the installed engine says its version.
inline constexpr wchar_t kEngineKey[] = L"Software\\Microsoft\\Internet Explorer";

// The installed engine's version text: svcVersion (newer engines keep their
// real version there and an old-style one in Version), else Version; empty
// when neither can be read.
std::wstring installedEngineVersion();

// The emulation value for an engine of this version ("11.0.9600.18036"): its
// major version x 1000, so that pages are drawn in that engine's own standards
// mode, kept to 8000 ... 11000, the values the engine documents. Nothing for
// an engine older than 8 (which knows no such value) or an unreadable text.
std::optional<unsigned long> emulationModeFor(const std::wstring& version);

// The file name the program runs under now, without its folder.
std::wstring programFileName();

// Writes the emulation value for the program's current file name and the
// installed engine, and turns the engine's navigation click off for this
// process. A failure, or an engine too old for the value, leaves the engine's
// defaults.
void prepareBrowserEngine();

}  // namespace sorvane::platform::win32
