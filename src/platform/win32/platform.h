#pragma once
// The Win32 desktop behind the platform seam. This header names no Windows
// type, so the program's start-up code stays free of system includes.

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sorvane::engine {
class Browser;
}

namespace sorvane::platform::win32 {

// Before anything else: no system box (a drive with no disk, a crash's error
// report) may hold the process, and an abort ends it with kAbortExitCode and
// no box.
void prepareProcess();
// 0xC0000409, as newer C runtimes end an abort.
inline constexpr int kAbortExitCode = static_cast<int>(0xC0000409u);

// The Win32 desktop. It initialises OLE for this thread for as long as it
// lives: the browser control is an ActiveX control, and the folder picker
// needs OLE too.
std::unique_ptr<Platform> makeWin32Platform();

// The process's command line as texts in the program's code page, without the
// program's own name. An argument the code page cannot carry keeps '?' in its
// place and so names no file the user meant; the options report what they
// cannot use.
std::vector<std::string> commandLineArguments();

// Pages from our own engine's browser for the browser areas made from now
// on (nullptr: the system's browser control). The browser must outlive them;
// set nullptr before it goes.
void usePageEngine(Platform& platform, engine::Browser* browser);

// A start the command line refused: its line ("sorvane: …") is shown in a box
// too where standard error reaches nobody, as for a program double-clicked or
// given a file by "Open with", which has no console to show it.
void showStartProblem(Platform& platform, const std::string& line);

}  // namespace sorvane::platform::win32
