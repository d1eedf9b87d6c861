#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string Read(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(PageTool, AsmThenDisThenAsmGivesTheSameBytes) {
  std::string dir = testing::TempDir();
  std::string src = dir + "/p.txt", a = dir + "/a.ksb", lst = dir + "/l.txt", b = dir + "/b.ksb";
  std::ofstream(src) << "version 115\nLabel line=1 chain \"\xE9\x96\x8B\xE5\xA7\x8B\"\n"
                        "BoxNew line=2 PR_LEFT={10} PR_NAME={\"box\"}\nWait {} {500} {}\n";
  std::string k = KESTTOOL;
  ASSERT_EQ(std::system((k + " page asm " + src + " " + a).c_str()), 0);
  ASSERT_EQ(std::system((k + " page dis " + a + " > " + lst).c_str()), 0);
  ASSERT_EQ(std::system((k + " page asm " + lst + " " + b).c_str()), 0);
  EXPECT_EQ(Read(a), Read(b));
  EXPECT_NE(Read(lst).find("Label line=1 chain \"\xE9\x96\x8B\xE5\xA7\x8B\""), std::string::npos);
  EXPECT_NE(std::system((k + " page dis " + src + " 2>/dev/null").c_str()), 0);
}

}  // namespace
