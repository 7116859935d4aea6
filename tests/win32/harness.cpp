#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>

#include "platform/win32/platform.h"
#include "../support/pump.h"

namespace sorvane::win32test {

namespace {

std::unique_ptr<Harness> theHarness;

BOOL CALLBACK collectWindow(HWND hwnd, LPARAM data) {
  if (IsWindowVisible(hwnd)) reinterpret_cast<std::vector<HWND>*>(data)->push_back(hwnd);
  return TRUE;
}

struct ChildSearch {
  const wchar_t* windowClass;
  HWND found = nullptr;
};

BOOL CALLBACK matchChild(HWND hwnd, LPARAM data) {
  auto* search = reinterpret_cast<ChildSearch*>(data);
  if (IsWindowVisible(hwnd) && _wcsicmp(className(hwnd).c_str(), search->windowClass) == 0) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

std::wstring withoutMnemonic(std::wstring text) {
  std::erase(text, L'&');
  return text;
}

}  // namespace

Harness& harness() {
  if (!theHarness) {
    theHarness = std::make_unique<Harness>();
    theHarness->platform = platform::win32::makeWin32Platform();
    if (!theHarness->platform) {
      ADD_FAILURE() << "the Win32 platform could not be made";
      std::abort();
    }
    theHarness->platform->setEventSink(&theHarness->sink);
  }
  return *theHarness;
}

Platform& ui() { return *harness().platform; }

void closeHarness() { theHarness.reset(); }

namespace {

// The platform's own loop, so that whatever it does besides dispatching (keys
// seen first, idle work) happens here as it does in the program. It quits only
// once the wait is over: a quit at every round would end a loop that a tick
// or a box runs inside it instead.
void pumpRound(const std::function<bool()>& over) {
  bool quitting = false;
  TimerId check = ui().startTimer(10, [&] {
    if (quitting || !over()) return;
    quitting = true;
    ui().quitLoop();
  });
  ui().runLoop();
  ui().stopTimer(check);
}

}  // namespace

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
  return testing::pumpUntil(done, timeoutMs, pumpRound);
}

void pumpFor(int ms) { testing::pumpFor(ms, pumpRound); }

std::wstring windowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::string ansiText(HWND hwnd) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(hwnd)) * 2 + 2, '\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring className(HWND hwnd) {
  wchar_t name[128] = {};
  GetClassNameW(hwnd, name, 128);
  return name;
}

Rect placeOf(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  POINT corner{r.left, r.top};
  if (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) ScreenToClient(GetParent(hwnd), &corner);
  return {corner.x, corner.y, r.right - r.left, r.bottom - r.top};
}

std::vector<HWND> threadWindows() {
  std::vector<HWND> found;
  EnumThreadWindows(GetCurrentThreadId(), collectWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND findChild(HWND root, const wchar_t* windowClass) {
  ChildSearch search{windowClass};
  EnumChildWindows(root, matchChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND findButton(HWND dialog, const std::wstring& caption) {
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (_wcsicmp(className(c).c_str(), L"Button") == 0 && withoutMnemonic(windowText(c)) == caption)
      return c;
  return nullptr;
}

std::wstring staticTexts(HWND dialog) {
  std::wstring all;
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (_wcsicmp(className(c).c_str(), L"Static") != 0) continue;
    std::wstring t = windowText(c);
    if (t.empty()) continue;
    if (!all.empty()) all += L'\n';
    all += t;
  }
  return all;
}

DialogWatcher::DialogWatcher(std::function<bool(HWND)> act, int periodMs)
    : done_(std::make_shared<bool>(false)) {
  auto done = done_;
  timer_ = ui().startTimer(periodMs, [done, act = std::move(act)] {
    if (*done) return;
    for (HWND w : threadWindows()) {
      if (ui().widgetExists(static_cast<WidgetId>(reinterpret_cast<std::uintptr_t>(w)))) continue;
      if (act(w)) {
        *done = true;
        return;
      }
    }
  });
}

DialogWatcher::~DialogWatcher() { ui().stopTimer(timer_); }

SavedRegistryValue::SavedRegistryValue(HKEY root, const wchar_t* key, const wchar_t* name)
    : root_(root), key_(key), name_(name) {
  DWORD size = 0;
  if (RegGetValueW(root, key, name, RRF_RT_ANY, &type_, nullptr, &size) != ERROR_SUCCESS) return;
  saved_.resize(size);
  had_ = RegGetValueW(root, key, name, RRF_RT_ANY, &type_, saved_.data(), &size) == ERROR_SUCCESS;
}

SavedRegistryValue::~SavedRegistryValue() {
  if (had_)
    RegSetKeyValueW(root_, key_, name_, type_, saved_.data(), static_cast<DWORD>(saved_.size()));
  else
    RegDeleteKeyValueW(root_, key_, name_);
}

void SavedRegistryValue::setText(const wchar_t* text) {
  if (!text) {
    RegDeleteKeyValueW(root_, key_, name_);
    return;
  }
  const auto bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
  EXPECT_EQ(RegSetKeyValueW(root_, key_, name_, REG_SZ, text, bytes), ERROR_SUCCESS);
}

void SavedRegistryValue::setNumber(DWORD number) {
  EXPECT_EQ(RegSetKeyValueW(root_, key_, name_, REG_DWORD, &number, sizeof number), ERROR_SUCCESS);
}

void pressKey(WORD virtualKey, unsigned modifiers) {
  std::vector<INPUT> keys;
  auto key = [&](WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    keys.push_back(in);
  };
  const std::pair<unsigned, WORD> held[] = {
      {kShift, VK_SHIFT}, {kControl, VK_CONTROL}, {kAlt, VK_MENU}};
  for (auto [bit, vk] : held)
    if (modifiers & bit) key(vk, false);
  key(virtualKey, false);
  key(virtualKey, true);
  for (auto [bit, vk] : held)
    if (modifiers & bit) key(vk, true);
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
}

}  // namespace sorvane::win32test
