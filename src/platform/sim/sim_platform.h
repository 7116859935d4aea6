#pragma once
// The simulated platform: the deterministic desktop the program's tests run on.
//
// Shares the desktops' base (platform/common): the widget table, teardown,
// the checks before each native call, the timers' table, the browser's
// dispatch; what it supplies is the native half, in memory. Time is a
// virtual clock in milliseconds that moves only when the loop is driven
// (advance, advanceTo, runLoop, or the nested loop of a modal box); the
// browser loads scripted pages, boxes and dialogs take scripted answers, and
// captures return synthetic pixels, so every timeline of the program can be
// checked to the millisecond.
//
// Order of events at one virtual instant (the rule every timeline test relies
// on): scheduled test actions (at/after, window activation) run first, in the
// order they were scheduled, because on the desktop input is handled before
// timer messages; then timer ticks, ties broken by start order (the timer
// started earlier ticks first). A tick is rescheduled one period on before its
// callback runs, so a callback that opens a box sees its own timer tick again
// inside the box, exactly as the desktop's nested loop would deliver it. Idle
// work (whenIdle) runs once nothing more is due at the current instant, before
// the clock moves on.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/common/desktop_base.h"
#include "platform/platform.h"

namespace sorvane::sim {

using platform::Rect;
using platform::TimerId;
using platform::WidgetEvent;
using platform::WidgetId;
using platform::WidgetKind;

// Thrown by exitProcess. Deliberately not derived from std::exception: nothing
// in the core may catch it (no catch (...) that swallows, no handler barrier
// that turns it into a fatal error report), so it reaches the test unchanged.
struct ProcessExit {
  int code = 0;
};

// How a scripted page loads.
struct LoadScript {
  int durationMs = 300;    // busy from navigate for this long
  bool neverEnds = false;  // busy for ever (until the next navigate)
  bool fails = false;      // ends like a success but shows the error page
  bool showsNothing = false;  // ends without a page of its own (a refused download)
  bool holdsEngine = false;   // a script holds the engine: stopping does nothing
  bool drawsNothing = false;  // stopped before its end, it has drawn nothing yet
  // The document's size where it is larger than the view (0: the view's).
  int documentWidth = 0;
  int documentHeight = 0;
};

struct Navigation {
  WidgetId browser = 0;
  std::string url;
  std::int64_t atMs = 0;
};

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// What the platform's button face looks like in a capture.
inline constexpr Rgb kButtonFaceRgb{240, 240, 240};
inline constexpr Rgb kWhite{255, 255, 255};

// A message box as the program showed it. answeredAtMs is -1 while it is open
// (or when the process ended inside it).
struct Box {
  std::string text;
  std::string caption;
  unsigned flags = 0;
  std::int64_t openedAtMs = 0;
  std::int64_t answeredAtMs = -1;
  int result = 0;
};

// kFirstButton answers with the box's first button: OK, Abort, Yes or Retry.
inline constexpr int kFirstButton = -1;
struct BoxAnswer {
  int result = kFirstButton;
  int delayMs = 0;
};

struct FolderRequest {
  std::string prompt;
  bool includeFiles = false;
  std::int64_t openedAtMs = 0;
  std::int64_t answeredAtMs = -1;
  std::string result;
};

struct FileRequest {
  platform::FileDialogRequest request;
  std::int64_t openedAtMs = 0;
  std::int64_t answeredAtMs = -1;
  std::optional<std::string> result;
};

enum class ModalKind { MessageBox, Folder, File };

// Why the last runLoop returned.
enum class LoopEnd { None, Quit, NothingLeft, RunLimit };

struct BrowserState {
  struct Load {
    std::string url;
    std::int64_t startMs = 0;
    LoadScript script;
  };
  std::optional<Load> load;    // the latest navigation
  bool showsPage = false;      // something was shown before the latest load
  Rgb shown = kWhite;          // what was shown before the latest load
  bool blank = false;          // covered with a blank page since the latest load
  bool ended = false;          // the latest load's engine work was ended
};

// One widget as the program made it, plus what it holds now.
struct WidgetState {
  WidgetId id = 0;
  platform::WidgetSpec widgetSpec;  // exactly as given to createWidget
  WidgetKind kind = WidgetKind::Hidden;  // widgetSpec's, where the shared base reads it
  WidgetId parent = 0;
  std::vector<WidgetId> children;  // in creation (or re-parenting) order
  Rect rect;                       // the top-level window is centred on the screen
  std::string text;
  bool visible = false;
  bool enabled = true;
  bool checked = false;
  std::vector<std::string> items;
  int selection = -1;
  BrowserState browser;
};

struct TimerInfo {
  TimerId id = 0;
  int periodMs = 0;
  std::int64_t nextDueMs = 0;
};

class SimPlatform : public platform::common::DesktopBackend<WidgetState> {
 public:
  SimPlatform();
  ~SimPlatform() override;

