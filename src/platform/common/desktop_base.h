#pragma once
// What the desktop backends do alike around their native calls: the widget
// table, teardown children first, the checks before a move to a new parent,
// the timers, and reporting to the program. A backend derives from this,
// supplies the native half through the hooks below and implements the rest of
// the seam itself; a new backend is native code only.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/browser.h"
#include "engine/page.h"
#include "platform/common/guarded.h"
#include "platform/common/timer_table.h"
#include "platform/common/widget_tree.h"
#include "platform/platform.h"
#include "platform/script_address.h"

namespace sorvane::platform::common {

template <typename W>
class DesktopBackend : public Platform {
 public:
  void setEventSink(EventSink* sink) final { sink_ = sink; }
  bool widgetExists(WidgetId id) const final { return widgets_.contains(id); }

  void destroyWidget(WidgetId id) final { remove(id, true); }

  void setParent(WidgetId child, WidgetId parent) final {
    if (!widgets_.canMove(child, parent) || !holdsChildren(*find(parent))) return;
    moveNative(*find(child), *find(parent));
    widgets_.move(child, parent);
  }

  TimerId startTimer(int periodMs, std::function<void()> tick) final {
    if (periodMs <= 0 || !tick) return 0;
    const TimerId id = timers_.add(std::move(tick));
    const std::optional<std::uintptr_t> native = armTimer(id, periodMs);
    if (!native) {
      timers_.remove(id);
      return 0;
    }
    timers_.setNative(id, *native);
    return id;
  }
  void stopTimer(TimerId id) final {
    if (const std::optional<std::uintptr_t> native = timers_.remove(id)) disarmTimer(id, *native);
  }

  // Pages from a browser of our own (engine/) instead of the engine this
  // desktop hosts, for the browser widgets made from now on; nullptr goes
  // back to the hosted one. The browser must outlive those widgets.
  void usePageEngine(engine::Browser* browser) { pageEngine_ = browser; }
  engine::Browser* pageEngine() const { return pageEngine_; }

  // The browser: the widget's record holds its hosted engine as `browser`,
  // or the base holds its page of our own engine.
  void browserNavigate(WidgetId id, const std::string& url) final {
    W* w = find(id);
    if (!w || !hasBrowser(id, *w)) return;
    // A script address runs against the page on show and loads nothing: the
    // engine would be left busy for good or change the page under the run.
    // It stands for a page with nothing of its own to show.
    if (isScriptAddress(url)) {
      scriptShown_.insert(id);
      if (engine::Page* page = pageOf(id)) page->showBlank();
      else showBlankNative(*w);
      return;
    }
    scriptShown_.erase(id);
    if (engine::Page* page = pageOf(id)) page->navigate(pageAddress(url));
    else navigateNative(*w, url);
  }
  bool browserBusy(WidgetId id) const final {
    const W* w = find(id);
    if (!w || scriptShown_.contains(id)) return false;
    if (const engine::Page* page = pageOf(id)) return page->busy();
    return w->browser && busyNative(*w);
  }
  void browserStop(WidgetId id) final {
    W* w = find(id);
    if (engine::Page* page = pageOf(id)) page->stop();
    else if (w && w->browser) stopNative(*w);
  }
  void browserEndPage(WidgetId id) final {
    W* w = find(id);
    if (engine::Page* page = pageOf(id)) page->end();
    else if (w && w->browser) endPageNative(*w);
  }
  PageShows browserShows(WidgetId id) const final {
    const W* w = find(id);
    if (!w || scriptShown_.contains(id)) return PageShows::Nothing;
    if (const engine::Page* page = pageOf(id)) return page->shows();
    return w->browser ? showsNative(*w) : PageShows::Nothing;
  }
  void browserShowBlank(WidgetId id) final {
    W* w = find(id);
    if (engine::Page* page = pageOf(id)) page->showBlank();
    else if (w && w->browser) showBlankNative(*w);
  }

