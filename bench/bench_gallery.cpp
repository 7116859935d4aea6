// bench_gallery: what keeping the gallery (截图记录.html) costs per page, at
// its bound.
//
//   build/bench/bench_gallery [COUNT] [FOLDER]
//
// No display. A record of 100,000 rows (a list of 100 addresses run 1,000
// times, an hour apart) whose latest 2,000 pictures are there (one real PNG
// under every name, as hard links), a tenth of them changed with their
// framed pictures. Timed:
//  - a run's first page: the record read and the cards of the latest rows made;
//  - COUNT (200) later pages, each adding its card and rewriting the page
//    whole (through a temporary file flushed to the disk), which then holds
//    1,901 to 2,000 cards.
// With FOLDER given, the folder is left as it is for a browser to open
// (bench/gallery_open.py does); otherwise a fresh one under $TMPDIR or /tmp is
// removed at the end. The write figures depend on the disk under it.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "bench_stats.h"
#include "capture/picture_file.h"
#include "record/gallery.h"
#include "record/picture_record.h"
#include "services/conversions.h"
#include "services/files.h"

using namespace sorvane;
using namespace sorvane::bench;
namespace fs = std::filesystem;

namespace {

constexpr int kAddresses = 100;
constexpr int kRuns = 1000;

platform::Pixels picture() {
  platform::Pixels p;
  p.width = 672;
  p.height = 568;
  p.bgr.resize(static_cast<std::size_t>(p.width) * p.height * 3);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      std::uint8_t* q = p.bgr.data() + (static_cast<std::size_t>(y) * p.width + x) * 3;
      q[0] = static_cast<std::uint8_t>(120 + x / 8);
      q[1] = static_cast<std::uint8_t>(y < 60 ? 80 : 230);
      q[2] = static_cast<std::uint8_t>(y < 60 ? 40 : 230 - (y % 24 < 8 ? 150 : 0));
    }
  return p;
}

std::string url(int a) { return "https://example.com/news/section-" + std::to_string(a) + "?id=7"; }

// The run's time, an hour after the one before, one second a page.
CivilTime timeOf(int run, int page) {
  return {2026, 1 + run / (24 * 28) % 12, 1 + run / 24 % 28, run % 24, page / 60, page % 60};
}

std::string name(const CivilTime& t) {
  return std::to_string(t.year) + "年" + std::to_string(t.month) + "月" + std::to_string(t.day) +
         "日" + std::to_string(t.hour) + "时" + std::to_string(t.minute) + "分" +
         std::to_string(t.second) + "秒.png";
}

void report(const char* what, std::vector<double> times) {
  std::printf("%-46s %s\n", what, describe(summarise(std::move(times))).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 200;
  const bool keep = argc > 2;
  std::string folder = keep ? argv[2] : "";
  if (folder.empty()) {
    const char* base = std::getenv("TMPDIR");
    std::random_device random;
    folder =
        (fs::path(base ? base : "/tmp") / ("sorvane-bench-gallery-" + std::to_string(random())))
            .string();
  }
  fs::create_directories(folder);
  const Text dir(folder + "/");
  const fs::path shown = fs::path(folder) / "shown.png";
  const ByteSet png = capture::encodePicture(picture(), ImageFormat::Png);
  writeFile(Text(shown.string()), png);

  std::string rows = record::recordHeader();
  for (int run = 0; run < kRuns; ++run)
    for (int a = 0; a < kAddresses; ++a) {
      const CivilTime t = timeOf(run, a);
      const bool changed = (run * kAddresses + a) % 10 == 0;
      const std::string picture = name(t);
      rows += record::recordTime(dateTimeFromCivil(t)).bytes() + "," + url(a) + "," + picture +
              ",loaded," + (changed ? "3.4" : "0.0") + "\r\n";
      if ((kRuns - run) * kAddresses <= 2000) {
        fs::create_hard_link(shown, fs::path(folder) / fs::u8path(picture));
        if (changed)
          fs::create_hard_link(
              shown,
              fs::path(folder) / fs::u8path(record::changePictureName(Text(picture)).bytes()));
      }
    }
  writeFile(dir + record::recordFileName(), ByteSet::fromString(rows));
  std::printf("record of %d rows: %zu bytes\n", kRuns * kAddresses, rows.size());

  // Each page of the run going on is written beside the others, as the record does.
  std::vector<double> first, later;
  for (int attempt = 0; attempt < 10; ++attempt) {
    record::Gallery gallery([](const Text& t) { std::fprintf(stderr, "%s\n", t.c_str()); });
    gallery.startRun();
    const CivilTime t = timeOf(kRuns, 0);
    const double start = nowMs();
    gallery.add(dir,
                {dateTimeFromCivil(t), Text(url(0)), Text(name(t)), record::PageEnd::Loaded, Text("0.0")});
    first.push_back(nowMs() - start);
    if (attempt < 9) continue;
    fs::create_hard_link(shown, fs::path(folder) / fs::u8path(name(t)));
    for (int page = 1; page < count; ++page) {
      const CivilTime at = timeOf(kRuns, page % kAddresses);
      const double began = nowMs();
      gallery.add(
          dir, {dateTimeFromCivil(at), Text(url(page % kAddresses) + "&p=" + std::to_string(page)),
                Text(name(t)), record::PageEnd::Loaded, Text("0.0")});
      later.push_back(nowMs() - began);
    }
  }
  report("a run's first page: read, cards made, written", first);
  report("every later page: card added, page rewritten", later);
  std::printf(
      "the page: %ju bytes\n",
      static_cast<std::uintmax_t>(fs::file_size(fs::path(folder) / fs::u8path("截图记录.html"))));
  if (!keep) fs::remove_all(folder);
  return 0;
}
