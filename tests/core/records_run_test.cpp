// Records on the simulated platform: runs with --record, one after another
// over the same folder, as a daily cron job makes them, and the window used
// by hand with the options given at start.

#include <gtest/gtest.h>
#include <stdlib.h>

#include "capture/picture_file.h"
#include "program_fixture.h"

namespace sorvane::testing {
namespace {

using Args = std::vector<std::string>;
using platform::WidgetKind;

constexpr sim::Rgb kRed{255, 0, 0};

// A folder of pictures that outlives each run in it.
struct Runs {
  fs::path dir;
  fs::path shots;
  std::string list;

  Runs() {
    std::string pattern = (fs::temp_directory_path() / "sorvane-records-XXXXXX").string();
    dir = ::mkdtemp(pattern.data());
    shots = dir / "截图";
    fs::create_directory(shots);
    list = (dir / "list.txt").string();
    writeBytes(list, "\r\nhttp://a/\r\nhttp://b/");
  }
  ~Runs() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  Args unattended(const Args& more) {
    Args a{"--list",  list, "--folder", shots.string(),
           "--pause", "2",  "--start",  "--exit-when-done"};
    a.insert(a.end(), more.begin(), more.end());
    return a;
  }
  std::string path(const std::string& name) { return (shots / name).string(); }
  std::string record() { return readBytes(shots / "截图记录.csv"); }
  std::optional<Pixels> picture(const std::string& name) {
    return capture::decodePicture(ByteSet::fromString(readBytes(shots / name)));
  }
};

sim::Rgb colourAt(const Pixels& p, int x, int y) {
  const std::uint8_t* q = p.bgr.data() + (static_cast<std::size_t>(y) * p.width + x) * 3;
  return {q[2], q[1], q[0]};
}

platform::WidgetId named(sim::SimPlatform& sim, const char* name) {
  for (WidgetKind kind : {WidgetKind::EditBox, WidgetKind::Button})
    for (platform::WidgetId id : sim.widgetsOfKind(kind))
      if (sim.widget(id).widgetSpec.name == name) return id;
  return 0;
}

TEST(Records, TwoDailyRunsKeepOnlyWhatChanged) {
  Runs runs;
  const Args args = runs.unattended({"--record", "--changed-only", "--format", "png"});
  {
    sim::SimPlatform sim;
    sim.setLocalTime({2026, 12, 7, 9, 5, 0});
    sim.setPageColour("http://b/", 10, 100, 200);
    EXPECT_EQ(runProgram(sim, args), 0);
    EXPECT_EQ(sim.standardOutput(),
              "2026-12-07 09:05:03\thttp://a/\t" + runs.path("2026年12月7日9时5分3秒.png") +
                  "\tloaded\tnew\n" + "2026-12-07 09:05:05\thttp://b/\t" +
                  runs.path("2026年12月7日9时5分5秒.png") + "\tloaded\tnew\n");
    EXPECT_EQ(sim.standardError(), "");
  }
  {
    // The next day b shows something else; a is as it was.
    sim::SimPlatform sim;
    sim.setLocalTime({2026, 12, 8, 9, 5, 0});
    sim.setPageColour("http://b/", 200, 100, 10);
    EXPECT_EQ(runProgram(sim, args), 0);
    EXPECT_EQ(sim.standardOutput(),
              "2026-12-08 09:05:03\thttp://a/\t" + runs.path("2026年12月7日9时5分3秒.png") +
                  "\tloaded\t0.0\n" + "2026-12-08 09:05:05\thttp://b/\t" +
                  runs.path("2026年12月8日9时5分5秒.png") + "\tloaded\t100.0\n");
    EXPECT_EQ(sim.standardError(), "");
  }
  EXPECT_EQ(runs.record(),
            "时间,网址,截图,结果,变化\r\n"
            "2026-12-07 09:05:03,http://a/,2026年12月7日9时5分3秒.png,loaded,new\r\n"
            "2026-12-07 09:05:05,http://b/,2026年12月7日9时5分5秒.png,loaded,new\r\n"
            "2026-12-08 09:05:03,http://a/,2026年12月7日9时5分3秒.png,loaded,0.0\r\n"
            "2026-12-08 09:05:05,http://b/,2026年12月8日9时5分5秒.png,loaded,100.0\r\n");
  // The unchanged picture of a was never kept; b's new one has its changes framed.
  EXPECT_EQ(
      Program::filesIn(runs.shots),
      (Strings{"2026年12月7日9时5分3秒.png", "2026年12月7日9时5分5秒.png",
               "2026年12月8日9时5分5秒-变化.png", "2026年12月8日9时5分5秒.png", "截图记录.csv",
               "截图记录.html"}));
  // The gallery: two runs, the newest first; b's card of the second marked,
  // with its framed picture a click away.
  const std::string gallery = readBytes(runs.shots / "截图记录.html");
  const std::size_t second = gallery.find("<h2>2026-12-08 09:05:03 的运行</h2>");
  const std::size_t first = gallery.find("<h2>2026-12-07 09:05:03 的运行</h2>");
  EXPECT_TRUE(second != std::string::npos && first != std::string::npos && second < first);
  const std::size_t changedCard = gallery.find("<article class=\"card changed\">");
  EXPECT_TRUE(changedCard > second && changedCard < first) << gallery;
  EXPECT_NE(gallery.find("变化处</a>", changedCard), std::string::npos);
  const std::optional<Pixels> plain = runs.picture("2026年12月8日9时5分5秒.png");
  const std::optional<Pixels> framed = runs.picture("2026年12月8日9时5分5秒-变化.png");
  ASSERT_TRUE(plain && framed);
  EXPECT_EQ(colourAt(*plain, 0, 0), (sim::Rgb{200, 100, 10}));
  EXPECT_EQ(colourAt(*framed, 0, 0), kRed);
  EXPECT_EQ(colourAt(*framed, framed->width - 1, framed->height / 2), kRed);
  EXPECT_EQ(colourAt(*framed, framed->width / 2, framed->height / 2), (sim::Rgb{200, 100, 10}));
}

TEST(Records, AMissingEarlierPictureMakesThePageNewAndAPageWithoutOneStillHasARow) {
  Runs runs;
  const Args args = runs.unattended({"--record"});
  {
    sim::SimPlatform sim;
    sim.setLocalTime({2026, 12, 7, 9, 5, 0});
    EXPECT_EQ(runProgram(sim, args), 0);
  }
  fs::remove(runs.shots / "2026年12月7日9时5分3秒.jpg");
  sim::SimPlatform sim;
  sim.setLocalTime({2026, 12, 8, 9, 5, 0});
  sim.at(4500, [&] { sim.failNextCapture(); });
  EXPECT_EQ(runProgram(sim, args), 1);
  // The bitmap image as ever, under ".jpg"; a picture not taken has a row without one.
  const std::string record = runs.record();
  EXPECT_TRUE(
      record.ends_with("2026-12-08 09:05:03,http://a/,2026年12月8日9时5分3秒.jpg,loaded,new\r\n"
                       "2026-12-08 09:05:05,http://b/,,loaded,\r\n"))
      << record;
  EXPECT_EQ(readBytes(runs.shots / "2026年12月8日9时5分3秒.jpg").substr(0, 2), "BM");
  EXPECT_TRUE(sim.standardOutput().ends_with("\thttp://b/\t-\tloaded\t-\n"))
      << sim.standardOutput();
  EXPECT_NE(readBytes(runs.shots / "截图记录.html").find("没有截图：截图无法取得或无法保存"),
            std::string::npos);
}

TEST(Records, ARecordThatCannotBeReadIsSetAsideWithOneLine) {
  Runs runs;
  writeBytes(runs.shots / "截图记录.csv", "name,address\r\nx,y\r\n");
  sim::SimPlatform sim;
  sim.setLocalTime({2026, 12, 7, 9, 5, 0});
  EXPECT_EQ(runProgram(sim, runs.unattended({"--record"})), 0);
  EXPECT_EQ(sim.standardError(), "sorvane: 截图记录无法读取，已改名为 " +
                                     runs.path("截图记录-无法读取.csv") + "，另起新的记录\n");
  EXPECT_EQ(readBytes(runs.shots / "截图记录-无法读取.csv"), "name,address\r\nx,y\r\n");
  EXPECT_TRUE(
      runs.record().starts_with("时间,网址,截图,结果,变化\r\n2026-12-07 09:05:03,http://a/,"));
}

// Held by another program for the whole run (a spreadsheet showing it): the
// record stays as it was, the run's rows go to a file of their own, and the
// run's end says where: a line when nobody watches, the end box otherwise.
TEST(Records, ARecordHeldAllRunLeavesItsRowsBesideIt) {
  for (const bool watched : {false, true}) {
    SCOPED_TRACE(watched ? "watched" : "unattended");
    Runs runs;
    const std::string before = "时间,网址,截图,结果,变化\r\n";
    writeBytes(runs.shots / "截图记录.csv", before);
    forceFileFault(Text(runs.path("截图记录.csv")), ForcedFault::InUse);
    sim::SimPlatform sim;
    sim.setLocalTime({2026, 12, 7, 9, 5, 0});
    if (watched) sim.at(20000, [&] { sim.closeWindow(); });
    Args args = runs.unattended({"--record"});
    if (watched) std::erase(args, "--exit-when-done");
    EXPECT_EQ(runProgram(sim, args), 0);
    forceFileFault(Text(runs.path("截图记录.csv")), ForcedFault::None);

    EXPECT_EQ(runs.record(), before);
    const std::string aside = runs.path("截图记录-2026年12月7日9时5分.csv");
    EXPECT_EQ(readBytes(aside),
              before + "2026-12-07 09:05:03,http://a/,2026年12月7日9时5分3秒.jpg,loaded,new\r\n" +
                  "2026-12-07 09:05:05,http://b/,2026年12月7日9时5分5秒.jpg,loaded,new\r\n");
    const std::string said = "截图记录正被其他程序使用，本次的 2 行另存为 " + aside;
    if (watched) {
      ASSERT_EQ(sim.boxes().size(), 1u);
      EXPECT_EQ(sim.boxes()[0].text, "连续访问结束\n" + said);
      EXPECT_EQ(sim.standardError(), "");
    } else {
      EXPECT_TRUE(sim.boxes().empty());
      EXPECT_EQ(sim.standardError(), "sorvane: " + said + "\n");
    }
  }
}

TEST(Records, TheWindowStartedWithTheOptionsKeepsTheRecordOfARunStartedByHand) {
  Runs runs;
  sim::SimPlatform sim;
  sim.setLocalTime({2026, 12, 7, 9, 5, 0});
  sim.at(100, [&] {
    sim.setEditText(named(sim, "编辑框2"), "http://a/,b");
    sim.click(named(sim, "按钮2"));
    sim.click(named(sim, "按钮1"));
  });
  sim.at(20000, [&] { sim.closeWindow(); });
  EXPECT_EQ(runProgram(sim, Args{"--folder", runs.shots.string(), "--record", "--format", "jpeg"}),
            0);
  // The layout's pause of 5 s: loaded at 1.1 s, taken at 6.1 s. No lines: nobody asked for them.
  EXPECT_EQ(runs.record(),
            "时间,网址,截图,结果,变化\r\n"
            "2026-12-07 09:05:06,\"http://a/,b\",2026年12月7日9时5分6秒.jpg,loaded,new\r\n");
  EXPECT_EQ(readBytes(runs.shots / "2026年12月7日9时5分6秒.jpg").substr(0, 3), "\xFF\xD8\xFF");
  EXPECT_EQ(sim.standardOutput(), "");
  ASSERT_EQ(sim.boxes().size(), 1u);
  EXPECT_EQ(sim.boxes()[0].text, "连续访问结束");
}

}  // namespace
}  // namespace sorvane::testing
