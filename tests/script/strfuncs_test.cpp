#include "script/strfuncs.h"

#include <gtest/gtest.h>

#include "common/types.h"

using namespace kest;
using namespace kest::strfn;

namespace {
const std::string kHyou = "\x95\x5C";  // 表: its trail byte is a backslash
const std::string kSo = "\x83\x5C";    // ソ
const std::string kA = "\x82\xA0";     // あ
}  // namespace

TEST(StrFuncs, NumbersAsText) {
  EXPECT_EQ(IntToStr(-5, 3), "-005");
  EXPECT_EQ(IntToStr(1234, 2), "1234");
  EXPECT_EQ(IntToStr(INT32_MIN, 12), "-002147483648");
  EXPECT_EQ(IntToStr(7, -4), "7");
  EXPECT_EQ(IntToStr(7, 1 << 30).size(), size_t(kMaxDigits));  // clamped, not a huge text
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
  EXPECT_EQ(IntToHex(0, 0), "0");
}

TEST(StrFuncs, ByteAndCharacterRanges) {
  const std::string s = "a" + kHyou + "b" + kA;  // 6 bytes, 4 characters
  EXPECT_EQ(JLength(s), 4);
  EXPECT_EQ(JLength("x\x81"), 2);  // a lone lead byte at the end is a character
  struct Case { std::string got, want; };
  const Case cases[] = {
      {Copy(s, 2, 2), kHyou},          {Copy(s, 0, 1), "a"},
      {Copy(s, 5, 99), kA},            {Copy(s, 9, 1), ""},
      {Copy(s, 2, -1), ""},            {JCopy(s, 2, 1), kHyou},
      {JCopy(s, 3, kToEnd), "b" + kA}, {JCopy(s, -3, 2), "a" + kHyou},
      {Delete(s, 1, 1), kHyou + "b" + kA}, {Delete(s, 0, 1), s},
      {Delete(s, 4, kToEnd), "a" + kHyou}, {JDelete(s, 2, 1), "ab" + kA},
      {JDelete(s, 3, kToEnd), "a" + kHyou}, {JDelete(s, 5, 1), s},
      {Insert("X", s, 0), "X" + s},    {Insert("X", s, 99), s + "X"},
      {JInsert("X", s, 3), "a" + kHyou + "Xb" + kA}, {JInsert("X", s, 9), s + "X"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(StrFuncs, ComparisonsAndSearch) {
  EXPECT_EQ(CompareStr("abc", "abd"), -1);
  EXPECT_EQ(CompareStr("abc", "ab"), 1);
  EXPECT_EQ(CompareStr("a", "a"), 0);
  EXPECT_EQ(CompareStr("\xFF", "a"), 0xFF - 'a');
  EXPECT_EQ(Pos("b", "abcb"), 2);
  EXPECT_EQ(Pos("", "abc"), 0);
  // "\" inside 表 is found by Pos (bytes) but not by JPos (characters).
  EXPECT_EQ(Pos("\\", kHyou + "\\"), 2);
  EXPECT_EQ(JPos("\\", kHyou + "\\"), 2);
  EXPECT_EQ(JPos("\\", kHyou), 0);
  EXPECT_EQ(JPos(kA, "x" + kA), 2);
}

TEST(StrFuncs, Trimming) {
  EXPECT_EQ(Trim("\t a b\r\n\x01"), "a b");
  EXPECT_EQ(JTrim("\x81\x40 a\x81\x40"), "a");
  EXPECT_EQ(JTrim("\t a"), "\t a");        // only spaces
  EXPECT_EQ(JTrim("\x82\x40"), "\x82\x40");  // another character whose trail is 0x40
  EXPECT_EQ(JTrim("a\x82\x40"), "a\x82\x40");
  EXPECT_EQ(FixStr("ab\x81"), "ab");
  EXPECT_EQ(FixStr(kA + "\x81"), kA);
  EXPECT_EQ(FixStr(kA), kA);               // the last byte completes a pair
  EXPECT_EQ(FixStr("\x81"), "\x81");       // fewer than two bytes: unchanged
}

TEST(StrFuncs, FileNames) {
  const std::string dir = "data\\" + kSo + "\\";
  EXPECT_EQ(ExtractFilePath(dir + "x.png"), dir);
  EXPECT_EQ(ExtractFilePath("c:x.png"), "c:");
  EXPECT_EQ(ExtractFileName(dir + "x.png"), "x.png");
  EXPECT_EQ(ExtractFileName(kSo), kSo);    // the trail 0x5C is no separator
  EXPECT_EQ(ExtractFileExt("a.b\\c"), "");
  EXPECT_EQ(ExtractFileExt("a\\c.tar.gz"), ".gz");
  EXPECT_EQ(ChangeFileExt("bg\\x.bmp", ".zar"), "bg\\x.zar");
  EXPECT_EQ(ChangeFileExt("a.b\\c", ".txt"), "a.b\\c.txt");
  EXPECT_EQ(AddBackSlash(""), "\\");
  EXPECT_EQ(AddBackSlash("a\\"), "a\\");
  EXPECT_EQ(AddBackSlash(kHyou), kHyou + "\\");
  EXPECT_TRUE(IsPathDelimiter("a\\", 2));
  EXPECT_FALSE(IsPathDelimiter(kHyou, 2));
  EXPECT_FALSE(IsPathDelimiter("a\\", 3));
  EXPECT_TRUE(IsDelimiter(",;", "a;b", 2));
  EXPECT_FALSE(IsDelimiter("\\", kSo, 2));
}

TEST(StrFuncs, RepetitionAndReplacement) {
  EXPECT_EQ(StringOfChar("ab", 3), "ababab");
  EXPECT_EQ(StringOfChar("ab", -1), "");
  EXPECT_THROW(StringOfChar("ab", int64_t(1) << 40), EKest);
  EXPECT_EQ(StringReplace("aXbXc", "X", "-", false, false), "a-bXc");
  EXPECT_EQ(StringReplace("aXbxc", "x", "-", true, true), "a-b-c");
  EXPECT_EQ(StringReplace("abc", "", "-", true, false), "abc");
  // "\n" (backslash n) must not match across the trail byte of ソ.
  EXPECT_EQ(StringReplace(kSo + "n\\n", "\\n", "|", true, false), kSo + "n|");
  // Case folding leaves trail bytes alone: ｱ-row 0x82 0x61 is not 0x82 0x41.
  EXPECT_EQ(StringReplace("\x82\x61", "\x82\x41", "-", true, true), "\x82\x61");
}

TEST(StrFuncs, SplitPieces) {
  struct Case { std::string s, delims; std::vector<std::string> pieces; };
  const Case cases[] = {
      {"a,,b", ",", {"a", "", "b"}},
      {"a,", ",", {"a"}},
      {",a", ",", {"", "a"}},
      {"", ",", {}},
      {"a;b,c", ",;", {"a", "b", "c"}},
      {"l1\r\nl2\nl3\r", "\r\n", {"l1", "l2", "l3"}},
      {"l1\r\n\r\nl3", "\r\n", {"l1", "", "l3"}},
      {kHyou + "\\x", "\\", {kHyou, "x"}},          // the trail 0x5C does not split
      {"a\x81\x41" "b\x81\x42" "c", "\x81\x41", {"a", "b\x81\x42" "c"}},  // 、 splits, 。 not
  };
  for (const Case& c : cases) EXPECT_EQ(SplitPieces(c.s, c.delims), c.pieces) << c.s;
}
