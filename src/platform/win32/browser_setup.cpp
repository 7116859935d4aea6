// Win32 backend: the engine's per-program settings. Links advapi32; urlmon is
// looked up at run time, so the program imports nothing beyond its usual DLLs.
//
// Without an emulation value the engine draws every page as it did in its
// 2006 mode and says so to the server, and most current pages come out broken
// or as an "upgrade your browser" page. GPU rendering is left as the system
// has it: the snapshot reads the window's pixels from the screen.

#include "platform/win32/browser_setup.h"

#include <urlmon.h>
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <vector>

namespace sorvane::platform::win32 {

std::wstring programFileName() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      std::wstring full(path.data(), length);
      const std::size_t slash = full.find_last_of(L"\\/");
      return slash == std::wstring::npos ? full : full.substr(slash + 1);
    }
    path.resize(path.size() * 2);  // a long path, cut short
  }
}

namespace {

std::wstring engineValue(const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEngineKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return {};
  wchar_t text[64] = {};
  DWORD type = 0;
  DWORD size = sizeof text - sizeof text[0];  // room for the end a value may lack
  const LONG read =
      RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || type != REG_SZ) return {};
  return text;
}

}  // namespace

std::wstring installedEngineVersion() {
  std::wstring version = engineValue(L"svcVersion");
  return version.empty() ? engineValue(L"Version") : version;
}

std::optional<unsigned long> emulationModeFor(const std::wstring& version) {
  unsigned long major = 0;
  std::size_t digits = 0;
  for (wchar_t c : version) {
    if (!std::iswdigit(c) || ++digits > 4) break;
    major = major * 10 + static_cast<unsigned long>(c - L'0');
  }
  if (digits == 0 || digits > 4 || major < 8) return std::nullopt;
  return std::min<unsigned long>(major, 11) * 1000;
}

namespace {

// Read at every start, not once at install: users rename the program, and
// the engine may have been updated since.
void writeEmulationValue() {
  const std::wstring name = programFileName();
  const std::optional<unsigned long> mode = emulationModeFor(installedEngineVersion());
  if (name.empty() || !mode) return;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kEmulationKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  const DWORD value = *mode;
  RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                 sizeof value);
  RegCloseKey(key);
}

// A run would otherwise click once per page.
void silenceNavigation() {
  HMODULE urlmon = LoadLibraryW(L"urlmon.dll");
  if (!urlmon) return;
  using SetFeature = HRESULT(WINAPI*)(INTERNETFEATURELIST, DWORD, BOOL);
  auto set = reinterpret_cast<SetFeature>(
      reinterpret_cast<void*>(GetProcAddress(urlmon, "CoInternetSetFeatureEnabled")));
  if (set) set(FEATURE_DISABLE_NAVIGATION_SOUNDS, SET_FEATURE_ON_PROCESS, TRUE);
  // urlmon stays loaded: the engine uses it for as long as the process runs.
}

}  // namespace

void prepareBrowserEngine() {
  writeEmulationValue();
  silenceNavigation();
}

}  // namespace sorvane::platform::win32
