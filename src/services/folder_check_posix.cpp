// The folder check on POSIX systems: is this a folder we can write pictures into.

#ifndef _WIN32

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "services/files.h"

namespace sorvane {

namespace {

std::string currentDirectory() {
  std::vector<char> buffer(4096);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size())) return std::string(buffer.data());
    if (errno != ERANGE || buffer.size() > (1u << 20)) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

// Drops empty and "." segments. ".." stays: through a symbolic link it does not
// mean the lexical parent, and the kernel resolves it the same way later.
std::string tidy(const std::string& path) {
  std::string out;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    const std::string segment = path.substr(pos, slash - pos);
    if (!segment.empty() && segment != ".") out += "/" + segment;
    pos = slash + 1;
  }
  return out.empty() ? std::string("/") : out;
}

}  // namespace

std::optional<Text> writableFolderPath(const Text& name) {
  if (name.empty()) return std::nullopt;
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  // The effective ids, as a create would use them; a read-only mount fails
  // here too (EROFS), not only missing permission bits.
  if (::faccessat(AT_FDCWD, name.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return std::nullopt;
  if (name.bytes().front() == '/') return Text(tidy(name.bytes()));
  const std::string here = currentDirectory();
  if (here.empty()) return std::nullopt;
  return Text(tidy(here + "/" + name.bytes()));
}

}  // namespace sorvane

#endif  // _WIN32
