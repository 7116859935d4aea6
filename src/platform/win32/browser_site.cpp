// Win32 backend: the container side of the browser control.
//
// The engine is only a picture of pages: nothing a page does may open a
// window, a box or a file. The control's Silent switch keeps most dialogs
// away; the hooks here close what it leaves open (alerts and prompts through
// IDocHostShowUI, script-error, print and find dialogs through the command
// handler, downloads through IDownloadManager and the FileDownload event, new
// and closed windows through the navigation events).

#include "platform/win32/browser_site.h"

#include <downloadmgr.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <servprov.h>

#include <atomic>
#include <cwctype>
#include <new>
#include <string_view>

namespace sorvane::platform::win32 {

namespace {

// Not in the import libraries; the value is fixed by the engine.
constexpr GUID kDocHostCommandHandler = {
    0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};

RECT clientRect(HWND view) {
  RECT r{};
  if (view) GetClientRect(view, &r);
  return r;
}

class BrowserSite final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public IDocHostShowUI,
                          public IOleCommandTarget,
                          public IServiceProvider,
                          public IDownloadManager {
 public:
  BrowserSite(HWND view, std::shared_ptr<ModalCount> modal)
      : view_(view), modal_(std::move(modal)) {}
  void detach() { view_ = nullptr; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite)
      *out = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
      *out = static_cast<IOleInPlaceSite*>(this);
    else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
      *out = static_cast<IOleInPlaceFrame*>(this);
    else if (riid == __uuidof(IDocHostShowUI))
      *out = static_cast<IDocHostShowUI*>(this);
    else if (riid == IID_IOleCommandTarget)
      *out = static_cast<IOleCommandTarget*>(this);
    else if (riid == IID_IServiceProvider)
      *out = static_cast<IServiceProvider*>(this);
    else if (riid == __uuidof(IDownloadManager))
      *out = static_cast<IDownloadManager*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) noexcept override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) noexcept override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() noexcept override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) noexcept override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() noexcept override { return E_NOTIMPL; }

  // IOleWindow, shared by the in-place site and the frame
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) noexcept override {
    if (!out) return E_POINTER;
    *out = view_;
    return view_ ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) noexcept override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() noexcept override {
    return view_ ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() noexcept override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() noexcept override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT position, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) noexcept override {
    if (frame) {
      *frame = static_cast<IOleInPlaceFrame*>(this);
      AddRef();
    }
    if (doc) *doc = nullptr;
    if (position) *position = browserEngineRect(view_);
    if (clip) *clip = clientRect(view_);
    if (info) {
      info->fMDIApp = FALSE;
      info->hwndFrame = view_ ? GetAncestor(view_, GA_ROOT) : nullptr;
      info->haccel = nullptr;
      info->cAccelEntries = 0;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) noexcept override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() noexcept override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) noexcept override {
    // The view alone decides where the engine lies.
    return S_OK;
  }

  // IOleInPlaceUIWindow and IOleInPlaceFrame: a frame without menus, tool
  // space or status line.
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) noexcept override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) noexcept override {
    return INPLACE_E_NOTOOLSPACE;
  }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) noexcept override {
    return OLE_E_INVALIDRECT;
  }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) noexcept override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) noexcept override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) noexcept override { return S_OK; }
  // The control calls this with FALSE as it opens a box of its own and with
  // TRUE as it closes it; boxes may nest.
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) noexcept override {
    if (modal_) {
      if (!enable)
        ++modal_->depth;
      else if (modal_->depth > 0)
        --modal_->depth;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) noexcept override {
    return S_FALSE;
  }

  // IDocHostShowUI: alerts, confirmations and prompts are answered unseen,
  // with the answer that lets the page go on (leaving a page never waits).
  HRESULT STDMETHODCALLTYPE ShowMessage(HWND, LPOLESTR, LPOLESTR, DWORD type, LPOLESTR, DWORD,
                                        LRESULT* result) noexcept override {
    if (result) {
      const DWORD buttons = type & MB_TYPEMASK;
      *result = (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) ? IDYES : IDOK;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT,
                                     IDispatch*) noexcept override {
    return S_OK;
  }

  // IOleCommandTarget: the engine asks its host before it shows one of its
  // own dialogs; saying "done" shows nothing.
  HRESULT STDMETHODCALLTYPE QueryStatus(const GUID* group, ULONG, OLECMD*,
                                        OLECMDTEXT*) noexcept override {
    if (!group || *group != kDocHostCommandHandler) return OLECMDERR_E_UNKNOWNGROUP;
    return OLECMDERR_E_NOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE Exec(const GUID* group, DWORD command, DWORD, VARIANT*,
                                 VARIANT* out) noexcept override {
    if (!group || *group != kDocHostCommandHandler) return OLECMDERR_E_UNKNOWNGROUP;
    switch (command) {
      case OLECMDID_SHOWSCRIPTERROR:
        // Go on running the page's scripts, without a report.
        if (out) {
          VariantClear(out);
          out->vt = VT_BOOL;
          out->boolVal = VARIANT_TRUE;
        }
        return S_OK;
      case OLECMDID_SHOWMESSAGE:
      case OLECMDID_SHOWFIND:
      case OLECMDID_SHOWPAGESETUP:
      case OLECMDID_SHOWPRINT:
      case OLECMDID_PRINT:
      case OLECMDID_PRINTPREVIEW:
        return S_OK;
      default:
        return OLECMDERR_E_NOTSUPPORTED;
    }
  }

  // IServiceProvider: the engine looks for a download manager here.
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid,
                                         void** out) noexcept override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (service == __uuidof(IDownloadManager)) return QueryInterface(riid, out);
    return E_NOINTERFACE;
  }

  // IDownloadManager: every download is taken over, and nothing is saved.
  HRESULT STDMETHODCALLTYPE Download(IMoniker*, IBindCtx*, DWORD, LONG, BINDINFO*, LPCOLESTR,
                                     LPCOLESTR, UINT) noexcept override {
    return S_OK;
  }

 private:
  ~BrowserSite() = default;
  std::atomic<ULONG> refs_{1};
  HWND view_;
  std::shared_ptr<ModalCount> modal_;
};

