// The embedded engine, real, against pages served from 127.0.0.1.

#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include <cstdlib>
#include <filesystem>

#include "harness.h"
#include "../support/pictures.h"

namespace sorvane::gtktest {
namespace {

namespace fs = std::filesystem;

WidgetId browser() { return harness().browser; }

Pixels captureBrowser() {
  Pixels p = testing::captured(ui(), browser());
  return p;
}

void expectHalves(const Pixels& p) {
  ASSERT_EQ(p.width, 672);
  ASSERT_EQ(p.height, 568);
  ASSERT_EQ(p.bgr.size(), 672u * 568u * 3u);
  for (auto [x, y] : {std::pair{5, 5}, {200, 300}, {330, 560}})
    EXPECT_TRUE(near(pixelAt(p, x, y), 0xFF0000))
        << x << "," << y << " " << std::hex << pixelAt(p, x, y);
  for (auto [x, y] : {std::pair{342, 5}, {500, 300}, {666, 560}})
    EXPECT_TRUE(near(pixelAt(p, x, y), 0x0000FF))
        << x << "," << y << " " << std::hex << pixelAt(p, x, y);
}

// What busy does through a load and a failure is the seam suite's; here,
// the engine's own cases: settings it refuses, a name that does not resolve,
// an empty address.
TEST(Browser, BusyFollowsTheLoadThroughSuccessAndFailure) {
  WidgetSpec fresh;
  fresh.kind = WidgetKind::Browser;
  fresh.parent = harness().window;
  fresh.rect = {700, 8, 100, 100};
  fresh.browser.version = 2;
  EXPECT_EQ(ui().createWidget(fresh), 0u);

  auto started = std::chrono::steady_clock::now();
  ui().browserNavigate(browser(), harness().server.url("/halves"));
  EXPECT_TRUE(ui().browserBusy(browser()));
  EXPECT_TRUE(pumpUntil([] { return !ui().browserBusy(browser()); }, 15000));
  std::printf("first local page loaded in %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - started)
                                         .count()));

  ui().browserNavigate(browser(), "http://sorvane-test.invalid/");
  EXPECT_TRUE(ui().browserBusy(browser()));
  EXPECT_TRUE(pumpUntil([] { return !ui().browserBusy(browser()); }, 30000));

  ui().browserNavigate(browser(), "");
  EXPECT_TRUE(pumpUntil([] { return !ui().browserBusy(browser()); }, 15000));
}

// The engine's view is made when first needed. A browser that was never sent
// anywhere shows nothing of its own, only the window behind it, whether its
// picture is taken before the view is made or after.
TEST(Browser, BeforeAnyPageItShowsTheWindowBehindAndThenItsFirstPage) {
  WidgetSpec fresh;
  fresh.kind = WidgetKind::Browser;
  fresh.parent = harness().window;
  fresh.rect = {700, 8, 120, 100};
  fresh.visible = true;
  WidgetId late = ui().createWidget(fresh);
  ASSERT_NE(late, 0u);
  GtkWidget* outer = gtkOf(late);
  // Laid out means drawn too (both come in one frame); the view is made on
  // an idle turn of the loop after that.
  ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_allocated_width(outer) == 120; }, 3000));
  Pixels windowArea = testing::captured(ui(), harness().window);
  const unsigned behind = pixelAt(windowArea, 1065, 300);  // right of every control
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "as soon as it is on screen" : "a second later");
    Pixels p = testing::captured(ui(), late);
    ASSERT_EQ(p.width, 120);
    ASSERT_EQ(p.height, 100);
    for (auto [x, y] : {std::pair{0, 0}, {60, 50}, {119, 99}})
      EXPECT_EQ(pixelAt(p, x, y), behind) << x << "," << y << " " << std::hex << pixelAt(p, x, y);
    EXPECT_FALSE(ui().browserBusy(late));
    EXPECT_EQ(findDescendant(outer, WEBKIT_TYPE_WEB_VIEW) != nullptr, round == 1);
    pumpFor(1000);
  }
  ui().browserNavigate(late, harness().server.url("/solid/0000fe"));
  EXPECT_TRUE(ui().browserBusy(late));
  ASSERT_TRUE(pumpUntil([&] { return !ui().browserBusy(late); }, 15000));
  pumpFor(300);
  Pixels p = testing::captured(ui(), late);
  EXPECT_TRUE(near(pixelAt(p, 60, 50), 0x0000FF)) << std::hex << pixelAt(p, 60, 50);
  ui().destroyWidget(late);
}

