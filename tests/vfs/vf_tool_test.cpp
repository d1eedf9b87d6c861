// kesttool vf, run as users run it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "tests/vfs/temp_dir.h"
#include "vfs/vrfiles.h"

namespace kest {
namespace {

struct Result {
  int status;
  std::string out;
};

Result Tool(const std::string& args) {
  const std::string cmd = std::string(KESTTOOL) + " " + args + " 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  Result r{-1, ""};
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string Q(const std::string& s) { return "'" + s + "'"; }

class VfTool : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.Path() / "src" / "表");
    test::WriteFileBytes(dir / "src/a.txt", "hello\n");
    test::WriteFileBytes(dir / "src/表/b.wav", "RIFF");
    test::WriteFileBytes(dir / "src/long.txt", std::string(3000, 'k'));
  }
  test::TempDir dir;
};

TEST_F(VfTool, PackListExtractVerify) {
  ASSERT_EQ(Tool("vf pack " + Q(dir / "out.dat") + " " + Q(dir / "src")).status, 0);
  const Result list = Tool("vf list " + Q(dir / "out.dat"));
  EXPECT_EQ(list.status, 0);
  // CRCs of the content: "hello\n", 3000 "k"s (compressed), "RIFF".
  TVrFileCollection c;
  c.LoadFromFile(dir / "out.dat");
  char longLine[96];
  std::snprintf(longLine, sizeof longLine, "long.txt\t%lld\tzlib\t%08x\n", (long long)c.FindEntry("long.txt")->Size,
                unsigned(c.FindEntry("long.txt")->Crc));
  EXPECT_EQ(list.out, std::string("a.txt\t6\tstored\t363a3020\n") + longLine + "表\\b.wav\t4\tstored\t0697a25c\n");
  ASSERT_EQ(Tool("vf extract " + Q(dir / "out.dat") + " " + Q(dir / "x")).status, 0);
  EXPECT_EQ(test::ReadFileBytes(dir / "x/表/b.wav"), "RIFF");
  EXPECT_EQ(test::ReadFileBytes(dir / "x/long.txt"), std::string(3000, 'k'));
  const Result ok = Tool("vf verify " + Q(dir / "out.dat"));
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, "3 entries, 0 damaged\n");

  // One flipped byte inside the stored "RIFF".
  std::string bytes = test::ReadFileBytes(dir / "out.dat");
  bytes[bytes.size() - 2] ^= 1;
  test::WriteFileBytes(dir / "bad.dat", bytes);
  const Result bad = Tool("vf verify " + Q(dir / "bad.dat"));
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "表\\b.wav\tCRC mismatch: stored 0697A25C, computed " +
                         [&] {
                           char b[16];
                           std::snprintf(b, sizeof b, "%08X", unsigned(Crc32(bytes.data() + bytes.size() - 4, 4)));
                           return std::string(b);
                         }() +
                         "\n3 entries, 1 damaged\n");
}

