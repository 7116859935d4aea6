// How the program starts from outside, as main does: a list file named alone
// (what dropping it on sorvane.exe gives) and a refused start, which a program
// started from the desktop also shows in a box.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "child_process.h"

namespace sorvane::win32test {
namespace {

namespace fs = std::filesystem;

TEST(Start, AFileNamedAloneOpensTheWindowWithItsListOrSaysItCannot) {
  const fs::path list = fs::temp_directory_path() / "sorvane-start-list.txt";
  std::ofstream(list, std::ios::binary) << "\xEF\xBB\xBFhttp://例子.中国/\r\nhttp://b/";
  const struct {
    fs::path file;
    std::string shows;
  } cases[] = {
      {list, "list http://例子.中国/\nlist http://b/\n"},
      {fs::temp_directory_path() / "sorvane-start-missing.txt", "box 导入失败！\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.string());
    const ChildEnd end = runSelf("start", c.file.string());
    ASSERT_TRUE(end.finished);
    EXPECT_EQ(end.exitCode, 0u);
    EXPECT_EQ(end.output, c.shows);
  }
  fs::remove(list);
}

TEST(Start, ARefusedStartGoesToStandardErrorOrElseIntoABox) {
  const ChildEnd redirected = runSelf("start", "a.txt|b.txt");
  ASSERT_TRUE(redirected.finished);
  EXPECT_EQ(redirected.exitCode, 2u);
  EXPECT_TRUE(redirected.output.empty()) << redirected.output;
  EXPECT_NE(redirected.errors.find("sorvane: "), std::string::npos);
  EXPECT_NE(redirected.errors.find("a.txt"), std::string::npos);

  const ChildEnd desktop = runSelfWithoutStandardError("start", "a.txt|b.txt");
  ASSERT_TRUE(desktop.finished);
  EXPECT_EQ(desktop.exitCode, 2u);
  EXPECT_EQ(desktop.output, "box 多余的参数：a.txt（用法见 sorvane --help）\n");
}

}  // namespace
}  // namespace sorvane::win32test