// A page that names no character set reads as a Chinese reader's browser
// reads it: UTF-8 where its bytes are UTF-8, GBK otherwise.
TEST(Browser, PagesThatNameNoCharacterSetReadAsChinese) {
  for (const char* page : {"/unlabelled-gbk", "/unlabelled-utf8"}) {
    SCOPED_TRACE(page);
    ui().browserNavigate(browser(), harness().server.url(page));
    ASSERT_TRUE(pumpUntil([] { return !ui().browserBusy(browser()); }, 15000));
    pumpFor(300);
    const Pixels p = captureBrowser();
    EXPECT_TRUE(near(pixelAt(p, 336, 284), 0x00FF00)) << std::hex << pixelAt(p, 336, 284);
  }
}

TEST(Browser, CaptureShowsThePageAtTheControlsSize) {
  ASSERT_TRUE(loadPage(harness().server.url("/halves")));
  auto started = std::chrono::steady_clock::now();
  Pixels p = captureBrowser();
  auto took = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - started);
  std::printf("capture of the browser took %lld us\n", static_cast<long long>(took.count()));
  expectHalves(p);
  keepPicture(p, "browser-halves");
}

TEST(Browser, ALongPageShowsAClassicScrollBar) {
  ASSERT_TRUE(loadPage(harness().server.url("/long")));
  Pixels p = captureBrowser();
  keepPicture(p, "browser-long");
  EXPECT_TRUE(near(pixelAt(p, 300, 300), 0xFFFFFF));
  // A classic bar keeps its track, edged by a line, down the whole right side
  // (an overlay bar would leave the page white there).
  int edged = 0;
  for (int y = 100; y < 560; y += 10) {
    bool line = false;
    for (int x = 630; x < 672; ++x) line = line || !near(pixelAt(p, x, y), 0xFFFFFF, 4);
    edged += line;
  }
  EXPECT_EQ(edged, 46);
}

TEST(Browser, PageDialogsDownloadsAndNewWindowsOpenNothing) {
  size_t before = openDialogs().size();
  ASSERT_TRUE(loadPage(harness().server.url("/dialogs")));
  pumpFor(500);
  EXPECT_EQ(openDialogs().size(), before);
  // confirm() was answered with OK, so the script went on and painted green.
  EXPECT_TRUE(near(pixelAt(captureBrowser(), 300, 300), 0x00FF00));

  ASSERT_TRUE(loadPage(harness().server.url("/popup")));
  pumpFor(500);
  EXPECT_EQ(openDialogs().size(), before);
  EXPECT_EQ(harness().server.requests("/blue"), 0);

  ASSERT_TRUE(loadPage(harness().server.url("/download")));
  ASSERT_TRUE(loadPage(harness().server.url("/download-html")));
  pumpFor(1000);
  EXPECT_GE(harness().server.requests("/download"), 1);
  for (const auto& entry : fs::recursive_directory_iterator(harness().home))
    EXPECT_EQ(entry.path().filename().string().find("sorvane-download"), std::string::npos)
        << entry.path();
  for (const auto& entry : fs::directory_iterator(fs::current_path()))
    EXPECT_EQ(entry.path().filename().string().find("sorvane-download"), std::string::npos)
        << entry.path();
}

TEST(Browser, ThePageGetsNoClicksWheelOrKeys) {
  ASSERT_TRUE(loadPage(harness().server.url("/link")));
  int ox = 0, oy = 0;
  gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(mainGtkWindow())), &ox, &oy);
  // The middle of the browser, on the link that covers the whole page.
  std::string at = std::to_string(ox + 336) + " " + std::to_string(oy + 8 + 284);
  ASSERT_EQ(
      std::system(("xdotool mousemove " + at + " click 1 click 1 click 5 click 5 key End").c_str()),
      0);
  pumpFor(1000);
  EXPECT_EQ(harness().server.requests("/blue"), 0);
  EXPECT_FALSE(ui().browserBusy(browser()));
  Pixels p = captureBrowser();
  EXPECT_TRUE(near(pixelAt(p, 336, 284), 0xFF0000));
  auto* view = findDescendant(GTK_WIDGET(mainGtkWindow()), WEBKIT_TYPE_WEB_VIEW);
  EXPECT_FALSE(gtk_widget_has_focus(view));
  // Nor is it drawn as a disabled widget would be.
  EXPECT_TRUE(gtk_widget_is_sensitive(view));
}

TEST(Browser, ANewWebProcessTakesOverAfterACrash) {
  ASSERT_TRUE(loadPage(harness().server.url("/blue")));
  auto* view = WEBKIT_WEB_VIEW(findDescendant(GTK_WIDGET(mainGtkWindow()), WEBKIT_TYPE_WEB_VIEW));
  ASSERT_NE(view, nullptr);
  webkit_web_view_terminate_web_process(view);
  pumpFor(300);
  EXPECT_FALSE(ui().browserBusy(browser()));
  ASSERT_TRUE(loadPage(harness().server.url("/halves")));
  expectHalves(captureBrowser());
}

}  // namespace
}  // namespace sorvane::gtktest
