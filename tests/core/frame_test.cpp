// The frame on the simulated platform: start-up, the control model's rules,
// keys and focus, closing, and the fatal error path.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "app/frame.h"
#include "platform/sim/sim_platform.h"
#include "services/memory.h"

namespace sorvane::app {
namespace {

using platform::Key;
using platform::WidgetEvent;
using platform::WidgetKind;

const std::vector<std::string> kLayoutOrder = {
    "按钮1", "分组框1", "按钮2", "编辑框2", "标签1", "编辑框3", "时钟1",
    "标签2", "时钟2", "互联网浏览器1", "按钮3", "按钮4", "列表框1", "通用对话框1",
    "标签3", "按钮5", "选择框1", "分组框2", "编辑框1", "按钮6"};

// The table given, with a handler that does nothing for every other name the
// layout binds: the frame refuses to start with one missing (FrameFatal). The
// program's own table starts in every test of the program (program_fixture.h).
HandlerTable everyBound(HandlerTable table = {}) {
  const std::optional<WindowLayout> layout = loadMainWindowLayout();
  for (const Binding& b : layout->bindings) table.try_emplace(std::string(b.handler), [](Frame&) {});
  return table;
}

struct FrameTest : ::testing::Test {
  sim::SimPlatform sim;
  int ticks = 0;
  std::vector<std::int64_t> tickTimes;
  HandlerTable handlers{{"pollBrowser", [this](Frame&) {
                           ++ticks;
                           tickTimes.push_back(sim.now());
                         }}};
  Frame frame{sim, everyBound(handlers)};

  Control& c(ControlName name) { return frame.control(name); }
  const sim::WidgetState& w(ControlName name) { return sim.widget(c(name).widget); }
};

TEST_F(FrameTest, BuildsTheWindowFromTheLayout) {
  frame.startUp();
  ASSERT_EQ(frame.controls().size(), kLayoutOrder.size());
  for (std::size_t i = 0; i < kLayoutOrder.size(); ++i)
    EXPECT_EQ(frame.controls()[i].name, kLayoutOrder[i]);

  // Each name reaches its own control, whether the compiler checked it or not.
  for (const Control& control : frame.controls())
    EXPECT_EQ(&frame.controlNamed(control.name), &control) << control.name;
  EXPECT_EQ(&frame.control("时钟2"), &frame.controlNamed("时钟2"));
  EXPECT_THROW(frame.controlNamed("时钟3"), std::logic_error);

  const auto& top = sim.widget(frame.mainWindow());
  EXPECT_EQ(top.text, "Sorvane");
  EXPECT_TRUE(top.visible);
  EXPECT_EQ(top.widgetSpec.rect.width, 1079);
  EXPECT_EQ(top.widgetSpec.rect.height, 649);

  // Controls in a group box count from its corner; the rest from the window.
  EXPECT_EQ(w("列表框1").parent, c("分组框1").widget);
  EXPECT_EQ(w("按钮6").parent, c("分组框2").widget);
  EXPECT_EQ(w("按钮1").parent, frame.mainWindow());
  EXPECT_EQ(frame.readInt(c("按钮6"), prop::left), 312);
  EXPECT_EQ(frame.readInt(c("按钮6"), prop::top), 19);
  EXPECT_EQ(frame.readInt(c("互联网浏览器1"), prop::width), 672);
  EXPECT_EQ(frame.readInt(c("互联网浏览器1"), prop::height), 568);

  // Non-visual controls own a window that is never shown; the browser is disabled.
  EXPECT_FALSE(w("时钟1").visible);
  EXPECT_FALSE(w("通用对话框1").visible);
  EXPECT_EQ(w("时钟1").widgetSpec.kind, WidgetKind::Hidden);
  EXPECT_TRUE(w("互联网浏览器1").visible);
  EXPECT_EQ(frame.readInt(c("互联网浏览器1"), prop::disabled), 1);
  EXPECT_EQ(frame.readInt(c("按钮1"), prop::disabled), 0);

  // Start values.
  EXPECT_EQ(frame.readText(c("按钮1"), prop::button::caption), Text("开始"));
  EXPECT_EQ(frame.readText(c("按钮6"), prop::button::caption), Text("…"));
  EXPECT_EQ(frame.readText(c("编辑框3"), prop::editBox::content), Text("5"));
  EXPECT_EQ(frame.readText(c("标签2"), prop::label::caption), Text("载入状态："));
  EXPECT_EQ(frame.readInt(c("标签3"), prop::label::textColor), 0x000000FF);
  EXPECT_EQ(w("编辑框3").widgetSpec.editMode, platform::EditMode::IntegerText);
  EXPECT_EQ(w("编辑框1").widgetSpec.editMode, platform::EditMode::ReadOnly);
  EXPECT_EQ(frame.readInt(c("选择框1"), prop::checkBox::checked), 0);
  EXPECT_EQ(frame.readInt(c("列表框1"), prop::listBox::currentSelection), -1);
  EXPECT_EQ(frame.readInt(c("时钟1"), prop::timer::period), 0);
  EXPECT_EQ(frame.readInt(c("互联网浏览器1"), prop::webBrowser::busy), 0);
  EXPECT_EQ(frame.readText(c("通用对话框1"), prop::commonDlg::filter), Text("*.txt|*.txt"));
  EXPECT_EQ(frame.readInt(c("通用对话框1"), prop::commonDlg::fileMustExist), 1);
  EXPECT_EQ(frame.readInt(frame.window(), prop::window::escCloses), 1);
  EXPECT_TRUE(frame.vars().urlArray.empty());

  // The focus starts on the start button.
  EXPECT_EQ(sim.focusedWidget(), c("按钮1").widget);
}

TEST_F(FrameTest, PropertyNumbersAndTheirRules) {
  frame.startUp();
  // Every type numbers its properties from 0 without gaps.
  for (auto type : {ControlType::Window, ControlType::EditBox, ControlType::GroupBox,
                    ControlType::Label, ControlType::Button, ControlType::CheckBox,
                    ControlType::ListBox, ControlType::CommonDlg, ControlType::Timer,
                    ControlType::WebBrowser}) {
    auto all = propertiesOf(type);
    for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i].number, static_cast<int>(i));
  }
  EXPECT_EQ(propertiesOf(ControlType::Label).size(), 29u);
  EXPECT_EQ(propertiesOf(ControlType::CommonDlg).size(), 30u);

