// GTK 3 backend: the whole document of a browser, drawn by the engine.
//
// The engine's snapshot of the full document is drawn into one image surface,
// which cairo refuses past 32,767 pixels a side; the engine then gives only an
// error. A document taller than the bound is therefore clipped to it for the
// drawing (the root and the body stop at the bound and hide the rest) and
// given back its own style at once. Nothing is scrolled.

#include <webkit2/webkit2.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/gtk/backend.h"
#include "platform/gtk/engine.h"

namespace sorvane::platform::gtk {

namespace {

// An answer of the engine's that may come after we stopped waiting for it:
// the callback owns its share, so a late answer lands in memory still ours.
struct Answer {
  bool done = false;
  std::string text;                    // a script's result
  cairo_surface_t* surface = nullptr;  // a snapshot's
  ~Answer() {
    if (surface) cairo_surface_destroy(surface);
  }
};
using SharedAnswer = std::shared_ptr<Answer>;

// An engine held by a page's script answers nothing; the picture then fails
// rather than the run waiting for ever.
constexpr guint kAnswerWaitMs = 10000;

// Runs the loop until the answer comes or the wait is over. Timers tick
// meanwhile; the run's capture step keeps its own tick from starting again.
bool await(const SharedAnswer& answer, GCancellable* cancel) {
  bool late = false;
  const guint timeout = g_timeout_add(
      kAnswerWaitMs,
      [](gpointer data) -> gboolean {
        *static_cast<bool*>(data) = true;
        return G_SOURCE_REMOVE;
      },
      &late);
  while (!answer->done && !late) g_main_context_iteration(nullptr, TRUE);
  if (!late) g_source_remove(timeout);
  if (!answer->done) g_cancellable_cancel(cancel);
  return answer->done;
}

// A world of our own: the page's scripts neither see what is kept there nor
// can change what the scripts here call.
constexpr const char* kWorld = "sorvane-picture";

std::string runScript(WebKitWebView* view, const std::string& script) {
  auto answer = std::make_shared<Answer>();
  GRef<GCancellable> cancel(g_cancellable_new());
  WK(webkit_web_view_evaluate_javascript)
  (
      view, script.c_str(), static_cast<gssize>(script.size()), kWorld, nullptr, cancel.get(),
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<SharedAnswer> owned(static_cast<SharedAnswer*>(data));
        JSCValue* value = WK(webkit_web_view_evaluate_javascript_finish)(
            reinterpret_cast<WebKitWebView*>(source), result, nullptr);
        if (value) {
          GChars text(WK(jsc_value_to_string)(value));
          if (text) (*owned)->text = text.get();
          g_object_unref(value);
        }
        (*owned)->done = true;
      },
      new SharedAnswer(answer));
  return await(answer, cancel.get()) ? answer->text : std::string();
}

cairo_surface_t* takeSnapshot(WebKitWebView* view) {
  auto answer = std::make_shared<Answer>();
  GRef<GCancellable> cancel(g_cancellable_new());
  WK(webkit_web_view_get_snapshot)
  (
      view, WEBKIT_SNAPSHOT_REGION_FULL_DOCUMENT, WEBKIT_SNAPSHOT_OPTIONS_NONE, cancel.get(),
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<SharedAnswer> owned(static_cast<SharedAnswer*>(data));
        (*owned)->surface = WK(webkit_web_view_get_snapshot_finish)(
            reinterpret_cast<WebKitWebView*>(source), result, nullptr);
        (*owned)->done = true;
      },
      new SharedAnswer(answer));
  if (!await(answer, cancel.get())) return nullptr;
  return std::exchange(answer->surface, nullptr);
}

// The document's height; past `limit`, the root and the body are held to it
// until restoreScript runs. Their own style attributes are kept aside.
std::string clipScript(int limit) {
  const std::string px = std::to_string(limit) + "px";
  return "(function(){var h=document.documentElement,b=document.body;"
         "var t=Math.max(h.scrollHeight,b?b.scrollHeight:0);if(t<=" +
         std::to_string(limit) +
         ")return t;"
         "window.__sorvaneKept=[h.getAttribute('style'),b&&b.getAttribute('style')];"
         "h.style.setProperty('overflow','hidden','important');"
         "h.style.setProperty('height','" +
         px +
         "','important');"
         "if(b){b.style.setProperty('overflow','hidden','important');"
         "b.style.setProperty('max-height','" +
         px +
         "','important');}"
         "return t;})()";
}

const char* restoreScript() {
  return "(function(){var k=window.__sorvaneKept;if(!k)return;delete window.__sorvaneKept;"
         "var h=document.documentElement,b=document.body;"
         "function put(e,s){if(!e)return;if(s===null)e.removeAttribute('style');"
         "else e.setAttribute('style',s);}put(h,k[0]);put(b,k[1]);})()";
}

}  // namespace

std::optional<Platform::Document> GtkPlatform::documentNative(WidgetId id, int widthLimit,
                                                              int heightLimit) {
  Widget* w = find(id);
  if (!w || !w->browser || widthLimit <= 0 || heightLimit <= 0) return std::nullopt;
  WebKitWebView* view = pageView(*w->browser);
  if (!view || !gtk_widget_get_realized(GTK_WIDGET(view))) {
    // Nothing of a page to draw (a blank cover, no engine view yet): what
    // the view shows is the whole of it.
    std::optional<Pixels> shown = capture(id);
    if (!shown) return std::nullopt;
    return Document{std::move(*shown), false};
  }
  GRef<WebKitWebView> hold(static_cast<WebKitWebView*>(g_object_ref(view)));
  bool cut = false;
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(nullptr,
                                                                             cairo_surface_destroy);
  // Asked again once: the engine now and then gives an error for a document
  // it draws the next time.
  for (int attempt = 0; attempt < 2 && !surface; ++attempt) {
    const std::string height = runScript(view, clipScript(heightLimit));
    cut = !height.empty() && std::strtod(height.c_str(), nullptr) > heightLimit;
    surface.reset(takeSnapshot(view));
    if (cut) runScript(view, restoreScript());
    if (surface && cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) surface.reset();
  }
  if (!surface) {
    // What the view shows is still a picture of the page, if not all of it.
    std::optional<Pixels> shown = capture(id);
    if (!shown) return std::nullopt;
    return Document{std::move(*shown), true};
  }
  Document document;
  document.cut = cut;
  surfaceToBgr(surface.get(), document.pixels);
  // The document's own height, held to the bound in case the engine drew
  // a few pixels more (the body's margins); a wider one keeps its left part,
  // each row moved up over the end of the one before.
  Pixels& pixels = document.pixels;
  if (pixels.height > heightLimit) {
    pixels.height = heightLimit;
    document.cut = true;
  }
  if (pixels.width > widthLimit) {
    const std::size_t from = static_cast<std::size_t>(pixels.width) * 3;
    const std::size_t to = static_cast<std::size_t>(widthLimit) * 3;
    for (int y = 1; y < pixels.height; ++y)
      std::memmove(pixels.bgr.data() + to * y, pixels.bgr.data() + from * y, to);
    pixels.width = widthLimit;
    document.cut = true;
  }
  pixels.bgr.resize(static_cast<std::size_t>(pixels.width) * pixels.height * 3);
  return document;
}

}  // namespace sorvane::platform::gtk
