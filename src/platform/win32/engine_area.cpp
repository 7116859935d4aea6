// Win32 backend: the browser area when the pages come from our own engine
// (engine/, a browser in a process of its own). The area is a plain child
// window, created disabled as the layout says, that paints the latest pixels
// the engine drew: white until the first address, the engine's frames while
// a page loads and waits, and at a capture the picture taken. A picture
// wider than the area is shown scaled down to its width. Its pixels are ours,
// so what it shows is the same on a composited desktop or not, with other
// windows on top or not.
//
// The browser's answers are read by a thread of the process service; it only
// posts a notice to the timer window, and the engine reads them on this one.

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/win32/backend.h"

namespace sorvane::platform::win32 {

struct EngineArea {
  Pixels frame;  // rows top-down, blue, green, red
};

void EngineAreaDeleter::operator()(EngineArea* area) const { delete area; }

namespace {

constexpr wchar_t kAreaClassName[] = L"SorvaneEngineArea";

void paintArea(HWND window, const EngineArea* area) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client{};
  GetClientRect(window, &client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  if (area && area->frame.width > 0 && area->frame.height > 0) {
    const Pixels& f = area->frame;
    // DIB rows are padded to four bytes; ours are not.
    const int stride = (f.width * 3 + 3) & ~3;
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(stride) * f.height);
    for (int y = 0; y < f.height; ++y)
      std::copy_n(f.bgr.data() + static_cast<std::size_t>(y) * f.width * 3, f.width * 3,
                  rows.data() + static_cast<std::size_t>(y) * stride);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = f.width;
    info.bmiHeader.biHeight = -f.height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const int width = client.right - client.left;
    const double scale = f.width > width ? static_cast<double>(width) / f.width : 1.0;
    SetStretchBltMode(dc, HALFTONE);
    StretchDIBits(dc, 0, 0, static_cast<int>(f.width * scale), static_cast<int>(f.height * scale),
                  0, 0, f.width, f.height, rows.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  }
  EndPaint(window, &paint);
}

LRESULT CALLBACK areaProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  switch (message) {
    case WM_NCCREATE:
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(
                            reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      paintArea(window, reinterpret_cast<EngineArea*>(GetWindowLongPtrW(window, GWLP_USERDATA)));
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool registerAreaClass() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = areaProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kAreaClassName;
    return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

}  // namespace

HWND Win32Platform::makeEngineArea(Widget& w, const WidgetSpec& request, HWND parent, DWORD style,
                                   int controlId) {
  if (request.browser.version > 1 || !registerAreaClass()) return nullptr;
  w.area.reset(new EngineArea);
  EngineArea* area = w.area.get();
  const Rect& r = request.rect;
  HWND window = CreateWindowExW(0, kAreaClassName, L"", style, r.left, r.top, r.width, r.height,
                                parent, reinterpret_cast<HMENU>(INT_PTR{controlId}),
                                GetModuleHandleW(nullptr), area);
  if (!window) return nullptr;
  // The page keeps its own size where the area shows it scaled down.
  const bool attached = attachPage(idOf(window), std::max({r.width, request.pageWidth, 1}),
                                   std::max({r.height, request.pageHeight, 1}),
                                   [area, window](const Pixels& p) {
                                     area->frame = p;
                                     InvalidateRect(window, nullptr, FALSE);
                                   });
  if (!attached) {
    DestroyWindow(window);
    return nullptr;
  }
  watchEngine();
  return window;
}

// --- The engine's pipe on this thread ---------------------------------------

void Win32Platform::watchEngine() {
  engine::Browser* browser = pageEngine();
  if (!browser || watched_ == browser) return;
  unwatchEngine();
  BrowserProcess* process = browser->connection().process();
  if (!process || !timerWindow_) return;
  watched_ = browser;
  HWND notified = timerWindow_.get();
  process->setArrivalNotice([notified] { PostMessageW(notified, kEngineArrived, 0, 0); });
  // The deadlines of commands nobody answers pass without the pipe saying so.
  SetTimer(notified, kEngineTimer, 250, nullptr);
}

void Win32Platform::pumpEngine() {
  engine::Browser* browser = pageEngine();
  if (!browser || browser != watched_) return;
  guarded(0, [&] {
    browser->pump();
    return 0;
  });
  if (!browser->alive()) unwatchEngine();
}

void Win32Platform::unwatchEngine() {
  if (watched_ && pageEngine() == watched_ && watched_->alive())
    if (BrowserProcess* process = watched_->connection().process()) process->setArrivalNotice({});
  if (timerWindow_) KillTimer(timerWindow_.get(), kEngineTimer);
  watched_ = nullptr;
}

void usePageEngine(Platform& platform, engine::Browser* browser) {
  auto& win32 = static_cast<Win32Platform&>(platform);
  if (!browser) win32.unwatchEngine();
  win32.usePageEngine(browser);
}

}  // namespace sorvane::platform::win32
