// The gallery beside the record: what its HTML makes of hostile texts, how
// pictures are referred to, how runs are told apart, and the page kept in a
// real folder within its bound.

#include "record/gallery.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "program_fixture.h"
#include "record/gallery_html.h"
#include "record/picture_record.h"
#include "services/conversions.h"

namespace sorvane::testing {
namespace {

namespace html = record::html;

// The texts between each `open` and the `close` after it, in order.
Strings between(const std::string& text, const std::string& open, const std::string& close) {
  Strings found;
  for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
    at += open.size();
    const std::size_t end = text.find(close, at);
    if (end == std::string::npos) break;
    found.push_back(text.substr(at, end - at));
  }
  return found;
}

TEST(GalleryHtml, TextIsEscapedAndOnlyWebAndFileAddressesBecomeLinks) {
  struct Case {
    std::string address;
    std::string shown;  // escaped
    bool link;
  };
  const std::vector<Case> cases = {
      {"http://a/?q=\"<&>'", "http://a/?q=&quot;&lt;&amp;&gt;&#39;", true},
      {"HTTPS://例子.中国/", "HTTPS://例子.中国/", true},
      {"file:///srv/a.html", "file:///srv/a.html", true},
      {"javascript:document.title='x'", "javascript:document.title=&#39;x&#39;", false},
      {"JaVaScRiPt:alert(1)", "JaVaScRiPt:alert(1)", false},
      {" http://a/", " http://a/", false},  // a browser would drop the space: not ours to guess
      {"data:text/html,<script>alert(1)</script>",
       "data:text/html,&lt;script&gt;alert(1)&lt;/script&gt;", false},
      {"//elsewhere/", "//elsewhere/", false},
      {"http", "http", false},
      {"a\x01\x7F\tb", "a\xEF\xBF\xBD\xEF\xBF\xBD\tb", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(html::escape(c.address), c.shown);
    EXPECT_EQ(html::linkable(c.address), c.link);
    const std::string card = html::card({"2026-12-08 07:00:04", c.address, "", record::PageEnd::Loaded, {}, ""});
    const Strings hrefs = between(card, "href=\"", "\"");
    EXPECT_EQ(hrefs, c.link ? Strings{c.shown} : Strings{});
    EXPECT_EQ(between(card, "<p class=\"url\">", "</p>"),
              Strings{c.link ? "<a href=\"" + c.shown + "\" rel=\"noreferrer\">" + c.shown + "</a>"
                             : c.shown});
  }
}

// Characters beyond ASCII stay themselves (a browser may read their escapes
// in the system's code page); ASCII that means something in an address is
// escaped, and so are bytes that are no UTF-8.
TEST(GalleryHtml, PicturesAreRelativeReferencesThatEscapeOnlyASCII) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"2026年12月8日7时0分4秒(2).png", "2026年12月8日7时0分4秒%282%29.png"},
      {"\xE6\x97 \xC0\xAF\xED\xA0\x80.png", "%E6%97%20%C0%AF%ED%A0%80.png"},
      {"\xF0\x9F\x98\x80\xE3\x80\x80.png", "\xF0\x9F\x98\x80\xE3\x80\x80.png"},
      {"a b-c_d~e.jpg", "a%20b-c_d~e.jpg"},
      {"javascript:x", "javascript%3Ax"},
      {"../x/\\y#z?q=%&\"'<>", "..%2Fx%2F%5Cy%23z%3Fq%3D%25%26%22%27%3C%3E"},
      {".", "%2E"},
      {"..", "%2E%2E"},
  };
  for (const auto& [name, reference] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(html::fileReference(name), reference);
  }
  // The thumbnail, its link, the framed picture's link, and the name as text.
  html::Card c{"t", "http://a/", "p\"1.png", record::PageEnd::Loaded, {}, "12.5", "p\"1-变化.png"};
  const std::string card = html::card(c);
  EXPECT_EQ(between(card, "href=\"", "\""), (Strings{"p%221.png", "http://a/", "p%221-变化.png"}));
  EXPECT_EQ(between(card, "src=\"", "\""), Strings{"p%221.png"});
  EXPECT_NE(card.find("alt=\"截图文件 p&quot;1.png 不在文件夹里\""), std::string::npos) << card;
}

// The classes the filter and the red frame go by; a page end from an edited
// record shows as text.
TEST(GalleryHtml, ACardIsMarkedChangedOrNotLoaded) {
  const std::vector<std::pair<html::Card, std::string>> cases = {
      {{"t", "u", "p.png", record::PageEnd::Loaded, {}, "12.5"}, "card changed"},
      {{"t", "u", "p.png", record::PageEnd::Loaded, {}, "0.0"}, "card"},
      {{"t", "u", "p.png", record::PageEnd::TimedOut, {}, "new"}, "card notloaded"},
      {{"t", "u", "p.png", record::PageEnd::Failed, {}, "0.1"}, "card changed notloaded"},
      {{"t", "u", "", std::nullopt, "<b>", ""}, "card notloaded"},
  };
  for (const auto& [card, classes] : cases) {
    const std::string text = html::card(card);
    SCOPED_TRACE(text);
    EXPECT_EQ(between(text, "<article class=\"", "\""), Strings{classes});
    EXPECT_EQ(text.find("<b>"), std::string::npos);
  }
}

