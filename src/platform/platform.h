#pragma once
// The one seam between the portable program and a desktop.
//
// A backend works at the level of native widgets: make a push button at this
// rectangle, set its text, start a timer, show a message box and say which
// button was pressed. The rules that make the program's controls behave the way
// the handlers expect (property numbers, timer phase, the stop counter, the tab
// cycle) live in app/ and never here.
//
// Backends: gtk/ (GTK 3 + WebKitGTK), win32/ (Win32 + the system browser
// control), sim/ (virtual clock, scripted browser and answers, for tests).
//
// Texts crossing this seam are byte strings in the system code page (UTF-8 on
// Linux, the ANSI code page on Windows). A backend converts them at its own
// edge (to UTF-8 for GTK, to UTF-16 for wide Windows calls and the engine) and
// must hand back exactly the bytes it was given wherever it stores a text.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "services/pixels.h"

namespace sorvane::platform {

// A native widget, as a small non-zero number that fits in 32 bits (on Win32
// the HWND value itself; elsewhere an index the backend hands out). 0 is none.
using WidgetId = std::uint32_t;
using TimerId = std::uint32_t;

enum class WidgetKind {
  TopLevel,  // the main window
  EditBox,   // single-line edit
  GroupBox,  // captioned frame, parent of the controls inside it
  Label,     // static text
  Button,    // push button, caption wraps
  CheckBox,  // auto check box, caption wraps
  ListBox,   // single-selection list of texts
  Browser,   // embedded web engine
  Hidden,    // a never-shown child window (timers, the common dialog)
};

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

enum class EditMode {
  Normal,
  ReadOnly,     // the user cannot type; the program may still write the text
  IntegerText,  // typed characters other than 0-9 and '-' are dropped; paste is not filtered
};

// Colours are 0x00BBGGRR; this value stands for the system's button-face colour.
inline constexpr std::uint32_t kButtonFaceColour = 0xFF000000u;

// Construction settings of an embedded browser.
struct BrowserSettings {
  std::uint32_t version = 1;
  std::uint32_t borderStyle = 0;
  std::uint32_t silent = 1;
  std::uint32_t offline = 0;
  std::uint32_t registerAsDropTarget = 0;
  std::uint32_t registerAsBrowser = 0;
};

struct WidgetSpec {
  WidgetKind kind = WidgetKind::Hidden;
  WidgetId parent = 0;  // 0 only for the top-level window
  // For a child: left/top in the parent's client area, width/height of the
  // window rectangle. For the top-level window: the outer size of the Windows
  // original (frame and caption included); the backend centres the window on
  // the primary screen and maps the size to its own frame.
  Rect rect;
  std::string text;  // caption, content or title
  bool visible = false;
  bool disabled = false;
  bool tabStop = false;
  EditMode editMode = EditMode::Normal;
  bool editBorderLine = false;  // one-pixel line instead of a sunken edge
  std::uint32_t textColour = 0;  // labels and check boxes
  std::uint32_t backColour = kButtonFaceColour;
  BrowserSettings browser;  // Browser only
  // Browser only: the page's own size where the area shows less of it (the
  // window would not fit on the screen otherwise); 0: the rectangle's.
  int pageWidth = 0;
  int pageHeight = 0;
  // The program's own name for the control ("按钮1"). Backends expose it to
  // assistive technology, which is also how the end-to-end tests find controls.
  std::string name;
};

// What a control tells the program of its own accord.
enum class WidgetEvent {
  Used,           // a click, a new list selection, new content typed into an edit box
  DoubleClicked,  // a list item
  GotFocus,
  LostFocus,
};

// Key codes the window looks at before dispatching; the rest arrive as Other.
enum class Key { Tab, Enter, Escape, F1, Other };
enum Modifier : unsigned { kNone = 0, kShift = 1, kControl = 2, kAlt = 4 };

// What a backend tells the program. Every call comes on the GUI thread, from
// the loop or from a nested loop of a modal box.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void widgetEvent(WidgetId widget, WidgetEvent event) = 0;
  // The close box, the window menu's Close or Alt+F4. The program decides.
  virtual void closeRequested(WidgetId window) = 0;
  // A widget (and with it its children) is gone.
  virtual void widgetDestroyed(WidgetId widget) = 0;
  // A key-down for the window or any of its children, before dispatch.
  // Returns true when the program handled it and the widget must not see it.
  virtual bool keyDown(WidgetId window, Key key, unsigned modifiers) = 0;
  virtual void windowActivated(WidgetId window) = 0;
  virtual void windowDeactivated(WidgetId window) = 0;
};

