// Property access by number, and the control methods.

#include <algorithm>

#include "app/dialogs.h"
#include "app/frame.h"
#include "services/conversions.h"
#include "services/own_text.h"

namespace sorvane::app {
namespace {

Text asText(const Value& v) {
  if (auto* t = std::get_if<Text>(&v)) return *t;
  if (auto* i = std::get_if<std::int32_t>(&v)) return toText(*i);
  return toText(std::get<ByteSet>(v));
}

std::int32_t asInt(const Value& v) {
  if (auto* i = std::get_if<std::int32_t>(&v)) return *i;
  if (auto* t = std::get_if<Text>(&v)) return toInteger32(toNumber(*t));
  return 0;
}

Value convertTo(PropertyKind kind, const Value& v) {
  switch (kind) {
    case PropertyKind::Text: return asText(v);
    case PropertyKind::Bytes:
      if (auto* b = std::get_if<ByteSet>(&v)) return *b;
      return toBytes(asText(v));
    default: return asInt(v);
  }
}

}  // namespace

Control& Frame::checkedForAccess(Control& control, int number) {
  if (!mainWindowLoaded()) fatalError(0, ownText("未载入欲访问窗口组件所在的窗口"));
  if (number >= 8 && !platform_.widgetExists(control.widget)) fatalError(0, ownText("指定窗口尚未载入"));
  return control;
}

std::int32_t Frame::storedInt(Control& control, int number) {
  auto it = control.stored.find(number);
  return it == control.stored.end() ? 0 : asInt(it->second);
}

Text Frame::storedText(Control& control, int number) {
  auto it = control.stored.find(number);
  return it == control.stored.end() ? Text() : asText(it->second);
}

Value Frame::read(Control& control, int number) {
  checkedForAccess(control, number);
  const PropertyInfo* info = findProperty(control.type, number);
  if (info == nullptr) return std::int32_t{0};
  if (info->storage == Storage::Stored) return control.stored[number];
  const platform::WidgetId w = control.widget;
  switch (number) {
    case prop::left: return platform_.widgetRect(w).left;
    case prop::top: return platform_.widgetRect(w).top;
    case prop::width: return platform_.widgetRect(w).width;
    case prop::height: return platform_.widgetRect(w).height;
    case prop::visible: return std::int32_t{platform_.isVisible(w) ? 1 : 0};
    case prop::disabled: return std::int32_t{platform_.isEnabled(w) ? 0 : 1};
    default: break;
  }
  switch (control.type) {
    case ControlType::CheckBox:
      if (number == prop::checkBox::checked) return std::int32_t{platform_.isChecked(w) ? 1 : 0};
      break;
    case ControlType::ListBox:
      if (number == prop::listBox::currentSelection) return std::int32_t{platform_.listSelection(w)};
      break;
    case ControlType::Timer:
      if (number == prop::timer::period) return control.period;
      break;
    case ControlType::WebBrowser:
      if (number == prop::webBrowser::busy) return std::int32_t{platform_.browserBusy(w) ? 1 : 0};
      break;
    default: break;
  }
  // The remaining live properties are the captions and contents.
  return Text(platform_.text(w));
}

void Frame::write(Control& control, int number, const Value& value) {
  checkedForAccess(control, number);
  const PropertyInfo* info = findProperty(control.type, number);
  if (info == nullptr || info->storage == Storage::ReadOnly) return;
  Value v = convertTo(info->kind, value);
  if (info->storage == Storage::Stored) {
    if (control.type == ControlType::CommonDlg && number == prop::commonDlg::type)
      v = std::clamp(std::get<std::int32_t>(v), 0, 3);
    if (control.type == ControlType::CommonDlg && number == prop::commonDlg::filterIndex)
      v = std::max(std::get<std::int32_t>(v), 0);
    control.stored[number] = std::move(v);
    return;
  }
  const platform::WidgetId w = control.widget;
  const bool visual = control.type != ControlType::Timer && control.type != ControlType::CommonDlg;
  switch (number) {
    case prop::left:
    case prop::top:
    case prop::width:
    case prop::height:
      return;  // the layout never changes at run time
    case prop::visible:
      if (visual) platform_.setVisible(w, std::get<std::int32_t>(v) != 0);
      return;
    case prop::disabled:
      platform_.setEnabled(w, std::get<std::int32_t>(v) == 0);
      return;
    default: break;
  }
  if (control.type == ControlType::CheckBox && number == prop::checkBox::checked) {
    platform_.setChecked(w, std::get<std::int32_t>(v) == 1);  // raises no click
    return;
  }
  if (control.type == ControlType::Timer && number == prop::timer::period) {
    writePeriod(control, std::get<std::int32_t>(v));
    return;
  }
  platform_.setText(w, std::get<Text>(v).bytes());
}

Text Frame::readText(Control& control, int number) { return asText(read(control, number)); }
std::int32_t Frame::readInt(Control& control, int number) { return asInt(read(control, number)); }

void Frame::writePeriod(Control& timer, std::int32_t period) {
  if (period < 0) period = 0;
  if (period == timer.period) return;  // a running timer keeps its phase
  if (timer.timerRunning) {
    platform_.stopTimer(timer.timerId);
    timer.timerRunning = false;
  }
  timer.period = period;
  if (period > 0) {
    Control* self = &timer;
    timer.timerId = platform_.startTimer(period, [this, self] { raiseEvent(self, event::tick); });
    timer.timerRunning = true;
  }
}

std::int32_t Frame::addItem(Control& list, const Text& item, std::int32_t data) {
  checkedForAccess(list, 8);
  int index = platform_.listAdd(list.widget, item.bytes());
  if (index >= 0) list.itemData.insert(list.itemData.begin() + std::min<std::size_t>(index, list.itemData.size()), data);
  return index;
}

Text Frame::getItemText(Control& list, std::int32_t index) {
  checkedForAccess(list, 8);
  if (index < 0 || index >= platform_.listCount(list.widget)) return Text();
  return Text(platform_.listItem(list.widget, index));
}

bool Frame::deleteItem(Control& list, std::int32_t index) {
  checkedForAccess(list, 8);
  if (index < 0 || index >= platform_.listCount(list.widget)) return false;
  if (!platform_.listDelete(list.widget, index)) return false;
  if (static_cast<std::size_t>(index) < list.itemData.size())
    list.itemData.erase(list.itemData.begin() + index);
  return true;
}

void Frame::clear(Control& list) {
  checkedForAccess(list, 8);
  platform_.listClear(list.widget);
  list.itemData.clear();
}

bool Frame::openDialog(Control& dialog) {
  checkedForAccess(dialog, 8);
  namespace cd = prop::commonDlg;
  const std::int32_t type = storedInt(dialog, cd::type);
  if (type != 0 && type != 1) return false;  // font and help dialogs are not ours
  platform::FileDialogRequest r;
  r.save = type == 1;
  r.title = storedText(dialog, cd::title).bytes();
  r.fileName = storedText(dialog, cd::fileName).bytes().substr(0, 259);
  r.initialDirectory = storedText(dialog, cd::initialDirectory).bytes();
  r.defaultExtension = storedText(dialog, cd::defaultExtension).bytes();
  r.filters = parseFilterList(storedText(dialog, cd::filter));
  if (!r.filters.empty()) r.filterIndex = storedInt(dialog, cd::filterIndex);
  // A logical setting counts only when it holds exactly 1.
  r.createPrompt = storedInt(dialog, cd::createPrompt) == 1;
  r.fileMustExist = storedInt(dialog, cd::fileMustExist) == 1;
  r.overwritePrompt = storedInt(dialog, cd::overwritePrompt) == 1;
  r.pathMustExist = storedInt(dialog, cd::pathMustExist) == 1;
  r.keepCurrentDirectory = storedInt(dialog, cd::keepCurrentDirectory) == 1;
  r.owner = mainWindow_;
  std::optional<std::string> chosen = platform_.fileDialog(r);
  if (!chosen) return false;
  dialog.stored[cd::fileName] = Text(*chosen);
  return true;
}

std::uint32_t Frame::windowHandle(Control& control) {
  return platform_.widgetExists(control.widget) ? control.widget : 0;
}

void Frame::navigate(Control& browser, const Text& url) {
  checkedForAccess(browser, 8);
  platform_.browserNavigate(browser.widget, url.bytes());
}

bool Frame::busy(Control& browser) { return readInt(browser, prop::webBrowser::busy) != 0; }

void Frame::stopLoading(Control& browser) {
  checkedForAccess(browser, 8);
  platform_.browserStop(browser.widget);
}

void Frame::endPage(Control& browser) {
  checkedForAccess(browser, 8);
  platform_.browserEndPage(browser.widget);
}

platform::PageShows Frame::pageShows(Control& browser) {
  checkedForAccess(browser, 8);
  return platform_.browserShows(browser.widget);
}

void Frame::showBlank(Control& browser) {
  checkedForAccess(browser, 8);
  platform_.browserShowBlank(browser.widget);
}

}  // namespace sorvane::app
