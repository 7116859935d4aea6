// GTK 3 backend: the browser area when the pages come from our own engine
// (engine/, a browser in a process of its own). The area is a plain drawing
// area showing the latest pixels the engine drew: white until the first
// address, the engine's frames while a page loads and waits, and at a capture
// the picture taken. A picture wider than the area is shown scaled down to
// its width. The engine's pipe is read from the loop as it becomes readable.

#include <glib-unix.h>

#include <algorithm>

#include "platform/gtk/address_completion.h"
#include "platform/gtk/backend.h"

namespace sorvane::platform::gtk {

struct EngineArea {
  GtkWidget* widget = nullptr;  // owned by its parent
  cairo_surface_t* frame = nullptr;
  ~EngineArea() {
    if (frame) cairo_surface_destroy(frame);
  }
  void show(const Pixels& pixels) {
    cairo_surface_t* next =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, pixels.width, pixels.height);
    if (cairo_surface_status(next) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(next);
      return;
    }
    cairo_surface_flush(next);
    unsigned char* data = cairo_image_surface_get_data(next);
    const int stride = cairo_image_surface_get_stride(next);
    const std::uint8_t* src = pixels.bgr.data();
    for (int y = 0; y < pixels.height; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
      for (int x = 0; x < pixels.width; ++x, src += 3)
        row[x] = std::uint32_t{src[0]} | std::uint32_t{src[1]} << 8 | std::uint32_t{src[2]} << 16;
    }
    cairo_surface_mark_dirty(next);
    if (frame) cairo_surface_destroy(frame);
    frame = next;
    if (widget) gtk_widget_queue_draw(widget);
  }
};

void EngineAreaDeleter::operator()(EngineArea* area) const { delete area; }

namespace {

gboolean drawArea(GtkWidget* widget, cairo_t* cr, gpointer data) {
  const auto* area = static_cast<EngineArea*>(data);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  if (!area->frame) return TRUE;
  const int width = gtk_widget_get_allocated_width(widget);
  const int frameWidth = cairo_image_surface_get_width(area->frame);
  if (frameWidth > width && frameWidth > 0) {
    const double scale = static_cast<double>(width) / frameWidth;
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, area->frame, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  } else {
    cairo_set_source_surface(cr, area->frame, 0, 0);
  }
  cairo_paint(cr);
  return TRUE;
}

}  // namespace

GtkWidget* GtkPlatform::makeEngineArea(WidgetId id, Widget& w, const WidgetSpec& request) {
  if (request.browser.version > 1) return nullptr;
  w.area.reset(new EngineArea);
  EngineArea* area = w.area.get();
  area->widget = gtk_drawing_area_new();
  g_signal_connect(area->widget, "draw", G_CALLBACK(drawArea), area);
  gtk_widget_set_can_focus(area->widget, FALSE);
  // The page keeps its own size where the area shows it scaled down.
  const int width = std::max(std::max(request.pageWidth, request.rect.width), 1);
  const int height = std::max(std::max(request.pageHeight, request.rect.height), 1);
  if (!attachPage(id, width, height, [area](const Pixels& p) { area->show(p); })) return nullptr;
  watchEngine();
  return area->widget;
}

// --- The engine's pipe in the loop ----------------------------------------

void GtkPlatform::watchEngine() {
  engine::Browser* browser = pageEngine();
  if (!browser || (watched_ == browser && engineWatch_)) return;
  unwatchEngine();
  BrowserProcess* process = browser->connection().process();
  if (!process || process->readableDescriptor() < 0) return;
  watched_ = browser;
  engineWatch_ = g_unix_fd_add(
      process->readableDescriptor(), static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
      [](gint, GIOCondition, gpointer data) -> gboolean {
        return static_cast<GtkPlatform*>(data)->pumpEngine() ? G_SOURCE_CONTINUE
                                                             : G_SOURCE_REMOVE;
      },
      this);
  // The deadlines of commands nobody answers pass without the pipe saying so.
  engineTick_ = g_timeout_add(
      250,
      [](gpointer data) -> gboolean {
        return static_cast<GtkPlatform*>(data)->pumpEngine() ? G_SOURCE_CONTINUE
                                                             : G_SOURCE_REMOVE;
      },
      this);
}

// False once there is nothing more to read: the source that called it goes
// by that answer, the other one here.
bool GtkPlatform::pumpEngine() {
  engine::Browser* browser = pageEngine();
  if (browser && browser == watched_ && browser->alive()) {
    guarded(0, [&] {
      browser->pump();
      return 0;
    });
    if (browser->alive()) return true;
  }
  GSource* calling = g_main_current_source();
  const guint current = calling ? g_source_get_id(calling) : 0;
  for (guint* source : {&engineWatch_, &engineTick_}) {
    if (*source && *source != current) g_source_remove(*source);
    *source = 0;
  }
  watched_ = nullptr;
  return false;
}

void GtkPlatform::unwatchEngine() {
  if (engineWatch_) g_source_remove(engineWatch_);
  if (engineTick_) g_source_remove(engineTick_);
  engineWatch_ = engineTick_ = 0;
  watched_ = nullptr;
}

std::string GtkPlatform::pageAddress(const std::string& url) const {
  // File names are escaped from their exact bytes; what is left for the
  // engine's URL parser has to be UTF-8.
  return validUtf8(completeAddress(url, g_get_home_dir()));
}

void usePageEngine(Platform& platform, engine::Browser* browser) {
  auto& gtk = static_cast<GtkPlatform&>(platform);
  gtk.usePageEngine(browser);
  if (!browser) gtk.unwatchEngine();
}

}  // namespace sorvane::platform::gtk
