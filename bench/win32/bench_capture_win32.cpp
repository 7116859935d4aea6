// One capture of the browser area on Windows: GDI pixels of a 672 x 568 child
// window and the bitmap file image made from them, as the run's picture step
// does. Prints the median and the spread of 30 captures.
//
//   tests/win32/wine-run --display build-win64/bench/win32/bench_capture_win32.exe

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "capture/bmp.h"
#include "platform/win32/capture.h"

namespace {

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_ERASEBKGND) {
    RECT r;
    GetClientRect(window, &r);
    HBRUSH brush = CreateSolidBrush(RGB(0x20, 0x80, 0xC0));
    FillRect(reinterpret_cast<HDC>(w), &r, brush);
    DeleteObject(brush);
    return 1;
  }
  return DefWindowProcW(window, message, w, l);
}

void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

int main() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = windowProcedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"SorvaneBenchCapture";
  RegisterClassW(&wc);
  HWND top = CreateWindowExW(0, wc.lpszClassName, L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                             720, 640, nullptr, nullptr, wc.hInstance, nullptr);
  HWND view = CreateWindowExW(0, wc.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 0, 8, 672, 568, top,
                              nullptr, wc.hInstance, nullptr);
  if (!top || !view) return 1;
  for (int i = 0; i < 20; ++i) {
    pump();
    Sleep(10);
  }

  std::vector<double> ms;
  std::size_t bytes = 0;
  for (int i = 0; i < 30; ++i) {
    const auto began = std::chrono::steady_clock::now();
    sorvane::platform::Pixels pixels;
    if (!sorvane::platform::win32::captureWindowPixels(view, pixels)) return 2;
    bytes = sorvane::capture::encodeBmp(pixels).size();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began)
                     .count());
    pump();
  }
  std::sort(ms.begin(), ms.end());
  std::printf("capture of 672 x 568 (%zu bytes): median %.2f ms, min %.2f, max %.2f (30 runs)\n",
              bytes, ms[ms.size() / 2], ms.front(), ms.back());
  DestroyWindow(top);
  return 0;
}
