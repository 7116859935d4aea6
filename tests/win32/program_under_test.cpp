#include "program_under_test.h"

#include <gtest/gtest.h>

#include "program.h"

namespace sorvane::win32test {

ProgramUnderTest::ProgramUnderTest() : startFolder_(std::filesystem::current_path()) {
  frame_ = std::make_unique<app::Frame>(ui(), programHandlers());
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
