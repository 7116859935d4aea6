// GTK 3 backend: the main window and the native controls inside it, with the
// signals that become the program's events.

#include <algorithm>

#include "platform/gtk/backend.h"

namespace sorvane::platform::gtk {

namespace {

constexpr const char* kIdKey = "sorvane-id";

// The layout gives the top level's outer size as the classic fixed frame has
// it; that frame takes 6 pixels across and 29 down (caption bar included).
constexpr int kFrameWidth = 6;
constexpr int kFrameHeight = 29;

GtkPlatform* self(gpointer data) { return static_cast<GtkPlatform*>(data); }

Key keyOf(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
    case GDK_KEY_KP_Tab:
      return Key::Tab;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      return Key::Enter;
    case GDK_KEY_Escape:
      return Key::Escape;
    case GDK_KEY_F1:
      return Key::F1;
    default:
      return Key::Other;
  }
}

bool isArrow(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Up:
    case GDK_KEY_Down:
    case GDK_KEY_Left:
    case GDK_KEY_Right:
    case GDK_KEY_KP_Up:
    case GDK_KEY_KP_Down:
    case GDK_KEY_KP_Left:
    case GDK_KEY_KP_Right:
      return true;
    default:
      return false;
  }
}

unsigned modifiersOf(guint state) {
  unsigned m = kNone;
  if (state & GDK_SHIFT_MASK) m |= kShift;
  if (state & GDK_CONTROL_MASK) m |= kControl;
  if (state & GDK_MOD1_MASK) m |= kAlt;
  return m;
}

gboolean onWindowKey(GtkWidget* window, GdkEventKey* ev, gpointer data) {
  GtkPlatform* p = self(data);
  WidgetId id = p->idOf(window);
  if (!id) return FALSE;
  Key key = keyOf(ev->keyval);
  const bool handled = p->offerKey(id, key, modifiersOf(ev->state));
  if (handled || !p->find(id)) return TRUE;
  // The program runs the tab cycle itself; GTK's own focus chain must never
  // move. Tab with Ctrl or Alt is the focused control's key, as any other:
  // it goes there, but not on to the window's bindings, which would move
  // the focus along GTK's chain.
  if (key == Key::Tab) {
    if (ev->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK))
      gtk_window_propagate_key_event(GTK_WINDOW(window), ev);
    return TRUE;
  }
  // A push button or check box outside a dialog ignores Enter and the arrow
  // keys; only the space bar presses it.
  const Widget* focus = p->find(p->idOf(gtk_window_get_focus(GTK_WINDOW(window))));
  if (focus && (focus->kind == WidgetKind::Button || focus->kind == WidgetKind::CheckBox) &&
      (key == Key::Enter || isArrow(ev->keyval)))
    return TRUE;
  return FALSE;
}

gboolean onWindowDelete(GtkWidget* window, GdkEvent*, gpointer data) {
  GtkPlatform* p = self(data);
  WidgetId id = p->idOf(window);
  if (id) p->report([&](EventSink& sink) { sink.closeRequested(id); });
  return TRUE;  // the program destroys the window itself if it wants to close
}

void onWindowActive(GObject* window, GParamSpec*, gpointer data) {
  GtkPlatform* p = self(data);
  WidgetId id = p->idOf(GTK_WIDGET(window));
  if (!id) return;
  const bool active = gtk_window_is_active(GTK_WINDOW(window));
  p->report([&](EventSink& sink) {
    if (active)
      sink.windowActivated(id);
    else
      sink.windowDeactivated(id);
  });
}

void onWindowRealize(GtkWidget* window, gpointer) {
  // Move and close only: no minimise, no maximise, no resize, wherever the
  // window manager honours the hints.
  GdkWindow* g = gtk_widget_get_window(window);
  gdk_window_set_functions(g, static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
  gdk_window_set_decorations(
      g, static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU));
}

// Shown means active, as for the classic window; without a window manager
// nobody else would give the window the keyboard focus.
gboolean onWindowMapped(GtkWidget* window, GdkEvent*, gpointer) {
  gtk_window_present(GTK_WINDOW(window));
  return FALSE;
}

gboolean onFocusIn(GtkWidget* widget, GdkEvent*, gpointer data) {
  self(data)->raise(self(data)->idOf(widget), WidgetEvent::GotFocus);
  return FALSE;
}

