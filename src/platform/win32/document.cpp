// Win32 backend: the whole document, drawn by the browser control.
//
// The control draws only what its window holds, so for the drawing its window
// takes the document's size. It is moved off its parent's area at the same
// time and nothing is redrawn, so the person at the window sees neither; its
// size and place come back before the loop turns again, whatever happens.

#include "platform/win32/document.h"

#include <exdisp.h>
#include <mshtml.h>

#include <algorithm>

#include "platform/win32/browser_site.h"
#include "platform/win32/services/com_ptr.h"

namespace sorvane::platform::win32 {

namespace {

// The scroll size of an element, or nothing.
std::optional<SIZE> scrollSize(IHTMLElement* element) {
  ComPtr<IHTMLElement2> sized;
  if (!element ||
      FAILED(element->QueryInterface(IID_IHTMLElement2, reinterpret_cast<void**>(sized.put()))))
    return {};
  long width = 0, height = 0;
  if (FAILED(sized.p->get_scrollWidth(&width)) || FAILED(sized.p->get_scrollHeight(&height)))
    return {};
  return SIZE{width, height};
}

}  // namespace

std::optional<SIZE> browserHostDocumentSize(BrowserHost& host) {
  IWebBrowser2* engine = browserHostEngine(host);
  if (!engine || browserHostModal(host)) return {};
  ComPtr<IDispatch> dispatch;
  if (FAILED(engine->get_Document(dispatch.put())) || !dispatch.p) return {};
  ComPtr<IHTMLDocument3> document3;
  ComPtr<IHTMLDocument2> document2;
  std::optional<SIZE> size;
  auto widen = [&](IHTMLElement* element) {
    if (std::optional<SIZE> s = scrollSize(element))
      size = SIZE{std::max(size ? size->cx : 0, s->cx), std::max(size ? size->cy : 0, s->cy)};
  };
  // Standards mode scrolls the root element, quirks mode the body: the larger counts.
  if (SUCCEEDED(dispatch.p->QueryInterface(IID_IHTMLDocument3,
                                           reinterpret_cast<void**>(document3.put())))) {
    ComPtr<IHTMLElement> root;
    if (SUCCEEDED(document3.p->get_documentElement(root.put()))) widen(root.p);
  }
  if (SUCCEEDED(dispatch.p->QueryInterface(IID_IHTMLDocument2,
                                           reinterpret_cast<void**>(document2.put())))) {
    ComPtr<IHTMLElement> body;
    if (SUCCEEDED(document2.p->get_body(body.put()))) widen(body.p);
  }
  return size;
}

namespace {

// How often the document is measured again after the view took its size.
constexpr int kMeasures = 3;

// The view's size and place in its parent, given back however the drawing
// ends.
class PlaceKept {
 public:
  explicit PlaceKept(HWND view) : view_(view) {
    GetWindowRect(view, &place_);
    MapWindowPoints(nullptr, GetParent(view), reinterpret_cast<POINT*>(&place_), 2);
  }
  ~PlaceKept() {
    if (moved_) move(place_.left, place_.top, size());
  }
  PlaceKept(const PlaceKept&) = delete;
  PlaceKept& operator=(const PlaceKept&) = delete;

  SIZE size() const { return {place_.right - place_.left, place_.bottom - place_.top}; }
  // Off its parent's area, where nobody sees it at any size.
  void hideAt(SIZE size) {
    moved_ = true;
    move(-size.cx, -size.cy, size);
  }

 private:
  void move(int left, int top, SIZE size) {
    constexpr UINT kQuiet = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_NOCOPYBITS;
    SetWindowPos(view_, nullptr, left, top, size.cx, size.cy, kQuiet);
  }
  HWND view_;
  RECT place_{};
  bool moved_ = false;
};

// A document's picture beside the view: as large as both, up to the limit.
struct Fit {
  SIZE whole;    // the document, never smaller than the view
  SIZE picture;  // whole, held to the limit
};

Fit fit(SIZE view, std::optional<SIZE> document, SIZE limit) {
  const SIZE whole{std::max(view.cx, document ? document->cx : 0),
                   std::max(view.cy, document ? document->cy : 0)};
  return {whole, {std::min(whole.cx, limit.cx), std::min(whole.cy, limit.cy)}};
}

bool same(SIZE a, SIZE b) { return a.cx == b.cx && a.cy == b.cy; }
bool larger(SIZE whole, SIZE picture) { return whole.cx > picture.cx || whole.cy > picture.cy; }

}  // namespace

std::optional<Platform::Document> browserHostDocument(BrowserHost& host, SIZE limit) {
  HWND view = browserHostWindow(host);
  if (!view || !IsWindow(view) || limit.cx <= 0 || limit.cy <= 0) return std::nullopt;
  const DocumentMeasure& measure = browserHostDocumentMeasure(host);
  auto measured = [&](SIZE at) { return measure ? measure(at) : browserHostDocumentSize(host); };
  Platform::Document document;
  {
    PlaceKept kept(view);
    const SIZE own = kept.size();
    Fit now = fit(own, measured(own), limit);
    if (same(now.picture, own)) {
      document.cut = larger(now.whole, own);
    } else {
      // A section as tall as the view grows with it and pushes the rest
      // down: the document is measured again at each new size, a few times.
      // One that keeps growing is drawn at the size it had last, and cut.
      SIZE drawn = now.picture;
      for (int pass = 0;; ++pass) {
        kept.hideAt(drawn);
        now = fit(drawn, measured(drawn), limit);
        if (pass == kMeasures || same(now.picture, drawn)) break;
        drawn = now.picture;
      }
      document.cut = larger(now.whole, drawn);
      if (browserHostDrawPixels(host, document.pixels)) return document;
      // The memory for a picture this large is not there (a 32-bit process
      // holds some 2 GB in all): what the view shows is still a picture.
      document.cut = true;
    }
  }
  // The view holds it all, or no more could be had: its own picture, by the
  // path that suits it, in its own place.
  if (!browserHostPicture(host, document.pixels)) return std::nullopt;
  return document;
}

}  // namespace sorvane::platform::win32
