// Runs started from the command line, on the simulated platform: the window as
// prepared, the timeline on the virtual clock, the line per page, the page
// time-out and how the program ends.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "capture/picture_file.h"
#include "platform/sim/sim_platform.h"
#include "program.h"
#include "services/files.h"

namespace sorvane::testing {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using platform::WidgetId;
using platform::WidgetKind;

struct Unattended {
  sim::SimPlatform sim;
  fs::path dir;
  fs::path shots;
  std::string list;

  explicit Unattended(const std::vector<std::string>& urls = {"http://a/", "http://b/"}) {
    std::string pattern = (fs::temp_directory_path() / "sorvane-unattended-XXXXXX").string();
    dir = ::mkdtemp(pattern.data());
    shots = dir / "截图 保存";
    fs::create_directory(shots);
    std::string bytes;
    for (const std::string& url : urls) bytes += "\r\n" + url;
    list = (dir / "list.txt").string();
    std::ofstream(list, std::ios::binary) << bytes;
    sim.setLocalTime({2026, 12, 7, 9, 5, 0});
  }
  ~Unattended() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }

  // The usual unattended command line, with more options after it.
  Args args(const Args& more = {}) {
    Args a{"--list",  list, "--folder", shots.string(),
           "--pause", "2",  "--start",  "--exit-when-done"};
    a.insert(a.end(), more.begin(), more.end());
    return a;
  }
  int run(const Args& a) { return runProgram(sim, a); }

  WidgetId widget(const char* name) {
    for (WidgetKind kind : {WidgetKind::EditBox, WidgetKind::CheckBox, WidgetKind::Button,
                            WidgetKind::ListBox, WidgetKind::Label})
      for (WidgetId id : sim.widgetsOfKind(kind))
        if (sim.widget(id).widgetSpec.name == name) return id;
    return 0;
  }
  std::string text(const char* name) { return sim.widget(widget(name)).text; }
  std::vector<std::string> pictures() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(shots)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string picture(const std::string& name) { return (shots / name).string(); }
  std::vector<std::int64_t> navigationTimes() {
    std::vector<std::int64_t> times;
    for (const sim::Navigation& n : sim.navigations()) times.push_back(n.atMs);
    return times;
  }
};

TEST(Unattended, PreparesTheWindowPressesStartAndEndsWithCodeZero) {
  Unattended u;
  bool prepared = false;
  // Test actions at an instant run before idle work: the window as prepared,
  // before 开始 is pressed.
  u.sim.at(0, [&] {
    prepared = true;
    EXPECT_EQ(u.text("编辑框1"), u.shots.string() + "/");
    EXPECT_TRUE(u.sim.widget(u.widget("选择框1")).checked);
    EXPECT_EQ(u.text("编辑框3"), "2");
    EXPECT_EQ(u.sim.widget(u.widget("列表框1")).items, (Args{"http://a/", "http://b/"}));
    EXPECT_EQ(u.text("按钮1"), "开始");
    EXPECT_TRUE(u.sim.isVisible(u.sim.topLevel()));
  });
  u.sim.at(1, [&] { EXPECT_EQ(u.text("按钮1"), "停止"); });
  u.sim.at(4500, [&] { EXPECT_EQ(u.pictures().size(), 1u); });

  EXPECT_EQ(u.run(u.args()), 0);
  EXPECT_TRUE(prepared);
  // Load at 1 s, picture at 3 s, next load at 4 s; 时钟2 keeps its phase, so
  // the second picture at 5 s and the end at 6 s.
  EXPECT_EQ(u.navigationTimes(), (std::vector<std::int64_t>{1000, 4000}));
  EXPECT_EQ(u.sim.now(), 6000);
  EXPECT_EQ(u.pictures(), (Args{"2026年12月7日9时5分3秒.jpg", "2026年12月7日9时5分5秒.jpg"}));
  EXPECT_EQ(u.sim.standardOutput(), "2026-12-07 09:05:03\thttp://a/\t" +
                                        u.picture("2026年12月7日9时5分3秒.jpg") + "\tloaded\n" +
                                        "2026-12-07 09:05:05\thttp://b/\t" +
                                        u.picture("2026年12月7日9时5分5秒.jpg") + "\tloaded\n");
  EXPECT_EQ(u.sim.standardError(), "");
  EXPECT_TRUE(u.sim.boxes().empty());
  EXPECT_EQ(u.sim.topLevel(), 0u);  // the window closed itself
}