gboolean onFocusOut(GtkWidget* widget, GdkEvent*, gpointer data) {
  self(data)->raise(self(data)->idOf(widget), WidgetEvent::LostFocus);
  return FALSE;
}

void onClicked(GtkWidget* widget, gpointer data) { self(data)->raise(self(data)->idOf(widget), WidgetEvent::Used); }

gboolean onIntegerKey(GtkWidget*, GdkEventKey* ev, gpointer) {
  if (ev->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) return FALSE;  // shortcuts, paste included
  gunichar c = gdk_keyval_to_unicode(ev->keyval);
  if (c < 32 || c == 127) return FALSE;  // editing and control keys
  return (c >= '0' && c <= '9') || c == '-' ? FALSE : TRUE;
}

void watchFocus(GtkWidget* widget, GtkPlatform* p) {
  g_signal_connect(widget, "focus-in-event", G_CALLBACK(onFocusIn), p);
  g_signal_connect(widget, "focus-out-event", G_CALLBACK(onFocusOut), p);
}

// A caption that wraps onto further lines when the button is too narrow.
GtkWidget* wrappingCaption(const std::string& text, bool centred) {
  GtkWidget* label = gtk_label_new(text.c_str());
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
  gtk_label_set_justify(GTK_LABEL(label), centred ? GTK_JUSTIFY_CENTER : GTK_JUSTIFY_LEFT);
  gtk_label_set_xalign(GTK_LABEL(label), centred ? 0.5f : 0.0f);
  gtk_widget_show(label);
  return label;
}

void colourText(GtkWidget* label, std::uint32_t textColour, std::uint32_t backColour) {
  std::string css = "label { color: " + cssColour(textColour) + ";";
  if (backColour != kButtonFaceColour) css += " background-color: " + cssColour(backColour) + ";";
  styleWidget(label, css + " }");
}

}  // namespace

WidgetId GtkPlatform::makeTopLevel(WidgetId id, const WidgetSpec& request) {
  Widget w;
  w.kind = WidgetKind::TopLevel;
  w.text.write(request.text, validUtf8);
  w.enabled = !request.disabled;

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_style_context_add_class(gtk_widget_get_style_context(window), "sorvane-main");
  gtk_window_set_title(GTK_WINDOW(window), w.text.shown.c_str());
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  GtkWidget* fixed = gtk_fixed_new();
  int clientWidth = std::max(request.rect.width - kFrameWidth, 1);
  int clientHeight = std::max(request.rect.height - kFrameHeight, 1);
  gtk_widget_set_size_request(fixed, clientWidth, clientHeight);
  gtk_container_add(GTK_CONTAINER(window), fixed);
  gtk_widget_show(fixed);

  // Centred as the classic frame would be: its outer rectangle in the middle
  // of the primary monitor.
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor) monitor = gdk_display_get_monitor(display, 0);
  GdkRectangle area{0, 0, 0, 0};
  if (monitor) gdk_monitor_get_geometry(monitor, &area);
  w.rect = {area.x + (area.width - request.rect.width) / 2,
            area.y + (area.height - request.rect.height) / 2, request.rect.width,
            request.rect.height};
  gtk_window_move(GTK_WINDOW(window), w.rect.left, w.rect.top);

  g_signal_connect(window, "realize", G_CALLBACK(onWindowRealize), nullptr);
  g_signal_connect(window, "map-event", G_CALLBACK(onWindowMapped), nullptr);
  g_signal_connect(window, "delete-event", G_CALLBACK(onWindowDelete), this);
  g_signal_connect(window, "key-press-event", G_CALLBACK(onWindowKey), this);
  g_signal_connect(window, "notify::is-active", G_CALLBACK(onWindowActive), this);
  g_object_set_data(G_OBJECT(window), kIdKey, GUINT_TO_POINTER(id));

  w.outer = window;
  w.inner = window;
  w.container = fixed;
  widgets_.add(id, std::move(w));
  if (request.visible) gtk_window_present(GTK_WINDOW(window));
  return id;
}

