#pragma once
// What every backend does alike around its native calls: the widget table,
// teardown children first, the checks before a move to a new parent, the
// checks before a widget's state or a list is touched, the timers, the
// browser's dispatch, and reporting to the program. A backend (the two
// desktops, and the simulated platform the core tests run on) derives from
// this, supplies the native half through the hooks below and implements the
// rest of the seam itself; a new backend is native code only.

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

// Where an exception thrown by the program in a callback ends: at the
// desktop's edge, with a line on stderr (a real desktop's C frames cannot
// take it), or in whoever drives the backend (the simulated platform's test,
// which must see how the program ended).
enum class Exceptions { StopAtDesktop, ReachCaller };

// W is the backend's widget record: what WidgetTree asks of it, and its
// `WidgetKind kind`, which decides the checks.
template <typename W>
class DesktopBackend : public Platform {
 public:
  explicit DesktopBackend(Exceptions exceptions = Exceptions::StopAtDesktop)
      : exceptions_(exceptions) {}

  void setEventSink(EventSink* sink) final { sink_ = sink; }
  bool widgetExists(WidgetId id) const final { return widgets_.contains(id); }

  void destroyWidget(WidgetId id) final { remove(id, true); }

  void setParent(WidgetId child, WidgetId parent) final {
    if (!widgets_.canMove(child, parent) || !holdsChildren(*find(parent))) return;
    moveNative(*find(child), *find(parent));
    widgets_.move(child, parent);
  }

  // A hidden widget exists only to be owned: it is never shown.
  void setVisible(WidgetId id, bool visible) final {
    W* w = find(id);
    if (w && w->kind != WidgetKind::Hidden) showNative(*w, visible);
  }
  bool isVisible(WidgetId id) const final {
    const W* w = find(id);
    return w && w->kind != WidgetKind::Hidden && shownNative(*w);
  }
  void setEnabled(WidgetId id, bool enabled) final {
    if (W* w = find(id)) enableNative(*w, enabled);
  }
  bool isEnabled(WidgetId id) const final {
    const W* w = find(id);
    return w && enabledNative(*w);
  }
  Rect widgetRect(WidgetId id) const final {
    const W* w = find(id);
    return w ? rectNative(*w) : Rect{};
  }
  void setChecked(WidgetId id, bool checked) final {
    W* w = find(id);
    if (w && w->kind == WidgetKind::CheckBox) checkNative(*w, checked);
  }
  bool isChecked(WidgetId id) const final {
    const W* w = find(id);
    return w && w->kind == WidgetKind::CheckBox && checkedNative(*w);
  }

