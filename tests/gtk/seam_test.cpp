// The seam's promises, on GTK.

#include "engine/browser.h"
#include "harness.h"
#include "platform/gtk/platform.h"
#include "../support/seam_conformance.h"

namespace sorvane::testing {
namespace {

using gtktest::harness;

class GtkRig : public SeamRig {
 public:
  ~GtkRig() override {
    if (answering_) g_source_remove(answering_);
    harness().platform->setEventSink(&harness().sink);
  }
  platform::Platform& platform() override { return *harness().platform; }
  platform::WidgetId window() override { return harness().window; }
  void pumpFor(int ms) override { gtktest::pumpFor(ms); }
  void answerNextBoxAfter(int ms) override {
    answering_ = g_timeout_add(static_cast<guint>(ms), &GtkRig::answer, this);
  }
  bool exactTime() const override { return false; }
  std::string page(Page which) override {
    switch (which) {
      case Page::Red: return harness().server.url("/solid/ff0000");
      case Page::Silent: return harness().server.silentUrl();
      case Page::Closed: return "http://127.0.0.1:" + std::to_string(closedPort()) + "/";
      case Page::Blocked: break;
    }
    return "http://127.0.0.1:9/";
  }

 private:
  // Presses the first button of the box on screen, once there is one.
  static gboolean answer(gpointer data) {
    auto* rig = static_cast<GtkRig*>(data);
    for (GtkWindow* dialog : gtktest::openDialogs()) {
      if (GtkWidget* ok = gtktest::findButton(GTK_WIDGET(dialog), "确定")) {
        gtk_button_clicked(GTK_BUTTON(ok));
        rig->answering_ = 0;
        return G_SOURCE_REMOVE;
      }
    }
    return G_SOURCE_CONTINUE;
  }
  // A free local port, let go again.
  static int closedPort() {
    return LoopbackServer([](const Request&) { return Response::notFound(); }).port();
  }
  guint answering_ = 0;
};

std::unique_ptr<SeamRig> makeRig() { return std::make_unique<GtkRig>(); }

// The same desktop with its browser areas drawn by our own engine: one real
// browser for the whole run, started on first use.
class ChromiumRig final : public GtkRig {
 public:
  ChromiumRig() { platform::gtk::usePageEngine(platform(), &browser()); }
  ~ChromiumRig() override { platform::gtk::usePageEngine(platform(), nullptr); }

 private:
  static engine::Browser& browser() {
    static std::unique_ptr<engine::Browser> started = [] {
      Text problem;
      auto b = engine::Browser::start(BrowserStart{}, [] { return gtktest::ui().monotonicMs(); }, problem);
      if (!b) ADD_FAILURE() << "no browser: " << problem.bytes();
      return b;
    }();
    return *started;
  }
};

std::unique_ptr<SeamRig> makeChromiumRig() { return std::make_unique<ChromiumRig>(); }

INSTANTIATE_TEST_SUITE_P(Gtk, SeamConformance, ::testing::Values(&makeRig));
INSTANTIATE_TEST_SUITE_P(Chromium, SeamConformance, ::testing::Values(&makeChromiumRig));

}  // namespace
}  // namespace sorvane::testing
