// bench_idle_cost: what the program costs while a run waits on a loaded page.
//
//   tests/run-under-display build/bench/bench_idle_cost [SECONDS] [SETTLE]
//
// The whole program runs in-process on the GTK platform with its own main
// loop (no polling of ours in between): one address, a small still page served
// from 127.0.0.1 by the loopback server, which sleeps until a connection comes (a
// server thread waking up to poll would count as the program's), is added with 按钮2, the pause
// 编辑框3 set to 1000 seconds and 按钮1 clicked. When the page has loaded and SETTLE (10) more
// seconds have passed, so that start-up work of the engine is over, the CPU time (user and system)
// of this process and of every descendant (the engine's web and network processes) is read from
// /proc/PID/stat; the loop then runs SECONDS (60) with nothing happening but the run's own dwell,
// and the CPU time is read again. Prints the CPU used as a share of one core, for each process and
// in all, and the memory of the whole tree at the end (RSS and PSS). A process that starts within
// the window counts with all its time; one that ends within it is named, since its time is lost.

#include <cstdio>
#include <cstdlib>
#include <map>

#include "app/control_model.h"
#include "bench_support.h"

using namespace sorvane;
using namespace sorvane::bench;

namespace {

testing::Response stillPage(const testing::Request&) {
  return testing::Response::page(
      "Content-Type: text/html; charset=utf-8\r\n",
      "<!doctype html><html><head><title>still</title></head>"
      "<body style='margin:0;background:#3060a0'><p>A page that does nothing.</p></body></html>");
}

gboolean quitLoop(gpointer platform) {
  static_cast<platform::Platform*>(platform)->quitLoop();
  return G_SOURCE_REMOVE;
}

// Runs the program's own loop for a while.
void runLoopFor(platform::Platform& platform, double seconds) {
  g_timeout_add(static_cast<guint>(seconds * 1000), quitLoop, &platform);
  platform.runLoop();
}

std::string nameOf(int pid) {
  FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "r");
  if (!f) return "?";
  char buf[64] = {0};
  if (!std::fgets(buf, sizeof buf, f)) buf[0] = 0;
  std::fclose(f);
  std::string name(buf);
  if (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

}  // namespace

int main(int argc, char** argv) {
  Desktop desktop(&argc, &argv);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
  const double settleSeconds = argc > 2 ? std::atof(argv[2]) : 10;
  testing::LoopbackServer server(&stillPage);
  Program program(*desktop.platform);

  program.setText("编辑框2", server.url("/still"));
  program.click("按钮2");
  program.setText("编辑框3", "1000");
  program.click("按钮1");
  app::Control& browser = program.control("互联网浏览器1");
  if (!pumpUntil([&] { return server.hits("/still") > 0 && !program.frame().busy(browser); }, 30000)) {
    std::fprintf(stderr, "the page did not load\n");
    return 1;
  }
  runLoopFor(*desktop.platform, settleSeconds);

  std::map<int, double> before;
  for (const auto& [pid, cpu] : cpuSeconds()) before[pid] = cpu;
  const double started = nowMs();
  runLoopFor(*desktop.platform, seconds);
  const double elapsed = (nowMs() - started) / 1000.0;
  const auto after = cpuSeconds();

  double total = 0;
  for (const auto& [pid, cpu] : after) {
    auto was = before.find(pid);
    const double used = cpu - (was == before.end() ? 0.0 : was->second);
    total += used;
    std::printf("%-18s pid %-7d %7.3f s CPU, %.3f%% of a core%s\n", nameOf(pid).c_str(), pid, used,
                100.0 * used / elapsed, was == before.end() ? " (started within the window)" : "");
    if (was != before.end()) before.erase(was);
  }
  for (const auto& [pid, cpu] : before) std::printf("pid %d ended within the window\n", pid);
  std::printf("idle on a loaded page: %.3f s CPU in %.1f s, %.3f%% of a core\n", total, elapsed,
              100.0 * total / elapsed);

  long rss = 0, pss = 0;
  for (int pid : processTree()) {
    rss += std::max(residentKb(pid), 0L);
    pss += std::max(proportionalKb(pid), 0L);
  }
  std::printf("memory of the program and its processes: RSS %ld MB, PSS %ld MB\n", rss / 1024,
              pss / 1024);
  if (program.run().nextIndex != 2) {
    std::fprintf(stderr, "the run did not stay on its page\n");
    return 1;
  }
  return 0;
}
