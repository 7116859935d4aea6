#pragma once
// The promises every desktop behind the seam keeps, as one suite that each
// backend's test program runs on its own desktop: the simulated platform
// (tests/core), GTK (tests/gtk) and Win32 (tests/win32). The program's own
// tests trust the simulated platform; this is what keeps it from drifting
// away from the real ones.
//
// Include this header in one file of a test program, define a SeamRig for its
// desktop and instantiate the suite:
//
//   INSTANTIATE_TEST_SUITE_P(Gtk, SeamConformance, ::testing::Values(&makeRig));

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "event_recorder.h"
#include "platform/platform.h"

namespace sorvane::testing {

// A desktop ready for the suite.
class SeamRig {
 public:
  virtual ~SeamRig() = default;
  virtual platform::Platform& platform() = 0;
  // A shown top-level window to put widgets in.
  virtual platform::WidgetId window() = 0;
  // Runs the loop for about this long: virtual time on the simulated platform.
  virtual void pumpFor(int ms) = 0;
  // The next message box is answered with its first button after about this long.
  virtual void answerNextBoxAfter(int ms) = 0;
  // True where the clock is virtual and times come out exact.
  virtual bool exactTime() const = 0;
  // A UTF-8 text in the desktop's code page.
  virtual std::string local(const std::string& utf8) { return utf8; }

  // Pages for the browser: a served page of one colour (red), whatever
  // follows its '#'; one whose server never answers; a port nothing listens
  // on; a port that browsers refuse to load from.
  enum class Page { Red, Silent, Closed, Blocked };
  virtual std::string page(Page which) = 0;
  // False where the engine commits and draws no page (Wine's control): what
  // needs a page of the address to show is left to that backend's own table
  // of the engine's events.
  virtual bool showsPages() const { return true; }
};

using RigMaker = std::unique_ptr<SeamRig> (*)();

class SeamConformance : public ::testing::TestWithParam<RigMaker> {
 protected:
  void SetUp() override {
    rig_ = GetParam()();
    platform().setEventSink(&events_);
  }
  // The rig gives its desktop back its own sink as it goes.
  void TearDown() override { rig_.reset(); }

  platform::Platform& platform() { return rig_->platform(); }
  SeamRig& rig() { return *rig_; }

  platform::WidgetId make(platform::WidgetKind kind, platform::WidgetId parent,
                          const std::string& text = {}) {
    platform::WidgetSpec widgetSpec;
    widgetSpec.kind = kind;
    widgetSpec.parent = parent;
    widgetSpec.rect = {700, 300, 120, 60};
    widgetSpec.text = text;
    widgetSpec.visible = kind != platform::WidgetKind::Hidden;
    return platform().createWidget(widgetSpec);
  }

  // Pumps until the browser is no longer busy, then lets a real desktop draw
  // unless the view is to be looked at the moment it is not.
  enum class Look { AfterADraw, AtOnce };
  bool settle(platform::WidgetId browser, Look look = Look::AfterADraw) {
    const int step = look == Look::AtOnce ? 1 : 20;
    for (int waited = 0; platform().browserBusy(browser); waited += step) {
      if (waited > 30000) return false;
      rig().pumpFor(step);
    }
    rig().pumpFor(rig().exactTime() || look == Look::AtOnce ? 0 : 300);
    return true;
  }
  // The colour in the middle of a widget's picture, as 0xRRGGBB.
  std::uint32_t middle(platform::WidgetId widget) {
    std::optional<platform::Pixels> p = platform().capture(widget);
    if (!p || p->bgr.empty()) return 0xDEAD;
    const std::size_t at = (static_cast<std::size_t>(p->height / 2) * p->width + p->width / 2) * 3;
    return (std::uint32_t{p->bgr[at + 2]} << 16) | (std::uint32_t{p->bgr[at + 1]} << 8) |
           p->bgr[at];
  }
  static bool reddish(std::uint32_t rgb) {
    return (rgb >> 16) > 0xF0 && ((rgb >> 8) & 0xFF) < 0x10 && (rgb & 0xFF) < 0x10;
  }

  EventRecorder events_;

