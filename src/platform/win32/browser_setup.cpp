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

// Read at every start, not once at install: users rename the program.
void writeEmulationValue() {
  const std::wstring name = programFileName();
  if (name.empty()) return;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kEmulationKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  const DWORD mode = kEmulationMode;
  RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mode),
                 sizeof mode);
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
