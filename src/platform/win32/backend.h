#pragma once
// Internals shared by the files of the Win32 backend's desktop (windows,
// controls, loop, dialogs); nothing outside this folder includes it.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "platform/common/desktop_base.h"
#include "platform/platform.h"
#include "platform/win32/browser.h"
#include "platform/win32/taskbar.h"

namespace sorvane::platform::win32 {

using common::guarded;

// A widget id is the window handle itself. Windows keeps handles within 32
// bits so that 32-bit and 64-bit programs can share them; going back, the
// value is sign-extended as the system does.
inline WidgetId idOf(HWND hwnd) {
  return static_cast<WidgetId>(reinterpret_cast<std::uintptr_t>(hwnd));
}
inline HWND hwndOf(WidgetId id) {
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(static_cast<std::int32_t>(id)));
}

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const noexcept { DeleteObject(object); }
};
using OwnedBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;
using OwnedFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;

struct HandleDeleter {
  void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleDeleter>;

// A window this backend made for itself (not a widget of the program).
struct WindowDeleter {
  void operator()(HWND hwnd) const noexcept {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }
};
using OwnedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

// A registered window class, unregistered with its owner.
class WindowClass {
 public:
  WindowClass(const wchar_t* name, WNDPROC proc, HBRUSH background, HICON icon);
  WindowClass(const WindowClass&) = delete;
  WindowClass& operator=(const WindowClass&) = delete;
  ~WindowClass();
  const wchar_t* name() const { return name_; }
  explicit operator bool() const { return atom_ != 0; }

 private:
  const wchar_t* name_;
  ATOM atom_ = 0;
};

// The browser area when pages come from our own engine (engine_area.cpp).
struct EngineArea;
struct EngineAreaDeleter {
  void operator()(EngineArea* area) const;
};

struct Widget {
  WidgetKind kind = WidgetKind::Hidden;
  WidgetId parent = 0;
  std::vector<WidgetId> children;
  HWND hwnd = nullptr;
  common::ExactText<std::wstring> text;  // as written, and as handed to Windows
  EditMode editMode = EditMode::Normal;
  std::uint32_t textColour = 0;
  std::uint32_t backColour = kButtonFaceColour;
  OwnedBrush background;           // only for a colour other than the button face
  bool quiet = false;              // the program itself is changing the widget
  bool redrawHeld = false;         // list boxes: drawn again when the loop is idle
  std::vector<std::string> items;  // list boxes: the exact bytes given, in order
  BrowserHostPtr browser;
  std::unique_ptr<EngineArea, EngineAreaDeleter> area;
};

class Win32Platform final : public common::DesktopBackend<Widget> {
 public:
  Win32Platform();
  ~Win32Platform() override;
  // False when the window classes could not be registered.
  bool ready() const;

  // Our own engine's pipe on this thread (engine_area.cpp): the service's
  // reader posts kEngineArrived to the timer window, which pumps; a timer
  // there keeps the commands' deadlines.
  static constexpr UINT kEngineArrived = WM_APP + 0x51;
  static constexpr UINT_PTR kEngineTimer = 0x7FFF0001;
  void watchEngine();
  void pumpEngine();
  void unwatchEngine();

  WidgetId createWidget(const WidgetSpec& request) override;
  void setText(WidgetId widget, const std::string& text) override;
  std::string text(WidgetId widget) const override;
  Rect workArea() const override;
  WidgetId focusedWidget() const override;
  void setFocus(WidgetId widget) override;

  LocalTime localTimeNow() const override;
  std::int64_t monotonicMs() const override;

  int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  std::optional<std::string> browseForFolder(const std::string& prompt,
                                             bool includeFiles) override;
  std::optional<std::string> fileDialog(const FileDialogRequest& request) override;

  void runLoop() override;
  void quitLoop() override;
  void whenIdle(std::function<void()> work) override;
  void keepAwake(bool on) override;
  void showProgress(int done, int total) override;
  void writeStandardStream(StandardStream stream, const std::string& text) override;
  [[noreturn]] void exitProcess(int code) override;
  // Whether standard error reaches anything: a redirection, or the console
  // the program was started from (a double-clicked program has neither).
  bool standardErrorReaches();

