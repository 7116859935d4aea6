#include "platform/win32/services/browser_places.h"

#include <windows.h>

#include <array>
#include <atomic>
#include <vector>

#include "platform/win32/services/file_name.h"

namespace sorvane::platform::win32 {

namespace {

bool isFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(longPathName(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring environmentVariable(const wchar_t* name) {
  std::wstring value(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (n == 0) return {};
    if (n < value.size()) {
      value.resize(n);
      return value;
    }
    value.resize(n);
  }
}

std::wstring expanded(const std::wstring& text) {
  const DWORD n = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (n == 0) return text;
  std::wstring out(n, L'\0');
  if (ExpandEnvironmentStringsW(text.c_str(), out.data(), n) == 0) return text;
  out.resize(wcslen(out.c_str()));
  return out;
}

// An App Paths entry's default value: the program's full path, in quotes on
// some systems and with variables in it on others.
std::optional<std::wstring> appPath(HKEY root, REGSAM view, const wchar_t* exe) {
  const std::wstring name =
      std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\") + exe;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, name.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  std::wstring value;
  LSTATUS status = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size);
  if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
    value.assign(size / sizeof(wchar_t) + 1, L'\0');
    status = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                              &size);
  }
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || value.empty()) return std::nullopt;
  value.resize(wcslen(value.c_str()));  // a stored value need not end in NUL
  if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"')
    value = value.substr(1, value.size() - 2);
  if (type == REG_EXPAND_SZ) value = expanded(value);
  if (value.empty() || !isFile(value)) return std::nullopt;
  return value;
}

struct Browser {
  const wchar_t* exe;
  const wchar_t* underFolder;
};
constexpr std::array<Browser, 2> browsers{{
    {L"msedge.exe", L"Microsoft\\Edge\\Application\\msedge.exe"},
    {L"chrome.exe", L"Google\\Chrome\\Application\\chrome.exe"},
}};

std::optional<std::wstring> fromAppPaths(const wchar_t* exe) {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      if (auto path = appPath(root, view, exe)) return path;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::wstring> findInstalledBrowser() {
  for (const Browser& browser : browsers) {
    if (auto path = fromAppPaths(browser.exe)) return path;
  }
  // The installers' folders, for a browser whose App Paths entry is gone
  // (a per-user install that another user's clean-up tidied, a portable copy).
  for (const Browser& browser : browsers) {
    for (const wchar_t* variable :
         {L"ProgramFiles(x86)", L"ProgramW6432", L"ProgramFiles", L"LOCALAPPDATA"}) {
      const std::wstring folder = environmentVariable(variable);
      if (folder.empty()) continue;
      std::wstring path = folder;
      if (path.back() != L'\\') path += L'\\';
      path += browser.underFolder;
      if (isFile(path)) return path;
    }
  }
  return std::nullopt;
}

std::optional<std::wstring> findNamedBrowser(const std::wstring& name) {
  if (name.empty()) return std::nullopt;
  if (name.find_first_of(L"\\/:") != std::wstring::npos) {
    auto full = fullPathName(name);
    if (!full || !isFile(*full)) return std::nullopt;
    return full;
  }
  std::wstring found(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = SearchPathW(nullptr, name.c_str(), L".exe", static_cast<DWORD>(found.size()),
                                found.data(), nullptr);
    // Not on the path: where the Run box would find it ("msedge").
    if (n == 0) {
      const bool exe = name.size() > 4 && !_wcsicmp(name.c_str() + name.size() - 4, L".exe");
      return fromAppPaths((exe ? name : name + L".exe").c_str());
    }
    if (n < found.size()) {
      found.resize(n);
      break;
    }
    found.resize(n);
  }
  if (!isFile(found)) return std::nullopt;
  return found;
}

namespace {

// The profiles of copies of the program that were killed, and never came to
// their end, would pile up a browser's worth of files each: one whose process
// is gone is removed. One whose number a live process has now stays until
// that process is gone too.
void removeAbandonedProfiles(const std::wstring& base) {
  std::vector<std::wstring> abandoned;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((longPathName(base) + L"\\browser-*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const DWORD id = wcstoul(data.cFileName + 8, nullptr, 10);
    if (id == 0 || id == GetCurrentProcessId()) continue;
    // Gone: no such process, or one that has ended but is still held.
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    const bool gone = process ? WaitForSingleObject(process, 0) == WAIT_OBJECT_0
                              : GetLastError() == ERROR_INVALID_PARAMETER;
    if (process) CloseHandle(process);
    if (gone) abandoned.push_back(base + L"\\" + data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  for (const std::wstring& folder : abandoned) removeFolderTree(folder);
}

}  // namespace

std::optional<std::wstring> makeProfileFolder() {
  std::wstring base = environmentVariable(L"LOCALAPPDATA");
  if (base.empty()) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return std::nullopt;
    base.assign(temp, n);
  }
  if (base.back() != L'\\') base += L'\\';
  base += L"Sorvane";
  CreateDirectoryW(longPathName(base).c_str(), nullptr);  // there already, most times
  removeAbandonedProfiles(base);
  // Numbered by process and by start, so that two browsers of ours, or of two
  // copies of the program, never share a profile; a name left by a copy that
  // was killed is skipped rather than reused.
  static std::atomic<unsigned> started{0};
  for (int tries = 0; tries < 1000; ++tries) {
    const std::wstring folder = base + L"\\browser-" + std::to_wstring(GetCurrentProcessId()) +
                                L"-" + std::to_wstring(++started);
    if (CreateDirectoryW(longPathName(folder).c_str(), nullptr)) return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return std::nullopt;
  }
  return std::nullopt;
}

namespace {

void removeTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(child.c_str(), data.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
      const bool folder = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
      const bool link = data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
      if (folder && !link) {
        removeTree(child);
      } else if (folder) {
        RemoveDirectoryW(child.c_str());
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace

void removeFolderTree(const std::wstring& folder) {
  if (folder.empty()) return;
  // A profile's own names run deep: long-capable, past the old limit.
  removeTree(longPathName(folder));
}

}  // namespace sorvane::platform::win32
