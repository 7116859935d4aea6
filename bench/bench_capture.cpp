// bench_capture: what one picture of a page costs.
//
//   tests/run-under-display build/bench/bench_capture [COUNT] [FOLDER]
//
// The program runs in-process on the real GTK platform (Xvfb), its browser
// showing a page served from 127.0.0.1. The capture step of a run (time stamp,
// picture of the 672 x 568 browser, BMP image, a free name, the file written and
// flushed into the folder) is timed COUNT times (200), one step every 20 ms with
// the main loop running in between, as it would between the pages of a run.
// Between steps the folder is emptied, untimed, so every step finds its name at
// the first try. Then the parts are timed on their own: drawing the browser
// into memory, drawing plus the BMP image, and writing the file. The first
// picture is checked (size, "BM", the page's colour) so that the figures are
// those of real pictures. FOLDER defaults to a fresh folder under $TMPDIR or
// /tmp; the write figures depend on the disk under it.

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/control_model.h"
#include "bench_support.h"
#include "capture/bmp.h"
#include "capture/window_pixels.h"
#include "run/run.h"
#include "services/files.h"

using namespace sorvane;
using namespace sorvane::bench;

namespace {

bool checkPicture(const std::string& folder, unsigned rgb) {
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    ByteSet bytes = readFile(Text(e.path().string()));
    const auto& b = bytes.bytes();
    if (b.size() != 1145142 || b[0] != 'B' || b[1] != 'M') {
      std::fprintf(stderr, "picture %s: %zu bytes\n", e.path().c_str(), b.size());
      return false;
    }
    // The middle pixel of the picture; rows are stored bottom-up, 2016 bytes each.
    const std::size_t at = 54 + static_cast<std::size_t>(568 - 1 - 284) * 2016 + 336 * 3;
    const unsigned got = unsigned{b[at + 2]} << 16 | unsigned{b[at + 1]} << 8 | b[at];
    if (got != rgb) {
      std::fprintf(stderr, "picture shows #%06x, the page is #%06x\n", got, rgb);
      return false;
    }
    return true;
  }
  std::fprintf(stderr, "no picture written\n");
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  Desktop desktop(&argc, &argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 200;
  TempFolder temp;
  const std::string folder = argc > 2 ? std::string(argv[2]) : temp.path;
  PageServer server;
  Program program(*desktop.platform);
  app::Frame& frame = program.frame();
  app::Control& browser = program.control("互联网浏览器1");

  frame.navigate(browser, Text(server.url(7)));
  if (!pumpUntil([&] { return !frame.busy(browser); }, 15000)) {
    std::fprintf(stderr, "the page did not load\n");
    return 1;
  }
  pumpFor(500);
  program.setText("编辑框1", folder + "/");

  std::vector<double> draw;
  desktop.platform->onCapture = [&](double, double cost, const platform::Pixels&) {
    draw.push_back(cost);
  };

  program.capture();
  if (!checkPicture(folder, PageServer::colourOf(7))) return 1;
  emptyFolder(folder);

  std::vector<double> step;
  for (int i = 0; i < count + 5; ++i) {
    const double t0 = nowMs();
    program.capture();
    const double t = nowMs() - t0;
    if (i >= 5) step.push_back(t);  // the first few warm caches up
    emptyFolder(folder);
    pumpFor(20);
  }
  draw.clear();

  // The parts on their own.
  std::vector<double> picture, write;
  const std::uint32_t handle = frame.windowHandle(browser);
  for (int i = 0; i < count; ++i) {
    const double t0 = nowMs();
    const std::optional<platform::Pixels> pixels = capture::takePixels(frame.platform(), handle);
    const ByteSet bytes = pixels ? capture::encodeBmp(*pixels) : ByteSet();
    const double t1 = nowMs();
    if (!writeFile(Text(folder + "/part.jpg"), bytes)) {
      std::fprintf(stderr, "cannot write into %s\n", folder.c_str());
      return 1;
    }
    picture.push_back(t1 - t0);
    write.push_back(nowMs() - t1);
    pumpFor(20);
  }

  std::printf("capture step (name, picture, BMP, write): %s\n", describe(summarise(step)).c_str());
  std::printf("  drawing the browser into memory:       %s\n", describe(summarise(draw)).c_str());
  std::printf("  drawing + BMP image:                   %s\n",
              describe(summarise(picture)).c_str());
  std::printf("  writing 1,145,142 bytes with flush:    %s\n", describe(summarise(write)).c_str());
  std::printf("folder: %s\n", folder.c_str());
  return 0;
}