 private:
  std::unique_ptr<SeamRig> rig_;
};

TEST_P(SeamConformance, ATickComesOnePeriodAfterTheStartAndMayStopItsOwnTimer) {
  std::vector<std::int64_t> at;
  int other = 0, late = 0;
  const std::int64_t started = platform().monotonicMs();
  const platform::TimerId otherTimer = platform().startTimer(25, [&] { ++other; });
  platform::TimerId timer = 0, lateTimer = 0;
  timer = platform().startTimer(60, [&] {
    at.push_back(platform().monotonicMs() - started);
    if (at.size() < 3) return;
    platform().stopTimer(timer);
    platform().stopTimer(otherTimer);
    lateTimer = platform().startTimer(40, [&] { ++late; });
  });
  ASSERT_NE(timer, 0u);
  EXPECT_EQ(platform().startTimer(0, [] {}), 0u) << "a period of 0 starts nothing";
  rig().pumpFor(450);
  ASSERT_EQ(at.size(), 3u) << "a tick that stops its own timer ends it";
  const int otherTicks = other;
  rig().pumpFor(100);
  EXPECT_EQ(other, otherTicks) << "a tick may stop another timer";
  EXPECT_GE(late, 2) << "a tick may start a timer";
  platform().stopTimer(lateTimer);
  platform().stopTimer(lateTimer);  // twice, and an id never given: harmless
  platform().stopTimer(987654);
  const int lateTicks = late;
  rig().pumpFor(100);
  EXPECT_EQ(late, lateTicks);
  if (rig().exactTime()) {
    EXPECT_EQ(at, (std::vector<std::int64_t>{60, 120, 180}));
  } else {
    // A real loop may be late, never early.
    EXPECT_GE(at[0], 55);
    for (std::size_t i = 1; i < at.size(); ++i) EXPECT_GE(at[i] - at[i - 1], 40) << i;
  }
}

TEST_P(SeamConformance, TeardownReportsChildrenFirst) {
  using platform::WidgetKind;
  const platform::WidgetId group = make(WidgetKind::GroupBox, rig().window(), "分组");
  const platform::WidgetId inside = make(WidgetKind::Button, group, "按钮");
  const platform::WidgetId moved = make(WidgetKind::Label, rig().window(), "标签");
  platform().setParent(moved, group);
  events_.clear();
  platform().destroyWidget(group);
  ASSERT_EQ(events_.destroyed.size(), 3u);
  EXPECT_EQ(events_.destroyed.back(), group);
  for (platform::WidgetId w : {group, inside, moved}) EXPECT_FALSE(platform().widgetExists(w));
}

TEST_P(SeamConformance, AMoveThatWouldBreakTheTreeChangesNothing) {
  using platform::WidgetKind;
  const platform::WidgetId outer = make(WidgetKind::GroupBox, rig().window(), "外");
  const platform::WidgetId inner = make(WidgetKind::GroupBox, outer, "内");
  const platform::WidgetId label = make(WidgetKind::Label, rig().window(), "标签");
  const platform::WidgetId button = make(WidgetKind::Button, inner, "按钮");
  EXPECT_EQ(make(WidgetKind::Button, label, "x"), 0u) << "a label holds no controls";
  platform().setParent(outer, inner);           // below itself
  platform().setParent(outer, outer);           // into itself
  platform().setParent(rig().window(), outer);  // the window into a child
  platform().setParent(button, label);          // into a widget that holds nothing
  platform().setParent(button, 9999);           // into nothing
  events_.clear();
  platform().destroyWidget(outer);
  EXPECT_EQ(events_.destroyed, (std::vector<platform::WidgetId>{button, inner, outer}));
  EXPECT_TRUE(platform().widgetExists(rig().window()));
  EXPECT_TRUE(platform().widgetExists(label));
  platform().destroyWidget(label);
}

TEST_P(SeamConformance, WritingCheckedRaisesNoClick) {
  const platform::WidgetId box = make(platform::WidgetKind::CheckBox, rig().window(), "截图");
  events_.clear();
  for (bool on : {true, false, true}) {
    platform().setChecked(box, on);
    rig().pumpFor(30);
    EXPECT_EQ(platform().isChecked(box), on);
  }
  EXPECT_TRUE(events_.events.empty());
  platform().destroyWidget(box);
}

// A backend's native half is only ever handed the kind it was written for.
TEST_P(SeamConformance, CallsMeantForAnotherKindChangeNothing) {
  const platform::WidgetId label = make(platform::WidgetKind::Label, rig().window(), "标签");
  const platform::WidgetId hidden = make(platform::WidgetKind::Hidden, rig().window());
  EXPECT_EQ(platform().listAdd(label, "a"), -1);
  EXPECT_FALSE(platform().listDelete(label, 0));
  platform().listClear(label);
  EXPECT_EQ(platform().listCount(label) + platform().listSelection(label), -1);
  platform().setChecked(label, true);
  EXPECT_FALSE(platform().isChecked(label));
  platform().setVisible(hidden, true);
  EXPECT_FALSE(platform().isVisible(hidden));
  EXPECT_EQ(platform().browserShows(label), platform::PageShows::Nothing);
  platform().destroyWidget(label);
  platform().destroyWidget(hidden);
}

TEST_P(SeamConformance, TextComesBackByteForByte) {
  using platform::WidgetKind;
  const std::vector<std::string> texts = {
      "", rig().local("载入状态：正在载入"), rig().local("全角　空格 ＡＢＣ"),
      "a&b_c %s \\ \"q\"", std::string(2000, 'x') + rig().local("字")};
  for (WidgetKind kind : {WidgetKind::EditBox, WidgetKind::Label, WidgetKind::Button,
                          WidgetKind::CheckBox, WidgetKind::GroupBox}) {
    const platform::WidgetId w = make(kind, rig().window());
    for (const std::string& text : texts) {
      platform().setText(w, text);
      EXPECT_EQ(platform().text(w), text) << static_cast<int>(kind);
    }
    platform().destroyWidget(w);
  }
  const platform::WidgetId list = make(WidgetKind::ListBox, rig().window());
  for (std::size_t i = 0; i < texts.size(); ++i)
    EXPECT_EQ(platform().listAdd(list, texts[i]), static_cast<int>(i));
  for (std::size_t i = 0; i < texts.size(); ++i)
    EXPECT_EQ(platform().listItem(list, static_cast<int>(i)), texts[i]);
  const int count = static_cast<int>(texts.size());
  EXPECT_EQ(platform().listCount(list), count);
  EXPECT_EQ(platform().listItem(list, -1), "");
  EXPECT_EQ(platform().listItem(list, count), "");
  EXPECT_FALSE(platform().listDelete(list, -1));
  EXPECT_FALSE(platform().listDelete(list, count));
  EXPECT_TRUE(platform().listDelete(list, 0));
  EXPECT_EQ(platform().listItem(list, 0), texts[1]);
  EXPECT_EQ(platform().listSelection(list), -1);
  platform().listClear(list);
  EXPECT_EQ(platform().listCount(list), 0);
  EXPECT_TRUE(events_.events.empty()) << "writing raises no event of the program's";
  platform().destroyWidget(list);
}

TEST_P(SeamConformance, ABoxRunsANestedLoopWhileTicksGoOn) {
  int ticks = 0;
  const platform::TimerId timer = platform().startTimer(40, [&] { ++ticks; });
  rig().answerNextBoxAfter(400);
  const int answer =
      platform().messageBox(rig().local("还在吗？"), rig().local("信息："), platform::box::kOk);
  platform().stopTimer(timer);
  EXPECT_EQ(answer, platform::box::kResultOk);
  EXPECT_GE(ticks, 3) << "the timer stood still while the box was open";
}

using platform::PageShows;

TEST_P(SeamConformance, APageIsBusyThenShownAndMovesWithinItAreItsOwn) {
  const platform::WidgetId browser = make(platform::WidgetKind::Browser, rig().window());
  ASSERT_NE(browser, 0u);
  EXPECT_FALSE(platform().browserBusy(browser));
  EXPECT_EQ(platform().browserShows(browser), PageShows::Nothing);
  if (!rig().showsPages()) GTEST_SKIP() << "this engine commits no page";
  const std::string red = rig().page(SeamRig::Page::Red);
  platform().browserNavigate(browser, red + "#/a");
  EXPECT_TRUE(platform().browserBusy(browser));
  ASSERT_TRUE(settle(browser));
  EXPECT_EQ(platform().browserShows(browser), PageShows::Own);
  EXPECT_TRUE(reddish(middle(browser))) << std::hex << middle(browser);

  // A single-page site's next route: no load of its own, the same page.
  platform().browserNavigate(browser, red + "#/b");
  ASSERT_TRUE(settle(browser));
  EXPECT_EQ(platform().browserShows(browser), PageShows::Own);
  EXPECT_TRUE(reddish(middle(browser))) << std::hex << middle(browser);

  // Covered at once, before any turn of the loop; the next page uncovers it.
  platform().browserShowBlank(browser);
  EXPECT_EQ(platform().browserShows(browser), PageShows::Nothing);
  EXPECT_EQ(middle(browser), 0xFFFFFFu);
  platform().browserNavigate(browser, red + "#/c");
  ASSERT_TRUE(settle(browser));
  EXPECT_EQ(platform().browserShows(browser), PageShows::Own);
  EXPECT_TRUE(reddish(middle(browser))) << std::hex << middle(browser);
  platform().destroyWidget(browser);
}

// A script address loads nothing: never busy, nothing of its own, covered.
TEST_P(SeamConformance, AScriptAddressLoadsNothingAndTheBlankCoverShowsAtOnce) {
  const platform::WidgetId browser = make(platform::WidgetKind::Browser, rig().window());
  ASSERT_NE(browser, 0u);
  rig().pumpFor(100);  // on the screen
  for (const char* script :
       {"javascript:1", " JavaScript:for(;;){}", "java\tscript:1", "vbscript:msgbox(1)"}) {
    SCOPED_TRACE(script);
    platform().browserNavigate(browser, script);
    EXPECT_FALSE(platform().browserBusy(browser));
    EXPECT_EQ(platform().browserShows(browser), PageShows::Nothing);
    EXPECT_EQ(middle(browser), 0xFFFFFFu);
    rig().pumpFor(50);
    EXPECT_FALSE(platform().browserBusy(browser));
  }
  platform().destroyWidget(browser);
}

// Loads that end without the address's page: what the view says of each.
TEST_P(SeamConformance, FailedRefusedStoppedAndEndedLoadsSayWhatTheViewShows) {
  using Page = SeamRig::Page;
  const platform::WidgetId browser = make(platform::WidgetKind::Browser, rig().window());
  ASSERT_NE(browser, 0u);
  for (Page failing : {Page::Closed, Page::Blocked}) {
    SCOPED_TRACE(rig().page(failing));
    platform().browserNavigate(browser, rig().page(failing));
    ASSERT_TRUE(settle(browser));
    EXPECT_EQ(platform().browserShows(browser), PageShows::EngineError);
  }
  // Stopped before its page came: nothing of the address shows.
  platform().browserNavigate(browser, rig().page(Page::Silent));
  rig().pumpFor(300);
  platform().browserStop(browser);
  ASSERT_TRUE(settle(browser));
  EXPECT_EQ(platform().browserShows(browser), PageShows::Nothing);
  // Ended: not busy at once, and the next address goes out afresh, to a new
  // web process where the engine has one per page.
  if (rig().showsPages()) {
    platform().browserNavigate(browser, rig().page(Page::Red));
    ASSERT_TRUE(settle(browser));
  }
  platform().browserNavigate(browser, rig().page(Page::Silent));
  rig().pumpFor(300);
  platform().browserEndPage(browser);
  EXPECT_FALSE(platform().browserBusy(browser));
  rig().pumpFor(300);
  EXPECT_EQ(platform().browserShows(browser), PageShows::Nothing);
  if (rig().showsPages()) {
    // Its frame comes after the load has finished; the view is the page's own
    // only once it draws it.
    platform().browserNavigate(browser, rig().page(Page::Red));
    ASSERT_TRUE(settle(browser, Look::AtOnce));
    EXPECT_EQ(platform().browserShows(browser), PageShows::Own);
    EXPECT_TRUE(reddish(middle(browser))) << std::hex << middle(browser);
  }
  platform().destroyWidget(browser);
}

}  // namespace sorvane::testing
