#pragma once
// Win32 backend: the COM objects the browser control talks back to. Internal to
// the browser host (and its tests); the rest of the backend uses win32/browser.h.

#include <windows.h>
#include <exdisp.h>
#include <ole2.h>

#include <memory>
#include <string>

#include "platform/win32/browser.h"

namespace sorvane::platform::win32 {

// How many boxes of its own the control has open, as it tells its frame
// (IOleInPlaceFrame::EnableModeless). While one is open the control runs a
// loop of its own, inside which our timers still tick: nothing may call into
// it then.
struct ModalCount {
  int depth = 0;
};

// The container side of the embedding: client site, in-place site and frame,
// plus the hooks through which the engine would otherwise show a box or save a
// download; it keeps `modal` up to date. One reference is handed back to the
// caller.
IOleClientSite* makeBrowserSite(HWND view, std::shared_ptr<ModalCount> modal = nullptr);
// The site forgets its view, so that an engine that keeps the site alive after
// the view has gone never reaches a dead window.
void detachBrowserSite(IOleClientSite* site);

// What the view shows of the latest address it was sent, as the engine's
// navigation events tell it. Shared by the host and its event receiver, which
// the engine may keep alive after the host has gone.
struct NavigationTrack {
  PageShows shows = PageShows::Nothing;
  std::wstring sent;  // the latest address sent to the view
  // The page was ended: what the engine does next (its own blank page) says
  // nothing about the address, until the next one is sent.
  bool ended = false;
  // The control itself, to tell its own navigations from those of a page's
  // frames; not a reference. None: every event counts (tests).
  IUnknown* topLevel = nullptr;
  // The white window laid over the engine, hidden again once a page of the
  // next address shows.
  HWND cover = nullptr;
  // Where the page on show as an address's own was committed.
  std::wstring document;
};

// Starts the track of a new address. One that differs from the page on show
// only after '#' moves within that page: the control may tell nothing more
// of it, and the page stays on show as the address's own.
void sendTrack(NavigationTrack& track, const std::wstring& url);

// The receiver of the engine's navigation events (DWebBrowserEvents2): it turns
// down new windows, a page's request to close the view, and file downloads,
// and keeps `track` up to date. One reference is handed back to the caller.
IDispatch* makeBrowserEvents(std::shared_ptr<NavigationTrack> track);

// Where the engine's window lies in the view: the client area grown by a
// client edge on every side, so that the engine's own sunken border is clipped.
RECT browserEngineRect(HWND view);

// For tests: the engine's automation interface and the host's site.
IWebBrowser2* browserHostEngine(const BrowserHost& host);
IOleClientSite* browserHostSite(const BrowserHost& host);

}  // namespace sorvane::platform::win32
