// Handlers reach controls by their layout names, written as they are read in
// the code ("时钟1"). A name that the layout does not have would only show at
// run time, as a fatal error the first time that handler runs: every such
// name in the program's sources must be one of the layout's.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "app/layout.h"

namespace sorvane::testing {
namespace {

namespace fs = std::filesystem;

TEST(ControlNames, EveryNameTheSourcesUseIsInTheLayout) {
  const std::optional<app::WindowLayout> layout = app::loadMainWindowLayout();
  ASSERT_TRUE(layout);
  std::set<std::string> known;
  for (const app::ControlLayout& c : layout->controls) known.emplace(c.name);

  // A quoted control name: a type's Chinese name and a number.
  const std::regex name(
      "\"((按钮|时钟|编辑框|标签|选择框|列表框|分组框|互联网浏览器|通用对话框)[0-9]+)\"");
  std::set<std::string> used;
  const fs::path sources = fs::path(SORVANE_SOURCE_DIR) / "src";
  for (const auto& entry : fs::recursive_directory_iterator(sources)) {
    const std::string extension = entry.path().extension().string();
    if (extension != ".cpp" && extension != ".h") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    for (auto it = std::sregex_iterator(text.begin(), text.end(), name);
         it != std::sregex_iterator(); ++it) {
      used.insert((*it)[1].str());
      EXPECT_TRUE(known.count((*it)[1].str()))
          << (*it)[1].str() << " in " << entry.path().filename().string();
    }
  }
  // The handlers reach these at least: the test would pass on no sources.
  for (const char* name : {"按钮1", "时钟1", "时钟2", "互联网浏览器1", "编辑框3", "列表框1"})
    EXPECT_TRUE(used.count(name)) << name;
}

}  // namespace
}  // namespace sorvane::testing
