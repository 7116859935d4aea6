// The faults tests force on file names; empty, and so never consulted, in the
// program itself.

#include <map>
#include <string>

#include "services/files.h"

namespace sorvane {

namespace {

std::map<std::string, ForcedFault>& forced() {
  static std::map<std::string, ForcedFault> faults;
  return faults;
}

}  // namespace

void forceFileFault(const Text& name, ForcedFault fault) {
  if (fault == ForcedFault::None) {
    forced().erase(name.bytes());
  } else {
    forced()[name.bytes()] = fault;
  }
}

ForcedFault forcedFileFault(const Text& name) {
  if (forced().empty()) return ForcedFault::None;
  const auto it = forced().find(name.bytes());
  return it == forced().end() ? ForcedFault::None : it->second;
}

}  // namespace sorvane
