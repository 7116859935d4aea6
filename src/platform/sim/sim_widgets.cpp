// Widgets in memory: creation, the parent tree, state the program writes, focus.

#include <algorithm>
#include <stdexcept>

#include "platform/sim/sim_platform.h"

namespace sorvane::sim {

using platform::WidgetSpec;

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

void SimPlatform::postActivation() {
  // Posted rather than sent: the program learns the window's id only when
  // createWidget returns, and the desktop delivers the activation by message.
  at(now_, [this] {
    if (WidgetId top = topLevel(); top && openModals_ == 0)
      report([&](platform::EventSink& sink) { sink.windowActivated(top); });
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
  const WidgetState* parent = find(widgetSpec.parent);
  if (widgetSpec.parent == 0 ? !mayBeRoot : !parent || !holdsChildren(*parent)) return 0;

  const WidgetId id = nextWidgetId_++;
  WidgetState w;
  w.id = id;
  w.widgetSpec = widgetSpec;
  w.kind = widgetSpec.kind;
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

void SimPlatform::destroyNative(WidgetState&) {
  // The widgets are out of the table already; the focus goes with them.
  if (!find(focus_)) focus_ = 0;
}

void SimPlatform::showNative(WidgetState& w, bool visible) {
  const bool shown = visible && !w.visible;
  w.visible = visible;
  if (shown && w.kind == WidgetKind::TopLevel && autoActivate_) postActivation();
}

void SimPlatform::setText(WidgetId widget, const std::string& text) {
  if (WidgetState* w = find(widget)) w->text = text;
}

std::string SimPlatform::text(WidgetId widget) const {
  const WidgetState* w = find(widget);
  return w ? w->text : std::string();
}

int SimPlatform::addItemNative(WidgetState& w, const std::string& item) {
  w.items.push_back(item);
  return static_cast<int>(w.items.size()) - 1;
}

bool SimPlatform::deleteItemNative(WidgetState& w, int index) {
  w.items.erase(w.items.begin() + index);
  // The selection follows its item, and goes with it.
  if (w.selection == index)
    w.selection = -1;
  else if (w.selection > index)
    --w.selection;
  return true;
}

void SimPlatform::clearItemsNative(WidgetState& w) {
  w.items.clear();
  w.selection = -1;
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

void SimPlatform::moveFocus(WidgetId to) {
  const WidgetId from = focus_;
  if (from == to) return;
  focus_ = to;
  if (const WidgetState* w = find(from); w && takesFocus(w->kind))
    raise(from, WidgetEvent::LostFocus);
  if (const WidgetState* w = find(to); w && focus_ == to && takesFocus(w->kind))
    raise(to, WidgetEvent::GotFocus);
}

}  // namespace sorvane::sim
