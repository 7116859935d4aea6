// The watcher with real workers: copies of this executable that run the
// program as a worker does and meet a fault at the second address, with the
// record free or held as a spreadsheet holds it. Wine's control loads no
// page: every address ends `failed`, and is pictured.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "cli/watcher.h"
#include "harness.h"
#include "platform/win32/services/text.h"
#include "record/picture_record.h"
#include "services/child_process.h"
#include "services/conversions.h"
#include "services/process.h"

namespace sorvane::win32test {
namespace {

namespace fs = std::filesystem;

// Each line's fields, or each row's of a file.
std::vector<std::vector<std::string>> fieldsOf(std::istream&& in, char between) {
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line.substr(0, line.find('\r')));
    rows.emplace_back();
    for (std::string field; std::getline(fields, field, between);) rows.back().push_back(field);
  }
  return rows;
}

TEST(Workers, ALostWorkerLosesNoRowAndGivesItsPageOneLineAndOneRow) {
  struct Case {
    const char* fault;
    bool held;                           // the record is held throughout
    const char *secondLine, *secondRow;  // how they say the second page ended
  };
  const Case cases[] = {
      {"freeze", false, "timeout", "failed"},  // right after its row
      {"freeze", true, "timeout", "failed"},   // its rows waited in memory before
      {"modal", false, "timeout", "timeout"},
      {"abort", false, "failed", "failed"},  // the C runtime's own ends with 3, in a box
  };
  const fs::path work = fs::temp_directory_path() / "sorvane-workers";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fault) + (c.held ? ", record held" : ""));
    fs::remove_all(work);
    fs::create_directories(work / "shots");
    std::ofstream(work / "list.txt", std::ios::binary)
        << "http://127.0.0.1:1/a\r\nhttp://127.0.0.1:1/b\r\nhttp://127.0.0.1:1/c\r\n";
    const fs::path record = work / "shots" / fs::path(L"\u622a\u56fe\u8bb0\u5f55.csv");
    std::ofstream(record, std::ios::binary) << record::recordHeader();
    std::optional<HeldFile> holder;
    if (c.held) holder.emplace(record.wstring());
    const std::vector<std::string> arguments{
        "--list", (work / "list.txt").string(), "--folder", (work / "shots").string(),
        "--pause", "1", "--record", "--page-timeout", "3", "--start", "--exit-when-done"};
    std::string out, err;
    const cli::WatcherWorld world{
        [] { return ui().monotonicMs(); }, [] { return currentDateTime(); },
        [&](platform::StandardStream s, const std::string& text) {
          (s == platform::StandardStream::Output ? out : err) += text;
        },
        [&](const std::vector<Text>& worker) {
          std::string notes = std::string(c.fault) + "|2";
          for (const Text& argument : worker) notes += "|" + argument.bytes();
          return startChildProcess(executablePath(),
                                   {Text("--child"), Text("worker"), Text(notes)});
        }};
    EXPECT_EQ(cli::watchWorkers(world, cli::readCommandLine(arguments).preparation, arguments), 0)
        << err;
    holder.reset();
    const auto lines = fieldsOf(std::istringstream(out), '\t');
    ASSERT_EQ(lines.size(), 3u) << out << err;
    EXPECT_EQ(lines[1][3], c.secondLine);
    // Held throughout, the rows are all in the run's one file beside it,
    // which the watcher names at the end.
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(work / "shots"))
      if (entry.path().extension() == ".csv" && entry.path() != record)
        files.push_back(entry.path());
    ASSERT_EQ(files.size(), c.held ? 1u : 0u);
    const fs::path rowsFile = c.held ? files[0] : record;
    if (c.held) {
      EXPECT_NE(err.find(platform::win32::fromWide(files[0].filename().wstring())),
                std::string::npos);
      EXPECT_EQ(fieldsOf(std::ifstream(record), ',').size(), 1u);
    }
    const auto rows = fieldsOf(std::ifstream(rowsFile, std::ios::binary), ',');
    ASSERT_EQ(rows.size(), 4u);
    for (int i = 1; i <= 3; ++i) {
      EXPECT_EQ(rows[i][1], lines[i - 1][1]);
      EXPECT_EQ(rows[i][3], i == 2 ? c.secondRow : "failed");
    }
  }
  fs::remove_all(work);
}

}  // namespace
}  // namespace sorvane::win32test
