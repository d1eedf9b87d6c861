#include "common/sjis.h"

#include <gtest/gtest.h>

using namespace kest;

// 表 = 95 5C, ソ = 83 5C: their trail byte is a backslash.
static const std::string kHyou = "\x95\x5C";
static const std::string kSo = "\x83\x5C";

TEST(Sjis, LeadBytes) {
  for (int c = 0; c < 256; ++c) {
    const bool expected = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    EXPECT_EQ(IsLeadByte(static_cast<unsigned char>(c)), expected) << c;
  }
}

TEST(Sjis, WalkNeverSplitsAPairNorReadsPastALoneLeadByte) {
  const std::string s = "a" + kHyou + "\\" + kSo + "\x81";  // ends in a lone lead byte
  std::vector<size_t> starts;
  for (size_t i = 0; i < s.size(); i = NextChar(s, i)) starts.push_back(i);
  EXPECT_EQ(starts, (std::vector<size_t>{0, 1, 3, 4, 6}));
  EXPECT_EQ(CharCount(s), 5u);
  EXPECT_FALSE(IsCharStart(s, 2));
  EXPECT_TRUE(IsCharStart(s, 3));
  EXPECT_EQ(NextChar(s, s.size()), s.size());
}

TEST(Sjis, FindByteSkipsTrailBackslashes) {
  const std::string s = kHyou + kSo + "\\x";
  EXPECT_EQ(FindByte(s, '\\'), 4u);
  EXPECT_EQ(FindByte(kHyou, '\\'), std::string::npos);
}

TEST(Sjis, FoldLeavesTrailBytesAlone) {
  // 0x82 0x41 is a pair whose trail byte is "A": it must not be folded.
  const std::string pairA = "\x82\x41";
  EXPECT_EQ(FoldCase("ABC" + pairA + "Z"), "abc" + pairA + "z");
  EXPECT_EQ(UpperCase("abc" + std::string("\x82\x61") + "z"), "ABC\x82\x61Z");
  EXPECT_FALSE(SameText(pairA, "\x82\x61"));
  EXPECT_TRUE(SameText("Page" + pairA, "pAGE" + pairA));
  // A lone lead byte at the end then an ASCII letter in the other text.
  EXPECT_FALSE(SameText("a\x82", "a\x83"));
}

TEST(Sjis, CompareTextIsFoldThenByteOrder) {
  struct Case { std::string a, b; int sign; };
  const Case cases[] = {
      {"abc", "ABC", 0}, {"abc", "abd", -1}, {"B", "a", 1}, {"ab", "abc", -1},
      {"_", "a", -1},        // '_' (0x5F) sorts below 'a' (0x61) after the fold, above 'A'
      {"\x82\x41", "\x82\x61", -1},
      {"Z", "\x81\x40", -1},
  };
  for (const Case& c : cases) {
    const int r = CompareText(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    EXPECT_EQ(CompareText(c.b, c.a), -c.sign);
    EXPECT_EQ(SameText(c.a, c.b), c.sign == 0);
  }
  EXPECT_EQ(HashNoCase("Save:File"), HashNoCase("save:FILE"));
  EXPECT_NE(HashNoCase("\x82\x41"), HashNoCase("\x82\x61"));
}

TEST(Sjis, Cp932ToUtf8) {
  EXPECT_EQ(Cp932ToUtf8("\x5C"), "\\");                 // stays a backslash
  EXPECT_EQ(Cp932ToUtf8("\x81\x60"), "\xEF\xBD\x9E");   // U+FF5E fullwidth tilde
  EXPECT_EQ(Cp932ToUtf8(kHyou), "\xE8\xA1\xA8");        // 表
  EXPECT_EQ(Cp932ToUtf8("\x8C\x78\x8D\x90"), "\xE8\xAD\xA6\xE5\x91\x8A");  // 警告
  EXPECT_EQ(Cp932ToUtf8("\xB1"), "\xEF\xBD\xB1");       // half-width katakana a
  // Damage never fails: a lone lead byte at the end and an undefined pair are replaced.
  EXPECT_EQ(Cp932ToUtf8("a\x81"), "a\xEF\xBF\xBD");
  EXPECT_EQ(Cp932ToUtf8("\x85\x40z"), "\xEF\xBF\xBDz");
}

TEST(Sjis, Utf8ToCp932RoundTrips) {
  const std::string sj = "\x8C\x78\x8D\x90" + kSo + "\x81\x60 A\\";
  EXPECT_EQ(Utf8ToCp932(Cp932ToUtf8(sj)), sj);
  EXPECT_EQ(Utf8ToCp932("\xF0\x9F\x98\x80x"), "?x");  // no CP932 form
  EXPECT_EQ(Utf8ToCp932("\xC3"), "?");                // truncated sequence
}
