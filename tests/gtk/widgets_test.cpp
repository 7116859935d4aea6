// The main window and its controls: geometry, fonts, texts, events and keys.

#include <gtest/gtest.h>

#include "harness.h"
#include "../support/pictures.h"

namespace sorvane::gtktest {
namespace {

TEST(MainWindow, HasTheClientSizeAndPlaceOfTheClassicWindow) {
  GtkWidget* window = GTK_WIDGET(mainGtkWindow());
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_mapped(window); }, 5000));
  GdkWindow* g = gtk_widget_get_window(window);
  EXPECT_EQ(gdk_window_get_width(g), 1073);
  EXPECT_EQ(gdk_window_get_height(g), 620);
  EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(window)));
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "Sorvane");
  // Centred as the 1079 x 649 frame would be on the 1280 x 1024 screen.
  Rect r = ui().widgetRect(harness().window);
  EXPECT_EQ(r, (Rect{100, 187, 1079, 649}));
  int x = 0, y = 0;
  gdk_window_get_origin(g, &x, &y);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 187);
}

TEST(MainWindow, EveryControlTakesExactlyItsRectangleAndItsCaptionFits) {
  GtkWidget* client = gtk_bin_get_child(GTK_BIN(mainGtkWindow()));
  for (const Control& c : layoutControls()) {
    if (c.kind == WidgetKind::Hidden) continue;
    GtkWidget* w = gtkOf(id(c.name.c_str()));
    ASSERT_NE(w, nullptr) << c.name;
    Rect want = c.rect;
    if (!c.parent.empty()) {
      Rect group = ui().widgetRect(id(c.parent.c_str()));
      want.left += group.left;
      want.top += group.top;
    }
    int x = 0, y = 0;
    gtk_widget_translate_coordinates(w, client, 0, 0, &x, &y);
    EXPECT_EQ((Rect{x, y, gtk_widget_get_allocated_width(w), gtk_widget_get_allocated_height(w)}),
              want)
        << c.name;
    EXPECT_EQ(ui().widgetRect(id(c.name.c_str())), c.rect) << c.name;
    GtkWidget* label = GTK_IS_LABEL(w) ? w : findDescendant(w, GTK_TYPE_LABEL);
    if (label && c.kind != WidgetKind::ListBox) {
      PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(label));
      EXPECT_FALSE(pango_layout_is_ellipsized(layout)) << c.name;
      EXPECT_EQ(pango_layout_get_line_count(layout), 1) << c.name;
      int width = 0, height = 0;
      pango_layout_get_pixel_size(layout, &width, &height);
      EXPECT_LE(width, gtk_widget_get_allocated_width(label)) << c.name;
    }
  }
}

TEST(MainWindow, ItsPictureShowsTheControls) {
  Pixels p = testing::captured(ui(), harness().window);
  EXPECT_EQ(p.width, 1073);
  EXPECT_EQ(p.height, 620);
  keepPicture(p, "main-window");
  Pixels screen = testing::captured(ui(), 0);
  EXPECT_EQ(screen.width, 1280);
  EXPECT_EQ(screen.height, 1024);
  keepPicture(screen, "screen");
}

// Bytes that are not UTF-8 (GBK here) cannot be shown as they are; the
// program still reads back what it wrote.
TEST(Texts, BytesThatAreNotUtf8ComeBackAsGiven) {
  const std::string notUtf8 = "\xB5\xDA\xD2\xBB abc";  // GBK bytes, invalid as UTF-8
  const std::string chinese = "载入状态：正在载入";
  for (const char* name : {"标签2", "编辑框2", "按钮1", "分组框1"}) {
    ui().setText(id(name), notUtf8);
    EXPECT_EQ(ui().text(id(name)), notUtf8) << name;
    ui().setText(id(name), chinese);
    EXPECT_EQ(ui().text(id(name)), chinese) << name;
  }
  ui().setText(id("按钮1"), "开始");
  ui().setText(id("分组框1"), "网页地址");

  WidgetId list = id("列表框1");
  ui().listClear(list);
  EXPECT_EQ(ui().listAdd(list, notUtf8), 0);
  EXPECT_EQ(ui().listItem(list, 0), notUtf8);
  ui().listClear(list);
}

TEST(Texts, AHundredThousandItemsStayQuick) {
  WidgetId list = id("列表框1");
  auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < 100000; ++i)
    ASSERT_EQ(ui().listAdd(list, "http://host" + std::to_string(i) + ".example/"), i);
  pumpFor(50);
  EXPECT_EQ(ui().listItem(list, 99999), "http://host99999.example/");
  EXPECT_TRUE(ui().listDelete(list, 50000));
  EXPECT_EQ(ui().listItem(list, 50000), "http://host50001.example/");
  ui().listClear(list);
  auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  std::printf("100,000 list items added and cleared in %lld ms\n",
              static_cast<long long>(took.count()));
  EXPECT_LT(took.count(), 5000);
}

}  // namespace
}  // namespace sorvane::gtktest
