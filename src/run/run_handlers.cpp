// The browse run: a chain of timer events on the GUI thread. 时钟1 polls for an
// idle browser and loads the next address; 时钟2 waits out the pause and then
// captures. Whether a run is on, and where it stands, is kept in the run's own
// state; 按钮1's caption and the timers show it.

#include "run/run_handlers.h"

#include "services/conversions.h"
#include "app/dialogs.h"
#include "services/own_text.h"
#include "record/picture_record.h"

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

bool pastDeadline(Frame& frame) {
  const RunState& state = runState(frame);
  return state.pageTimeoutMs > 0 && state.page.sentAtMs >= 0 &&
         now(frame) - state.page.sentAtMs >= state.pageTimeoutMs;
}

// A busy browser past the deadline and its grace: time inside a box of the
// engine's counts against the page too.
void checkHeld(Frame& frame, RunObserver* observer) {
  const RunState& state = runState(frame);
  if (observer && state.pageTimeoutMs > 0 && state.page.sentAtMs >= 0 &&
      now(frame) - state.page.sentAtMs >= state.pageTimeoutMs + kHeldGraceMs)
    observer->pageHeld(frame);
}

void letSleep(Frame& frame) {
  RunState& state = runState(frame);
  if (!state.keptAwake) return;
  state.keptAwake = false;
  frame.platform().keepAwake(false);
}

// The run's position outside the window (the taskbar button): pages done of
// the run's count; cleared however the run ends.
void showPosition(Frame& frame) {
  const app::ProgramVariables& vars = frame.vars();
  frame.platform().showProgress(vars.nextIndex - 1, vars.runCount);
}
void clearPosition(Frame& frame) { frame.platform().showProgress(0, 0); }

void pageOverdue(Frame& frame, RunObserver* observer);

app::Handler overdueTick(RunObserver* observer) {
  return [observer](Frame& frame) { pageOverdue(frame, observer); };
}

// The address's watch: at its deadline, and then every poll period for as
// long as the browser stays busy.
void pageOverdue(Frame& frame, RunObserver* observer) {
  if (!frame.busy(browser(frame))) {
    frame.stopWatch();
    return;
  }
  checkHeld(frame, observer);
  PageWatch& page = runState(frame).page;
  if (page.stopAskedAtMs < 0) {
    page.timedOut = true;
    if (observer) observer->loadEnded(frame, page.url);
    frame.startWatch(kPollPeriodMs, overdueTick(observer));
  }
  if (endLoad(frame)) frame.stopWatch();
}

// Both timers stop before the box shows, so no further run step (and no
// repeat of the box) can come while it is open.
void endRun(Frame& frame, const char* message, RunObserver* observer) {
  RunState& state = runState(frame);
  state.phase = RunPhase::Off;
  setTimer(frame, "时钟1", 0);
  setTimer(frame, "时钟2", 0);
  frame.stopWatch();
  letSleep(frame);
  clearPosition(frame);
  // Rows the record could not take while another program held it, and where
  // they went: in the end box, or for a run nobody watches, its own line.
  const std::optional<Text> recordNote = state.record ? state.record->endRun() : std::nullopt;
  if (!observer || !observer->runEnded(frame, ownText(message))) {
    messageBox(recordNote ? ownText(message) + Text("\n") + *recordNote : ownText(message), 0);
  } else if (recordNote) {
    state.record->sayProblem(*recordNote);
  }
  frame.writeText(frame.control("按钮1"), prop::button::caption, startCaption());
}

// Sends the browser to an address, with the address's watch when a page
// time-out is set.
void sendAddress(Frame& frame, const Text& url, RunObserver* observer) {
  RunState& state = runState(frame);
  state.page = PageWatch{};
  state.page.url = url;
  state.page.sentAtMs = now(frame);
  state.page.sending = true;
  frame.navigate(browser(frame), url);
  state.page.sending = false;
  if (state.pageTimeoutMs > 0) frame.startWatch(state.pageTimeoutMs, overdueTick(observer));
}

// How the address's page ended; where it shows nothing of its own, the view
// is cleared to a blank page first, so that no picture shows an earlier page.
PageEnd settlePage(Frame& frame) {
  const PageWatch& page = runState(frame).page;
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
void recordPage(Frame& frame, const PageReport& report, RunObserver* observer) {
  record::PictureRecord* pictureRecord = runState(frame).record.get();
  if (!pictureRecord) return;
  const Text folder = frame.readText(frame.control("编辑框1"), prop::editBox::content);
  if (folder.empty()) return;
  pictureRecord->addRow(folder, recordRow(report, folder));
  if (observer) observer->pageRecorded(frame);
}

}  // namespace

bool endLoad(Frame& frame) {
  app::Control& view = browser(frame);
  if (!frame.busy(view)) return true;
  PageWatch& page = runState(frame).page;
  if (page.stopAskedAtMs < 0) {
    page.stopAskedAtMs = now(frame);
    frame.stopLoading(view);
  } else if (now(frame) - page.stopAskedAtMs >= kStopGraceMs) {
    frame.endPage(view);
  }
  return !frame.busy(view);
}

