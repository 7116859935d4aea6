// The controls' behaviour that the program counts on: which changes are
// reported as events, the integer box's filter, the list's exact bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "harness.h"

namespace sorvane::win32test {
namespace {

using platform::WidgetEvent;

class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    harness().sink.clear();
    WidgetSpec top;
    top.kind = WidgetKind::TopLevel;
    top.rect = {0, 0, 500, 300};
    top.text = "controls";
    top.visible = true;
    window_ = ui().createWidget(top);
    ASSERT_NE(window_, 0u);
    SetForegroundWindow(hwndOf(window_));
    pumpUntil([this] { return GetActiveWindow() == hwndOf(window_); });
  }
  void TearDown() override {
    if (window_) ui().destroyWidget(window_);
    harness().sink.onKey = nullptr;
  }
  WidgetId make(WidgetKind kind, Rect rect, EditMode mode = EditMode::Normal,
                const std::string& text = "") {
    WidgetSpec widgetSpec;
    widgetSpec.kind = kind;
    widgetSpec.parent = window_;
    widgetSpec.rect = rect;
    widgetSpec.editMode = mode;
    widgetSpec.text = text;
    widgetSpec.visible = true;
    widgetSpec.tabStop = true;
    widgetSpec.backColour = kind == WidgetKind::EditBox ? 0x00FFFFFFu : kButtonFaceColour;
    const WidgetId id = ui().createWidget(widgetSpec);
    EXPECT_NE(id, 0u);
    return id;
  }
  static void type(WidgetId box, const std::wstring& keys) {
    for (wchar_t c : keys) SendMessageW(hwndOf(box), WM_CHAR, c, 1);
  }
  Recorder& sink() { return harness().sink; }
  WidgetId window_ = 0;
};

TEST_F(Controls, IntegerBoxDropsTypedCharactersButNotPastedText) {
  const WidgetId box = make(WidgetKind::EditBox, {10, 10, 100, 20}, EditMode::IntegerText, "5");
  SendMessageW(hwndOf(box), EM_SETSEL, 1, 1);
  type(box, L"a.-3x");
  EXPECT_EQ(ui().text(box), "5-3");

  // Real key presses take the same way, through the loop and the translation.
  ui().setFocus(box);
  SendMessageW(hwndOf(box), EM_SETSEL, 3, 3);
  pressKey('Q');
  pressKey('7');
  pressKey(VK_OEM_PERIOD);
  pumpUntil([&] { return ui().text(box).size() > 3; }, 2000);
  pumpFor(100);
  EXPECT_EQ(ui().text(box), "5-37");

  // Pasting is not typing.
  SendMessageW(hwndOf(box), EM_SETSEL, 0, -1);
  ASSERT_TRUE(OpenClipboard(hwndOf(window_)));
  EmptyClipboard();
  const wchar_t pasted[] = L"1.5e3";
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof pasted);
  std::memcpy(GlobalLock(memory), pasted, sizeof pasted);
  GlobalUnlock(memory);
  SetClipboardData(CF_UNICODETEXT, memory);
  CloseClipboard();
  SendMessageW(hwndOf(box), WM_PASTE, 0, 0);
  EXPECT_EQ(ui().text(box), "1.5e3");
}

TEST_F(Controls, TheUsersEditsAreReportedTheProgramsAreNot) {
  const WidgetId box = make(WidgetKind::EditBox, {10, 10, 100, 20});
  const WidgetId readOnly = make(WidgetKind::EditBox, {10, 40, 100, 20}, EditMode::ReadOnly);
  ui().setText(box, "\xC4\xE3\xBA\xC3");  // 你好
  ui().setText(readOnly, "C:\\\xCD\xBC");
  EXPECT_EQ(sink().count(box, WidgetEvent::Used) + sink().count(readOnly, WidgetEvent::Used), 0);
  EXPECT_EQ(windowText(hwndOf(box)), L"你好");
  EXPECT_EQ(ui().text(readOnly), "C:\\\xCD\xBC");

  SendMessageW(hwndOf(box), EM_SETSEL, 2, 2);
  type(box, L"x");
  EXPECT_EQ(sink().count(box, WidgetEvent::Used), 1);
  EXPECT_EQ(ui().text(box), "\xC4\xE3\xBA\xC3x");
  type(readOnly, L"y");
  EXPECT_EQ(ui().text(readOnly), "C:\\\xCD\xBC");

  // Bytes the code page cannot decode come back as written while the box
  // still shows them; a character typed next to them is read as shown.
  ui().setText(box, "a\xFF");
  EXPECT_EQ(ui().text(box), "a\xFF");
}

