#include "services/memory.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "services/own_text.h"

namespace sorvane {

namespace {
AllocationFailureHandler failureHandler = nullptr;
}

void setAllocationFailureHandler(AllocationFailureHandler handler) { failureHandler = handler; }

void allocationFailed(std::size_t bytes) {
  if (failureHandler) failureHandler(bytes);
  // No handler yet (or it came back): there is no report box to show, so say
  // it on stderr, which needs no memory of its own.
  std::fprintf(stderr, "sorvane: out of memory allocating %zu bytes\n", bytes);
  std::abort();
}

Text allocationFailureMessage(std::size_t bytes) {
  return ownText("分配 ") + Text(std::to_string(bytes)) + ownText(" 字节内存失败!");
}

}  // namespace sorvane