TEST(GalleryRuns, ARunEndsWhereAnAddressComesAgainOrTheClockJumps) {
  struct Row {
    const char* time;
    const char* url;
    bool startsRun;
  };
  const std::vector<Row> rows = {
      {"2026-12-07 07:00:04", "http://a/", true},
      {"2026-12-07 07:00:09", "http://b/", false},
      {"2026-12-07 07:09:59", "http://c/", false},  // a slow page, still the same run
      {"2026-12-07 07:10:04", "http://a/", true},   // the list again at once
      {"2026-12-07 07:10:06", "http://b/", false},
      {"2026-12-08 07:00:04", "http://c/", true},  // the next morning, another list
      {"2026-12-08 07:00:06", "http://d/", false},
      {"not a time", "http://e/", false},  // an edited row: only the address counts
      {"2026-12-08 07:00:09", "http://f/", false},
      {"2026-12-08 06:00:00", "http://g/", true},  // the clock set back
  };
  record::RunSplitter splitter;
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.time) + " " + r.url);
    EXPECT_EQ(splitter.startsRun(r.time, r.url), r.startsRun);
  }
}

class GalleryFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("sorvane-gallery-" + std::to_string(random()));
    fs::create_directory(dir_);
    folder_ = Text(utf8Name(dir_) + static_cast<char>(fs::path::preferred_separator));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // A record whose rows were written by earlier runs: "HH:MM:SS url picture change" each.
  void writeRecord(const Strings& rows, const std::string& day = "2026-12-07") {
    std::string bytes = record::recordHeader();
    for (const std::string& r : rows) {
      std::istringstream in(r);
      std::string time, url, picture, change;
      in >> time >> url >> picture >> change;
      bytes += day + " " + time + "," + url + "," + (picture == "-" ? "" : picture) +
               ",loaded," + (change == "-" ? "" : change) + "\r\n";
    }
    writeBytes(dir_ / utf8Path("截图记录.csv"), bytes);
  }
  // A row added now (the record's own call), as the record has written it.
  void add(record::Gallery& gallery, const char* url, int second,
           record::NoPicture why = record::NoPicture::Unknown) {
    const record::RecordRow row{
        dateTimeFromCivil({2026, 12, 8, 7, 0, second}),         Text(url),
        Text(why == record::NoPicture::Unknown ? "n.png" : ""), record::PageEnd::Loaded,
        Text(why == record::NoPicture::Unknown ? "new" : ""),   why};
    const std::string csv = readBytes(dir_ / utf8Path("截图记录.csv"));
    writeBytes(dir_ / utf8Path("截图记录.csv"), csv + record::recordTime(row.at).bytes() + "," +
                                                    url + "," + row.picture.bytes() + ",loaded," +
                                                    row.change.bytes() + "\r\n");
    EXPECT_TRUE(gallery.add(folder_, row));
  }
  std::string page() { return readBytes(dir_ / utf8Path("截图记录.html")); }
  // Per section: its heading's time and its cards' addresses.
  std::vector<Strings> sections() {
    std::vector<Strings> found;
    for (const std::string& s : between(page(), "<section>", "</section>")) {
      Strings cards = between(s, "<h2>", " ");
      for (const std::string& url : between(s, "<p class=\"url\">", "</p>"))
        cards.push_back(url.starts_with("<a") ? between(url, "\">", "</a>").at(0) : url);
      found.push_back(cards);
    }
    return found;
  }

  fs::path dir_;
  Text folder_;
  std::vector<std::string> said_;
};

TEST_F(GalleryFolder, RunsShowNewestFirstEachInItsOrderAndTheNewRowOnce) {
  writeRecord({"07:00:04 http://a/ a.png new", "07:00:06 http://b/ b.png new",
               "08:00:04 http://a/ a2.png 12.5", "08:00:06 http://b/ - -"});
  writeBytes(dir_ / utf8Path("a2-变化.png"), "x");
  record::Gallery gallery([&](const Text& t) { said_.push_back(t.bytes()); });
  gallery.startRun();
  add(gallery, "http://a/", 4);
  add(gallery, "http://c/", 6, record::NoPicture::NotTaken);
  EXPECT_EQ(sections(), (std::vector<Strings>{{"2026-12-08", "http://a/", "http://c/"},
                                              {"2026-12-07", "http://a/", "http://b/"},
                                              {"2026-12-07", "http://a/", "http://b/"}}));
  const std::string text = page();
  EXPECT_TRUE(
      text.starts_with("<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"));
  EXPECT_TRUE(text.ends_with("</script>\n</body></html>\n"));
  EXPECT_EQ(between(text, "<p class=\"sum\">共 ", "</p>"),
            (Strings{"2 页：载入 2，变化 0，超时 0，失败 0，空白 0",
                     "2 页：载入 2，变化 1，超时 0，失败 0，空白 0",
                     "2 页：载入 2，变化 0，超时 0，失败 0，空白 0"}));
  EXPECT_EQ(between(text, "class=\"diff\" href=\"", "\""), Strings{"a2-变化.png"});
  EXPECT_NE(text.find("没有截图：本次运行没有勾选“截图”"), std::string::npos);
  EXPECT_EQ(text.find("截图记录.csv</a>"), std::string::npos);  // everything is shown
  EXPECT_TRUE(said_.empty());
}

