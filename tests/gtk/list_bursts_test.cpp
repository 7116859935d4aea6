// The list box after a clear: the rows added next go in while the view has no
// model, and the view takes the model back before the loop does anything else.
// Reads in between must not notice, and the rows must reach the screen.

#include <gtest/gtest.h>

#include "harness.h"
#include "../support/pictures.h"

namespace sorvane::gtktest {
namespace {

// Dark pixels (text) in the first row of a picture of the list box.
int inkInFirstRow(const Pixels& p) {
  int ink = 0;
  for (int y = 3; y < 15; ++y)
    for (int x = 3; x < 120; ++x) ink += (pixelAt(p, x, y) & 0xFF) < 0x80;
  return ink;
}

TEST(ListBox, RowsAddedAfterAClearAreReadAtOnceAndShownAfterOneTurnOfTheLoop) {
  WidgetId list = id("列表框1");
  ui().listClear(list);
  pumpFor(100);
  Pixels empty = testing::captured(ui(), list);
  EXPECT_EQ(inkInFirstRow(empty), 0);

  ui().listClear(list);
  for (const char* item : {"first", "second", "third"}) ui().listAdd(list, item);
  EXPECT_EQ(ui().listSelection(list), -1);
  EXPECT_EQ(ui().listItem(list, 2), "third");
  pumpFor(50);  // one turn of the loop: layout and paint
  Pixels shown = testing::captured(ui(), list);
  EXPECT_GT(inkInFirstRow(shown), 20);
  keepPicture(shown, "list-after-burst");

  // A row deleted right after the burst is gone from the view too.
  ui().listClear(list);
  for (const char* item : {"first", "second", "third"}) ui().listAdd(list, item);
  EXPECT_TRUE(ui().listDelete(list, 0));
  pumpFor(50);
  auto* tree = GTK_TREE_VIEW(findDescendant(gtkOf(list), GTK_TYPE_TREE_VIEW));
  GtkTreeModel* model = gtk_tree_view_get_model(tree);
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(gtk_tree_model_iter_n_children(model, nullptr), 2);
  GtkTreeIter iter;
  ASSERT_TRUE(gtk_tree_model_get_iter_first(model, &iter));
  gchar* text = nullptr;
  gtk_tree_model_get(model, &iter, 0, &text, -1);
  const platform::gtk::GChars owned(text);
  EXPECT_STREQ(owned.get(), "second");
  ui().listClear(list);
}

}  // namespace
}  // namespace sorvane::gtktest
