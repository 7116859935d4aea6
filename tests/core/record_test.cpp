// The record's pieces: CSV rows, the change figure and its frames, and the
// record file kept across runs in a real folder.

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <random>

#include "../support/pictures.h"
#include "capture/picture_file.h"
#include "program_fixture.h"
#include "record/change.h"
#include "record/csv.h"
#include "record/picture_record.h"
#include "services/codepage.h"
#include "services/conversions.h"
#include "services/files.h"

namespace sorvane::testing {
namespace {

using record::CsvEnd;

std::vector<std::vector<std::string>> readAll(std::string_view text, CsvEnd want = CsvEnd::Whole) {
  std::vector<std::vector<std::string>> rows;
  const record::CsvRead read = record::readCsv(text, [&](const std::vector<std::string>& fields) {
    rows.push_back(fields);
    return true;
  });
  EXPECT_EQ(read.end, want) << text;
  return rows;
}

TEST(Csv, FieldsAreQuotedOnlyWhenTheyMustBeAndReadBackWhole) {
  const std::string gbkName = gbkCodePage().fromUtf8("http://例子.中国/价格,今天");
  const std::string longAddress = "http://example.com/?q=" + std::string(100000, 'x') + ",\"end\"";
  struct Case {
    std::string field;
    std::string written;
  };
  const std::vector<Case> cases = {
      {"http://a/", "http://a/"},
      {"", ""},
      {"http://a/?x=1,2", "\"http://a/?x=1,2\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"\"", "\"\"\"\""},
      {"line\r\nbreak", "\"line\r\nbreak\""},
      {"http://例子.中国/页面", "http://例子.中国/页面"},
      {gbkName, "\"" + gbkName + "\""},  // GBK bytes pass through untouched
      {longAddress, "\"http://example.com/?q=" + std::string(100000, 'x') + ",\"\"end\"\"\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field.substr(0, 60));
    const std::string row = record::csvRow({"t", c.field, "last"});
    EXPECT_EQ(row, "t," + c.written + ",last\r\n");
    const auto rows = readAll(row);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"t", c.field, "last"}));
  }
}

