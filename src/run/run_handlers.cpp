// The browse run: a chain of timer events on the GUI thread. 时钟1 polls for an
// idle browser and loads the next address; 时钟2 waits out the pause and then
// captures. The caption of 按钮1 is the run's on/off state.

#include "run/run_handlers.h"

#include "services/conversions.h"
#include "services/dialogs.h"
#include "services/own_text.h"

namespace sorvane::run {

using app::Frame;
namespace prop = app::prop;

namespace {

RunObserver* observer = nullptr;

constexpr std::int32_t kPollPeriodMs = 1000;
const Text& startCaption() { return ownText("开始"); }
const Text& stopCaption() { return ownText("停止"); }

void setTimer(Frame& frame, const char* name, std::int32_t period) {
  frame.writeInt(frame.control(name), prop::timer::period, period);
}

// Both timers stop before the box shows, so no further run step (and no
// repeat of the box) can come while it is open.
void endRun(Frame& frame, const char* message) {
  setTimer(frame, "时钟1", 0);
  setTimer(frame, "时钟2", 0);
  if (!observer || !observer->runEnded(frame, ownText(message))) messageBox(ownText(message), 0);
  frame.writeText(frame.control("按钮1"), prop::button::caption, startCaption());
}

}  // namespace

void setRunObserver(RunObserver* newObserver) { observer = newObserver; }
RunObserver* runObserver() { return observer; }

void startOrStopRun(Frame& frame) {
  app::ProgramVariables& vars = frame.vars();
  if (vars.urlArray.empty()) {
    messageBox(ownText("请输入网址！"), 0);
    return;
  }
  app::Control& button = frame.control("按钮1");
  if (frame.readText(button, prop::button::caption) == startCaption()) {
    frame.writeText(button, prop::button::caption, stopCaption());
    vars.runCount = static_cast<std::int32_t>(vars.urlArray.size());
    vars.nextIndex = 1;
    // Stop leaves a load running, so a page from before that never finishes
    // would hold this run at its first poll for ever: end that load first.
    app::Control& browser = frame.control("互联网浏览器1");
    if (frame.busy(browser)) frame.stopLoading(browser);
    setTimer(frame, "时钟1", kPollPeriodMs);
    return;
  }
  // A navigation in progress goes on; only the run's timers stop.
  frame.writeText(button, prop::button::caption, startCaption());
  setTimer(frame, "时钟2", 0);
  setTimer(frame, "时钟1", 0);
}

void pollBrowser(Frame& frame) {
  if (!frame.busy(frame.control("互联网浏览器1"))) advanceRun(frame);
}

void advanceRun(Frame& frame) {
  app::ProgramVariables& vars = frame.vars();
  if (vars.runCount == 0) {
    endRun(frame, "网址个数不可为0");
    return;
  }
  // Deleting addresses during a run shortens the list but not runCount; the
  // run then ends where the list ends.
  const auto listed = static_cast<std::int64_t>(vars.urlArray.size());
  if (vars.nextIndex > vars.runCount || vars.nextIndex > listed) {
    endRun(frame, "连续访问结束");
    return;
  }
  frame.writeText(frame.control("标签2"), prop::label::caption, ownText("载入状态：正在载入"));
  const Text url = frame.urlAt(vars.nextIndex);
  frame.navigate(frame.control("互联网浏览器1"), url);
  if (observer) observer->pageLoading(frame, url);
  vars.nextIndex += 1;
  setTimer(frame, "时钟1", 0);
  // Read at every page, so a changed pause applies from the next one. A pause
  // of 0 ms or less leaves both timers stopped: the run stalls until Stop.
  const double seconds = toNumber(frame.readText(frame.control("编辑框3"), prop::editBox::content));
  setTimer(frame, "时钟2", toInteger32(seconds * 1000.0));
}

void endDwell(Frame& frame) {
  if (frame.readInt(frame.control("时钟1"), prop::timer::period) != 0) return;
  // A page still loading gets another full pause.
  if (frame.busy(frame.control("互联网浏览器1"))) return;
  if (frame.readInt(frame.control("选择框1"), prop::checkBox::checked) == 1) {
    const CaptureResult result = capturePage(frame);
    if (observer) {
      observer->pageDone(frame, result.written ? PageOutcome::Captured : PageOutcome::NotWritten,
                         result.picture, result.takenAt);
    }
  } else if (observer) {
    observer->pageDone(frame, PageOutcome::NotCaptured, Text(), currentDateTime());
  }
  setTimer(frame, "时钟1", kPollPeriodMs);
}

void addHandlers(app::HandlerTable& table) {
  table.emplace("startOrStopRun", &startOrStopRun);
  table.emplace("pollBrowser", &pollBrowser);
  table.emplace("endDwell", &endDwell);
  table.emplace("chooseCaptureFolder", &chooseCaptureFolder);
  table.emplace("checkCaptureFolder", &checkCaptureFolder);
}

}  // namespace sorvane::run
