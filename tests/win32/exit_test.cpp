// How the process ends, seen from outside: the exit code after the window is
// closed and after a fatal error, and what reaches the standard streams.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "child_process.h"

namespace sorvane::win32test {
namespace {

std::string readAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ProcessEnd, ClosingTheWindowEndsWithZero) {
  ChildEnd end = runSelf("close");
  ASSERT_TRUE(end.finished) << "the program did not end after its window was closed";
  EXPECT_EQ(end.exitCode, 0u);
}

TEST(ProcessEnd, AFatalErrorIsReportedThenEndsWithMinusOne) {
  const auto notes = std::filesystem::temp_directory_path() / "sorvane-fatal-report.txt";
  std::filesystem::remove(notes);
  ChildEnd end = runSelf("fatal", notes.string());
  ASSERT_TRUE(end.finished) << "the program did not end after its fatal error";
  EXPECT_EQ(end.exitCode, 0xFFFFFFFFu);
  // The report box: its caption, then its words, in the program's own texts.
  const std::string report = readAll(notes);
  EXPECT_EQ(report.substr(0, report.find('\n')), "错误");
  EXPECT_NE(report.find("运行时出错!"), std::string::npos) << report;
  EXPECT_NE(report.find("错误代码：4"), std::string::npos) << report;
  EXPECT_NE(report.find("错误信息：数组成员引用下标必须大于等于1"), std::string::npos) << report;
  std::filesystem::remove(notes);
}

TEST(ProcessEnd, RedirectedStreamsGetTheBytesAsTheyAreAndExitCodesPassThrough) {
  ChildEnd end = runSelf("stream");
  ASSERT_TRUE(end.finished);
  EXPECT_EQ(end.exitCode, 7u);
  EXPECT_EQ(end.output, "out \xC4\xE3\xBA\xC3\r\n");
  EXPECT_EQ(end.errors, "err");
}

}  // namespace
}  // namespace sorvane::win32test
