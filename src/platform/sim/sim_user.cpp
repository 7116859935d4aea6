// What the user does: clicks, typing, list picks, keys, closing and switching
// windows. Every action goes through the same gate the desktop has: a widget
// the user cannot see or reach, or any input while a box is open, does nothing.

#include <algorithm>

#include "platform/sim/sim_platform.h"

namespace sorvane::sim {

using platform::EditMode;
using platform::Key;

bool SimPlatform::usable(WidgetId id) const {
  return openModals_ == 0 && effectivelyShownAndEnabled(id);
}

bool SimPlatform::click(WidgetId id) {
  if (!usable(id)) return false;
  const WidgetKind kind = find(id)->widgetSpec.kind;
  if (takesFocus(kind)) moveFocus(id);
  // The focus change may have run a handler that removed or disabled it.
  WidgetState* w = find(id);
  if (!w || !usable(id)) return true;
  if (kind == WidgetKind::CheckBox) {
    w->checked = !w->checked;
    raise(id, WidgetEvent::Used);
  } else if (kind == WidgetKind::Button) {
    raise(id, WidgetEvent::Used);
  }
  return true;
}

bool SimPlatform::changeEditText(WidgetId id, std::string text) {
  WidgetState* w = find(id);
  if (w->text == text) return true;
  w->text = std::move(text);
  raise(id, WidgetEvent::Used);
  return true;
}

bool SimPlatform::typeText(WidgetId edit, const std::string& bytes) {
  if (!usable(edit)) return false;
  const WidgetState* w = find(edit);
  if (w->widgetSpec.kind != WidgetKind::EditBox || w->widgetSpec.editMode == EditMode::ReadOnly) return false;
  std::string typed = bytes;
  if (w->widgetSpec.editMode == EditMode::IntegerText)
    std::erase_if(typed, [](char c) { return !((c >= '0' && c <= '9') || c == '-'); });
  moveFocus(edit);
  if (!find(edit)) return true;
  return changeEditText(edit, find(edit)->text + typed);
}

bool SimPlatform::pasteText(WidgetId edit, const std::string& bytes) {
  if (!usable(edit)) return false;
  const WidgetState* w = find(edit);
  if (w->widgetSpec.kind != WidgetKind::EditBox || w->widgetSpec.editMode == EditMode::ReadOnly) return false;
  moveFocus(edit);
  if (!find(edit)) return true;
  return changeEditText(edit, find(edit)->text + bytes);
}

bool SimPlatform::setEditText(WidgetId edit, const std::string& bytes) {
  if (!usable(edit)) return false;
  const WidgetState* w = find(edit);
  if (w->widgetSpec.kind != WidgetKind::EditBox || w->widgetSpec.editMode == EditMode::ReadOnly) return false;
  moveFocus(edit);
  if (!find(edit)) return true;
  return changeEditText(edit, bytes);
}

bool SimPlatform::selectItem(WidgetId list, int index) {
  if (!usable(list)) return false;
  const WidgetState* w = find(list);
  if (w->widgetSpec.kind != WidgetKind::ListBox || index < 0 ||
      index >= static_cast<int>(w->items.size()))
    return false;
  moveFocus(list);
  WidgetState* after = find(list);
  if (!after || index >= static_cast<int>(after->items.size())) return true;
  if (after->selection != index) {
    after->selection = index;
    raise(list, WidgetEvent::Used);
  }
  return true;
}

bool SimPlatform::doubleClickItem(WidgetId list, int index) {
  if (!selectItem(list, index)) return false;
  // The first click's handler may have changed the list; the double-click
  // lands only if the item is still there under the pointer.
  const WidgetState* w = find(list);
  if (w && index < static_cast<int>(w->items.size()) && usable(list)) raise(list, WidgetEvent::DoubleClicked);
  return true;
}

bool SimPlatform::pressKey(Key key, unsigned modifiers) {
  const WidgetId top = topLevel();
  if (!top || !usable(top)) return false;
  if (focus_ && !effectivelyShownAndEnabled(focus_)) return false;
  offerKey(top, key, modifiers);
  return true;
}

bool SimPlatform::pressSpace() {
  const WidgetId top = topLevel();
  if (!top || !usable(top)) return false;
  if (focus_ && !effectivelyShownAndEnabled(focus_)) return false;
  if (offerKey(top, Key::Other, platform::kNone)) return true;
  const WidgetState* w = find(focus_);
  if (w && (w->widgetSpec.kind == WidgetKind::Button || w->widgetSpec.kind == WidgetKind::CheckBox))
    click(focus_);
  return true;
}

bool SimPlatform::closeWindow() {
  const WidgetId top = topLevel();
  if (!top || !usable(top)) return false;
  report([&](platform::EventSink& sink) { sink.closeRequested(top); });
  return true;
}

bool SimPlatform::activate() {
  const WidgetId top = topLevel();
  if (!top || !usable(top)) return false;
  report([&](platform::EventSink& sink) { sink.windowActivated(top); });
  return true;
}

bool SimPlatform::deactivate() {
  const WidgetId top = topLevel();
  if (!top || !usable(top)) return false;
  report([&](platform::EventSink& sink) { sink.windowDeactivated(top); });
  return true;
}

}  // namespace sorvane::sim
