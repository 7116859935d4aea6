// bench_engine: our own engine (a Chromium-family browser over its debugging
// pipe) beside the engine the window hosts (WebKitGTK), on the same pages.
//
//   tests/run-under-display build/bench/bench_engine [PAGES] [ROUNDS]
//
// In one run, on pages of their own colour served from 127.0.0.1:
// - ready: the browser started and its version answered, ROUNDS (5) times;
// - a page: the address sent to the picture file written (the capture step of
//   a run at pause 0: the page loaded, the loop left to draw it, its picture,
//   the BMP image, the file), for 30 pages on each engine, after one page to warm up; every
//   picture is checked to show its own page's colour;
// - memory: the PSS of this process and every process under it (the browser
//   and all it started) after pages 1, 50, 100, ... of a PAGES (200) page run
//   on our own engine, and the growth from page 50 to the last;
// - for scale, `chromium --headless --screenshot` of one page, the whole
//   command from its start to its end.
// Exits 1 when a page does not load or a picture shows the wrong page.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "engine/browser.h"
#include "platform/gtk/platform.h"
#include "run/run.h"
#include "services/files.h"

using namespace sorvane;
using namespace sorvane::bench;

namespace {

long treePssKb() {
  long kb = 0;
  for (int pid : processTree()) kb += std::max(proportionalKb(pid), 0L);
  return kb;
}

// The middle of the only picture in the folder, as 0xRRGGBB.
unsigned pictureMiddle(const std::string& folder) {
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const ByteSet bytes = readFile(Text(e.path().string()));
    const auto& b = bytes.bytes();
    if (b.size() < 54 || b[0] != 'B') return 0xDEAD;
    const std::size_t at = 54 + static_cast<std::size_t>(568 - 1 - 284) * 2016 + 336 * 3;
    return at + 2 < b.size() ? unsigned{b[at + 2]} << 16 | unsigned{b[at + 1]} << 8 | b[at] : 0xDEAD;
  }
  return 0xDEAD;
}

// Pages from..to, each sent, waited for and pictured; the times, or nothing
// when one fails.
bool picturePages(Program& program, const PageServer& server, const std::string& folder, int from,
                  int to, std::vector<double>* times, const std::function<void(int)>& after = {}) {
  app::Frame& frame = program.frame();
  app::Control& browser = program.control("互联网浏览器1");
  program.setText("编辑框1", folder + "/");
  for (int page = from; page < to; ++page) {
    emptyFolder(folder);
    const double began = nowMs();
    frame.navigate(browser, Text(server.url(page)));
    // The loop turns before the first look, as it does before a run's tick.
    pumpFor(20);
    // Done, and showing its own page: an engine may not be busy yet at once.
    if (!pumpUntil([&] {
          return !frame.busy(browser) && frame.pageShows(browser) == platform::PageShows::Own;
        }, 15000)) {
      std::fprintf(stderr, "page %d did not load\n", page);
      return false;
    }
    settle(2000);  // what the loop still has to do for the page: its drawing
    program.capture();
    if (!times && !after) continue;  // warming up: the first view is still being made
    if (times) times->push_back(nowMs() - began);
    if (pictureMiddle(folder) != PageServer::colourOf(page)) {
      std::fprintf(stderr, "page %d: the picture shows #%06x, not #%06x\n", page,
                   pictureMiddle(folder), PageServer::colourOf(page));
      return false;
    }
    if (after) after(page);
  }
  return true;
}

double screenshotCommand(const std::string& url, const std::string& folder) {
  const double began = nowMs();
  const pid_t pid = fork();
  if (pid == 0) {
    const std::string shot = "--screenshot=" + folder + "/shot.png";
    const std::string profile = "--user-data-dir=" + folder + "/profile";
    execlp("chromium", "chromium", "--headless", "--no-sandbox", "--no-first-run",
           "--disable-background-networking", "--disable-component-update",
           "--window-size=672,568", shot.c_str(), profile.c_str(), url.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status == 0 ? nowMs() - began : -1;
}

}  // namespace

int main(int argc, char** argv) {
  Desktop desktop(&argc, &argv);
  const int pages = argc > 1 ? std::atoi(argv[1]) : 200;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  TempFolder temp;
  PageServer server;
  auto clock = [&] { return desktop.real->monotonicMs(); };

  std::vector<double> ready;
  for (int i = 0; i < rounds; ++i) {
    Text problem;
    const double began = nowMs();
    auto browser = engine::Browser::start(BrowserStart{}, clock, problem);
    if (!browser) {
      std::fprintf(stderr, "the browser did not start: %s\n", problem.c_str());
      return 1;
    }
    ready.push_back(nowMs() - began);
  }
  std::printf("engine start to ready: %s\n", describe(summarise(ready)).c_str());

  // Our own engine first, so that the memory figures hold its processes alone.
  std::vector<double> webkit, chromium;
  Text problem;
  auto browser = engine::Browser::start(BrowserStart{}, clock, problem);
  if (!browser) return 1;
  platform::gtk::usePageEngine(*desktop.real, browser.get());
  std::vector<std::pair<int, long>> memory;
  bool ok;
  {
    Program program(*desktop.platform);
    ok = picturePages(program, server, temp.path, 0, 1, nullptr) &&
         picturePages(program, server, temp.path, 1, 31, &chromium) &&
         picturePages(program, server, temp.path, 31, 31 + pages, nullptr, [&](int page) {
           const int n = page - 30;
           if (n == 1 || n % 50 == 0) memory.emplace_back(n, treePssKb());
         });
  }
  platform::gtk::usePageEngine(*desktop.real, nullptr);
  browser.reset();
  if (!ok) return 1;
  {
    Program program(*desktop.platform);
    if (!picturePages(program, server, temp.path, 0, 1, nullptr) ||
        !picturePages(program, server, temp.path, 1, 31, &webkit))
      return 1;
  }
  const Summary w = summarise(webkit), c = summarise(chromium);
  std::printf("a page, sent to picture file (pause 0), WebKitGTK: %s\n", describe(w).c_str());
  std::printf("a page, sent to picture file (pause 0), Chromium:  %s  (%.2f x WebKitGTK)\n",
              describe(c).c_str(), c.median / w.median);
  for (const auto& [page, kb] : memory)
    std::printf("PSS of the program and its browser after page %d: %ld MB\n", page, kb / 1024);
  if (memory.size() > 2)
    std::printf("growth from page %d to page %d: %+.1f%%\n", memory[1].first, memory.back().first,
                100.0 * (memory.back().second - memory[1].second) / memory[1].second);
  std::vector<double> command;
  for (int i = 0; i < rounds; ++i) {
    TempFolder shot;
    const double ms = screenshotCommand(server.url(3), shot.path);
    if (ms > 0) command.push_back(ms);
  }
  std::printf("chromium --headless --screenshot, one page, whole command: %s\n",
              describe(summarise(command)).c_str());
  return 0;
}
