// Win32 backend: the system browser control hosted in a view window.
//
// Links ole32, oleaut32, uuid, user32 and gdi32. The view is a window of our
// own class; the engine lives in it as an in-place active OLE object, reached
// through IWebBrowser2. The view is usually created disabled, which keeps the
// user's clicks, wheel and keys away from the page. A white window of its
// own lies over the engine while the view is blanked.

#include "platform/win32/browser.h"

#include <exdisp.h>
#include <ocidl.h>
#include <ole2.h>

#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "platform/win32/browser_setup.h"
#include "platform/win32/browser_site.h"
#include "platform/win32/capture.h"
#include "platform/win32/services/com_ptr.h"

namespace sorvane::platform::win32 {

namespace {

constexpr wchar_t kViewClass[] = L"SorvaneBrowserView";
constexpr wchar_t kCoverClass[] = L"SorvaneBlankCover";

struct Bstr {
  BSTR value;
  explicit Bstr(const std::wstring& text)
      : value(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(value); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
};

struct Variant {
  VARIANT value;
  Variant() { VariantInit(&value); }
  ~Variant() { VariantClear(&value); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
};

LRESULT CALLBACK viewProc(HWND, UINT, WPARAM, LPARAM) noexcept;

bool registerViewClass() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = viewProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kViewClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    // The blank page: a plain white window, painted by its class brush alone.
    wc.lpfnWndProc = DefWindowProcW;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kCoverClass;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

VARIANT_BOOL flag(std::uint32_t word) { return word ? VARIANT_TRUE : VARIANT_FALSE; }

void applyBorderStyle(HWND view, std::uint32_t borderStyle) {
  LONG_PTR style = GetWindowLongPtrW(view, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_BORDER);
  LONG_PTR exStyle = GetWindowLongPtrW(view, GWL_EXSTYLE) &
                     ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME |
                                            WS_EX_STATICEDGE);
  switch (borderStyle) {
    case 1: exStyle |= WS_EX_CLIENTEDGE; break;
    case 2: exStyle |= WS_EX_DLGMODALFRAME; break;
    case 3: exStyle |= WS_EX_STATICEDGE; break;
    case 4: exStyle |= WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME; break;
    case 5: style |= WS_BORDER; break;
    default: break;
  }
  SetWindowLongPtrW(view, GWL_STYLE, style);
  SetWindowLongPtrW(view, GWL_EXSTYLE, exStyle);
  SetWindowPos(view, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

class BrowserHost {
 public:
  HWND view = nullptr;
  ComPtr<IStorage> storage;
  ComPtr<IOleClientSite> site;
  ComPtr<IOleObject> object;
  ComPtr<IWebBrowser2> browser;
  ComPtr<IConnectionPoint> eventSource;
  DWORD eventCookie = 0;
  std::shared_ptr<NavigationTrack> track = std::make_shared<NavigationTrack>();
  std::shared_ptr<ModalCount> modal = std::make_shared<ModalCount>();
  HWND cover = nullptr;  // a child of the view, gone with it
  int calls = 0;  // navigations, stops and drawings asked of the control
  DocumentMeasure measure;  // a test's, in place of the engine's

  // Inside a box of its own the control runs its own loop, where a timer of
  // ours can arrive; a call into it then lands in the middle of its own.
  bool callable() const { return browser && modal->depth == 0; }

  // Everything the engine holds goes here, while the view is still whole:
  // either from the deleter or when Windows destroys the view with its parent.
  void closeEngine() {
    track->topLevel = nullptr;
    track->cover = nullptr;
    cover = nullptr;
    if (eventSource) {
      eventSource->Unadvise(eventCookie);
      eventSource.reset();
    }
    if (browser) {
      browser->Stop();  // no download goes on for a view that is gone
      browser.reset();
    }
    if (object) {
      ComPtr<IOleInPlaceObject> inPlace;
      if (SUCCEEDED(object->QueryInterface(IID_IOleInPlaceObject,
                                           reinterpret_cast<void**>(inPlace.put()))))
        inPlace->InPlaceDeactivate();
      object->Close(OLECLOSE_NOSAVE);
      object->SetClientSite(nullptr);
      object.reset();
    }
    if (site) {
      detachBrowserSite(site.p);
      site.reset();
    }
    storage.reset();
  }

  void layoutEngine() {
    if (!object || !view) return;
    ComPtr<IOleInPlaceObject> inPlace;
    if (FAILED(object->QueryInterface(IID_IOleInPlaceObject,
                                      reinterpret_cast<void**>(inPlace.put()))))
      return;
    RECT position = browserEngineRect(view);
    RECT clip{};
    GetClientRect(view, &clip);
    inPlace->SetObjectRects(&position, &clip);
    if (cover)
      SetWindowPos(cover, nullptr, 0, 0, clip.right, clip.bottom,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  }

  void makeCover() {
    RECT client{};
    GetClientRect(view, &client);
    cover = CreateWindowExW(0, kCoverClass, L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, client.right,
                            client.bottom, view, nullptr, GetModuleHandleW(nullptr), nullptr);
    track->cover = cover;
  }

  bool embedEngine() {
    ComPtr<ILockBytes> bytes;
    if (FAILED(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()))) return false;
    if (FAILED(StgCreateDocfileOnILockBytes(
            bytes.p, STGM_SHARE_EXCLUSIVE | STGM_CREATE | STGM_READWRITE, 0, storage.put())))
      return false;
    site.p = makeBrowserSite(view, modal);
    if (!site) return false;
    if (FAILED(OleCreate(CLSID_WebBrowser, IID_IOleObject, OLERENDER_DRAW, nullptr, site.p,
                         storage.p, reinterpret_cast<void**>(object.put()))))
      return false;
    OleSetContainedObject(object.p, TRUE);
    RECT client{};
    GetClientRect(view, &client);
    if (FAILED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.p, 0, view, &client)))
      return false;
    if (FAILED(object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(browser.put()))))
      return false;
    layoutEngine();
    listenToEvents();
    return true;
  }

