#pragma once
// The browse run, the capture folder and the capture step.

#include "app/frame.h"

namespace sorvane::run {

// startOrStopRun, pollBrowser, endDwell, chooseCaptureFolder, checkCaptureFolder.
void addHandlers(app::HandlerTable& table);

}  // namespace sorvane::run
