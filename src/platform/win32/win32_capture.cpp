// Win32 backend: the pixels a window shows, through GDI.

#include "platform/win32/win32_capture.h"

namespace sorvane::platform::win32 {

bool captureWindowPixels(HWND, Pixels&) { return false; }

}  // namespace sorvane::platform::win32
