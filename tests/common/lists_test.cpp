#include "common/lists.h"

#include <gtest/gtest.h>

using namespace kest;

TEST(IntList, WritingBeyondTheEndAppendsZeros) {
  TIntList l;
  l.Add(7);
  l.Set(3, 9);
  EXPECT_EQ(l.Values(), (std::vector<int32_t>{7, 0, 0, 9}));
  EXPECT_EQ(l.Get(10), 0);
  EXPECT_EQ(l.Get(-1), 0);
  l.Set(-1, 5);
  EXPECT_EQ(l.Count(), 4);
}

TEST(TabStrings, Splitting) {
  struct Case { std::string text; char delim; std::vector<std::string> items; };
  const std::string hyou = "\x95\x5C";  // trail byte is a backslash
  const Case cases[] = {
      {"", '\t', {}},
      {"a", '\t', {"a"}},
      {"a\tb", '\t', {"a", "b"}},
      {"a\t\tb", '\t', {"a", "", "b"}},
      {"a\t", '\t', {"a"}},                 // no empty last item
      {"\t", '\t', {""}},
      {"\t\t", '\t', {"", ""}},
      {"x" + hyou + "y\\z", '\\', {"x" + hyou + "y", "z"}},  // never inside a pair
      {"a,b", ',', {"a", "b"}},
  };
  for (const Case& c : cases) {
    TTabStrings t(c.text, c.delim);
    EXPECT_EQ(t.Items(), c.items) << c.text;
  }
  TTabStrings t("a\tb");
  EXPECT_EQ(t[2], "");
  EXPECT_EQ(t[-1], "");
}

TEST(Unescape, Sequences) {
  EXPECT_EQ(Unescape(R"(say \"hi\")"), "say \"hi\"");
  EXPECT_EQ(Unescape(R"(a\\b)"), "a\\b");
  EXPECT_EQ(Unescape(R"(1\n2)"), "1\r\n2");
  EXPECT_EQ(Unescape(R"(\x)"), "\\x");    // other escapes stay
  EXPECT_EQ(Unescape("end\\"), "end\\");  // a backslash at the end stays
  // The trail byte of ソ (83 5C) is not an escape: "ソn" stays as it is.
  EXPECT_EQ(Unescape("\x83\x5Cn"), "\x83\x5Cn");
  EXPECT_EQ(Unescape("\x83\x5C\\n"), "\x83\x5C\r\n");
}

TEST(ObjList, OwnsAndExtracts) {
  TObjList<std::string> l;
  l.Add(std::make_unique<std::string>("a"));
  l.Insert(0, std::make_unique<std::string>("b"));
  EXPECT_EQ(*l[0], "b");
  auto p = l.Extract(1);
  EXPECT_EQ(*p, "a");
  EXPECT_EQ(l.Count(), 1);
  EXPECT_EQ(l[5], nullptr);
}
