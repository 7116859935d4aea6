// GTK 3 backend: the embedded browser on WebKitGTK (webkit2gtk-4.1).
//
// The view is for display only: a transparent shield above it eats every
// pointer event, it never takes the focus, and nothing the page asks for ever
// opens a window, a dialog or a file.
//
// The engine's view is made when it is first needed: at the first address,
// or once the window has been drawn and the loop has nothing else to do.
// Making it costs more than the whole rest of the window, so the window shows
// first. Until then an empty stand-in holds its place, and like an engine
// view that has shown no page it draws nothing of its own.

#include <webkit2/webkit2.h>

#include "platform/gtk/address_completion.h"
#include "platform/gtk/backend.h"
#include "platform/gtk/engine.h"
#include "platform/gtk/paint_probe.h"

namespace sorvane::platform::gtk {

// What the latest address has come to, as far as the view is concerned.
struct PageRecord {
  std::string address;      // as the engine was given it
  bool committed = false;   // the engine has begun to show its document
  bool failed = false;      // its load ended in an error or was stopped
  bool finished = false;    // its load ended without an error
  bool errorPage = false;   // it failed, and the engine shows its error page
  bool blank = false;       // the view is covered with a blank page
  bool restarted = false;   // sent again to a fresh web process once
  bool started = false;     // the engine began a load of its own for it
  bool stopped = false;     // the program stopped it
  std::uint64_t before = 0; // what the view drew when the address was sent
  bool drawn = false;       // finished, and its web process has drawn it since
  bool unprobed = false;    // finished, and only a change in the view tells it drew
  gint64 drawnBy = 0;       // when a finished page stops being waited for
};

struct BrowserView {
  GtkWidget* overlay = nullptr;   // one reference of ours besides the parent's
  GtkWidget* standIn = nullptr;   // owned by the overlay until the view replaces it
  GtkWidget* cover = nullptr;     // owned by the overlay; white while `covered`
  bool covered = false;
  WebKitWebView* view = nullptr;  // owned by the overlay; nullptr once that is destroyed
  GRef<WebKitWebContext> context;
  BrowserSettings settings;
  bool closed = false;  // the overlay is gone: no view is made any more
  bool crashed = false;
  guint idleSource = 0;  // the view is to be made when the loop is idle
  PageRecord page;
  PaintProbe probe;
};

void BrowserViewDeleter::operator()(BrowserView* b) const {
  if (b->idleSource) g_source_remove(b->idleSource);
  b->probe.drop();
  if (b->overlay) {
    g_signal_handlers_disconnect_by_data(b->overlay, b);
    if (!gtk_widget_in_destruction(b->overlay)) gtk_widget_destroy(b->overlay);
    g_object_unref(b->overlay);
  }
  delete b;
}

namespace {

// --- The shared, ephemeral engine context --------------------------------

gboolean refuseDestination(WebKitDownload* download, gchar*, gpointer) {
  WK(webkit_download_cancel)(download);
  return TRUE;
}

void onDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer) {
  // Nothing the browser shows is ever saved as a file.
  g_signal_connect(download, "decide-destination", G_CALLBACK(refuseDestination), nullptr);
  WK(webkit_download_cancel)(download);
}

// One context for every view: in memory only, so no page leaves cookies or a
// cache on disk. It lives as long as some view holds it.
GRef<WebKitWebContext> sharedContext() {
  static WebKitWebContext* shared = nullptr;
  if (shared) return GRef<WebKitWebContext>(static_cast<WebKitWebContext*>(g_object_ref(shared)));
  // A page that hoards memory would otherwise grow its web process until the
  // whole machine runs short. Past the engine's limit (the memory size, at most
  // 3 GB) the process is ended instead; the view then stops being busy, and the
  // next address gets a new process. Each look at the process costs it about
  // 10 ms of CPU, which at one look a second was nearly all it used while a
  // page stood still. Every 15 s brings that under 0.1% of a core, and a page
  // hoarding as fast as our test page (about 200 MB/s) is still ended some 3 GB
  // past the limit at worst; at 30 s it got to 7 GB.
  WebKitMemoryPressureSettings* memory = WK(webkit_memory_pressure_settings_new)();
  WK(webkit_memory_pressure_settings_set_kill_threshold)(memory, 1.0);
  WK(webkit_memory_pressure_settings_set_poll_interval)(memory, 15.0);
  WebKitWebsiteDataManager* data = WK(webkit_website_data_manager_new_ephemeral)();
  auto* context = static_cast<WebKitWebContext*>(
      g_object_new(WK(webkit_web_context_get_type)(), "website-data-manager", data,
                   "memory-pressure-settings", memory, nullptr));
  g_object_unref(data);
  WK(webkit_memory_pressure_settings_free)(memory);
  WK(webkit_web_context_set_cache_model)(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  g_signal_connect(context, "download-started", G_CALLBACK(onDownloadStarted), nullptr);
  shared = context;
  g_object_add_weak_pointer(G_OBJECT(context), reinterpret_cast<gpointer*>(&shared));
  return GRef<WebKitWebContext>(context);
}

void onWebProcessGone(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) {
  static_cast<BrowserView*>(data)->crashed = true;
}

void setCovered(BrowserView& b, bool covered) {
  if (b.covered == covered) return;
  b.covered = covered;
  gtk_widget_queue_draw(b.cover);
}

bool isEmptyPage(const char* uri) {
  return uri && g_ascii_strncasecmp(uri, "about:blank", 11) == 0;
}

// A finished page whose frame never comes (its script holds the web process
// from the start, or the window is minimized and the engine draws nothing) is
// waited for this long; then what the view draws is all there is.
constexpr gint64 kDrawWaitUs = 5 * G_USEC_PER_SEC;

void onProbeAnswer(void* data, PaintProbe::Answer answer) {
  PageRecord& page = static_cast<BrowserView*>(data)->page;
  page.drawn = answer == PaintProbe::Answer::Drawn;
  page.unprobed = !page.drawn;
}

void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  auto* b = static_cast<BrowserView*>(data);
  PageRecord& page = b->page;
  if (event == WEBKIT_LOAD_STARTED) page.started = true;
  if (event == WEBKIT_LOAD_COMMITTED) {
    // An address the engine will not load (a port browsers keep away from)
    // is answered with an empty page and no failure of its own.
    if (!page.committed && !page.errorPage && isEmptyPage(WK(webkit_web_view_get_uri)(b->view)) &&
        !isEmptyPage(page.address.c_str())) {
      page.failed = page.errorPage = true;
      return;
    }
    // A cover left from the address before goes once this one has a page.
    if (!page.blank) setCovered(*b, false);
    // The engine's error page is a load of its own; it counts as the error.
    if (!page.errorPage) page.committed = true;
  }
  // A failed load is reported as finished too, after its failure.
  if (event != WEBKIT_LOAD_FINISHED || page.failed) return;
  page.finished = true;
  // Counted from the first finish: a page that reloads itself at once, for
  // ever, finishes again before any answer can come, and must not be waited
  // for as long as it goes on.
  if (page.drawnBy == 0) page.drawnBy = g_get_monotonic_time() + kDrawWaitUs;
  b->probe.ask(b->view, onProbeAnswer, b);
}

// An address that differs from the page on show only after '#' (or from the
// address its script gave it with history.pushState) is a move inside that
// page: the engine is briefly loading, but begins no load of its own, and the
// page stays on show as the address's own.
void onLoadingChanged(WebKitWebView* view, GParamSpec*, gpointer data) {
  auto* b = static_cast<BrowserView*>(data);
  PageRecord& page = b->page;
  if (WK(webkit_web_view_is_loading)(view) || page.started || page.failed || page.stopped ||
      page.blank || b->crashed || page.address.empty())
    return;
  if (g_strcmp0(WK(webkit_web_view_get_uri)(view), page.address.c_str()) != 0) return;
  // The page on show has long been drawn.
  page.committed = page.finished = page.drawn = true;
  setCovered(*b, false);
}

gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error, gpointer data) {
  PageRecord& page = static_cast<BrowserView*>(data)->page;
  page.failed = true;
  // A stop, and a response turned away (a download), leave no page behind;
  // any other failure is answered with the engine's own page.
  const bool leavesNothing =
      g_error_matches(error, WK(webkit_network_error_quark)(), WEBKIT_NETWORK_ERROR_CANCELLED) ||
      g_error_matches(error, WK(webkit_policy_error_quark)(),
                      WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE);
  if (!leavesNothing) page.errorPage = true;
  return FALSE;
}

