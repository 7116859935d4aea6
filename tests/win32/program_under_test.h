#pragma once
// The real program inside the test process: its frame and handlers on the
// harness's Win32 platform, its window built and shown as at start-up.

#include <windows.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

#include "app/frame.h"
#include "run/run.h"
#include "harness.h"

namespace sorvane::win32test {

class ProgramUnderTest {
 public:
  // Starts the program: its window is built, shown and active. A box the
  // program shows on its own is a test failure, answered so that it does not
  // wait for ever. The browser area at `browserSize` as --size asks.
  explicit ProgramUnderTest(std::optional<std::pair<int, int>> browserSize = {});
  // Shuts the program down and hands the platform's events and the current
  // folder back to the harness.
  ~ProgramUnderTest();
  ProgramUnderTest(const ProgramUnderTest&) = delete;
  ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

  app::Frame& frame() { return *frame_; }
  run::Run& run() { return run_; }
  app::Control& control(app::ControlName name) { return frame_->control(name); }
  HWND hwnd(app::ControlName name) { return hwndOf(control(name).widget); }
  HWND window() { return hwndOf(frame_->mainWindow()); }
  // The layout name of the control that has the focus, "" for none.
  std::string focusedName();

 private:
  run::Run run_;
  std::unique_ptr<app::Frame> frame_;
  std::filesystem::path startFolder_;
  TimerId boxWatch_ = 0;
};

}  // namespace sorvane::win32test
