#pragma once
// The real program inside the test process: its frame and handlers on the
// shared GTK platform, beside the harness's own test window. A watcher on a
// timer, which also ticks in the nested loops of message boxes, answers the
// program's boxes, notes any other window or dialog that shows up, and
// measures how long the loop is ever held up.

#include <webkit2/webkit2.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/frame.h"
#include "run/run.h"
#include "harness.h"

namespace sorvane::gtktest {

struct ProgramWatch {
  std::set<GtkWindow*> known;          // the windows that belong on screen
  std::vector<std::string> boxes;      // texts of the message boxes, each answered
  std::vector<std::string> strangers;  // anything else that showed up
  std::vector<int> endedProcesses;     // why the view's web process ended
  gint64 lastTick = 0;
  gint64 longestGapUs = 0;  // between two ticks: how long the loop was held up
  WebKitWebView* view = nullptr;

  // Forgets what was seen so far.
  void reset();
  // Top-level windows that exist now, shown or not, besides the known ones.
  std::vector<std::string> extraWindows() const;
};

class ProgramUnderTest {
 public:
  // Starts the program: its window is built and shown, and its browser has
  // shown a first page. started() says whether all of that worked.
  ProgramUnderTest();
  // Shuts the program down and hands the platform's events and the current
  // folder back to the harness.
  ~ProgramUnderTest();
  ProgramUnderTest(const ProgramUnderTest&) = delete;
  ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

  bool started() const { return view() != nullptr; }
  app::Frame& frame() { return *frame_; }
  run::Run& run() { return run_; }
  app::Control& control(app::ControlName name) { return frame_->control(name); }
  ProgramWatch& watch();
  WebKitWebView* view() const;
  // The folder start-up made current: the program's own.
  const std::filesystem::path& programFolder() const { return programFolder_; }

  // A click as the control raises it.
  void click(app::ControlName name);
  std::string startCaption();  // 按钮1: "开始" or "停止"
  int period(app::ControlName timer);
  bool busy();

  // The addresses go in as the user puts them: typed, then 添加网址.
  void setList(const std::vector<std::string>& urls);
  // Clicks 开始 and lets the run go until it has said "连续访问结束"; returns
  // the milliseconds that took, or -1 (a test failure) after stopping it when
  // the budget ran out.
  long long runToEnd(int budgetMs);
  // Leaves the browser at rest on an empty page, ending a web process that is
  // stuck in a script when it has to.
  void settleBrowser();

 private:
  struct SplitSink;
  run::Run run_;
  std::unique_ptr<app::Frame> frame_;
  std::unique_ptr<SplitSink> sink_;
  std::filesystem::path startFolder_;
  std::filesystem::path programFolder_;
  guint watchSource_ = 0;
};

// Every file and folder under a root, by path relative to it.
std::set<std::string> filesUnder(const std::filesystem::path& root, bool recursive);
std::vector<std::string> added(const std::set<std::string>& before,
                               const std::set<std::string>& after);

// Our own children that are the engine's web processes, by id.
std::set<int> webProcesses();

inline constexpr std::uintmax_t kPictureBytes = 54 + 672 * 568 * 3;

struct Picture {
  std::string name;
  std::string bytes;
  // 0xRRGGBB at (x, y) from the top left.
  unsigned pixel(int x, int y) const;
};

// The pictures of a capture folder, oldest first. Anything that is not a
// picture, named ".jpg", of a 672 x 568 BMP's size, fails the test.
std::vector<Picture> picturesIn(const std::filesystem::path& folder);

}  // namespace sorvane::gtktest
