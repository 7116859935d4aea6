// The watcher with real workers: copies of this executable that run the
// program as a worker does and meet a fault at the second address (frozen
// right after the record took its row, held in a box of the control's own,
// aborted), with the record free or held as a spreadsheet holds it. Wine's
// control loads no page: every address ends `failed`, and is pictured.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "cli/watcher.h"
#include "record/picture_record.h"
#include "services/child_process.h"
#include "services/conversions.h"
#include "services/process.h"

namespace sorvane::win32test {
namespace {

namespace fs = std::filesystem;

std::vector<std::vector<std::string>> split(const std::string& text, char between) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    rows.emplace_back();
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, between);) rows.back().push_back(field);
  }
  return rows;
}

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Workers, ALostWorkerLosesNoRowAndGivesItsPageOneLineAndOneRow) {
  struct Case {
    const char* fault;
    bool held;                           // the record is held throughout
    std::vector<std::string> secondEnd;  // the second line's and the second row's
  };
  const Case cases[] = {
      {"freeze", false, {"timeout", "failed"}},  // its row was written
      {"freeze", true, {"timeout", "failed"}},   // its rows waited when it was ended
      {"modal", false, {"timeout", "timeout"}},
      {"abort", false, {"failed", "failed"}},
  };
  const fs::path work = fs::temp_directory_path() / "sorvane-workers";
  const Text self = executablePath();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fault) + (c.held ? ", record held" : ""));
    fs::remove_all(work);
    fs::create_directories(work / "shots");
    std::ofstream(work / "list.txt", std::ios::binary)
        << "http://127.0.0.1:1/a\r\nhttp://127.0.0.1:1/b\r\nhttp://127.0.0.1:1/c\r\n";
    const fs::path record = work / "shots" / fs::path(L"\u622a\u56fe\u8bb0\u5f55.csv");
    const std::string header = record::recordHeader();
    std::ofstream(record, std::ios::binary) << header;
    std::optional<HeldFile> holder;
    if (c.held) holder.emplace(record.wstring());
    const std::vector<std::string> arguments{
        "--list", (work / "list.txt").string(), "--folder", (work / "shots").string(),
        "--pause", "1", "--record", "--page-timeout", "3", "--start", "--exit-when-done"};
    std::string out, err;
    const cli::WatcherWorld world{
        [] {
          ULONGLONG t = 0;
          QueryUnbiasedInterruptTime(&t);
          return static_cast<std::int64_t>(t / 10000);
        },
        [] { return currentDateTime(); },
        [&](platform::StandardStream s, const std::string& text) {
          (s == platform::StandardStream::Output ? out : err) += text;
        },
        [&](const std::vector<Text>& worker) {
          std::string notes = std::string(c.fault) + "|2";
          for (const Text& argument : worker) notes += "|" + argument.bytes();
          return startChildProcess(self, {Text("--child"), Text("worker"), Text(notes)});
        }};
    const std::optional<int> code =
        cli::watchWorkers(world, cli::readCommandLine(arguments).preparation, arguments);
    holder.reset();
    EXPECT_EQ(code, 0) << err;
    const auto lines = split(out, '\t');
    ASSERT_EQ(lines.size(), 3u) << out << err;
    EXPECT_EQ(lines[1][3], c.secondEnd[0]);
    // Held throughout, the rows are all in the run's one file beside it.
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(work / "shots"))
      if (entry.path().extension() == ".csv") files.push_back(entry.path());
    ASSERT_EQ(files.size(), c.held ? 2u : 1u);
    if (c.held) {
      EXPECT_EQ(readAll(record), header);
      // The watcher, last of the run's processes, says where they are.
      const std::wstring wide = files[0] == record ? files[1].filename() : files[0].filename();
      std::string name(wide.size() * 2, '\0');
      name.resize(WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                      name.data(), static_cast<int>(name.size()), nullptr, nullptr));
      EXPECT_NE(err.find(name), std::string::npos) << err;
    }
    const fs::path rowsFile = c.held ? files[0] == record ? files[1] : files[0] : record;
    const auto rows = split(readAll(rowsFile), ',');
    ASSERT_EQ(rows.size(), 4u) << readAll(rowsFile);
    for (int i = 1; i <= 3; ++i) {
      EXPECT_EQ(rows[i][1], lines[i - 1][1]);
      EXPECT_EQ(rows[i][3], i == 2 ? c.secondEnd[1] : "failed");
    }
  }
  fs::remove_all(work);
}

}  // namespace
}  // namespace sorvane::win32test
