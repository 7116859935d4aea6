#include "app/layout.h"

#include <algorithm>
#include <utility>

#include "services/own_text.h"

namespace sorvane::app {
namespace {

constexpr std::int32_t kButtonFace = static_cast<std::int32_t>(platform::kButtonFaceColour);
constexpr std::int32_t kWhite = 0x00FFFFFF;
constexpr std::int32_t kRed = 0x000000FF;

constexpr unsigned VT = kVisible | kTabStop;

// A name from the one table; the helpers below take theirs the same way.
constexpr std::string_view named(ControlName name) { return name.text(); }

ControlLayout button(ControlName name, std::string_view parent, platform::Rect rect,
                     const char* caption) {
  return {name.text(), ControlType::Button, parent, rect, VT,
          {{prop::button::caption, ownText(caption)},
           {prop::button::horizontalAlign, 1},
           {prop::button::verticalAlign, 1}},
          {}};
}

ControlLayout label(ControlName name, std::string_view parent, platform::Rect rect,
                    const char* caption, std::int32_t colour) {
  return {name.text(), ControlType::Label, parent, rect, kVisible,
          {{prop::label::caption, ownText(caption)},
           {prop::label::textColor, colour},
           {prop::label::backColor, kButtonFace},
           {prop::label::verticalAlign, 1}},
          {}};
}

ControlLayout editBox(ControlName name, std::string_view parent, platform::Rect rect,
                      const char* content, std::int32_t border, std::int32_t inputMode) {
  return {name.text(), ControlType::EditBox, parent, rect, VT,
          {{prop::editBox::content, ownText(content)},
           {prop::editBox::border, border},
           {prop::editBox::backColor, kWhite},
           {prop::editBox::hideSelection, 1},
           {prop::editBox::inputMode, inputMode},
           {prop::editBox::passwordChar, Text("*")}},
          {}};
}

ControlLayout groupBox(ControlName name, platform::Rect rect, const char* caption) {
  return {name.text(), ControlType::GroupBox, "", rect, kVisible,
          {{prop::groupBox::caption, ownText(caption)}, {prop::groupBox::backColor, kButtonFace}},
          {}};
}

ControlLayout timer(ControlName name, platform::Rect rect) {
  return {name.text(), ControlType::Timer, "", rect, 0, {{prop::timer::period, 0}}, {}};
}

}  // namespace

std::optional<WindowLayout> loadMainWindowLayout() {
  WindowLayout w;
  w.name = "启动窗口";
  w.rect = {50, 50, 1079, 649};
  w.values = {{prop::window::caption, Text("Sorvane")},
              {prop::window::border, 2},
              {prop::window::backColor, kButtonFace},
              {prop::window::controlBox, 1},
              {prop::window::startPosition, 1},
              {prop::window::movable, 1},
              {prop::window::escCloses, 1}};

  // Layout order: it breaks ties in the tab order.
  w.controls.push_back(button("按钮1", "", {568, 584, 80, 32}, "开始"));
  w.controls.push_back(groupBox("分组框1", {696, 8, 352, 536}, "网页地址"));
  w.controls.push_back(button("按钮2", "分组框1", {264, 456, 80, 32}, "添加网址"));
  w.controls.push_back(editBox("编辑框2", "分组框1", {12, 462, 240, 20}, "", 1, kInputNormal));
  w.controls.push_back(label("标签1", "", {312, 588, 80, 24}, "间隔（秒）：", 0));
  w.controls.push_back(editBox("编辑框3", "", {392, 590, 40, 20}, "5", 1, kInputInteger));
  w.controls.push_back(timer("时钟1", {960, 8, 26, 26}));
  w.controls.push_back(label("标签2", "", {0, 588, 248, 24}, "载入状态：", 0));
  w.controls.push_back(timer("时钟2", {832, 8, 26, 26}));
  w.controls.push_back({named("互联网浏览器1"), ControlType::WebBrowser, "", {0, 8, 672, 568},
                        kVisible | kDisabled | kTabStop, {},
                        writeBrowserSettings(platform::BrowserSettings{})});
  w.controls.push_back(button("按钮3", "分组框1", {80, 496, 80, 32}, "导出网址"));
  w.controls.push_back(button("按钮4", "分组框1", {172, 496, 80, 32}, "导入网址"));
  w.controls.push_back({named("列表框1"), ControlType::ListBox, "分组框1", {8, 16, 336, 416}, VT,
                        {{prop::listBox::border, 1},
                         {prop::listBox::lineSpacing, 1},
                         {prop::listBox::backColor, kWhite}},
                        {}});
  w.controls.push_back({named("通用对话框1"), ControlType::CommonDlg, "分组框1", {16, 496, 26, 26}, 0,
                        {{prop::commonDlg::filter, Text("*.txt|*.txt")},
                         {prop::commonDlg::defaultExtension, Text("*.txt")},
                         {prop::commonDlg::fileMustExist, 1},
                         {prop::commonDlg::overwritePrompt, 1},
                         {prop::commonDlg::pathMustExist, 1}},
                        {}});
  w.controls.push_back(label("标签3", "分组框1", {16, 432, 160, 24}, "双击上边列表选项可删除！", kRed));
  w.controls.push_back(button("按钮5", "分组框1", {264, 496, 80, 32}, "清空网址"));
  w.controls.push_back({named("选择框1"), ControlType::CheckBox, "", {456, 588, 64, 24}, VT,
                        {{prop::checkBox::caption, ownText("截图")},
                         {prop::checkBox::verticalAlign, 1},
                         {prop::checkBox::backColor, kButtonFace}},
                        {}});
  w.controls.push_back(groupBox("分组框2", {696, 552, 352, 64}, "截图保存地址"));
  w.controls.push_back(editBox("编辑框1", "分组框2", {8, 24, 296, 20}, "", 5, kInputReadOnly));
  w.controls.push_back(button("按钮6", "分组框2", {312, 19, 32, 32}, "…"));

  w.bindings = {
      {"按钮1", event::clicked, "startOrStopRun"},
      {"按钮2", event::clicked, "addUrl"},
      {"按钮3", event::clicked, "exportUrlList"},
      {"按钮4", event::clicked, "importUrlList"},
      {"按钮5", event::clicked, "clearUrlList"},
      {"按钮6", event::clicked, "chooseCaptureFolder"},
      {"选择框1", event::clicked, "checkCaptureFolder"},
      {"列表框1", event::doubleClicked, "deleteUrl"},
      {"时钟1", event::tick, "pollBrowser"},
      {"时钟2", event::tick, "endDwell"},
  };
  return w;
}

namespace {

// The right and bottom edges of what the window shows of its own.
std::pair<int, int> contentEdges(const WindowLayout& layout) {
  int right = 0, bottom = 0;
  for (const ControlLayout& control : layout.controls) {
    if (!control.parent.empty() || !(control.flags & kVisible)) continue;
    right = std::max(right, control.rect.left + control.rect.width);
    bottom = std::max(bottom, control.rect.top + control.rect.height);
  }
  return {right, bottom};
}

}  // namespace

void resizeBrowserArea(WindowLayout& layout, int width, int height) {
  ControlLayout* browser = nullptr;
  for (ControlLayout& control : layout.controls) {
    if (control.type == ControlType::WebBrowser) browser = &control;
  }
  if (!browser) return;
  const platform::Rect old = browser->rect;
  const int oldRight = old.left + old.width;
  const int oldBottom = old.top + old.height;
  // The row below the browser keeps its places across; a narrow browser must
  // not pull the column on its right over that row.
  int rowRight = 0;
  for (const ControlLayout& control : layout.controls) {
    if (control.parent.empty() && (control.flags & kVisible) && control.rect.top >= oldBottom)
      rowRight = std::max(rowRight, control.rect.left + control.rect.width);
  }
  const int dx = std::max(old.left + width, rowRight) - oldRight;
  const int dy = height - old.height;
  const auto [contentRight, contentBottom] = contentEdges(layout);
  for (ControlLayout& control : layout.controls) {
    // Controls inside a group box move with it.
    if (&control == browser || !control.parent.empty()) continue;
    if (control.rect.left >= oldRight) control.rect.left += dx;
    if (control.rect.top >= oldBottom) control.rect.top += dy;
  }
  browser->rect.width = width;
  browser->rect.height = height;
  const auto [newRight, newBottom] = contentEdges(layout);
  layout.rect.width += newRight - contentRight;
  layout.rect.height += newBottom - contentBottom;
}

void fitBrowserArea(WindowLayout& layout, int width, int height, const platform::Rect& workArea) {
  resizeBrowserArea(layout, width, height);
  const int overWidth = layout.rect.width - workArea.width;
  const int overHeight = layout.rect.height - workArea.height;
  if (overWidth <= 0 && overHeight <= 0) return;
  double scale = 1.0;
  if (overWidth > 0) scale = std::min(scale, static_cast<double>(width - overWidth) / width);
  if (overHeight > 0) scale = std::min(scale, static_cast<double>(height - overHeight) / height);
  scale = std::max(scale, 0.25);
  resizeBrowserArea(layout, std::max(1, static_cast<int>(width * scale)),
                    std::max(1, static_cast<int>(height * scale)));
  for (ControlLayout& control : layout.controls) {
    if (control.type != ControlType::WebBrowser) continue;
    control.pageWidth = width;
    control.pageHeight = height;
  }
}

std::optional<platform::BrowserSettings> readBrowserSettings(std::span<const std::uint8_t> record) {
  platform::BrowserSettings s;
  if (record.empty()) return s;
  if (record.size() < 24) return std::nullopt;
  auto word = [&](int i) {
    const std::uint8_t* p = record.data() + 4 * i;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
  };
  s.version = word(0);
  if (s.version > 1) return std::nullopt;
  s.borderStyle = word(1);
  s.silent = word(2);
  s.offline = word(3);
  s.registerAsDropTarget = word(4);
  s.registerAsBrowser = word(5);
  return s;
}

std::vector<std::uint8_t> writeBrowserSettings(const platform::BrowserSettings& s) {
  std::vector<std::uint8_t> out;
  for (std::uint32_t w : {s.version, s.borderStyle, s.silent, s.offline, s.registerAsDropTarget,
                          s.registerAsBrowser}) {
    for (int b = 0; b < 4; ++b) out.push_back(static_cast<std::uint8_t>(w >> (8 * b)));
  }
  return out;
}

}  // namespace sorvane::app
