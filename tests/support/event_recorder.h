#pragma once
// An event sink that notes everything a platform tells the program, for the
// tests of the desktop layers (GTK and Win32 alike).

#include <functional>
#include <vector>

#include "platform/platform.h"

namespace sorvane::testing {

struct EventRecorder : platform::EventSink {
  using WidgetId = platform::WidgetId;
  using WidgetEvent = platform::WidgetEvent;
  struct Event {
    WidgetId widget;
    WidgetEvent event;
  };
  std::vector<Event> events;
  std::vector<WidgetId> destroyed;
  std::vector<WidgetId> closeRequests;
  std::function<bool(WidgetId, platform::Key, unsigned)> onKey;
  std::function<void(WidgetId, WidgetEvent)> onEvent;
  int activations = 0;
  int deactivations = 0;

  void widgetEvent(WidgetId w, WidgetEvent e) override {
    events.push_back({w, e});
    if (onEvent) onEvent(w, e);
  }
  void closeRequested(WidgetId w) override { closeRequests.push_back(w); }
  void widgetDestroyed(WidgetId w) override { destroyed.push_back(w); }
  bool keyDown(WidgetId w, platform::Key k, unsigned m) override {
    return onKey ? onKey(w, k, m) : false;
  }
  void windowActivated(WidgetId) override { ++activations; }
  void windowDeactivated(WidgetId) override { ++deactivations; }
  // How often this widget raised this event.
  int count(WidgetId w, WidgetEvent what) const {
    int c = 0;
    for (const Event& e : events) c += (e.widget == w && e.event == what);
    return c;
  }
  void clear() {
    events.clear();
    destroyed.clear();
    closeRequests.clear();
    activations = deactivations = 0;
  }
};

}  // namespace sorvane::testing
