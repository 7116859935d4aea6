#pragma once
// Running out of memory ends the program through the frame's fatal error path
// with "分配 N 字节内存失败!". Services reserve through here so that the
// byte count reaches the report.

#include <cstddef>

#include "services/values.h"

namespace sorvane {

using AllocationFailureHandler = void (*)(std::size_t bytes);
void setAllocationFailureHandler(AllocationFailureHandler handler);
[[noreturn]] void allocationFailed(std::size_t bytes);
Text allocationFailureMessage(std::size_t bytes);

}  // namespace sorvane
