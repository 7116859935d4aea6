// bench_records: what a record costs per page.
//
//   build/bench/bench_records [COUNT] [FOLDER]
//
// No display: the record's work is the portable core's and the image
// services'. A synthetic 672 x 568 page (a gradient heading, a photo-like
// block, lines of dark "text" on white) stands for a browser picture. Timed
// COUNT times (200) each, in-process:
//  - encoding it as PNG and as JPEG;
//  - comparing it with the address's earlier picture through the record, as
//    the capture step does (index lookup, reading the earlier file, decoding,
//    comparing), once for an unchanged page and once for a page whose text
//    block changed; the sum of encoding and the changed comparison is the
//    figure held to 25 ms;
//  - the framed "-变化" picture: framing, encoding and writing it;
//  - appending a row (written and flushed to the disk) to a record;
// and, for a record of 100,000 rows (about 9 MB), the one read at a run's
// first page and the lookup every later page makes.
// FOLDER defaults to a fresh folder under $TMPDIR or /tmp; the write figures
// depend on the disk under it.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "bench_stats.h"
#include "capture/picture_file.h"
#include "record/change.h"
#include "record/picture_record.h"
#include "services/conversions.h"
#include "services/files.h"

using namespace sorvane;
using namespace sorvane::bench;
namespace fs = std::filesystem;

namespace {

void put(Pixels& p, int x, int y, int r, int g, int b) {
  std::uint8_t* q = p.bgr.data() + (static_cast<std::size_t>(y) * p.width + x) * 3;
  q[0] = static_cast<std::uint8_t>(b);
  q[1] = static_cast<std::uint8_t>(g);
  q[2] = static_cast<std::uint8_t>(r);
}

// `seed` varies the text block only, as a page whose news changed.
Pixels page(unsigned seed) {
  Pixels p;
  p.width = 672;
  p.height = 568;
  p.bgr.assign(static_cast<std::size_t>(p.width) * p.height * 3, 255);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < p.width; ++x) put(p, x, y, 20 + x / 8, 60 + y, 140);
  std::minstd_rand photo(7);
  for (int y = 80; y < 230; ++y)
    for (int x = 400; x < 650; ++x) {
      const int n = static_cast<int>(photo() % 24);
      put(p, x, y, 90 + (x - 400) / 3 + n, 120 + (y - 80) / 2 + n, 60 + n);
    }
  std::minstd_rand words(seed);
  for (int line = 0; line < 24; ++line) {
    const int top = 250 + line * 12;
    int x = 16;
    while (x < 640) {
      const int length = 8 + static_cast<int>(words() % 40);
      for (int y = top; y < top + 8; ++y)
        for (int i = 0; i < length && x + i < 656; ++i)
          if ((i + y) % 3 != 0) put(p, x + i, y, 30, 30, 40);
      x += length + 6;
    }
  }
  return p;
}

Text withSeparator(const std::string& folder) { return Text(folder + "/"); }