  // Writing checked sets the state and raises no click; only 1 means checked.
  int clicks = 0;
  c("选择框1").bindings[event::clicked] = [&](Frame&) { ++clicks; };
  frame.writeInt(c("选择框1"), prop::checkBox::checked, 1);
  EXPECT_TRUE(sim.isChecked(c("选择框1").widget));
  frame.writeInt(c("选择框1"), prop::checkBox::checked, 2);
  EXPECT_FALSE(sim.isChecked(c("选择框1").widget));
  EXPECT_EQ(clicks, 0);

  // The common dialog clamps its type and filter index.
  frame.writeInt(c("通用对话框1"), prop::commonDlg::type, 7);
  EXPECT_EQ(frame.readInt(c("通用对话框1"), prop::commonDlg::type), 3);
  frame.writeInt(c("通用对话框1"), prop::commonDlg::type, -2);
  EXPECT_EQ(frame.readInt(c("通用对话框1"), prop::commonDlg::type), 0);
  frame.writeInt(c("通用对话框1"), prop::commonDlg::filterIndex, -5);
  EXPECT_EQ(frame.readInt(c("通用对话框1"), prop::commonDlg::filterIndex), 0);

  // A read-only property ignores writes; captions go to the widget.
  frame.writeInt(c("互联网浏览器1"), prop::webBrowser::busy, 1);
  EXPECT_EQ(frame.readInt(c("互联网浏览器1"), prop::webBrowser::busy), 0);
  frame.writeText(c("按钮1"), prop::button::caption, Text("停止"));
  EXPECT_EQ(w("按钮1").text, "停止");
}

TEST_F(FrameTest, ListMethodsTakeBadIndexesQuietly) {
  frame.startUp();
  Control& list = c("列表框1");
  EXPECT_EQ(frame.addItem(list, Text("a")), 0);
  EXPECT_EQ(frame.addItem(list, Text("b")), 1);
  EXPECT_EQ(frame.getItemText(list, 1), Text("b"));
  EXPECT_EQ(frame.getItemText(list, -1), Text());
  EXPECT_EQ(frame.getItemText(list, 2), Text());
  EXPECT_FALSE(frame.deleteItem(list, 2));
  EXPECT_FALSE(frame.deleteItem(list, -1));
  EXPECT_EQ(sim.listCount(list.widget), 2);
  EXPECT_EQ(frame.readInt(list, prop::listBox::currentSelection), -1);
  ASSERT_TRUE(sim.selectItem(list.widget, 0));
  EXPECT_EQ(frame.readInt(list, prop::listBox::currentSelection), 0);
  EXPECT_TRUE(frame.deleteItem(list, 0));
  EXPECT_EQ(frame.getItemText(list, 0), Text("b"));
  frame.clear(list);
  EXPECT_EQ(sim.listCount(list.widget), 0);
}