  // ---- The seam (the rest is the shared base's) ---------------------------
  WidgetId createWidget(const platform::WidgetSpec& widgetSpec) override;
  void setText(WidgetId widget, const std::string& text) override;
  std::string text(WidgetId widget) const override;
  // The screen the window must fit in; tests make it small.
  platform::Rect screenWorkArea{0, 0, 1920, 1040};
  Rect workArea() const override { return screenWorkArea; }
  WidgetId focusedWidget() const override;
  void setFocus(WidgetId widget) override;
  platform::LocalTime localTimeNow() const override;
  std::int64_t monotonicMs() const override;
  int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  std::optional<std::string> browseForFolder(const std::string& prompt,
                                             bool includeFiles) override;
  std::optional<std::string> fileDialog(const platform::FileDialogRequest& request) override;
  void runLoop() override;
  void quitLoop() override;
  void whenIdle(std::function<void()> work) override;
  void keepAwake(bool on) override;
  void showProgress(int done, int total) override;
  void writeStandardStream(platform::StandardStream stream, const std::string& text) override;
  [[noreturn]] void exitProcess(int code) override;

  // ---- Clock and loop -----------------------------------------------------
  std::int64_t now() const { return now_; }
  // The local time at virtual 0; localTimeNow is this plus now, in whole seconds.
  void setLocalTime(const platform::LocalTime& atZero);
  // Runs a test action at a virtual time (a time already past means "now").
  void at(std::int64_t timeMs, std::function<void()> action);
  void after(std::int64_t delayMs, std::function<void()> action);
  // Processes everything due up to the target in time order, then sets the
  // clock to it. A box answered later than the target leaves the clock there.
  void advance(std::int64_t ms);
  void advanceTo(std::int64_t timeMs);
  // runLoop gives up after this much virtual time (default 24 hours).
  void setRunLimit(std::int64_t ms) { runLimitMs_ = ms; }
  bool stalled() const { return lastLoopEnd_ == LoopEnd::NothingLeft; }
  LoopEnd lastLoopEnd() const { return lastLoopEnd_; }
  // runLoop levels plus open boxes and dialogs.
  int loopDepth() const { return static_cast<int>(runLevels_.size()) + openModals_; }
  std::vector<TimerInfo> timers() const;  // running timers, by id

  // ---- Widgets --------------------------------------------------------------
  // Throws std::invalid_argument for an unknown id; the reference lives until
  // the widget is destroyed.
  const WidgetState& widget(WidgetId id) const;
  std::vector<WidgetId> widgetsOfKind(WidgetKind kind) const;  // creation order
  WidgetId findWidget(WidgetKind kind, const std::string& text) const;  // 0: none
  WidgetId topLevel() const;  // the first live top-level window, or 0
  // The next createWidget of this kind returns 0.
  void failNextCreate(WidgetKind kind) { failCreates_.push_back(kind); }
  void setScreen(int width, int height, Rgb colour);
  // Showing the top-level window activates it (posted as an action at the
  // current instant); switch off to drive activation only by hand.
  void setAutoActivate(bool on) { autoActivate_ = on; }

  // ---- The user -------------------------------------------------------------
  // Each returns false and raises nothing when refused: the widget is missing
  // or of the wrong kind, it or a parent is hidden or disabled, or a box or
  // dialog is open (the main window counts as disabled then).
  bool click(WidgetId id);  // focuses it first, like a mouse press
  bool typeText(WidgetId edit, const std::string& bytes);
  bool pasteText(WidgetId edit, const std::string& bytes);
  // Select-all and paste: unfiltered, refused when read-only.
  bool setEditText(WidgetId edit, const std::string& bytes);
  bool selectItem(WidgetId list, int index);
  bool doubleClickItem(WidgetId list, int index);
  // Sent to the window before dispatch; not delivered when the focused widget
  // is disabled. Space is not a platform::Key: pressSpace reports Key::Other
  // and, when the program leaves it, clicks a focused button or check box.
  bool pressKey(platform::Key key, unsigned modifiers = platform::kNone);
  bool pressSpace();
  bool closeWindow();
  bool activate();
  bool deactivate();