// A page of the same site that runs a script for ever after its picture
// holds the web process the next address is sent to, and that address would
// never begin. Once the engine finds the process unresponsive, an address
// that has not begun to show is sent again, once, to a fresh process.
void onResponsiveness(WebKitWebView* view, GParamSpec*, gpointer data) {
  auto* b = static_cast<BrowserView*>(data);
  if (WK(webkit_web_view_get_is_web_process_responsive)(view) || b->crashed) return;
  PageRecord& page = b->page;
  if (page.address.empty() || page.committed || page.failed || page.restarted) return;
  page.restarted = true;
  WK(webkit_web_view_terminate_web_process)(view);
  b->crashed = false;
  WK(webkit_web_view_load_uri)(view, page.address.c_str());
}

gboolean drawCover(GtkWidget*, cairo_t* cr, gpointer data) {
  if (!static_cast<BrowserView*>(data)->covered) return FALSE;
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  return TRUE;
}

gboolean eatEvent(GtkWidget*, GdkEvent*, gpointer) { return TRUE; }

// Runs before the overlay's children go, so the view is still whole. A page
// caught in an endless script would never hear that its view is gone and
// would spin on for seconds after the window closed: its process ends here.
// The engine may keep the view a little longer than this record, so the view
// forgets the record too.
void onOverlayDestroyed(GtkWidget*, gpointer data) {
  auto* b = static_cast<BrowserView*>(data);
  b->closed = true;
  if (b->idleSource) g_source_remove(b->idleSource);
  b->idleSource = 0;
  b->probe.drop();
  if (!b->view) return;
  if (!b->crashed) WK(webkit_web_view_terminate_web_process)(b->view);
  g_signal_handlers_disconnect_by_data(b->view, b);
  b->view = nullptr;
}

