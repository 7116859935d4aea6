// The DevTools engine's own pieces, below the seam suite (which holds the
// page's promises with a real browser): the message framing, the JSON paths,
// and a browser that never answers or goes at once.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "engine/browser.h"
#include "engine/connection.h"
#include "engine/json.h"

namespace sorvane::engine {
namespace {

std::int64_t steadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TEST(Framer, MessagesComeWholeWhereverTheStreamIsSplit) {
  const std::vector<std::string> messages = {R"({"id":1,"result":{}})", "",
                                             R"({"method":"x","params":{"t":"中文"}})"};
  std::string stream;
  for (const std::string& m : messages) stream += m + '\0';
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    for (std::size_t second = cut; second <= stream.size(); second += 7) {
      Framer framer;
      std::vector<std::string> got;
      for (auto [from, to] : {std::pair{std::size_t{0}, cut}, {cut, second}, {second, stream.size()}}) {
        framer.feed(std::string_view(stream).substr(from, to - from));
        while (auto m = framer.next()) got.push_back(*m);
      }
      ASSERT_EQ(got, messages) << "split at " << cut << " and " << second;
      EXPECT_EQ(framer.waiting(), 0u);
    }
  }
}

TEST(Json, PathsReadNestedValuesAndParamsBuildThem) {
  const auto j = Json::parse(R"({"id":7,"result":{"list":[{"type":"page"}],"n":2.5,"b":true}})");
  ASSERT_TRUE(j);
  EXPECT_EQ(j->integer("id"), 7);
  EXPECT_EQ(j->text("result.list.0.type"), "page");
  EXPECT_EQ(j->at("result.list").size(), 1u);
  EXPECT_DOUBLE_EQ(j->number("result.n"), 2.5);
  EXPECT_TRUE(j->flag("result.b"));
  EXPECT_FALSE(j->has("result.list.1"));
  EXPECT_EQ(j->text("result.list.x.type"), "");  // a name where an index goes: absent
  EXPECT_FALSE(Json::parse("{\"id\":"));
  const std::string command =
      Params().set("clip.x", 0).set("clip.scale", 1.5).set("url", "a\xff").command(3, "M", "S");
  EXPECT_EQ(command,
            R"({"id":3,"method":"M","params":{"clip":{"scale":1.5,"x":0},"url":"a)"
            "\xEF\xBF\xBD" R"("},"sessionId":"S"})");
}

// A program in the browser's place that writes its pid and then either
// never answers or leaves at once.
struct FakeBrowser {
  explicit FakeBrowser(const char* then) {
    char dir[] = "/tmp/sorvane-engine-test-XXXXXX";
    folder = mkdtemp(dir);
    program = folder + "/browser";
    std::ofstream(program) << "#!/bin/sh\necho $$ > " << folder << "/pid\n" << then << "\n";
    chmod(program.c_str(), 0755);
  }
  ~FakeBrowser() { std::system(("rm -rf " + folder).c_str()); }
  pid_t pid() const {
    long pid = 0;
    std::ifstream(folder + "/pid") >> pid;
    return static_cast<pid_t>(pid);
  }
  std::string folder, program;
};

TEST(Browser, OneThatNeverAnswersOrLeavesAtOnceIsReportedAndGone) {
  for (const char* then : {"exec sleep 600", "exit 0"}) {
    SCOPED_TRACE(then);
    FakeBrowser fake(then);
    Text problem;
    const std::int64_t began = steadyMs();
    auto browser = Browser::start(BrowserStart{fake.program, {}, {}}, steadyMs, problem, 1500);
    EXPECT_FALSE(browser);
    EXPECT_NE(problem.bytes().find("浏览器没有应答"), std::string::npos) << problem.bytes();
    EXPECT_LT(steadyMs() - began, 10000);
    ASSERT_GT(fake.pid(), 0);
    EXPECT_NE(kill(fake.pid(), 0), 0) << "the program is still there";
  }
  Text problem;
  EXPECT_FALSE(Browser::start(BrowserStart{"/nonexistent/browser", {}, {}}, steadyMs, problem));
  EXPECT_NE(problem.bytes().find("找不到浏览器"), std::string::npos) << problem.bytes();
}

}  // namespace
}  // namespace sorvane::engine
