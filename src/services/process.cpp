#include "services/process.h"

#include <string_view>

#include "services/codepage.h"

namespace sorvane {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

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

}  // namespace sorvane
