#pragma once
// The Win32 desktop behind the platform seam. This header names no Windows
// type, so the program's start-up code stays free of system includes.

#include <memory>

#include "platform/platform.h"

namespace sorvane::platform::win32 {

// The Win32 desktop. OLE is initialised by the caller (main) before this is made.
std::unique_ptr<Platform> makeWin32Platform();

}  // namespace sorvane::platform::win32
