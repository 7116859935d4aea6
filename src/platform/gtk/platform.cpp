// GTK 3 backend: start-up, the widget table and the properties every widget has.
// Links GTK 3; the web engine lives in browser.cpp.

#include "platform/gtk/platform.h"

#include <algorithm>
#include <string_view>

#include "platform/gtk/backend.h"

namespace sorvane::platform::gtk {

namespace {

constexpr const char* kIdKey = "sorvane-id";

// Every control of the main window uses one CJK-capable font at the size of
// the classic dialog font, and the theme's generous paddings are trimmed so
// that each widget really fits the rectangle the layout gives it.
constexpr const char* kMainWindowCss = R"css(
window.sorvane-main, window.sorvane-main * {
  font-family: "WenQuanYi Zen Hei", sans-serif;
  font-size: 12px;
}
window.sorvane-main button {
  padding: 0 2px;
  min-height: 0;
  min-width: 0;
}
window.sorvane-main entry {
  padding: 0 3px;
  min-height: 0;
  min-width: 0;
}
window.sorvane-main checkbutton {
  padding: 0;
  min-height: 0;
}
window.sorvane-main checkbutton check {
  margin: 0 4px 0 0;
  min-width: 13px;
  min-height: 13px;
}
window.sorvane-main frame > label {
  margin: 0 2px;
}
window.sorvane-main frame > border {
  border-radius: 0;
}
window.sorvane-main treeview.view {
  padding: 0 2px;
}
window.sorvane-main .sorvane-line-border {
  border: 1px solid black;
  border-radius: 0;
  box-shadow: none;
}
)css";

}  // namespace

std::string validUtf8(const std::string& bytes) {
  if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) return bytes;
  return GChars(g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()))).get();
}

void styleWidget(GtkWidget* widget, const std::string& css) {
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
  g_object_unref(provider);  // the style context keeps its own reference
}

std::string cssColour(std::uint32_t bgr) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", bgr & 0xFFu, (bgr >> 8) & 0xFFu,
                (bgr >> 16) & 0xFFu);
  return buf;
}

void takeToolkitOptions(int* argc, char*** argv) {
  gtk_parse_args(argc, argv);
  // GTK documents these, but its release builds leave them out: they are its
  // options all the same, and mean nothing to the program.
  static constexpr std::string_view kDebugOptions[] = {"--gtk-debug", "--gtk-no-debug",
                                                       "--gdk-debug", "--gdk-no-debug"};
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const std::string_view argument = (*argv)[i];
    bool debug = false;
    for (const std::string_view name : kDebugOptions) {
      if (argument == name && i + 1 < *argc) ++i;  // its value follows
      debug = debug || argument == name ||
              (argument.starts_with(name) && argument.size() > name.size() &&
               argument[name.size()] == '=');
    }
    if (argument == "--") {
      while (i < *argc) (*argv)[kept++] = (*argv)[i++];
      break;
    }
    if (!debug) (*argv)[kept++] = (*argv)[i];
  }
  *argc = kept;
  (*argv)[kept] = nullptr;
}

std::unique_ptr<Platform> makeGtkPlatform(int* argc, char*** argv) {
  // Classic scroll bars everywhere, in lists and in pictures of pages alike.
  g_setenv("GTK_OVERLAY_SCROLLING", "0", TRUE);
  // Pages are drawn in software (see browser.cpp), so the engine's
  // DMA-BUF renderer would only be set up to go unused: starting it costs
  // time and tens of megabytes in every process of the engine. Its processes
  // inherit this.
  g_setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", TRUE);
  if (!gtk_init_check(argc, argv)) return nullptr;
  return std::make_unique<GtkPlatform>();
}

GtkPlatform::GtkPlatform() {
  GtkSettings* settings = gtk_settings_get_default();
  g_object_set(settings, "gtk-overlay-scrolling", FALSE, "gtk-dialogs-use-header", FALSE,
               "gtk-enable-animations", FALSE, "gtk-font-name", "WenQuanYi Zen Hei 9", nullptr);
  css_.reset(gtk_css_provider_new());
  gtk_css_provider_load_from_data(css_.get(), kMainWindowCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(),
                                            GTK_STYLE_PROVIDER(css_.get()),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  watchProcess();
}

GtkPlatform::~GtkPlatform() {
  unwatchProcess();
  unwatchEngine();
  dropPendingWork();
  disconnectSignals();
  tearDown();
  gtk_style_context_remove_provider_for_screen(gdk_screen_get_default(),
                                               GTK_STYLE_PROVIDER(css_.get()));
}

namespace {

void disconnectTree(GtkWidget* widget, gpointer data) {
  g_signal_handlers_disconnect_by_data(widget, data);
  if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), disconnectTree, data);
}

}  // namespace

