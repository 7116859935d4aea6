// Keys the main window handles before its controls see them, and where the
// focus goes when the window is activated.

#include <algorithm>

#include "app/frame.h"

namespace sorvane::app {

std::vector<Control*> Frame::tabCycle() {
  std::vector<Control*> cycle;
  for (Control& c : controls_) {
    if (c.type == ControlType::Timer || c.type == ControlType::CommonDlg) continue;
    if (!(c.flags & kTabStop) || c.widget == 0) continue;
    if (!platform_.isVisible(c.widget) || !platform_.isEnabled(c.widget)) continue;
    cycle.push_back(&c);
  }
  // Every tab-order number is 0 here, so the layout order decides; the sort
  // keeps that rule in one place should numbers ever differ.
  std::stable_sort(cycle.begin(), cycle.end(),
                   [](const Control* a, const Control* b) { return a->layoutOrder < b->layoutOrder; });
  return cycle;
}

void Frame::moveFocus(bool forward) {
  platform::WidgetId focused = platform_.focusedWidget();
  if (focused == 0 || focused == mainWindow_) return;
  std::vector<Control*> cycle = tabCycle();
  if (cycle.empty()) return;
  auto at = std::find_if(cycle.begin(), cycle.end(),
                         [&](const Control* c) { return c->widget == focused; });
  Control* next;
  if (at == cycle.end()) {
    next = forward ? cycle.front() : cycle.back();
  } else {
    std::size_t i = static_cast<std::size_t>(at - cycle.begin());
    next = forward ? cycle[(i + 1) % cycle.size()] : cycle[(i + cycle.size() - 1) % cycle.size()];
  }
  platform_.setFocus(next->widget);
}

void Frame::focusFirstCandidate() {
  std::vector<Control*> cycle = tabCycle();
  if (!cycle.empty()) platform_.setFocus(cycle.front()->widget);
}

bool Frame::handleKey(platform::Key key, unsigned modifiers) {
  using platform::Key;
  if (!mainWindowLoaded()) return false;
  platform::WidgetId focused = platform_.focusedWidget();
  if (focused != 0 && !platform_.isEnabled(focused)) return false;
  if (key == Key::Tab && (modifiers == platform::kNone || modifiers == platform::kShift)) {
    moveFocus(modifiers == platform::kNone);
    return true;
  }
  if (key == Key::Enter && modifiers == platform::kNone) {
    if (storedInt(window_, prop::window::enterMovesFocus) == 1) {
      moveFocus(true);
      return true;
    }
    // Enter clicks the default push button; this window has none, so Enter does
    // nothing, and it must not reach a focused button or list either.
    for (Control& c : controls_) {
      if (c.type == ControlType::Button && storedInt(c, prop::button::defaultButton) == 1 &&
          platform_.isEnabled(c.widget)) {
        raiseEvent(&c, event::clicked);
        break;
      }
    }
    return true;
  }
  if (key == Key::Escape && modifiers == platform::kNone &&
      storedInt(window_, prop::window::escCloses) == 1) {
    closeRequested(mainWindow_);
    return true;
  }
  return false;
}

bool Frame::keyDown(platform::WidgetId window, platform::Key key, unsigned modifiers) {
  if (window != mainWindow_) return false;
  return handleKey(key, modifiers);
}

void Frame::windowDeactivated(platform::WidgetId window) {
  if (window != mainWindow_) return;
  platform::WidgetId focused = platform_.focusedWidget();
  rememberedFocus_ = controlForWidget(focused) && focused != mainWindow_ ? focused : 0;
}

void Frame::windowActivated(platform::WidgetId window) {
  if (window != mainWindow_ || mainWindow_ == 0) return;
  platform::WidgetId remembered = rememberedFocus_;
  rememberedFocus_ = 0;
  // Whatever the desktop focused on its own (GTK picks some widget when a
  // window is shown) gives way to the remembered control or the first candidate.
  if (remembered != 0 && platform_.widgetExists(remembered) && controlForWidget(remembered))
    platform_.setFocus(remembered);
  else
    focusFirstCandidate();
}

}  // namespace sorvane::app
