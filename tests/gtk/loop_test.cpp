// Timers, idle work, the loop and the hard exit.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(Clock, LocalTimeIsPlausible) {
  LocalTime now = ui().localTimeNow();
  EXPECT_GE(now.year, 2024);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_LE(now.second, 60);
}

}  // namespace
}  // namespace sorvane::gtktest
