#pragma once
// The frame every handler runs inside: start-up, the loop, raising events into
// the bindings, the control model's property and method access, the fatal
// error path and shutdown.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/control_model.h"
#include "app/control_names.h"
#include "app/layout.h"
#include "app/service_hooks.h"
#include "platform/platform.h"
#include "services/values.h"

namespace sorvane::app {

class Frame;
using Handler = std::function<void(Frame&)>;
using HandlerTable = std::map<std::string, Handler, std::less<>>;

// The program-wide variables of the handlers; the run keeps its own (run::Run).
struct ProgramVariables {
  TextArray urlArray;  // members numbered from 1 by the handlers
};

struct Control {
  std::string name;
  ControlType type = ControlType::Label;
  int parent = -1;  // index of the group box it lies in, -1 for the main window
  platform::Rect rect;
  unsigned flags = 0;
  std::size_t layoutOrder = 0;
  std::vector<std::uint8_t> settings;
  platform::WidgetId widget = 0;
  std::map<int, Value> stored;  // properties the model keeps itself
  std::map<int, Handler> bindings;
  std::vector<std::int32_t> itemData;  // list boxes
  std::int32_t period = 0;              // timers
  platform::TimerId timerId = 0;
  bool timerRunning = false;
};

enum class FrameState { Created, Starting, Running, Stopping };

class Frame final : public platform::EventSink {
 public:
  // Every handler the layout's bindings name must be in the table, callable:
  // startUp otherwise ends through the fatal error path, naming the first.
  Frame(platform::Platform& platform, HandlerTable handlers);
  ~Frame() override;
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  // The whole start routine: start-up, the loop, shutdown. Returns the exit
  // code, 0; a fatal error ends the process through the platform instead.
  int run();
  // Its pieces, so that tests on the simulated platform can drive the program
  // between start-up and shutdown.
  void startUp();
  // Before startUp: the browser area at this size instead of the layout's.
  void setBrowserSize(int width, int height) { browserSize_ = {width, height}; }
  void runMessageLoop();
  void shutdown();

  [[noreturn]] void fatalError(std::int32_t code, const Text& message);
  static Text fatalReportText(std::int32_t code, const Text& message);

  // urlArray[i] with the index check: below 1 is code 4, past the end code 1.
  const Text& urlAt(std::int32_t index);

  ProgramVariables& vars() { return vars_; }
  platform::Platform& platform() { return platform_; }
  FrameState state() const { return state_; }
  int stopCounter() const { return stopCounter_; }
  bool loopEntered() const { return loopEntered_; }
  bool mainWindowLoaded() const { return mainWindow_ != 0; }
  platform::WidgetId mainWindow() const { return mainWindow_; }
  const std::vector<Control>& controls() const { return controls_; }
  std::function<void()>& cleanupRoutine() { return cleanup_; }

  // A control of the layout, resolved once at start-up.
  Control& control(ControlName name);
  // The same for a name known only at run time (or the window's own); a name
  // that is neither throws.
  Control& controlNamed(std::string_view name);
  Control* controlForWidget(platform::WidgetId widget);
  Control& window() { return window_; }

  // Properties by number.
  Value read(Control& control, int number);
  void write(Control& control, int number, const Value& value);
  Text readText(Control& control, int number);
  std::int32_t readInt(Control& control, int number);
  void writeText(Control& control, int number, const Text& text) { write(control, number, text); }
  void writeInt(Control& control, int number, std::int32_t value) { write(control, number, value); }

  // Methods.
  std::int32_t addItem(Control& list, const Text& item, std::int32_t data = 0);
  Text getItemText(Control& list, std::int32_t index);
  bool deleteItem(Control& list, std::int32_t index);
  void clear(Control& list);
  bool openDialog(Control& dialog);
  std::uint32_t windowHandle(Control& control);
  void navigate(Control& browser, const Text& url);
  bool busy(Control& browser);
  // Ends the browser's load in progress; not one of the control's methods, but
  // what a new run needs when a page from before never finishes.
  void stopLoading(Control& browser);
  // For a load that does not stop: ends the engine's work for the page.
  void endPage(Control& browser);
  platform::PageShows pageShows(Control& browser);
  // Clears the view to a blank page until the next navigate.
  void showBlank(Control& browser);

  // One timer of the program's own besides the layout's: it ticks only while
  // the frame takes events, and stops with the others at shutdown. Starting
  // it again replaces the tick and restarts the period.
  void startWatch(std::int32_t periodMs, Handler tick);
  void stopWatch();
  bool watchRunning() const { return watchTimer_ != 0; }

  // Raises event n of a control: runs its bound handler, if any.
  void raiseEvent(Control* control, int eventNumber);

  // Part of keyboard handling, exposed for tests.
  std::vector<Control*> tabCycle();
  bool handleKey(platform::Key key, unsigned modifiers);

  // EventSink.
  void widgetEvent(platform::WidgetId widget, platform::WidgetEvent event) override;
  void closeRequested(platform::WidgetId window) override;
  void widgetDestroyed(platform::WidgetId widget) override;
  bool keyDown(platform::WidgetId window, platform::Key key, unsigned modifiers) override;
  void windowActivated(platform::WidgetId window) override;
  void windowDeactivated(platform::WidgetId window) override;

 private:
  bool buildMainWindow(const WindowLayout& layout);
  void resolveBindings(const WindowLayout& layout);
  void initialiseStored(Control& control, const std::vector<LayoutValue>& values);
  Control& checkedForAccess(Control& control, int number);
  void writePeriod(Control& timer, std::int32_t period);
  void stopAllTimers();
  void moveFocus(bool forward);
  void focusFirstCandidate();
  std::int32_t storedInt(Control& control, int number);
  Text storedText(Control& control, int number);

  platform::Platform& platform_;
  HandlerTable handlers_;
  ProgramVariables vars_;
  std::optional<std::pair<int, int>> browserSize_;
  FrameState state_ = FrameState::Created;
  int stopCounter_ = 0;
  bool loopEntered_ = false;
  bool shuttingDown_ = false;
  platform::WidgetId mainWindow_ = 0;
  Control window_;
  std::vector<Control> controls_;
  std::array<Control*, kControlNames.size()> named_{};  // into controls_, by ControlName
  std::function<void()> cleanup_;
  platform::WidgetId rememberedFocus_ = 0;
  platform::TimerId watchTimer_ = 0;
  Handler watch_;
  std::optional<ServiceHooks> hooks_;
};

}  // namespace sorvane::app