TEST_F(Controls, ClicksChecksAndListsReportWhatTheUserDid) {
  const WidgetId button = make(WidgetKind::Button, {10, 10, 80, 32});
  const WidgetId check = make(WidgetKind::CheckBox, {10, 50, 80, 24});
  const WidgetId list = make(WidgetKind::ListBox, {120, 10, 200, 200});

  SendMessageW(hwndOf(button), BM_CLICK, 0, 0);
  EXPECT_EQ(sink().count(button, WidgetEvent::Used), 1);

  // The box has toggled itself when its click is reported; the program's own
  // writes are silent.
  sink().events.clear();
  bool checkedAtClick = false;
  sink().onEvent = [&](WidgetId w, WidgetEvent) {
    if (w == check) checkedAtClick = ui().isChecked(check);
  };
  SendMessageW(hwndOf(check), BM_CLICK, 0, 0);
  sink().onEvent = nullptr;
  EXPECT_TRUE(checkedAtClick);
  EXPECT_EQ(sink().count(check, WidgetEvent::Used), 1);
  ui().setChecked(check, false);
  EXPECT_FALSE(ui().isChecked(check));
  EXPECT_EQ(sink().count(check, WidgetEvent::Used), 1);

  // Items keep their exact bytes, even those the code page cannot show.
  EXPECT_EQ(ui().listAdd(list, "http://a/\xC4\xE3"), 0);
  EXPECT_EQ(ui().listAdd(list, "b\xFF"), 1);
  EXPECT_EQ(ui().listAdd(list, "c"), 2);
  EXPECT_EQ(ui().listItem(list, 1), "b\xFF");
  EXPECT_EQ(ui().listItem(list, 3), "");
  EXPECT_EQ(ui().listItem(list, -1), "");
  EXPECT_FALSE(ui().listDelete(list, 3));
  EXPECT_TRUE(ui().listDelete(list, 1));
  EXPECT_EQ(ui().listCount(list), 2);
  EXPECT_EQ(SendMessageW(hwndOf(list), LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(ui().listSelection(list), -1);
  EXPECT_EQ(sink().count(list, WidgetEvent::Used), 0);

  // A click selects and reports; a double click reports as well.
  RECT item{};
  SendMessageW(hwndOf(list), LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
  const LPARAM at = MAKELPARAM(item.left + 5, (item.top + item.bottom) / 2);
  SendMessageW(hwndOf(list), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(hwndOf(list), WM_LBUTTONUP, 0, at);
  EXPECT_EQ(ui().listSelection(list), 1);
  EXPECT_EQ(sink().count(list, WidgetEvent::Used), 1);
  SendMessageW(hwndOf(list), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageW(hwndOf(list), WM_LBUTTONUP, 0, at);
  EXPECT_EQ(sink().count(list, WidgetEvent::DoubleClicked), 1);

  ui().listClear(list);
  EXPECT_EQ(ui().listCount(list), 0);
  EXPECT_EQ(ui().listSelection(list), -1);
  EXPECT_EQ(ui().listAdd(list, "again"), 0);
  pumpFor(50);  // the list draws again once the loop is idle
  EXPECT_EQ(SendMessageW(hwndOf(list), LB_GETCOUNT, 0, 0), 1);
}

TEST_F(Controls, FocusMovesAreReportedAndFollowTheKeyboardFocus) {
  const WidgetId first = make(WidgetKind::Button, {10, 10, 80, 32});
  const WidgetId second = make(WidgetKind::EditBox, {10, 50, 80, 20});
  const WidgetId label = make(WidgetKind::Label, {10, 80, 80, 20});
  ui().setFocus(first);
  EXPECT_EQ(ui().focusedWidget(), first);
  ui().setFocus(second);
  EXPECT_EQ(ui().focusedWidget(), second);
  EXPECT_EQ(sink().count(first, WidgetEvent::GotFocus), 1);
  EXPECT_EQ(sink().count(first, WidgetEvent::LostFocus), 1);
  EXPECT_EQ(sink().count(second, WidgetEvent::GotFocus), 1);
  EXPECT_EQ(sink().count(label, WidgetEvent::GotFocus), 0);

  // Keys reach the program before the control; a key it takes goes no further.
  std::vector<Key> seen;
  sink().onKey = [&](WidgetId w, Key k, unsigned m) {
    EXPECT_EQ(w, window_);
    seen.push_back(k);
    return k == Key::Tab || (k == Key::Other && (m & kShift));
  };
  ui().setText(second, "");
  pressKey(VK_TAB);
  pressKey(VK_RETURN);
  pressKey('A');
  pressKey('B', kShift);
  pressKey(VK_F1);
  pressKey(VK_ESCAPE);
  pumpUntil([&] { return seen.size() >= 7; }, 3000);
  // The shift key itself comes first, as any other key.
  EXPECT_EQ(seen, (std::vector<Key>{Key::Tab, Key::Enter, Key::Other, Key::Other, Key::Other,
                                    Key::F1, Key::Escape}));
  EXPECT_EQ(ui().text(second), "a");  // the shifted B was taken

  // Alt+F4 comes to the program first too, as a system key, then asks to close.
  std::vector<unsigned> altKeys;
  sink().onKey = [&](WidgetId, Key, unsigned m) {
    altKeys.push_back(m);
    return false;
  };
  pressKey(VK_F4, kAlt);
  EXPECT_TRUE(pumpUntil([&] { return !sink().closeRequests.empty(); }, 3000));
  EXPECT_EQ(sink().closeRequests, std::vector<WidgetId>{window_});
  EXPECT_EQ(altKeys, (std::vector<unsigned>{kAlt, kAlt}));  // Alt itself, then F4
}

TEST_F(Controls, TheBrowserIsMadeAsTheLayoutSaysOrNotAtAll) {
  WidgetSpec widgetSpec;
  widgetSpec.kind = WidgetKind::Browser;
  widgetSpec.parent = window_;
  widgetSpec.rect = {0, 8, 300, 200};
  widgetSpec.visible = true;
  widgetSpec.disabled = true;
  widgetSpec.tabStop = true;
  const WidgetId browser = ui().createWidget(widgetSpec);
  ASSERT_NE(browser, 0u);
  HWND view = hwndOf(browser);
  EXPECT_EQ(GetParent(view), hwndOf(window_));
  EXPECT_EQ(placeOf(view), (Rect{0, 8, 300, 200}));
  const auto style = static_cast<DWORD>(GetWindowLongW(view, GWL_STYLE));
  EXPECT_EQ(style & (WS_CHILD | WS_DISABLED | WS_TABSTOP | WS_VISIBLE),
            DWORD{WS_CHILD | WS_DISABLED | WS_TABSTOP | WS_VISIBLE});
  EXPECT_FALSE(ui().isEnabled(browser));
  EXPECT_FALSE(ui().browserBusy(browser));  // nothing asked for yet
  // No server answers on port 9 of this machine: the load ends by itself.
  ui().browserNavigate(browser, "http://127.0.0.1:9/");
  EXPECT_TRUE(pumpUntil([&] { return !ui().browserBusy(browser); }, 20000));
  ui().browserStop(browser);
  EXPECT_FALSE(ui().browserBusy(browser));

  // Settings of a later version make no browser, and leave no window behind.
  const std::size_t children = [&] {
    std::size_t n = 0;
    for (HWND c = GetWindow(hwndOf(window_), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ++n;
    return n;
  }();
  widgetSpec.browser.version = 2;
  EXPECT_EQ(ui().createWidget(widgetSpec), 0u);
  std::size_t after = 0;
  for (HWND c = GetWindow(hwndOf(window_), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ++after;
  EXPECT_EQ(after, children);

  // Gone with its window, and reported.
  ui().destroyWidget(window_);
  EXPECT_FALSE(IsWindow(view));
  EXPECT_EQ(std::count(sink().destroyed.begin(), sink().destroyed.end(), browser), 1);
  window_ = 0;
}

}  // namespace
}  // namespace sorvane::win32test
