#pragma once
// The program: the frame with this program's handlers bound.

#include "app/frame.h"
#include "platform/platform.h"

namespace sorvane::app {

// Every handler the layout's bindings name.
HandlerTable programHandlers();

// The start routine on a platform; returns the exit code after the window closed.
int runProgram(platform::Platform& platform);

}  // namespace sorvane::app