  void listenToEvents() {
    ComPtr<IConnectionPointContainer> container;
    if (FAILED(browser->QueryInterface(IID_IConnectionPointContainer,
                                       reinterpret_cast<void**>(container.put()))))
      return;
    if (FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, eventSource.put()))) return;
    ComPtr<IUnknown> identity;
    if (SUCCEEDED(browser->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.put()))))
      track->topLevel = identity.p;  // the browser keeps it alive
    ComPtr<IDispatch> sink;
    sink.p = makeBrowserEvents(track);
    if (!sink || FAILED(eventSource->Advise(sink.p, &eventCookie))) eventSource.reset();
  }
};

namespace {

LRESULT CALLBACK viewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* host = reinterpret_cast<BrowserHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_SIZE:
      if (host) host->layoutEngine();
      return 0;
    case WM_ERASEBKGND:
      // The engine covers the whole client area once it is there.
      if (host && host->object) return 1;
      break;
    case WM_DESTROY:
      if (host) host->closeEngine();
      break;
    case WM_NCDESTROY:
      if (host) {
        host->view = nullptr;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void BrowserHostDeleter::operator()(BrowserHost* host) const noexcept {
  if (!host) return;
  if (host->view) DestroyWindow(host->view);  // closes the engine on its way
  host->closeEngine();
  delete host;
}

BrowserHostPtr createBrowserHost(HWND parent, const Rect& rect, DWORD style, int id,
                                 const BrowserSettings& settings) {
  if (settings.version > 1 || !registerViewClass()) return nullptr;
  // Read by the engine as it starts, so set before the control is made.
  prepareBrowserEngine();
  BrowserHostPtr host(new (std::nothrow) BrowserHost);
  if (!host) return nullptr;
  host->view = CreateWindowExW(0, kViewClass, L"", style | WS_CHILD, rect.left, rect.top,
                               rect.width, rect.height, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleW(nullptr), host.get());
  if (!host->view || !host->embedEngine()) return nullptr;  // the deleter clears up
  applyBorderStyle(host->view, settings.borderStyle);
  host->makeCover();
  host->layoutEngine();
  host->browser->put_Silent(flag(settings.silent));
  host->browser->put_Offline(flag(settings.offline));
  host->browser->put_RegisterAsDropTarget(flag(settings.registerAsDropTarget));
  host->browser->put_RegisterAsBrowser(flag(settings.registerAsBrowser));
  return host;
}

HWND browserHostWindow(const BrowserHost& host) { return host.view; }

void browserHostNavigate(BrowserHost& host, const std::wstring& url) {
  // Reset before the call: the engine reports some of its events from inside it.
  // Also when the control cannot be called: the view then shows nothing of
  // the address, and is blanked rather than pictured as it.
  host.track->cover = host.cover;
  if (!host.callable()) {
    host.track->document.clear();
    host.track->shows = PageShows::Nothing;
  }
  sendTrack(*host.track, url);
  if (!host.callable()) return;
  ++host.calls;
  Bstr address(url);
  Bstr empty(L"");
  Variant flags, target, postData, headers;
  flags.value.vt = VT_I4;
  flags.value.lVal = 0;
  target.value.vt = VT_BSTR;
  target.value.bstrVal = SysAllocString(L"");
  headers.value.vt = VT_BSTR;
  headers.value.bstrVal = SysAllocString(L"");
  // Failures end like a failed load: the caller only ever looks at busy.
  host.browser->Navigate(address.value, &flags.value, &target.value, &postData.value,
                         &headers.value);
}

bool browserHostBusy(const BrowserHost& host) {
  if (host.browser && host.modal->depth > 0) return true;  // the run waits for the box
  if (!host.browser || host.track->ended) return false;
  VARIANT_BOOL busy = VARIANT_FALSE;
  if (FAILED(host.browser->get_Busy(&busy))) return false;
  return busy != VARIANT_FALSE;
}

void browserHostStop(BrowserHost& host) {
  if (!host.callable()) return;
  ++host.calls;
  host.browser->Stop();
}

// The engine runs a page's scripts on our own thread, so a script that never
// returns never lets this be called at all; what can be ended here is a page
// whose load, timers or own navigations go on between our turns. The empty
// page replaces its document and everything that belongs to it.
void browserHostEndPage(BrowserHost& host) {
  if (!host.callable()) return;  // asked again at the next turn, busy as the control is
  ++host.calls;
  host.browser->Stop();
  host.track->ended = true;
  Bstr blank(L"about:blank");
  Variant none;
  host.browser->Navigate(blank.value, &none.value, &none.value, &none.value, &none.value);
}

PageShows browserHostShows(const BrowserHost& host) { return host.track->shows; }

void browserHostShowBlank(BrowserHost& host) {
  if (!host.cover) return;
  // The engine's window must not paint over its new sibling.
  if (HWND engine = GetWindow(host.view, GW_CHILD); engine && engine != host.cover)
    SetWindowLongPtrW(engine, GWL_STYLE, GetWindowLongPtrW(engine, GWL_STYLE) | WS_CLIPSIBLINGS);
  SetWindowPos(host.cover, HWND_TOP, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  // At once: a picture taken before the loop turns again shows white.
  RedrawWindow(host.cover, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// Its own style, not IsWindowVisible: the cover still covers the view while
// the window it lies in is hidden.
bool browserHostBlankShown(const BrowserHost& host) {
  return host.cover && (GetWindowLongPtrW(host.cover, GWL_STYLE) & WS_VISIBLE);
}

bool browserHostDrawPixels(BrowserHost& host, Pixels& out) {
  if (!host.view) return false;
  RECT r{};
  GetWindowRect(host.view, &r);
  const bool blank = browserHostBlankShown(host);
  ComPtr<IViewObject> drawing;
  if (!blank && (!host.callable() || !host.object ||
                 FAILED(host.object->QueryInterface(IID_IViewObject,
                                                    reinterpret_cast<void**>(drawing.put())))))
    return false;
  if (!blank) ++host.calls;
  return drawPixels(r.right - r.left, r.bottom - r.top, out, [&](HDC dc, const RECT& bounds) {
    FillRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (blank) return true;
    const RECTL where{bounds.left, bounds.top, bounds.right, bounds.bottom};
    return SUCCEEDED(drawing->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &where,
                                   nullptr, nullptr, 0));
  });
}

std::optional<PicturePath> browserHostPicture(BrowserHost& host, Pixels& out,
                                              const PictureConditions& forced) {
  HWND view = host.view;
  if (!view || !IsWindow(view)) return std::nullopt;
  const bool readable = windowPixelsReadable(view);
  const PicturePath chosen = choosePicturePath(forced.composited.value_or(desktopComposited()),
                                               whollyOnScreen(view), readable);
  auto copy = [&] { return !forced.copyFails && captureWindowPixels(view, out); };
  if (chosen == PicturePath::Copy) {
    if (copy()) return PicturePath::Copy;
    // A copy that fails (a session whose screen went away) still leaves the
    // control's own drawing.
    return browserHostDrawPixels(host, out) ? std::optional(PicturePath::Draw) : std::nullopt;
  }
  if (browserHostDrawPixels(host, out)) return PicturePath::Draw;
  // A control that cannot draw: what the screen shows is better than nothing.
  if (readable && copy()) return PicturePath::Copy;
  return std::nullopt;
}

bool browserHostModal(const BrowserHost& host) { return host.modal->depth > 0; }

BrowserHost* browserHostOfView(HWND view) {
  wchar_t name[64] = {};
  if (!view || !GetClassNameW(view, name, 64) || std::wstring_view(name) != kViewClass)
    return nullptr;
  return reinterpret_cast<BrowserHost*>(GetWindowLongPtrW(view, GWLP_USERDATA));
}

int browserHostCalls(const BrowserHost& host) { return host.calls; }

void browserHostMeasureDocument(BrowserHost& host, DocumentMeasure measure) {
  host.measure = std::move(measure);
}
const DocumentMeasure& browserHostDocumentMeasure(const BrowserHost& host) { return host.measure; }

IWebBrowser2* browserHostEngine(const BrowserHost& host) { return host.browser.p; }
IOleClientSite* browserHostSite(const BrowserHost& host) { return host.site.p; }

}  // namespace sorvane::platform::win32
