#pragma once
// The desktop of a run that nobody watches: everything goes to the real
// platform except what would wait for a person. A message box (the fatal
// error report included) becomes a line on standard error and takes its
// default button at once; the folder picker and the file dialogs are refused
// as if cancelled. The window and its timers are the real ones.

#include <cstdlib>

#include "platform/platform.h"

namespace sorvane::cli {

// The result of the box's default button (flags 0x100, 0x200 pick the second
// and third), as if a person had pressed Enter.
int defaultBoxAnswer(unsigned flags);

class UnattendedPlatform final : public platform::Platform {
 public:
  explicit UnattendedPlatform(platform::Platform& desktop) : desktop_(desktop) {}

  int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  std::string browseForFolder(const std::string& prompt, bool includeFiles) override;
  std::optional<std::string> fileDialog(const platform::FileDialogRequest& request) override;

  // The rest is the desktop's own.
  void setEventSink(platform::EventSink* sink) override { desktop_.setEventSink(sink); }
  platform::WidgetId createWidget(const platform::WidgetSpec& widgetSpec) override {
    return desktop_.createWidget(widgetSpec);
  }
  void destroyWidget(platform::WidgetId w) override { desktop_.destroyWidget(w); }
  bool widgetExists(platform::WidgetId w) const override { return desktop_.widgetExists(w); }
  void setParent(platform::WidgetId child, platform::WidgetId parent) override {
    desktop_.setParent(child, parent);
  }
  void setVisible(platform::WidgetId w, bool on) override { desktop_.setVisible(w, on); }
  bool isVisible(platform::WidgetId w) const override { return desktop_.isVisible(w); }
  void setEnabled(platform::WidgetId w, bool on) override { desktop_.setEnabled(w, on); }
  bool isEnabled(platform::WidgetId w) const override { return desktop_.isEnabled(w); }
  platform::Rect widgetRect(platform::WidgetId w) const override { return desktop_.widgetRect(w); }
  void setText(platform::WidgetId w, const std::string& text) override {
    desktop_.setText(w, text);
  }
  std::string text(platform::WidgetId w) const override { return desktop_.text(w); }
  void setChecked(platform::WidgetId w, bool on) override { desktop_.setChecked(w, on); }
  bool isChecked(platform::WidgetId w) const override { return desktop_.isChecked(w); }
  int listAdd(platform::WidgetId list, const std::string& item) override {
    return desktop_.listAdd(list, item);
  }
  bool listDelete(platform::WidgetId list, int index) override {
    return desktop_.listDelete(list, index);
  }
  void listClear(platform::WidgetId list) override { desktop_.listClear(list); }
  int listCount(platform::WidgetId list) const override { return desktop_.listCount(list); }
  std::string listItem(platform::WidgetId list, int index) const override {
    return desktop_.listItem(list, index);
  }
  int listSelection(platform::WidgetId list) const override { return desktop_.listSelection(list); }
  platform::WidgetId focusedWidget() const override { return desktop_.focusedWidget(); }
  void setFocus(platform::WidgetId w) override { desktop_.setFocus(w); }
  void browserNavigate(platform::WidgetId browser, const std::string& url) override {
    desktop_.browserNavigate(browser, url);
  }
  bool browserBusy(platform::WidgetId browser) const override {
    return desktop_.browserBusy(browser);
  }
  void browserStop(platform::WidgetId browser) override { desktop_.browserStop(browser); }
  bool capture(platform::WidgetId w, platform::Pixels& out) override {
    return desktop_.capture(w, out);
  }
  platform::TimerId startTimer(int periodMs, std::function<void()> tick) override {
    return desktop_.startTimer(periodMs, std::move(tick));
  }
  void stopTimer(platform::TimerId timer) override { desktop_.stopTimer(timer); }
  platform::LocalTime localTimeNow() const override { return desktop_.localTimeNow(); }
  std::int64_t monotonicMs() const override { return desktop_.monotonicMs(); }
  void runLoop() override { desktop_.runLoop(); }
  void quitLoop() override { desktop_.quitLoop(); }
  void whenIdle(std::function<void()> work) override { desktop_.whenIdle(std::move(work)); }
  void writeStandardStream(platform::StandardStream stream, const std::string& text) override {
    desktop_.writeStandardStream(stream, text);
  }
  [[noreturn]] void exitProcess(int code) override {
    desktop_.exitProcess(code);
    std::abort();  // the desktop's never comes back
  }

 private:
  platform::Platform& desktop_;
};

}  // namespace sorvane::cli
