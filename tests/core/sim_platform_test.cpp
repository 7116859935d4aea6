// The simulated platform is the clock every timeline test of the program trusts,
// so its ordering, re-entrancy and gating rules are pinned down here.

#include "platform/sim/sim_platform.h"
#include "../support/pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace sorvane::sim {
namespace {

using platform::WidgetSpec;

struct RecordingSink : platform::EventSink {
  std::vector<std::string> log;
  void widgetEvent(WidgetId w, platform::WidgetEvent e) override {
    log.push_back("event " + std::to_string(w) + " " + std::to_string(static_cast<int>(e)));
  }
  void closeRequested(WidgetId w) override { log.push_back("close " + std::to_string(w)); }
  void widgetDestroyed(WidgetId w) override { log.push_back("gone " + std::to_string(w)); }
  bool keyDown(WidgetId, platform::Key, unsigned) override { return false; }
  void windowActivated(WidgetId) override {}
  void windowDeactivated(WidgetId) override {}
};

struct SimTest : ::testing::Test {
  SimPlatform sim;
  RecordingSink sink;
  std::vector<std::string> log;
  WidgetId top = 0;

  void SetUp() override {
    sim.setEventSink(&sink);
    sim.setAutoActivate(false);
    top = make(WidgetKind::TopLevel, 0);
  }
  WidgetId make(WidgetKind kind, WidgetId parent, std::string text = {}) {
    WidgetSpec widgetSpec;
    widgetSpec.kind = kind;
    widgetSpec.parent = parent;
    widgetSpec.visible = true;
    widgetSpec.rect = {10, 20, 64, 32};
    widgetSpec.text = std::move(text);
    return sim.createWidget(widgetSpec);
  }
  void note(const std::string& what) { log.push_back(what + "@" + std::to_string(sim.now())); }
};

TEST_F(SimTest, TimersTickInTimeOrderWithStartOrderBreakingTiesAndActionsFirst) {
  sim.startTimer(1000, [&] { note("A"); });
  sim.startTimer(500, [&] { note("B"); });
  sim.advance(250);
  sim.startTimer(1000, [&] { note("C"); });  // phase from its own start
  sim.at(1000, [&] { note("act"); });
  sim.advanceTo(2250);
  EXPECT_EQ(log, (std::vector<std::string>{"B@500", "act@1000", "A@1000", "B@1000", "C@1250",
                                           "B@1500", "A@2000", "B@2000", "C@2250"}));
  EXPECT_EQ(sim.now(), 2250);
}

TEST_F(SimTest, TickMayStopOrRestartTimersIncludingItself) {
  TimerId self = 0, other = 0;
  int ticks = 0;
  self = sim.startTimer(100, [&] {
    note("self");
    if (++ticks == 2) {
      sim.stopTimer(self);
      sim.stopTimer(self);    // twice: harmless
      sim.stopTimer(999);     // unknown: harmless
      other = sim.startTimer(300, [&] { note("other"); });
    }
  });
  sim.advanceTo(800);
  EXPECT_EQ(log, (std::vector<std::string>{"self@100", "self@200", "other@500", "other@800"}));
  ASSERT_EQ(sim.timers().size(), 1u);
  EXPECT_EQ(sim.timers()[0].id, other);

  // Restarting from inside its own tick gives the new timer a fresh phase.
  log.clear();
  sim.stopTimer(other);
  TimerId t = 0;
  t = sim.startTimer(1000, [&] {
    note("t");
    sim.stopTimer(t);
    t = sim.startTimer(400, [&] { note("fast"); });
  });
  sim.advance(1500);
  EXPECT_EQ(log, (std::vector<std::string>{"t@1800", "fast@2200"}));
}

TEST_F(SimTest, BoxRunsNestedLoopInWhichTicksArriveReentrantly) {
  sim.answerBoxes({{platform::box::kResultNo, 2500}});
  std::vector<int> depthAtTick;
  int answer = -1;
  sim.startTimer(1000, [&] {
    note("tick");
    depthAtTick.push_back(sim.openBoxCount());
    if (depthAtTick.size() == 1) answer = sim.messageBox("q", "信息：", platform::box::kYesNo);
  });
  sim.advanceTo(4000);
  EXPECT_EQ(log, (std::vector<std::string>{"tick@1000", "tick@2000", "tick@3000", "tick@4000"}));
  EXPECT_EQ(depthAtTick, (std::vector<int>{0, 1, 1, 0}));
  EXPECT_EQ(answer, platform::box::kResultNo);
  ASSERT_EQ(sim.boxes().size(), 1u);
  EXPECT_EQ(sim.boxes()[0].caption, "信息：");
  EXPECT_EQ(sim.boxes()[0].openedAtMs, 1000);
  EXPECT_EQ(sim.boxes()[0].answeredAtMs, 3500);

  // An empty queue answers with the first button at once.
  EXPECT_EQ(sim.messageBox("again", "", platform::box::kYesNo), platform::box::kResultYes);
  EXPECT_EQ(sim.messageBox("ok", "", 0), platform::box::kResultOk);
  EXPECT_EQ(sim.now(), 4000);
}

TEST_F(SimTest, UserInputIsRefusedWhileABoxIsOpenOrTheWidgetIsUnreachable) {
  const WidgetId button = make(WidgetKind::Button, top, "开始");
  const WidgetId group = make(WidgetKind::GroupBox, top);
  const WidgetId check = make(WidgetKind::CheckBox, group);
  bool clickedInBox = true;
  sim.onBoxOpened([&](const Box&) { clickedInBox = sim.click(button); });
  sim.answerBoxes({{kFirstButton, 1000}});
  sim.at(500, [&] { EXPECT_FALSE(sim.click(button)) << "refused inside the box"; });
  sim.messageBox("busy", "", 0);
  EXPECT_FALSE(clickedInBox);
  EXPECT_TRUE(sink.log.empty());
  EXPECT_TRUE(sim.click(button)) << "allowed again once the box is closed";
  EXPECT_EQ(sink.log.back(), "event " + std::to_string(button) + " 0");
  sink.log.clear();

  sim.setEnabled(group, false);
  EXPECT_FALSE(sim.click(check));
  EXPECT_FALSE(sim.isChecked(check));
  sim.setEnabled(group, true);
  sim.setVisible(top, false);
  EXPECT_FALSE(sim.click(button));
  sim.setVisible(top, true);
  EXPECT_TRUE(sink.log.empty());

  // A check box toggles before its click event reaches the program.
  bool checkedAtEvent = false;
  struct : RecordingSink {
    SimPlatform* sim = nullptr;
    bool* seen = nullptr;
    void widgetEvent(WidgetId w, platform::WidgetEvent e) override {
      if (e == platform::WidgetEvent::Used) *seen = sim->isChecked(w);
    }
  } probe;
  probe.sim = &sim;
  probe.seen = &checkedAtEvent;
  sim.setEventSink(&probe);
  EXPECT_TRUE(sim.click(check));
  EXPECT_TRUE(checkedAtEvent);
  EXPECT_EQ(sim.focusedWidget(), check);
}

TEST_F(SimTest, BrowserBusyFollowsTheLoadScriptAndCaptureShowsFinishedPages) {
  const WidgetId browser = make(WidgetKind::Browser, top);
  EXPECT_FALSE(sim.browserBusy(browser));
  platform::Pixels px = testing::captured(sim, browser);
  EXPECT_EQ(px.width, 64);
  EXPECT_EQ(px.height, 32);
  EXPECT_EQ(px.bgr.size(), 64u * 32 * 3);
  EXPECT_EQ(px.bgr[0], 255);

  sim.setPageColour("http://a/", 10, 20, 30);
  sim.browserNavigate(browser, "http://a/");
  sim.advance(299);
  EXPECT_TRUE(sim.browserBusy(browser));
  EXPECT_EQ(sim.shownColour(browser), kWhite) << "not shown before the load ends";
  sim.advance(1);
  EXPECT_FALSE(sim.browserBusy(browser));
  px = testing::captured(sim, browser);
  EXPECT_EQ((std::vector<int>{px.bgr[0], px.bgr[1], px.bgr[2]}), (std::vector<int>{30, 20, 10}));

  sim.scriptLoad("http://slow/", {5000, false, false});
  sim.scriptLoad("http://never/", {0, true, false});
  sim.browserNavigate(browser, "http://slow/");
  sim.advance(1000);
  sim.browserNavigate(browser, "http://never/");  // replaces the running load
  sim.advance(10000);
  EXPECT_TRUE(sim.browserBusy(browser));
  EXPECT_EQ(sim.shownColour(browser), (Rgb{10, 20, 30}));
  ASSERT_EQ(sim.navigations().size(), 3u);
  EXPECT_EQ(sim.navigations()[2].url, "http://never/");
  EXPECT_EQ(sim.navigations()[2].atMs, 1300);

  WidgetSpec v2;
  v2.kind = WidgetKind::Browser;
  v2.parent = top;
  v2.browser.version = 2;
  EXPECT_EQ(sim.createWidget(v2), 0u);
  EXPECT_FALSE(sim.capture(777));
}

TEST_F(SimTest, LocalTimeRollsOverDaysMonthsAndYears) {
  sim.setLocalTime({2024, 2, 28, 23, 59, 59});
  sim.advance(999);
  EXPECT_EQ(sim.localTimeNow().day, 28) << "whole seconds only";
  sim.advance(1);
  auto t = sim.localTimeNow();
  EXPECT_EQ((std::vector<int>{t.year, t.month, t.day, t.hour, t.minute, t.second}),
            (std::vector<int>{2024, 2, 29, 0, 0, 0}));
  sim.setLocalTime({2026, 12, 31, 23, 59, 59});  // now is 1000 ms
  t = sim.localTimeNow();
  EXPECT_EQ((std::vector<int>{t.year, t.month, t.day, t.hour, t.minute, t.second}),
            (std::vector<int>{2027, 1, 1, 0, 0, 0}));
  EXPECT_EQ(sim.monotonicMs(), 1000);
}

TEST_F(SimTest, RunLoopEndsOnQuitWhenNothingIsLeftOrAtTheLimit) {
  TimerId t = sim.startTimer(1000, [&] {
    if (sim.now() == 3000) sim.quitLoop();
  });
  sim.runLoop();
  EXPECT_EQ(sim.lastLoopEnd(), LoopEnd::Quit);
  EXPECT_EQ(sim.now(), 3000);

  sim.setRunLimit(10000);
  sim.runLoop();
  EXPECT_EQ(sim.lastLoopEnd(), LoopEnd::RunLimit);
  EXPECT_EQ(sim.now(), 13000);

  sim.stopTimer(t);
  sim.after(50, [] {});
  sim.runLoop();
  EXPECT_TRUE(sim.stalled());
  EXPECT_EQ(sim.now(), 13050);
}

TEST_F(SimTest, ExitPassesThroughBoxes) {
  sim.startTimer(100, [&] { sim.exitProcess(-1); });
  sim.answerBoxes({{kFirstButton, 1000}});
  try {
    sim.messageBox("fatal", "错误", 0);
    ADD_FAILURE() << "the process should have ended";
  } catch (const ProcessExit& e) {
    EXPECT_EQ(e.code, -1);
  }
  EXPECT_EQ(sim.openBoxCount(), 0);
  EXPECT_EQ(sim.boxes().back().answeredAtMs, -1);
}

TEST_F(SimTest, ListAndEditBehaveLikeDesktopControls) {
  const WidgetId list = make(WidgetKind::ListBox, top);
  for (const char* s : {"a", "b", "c"}) sim.listAdd(list, s);
  EXPECT_TRUE(sim.doubleClickItem(list, 2));
  EXPECT_EQ(sink.log.back(), "event " + std::to_string(list) + " 1");
  EXPECT_TRUE(sim.listDelete(list, 0));
  EXPECT_EQ(sim.listSelection(list), 1) << "the selection follows its item";
  EXPECT_TRUE(sim.listDelete(list, 1));
  EXPECT_EQ(sim.listSelection(list), -1);
  EXPECT_FALSE(sim.listDelete(list, 1));

  WidgetSpec widgetSpec;
  widgetSpec.kind = WidgetKind::EditBox;
  widgetSpec.parent = top;
  widgetSpec.visible = true;
  widgetSpec.editMode = platform::EditMode::IntegerText;
  const WidgetId edit = sim.createWidget(widgetSpec);
  sink.log.clear();
  EXPECT_TRUE(sim.typeText(edit, "a."));
  EXPECT_TRUE(sim.typeText(edit, "-1x2"));
  EXPECT_TRUE(sim.pasteText(edit, "z"));
  EXPECT_EQ(sim.text(edit), "-12z");
  EXPECT_EQ(std::count(sink.log.begin(), sink.log.end(), "event " + std::to_string(edit) + " 0"), 2);
}

}  // namespace
}  // namespace sorvane::sim
