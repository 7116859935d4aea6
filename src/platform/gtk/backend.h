#pragma once
// Internals shared by the files of the GTK backend; nothing outside this folder
// includes it. WebKit stays out of this header (it is slow to compile and only
// browser.cpp needs it).

#include <gtk/gtk.h>

#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/common/desktop_base.h"
#include "platform/platform.h"

namespace sorvane::platform::gtk {

// Owns one reference of a GObject.
template <typename T>
class GRef {
 public:
  GRef() = default;
  explicit GRef(T* adopted) : p_(adopted) {}
  GRef(const GRef&) = delete;
  GRef& operator=(const GRef&) = delete;
  GRef(GRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  GRef& operator=(GRef&& o) noexcept {
    reset(std::exchange(o.p_, nullptr));
    return *this;
  }
  ~GRef() { reset(); }
  void reset(T* adopted = nullptr) {
    if (p_) g_object_unref(p_);
    p_ = adopted;
  }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// Owns a string or block that GLib allocated.
struct GFreeDeleter {
  void operator()(gpointer p) const { g_free(p); }
};
using GChars = std::unique_ptr<gchar, GFreeDeleter>;

using common::guarded;

// UTF-8 that GTK accepts: invalid sequences become U+FFFD.
std::string validUtf8(const std::string& bytes);

// Applies a style sheet to one widget only.
void styleWidget(GtkWidget* widget, const std::string& css);
// "#rrggbb" from 0x00BBGGRR.
std::string cssColour(std::uint32_t bgr);

// Owns a dialog window until the function that showed it returns.
struct DialogGuard {
  explicit DialogGuard(GtkWidget* d);
  DialogGuard(const DialogGuard&) = delete;
  DialogGuard& operator=(const DialogGuard&) = delete;
  ~DialogGuard();
  GtkWidget* dialog;
};

// The browser area when pages come from our own engine (engine_area.cpp).
struct EngineArea;
struct EngineAreaDeleter {
  void operator()(EngineArea* area) const;
};

typedef struct _WebKitWebView WebKitWebView;
struct BrowserView;  // browser.cpp
struct BrowserViewDeleter {
  void operator()(BrowserView* view) const;
};
using BrowserViewPtr = std::unique_ptr<BrowserView, BrowserViewDeleter>;

// Makes the browser's place with its input shield (the engine's view inside
// follows when first needed); nullptr when the settings are not supported.
// The widget to place is browserWidget().
BrowserViewPtr makeBrowserView(const BrowserSettings& settings);
GtkWidget* browserWidget(BrowserView& view);
void navigateBrowser(BrowserView& view, const std::string& url);
bool isBrowserBusy(const BrowserView& view);
void stopBrowser(BrowserView& view);
void endBrowserPage(BrowserView& view);
// The engine's view while it shows a page of its own to draw; nullptr while
// a stand-in or the blank cover is shown, or its process is gone.
WebKitWebView* pageView(BrowserView& view);
// Connects the view so that nothing its pages ask for opens a window, a
// dialog or a file (page_refusals.cpp).
void refusePageRequests(WebKitWebView* view);

// Cairo's 32-bit pixels as blue, green, red.
void surfaceToBgr(cairo_surface_t* surface, Pixels& out);

// The program's main window among the toplevels, or null; for tests and
// benchmarks that look at what GTK shows.
GtkWindow* mainGtkWindow();

struct ListItems {
  GtkTreeSelection* selection = nullptr;
  std::vector<std::string> items;  // the exact bytes given, in display order
  bool userInput = false;          // a click or key is being handled by the tree view
};

struct Widget {
  WidgetKind kind = WidgetKind::Hidden;
  WidgetId parent = 0;
  std::vector<WidgetId> children;
  Rect rect;
  GtkWidget* outer =
      nullptr;  // what sits in the parent's container (the window itself for the top level)
  GtkWidget* inner = nullptr;      // what takes the focus and carries the content
  GtkWidget* container = nullptr;  // the GtkFixed that holds children (top level, group box)
  GtkWidget* caption = nullptr;    // the GtkLabel of a button or check box
  common::ExactText<std::string> text;  // as written, and as handed to GTK
  bool enabled = true;
  gulong quietHandler = 0;  // blocked while the program itself changes the widget
  std::unique_ptr<ListItems> list;
  BrowserViewPtr browser;
  std::unique_ptr<EngineArea, EngineAreaDeleter> area;
  int pageWidth = 0, pageHeight = 0;  // a browser's page, where it shows less
};

class GtkPlatform final : public common::DesktopBackend<Widget> {
 public:
  GtkPlatform();
  ~GtkPlatform() override;

  WidgetId createWidget(const WidgetSpec& request) override;
  void setText(WidgetId widget, const std::string& text) override;
  std::string text(WidgetId widget) const override;
  Rect workArea() const override;
  WidgetId focusedWidget() const override;
  void setFocus(WidgetId widget) override;

  LocalTime localTimeNow() const override;
  std::int64_t monotonicMs() const override;

  int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  std::optional<std::string> browseForFolder(const std::string& prompt,
                                             bool includeFiles) override;
  std::optional<std::string> fileDialog(const FileDialogRequest& request) override;

  void runLoop() override;
  void quitLoop() override;
  void whenIdle(std::function<void()> work) override;
  void keepAwake(bool on) override;
  // GTK has no place for it outside the window.
  void showProgress(int, int) override {}
  void writeStandardStream(StandardStream stream, const std::string& text) override;
  [[noreturn]] void exitProcess(int code) override;

  // For the signal handlers of this backend.
  // The id of the widget of ours that contains this GTK widget, or 0.
  WidgetId idOf(GtkWidget* gtkWidget) const;
  // The window dialogs are made transient for: the first top level still alive.
  GtkWindow* dialogParent(WidgetId owner = 0) const;

  // The process around the window (process.cpp): a termination signal
  // closes the windows as the close box would; a lost display ends the
  // process on the fatal path. Both end the pages' processes first.
  void watchProcess();
  void unwatchProcess();
  bool closeForSignal();  // false when nothing is left to close
  void endPages();
  // Our own engine's pipe in the loop (engine_area.cpp).
  void watchEngine();
  bool pumpEngine();
  void unwatchEngine();
  // An idle source of whenIdle that runs now.
  void idleEnded(guint source);

 private:
  void moveNative(Widget& child, Widget& parent) override;
  void destroyNative(Widget& widget) override { gtk_widget_destroy(widget.outer); }
  std::optional<std::uintptr_t> armTimer(TimerId id, int periodMs) override;
  void disarmTimer(TimerId id, std::uintptr_t source) override;
  void showNative(Widget& w, bool visible) override;
  bool shownNative(const Widget& w) const override { return gtk_widget_is_visible(w.outer); }
  void enableNative(Widget& w, bool enabled) override;
  bool enabledNative(const Widget& w) const override { return w.enabled; }
  Rect rectNative(const Widget& w) const override { return w.rect; }
  void checkNative(Widget& checkBox, bool checked) override;
  bool checkedNative(const Widget& checkBox) const override;
  // List boxes (list.cpp).
  const std::vector<std::string>& itemsOf(const Widget& list) const override {
    return list.list->items;
  }
  int addItemNative(Widget& list, const std::string& item) override;
  bool deleteItemNative(Widget& list, int index) override;
  void clearItemsNative(Widget& list) override;
  int selectionNative(const Widget& list) const override;
  // Pictures (capture.cpp, document.cpp).
  std::optional<Pixels> captureNative(WidgetId id) override;
  std::optional<Document> documentNative(WidgetId browser, int widthLimit,
                                         int heightLimit) override;
  void navigateNative(Widget& browser, const std::string& url) override;
  bool busyNative(const Widget& browser) const override;
  void stopNative(Widget& browser) override;
  void endPageNative(Widget& browser) override;
  PageShows showsNative(const Widget& browser) const override;
  void showBlankNative(Widget& browser) override;
  std::string pageAddress(const std::string& url) const override;
  // Our own engine's area (engine_area.cpp).
  GtkWidget* makeEngineArea(WidgetId id, Widget& w, const WidgetSpec& request);

  WidgetId makeTopLevel(WidgetId id, const WidgetSpec& request);
  GtkWidget* makeChild(WidgetId id, Widget& w, const WidgetSpec& request);
  GtkWidget* makeListBox(WidgetId id, Widget& w, const WidgetSpec& request);
  void describe(const Widget& w, const WidgetSpec& request);
  void placeIn(WidgetId parent, GtkWidget* outer, const Rect& r);
  // With the platform: what is queued for idle time, and every signal
  // handler of ours on the widgets, so that nothing calls into it after.
  void dropPendingWork();
  void disconnectSignals();
  int messageBoxIn(GtkWindow* parent, const std::string& text, const std::string& caption,
                   unsigned flags);

  WidgetId nextId_ = 1;
  std::vector<GMainLoop*> loops_;  // innermost last; owned by runLoop's frames
  bool quitPending_ = false;
  GRef<GtkCssProvider> css_;
  bool closingForSignal_ = false;
  engine::Browser* watched_ = nullptr;  // the engine whose pipe the loop reads
  guint engineWatch_ = 0, engineTick_ = 0;
  std::set<guint> idleSources_;  // whenIdle's, not yet run
  // The desktop's idle and sleep inhibitor while a run goes on (awake.cpp).
  struct Awake {
    GRef<GDBusConnection> bus;
    const void* service = nullptr;  // the inhibitor holding the cookie, or none
    guint32 cookie = 0;
  } awake_;
};

}  // namespace sorvane::platform::gtk