TEST(Csv, ReadingTellsWholeFromCutShortFromMalformed) {
  EXPECT_EQ(readAll("a,b\r\nc,d\n").size(), 2u);
  EXPECT_EQ(readAll("a,b\r\nc,d").size(), 2u);  // no line end after the last row
  EXPECT_EQ(readAll("a,\r\n")[0], (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(readAll("\"x\ny\",z\r\n")[0], (std::vector<std::string>{"x\ny", "z"}));
  readAll("a,b\r\n\"c,d", CsvEnd::CutShort);
  readAll("a,\"b\"c\r\n", CsvEnd::Malformed);
  readAll("a,b\"c\r\n", CsvEnd::Malformed);
  const record::CsvRead cut = record::readCsv("a\r\n\"b", [](const auto&) { return true; });
  EXPECT_EQ(cut.lastRowStart, 3u);
}

TEST(Change, TheShareOfPixelsBeyondTheTolerance) {
  const int w = 200, h = 100;  // 20,000 pixels
  const Pixels grey = flatPicture(w, h, 100, 100, 100);
  auto with = [&](auto change) {
    Pixels p = grey;
    change(p);
    return p;
  };
  struct Case {
    const char* what;
    Pixels now;
    std::int32_t tenths;
    std::size_t areas;
  };
  const std::vector<Case> cases = {
      {"the same", grey, 0, 0},
      {"one pixel", with([](Pixels& p) { setPixel(p, 5, 5, 255, 0, 0); }), 1, 1},
      {"half", with([&](Pixels& p) {
         for (int y = 0; y < h; ++y)
           for (int x = 0; x < w / 2; ++x) setPixel(p, x, y, 0, 0, 0);
       }),
       500, 1},
      {"all", flatPicture(w, h, 0, 0, 0), 1000, 1},
      {"all but one", with([&](Pixels& p) {
         p = flatPicture(w, h, 0, 0, 0);
         setPixel(p, 0, 0, 100, 100, 100);
       }),
       999, 1},
      {"every pixel within the tolerance",
       flatPicture(w, h, 100 + record::kChangeTolerance, 100, 100 - record::kChangeTolerance), 0,
       0},
      {"every pixel just beyond it",
       flatPicture(w, h, 100, 100 + record::kChangeTolerance + 1, 100), 1000, 1},
      {"two far corners", with([&](Pixels& p) {
         setPixel(p, 0, 0, 0, 0, 0);
         setPixel(p, w - 1, h - 1, 0, 0, 0);
       }),
       1, 2},
      // Another size: laid over the earlier one from the top left; only the
      // part of the new picture outside the overlap can be framed.
      {"shorter, the same above", flatPicture(w, h / 2, 100, 100, 100), 500, 0},
      {"taller, the same above", flatPicture(w, h * 2, 100, 100, 100), 500, 1},
      {"wider and shorter", flatPicture(w * 2, h / 2, 100, 100, 100), 750, 1},
      {"another size, changed inside too", flatPicture(w, h * 2, 0, 0, 0), 1000, 1},
      {"a picture without its pixels", Pixels{w, h, {}}, 1000, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(record::changeTenths(c.now, grey), c.tenths);
    EXPECT_EQ(record::changedAreas(c.now, grey).size(), c.areas);
  }
  for (const auto& [tenths, text] :
       {std::pair{0, "0.0"}, std::pair{1, "0.1"}, std::pair{505, "50.5"}, std::pair{1000, "100.0"}})
    EXPECT_EQ(record::changeText(tenths).bytes(), text);
}

TEST(Change, AFrameSurroundsWhatChangedWhereverItIsAndHidesNoneOfIt) {
  // A block of blue on white: in a small picture, and far down a tall one.
  struct Case {
    int width, height, left, top, blockWidth, blockHeight;
    std::optional<int> tenths;  // the figure, where the case pins it
  };
  for (const Case& c : {Case{100, 80, 30, 40, 30, 10, std::nullopt},
                        // 800 of 12 million pixels: the least a change shows
                        Case{600, 20000, 100, 15000, 40, 20, 1}}) {
    SCOPED_TRACE(c.height);
    const Pixels before = flatPicture(c.width, c.height, 255, 255, 255);
    Pixels now = before;
    for (int y = c.top; y < c.top + c.blockHeight; ++y)
      for (int x = c.left; x < c.left + c.blockWidth; ++x) setPixel(now, x, y, 0, 0, 255);
    const std::vector<platform::Rect> areas = record::changedAreas(now, before);
    ASSERT_EQ(areas.size(), 1u);
    const platform::Rect area = areas[0];
    EXPECT_LE(area.left, c.left);
    EXPECT_LE(area.top, c.top);
    EXPECT_GE(area.top, c.top - 16);  // no more than a cell of slack each side
    EXPECT_GE(area.left + area.width, c.left + c.blockWidth);
    EXPECT_GE(area.top + area.height, c.top + c.blockHeight);
    EXPECT_LE(area.width, c.blockWidth + 16);
    EXPECT_LE(area.height, c.blockHeight + 16);
    if (c.tenths) {
      EXPECT_EQ(record::changeTenths(now, before), *c.tenths);
    }
    Pixels framed = now;
    record::frameAreas(framed, areas);
    const auto at = [&](int x, int y) {
      const std::uint8_t* p =
          framed.bgr.data() + (static_cast<std::size_t>(y) * c.width + x) * 3;
      return std::array<int, 3>{p[2], p[1], p[0]};
    };
    const int middle = c.top + c.blockHeight / 2;
    EXPECT_EQ(at(area.left - 1, middle), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(at(c.left + c.blockWidth / 2, middle), (std::array<int, 3>{0, 0, 255}));
    EXPECT_EQ(at(5, 5), (std::array<int, 3>{255, 255, 255}));
  }
}

TEST(PictureFiles, EveryFormatReadsBackByItsContent) {
  const Pixels page = pagePicture(672, 568);
  for (ImageFormat format : {ImageFormat::Bmp, ImageFormat::Png, ImageFormat::Jpeg}) {
    const std::optional<Pixels> back = capture::decodePicture(capture::encodePicture(page, format));
    ASSERT_TRUE(back);
    if (format != ImageFormat::Jpeg) {
      EXPECT_EQ(*back, page);
    } else {
      // Only the hardest edges (black strokes on white) ring beyond the tolerance.
      EXPECT_LE(record::changeTenths(*back, page), 1);
    }
  }
  EXPECT_EQ(capture::pictureExtension(ImageFormat::Png).bytes(), ".png");
  EXPECT_EQ(capture::pictureExtension(ImageFormat::Bmp).bytes(), ".jpg");
  EXPECT_FALSE(capture::decodePicture(ByteSet::fromString("BM but not a bitmap")));
  EXPECT_EQ(record::changePictureName(Text("/p/9时5分(2).png")).bytes(), "/p/9时5分(2)-变化.png");
}

// A record in a folder of its own, read and written as runs would.
class RecordFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("sorvane-record-" + std::to_string(random()));
    fs::create_directory(dir_);
    folder_ = Text(utf8Name(dir_) + static_cast<char>(fs::path::preferred_separator));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  // `shared`: a process of a watched run that began at 2026-12-08 07:00:04.
  std::unique_ptr<record::PictureRecord> newRun(bool shared = false) {
    auto r = std::make_unique<record::PictureRecord>(
        record::KeepPictures::All, [this](const Text& t) { said_.push_back(t.bytes()); });
    r->startRun();
    if (shared) r->shareRun(dateTimeFromCivil({2026, 12, 8, 7, 0, 4}), folder_);
    return r;
  }
  record::RecordRow row(const char* url, const char* picture, const char* change = "new") {
    return {dateTimeFromCivil({2026, 12, 8, 7, 0, 4}), Text(url), Text(picture), record::PageEnd::Loaded,
            Text(change)};
  }
  std::string recordBytes() { return readBytes(dir_ / utf8Path("截图记录.csv")); }

  fs::path dir_;
  Text folder_;
  std::vector<std::string> said_;
};

const std::string kHeader = "时间,网址,截图,结果,变化\r\n";
const std::string kRowA = "2026-12-08 07:00:04,http://a/,a1.png,loaded,new\r\n";

TEST_F(RecordFolder, RowsAccumulateAcrossRunsAndTheIndexFindsTheLatest) {
  auto first = newRun();
  first->addRow(folder_, row("http://a/", "a1.png"));
  first->addRow(folder_, row("http://b/,x", "", ""));
  EXPECT_EQ(recordBytes(), kHeader + kRowA + "2026-12-08 07:00:04,\"http://b/,x\",,loaded,\r\n");

  auto second = newRun();
  EXPECT_EQ(second->latestPicture(folder_, Text("http://a/")).value_or(Text()).bytes(), "a1.png");
  EXPECT_FALSE(second->latestPicture(folder_, Text("http://b/,x")));  // no picture, no entry
  second->addRow(folder_, row("http://a/", "a2.png", "3.5"));
  EXPECT_EQ(second->latestPicture(folder_, Text("http://a/"))->bytes(), "a2.png");
  EXPECT_EQ(newRun()->latestPicture(folder_, Text("http://a/"))->bytes(), "a2.png");
  EXPECT_TRUE(said_.empty());
}

TEST_F(RecordFolder, AnUnreadableRecordIsSetAsideAndANewOneStarted) {
  const std::string garbage = "this,is\r\nnot \"our\" record\r\n";
  for (const std::string& bytes : {garbage, std::string("\xFF\xFE\x00\x01", 4)}) {
    SCOPED_TRACE(bytes);
    said_.clear();
    writeBytes(dir_ / utf8Path("截图记录.csv"), bytes);
    newRun()->addRow(folder_, row("http://a/", "a1.png"));
    EXPECT_EQ(recordBytes(), kHeader + kRowA);
    ASSERT_EQ(said_.size(), 1u);
    EXPECT_NE(said_[0].find("截图记录无法读取，已改名为"), std::string::npos) << said_[0];
    fs::remove(dir_ / utf8Path("截图记录.csv"));
  }
  // Both kept, byte for byte, under names of their own.
  EXPECT_EQ(readBytes(dir_ / utf8Path("截图记录-无法读取.csv")), garbage);
  EXPECT_EQ(readBytes(dir_ / utf8Path("截图记录-无法读取(2).csv")),
            std::string("\xFF\xFE\x00\x01", 4));
}

TEST_F(RecordFolder, ARowCutShortIsDroppedAndARowWithoutItsLineEndKept) {
  // Stopped while writing: the cut row goes, the rows before it stay.
  writeBytes(dir_ / utf8Path("截图记录.csv"), kHeader + kRowA + "2026-12-08 07:00:09,\"http://b/,");
  auto run = newRun();
  EXPECT_FALSE(run->latestPicture(folder_, Text("http://b/,")));
  run->addRow(folder_, row("http://c/", "c.png"));
  const std::string rowC = "2026-12-08 07:00:04,http://c/,c.png,loaded,new\r\n";
  EXPECT_EQ(recordBytes(), kHeader + kRowA + rowC);
  // Cut in the first row after the header; then a header with no line end.
  writeBytes(dir_ / utf8Path("截图记录.csv"), kHeader + "2026-12-08 07:00:09,\"http");
  newRun()->addRow(folder_, row("http://c/", "c.png"));
  EXPECT_EQ(recordBytes(), kHeader + rowC);
  writeBytes(dir_ / utf8Path("截图记录.csv"), kHeader.substr(0, kHeader.size() - 2));
  newRun()->addRow(folder_, row("http://c/", "c.png"));
  EXPECT_EQ(recordBytes(), kHeader + rowC);
  // Saved by an editor without a final line end: the row is whole and kept.
  writeBytes(dir_ / utf8Path("截图记录.csv"), kHeader + kRowA.substr(0, kRowA.size() - 2));
  newRun()->addRow(folder_, row("http://c/", "c.png"));
  EXPECT_EQ(recordBytes(), kHeader + kRowA + rowC);
  EXPECT_TRUE(said_.empty());
}

// A record another program holds (a spreadsheet showing it) while a run adds
// rows a, b and c: never set aside or replaced; the rows reach it in order
// once it is free, or a file of their own beside it when the run ends first.
TEST_F(RecordFolder, ARecordInUseKeepsEveryRowInOrder) {
  const std::string rows[] = {"2026-12-08 07:00:04,http://a/,a.png,loaded,new\r\n",
                              "2026-12-08 07:00:04,http://b/,b.png,loaded,new\r\n",
                              "2026-12-08 07:00:04,http://c/,c.png,loaded,new\r\n"};
  const std::string earlier = kHeader + "2026-12-07 07:00:04,http://x/,x.png,loaded,new\r\n";
  struct Case {
    const char* what;
    std::string before;   // the record before the run; empty: none
    int heldFrom, heldTo;  // rows [from, to) come while it is held; to 3: through the end
    bool closed;           // the program ends without the run's end (the window closed)
    std::string record;    // afterwards; empty: none
    std::string aside;     // the rows' own file; empty: none
    int killedAt = 3;      // a process of a shared run ended from outside before this row
  };
  const Case cases[] = {
      {"held at the first row, free at the third", earlier, 0, 2, false,
       earlier + rows[0] + rows[1] + rows[2], ""},
      {"held from the second row to the end", "", 1, 3, false, kHeader + rows[0],
       kHeader + rows[1] + rows[2]},
      {"held while there was no record yet", "", 0, 3, false, "",
       kHeader + rows[0] + rows[1] + rows[2]},
      {"a row cut short is mended once it is free", earlier + "2026-12-07 07:00:09,\"http", 0, 1,
       false, earlier + rows[0] + rows[1] + rows[2], ""},
      {"held when the window closed", earlier, 1, 3, true, earlier + rows[0],
       kHeader + rows[1] + rows[2]},
      {"a worker ended with a row waiting: the next takes it up", earlier, 0, 2, false,
       earlier + rows[0] + rows[1] + rows[2], "", 1},
      {"ended, and held to the end: one file for the run", "", 1, 3, false, kHeader + rows[0],
       kHeader + rows[1] + rows[2], 2},
  };
  const Text held = folder_ + record::recordFileName();
  const fs::path aside = dir_ / utf8Path("截图记录-2026年12月8日7时0分4秒.csv");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    said_.clear();
    fs::remove(dir_ / utf8Path("截图记录.csv"));
    fs::remove(aside);
    if (!c.before.empty()) writeBytes(dir_ / utf8Path("截图记录.csv"), c.before);
    auto run = newRun(c.killedAt < 3);
    for (int i = 0; i < 3; ++i) {
      if (i == c.killedAt) {
        (void)run.release();  // nothing of it runs any more, its destructor least of all
        // Ended in the middle of a row, which the next process leaves out.
        std::ofstream(aside, std::ios::binary | std::ios::app) << "2026-12-08,http://z/,z,x,ne";
        run = newRun(true);
      }
      const std::string url = std::string("http://") + char('a' + i) + "/";
      const std::string picture = std::string(1, char('a' + i)) + ".png";
      forceFileFault(held, i >= c.heldFrom && i < c.heldTo ? ForcedFault::InUse : ForcedFault::None);
      run->addRow(folder_, row(url.c_str(), picture.c_str()));
      // This run's pictures are known while their rows wait.
      EXPECT_EQ(run->latestPicture(folder_, Text(url)).value_or(Text()).bytes(), picture);
    }
    std::optional<Text> note;
    if (c.closed) {
      run.reset();
      if (!said_.empty()) note = Text(said_.back());
    } else {
      note = run->endRun();
      EXPECT_TRUE(said_.empty());
    }
    forceFileFault(held, ForcedFault::None);
    EXPECT_EQ(fs::exists(dir_ / utf8Path("截图记录.csv")) ? recordBytes() : "", c.record);
    EXPECT_EQ(fs::exists(aside) ? readBytes(aside) : "", c.aside);
    ASSERT_EQ(note.has_value(), !c.aside.empty());
    if (note) {
      EXPECT_NE(note->bytes().find("另存为 " + utf8Name(aside)), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(dir_ / utf8Path("截图记录-无法读取.csv")));
  }
}

}  // namespace
}  // namespace sorvane::testing
