// The worker's end of its channel on POSIX systems. Linux needs no watcher
// (the engine's page processes can be ended from outside), so no child is
// started here.

#include <errno.h>
#include <unistd.h>

#include "services/child_process.h"

namespace sorvane {

bool writeOwnOutput(const std::string& bytes) {
  for (std::size_t at = 0; at < bytes.size();) {
    const ssize_t n = write(1, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace sorvane
