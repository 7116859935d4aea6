#pragma once
// Addresses that name a script rather than a page.

#include <string_view>

namespace sorvane::platform {

// True for a "javascript:" or "vbscript:" address, in any case. A browser runs
// such an address against the page on show and loads nothing of its own, so
// in a list of pages it stands for a page with nothing to show. As a browser's
// address parser does, blanks and control characters before the scheme are
// skipped and tabs and line ends inside it are dropped.
inline bool isScriptAddress(std::string_view address) {
  std::size_t i = 0;
  while (i < address.size() && static_cast<unsigned char>(address[i]) <= 0x20) ++i;
  std::string_view schemes[] = {"javascript:", "vbscript:"};
  for (std::string_view scheme : schemes) {
    std::size_t j = i, k = 0;
    while (j < address.size() && k < scheme.size()) {
      const char c = address[j++];
      if (c == '\t' || c == '\n' || c == '\r') continue;
      const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
      if (lower != scheme[k]) break;
      ++k;
    }
    if (k == scheme.size()) return true;
  }
  return false;
}

}  // namespace sorvane::platform
