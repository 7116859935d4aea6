// bench_startup: from starting the program to its main window on screen.
//
//   tests/run-under-display build/bench/bench_startup [RUNS] [PROGRAM]
//
// Starts PROGRAM (the sorvane built beside this benchmark) RUNS times (10),
// after one run that is not counted (it fills the file caches). For each run
// the clock starts just before fork and stops when the X server reports the
// mapping of a top-level window titled "Sorvane" (MapNotify on the root
// window, which needs no polling, so the figure carries no polling delay).
// The program is then ended with SIGTERM and waited for, its engine helper
// processes are given time to go, and the next run starts. Prints the median,
// the spread and the uncounted first run.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_stats.h"

using namespace sorvane::bench;

namespace {

bool titled(Display* display, Window window, const char* wanted) {
  char* name = nullptr;
  if (!XFetchName(display, window, &name) || !name) return false;
  const bool same = std::string(name) == wanted;
  XFree(name);
  return same;
}

// The time from fork to the main window's MapNotify, or a negative number.
double oneRun(Display* display, const char* program) {
  XSync(display, True);  // drop what earlier runs left in the queue
  const double start = nowMs();
  const pid_t child = fork();
  if (child == 0) {
    execl(program, program, static_cast<char*>(nullptr));
    _exit(127);
  }
  double mapped = -1;
  while (mapped < 0 && nowMs() - start < 30000) {
    while (XPending(display)) {
      XEvent e;
      XNextEvent(display, &e);
      if (e.type == MapNotify && titled(display, e.xmap.window, "Sorvane")) {
        mapped = nowMs() - start;
        break;
      }
    }
    if (mapped >= 0) break;
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
      std::fprintf(stderr, "%s ended before its window showed\n", program);
      return -1;
    }
    pollfd p{ConnectionNumber(display), POLLIN, 0};
    poll(&p, 1, 50);
  }
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  usleep(1500 * 1000);  // the engine's helper processes follow their parent out
  return mapped;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
  const char* program = argc > 2 ? argv[2] : SORVANE_PROGRAM;
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "no display: run under tests/run-under-display\n");
    return 2;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

  const double first = oneRun(display, program);
  if (first < 0) return 1;
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const double t = oneRun(display, program);
    if (t < 0) return 1;
    times.push_back(t);
    std::printf("run %d: %.1f ms\n", i + 1, t);
  }
  std::printf("start to main window mapped: %s\n", describe(summarise(times)).c_str());
  std::printf("first, uncounted run: %.1f ms\n", first);
  XCloseDisplay(display);
  return 0;
}