void cancel(VARIANT& argument) {
  if (argument.vt == (VT_BYREF | VT_BOOL) && argument.pboolVal)
    *argument.pboolVal = VARIANT_TRUE;
}

bool sameObject(IUnknown* a, IUnknown* b) {
  if (!a || !b) return false;
  IUnknown* identity = nullptr;
  if (FAILED(a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return false;
  const bool same = identity == b;
  identity->Release();
  return same;
}

std::wstring urlOf(const VARIANT& argument) {
  const VARIANT* v = &argument;
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  if (v->vt == VT_BSTR && v->bstrVal) return v->bstrVal;
  if (v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal && *v->pbstrVal) return *v->pbstrVal;
  return {};
}

IUnknown* objectOf(const VARIANT& argument) {
  if (argument.vt == VT_DISPATCH) return argument.pdispVal;
  if (argument.vt == VT_UNKNOWN) return argument.punkVal;
  return nullptr;
}

// The engine's pages are built into it and come from res:// addresses.
bool isEnginePage(const std::wstring& url) {
  constexpr std::wstring_view kScheme = L"res:";
  if (url.size() < kScheme.size()) return false;
  for (std::size_t i = 0; i < kScheme.size(); ++i)
    if (std::towlower(url[i]) != kScheme[i]) return false;
  return true;
}

class BrowserEvents final : public IDispatch {
 public:
  explicit BrowserEvents(std::shared_ptr<NavigationTrack> track) : track_(std::move(track)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != DIID_DWebBrowserEvents2)
      return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) noexcept override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                          DISPID*) noexcept override {
    return E_NOTIMPL;
  }
  // Arguments arrive last first: rgvarg[0] is the event's last parameter.
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) noexcept override {
    if (!params || !params->rgvarg) return S_OK;
    const UINT count = params->cArgs;
    VARIANT* args = params->rgvarg;
    switch (member) {
      case DISPID_NEWWINDOW2:  // (ppDisp, Cancel)
        if (count == 2) cancel(args[0]);
        break;
      case DISPID_NEWWINDOW3:  // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
        if (count == 5) cancel(args[3]);
        break;
      case DISPID_WINDOWCLOSING:  // (IsChildWindow, Cancel)
        // A page that closes itself would take the view with it, and every
        // later address would go to a dead engine.
        if (count == 2) cancel(args[0]);
        break;
      case DISPID_FILEDOWNLOAD:  // (ActiveDocument, Cancel)
        // Pages shown in the view come this way too; only a real download is
        // turned down, and the view keeps showing nothing of the address.
        if (count == 2 && args[1].vt == VT_BOOL && args[1].boolVal == VARIANT_FALSE)
          cancel(args[0]);
        break;
      case DISPID_NAVIGATECOMPLETE2:  // (pDisp, URL)
      case DISPID_DOCUMENTCOMPLETE:   // (pDisp, URL)
        if (count == 2) committed(objectOf(args[1]), urlOf(args[0]));
        break;
      case DISPID_NAVIGATEERROR:  // (pDisp, URL, Frame, StatusCode, Cancel)
        if (count == 5) failed(objectOf(args[4]));
        break;
      default:
        break;
    }
    return S_OK;
  }

 private:
  ~BrowserEvents() = default;

  bool ours(IUnknown* object) const {
    return track_ && !track_->ended && (!track_->topLevel || sameObject(object, track_->topLevel));
  }

  // The view now shows a document of the address (or the engine's page about
  // it): the cover has done its work.
  void committed(IUnknown* object, const std::wstring& url) {
    if (!ours(object)) return;
    // The blank page that ended the last one may finish after the next
    // address was sent.
    if (url == L"about:blank" && track_->sent != url) return;
    // The engine's own pages (a load stopped before its page came, no
    // connection) are not the address's page. Only after a failure reported
    // as such does one stand for it; otherwise the view counts as showing
    // nothing of the address and stays covered, so the run blanks it.
    if (isEnginePage(url) && track_->shows != PageShows::EngineError) {
      track_->shows = PageShows::Nothing;
      return;
    }
    if (track_->shows == PageShows::Nothing) track_->shows = PageShows::Own;
    if (track_->shows == PageShows::Own) track_->document = url;
    if (track_->cover) ShowWindow(track_->cover, SW_HIDE);
  }

  // The engine goes on to show its own page saying so.
  void failed(IUnknown* object) {
    if (ours(object)) track_->shows = PageShows::EngineError;
  }

  std::atomic<ULONG> refs_{1};
  std::shared_ptr<NavigationTrack> track_;
};

}  // namespace

