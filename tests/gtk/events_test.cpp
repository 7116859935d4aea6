// Events, keys and focus of the controls, from synthetic and from real input.

#include <gtest/gtest.h>

#include <cstdlib>

#include "harness.h"

namespace sorvane::gtktest {
namespace {

using platform::WidgetEvent;

Recorder& sink() { return harness().sink; }

// A real pointer click through the X server at a point of a GTK window.
void clickAt(GdkWindow* window, int x, int y, int clicks = 1) {
  int ox = 0, oy = 0;
  gdk_window_get_origin(window, &ox, &oy);
  std::string command = "xdotool mousemove " + std::to_string(ox + x) + " " +
                        std::to_string(oy + y) + " click --repeat " + std::to_string(clicks) +
                        " --delay 60 1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TEST(Events, ClicksComeFromTheUserOnlyAndTheCheckBoxToggledFirst) {
  WidgetId start = id("按钮1");
  WidgetId check = id("选择框1");
  sink().clear();
  bool checkedAtClick = false;
  sink().onEvent = [&](WidgetId w, WidgetEvent e) {
    if (w == check && e == WidgetEvent::Used) checkedAtClick = ui().isChecked(check);
  };
  gtk_button_clicked(GTK_BUTTON(gtkOf(start)));
  EXPECT_EQ(sink().count(start, WidgetEvent::Used), 1);

  ui().setChecked(check, false);
  gtk_button_clicked(GTK_BUTTON(gtkOf(check)));
  EXPECT_EQ(sink().count(check, WidgetEvent::Used), 1);
  EXPECT_TRUE(checkedAtClick);
  ui().setChecked(check, false);
  ui().setChecked(check, true);
  EXPECT_TRUE(ui().isChecked(check));
  EXPECT_EQ(sink().count(check, WidgetEvent::Used), 1);

  ui().setText(id("编辑框2"), "written by the program");
  EXPECT_EQ(sink().count(id("编辑框2"), WidgetEvent::Used), 0);
  sink().onEvent = nullptr;
}

TEST(Events, TypedTextIsFilteredOnlyWhereItShouldBe) {
  ASSERT_TRUE(pumpUntil([] { return gtk_window_is_active(mainGtkWindow()); }, 3000));
  WidgetId number = id("编辑框3");
  ui().setText(number, "");
  ui().setFocus(number);
  sink().clear();
  typeText("1a.-2 ");
  EXPECT_EQ(ui().text(number), "1-2");
  EXPECT_EQ(sink().count(number, WidgetEvent::Used), 3);  // one contentChanged per accepted character

  // Pasting is not filtered.
  gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "x.y", -1);
  g_signal_emit_by_name(gtkOf(number), "paste-clipboard");
  pumpUntil([&] { return ui().text(number) == "1-2x.y"; }, 2000);
  EXPECT_EQ(ui().text(number), "1-2x.y");

  WidgetId folder = id("编辑框1");
  ui().setText(folder, "");
  ui().setFocus(folder);
  typeText("abc");
  EXPECT_EQ(ui().text(folder), "");
  ui().setText(folder, "/tmp/shots/");
  EXPECT_EQ(ui().text(folder), "/tmp/shots/");

