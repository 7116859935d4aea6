// The view's picture and its calls into the control, under a real Win32
// desktop: which way the picture is taken, and that the run leaves the
// control alone while it shows a box of its own.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "../support/loopback_server.h"
#include "app/control_model.h"
#include "capture/picture_file.h"
#include "harness.h"
#include "platform/win32/browser.h"
#include "platform/win32/browser_site.h"
#include "platform/win32/document.h"
#include "program_under_test.h"
#include "run/capture_folder.h"
#include "run/run.h"
#include "services/files.h"

namespace sorvane::win32test {
namespace {

namespace fs = std::filesystem;
using platform::win32::PictureConditions;
using platform::win32::PicturePath;

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

// Wine's control has no document to measure, so the document's size is
// given, at the view's size: the drawing's mechanics (the picture's size, the
// cut, the document measured again as the view grows, the view put back to
// its size and place, no GDI object left behind) are what shows here.
TEST_F(ViewPicture, TheWholeDocumentIsDrawnAtItsSizeAndTheViewPutBack) {
  using platform::win32::DocumentMeasure;
  auto fixed = [](std::optional<SIZE> size) -> DocumentMeasure {
    return [size](SIZE) { return size; };
  };
  // A section as tall as the view, at most `most`, over 1,000 pixels of text.
  auto viewTall = [](int most) -> DocumentMeasure {
    return [most](SIZE view) { return SIZE{view.cx, std::min<int>(view.cy, most) + 1000}; };
  };
  struct Case {
    const char* what;
    DocumentMeasure document;
    int width, height;
    bool cut;
  };
  const Case cases[] = {
      {"no document (as under Wine)", fixed(std::nullopt), 672, 568, false},
      {"one that fits the view", fixed(SIZE{300, 200}), 672, 568, false},
      {"a tall one", fixed(SIZE{672, 6000}), 672, 6000, false},
      {"a wide one", fixed(SIZE{1500, 900}), 1500, 900, false},
      {"one past the bound", fixed(SIZE{672, 40000}), 672, 20000, true},
      {"40,000 x 20,000", fixed(SIZE{40000, 20000}), 3840, 20000, true},
      {"20,000 x 40,000", fixed(SIZE{20000, 40000}), 3840, 20000, true},
      {"a section that stops growing", viewTall(1800), 672, 2800, false},
      {"one that grows with the view", viewTall(100000), 672, 4568, true},
  };
  HWND view = platform::win32::browserHostWindow(*host_);
  auto placeOf = [&] {
    RECT r{};
    GetWindowRect(view, &r);
    MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&r), 2);
    return platform::Rect{r.left, r.top, r.right - r.left, r.bottom - r.top};
  };
  const platform::Rect place = placeOf();
  const DWORD objects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::win32::browserHostMeasureDocument(*host_, c.document);
    const auto document = platform::win32::browserHostDocument(*host_, {3840, 20000});
    ASSERT_TRUE(document);
    EXPECT_EQ(std::pair(document->pixels.width, document->pixels.height),
              std::pair(c.width, c.height));
    EXPECT_EQ(document->pixels.bgr.size(), std::size_t(c.width) * c.height * 3);
    EXPECT_EQ(document->cut, c.cut);
    EXPECT_EQ(placeOf(), place);
  }
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), objects);
}

// Through the run's own capture step: the whole page is written at both
// bounds and said cut, and the view is back where the person saw it.
TEST(WholePage, APagePastTheBoundsIsWrittenCutWithTheViewBack) {
  ProgramUnderTest program;
  const WidgetId browser = program.control("互联网浏览器1").widget;
  platform::win32::BrowserHost* host =
      platform::win32::browserHostOfView(program.hwnd("互联网浏览器1"));
  ASSERT_NE(host, nullptr);
  const fs::path folder =
      fs::temp_directory_path() / ("sorvane-whole-" + std::to_string(GetTickCount()));
  fs::create_directories(folder);
  program.frame().writeText(program.control("编辑框1"), app::prop::editBox::content,
                            Text(folder.string() + "\\"));
  run::RunSettings& settings = program.run().settings;
  settings.fullPage = true;
  settings.pictureFormat = ImageFormat::Png;
  const platform::Rect place = ui().widgetRect(browser);
  for (const SIZE forced : {SIZE{40000, 20000}, SIZE{20000, 40000}}) {
    SCOPED_TRACE(forced.cx);
    platform::win32::browserHostMeasureDocument(*host, [forced](SIZE) { return forced; });
    const run::PageReport taken = run::capturePage(program.frame(), program.run(),
                                                   Text(folder.string() + "\\"), Text());
    ASSERT_TRUE(taken.written());
    EXPECT_TRUE(taken.cut);
    const std::optional<Pixels> written = capture::decodePicture(readFile(taken.picture));
    ASSERT_TRUE(written);
    EXPECT_EQ(std::pair(written->width, written->height), std::pair(3840, 20000));
    EXPECT_EQ(ui().widgetRect(browser), place);
  }
  fs::remove_all(folder);
}

