#pragma once
// A run prepared from the command line: the window set up as a user would set
// it, 开始 pressed once the loop runs, a line per page on standard output and,
// for a run nobody watches, the end of the program instead of the end box.

#include <functional>

#include "app/frame.h"
#include "cli/options.h"
#include "platform/platform.h"
#include "run/run_handlers.h"

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

// The frame's handlers, reporting the run to the observer given (nullptr: none).
using MakeHandlers = std::function<app::HandlerTable(run::RunObserver*)>;

// The whole start routine with the preparation applied; returns the exit code
// (kExitDone … kExitWindowClosed). A fatal error still ends the process with -1.
int runPrepared(platform::Platform& desktop, const MakeHandlers& makeHandlers,
                const Preparation& preparation);

// The window as the command line asks, before 开始: the list imported, the
// folder chosen (with "截图" ticked), the pause typed.
void prepareWindow(app::Frame& frame, const Preparation& preparation);

}  // namespace sorvane::cli
