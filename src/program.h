#pragma once
// The program: one run beside the frame, with this program's handlers bound
// to it. The wiring lives beside main, above every layer it joins (app/ knows
// nothing of the handlers, the list nothing of the run).

#include <functional>
#include <string>
#include <vector>

#include "app/frame.h"
#include "cli/options.h"
#include "platform/platform.h"
#include "run/run.h"

namespace sorvane {

// Every handler the layout's bindings name, the run's bound to `run`, which
// must outlive the frame the table goes to.
app::HandlerTable programHandlers(run::Run& run);

// The start routine on a platform; returns the exit code after the window closed.
int runProgram(platform::Platform& platform);

// The same with the command line (texts in the system code page, without the
// program's name). No arguments: exactly the start routine above. Help,
// version and a bad start end here with their code before any window is made;
// otherwise the window is prepared as the options ask.
int runProgram(platform::Platform& platform, const std::vector<std::string>& arguments);
// With a command line already read (a desktop's main reads it before it opens
// the display, so that --help works without one).
int runProgram(platform::Platform& platform, const cli::CommandLine& commandLine);

// What stands between the run and its report (nullptr where the run has
// none); tests put faults there.
using ObserverWrap = std::function<run::RunObserver*(run::RunObserver*)>;

// The whole start routine with the preparation applied; returns the exit code
// (kExitDone … kExitWindowClosed). A fatal error still ends the process with -1.
int runPrepared(platform::Platform& desktop, const cli::Preparation& preparation,
                const ObserverWrap& wrap = {});

}  // namespace sorvane