  // For the window procedures of this backend.
  // The widget of ours that is this window or contains it, or 0.
  WidgetId owning(HWND hwnd) const;
  // WM_COMMAND from a control, wherever it arrives (main window or group box).
  void onCommand(HWND control, int code);
  // WM_CTLCOLOR*: the brush to paint a control with, or nullptr for the default.
  HBRUSH onControlColour(HWND control, HDC dc);
  void onTopLevelMessage(HWND hwnd, UINT message, WPARAM wParam);
  bool offerKeyMessage(const MSG& msg);
  // The outer size the layout gives the top level.
  SIZE topLevelSize() const { return topLevelSize_; }

 private:
  void moveNative(Widget& child, Widget& parent) override;
  void destroyNative(Widget& widget) override { DestroyWindow(widget.hwnd); }
  std::optional<std::uintptr_t> armTimer(TimerId id, int periodMs) override;
  void disarmTimer(TimerId id, std::uintptr_t) override;
  void showNative(Widget& w, bool visible) override;
  bool shownNative(const Widget& w) const override;
  void enableNative(Widget& w, bool enabled) override { EnableWindow(w.hwnd, enabled); }
  bool enabledNative(const Widget& w) const override { return IsWindowEnabled(w.hwnd); }
  Rect rectNative(const Widget& w) const override;
  void checkNative(Widget& checkBox, bool checked) override;
  bool checkedNative(const Widget& checkBox) const override;
  const std::vector<std::string>& itemsOf(const Widget& list) const override { return list.items; }
  int addItemNative(Widget& list, const std::string& item) override;
  bool deleteItemNative(Widget& list, int index) override;
  void clearItemsNative(Widget& list) override;
  int selectionNative(const Widget& list) const override;
  std::optional<Pixels> captureNative(WidgetId id) override;
  std::optional<Document> documentNative(WidgetId browser, int widthLimit,
                                         int heightLimit) override;
  void navigateNative(Widget& browser, const std::string& url) override;
  bool busyNative(const Widget& browser) const override;
  void stopNative(Widget& browser) override;
  void endPageNative(Widget& browser) override;
  PageShows showsNative(const Widget& browser) const override;
  void showBlankNative(Widget& browser) override;
  std::string pageAddress(const std::string& url) const override;
  HWND makeEngineArea(Widget& w, const WidgetSpec& request, HWND parent, DWORD style,
                      int controlId);

  bool oleInitialised_;  // first: OLE is up before anything else is made
  std::optional<TaskbarProgress> taskbar_;  // made at the first run, let go before OLE
  HWND makeTopLevel(const WidgetSpec& request, Widget& w);
  HWND makeChild(const WidgetSpec& request, Widget& w, HWND parent);
  void runIdleWork();
  void lookUpStreams();

  int nextControlId_ = 100;
  std::unique_ptr<WindowClass> mainClass_;
  std::unique_ptr<WindowClass> timerClass_;
  OwnedWindow timerWindow_;
  engine::Browser* watched_ = nullptr;  // the engine whose pipe this thread reads
  std::vector<std::function<void()>> idle_;
  int loopDepth_ = 0;
  // The controls' font: the system's GUI font at the pixel height it has at
  // 96 DPI. The layout is in fixed pixels, and a system that scales text but
  // not windows (Windows 7 below 144 DPI) would otherwise cut the captions.
  OwnedFont font_;
  int minimumEditHeight_ = 0;
  SIZE topLevelSize_{0, 0};
  // Standard streams, found at first use.
  bool streamsLookedUp_ = false;
  OwnedHandle console_;
  HANDLE streams_[2] = {nullptr, nullptr};
};

// The window procedures (win32/widgets.cpp).
LRESULT CALLBACK topLevelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK timerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK controlSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR subclassId, DWORD_PTR platform);

inline constexpr const wchar_t* kMainClassName = L"SorvaneMainWindow";
inline constexpr const wchar_t* kTimerClassName = L"SorvaneTimers";

}  // namespace sorvane::platform::win32
