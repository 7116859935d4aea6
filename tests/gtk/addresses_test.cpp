// Addresses as people type them, through the whole program and the real
// engine: each visited address has a picture of its own page.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "program_under_test.h"

namespace sorvane::gtktest {
namespace {

namespace fs = std::filesystem;
namespace prop = app::prop;

void writePage(const fs::path& file, const std::string& rgb) {
  std::ofstream(file, std::ios::binary)
      << "<!doctype html><html><body style='margin:0;background:#" << rgb << "'></body></html>";
}

TEST(Addresses, HostsWithoutASchemeAndPlainPathsShowTheirPages) {
  char pattern[] = "/tmp/sorvane-addresses.XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path root = pattern;
  const fs::path pages = root / "网页 文件夹";
  const fs::path shots = root / "shots";
  fs::create_directories(pages);
  fs::create_directories(shots);
  writePage(pages / "第一 页.html", "0000f7");
  writePage(pages / "second#page.html", "ffff07");

  // "http://127.0.0.1:PORT" without its scheme.
  const std::string hostAndPort = harness().server.url("").substr(7);
  const std::string port = hostAndPort.substr(hostAndPort.find(':') + 1);
  struct Visit {
    std::string typed;
    unsigned colour;
  };
  const std::vector<Visit> visits = {
      {hostAndPort + "/solid/ff0007", 0xFF0007},
      {"localhost:" + port + "/solid/00ff07", 0x00FF07},
      {(pages / "第一 页.html").string(), 0x0000F7},
      {"file://" + (pages / "second%23page.html").string(), 0xFFFF07},
  };

  {
    ProgramUnderTest p;
    ASSERT_TRUE(p.started());
    p.frame().writeText(p.control("编辑框1"), prop::editBox::content, Text(shots.string() + "/"));
    p.frame().writeInt(p.control("选择框1"), prop::checkBox::checked, 1);
    p.frame().writeText(p.control("编辑框3"), prop::editBox::content, Text("1"));
    std::vector<std::string> typed;
    for (const Visit& v : visits) typed.push_back(v.typed);
    p.setList(typed);
    ASSERT_GE(p.runToEnd(40000), 0);
    EXPECT_EQ(p.watch().boxes, std::vector<std::string>{"连续访问结束"});
  }

  std::vector<Picture> pictures = picturesIn(shots);
  ASSERT_EQ(pictures.size(), visits.size());
  for (std::size_t i = 0; i < visits.size(); ++i)
    for (auto [x, y] : {std::pair{5, 5}, {336, 284}, {600, 540}})
      EXPECT_TRUE(near(pictures[i].pixel(x, y), visits[i].colour))
          << visits[i].typed << " at " << x << "," << y << ": " << std::hex
          << pictures[i].pixel(x, y);
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

}  // namespace
}  // namespace sorvane::gtktest