  // ---- Browser and capture --------------------------------------------------
  void scriptLoad(const std::string& url, LoadScript script) { loadScripts_[url] = script; }
  void setDefaultLoadMs(int ms) { defaultLoadMs_ = ms; }
  const std::vector<Navigation>& navigations() const { return navigations_; }
  // Virtual times at which the program stopped a load (only those that
  // stopped one still running).
  const std::vector<std::int64_t>& stoppedLoads() const { return stoppedLoads_; }
  // Virtual times at which the program ended a page's engine work.
  const std::vector<std::int64_t>& endedPages() const { return endedPages_; }
  // Each change of keepAwake, with its virtual time.
  const std::vector<std::pair<std::int64_t, bool>>& awakeChanges() const { return awakeChanges_; }
  // Each call of showProgress: virtual time, done, total.
  struct ProgressShown {
    std::int64_t atMs;
    int done, total;
    friend bool operator==(const ProgressShown&, const ProgressShown&) = default;
  };
  const std::vector<ProgressShown>& progressShown() const { return progressShown_; }
  // A page shows from the end of its load; until then the previous page (white
  // before the first), and a page that never ends shows nothing new.
  void setPageColour(const std::string& url, std::uint8_t r, std::uint8_t g, std::uint8_t b);
  Rgb pageColour(const std::string& url) const;  // assigned or derived from the url
  void setErrorPageColour(Rgb colour) { errorPage_ = colour; }
  Rgb shownColour(WidgetId browser) const;
  void failNextCapture() { failNextCapture_ = true; }
  // Runs while the whole document is drawn, as the engine's loop would run
  // timers and clicks meanwhile.
  std::function<void()> whileDrawingDocument;
  int captureCount() const { return captureCount_; }  // every call, failed ones too

  // ---- Standard streams -----------------------------------------------------
  const std::string& standardOutput() const { return standardOutput_; }
  const std::string& standardError() const { return standardError_; }

  // ---- Boxes and dialogs ----------------------------------------------------
  // Answers are used in the order boxes open; with none queued the default
  // answer applies (first button after 0 ms unless changed).
  void answerBoxes(std::vector<BoxAnswer> answers);
  void setDefaultBoxAnswer(BoxAnswer answer) { defaultBox_ = answer; }
  void answerFolder(std::string path, int delayMs = 0);  // "" cancels
  void answerFile(std::optional<std::string> path, int delayMs = 0);
  const std::vector<Box>& boxes() const { return boxes_; }
  const std::vector<FolderRequest>& folderRequests() const { return folderRequests_; }
  const std::vector<FileRequest>& fileRequests() const { return fileRequests_; }
  int openBoxCount() const { return openBoxes_; }
  int openModalCount() const { return openModals_; }
  std::size_t pendingBoxAnswers() const { return boxAnswers_.size(); }
  // Called when a box or dialog has opened, before its nested loop runs.
  void onBoxOpened(std::function<void(const Box&)> fn) { onBoxOpened_ = std::move(fn); }
  void onDialogOpened(std::function<void(ModalKind)> fn) { onDialogOpened_ = std::move(fn); }

 private:
  // When a timer ticks; its tick is the base's.
  struct Schedule {
    int periodMs = 0;
    std::int64_t dueMs = 0;
  };
  enum class Step { Worked, NothingLeft, BeyondLimit };

  // Loop core (sim_loop.cpp).
  Step stepOnce(std::int64_t limitMs);
  std::optional<std::int64_t> nextDue() const;
  void runNested(std::int64_t untilMs);
  std::optional<std::uintptr_t> armTimer(TimerId id, int periodMs) override;
  void disarmTimer(TimerId id, std::uintptr_t) override { schedule_.erase(id); }

