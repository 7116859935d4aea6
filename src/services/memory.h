#pragma once
// Running out of memory ends the program through the frame's fatal error path
// with "分配 N 字节内存失败!". Services reserve through here so that the
// byte count reaches the report.

#include <cstddef>
#include <new>

#include "services/values.h"

namespace sorvane {

using AllocationFailureHandler = void (*)(std::size_t bytes);
void setAllocationFailureHandler(AllocationFailureHandler handler);
[[noreturn]] void allocationFailed(std::size_t bytes);
Text allocationFailureMessage(std::size_t bytes);

// Runs build() and turns a std::bad_alloc out of it into allocationFailed(bytes),
// `bytes` being the size of the result the caller was about to make.
template <class Build>
auto guardAllocation(std::size_t bytes, Build&& build) -> decltype(build()) {
  try {
    return build();
  } catch (const std::bad_alloc&) {
    allocationFailed(bytes);
  }
}

}  // namespace sorvane