TEST_F(FrameTest, TimerRules) {
  frame.startUp();
  Control& timer = c("时钟1");
  frame.writeInt(timer, prop::timer::period, 1000);  // at 0
  sim.advanceTo(2500);
  EXPECT_EQ(tickTimes, (std::vector<std::int64_t>{1000, 2000}));
  // The same period again keeps the phase: the next tick stays at 3000.
  frame.writeInt(timer, prop::timer::period, 1000);
  sim.advanceTo(3000);
  EXPECT_EQ(tickTimes.back(), 3000);
  // Another period restarts the countdown from the write.
  sim.advanceTo(3200);
  frame.writeInt(timer, prop::timer::period, 500);
  sim.advanceTo(3800);
  EXPECT_EQ(tickTimes.back(), 3700);
  // 0 stops it; a negative period stores 0.
  frame.writeInt(timer, prop::timer::period, 0);
  sim.advanceTo(6000);
  EXPECT_EQ(tickTimes.back(), 3700);
  frame.writeInt(timer, prop::timer::period, -3);
  EXPECT_EQ(frame.readInt(timer, prop::timer::period), 0);
  sim.advanceTo(9000);
  EXPECT_EQ(tickTimes.back(), 3700);
}

// Every handler of the layout is bound here and notes that it ran, so an
// event that reached a handler it is not bound to would show.
TEST(FrameEvents, UnboundEventsAreIgnored) {
  sim::SimPlatform sim;
  std::vector<std::string> ran;
  HandlerTable all;
  const auto layout = loadMainWindowLayout();  // kept: the loop walks its bindings
  for (const Binding& b : layout->bindings)
    all.emplace(b.handler, [&ran, name = std::string(b.handler)](Frame&) { ran.push_back(name); });
  ASSERT_EQ(all.size(), 10u);
  Frame frame(sim, all);
  frame.startUp();
  auto widget = [&](ControlName name) { return frame.control(name).widget; };

  frame.widgetEvent(widget("按钮3"), WidgetEvent::DoubleClicked);
  frame.widgetEvent(widget("按钮3"), WidgetEvent::GotFocus);
  frame.widgetEvent(widget("按钮3"), WidgetEvent::LostFocus);
  frame.widgetEvent(widget("标签3"), WidgetEvent::Used);
  frame.widgetEvent(widget("编辑框2"), WidgetEvent::Used);
  frame.widgetEvent(widget("分组框1"), WidgetEvent::Used);
  frame.widgetEvent(widget("互联网浏览器1"), WidgetEvent::Used);
  Control& list = frame.control("列表框1");
  frame.addItem(list, Text("a"));
  ASSERT_TRUE(sim.selectItem(list.widget, 0));  // selectionChanged, not the bound double-click
  EXPECT_EQ(ran, std::vector<std::string>{});
  EXPECT_TRUE(sim.boxes().empty());

  // The same controls' bound events do reach their handlers.
  frame.widgetEvent(widget("按钮3"), WidgetEvent::Used);
  frame.widgetEvent(list.widget, WidgetEvent::DoubleClicked);
  EXPECT_EQ(ran, (std::vector<std::string>{"exportUrlList", "deleteUrl"}));
}

