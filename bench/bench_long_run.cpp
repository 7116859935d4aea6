// bench_long_run: a long run with pictures, for pace and memory.
//
//   tests/run-under-display build/bench/bench_long_run [PAGES] [PAUSE] [EVERY]
//
// The whole program runs in-process on the GTK platform (Xvfb) with its own
// main loop: the picture folder is set in 编辑框1, 选择框1 ticked, the pause
// 编辑框3 set to PAUSE seconds (1), PAGES (300) addresses added with 按钮2,
// each a small page of its own colour served from 127.0.0.1, and 按钮1 clicked.
// The "连续访问结束" box is answered at once and ends the loop. With a pause of
// P ms each page takes two dwell ticks when P is 1000 (its capture comes at the
// first 时钟2 tick after it was loaded), so 300 pages take about ten minutes.
//
// Recorded through the platform wrapper, on a steady clock:
// - every navigation, capture and restart of the poll timer, and the centre
//   pixel of every picture, which must be the colour of the page loaded last;
// - the pace: the first load is due 1000 ms after the click; each later load
//   1000 ms after the previous capture; the first capture P after its load,
//   each later one at the first dwell tick (previous capture + n * P) after its
//   load; the end box 1000 ms after the last capture. The error of each event
//   against the time worked out from the event before it;
// - the capture step: from its picture to the re-armed poll timer (drawing,
//   BMP image, name, file written and flushed);
// - memory after page 1 and every EVERY (50) pages: VmRSS of this process and
//   the summed VmRSS of all its descendants (the engine's web and network
//   processes).
// Exits with 1 when the run does not finish, a picture is missing or shows the
// wrong page, or either memory figure grows by more than 15% from page EVERY to
// the last page.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/control_model.h"
#include "bench_support.h"

using namespace sorvane;
using namespace sorvane::bench;

namespace {

struct Sample {
  int page = 0;
  long programKb = 0;
  long engineKb = 0;
  std::string engineDetail;
};

struct Capture {
  double at = 0;
  double drawMs = 0;
  bool showsItsPage = false;
};

Sample sampleMemory(int page) {
  Sample s;
  s.page = page;
  s.programKb = residentKb();
  ChildMemory engine = descendantsMemory();
  s.engineKb = engine.totalKb;
  for (const auto& [name, kb] : engine.processes)
    s.engineDetail += " " + name + " " + std::to_string(kb / 1024) + " MB";
  return s;
}

gboolean giveUp(gpointer platform) {
  std::fprintf(stderr, "the run did not finish in time\n");
  static_cast<platform::Platform*>(platform)->quitLoop();
  return G_SOURCE_REMOVE;
}

double growth(long from, long to) { return 100.0 * (static_cast<double>(to) / from - 1.0); }

}  // namespace

