#include "bench_support.h"

#include "run/capture_folder.h"

#include <dirent.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/control_model.h"
#include "program.h"
#include "run/capture_folder.h"
#include "platform/gtk/platform.h"
#include "pump.h"

namespace sorvane::bench {

// --- Page server -------------------------------------------------------------

namespace {

testing::Response page(const testing::Request& request) {
  if (request.path.rfind("/page/", 0) != 0) return testing::Response::notFound();
  char colour[8];
  std::snprintf(colour, sizeof colour, "#%06x",
                PageServer::colourOf(std::atoi(request.path.c_str() + 6)));
  return testing::Response::page(
      "Content-Type: text/html; charset=utf-8\r\n",
      std::string("<!doctype html><html><head><title>") + request.path.substr(6) +
          "</title></head><body style='margin:0;background:" + colour + "'><p>" + request.path +
          "</p></body></html>");
}

}  // namespace

PageServer::PageServer() : server_(&page) {}

std::string PageServer::url(int page) const {
  return server_.url("/page/" + std::to_string(page));
}

unsigned PageServer::colourOf(int page) {
  // Steps far enough apart that neighbouring pages never look alike.
  auto n = static_cast<unsigned>(page);
  return ((n * 97u + 40u) % 256u) << 16 | ((n * 53u + 90u) % 256u) << 8 | ((n * 29u + 140u) % 256u);
}

// --- The wrapper platform ---------------------------------------------------

void BenchPlatform::browserNavigate(platform::WidgetId b, const std::string& url) {
  if (onNavigate) onNavigate(nowMs(), url);
  target().browserNavigate(b, url);
}

std::optional<platform::Pixels> BenchPlatform::capture(platform::WidgetId w) {
  const double start = nowMs();
  std::optional<platform::Pixels> picture = target().capture(w);
  const double cost = nowMs() - start;
  static const platform::Pixels none;
  if (onCapture) onCapture(start, cost, picture ? *picture : none);
  return picture;
}

int BenchPlatform::messageBox(const std::string& text, const std::string&, unsigned) {
  boxes.push_back(text);
  return onMessageBox ? onMessageBox(text) : platform::box::kResultOk;
}

// --- Desktop and program ----------------------------------------------------

Desktop::Desktop(int* argc, char*** argv) {
  char folder[] = "/tmp/sorvane-bench-home.XXXXXX";
  if (!mkdtemp(folder)) {
    std::perror("mkdtemp");
    std::exit(2);
  }
  home = folder;
  setenv("HOME", folder, 1);
  real = platform::gtk::makeGtkPlatform(argc, argv);
  if (!real) {
    std::fprintf(stderr, "no display: run under tests/run-under-display\n");
    std::exit(2);
  }
  platform = std::make_unique<BenchPlatform>(*real);
}

Desktop::~Desktop() {
  platform.reset();
  real.reset();
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
}

namespace {
void countPaint(GdkFrameClock*, gpointer counter) { ++*static_cast<int*>(counter); }
}  // namespace

double untilPainted(double timeoutMs) {
  const double start = nowMs();
  GtkWindow* window = mainGtkWindow();
  GdkFrameClock* clock = window ? gtk_widget_get_frame_clock(GTK_WIDGET(window)) : nullptr;
  if (clock) {
    int paints = 0;
    const gulong handler = g_signal_connect(clock, "after-paint", G_CALLBACK(countPaint), &paints);
    // A frame even when nothing changed; it draws only what was invalidated.
    gdk_frame_clock_request_phase(clock, GDK_FRAME_CLOCK_PHASE_PAINT);
    pumpUntil([&] { return paints > 0; }, timeoutMs);
    g_signal_handler_disconnect(clock, handler);
  }
  settle(timeoutMs);
  return nowMs() - start;
}

Program::Program(BenchPlatform& platform)
    : frame_(std::make_unique<app::Frame>(platform, programHandlers(run_))) {
  frame_->startUp();
  if (!pumpUntil(
          [] { return mainGtkWindow() && gtk_widget_get_mapped(GTK_WIDGET(mainGtkWindow())); },
          10000)) {
    std::fprintf(stderr, "the main window never came on screen\n");
    std::exit(2);
  }
  pumpFor(300);  // first paint, engine process up
}

Program::~Program() {
  if (frame_->mainWindowLoaded()) frame_->shutdown();
}

void Program::setText(app::ControlName name, const std::string& text) {
  frame_->writeText(control(name), app::prop::editBox::content, Text(text));
}

run::PageReport Program::capture() {
  const Text folder = frame_->readText(control("编辑框1"), app::prop::editBox::content);
  return run::capturePage(*frame_, run_, folder, run_.page.url);
}

namespace {
void pumpOnce() {
  if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
}
}  // namespace

void pumpFor(double ms) { testing::pumpFor(ms, pumpOnce); }

bool pumpUntil(const std::function<bool()>& done, double timeoutMs) {
  return testing::pumpUntil(done, timeoutMs, pumpOnce);
}

double settle(double timeoutMs) {
  const double start = nowMs();
  while (g_main_context_pending(nullptr) && nowMs() - start < timeoutMs)
    g_main_context_iteration(nullptr, FALSE);
  return nowMs() - start;
}

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/sorvane-bench.XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) {
    std::perror("mkdtemp");
    std::exit(2);
  }
  path = buf.data();
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

void emptyFolder(const std::string& path) {
  std::error_code ignored;
  for (const auto& e : std::filesystem::directory_iterator(path, ignored))
    std::filesystem::remove_all(e.path(), ignored);
}

}  // namespace sorvane::bench