void connectSignals(WebKitWebView* view, BrowserView* owner) {
  refusePageRequests(view);
  g_signal_connect(view, "web-process-terminated", G_CALLBACK(onWebProcessGone), owner);
  g_signal_connect(view, "load-changed", G_CALLBACK(onLoadChanged), owner);
  g_signal_connect(view, "load-failed", G_CALLBACK(onLoadFailed), owner);
  g_signal_connect(view, "notify::is-loading", G_CALLBACK(onLoadingChanged), owner);
  g_signal_connect(view, "notify::is-web-process-responsive", G_CALLBACK(onResponsiveness), owner);
}

void enableFeature(WebKitSettings* settings, const char* identifier) {
  WebKitFeatureList* features = WK(webkit_settings_get_all_features)();
  for (gsize i = 0; i < WK(webkit_feature_list_get_length)(features); ++i) {
    WebKitFeature* feature = WK(webkit_feature_list_get)(features, i);
    if (g_strcmp0(WK(webkit_feature_get_identifier)(feature), identifier) == 0)
      WK(webkit_settings_set_feature_enabled)(settings, feature, TRUE);
  }
  WK(webkit_feature_list_unref)(features);
}

void makeView(BrowserView& b) {
  if (b.view || b.closed || !engineAvailable()) return;
  if (b.idleSource) g_source_remove(b.idleSource);
  b.idleSource = 0;
  b.context = sharedContext();
  WebKitSettings* engine = WK(webkit_settings_new)();
  // Software rendering keeps the picture of the page in the view itself, so a
  // capture can draw the widget instead of reading the screen, which a dialog
  // above the window would spoil.
  WK(webkit_settings_set_hardware_acceleration_policy)(
      engine, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  WK(webkit_settings_set_javascript_can_open_windows_automatically)(engine, FALSE);
  WK(webkit_settings_set_enable_developer_extras)(engine, FALSE);
  WK(webkit_settings_set_enable_write_console_messages_to_stdout)(engine, FALSE);
  WK(webkit_settings_set_enable_fullscreen)(engine, FALSE);
  WK(webkit_settings_set_enable_back_forward_navigation_gestures)(engine, FALSE);
  WK(webkit_settings_set_media_playback_requires_user_gesture)(engine, TRUE);
  // A page that names no character set is read as a Chinese reader's own
  // browser reads it: the engine's detector looks at the bytes (UTF-8 when
  // they are UTF-8), and GBK is what it falls back on, not Latin-1.
  WK(webkit_settings_set_default_charset)(engine, "GBK");
  enableFeature(engine, "UsesEncodingDetector");
  auto* view = static_cast<WebKitWebView*>(g_object_new(WK(webkit_web_view_get_type)(),
                                                        "web-context", b.context.get(),
                                                        "settings", engine, nullptr));
  g_object_unref(engine);
  b.view = view;
  connectSignals(view, &b);
  gtk_widget_set_can_focus(GTK_WIDGET(view), FALSE);
  if (!b.settings.registerAsDropTarget) gtk_drag_dest_unset(GTK_WIDGET(view));
  gtk_container_remove(GTK_CONTAINER(b.overlay), b.standIn);  // which destroys it
  b.standIn = nullptr;
  gtk_container_add(GTK_CONTAINER(b.overlay), GTK_WIDGET(view));
  gtk_widget_show(GTK_WIDGET(view));
}

gboolean makeViewWhenIdle(gpointer data) {
  auto* b = static_cast<BrowserView*>(data);
  b->idleSource = 0;
  makeView(*b);
  return G_SOURCE_REMOVE;
}

// The first time the stand-in is drawn the window is on screen: the view is
// made as soon as nothing else is waiting, drawing included.
gboolean onStandInDrawn(GtkWidget*, cairo_t*, gpointer data) {
  auto* b = static_cast<BrowserView*>(data);
  if (!b->view && !b->closed && !b->idleSource)
    b->idleSource = g_idle_add_full(G_PRIORITY_LOW, makeViewWhenIdle, b, nullptr);
  return FALSE;
}

}  // namespace

