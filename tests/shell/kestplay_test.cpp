// The player as a program: exit codes, headless runs, screenshots.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "engine/projfile.h"
#include "platform/png.h"
#include "shell/idle_frames.h"

using namespace kest;
namespace fs = std::filesystem;

namespace {

struct TRun {
  int status = -1;
  std::string out;  // stdout and stderr
};

TRun Kestplay(const std::string& args) {
  TRun r;
  const std::string cmd = std::string("SDL_VIDEODRIVER=dummy '") + KESTPLAY_PATH + "' " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string Temp(const char* name) {
  return (fs::temp_directory_path() / ("kestplay_" + std::to_string(getpid()) + "_" + name)).string();
}

}  // namespace

TEST(Kestplay, HelpAndBadOptions) {
  TRun help = Kestplay("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--screenshot F.png"), std::string::npos);
  TRun bad = Kestplay("--bogus");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.out.find("unknown option \"--bogus\""), std::string::npos);
}

TEST(Kestplay, HeadlessRunWritesTheLastFrame) {
  const std::string png = Temp("shot.png");
  TRun r = Kestplay("--headless --frames 20 --screenshot '" + png + "'");
  ASSERT_EQ(r.status, 0) << r.out;
  TFrame f;
  std::string error;
  ASSERT_TRUE(ReadPng(png, f, &error)) << error;
  EXPECT_EQ(f.width, 640);
  EXPECT_EQ(f.height, 480);
  EXPECT_EQ(f.pixels[size_t(TIdleFrames::kBarTop) * 640], TIdleFrames::kBar);
  EXPECT_EQ(f.pixels[0], TIdleFrames::kBackground);
  fs::remove(png);
  EXPECT_EQ(Kestplay("--headless --frames 1 --screenshot /nonexistent-dir/x.png").status, 1);
}

TEST(Kestplay, ScriptedCloseEndsARunWithoutAFrameLimit) {
  const std::string in = Temp("input.txt");
  std::ofstream(in) << "3 close\n";
  TRun r = Kestplay("--input '" + in + "'");
  EXPECT_EQ(r.status, 0) << r.out;
  std::ofstream(in) << "3 fly\n";
  r = Kestplay("--input '" + in + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("line 1: unknown command \"fly\""), std::string::npos) << r.out;
  fs::remove(in);
}

namespace {

struct TTitleDir {
  std::string dir = Temp("title");
  TTitleDir() { fs::create_directories(dir); }
  ~TTitleDir() { fs::remove_all(dir); }
};

void WriteKpb(const std::string& dir, const std::string& start) {
  TProjectSetting p;
  p.title = "\x83\x65\x83X\x83g";  // テスト
  p.width = 200;
  p.height = 120;
  p.startPage = start;
  TMemoryStream m;
  p.SaveToStream(m);
  m.SaveToFile(dir + "/kest.kpb");
}

}  // namespace

TEST(Kestplay, TitleFolders) {
  {
    TTitleDir t;  // nothing there
    TRun r = Kestplay("--headless --frames 2 '" + t.dir + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("[\xE8\xAD\xA6\xE5\x91\x8A] \xE3\x83\x97\xE3\x83\xAD\xE3\x82\xB8\xE3\x82\xA7\xE3\x82\xAF\xE3\x83\x88"),
              std::string::npos)
        << r.out;  // [警告] プロジェクト...
  }
  {
    TTitleDir t;  // a project without its start page
    WriteKpb(t.dir, "start.ksb");
    TRun r = Kestplay("--headless --frames 2 '" + t.dir + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\xE3\x82\xB9\xE3\x82\xBF\xE3\x83\xBC\xE3\x83\x88"), std::string::npos) << r.out;  // スタート
  }
  {
    TTitleDir t;  // a runnable title: frames of its size
    WriteKpb(t.dir, "start.ksb");
    std::ofstream(t.dir + "/START.KSB") << "page";
    const std::string png = t.dir + "/shot.png";
    TRun r = Kestplay("--headless --frames 4 --trace --screenshot '" + png + "' '" + t.dir + "'");
    ASSERT_EQ(r.status, 0) << r.out;
    TFrame f;
    std::string error;
    ASSERT_TRUE(ReadPng(png, f, &error)) << error;
    EXPECT_EQ(f.width, 200);
    EXPECT_EQ(f.height, 120);
    for (const char* step : {"trace FormCreate", "trace TProject.Create", "trace MediaInit", "trace Project.Free",
                             "trace FormClose"})
      EXPECT_NE(r.out.find(step), std::string::npos) << step;
    EXPECT_LT(r.out.find("trace TProject.Create"), r.out.find("trace MediaInit"));
    EXPECT_LT(r.out.find("trace Project.Free"), r.out.find("trace ParamMan.Free"));
    // "/config" is not there yet; it says so and ends.
    TRun c = Kestplay("/config");
    EXPECT_EQ(c.status, 0);
    EXPECT_NE(c.out.find("not available yet"), std::string::npos) << c.out;
  }
}
