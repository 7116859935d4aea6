// GTK 3 backend: the single-selection list box. A tree view in fixed-height
// mode stays quick with a hundred thousand items, where a widget per row would
// not.
//
// The rows are not copied into a GtkListStore: a small tree model of our own
// shows ListItems::items, the exact bytes we keep anyway, turned into valid
// UTF-8 only for the rows that are drawn. That halves the memory of a long
// list and makes adding a row a push_back.
//
// The program rebuilds the whole list after every added address: clear, then
// one add per address. With the model on the view, each of those rows costs
// the tree view (and the accessibility layer listening to it) a round of
// signal work, about 4 us a row, so adding one address to a list of 100,000
// took half a second. Clearing therefore takes the model off the view; the
// adds that follow go in with nobody listening, and the view gets the model
// back before the loop handles anything else (input, drawing). A cleared list
// has no selection, no cursor and no scroll offset, so the view looks and
// behaves exactly as if the rows had gone in one by one.

#include <algorithm>

#include "platform/gtk/backend.h"

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
  if (w && w->list && w->list->userInput) p->raise(id, WidgetEvent::Used);
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
      p->raise(p->idOf(tree), WidgetEvent::DoubleClicked);
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
  self(data)->raise(self(data)->idOf(widget), WidgetEvent::GotFocus);
  return FALSE;
}

gboolean onListFocusOut(GtkWidget* widget, GdkEvent*, gpointer data) {
  self(data)->raise(self(data)->idOf(widget), WidgetEvent::LostFocus);
  return FALSE;
}

// --- The model: ListItems::items as a flat list of one text column ----------

struct SorvaneListModel {
  GObject parent;
  const std::vector<std::string>* items;  // null once the list box is gone
  gint stamp;
};

struct SorvaneListModelClass {
  GObjectClass parent;
};

void sorvane_list_model_tree_model_init(GtkTreeModelIface* iface);

G_DEFINE_TYPE_WITH_CODE(SorvaneListModel, sorvane_list_model, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(GTK_TYPE_TREE_MODEL,
                                              sorvane_list_model_tree_model_init))

void sorvane_list_model_init(SorvaneListModel* m) {
  m->items = nullptr;
  m->stamp = g_random_int();
}

void sorvane_list_model_class_init(SorvaneListModelClass*) {}

SorvaneListModel* modelOf(GtkTreeModel* model) {
  return G_TYPE_CHECK_INSTANCE_CAST(model, sorvane_list_model_get_type(), SorvaneListModel);
}

gint rowCount(const SorvaneListModel* m) {
  return m->items ? static_cast<gint>(m->items->size()) : 0;
}

gint rowOf(const GtkTreeIter* iter) { return GPOINTER_TO_INT(iter->user_data); }

gboolean setRow(SorvaneListModel* m, GtkTreeIter* iter, gint row) {
  if (row < 0 || row >= rowCount(m)) {
    iter->stamp = 0;
    return FALSE;
  }
  iter->stamp = m->stamp;
  iter->user_data = GINT_TO_POINTER(row);
  return TRUE;
}

void sorvane_list_model_tree_model_init(GtkTreeModelIface* iface) {
  iface->get_flags = [](GtkTreeModel*) {
    return static_cast<GtkTreeModelFlags>(GTK_TREE_MODEL_LIST_ONLY);
  };
  iface->get_n_columns = [](GtkTreeModel*) { return 1; };
  iface->get_column_type = [](GtkTreeModel*, gint) { return G_TYPE_STRING; };
  iface->get_iter = [](GtkTreeModel* model, GtkTreeIter* iter, GtkTreePath* path) {
    if (gtk_tree_path_get_depth(path) != 1) return FALSE;
    return setRow(modelOf(model), iter, gtk_tree_path_get_indices(path)[0]);
  };
  iface->get_path = [](GtkTreeModel*, GtkTreeIter* iter) {
    return gtk_tree_path_new_from_indices(rowOf(iter), -1);
  };
  iface->get_value = [](GtkTreeModel* model, GtkTreeIter* iter, gint, GValue* value) {
    g_value_init(value, G_TYPE_STRING);
    SorvaneListModel* m = modelOf(model);
    const gint row = rowOf(iter);
    if (row >= 0 && row < rowCount(m))
      g_value_set_string(value, validUtf8((*m->items)[static_cast<std::size_t>(row)]).c_str());
  };
  iface->iter_next = [](GtkTreeModel* model, GtkTreeIter* iter) {
    return setRow(modelOf(model), iter, rowOf(iter) + 1);
  };
  iface->iter_previous = [](GtkTreeModel* model, GtkTreeIter* iter) {
    return setRow(modelOf(model), iter, rowOf(iter) - 1);
  };
  iface->iter_children = [](GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent) {
    return parent ? FALSE : setRow(modelOf(model), iter, 0);
  };
  iface->iter_has_child = [](GtkTreeModel*, GtkTreeIter*) { return FALSE; };
  iface->iter_n_children = [](GtkTreeModel* model, GtkTreeIter* iter) {
    return iter ? 0 : rowCount(modelOf(model));
  };
  iface->iter_nth_child = [](GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent, gint n) {
    return parent ? FALSE : setRow(modelOf(model), iter, n);
  };
  iface->iter_parent = [](GtkTreeModel*, GtkTreeIter* iter, GtkTreeIter*) {
    iter->stamp = 0;
    return FALSE;
  };
}

