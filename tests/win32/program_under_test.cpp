#include "program_under_test.h"

#include <gtest/gtest.h>

#include "program.h"

namespace sorvane::win32test {

namespace {

std::string utf8(const std::wstring& wide) {
  std::string out(wide.size() * 3 + 1, '\0');
  out.resize(static_cast<std::size_t>(WideCharToMultiByte(
      CP_UTF8, 0, wide.c_str(), -1, out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
  if (!out.empty()) out.pop_back();  // the closing zero
  return out;
}

}  // namespace

ProgramUnderTest::ProgramUnderTest(std::optional<std::pair<int, int>> browserSize)
    : startFolder_(std::filesystem::current_path()) {
  boxWatch_ = ui().startTimer(50, [] {
    for (HWND w : threadWindows()) {
      if (className(w) != L"#32770") continue;
      ADD_FAILURE() << "the program showed \"" << utf8(windowText(w))
                    << "\": " << utf8(staticTexts(w));
      PostMessageW(w, WM_COMMAND, IDOK, 0);
    }
  });
  frame_ = std::make_unique<app::Frame>(ui(), programHandlers(run_));
  if (browserSize) frame_->setBrowserSize(browserSize->first, browserSize->second);
  frame_->startUp();
  HWND main = window();
  if (!main) {
    ADD_FAILURE() << "the program showed no window";
    return;
  }
  SetForegroundWindow(main);
  EXPECT_TRUE(pumpUntil([main] { return GetActiveWindow() == main && GetFocus() != nullptr; }))
      << "the program's window did not become active";
}

ProgramUnderTest::~ProgramUnderTest() {
  ui().stopTimer(boxWatch_);
  frame_->shutdown();
  frame_.reset();  // takes the platform's events away
  ui().setEventSink(&harness().sink);
  std::filesystem::current_path(startFolder_);
}

std::string ProgramUnderTest::focusedName() {
  const WidgetId focused = ui().focusedWidget();
  app::Control* c = frame_->controlForWidget(focused);
  return c ? c->name : std::string();
}

}  // namespace sorvane::win32test
