#include "services/process.h"

#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <climits>
#endif

#include "services/codepage.h"

namespace sorvane {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

Text executablePath() {
#ifdef _WIN32
  char buffer[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return Text(std::string_view(buffer, n));
#else
  char buffer[PATH_MAX + 1] = {};
  ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return Text();
  return Text(std::string_view(buffer, static_cast<std::size_t>(n)));
#endif
}

SplitPath splitProgramPath(const Text& path) {
  const CodePage& cp = systemCodePage();
  std::string_view s = path.view();
  std::size_t lastSeparator = std::string_view::npos;
  for (std::size_t pos = 0; pos < s.size();) {
    std::size_t n = cp.charLength(s, pos);
    if (n == 0) break;
    if (n == 1 && s[pos] == kSeparator) lastSeparator = pos;
    pos += n;
  }
  if (lastSeparator == std::string_view::npos) return {Text(), path};
  return {Text(s.substr(0, lastSeparator)), Text(s.substr(lastSeparator + 1))};
}

bool setCurrentFolder(const Text& folder) {
  if (folder.empty()) return false;
#ifdef _WIN32
  return SetCurrentDirectoryA(folder.c_str()) != 0;
#else
  return chdir(folder.c_str()) == 0;
#endif
}

}  // namespace sorvane
