#pragma once
// The GTK 3 + WebKitGTK desktop behind the platform seam. This header names no
// GTK type, so the program's start-up code stays free of toolkit includes.

#include <memory>
#include <string>

#include "platform/platform.h"

namespace sorvane::engine {
class Browser;
}

namespace sorvane::platform::gtk {

// Opens the display and prepares the toolkit (fonts, styles, the web engine's
// shared context). Returns nullptr when no display can be opened.
std::unique_ptr<Platform> makeGtkPlatform(int* argc, char*** argv);

// Pages from our own engine's browser for the browser areas made from now
// on (nullptr: the engine the window hosts). The browser must outlive them;
// set nullptr before it goes.
void usePageEngine(Platform& platform, engine::Browser* browser);

// The hosted engine's name and version ("WebKitGTK 2.46.5"); its library is
// loaded for it if it was not yet.
std::string hostedEngineName();

// Takes the toolkit's own options (--display, --gtk-debug, --class …) out of
// the command line, without opening the display, so that what is left is the
// program's alone.
void takeToolkitOptions(int* argc, char*** argv);

// First thing in main: standard streams that the caller closed are opened on
// /dev/null, and a reader of them going away ends nothing but the lines.
void prepareProcess();

}  // namespace sorvane::platform::gtk
