// The process's own path and current folder on Windows.

#include <windows.h>

#include <string>

#include "platform/win32/services/text.h"
#include "services/process.h"

namespace sorvane {

Text executablePath() {
  // Grow the buffer until the whole path fits: a path beyond MAX_PATH is cut
  // short (and reported as fitting) by the call.
  std::wstring buffer(MAX_PATH + 1, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (n == 0) return Text();
    if (n < size) {
      buffer.resize(n);
      break;
    }
    if (buffer.size() > 32768) return Text();
    buffer.resize(buffer.size() * 2);
  }
  // A folder the code page cannot name is no folder: a '?' in its place would
  // make some other folder current.
  const auto path = platform::win32::fromWideExact(buffer);
  return path ? Text(*path) : Text();
}

bool setCurrentFolder(const Text& folder) {
  if (folder.empty()) return false;
  const auto wide = platform::win32::toWideExact(folder.view());
  return wide && SetCurrentDirectoryW(wide->c_str()) != 0;
}

}  // namespace sorvane
