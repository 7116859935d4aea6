#pragma once
// The browse run, the capture folder and the capture step.

#include "app/frame.h"
#include "services/codepage.h"
#include "services/values.h"

namespace sorvane::run {

// startOrStopRun, pollBrowser, endDwell, chooseCaptureFolder, checkCaptureFolder.
void addHandlers(app::HandlerTable& table);

// The handlers, for the table and for tests that call them directly.
void startOrStopRun(app::Frame& frame);
void pollBrowser(app::Frame& frame);
void endDwell(app::Frame& frame);
void chooseCaptureFolder(app::Frame& frame);
void checkCaptureFolder(app::Frame& frame);

// Loads the next address, or ends the run when there is none.
void advanceRun(app::Frame& frame);

// The folder separator of the platform's paths.
#ifdef _WIN32
inline constexpr const char* kFolderSeparator = "\\";
#else
inline constexpr const char* kFolderSeparator = "/";
#endif

// The path with a trailing separator; empty stays empty. The last character,
// not the last byte, is tested, so a double-byte character whose second byte
// looks like a backslash does not count as one.
Text normaliseFolderPath(const Text& path, const Text& separator = Text(kFolderSeparator),
                         const CodePage& cp = systemCodePage());

// The first of stem + ".jpg", stem + "(2).jpg", stem + "(3).jpg" … that names
// nothing on disk yet.
Text freeCaptureName(const Text& stem);

// Saves a picture of the browser into the capture folder under the current
// date and time.
void capturePage(app::Frame& frame);

}  // namespace sorvane::run