void GtkPlatform::disconnectSignals() {
  // Destroying a widget ends its handlers, but GTK still sends focus and
  // selection signals while the windows go, and an object someone else
  // holds on to would outlive the platform with them.
  for (auto& [id, w] : widgets_) {
    if (w.parent == 0) disconnectTree(w.outer, this);
    if (w.list) g_signal_handlers_disconnect_by_data(w.list->selection, this);
  }
}

WidgetId GtkPlatform::idOf(GtkWidget* gtkWidget) const {
  for (GtkWidget* g = gtkWidget; g; g = gtk_widget_get_parent(g)) {
    auto id = static_cast<WidgetId>(GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(g), kIdKey)));
    if (id && widgets_.contains(id)) return id;
  }
  return 0;
}

GtkWindow* mainGtkWindow() {
  GList* tops = gtk_window_list_toplevels();
  GtkWindow* found = nullptr;
  for (GList* l = tops; l && !found; l = l->next)
    if (gtk_style_context_has_class(gtk_widget_get_style_context(GTK_WIDGET(l->data)),
                                    "sorvane-main"))
      found = GTK_WINDOW(l->data);
  g_list_free(tops);
  return found;
}

WidgetId GtkPlatform::createWidget(const WidgetSpec& request) {
  WidgetId id = nextId_++;
  if (request.kind == WidgetKind::TopLevel) return makeTopLevel(id, request);
  Widget* parent = find(request.parent);
  if (!parent || !holdsChildren(*parent)) return 0;

  Widget w;
  w.kind = request.kind;
  w.parent = request.parent;
  w.rect = request.rect;
  w.text.write(request.text, validUtf8);
  w.enabled = !request.disabled;
  GtkWidget* outer = makeChild(id, w, request);
  if (!outer) return 0;
  w.outer = outer;
  g_object_set_data(G_OBJECT(outer), kIdKey, GUINT_TO_POINTER(id));
  if (w.inner) g_object_set_data(G_OBJECT(w.inner), kIdKey, GUINT_TO_POINTER(id));
  placeIn(request.parent, outer, request.rect);
  describe(w, request);
  // Hidden widgets exist only to be owned; the browser keeps its own flag so
  // that its page is never drawn greyed out.
  if (w.kind != WidgetKind::Hidden && w.kind != WidgetKind::Browser)
    gtk_widget_set_sensitive(outer, !request.disabled);
  if (w.kind != WidgetKind::Hidden) gtk_widget_set_visible(outer, request.visible);
  widgets_.add(id, std::move(w));
  return id;
}

void GtkPlatform::describe(const Widget& w, const WidgetSpec& request) {
  if (request.name.empty()) return;
  // Controls without a caption of their own are named by the program's name
  // for them; every control carries that name as its description.
  const bool uncaptioned = w.kind == WidgetKind::EditBox || w.kind == WidgetKind::ListBox ||
                           w.kind == WidgetKind::Browser;
  for (GtkWidget* g : {w.outer, w.inner}) {
    if (!g) continue;
    AtkObject* a = gtk_widget_get_accessible(g);
    if (!a) continue;
    atk_object_set_description(a, request.name.c_str());
    if (uncaptioned) atk_object_set_name(a, request.name.c_str());
  }
}

Rect GtkPlatform::workArea() const {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return {0, 0, 1 << 20, 1 << 20};
  GdkRectangle area;
  gdk_monitor_get_workarea(monitor, &area);
  return {area.x, area.y, area.width, area.height};
}

void GtkPlatform::placeIn(WidgetId parent, GtkWidget* outer, const Rect& r) {
  Widget* p = find(parent);
  gtk_widget_set_size_request(outer, std::max(r.width, 1), std::max(r.height, 1));
  gtk_fixed_put(GTK_FIXED(p->container), outer, r.left, r.top);
}