struct LocalTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

// Captured pixels: rows top-down, 3 bytes per pixel (blue, green, red), no
// padding between rows. The image services take them as they come.
using Pixels = sorvane::Pixels;

struct FileDialogRequest {
  bool save = false;  // false: open-file dialog
  std::string title;  // empty: the system's caption
  std::string fileName;
  std::string initialDirectory;
  std::string defaultExtension;
  // Pairs of description and pattern ("*.txt" or "*.txt;*.text").
  std::vector<std::pair<std::string, std::string>> filters;
  int filterIndex = -1;  // 0-based, -1 for none
  bool createPrompt = false;
  bool fileMustExist = false;
  bool overwritePrompt = false;
  bool pathMustExist = false;
  bool keepCurrentDirectory = false;
  WidgetId owner = 0;  // disabled while the dialog is open
};

enum class StandardStream { Output, Error };

// What a browser's view shows of the latest address it was sent.
enum class PageShows {
  Nothing,      // nothing of its own: an earlier page, or a blank view
  Own,          // the page, or as much of it as had been drawn when it stopped
  EngineError,  // the engine's own page saying that the load failed
};

// Message box flag bits and result codes (Windows values; result = button id - 1).
namespace box {
inline constexpr unsigned kOk = 0, kOkCancel = 1, kAbortRetryIgnore = 2, kYesNoCancel = 3,
                          kYesNo = 4, kRetryCancel = 5, kButtonsMask = 0xF;
inline constexpr unsigned kIconError = 0x10, kIconQuestion = 0x20, kIconWarning = 0x30,
                          kIconInformation = 0x40, kIconMask = 0xF0;
inline constexpr unsigned kDefaultButtonMask = 0xF00;
inline constexpr unsigned kSystemModal = 0x1000, kTaskModal = 0x2000;
inline constexpr int kResultOk = 0, kResultCancel = 1, kResultAbort = 2, kResultRetry = 3,
                     kResultIgnore = 4, kResultYes = 5, kResultNo = 6;
}  // namespace box

// The modal boxes and dialogs, apart from the rest of the seam: what the
// services need of a desktop. Each runs a nested loop: timers keep ticking
// while the main window takes no input.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual int messageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
  // The chosen folder's path; nothing on cancel or for a place without a path.
  virtual std::optional<std::string> browseForFolder(const std::string& prompt,
                                                     bool includeFiles) = 0;
  // The chosen full path, or nothing when the user cancelled.
  virtual std::optional<std::string> fileDialog(const FileDialogRequest& request) = 0;
};

class Platform : public Dialogs {
 public:

  virtual void setEventSink(EventSink* sink) = 0;

  // Widgets. createWidget returns 0 when the native widget cannot be made.
  virtual WidgetId createWidget(const WidgetSpec& widgetSpec) = 0;
  // Destroys the widget and its children; widgetDestroyed is reported for each,
  // children first.
  virtual void destroyWidget(WidgetId widget) = 0;
  virtual bool widgetExists(WidgetId widget) const = 0;
  // Moves a child into another parent; its left/top stay the same numbers, now
  // counted from the new parent's client area.
  virtual void setParent(WidgetId child, WidgetId parent) = 0;
  virtual void setVisible(WidgetId widget, bool visible) = 0;
  virtual bool isVisible(WidgetId widget) const = 0;
  virtual void setEnabled(WidgetId widget, bool enabled) = 0;
  virtual bool isEnabled(WidgetId widget) const = 0;
  // Left/top in the parent's client area; width/height of the widget.
  virtual Rect widgetRect(WidgetId widget) const = 0;

  // Caption, content or title. Writing raises no event of the program's own.
  virtual void setText(WidgetId widget, const std::string& text) = 0;
  virtual std::string text(WidgetId widget) const = 0;