// --- The model on and off the view ------------------------------------------

// Lives as object data of the tree view.
struct ListView {
  GtkTreeView* tree = nullptr;
  SorvaneListModel* model = nullptr;  // our reference
  bool attached = false;
  guint source = 0;  // the pending re-attachment
};

constexpr const char* kListViewKey = "sorvane-list-view";

ListView& viewOf(GtkWidget* tree) {
  return *static_cast<ListView*>(g_object_get_data(G_OBJECT(tree), kListViewKey));
}

void attach(ListView& v) {
  if (v.source) g_source_remove(v.source);
  v.source = 0;
  if (v.attached || !v.model) return;
  gtk_tree_view_set_model(v.tree, GTK_TREE_MODEL(v.model));
  v.attached = true;
}

gboolean attachWhenIdle(gpointer data) {
  auto& v = *static_cast<ListView*>(data);
  v.source = 0;
  attach(v);
  return G_SOURCE_REMOVE;
}

// G_PRIORITY_HIGH runs ahead of input events, layout and painting, which is
// all that could tell a view without its model from one with it.
void detach(ListView& v) {
  if (!v.attached) return;
  gtk_tree_view_set_model(v.tree, nullptr);
  v.attached = false;
  v.source = g_idle_add_full(G_PRIORITY_HIGH, attachWhenIdle, &v, nullptr);
}

void forgetModel(GtkWidget* tree, gpointer) {
  ListView& v = viewOf(tree);
  if (v.source) g_source_remove(v.source);
  v.source = 0;
  if (v.model) {
    v.model->items = nullptr;  // the items go with the widget record
    g_object_unref(v.model);
    v.model = nullptr;
  }
}

void deleteListView(gpointer data) {
  auto* v = static_cast<ListView*>(data);
  if (v->source) g_source_remove(v->source);
  if (v->model) g_object_unref(v->model);
  delete v;
}

// A change the view must hear of, with the model on it.
GtkTreeModel* listeningModel(const ListView& v) {
  return v.attached ? GTK_TREE_MODEL(v.model) : nullptr;
}

}  // namespace

GtkWidget* GtkPlatform::makeListBox(WidgetId, Widget& w, const WidgetSpec& request) {
  w.list = std::make_unique<ListItems>();
  ListItems& items = *w.list;
  auto* view = new ListView;
  view->model =
      static_cast<SorvaneListModel*>(g_object_new(sorvane_list_model_get_type(), nullptr));
  view->model->items = &items.items;
  GtkWidget* tree = gtk_tree_view_new_with_model(GTK_TREE_MODEL(view->model));
  view->tree = GTK_TREE_VIEW(tree);
  view->attached = true;
  g_object_set_data_full(G_OBJECT(tree), kListViewKey, view, deleteListView);
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
  g_signal_connect(tree, "destroy", G_CALLBACK(forgetModel), nullptr);

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

int GtkPlatform::addItemNative(Widget& w, const std::string& item) {
  std::vector<std::string>& items = w.list->items;
  items.push_back(item);
  const int row = static_cast<int>(items.size()) - 1;
  if (GtkTreeModel* model = listeningModel(viewOf(w.inner))) {
    GtkTreeIter iter;
    setRow(modelOf(model), &iter, row);
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_model_row_inserted(model, path, &iter);
    gtk_tree_path_free(path);
  }
  return row;
}

bool GtkPlatform::deleteItemNative(Widget& w, int index) {
  w.list->items.erase(w.list->items.begin() + index);
  ListView& v = viewOf(w.inner);
  ++v.model->stamp;  // iterators past the row now point one too far
  // Announced after the row is gone, as GTK expects; the view moves the
  // selection of a later row up with it.
  if (GtkTreeModel* model = listeningModel(v)) {
    GtkTreePath* path = gtk_tree_path_new_from_indices(index, -1);
    gtk_tree_model_row_deleted(model, path);
    gtk_tree_path_free(path);
  }
  return true;
}

void GtkPlatform::clearItemsNative(Widget& w) {
  detach(viewOf(w.inner));
  w.list->items.clear();
  ++viewOf(w.inner).model->stamp;
}

int GtkPlatform::selectionNative(const Widget& w) const {
  GtkTreeIter iter;
  if (!gtk_tree_selection_get_selected(w.list->selection, nullptr, &iter)) return -1;
  return rowOf(&iter);
}

}  // namespace sorvane::platform::gtk
