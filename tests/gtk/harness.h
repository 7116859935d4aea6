#pragma once
// Shared pieces of the GTK backend tests: one platform and one main window for
// the whole run (a web process is slow to start), a recording event sink, a
// loop pump and a small HTTP server on 127.0.0.1.

#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/gtk/backend.h"
#include "platform/platform.h"
#include "../support/event_recorder.h"
#include "../support/loopback_server.h"

namespace sorvane::gtktest {

using namespace sorvane::platform;

using Recorder = sorvane::testing::EventRecorder;

// Serves fixed pages, and hostile ones (see page_server.cpp); every other
// path is a 404. Besides the page port it keeps a port that accepts and never
// answers, and one that answers anything with noise.
class PageServer {
 public:
  PageServer();
  std::string url(const std::string& path) const { return pages_.url(path); }
  std::string silentUrl() const { return silent_.url("/"); }
  std::string garbageTlsUrl() const;
  // Requests for a path, whatever their query.
  int requests(const std::string& path) const { return pages_.hits(path); }

 private:
  testing::LoopbackServer pages_;
  testing::LoopbackServer silent_;
  testing::LoopbackServer garbage_;
};

struct Harness {
  std::unique_ptr<Platform> platform;
  Recorder sink;
  WidgetId window = 0;
  WidgetId browser = 0;
  PageServer server;
  std::string home;  // $HOME of this run, a fresh folder
};

Harness& harness();
Platform& ui();

// Runs the loop until done() or the time is up; returns done().
bool pumpUntil(const std::function<bool()>& done, int timeoutMs);
void pumpFor(int ms);

// Loads a page and waits until the browser is idle and has painted it.
bool loadPage(const std::string& url, int timeoutMs = 15000);

// The GTK widget of the given type somewhere under a widget, or nullptr.
GtkWidget* findDescendant(GtkWidget* root, GType type);
// A button of a window whose label (mnemonic marks removed) is this text.
GtkWidget* findButton(GtkWidget* root, const std::string& label);
// Each open dialog's type, title and button labels, for a failure message.
std::string describeDialogs();
// Our dialogs that are on screen now.
std::vector<GtkWindow*> openDialogs();
using platform::gtk::mainGtkWindow;

// The program's controls as its layout has them (timers and the browser
// left out), built once in the test window on first use.
struct Control {
  std::string name;
  WidgetKind kind;
  std::string parent;  // empty: the main window
  Rect rect;
  WidgetSpec widgetSpec;
};
const std::vector<Control>& layoutControls();
const std::map<std::string, WidgetId>& controls();
WidgetId id(const char* name);
// The outermost GTK widget of one of ours.
GtkWidget* gtkOf(WidgetId wanted, GtkWidget* root = nullptr);
// A key press through GTK's own dispatch to the main window, as from the X server.
void pressKey(guint keyval, guint state = 0);
void typeText(const char* text);

// Pixel (x, y) of a capture as 0xRRGGBB.
unsigned pixelAt(const Pixels& p, int x, int y);
// Keeps a picture as PNG in $SORVANE_TEST_PICTURES, when that is set, for a
// person to look at.
void keepPicture(const Pixels& p, const std::string& name);
bool near(unsigned rgb, unsigned expected, int tolerance = 24);

}  // namespace sorvane::gtktest