int main(int argc, char** argv) {
  Desktop desktop(&argc, &argv);
  const int pages = argc > 1 ? std::atoi(argv[1]) : 300;
  const int pauseSeconds = argc > 2 ? std::atoi(argv[2]) : 1;
  const int every = argc > 3 ? std::atoi(argv[3]) : 50;
  const double pause = 1000.0 * pauseSeconds;
  TempFolder pictures;
  PageServer server;
  BenchPlatform& platform = *desktop.platform;
  Program program(platform);

  std::vector<double> navigations, arms;
  std::vector<int> navigatedPage;
  std::vector<Capture> captures;
  std::vector<Sample> samples;
  double clickedAt = 0, endedAt = 0;
  bool ended = false;

  platform.onNavigate = [&](double at, const std::string& url) {
    navigations.push_back(at);
    navigatedPage.push_back(std::atoi(url.c_str() + url.rfind('/') + 1));
  };
  platform.onCapture = [&](double at, double cost, const platform::Pixels& p) {
    Capture c{at, cost, false};
    if (p.width == 672 && p.height == 568 && !navigatedPage.empty()) {
      const std::size_t i = (static_cast<std::size_t>(284) * 672 + 336) * 3;
      const unsigned rgb = unsigned{p.bgr[i + 2]} << 16 | unsigned{p.bgr[i + 1]} << 8 | p.bgr[i];
      c.showsItsPage = rgb == PageServer::colourOf(navigatedPage.back());
    }
    captures.push_back(c);
  };
  platform.onStartTimer = [&](double at, int period) {
    // The poll timer re-armed at the end of a capture step.
    if (period == 1000 && captures.size() == arms.size() + 1) {
      arms.push_back(at);
      const int page = static_cast<int>(captures.size());
      if (page == 1 || page % every == 0)
        desktop.real->whenIdle([&samples, page] { samples.push_back(sampleMemory(page)); });
    }
  };
  platform.onMessageBox = [&](const std::string& text) {
    if (text == "连续访问结束") {
      endedAt = nowMs();
      ended = true;
      platform.quitLoop();
    } else {
      std::fprintf(stderr, "unexpected box: %s\n", text.c_str());
    }
    return platform::box::kResultOk;
  };

  program.setText("编辑框1", pictures.path + "/");
  program.frame().writeInt(program.control("选择框1"), app::prop::checkBox::checked, 1);
  program.setText("编辑框3", std::to_string(pauseSeconds));
  for (int i = 0; i < pages; ++i) {
    program.setText("编辑框2", server.url(i));
    program.click("按钮2");
  }
  std::printf("%d pages, pause %d s, pictures in %s\n", pages, pauseSeconds, pictures.path.c_str());
  std::printf("before the run: program %.1f MB, engine %.1f MB\n", residentKb() / 1024.0,
              descendantsMemory().totalKb / 1024.0);
  std::fflush(stdout);

  const guint guard = g_timeout_add_seconds(
      static_cast<guint>(pages * (2 * pause + 1000) * 1.5 / 1000 + 60), giveUp, desktop.real.get());
  clickedAt = nowMs();
  program.click("按钮1");
  program.frame().runMessageLoop();
  if (ended) g_source_remove(guard);
  pumpFor(200);  // the last memory sample

  // --- Memory ---------------------------------------------------------------
  std::printf("\n%6s %12s %12s   engine processes\n", "page", "program MB", "engine MB");
  for (const Sample& s : samples)
    std::printf("%6d %12.1f %12.1f  %s\n", s.page, s.programKb / 1024.0, s.engineKb / 1024.0,
                s.engineDetail.c_str());

  // --- Pace -----------------------------------------------------------------
  std::vector<double> navError, captureError, allError, timerLate, dwell, stepCost, draw;
  const std::size_t n = std::min(navigations.size(), captures.size());
  for (std::size_t k = 0; k < n; ++k) {
    const double navDue = k == 0 ? clickedAt + 1000 : captures[k - 1].at + 1000;
    double captureDue = navigations[0] + pause;
    if (k > 0) {
      captureDue = captures[k - 1].at + pause;
      while (captureDue <= navigations[k]) captureDue += pause;
    }
    navError.push_back(std::abs(navigations[k] - navDue));
    captureError.push_back(std::abs(captures[k].at - captureDue));
    if (k > 0) timerLate.push_back(navigations[k] - (arms[k - 1] + 1000));
    dwell.push_back(captures[k].at - navigations[k]);
    draw.push_back(captures[k].drawMs);
    if (k < arms.size()) stepCost.push_back(arms[k] - captures[k].at);
  }
  allError = navError;
  allError.insert(allError.end(), captureError.begin(), captureError.end());
  if (ended && !captures.empty())
    allError.push_back(std::abs(endedAt - (captures.back().at + 1000)));
  int wrongPictures = 0;
  for (const Capture& c : captures) wrongPictures += !c.showsItsPage;

  std::printf("\nloads %zu, captures %zu, end box %s\n", navigations.size(), captures.size(),
              ended ? "shown" : "never shown");
  std::printf("pace error, loads:     %s\n", describe(summarise(navError)).c_str());
  std::printf("pace error, captures:  %s\n", describe(summarise(captureError)).c_str());
  std::printf("pace error, all:       %s\n", describe(summarise(allError)).c_str());
  std::printf("poll timer lateness:   %s\n", describe(summarise(timerLate)).c_str());
  std::printf("time on screen before the picture: %s\n", describe(summarise(dwell)).c_str());
  std::printf("capture step:          %s\n", describe(summarise(stepCost)).c_str());
  std::printf("  of which drawing:    %s\n", describe(summarise(draw)).c_str());
  std::printf("whole run: %.1f s; pictures not showing their own page: %d\n",
              ((ended ? endedAt : nowMs()) - clickedAt) / 1000.0, wrongPictures);

  int files = 0, badFiles = 0;
  for (const auto& e : std::filesystem::directory_iterator(pictures.path)) {
    ++files;
    badFiles += e.file_size() != 1145142;
  }
  std::printf("picture files: %d, of a wrong size: %d\n", files, badFiles);

  bool failed = !ended || files != pages || badFiles != 0 || wrongPictures != 0 ||
                captures.size() != static_cast<std::size_t>(pages);
  const Sample* from = nullptr;
  for (const Sample& s : samples)
    if (s.page == every) from = &s;
  if (from && samples.back().page > every) {
    const Sample& to = samples.back();
    const double programGrowth = growth(from->programKb, to.programKb);
    const double engineGrowth = growth(from->engineKb, to.engineKb);
    std::printf("memory growth from page %d to %d: program %+.1f%%, engine %+.1f%%\n", from->page,
                to.page, programGrowth, engineGrowth);
    if (programGrowth > 15 || engineGrowth > 15) {
      std::printf("memory grew by more than 15%%\n");
      failed = true;
    }
  }
  return failed ? 1 : 0;
}
