// Win32 backend: the system browser control hosted in a view window.
//
// Links ole32, oleaut32, uuid and user32. The view is a window of our own
// class; the engine lives in it as an in-place active OLE object, reached
// through IWebBrowser2. The view is usually created disabled, which keeps the
// user's clicks, wheel and keys away from the page.

#include "platform/win32/win32_browser.h"

#include <exdisp.h>
#include <ocidl.h>
#include <ole2.h>

#include <new>

#include "platform/win32/win32_browser_site.h"

namespace sorvane::platform::win32 {

namespace {

constexpr wchar_t kViewClass[] = L"SorvaneBrowserView";

template <typename T>
struct ComPtr {
  T* p = nullptr;
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }
  void reset() {
    if (p) p->Release();
    p = nullptr;
  }
  T** put() {
    reset();
    return &p;
  }
  T* operator->() const { return p; }
  explicit operator bool() const { return p != nullptr; }
};

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

  // Everything the engine holds goes here, while the view is still whole:
  // either from the deleter or when Windows destroys the view with its parent.
  void closeEngine() {
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
  }

  bool embedEngine() {
    ComPtr<ILockBytes> bytes;
    if (FAILED(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()))) return false;
    if (FAILED(StgCreateDocfileOnILockBytes(
            bytes.p, STGM_SHARE_EXCLUSIVE | STGM_CREATE | STGM_READWRITE, 0, storage.put())))
      return false;
    site.p = makeBrowserSite(view);
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
    ComPtr<IDispatch> sink;
    sink.p = makeBrowserEvents();
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
  BrowserHostPtr host(new (std::nothrow) BrowserHost);
  if (!host) return nullptr;
  host->view = CreateWindowExW(0, kViewClass, L"", style | WS_CHILD, rect.left, rect.top,
                               rect.width, rect.height, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleW(nullptr), host.get());
  if (!host->view || !host->embedEngine()) return nullptr;  // the deleter clears up
  applyBorderStyle(host->view, settings.borderStyle);
  host->layoutEngine();
  host->browser->put_Silent(flag(settings.silent));
  host->browser->put_Offline(flag(settings.offline));
  host->browser->put_RegisterAsDropTarget(flag(settings.registerAsDropTarget));
  host->browser->put_RegisterAsBrowser(flag(settings.registerAsBrowser));
  return host;
}

HWND browserHostWindow(const BrowserHost& host) { return host.view; }

void browserHostNavigate(BrowserHost& host, const std::wstring& url) {
  if (!host.browser) return;
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
  if (!host.browser) return false;
  VARIANT_BOOL busy = VARIANT_FALSE;
  if (FAILED(host.browser->get_Busy(&busy))) return false;
  return busy != VARIANT_FALSE;
}

void browserHostStop(BrowserHost& host) {
  if (host.browser) host.browser->Stop();
}

IWebBrowser2* browserHostEngine(const BrowserHost& host) { return host.browser.p; }
IOleClientSite* browserHostSite(const BrowserHost& host) { return host.site.p; }

}  // namespace sorvane::platform::win32