  // For the backend's native callbacks.
  W* find(WidgetId id) { return widgets_.find(id); }
  const W* find(WidgetId id) const { return widgets_.find(id); }
  bool reporting() const { return sink_ != nullptr; }
  // Tells the program, unless it has gone; nothing it throws passes back
  // into the desktop.
  template <typename F>
  void report(F&& tell) {
    if (!sink_) return;
    guarded(0, [&] {
      tell(*sink_);
      return 0;
    });
  }
  void raise(WidgetId id, WidgetEvent event) {
    if (find(id)) report([&](EventSink& sink) { sink.widgetEvent(id, event); });
  }
  // True when the program took the key and the widget must not see it.
  bool offerKey(WidgetId window, Key key, unsigned modifiers) {
    return guarded(false, [&] { return sink_ && sink_->keyDown(window, key, modifiers); });
  }
  void tick(TimerId id) const { timers_.tick(id); }
  // A widget the desktop destroyed on its own (the system closed a window).
  void forget(WidgetId id) { remove(id, false); }

 protected:
  // Whether this widget's native form can hold children.
  virtual bool holdsChildren(const W& parent) const = 0;
  // Moves the native child into the native parent at the same left/top.
  virtual void moveNative(W& child, W& parent) = 0;
  // Destroys the native widget and, with it, its children; their records
  // are out of the table already.
  virtual void destroyNative(W& widget) = 0;
  // Starts the native timer that calls tick(id); its handle, or nothing.
  virtual std::optional<std::uintptr_t> armTimer(TimerId id, int periodMs) = 0;
  virtual void disarmTimer(TimerId id, std::uintptr_t native) = 0;
  // The browser's engine, for a widget that has one.
  virtual void navigateNative(W& browser, const std::string& url) = 0;
  virtual bool busyNative(const W& browser) const = 0;
  virtual void stopNative(W& browser) = 0;
  virtual void endPageNative(W& browser) = 0;
  virtual PageShows showsNative(const W& browser) const = 0;
  virtual void showBlankNative(W& browser) = 0;
  // An address as our own engine takes it: UTF-8, completed as the hosted
  // engine would complete it.
  virtual std::string pageAddress(const std::string& url) const = 0;

  // For a browser widget made while pageEngine() is set: its page, sized as
  // the widget, showing its frames through `shown`.
  engine::Page* attachPage(WidgetId id, int width, int height, engine::Page::Shown shown) {
    if (!pageEngine_) return nullptr;
    auto& slot = pages_[id];
    slot = std::make_unique<engine::Page>(*pageEngine_, width, height, std::move(shown));
    return slot.get();
  }
  bool hasBrowser(WidgetId id, const W& w) const { return w.browser || pageOf(id); }
  engine::Page* pageOf(WidgetId id) {
    auto it = pages_.find(id);
    return it == pages_.end() ? nullptr : it->second.get();
  }
  const engine::Page* pageOf(WidgetId id) const {
    auto it = pages_.find(id);
    return it == pages_.end() ? nullptr : it->second.get();
  }

  // First in the backend's destructor, while its native half still works:
  // stops the timers and destroys the windows, and reports none of it.
  void tearDown() {
    sink_ = nullptr;
    pages_.clear();
    for (const auto& [id, native] : timers_.removeAll()) disarmTimer(id, native);
    for (WidgetId id : widgets_.roots()) destroyWidget(id);
  }

  WidgetTree<W> widgets_;

 private:
  // The records go first: the desktop still sends focus and activation
  // messages while it tears the widgets down, and those must find nothing to
  // report. `native`: the native widgets are still there to destroy.
  void remove(WidgetId id, bool native) {
    typename WidgetTree<W>::Removed removed = widgets_.takeOut(id);
    if (removed.order.empty()) return;
    for (WidgetId gone : removed.order) {
      scriptShown_.erase(gone);
      pages_.erase(gone);
    }
    if (native) destroyNative(removed.records.back());
    removed.records.clear();  // what they own (a browser's host) outlives the native widgets
    for (WidgetId gone : removed.order)
      report([&](EventSink& sink) { sink.widgetDestroyed(gone); });
  }

  EventSink* sink_ = nullptr;
  TimerTable timers_;
  std::set<WidgetId> scriptShown_;  // browsers whose latest address was a script
  engine::Browser* pageEngine_ = nullptr;
  std::map<WidgetId, std::unique_ptr<engine::Page>> pages_;
};

}  // namespace sorvane::platform::common
