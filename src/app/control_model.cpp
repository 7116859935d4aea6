#include "app/control_model.h"

#include <array>

namespace sorvane::app {
namespace {

using K = PropertyKind;
using S = Storage;

#define COMMON_PROPERTIES                                                             \
  {0, "left", K::Integer, S::Live}, {1, "top", K::Integer, S::Live},                  \
      {2, "width", K::Integer, S::Live}, {3, "height", K::Integer, S::Live},          \
      {4, "tag", K::Text, S::Stored}, {5, "visible", K::Logical, S::Live},            \
      {6, "disabled", K::Logical, S::Live}, {7, "mousePointer", K::Bytes, S::Stored}

// Numbers the program has no name for still exist, so that the numbering of
// every type runs without gaps; they hold integers.
#define UNNAMED(n) {n, "", K::Integer, S::Stored}

constexpr PropertyInfo kWindow[] = {
    COMMON_PROPERTIES,
    {8, "caption", K::Text, S::Live},
    {9, "border", K::Integer, S::Stored},
    {10, "backColor", K::Colour, S::Stored},
    UNNAMED(11), UNNAMED(12), UNNAMED(13), UNNAMED(14),
    {15, "controlBox", K::Logical, S::Stored},
    {16, "maximizeBox", K::Logical, S::Stored},
    {17, "minimizeBox", K::Logical, S::Stored},
    {18, "startPosition", K::Integer, S::Stored},
    {19, "movable", K::Logical, S::Stored},
    UNNAMED(20),
    {21, "enterMovesFocus", K::Logical, S::Stored},
    {22, "escCloses", K::Logical, S::Stored},
    {23, "f1OpensHelp", K::Logical, S::Stored},
    UNNAMED(24), UNNAMED(25), UNNAMED(26), UNNAMED(27), UNNAMED(28), UNNAMED(29), UNNAMED(30),
    UNNAMED(31),
};

constexpr PropertyInfo kButton[] = {
    COMMON_PROPERTIES,
    {8, "picture", K::Bytes, S::Stored},
    {9, "defaultButton", K::Logical, S::Stored},
    {10, "caption", K::Text, S::Live},
    {11, "horizontalAlign", K::Integer, S::Stored},
    {12, "verticalAlign", K::Integer, S::Stored},
    {13, "font", K::Bytes, S::Stored},
};

constexpr PropertyInfo kLabel[] = {
    COMMON_PROPERTIES,
    {8, "caption", K::Text, S::Live},
    {9, "effect", K::Integer, S::Stored},
    UNNAMED(10), UNNAMED(11), UNNAMED(12), UNNAMED(13), UNNAMED(14), UNNAMED(15),
    {16, "textColor", K::Colour, S::Stored},
    {17, "backColor", K::Colour, S::Stored},
    UNNAMED(18), UNNAMED(19), UNNAMED(20), UNNAMED(21), UNNAMED(22), UNNAMED(23),
    {24, "horizontalAlign", K::Integer, S::Stored},
    {25, "wordWrap", K::Logical, S::Stored},
    {26, "verticalAlign", K::Integer, S::Stored},
    UNNAMED(27), UNNAMED(28),
};

constexpr PropertyInfo kGroupBox[] = {
    COMMON_PROPERTIES,
    {8, "caption", K::Text, S::Live},
    {9, "horizontalAlign", K::Integer, S::Stored},
    {10, "textColor", K::Colour, S::Stored},
    {11, "backColor", K::Colour, S::Stored},
    {12, "font", K::Bytes, S::Stored},
};

constexpr PropertyInfo kEditBox[] = {
    COMMON_PROPERTIES,
    {8, "content", K::Text, S::Live},
    {9, "border", K::Integer, S::Stored},
    {10, "textColor", K::Colour, S::Stored},
    {11, "backColor", K::Colour, S::Stored},
    UNNAMED(12),
    {13, "hideSelection", K::Logical, S::Stored},
    {14, "maxLength", K::Integer, S::Stored},
    {15, "multiLine", K::Logical, S::Stored},
    UNNAMED(16),
    {17, "alignment", K::Integer, S::Stored},
    {18, "inputMode", K::Integer, S::Stored},
    {19, "passwordChar", K::Text, S::Stored},
    UNNAMED(20),
    {21, "spinMode", K::Integer, S::Stored},
    UNNAMED(22), UNNAMED(23), UNNAMED(24), UNNAMED(25), UNNAMED(26), UNNAMED(27), UNNAMED(28),
};

constexpr PropertyInfo kCheckBox[] = {
    COMMON_PROPERTIES,
    UNNAMED(8), UNNAMED(9), UNNAMED(10),
    {11, "caption", K::Text, S::Live},
    UNNAMED(12),
    {13, "horizontalAlign", K::Integer, S::Stored},
    {14, "verticalAlign", K::Integer, S::Stored},
    {15, "textColor", K::Colour, S::Stored},
    {16, "backColor", K::Colour, S::Stored},
    UNNAMED(17),
    {18, "checked", K::Logical, S::Live},
    UNNAMED(19), UNNAMED(20),
};

constexpr PropertyInfo kListBox[] = {
    COMMON_PROPERTIES,
    {8, "border", K::Integer, S::Stored},
    {9, "sorted", K::Logical, S::Stored},
    {10, "multiColumn", K::Logical, S::Stored},
    {11, "lineSpacing", K::Integer, S::Stored},
    {12, "textColor", K::Colour, S::Stored},
    {13, "backColor", K::Colour, S::Stored},
    UNNAMED(14),
    {15, "multiSelect", K::Logical, S::Stored},
    {16, "currentSelection", K::Integer, S::ReadOnly},
    UNNAMED(17), UNNAMED(18), UNNAMED(19), UNNAMED(20), UNNAMED(21),
};

constexpr PropertyInfo kCommonDlg[] = {
    COMMON_PROPERTIES,
    {8, "type", K::Integer, S::Stored},
    {9, "title", K::Text, S::Stored},
    {10, "fileName", K::Text, S::Stored},
    {11, "filter", K::Text, S::Stored},
    {12, "filterIndex", K::Integer, S::Stored},
    {13, "initialDirectory", K::Text, S::Stored},
    {14, "defaultExtension", K::Text, S::Stored},
    {15, "createPrompt", K::Logical, S::Stored},
    {16, "fileMustExist", K::Logical, S::Stored},
    {17, "overwritePrompt", K::Logical, S::Stored},
    {18, "pathMustExist", K::Logical, S::Stored},
    {19, "keepCurrentDirectory", K::Logical, S::Stored},
    UNNAMED(20), UNNAMED(21), UNNAMED(22), UNNAMED(23), UNNAMED(24), UNNAMED(25), UNNAMED(26),
    UNNAMED(27), UNNAMED(28), UNNAMED(29),
};

constexpr PropertyInfo kTimer[] = {
    COMMON_PROPERTIES,
    {8, "period", K::Integer, S::Live},
};

constexpr PropertyInfo kWebBrowser[] = {
    COMMON_PROPERTIES,
    UNNAMED(8), UNNAMED(9), UNNAMED(10), UNNAMED(11), UNNAMED(12), UNNAMED(13), UNNAMED(14),
    UNNAMED(15), UNNAMED(16), UNNAMED(17), UNNAMED(18), UNNAMED(19), UNNAMED(20),
    {21, "busy", K::Logical, S::ReadOnly},
};

#undef UNNAMED
#undef COMMON_PROPERTIES

}  // namespace

std::string_view typeName(ControlType type) {
  switch (type) {
    case ControlType::Window: return "窗口";
    case ControlType::EditBox: return "编辑框";
    case ControlType::GroupBox: return "分组框";
    case ControlType::Label: return "标签";
    case ControlType::Button: return "按钮";
    case ControlType::CheckBox: return "选择框";
    case ControlType::ListBox: return "列表框";
    case ControlType::CommonDlg: return "通用对话框";
    case ControlType::Timer: return "时钟";
    case ControlType::WebBrowser: return "互联网浏览器";
  }
  return "";
}

std::span<const PropertyInfo> propertiesOf(ControlType type) {
  switch (type) {
    case ControlType::Window: return kWindow;
    case ControlType::EditBox: return kEditBox;
    case ControlType::GroupBox: return kGroupBox;
    case ControlType::Label: return kLabel;
    case ControlType::Button: return kButton;
    case ControlType::CheckBox: return kCheckBox;
    case ControlType::ListBox: return kListBox;
    case ControlType::CommonDlg: return kCommonDlg;
    case ControlType::Timer: return kTimer;
    case ControlType::WebBrowser: return kWebBrowser;
  }
  return {};
}

const PropertyInfo* findProperty(ControlType type, int number) {
  auto all = propertiesOf(type);
  if (number < 0 || number >= static_cast<int>(all.size())) return nullptr;
  return &all[number];
}

}  // namespace sorvane::app
