// Win32 backend: the pixels a window shows, through GDI.
//
// Links gdi32 and user32; dwmapi is looked up at run time. The window's own
// device context is copied, not a picture the window paints on request
// (PrintWindow): asked to paint itself, a window leaves out its child windows
// under some systems, and the browser's page lies entirely in a child window
// of the view. Where each top-level window draws into a surface of its own (a
// composited desktop, and Wine), the copy also leaves out a message box lying
// on top; an uncomposited desktop would put that box, or any other window on
// top, into the picture, so there the browser's view is drawn by the control
// instead (choosePicturePath).

#include "platform/win32/capture.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace sorvane::platform::win32 {

namespace {

struct WindowDc {
  HWND window;
  HDC dc;
  explicit WindowDc(HWND w) : window(w), dc(w ? GetWindowDC(w) : GetDC(nullptr)) {}
  ~WindowDc() {
    if (dc) ReleaseDC(window, dc);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
};

struct MemoryDc {
  HDC dc;
  explicit MemoryDc(HDC like) : dc(CreateCompatibleDC(like)) {}
  ~MemoryDc() {
    if (dc) DeleteDC(dc);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
};

template <typename Handle>
struct GdiObject {
  Handle handle;
  explicit GdiObject(Handle h) : handle(h) {}
  ~GdiObject() {
    if (handle) DeleteObject(handle);
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
};

// On a palette display the rows are read through the colours the screen
// shows now: the system palette, asked for 255 entries as the program always
// did. Elsewhere the stock palette changes nothing.
HPALETTE screenPalette(HDC screen, bool& owned) {
  owned = false;
  if (!(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE))
    return static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
  constexpr UINT kEntries = 255;
  std::vector<unsigned char> block(sizeof(LOGPALETTE) + kEntries * sizeof(PALETTEENTRY));
  auto* palette = reinterpret_cast<LOGPALETTE*>(block.data());
  palette->palVersion = 0x300;
  palette->palNumEntries =
      static_cast<WORD>(GetSystemPaletteEntries(screen, 0, kEntries, palette->palPalEntry));
  if (palette->palNumEntries == 0) return static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
  HPALETTE made = CreatePalette(palette);
  if (!made) return static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
  owned = true;
  return made;
}

bool toPixels(HBITMAP bitmap, int width, int height, Pixels& out) {
  WindowDc screen(nullptr);
  if (!screen.dc) return false;
  bool ownedPalette = false;
  GdiObject<HPALETTE> keep(nullptr);
  HPALETTE palette = screenPalette(screen.dc, ownedPalette);
  if (ownedPalette) keep.handle = palette;
  HPALETTE previous = SelectPalette(screen.dc, palette, FALSE);
  RealizePalette(screen.dc);

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  std::vector<std::uint8_t> rows(stride * static_cast<size_t>(height));
  const int read = GetDIBits(screen.dc, bitmap, 0, static_cast<UINT>(height), rows.data(), &info,
                             DIB_RGB_COLORS);
  if (previous) SelectPalette(screen.dc, previous, FALSE);
  if (read != height) return false;

  const size_t rowBytes = static_cast<size_t>(width) * 3;
  out.width = width;
  out.height = height;
  out.bgr.resize(rowBytes * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    std::memcpy(out.bgr.data() + rowBytes * y, rows.data() + stride * y, rowBytes);
  return true;
}

}  // namespace

bool captureWindowPixels(HWND window, Pixels& out) {
  int width = 0;
  int height = 0;
  if (window) {
    RECT r{};
    if (!IsWindow(window) || !GetWindowRect(window, &r)) return false;
    width = r.right - r.left;
    height = r.bottom - r.top;
  } else {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
  }
  if (width <= 0 || height <= 0) return false;
  if (window) RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);

  WindowDc source(window);
  if (!source.dc) return false;
  MemoryDc memory(source.dc);
  GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(source.dc, width, height));
  if (!memory.dc || !bitmap.handle) return false;
  HGDIOBJ previous = SelectObject(memory.dc, bitmap.handle);
  const bool copied = BitBlt(memory.dc, 0, 0, width, height, source.dc, 0, 0, SRCCOPY) != 0;
  SelectObject(memory.dc, previous);
  if (!copied) return false;
  return toPixels(bitmap.handle, width, height, out);
}

}  // namespace sorvane::platform::win32

namespace sorvane::platform::win32 {

bool windowPixelsReadable(HWND window) {
  if (!window || !IsWindow(window)) return false;
  if (IsIconic(GetAncestor(window, GA_ROOT))) return false;
  // A locked session shows the sign-in desktop, which this process may not open.
  HDESK input = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
  if (!input) return false;
  CloseDesktop(input);
  return true;
}

bool desktopComposited() {
  using IsComposited = HRESULT(WINAPI*)(BOOL*);
  // From the system's own folder, never one a planted DLL could sit in; kept
  // loaded, as composition can be switched while the program runs.
  static const IsComposited ask = []() -> IsComposited {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\dwmapi.dll";
    HMODULE dwm = LoadLibraryW(path.c_str());
    if (!dwm) return nullptr;
    return reinterpret_cast<IsComposited>(
        reinterpret_cast<void*>(GetProcAddress(dwm, "DwmIsCompositionEnabled")));
  }();
  BOOL on = FALSE;
  return ask && SUCCEEDED(ask(&on)) && on;
}

bool whollyOnScreen(HWND window) {
  RECT r{};
  if (!window || !GetWindowRect(window, &r)) return false;
  HMONITOR monitor = MonitorFromRect(&r, MONITOR_DEFAULTTONULL);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!monitor || !GetMonitorInfoW(monitor, &info)) return false;
  const RECT& screen = info.rcMonitor;
  return r.left >= screen.left && r.top >= screen.top && r.right <= screen.right &&
         r.bottom <= screen.bottom;
}

PicturePath choosePicturePath(bool composited, bool onScreen, bool readable) {
  return composited && onScreen && readable ? PicturePath::Copy : PicturePath::Draw;
}

bool drawPixels(int width, int height, Pixels& out,
                const std::function<bool(HDC dc, const RECT& bounds)>& draw) {
  if (width <= 0 || height <= 0) return false;
  // A bitmap like the screen's lives in the kernel's paged pool, which has
  // limits of its own, and its rows would be copied out twice more. A
  // section of ours, top-down at 32 bits, is memory of this process, and its
  // rows are read where they lie.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  GdiObject<HBITMAP> bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap.handle || !bits) return false;
  MemoryDc memory(nullptr);
  if (!memory.dc) return false;
  HGDIOBJ previous = SelectObject(memory.dc, bitmap.handle);
  const RECT bounds{0, 0, width, height};
  const bool drawn = draw(memory.dc, bounds);
  SelectObject(memory.dc, previous);
  GdiFlush();
  if (!drawn) return false;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<std::uint8_t> bgr;
  try {
    bgr.resize(count * 3);
  } catch (const std::bad_alloc&) {
    return false;  // the caller falls back to a smaller picture
  }
  const auto* from = static_cast<const std::uint8_t*>(bits);
  std::uint8_t* to = bgr.data();
  for (std::size_t i = 0; i < count; ++i, from += 4, to += 3) std::memcpy(to, from, 3);
  out.width = width;
  out.height = height;
  out.bgr = std::move(bgr);
  return true;
}

}  // namespace sorvane::platform::win32
