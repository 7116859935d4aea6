// A child process read through its pipe on POSIX systems: what it writes, a
// quiet wait that ends on time, its end and exit code, and one ended at once.

#include <gtest/gtest.h>

#include "services/child_process.h"

namespace sorvane {
namespace {

std::unique_ptr<ChildProcess> shell(const char* script) {
  return startChildProcess(Text("/bin/sh"), {Text("-c"), Text(script)});
}

// Reads until the child's output ends or nothing comes for a while.
ChildProcess::Read readAll(ChildProcess& child, std::string& into) {
  ChildProcess::Read read;
  while ((read = child.read(into, 5000)) == ChildProcess::Read::Bytes) {
  }
  return read;
}

TEST(ChildProcess, ReadsBothStreamsUntilTheEndAndGivesTheExitCode) {
  auto child = shell("printf 'out\\n'; printf 'err\\n' >&2; exit 7");
  ASSERT_TRUE(child);
  std::string text;
  EXPECT_EQ(readAll(*child, text), ChildProcess::Read::Ended);
  EXPECT_EQ(text, "out\nerr\n");
  EXPECT_EQ(child->exitCode(), 7);
}

TEST(ChildProcess, AQuietChildIsWaitedForOnlyAsLongAsAskedAndCanBeEnded) {
  auto child = shell("printf 'up\\n'; exec sleep 60");
  ASSERT_TRUE(child);
  std::string text;
  EXPECT_EQ(child->read(text, 5000), ChildProcess::Read::Bytes);
  EXPECT_EQ(child->read(text, 50), ChildProcess::Read::Quiet);
  child->terminate();
  EXPECT_EQ(readAll(*child, text), ChildProcess::Read::Ended);
  EXPECT_EQ(text, "up\n");
  EXPECT_EQ(child->exitCode(), -1);  // ended by a signal: no code of its own
}

TEST(ChildProcess, AProgramThatCannotBeStartedGivesNoChild) {
  EXPECT_FALSE(startChildProcess(Text("/nonexistent/sorvane"), {}));
}

}  // namespace
}  // namespace sorvane
