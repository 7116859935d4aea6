#pragma once
// The main window's layout as data: the window, its 20 controls with their
// parents, rectangles, flags and start values, and the ten event bindings.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "app/control_model.h"
#include "app/control_names.h"
#include "platform/platform.h"

namespace sorvane::app {

enum LayoutFlag : unsigned { kVisible = 1, kDisabled = 2, kTabStop = 4 };

// A start value of a type-specific property.
struct LayoutValue {
  int number;
  Value value;
};

struct ControlLayout {
  std::string_view name;  // one of kControlNames
  ControlType type;
  std::string_view parent;  // empty: the main window
  platform::Rect rect;
  unsigned flags = 0;
  std::vector<LayoutValue> values;  // type-specific properties that differ from zero/empty
  std::vector<std::uint8_t> settings;  // the browser's settings record
  // A browser's page size where it shows less of it; 0 sizes: its rect's.
  int pageWidth = 0, pageHeight = 0;
};

struct Binding {
  ControlName control;
  int eventNumber;
  std::string_view handler;  // the handler routine's name
};

struct WindowLayout {
  std::string_view name;
  platform::Rect rect;  // stored left/top and the outer size
  std::vector<LayoutValue> values;
  std::vector<ControlLayout> controls;  // in layout order
  std::vector<Binding> bindings;
};

// The program's one window. Fails (nullopt) only if the stored form is damaged.
std::optional<WindowLayout> loadMainWindowLayout();

// The browser area at another size: the controls to its right and below it,
// and the window, move by as much as it grows or shrinks.
void resizeBrowserArea(WindowLayout& layout, int width, int height);
// The same, where the window then would not fit in `workArea`: the area
// shrinks, keeping its shape, until the window fits (to a quarter at most),
// and its page keeps the size asked for.
void fitBrowserArea(WindowLayout& layout, int width, int height, const platform::Rect& workArea);

// The native widget a control of the layout asks for, in `parent` (its group
// box's controls are moved into it afterwards). Nothing for a browser whose
// settings record cannot be read.
std::optional<platform::WidgetSpec> widgetSpecFor(const ControlLayout& control,
                                                  platform::WidgetId parent);

// Six little-endian words: version, borderStyle, silent, offline,
// registerAsDropTarget, registerAsBrowser. A version above 1, or a record too
// short to hold them, gives nullopt; no record at all gives the defaults.
std::optional<platform::BrowserSettings> readBrowserSettings(std::span<const std::uint8_t> record);
std::vector<std::uint8_t> writeBrowserSettings(const platform::BrowserSettings& settings);

}  // namespace sorvane::app
