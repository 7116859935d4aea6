#pragma once
// Win32 backend: the pixels a window shows, through GDI.

#include <windows.h>

#include "platform/platform.h"

namespace sorvane::platform::win32 {

// The pixels `window` shows now, its whole window rectangle (nullptr: the whole
// primary screen), as platform::Pixels (top-down BGR rows, no padding). False when the
// window does not exist or cannot be read.
bool captureWindowPixels(HWND window, Pixels& out);

}  // namespace sorvane::platform::win32
