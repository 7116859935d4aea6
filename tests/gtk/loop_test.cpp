// Timers, idle work, the loop and the hard exit.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

#include "harness.h"

namespace sorvane::gtktest {
namespace {

using Clock = std::chrono::steady_clock;

// When a tick comes and that it may stop its own timer: the seam's suite
// (seam_test.cpp).

TEST(Loop, RunsUntilQuitAndIdleWorkRuns) {
  int idle = 0;
  ui().whenIdle([&] { ++idle; });
  TimerId t = ui().startTimer(30, [&] { ui().quitLoop(); });
  auto started = Clock::now();
  ui().runLoop();
  ui().stopTimer(t);
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(2));
  EXPECT_EQ(idle, 1);

  ui().quitLoop();  // asked for before the loop runs: it ends at once
  started = Clock::now();
  ui().runLoop();
  EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(200));
}

TEST(Loop, ExitProcessEndsWithTheLowByteOfTheCode) {
  for (int code : {0, 3, -1}) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) ui().exitProcess(code);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), code & 0xFF);
  }
}

// A window with a few controls, one of them focused, on a desktop of its own.
WidgetId openWindow(Platform& desktop) {
  const WidgetId top = desktop.createWidget({.kind = WidgetKind::TopLevel,
                                             .rect = {0, 0, 320, 240},
                                             .visible = true});
  for (WidgetKind kind : {WidgetKind::Button, WidgetKind::EditBox, WidgetKind::ListBox}) {
    const WidgetId child = desktop.createWidget(
        {.kind = kind, .parent = top, .rect = {8, 8, 120, 60}, .visible = true, .tabStop = true});
    if (kind == WidgetKind::ListBox) {
      desktop.listAdd(child, "a");
      desktop.setFocus(child);
    }
  }
  return top;
}

// Tests make desktops and end them while another lives. One that ends with
// its windows up and work queued leaves nothing that calls into it, and
// hands the process (its termination signals) to the one still alive.
TEST(Lifetime, AnEndedDesktopLeavesNothingBehindThatCallsIntoIt) {
  Recorder events;
  auto alive = std::make_unique<gtk::GtkPlatform>();
  alive->setEventSink(&events);
  const WidgetId window = openWindow(*alive);
  {
    Recorder ended;
    auto gone = std::make_unique<gtk::GtkPlatform>();
    gone->setEventSink(&ended);
    openWindow(*gone);
    pumpFor(100);
    bool ran = false;
    gone->whenIdle([&] { ran = true; });
    gone->startTimer(10, [&] { ran = true; });
    gone.reset();
    pumpFor(100);
    EXPECT_FALSE(ran);
  }
  // One signal closes the living desktop's window and ends nothing.
  ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
  EXPECT_TRUE(pumpUntil([&] { return !events.closeRequests.empty(); }, 2000));
  EXPECT_EQ(events.closeRequests, std::vector<WidgetId>{window});
}

TEST(Clock, LocalTimeIsPlausible) {
  LocalTime now = ui().localTimeNow();
  EXPECT_GE(now.year, 2024);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_LE(now.second, 60);
}

}  // namespace
}  // namespace sorvane::gtktest
