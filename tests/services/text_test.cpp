// The value kinds, the code pages and the text conversions, each text case in
// GBK bytes and again in UTF-8.

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <limits>
#include <string>

#include "services/codepage.h"
#include "services/conversions.h"
#include "services/memory.h"

namespace sorvane {
namespace {

const std::string kCrLf = "\r\n";

struct Encoding {
  const char* label;
  const CodePage& (*page)();
  std::string wideSpace;     // U+3000
  std::string wideDigit5;    // U+FF15
  std::string wideDigit1;    // U+FF11
  std::string widePoint;     // U+FF0E
  std::string wideMinus;     // U+FF0D
  std::string hanzi;         // 中
  std::string danglingLead;  // the start of a character cut off by the end
};

const Encoding kGbk{"Gbk",      gbkCodePage, "\xA1\xA1", "\xA3\xB5", "\xA3\xB1",
                    "\xA3\xAE", "\xA3\xAD",  "\xD6\xD0", "\xD6"};
const Encoding kUtf8{"Utf8",         utf8CodePage,   "\xE3\x80\x80", "\xEF\xBC\x95", "\xEF\xBC\x91",
                     "\xEF\xBC\x8E", "\xEF\xBC\x8D", "\xE4\xB8\xAD", "\xE4\xB8"};

// Test names and failure messages show the code page, not the record's bytes.
void PrintTo(const Encoding& e, std::ostream* out) { *out << e.label; }

class EachCodePage : public ::testing::TestWithParam<Encoding> {
 protected:
  const Encoding& e() const { return GetParam(); }
  const CodePage& cp() const { return GetParam().page(); }
  TextArray split(const std::string& text, const std::string& delimiter,
                  std::int32_t maxPieces = kUnlimitedPieces) const {
    return splitText(Text(text), Text(delimiter), maxPieces, cp());
  }
};

INSTANTIATE_TEST_SUITE_P(CodePages, EachCodePage, ::testing::Values(kGbk, kUtf8),
                         [](const auto& info) { return std::string(info.param.label); });

TextArray texts(std::initializer_list<const char*> items) {
  TextArray out;
  for (const char* item : items) out.emplace_back(item);
  return out;
}

TEST_P(EachCodePage, WalksCharactersAndSeesDanglingLeads) {
  const std::string text = "a" + e().hanzi + "b";
  EXPECT_EQ(cp().charLength(text, 0), 1u);
  EXPECT_EQ(cp().charLength(text, 1), e().hanzi.size());
  EXPECT_EQ(cp().charLength(text, 1 + e().hanzi.size()), 1u);
  const std::string cut = "a" + e().danglingLead;
  EXPECT_EQ(cp().charLength(cut, 1), 0u);
  EXPECT_EQ(cp().charLength(e().wideSpace, 0), e().wideSpace.size());
}

TEST(CodePage, GbkLeadTakesAnySecondByte) {
  const CodePage& gbk = gbkCodePage();
  EXPECT_EQ(gbk.number(), 936);
  EXPECT_EQ(gbk.charLength("\x81\x5C", 0), 2u);  // second byte is a backslash
  EXPECT_EQ(gbk.charLength("\x80,", 0), 2u);
  EXPECT_EQ(gbk.charLength("\xFF"
                           "a",
                           0),
            2u);
  EXPECT_EQ(gbk.charLength("\xFF", 0), 0u);
}

TEST(CodePage, Utf8BrokenSequencesWalkAsSingleBytes) {
  const CodePage& utf8 = utf8CodePage();
  EXPECT_EQ(utf8.number(), 65001);
  EXPECT_EQ(utf8.charLength("\x80"
                            "a",
                            0),
            1u);  // stray continuation
  EXPECT_EQ(utf8.charLength("\xFF"
                            "a",
                            0),
            1u);  // never a lead
  EXPECT_EQ(utf8.charLength("\xE4"
                            "a,",
                            0),
            1u);                                          // lead without its tail
  EXPECT_EQ(utf8.charLength("\xF0\x9F\x98\x80", 0), 4u);  // 😀
  EXPECT_EQ(utf8.charLength("\xF0\x9F\x98", 0), 0u);
  EXPECT_EQ(&systemCodePage(), &utf8CodePage());
}

TEST(CodePage, GbkFoldsFullWidthForms) {
  const CodePage& gbk = gbkCodePage();
  EXPECT_EQ(gbk.foldToAscii("\xA3\xA1"), '!');
  EXPECT_EQ(gbk.foldToAscii("\xA3\xB0"), '0');
  EXPECT_EQ(gbk.foldToAscii("\xA3\xC1"), 'A');
  EXPECT_EQ(gbk.foldToAscii("\xA3\xFE"), '~');
  EXPECT_EQ(gbk.foldToAscii("\xA3\xA0"), -1);
  EXPECT_EQ(gbk.foldToAscii("\xA1\xA1"), ' ');
  EXPECT_EQ(gbk.foldToAscii("\xA1\xAB"), '~');
  EXPECT_EQ(gbk.foldToAscii("\xA1\xEE"), '*');
  EXPECT_EQ(gbk.foldToAscii("\xA1\xEF"), '*');
  EXPECT_EQ(gbk.foldToAscii("\xA1\xA2"), -1);
  EXPECT_EQ(gbk.foldToAscii("\xD6\xD0"), -1);
}

TEST(CodePage, Utf8FoldsFullWidthForms) {
  const CodePage& utf8 = utf8CodePage();
  EXPECT_EQ(utf8.foldToAscii("\xEF\xBC\x81"), '!');  // U+FF01
  EXPECT_EQ(utf8.foldToAscii("\xEF\xBC\x90"), '0');  // U+FF10
  EXPECT_EQ(utf8.foldToAscii("\xEF\xBD\x9E"), '~');  // U+FF5E
  EXPECT_EQ(utf8.foldToAscii("\xEF\xBD\x9F"), -1);   // U+FF5F
  EXPECT_EQ(utf8.foldToAscii("\xE3\x80\x80"), ' ');
  EXPECT_EQ(utf8.foldToAscii("\xE2\x98\x85"), '*');  // ★
  EXPECT_EQ(utf8.foldToAscii("\xE2\x98\x86"), '*');  // ☆
  EXPECT_EQ(utf8.foldToAscii("\xE4\xB8\xAD"), -1);
}

TEST(CodePage, ConvertsAtTheEdges) {
  const CodePage& gbk = gbkCodePage();
  EXPECT_EQ(gbk.toUtf8("a\xD6\xD0\xCE\xC4"), "a中文");
  EXPECT_EQ(gbk.fromUtf8("a中文"), "a\xD6\xD0\xCE\xC4");
  EXPECT_EQ(gbk.toUtf8("\xA1\xA1"), "\xE3\x80\x80");
  EXPECT_EQ(gbk.toUtf8("x\xD6"), "x\xEF\xBF\xBD");      // dangling lead
  EXPECT_EQ(gbk.toUtf8("\xFF\xFFz"), "\xEF\xBF\xBDz");  // no such character
  EXPECT_EQ(gbk.fromUtf8("a\xF0\x9F\x98\x80"
                         "b"),
            "a?b");
  EXPECT_EQ(gbk.fromUtf8("a\xFF"
                         "b"),
            "a?b");

  const CodePage& utf8 = utf8CodePage();
  EXPECT_EQ(utf8.toUtf8("中文"), "中文");
  EXPECT_EQ(utf8.toUtf8("a\xFF"
                        "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(utf8.toUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");          // overlong
  EXPECT_EQ(utf8.toUtf8("\xED\xA0\x80").find('\xED'), std::string::npos);  // surrogate
  EXPECT_EQ(utf8.fromUtf8("中文"), "中文");
}

TEST(Text, HoldsNoZeroByteAndComparesBytes) {
  EXPECT_EQ(Text(std::string("ab\0cd", 5)).bytes(), "ab");
  EXPECT_EQ(Text(static_cast<const char*>(nullptr)), Text());
  EXPECT_EQ(Text(""), Text());
  EXPECT_FALSE(Text("abc") == Text("ABC"));
  EXPECT_FALSE(Text("abc") == Text("abc "));
  EXPECT_EQ(Text("a") + Text() + Text("b\xD6") + Text("\xD0"), Text("ab\xD6\xD0"));
  Text joined("C:");
  joined += Text("\\");
  EXPECT_EQ(joined, Text("C:\\"));
}

TEST(ToText, ByteSetStopsAtTheFirstZeroByte) {
  EXPECT_EQ(toText(ByteSet::fromString(std::string("a\r\nb\0c", 6))), Text("a\r\nb"));
  EXPECT_EQ(toText(ByteSet()), Text());
  EXPECT_EQ(toText(ByteSet::fromString(std::string("\xFF\xFEh\0i\0", 6))), Text("\xFF\xFEh"));
  EXPECT_EQ(toBytes(Text("a\xD6\xD0")), ByteSet::fromString("a\xD6\xD0"));
  EXPECT_TRUE(toBytes(Text()).empty());
}

TEST(ToText, EveryKind) {
  EXPECT_EQ(toText(true), Text("真"));
  EXPECT_EQ(toText(false), Text("假"));
  EXPECT_EQ(toText("abc"), Text("abc"));  // not the logical "真"
  EXPECT_EQ(toText(std::uint8_t{255}), Text("255"));
  EXPECT_EQ(toText(std::int16_t{-32768}), Text("-32768"));
  EXPECT_EQ(toText(std::int32_t{INT32_MIN}), Text("-2147483648"));
  EXPECT_EQ(toText(std::int64_t{INT64_MIN}), Text("-9223372036854775808"));
  EXPECT_EQ(toText(1.0f / 3.0f), Text("0.333333"));
  EXPECT_EQ(toText(1234567.0f), Text("1.23457e+06"));
  EXPECT_EQ(toText(2.5), Text("2.5"));
  EXPECT_EQ(toText(5.0), Text("5"));
  EXPECT_EQ(toText(1.0 / 3.0), Text("0.3333333333333"));
  EXPECT_EQ(toText(1234567890123.0), Text("1234567890123"));
  EXPECT_EQ(toText(1e13), Text("1e+13"));
  EXPECT_EQ(toText(0.0001), Text("0.0001"));
  EXPECT_EQ(toText(0.00001), Text("1e-05"));
  EXPECT_EQ(toText(-0.0), Text("-0"));
}

TEST_P(EachCodePage, ToNumberFoldsFullWidthForms) {
  EXPECT_EQ(toNumber(Text("5"), cp()), 5.0);
  EXPECT_EQ(toNumber(Text(" 2.5s"), cp()), 2.5);
  EXPECT_EQ(toNumber(Text(e().wideDigit5), cp()), 5.0);
  EXPECT_EQ(toNumber(Text("abc"), cp()), 0.0);
  EXPECT_EQ(toNumber(Text(), cp()), 0.0);
  const std::string wide12point5 = e().wideDigit1 + "2" + e().widePoint + e().wideDigit5;
  EXPECT_EQ(toNumber(Text(e().wideSpace + wide12point5), cp()), 12.5);
  EXPECT_EQ(toNumber(Text(e().wideMinus + e().wideDigit5), cp()), -5.0);
  EXPECT_EQ(toNumber(Text(e().hanzi + "5"), cp()), 0.0);
  EXPECT_EQ(toNumber(Text("7" + e().danglingLead), cp()), 7.0);
}

TEST(ToNumber, ReadsTheLeadingNumberAsAtofDoes) {
  EXPECT_EQ(toNumber(Text("\t\n\v\f\r 7")), 7.0);
  EXPECT_EQ(toNumber(Text("+3")), 3.0);
  EXPECT_EQ(toNumber(Text("-.5")), -0.5);
  EXPECT_EQ(toNumber(Text("5.")), 5.0);
  EXPECT_EQ(toNumber(Text(".")), 0.0);
  EXPECT_EQ(toNumber(Text("--3")), 0.0);
  EXPECT_EQ(toNumber(Text("1e3x")), 1000.0);
  EXPECT_EQ(toNumber(Text("2E-2")), 0.02);
  EXPECT_EQ(toNumber(Text("1e")), 1.0);
  EXPECT_EQ(toNumber(Text("1e+")), 1.0);
  EXPECT_EQ(toNumber(Text("1,5")), 1.0);
  EXPECT_EQ(toNumber(Text("00012")), 12.0);
  EXPECT_EQ(toNumber(Text("1e400")), std::numeric_limits<double>::infinity());
  EXPECT_EQ(toNumber(Text("-1e400")), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(toNumber(Text("0.0000001e310")), 1e303);
  EXPECT_EQ(toNumber(Text("1e-400")), 0.0);
  // Hexadecimal, infinity and not-a-number words are not taken as numbers.
  EXPECT_EQ(toNumber(Text("0x10")), 0.0);
  EXPECT_EQ(toNumber(Text("inf")), 0.0);
  EXPECT_EQ(toNumber(Text("nan")), 0.0);
}

TEST(ToNumber, IgnoresTheProcessLocale) {
  // The name glibc knows (the test command generates it), then the C
  // runtime's names on Windows.
  const char* german = nullptr;
  for (const char* name : {"de_DE.UTF-8", "German_Germany.1252", "de-DE"}) {
    if ((german = std::setlocale(LC_NUMERIC, name))) break;
  }
  if (!german) GTEST_SKIP() << "no locale with a decimal comma installed";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  EXPECT_EQ(toNumber(Text("2.5")), 2.5);
  EXPECT_EQ(toText(2.5), Text("2.5"));
  std::setlocale(LC_NUMERIC, "C");
}

TEST(IntegerConversion, TruncatesAndKeepsTheLow32Bits) {
  EXPECT_EQ(toInteger32(3.9), 3);
  EXPECT_EQ(toInteger32(-3.9), -3);
  EXPECT_EQ(toInteger32(5000.0), 5000);
  EXPECT_EQ(toInteger32(3000000000.0), -1294967296);
  EXPECT_EQ(toInteger64(3000000000.0), 3000000000LL);
  EXPECT_EQ(toInteger64(std::nan("")), INT64_MIN);
  EXPECT_EQ(toInteger32(std::nan("")), 0);
  EXPECT_EQ(toInteger64(9223372036854775808.0), INT64_MIN);
  EXPECT_EQ(toInteger64(-9223372036854775808.0), INT64_MIN);
  EXPECT_EQ(toInteger64(1e300), INT64_MIN);
  EXPECT_EQ(toInteger64(std::numeric_limits<double>::infinity()), INT64_MIN);
  EXPECT_EQ(toInteger64(9223372036854774784.0), 9223372036854774784LL);  // largest below 2^63
}

TEST_P(EachCodePage, RemoveAllSpaces) {
  const CodePage& page = cp();
  const std::string sp = e().wideSpace;
  EXPECT_EQ(removeAllSpaces(Text(" a" + sp + "b c "), page), Text("abc"));
  EXPECT_EQ(removeAllSpaces(Text(sp + "  " + sp), page), Text());
  EXPECT_EQ(removeAllSpaces(Text("a\tb\r\n"), page), Text("a\tb\r\n"));
  EXPECT_EQ(removeAllSpaces(Text(e().hanzi + " x"), page), Text(e().hanzi + "x"));
  EXPECT_EQ(removeAllSpaces(Text("a " + e().danglingLead), page), Text("a"));
  EXPECT_EQ(removeAllSpaces(Text(), page), Text());
}

TEST(RemoveAllSpaces, GbkMatchesOnlyAtCharacterStarts) {
  // 啊 (B0 A1) then 啊 read from its second byte would look like A1 A1.
  EXPECT_EQ(removeAllSpaces(Text("\xB0\xA1\xA1\xB0 "), gbkCodePage()), Text("\xB0\xA1\xA1\xB0"));
  EXPECT_EQ(removeAllSpaces(Text("\xB1 x"), gbkCodePage()), Text("\xB1 x"));  // B1 20 is one pair
}

TEST_P(EachCodePage, SplitAtCrLf) {
  EXPECT_EQ(split("a" + kCrLf + "b", kCrLf), texts({"a", "b"}));
  EXPECT_EQ(split("a" + kCrLf + "b" + kCrLf, kCrLf), texts({"a", "b"}));
  EXPECT_EQ(split(kCrLf + "a", kCrLf), texts({"", "a"}));
  EXPECT_EQ(split("a" + kCrLf + kCrLf + "b", kCrLf), texts({"a", "", "b"}));
  EXPECT_EQ(split(kCrLf, kCrLf), texts({""}));
  EXPECT_EQ(split("", kCrLf), texts({}));
  EXPECT_EQ(split("a\nb", kCrLf), texts({"a\nb"}));
  // The list file as it is saved: every entry preceded by CR LF.
  const std::string h = e().hanzi;
  EXPECT_EQ(split(kCrLf + "http://" + h + "/" + kCrLf + "b", kCrLf),
            TextArray({Text(""), Text("http://" + h + "/"), Text("b")}));
}

TEST_P(EachCodePage, SplitLimitsAndDelimiters) {
  EXPECT_EQ(split("a,b,c", ",", 2), texts({"a", "b"}));
  EXPECT_EQ(split("a,b,c", ",", 3), texts({"a", "b", "c"}));
  EXPECT_EQ(split("a,b,", ",", 2), texts({"a", "b"}));
  EXPECT_EQ(split("a,b", ",", 1), texts({"a"}));
  EXPECT_EQ(split("a,b,c", ",", 0), texts({}));
  EXPECT_EQ(split("a,b,c", ",", -1), texts({}));
  EXPECT_EQ(split("a,b,c", ""), texts({"a,b,c"}));
  EXPECT_EQ(split("a", "abc"), texts({"a"}));
  EXPECT_EQ(splitText(Text("x,y")), texts({"x", "y"}));  // "," and no limit by default
  const std::string h = e().hanzi;
  EXPECT_EQ(split("a" + h + "b" + h, h), texts({"a", "b"}));
  // A lead byte cut off by the end stops the scan; the rest is still kept.
  EXPECT_EQ(split("a," + e().danglingLead, ","), TextArray({Text("a"), Text(e().danglingLead)}));
}

TEST(SplitText, GbkMatchesOnlyAtCharacterStarts) {
  const CodePage& gbk = gbkCodePage();
  // B1 5C is one character whose second byte is a backslash.
  EXPECT_EQ(splitText(Text("\xB1\x5C\\x"), Text("\\"), kUnlimitedPieces, gbk),
            TextArray({Text("\xB1\x5C"), Text("x")}));
  EXPECT_EQ(splitText(Text("\xA3,b,c"), Text(","), kUnlimitedPieces, gbk),
            TextArray({Text("\xA3,b"), Text("c")}));
  // The delimiter 'A1 A1' inside 'B0 A1 | A1 B0' is not at a character start.
  EXPECT_EQ(splitText(Text("\xB0\xA1\xA1\xB0"), Text("\xA1\xA1"), kUnlimitedPieces, gbk),
            TextArray({Text("\xB0\xA1\xA1\xB0")}));
}

TEST_P(EachCodePage, RightTextCountsBytes) {
  EXPECT_EQ(rightText(Text("C:\\"), 1), Text("\\"));
  EXPECT_EQ(rightText(Text(), 1), Text());
  EXPECT_EQ(rightText(Text("abc"), 0), Text());
  EXPECT_EQ(rightText(Text("abc"), -5), Text());
  EXPECT_EQ(rightText(Text("abc"), 99), Text("abc"));
  EXPECT_EQ(rightText(Text("a" + e().hanzi), 1), Text(e().hanzi.substr(e().hanzi.size() - 1)));
}

TEST_P(EachCodePage, EndsWithCharacter) {
  const std::string h = e().hanzi;
  EXPECT_TRUE(endsWithCharacter(Text("C:\\"), Text("\\"), cp()));
  EXPECT_TRUE(endsWithCharacter(Text("/home/" + h + "/"), Text("/"), cp()));
  EXPECT_FALSE(endsWithCharacter(Text("/home/" + h), Text("/"), cp()));
  EXPECT_TRUE(endsWithCharacter(Text("/home/" + h), Text(h), cp()));
  EXPECT_FALSE(endsWithCharacter(Text(), Text("/"), cp()));
  EXPECT_FALSE(endsWithCharacter(Text("a/"), Text(), cp()));
  EXPECT_FALSE(endsWithCharacter(Text("a/" + e().danglingLead), Text("/"), cp()));
  EXPECT_FALSE(endsWithCharacter(Text("a/" + e().danglingLead), Text(e().danglingLead), cp()));
}

TEST(EndsWithCharacter, GbkSecondByteIsNoSeparator) {
  // D:\饱 written B1 5C: the last byte is a backslash, the last character is not.
  EXPECT_FALSE(endsWithCharacter(Text("D:\\\xB1\x5C"), Text("\\"), gbkCodePage()));
  EXPECT_TRUE(endsWithCharacter(Text("D:\\\xB1\x5C\\"), Text("\\"), gbkCodePage()));
}

TEST(Memory, FailureMessageAndHandler) {
  EXPECT_EQ(allocationFailureMessage(1048576), Text("分配 1048576 字节内存失败!"));

  struct Reported {
    std::size_t bytes;
  };
  setAllocationFailureHandler([](std::size_t bytes) { throw Reported{bytes}; });
  try {
    guardAllocation(12345, []() -> int { throw std::bad_alloc(); });
    ADD_FAILURE() << "the handler was not called";
  } catch (const Reported& reported) {
    EXPECT_EQ(reported.bytes, 12345u);
  }
  EXPECT_EQ(guardAllocation(1, [] { return 7; }), 7);
  setAllocationFailureHandler(nullptr);
}

TEST(MemoryDeathTest, AbortsWithoutAHandler) {
  setAllocationFailureHandler(nullptr);
  EXPECT_DEATH(allocationFailed(99), "99 bytes");
}

}  // namespace
}  // namespace sorvane
