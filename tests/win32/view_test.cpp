// The view's picture and its calls into the control, under a real Win32
// desktop: which way the picture is taken, and that the run leaves the
// control alone while it shows a box of its own.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/control_model.h"
#include "harness.h"
#include "platform/win32/browser.h"
#include "platform/win32/browser_site.h"
#include "program_under_test.h"
#include "run/run_handlers.h"
#include "../support/loopback_server.h"

namespace sorvane::win32test {
namespace {

using platform::win32::PictureConditions;
using platform::win32::PicturePath;

TEST(PicturePath, OnlyAWhollyVisibleWindowOnAComposedDesktopIsCopied) {
  for (int bits = 0; bits < 8; ++bits) {
    const bool composited = bits & 1, onScreen = bits & 2, readable = bits & 4;
    EXPECT_EQ(platform::win32::choosePicturePath(composited, onScreen, readable),
              bits == 7 ? PicturePath::Copy : PicturePath::Draw)
        << bits;
  }
}

// The program's view in a window of its own, never activated so that the
// other suites keep the focus they expect.
class ViewPicture : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_ = CreateWindowExW(WS_EX_NOACTIVATE, L"STATIC", L"picture test", WS_POPUP | WS_VISIBLE,
                              0, 0, 700, 600, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent_, nullptr);
    host_ = platform::win32::createBrowserHost(parent_, {0, 8, 672, 568},
                                               WS_CHILD | WS_VISIBLE | WS_DISABLED, 7, {});
    ASSERT_TRUE(host_);
  }
  void TearDown() override {
    host_.reset();
    DestroyWindow(parent_);
  }
  HWND parent_ = nullptr;
  platform::win32::BrowserHostPtr host_;
};

// Wine's control draws no page, and Wine says its desktop is not composed:
// what shows here is that each path is the one chosen and gives a picture of
// the view's size.
TEST_F(ViewPicture, EachPathGivesAPictureOfTheViewsSize) {
  struct Case {
    const char* what;
    PictureConditions forced;
    int left;  // of the window holding the view
    PicturePath path;
  };
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const PicturePath systemPath =
      platform::win32::desktopComposited() ? PicturePath::Copy : PicturePath::Draw;
  const Case cases[] = {
      {"a composed desktop", {true, false}, 0, PicturePath::Copy},
      {"composition off", {false, false}, 0, PicturePath::Draw},
      {"as the system says", {std::nullopt, false}, 0, systemPath},
      {"partly beyond the screen's edge", {true, false}, screenWidth - 300, PicturePath::Draw},
      {"a copy that fails", {true, true}, 0, PicturePath::Draw},
  };
  HWND view = platform::win32::browserHostWindow(*host_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetWindowPos(parent_, nullptr, c.left, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    pumpFor(50);
    EXPECT_EQ(platform::win32::whollyOnScreen(view), c.left == 0);
    Pixels picture;
    EXPECT_EQ(platform::win32::browserHostPicture(*host_, picture, c.forced), c.path);
    EXPECT_EQ(picture.width, 672);
    EXPECT_EQ(picture.height, 568);
    EXPECT_EQ(picture.bgr.size(), std::size_t{672} * 568 * 3);
  }
}

// A run of the program over four pages of a loopback server, a second each.
struct PageRun {
  testing::LoopbackServer server{[](const testing::Request&) {
    return testing::Response::page("Content-Type: text/html\r\n", "<p>page</p>");
  }};
  ProgramUnderTest program;

  PageRun() {
    for (const char* path : {"/a", "/b", "/c", "/d"})
      program.frame().vars().urlArray.push_back(
          Text("http://127.0.0.1:" + std::to_string(server.port()) + path));
    program.frame().writeText(program.control("编辑框3"), app::prop::editBox::content, Text("1"));
  }
  std::size_t requests() const { return server.requestLines().size(); }
  void pressStartOrStop() { SendMessageW(program.hwnd("按钮1"), BM_CLICK, 0, 0); }
};

// A picture folder on a share that cannot be reached: the capture fails at
// once instead of numbering names for ever, and the run goes on.
TEST(CaptureFolder, AFolderThatGivesNoAnswerFailsThatPictureAndTheRunGoesOn) {
  PageRun pages;
  app::Frame& frame = pages.program.frame();
  frame.writeText(pages.program.control("编辑框1"), app::prop::editBox::content,
                  Text("\\\\sorvane-no-server\\share\\"));
  frame.writeInt(pages.program.control("选择框1"), app::prop::checkBox::checked, 1);
  EXPECT_FALSE(run::capturePage(frame).written);
  pages.pressStartOrStop();
  EXPECT_TRUE(pumpUntil([&] { return pages.requests() >= 2; }, 15000));
  pages.pressStartOrStop();
}

// The control calls EnableModeless(FALSE) on its frame as it opens a box of
// its own and (TRUE) as it closes it; boxes nest. Wine's control opens none,
// so the calls are made here as the control makes them, while a run with a
// page time-out goes on through its polls, deadline and stop requests.
TEST(ControlModal, NoRunStepReachesTheControlWhileItShowsABox) {
  PageRun pages;
  ProgramUnderTest& program = pages.program;
  program.frame().vars().pageTimeoutMs = 1000;
  const WidgetId browser = program.control("互联网浏览器1").widget;
  platform::win32::BrowserHost* host =
      platform::win32::browserHostOfView(program.hwnd("互联网浏览器1"));
  ASSERT_NE(host, nullptr);
  IOleInPlaceFrame* frame = nullptr;
  ASSERT_EQ(platform::win32::browserHostSite(*host)->QueryInterface(
                IID_IOleInPlaceFrame, reinterpret_cast<void**>(&frame)),
            S_OK);

  pages.pressStartOrStop();
  ASSERT_TRUE(pumpUntil([&] { return pages.requests() > 0; }, 10000));
  frame->EnableModeless(FALSE);
  frame->EnableModeless(FALSE);  // a box from inside a box
  const int calls = platform::win32::browserHostCalls(*host);
  const std::size_t requests = pages.requests();
  EXPECT_TRUE(ui().browserBusy(browser));
  // Past the page's deadline, the stop's grace and several polls.
  pumpFor(3000);
  frame->EnableModeless(TRUE);
  pumpFor(1200);
  EXPECT_TRUE(ui().browserBusy(browser));
  EXPECT_EQ(platform::win32::browserHostCalls(*host), calls);
  EXPECT_EQ(pages.requests(), requests);

  // Both boxes closed: the run goes on to its next address.
  frame->EnableModeless(TRUE);
  EXPECT_TRUE(pumpUntil([&] { return pages.requests() > requests; }, 10000));
  pages.pressStartOrStop();
  frame->EnableModeless(TRUE);  // one too many changes nothing
  EXPECT_FALSE(platform::win32::browserHostModal(*host));
  frame->Release();
}

}  // namespace
}  // namespace sorvane::win32test