  // Widgets (sim_widgets.cpp).
  // The rectangle keeps its numbers, now counted from the new parent.
  void moveNative(WidgetState&, WidgetState&) override {}
  void destroyNative(WidgetState& widget) override;
  void showNative(WidgetState& w, bool visible) override;
  bool shownNative(const WidgetState& w) const override { return w.visible; }
  // Like the desktop, disabling the focused widget leaves the focus on it.
  void enableNative(WidgetState& w, bool enabled) override { w.enabled = enabled; }
  bool enabledNative(const WidgetState& w) const override { return w.enabled; }
  Rect rectNative(const WidgetState& w) const override { return w.rect; }
  void checkNative(WidgetState& w, bool checked) override { w.checked = checked; }
  bool checkedNative(const WidgetState& w) const override { return w.checked; }
  const std::vector<std::string>& itemsOf(const WidgetState& w) const override { return w.items; }
  int addItemNative(WidgetState& list, const std::string& item) override;
  bool deleteItemNative(WidgetState& list, int index) override;
  void clearItemsNative(WidgetState& list) override;
  int selectionNative(const WidgetState& list) const override { return list.selection; }
  bool usable(WidgetId id) const;  // the user could reach it now
  bool effectivelyShownAndEnabled(WidgetId id) const;
  void moveFocus(WidgetId to);
  void postActivation();

  // User (sim_user.cpp).
  bool changeEditText(WidgetId id, std::string text);

  // Browser and captures (sim_browser.cpp).
  bool loadEnded(const BrowserState::Load& load) const;
  platform::PageShows shows(const BrowserState& b) const;
  void navigateNative(WidgetState& browser, const std::string& url) override;
  bool busyNative(const WidgetState& browser) const override;
  void stopNative(WidgetState& browser) override;
  void endPageNative(WidgetState& browser) override;
  platform::PageShows showsNative(const WidgetState& browser) const override {
    return shows(browser.browser);
  }
  void showBlankNative(WidgetState& browser) override { browser.browser.blank = true; }
  std::string pageAddress(const std::string& url) const override { return url; }
  std::optional<platform::Pixels> captureNative(WidgetId widget) override;
  std::optional<Document> documentNative(WidgetId browser, int widthLimit,
                                         int heightLimit) override;

  std::int64_t now_ = 0;
  std::int64_t baseSeconds_ = 0;
  std::int64_t runLimitMs_ = 24LL * 60 * 60 * 1000;
  std::uint64_t nextSeq_ = 1;
  std::map<TimerId, Schedule> schedule_;
  std::map<std::pair<std::int64_t, std::uint64_t>, std::function<void()>> actions_;
  std::deque<std::function<void()>> idle_;
  std::vector<bool> runLevels_;  // quit requested, per runLoop level
  bool pendingQuit_ = false;
  LoopEnd lastLoopEnd_ = LoopEnd::None;

  WidgetId nextWidgetId_ = 1;
  WidgetId focus_ = 0;
  std::vector<WidgetKind> failCreates_;
  int screenWidth_ = 1280, screenHeight_ = 1024;
  Rgb screenColour_{58, 110, 165};
  bool autoActivate_ = true;

  std::map<std::string, LoadScript> loadScripts_;
  int defaultLoadMs_ = 300;
  std::vector<Navigation> navigations_;
  std::vector<std::int64_t> stoppedLoads_;
  std::vector<std::int64_t> endedPages_;
  std::vector<std::pair<std::int64_t, bool>> awakeChanges_;
  std::vector<ProgressShown> progressShown_;
  std::string standardOutput_;
  std::string standardError_;
  std::map<std::string, Rgb> pageColours_;
  Rgb errorPage_{200, 200, 200};
  bool failNextCapture_ = false;
  int captureCount_ = 0;

  std::deque<BoxAnswer> boxAnswers_;
  BoxAnswer defaultBox_;
  std::deque<std::pair<std::string, int>> folderAnswers_;
  std::deque<std::pair<std::optional<std::string>, int>> fileAnswers_;
  std::vector<Box> boxes_;
  std::vector<FolderRequest> folderRequests_;
  std::vector<FileRequest> fileRequests_;
  int openBoxes_ = 0;
  int openModals_ = 0;
  std::function<void(const Box&)> onBoxOpened_;
  std::function<void(ModalKind)> onDialogOpened_;
};

}  // namespace sorvane::sim