RECT browserEngineRect(HWND view) {
  RECT r = clientRect(view);
  // The engine draws a sunken edge of its own; it is pushed out of sight.
  AdjustWindowRectEx(&r, WS_CHILD, FALSE, WS_EX_CLIENTEDGE);
  return r;
}

void sendTrack(NavigationTrack& track, const std::wstring& url) {
  auto documentOf = [](std::wstring_view address) {
    return address.substr(0, address.find(L'#'));
  };
  const bool withinPage = track.shows == PageShows::Own && !track.ended &&
                          url.find(L'#') != std::wstring::npos && !track.document.empty() &&
                          documentOf(url) == documentOf(track.document);
  track.shows = withinPage ? PageShows::Own : PageShows::Nothing;
  track.sent = url;
  track.ended = false;
  if (withinPage && track.cover) ShowWindow(track.cover, SW_HIDE);
  if (!withinPage) track.document.clear();
}

IOleClientSite* makeBrowserSite(HWND view, std::shared_ptr<ModalCount> modal) {
  return new (std::nothrow) BrowserSite(view, std::move(modal));
}

void detachBrowserSite(IOleClientSite* site) {
  if (site) static_cast<BrowserSite*>(site)->detach();
}

IDispatch* makeBrowserEvents(std::shared_ptr<NavigationTrack> track) {
  return new (std::nothrow) BrowserEvents(std::move(track));
}

}  // namespace sorvane::platform::win32
