// GTK 3 backend: pixels of a widget or of the screen.
//
// A widget is drawn into memory rather than read back from the screen: that
// gives the widget's own pixels even where a message box lies on top of it,
// and needs no round through the main loop.

#include <cairo.h>

#include <memory>

#include "platform/gtk/backend.h"

namespace sorvane::platform::gtk {

// Cairo's RGB24/ARGB32 pixels are native-endian 32-bit words 0xAARRGGBB.
void surfaceToBgr(cairo_surface_t* surface, Pixels& out) {
  cairo_surface_flush(surface);
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  out.width = width;
  out.height = height;
  out.bgr.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  std::uint8_t* dst = out.bgr.data();
  for (int y = 0; y < height; ++y) {
    const auto* row =
        reinterpret_cast<const std::uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < width; ++x) {
      std::uint32_t px = row[x];
      *dst++ = static_cast<std::uint8_t>(px);
      *dst++ = static_cast<std::uint8_t>(px >> 8);
      *dst++ = static_cast<std::uint8_t>(px >> 16);
    }
  }
}

namespace {

bool captureScreen(Pixels& out) {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor) monitor = gdk_display_get_monitor(display, 0);
  GdkWindow* root = gdk_get_default_root_window();
  if (!monitor || !root) return false;
  GdkRectangle area;
  gdk_monitor_get_geometry(monitor, &area);
  GRef<GdkPixbuf> shot(gdk_pixbuf_get_from_window(root, area.x, area.y, area.width, area.height));
  if (!shot) return false;
  const int channels = gdk_pixbuf_get_n_channels(shot.get());
  const int stride = gdk_pixbuf_get_rowstride(shot.get());
  const guchar* data = gdk_pixbuf_read_pixels(shot.get());
  out.width = gdk_pixbuf_get_width(shot.get());
  out.height = gdk_pixbuf_get_height(shot.get());
  out.bgr.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 3);
  std::uint8_t* dst = out.bgr.data();
  for (int y = 0; y < out.height; ++y) {
    const guchar* px = data + static_cast<size_t>(y) * stride;
    for (int x = 0; x < out.width; ++x, px += channels) {
      *dst++ = px[2];
      *dst++ = px[1];
      *dst++ = px[0];
    }
  }
  return true;
}

}  // namespace

std::optional<Pixels> GtkPlatform::captureNative(WidgetId id) {
  Pixels out;
  if (id == 0) return captureScreen(out) ? std::optional(std::move(out)) : std::nullopt;
  const Widget* w = find(id);
  if (!w) return std::nullopt;

  GtkWidget* target = w->kind == WidgetKind::TopLevel ? w->container : w->outer;
  int width = w->rect.width;
  int height = w->rect.height;
  if (w->browser && w->pageWidth > 0) {
    // The whole page, not the part the scrolled area shows.
    target = browserWidget(*w->browser);
    width = w->pageWidth;
    height = w->pageHeight;
  }
  if (w->kind == WidgetKind::TopLevel) {
    width = gtk_widget_get_allocated_width(target);
    height = gtk_widget_get_allocated_height(target);
  }
  if (width <= 0 || height <= 0) return std::nullopt;

  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), cairo_surface_destroy);
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
  {
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()),
                                                          cairo_destroy);
    // What lies behind a widget without a background of its own is the window.
    GtkWidget* top = gtk_widget_get_toplevel(w->outer);
    gtk_render_background(gtk_widget_get_style_context(top), cr.get(), 0, 0, width, height);
    if (gtk_widget_is_drawable(target)) gtk_widget_draw(target, cr.get());
  }
  surfaceToBgr(surface.get(), out);
  return out;
}

}  // namespace sorvane::platform::gtk
