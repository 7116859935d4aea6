// Files another process holds the way a spreadsheet holds the CSV it shows
// (for writing, others may read and write): the record is neither set aside
// nor replaced and its rows reach it once it is free. (A list held so:
// native/files_test.cpp; the rows' own file at a run's end: core/record_test.cpp.)

#include <gtest/gtest.h>

#include <filesystem>

#include "child_process.h"
#include "platform/win32/services/text.h"
#include "record/picture_record.h"
#include "services/conversions.h"
#include "services/files.h"

namespace sorvane::win32test {
namespace {

namespace fs = std::filesystem;

TEST(HeldFiles, ARecordInUseKeepsItsRowsUntilItIsFree) {
  const fs::path dir = fs::temp_directory_path() / ("sorvane-held-" + std::to_string(GetTickCount()));
  fs::create_directory(dir);
  const Text folder = Text(platform::win32::fromWide(dir.wstring())) + Text("\\");
  const Text recordName = folder + record::recordFileName();
  const std::wstring recordPath = platform::win32::toWide(recordName.bytes());
  const auto row = [](const char* url) {
    return record::RecordRow{dateTimeFromCivil({2026, 12, 8, 7, 0, 4}), Text(url), Text(),
                             record::PageEnd::Loaded, Text()};
  };
  const auto line = [](const char* url) {
    return std::string("2026-12-08 07:00:04,") + url + ",,loaded,\r\n";
  };
  const std::string header = record::recordHeader();
  ASSERT_TRUE(writeFile(recordName, ByteSet::fromString(header)));
  std::vector<std::string> said;
  record::PictureRecord pictures(record::KeepPictures::All,
                                 [&](const Text& t) { said.push_back(t.bytes()); });
  pictures.startRun();
  {
    HeldFile spreadsheet(recordPath);
    ASSERT_TRUE(spreadsheet.held());
    pictures.addRow(folder, row("http://a/"));
    pictures.addRow(folder, row("http://b/"));
    EXPECT_EQ(readFile(recordName), ByteSet::fromString(header));
  }
  pictures.addRow(folder, row("http://c/"));
  EXPECT_EQ(readFile(recordName),
            ByteSet::fromString(header + line("http://a/") + line("http://b/") + line("http://c/")));
  EXPECT_TRUE(said.empty());
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace
}  // namespace sorvane::win32test