TEST_F(GalleryFolder, AProcessThatCarriesOnARunAddsToItsSection) {
  // A worker ended after http://a/ and its successor goes on with http://b/;
  // a run of the same list later on opens a section of its own all the same.
  writeRecord({"05:00:04 http://x/ x.png new", "07:00:04 http://a/ a.png new"}, "2026-12-08");
  for (const char* next : {"http://b/", "http://a/"}) {
    record::Gallery gallery([&](const Text& t) { said_.push_back(t.bytes()); });
    gallery.continueRun();
    gallery.startRun();
    add(gallery, next, 6);
  }
  EXPECT_EQ(sections(), (std::vector<Strings>{{"2026-12-08", "http://a/"},
                                              {"2026-12-08", "http://a/", "http://b/"},
                                              {"2026-12-08", "http://x/"}}));
}

TEST_F(GalleryFolder, ThePageHoldsWholeRunsUpToItsBoundAndLinksTheRecordForTheRest) {
  // Runs of 3, 3 and 2 pages, then this run; four pages at most.
  writeRecord({"07:00:01 http://a/ 1.png new", "07:00:02 http://b/ 2.png new",
               "07:00:03 http://c/ 3.png new", "08:00:01 http://a/ 4.png 0.0",
               "08:00:02 http://b/ 5.png 0.0", "08:00:03 http://c/ 6.png 0.0",
               "09:00:01 http://a/ 7.png 0.0", "09:00:02 http://b/ 8.png 0.0"});
  record::Gallery gallery([&](const Text& t) { said_.push_back(t.bytes()); }, 4);
  gallery.startRun();
  add(gallery, "http://x/", 1);
  EXPECT_EQ(sections(), (std::vector<Strings>{{"2026-12-08", "http://x/"},
                                              {"2026-12-07", "http://a/", "http://b/"}}));
  EXPECT_NE(page().find("更早的 6 页没有列在这里，见 <a href=\"截图记录.csv\">"
                        "截图记录.csv</a>"),
            std::string::npos);
  add(gallery, "http://y/", 2);
  add(gallery, "http://z/", 3);  // five pages: the run of two goes
  EXPECT_EQ(sections(),
            (std::vector<Strings>{{"2026-12-08", "http://x/", "http://y/", "http://z/"}}));
  EXPECT_NE(page().find("更早的 8 页"), std::string::npos);
  // This run alone outgrows the bound: its latest pages show.
  add(gallery, "http://v/", 4);
  add(gallery, "http://w/", 5);
  EXPECT_EQ(
      sections(),
      (std::vector<Strings>{{"2026-12-08", "http://y/", "http://z/", "http://v/", "http://w/"}}));
  EXPECT_NE(page().find("（这次运行更早的页没有列在这里）"), std::string::npos);
  EXPECT_NE(page().find("更早的 9 页"), std::string::npos);

  // The next run reads the record again, keeping no more than it can show: the
  // run before, cut, cannot show whole beside it.
  record::Gallery next([&](const Text& t) { said_.push_back(t.bytes()); }, 4);
  next.startRun();
  add(next, "http://a/", 30);
  EXPECT_EQ(sections(), (std::vector<Strings>{{"2026-12-08", "http://a/"}}));
  EXPECT_NE(page().find("更早的 13 页"), std::string::npos);
  EXPECT_TRUE(said_.empty());
  EXPECT_EQ(Program::filesIn(dir_),
            (Strings{"截图记录.csv", "截图记录.html"}));  // no temporary left
}

TEST_F(GalleryFolder, APageThatCannotBeWrittenIsSaidOnceARun) {
  fs::create_directory(dir_ / utf8Path("截图记录.html"));
  writeRecord({});
  record::Gallery gallery([&](const Text& t) { said_.push_back(t.bytes()); });
  for (int run = 0; run < 2; ++run) {
    gallery.startRun();
    for (int second : {1, 2}) {
      const record::RecordRow row{dateTimeFromCivil({2026, 12, 8, 7, 0, second}), Text("http://a/"),
                                  Text(""), record::PageEnd::Loaded, Text("")};
      EXPECT_FALSE(gallery.add(folder_, row));
    }
  }
  EXPECT_EQ(said_, Strings(2, "截图记录网页无法写入：" + folder_.bytes() + "截图记录.html"));
}

}  // namespace
}  // namespace sorvane::testing