TEST_F(FrameTest, TabCycleEscapeAndFocusMemory) {
  frame.startUp();
  std::vector<std::string> order;
  for (int i = 0; i < 12; ++i) {
    order.push_back(frame.controlForWidget(sim.focusedWidget())->name);
    ASSERT_TRUE(sim.pressKey(Key::Tab));
  }
  EXPECT_EQ(order, (std::vector<std::string>{"按钮1", "按钮2", "编辑框2", "编辑框3", "按钮3",
                                             "按钮4", "列表框1", "按钮5", "选择框1", "编辑框1",
                                             "按钮6", "按钮1"}));
  sim.setFocus(c("按钮1").widget);
  sim.pressKey(Key::Tab, platform::kShift);
  EXPECT_EQ(sim.focusedWidget(), c("按钮6").widget);
  // From a control outside the cycle, Tab goes to the first candidate and
  // Shift+Tab to the last: a control that never was a tab stop, and one that
  // left the cycle (hidden) while it had the focus.
  for (bool forward : {true, false}) {
    sim.setFocus(c("标签3").widget);
    ASSERT_EQ(sim.focusedWidget(), c("标签3").widget);
    EXPECT_TRUE(sim.pressKey(Key::Tab, forward ? platform::kNone : platform::kShift));
    EXPECT_EQ(sim.focusedWidget(), (forward ? c("按钮1") : c("按钮6")).widget);

    sim.setFocus(c("按钮3").widget);
    sim.setVisible(c("按钮3").widget, false);
    ASSERT_EQ(sim.focusedWidget(), c("按钮3").widget);
    // The simulated desktop sends no keys to a hidden focus; the frame is asked directly.
    EXPECT_TRUE(frame.keyDown(frame.mainWindow(), Key::Tab,
                              forward ? platform::kNone : platform::kShift));
    EXPECT_EQ(sim.focusedWidget(), (forward ? c("按钮1") : c("按钮6")).widget);
    sim.setVisible(c("按钮3").widget, true);
  }

  // Only plain Tab and Shift+Tab move the focus; with Ctrl or Alt the key
  // is the control's.
  sim.setFocus(c("编辑框2").widget);
  for (unsigned mods : {unsigned{platform::kControl}, unsigned{platform::kAlt},
                        unsigned{platform::kControl | platform::kShift}}) {
    EXPECT_FALSE(frame.keyDown(frame.mainWindow(), Key::Tab, mods)) << mods;
    EXPECT_EQ(sim.focusedWidget(), c("编辑框2").widget) << mods;
  }

  // Enter clicks nothing: there is no default button.
  int clicks = 0;
  c("按钮6").bindings[event::clicked] = [&](Frame&) { ++clicks; };
  sim.pressKey(Key::Enter);
  EXPECT_EQ(clicks, 0);

  // Leaving and coming back gives the focus back to the control that had it.
  sim.setFocus(c("编辑框3").widget);
  sim.deactivate();
  sim.setFocus(0);
  sim.activate();
  EXPECT_EQ(sim.focusedWidget(), c("编辑框3").widget);
  // With nothing remembered the first candidate gets it, wherever the
  // platform put the focus meanwhile.
  sim.setFocus(0);
  sim.deactivate();
  sim.setFocus(c("编辑框2").widget);
  sim.activate();
  EXPECT_EQ(sim.focusedWidget(), c("按钮1").widget);

  // Esc closes the window and ends the loop.
  sim.after(10, [&] { sim.pressKey(Key::Escape); });
  frame.runMessageLoop();
  EXPECT_FALSE(frame.mainWindowLoaded());
  EXPECT_EQ(sim.lastLoopEnd(), sim::LoopEnd::Quit);
}

TEST_F(FrameTest, ClosingRunsTheCleanUpOnceAndEndsWithZero) {
  int cleanups = 0;
  sim.after(500, [&] {
    auto original = frame.cleanupRoutine();
    frame.cleanupRoutine() = [&, original] {
      ++cleanups;
      original();
    };
    frame.writeInt(frame.control("时钟1"), prop::timer::period, 100);
    sim.closeWindow();
  });
  EXPECT_EQ(frame.run(), 0);
  EXPECT_EQ(cleanups, 1);
  EXPECT_EQ(ticks, 0);  // the timer stopped with its window
  EXPECT_TRUE(sim.timers().empty());
  frame.shutdown();
  EXPECT_EQ(cleanups, 1);
}

