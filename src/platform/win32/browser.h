#pragma once
// Win32 backend: the view window hosting the system browser control.

#include <windows.h>

#include <memory>
#include <string>

#include "platform/platform.h"

namespace sorvane::platform::win32 {

class BrowserHost;
struct BrowserHostDeleter {
  void operator()(BrowserHost* host) const noexcept;
};
using BrowserHostPtr = std::unique_ptr<BrowserHost, BrowserHostDeleter>;

// The view: a child window of `parent` at `rect` with `style` (child, clip siblings,
// WS_DISABLED and WS_TABSTOP as the layout says) and control id `id`, hosting the
// system browser control with `settings`. nullptr (and no window left behind) when
// the settings version is above 1 or the engine cannot be made. The deleter copes
// with a view that Windows already destroyed along with its parent.
BrowserHostPtr createBrowserHost(HWND parent, const Rect& rect, DWORD style, int id,
                                 const BrowserSettings& settings);
HWND browserHostWindow(const BrowserHost& host);  // the view, not the engine's window
void browserHostNavigate(BrowserHost& host, const std::wstring& url);
// False while the page is ended (browserHostEndPage) until the next address.
bool browserHostBusy(const BrowserHost& host);
void browserHostStop(BrowserHost& host);
// Stops the load and unloads the page, its scripts, timers and plugins with it.
void browserHostEndPage(BrowserHost& host);
PageShows browserHostShows(const BrowserHost& host);
// Lays a white window over the engine at once, until a page of the next
// address has committed.
void browserHostShowBlank(BrowserHost& host);
bool browserHostBlankShown(const BrowserHost& host);
// The engine draws the page into `out` at the view's size, for when the
// screen's pixels cannot be read; white while the view is blanked.
bool browserHostDrawPixels(const BrowserHost& host, Pixels& out);

}  // namespace sorvane::platform::win32
