// The pixels of a window through GDI, on a real (virtual) Win32 screen.

#include "platform/win32/capture.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace sorvane::platform::win32 {
namespace {

constexpr COLORREF kQuadrants = 0xFFFFFFFFu;

// Each window paints its client area in the colour kept in its user data;
// the large one splits it into four.
COLORREF quadrant(int x, int y, int width, int height) {
  const bool right = x >= width / 2;
  const bool bottom = y >= height / 2;
  if (!bottom) return right ? RGB(0, 200, 0) : RGB(230, 10, 20);
  return right ? RGB(0x56, 0x34, 0x12) : RGB(5, 6, 250);
}

LRESULT CALLBACK paintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_ERASEBKGND) return 1;
  if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client{};
  GetClientRect(window, &client);
  const auto solid = static_cast<COLORREF>(GetWindowLongPtrW(window, GWLP_USERDATA));
  for (int quarter = 0; quarter < 4; ++quarter) {
    const int w = client.right, h = client.bottom;
    RECT part{(quarter % 2) ? w / 2 : 0, (quarter / 2) ? h / 2 : 0, (quarter % 2) ? w : w / 2,
              (quarter / 2) ? h : h / 2};
    HBRUSH brush = CreateSolidBrush(solid != kQuadrants ? solid : quadrant(part.left, part.top, w, h));
    FillRect(dc, &part, brush);
    DeleteObject(brush);
  }
  EndPaint(window, &paint);
  return 0;
}

class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = paintProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"SorvaneCaptureTest";
    RegisterClassExW(&wc);
  }
  void TearDown() override {
    for (HWND w : made_)
      if (IsWindow(w)) DestroyWindow(w);
  }
  HWND make(HWND parent, int x, int y, int width, int height, COLORREF solid) {
    const DWORD style = (parent ? WS_CHILD : WS_POPUP) | WS_VISIBLE;
    HWND w = CreateWindowExW(parent ? 0 : WS_EX_TOPMOST | WS_EX_NOACTIVATE, L"SorvaneCaptureTest", L"", style, x, y,
                             width, height, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(w, GWLP_USERDATA, static_cast<LONG_PTR>(solid));
    InvalidateRect(w, nullptr, TRUE);
    made_.push_back(w);
    return w;
  }
  // Painting and Wine's trip through the X server both go through messages.
  static void settle() {
    for (int round = 0; round < 20; ++round) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      Sleep(10);
    }
  }
  std::vector<HWND> made_;
};

void expectPixel(const Pixels& p, int x, int y, COLORREF colour) {
  const size_t at = (static_cast<size_t>(y) * p.width + x) * 3;
  const std::uint8_t bgr[3] = {GetBValue(colour), GetGValue(colour), GetRValue(colour)};
  EXPECT_TRUE(p.bgr[at] == bgr[0] && p.bgr[at + 1] == bgr[1] && p.bgr[at + 2] == bgr[2])
      << "at " << x << "," << y << ": " << int(p.bgr[at + 2]) << " " << int(p.bgr[at + 1]) << " "
      << int(p.bgr[at]);
}

// An odd width gives rows that GDI pads: the picture must come without the
// padding, top row first, in blue-green-red order. The child is part of the
// picture of its parent.
TEST_F(CaptureTest, AWindowOfKnownColoursComesBackByteForByteWithItsChildren) {
  constexpr int kWidth = 61, kHeight = 37;
  HWND window = make(nullptr, 40, 30, kWidth, kHeight, kQuadrants);
  constexpr COLORREF kChildColour = RGB(0xAB, 0xCD, 0xEF);
  HWND child = make(window, 5, 4, 9, 6, kChildColour);
  UpdateWindow(window);
  settle();

  Pixels picture;
  ASSERT_TRUE(captureWindowPixels(window, picture));
  ASSERT_EQ(picture.width, kWidth);
  ASSERT_EQ(picture.height, kHeight);
  ASSERT_EQ(picture.bgr.size(), static_cast<size_t>(kWidth * kHeight * 3));
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const bool inChild = x >= 5 && x < 14 && y >= 4 && y < 10;
      expectPixel(picture, x, y, inChild ? kChildColour : quadrant(x, y, kWidth, kHeight));
      if (HasFailure()) return;
    }

  Pixels childPicture;
  ASSERT_TRUE(captureWindowPixels(child, childPicture));
  ASSERT_EQ(childPicture.width, 9);
  ASSERT_EQ(childPicture.height, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 9; ++x) expectPixel(childPicture, x, y, kChildColour);
}

// A message box of the run can be open above the main window when the dwell
// timer takes its picture: the picture is still the window's own.
TEST_F(CaptureTest, AnotherWindowOnTopStaysOutOfThePicture) {
  constexpr COLORREF kOwn = RGB(10, 120, 230);
  HWND window = make(nullptr, 100, 100, 40, 30, kOwn);
  HWND cover = make(nullptr, 110, 105, 50, 50, RGB(250, 250, 0));
  SetWindowPos(cover, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  settle();

  // The cover does lie on top there, as the screen shows.
  Pixels screen;
  ASSERT_TRUE(captureWindowPixels(nullptr, screen));
  expectPixel(screen, 120, 110, RGB(250, 250, 0));

  Pixels picture;
  ASSERT_TRUE(captureWindowPixels(window, picture));
  ASSERT_EQ(picture.width, 40);
  ASSERT_EQ(picture.height, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      expectPixel(picture, x, y, kOwn);
      if (HasFailure()) return;
    }
}

TEST_F(CaptureTest, AWindowThatIsGoneGivesNothingAndTheScreenGivesItsSize) {
  HWND window = make(nullptr, 0, 0, 20, 20, RGB(1, 2, 3));
  DestroyWindow(window);
  Pixels picture;
  picture.width = 5;
  EXPECT_FALSE(captureWindowPixels(window, picture));
  EXPECT_EQ(picture.width, 5);  // untouched

  ASSERT_TRUE(captureWindowPixels(nullptr, picture));
  EXPECT_EQ(picture.width, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(picture.height, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_EQ(picture.bgr.size(), static_cast<size_t>(picture.width) * picture.height * 3);
}

}  // namespace
}  // namespace sorvane::platform::win32
