// The loop and its timers, and the message box that runs a loop of its own.

#include <gtest/gtest.h>

#include <vector>

#include "harness.h"

namespace sorvane::win32test {
namespace {

bool isBox(HWND w) { return className(w) == L"#32770"; }

void press(HWND box, int button) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

class Loop : public ::testing::Test {
 protected:
  void SetUp() override {
    harness().sink.clear();
    WidgetSpec top;
    top.kind = WidgetKind::TopLevel;
    top.rect = {0, 0, 400, 300};
    top.text = "loop";
    top.visible = true;
    window_ = ui().createWidget(top);
    ASSERT_NE(window_, 0u);
  }
  void TearDown() override { ui().destroyWidget(window_); }
  WidgetId window_ = 0;
};

TEST_F(Loop, TimersTickOnTheirOwnPhaseAndGoOnInsideAMessageBox) {
  std::vector<ULONGLONG> ticks;
  const ULONGLONG start = GetTickCount64();
  const TimerId timer = ui().startTimer(200, [&] { ticks.push_back(GetTickCount64() - start); });
  ASSERT_NE(timer, 0u);
  // Another timer coming and going leaves this one's phase alone.
  pumpFor(300);
  const TimerId other = ui().startTimer(50, [] {});
  ui().stopTimer(other);
  ASSERT_TRUE(pumpUntil([&] { return ticks.size() >= 3; }, 3000));
  ASSERT_GE(ticks.size(), 3u);
  // Tick n comes no sooner than n whole periods after the start (less the
  // system timer's granularity); a busy machine may only make it later.
  for (std::size_t i = 0; i < ticks.size(); ++i) EXPECT_GE(ticks[i], 200 * (i + 1) - 20) << i;

  // While the box waits for an answer, the main window takes no input and
  // the timer keeps ticking.
  std::size_t ticksBefore = 0;
  std::size_t ticksWhileOpen = 0;
  bool mainEnabledWhileOpen = true;
  std::wstring caption;
  DialogWatcher answer([&](HWND box) {
    if (!isBox(box)) return false;
    if (ticksBefore == 0) ticksBefore = ticks.size();
    if (ticks.size() < ticksBefore + 3) return false;
    ticksWhileOpen = ticks.size() - ticksBefore;
    mainEnabledWhileOpen = IsWindowEnabled(hwndOf(window_));
    caption = windowText(box);
    press(box, IDOK);
    return true;
  });
  EXPECT_EQ(ui().messageBox("\xC4\xE3\xBA\xC3", "\xD0\xC5\xCF\xA2\xA3\xBA", box::kOk), 0);
  EXPECT_TRUE(answer.done());
  EXPECT_GE(ticksWhileOpen, 3u);
  EXPECT_FALSE(mainEnabledWhileOpen);
  EXPECT_TRUE(IsWindowEnabled(hwndOf(window_)));
  EXPECT_EQ(caption, L"信息：");

  // A stopped timer stays quiet, even with a tick already waiting.
  ui().stopTimer(timer);
  const std::size_t stoppedAt = ticks.size();
  pumpFor(450);
  EXPECT_EQ(ticks.size(), stoppedAt);
}

TEST_F(Loop, MessageBoxesAnswerWithTheButtonPressed) {
  struct Case {
    unsigned flags;
    int button;
    int result;
  };
  for (const Case& c :
       {Case{box::kYesNo, IDYES, box::kResultYes}, Case{box::kYesNo, IDNO, box::kResultNo},
        Case{box::kOkCancel, IDCANCEL, box::kResultCancel},
        Case{box::kRetryCancel, IDRETRY, box::kResultRetry}}) {
    DialogWatcher answer([&](HWND box) {
      if (!isBox(box)) return false;
      press(box, c.button);
      return true;
    });
    EXPECT_EQ(ui().messageBox("?", "", c.flags), c.result) << c.flags << " " << c.button;
  }

  // A box with only OK answers OK however it is closed.
  {
    DialogWatcher closeIt([&](HWND box) {
      if (!isBox(box)) return false;
      PostMessageW(box, WM_CLOSE, 0, 0);
      return true;
    });
    EXPECT_EQ(ui().messageBox("\xC3\xFB\xB5\xA5", "", box::kOk | box::kIconInformation),
              box::kResultOk);
  }

  // System modal leaves the main window as it is.
  bool enabled = false;
  {
    DialogWatcher systemModal([&](HWND box) {
      if (!isBox(box)) return false;
      enabled = IsWindowEnabled(hwndOf(window_));
      press(box, IDOK);
      return true;
    });
    EXPECT_EQ(ui().messageBox("system", "", box::kOk | box::kSystemModal), box::kResultOk);
  }
  EXPECT_TRUE(enabled);
}

TEST_F(Loop, IdleWorkWaitsForAQuietQueueAndQuitEndsTheInnermostLoop) {
  std::vector<int> order;
  ui().whenIdle([&] { order.push_back(1); });
  PostMessageW(hwndOf(window_), WM_NULL, 0, 0);
  ASSERT_TRUE(pumpUntil([&] { return !order.empty(); }));
  EXPECT_EQ(order, std::vector<int>{1});

  // A loop run from inside a tick ends on its own quit; the outer one goes on.
  bool innerEnded = false;
  bool nested = false;
  const TimerId t = ui().startTimer(20, [&] {
    if (nested) return;
    nested = true;
    const TimerId quit = ui().startTimer(30, [] { ui().quitLoop(); });
    ui().runLoop();
    ui().stopTimer(quit);
    innerEnded = true;
  });
  EXPECT_TRUE(pumpUntil([&] { return innerEnded; }));
  ui().stopTimer(t);
  pumpFor(50);  // still running: the inner quit did not end this one

  // A quit asked for before the loop starts ends it at once.
  ui().quitLoop();
  const ULONGLONG start = GetTickCount64();
  ui().runLoop();
  EXPECT_LT(GetTickCount64() - start, 1000u);
}

}  // namespace
}  // namespace sorvane::win32test
