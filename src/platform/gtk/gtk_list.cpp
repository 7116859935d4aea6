// GTK 3 backend: the single-selection list box. A tree view over a list store
// in fixed-height mode stays quick with a hundred thousand items, where a
// widget per row would not.
//
// The program rebuilds the whole list after every added address: clear, then
// one add per address. With the store attached, every one of those rows costs
// the tree view (and the accessibility layer listening to it) a round of
// signal work, about 4 us a row, so adding one address to a list of 100,000
// took half a second. Clearing therefore takes the model off the view and
// starts a fresh store; the adds that follow fill it with nobody listening, and
// the view gets it back before the loop handles anything else. A cleared list
// has no selection, no cursor and no scroll offset, so the view looks and
// behaves exactly as if the rows had gone in one by one.

#include <algorithm>

#include "platform/gtk/gtk_backend.h"

namespace sorvane::platform::gtk {

namespace {

GtkPlatform* self(gpointer data) { return static_cast<GtkPlatform*>(data); }

// Only the user selects: GTK would otherwise select the first row whenever the
// list gets the focus, which a classic list box never does.
gboolean allowSelection(GtkTreeSelection*, GtkTreeModel*, GtkTreePath*, gboolean, gpointer data) {
  auto* items = static_cast<ListItems*>(data);
  return items->userInput;
}

void onSelectionChanged(GtkTreeSelection* selection, gpointer data) {
  GtkPlatform* p = self(data);
  WidgetId id = p->idOf(GTK_WIDGET(gtk_tree_selection_get_tree_view(selection)));
  Widget* w = p->find(id);
  if (w && w->list && w->list->userInput) p->raise(id, 0);
}

// Runs the tree view's own handling of a click or key with selection allowed.
template <typename Event, typename Handler>
gboolean asUserInput(GtkPlatform* p, GtkWidget* tree, Event* ev, Handler handler) {
  WidgetId id = p->idOf(tree);
  Widget* w = p->find(id);
  if (!w || !w->list || !handler) return FALSE;
  w->list->userInput = true;
  gboolean handled = handler(tree, ev);
  if ((w = p->find(id)) && w->list) w->list->userInput = false;
  return handled;
}

gboolean onListButton(GtkWidget* tree, GdkEventButton* ev, gpointer data) {
  GtkPlatform* p = self(data);
  if (ev->type == GDK_2BUTTON_PRESS) {
    if (ev->button == 1 && ev->window == gtk_tree_view_get_bin_window(GTK_TREE_VIEW(tree)) &&
        gtk_tree_view_get_path_at_pos(GTK_TREE_VIEW(tree), static_cast<gint>(ev->x),
                                      static_cast<gint>(ev->y), nullptr, nullptr, nullptr, nullptr))
      p->raise(p->idOf(tree), 1);
    return TRUE;  // no row activation
  }
  return asUserInput(p, tree, ev, GTK_WIDGET_GET_CLASS(tree)->button_press_event);
}

gboolean onListRelease(GtkWidget* tree, GdkEventButton* ev, gpointer data) {
  return asUserInput(self(data), tree, ev, GTK_WIDGET_GET_CLASS(tree)->button_release_event);
}

gboolean onListKey(GtkWidget* tree, GdkEventKey* ev, gpointer data) {
  return asUserInput(self(data), tree, ev, GTK_WIDGET_GET_CLASS(tree)->key_press_event);
}

gboolean onListFocusIn(GtkWidget* widget, GdkEvent*, gpointer data) {
  self(data)->raise(self(data)->idOf(widget), -7);
  return FALSE;
}

gboolean onListFocusOut(GtkWidget* widget, GdkEvent*, gpointer data) {
  self(data)->raise(self(data)->idOf(widget), -8);
  return FALSE;
}

bool nthRow(GtkListStore* store, int index, GtkTreeIter* iter) {
  return gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(store), iter, nullptr, index);
}

// A list box whose view is, for the moment, without its model. Lives as object
// data of the tree view.
struct Detached {
  GtkTreeView* tree = nullptr;
  GtkListStore* store = nullptr;  // our reference while the view has none
  guint source = 0;               // the pending re-attachment
};

constexpr const char* kDetachedKey = "sorvane-detached";

Detached& detachedOf(GtkWidget* tree) {
  auto* d = static_cast<Detached*>(g_object_get_data(G_OBJECT(tree), kDetachedKey));
  if (!d) {
    d = new Detached{GTK_TREE_VIEW(tree)};
    g_object_set_data_full(G_OBJECT(tree), kDetachedKey, d,
                           [](gpointer p) { delete static_cast<Detached*>(p); });
  }
  return *d;
}

void reattach(Detached& d) {
  if (d.source) g_source_remove(d.source);
  d.source = 0;
  if (!d.store) return;
  gtk_tree_view_set_model(d.tree, GTK_TREE_MODEL(d.store));
  g_object_unref(d.store);  // the view holds it again
  d.store = nullptr;
}

gboolean reattachWhenIdle(gpointer data) {
  auto& d = *static_cast<Detached*>(data);
  d.source = 0;
  reattach(d);
  return G_SOURCE_REMOVE;
}

// Before any input, redraw or other work of the loop: G_PRIORITY_HIGH runs
// ahead of events and painting.
void detach(Detached& d, GtkListStore* store) {
  if (d.store) return;
  d.store = GTK_LIST_STORE(g_object_ref(store));
  gtk_tree_view_set_model(d.tree, nullptr);
  d.source = g_idle_add_full(G_PRIORITY_HIGH, reattachWhenIdle, &d, nullptr);
}

// A picture of the list taken straight after a burst, before the loop ran,
// must still show the rows.
gboolean reattachBeforeDraw(GtkWidget* tree, cairo_t*, gpointer) {
  reattach(detachedOf(tree));
  return FALSE;
}

void forgetDetached(GtkWidget* tree, gpointer) {
  Detached& d = detachedOf(tree);
  if (d.source) g_source_remove(d.source);
  d.source = 0;
  if (d.store) g_object_unref(d.store);
  d.store = nullptr;
}

}  // namespace