TEST(Unattended, SizesAndWholePagesGiveTheirPictureAndSayWhereItWasCut) {
  struct Row {
    const char* what;
    Args options;
    sim::LoadScript page;
    int width, height;  // the picture's
    std::string tail;   // the line after "loaded"
    bool noMemory = false;  // for the whole page's drawing
  };
  sim::LoadScript tall, wide, huge, vast;
  tall.documentHeight = 6000;
  wide.documentWidth = 2000;
  wide.documentHeight = 900;
  huge.documentHeight = 40000;
  vast.documentWidth = 40000;
  vast.documentHeight = 40000;
  const std::vector<Row> rows = {
      {"the browser area", {}, tall, 672, 568, ""},
      {"another size", {"--size", "1366x768"}, tall, 1366, 768, ""},
      {"a tall page", {"--full-page"}, tall, 672, 6000, "\t-\twhole"},
      {"a wide page", {"--full-page", "--size", "800x600"}, wide, 2000, 900, "\t-\twhole"},
      {"a page past the bound", {"--full-page", "--record"}, huge, 672, 20000, "\tnew\tcut"},
      {"a page the size of the view", {"--full-page"}, {}, 672, 568, "\t-\twhole"},
      {"a page past both bounds", {"--full-page", "--record"}, vast, 3840, 20000, "\tnew\tcut"},
      {"no memory for the whole page",
       {"--full-page", "--record"},
       vast,
       672,
       568,
       "\tnew\tcut",
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Unattended u({"http://a/"});
    u.sim.scriptLoad("http://a/", row.page);
    if (row.noMemory) u.sim.whileDrawingDocument = [] { throw std::bad_alloc(); };
    Args options = row.options;
    options.insert(options.end(), {"--format", "png"});
    ASSERT_EQ(u.run(u.args(options)), 0) << u.sim.standardError();
    const std::string out = u.sim.standardOutput();
    EXPECT_EQ(out.substr(out.find("\tloaded")), "\tloaded" + row.tail + "\n");
    const Args names = u.pictures();
    ASSERT_FALSE(names.empty());
    const std::optional<Pixels> picture = capture::decodePicture(readFile(Text(u.picture(names[0]))));
    ASSERT_TRUE(picture);
    EXPECT_EQ(std::pair(picture->width, picture->height), std::pair(row.width, row.height));
    if (row.tail.ends_with("cut")) {
      // The record keeps five columns; the cut is said beside the change.
      const ByteSet bytes = readFile(Text((u.shots / "截图记录.csv").string()));
      const std::string record(bytes.bytes().begin(), bytes.bytes().end());
      EXPECT_TRUE(record.ends_with(",loaded,new cut\r\n")) << record;
    }
  }
}

TEST(Unattended, AStuckPageIsStoppedAfterThePageTimeOutAndTakenAsItStands) {
  Unattended u({"http://stuck/", "http://b/"});
  u.sim.scriptLoad("http://stuck/", {0, true});
  EXPECT_EQ(u.run(u.args({"--page-timeout", "4.5"})), 0);
  // Busy at the dwell ticks of 3 s and 5 s; stopped at 1 + 4.5 s; taken at 7 s.
  EXPECT_EQ(u.sim.stoppedLoads(), (std::vector<std::int64_t>{5500}));
  EXPECT_EQ(u.navigationTimes(), (std::vector<std::int64_t>{1000, 8000}));
  EXPECT_EQ(u.pictures(), (Args{"2026年12月7日9时5分7秒.jpg", "2026年12月7日9时5分9秒.jpg"}));
  EXPECT_EQ(u.sim.standardError(), "sorvane: 网页载入超时，已停止载入：http://stuck/\n");
  EXPECT_TRUE(u.sim.boxes().empty());
}

TEST(Unattended, EachPageGetsTheWholeTimeOutFromItsOwnLoad) {
  Unattended u({"http://a/", "http://stuck/"});
  u.sim.scriptLoad("http://stuck/", {0, true});
  EXPECT_EQ(u.run(u.args({"--page-timeout", "4.5"})), 0);
  // The first page's time-out (due at 5.5 s) ended with its picture; the
  // stuck page, loaded at 4 s, is stopped at 8.5 s and taken at 9 s.
  EXPECT_EQ(u.sim.stoppedLoads(), (std::vector<std::int64_t>{8500}));
  EXPECT_EQ(u.pictures(), (Args{"2026年12月7日9时5分3秒.jpg", "2026年12月7日9时5分9秒.jpg"}));
  EXPECT_EQ(u.sim.now(), 10000);
}

// Each address ends within its time-out (3 s from its sending) and its pause,
// and its line says how: a red page before it, a blue one after it. Where the
// address shows nothing of its own, its picture is a blank page, never the
// red one before it.
TEST(Unattended, EveryAddressEndsWithinItsDeadlineAndItsLineSaysHow) {
  struct Row {
    const char* name;
    std::string address;
    sim::LoadScript script;
    const char* end;
    std::optional<sim::Rgb> shows;  // nothing: the page's own colour
    std::vector<std::int64_t> stopped, ended;
  };
  const sim::Rgb kErrorPage{200, 200, 200};
  const std::vector<Row> rows = {
      {"a page that loads", "http://x/", {}, "loaded", {}, {}, {}},
      {"a page the engine cannot load", "http://x/", {.fails = true}, "failed", kErrorPage, {}, {}},
      {"a refused download", "http://x/", {.showsNothing = true}, "blank", sim::kWhite, {}, {}},
      {"a page that never ends", "http://x/", {.neverEnds = true}, "timeout", {}, {7000}, {}},
      {"nothing drawn before the time-out", "http://x/", {.neverEnds = true, .drawsNothing = true},
       "timeout", sim::kWhite, {7000}, {}},
      {"a script that holds the engine", "http://x/", {.neverEnds = true, .holdsEngine = true},
       "timeout", sim::kWhite, {7000}, {8000}},
      {"a script address", "javascript:1", {}, "blank", sim::kWhite, {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Unattended u({"http://red/", row.address, "http://blue/"});
    u.sim.scriptLoad(row.address, row.script);
    u.sim.setPageColour("http://red/", 255, 0, 0);
    u.sim.setPageColour("http://blue/", 0, 0, 255);
    u.sim.setErrorPageColour(kErrorPage);
    EXPECT_EQ(u.run(u.args({"--page-timeout", "3"})), 0);
    // Three addresses of at most 3 s + 2 s + 2 s each, and the start.
    EXPECT_LE(u.sim.now(), 1000 + 3 * 7000);
    EXPECT_EQ(u.sim.stoppedLoads(), row.stopped);
    EXPECT_EQ(u.sim.endedPages(), row.ended);

    std::vector<std::string> ends, pictures;
    std::istringstream lines(u.sim.standardOutput());
    for (std::string line; std::getline(lines, line);) {
      ends.push_back(line.substr(line.rfind('\t') + 1));
      const std::size_t picture = line.find('\t', line.find('\t') + 1) + 1;
      pictures.push_back(line.substr(picture, line.rfind('\t') - picture));
    }
    EXPECT_EQ(ends, (Args{"loaded", row.end, "loaded"}));
    ASSERT_EQ(pictures.size(), 3u);
    const sim::Rgb want = row.shows.value_or(u.sim.pageColour(row.address));
    for (auto [picture, colour] : {std::pair{pictures[0], sim::Rgb{255, 0, 0}},
                                   {pictures[1], want}, {pictures[2], sim::Rgb{0, 0, 255}}}) {
      std::ifstream in(picture, std::ios::binary);
      const std::string bytes(std::istreambuf_iterator<char>(in), {});
      ASSERT_GT(bytes.size(), 56u) << picture;
      EXPECT_EQ((sim::Rgb{std::uint8_t(bytes[56]), std::uint8_t(bytes[55]), std::uint8_t(bytes[54])}),
                colour)
          << picture;
    }
  }
}

TEST(Unattended, WithoutATimeOutAStuckPageHoldsTheRun) {
  Unattended u({"http://stuck/"});
  u.sim.scriptLoad("http://stuck/", {0, true});
  u.sim.setRunLimit(600000);
  // The loop gives up at the limit with the run still waiting: not an end.
  EXPECT_EQ(u.run(u.args()), 3);
  EXPECT_TRUE(u.sim.stoppedLoads().empty());
  EXPECT_TRUE(u.pictures().empty());
  EXPECT_EQ(u.sim.standardOutput(), "");
}

// The folder goes away during the run, or something else takes its name so
// that nothing in it can be looked at: that picture fails, the run goes on.
// With a record, the missing picture has no change figure either.
TEST(Unattended, APictureThatCannotBeWrittenEndsWithCodeOne) {
  struct Row {
    const char* what;
    bool replacedByAFile;
    Args options;
    std::string first, second;  // the fields after "loaded"
  };
  const std::vector<Row> rows = {
      {"the folder removed", false, {}, "", ""},
      {"a file in the folder's place", true, {}, "", ""},
      {"the folder removed, with a record", false, {"--record"}, "\tnew", "\t-"},
      {"whole pages, with a record", false, {"--record", "--full-page"}, "\tnew\twhole",
       "\t-\t-"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Unattended u;
    u.sim.at(4000, [&] {
      fs::remove_all(u.shots);
      if (row.replacedByAFile) std::ofstream(u.shots) << "x";
    });
    EXPECT_EQ(u.run(u.args(row.options)), 1);
    const std::string second = u.picture("2026年12月7日9时5分5秒.jpg");
    EXPECT_EQ(u.sim.standardOutput(),
              "2026-12-07 09:05:03\thttp://a/\t" + u.picture("2026年12月7日9时5分3秒.jpg") +
                  "\tloaded" + row.first + "\n" + "2026-12-07 09:05:05\thttp://b/\t-\tloaded" +
                  row.second + "\n");
    EXPECT_NE(u.sim.standardError().find("sorvane: 截图无法保存：" + second + "\n"),
              std::string::npos);
    if (row.options.empty())
      EXPECT_EQ(u.sim.standardError(), "sorvane: 截图无法保存：" + second + "\n");
    EXPECT_TRUE(u.sim.boxes().empty());
  }
}

TEST(Unattended, ClosingTheWindowBeforeTheEndIsCodeThree) {
  Unattended u;
  u.sim.at(3500, [&] { u.sim.closeWindow(); });
  EXPECT_EQ(u.run(u.args()), 3);
  EXPECT_EQ(u.sim.navigations().size(), 1u);
  EXPECT_TRUE(u.sim.boxes().empty());
}

TEST(Unattended, NoBoxOrDialogEverShows) {
  Unattended u;
  // What a person at the window could still do: tick 截图 with no folder
  // (a box), press … (the folder picker), 导入网址 (a file dialog).
  u.sim.at(100, [&] {
    u.sim.click(u.widget("按钮6"));
    u.sim.click(u.widget("选择框1"));
    u.sim.click(u.widget("按钮4"));
  });
  EXPECT_EQ(u.run({"--list", u.list, "--pause", "2", "--start", "--exit-when-done"}), 0);
  EXPECT_TRUE(u.sim.boxes().empty());
  EXPECT_TRUE(u.sim.folderRequests().empty());
  EXPECT_TRUE(u.sim.fileRequests().empty());
  EXPECT_EQ(u.sim.standardError(),
            "sorvane: 无人值守的运行不打开选择文件夹的对话框\n"
            "sorvane: 信息： 请在右边选择截图保存目录！\n"
            "sorvane: 无人值守的运行不打开文件对话框\n");
  // Without a folder, no pictures: the lines say so.
  EXPECT_EQ(u.sim.standardOutput(),
            "2026-12-07 09:05:03\thttp://a/\t-\tloaded\n2026-12-07 09:05:05\thttp://b/\t-\tloaded\n");
}

TEST(Unattended, AFatalErrorIsReportedOnStandardErrorWithMinusOne) {
  Unattended u;
  u.sim.failNextCreate(WidgetKind::Browser);
  try {
    u.run(u.args());
    FAIL() << "the process should have ended";
  } catch (const sim::ProcessExit& e) {
    EXPECT_EQ(e.code, -1);
  }
  EXPECT_TRUE(u.sim.boxes().empty());
  EXPECT_EQ(u.sim.standardError(), "sorvane: 错误 运行时出错! 错误信息：载入启动窗口失败\n");
  EXPECT_EQ(u.sim.standardOutput(), "");
}

TEST(Unattended, StartWithoutExitWhenDoneEndsAsTheWindowDoes) {
  Unattended u({"http://a/"});
  u.sim.at(60000, [&] { u.sim.closeWindow(); });
  // No --folder and no --pause: the layout's 5 s and no pictures.
  EXPECT_EQ(u.run({"--list", u.list, "--start"}), 0);
  ASSERT_EQ(u.sim.boxes().size(), 1u);
  EXPECT_EQ(u.sim.boxes()[0].text, "连续访问结束");
  EXPECT_EQ(u.sim.boxes()[0].openedAtMs, 7000);
  EXPECT_EQ(u.sim.standardOutput(), "2026-12-07 09:05:06\thttp://a/\t-\tloaded\n");
}

TEST(Unattended, BadArgumentsEndBeforeAnyWindow) {
  sim::SimPlatform sim;
  EXPECT_EQ(runProgram(sim, Args{"--start", "--exit-when-done"}), 2);
  EXPECT_EQ(sim.standardError(), "sorvane: 无人值守的运行需要 --list 给出网址\n");
  EXPECT_TRUE(sim.widgetsOfKind(WidgetKind::TopLevel).empty());
  EXPECT_EQ(runProgram(sim, Args{"--version"}), 0);
  EXPECT_EQ(sim.standardOutput(), "Sorvane 1.0.0\n");
  EXPECT_TRUE(sim.widgetsOfKind(WidgetKind::TopLevel).empty());
}

TEST(Unattended, NoArgumentsIsTheWindowAsEver) {
  sim::SimPlatform sim;
  sim.at(1000, [&] { sim.closeWindow(); });
  EXPECT_EQ(runProgram(sim, Args{}), 0);
  EXPECT_EQ(sim.now(), 1000);
  EXPECT_TRUE(sim.navigations().empty());
  EXPECT_EQ(sim.standardOutput(), "");
  EXPECT_EQ(sim.standardError(), "");
}

}  // namespace
}  // namespace sorvane::testing
