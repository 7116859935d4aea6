#pragma once
// The table of widgets every backend keeps beside its native ones: who is
// whose parent, and in which order a subtree goes away. W is the backend's
// record, with at least `WidgetId parent` (0 for a window of its own) and
// `std::vector<WidgetId> children` (in creation or re-parenting order).

#include <algorithm>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace sorvane::platform::common {

template <typename W>
class WidgetTree {
 public:
  W* find(WidgetId id) {
    auto it = widgets_.find(id);
    return it == widgets_.end() ? nullptr : &it->second;
  }
  const W* find(WidgetId id) const {
    auto it = widgets_.find(id);
    return it == widgets_.end() ? nullptr : &it->second;
  }
  bool contains(WidgetId id) const { return widgets_.count(id) != 0; }

  // Enters a widget under its parent (already in the table, or 0 for a top
  // level) and gives back its record.
  W& add(WidgetId id, W widget) {
    const WidgetId parent = widget.parent;
    W& added = widgets_.insert_or_assign(id, std::move(widget)).first->second;
    if (W* p = find(parent)) p->children.push_back(id);
    return added;
  }

  struct Removed {
    std::vector<WidgetId> order;  // children first; the widget itself last
    std::vector<W> records;       // in the same order
  };
  // Takes a widget and its subtree out of the table. The order is fixed
  // before anything is torn down or reported, so a desktop that still sends
  // focus messages while its windows go, or a program that destroys more in
  // answer, finds nothing half-removed.
  Removed takeOut(WidgetId id) {
    Removed removed;
    const W* w = find(id);
    if (!w) return removed;
    if (W* p = find(w->parent)) std::erase(p->children, id);
    collect(id, removed.order);
    for (WidgetId d : removed.order) {
      auto it = widgets_.find(d);
      removed.records.push_back(std::move(it->second));
      widgets_.erase(it);
    }
    return removed;
  }

  // Whether a child may move into this parent: both exist, the child is not
  // a window of its own, and the parent is neither the child nor below it.
  bool canMove(WidgetId child, WidgetId parent) const {
    const W* c = find(child);
    if (!c || !find(parent) || c->parent == 0) return false;
    for (WidgetId up = parent; up; up = find(up)->parent)
      if (up == child) return false;  // would make a widget its own ancestor
    return true;
  }
  // The bookkeeping of a move that canMove allowed.
  void move(WidgetId child, WidgetId parent) {
    W* c = find(child);
    if (W* old = find(c->parent)) std::erase(old->children, child);
    c->parent = parent;
    find(parent)->children.push_back(child);
  }

  // The windows of their own, those with no parent.
  std::vector<WidgetId> roots() const {
    std::vector<WidgetId> tops;
    for (const auto& [id, w] : widgets_)
      if (w.parent == 0) tops.push_back(id);
    return tops;
  }

  // Every widget with its id, in id order.
  auto begin() { return widgets_.begin(); }
  auto end() { return widgets_.end(); }
  auto begin() const { return widgets_.begin(); }
  auto end() const { return widgets_.end(); }

 private:
  // A widget and everything below it, children before their parents.
  void collect(WidgetId id, std::vector<WidgetId>& out) const {
    const W* w = find(id);
    if (!w) return;
    for (WidgetId c : w->children) collect(c, out);
    out.push_back(id);
  }

  std::map<WidgetId, W> widgets_;
};

// A widget's text as the program wrote it and as the desktop was given it.
// The program reads back exactly its own bytes while the widget still holds
// what it was given, even where the desktop's form of the text cannot carry
// them (invalid UTF-8, a code page's unmapped bytes); once the user has
// changed it, it reads what the widget holds.
template <typename Shown>
struct ExactText {
  std::string bytes;
  Shown shown;

  template <typename ToShown>
  void write(const std::string& text, ToShown toShown) {
    bytes = text;
    shown = toShown(text);
  }
  template <typename FromShown>
  std::string read(const Shown& now, FromShown fromShown) const {
    return now == shown ? bytes : fromShown(now);
  }
  std::string read(const std::string& now) const
    requires std::is_same_v<Shown, std::string>
  {
    return now == shown ? bytes : now;
  }
};

}  // namespace sorvane::platform::common