TEST_F(FrameTest, FatalErrorReportsStopsHandlersAndExitsWithMinusOne) {
  bool cleaned = false;
  frame.startUp();
  frame.cleanupRoutine() = [&] { cleaned = true; };
  handlers.clear();
  c("时钟1").bindings[event::tick] = [&](Frame& f) {
    ++ticks;
    if (ticks == 2) f.urlAt(0);  // an index below 1
  };
  frame.writeInt(c("时钟1"), prop::timer::period, 1000);
  sim.answerBoxes({{sim::kFirstButton, 5000}});
  try {
    sim.advanceTo(20000);
    FAIL() << "the process should have ended";
  } catch (const sim::ProcessExit& e) {
    EXPECT_EQ(e.code, -1);
  }
  EXPECT_EQ(ticks, 2);  // ticks during the open report ran no handler
  EXPECT_FALSE(cleaned);
  ASSERT_EQ(sim.boxes().size(), 1u);
  EXPECT_EQ(sim.boxes()[0].caption, "错误");
  EXPECT_EQ(sim.boxes()[0].text,
            "运行时出错!\r\n\r\n错误代码：4\r\n\r\n错误信息：数组成员引用下标必须大于等于1\r\n");
  EXPECT_EQ(sim.boxes()[0].flags & platform::box::kIconMask, platform::box::kIconError);
  EXPECT_EQ(sim.boxes()[0].answeredAtMs, 7000);
  EXPECT_FALSE(frame.mainWindowLoaded());
}