GtkWidget* GtkPlatform::makeChild(WidgetId id, Widget& w, const WidgetSpec& request) {
  const char* shown = w.text.shown.c_str();
  switch (request.kind) {
    case WidgetKind::Label: {
      GtkWidget* label = gtk_label_new(shown);
      gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
      gtk_label_set_yalign(GTK_LABEL(label), 0.5f);
      gtk_label_set_single_line_mode(GTK_LABEL(label), TRUE);
      // Too long a caption is cut at the right edge rather than pushing the
      // label over its neighbours.
      gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
      colourText(label, request.textColour, request.backColour);
      w.inner = label;
      return label;
    }
    case WidgetKind::EditBox: {
      GtkWidget* entry = gtk_entry_new();
      gtk_entry_set_width_chars(GTK_ENTRY(entry), 0);
      gtk_entry_set_text(GTK_ENTRY(entry), shown);
      if (request.editMode == EditMode::ReadOnly)
        gtk_editable_set_editable(GTK_EDITABLE(entry), FALSE);
      if (request.editMode == EditMode::IntegerText)
        // Key presses only: text pasted into the box is taken as it is.
        g_signal_connect(entry, "key-press-event", G_CALLBACK(onIntegerKey), nullptr);
      if (request.editBorderLine)
        gtk_style_context_add_class(gtk_widget_get_style_context(entry), "sorvane-line-border");
      if (request.backColour != kButtonFaceColour)
        styleWidget(entry, "entry { background-color: " + cssColour(request.backColour) +
                               "; background-image: none; }");
      w.quietHandler = g_signal_connect(entry, "changed", G_CALLBACK(onClicked), this);
      watchFocus(entry, this);
      w.inner = entry;
      return entry;
    }
    case WidgetKind::GroupBox: {
      // The frame is only drawn; the controls inside sit in the same fixed
      // container, so their left/top count from the group box's own corner.
      GtkWidget* box = gtk_fixed_new();
      GtkWidget* frame = gtk_frame_new(shown);
      gtk_frame_set_label_align(GTK_FRAME(frame), 0.02f, 0.5f);
      gtk_widget_set_size_request(frame, std::max(request.rect.width, 1),
                                  std::max(request.rect.height, 1));
      gtk_fixed_put(GTK_FIXED(box), frame, 0, 0);
      gtk_widget_show(frame);
      w.inner = frame;
      w.container = box;
      return box;
    }
    case WidgetKind::Button: {
      GtkWidget* button = gtk_button_new();
      w.caption = wrappingCaption(w.text.shown, true);
      gtk_container_add(GTK_CONTAINER(button), w.caption);
      g_signal_connect(button, "clicked", G_CALLBACK(onClicked), this);
      watchFocus(button, this);
      w.inner = button;
      return button;
    }
    case WidgetKind::CheckBox: {
      GtkWidget* check = gtk_check_button_new();
      w.caption = wrappingCaption(w.text.shown, false);
      colourText(w.caption, request.textColour, request.backColour);
      gtk_container_add(GTK_CONTAINER(check), w.caption);
      // "toggled" comes after the box has changed its state, so the program
      // reads the new one.
      w.quietHandler = g_signal_connect(check, "toggled", G_CALLBACK(onClicked), this);
      watchFocus(check, this);
      w.inner = check;
      return check;
    }
    case WidgetKind::ListBox:
      return makeListBox(id, w, request);
    case WidgetKind::Browser: {
      if (pageEngine()) return makeEngineArea(id, w, request);
      w.browser = makeBrowserView(request.browser);
      if (!w.browser) return nullptr;
      GtkWidget* view = browserWidget(*w.browser);
      if (request.pageWidth <= request.rect.width && request.pageHeight <= request.rect.height)
        return view;
      // A page larger than the area the window has room for: the area
      // scrolls over it, and its picture is the whole page.
      w.pageWidth = request.pageWidth;
      w.pageHeight = request.pageHeight;
      gtk_widget_set_size_request(view, w.pageWidth, w.pageHeight);
      GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
      gtk_container_add(GTK_CONTAINER(scroller), view);
      gtk_widget_show(view);
      return scroller;
    }
    case WidgetKind::Hidden: {
      GtkWidget* holder = gtk_event_box_new();
      gtk_widget_set_no_show_all(holder, TRUE);
      return holder;
    }
    case WidgetKind::TopLevel:
      break;
  }
  return nullptr;
}

}  // namespace sorvane::platform::gtk
