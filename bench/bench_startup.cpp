// bench_startup: from starting the program to its main window on screen.
//
//   tests/run-under-display build/bench/bench_startup [RUNS] [PROGRAM]
//
// Starts PROGRAM (the sorvane built beside this benchmark) RUNS times (10),
// after one run that is not counted (it fills the file caches). For each run
// the clock starts just before fork and stops when the X server reports the
// mapping of a top-level window titled "Sorvane" (MapNotify on the root
// window, which needs no polling, so the figure carries no polling delay).
// At that moment, and again 3 s later (what a person has before asking for a
// page), the memory is read: the program's own RSS, and the PSS summed over
// it and all its descendants (the engine's processes), from /proc. The
// program is then ended with SIGTERM and waited for, its engine helper
// processes are given time to go, and the next run starts. Prints the median,
// the spread and the uncounted first run.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

struct Memory {
  double rssMb = 0;
  double pssMb = 0;  // the program and its descendants
};

Memory memoryOf(pid_t program) {
  Memory m;
  m.rssMb = static_cast<double>(residentKb(program)) / 1024.0;
  for (int pid : processTree(program))
    m.pssMb += static_cast<double>(std::max(proportionalKb(pid), 0L)) / 1024.0;
  return m;
}

struct Run {
  double mappedMs = -1;  // from fork to the main window's MapNotify; negative: failed
  Memory atMap;
  Memory later;
};

Run oneRun(Display* display, const char* program) {
  XSync(display, True);  // drop what earlier runs left in the queue
  const double start = nowMs();
  const pid_t child = fork();
  if (child == 0) {
    execl(program, program, static_cast<char*>(nullptr));
    _exit(127);
  }
  Run run;
  double& mapped = run.mappedMs;
  while (mapped < 0 && nowMs() - start < 30000) {
    while (XPending(display)) {
      XEvent e;
      XNextEvent(display, &e);
      if (e.type == MapNotify && titled(display, e.xmap.window, "Sorvane")) {
        mapped = nowMs() - start;
        run.atMap = memoryOf(child);
        break;
      }
    }
    if (mapped >= 0) break;
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
      std::fprintf(stderr, "%s ended before its window showed\n", program);
      return run;
    }
    pollfd p{ConnectionNumber(display), POLLIN, 0};
    poll(&p, 1, 50);
  }
  if (mapped >= 0) {
    usleep(3000 * 1000);
    run.later = memoryOf(child);
  }
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  usleep(1500 * 1000);  // the engine's helper processes follow their parent out
  return run;
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

  const Run first = oneRun(display, program);
  if (first.mappedMs < 0) return 1;
  std::vector<double> times, rss, pss, rssLater, pssLater;
  for (int i = 0; i < runs; ++i) {
    const Run r = oneRun(display, program);
    if (r.mappedMs < 0) return 1;
    times.push_back(r.mappedMs);
    rss.push_back(r.atMap.rssMb);
    pss.push_back(r.atMap.pssMb);
    rssLater.push_back(r.later.rssMb);
    pssLater.push_back(r.later.pssMb);
    std::printf(
        "run %d: %.1f ms; at the map RSS %.0f MB, PSS of all %.0f MB; 3 s later %.0f / %.0f MB\n",
        i + 1, r.mappedMs, r.atMap.rssMb, r.atMap.pssMb, r.later.rssMb, r.later.pssMb);
  }
  std::printf("start to main window mapped: %s\n", describe(summarise(times)).c_str());
  std::printf("program RSS at the map: %s\n", describe(summarise(rss), "MB").c_str());
  std::printf("PSS of the program and its processes at the map: %s\n",
              describe(summarise(pss), "MB").c_str());
  std::printf("program RSS 3 s later: %s\n", describe(summarise(rssLater), "MB").c_str());
  std::printf("PSS of all 3 s later: %s\n", describe(summarise(pssLater), "MB").c_str());
  std::printf("first, uncounted run: %.1f ms\n", first.mappedMs);
  XCloseDisplay(display);
  return 0;
}
