// The process's own path and current folder on POSIX systems.

#include <unistd.h>

#include <climits>

#include "services/process.h"

namespace sorvane {

Text executablePath() {
  char buffer[PATH_MAX + 1] = {};
  ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return Text();
  return Text(std::string_view(buffer, static_cast<std::size_t>(n)));
}

bool setCurrentFolder(const Text& folder) {
  if (folder.empty()) return false;
  return chdir(folder.c_str()) == 0;
}

}  // namespace sorvane