// A browser area larger than the screen (1280 x 1024 here) is still pictured whole.
TEST(ViewSize, TheBrowserAreaHasTheSizeAskedForAndItsWholePicture) {
  for (const auto& [width, height] : {std::pair{1366, 768}, std::pair{1920, 1080}}) {
    SCOPED_TRACE(width);
    ProgramUnderTest program(std::pair{width, height});
    RECT r{};
    GetWindowRect(program.hwnd("互联网浏览器1"), &r);
    EXPECT_EQ(std::pair(int(r.right - r.left), int(r.bottom - r.top)), std::pair(width, height));
    const WidgetId browser = program.control("互联网浏览器1").widget;
    const std::optional<Pixels> shown = ui().capture(browser);
    ASSERT_TRUE(shown);
    EXPECT_EQ(std::pair(shown->width, shown->height), std::pair(width, height));
    const auto whole = ui().captureDocument(browser, 3840, 20000);
    ASSERT_TRUE(whole);
    EXPECT_EQ(std::pair(whole->pixels.width, whole->pixels.height), std::pair(width, height));
  }
}

// The control calls EnableModeless(FALSE) on its frame as it opens a box of
// its own and (TRUE) as it closes it; boxes nest. Wine's control opens none,
// so the calls are made here as the control makes them, while a run with a
// page time-out goes on through its polls, deadline and stop requests.
TEST(ControlModal, NoRunStepReachesTheControlWhileItShowsABox) {
  testing::LoopbackServer server([](const testing::Request&) {
    return testing::Response::page("Content-Type: text/html\r\n", "<p>page</p>");
  });
  auto requests = [&] { return server.requestLines().size(); };
  ProgramUnderTest program;
  for (const char* path : {"/a", "/b", "/c", "/d"})
    program.frame().vars().urlArray.push_back(
        Text("http://127.0.0.1:" + std::to_string(server.port()) + path));
  program.frame().writeText(program.control("编辑框3"), app::prop::editBox::content, Text("1"));
  program.run().settings.pageTimeoutMs = 1000;
  const WidgetId browser = program.control("互联网浏览器1").widget;
  platform::win32::BrowserHost* host =
      platform::win32::browserHostOfView(program.hwnd("互联网浏览器1"));
  ASSERT_NE(host, nullptr);
  IOleInPlaceFrame* frame = nullptr;
  ASSERT_EQ(platform::win32::browserHostSite(*host)->QueryInterface(
                IID_IOleInPlaceFrame, reinterpret_cast<void**>(&frame)),
            S_OK);

  SendMessageW(program.hwnd("按钮1"), BM_CLICK, 0, 0);  // 开始
  ASSERT_TRUE(pumpUntil([&] { return requests() > 0; }, 10000));
  frame->EnableModeless(FALSE);
  frame->EnableModeless(FALSE);  // a box from inside a box
  const int calls = platform::win32::browserHostCalls(*host);
  const std::size_t requested = requests();
  pumpFor(3000);  // past the page's deadline, the stop's grace and several polls
  frame->EnableModeless(TRUE);
  pumpFor(1200);
  EXPECT_TRUE(ui().browserBusy(browser));
  EXPECT_EQ(platform::win32::browserHostCalls(*host), calls);
  EXPECT_EQ(requests(), requested);

  // Both boxes closed: the run goes on to its next address.
  frame->EnableModeless(TRUE);
  EXPECT_TRUE(pumpUntil([&] { return requests() > requested; }, 10000));
  SendMessageW(program.hwnd("按钮1"), BM_CLICK, 0, 0);  // 停止
  frame->EnableModeless(TRUE);  // one too many changes nothing
  EXPECT_FALSE(platform::win32::browserHostModal(*host));
  frame->Release();
}

}  // namespace
}  // namespace sorvane::win32test