void report(const char* what, std::vector<double> times) {
  std::printf("%-46s %s\n", what, describe(summarise(std::move(times))).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 200;
  const char* base = std::getenv("TMPDIR");
  std::string folder = argc > 2 ? argv[2] : "";
  if (folder.empty()) {
    std::random_device random;
    folder =
        (fs::path(base ? base : "/tmp") / ("sorvane-bench-records-" + std::to_string(random())))
            .string();
  }
  fs::create_directories(folder);
  const Text dir = withSeparator(folder);
  const Pixels before = page(1);
  const Pixels after = page(2);
  std::printf("changed pixels between the two pages: %s%%\n",
              record::changeText(record::changeTenths(after, before)).c_str());

  for (ImageFormat format : {ImageFormat::Png, ImageFormat::Jpeg}) {
    const char* name = format == ImageFormat::Png ? "PNG" : "JPEG";
    std::vector<double> encode, same, changed, total, framed;
    const ByteSet earlier = capture::encodePicture(before, format);
    writeFile(dir + Text("earlier"), earlier);
    std::printf("%s: %zu bytes (the bitmap image: 1145142)\n", name, earlier.size());
    int sink = 0;
    for (int i = 0; i < count; ++i) {
      // A record whose index says the address was pictured as "earlier".
      fs::remove(fs::path(folder) / "截图记录.csv");
      record::PictureRecord pictures(record::KeepPictures::All, [](const Text&) {});
      pictures.startRun();
      pictures.addRow(dir, {currentDateTime(), Text("http://a/"), Text("earlier"), record::PageEnd::Loaded,
                            Text("new")});

      double t = nowMs();
      const ByteSet stored = capture::encodePicture(after, format);
      const double encoded = nowMs() - t;
      encode.push_back(encoded);

      t = nowMs();
      const record::Comparison unchanged =
          pictures.compare(dir, Text("http://a/"), before, earlier, format);
      same.push_back(nowMs() - t);

      t = nowMs();
      const record::Comparison moved =
          pictures.compare(dir, Text("http://a/"), after, stored, format);
      changed.push_back(nowMs() - t);
      total.push_back(encoded + changed.back());

      fs::remove(fs::path(folder) / "p-变化.png");
      fs::remove(fs::path(folder) / "p-变化.jpg");
      t = nowMs();
      const Text picture = dir + Text(format == ImageFormat::Png ? "p.png" : "p.jpg");
      sink += pictures.saveChangePicture(picture, after, moved, format) ? 1 : 0;
      framed.push_back(nowMs() - t);
      sink += unchanged.change && unchanged.change->tenths == 0 ? 1 : 0;
    }
    if (sink != 2 * count) std::fprintf(stderr, "%s: unexpected comparisons\n", name);
    std::printf("-- %s\n", name);
    report("encoding", encode);
    report("comparing, unchanged page", same);
    report("comparing, changed page", changed);
    report("encoding + comparing (changed)", total);
    report("framed \"-变化\" picture, encoded and written", framed);
  }

  {
    fs::remove(fs::path(folder) / "截图记录.csv");
    record::PictureRecord pictures(record::KeepPictures::All, [](const Text&) {});
    pictures.startRun();
    std::vector<double> append;
    for (int i = 0; i < std::max(count, 1000); ++i) {
      const double t = nowMs();
      pictures.addRow(dir,
                      {currentDateTime(), Text("http://example.com/page?id=" + std::to_string(i)),
                       Text("2026年12月8日7时0分4秒.png"), record::PageEnd::Loaded, Text("12.5")});
      append.push_back(nowMs() - t);
    }
    report("appending a row, flushed", append);
  }

  {
    // 1,000 addresses visited on 100 days.
    std::string rows = record::recordHeader();
    for (int day = 0; day < 100; ++day)
      for (int a = 0; a < 1000; ++a)
        rows += "2026-09-" + std::to_string(day % 28 + 1) +
                " 07:00:04,\"http://example.com/news,page?id=" + std::to_string(a) +
                "\",2026年9月" + std::to_string(day % 28 + 1) + "日7时0分" +
                std::to_string(a % 59 + 1) + "秒(" + std::to_string(day) + ").png,loaded,3.4\r\n";
    writeFile(dir + record::recordFileName(), ByteSet::fromString(rows));
    std::printf("record of 100,000 rows: %zu bytes\n", rows.size());
    std::vector<double> first, later;
    for (int run = 0; run < 10; ++run) {
      record::PictureRecord pictures(record::KeepPictures::All, [](const Text&) {});
      pictures.startRun();
      double t = nowMs();
      pictures.latestPicture(dir, Text("http://example.com/news,page?id=0"));
      first.push_back(nowMs() - t);
      for (int a = 1; a < 1000; a += 10) {
        t = nowMs();
        const auto found = pictures.latestPicture(
            dir, Text("http://example.com/news,page?id=" + std::to_string(a)));
        later.push_back(nowMs() - t);
        if (!found) std::fprintf(stderr, "address %d not found\n", a);
      }
    }
    report("100,000 rows: read at a run's first page", first);
    report("100,000 rows: lookup at every later page", later);
  }
  fs::remove_all(folder);
  return 0;
}
