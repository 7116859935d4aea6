// The browse run and the capture step on the simulated platform: timelines on
// the virtual clock, the capture folder and the screenshot names.

#include "program_fixture.h"
#include "run/capture_folder.h"
#include "run/run.h"

namespace sorvane::testing {
namespace {

// The run is over: the box at that instant, the caption back, both timers off.
void expectEnded(Program& p, const char* text, std::int64_t atMs) {
  ASSERT_FALSE(p.sim.boxes().empty());
  expectBox(p.sim.boxes().back(), text);
  EXPECT_EQ(p.sim.boxes().back().openedAtMs, atMs);
  EXPECT_EQ(p.text("按钮1"), "开始");
  EXPECT_EQ(p.period("时钟1"), 0);
  EXPECT_EQ(p.period("时钟2"), 0);
}

// 开始 on two addresses, whole pages into a chosen folder.
void startWholePageRun(Program& p) {
  p.run.settings.fullPage = true;
  p.chooseFolder(p.folder());
  p.add({"http://a/", "http://b/"});
  p.click("按钮1");
}

TEST(Run, OneAddressLoadsCapturesAndEnds) {
  Program p;
  p.sim.setLocalTime({2026, 12, 7, 9, 5, 0});
  p.chooseFolder(p.folder());
  p.add({"http://a/"});
  p.click("按钮1");
  EXPECT_EQ(p.text("按钮1"), "停止");
  p.sim.advanceTo(999);
  EXPECT_TRUE(p.sim.navigations().empty());
  p.sim.advanceTo(1000);
  EXPECT_EQ(p.navigated(), Strings{"http://a/"});
  EXPECT_EQ(p.text("标签2"), "载入状态：正在载入");
  EXPECT_EQ(p.period("时钟1"), 0);
  EXPECT_EQ(p.period("时钟2"), 5000);

  p.sim.advanceTo(5999);
  EXPECT_TRUE(p.filesInFolder().empty());
  p.sim.advanceTo(6000);
  ASSERT_EQ(p.filesInFolder(), Strings{"2026年12月7日9时5分6秒.jpg"});
  // A bitmap of the page on show, whatever the name says.
  const std::string picture = readBytes(p.file("2026年12月7日9时5分6秒.jpg"));
  const sim::Rgb page = p.sim.pageColour("http://a/");
  EXPECT_EQ(picture.substr(0, 2), "BM");
  EXPECT_EQ(picture.substr(54, 3), std::string({char(page.b), char(page.g), char(page.r)}));
  EXPECT_EQ(p.period("时钟1"), 1000);
  EXPECT_TRUE(p.sim.boxes().empty());

  p.sim.advanceTo(7000);
  expectEnded(p, "连续访问结束", 7000);
  EXPECT_EQ(p.text("标签2"), "载入状态：正在载入");
  p.sim.advance(60000);
  EXPECT_EQ(p.sim.boxes().size(), 1u);
  EXPECT_EQ(p.sim.navigations().size(), 1u);
}

// Drawing a whole page may run the engine's loop: a dwell or poll tick then
// starts no second picture and sends no address, and 停止, 开始 or 清空网址
// pressed meanwhile leave the run where they put it.
TEST(Run, WhatHappensWhileAWholePageIsDrawnLeavesTheRunAsItShouldBe) {
  struct Row {
    const char* what;
    std::vector<const char*> pressed;
    const char* tick;         // the timer that ticks meanwhile
    Strings navigatedBy8s;    // a second run starts again at the first address
    std::int32_t poll;        // 时钟1's period at 8 s
    const char* caption;
  };
  const Row rows[] = {
      {"a dwell tick", {}, "时钟2", {"http://a/", "http://b/"}, 0, "停止"},
      {"停止", {"按钮1"}, "时钟2", {"http://a/"}, 0, "开始"},
      {"清空网址", {"按钮5"}, "时钟2", {"http://a/"}, 0, "停止"},
      {"停止 and 开始, then a poll tick", {"按钮1", "按钮1"}, "时钟1",
       {"http://a/", "http://a/"}, 0, "停止"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Program p;
    startWholePageRun(p);
    std::size_t sentWhileDrawing = 0;
    p.sim.whileDrawingDocument = [&] {
      // The closure ends on the line after these: nothing captured is used
      // past it.
      Program& q = p;
      const Row& r = row;
      std::size_t& sent = sentWhileDrawing;
      q.sim.whileDrawingDocument = nullptr;
      const std::size_t before = q.sim.navigations().size();
      for (const char* button : r.pressed) q.sim.click(q.frame.controlNamed(button).widget);
      q.frame.raiseEvent(&q.frame.controlNamed(r.tick), app::event::tick);
      sent = q.sim.navigations().size() - before;
    };
    p.sim.advanceTo(8000);
    EXPECT_EQ(p.sim.captureCount(), 1);
    EXPECT_EQ(sentWhileDrawing, 0u);
    EXPECT_EQ(p.navigated(), row.navigatedBy8s);
    EXPECT_EQ(p.text("按钮1"), row.caption);
    if (!row.pressed.empty()) EXPECT_EQ(p.period("时钟1"), row.poll);
    EXPECT_TRUE(p.sim.boxes().empty());
  }
}

TEST(Run, BusyPageWaitsForTheNextDwellTick) {
  Program p;
  p.chooseFolder(p.folder());
  p.sim.scriptLoad("http://slow/", {7000});  // busy from 1 s to 8 s
  p.add({"http://slow/", "http://b/"});
  p.click("按钮1");
  p.sim.advanceTo(6000);
  EXPECT_EQ(p.sim.captureCount(), 0);
  p.sim.advanceTo(11000);
  EXPECT_EQ(p.sim.captureCount(), 1);
  p.sim.advanceTo(12000);
  ASSERT_EQ(p.sim.navigations().size(), 2u);
  EXPECT_EQ(p.sim.navigations()[1].atMs, 12000);
  // Writing the same pause again keeps 时钟2's phase: the next tick is 11 s + 5 s.
  p.sim.advanceTo(15999);
  EXPECT_EQ(p.sim.captureCount(), 1);
  p.sim.advanceTo(16000);
  EXPECT_EQ(p.sim.captureCount(), 2);
  p.sim.advanceTo(17000);
  expectEnded(p, "连续访问结束", 17000);
}

TEST(Run, StopThenStartBeginsAgainAtTheFirstAddress) {
  Program p;
  p.add({"a", "b"});
  p.click("按钮1");
  p.sim.advanceTo(2000);
  p.click("按钮1");
  EXPECT_EQ(p.text("按钮1"), "开始");
  EXPECT_EQ(p.period("时钟1") + p.period("时钟2"), 0);
  EXPECT_EQ(p.run.nextIndex, 2);
  p.sim.advanceTo(30000);
  EXPECT_EQ(p.navigated(), Strings{"a"});
  p.click("按钮1");
  p.sim.advanceTo(31000);
  EXPECT_EQ(p.navigated(), (Strings{"a", "a"}));
  EXPECT_TRUE(p.sim.boxes().empty());
}

// Stop leaves a load running; a page that never finishes would then hold
// every later run at its first poll. 开始 ends that load, and the run begins
// at the first address one poll period later.
TEST(Run, StartAfterStopOnAPageThatNeverFinishesBeginsOnTime) {
  Program p;
  p.chooseFolder(p.folder());
  p.sim.scriptLoad("http://forever/", {.neverEnds = true});
  p.add({"http://a/", "http://forever/"});
  p.click("按钮1");
  p.sim.advanceTo(20000);  // a at 1 s, its picture at 6 s, forever from 7 s
  ASSERT_EQ(p.navigated(), (Strings{"http://a/", "http://forever/"}));
  app::Control& browser = p.frame.control("互联网浏览器1");
  EXPECT_TRUE(p.frame.busy(browser));

  p.click("按钮1");  // 停止 stops the run, not the load
  p.sim.advanceTo(25000);
  EXPECT_TRUE(p.frame.busy(browser));
  EXPECT_TRUE(p.sim.stoppedLoads().empty());

  p.click("按钮1");
  EXPECT_EQ(p.sim.stoppedLoads(), std::vector<std::int64_t>{25000});
  EXPECT_FALSE(p.frame.busy(browser));
  p.sim.advanceTo(25999);
  EXPECT_EQ(p.sim.navigations().size(), 2u);
  p.sim.advanceTo(26000);
  ASSERT_EQ(p.sim.navigations().size(), 3u);
  EXPECT_EQ(p.sim.navigations()[2].url, "http://a/");
  p.sim.advanceTo(31000);
  ASSERT_EQ(p.filesInFolder().size(), 2u);
  EXPECT_EQ(p.sim.shownColour(browser.widget), p.sim.pageColour("http://a/"));
}

// 开始 gets a new run going whatever the page before does: a script that holds
// the engine is asked to stop at the click and, still busy at the first poll,
// has its page ended there; the first address loads at that same poll. The
// computer is kept awake from 开始 to the end of the run, and after 停止.
TEST(Run, StartEndsAPageHeldByAScriptAndKeepsTheComputerAwakeForTheRun) {
  Program p;
  p.sim.scriptLoad("http://spin/", {.neverEnds = true, .holdsEngine = true});
  p.add({"http://spin/"});
  p.click("按钮1");
  p.sim.advanceTo(5000);
  p.click("按钮1");  // 停止 with the script still spinning
  app::Control& browser = p.frame.control("互联网浏览器1");
  EXPECT_TRUE(p.frame.busy(browser));
  p.frame.vars().urlArray = {Text("http://a/")};

  p.click("按钮1");
  EXPECT_EQ(p.sim.stoppedLoads(), std::vector<std::int64_t>{5000});
  EXPECT_TRUE(p.frame.busy(browser)) << "the script holds the engine";
  p.sim.advanceTo(6000);
  EXPECT_EQ(p.sim.endedPages(), std::vector<std::int64_t>{6000});
  EXPECT_EQ(p.navigated(), (Strings{"http://spin/", "http://a/"}));
  EXPECT_EQ(p.sim.navigations().back().atMs, 6000);
  p.sim.advanceTo(20000);
  EXPECT_EQ(p.boxTexts(), Strings{"连续访问结束"});
  using Change = std::pair<std::int64_t, bool>;
  EXPECT_EQ(p.sim.awakeChanges(), (std::vector<Change>{{0, true}, {5000, false}, {5000, true},
                                                       {12000, false}}));
}

// Without a time-out the window waits for a page as long as it takes, however
// it ends; a script address loads nothing and is shown as a blank page.
TEST(Run, AScriptAddressIsABlankPageAndNeverReachesTheBrowser) {
  Program p;
  p.chooseFolder(p.folder());
  p.add({"http://a/", " JavaScript:alert(1)", "http://b/"});
  p.click("按钮1");
  p.sim.advanceTo(7000);  // a at 1 s, its picture at 6 s, the script address at 7 s
  app::Control& browser = p.frame.control("互联网浏览器1");
  EXPECT_FALSE(p.frame.busy(browser));
  EXPECT_EQ(p.sim.shownColour(browser.widget), sim::kWhite);
  p.sim.advanceTo(30000);
  EXPECT_EQ(p.navigated(), (Strings{"http://a/", "http://b/"}));
  EXPECT_EQ(p.filesInFolder().size(), 3u);
  EXPECT_EQ(p.sim.shownColour(browser.widget), p.sim.pageColour("http://b/"));
}

TEST(Run, ChangedPauseAppliesFromTheNextPage) {
  Program p;
  p.add({"a", "b"});
  p.click("按钮1");
  p.sim.advanceTo(2000);
  p.setPause("3");
  EXPECT_EQ(p.period("时钟2"), 5000);
  p.sim.advanceTo(7000);  // the dwell ends at 6 s, b loads at 7 s
  ASSERT_EQ(p.sim.navigations().size(), 2u);
  EXPECT_EQ(p.period("时钟2"), 3000);
  bool restarted = false;
  for (const sim::TimerInfo& t : p.sim.timers())
    restarted |= t.periodMs == 3000 && t.nextDueMs == 10000;
  EXPECT_TRUE(restarted);
  p.sim.advanceTo(11000);
  expectEnded(p, "连续访问结束", 11000);
}

TEST(Run, PauseOfZeroOrLessStallsUntilStop) {
  for (const char* pause : {"", "0", "-2", "abc"}) {
    SCOPED_TRACE(pause);
    Program p;
    p.add({"a"});
    p.setPause(pause);
    p.click("按钮1");
    p.sim.advanceTo(120000);
    EXPECT_EQ(p.sim.navigations().size(), 1u);
    EXPECT_EQ(p.period("时钟1") + p.period("时钟2"), 0);
    EXPECT_EQ(p.text("按钮1"), "停止");
    EXPECT_TRUE(p.sim.boxes().empty());
    p.click("按钮1");
    EXPECT_EQ(p.text("按钮1"), "开始");
  }
  Program pasted;
  pasted.add({"a"});
  pasted.setPause("2.5");
  pasted.click("按钮1");
  pasted.sim.advanceTo(1000);
  EXPECT_EQ(pasted.period("时钟2"), 2500);
}

// Clearing halts the run as 停止 would, the page's watch and the computer kept
// awake included, but 停止 stays shown and its next click is the stop.
TEST(Run, ClearingHaltsTheRunAndLeavesStopShown) {
  Program p;
  p.click("按钮1");  // nothing to visit
  ASSERT_EQ(p.sim.boxes().size(), 1u);
  expectBox(p.sim.boxes()[0], "请输入网址！");
  EXPECT_EQ(p.period("时钟1"), 0);
  p.run.settings.pageTimeoutMs = 30000;
  p.add({"a", "b"});
  p.click("按钮1");
  p.sim.advanceTo(3000);
  EXPECT_TRUE(p.frame.watchRunning());
  p.click("按钮5");
  EXPECT_EQ(p.period("时钟1") + p.period("时钟2"), 0);
  EXPECT_EQ(p.text("按钮1"), "停止");
  EXPECT_FALSE(p.frame.watchRunning());
  using Change = std::pair<std::int64_t, bool>;
  EXPECT_EQ(p.sim.awakeChanges(), (std::vector<Change>{{0, true}, {3000, false}}));
  p.sim.advanceTo(60000);
  EXPECT_EQ(p.sim.navigations().size(), 1u);
  p.click("按钮1");
  EXPECT_EQ(p.boxTexts(), (Strings{"请输入网址！", "请输入网址！"}));
  p.add({"c"});
  p.click("按钮1");  // the stop branch
  EXPECT_EQ(p.text("按钮1"), "开始");
  EXPECT_EQ(p.period("时钟1"), 0);
  p.click("按钮1");
  EXPECT_EQ(p.period("时钟1"), 1000);
  EXPECT_EQ(p.sim.awakeChanges(),
            (std::vector<Change>{{0, true}, {3000, false}, {60000, true}}));
}

// The run's position outside the window: pages done of the run's count from
// 开始, cleared however the run ends, and not shown again by a page whose
// picture was being drawn when the run was stopped.
TEST(Run, ProgressFollowsThePagesAndIsClearedWhenTheRunEnds) {
  using Shown = sim::SimPlatform::ProgressShown;
  struct Row {
    const char* what;
    const char* pressedAt8s;  // or nothing
    bool whileDrawing;        // pressed while the first picture is drawn instead
    std::vector<Shown> shown;
  };
  const Row rows[] = {
      {"to its end", nullptr, false, {{0, 0, 2}, {6000, 1, 2}, {11000, 2, 2}, {12000, 0, 0}}},
      {"停止", "按钮1", false, {{0, 0, 2}, {6000, 1, 2}, {8000, 0, 0}}},
      {"清空网址", "按钮5", false, {{0, 0, 2}, {6000, 1, 2}, {8000, 0, 0}}},
      {"停止 while the picture is drawn", "按钮1", true, {{0, 0, 2}, {6000, 0, 0}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Program p;
    startWholePageRun(p);
    if (row.whileDrawing)
      p.sim.whileDrawingDocument = [&p, &row] {
        Program& q = p;  // the closure ends on the next line
        const char* button = row.pressedAt8s;
        q.sim.whileDrawingDocument = nullptr;
        q.sim.click(q.frame.controlNamed(button).widget);
      };
    else if (row.pressedAt8s)
      p.sim.at(8000, [&p, &row] { p.sim.click(p.frame.controlNamed(row.pressedAt8s).widget); });
    p.sim.advanceTo(30000);
    EXPECT_EQ(p.sim.progressShown(), row.shown);
  }
}

TEST(Run, ListChangesDuringARunTakeEffectAtTheNextPage) {
  Program adding;  // an address added during the run is visited in it
  adding.add({"a"});
  adding.click("按钮1");
  adding.sim.advanceTo(3000);
  adding.add({"b"});
  adding.sim.advanceTo(12000);
  EXPECT_EQ(adding.navigated(), (Strings{"a", "b"}));
  expectEnded(adding, "连续访问结束", 12000);

  Program deleting;  // runCount stays 3, but the run stops where the list ends
  deleting.add({"a", "b", "c"});
  deleting.click("按钮1");
  deleting.sim.advanceTo(2000);
  deleting.sim.doubleClickItem(deleting.id("列表框1"), 2);
  deleting.sim.doubleClickItem(deleting.id("列表框1"), 1);
  deleting.sim.advanceTo(7000);
  EXPECT_EQ(deleting.navigated(), Strings{"a"});
  expectEnded(deleting, "连续访问结束", 7000);

  Program importing;
  importing.add({"a", "b", "c"});
  importing.click("按钮1");
  importing.sim.advanceTo(3000);
  writeBytes(importing.file("list.txt"), "\r\nx\r\ny");
  importing.importFile(importing.file("list.txt"));
  EXPECT_EQ(importing.run.runCount, 2);
  importing.sim.advanceTo(12000);
  EXPECT_EQ(importing.navigated(), (Strings{"a", "y"}));
  expectEnded(importing, "连续访问结束", 12000);
}

TEST(Run, ImportingAnEmptyListDuringARunEndsItOnce) {
  Program p;
  p.add({"a"});
  p.click("按钮1");
  p.sim.advanceTo(2000);
  writeBytes(p.file("empty.txt"), "");
  p.importFile(p.file("empty.txt"));
  EXPECT_EQ(p.run.runCount, 0);
  p.sim.advanceTo(7000);
  expectEnded(p, "网址个数不可为0", 7000);
  p.sim.advance(60000);
  EXPECT_EQ(p.sim.boxes().size(), 1u);
}

TEST(CaptureFolder, PickerAndCheckBoxKeepEachOtherConsistent) {
  Program p;
  p.click("选择框1");  // no folder yet
  EXPECT_FALSE(p.checked());
  ASSERT_EQ(p.sim.boxes().size(), 1u);
  expectBox(p.sim.boxes()[0], "请在右边选择截图保存目录！");

  EXPECT_EQ(p.chooseFolder(p.folder()), utf8Name(p.folder()) + kFolderSeparator);
  EXPECT_TRUE(p.checked());
  EXPECT_EQ(p.sim.folderRequests()[0].prompt, "请选择保存截图的文件夹：");
  EXPECT_FALSE(p.sim.folderRequests()[0].includeFiles);
  p.click("选择框1");
  EXPECT_FALSE(p.checked());
  p.click("选择框1");
  EXPECT_TRUE(p.checked());

#ifdef _WIN32
  EXPECT_EQ(p.chooseFolder("C:\\"), "C:\\");  // a drive's root keeps its one backslash
#else
  EXPECT_EQ(p.chooseFolder("/"), "/");
#endif
  p.sim.answerFolder("");  // cancel
  p.click("按钮6");
  EXPECT_EQ(p.text("编辑框1"), "");
  EXPECT_FALSE(p.checked());
  EXPECT_EQ(p.sim.boxes().size(), 1u);

  EXPECT_EQ(run::normaliseFolderPath(Text()), Text());
  EXPECT_EQ(run::normaliseFolderPath(Text("/tmp/截图"), Text("/")), Text("/tmp/截图/"));
  // GBK 0xD5 0x5C is one character, although its second byte is a backslash.
  EXPECT_EQ(run::normaliseFolderPath(Text("D:\\\xD5\x5C"), Text("\\"), gbkCodePage()),
            Text("D:\\\xD5\x5C\\"));
  EXPECT_EQ(run::normaliseFolderPath(Text("C:\\"), Text("\\"), gbkCodePage()), Text("C:\\"));
}

TEST(CaptureFolder, ScreenshotNamesFollowTheClockAndNeverOverwrite) {
  Program p;
  p.chooseFolder(p.folder());
  const struct {
    platform::LocalTime at;
    const char* name;
  } cases[] = {
      {{2026, 12, 7, 9, 5, 3}, "2026年12月7日9时5分3秒.jpg"},
      {{2026, 12, 7, 9, 0, 7}, "2026年12月7日9时0分7秒.jpg"},
      {{2026, 12, 7, 9, 5, 0}, "2026年12月7日9时5分.jpg"},
      {{2026, 12, 7, 0, 5, 0}, "2026年12月7日0时5分.jpg"},
      {{2026, 12, 7, 9, 0, 0}, "2026年12月7日9时.jpg"},
      {{2026, 12, 7, 0, 0, 0}, "2026年12月7日.jpg"},
  };
  for (const auto& c : cases) {
    p.sim.setLocalTime(c.at);
    p.capture();
    EXPECT_EQ(readBytes(p.file(c.name)).substr(0, 2), "BM") << c.name;
  }
  EXPECT_EQ(p.filesInFolder().size(), 6u);

  // Two more in the same second as the first: both kept beside it.
  writeBytes(p.file("2026年12月7日9时5分3秒.jpg"), "first");
  p.sim.setLocalTime({2026, 12, 7, 9, 5, 3});
  p.capture();
  p.capture();
  EXPECT_EQ(readBytes(p.file("2026年12月7日9时5分3秒.jpg")), "first");
  EXPECT_EQ(readBytes(p.file("2026年12月7日9时5分3秒(2).jpg")).substr(0, 2), "BM");
  EXPECT_EQ(readBytes(p.file("2026年12月7日9时5分3秒(3).jpg")).substr(0, 2), "BM");

  // A capture that yields no picture leaves no empty file behind.
  p.sim.setLocalTime({2026, 12, 7, 10, 0, 1});
  p.sim.failNextCapture();
  p.capture();
  EXPECT_FALSE(fs::exists(p.file("2026年12月7日10时0分1秒.jpg")));

  // A folder that has gone away: nothing written, nothing said.
  fs::remove_all(p.folder());
  p.capture();
  EXPECT_FALSE(fs::exists(p.folder()));
  EXPECT_TRUE(p.sim.boxes().empty());
}

// Numbering stops where the folder gives no answer (the capture then fails)
// and at its bound, however many pictures share one second.
TEST(CaptureFolder, NumberingEndsAtAFolderWithoutAnswersAndAtItsBound) {
  Program p;
  const std::string stem = (p.folder() / "shot").string();
  writeBytes(p.file("shot.jpg"), "x");
#ifdef _WIN32
  const std::string unanswered = "\\\\sorvane-no-server\\share";  // a share on no server
#else
  const std::string unanswered = stem + ".jpg";  // a path through a file
#endif
  EXPECT_EQ(run::freeCaptureName(Text(stem)), Text(stem + "(2).jpg"));
  EXPECT_EQ(run::freeCaptureName(Text(unanswered + kFolderSeparator + "shot")), std::nullopt);
  for (int n = 2; n <= run::kCaptureNameLimit; ++n)
    writeBytes(p.file("shot(" + std::to_string(n) + ").jpg"), "");
  EXPECT_EQ(run::freeCaptureName(Text(stem)), std::nullopt);

  // The capture step says so by what it returns; nothing is written.
  p.chooseFolder(p.folder());
  p.frame.writeText(p.frame.control("编辑框1"), app::prop::editBox::content,
                    Text(unanswered + kFolderSeparator));
  const run::PageReport result = p.capture();
  EXPECT_FALSE(result.written());
  EXPECT_TRUE(p.sim.boxes().empty());
}

}  // namespace
}  // namespace sorvane::testing
