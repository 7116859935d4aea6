// The program's keys on the Win32 loop, with real key presses: the tab cycle
// through the layout, Enter doing nothing, the focus kept across a switch to
// another window, and Esc closing the program.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program_under_test.h"

namespace sorvane::win32test {
namespace {

TEST(ProgramKeys, TabCyclesEnterIsQuietFocusComesBackEscCloses) {
  ProgramUnderTest program;
  HWND main = program.window();
  ASSERT_NE(main, nullptr);
  ASSERT_EQ(program.focusedName(), "按钮1");

  const std::vector<std::string> cycle = {"按钮2",   "编辑框2", "编辑框3", "按钮3",
                                          "按钮4",   "列表框1", "按钮5",   "选择框1",
                                          "编辑框1", "按钮6",   "按钮1"};
  for (const std::string& next : cycle) {
    pressKey(VK_TAB);
    EXPECT_TRUE(pumpUntil([&] { return program.focusedName() == next; }, 3000))
        << "Tab went to " << program.focusedName() << " instead of " << next;
  }
  pressKey(VK_TAB, kShift);
  EXPECT_TRUE(pumpUntil([&] { return program.focusedName() == "按钮6"; }, 3000))
      << "Shift+Tab went to " << program.focusedName();
  pressKey(VK_TAB, kShift);
  EXPECT_TRUE(pumpUntil([&] { return program.focusedName() == "编辑框1"; }, 3000));

  // Enter clicks nothing: 按钮1 would start a run (and say the list is empty).
  pressKey(VK_TAB);
  pressKey(VK_TAB);
  ASSERT_TRUE(pumpUntil([&] { return program.focusedName() == "按钮1"; }, 3000));
  pressKey(VK_RETURN);
  pumpFor(300);
  EXPECT_EQ(program.focusedName(), "按钮1");
  EXPECT_EQ(threadWindows().size(), 1u) << "Enter opened something";

  // Away to another window and back: the focus returns where it was.
  pressKey(VK_TAB, kShift);
  ASSERT_TRUE(pumpUntil([&] { return program.focusedName() == "按钮6"; }, 3000));
  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                               nullptr, nullptr, nullptr);
  SetForegroundWindow(other);
  SetActiveWindow(other);
  EXPECT_TRUE(pumpUntil([&] { return GetActiveWindow() == other; }, 3000));
  EXPECT_EQ(program.focusedName(), "");
  SetForegroundWindow(main);
  SetActiveWindow(main);
  EXPECT_TRUE(pumpUntil([&] { return program.focusedName() == "按钮6"; }, 3000))
      << "the focus came back to " << program.focusedName();
  DestroyWindow(other);

  pressKey(VK_ESCAPE);
  EXPECT_TRUE(pumpUntil([&] { return !IsWindow(main); }, 3000)) << "Esc did not close the window";
  EXPECT_FALSE(program.frame().mainWindowLoaded());
}

// A page that takes the focus during a run (a script's focus()) does not take
// the keys of someone typing into an edit box. The view is disabled, as the
// layout makes it, and the system gives the focus to no window inside a
// disabled one: the focus never leaves the edit box.
TEST(ProgramKeys, APageCannotTakeTheFocusFromAnEditBox) {
  ProgramUnderTest program;
  HWND edit = program.hwnd("编辑框2");
  ui().setFocus(program.control("编辑框2").widget);
  ASSERT_TRUE(pumpUntil([&] { return program.focusedName() == "编辑框2"; }, 3000));
  // The deepest window of the engine, where a page's focus() puts it.
  HWND page = program.hwnd("互联网浏览器1");
  while (HWND inner = GetWindow(page, GW_CHILD)) page = inner;
  SetFocus(page);
  pumpFor(200);
  EXPECT_EQ(GetFocus(), edit) << "the focus went to " << className(GetFocus());
  pressKey('A');
  EXPECT_TRUE(pumpUntil([&] { return windowText(edit) == L"a"; }, 3000));
}

}  // namespace
}  // namespace sorvane::win32test