  WidgetId plain = id("编辑框2");
  ui().setText(plain, "");
  ui().setFocus(plain);
  typeText("a.b");
  EXPECT_EQ(ui().text(plain), "a.b");
  ui().setText(number, "5");
}

TEST(Keys, ReachTheProgramFirstAndGtkNeverMovesTheFocusOnTab) {
  struct Seen {
    WidgetId window;
    Key key;
    unsigned mods;
  };
  std::vector<Seen> seen;
  sink().onKey = [&](WidgetId w, Key k, unsigned m) {
    seen.push_back({w, k, m});
    return k == Key::Escape;
  };
  WidgetId start = id("按钮1");
  ui().setFocus(start);
  EXPECT_EQ(ui().focusedWidget(), start);
  sink().clear();

  pressKey(GDK_KEY_Tab);
  pressKey(GDK_KEY_ISO_Left_Tab, GDK_SHIFT_MASK);
  EXPECT_EQ(ui().focusedWidget(), start);
  pressKey(GDK_KEY_Return);  // a focused push button ignores Enter
  EXPECT_EQ(sink().count(start, WidgetEvent::Used), 0);
  pressKey(GDK_KEY_Escape);
  pressKey(GDK_KEY_F1);
  pressKey(GDK_KEY_a, GDK_CONTROL_MASK | GDK_MOD1_MASK);
  pressKey(GDK_KEY_space);  // but the space bar presses it
  EXPECT_TRUE(pumpUntil([&] { return sink().count(start, WidgetEvent::Used) == 1; }, 2000));

  ASSERT_EQ(seen.size(), 7u);
  EXPECT_EQ(seen[0].window, harness().window);
  EXPECT_EQ(seen[0].key, Key::Tab);
  EXPECT_EQ(seen[0].mods, kNone);
  EXPECT_EQ(seen[1].key, Key::Tab);
  EXPECT_EQ(seen[1].mods, kShift);
  EXPECT_EQ(seen[2].key, Key::Enter);
  EXPECT_EQ(seen[3].key, Key::Escape);
  EXPECT_EQ(seen[4].key, Key::F1);
  EXPECT_EQ(seen[5].key, Key::Other);
  EXPECT_EQ(seen[5].mods, kControl | kAlt);
  sink().onKey = nullptr;
}

gboolean countTab(GtkWidget*, GdkEventKey* ev, gpointer count) {
  if (ev->keyval == GDK_KEY_Tab || ev->keyval == GDK_KEY_ISO_Left_Tab) ++*static_cast<int*>(count);
  return FALSE;
}

// Only plain Tab and Shift+Tab are the window's. With Ctrl or Alt the key
// goes to the focused control like any other, and GTK's own focus chain,
// which has Ctrl+Tab bound, does not move either.
TEST(Keys, TabWithCtrlOrAltIsTheFocusedControlsKey) {
  std::vector<unsigned> tabs;
  sink().onKey = [&](WidgetId, Key k, unsigned m) {
    if (k == Key::Tab) tabs.push_back(m);
    return false;
  };
  WidgetId entry = id("编辑框2");
  ui().setFocus(entry);
  ASSERT_EQ(ui().focusedWidget(), entry);
  int reached = 0;
  gulong handler =
      g_signal_connect(gtkOf(entry), "key-press-event", G_CALLBACK(countTab), &reached);

  pressKey(GDK_KEY_Tab, GDK_CONTROL_MASK);
  pressKey(GDK_KEY_Tab, GDK_MOD1_MASK);
  pressKey(GDK_KEY_ISO_Left_Tab, GDK_CONTROL_MASK | GDK_SHIFT_MASK);
  pumpFor(100);
  EXPECT_EQ(reached, 3);
  EXPECT_EQ(ui().focusedWidget(), entry);
  EXPECT_EQ(tabs, (std::vector<unsigned>{kControl, kAlt, kControl | kShift}));

  g_signal_handler_disconnect(gtkOf(entry), handler);
  sink().onKey = nullptr;
}

TEST(Focus, EventsAndTheFocusedWidgetNameOurControls) {
  ASSERT_TRUE(pumpUntil([] { return gtk_window_is_active(mainGtkWindow()); }, 3000));
  WidgetId add = id("按钮2");
  WidgetId list = id("列表框1");
  ui().listClear(list);
  ui().listAdd(list, "one");
  ui().listAdd(list, "two");
  ui().setFocus(id("按钮1"));
  sink().clear();
  ui().setFocus(add);
  EXPECT_EQ(sink().count(add, WidgetEvent::GotFocus), 1);
  ui().setFocus(list);
  EXPECT_EQ(sink().count(add, WidgetEvent::LostFocus), 1);
  EXPECT_EQ(sink().count(list, WidgetEvent::GotFocus), 1);
  EXPECT_EQ(ui().focusedWidget(), list);
  // Getting the focus selects nothing; the user does that.
  EXPECT_EQ(ui().listSelection(list), -1);
  EXPECT_EQ(sink().count(list, WidgetEvent::Used), 0);
  ui().listClear(list);
}

TEST(ListBox, AClickSelectsAndADoubleClickRaisesEventOne) {
  WidgetId list = id("列表框1");
  ui().listClear(list);
  for (const char* item : {"first", "second", "third"}) ui().listAdd(list, item);
  pumpFor(100);
  auto* tree = GTK_TREE_VIEW(findDescendant(gtkOf(list), GTK_TYPE_TREE_VIEW));
  GdkRectangle row{};
  GtkTreePath* path = gtk_tree_path_new_from_indices(1, -1);
  gtk_tree_view_get_background_area(tree, path, nullptr, &row);
  gtk_tree_path_free(path);
  sink().clear();

  clickAt(gtk_tree_view_get_bin_window(tree), 20, row.y + row.height / 2);
  ASSERT_TRUE(pumpUntil([&] { return ui().listSelection(list) == 1; }, 3000));
  EXPECT_GE(sink().count(list, WidgetEvent::Used), 1);
  EXPECT_EQ(sink().count(list, WidgetEvent::DoubleClicked), 0);

  pumpFor(600);  // far enough apart not to count as one double-click
  clickAt(gtk_tree_view_get_bin_window(tree), 20, row.y + row.height / 2, 2);
  EXPECT_TRUE(pumpUntil([&] { return sink().count(list, WidgetEvent::DoubleClicked) == 1; }, 3000));

  int events = static_cast<int>(sink().events.size());
  EXPECT_TRUE(ui().listDelete(list, 0));
  EXPECT_EQ(ui().listSelection(list), 0);  // "second" moved up
  ui().listClear(list);
  EXPECT_EQ(ui().listSelection(list), -1);
  EXPECT_EQ(static_cast<int>(sink().events.size()), events);  // the program's changes raise nothing
}

// Teardown, children first: the seam's suite (seam_test.cpp).
TEST(Widgets, ClosingOnlyAsks) {
  sink().clear();
  gtk_window_close(mainGtkWindow());
  pumpFor(50);
  EXPECT_EQ(sink().closeRequests, (std::vector<WidgetId>{harness().window}));
  EXPECT_TRUE(ui().widgetExists(harness().window));
}

}  // namespace
}  // namespace sorvane::gtktest