BrowserViewPtr makeBrowserView(const BrowserSettings& settings) {
  if (settings.version > 1) return nullptr;
  BrowserViewPtr b(new BrowserView);
  b->settings = settings;
  b->standIn = gtk_drawing_area_new();
  g_signal_connect(b->standIn, "draw", G_CALLBACK(onStandInDrawn), b.get());

  GtkWidget* shield = gtk_event_box_new();
  gtk_event_box_set_visible_window(GTK_EVENT_BOX(shield), FALSE);
  gtk_event_box_set_above_child(GTK_EVENT_BOX(shield), TRUE);
  gtk_widget_add_events(shield, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_SCROLL_MASK |
                                    GDK_SMOOTH_SCROLL_MASK | GDK_POINTER_MOTION_MASK |
                                    GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK |
                                    GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_TOUCH_MASK);
  g_signal_connect(shield, "event", G_CALLBACK(eatEvent), nullptr);

  b->overlay = gtk_overlay_new();
  g_object_ref_sink(b->overlay);
  gtk_container_add(GTK_CONTAINER(b->overlay), b->standIn);
  // A blank page is a white cover, not a load: it shows at once, whatever
  // the engine is busy with.
  b->cover = gtk_drawing_area_new();
  g_signal_connect(b->cover, "draw", G_CALLBACK(drawCover), b.get());
  gtk_overlay_add_overlay(GTK_OVERLAY(b->overlay), b->cover);
  gtk_widget_show(b->cover);
  gtk_overlay_add_overlay(GTK_OVERLAY(b->overlay), shield);
  g_signal_connect(b->overlay, "destroy", G_CALLBACK(onOverlayDestroyed), b.get());
  gtk_widget_show(b->standIn);
  gtk_widget_show(shield);
  return b;
}

