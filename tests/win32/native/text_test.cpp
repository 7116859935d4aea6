// The program's code page on a Chinese Windows, and the conversion to and
// from the wide calls.

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/services/text.h"
#include "services/codepage.h"

namespace sorvane::platform::win32 {
namespace {

class ChineseSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    if (GetACP() != 936) GTEST_SKIP() << "these tests need a Chinese system (code page 936)";
  }
};

TEST_F(ChineseSystem, TheProgramRunsInGbk) { EXPECT_EQ(systemCodePage().number(), 936); }

TEST_F(ChineseSystem, EveryGbkCharacterRoundTrips) {
  int checked = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string one{static_cast<char>(lead), static_cast<char>(trail)};
      const std::wstring wide = toWide(one);
      if (wide == L"\xFFFD") continue;  // a code point GBK leaves unassigned
      ASSERT_EQ(wide.size(), 1u) << lead << " " << trail;
      ASSERT_EQ(fromWideExact(wide), std::optional<std::string>(one)) << lead << " " << trail;
      ++checked;
    }
  }
  EXPECT_GT(checked, 21000);
}

TEST_F(ChineseSystem, BrokenBytesBecomeOneReplacementEach) {
  EXPECT_EQ(toWide("\xBD\xD8\xCD\xBC"), L"\u622A\u56FE");
  EXPECT_EQ(toWide("a\xBD"), L"a\xFFFD") << "a lead byte cut off by the end";
  EXPECT_EQ(toWide("a\x81\x7F"
                   "b"),
            L"a\xFFFD"
            L"b");
  EXPECT_EQ(toWide(""), L"");
  EXPECT_FALSE(toWideExact("a\xBD"));
  EXPECT_EQ(toWideExact("a\\b"), std::optional<std::wstring>(L"a\\b"));
}

TEST_F(ChineseSystem, WhatGbkLacksBecomesOneQuestionMarkAndIsNoExactText) {
  EXPECT_EQ(fromWide(L"\u622A\u56FE"), "\xBD\xD8\xCD\xBC");
  // Thai, an emoji (two UTF-16 units), and a stray half of a surrogate pair.
  EXPECT_EQ(fromWide(L"a\u0E01b\U0001F600c\xD800"), "a?b?c?");
  EXPECT_FALSE(fromWideExact(L"a\u0E01"));
  EXPECT_FALSE(fromWideExact(L"\U0001F600"));
  // No best fit: a full-width backslash does not turn into a path separator.
  EXPECT_FALSE(fromWideExact(L"\u2216")) << "set minus";
  EXPECT_NE(fromWide(L"\u2216"), "\\");
  EXPECT_EQ(fromWideExact(L""), std::optional<std::string>(""));
}

TEST_F(ChineseSystem, CodePageConversionsMatchTheSystem) {
  const CodePage& gbk = gbkCodePage();
  EXPECT_EQ(gbk.toUtf8("\xBD\xD8\xCD\xBC"), "\xE6\x88\xAA\xE5\x9B\xBE");
  EXPECT_EQ(gbk.fromUtf8("\xE6\x88\xAA\xE5\x9B\xBE"), "\xBD\xD8\xCD\xBC");
  EXPECT_EQ(gbk.toUtf8("a\x81\x7F"
                       "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(gbk.fromUtf8("a\xF0\x9F\x98\x80"
                         "b"),
            "a?b");
  EXPECT_EQ(gbk.fromUtf8("a\xFF"
                         "b"),
            "a?b")
      << "broken UTF-8";
}

}  // namespace
}  // namespace sorvane::platform::win32