void startOrStopRun(Frame& frame) {
  app::ProgramVariables& vars = frame.vars();
  if (vars.urlArray.empty()) {
    messageBox(ownText("请输入网址！"), 0);
    return;
  }
  RunState& state = runState(frame);
  app::Control& button = frame.control("按钮1");
  if (!state.on()) {
    state.phase = RunPhase::Waiting;
    frame.writeText(button, prop::button::caption, stopCaption());
    vars.runCount = static_cast<std::int32_t>(vars.urlArray.size());
    vars.nextIndex = 1;
    // Stop leaves a load running, so a page from before that never finishes
    // (or a script that holds the engine) would hold this run at its first
    // poll for ever: that load is ended first.
    state.page.stopAskedAtMs = -1;
    state.page.sentAtMs = -1;
    endLoad(frame);
    if (state.record) state.record->startRun(currentDateTime());
    state.keptAwake = true;
    frame.platform().keepAwake(true);
    showPosition(frame);
    setTimer(frame, "时钟1", kPollPeriodMs);
    return;
  }
  // A navigation in progress goes on; only the run's timers stop.
  state.phase = RunPhase::Off;
  frame.writeText(button, prop::button::caption, startCaption());
  setTimer(frame, "时钟2", 0);
  setTimer(frame, "时钟1", 0);
  frame.stopWatch();
  letSleep(frame);
  clearPosition(frame);
  if (state.record) {
    if (const std::optional<Text> note = state.record->endRun()) messageBox(*note, 0);
  }
}

void pollBrowser(Frame& frame, RunObserver* observer) {
  const RunState& state = runState(frame);
  // While a picture is drawn the engine may run a loop, and a run stopped and
  // started again meanwhile polls: it waits for the picture, or its address
  // would be sent under the drawing and the old dwell's end would take it.
  if (state.page.sending || state.page.capturing) return;
  if (frame.busy(browser(frame))) {
    checkHeld(frame, observer);
    // Without a time-out the run waits for the page, as a person watching
    // expects; a load already told to stop, or past its address's deadline
    // (a page that went on to another address by itself), is ended.
    const bool ending = state.page.stopAskedAtMs >= 0 || pastDeadline(frame);
    if (!ending || !endLoad(frame)) return;
  }
  advanceRun(frame, observer);
}

void advanceRun(Frame& frame, RunObserver* observer) {
  app::ProgramVariables& vars = frame.vars();
  if (vars.runCount == 0) {
    endRun(frame, "网址个数不可为0", observer);
    return;
  }
  // Deleting addresses during a run shortens the list but not runCount; the
  // run then ends where the list ends.
  const auto listed = static_cast<std::int64_t>(vars.urlArray.size());
  if (vars.nextIndex > vars.runCount || vars.nextIndex > listed) {
    endRun(frame, "连续访问结束", observer);
    return;
  }
  frame.writeText(frame.control("标签2"), prop::label::caption, ownText("载入状态：正在载入"));
  const Text url = frame.urlAt(vars.nextIndex);
  vars.nextIndex += 1;
  // Stopped before the browser is sent on: a browser that runs a nested loop
  // while it starts a load must not let this timer start a second step.
  runState(frame).phase = RunPhase::Dwelling;
  setTimer(frame, "时钟1", 0);
  sendAddress(frame, url, observer);
  if (observer) observer->pageLoading(frame, url);
  // Read at every page, so a changed pause applies from the next one. A pause
  // of 0 ms or less leaves both timers stopped: the run stalls until Stop.
  const double seconds = toNumber(frame.readText(frame.control("编辑框3"), prop::editBox::content));
  setTimer(frame, "时钟2", toInteger32(seconds * 1000.0));
}

void endDwell(Frame& frame, RunObserver* observer) {
  RunState& state = runState(frame);
  if (state.phase != RunPhase::Dwelling) return;
  if (state.page.sending || state.page.capturing) return;
  // A page still loading gets another full pause (its watch, if it has one,
  // ends the load at the deadline).
  if (frame.busy(browser(frame))) {
    checkHeld(frame, observer);
    return;
  }
  frame.stopWatch();
  PageReport report;
  report.url = state.page.url;
  report.end = settlePage(frame);
  if (frame.readInt(frame.control("选择框1"), prop::checkBox::checked) == 1) {
    const CaptureResult result = capturePage(frame);
    report.outcome = result.written ? PageOutcome::Captured : PageOutcome::NotWritten;
    report.picture = result.picture;
    report.at = result.takenAt;
    // A picture that was not written changed nothing.
    if (result.written) report.change = result.change;
    report.cut = result.cut;
  } else {
    report.at = currentDateTime();
  }
  recordPage(frame, report, observer);
  if (observer) observer->pageDone(frame, report);
  // The engine may have run a loop while it drew the page, and 停止 (or
  // 清空网址) may have been pressed meanwhile: a stopped run stays stopped.
  if (state.phase == RunPhase::Dwelling) {
    showPosition(frame);
    state.phase = RunPhase::Waiting;
    setTimer(frame, "时钟1", kPollPeriodMs);
  }
}

void haltRun(Frame& frame) {
  setTimer(frame, "时钟2", 0);
  setTimer(frame, "时钟1", 0);
  RunState& state = runState(frame);
  if (!state.on()) return;
  // 按钮1 keeps 停止, so its next click is the stop.
  state.phase = RunPhase::Halted;
  frame.stopWatch();
  letSleep(frame);
  clearPosition(frame);
}

void addHandlers(app::HandlerTable& table, RunObserver* observer) {
  table.emplace("startOrStopRun", &startOrStopRun);
  table.emplace("pollBrowser", [observer](Frame& frame) { pollBrowser(frame, observer); });
  table.emplace("endDwell", [observer](Frame& frame) { endDwell(frame, observer); });
  table.emplace("chooseCaptureFolder", &chooseCaptureFolder);
  table.emplace("checkCaptureFolder", &checkCaptureFolder);
}

}  // namespace sorvane::run
