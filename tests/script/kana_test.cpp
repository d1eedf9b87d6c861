#include "script/kana.h"

#include <gtest/gtest.h>

using namespace kest;

TEST(Kana, HanToZenCases) {
  struct Case { std::string in, out; };
  const Case cases[] = {
      {"A0z", "\x82\x60\x82\x4F\x82\x9A"},
      {" ~\\\"`'", "\x81\x40\x81\x60\x81\x8F\x81\x68\x81\x65\x81\x66"},
      {"\xB6\xDE", "\x83\x4B"},                // ｶﾞ -> ガ
      {"\xCA\xDF", "\x83\x70"},                // ﾊﾟ -> パ
      {"\xCA\xDE", "\x83\x6F"},                // ﾊﾞ -> バ
      {"\xB3\xDE", "\x83\x45\x81\x4A"},        // ｳﾞ -> ウ゛ (ウ takes no mark)
      {"\xB6\xDF", "\x83\x4A\x81\x4B"},        // ｶﾟ -> カ゜
      {"\xC1\xDE\xC2\xDE", "\x83\x61\x83\x64"},  // ﾁﾞﾂﾞ -> ヂヅ
      {"\xDE", "\x81\x4A"},                    // a lone mark
      {"a\r\nb\x7F\xA0\xFD", "\x82\x81\x82\x82"},  // CR LF and other bytes dropped
      {"\x95\x5C" "a", "\x95\x5C\x82\x81"},    // 表 copied, its 0x5C trail untouched
      {"a\x81", "\x82\x81\x81"},               // a lone lead byte at the end is copied
      {"\xA6\xAF\xB0\xDD\xDC", "\x83\x92\x83\x62\x81\x5B\x83\x93\x83\x8F"},  // ｦｯｰﾝﾜ
  };
  for (const Case& c : cases) EXPECT_EQ(HanToZen(c.in), c.out) << c.in;
}

TEST(Kana, ZenToHanCases) {
  struct Case { std::string in, out; };
  const Case cases[] = {
      {"\x83\x4B\x8A\xBF" "A", "\xB6\xDE" "A"},        // ガ漢A -> ｶﾞA (the kanji dropped)
      {"\x83\x4B\x8A\xBF\x82\x60", "\xB6\xDE" "A"},    // ガ漢Ａ -> ｶﾞA
      {"\x81\x67\x81\x68", "\"\""},                    // both double quotation marks
      {"\x83\x70\x83\x94", "\xCA\xDF"},                // パ kept, ヴ (no half-width form) dropped
      {"\x82\xA0", ""},                                // hiragana dropped
      {"abc\x81", "abc"},                              // a lone lead byte at the end dropped
      {"\x81\x8F", "\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(ZenToHan(c.in), c.out) << c.in;
}

// Every single byte HanToZen converts, and every voiced pair, comes back from ZenToHan;
// exactly 184 double-byte characters are convertible.
TEST(Kana, TablesAreInversesOfEachOther) {
  for (int c = 0x20; c <= 0xDF; ++c) {
    if (c > 0x7E && c < 0xA1) continue;
    const std::string s(1, char(c));
    EXPECT_EQ(ZenToHan(HanToZen(s)), s) << c;
    for (char mark : {'\xDE', '\xDF'}) {
      const std::string v = s + mark;
      EXPECT_EQ(ZenToHan(HanToZen(v)), v) << c;
    }
  }
  int convertible = 0;
  for (int lead = 0x81; lead <= 0x9F; ++lead) {
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      const std::string z{char(lead), char(trail)};
      if (!ZenToHan(z).empty()) ++convertible;
    }
  }
  EXPECT_EQ(convertible, 184);
}
