#include "app/frame.h"

#include <cstdlib>
#include <new>
#include <stdexcept>

#include "app/dialogs.h"
#include "app/service_hooks.h"
#include "services/conversions.h"
#include "services/memory.h"
#include "services/own_text.h"
#include "services/process.h"

namespace sorvane::app {
namespace {

// The hooks' context is the frame that holds them.
void onAllocationFailure(std::size_t bytes) {
  if (auto* frame = static_cast<Frame*>(ServiceHooks::currentContext()))
    frame->fatalError(0, allocationFailureMessage(bytes));
  std::abort();
}

CivilTime platformClock(void* context) {
  platform::LocalTime t = static_cast<Frame*>(context)->platform().localTimeNow();
  return {t.year, t.month, t.day, t.hour, t.minute, t.second};
}

}  // namespace

Frame::Frame(platform::Platform& platform, HandlerTable handlers)
    : platform_(platform), handlers_(std::move(handlers)) {}

Frame::~Frame() {
  // A frame may end without shutdown (a test, an exception on the way out):
  // the ticks hold this frame and its controls, so none may outlive them.
  stopAllTimers();
  hooks_.reset();
  platform_.setEventSink(nullptr);
}

int Frame::run() {
  startUp();
  runMessageLoop();
  shutdown();
  return 0;
}

void Frame::startUp() {
  state_ = FrameState::Starting;
  // Every run-time allocation failure ends here, with the byte count; the
  // services show their boxes and read the time through this frame's
  // platform, for as long as the frame lives.
  hooks_.emplace(platform_, &platformClock, this, &onAllocationFailure);

  // The program's own folder becomes the current directory, so that relative
  // paths mean the same thing however the program was started.
  SplitPath self = splitProgramPath(executablePath());
  setCurrentFolder(self.folder);

  // The controls call back into the frame from here on.
  platform_.setEventSink(this);

  std::optional<WindowLayout> layout = loadMainWindowLayout();
  if (!layout) fatalError(0, ownText("载入窗口模板数据段出错!"));
  if (browserSize_)
    fitBrowserArea(*layout, browserSize_->first, browserSize_->second, platform_.workArea());

  vars_ = ProgramVariables{};
  cleanup_ = [this] {
    vars_.urlArray.clear();
    vars_.urlArray.shrink_to_fit();
  };

  // A binding whose handler is not in the table would leave its control dead
  // without a word; it is a wiring fault, told before any window shows.
  for (const Binding& b : layout->bindings) {
    const auto handler = handlers_.find(b.handler);
    if (handler == handlers_.end() || !handler->second)
      fatalError(0, ownText("未找到事件处理程序：") + Text(b.handler));
  }

  if (!buildMainWindow(*layout)) fatalError(0, ownText("载入启动窗口失败"));
  resolveBindings(*layout);
  state_ = FrameState::Running;
}

void Frame::runMessageLoop() {
  loopEntered_ = true;
  if (!mainWindowLoaded()) return;
  platform_.runLoop();
}

void Frame::shutdown() {
  ++stopCounter_;
  state_ = FrameState::Stopping;
  shuttingDown_ = true;
  stopAllTimers();
  if (mainWindow_ != 0) platform_.destroyWidget(mainWindow_);
  if (cleanup_) {
    auto routine = std::move(cleanup_);
    cleanup_ = nullptr;
    routine();
  }
}

Text Frame::fatalReportText(std::int32_t code, const Text& message) {
  Text report = ownText("运行时出错!\r\n\r\n");
  if (code != 0) report += ownText("错误代码：") + toText(code) + Text("\r\n\r\n");
  if (!message.empty()) report += ownText("错误信息：") + message + Text("\r\n");
  return report;
}

void Frame::fatalError(std::int32_t code, const Text& message) {
  // No tick, click or other event may run a handler while the report is up.
  ++stopCounter_;
  platform_.messageBox(fatalReportText(code, message).bytes(), ownText("错误").bytes(),
                       platform::box::kOk | platform::box::kIconError | platform::box::kTaskModal);
  cleanup_ = nullptr;  // the clean-up routine does not run after a fatal error
  shutdown();
  platform_.exitProcess(-1);
  std::abort();  // a backend's exitProcess never comes back
}

const Text& Frame::urlAt(std::int32_t index) {
  if (index < 1) fatalError(4, ownText("数组成员引用下标必须大于等于1"));
  if (static_cast<std::size_t>(index) > vars_.urlArray.size())
    fatalError(1, ownText("数组成员引用下标超出定义范围"));
  return vars_.urlArray[static_cast<std::size_t>(index) - 1];
}

Control& Frame::control(ControlName name) {
  if (Control* c = named_[name.index()]) return *c;
  // Before start-up there are no controls to reach: a bug in the caller.
  throw std::logic_error("no control yet named " + std::string(name.text()));
}

Control& Frame::controlNamed(std::string_view name) {
  if (const std::optional<std::size_t> index = findControlName(name); index && named_[*index])
    return *named_[*index];
  if (window_.name == name) return window_;
  // Only the program's own code names controls; a wrong name is a bug.
  throw std::logic_error("no control named " + std::string(name));
}

Control* Frame::controlForWidget(platform::WidgetId widget) {
  if (widget == 0) return nullptr;
  if (widget == window_.widget) return &window_;
  for (Control& c : controls_) {
    if (c.widget == widget) return &c;
  }
  return nullptr;
}

void Frame::raiseEvent(Control* control, int eventNumber) {
  if (stopCounter_ > 0 || shuttingDown_) return;
  if (!mainWindowLoaded()) fatalError(0, ownText("未找到引发事件的窗口"));
  if (control == nullptr) fatalError(0, ownText("未找到引发事件的窗口组件"));
  auto binding = control->bindings.find(eventNumber);
  if (binding == control->bindings.end()) return;
  Handler handler = binding->second;  // a copy: the handler may outlive a rebind
  try {
    handler(*this);
  } catch (const std::bad_alloc&) {
    allocationFailed(0);
  }
}

void Frame::widgetEvent(platform::WidgetId widget, platform::WidgetEvent event) {
  if (stopCounter_ > 0 || shuttingDown_) return;
  raiseEvent(controlForWidget(widget), event::numberOf(event));
}

void Frame::closeRequested(platform::WidgetId window) {
  // The window's close event is not bound, so a close request always closes.
  if (window == mainWindow_ && mainWindow_ != 0) platform_.destroyWidget(mainWindow_);
}

void Frame::widgetDestroyed(platform::WidgetId widget) {
  if (Control* c = controlForWidget(widget)) {
    if (c->type == ControlType::Timer && c->timerRunning) {
      platform_.stopTimer(c->timerId);
      c->timerRunning = false;
    }
    c->widget = 0;
  }
  if (widget == mainWindow_ && mainWindow_ != 0) {
    mainWindow_ = 0;
    stopAllTimers();
    if (loopEntered_) platform_.quitLoop();
  }
}

void Frame::startWatch(std::int32_t periodMs, Handler tick) {
  stopWatch();
  watch_ = std::move(tick);
  if (periodMs <= 0) return;
  watchTimer_ = platform_.startTimer(periodMs, [this] {
    if (stopCounter_ > 0 || shuttingDown_ || !watch_) return;
    Handler tick = watch_;  // a copy: the tick may replace or stop the watch
    try {
      tick(*this);
    } catch (const std::bad_alloc&) {
      allocationFailed(0);
    }
  });
}

void Frame::stopWatch() {
  if (watchTimer_ != 0) platform_.stopTimer(watchTimer_);
  watchTimer_ = 0;
  watch_ = nullptr;
}

void Frame::stopAllTimers() {
  stopWatch();
  for (Control& c : controls_) {
    if (c.type == ControlType::Timer && c.timerRunning) {
      platform_.stopTimer(c.timerId);
      c.timerRunning = false;
    }
  }
}

void Frame::resolveBindings(const WindowLayout& layout) {
  for (const Binding& b : layout.bindings) {
    control(b.control).bindings[b.eventNumber] = handlers_.find(b.handler)->second;
  }
}

}  // namespace sorvane::app
