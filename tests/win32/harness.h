#pragma once
// Shared pieces of the Win32 layer tests: one platform for the whole run, a
// recording event sink, a pump through the platform's own loop, and a watcher
// that finds the system's dialogs from a timer (timers tick inside modal
// loops, so a test can answer the very box it is waiting on).

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "../support/event_recorder.h"

namespace sorvane::win32test {

using namespace sorvane::platform;

using Recorder = sorvane::testing::EventRecorder;

struct Harness {
  std::unique_ptr<Platform> platform;
  Recorder sink;
};

Harness& harness();
Platform& ui();
// Destroys the platform before OLE goes away.
void closeHarness();

// Runs the platform's loop until done() or the time is up; returns done().
// Not for use while a modal box is open: the loop's quit would end the box.
bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);
void pumpFor(int ms);

inline HWND hwndOf(WidgetId id) {
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(static_cast<std::int32_t>(id)));
}
std::wstring windowText(HWND hwnd);
// The text as the ANSI calls give it: bytes in the system code page.
std::string ansiText(HWND hwnd);
std::wstring className(HWND hwnd);
// A window rectangle in its parent's client coordinates (screen ones for a top level).
Rect placeOf(HWND hwnd);

// Visible top-level windows of this thread.
std::vector<HWND> threadWindows();
// The first visible child of `root` (at any depth) of this class, or null.
HWND findChild(HWND root, const wchar_t* windowClass);
// A button of a dialog by its text without the mnemonic mark, or null.
HWND findButton(HWND dialog, const std::wstring& caption);
// The static texts of a dialog, joined by new lines.
std::wstring staticTexts(HWND dialog);

// Calls `act` every `periodMs` with each visible window of this thread that
// is not a widget of the platform, until it returns true for one; from a
// platform timer, so it also runs inside modal loops. Stops with its owner.
class DialogWatcher {
 public:
  explicit DialogWatcher(std::function<bool(HWND)> act, int periodMs = 50);
  ~DialogWatcher();
  DialogWatcher(const DialogWatcher&) = delete;
  DialogWatcher& operator=(const DialogWatcher&) = delete;
  bool done() const { return *done_; }

 private:
  std::shared_ptr<bool> done_;
  TimerId timer_ = 0;
};

// A registry value a test changes, put back as it was (or removed again) when
// this ends.
class SavedRegistryValue {
 public:
  SavedRegistryValue(HKEY root, const wchar_t* key, const wchar_t* name);
  ~SavedRegistryValue();
  SavedRegistryValue(const SavedRegistryValue&) = delete;
  SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;
  void setText(const wchar_t* text);  // nullptr: no such value
  void setNumber(DWORD number);

 private:
  HKEY root_;
  const wchar_t* key_;
  const wchar_t* name_;
  bool had_ = false;
  DWORD type_ = 0;
  std::vector<BYTE> saved_;
};

// Presses and releases a key as the keyboard would (SendInput), to the window
// that has the focus, with the modifier keys (kShift, kControl, kAlt) held.
void pressKey(WORD virtualKey, unsigned modifiers = kNone);

}  // namespace sorvane::win32test