GtkWidget* browserWidget(BrowserView& b) { return b.overlay; }

void showBlank(BrowserView& b) {
  b.page.blank = true;
  setCovered(b, true);
}

void navigateBrowser(BrowserView& b, const std::string& url) {
  // A view made just now has drawn nothing yet, and is not laid out to draw.
  const bool madeNow = !b.view;
  makeView(b);
  if (!b.view) return;
  // File names are escaped from their exact bytes; what is left for the
  // engine's URL parser has to be UTF-8.
  const std::string address = validUtf8(completeAddress(url, g_get_home_dir()));
  b.probe.drop();
  b.page = PageRecord{};
  b.page.address = address;
  b.page.before = madeNow ? 0 : drawnFingerprint(b.view);
  // The engine starts a new web process by itself if the last one died.
  b.crashed = false;
  WK(webkit_web_view_load_uri)(b.view, address.c_str());
}

void stopBrowser(BrowserView& b) {
  b.page.stopped = true;
  if (b.view && !b.crashed) WK(webkit_web_view_stop_loading)(b.view);
}

void endBrowserPage(BrowserView& b) {
  if (!b.view || b.crashed) return;
  // Busy from here on would only wait for the process's end to be noticed.
  b.crashed = true;
  WK(webkit_web_view_terminate_web_process)(b.view);
}

WebKitWebView* pageView(BrowserView& b) { return b.covered || b.crashed ? nullptr : b.view; }

namespace {

// Finished, and the engine has yet to draw it: busy until it has, or until
// the program stops the page.
bool awaitingFrame(const BrowserView& b) {
  const PageRecord& page = b.page;
  if (!page.finished || page.drawn || page.stopped || page.blank) return false;
  if (g_get_monotonic_time() >= page.drawnBy) return false;
  return !page.unprobed || drawnFingerprint(b.view) == page.before;
}

}  // namespace

bool isBrowserBusy(const BrowserView& b) {
  return b.view && !b.crashed && (WK(webkit_web_view_is_loading)(b.view) || awaitingFrame(b));
}

PageShows browserPageShows(const BrowserView& b) {
  const PageRecord& page = b.page;
  if (page.blank || !b.view) return PageShows::Nothing;
  if (page.errorPage) return PageShows::EngineError;
  if (!page.committed || b.crashed) return PageShows::Nothing;
  if (page.finished && page.drawn) return PageShows::Own;
  // Begun but not drawn for certain (stopped, still going, or finished with
  // no word of its frame): until the engine draws the new document the view
  // keeps drawing the old one, or nothing after a new web process.
  return drawnFingerprint(b.view) == page.before ? PageShows::Nothing : PageShows::Own;
}

void GtkPlatform::navigateNative(Widget& w, const std::string& url) {
  navigateBrowser(*w.browser, url);
}
bool GtkPlatform::busyNative(const Widget& w) const { return isBrowserBusy(*w.browser); }
void GtkPlatform::stopNative(Widget& w) { stopBrowser(*w.browser); }
void GtkPlatform::endPageNative(Widget& w) { endBrowserPage(*w.browser); }
PageShows GtkPlatform::showsNative(const Widget& w) const { return browserPageShows(*w.browser); }
void GtkPlatform::showBlankNative(Widget& w) { showBlank(*w.browser); }

}  // namespace sorvane::platform::gtk
