// How long one picture of the browser takes on Windows (or under Wine): the
// view of the program's size, hosting the system browser control, copied
// through GDI and encoded as the bitmap file image the run saves. Not a test:
// it prints figures and never fails on them.
//
//   capture_timing.exe [rounds]      (default 200)
//
// Build it by hand against the Windows build folder, e.g. for build-win64 (one
// command line):
//   x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -DUNICODE -DNOMINMAX -Isrc
//     tests/win32/capture_timing.cpp build-win64/libsorvane_win32.a
//     build-win64/libsorvane_core.a build-win64/libsorvane_services.a -static
//     -lole32 -loleaut32 -luuid -lgdi32 -luser32 -o build-win64/capture_timing.exe

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "capture/snapshot.h"
#include "platform/win32/win32_browser.h"
#include "platform/win32/win32_capture.h"

using namespace sorvane;
using namespace sorvane::platform;

namespace {

double nowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void settle() {
  for (int round = 0; round < 20; ++round) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(5);
  }
}

void report(const char* what, std::vector<double>& ms) {
  std::sort(ms.begin(), ms.end());
  double sum = 0;
  for (double m : ms) sum += m;
  std::printf("%-28s median %7.2f ms  mean %7.2f ms  p95 %7.2f ms  (%zu rounds)\n", what,
              ms[ms.size() / 2], sum / static_cast<double>(ms.size()),
              ms[ms.size() * 95 / 100], ms.size());
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  if (FAILED(OleInitialize(nullptr))) return 1;
  HWND top = CreateWindowExW(0, L"STATIC", L"capture timing", WS_POPUP | WS_VISIBLE, 0, 0, 700,
                             600, nullptr, nullptr, nullptr, nullptr);
  win32::BrowserHostPtr host = win32::createBrowserHost(
      top, Rect{0, 8, 672, 568}, WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_CLIPSIBLINGS, 1,
      BrowserSettings{});
  if (!host) return 1;
  HWND view = win32::browserHostWindow(*host);
  settle();

  std::vector<double> copy, encode, whole;
  Pixels pixels;
  for (int i = 0; i < rounds; ++i) {
    const double start = nowMs();
    if (!win32::captureWindowPixels(view, pixels)) return 1;
    const double copied = nowMs();
    ByteSet image = capture::encodeBmp(pixels);
    const double encoded = nowMs();
    copy.push_back(copied - start);
    encode.push_back(encoded - copied);
    whole.push_back(encoded - start);
    if (image.size() != 1145142u) return 1;
  }
  std::printf("picture %dx%d, %u bytes per file\n", pixels.width, pixels.height, 1145142u);
  report("GDI copy (captureWindowPixels)", copy);
  report("BMP encoding", encode);
  report("one picture", whole);

  std::vector<double> screen;
  for (int i = 0; i < std::min(rounds, 50); ++i) {
    const double start = nowMs();
    if (!win32::captureWindowPixels(nullptr, pixels)) return 1;
    screen.push_back(nowMs() - start);
  }
  std::printf("screen %dx%d\n", pixels.width, pixels.height);
  report("GDI copy of the screen", screen);

  host.reset();
  DestroyWindow(top);
  OleUninitialize();
  return 0;
}
