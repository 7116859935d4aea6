// GTK 3 backend: whether the engine's view draws a document yet (see paint_probe.h).

#include "platform/gtk/paint_probe.h"

#include <webkit2/webkit2.h>

#include "platform/gtk/engine.h"

namespace sorvane::platform::gtk {

namespace {

// A frame callback runs as the engine begins to draw a frame; the one after it
// begins the next, so by then the first frame has gone out to the view, ahead
// of this answer. The page's own scripts cannot change what this world sees.
constexpr char kTwoFrames[] =
    "await new Promise(done => requestAnimationFrame(() => requestAnimationFrame(done)));";
constexpr char kWorld[] = "sorvane-paint";

}  // namespace

std::uint64_t drawnFingerprint(WebKitWebView* view) {
  if (!view || !gtk_widget_is_drawable(GTK_WIDGET(view))) return 0;
  const int width = gtk_widget_get_allocated_width(GTK_WIDGET(view));
  const int height = gtk_widget_get_allocated_height(GTK_WIDGET(view));
  if (width <= 0 || height <= 0) return 0;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  gtk_widget_draw(GTK_WIDGET(view), cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const std::size_t size =
      static_cast<std::size_t>(cairo_image_surface_get_stride(surface)) * height;
  std::uint64_t h = 1469598103934665603ull;
  for (std::size_t i = 0; data && i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
  cairo_surface_destroy(surface);
  return h;
}

void PaintProbe::ask(WebKitWebView* view, Heard heard, void* owner) {
  drop();
  pending_ = g_cancellable_new();
  heard_ = heard;
  owner_ = owner;
  WK(webkit_web_view_call_async_javascript_function)(view, kTwoFrames, -1, nullptr, kWorld,
                                                     nullptr, pending_, &PaintProbe::onAnswer,
                                                     this);
}

void PaintProbe::drop() {
  if (!pending_) return;
  // The engine still calls back, with the cancellation, when its answer comes.
  g_cancellable_cancel(pending_);
  g_object_unref(pending_);
  pending_ = nullptr;
}

void PaintProbe::onAnswer(GObject* view, GAsyncResult* result, gpointer data) {
  GError* error = nullptr;
  JSCValue* value = WK(webkit_web_view_call_async_javascript_function_finish)(
      reinterpret_cast<WebKitWebView*>(view), result, &error);
  const bool drawn = value != nullptr;
  if (value) g_object_unref(value);
  // A dropped question's probe may be gone by now.
  const bool dropped = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
  if (error) g_error_free(error);
  if (dropped) return;
  auto* probe = static_cast<PaintProbe*>(data);
  g_object_unref(probe->pending_);
  probe->pending_ = nullptr;
  probe->heard_(probe->owner_, drawn ? Answer::Drawn : Answer::Unknown);
}

}  // namespace sorvane::platform::gtk
