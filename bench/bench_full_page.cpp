// bench_full_page: what a picture of a whole 10,000-pixel page costs.
//
//   tests/run-under-display build/bench/bench_full_page [COUNT]
//
// The program runs in-process on the real GTK platform (Xvfb), its browser
// showing a page 10,000 pixels tall (coloured bands with text) served from
// 127.0.0.1. Once the page has loaded, the capture step of a run (picture,
// encoding, the file written) is timed COUNT times (5) for each format, once
// for the browser area and once with --full-page: that is the time from the
// end of the page's load (and its pause) to the file on disk. Before each
// step the peak resident memory (VmHWM) of this process and of every process
// below it (the engine's web process among them) is reset through
// /proc/PID/clear_refs; after it the peaks are read back and summed.
//
// When cutycapt is installed (Debian's package), the same page is taken with
// it too, from its start to its file: its own start and the page's load are
// in that figure, which the program's figure leaves out.

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "run/run.h"

using namespace sorvane;
using namespace sorvane::bench;

namespace {

testing::Response tallPage(const testing::Request&) {
  std::string body = "<!doctype html><html><head><meta charset='utf-8'></head><body style='margin:0'>";
  for (int i = 0; i < 10; ++i) {
    body += "<div style='height:1000px;background:hsl(" + std::to_string(i * 36) +
            ",60%,70%)'><h1>Band " + std::to_string(i) + "</h1>";
    for (int p = 0; p < 12; ++p)
      body += "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor.</p>";
    body += "</div>";
  }
  return testing::Response::page("Content-Type: text/html; charset=utf-8\r\n", body + "</body></html>");
}

std::vector<int> descendants() {
  std::vector<int> tree{static_cast<int>(getpid())};
  for (std::size_t i = 0; i < tree.size(); ++i) {
    DIR* proc = opendir("/proc");
    while (dirent* e = proc ? readdir(proc) : nullptr) {
      const int pid = std::atoi(e->d_name);
      if (pid <= 0) continue;
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string line;
      std::getline(stat, line);
      const std::size_t close = line.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(line.substr(close + 2));
      char state;
      int parent = 0;
      rest >> state >> parent;
      if (parent == tree[i]) tree.push_back(pid);
    }
    if (proc) closedir(proc);
  }
  return tree;
}

void resetPeaks() {
  for (int pid : descendants()) std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5";
}

// The sum of the peaks since the reset, in MB.
double peakMb() {
  long kb = 0;
  for (int pid : descendants()) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("VmHWM:", 0) == 0) kb += std::atol(line.c_str() + 6);
  }
  return kb / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  Desktop desktop(&argc, &argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 5;
  TempFolder temp;
  testing::LoopbackServer server(&tallPage);
  Program program(*desktop.platform);
  app::Frame& frame = program.frame();
  app::Control& browser = program.control("互联网浏览器1");
  frame.navigate(browser, Text(server.url("/tall")));
  if (!pumpUntil([&] { return !frame.busy(browser); }, 15000)) {
    std::fprintf(stderr, "the page did not load\n");
    return 1;
  }
  pumpFor(1000);
  program.setText("编辑框1", temp.path + "/");

  const char* names[] = {"BMP", "PNG", "JPEG"};
  const ImageFormat formats[] = {ImageFormat::Bmp, ImageFormat::Png, ImageFormat::Jpeg};
  for (int f = 0; f < 3; ++f) {
    program.run().settings.pictureFormat = formats[f];
    for (bool full : {false, true}) {
      program.run().settings.fullPage = full;
      std::vector<double> times;
      double peak = 0;
      std::uintmax_t bytes = 0;
      for (int i = 0; i < count; ++i) {
        pumpFor(50);
        resetPeaks();
        const double t0 = nowMs();
        const run::PageReport result = program.capture();
        times.push_back(nowMs() - t0);
        peak = std::max(peak, peakMb());
        if (!result.written()) {
          std::fprintf(stderr, "no picture written\n");
          return 1;
        }
        bytes = std::filesystem::file_size(result.picture.bytes());
        emptyFolder(temp.path);
      }
      std::printf("%-4s %-10s %s; file %.1f MB; peak of program + engine %.0f MB\n", names[f],
                  full ? "whole page" : "area", describe(summarise(times)).c_str(),
                  bytes / 1048576.0, peak);
    }
  }

  if (std::system("command -v cutycapt >/dev/null 2>&1") == 0) {
    const std::string out = temp.path + "/cutycapt.png";
    const std::string command = "/usr/bin/time -f 'cutycapt (start, load, PNG): %e s, peak %M KB' "
                                "cutycapt --url=" + server.url("/tall") + " --out=" + out +
                                " --min-width=672 2>&1 | tail -1";
    for (int i = 0; i < 3; ++i)
      if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cutycapt failed\n");
  } else {
    std::printf("cutycapt is not installed: no comparison\n");
  }
  return 0;
}
