// Files another process holds the way a spreadsheet holds the CSV it shows
// (for writing, others may read and write): the record is neither set aside
// nor replaced and its rows reach it once it is free, or a file of their own
// when the run ends first; a list held so still imports.

#include <gtest/gtest.h>

#include <filesystem>

#include "child_process.h"
#include "platform/win32/text.h"
#include "record/picture_record.h"
#include "services/conversions.h"
#include "services/files.h"
#include "services/own_text.h"
#include "urllist/list_file.h"

namespace sorvane::win32test {
namespace {

namespace fs = std::filesystem;

TEST(HeldFiles, ARecordInUseKeepsItsRowsAndAListInUseImports) {
  const fs::path dir = fs::temp_directory_path() / ("sorvane-held-" + std::to_string(GetTickCount()));
  fs::create_directory(dir);
  const Text folder = Text(platform::win32::fromWide(dir.wstring())) + Text("\\");
  const Text recordName = folder + record::recordFileName();
  const std::wstring recordPath = platform::win32::toWide(recordName.bytes());
  const auto row = [](const char* url) {
    return record::RecordRow{dateTimeFromCivil({2026, 12, 8, 7, 0, 4}), Text(url), Text(),
                             Text("loaded"), Text()};
  };
  const auto line = [](const char* url) {
    return std::string("2026-12-08 07:00:04,") + url + ",,loaded,\r\n";
  };
  const std::string header = record::recordHeader();
  ASSERT_TRUE(writeFile(recordName, ByteSet::fromString(header)));
  std::vector<std::string> said;
  record::PictureRecord pictures(record::KeepPictures::All,
                                 [&](const Text& t) { said.push_back(t.bytes()); });
  pictures.startRun(dateTimeFromCivil({2026, 12, 8, 7, 0, 0}));
  {
    HeldFile spreadsheet(recordPath);
    ASSERT_TRUE(spreadsheet.held());
    pictures.addRow(folder, row("http://a/"));
    pictures.addRow(folder, row("http://b/"));
    EXPECT_EQ(readFile(recordName), ByteSet::fromString(header));

    // The same hold on a list: it reads, and imports as it would.
    const Text list = folder + Text("list.txt");
    ASSERT_TRUE(writeFile(list, ByteSet::fromString("\xEF\xBB\xBFhttp://a/\r\nhttp://b/")));
    HeldFile editor(platform::win32::toWide(list.bytes()));
    ASSERT_TRUE(editor.held());
    const std::optional<ByteSet> bytes = urllist::readFileChecked(list);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(urllist::decodeListFile(*bytes), (TextArray{Text("http://a/"), Text("http://b/")}));
  }
  pictures.addRow(folder, row("http://c/"));
  EXPECT_EQ(readFile(recordName),
            ByteSet::fromString(header + line("http://a/") + line("http://b/") + line("http://c/")));

  // Held until the run ends: the row goes beside the record, which stays as it is.
  std::optional<Text> note;
  {
    HeldFile spreadsheet(recordPath);
    ASSERT_TRUE(spreadsheet.held());
    pictures.addRow(folder, row("http://d/"));
    note = pictures.endRun();
  }
  const Text aside = folder + ownText("截图记录-2026年12月8日7时.csv");
  EXPECT_EQ(readFile(aside), ByteSet::fromString(header + line("http://d/")));
  ASSERT_TRUE(note);
  EXPECT_NE(note->bytes().find(aside.bytes()), std::string::npos);
  EXPECT_EQ(readFile(recordName),
            ByteSet::fromString(header + line("http://a/") + line("http://b/") + line("http://c/")));
  EXPECT_TRUE(said.empty());
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace
}  // namespace sorvane::win32test
