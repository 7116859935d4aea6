#pragma once
// What the GTK benchmarks share: a page server on 127.0.0.1, a platform wrapper that answers boxes
// and dialogs and timestamps navigations and captures, and the program itself in-process.

#include <gtk/gtk.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/frame.h"
#include "run/run.h"
#include "bench_stats.h"
#include "loopback_server.h"
#include "platform/gtk/backend.h"
#include "platform/forwarding_platform.h"

namespace sorvane::bench {

// Serves /page/N: a small page of its own colour, N from 0 up. Everything
// else is a 404.
class PageServer {
 public:
  PageServer();
  std::string url(int page) const;
  // The page colour as 0xRRGGBB.
  static unsigned colourOf(int page);

 private:
  testing::LoopbackServer server_;
};

// A platform that hands everything to the real one, except that message boxes
// and file dialogs are answered by the benchmark at once (no window appears),
// and that navigations, captures and timer starts are reported with their time.
class BenchPlatform final : public platform::ForwardingPlatform {
 public:
  explicit BenchPlatform(platform::Platform& real) : ForwardingPlatform(real) {}

  std::function<int(const std::string& text)> onMessageBox;  // default: OK
  std::function<std::optional<std::string>(const platform::FileDialogRequest&)> onFileDialog;
  std::function<void(double atMs, const std::string& url)> onNavigate;
  std::function<void(double startMs, double costMs, const platform::Pixels& picture)> onCapture;
  std::function<void(double atMs, int periodMs)> onStartTimer;
  std::vector<std::string> boxes;  // texts of the boxes shown, in order

  void browserNavigate(platform::WidgetId b, const std::string& url) override;
  std::optional<platform::Pixels> capture(platform::WidgetId w) override;
  platform::TimerId startTimer(int ms, std::function<void()> tick) override {
    if (onStartTimer) onStartTimer(nowMs(), ms);
    return target().startTimer(ms, std::move(tick));
  }
  int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  std::optional<std::string> browseForFolder(const std::string&, bool) override {
    return std::nullopt;
  }
  std::optional<std::string> fileDialog(const platform::FileDialogRequest& r) override {
    return onFileDialog ? onFileDialog(r) : std::nullopt;
  }
};

// The GTK platform, a fresh $HOME and working folder for the engine, and the
// benchmark's wrapper around it. Exits with a message when there is no display.
struct Desktop {
  Desktop(int* argc, char*** argv);
  ~Desktop();
  std::unique_ptr<platform::Platform> real;
  std::unique_ptr<BenchPlatform> platform;
  std::string home;
};

// The program with its handlers on the wrapper, started up and on screen.
class Program {
 public:
  explicit Program(BenchPlatform& platform);
  ~Program();
  app::Frame& frame() { return *frame_; }
  app::Control& control(app::ControlName name) { return frame_->control(name); }
  void click(app::ControlName name) { frame_->raiseEvent(&control(name), 0); }
  void doubleClick(app::ControlName name) { frame_->raiseEvent(&control(name), 1); }
  void setText(app::ControlName name, const std::string& text);
  run::Run& run() { return run_; }
  // The capture step into the folder 编辑框1 shows, as the run takes it.
  run::PageReport capture();

 private:
  run::Run run_;
  std::unique_ptr<app::Frame> frame_;
};

using platform::gtk::mainGtkWindow;
// Waits until the main window has painted a new frame and the loop has nothing
// left to do; the time taken.
double untilPainted(double timeoutMs = 5000);

// Runs the GTK main loop for a while, or until a condition holds.
void pumpFor(double ms);
bool pumpUntil(const std::function<bool()>& done, double timeoutMs);
// Runs whatever is pending until the loop has nothing left to do; the time taken.
double settle(double timeoutMs = 10000);

// A fresh folder under $TMPDIR (or /tmp), removed by the destructor.
struct TempFolder {
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string path;  // without a trailing separator
};
// Removes everything inside a folder, not the folder itself.
void emptyFolder(const std::string& path);

}  // namespace sorvane::bench
