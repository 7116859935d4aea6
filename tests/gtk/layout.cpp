// The program's controls built in the test window, and ways to reach them.

#include <map>

#include "harness.h"

namespace sorvane::gtktest {

// The program's own layout: what must fit, and where.
const std::vector<Control> kLayout = {
    {"分组框1", WidgetKind::GroupBox, nullptr, {696, 8, 352, 536}, "网页地址"},
    {"列表框1", WidgetKind::ListBox, "分组框1", {8, 16, 336, 416}, ""},
    {"标签3", WidgetKind::Label, "分组框1", {16, 432, 160, 24}, "双击上边列表选项可删除！"},
    {"编辑框2", WidgetKind::EditBox, "分组框1", {12, 462, 240, 20}, ""},
    {"按钮2", WidgetKind::Button, "分组框1", {264, 456, 80, 32}, "添加网址"},
    {"通用对话框1", WidgetKind::Hidden, "分组框1", {16, 496, 26, 26}, ""},
    {"按钮3", WidgetKind::Button, "分组框1", {80, 496, 80, 32}, "导出网址"},
    {"按钮4", WidgetKind::Button, "分组框1", {172, 496, 80, 32}, "导入网址"},
    {"按钮5", WidgetKind::Button, "分组框1", {264, 496, 80, 32}, "清空网址"},
    {"分组框2", WidgetKind::GroupBox, nullptr, {696, 552, 352, 64}, "截图保存地址"},
    {"编辑框1", WidgetKind::EditBox, "分组框2", {8, 24, 296, 20}, ""},
    {"按钮6", WidgetKind::Button, "分组框2", {312, 19, 32, 32}, "…"},
    {"标签2", WidgetKind::Label, nullptr, {0, 588, 248, 24}, "载入状态：正在载入"},
    {"标签1", WidgetKind::Label, nullptr, {312, 588, 80, 24}, "间隔（秒）："},
    {"编辑框3", WidgetKind::EditBox, nullptr, {392, 590, 40, 20}, "5"},
    {"选择框1", WidgetKind::CheckBox, nullptr, {456, 588, 64, 24}, "截图"},
    {"按钮1", WidgetKind::Button, nullptr, {568, 584, 80, 32}, "开始"},
};

const std::map<std::string, WidgetId>& controls() {
  static std::map<std::string, WidgetId> ids;
  if (!ids.empty()) return ids;
  for (const Control& c : kLayout) {
    WidgetSpec w;
    w.kind = c.kind;
    w.parent = harness().window;  // moved into its group box below, as the program does
    w.rect = c.rect;
    w.text = c.text;
    w.visible = c.kind != WidgetKind::Hidden;
    w.tabStop = true;
    if (std::string(c.name) == "标签3") w.textColour = 0x000000FF;
    if (std::string(c.name) == "编辑框1") {
      w.editMode = EditMode::ReadOnly;
      w.editBorderLine = true;
    }
    if (std::string(c.name) == "编辑框3") w.editMode = EditMode::IntegerText;
    if (c.kind == WidgetKind::EditBox || c.kind == WidgetKind::ListBox) w.backColour = 0x00FFFFFF;
    ids[c.name] = ui().createWidget(w);
  }
  for (const Control& c : kLayout)
    if (c.parent) ui().setParent(ids[c.name], ids[c.parent]);
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
  GdkKeymapKey* keys = nullptr;
  gint n = 0;
  if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()),
                                        keyval, &keys, &n) &&
      n > 0)
    ev->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
  g_free(keys);
  gdk_event_set_device(
      ev, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
  gtk_main_do_event(ev);
  gdk_event_free(ev);
}

void typeText(const char* text) {
  for (const char* c = text; *c; ++c) pressKey(gdk_unicode_to_keyval(static_cast<guint>(*c)));
}

}  // namespace sorvane::gtktest
