#pragma once
// Win32 backend: the COM objects the browser control talks back to. Internal to
// the browser host (and its tests); the rest of the backend uses win32_browser.h.

#include <windows.h>
#include <exdisp.h>
#include <ole2.h>

#include "platform/win32/win32_browser.h"

namespace sorvane::platform::win32 {

// The container side of the embedding: client site, in-place site and frame,
// plus the hooks through which the engine would otherwise show a box or save a
// download. One reference is handed back to the caller.
IOleClientSite* makeBrowserSite(HWND view);
// The site forgets its view, so that an engine that keeps the site alive after
// the view has gone never reaches a dead window.
void detachBrowserSite(IOleClientSite* site);

// The receiver of the engine's navigation events (DWebBrowserEvents2): it turns
// down new windows, a page's request to close the view, and file downloads.
// One reference is handed back to the caller.
IDispatch* makeBrowserEvents();

// Where the engine's window lies in the view: the client area grown by a
// client edge on every side, so that the engine's own sunken border is clipped.
RECT browserEngineRect(HWND view);

// For tests: the engine's automation interface and the host's site.
IWebBrowser2* browserHostEngine(const BrowserHost& host);
IOleClientSite* browserHostSite(const BrowserHost& host);

}  // namespace sorvane::platform::win32