TEST(FrameReport, LeavesOutEmptyParts) {
  EXPECT_EQ(Frame::fatalReportText(0, Text("载入启动窗口失败")).bytes(),
            "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
  EXPECT_EQ(Frame::fatalReportText(1, Text()).bytes(), "运行时出错!\r\n\r\n错误代码：1\r\n\r\n");
}

TEST(FrameFatal, IndexPastTheEndAllocationAFailedBuildAndAnUnboundHandler) {
  auto expectFatal = [](auto&& setUp, auto&& act, const std::string& text,
                        HandlerTable handlers = everyBound()) {
    sim::SimPlatform sim;
    Frame frame(sim, std::move(handlers));
    setUp(sim);
    try {
      frame.startUp();
      act(frame);
      ADD_FAILURE() << "no fatal error for " << text;
    } catch (const sim::ProcessExit& e) {
      EXPECT_EQ(e.code, -1);
      ASSERT_FALSE(sim.boxes().empty());
      EXPECT_EQ(sim.boxes().back().text, text);
    }
  };
  auto none = [](auto&) {};
  expectFatal(none, [](Frame& f) { f.urlAt(1); },
              "运行时出错!\r\n\r\n错误代码：1\r\n\r\n错误信息：数组成员引用下标超出定义范围\r\n");
  expectFatal(none, [](Frame&) { allocationFailed(4096); },
              "运行时出错!\r\n\r\n错误信息：分配 4096 字节内存失败!\r\n");
  expectFatal([](sim::SimPlatform& s) { s.failNextCreate(WidgetKind::Browser); }, [](Frame&) {},
              "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
  HandlerTable withoutOne = everyBound();
  withoutOne.erase("endDwell");
  expectFatal(
      none, [](Frame&) {}, "运行时出错!\r\n\r\n错误信息：未找到事件处理程序：endDwell\r\n",
      withoutOne);
}

TEST(FrameLifetime, AFrameEndedWithoutShutdownLeavesNoTickBehind) {
  sim::SimPlatform sim;
  {
    Frame frame(sim, everyBound());
    frame.startUp();
    frame.writeInt(frame.control("时钟1"), prop::timer::period, 100);
    frame.startWatch(50, [](Frame&) {});
    ASSERT_EQ(sim.timers().size(), 2u);
  }
  EXPECT_TRUE(sim.timers().empty());
  sim.advance(500);  // a tick left behind would run on the ended frame
}

// Two frames alive at once, one ending while the other lives: the one left
// keeps the services' hooks, whichever of them ends first.
TEST(FrameLifetime, AFrameThatEndsUndoesOnlyTheHooksStillItsOwn) {
  for (bool olderEndsFirst : {true, false}) {
    SCOPED_TRACE(olderEndsFirst ? "the older ends first" : "the newer ends first");
    sim::SimPlatform olderSim, newerSim;
    auto older = std::make_unique<Frame>(olderSim, everyBound());
    older->startUp();
    auto newer = std::make_unique<Frame>(newerSim, everyBound());
    newer->startUp();
    (olderEndsFirst ? older : newer).reset();
    Frame& left = older ? *older : *newer;
    sim::SimPlatform& leftSim = older ? olderSim : newerSim;

    // An allocation failure is the fatal error of the frame left, on its desktop.
    EXPECT_THROW(allocationFailed(4096), sim::ProcessExit);
    EXPECT_EQ(left.state(), FrameState::Stopping);
    ASSERT_EQ(leftSim.boxes().size(), 1u);
    EXPECT_EQ(leftSim.boxes().back().text, "运行时出错!\r\n\r\n错误信息：分配 4096 字节内存失败!\r\n");
  }
}

TEST(Layout, AnotherBrowserSizeMovesTheControlsAndTheWindowWithIt) {
  const WindowLayout original = *loadMainWindowLayout();
  auto rectOf = [](const WindowLayout& layout, std::string_view name) {
    for (const ControlLayout& c : layout.controls)
      if (c.name == name) return c.rect;
    return platform::Rect{};
  };
  auto shown = [](const WindowLayout& layout) {
    std::vector<platform::Rect> rects;
    for (const ControlLayout& c : layout.controls)
      if (c.parent.empty() && (c.flags & kVisible)) rects.push_back(c.rect);
    return rects;
  };
  for (const auto& [width, height] : {std::pair{672, 568}, std::pair{1366, 768},
                                      std::pair{320, 240}, std::pair{3840, 2160}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    WindowLayout layout = original;
    resizeBrowserArea(layout, width, height);
    const platform::Rect browser = rectOf(layout, "互联网浏览器1");
    EXPECT_EQ(browser, (platform::Rect{0, 8, width, height}));
    // The bottom row keeps its gap below the browser; the right column keeps
    // its gap beside it unless the row below is wider than the browser.
    EXPECT_EQ(rectOf(layout, "按钮1").top - (browser.top + height), 584 - 576);
    EXPECT_EQ(rectOf(layout, "分组框1").left, std::max(width, 648) + 24);
    EXPECT_EQ(rectOf(layout, "编辑框2"), rectOf(original, "编辑框2"));  // inside its group box
    int right = 0, bottom = 0;
    const std::vector<platform::Rect> rects = shown(layout);
    for (std::size_t i = 0; i < rects.size(); ++i) {
      right = std::max(right, rects[i].left + rects[i].width);
      bottom = std::max(bottom, rects[i].top + rects[i].height);
      for (std::size_t j = i + 1; j < rects.size(); ++j) {
        const platform::Rect& a = rects[i];
        const platform::Rect& b = rects[j];
        EXPECT_TRUE(a.left + a.width <= b.left || b.left + b.width <= a.left ||
                    a.top + a.height <= b.top || b.top + b.height <= a.top)
            << "controls " << i << " and " << j << " overlap";
      }
    }
    // The window keeps its margins around what it shows.
    EXPECT_EQ(layout.rect.width - right, 1079 - 1048);
    EXPECT_EQ(layout.rect.height - bottom, 649 - 616);
  }
  // On a screen too small for the window the area shrinks, keeping its
  // shape, until the window fits; the page keeps the size asked for.
  struct Fit {
    int width, height;
    platform::Rect work;
    bool shrinks;
  };
  for (const Fit& f : {Fit{1366, 768, {0, 0, 1366, 728}, true}, Fit{1366, 768, {0, 0, 1600, 960}, true},
                       Fit{3840, 2160, {0, 0, 1920, 1040}, true}, Fit{672, 568, {0, 0, 1366, 728}, false}}) {
    SCOPED_TRACE(std::to_string(f.width) + " on " + std::to_string(f.work.width));
    WindowLayout layout = original;
    fitBrowserArea(layout, f.width, f.height, f.work);
    const platform::Rect browser = rectOf(layout, "互联网浏览器1");
    EXPECT_LE(layout.rect.width, f.work.width);
    EXPECT_LE(layout.rect.height, f.work.height);
    EXPECT_EQ(browser.width < f.width, f.shrinks);
    EXPECT_NEAR(static_cast<double>(browser.width) / browser.height,
                static_cast<double>(f.width) / f.height, 0.01);
    for (const ControlLayout& c : layout.controls) {
      if (c.type == ControlType::WebBrowser) {
        EXPECT_EQ(c.pageWidth, f.shrinks ? f.width : 0);
      }
    }
  }
}

TEST(BrowserSettingsRecord, VersionAndLength) {
  platform::BrowserSettings s;
  s.offline = 1;
  auto record = writeBrowserSettings(s);
  ASSERT_EQ(record.size(), 24u);
  EXPECT_EQ(readBrowserSettings(record)->offline, 1u);
  EXPECT_EQ(readBrowserSettings({})->silent, 1u);
  record[0] = 2;
  EXPECT_FALSE(readBrowserSettings(record));
  record[0] = 1;
  record.pop_back();
  EXPECT_FALSE(readBrowserSettings(record));
}

}  // namespace
}  // namespace sorvane::app
