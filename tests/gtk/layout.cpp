// The program's controls built in the test window, and ways to reach them.

#include <map>
#include <memory>

#include "app/layout.h"
#include "harness.h"

namespace sorvane::gtktest {

const std::vector<Control>& layoutControls() {
  static const std::vector<Control> controls = [] {
    std::vector<Control> out;
    const std::optional<app::WindowLayout> layout = app::loadMainWindowLayout();
    if (!layout) return out;
    for (const app::ControlLayout& l : layout->controls) {
      std::optional<WidgetSpec> widgetSpec = app::widgetSpecFor(l, harness().window);
      if (!widgetSpec || widgetSpec->kind == WidgetKind::Browser) continue;
      if (l.type == app::ControlType::Timer) continue;
      widgetSpec->visible = widgetSpec->kind != WidgetKind::Hidden;
      widgetSpec->tabStop = true;
      // The longest text the program ever writes there must fit as well.
      if (l.name == "标签2") widgetSpec->text = "载入状态：正在载入";
      out.push_back({std::string(l.name), widgetSpec->kind, std::string(l.parent), l.rect, *widgetSpec});
    }
    return out;
  }();
  return controls;
}

const std::map<std::string, WidgetId>& controls() {
  static std::map<std::string, WidgetId> ids;
  if (!ids.empty()) return ids;
  // Built in the test window, then moved into their group boxes, as the
  // program does.
  for (const Control& c : layoutControls()) ids[c.name] = ui().createWidget(c.widgetSpec);
  for (const Control& c : layoutControls())
    if (!c.parent.empty()) ui().setParent(ids[c.name], ids[c.parent]);
  pumpFor(200);
  return ids;
}

WidgetId id(const char* name) { return controls().at(name); }

GtkWidget* gtkOf(WidgetId wanted, GtkWidget* root) {
  if (!root) root = GTK_WIDGET(mainGtkWindow());
  if (GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(root), "sorvane-id")) == wanted) return root;
  if (!GTK_IS_CONTAINER(root)) return nullptr;
  GList* kids = gtk_container_get_children(GTK_CONTAINER(root));
  GtkWidget* found = nullptr;
  for (GList* l = kids; l && !found; l = l->next) found = gtkOf(wanted, GTK_WIDGET(l->data));
  g_list_free(kids);
  return found;
}

// Sends a key press through GTK's own dispatch, as the X server would.
void pressKey(guint keyval, guint state) {
  GtkWidget* window = GTK_WIDGET(mainGtkWindow());
  GdkEvent* ev = gdk_event_new(GDK_KEY_PRESS);
  ev->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
  ev->key.send_event = TRUE;
  ev->key.time = GDK_CURRENT_TIME;
  ev->key.keyval = keyval;
  ev->key.state = state;
  GdkKeymapKey* found = nullptr;
  gint n = 0;
  const bool known = gdk_keymap_get_entries_for_keyval(
      gdk_keymap_get_for_display(gdk_display_get_default()), keyval, &found, &n);
  const std::unique_ptr<GdkKeymapKey, platform::gtk::GFreeDeleter> keys(found);
  if (known && n > 0) ev->key.hardware_keycode = static_cast<guint16>(keys.get()[0].keycode);
  gdk_event_set_device(
      ev, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
  gtk_main_do_event(ev);
  gdk_event_free(ev);
}

void typeText(const char* text) {
  for (const char* c = text; *c; ++c) pressKey(gdk_unicode_to_keyval(static_cast<guint>(*c)));
}

}  // namespace sorvane::gtktest
