// The command line: what is refused (code 2, one line), what help and version
// say, and how the list file and the folder are read before the window.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/unattended_platform.h"
#include "cli/watcher.h"

namespace sorvane::testing {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using cli::readCommandLine;

// A scratch folder that is also the current directory while it lives.
class Scratch {
 public:
  Scratch() : before_(fs::current_path()) {
    std::string pattern = (fs::temp_directory_path() / "sorvane-cli-XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
    fs::current_path(dir_);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::current_path(before_, ignored);
    fs::remove_all(dir_, ignored);
  }
  const fs::path& dir() const { return dir_; }
  std::string write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return (dir_ / name).string();
  }

 private:
  fs::path before_;
  fs::path dir_;
};

void expectRefused(const Args& args, const std::string& says) {
  SCOPED_TRACE(::testing::PrintToString(args));
  const cli::CommandLine line = readCommandLine(args);
  ASSERT_TRUE(line.exitNow.has_value());
  EXPECT_EQ(*line.exitNow, 2);
  EXPECT_TRUE(line.standardOutput.empty());
  const std::string& error = line.standardError.bytes();
  EXPECT_TRUE(error.starts_with("sorvane: ")) << error;
  EXPECT_TRUE(error.ends_with("\n")) << error;
  EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
  EXPECT_NE(error.find(says), std::string::npos) << error;
}

TEST(CommandLine, EveryBadFormIsRefusedWithOneLine) {
  Scratch scratch;
  const std::string list = scratch.write("list.txt", "\r\nhttp://a/");
  expectRefused({"--frobnicate"}, "未知的选项：--frobnicate");
  expectRefused({"-h"}, "未知的选项：-h");
  expectRefused({"--List", list}, "未知的选项：--List");
  expectRefused({"--lis", list}, "未知的选项：--lis");  // no abbreviations
  expectRefused({"a.txt", "b.txt"}, "多余的参数：a.txt");
  expectRefused({"-"}, "多余的参数：-");
  expectRefused({"--start", "--", "urls.txt"}, "多余的参数：urls.txt");
  expectRefused({"--list"}, "选项缺少值：--list");
  expectRefused({"--start", "--pause"}, "选项缺少值：--pause");
  expectRefused({"--list="}, "选项的值为空：--list");
  expectRefused({"--folder", ""}, "选项的值为空：--folder");
  expectRefused({"--start=yes"}, "选项不带值：--start");
  expectRefused({"--help=1"}, "选项不带值：--help");
  expectRefused({"--list", list, "--list", list}, "只能给一次：--list");
  expectRefused({"--start", "--start"}, "只能给一次：--start");
  for (const char* pause : {"abc", "5s", "1e3", "--start", "1.2.3", "+", ".", "５"})
    expectRefused({"--pause", pause}, "--pause 的值不是秒数");
  expectRefused({"--exit-when-done", "--list", list}, "--exit-when-done 只能与 --start 一起使用");
  for (const char* timeout : {"0", "-3", "0.0004", "abc", "9999999"})
    expectRefused({"--start", "--exit-when-done", "--list", list, "--page-timeout", timeout},
                  "--page-timeout 须为正的秒数");
  // A run nobody watches would stall for ever on these pauses.
  for (const char* pause : {"0", "-1", "0.0001", "3000000"})
    expectRefused({"--start", "--exit-when-done", "--list", list, "--pause", pause},
                  "无人值守的运行需要大于 0 的 --pause");
  for (const char* format : {"gif", "PNG", "bmp24"})
    expectRefused({"--format", format}, "--format 须为 bmp、png 或 jpeg");
  expectRefused({"--changed-only", "--format", "png"}, "--changed-only 只能与 --record 一起使用");
  for (const char* size : {"1366", "1366x", "x768", "319x240", "3841x2160", "320x239", "1920x2161",
                           "-320x240", "1e3x500", "99999x1", "1366x768x2", "1366 x 768"})
    expectRefused({"--size", size}, "--size 须为 宽x高");
  expectRefused({"--full-page=yes"}, "选项不带值：--full-page");
  for (const char* from : {"0", "-1", "1.5", "x"})
    expectRefused({"--start", "--exit-when-done", "--list", list, "--worker-from", from},
                  "--worker-from 须为正整数");
  expectRefused({"--start", "--list", list, "--worker-from", "2"},
                "--worker-from 只能与 --exit-when-done 一起使用");
  // Without --exit-when-done someone is at the window: the box's own rules.
  EXPECT_FALSE(readCommandLine({"--start", "--list", list, "--pause", "0"}).exitNow);
}

TEST(CommandLine, TheListAndTheFolderAreCheckedBeforeTheWindow) {
  Scratch scratch;
  fs::create_directory(scratch.dir() / "shots");
  scratch.write("a file", "x");
  const std::string list = scratch.write("list.txt", "\r\nhttp://a/");
  scratch.write("empty.txt", "");
  expectRefused({"--list", "missing.txt"}, "无法读取网址列表文件：missing.txt");
  expectRefused({"--list", "shots"}, "无法读取网址列表文件：shots");
  expectRefused({"--folder", "missing"}, "截图文件夹不存在或无法写入：missing");
  expectRefused({"--folder", "a file"}, "截图文件夹不存在或无法写入：a file");
  expectRefused({"--start", "--exit-when-done", "--list", "empty.txt"},
                "网址列表文件中没有网址：empty.txt");
  expectRefused({"--start", "--exit-when-done", "--folder", "shots"},
                "无人值守的运行需要 --list 给出网址");
  // An empty list is fine when someone watches: 开始 says "请输入网址！".
  EXPECT_FALSE(readCommandLine({"--start", "--list", "empty.txt"}).exitNow);

  // Only a timed run that ends the program goes to workers, and a worker
  // does the list from its first address on.
  scratch.write("three.txt", "http://a/\r\nhttp://b/\r\nhttp://c/\r\n");
  Args timed{"--start", "--exit-when-done", "--list", "three.txt", "--page-timeout", "3"};
  EXPECT_TRUE(cli::runsInWorkers(readCommandLine(timed)));
  EXPECT_FALSE(cli::runsInWorkers(readCommandLine({"--start", "--exit-when-done", "--list", list})));
  EXPECT_FALSE(cli::runsInWorkers(readCommandLine({"--start", "--list", list, "--page-timeout", "3"})));
  timed.insert(timed.end(), {"--worker-from", "2"});
  const cli::CommandLine worker = readCommandLine(timed);
  EXPECT_FALSE(cli::runsInWorkers(worker));
  EXPECT_EQ(*worker.preparation.urls, (TextArray{Text("http://b/"), Text("http://c/")}));
  timed.back() = "4";
  expectRefused(timed, "网址列表文件中没有网址：three.txt");
}

TEST(CommandLine, HelpAndVersionGoToStandardOutput) {
  for (const Args& args : {Args{"--help"}, Args{"--start", "--help"}, Args{"--help", "--bogus"}}) {
    const cli::CommandLine line = readCommandLine(args);
    ASSERT_EQ(line.exitNow, 0);
    EXPECT_TRUE(line.standardError.empty());
    for (const char* option : {"--list", "--folder", "--pause", "--start", "--exit-when-done",
                               "--page-timeout", "--format", "--record", "--changed-only",
                               "--size", "--full-page", "--help", "--version", "用法"})
      EXPECT_NE(line.standardOutput.bytes().find(option), std::string::npos) << option;
  }
  const cli::CommandLine version = readCommandLine({"--version"});
  EXPECT_EQ(version.exitNow, 0);
  EXPECT_EQ(version.standardOutput.bytes(), "Sorvane 1.0.0\n");
  // An option before --help is read first, and a bad one wins.
  EXPECT_EQ(readCommandLine({"--bogus", "--help"}).exitNow, 2);
}

TEST(CommandLine, PreparationFromBothFormsWithPathsMadeFull) {
  Scratch scratch;
  fs::create_directory(scratch.dir() / "截图 保存");
  // Lines typed in an editor (LF, no leading empty line) read as 导入网址 reads them.
  scratch.write("网址.txt", "http://a/\nhttp://b/\n");
  const cli::CommandLine line =
      readCommandLine({"--list=网址.txt", "--folder", "./截图 保存/", "--pause", "2.5", "--start",
                       "--exit-when-done", "--page-timeout=1.5"});
  ASSERT_FALSE(line.exitNow) << line.standardError.bytes();
  const cli::Preparation& p = line.preparation;
  ASSERT_TRUE(p.urls);
  EXPECT_EQ(*p.urls, (TextArray{Text("http://a/"), Text("http://b/")}));
  // The caller's directory, not the program's, which start-up makes current.
  EXPECT_EQ(p.folder->bytes(), (fs::current_path() / "截图 保存").string());
  EXPECT_EQ(p.pause->bytes(), "2.5");
  EXPECT_TRUE(p.start);
  EXPECT_TRUE(p.exitWhenDone);
  EXPECT_EQ(p.pageTimeoutMs, 1500);

  EXPECT_EQ(p.format, ImageFormat::Bmp);  // the bitmap image unless asked
  EXPECT_FALSE(p.record);
  // Picture options alone still prepare the window: a desktop shortcut's.
  for (const Args& args : {Args{"--format", "jpg"}, Args{"--record"}, Args{"--size", "800x600"},
                           Args{"--full-page"}}) {
    const cli::CommandLine shortcut = readCommandLine(args);
    EXPECT_FALSE(shortcut.preparation.asksNothing());
  }
  const cli::Preparation both =
      readCommandLine({"--format=jpeg", "--record", "--changed-only"}).preparation;
  EXPECT_EQ(both.format, ImageFormat::Jpeg);
  EXPECT_TRUE(both.record && both.changedOnly);
  EXPECT_EQ(p.width, 0);  // the layout's browser area unless asked
  EXPECT_FALSE(p.fullPage);
  for (const auto& [size, width, height] : {std::tuple{"320x240", 320, 240},
                                            std::tuple{"3840X2160", 3840, 2160},
                                            std::tuple{"01366x0768", 1366, 768}}) {
    const cli::Preparation sized =
        readCommandLine({std::string("--size=") + size, "--full-page"}).preparation;
    EXPECT_EQ(std::pair(sized.width, sized.height), std::pair(width, height)) << size;
    EXPECT_TRUE(sized.fullPage);
  }

  const cli::CommandLine none = readCommandLine({});
  EXPECT_FALSE(none.exitNow);
  EXPECT_TRUE(none.preparation.asksNothing());
  EXPECT_TRUE(none.standardOutput.empty() && none.standardError.empty());
  // "--" alone ends the options and adds nothing.
  EXPECT_TRUE(readCommandLine({"--"}).preparation.asksNothing());
}

TEST(UnattendedBoxes, TheDefaultButtonAnswers) {
  namespace box = platform::box;
  EXPECT_EQ(cli::defaultBoxAnswer(box::kOk), box::kResultOk);
  EXPECT_EQ(cli::defaultBoxAnswer(box::kYesNo), box::kResultYes);
  EXPECT_EQ(cli::defaultBoxAnswer(box::kYesNo | 0x100), box::kResultNo);
  EXPECT_EQ(cli::defaultBoxAnswer(box::kYesNoCancel | 0x200), box::kResultCancel);
  EXPECT_EQ(cli::defaultBoxAnswer(box::kRetryCancel | 0x100 | box::kIconError), box::kResultCancel);
  // A default past the last button falls back to the first, as on the desktop.
  EXPECT_EQ(cli::defaultBoxAnswer(box::kOkCancel | 0x200), box::kResultOk);
}

}  // namespace
}  // namespace sorvane::testing
