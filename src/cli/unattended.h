#pragma once
// A run prepared from the command line: the window set up as a user would set
// it, 开始 pressed once the loop runs, a line per page on standard output and,
// for a run nobody watches, the end of the program instead of the end box.

#include <memory>

#include "app/frame.h"
#include "cli/options.h"
#include "platform/platform.h"
#include "run/run.h"

namespace sorvane::cli {

// The line per page on standard output, with its line end: time, address,
// picture ("-" when none was written), how the page ended and, with a record,
// the change ("-" without a picture). Pictures of whole pages add a sixth
// field, "whole" or "cut" ("-" without a picture), and then always have the
// fifth ("-" without a record).
struct LineFields {
  bool record = false;
  bool fullPage = false;
};
Text pageLine(const run::PageReport& report, LineFields fields);
// The text with every control character (a tab, a line end) made a space.
Text lineField(const Text& text);

class WorkerLink;

// Reports the pages of the run and, for a run nobody watches, turns its end
// into the end of the program. Made before the run it observes, and ended
// after the frame.
class RunReport final : public run::RunObserver {
 public:
  // `link`: a worker's channel to its watcher, or nullptr.
  RunReport(platform::Platform& platform, const Preparation& preparation, WorkerLink* link);
  ~RunReport() override;
  RunReport(const RunReport&) = delete;
  RunReport& operator=(const RunReport&) = delete;

  void pageLoading(app::Frame&, const Text& url) override;
  void pageRecorded(app::Frame&) override;
  void pageDone(app::Frame&, const run::PageReport& report) override;
  void pageHeld(app::Frame&) override;
  void loadEnded(app::Frame&, const Text& url) override;
  bool runEnded(app::Frame& frame, const Text&) override;

  // Once 开始 has been pressed for the run, from the loop.
  void pressStartWhenRunning(app::Frame& frame);
  // kExitDone … kExitWindowClosed.
  int exitCode() const;

 private:
  void say(platform::StandardStream stream, const Text& text);

  platform::Platform& platform_;
  const bool exitWhenDone_;
  const LineFields fields_;
  WorkerLink* const link_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  int picturesMissing_ = 0;
  bool ended_ = false;
};

// The run as the command line asks it to work: its time-out, picture format,
// browser size, whole pages and record. Before the frame starts.
void prepareRun(run::Run& run, platform::Platform& platform, const Preparation& preparation);

// The window as the command line asks, before 开始: the list imported, the
// folder chosen (with "截图" ticked), the pause typed.
void prepareWindow(app::Frame& frame, run::Run& run, const Preparation& preparation);

}  // namespace sorvane::cli