TEST_F(VfTool, AppendedVersionsAndVolumes) {
  test::WriteFileBytes(dir / "player", std::string("\x7F" "ELF fake player", 16));
  ASSERT_EQ(Tool("vf pack --append-to " + Q(dir / "player") + " " + Q(dir / "kestplay") + " " + Q(dir / "src")).status, 0);
  const std::string appended = test::ReadFileBytes(dir / "kestplay");
  EXPECT_EQ(appended.substr(0, 16), std::string("\x7F" "ELF fake player", 16));
  EXPECT_EQ(appended.substr(appended.size() - 6), std::string("\x10\0\0\0kt", 6));  // start 16, then "kt"
  EXPECT_EQ(Tool("vf list " + Q(dir / "kestplay")).status, 0);
  test::WriteFileBytes(dir / "game.exe", appended);
  TVrFileCollection exe;
  exe.LoadFromFile(dir / "game.exe");
  EXPECT_EQ(exe.Count(), 4);

  for (const char* v : {"0", "100", "101"}) {
    SCOPED_TRACE(v);
    ASSERT_EQ(Tool(std::string("vf pack --version ") + v + " " + Q(dir / "old.dat") + " " + Q(dir / "src")).status, 0);
    TVrFileCollection c;
    c.LoadFromFile(dir / "old.dat");
    EXPECT_EQ(c.Version(), std::atoi(v));
    // 0 and 100 compress everything; from 101 on a file that does not shrink stays stored.
    EXPECT_EQ(c.FindEntry("a.txt")->Stored, std::string(v) == "101");
    EXPECT_EQ(Tool("vf verify " + Q(dir / "old.dat")).status, 0);
  }

  ASSERT_EQ(Tool("vf pack --volume-size 50 " + Q(dir / "vol.dat") + " " + Q(dir / "src")).status, 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "vol.001"));
  EXPECT_EQ(Tool("vf verify --volume-size 50 " + Q(dir / "vol.dat")).out, "3 entries, 0 damaged\n");

  const Result missing = Tool("vf list " + Q(dir / "none.dat"));
  EXPECT_NE(missing.status, 0);
  EXPECT_EQ(Tool("vf frobnicate").status, 2);
}

TEST_F(VfTool, ExtractNeverLeavesTheFolder) {
  TVrFileCollection w;
  w.AddMemoryEntry("..\\escape.txt")->Data->WriteBuffer("x", 1);
  w.AddMemoryEntry("ok\\in.txt")->Data->WriteBuffer("y", 1);
  w.AddMemoryEntry("save:slot1")->Data->WriteBuffer("z", 1);
  w.AddMemoryEntry("/etc/evil")->Data->WriteBuffer("z", 1);
  w.SaveToFile(dir / "evil.dat");
  const Result r = Tool("vf extract " + Q(dir / "evil.dat") + " " + Q(dir / "out"));
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "escape.txt"));
  EXPECT_EQ(test::ReadFileBytes(dir / "out/ok/in.txt"), "y");
  EXPECT_EQ(test::ReadFileBytes(dir / "out/save:slot1"), "z");
  EXPECT_NE(r.out.find("\"/etc/evil\""), std::string::npos) << r.out;
}

}  // namespace
}  // namespace kest

namespace kest {
namespace {

TEST(VfToolFind, TellsWhereANameResolves) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.Path() / "title" / "Data");
  std::filesystem::create_directories(dir.Path() / "cd2");
  test::WriteFileBytes(dir / "title/Data/Face.PNG", "loose");
  test::WriteFileBytes(dir / "cd2/extra.txt", "disc");
  test::WriteFileBytes(dir / "title/game.ini", "[Discs]\nDisc1=../cd2\n");
  TVrFileCollection w;
  w.AddMemoryEntry("data\\face.png")->Data->WriteBuffer("archived", 8);
  w.AddMemoryEntry("bgm\\title.ogg")->Data->WriteBuffer("ogg", 3);
  w.SaveToFile(dir / "title/GAME.DAT");
  const Result face = Tool("vf find " + Q(dir / "title") + " 'DATA\\face.png'");
  EXPECT_EQ(face.status, 0);
  EXPECT_NE(face.out.find("loose file: " + dir / "title" + "/Data/Face.PNG"), std::string::npos) << face.out;
  EXPECT_NE(face.out.find("archive 1 (" + dir / "title" + "/GAME.DAT): entry \"data\\face.png\""), std::string::npos)
      << face.out;
  EXPECT_NE(face.out.find("ReadFile and OpenRange: the loose file"), std::string::npos) << face.out;
  const Result disc = Tool("vf find " + Q(dir / "title") + " EXTRA.TXT");
  EXPECT_EQ(disc.status, 0);
  EXPECT_NE(disc.out.find("ReadFile and OpenRange: the disc file"), std::string::npos) << disc.out;
  const Result none = Tool("vf find " + Q(dir / "title") + " 'nothing\\here.png'");
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.out.find("ReadFile and OpenRange: not found"), std::string::npos) << none.out;
}

}  // namespace
}  // namespace kest
