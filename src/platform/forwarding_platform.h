#pragma once
// A platform that hands every call to another one. Derive from it to change
// a few calls of a desktop (a run nobody watches, a benchmark that times one
// step) and keep the rest exactly as they are.

#include <cstdlib>

#include "platform/platform.h"

namespace sorvane::platform {

class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& target) : target_(target) {}

  void setEventSink(EventSink* sink) override { target_.setEventSink(sink); }
  WidgetId createWidget(const WidgetSpec& widgetSpec) override {
    return target_.createWidget(widgetSpec);
  }
  void destroyWidget(WidgetId w) override { target_.destroyWidget(w); }
  bool widgetExists(WidgetId w) const override { return target_.widgetExists(w); }
  void setParent(WidgetId child, WidgetId parent) override { target_.setParent(child, parent); }
  void setVisible(WidgetId w, bool on) override { target_.setVisible(w, on); }
  bool isVisible(WidgetId w) const override { return target_.isVisible(w); }
  void setEnabled(WidgetId w, bool on) override { target_.setEnabled(w, on); }
  bool isEnabled(WidgetId w) const override { return target_.isEnabled(w); }
  Rect widgetRect(WidgetId w) const override { return target_.widgetRect(w); }
  void setText(WidgetId w, const std::string& text) override { target_.setText(w, text); }
  std::string text(WidgetId w) const override { return target_.text(w); }
  void setChecked(WidgetId w, bool on) override { target_.setChecked(w, on); }
  bool isChecked(WidgetId w) const override { return target_.isChecked(w); }
  int listAdd(WidgetId list, const std::string& item) override {
    return target_.listAdd(list, item);
  }
  bool listDelete(WidgetId list, int index) override { return target_.listDelete(list, index); }
  void listClear(WidgetId list) override { target_.listClear(list); }
  int listCount(WidgetId list) const override { return target_.listCount(list); }
  std::string listItem(WidgetId list, int index) const override {
    return target_.listItem(list, index);
  }
  int listSelection(WidgetId list) const override { return target_.listSelection(list); }
  WidgetId focusedWidget() const override { return target_.focusedWidget(); }
  void setFocus(WidgetId w) override { target_.setFocus(w); }
  void browserNavigate(WidgetId browser, const std::string& url) override {
    target_.browserNavigate(browser, url);
  }
  bool browserBusy(WidgetId browser) const override { return target_.browserBusy(browser); }
  void browserStop(WidgetId browser) override { target_.browserStop(browser); }
  void browserEndPage(WidgetId browser) override { target_.browserEndPage(browser); }
  PageShows browserShows(WidgetId browser) const override { return target_.browserShows(browser); }
  void browserShowBlank(WidgetId browser) override { target_.browserShowBlank(browser); }
  std::optional<Pixels> capture(WidgetId w) override { return target_.capture(w); }
  Rect workArea() const override { return target_.workArea(); }
  std::optional<Document> captureDocument(WidgetId w, int widthLimit, int heightLimit) override {
    return target_.captureDocument(w, widthLimit, heightLimit);
  }
  TimerId startTimer(int periodMs, std::function<void()> tick) override {
    return target_.startTimer(periodMs, std::move(tick));
  }
  void stopTimer(TimerId timer) override { target_.stopTimer(timer); }
  LocalTime localTimeNow() const override { return target_.localTimeNow(); }
  std::int64_t monotonicMs() const override { return target_.monotonicMs(); }
  int messageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    return target_.messageBox(text, caption, flags);
  }
  std::optional<std::string> browseForFolder(const std::string& prompt,
                                             bool includeFiles) override {
    return target_.browseForFolder(prompt, includeFiles);
  }
  std::optional<std::string> fileDialog(const FileDialogRequest& request) override {
    return target_.fileDialog(request);
  }
  void runLoop() override { target_.runLoop(); }
  void quitLoop() override { target_.quitLoop(); }
  void whenIdle(std::function<void()> work) override { target_.whenIdle(std::move(work)); }
  void keepAwake(bool on) override { target_.keepAwake(on); }
  void showProgress(int done, int total) override { target_.showProgress(done, total); }
  void writeStandardStream(StandardStream stream, const std::string& text) override {
    target_.writeStandardStream(stream, text);
  }
  [[noreturn]] void exitProcess(int code) override {
    target_.exitProcess(code);
    std::abort();  // the target's never comes back
  }

 protected:
  Platform& target() { return target_; }
  const Platform& target() const { return target_; }

 private:
  Platform& target_;
};

}  // namespace sorvane::platform
