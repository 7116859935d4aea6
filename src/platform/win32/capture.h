#pragma once
// Win32 backend: the pixels a window shows, through GDI.

#include <windows.h>

#include <functional>

#include "platform/platform.h"

namespace sorvane::platform::win32 {

// The pixels `window` shows now, its whole window rectangle (nullptr: the whole
// primary screen), as platform::Pixels (top-down BGR rows, no padding). False when the
// window does not exist or cannot be read.
// The window and its children are brought up to date first, so the picture
// shows what was last drawn into them, not a frame still waiting to paint.
bool captureWindowPixels(HWND window, Pixels& out);

// False where the screen holds none of the window's pixels: its top-level
// window is minimised, or the session's input desktop is not ours (locked,
// or another user's).
bool windowPixelsReadable(HWND window);

// A picture of `width` x `height` that `draw` paints into a memory DC over
// `bounds` (0, 0, width, height), for a window that draws itself.
bool drawPixels(int width, int height, Pixels& out,
                const std::function<bool(HDC dc, const RECT& bounds)>& draw);

}  // namespace sorvane::platform::win32