  virtual void setChecked(WidgetId checkBox, bool checked) = 0;  // raises no click
  virtual bool isChecked(WidgetId checkBox) const = 0;

  // List boxes. Changes made here raise no list event.
  virtual int listAdd(WidgetId list, const std::string& item) = 0;  // index, or -1
  virtual bool listDelete(WidgetId list, int index) = 0;
  virtual void listClear(WidgetId list) = 0;
  virtual int listCount(WidgetId list) const = 0;
  virtual std::string listItem(WidgetId list, int index) const = 0;  // "" when out of range
  virtual int listSelection(WidgetId list) const = 0;               // -1 for none

  // Where the main window must fit: the primary screen less its panels. A
  // desktop whose browser cannot show a page larger than its area answers
  // an unbounded one, so the window keeps the size the page needs.
  virtual Rect workArea() const = 0;

  virtual WidgetId focusedWidget() const = 0;  // 0 when no widget of ours has it
  virtual void setFocus(WidgetId widget) = 0;

  // Browser.
  virtual void browserNavigate(WidgetId browser, const std::string& url) = 0;
  virtual bool browserBusy(WidgetId browser) const = 0;
  // Ends the load in progress, if any: the view keeps what it shows so far and
  // the browser is no longer busy once the engine has stopped. An engine held
  // by a page's script may not stop; browserEndPage is for that.
  virtual void browserStop(WidgetId browser) = 0;
  // Ends everything the engine does for the page on show, whatever its
  // scripts do (on WebKit: its web process). The browser is not busy
  // afterwards and the next navigate starts afresh.
  virtual void browserEndPage(WidgetId browser) = 0;
  // What the view shows of the latest address it was sent.
  virtual PageShows browserShows(WidgetId browser) const = 0;
  // Covers the view with an empty white page at once, until the next
  // navigate: a picture taken now shows no earlier page, whatever the engine
  // is doing.
  virtual void browserShowBlank(WidgetId browser) = 0;

  // The pixels a widget shows now, its whole rectangle; 0 captures the whole
  // primary screen. Nothing when the widget does not exist or cannot be read.
  virtual std::optional<Pixels> capture(WidgetId widget) = 0;

  // A browser's whole document as the engine draws it, without scrolling:
  // its full scroll height and, where wider than the view, its width; never
  // smaller than the view. A document wider than `widthLimit` or taller than
  // `heightLimit` is drawn from its top left to those bounds and `cut` says
  // so. Nothing where the engine cannot draw it.
  struct Document {
    Pixels pixels;
    bool cut = false;
  };
  virtual std::optional<Document> captureDocument(WidgetId browser, int widthLimit,
                                                  int heightLimit) = 0;

  // Timers: periodic, first tick one period after the start. A period of 0 or
  // less starts nothing and gives 0.
  virtual TimerId startTimer(int periodMs, std::function<void()> tick) = 0;
  virtual void stopTimer(TimerId timer) = 0;

  // Clocks.
  virtual LocalTime localTimeNow() const = 0;  // whole seconds
  virtual std::int64_t monotonicMs() const = 0;

  // The loop. runLoop returns after quitLoop; idle work runs when the queue is empty.
  virtual void runLoop() = 0;
  virtual void quitLoop() = 0;
  virtual void whenIdle(std::function<void()> work) = 0;

  // While on, neither the computer nor its display goes to sleep for being
  // idle: a run that nobody touches still shows its pages. Where the desktop
  // has no such service nothing happens.
  virtual void keepAwake(bool on) = 0;

  // How far a run has come, shown where the desktop shows it outside the
  // window (on Windows, the taskbar button): `done` of `total` addresses. A
  // total of 0 or less clears it. Where the desktop has no such place nothing
  // happens; no caption or text of the window changes.
  virtual void showProgress(int done, int total) = 0;

  // The process's standard output and error, for runs started from a script.
  // Text in the system code page, written as it comes (nothing added) and
  // flushed; a process without such a stream drops it.
  virtual void writeStandardStream(StandardStream stream, const std::string& text) = 0;

  // Ends the process at once with this exit code. The simulated platform
  // throws instead, so that a test can see how the program ended.
  [[noreturn]] virtual void exitProcess(int code) = 0;
};

}  // namespace sorvane::platform
