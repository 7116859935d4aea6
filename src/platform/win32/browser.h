#pragma once
// Win32 backend: the view window hosting the system browser control.

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/win32/capture.h"

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
// The engine draws the page into `out` at the view's size; white while the
// view is blanked. False while the control shows a box of its own.
bool browserHostDrawPixels(BrowserHost& host, Pixels& out);

// The document's size with the view at `view`. Tests stand in for the
// engine's measure with one of their own (an empty one: the engine's again).
using DocumentMeasure = std::function<std::optional<SIZE>(SIZE view)>;
void browserHostMeasureDocument(BrowserHost& host, DocumentMeasure measure);
const DocumentMeasure& browserHostDocumentMeasure(const BrowserHost& host);

// What the choice of picture path reads, forced by tests.
struct PictureConditions {
  std::optional<bool> composited;  // unset: as the system says
  bool copyFails = false;          // the window's copy fails, as it does without a screen
};
// A picture of the view at its own size, by the path that shows the page
// alone (choosePicturePath), the other path when that one fails. The path
// taken, or nothing when neither gave a picture.
std::optional<PicturePath> browserHostPicture(BrowserHost& host, Pixels& out,
                                              const PictureConditions& forced = {});

// True while the control shows a box of its own (it has called
// EnableModeless(FALSE) on its frame and not yet TRUE): the view counts as
// busy, and navigate, stop, end-page and drawing leave the control alone.
bool browserHostModal(const BrowserHost& host);

// For tests: the host whose view this is (nullptr for any other window), and
// how many navigations, stops and drawings it has asked of the control.
BrowserHost* browserHostOfView(HWND view);
int browserHostCalls(const BrowserHost& host);

}  // namespace sorvane::platform::win32
