#pragma once
// The program: the frame with this program's handlers bound. The wiring lives
// beside main, above every layer it joins (app/ knows nothing of the handlers).

#include <string>
#include <vector>

#include "app/frame.h"
#include "cli/options.h"
#include "platform/platform.h"
#include "run/run_handlers.h"

namespace sorvane {

// Every handler the layout's bindings name; the run reports to `observer`, if
// given, which must outlive the frame the table goes to.
app::HandlerTable programHandlers(run::RunObserver* observer = nullptr);

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

}  // namespace sorvane
