// The address list on the simulated platform: adding, the duplicate question,
// deleting, clearing, export and import; and the list file codec.

#include "program_fixture.h"
#include "urllist/list_file.h"
#include "urllist/urllist_handlers.h"

namespace sorvane::testing {
namespace {

Strings decode(const std::string& bytes, const CodePage& cp = systemCodePage()) {
  Strings out;
  for (const Text& t : urllist::decodeListFile(ByteSet::fromString(bytes), cp))
    out.push_back(t.bytes());
  return out;
}

TEST(UrlList, AddingIgnoresBlankInputAndAsksAboutDuplicates) {
  Program p;
  p.add({"", "  \xE3\x80\x80 "});  // ASCII and full-width spaces only
  EXPECT_TRUE(p.urls().empty());
  p.add({"http://a/", "HTTP://A/", " http://a/", "\t"});  // none of them equal
  EXPECT_EQ(p.urls(), (Strings{"http://a/", "HTTP://A/", " http://a/", "\t"}));
  EXPECT_EQ(p.items(), p.urls());
  EXPECT_EQ(p.text("编辑框2"), "\t");
  EXPECT_EQ(p.run.runCount, 4);
  EXPECT_TRUE(p.sim.boxes().empty());

  p.sim.answerBoxes({{platform::box::kResultNo}, {platform::box::kResultYes}});
  p.add({"http://a/", "http://a/"});
  EXPECT_EQ(p.urls(), (Strings{"http://a/", "HTTP://A/", " http://a/", "\t", "http://a/"}));
  EXPECT_EQ(p.items(), p.urls());
  ASSERT_EQ(p.sim.boxes().size(), 2u);
  for (const sim::Box& box : p.sim.boxes())
    expectBox(box, "该网址已经存在！是否继续添加？", kBoxYesNo);

  p.setPause("2");  // both copies are visited
  p.click("按钮1");
  p.sim.advanceTo(20000);
  EXPECT_EQ(p.navigated(), (Strings{"http://a/", "HTTP://A/", " http://a/", "\t", "http://a/"}));
}

TEST(UrlList, DeletingAndClearing) {
  Program p;
  p.add({"a", "b", "c"});
  urllist::deleteUrl(p.frame);  // nothing selected: nothing removed
  EXPECT_EQ(p.urls(), (Strings{"a", "b", "c"}));
  p.sim.doubleClickItem(p.id("列表框1"), 0);
  EXPECT_EQ(p.urls(), (Strings{"b", "c"}));
  EXPECT_EQ(p.items(), (Strings{"b", "c"}));
  EXPECT_EQ(p.run.runCount, 3);

  p.click("按钮5");
  EXPECT_TRUE(p.urls().empty());
  EXPECT_TRUE(p.items().empty());
  EXPECT_EQ(p.text("编辑框2"), "");
  EXPECT_EQ(p.run.runCount, 3);
  EXPECT_TRUE(p.sim.boxes().empty());
}

TEST(UrlList, ExportWritesEveryEntryAfterCrLf) {
  Program p;
  p.click("按钮3");
  EXPECT_EQ(p.boxTexts(), Strings{"网址列表不可为空！"});
  EXPECT_TRUE(p.sim.fileRequests().empty());

  p.add({"a", "b"});
  p.sim.answerFile(std::nullopt);  // cancelled: no message
  p.click("按钮3");
  p.sim.answerFile(p.file("out.txt").string());
  p.click("按钮3");
  EXPECT_TRUE(p.sim.fileRequests().back().request.save);
  EXPECT_EQ(readBytes(p.file("out.txt")), "\x0D\x0A\x61\x0D\x0A\x62");
  p.sim.answerFile(p.file("missing/out.txt").string());
  p.click("按钮3");
  EXPECT_EQ(p.boxTexts(), (Strings{"网址列表不可为空！", "保存成功！", "保存失败！"}));
  for (const sim::Box& box : p.sim.boxes()) expectBox(box, box.text.c_str());
}

TEST(UrlList, ImportReplacesTheListAndRoundTripsAnExport) {
  Program p;
  p.add({"old"});
  p.sim.answerFile(std::nullopt);
  p.click("按钮4");
  EXPECT_EQ(p.urls(), Strings{"old"});

  writeBytes(p.file("hand.txt"), "first\nsecond\r\nthird\n");
  p.importFile(p.file("hand.txt"));
  EXPECT_FALSE(p.sim.fileRequests().back().request.save);
  EXPECT_EQ(p.urls(), (Strings{"first", "second", "third"}));
  EXPECT_EQ(p.items(), p.urls());
  EXPECT_EQ(p.run.runCount, 3);

  // Empty entries survive a round trip, except an empty last one.
  p.frame.vars().urlArray = {Text("a"), Text(), Text("b"), Text()};
  urllist::refreshUrlListBox(p.frame, {});
  p.sim.answerFile(p.file("round.txt").string());
  p.click("按钮3");
  p.importFile(p.file("round.txt"));
  EXPECT_EQ(p.urls(), (Strings{"a", "", "b"}));

  writeBytes(p.file("empty.txt"), "");
  p.importFile(p.file("empty.txt"));
  EXPECT_TRUE(p.urls().empty());
  EXPECT_EQ(p.run.runCount, 0);
  EXPECT_EQ(p.boxTexts(), Strings{"保存成功！"});
}

TEST(UrlList, UnreadableImportKeepsTheList) {
  Program p;
  p.add({"a", "b"});
  p.click("按钮5");  // runCount stays 2 while the list is empty
  p.add({"c"});
  fs::create_directories(p.folder() / "a folder");
  for (const fs::path& name : {p.file("a folder"), p.file("vanished.txt")}) {
    p.importFile(name);
    EXPECT_EQ(p.urls(), Strings{"c"});
    EXPECT_EQ(p.items(), Strings{"c"});
    EXPECT_EQ(p.run.runCount, 1);
    ASSERT_FALSE(p.sim.boxes().empty());
    expectBox(p.sim.boxes().back(), "导入失败！");
  }
  EXPECT_EQ(p.sim.boxes().size(), 2u);
}

TEST(ListFile, DecodingCutsAtLineEndsAndDropsOnlyAnEmptyFirstLine) {
  EXPECT_EQ(decode("\r\na\r\nb"), (Strings{"a", "b"}));
  EXPECT_EQ(decode("\r\na\r\n\r\nb"), (Strings{"a", "", "b"}));
  EXPECT_EQ(decode("\r\na\r\nb\r\n"), (Strings{"a", "b"}));
  EXPECT_EQ(decode("first\r\nsecond\r\nthird"), (Strings{"first", "second", "third"}));
  EXPECT_EQ(decode("a"), Strings{"a"});
  EXPECT_EQ(decode("a\nb\n"), (Strings{"a", "b"}));
  EXPECT_EQ(decode(""), Strings{});
  EXPECT_EQ(decode("\r\n"), Strings{});
  EXPECT_EQ(decode("a\rb\r\n\rc"), (Strings{"a\rb", "\rc"}));  // a lone CR is content
  EXPECT_EQ(decode(std::string("\r\na\r\nb\0\r\nc", 10)), (Strings{"a", "b"}));
  // GBK: 0xD6 0x0A is one character; the 0x0A inside it is no line end.
  EXPECT_EQ(decode("\r\n\xD6\x0A\r\nb", gbkCodePage()), (Strings{"\xD6\x0A", "b"}));

  EXPECT_EQ(urllist::encodeListFile({Text("only")}), ByteSet::fromString("\r\nonly"));
  EXPECT_TRUE(urllist::encodeListFile({}).empty());
}

// One list as editors save it, on a UTF-8 system and on a GBK one: every form
// gives the same entries in that system's code page, and what the program
// exports there reads back unchanged.
TEST(ListFile, EveryEncodingAnEditorSavesGivesTheSameAddresses) {
  const std::string chinese = "http://例子.中国/价格";
  const std::string utf8 = "\r\n" + chinese + "\r\nhttp://b/";
  const std::u16string wide = u"\r\nhttp://例子.中国/价格\r\nhttp://b/";
  const auto utf16 = [&](bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : wide) {
      const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
      out += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return out;
  };
  const std::pair<const char*, std::string> forms[] = {
      {"UTF-8", utf8},
      {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + utf8},
      // The mark used to stick to the first address when no empty line came first.
      {"UTF-8 with a mark, typed without the leading line", "\xEF\xBB\xBF" + utf8.substr(2)},
      {"UTF-16, little-endian", utf16(false)},
      {"UTF-16, big-endian", utf16(true)},
      {"GBK, as the Windows program exports", gbkCodePage().fromUtf8(utf8)},
  };
  for (const CodePage* cp : {&utf8CodePage(), &gbkCodePage()}) {
    const Strings expected{cp->fromUtf8(chinese), "http://b/"};
    for (const auto& [what, bytes] : forms) {
      SCOPED_TRACE(std::string(what) + " in code page " + std::to_string(cp->number()));
      EXPECT_EQ(decode(bytes, *cp), expected);
    }
    const ByteSet exported =
        urllist::encodeListFile({Text(expected[0]), Text(expected[1]), Text("")});
    EXPECT_EQ(decode(std::string(exported.bytes().begin(), exported.bytes().end()), *cp),
              expected);
  }
}

}  // namespace
}  // namespace sorvane::testing
