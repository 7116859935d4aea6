#pragma once
// The program: the frame with this program's handlers bound. The wiring lives
// beside main, above every layer it joins (app/ knows nothing of the handlers).

#include "app/frame.h"
#include "platform/platform.h"

namespace sorvane {

// Every handler the layout's bindings name.
app::HandlerTable programHandlers();

// The start routine on a platform; returns the exit code after the window closed.
int runProgram(platform::Platform& platform);

}  // namespace sorvane
