// Win32 backend: the whole document, drawn by the browser control.
//
// The control draws only what its window holds, so for the drawing its window
// takes the document's size. It is moved off its parent's area at the same
// time and nothing is redrawn, so the person at the window sees neither; its
// size and place come back before the loop turns again.

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

std::optional<Platform::Document> browserHostDocument(BrowserHost& host, int heightLimit,
                                                      std::optional<SIZE> documentSize) {
  HWND view = browserHostWindow(host);
  if (!view || !IsWindow(view) || heightLimit <= 0) return std::nullopt;
  RECT place{};
  GetWindowRect(view, &place);
  MapWindowPoints(nullptr, GetParent(view), reinterpret_cast<POINT*>(&place), 2);
  const int viewWidth = place.right - place.left;
  const int viewHeight = place.bottom - place.top;
  if (!documentSize) documentSize = browserHostDocumentSize(host);
  const int width = std::max<int>(viewWidth, documentSize ? documentSize->cx : 0);
  const int fullHeight = std::max<int>(viewHeight, documentSize ? documentSize->cy : 0);
  const int height = std::min(fullHeight, heightLimit);
  Platform::Document document;
  document.cut = fullHeight > heightLimit;
  if (width == viewWidth && height == viewHeight) {
    // The view holds it all: its own picture, by the path that suits it.
    if (!browserHostPicture(host, document.pixels)) return std::nullopt;
    return document;
  }
  constexpr UINT kQuiet = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_NOCOPYBITS;
  SetWindowPos(view, nullptr, -width, -height, width, height, kQuiet);
  const bool drawn = browserHostDrawPixels(host, document.pixels);
  SetWindowPos(view, nullptr, place.left, place.top, viewWidth, viewHeight, kQuiet);
  if (!drawn) return std::nullopt;
  return document;
}

}  // namespace sorvane::platform::win32
