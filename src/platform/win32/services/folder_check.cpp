// The folder check on Windows: is this a folder we can write pictures into.

#include <windows.h>

#include <optional>
#include <string>

#include "platform/win32/services/file_name.h"
#include "platform/win32/services/text.h"
#include "services/files.h"

namespace sorvane {

std::optional<Text> writableFolderPath(const Text& name) {
  if (name.empty()) return std::nullopt;
  const auto wide = platform::win32::toWideExact(name.view());
  if (!wide) return std::nullopt;
  const std::optional<std::wstring> fullName = platform::win32::fullPathName(*wide);
  if (!fullName) return std::nullopt;
  const std::wstring& full = *fullName;
  // Checked under its long-capable name: a folder nested past 260 characters
  // takes pictures like any other.
  const std::wstring system = platform::win32::longPathName(full);
  const DWORD attributes = GetFileAttributesW(system.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  // The read-only flag means nothing on a Windows folder and the rights are in
  // its access list: the one sure test is to make a file there, which goes as
  // soon as its handle is closed.
  std::wstring probe = system;
  if (probe.back() != L'\\' && probe.back() != L'/') probe += L'\\';
  probe += L"~sorvane-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  CloseHandle(file);
  DeleteFileW(probe.c_str());
  // A folder the code page cannot name cannot take a picture name either.
  const auto path = platform::win32::fromWideExact(full);
  if (!path) return std::nullopt;
  return Text(*path);
}

}  // namespace sorvane
