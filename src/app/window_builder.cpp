// Turns the layout into live native widgets.

#include "app/frame.h"

namespace sorvane::app {
namespace {

platform::WidgetKind widgetKindFor(ControlType type) {
  switch (type) {
    case ControlType::Window: return platform::WidgetKind::TopLevel;
    case ControlType::EditBox: return platform::WidgetKind::EditBox;
    case ControlType::GroupBox: return platform::WidgetKind::GroupBox;
    case ControlType::Label: return platform::WidgetKind::Label;
    case ControlType::Button: return platform::WidgetKind::Button;
    case ControlType::CheckBox: return platform::WidgetKind::CheckBox;
    case ControlType::ListBox: return platform::WidgetKind::ListBox;
    case ControlType::WebBrowser: return platform::WidgetKind::Browser;
    case ControlType::CommonDlg:
    case ControlType::Timer: return platform::WidgetKind::Hidden;
  }
  return platform::WidgetKind::Hidden;
}

bool isVisual(ControlType type) {
  return type != ControlType::CommonDlg && type != ControlType::Timer;
}

// The live text property of a type, if it has one.
int liveTextProperty(ControlType type) {
  switch (type) {
    case ControlType::Window: return prop::window::caption;
    case ControlType::EditBox: return prop::editBox::content;
    case ControlType::GroupBox: return prop::groupBox::caption;
    case ControlType::Label: return prop::label::caption;
    case ControlType::Button: return prop::button::caption;
    case ControlType::CheckBox: return prop::checkBox::caption;
    default: return -1;
  }
}

const Value* layoutValue(const std::vector<LayoutValue>& values, int number) {
  for (const LayoutValue& v : values) {
    if (v.number == number) return &v.value;
  }
  return nullptr;
}

std::int32_t intOf(const std::vector<LayoutValue>& values, int number) {
  const Value* v = layoutValue(values, number);
  return v && std::holds_alternative<std::int32_t>(*v) ? std::get<std::int32_t>(*v) : 0;
}

std::string textOf(const std::vector<LayoutValue>& values, int number) {
  const Value* v = layoutValue(values, number);
  return v && std::holds_alternative<Text>(*v) ? std::get<Text>(*v).bytes() : std::string();
}

}  // namespace

std::optional<platform::WidgetSpec> widgetSpecFor(const ControlLayout& l,
                                                  platform::WidgetId parent) {
  platform::WidgetSpec widgetSpec;
  widgetSpec.kind = widgetKindFor(l.type);
  widgetSpec.parent = parent;
  widgetSpec.rect = l.rect;
  widgetSpec.disabled = (l.flags & kDisabled) != 0;
  widgetSpec.tabStop = (l.flags & kTabStop) != 0;
  widgetSpec.name = std::string(l.name);
  int textProperty = liveTextProperty(l.type);
  if (textProperty >= 0) widgetSpec.text = textOf(l.values, textProperty);
  switch (l.type) {
    case ControlType::EditBox: {
      std::int32_t mode = intOf(l.values, prop::editBox::inputMode);
      widgetSpec.editMode = mode == kInputReadOnly  ? platform::EditMode::ReadOnly
                            : mode == kInputInteger ? platform::EditMode::IntegerText
                                                    : platform::EditMode::Normal;
      widgetSpec.editBorderLine = intOf(l.values, prop::editBox::border) == 5;
      widgetSpec.backColour = static_cast<std::uint32_t>(intOf(l.values, prop::editBox::backColor));
      break;
    }
    case ControlType::Label:
      widgetSpec.textColour = static_cast<std::uint32_t>(intOf(l.values, prop::label::textColor));
      break;
    case ControlType::CheckBox:
      widgetSpec.textColour = static_cast<std::uint32_t>(intOf(l.values, prop::checkBox::textColor));
      break;
    case ControlType::WebBrowser: {
      auto settings = readBrowserSettings(l.settings);
      if (!settings) return std::nullopt;
      widgetSpec.browser = *settings;
      widgetSpec.pageWidth = l.pageWidth;
      widgetSpec.pageHeight = l.pageHeight;
      break;
    }
    default: break;
  }
  return widgetSpec;
}

void Frame::initialiseStored(Control& control, const std::vector<LayoutValue>& values) {
  for (const PropertyInfo& p : propertiesOf(control.type)) {
    if (p.storage != Storage::Stored) continue;
    switch (p.kind) {
      case PropertyKind::Text: control.stored[p.number] = Text(); break;
      case PropertyKind::Bytes: control.stored[p.number] = ByteSet(); break;
      default: control.stored[p.number] = std::int32_t{0}; break;
    }
  }
  for (const LayoutValue& v : values) {
    const PropertyInfo* p = findProperty(control.type, v.number);
    if (p && p->storage == Storage::Stored) control.stored[v.number] = v.value;
  }
}

bool Frame::buildMainWindow(const WindowLayout& layout) {
  window_ = Control{};
  window_.name = std::string(layout.name);
  window_.type = ControlType::Window;
  window_.rect = layout.rect;
  initialiseStored(window_, layout.values);

  platform::WidgetSpec top;
  top.kind = platform::WidgetKind::TopLevel;
  top.rect = layout.rect;  // the backend centres it: the start position is "centred"
  top.text = textOf(layout.values, prop::window::caption);
  top.name = window_.name;
  mainWindow_ = platform_.createWidget(top);
  if (mainWindow_ == 0) return false;
  window_.widget = mainWindow_;

  controls_.clear();
  named_ = {};
  controls_.reserve(layout.controls.size());
  for (std::size_t i = 0; i < layout.controls.size(); ++i) {
    const ControlLayout& l = layout.controls[i];
    Control c;
    c.name = std::string(l.name);
    c.type = l.type;
    c.rect = l.rect;
    c.flags = l.flags;
    c.layoutOrder = i;
    c.settings = l.settings;
    initialiseStored(c, l.values);

    std::optional<platform::WidgetSpec> widgetSpec = widgetSpecFor(l, mainWindow_);
    if (!widgetSpec) return false;
    c.widget = platform_.createWidget(*widgetSpec);
    if (c.widget == 0) return false;
    if (l.type == ControlType::Timer) {
      // A timer with a layout period runs from its creation.
      c.period = 0;
      controls_.push_back(std::move(c));
      writePeriod(controls_.back(), intOf(l.values, prop::timer::period));
      continue;
    }
    controls_.push_back(std::move(c));
  }

  // Each name of the table reaches its control from here on, with no search;
  // a layout that leaves one out, or has one twice, is not the program's.
  for (Control& c : controls_) {
    const std::optional<std::size_t> index = findControlName(c.name);
    if (!index || named_[*index]) return false;
    named_[*index] = &c;
  }
  if (controls_.size() != kControlNames.size()) return false;

  // Controls inside a group box move into it; their left/top count from it.
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const ControlLayout& l = layout.controls[i];
    if (l.parent.empty()) continue;
    const std::optional<std::size_t> group = findControlName(l.parent);
    if (!group) return false;
    Control& parent = *named_[*group];
    controls_[i].parent = static_cast<int>(&parent - controls_.data());
    platform_.setParent(controls_[i].widget, parent.widget);
  }
  for (Control& c : controls_) {
    if (isVisual(c.type) && (c.flags & kVisible)) platform_.setVisible(c.widget, true);
  }
  platform_.setVisible(mainWindow_, true);
  // The first activation hands the focus to the first control of the tab cycle.
  focusFirstCandidate();
  return true;
}

}  // namespace sorvane::app