GtkWidget* GtkPlatform::makeListBox(WidgetId, Widget& w, const WidgetSpec& request) {
  w.list = std::make_unique<ListItems>();
  ListItems& items = *w.list;
  items.store = gtk_list_store_new(1, G_TYPE_STRING);
  GtkWidget* tree = gtk_tree_view_new_with_model(GTK_TREE_MODEL(items.store));
  g_object_unref(items.store);  // the view holds it from here on
  gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(tree), FALSE);
  gtk_tree_view_set_enable_search(GTK_TREE_VIEW(tree), FALSE);

  GtkCellRenderer* cell = gtk_cell_renderer_text_new();
  g_object_set(cell, "ypad", 0, "xpad", 1, nullptr);
  GtkTreeViewColumn* column =
      gtk_tree_view_column_new_with_attributes("", cell, "text", 0, nullptr);
  gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
  gtk_tree_view_column_set_fixed_width(column, std::max(request.rect.width - 4, 1));
  gtk_tree_view_column_set_expand(column, TRUE);
  gtk_tree_view_append_column(GTK_TREE_VIEW(tree), column);
  gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(tree), TRUE);

  items.selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(tree));
  gtk_tree_selection_set_mode(items.selection, GTK_SELECTION_SINGLE);
  gtk_tree_selection_set_select_function(items.selection, allowSelection, &items, nullptr);
  g_signal_connect(items.selection, "changed", G_CALLBACK(onSelectionChanged), this);
  g_signal_connect(tree, "button-press-event", G_CALLBACK(onListButton), this);
  g_signal_connect(tree, "button-release-event", G_CALLBACK(onListRelease), this);
  g_signal_connect(tree, "key-press-event", G_CALLBACK(onListKey), this);
  g_signal_connect(tree, "focus-in-event", G_CALLBACK(onListFocusIn), this);
  g_signal_connect(tree, "focus-out-event", G_CALLBACK(onListFocusOut), this);
  g_signal_connect(tree, "draw", G_CALLBACK(reattachBeforeDraw), nullptr);
  g_signal_connect(tree, "destroy", G_CALLBACK(forgetDetached), nullptr);

  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(scroller), FALSE);
  // No horizontal bar, and a long item must not widen the list.
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_EXTERNAL,
                                 GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
  gtk_container_add(GTK_CONTAINER(scroller), tree);
  gtk_widget_show(tree);
  w.inner = tree;
  return scroller;
}

ListItems* GtkPlatform::listOf(WidgetId id) {
  Widget* w = find(id);
  return w ? w->list.get() : nullptr;
}

const ListItems* GtkPlatform::listOf(WidgetId id) const {
  const Widget* w = find(id);
  return w ? w->list.get() : nullptr;
}

int GtkPlatform::listAdd(WidgetId id, const std::string& item) {
  ListItems* l = listOf(id);
  if (!l) return -1;
  std::string shown = validUtf8(item);
  gtk_list_store_insert_with_values(l->store, nullptr, -1, 0, shown.c_str(), -1);
  l->items.push_back(item);
  return static_cast<int>(l->items.size()) - 1;
}

bool GtkPlatform::listDelete(WidgetId id, int index) {
  ListItems* l = listOf(id);
  GtkTreeIter iter;
  if (!l || index < 0 || index >= static_cast<int>(l->items.size()) ||
      !nthRow(l->store, index, &iter))
    return false;
  gtk_list_store_remove(l->store, &iter);
  l->items.erase(l->items.begin() + index);
  return true;
}

void GtkPlatform::listClear(WidgetId id) {
  ListItems* l = listOf(id);
  Widget* w = find(id);
  if (!l || !w || !w->inner) return;
  // A fresh store instead of removing rows one by one; the old one goes with
  // its last reference, without a signal per row.
  Detached& d = detachedOf(w->inner);
  detach(d, l->store);
  g_object_unref(d.store);
  d.store = gtk_list_store_new(1, G_TYPE_STRING);
  l->store = d.store;
  l->items.clear();
}

int GtkPlatform::listCount(WidgetId id) const {
  const ListItems* l = listOf(id);
  return l ? static_cast<int>(l->items.size()) : 0;
}

std::string GtkPlatform::listItem(WidgetId id, int index) const {
  const ListItems* l = listOf(id);
  if (!l || index < 0 || index >= static_cast<int>(l->items.size())) return {};
  return l->items[static_cast<size_t>(index)];
}

int GtkPlatform::listSelection(WidgetId id) const {
  const ListItems* l = listOf(id);
  GtkTreeIter iter;
  if (!l || !gtk_tree_selection_get_selected(l->selection, nullptr, &iter)) return -1;
  GtkTreePath* path = gtk_tree_model_get_path(GTK_TREE_MODEL(l->store), &iter);
  int index = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  return index;
}

}  // namespace sorvane::platform::gtk
