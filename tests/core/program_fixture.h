#pragma once
// The whole program on the simulated platform, plus a scratch folder on disk.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "program.h"
#include "run/capture_folder.h"
#include "platform/sim/sim_platform.h"

namespace sorvane::testing {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// What messageBox hands the platform for flags 0 and 4: task modality is added.
inline constexpr unsigned kBoxOk = platform::box::kTaskModal;
inline constexpr unsigned kBoxYesNo = platform::box::kYesNo | platform::box::kTaskModal;

inline void expectBox(const sim::Box& box, const char* text, unsigned flags = kBoxOk) {
  EXPECT_EQ(box.text, text);
  EXPECT_EQ(box.caption, "信息：");
  EXPECT_EQ(box.flags, flags);
}

// Paths from and to the UTF-8 names of the tests. A plain std::string would
// be read in the C runtime's own code page on Windows.
inline fs::path utf8Path(const std::string& name) {
  return fs::path(std::u8string(name.begin(), name.end()));
}
inline std::string utf8Name(const fs::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

inline std::string readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
inline void writeBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct Program {
  sim::SimPlatform sim;
  run::Run run;
  app::Frame frame{sim, programHandlers(run)};

  Program() { frame.startUp(); }
  ~Program() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  platform::WidgetId id(app::ControlName name) { return frame.control(name).widget; }
  std::string text(app::ControlName name) { return sim.widget(id(name)).text; }
  bool checked() { return sim.widget(id("选择框1")).checked; }
  std::int32_t period(app::ControlName timer) {
    return frame.readInt(frame.control(timer), app::prop::timer::period);
  }
  bool click(app::ControlName name) { return sim.click(id(name)); }
  // The capture step into the folder 编辑框1 shows.
  run::PageReport capture() {
    return run::capturePage(frame, run, Text(text("编辑框1")), run.page.url);
  }
  void setPause(const std::string& seconds) { sim.setEditText(id("编辑框3"), seconds); }
  void add(std::initializer_list<const char*> urls) {
    for (const char* url : urls) {
      sim.setEditText(id("编辑框2"), url);
      click("按钮2");
    }
  }
  // Chooses a capture folder through 按钮6; returns it with its separator.
  std::string chooseFolder(const fs::path& dir) {
    sim.answerFolder(utf8Name(dir));
    click("按钮6");
    return text("编辑框1");
  }
  void importFile(const fs::path& path) {
    sim.answerFile(utf8Name(path));
    click("按钮4");
  }
  // Only with entries in the list: an empty list opens no dialog, and the
  // queued answer would go to the next one.
  void exportFile(const fs::path& path) {
    sim.answerFile(utf8Name(path));
    click("按钮3");
  }

  Strings urls() {
    Strings out;
    for (const Text& t : frame.vars().urlArray) out.push_back(t.bytes());
    return out;
  }
  Strings items() { return sim.widget(id("列表框1")).items; }
  Strings navigated() {
    Strings out;
    for (const sim::Navigation& n : sim.navigations()) out.push_back(n.url);
    return out;
  }
  Strings boxTexts() {
    Strings out;
    for (const sim::Box& b : sim.boxes()) out.push_back(b.text);
    return out;
  }

  // A fresh folder of this program's own, removed with it.
  const fs::path& folder() {
    std::random_device random;
    for (int attempt = 0; folder_.empty() && attempt < 100; ++attempt) {
      const fs::path candidate =
          fs::temp_directory_path() / ("sorvane-core-" + std::to_string(random()));
      std::error_code error;
      if (fs::create_directory(candidate, error)) folder_ = candidate;
    }
    return folder_;
  }
  fs::path file(const std::string& name) { return folder() / utf8Path(name); }
  Strings filesInFolder() { return filesIn(folder()); }
  static Strings filesIn(const fs::path& dir) {
    Strings names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(utf8Name(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path folder_;
};

}  // namespace sorvane::testing
