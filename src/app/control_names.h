#pragma once
// The names of the main window's 20 controls, written once. The layout takes
// its names from here, and code reaches a control as frame.control("时钟1"): a
// name that is not in this table does not compile, so a misspelt name cannot
// wait to show as a fatal error the first time its handler runs.

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace sorvane::app {

// In layout order, which breaks ties in the tab order.
inline constexpr std::array<std::string_view, 20> kControlNames{
    "按钮1", "分组框1", "按钮2",         "编辑框2", "标签1",   "编辑框3", "时钟1",
    "标签2", "时钟2",   "互联网浏览器1", "按钮3",   "按钮4",   "列表框1", "通用对话框1",
    "标签3", "按钮5",   "选择框1",       "分组框2", "编辑框1", "按钮6",
};

// The place of a name in the table, for names that are only known at run time.
constexpr std::optional<std::size_t> findControlName(std::string_view name) {
  for (std::size_t i = 0; i < kControlNames.size(); ++i)
    if (kControlNames[i] == name) return i;
  return std::nullopt;
}

// A control's name checked while compiling.
class ControlName {
 public:
  // Not explicit: call sites pass the literal itself, frame.control("按钮1").
  consteval ControlName(const char* name) : index_(indexOf(name)) {}

  constexpr std::size_t index() const { return index_; }
  constexpr std::string_view text() const { return kControlNames[index_]; }

 private:
  static consteval std::size_t indexOf(std::string_view name) {
    const std::optional<std::size_t> index = findControlName(name);
    // Throwing while compiling is the error for a name the table does not have.
    if (!index) throw "no control has this name";
    return *index;
  }

  std::size_t index_;
};

}  // namespace sorvane::app
