#pragma once
// The control model: control types, their numbered and typed properties, and
// event numbers. Handlers address properties by number through the frame; the
// named constants below keep handler code readable.

#include <cstdint>
#include <span>
#include <string_view>
#include <variant>

#include "platform/platform.h"
#include "services/values.h"

namespace sorvane::app {

enum class ControlType {
  Window,      // 窗口
  EditBox,     // 编辑框
  GroupBox,    // 分组框
  Label,       // 标签
  Button,      // 按钮
  CheckBox,    // 选择框
  ListBox,     // 列表框
  CommonDlg,   // 通用对话框
  Timer,       // 时钟
  WebBrowser,  // 互联网浏览器
};

std::string_view typeName(ControlType type);  // the Chinese type name

enum class PropertyKind { Text, Integer, Logical, Colour, Bytes };

// A property value. Logical and colour values travel as integers (a colour as
// its 32 bits, 0xFF000000 being the button-face colour).
using Value = std::variant<Text, std::int32_t, ByteSet>;

// How the control model treats a property.
enum class Storage {
  Stored,    // kept by the model as written
  Live,      // read from and written to the native widget
  ReadOnly,  // live, and writes are ignored
};

struct PropertyInfo {
  int number;
  std::string_view name;  // empty for numbers this program has no name for
  PropertyKind kind;
  Storage storage;
};

// Every property a control of this type has, common ones (0 to 7) included,
// in number order without gaps.
std::span<const PropertyInfo> propertiesOf(ControlType type);
const PropertyInfo* findProperty(ControlType type, int number);

namespace prop {
// Common to every control.
inline constexpr int left = 0, top = 1, width = 2, height = 3, tag = 4, visible = 5, disabled = 6,
                     mousePointer = 7;
namespace window {
inline constexpr int caption = 8, border = 9, backColor = 10, controlBox = 15, maximizeBox = 16,
                     minimizeBox = 17, startPosition = 18, movable = 19, enterMovesFocus = 21,
                     escCloses = 22, f1OpensHelp = 23;
}
namespace button {
inline constexpr int picture = 8, defaultButton = 9, caption = 10, horizontalAlign = 11,
                     verticalAlign = 12, font = 13;
}
namespace label {
inline constexpr int caption = 8, effect = 9, textColor = 16, backColor = 17, horizontalAlign = 24,
                     wordWrap = 25, verticalAlign = 26;
}
namespace groupBox {
inline constexpr int caption = 8, horizontalAlign = 9, textColor = 10, backColor = 11, font = 12;
}
namespace editBox {
inline constexpr int content = 8, border = 9, textColor = 10, backColor = 11, hideSelection = 13,
                     maxLength = 14, multiLine = 15, alignment = 17, inputMode = 18,
                     passwordChar = 19, spinMode = 21;
}
namespace checkBox {
inline constexpr int caption = 11, horizontalAlign = 13, verticalAlign = 14, textColor = 15,
                     backColor = 16, checked = 18;
}
namespace listBox {
inline constexpr int border = 8, sorted = 9, multiColumn = 10, lineSpacing = 11, textColor = 12,
                     backColor = 13, multiSelect = 15, currentSelection = 16;
}
namespace commonDlg {
inline constexpr int type = 8, title = 9, fileName = 10, filter = 11, filterIndex = 12,
                     initialDirectory = 13, defaultExtension = 14, createPrompt = 15,
                     fileMustExist = 16, overwritePrompt = 17, pathMustExist = 18,
                     keepCurrentDirectory = 19;
}
namespace timer {
inline constexpr int period = 8;
}
namespace webBrowser {
inline constexpr int busy = 21;
}
}  // namespace prop

namespace event {
inline constexpr int clicked = 0, selectionChanged = 0, doubleClicked = 1, contentChanged = 0,
                     tick = 0, gotFocus = -7, lostFocus = -8;

// The number the bindings know for what a control reports.
inline constexpr int numberOf(platform::WidgetEvent reported) {
  switch (reported) {
    case platform::WidgetEvent::Used:
      return clicked;
    case platform::WidgetEvent::DoubleClicked:
      return doubleClicked;
    case platform::WidgetEvent::GotFocus:
      return gotFocus;
    case platform::WidgetEvent::LostFocus:
      return lostFocus;
  }
  return clicked;
}
}

// Edit box input modes this program uses.
inline constexpr std::int32_t kInputNormal = 0, kInputReadOnly = 1, kInputInteger = 3;

}  // namespace sorvane::app
