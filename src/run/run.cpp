// The browse run: a chain of timer events on the GUI thread. 时钟1 polls for an
// idle browser and loads the next address; 时钟2 waits out the pause and then
// captures. Whether a run is on, and where it stands, is kept in the run's own
// state; 按钮1's caption and the timers show it.

#include "run/run.h"

#include "app/dialogs.h"
#include "record/picture_record.h"
#include "run/capture_folder.h"
#include "services/conversions.h"
#include "services/own_text.h"

namespace sorvane::run {

using app::Frame;
namespace prop = app::prop;

namespace {

constexpr std::int32_t kPollPeriodMs = 1000;
// A load told to stop that is still going after this long does not stop by
// itself. A little under the poll period, so that the poll after the stop
// request already ends its page.
constexpr std::int64_t kStopGraceMs = 900;

const Text& startCaption() { return ownText("开始"); }
const Text& stopCaption() { return ownText("停止"); }

app::Control& browser(Frame& frame) { return frame.control("互联网浏览器1"); }

void setTimer(Frame& frame, app::ControlName name, std::int32_t period) {
  frame.writeInt(frame.control(name), prop::timer::period, period);
}

std::int64_t now(Frame& frame) { return frame.platform().monotonicMs(); }

void clearPosition(Frame& frame) { frame.platform().showProgress(0, 0); }

}  // namespace

Run::Run(RunObserver* observer) : observer_(observer) {}
Run::~Run() = default;

bool Run::pastDeadline(Frame& frame) const {
  return settings.pageTimeoutMs > 0 && page.sentAtMs >= 0 &&
         now(frame) - page.sentAtMs >= settings.pageTimeoutMs;
}

// A busy browser past the deadline and its grace: time inside a box of the
// engine's counts against the page too.
void Run::checkHeld(Frame& frame) {
  if (observer_ && settings.pageTimeoutMs > 0 && page.sentAtMs >= 0 &&
      now(frame) - page.sentAtMs >= settings.pageTimeoutMs + kHeldGraceMs)
    observer_->pageHeld(frame);
}

void Run::letSleep(Frame& frame) {
  if (!keptAwake_) return;
  keptAwake_ = false;
  frame.platform().keepAwake(false);
}

// The run's position outside the window (the taskbar button): pages done of
// the run's count; cleared however the run ends.
void Run::showPosition(Frame& frame) const {
  frame.platform().showProgress(nextIndex - 1, runCount);
}

app::Handler Run::overdueTick() {
  return [this](Frame& frame) { pageOverdue(frame); };
}

// The address's watch: at its deadline, and then every poll period for as
// long as the browser stays busy.
void Run::pageOverdue(Frame& frame) {
  if (!frame.busy(browser(frame))) {
    frame.stopWatch();
    return;
  }
  checkHeld(frame);
  if (page.stopAskedAtMs < 0) {
    page.timedOut = true;
    if (observer_) observer_->loadEnded(frame, page.url);
    frame.startWatch(kPollPeriodMs, overdueTick());
  }
  if (endLoad(frame)) frame.stopWatch();
}

// Both timers stop before the box shows, so no further run step (and no
// repeat of the box) can come while it is open.
void Run::endRun(Frame& frame, const char* message) {
  phase = RunPhase::Off;
  setTimer(frame, "时钟1", 0);
  setTimer(frame, "时钟2", 0);
  frame.stopWatch();
  letSleep(frame);
  clearPosition(frame);
  // Rows the record could not take while another program held it, and where
  // they went: in the end box, or for a run nobody watches, its own line.
  record::PictureRecord* record = settings.record.get();
  const std::optional<Text> recordNote = record ? record->endRun() : std::nullopt;
  if (!observer_ || !observer_->runEnded(frame, ownText(message))) {
    messageBox(recordNote ? ownText(message) + Text("\n") + *recordNote : ownText(message), 0);
  } else if (recordNote) {
    record->sayProblem(*recordNote);
  }
  frame.writeText(frame.control("按钮1"), prop::button::caption, startCaption());
}

// Sends the browser to an address, with the address's watch when a page
// time-out is set.
void Run::sendAddress(Frame& frame, const Text& url) {
  page = PageWatch{};
  page.url = url;
  page.sentAtMs = now(frame);
  page.sending = true;
  frame.navigate(browser(frame), url);
  page.sending = false;
  if (settings.pageTimeoutMs > 0) frame.startWatch(settings.pageTimeoutMs, overdueTick());
}

// How the address's page ended; where it shows nothing of its own, the view
// is cleared to a blank page first, so that no picture shows an earlier page.
PageEnd Run::settlePage(Frame& frame) {
  const platform::PageShows shows = frame.pageShows(browser(frame));
  if (shows == platform::PageShows::Nothing) frame.showBlank(browser(frame));
  if (page.timedOut) return PageEnd::TimedOut;
  switch (shows) {
    case platform::PageShows::Own: return PageEnd::Loaded;
    case platform::PageShows::EngineError: return PageEnd::Failed;
    case platform::PageShows::Nothing: break;
  }
  return PageEnd::Blank;
}

// A row for the page in the capture folder's record, with --record.
void Run::recordPage(Frame& frame, const PageReport& report, const Text& folder) {
  record::PictureRecord* pictureRecord = settings.record.get();
  if (!pictureRecord || folder.empty()) return;
  pictureRecord->addRow(folder, recordRow(report, folder));
  if (observer_) observer_->pageRecorded(frame);
}

bool Run::endLoad(Frame& frame) {
  app::Control& view = browser(frame);
  if (!frame.busy(view)) return true;
  if (page.stopAskedAtMs < 0) {
    page.stopAskedAtMs = now(frame);
    frame.stopLoading(view);
  } else if (now(frame) - page.stopAskedAtMs >= kStopGraceMs) {
    frame.endPage(view);
  }
  return !frame.busy(view);
}

void Run::startOrStop(Frame& frame) {
  const TextArray& urls = frame.vars().urlArray;
  if (urls.empty()) {
    messageBox(ownText("请输入网址！"), 0);
    return;
  }
  app::Control& button = frame.control("按钮1");
  record::PictureRecord* record = settings.record.get();
  if (!on()) {
    phase = RunPhase::Waiting;
    frame.writeText(button, prop::button::caption, stopCaption());
    runCount = static_cast<std::int32_t>(urls.size());
    nextIndex = 1;
    // Stop leaves a load running, so a page from before that never finishes
    // (or a script that holds the engine) would hold this run at its first
    // poll for ever: that load is ended first.
    page.stopAskedAtMs = -1;
    page.sentAtMs = -1;
    endLoad(frame);
    if (record) record->startRun(currentDateTime());
    keptAwake_ = true;
    frame.platform().keepAwake(true);
    showPosition(frame);
    setTimer(frame, "时钟1", kPollPeriodMs);
    return;
  }
  // A navigation in progress goes on; only the run's timers stop.
  phase = RunPhase::Off;
  frame.writeText(button, prop::button::caption, startCaption());
  setTimer(frame, "时钟2", 0);
  setTimer(frame, "时钟1", 0);
  frame.stopWatch();
  letSleep(frame);
  clearPosition(frame);
  if (record) {
    if (const std::optional<Text> note = record->endRun()) messageBox(*note, 0);
  }
}

void Run::poll(Frame& frame) {
  // While a picture is drawn the engine may run a loop, and a run stopped and
  // started again meanwhile polls: it waits for the picture, or its address
  // would be sent under the drawing and the old dwell's end would take it.
  if (page.sending || page.capturing) return;
  if (frame.busy(browser(frame))) {
    checkHeld(frame);
    // Without a time-out the run waits for the page, as a person watching
    // expects; a load already told to stop, or past its address's deadline
    // (a page that went on to another address by itself), is ended.
    const bool ending = page.stopAskedAtMs >= 0 || pastDeadline(frame);
    if (!ending || !endLoad(frame)) return;
  }
  advance(frame);
}

// Loads the next address, or ends the run when there is none.
void Run::advance(Frame& frame) {
  if (runCount == 0) {
    endRun(frame, "网址个数不可为0");
    return;
  }
  // Deleting addresses during a run shortens the list but not runCount; the
  // run then ends where the list ends.
  const auto listed = static_cast<std::int64_t>(frame.vars().urlArray.size());
  if (nextIndex > runCount || nextIndex > listed) {
    endRun(frame, "连续访问结束");
    return;
  }
  frame.writeText(frame.control("标签2"), prop::label::caption, ownText("载入状态：正在载入"));
  const Text url = frame.urlAt(nextIndex);
  nextIndex += 1;
  // Stopped before the browser is sent on: a browser that runs a nested loop
  // while it starts a load must not let this timer start a second step.
  phase = RunPhase::Dwelling;
  setTimer(frame, "时钟1", 0);
  sendAddress(frame, url);
  if (observer_) observer_->pageLoading(frame, url);
  // Read at every page, so a changed pause applies from the next one. A pause
  // of 0 ms or less leaves both timers stopped: the run stalls until Stop.
  const double seconds = toNumber(frame.readText(frame.control("编辑框3"), prop::editBox::content));
  setTimer(frame, "时钟2", toInteger32(seconds * 1000.0));
}

void Run::endDwell(Frame& frame) {
  if (phase != RunPhase::Dwelling) return;
  if (page.sending || page.capturing) return;
  // A page still loading gets another full pause (its watch, if it has one,
  // ends the load at the deadline).
  if (frame.busy(browser(frame))) {
    checkHeld(frame);
    return;
  }
  frame.stopWatch();
  const PageEnd end = settlePage(frame);
  // The folder as the box has it at this moment: the picture and its row go there.
  const Text folder = frame.readText(frame.control("编辑框1"), prop::editBox::content);
  // A copy: the engine may run a loop while it draws, and the watch is the run's.
  const Text url = page.url;
  PageReport report;
  if (frame.readInt(frame.control("选择框1"), prop::checkBox::checked) == 1) {
    report = capturePage(frame, *this, folder, url);
  } else {
    report.url = url;
    report.at = currentDateTime();
  }
  report.end = end;
  recordPage(frame, report, folder);
  if (observer_) observer_->pageDone(frame, report);
  // The engine may have run a loop while it drew the page, and 停止 (or
  // 清空网址) may have been pressed meanwhile: a stopped run stays stopped.
  if (phase == RunPhase::Dwelling) {
    showPosition(frame);
    phase = RunPhase::Waiting;
    setTimer(frame, "时钟1", kPollPeriodMs);
  }
}

void Run::halt(Frame& frame) {
  setTimer(frame, "时钟2", 0);
  setTimer(frame, "时钟1", 0);
  if (!on()) return;
  // 按钮1 keeps 停止, so its next click is the stop.
  phase = RunPhase::Halted;
  frame.stopWatch();
  letSleep(frame);
  clearPosition(frame);
}

void Run::addHandlers(app::HandlerTable& table) {
  table.emplace("startOrStopRun", [this](Frame& frame) { startOrStop(frame); });
  table.emplace("pollBrowser", [this](Frame& frame) { poll(frame); });
  table.emplace("endDwell", [this](Frame& frame) { endDwell(frame); });
}

}  // namespace sorvane::run
