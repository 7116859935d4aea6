// Widgets in memory: creation, the parent tree, state the program writes, focus.

#include <algorithm>
#include <stdexcept>

#include "platform/sim/sim_platform.h"

namespace sorvane::sim {

using platform::WidgetSpec;

WidgetState* SimPlatform::find(WidgetId id) { return widgets_.find(id); }

const WidgetState* SimPlatform::find(WidgetId id) const { return widgets_.find(id); }

const WidgetState& SimPlatform::widget(WidgetId id) const {
  if (const WidgetState* w = find(id)) return *w;
  throw std::invalid_argument("no widget " + std::to_string(id));
}

std::vector<WidgetId> SimPlatform::widgetsOfKind(WidgetKind kind) const {
  std::vector<WidgetId> out;
  for (const auto& [id, w] : widgets_)
    if (w.widgetSpec.kind == kind) out.push_back(id);
  return out;
}

WidgetId SimPlatform::findWidget(WidgetKind kind, const std::string& text) const {
  for (const auto& [id, w] : widgets_)
    if (w.widgetSpec.kind == kind && w.text == text) return id;
  return 0;
}

WidgetId SimPlatform::topLevel() const {
  for (const auto& [id, w] : widgets_)
    if (w.widgetSpec.kind == WidgetKind::TopLevel) return id;
  return 0;
}

void SimPlatform::setScreen(int width, int height, Rgb colour) {
  screenWidth_ = width;
  screenHeight_ = height;
  screenColour_ = colour;
}

void SimPlatform::raise(WidgetId id, WidgetEvent event) {
  if (sink_) sink_->widgetEvent(id, event);
}

void SimPlatform::postActivation() {
  // Posted rather than sent: the program learns the window's id only when
  // createWidget returns, and the desktop delivers the activation by message.
  at(now_, [this] {
    if (WidgetId top = topLevel(); top && openModals_ == 0 && sink_) sink_->windowActivated(top);
  });
}

WidgetId SimPlatform::createWidget(const WidgetSpec& widgetSpec) {
  if (auto it = std::find(failCreates_.begin(), failCreates_.end(), widgetSpec.kind);
      it != failCreates_.end()) {
    failCreates_.erase(it);
    return 0;
  }
  if (widgetSpec.kind == WidgetKind::Browser && widgetSpec.browser.version > 1) return 0;
  const bool mayBeRoot = widgetSpec.kind == WidgetKind::TopLevel || widgetSpec.kind == WidgetKind::Hidden;
  if (widgetSpec.parent == 0 ? !mayBeRoot : !holdsChildren(widgetSpec.parent)) return 0;

  const WidgetId id = nextWidgetId_++;
  WidgetState w;
  w.id = id;
  w.widgetSpec = widgetSpec;
  w.parent = widgetSpec.parent;
  w.rect = widgetSpec.rect;
  if (widgetSpec.kind == WidgetKind::TopLevel) {
    w.rect.left = (screenWidth_ - widgetSpec.rect.width) / 2;
    w.rect.top = (screenHeight_ - widgetSpec.rect.height) / 2;
  }
  w.text = widgetSpec.text;
  w.visible = widgetSpec.visible && widgetSpec.kind != WidgetKind::Hidden;
  w.enabled = !widgetSpec.disabled;
  const bool activates = w.visible && widgetSpec.kind == WidgetKind::TopLevel && autoActivate_;
  widgets_.add(id, std::move(w));
  if (activates) postActivation();
  return id;
}

bool SimPlatform::holdsChildren(WidgetId parent) const {
  // As on the desktops: the window and group boxes hold controls.
  const WidgetState* p = find(parent);
  return p && (p->widgetSpec.kind == WidgetKind::TopLevel ||
               p->widgetSpec.kind == WidgetKind::GroupBox);
}

void SimPlatform::destroyWidget(WidgetId widget) {
  // The order is fixed before anything is reported, so a sink that reacts by
  // destroying more widgets cannot upset the walk.
  for (WidgetId id : widgets_.takeOut(widget).order) {
    if (focus_ == id) focus_ = 0;
    if (sink_) sink_->widgetDestroyed(id);
  }
}

bool SimPlatform::widgetExists(WidgetId widget) const { return widgets_.contains(widget); }

void SimPlatform::setParent(WidgetId child, WidgetId parent) {
  if (widgets_.canMove(child, parent) && holdsChildren(parent)) widgets_.move(child, parent);
}

void SimPlatform::setVisible(WidgetId widget, bool visible) {
  WidgetState* w = find(widget);
  if (!w || w->widgetSpec.kind == WidgetKind::Hidden) return;
  const bool shown = visible && !w->visible;
  w->visible = visible;
  if (shown && w->widgetSpec.kind == WidgetKind::TopLevel && autoActivate_) postActivation();
}

bool SimPlatform::isVisible(WidgetId widget) const {
  const WidgetState* w = find(widget);
  return w && w->visible;
}

void SimPlatform::setEnabled(WidgetId widget, bool enabled) {
  // Like the desktop, disabling the focused widget leaves the focus on it.
  if (WidgetState* w = find(widget)) w->enabled = enabled;
}

bool SimPlatform::isEnabled(WidgetId widget) const {
  const WidgetState* w = find(widget);
  return w && w->enabled;
}

Rect SimPlatform::widgetRect(WidgetId widget) const {
  const WidgetState* w = find(widget);
  return w ? w->rect : Rect{};
}

void SimPlatform::setText(WidgetId widget, const std::string& text) {
  if (WidgetState* w = find(widget)) w->text = text;
}

std::string SimPlatform::text(WidgetId widget) const {
  const WidgetState* w = find(widget);
  return w ? w->text : std::string();
}

void SimPlatform::setChecked(WidgetId checkBox, bool checked) {
  WidgetState* w = find(checkBox);
  if (w && w->widgetSpec.kind == WidgetKind::CheckBox) w->checked = checked;
}

bool SimPlatform::isChecked(WidgetId checkBox) const {
  const WidgetState* w = find(checkBox);
  return w && w->checked;
}

int SimPlatform::listAdd(WidgetId list, const std::string& item) {
  WidgetState* w = find(list);
  if (!w || w->widgetSpec.kind != WidgetKind::ListBox) return -1;
  w->items.push_back(item);
  return static_cast<int>(w->items.size()) - 1;
}

bool SimPlatform::listDelete(WidgetId list, int index) {
  WidgetState* w = find(list);
  if (!w || w->widgetSpec.kind != WidgetKind::ListBox || index < 0 ||
      index >= static_cast<int>(w->items.size()))
    return false;
  w->items.erase(w->items.begin() + index);
  // The selection follows its item, and goes with it.
  if (w->selection == index)
    w->selection = -1;
  else if (w->selection > index)
    --w->selection;
  return true;
}

void SimPlatform::listClear(WidgetId list) {
  WidgetState* w = find(list);
  if (!w || w->widgetSpec.kind != WidgetKind::ListBox) return;
  w->items.clear();
  w->selection = -1;
}

int SimPlatform::listCount(WidgetId list) const {
  const WidgetState* w = find(list);
  return w ? static_cast<int>(w->items.size()) : 0;
}

std::string SimPlatform::listItem(WidgetId list, int index) const {
  const WidgetState* w = find(list);
  if (!w || index < 0 || index >= static_cast<int>(w->items.size())) return {};
  return w->items[index];
}

int SimPlatform::listSelection(WidgetId list) const {
  const WidgetState* w = find(list);
  return w ? w->selection : -1;
}

WidgetId SimPlatform::focusedWidget() const { return focus_; }

bool SimPlatform::effectivelyShownAndEnabled(WidgetId id) const {
  for (const WidgetState* w = find(id); w; w = find(w->parent))
    if (!w->visible || !w->enabled) return false;
  return find(id) != nullptr;
}

void SimPlatform::setFocus(WidgetId widget) {
  if (widget != 0 && !effectivelyShownAndEnabled(widget)) return;
  moveFocus(widget);
}

// The controls that report focus changes as events -8 and -7.
static bool reportsFocus(const WidgetState* w) {
  if (!w) return false;
  switch (w->widgetSpec.kind) {
    case WidgetKind::Button:
    case WidgetKind::CheckBox:
    case WidgetKind::EditBox:
    case WidgetKind::ListBox:
      return true;
    default:
      return false;
  }
}

void SimPlatform::moveFocus(WidgetId to) {
  const WidgetId from = focus_;
  if (from == to) return;
  focus_ = to;
  if (reportsFocus(find(from))) raise(from, WidgetEvent::LostFocus);
  if (to && focus_ == to && reportsFocus(find(to))) raise(to, WidgetEvent::GotFocus);
}

}  // namespace sorvane::sim