  // List boxes. The backend keeps each item's bytes as given (itemsOf),
  // whatever its native list shows of them.
  int listAdd(WidgetId id, const std::string& item) final {
    W* w = listOf(id);
    return w ? addItemNative(*w, item) : -1;
  }
  bool listDelete(WidgetId id, int index) final {
    W* w = listOf(id);
    return w && index >= 0 && index < countOf(*w) && deleteItemNative(*w, index);
  }
  void listClear(WidgetId id) final {
    if (W* w = listOf(id)) clearItemsNative(*w);
  }
  int listCount(WidgetId id) const final {
    const W* w = listOf(id);
    return w ? countOf(*w) : 0;
  }
  std::string listItem(WidgetId id, int index) const final {
    const W* w = listOf(id);
    if (!w || index < 0 || index >= countOf(*w)) return {};
    return itemsOf(*w)[static_cast<std::size_t>(index)];
  }
  int listSelection(WidgetId id) const final {
    const W* w = listOf(id);
    return w ? selectionNative(*w) : -1;
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

  // The browser: a browser widget's record holds its hosted engine, unless
  // the base holds its page of our own engine.
  void browserNavigate(WidgetId id, const std::string& url) final {
    W* w = find(id);
    if (!w || w->kind != WidgetKind::Browser) return;
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
    return hosted(id, *w) && busyNative(*w);
  }
  void browserStop(WidgetId id) final {
    W* w = find(id);
    if (engine::Page* page = pageOf(id)) page->stop();
    else if (w && hosted(id, *w)) stopNative(*w);
  }
  void browserEndPage(WidgetId id) final {
    W* w = find(id);
    if (engine::Page* page = pageOf(id)) page->end();
    else if (w && hosted(id, *w)) endPageNative(*w);
  }
  PageShows browserShows(WidgetId id) const final {
    const W* w = find(id);
    if (!w || scriptShown_.contains(id)) return PageShows::Nothing;
    if (const engine::Page* page = pageOf(id)) return page->shows();
    return hosted(id, *w) ? showsNative(*w) : PageShows::Nothing;
  }
  void browserShowBlank(WidgetId id) final {
    W* w = find(id);
    if (engine::Page* page = pageOf(id)) page->showBlank();
    else if (w && hosted(id, *w)) showBlankNative(*w);
  }

  // Our own engine's area: what it shows is the picture it takes now.
  std::optional<Pixels> capture(WidgetId id) final {
    if (engine::Page* page = pageOf(id)) return page->picture();
    return captureNative(id);
  }
  std::optional<Document> captureDocument(WidgetId id, int widthLimit, int heightLimit) final {
    if (engine::Page* page = pageOf(id)) {
      if (widthLimit <= 0 || heightLimit <= 0) return std::nullopt;
      return page->document(widthLimit, heightLimit);
    }
    return documentNative(id, widthLimit, heightLimit);
  }

  // As on the classic desktop: the window and group boxes hold controls, and
  // only the controls the user works take the focus and report it (events
  // -8, -7).
  static bool holdsChildren(const W& parent) {
    return parent.kind == WidgetKind::TopLevel || parent.kind == WidgetKind::GroupBox;
  }
  static bool takesFocus(WidgetKind kind) {
    return kind == WidgetKind::Button || kind == WidgetKind::CheckBox ||
           kind == WidgetKind::EditBox || kind == WidgetKind::ListBox;
  }

  // For the backend's native callbacks.
  W* find(WidgetId id) { return widgets_.find(id); }
  const W* find(WidgetId id) const { return widgets_.find(id); }
  bool reporting() const { return sink_ != nullptr; }
  // Tells the program, unless it has gone; what it throws ends where the
  // backend's `Exceptions` says.
  template <typename F>
  void report(F&& tell) {
    if (!sink_) return;
    shielded(0, [&] {
      tell(*sink_);
      return 0;
    });
  }
  void raise(WidgetId id, WidgetEvent event) {
    if (find(id)) report([&](EventSink& sink) { sink.widgetEvent(id, event); });
  }
  // True when the program took the key and the widget must not see it.
  bool offerKey(WidgetId window, Key key, unsigned modifiers) {
    return shielded(false, [&] { return sink_ && sink_->keyDown(window, key, modifiers); });
  }
  // Runs the tick of a timer still running. The tick may stop this very
  // timer, so its callable is held until it returns.
  void tick(TimerId id) const {
    if (std::shared_ptr<std::function<void()>> work = timers_.tickOf(id))
      shielded(0, [&] {
        (*work)();
        return 0;
      });
  }
  // A widget the desktop destroyed on its own (the system closed a window).
  void forget(WidgetId id) { remove(id, false); }

 protected:
  // Moves the native child into the native parent at the same left/top.
  virtual void moveNative(W& child, W& parent) = 0;
  // Destroys the native widget and, with it, its children; their records
  // are out of the table already.
  virtual void destroyNative(W& widget) = 0;
  // Starts the native timer that calls tick(id); its handle, or nothing.
  virtual std::optional<std::uintptr_t> armTimer(TimerId id, int periodMs) = 0;
  virtual void disarmTimer(TimerId id, std::uintptr_t native) = 0;
  // A widget's own state; never a hidden widget's visibility, and `checked`
  // only of a check box, whose native writing raises no click.
  virtual void showNative(W& widget, bool visible) = 0;
  virtual bool shownNative(const W& widget) const = 0;
  virtual void enableNative(W& widget, bool enabled) = 0;
  virtual bool enabledNative(const W& widget) const = 0;
  // Left/top in the parent's client area; width/height of the widget.
  virtual Rect rectNative(const W& widget) const = 0;
  virtual void checkNative(W& checkBox, bool checked) = 0;
  virtual bool checkedNative(const W& checkBox) const = 0;
  // A list box's items, each as the program gave it; the hooks that change
  // them change the native list alike and raise no list event. `index` is in
  // range.
  virtual const std::vector<std::string>& itemsOf(const W& list) const = 0;
  virtual int addItemNative(W& list, const std::string& item) = 0;  // its index, or -1
  virtual bool deleteItemNative(W& list, int index) = 0;
  virtual void clearItemsNative(W& list) = 0;
  virtual int selectionNative(const W& list) const = 0;  // -1 for none
  // Pixels and documents of what is not our own engine's.
  virtual std::optional<Pixels> captureNative(WidgetId id) = 0;
  virtual std::optional<Document> documentNative(WidgetId browser, int widthLimit,
                                                 int heightLimit) = 0;
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
  // A browser widget whose engine is the one this backend hosts.
  bool hosted(WidgetId id, const W& w) const {
    return w.kind == WidgetKind::Browser && !pageOf(id);
  }
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
  W* listOf(WidgetId id) {
    W* w = find(id);
    return w && w->kind == WidgetKind::ListBox ? w : nullptr;
  }
  const W* listOf(WidgetId id) const {
    const W* w = find(id);
    return w && w->kind == WidgetKind::ListBox ? w : nullptr;
  }
  int countOf(const W& list) const { return static_cast<int>(itemsOf(list).size()); }

  template <typename R, typename F>
  R shielded(R fallback, F&& f) const {
    if (exceptions_ == Exceptions::ReachCaller) return f();
    return guarded(fallback, std::forward<F>(f));
  }

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

  const Exceptions exceptions_;
  EventSink* sink_ = nullptr;
  TimerTable timers_;
  std::set<WidgetId> scriptShown_;  // browsers whose latest address was a script
  engine::Browser* pageEngine_ = nullptr;
  std::map<WidgetId, std::unique_ptr<engine::Page>> pages_;
};

}  // namespace sorvane::platform::common
