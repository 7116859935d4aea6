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

// Whether the desktop is composited (each top-level window draws into a
// surface of its own), asked of dwmapi.dll, which is loaded only here: false
// where the system has none or says no.
bool desktopComposited();

// Whether the whole of the window lies on one screen.
bool whollyOnScreen(HWND window);

// How a picture of the page is taken: by copying what the window shows, or
// by having the control draw its page into a bitmap of ours.
enum class PicturePath { Copy, Draw };

// The copy holds the page alone, as the person saw it, only on a composited
// desktop, where no other window and no screen edge cuts into the window's
// pixels, and only while the screen is ours to read; everywhere else the
// control draws the page.
PicturePath choosePicturePath(bool composited, bool onScreen, bool readable);

// A picture of `width` x `height` that `draw` paints into a memory DC over
// `bounds` (0, 0, width, height), for a window that draws itself. False,
// without a picture, where the memory for it is not there.
bool drawPixels(int width, int height, Pixels& out,
                const std::function<bool(HDC dc, const RECT& bounds)>& draw);

}  // namespace sorvane::platform::win32