void GtkPlatform::moveNative(Widget& child, Widget& parent) {
  g_object_ref(child.outer);
  gtk_container_remove(GTK_CONTAINER(gtk_widget_get_parent(child.outer)), child.outer);
  gtk_fixed_put(GTK_FIXED(parent.container), child.outer, child.rect.left, child.rect.top);
  g_object_unref(child.outer);
}

void GtkPlatform::showNative(Widget& w, bool visible) {
  if (w.kind == WidgetKind::TopLevel && visible)
    gtk_window_present(GTK_WINDOW(w.outer));
  else
    gtk_widget_set_visible(w.outer, visible);
}

void GtkPlatform::enableNative(Widget& w, bool enabled) {
  w.enabled = enabled;
  switch (w.kind) {
    case WidgetKind::TopLevel:  // modality is the dialogs' business; never grey the whole window
    case WidgetKind::Browser:   // it takes no input anyway
    case WidgetKind::Hidden:
      break;
    default:
      gtk_widget_set_sensitive(w.outer, enabled);
  }
}

void GtkPlatform::setText(WidgetId id, const std::string& text) {
  Widget* w = find(id);
  if (!w) return;
  w->text.write(text, validUtf8);
  const char* shown = w->text.shown.c_str();
  switch (w->kind) {
    case WidgetKind::TopLevel:
      gtk_window_set_title(GTK_WINDOW(w->outer), shown);
      break;
    case WidgetKind::Label:
      gtk_label_set_text(GTK_LABEL(w->inner), shown);
      break;
    case WidgetKind::Button:
    case WidgetKind::CheckBox:
      gtk_label_set_text(GTK_LABEL(w->caption), shown);
      break;
    case WidgetKind::GroupBox:
      gtk_frame_set_label(GTK_FRAME(w->inner), shown);
      break;
    case WidgetKind::EditBox:
      g_signal_handler_block(w->inner, w->quietHandler);
      gtk_entry_set_text(GTK_ENTRY(w->inner), shown);
      g_signal_handler_unblock(w->inner, w->quietHandler);
      break;
    default:
      break;  // kept, but nothing shows it
  }
}

std::string GtkPlatform::text(WidgetId id) const {
  const Widget* w = find(id);
  if (!w) return {};
  if (w->kind == WidgetKind::EditBox)
    return w->text.read(gtk_entry_get_text(GTK_ENTRY(w->inner)));
  return w->text.bytes;
}

void GtkPlatform::checkNative(Widget& w, bool checked) {
  g_signal_handler_block(w.inner, w.quietHandler);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w.inner), checked);
  g_signal_handler_unblock(w.inner, w.quietHandler);
}

bool GtkPlatform::checkedNative(const Widget& w) const {
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w.inner));
}

WidgetId GtkPlatform::focusedWidget() const {
  // While one of our dialogs is the active window, no widget of ours has the focus.
  GList* tops = gtk_window_list_toplevels();
  bool otherActive = false;
  for (GList* l = tops; l; l = l->next)
    if (gtk_window_is_active(GTK_WINDOW(l->data)) && !idOf(GTK_WIDGET(l->data))) otherActive = true;
  g_list_free(tops);
  if (otherActive) return 0;
  for (const auto& [id, w] : widgets_) {
    if (w.kind != WidgetKind::TopLevel || !gtk_widget_get_visible(w.outer)) continue;
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(w.outer));
    if (focus) return idOf(focus);
  }
  return 0;
}

void GtkPlatform::setFocus(WidgetId id) {
  Widget* w = find(id);
  if (!w) return;
  if (w->kind == WidgetKind::TopLevel) {
    gtk_window_set_focus(GTK_WINDOW(w->outer), nullptr);
    return;
  }
  if (w->inner && gtk_widget_get_can_focus(w->inner)) gtk_widget_grab_focus(w->inner);
}

GtkWindow* GtkPlatform::dialogParent(WidgetId owner) const {
  if (const Widget* w = find(owner)) {
    GtkWidget* top = gtk_widget_get_toplevel(w->outer);
    if (GTK_IS_WINDOW(top) && gtk_widget_get_visible(top)) return GTK_WINDOW(top);
  }
  for (const auto& [id, w] : widgets_)
    if (w.kind == WidgetKind::TopLevel && gtk_widget_get_visible(w.outer))
      return GTK_WINDOW(w.outer);
  return nullptr;
}

}  // namespace sorvane::platform::gtk
