#include "services/own_text.h"

#include <map>
#include <string>

#include "services/codepage.h"

namespace sorvane {

const Text& ownText(std::string_view utf8) {
  // Node-based: a returned reference stays valid as more texts are added.
  static std::map<std::string, Text, std::less<>> converted;
  if (auto it = converted.find(utf8); it != converted.end()) return it->second;
  return converted.emplace(std::string(utf8), Text(systemCodePage().fromUtf8(utf8)))
      .first->second;
}

}  // namespace sorvane
