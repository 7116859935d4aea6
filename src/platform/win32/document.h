#pragma once
// Win32 backend: the whole document of the browser control, drawn by it.

#include <windows.h>

#include <optional>

#include "platform/platform.h"
#include "platform/win32/browser.h"

namespace sorvane::platform::win32 {

// The document's scroll size as the engine has laid it out; nothing where no
// document is loaded (an empty view, and every view under Wine).
std::optional<SIZE> browserHostDocumentSize(BrowserHost& host);

// The control draws the document into a picture of its size (never smaller
// than the view), at most `limit`; `cut` says when it is larger. For the
// drawing the view is sized to it off the screen, without a redraw, the
// document measured again as it may grow with the view (a section as tall as
// the view), and then the view is put back to its own size and place. Where
// the memory for the picture is not there, the view's own picture, said cut.
std::optional<Platform::Document> browserHostDocument(BrowserHost& host, SIZE limit);

}  // namespace sorvane::platform::win32
