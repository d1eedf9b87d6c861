#include <gtest/gtest.h>

#include "engine/projfile.h"
#include "vfs/records.h"

namespace kest {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }
std::string Str(const TMemoryStream& m) { return std::string(m.Bytes().begin(), m.Bytes().end()); }

TProjectSetting Sample(int32_t version) {
  TProjectSetting p;
  p.version = version;
  p.title = "\x83\x65\x83X\x83g";  // テスト
  p.width = 640;
  p.height = 480;
  p.fullWidth = 800;
  p.fullHeight = 600;
  p.startPage = "start.ksb";
  p.exitPage = "exit.ksb";
  p.registryKey = "Maker\\Title";
  p.imageSeed = -7;
  p.storeStatus = true;
  p.unusedFlag = true;
  p.soundExts = "wav.ogg";
  p.pauseWhenInactive = true;
  p.needFirstDisc = true;
  p.discPrompt = "disc %d";
  p.quitPrompt = "quit";
  TParamData odd;
  odd.kind = 9;
  odd.name = "odd";
  p.vars = {TParamData::Int("a", 5), TParamData::Real("f", 2.5L), TParamData::Flag("b", true), TParamData::Str("s", "x"),
            odd};
  p.folderDiscs.Add("DATA\\BGM", 2);
  return p;
}

TEST(ProjectFile, HandWrittenVersion115) {
  // version 115, title "T", 2x3, full 4x5, start "s", exit "", key "", seed 1, store 1, flag 0,
  // sounds "", pause 1, disc 0, prompts "" "", one int variable n = 258, one folder "D" -> 2.
  const std::string b = std::string("\x73\0\0\0", 4) + std::string("\1\0\0\0T", 5) + std::string("\2\0\0\0\3\0\0\0", 8) +
                        std::string("\4\0\0\0\5\0\0\0", 8) + std::string("\1\0\0\0s", 5) + std::string(4, '\0') +
                        std::string(4, '\0') + std::string("\1\0\0\0", 4) + std::string("\1\0", 2) +
                        std::string(4, '\0') + std::string("\1\0", 2) + std::string(8, '\0') +
                        std::string("\1\0\0\0\1\1\0\0\0n\2\1\0\0", 14) + std::string("\1\0\0\0\1\0\0\0D\2\0\0\0", 13);
  TMemoryStream m(Bytes(b));
  TProjectSetting p;
  p.LoadFromStream(m);
  EXPECT_EQ(m.Remaining(), 0);
  EXPECT_EQ(p.title, "T");
  EXPECT_EQ(p.width * 10 + p.height, 23);
  EXPECT_EQ(p.fullWidth * 10 + p.fullHeight, 45);
  EXPECT_EQ(p.startPage, "s");
  EXPECT_EQ(p.imageSeed, 1);
  EXPECT_TRUE(p.storeStatus);
  EXPECT_FALSE(p.unusedFlag);
  EXPECT_EQ(p.soundExts, "");
  EXPECT_TRUE(p.pauseWhenInactive);
  EXPECT_FALSE(p.needFirstDisc);
  ASSERT_EQ(p.vars.size(), 1u);
  EXPECT_EQ(p.vars[0].name, "n");
  EXPECT_EQ(p.vars[0].intValue, 258);
  EXPECT_EQ(p.folderDiscs.DiscOf("d\\x"), 2);
  TMemoryStream back;
  p.SaveToStream(back);
  EXPECT_EQ(Str(back), b);
}

TEST(ProjectFile, EachVersionKeepsItsFieldsAndDefaultsTheRest) {
  struct TCase {
    int32_t version;
    bool exitPage, store, flag, sounds, pause, disc;
  };
  const TCase cases[] = {
      {100, false, false, false, false, false, false}, {104, false, true, false, false, false, false},
      {106, false, true, true, false, false, false},   {109, false, true, true, true, false, false},
      {110, true, true, true, true, false, false},     {113, true, true, true, true, true, false},
      {115, true, true, true, true, true, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.version);
    TMemoryStream m;
    Sample(c.version).SaveToStream(m);
    m.SetPosition(0);
    TProjectSetting p;
    p.LoadFromStream(m);
    EXPECT_EQ(m.Remaining(), 0);
    EXPECT_EQ(p.exitPage, c.exitPage ? "exit.ksb" : "");
    EXPECT_EQ(p.storeStatus, c.store);
    EXPECT_EQ(p.unusedFlag, c.flag);
    EXPECT_EQ(p.soundExts, c.sounds ? "wav.ogg" : ".wav.wma.ogg.mid");
    EXPECT_EQ(p.pauseWhenInactive, c.pause);
    EXPECT_EQ(p.needFirstDisc, c.disc);
    EXPECT_EQ(p.vars, Sample(c.version).vars);
    EXPECT_EQ(p.folderDiscs, Sample(c.version).folderDiscs);
    EXPECT_EQ(p.registryKey, "Maker\\Title");
    EXPECT_EQ(p.quitPrompt, "quit");
  }
}

TEST(ProjectFile, RefusesNewerVersionsAndDamage) {
  TMemoryStream m;
  WriteInt(m, 116);
  m.SetPosition(0);
  TProjectSetting p;
  try {
    p.LoadFromStream(m);
    FAIL();
  } catch (const EProjectVersion& e) {
    EXPECT_STREQ(e.what(), "\x82\xB1\x82\xCC\x83o\x81[\x83W\x83\x87\x83\x93\x82\xC9\x82\xCD\x91\xCE\x89\x9E\x82\xB5"
                           "\x82\xC4\x82\xA2\x82\xDC\x82\xB9\x82\xF1");
  }
  TMemoryStream full;
  Sample(115).SaveToStream(full);
  const std::string whole = Str(full);
  for (size_t cut : {size_t(3), size_t(20), whole.size() - 1}) {
    TMemoryStream t(Bytes(whole.substr(0, cut)));
    TProjectSetting q = Sample(110);
    EXPECT_THROW(q.LoadFromStream(t), EKestBadData) << cut;
    EXPECT_EQ(q, Sample(110));  // nothing replaced
  }
  // A variable count far beyond the bytes left is refused before anything is allocated.
  TProjectSetting small;
  small.version = 100;
  TMemoryStream h;
  small.SaveToStream(h);
  std::string bytes = Str(h);
  bytes.replace(bytes.size() - 8, 4, std::string("\xFF\xFF\xFF\x7F", 4));
  TMemoryStream hb(Bytes(bytes));
  EXPECT_THROW(small.LoadFromStream(hb), EKestBadData);
}

TEST(FolderDisks, LongestFolderFirstWithoutCase) {
  TFolderDiskList l;
  l.Add("DATA", 1);
  l.Add("DATA\\BGM", 2);
  l.Add("movie\\", 3);
  l.Add("\x95\x5C\\", 4);  // 表 (its trail byte is "\")
  struct TCase {
    const char* name;
    int32_t disc;
  };
  const TCase cases[] = {{"data\\bgm\\x.png", 2}, {"Data\\se\\a.wav", 1}, {"data", 1},
                         {"MOVIE\\op.mpg", 3},   {"other\\x.png", 0},   {"", 0},
                         {"\x95\x5C\\a.png", 4}, {"\x95\x5C", 4},       {"databgm\\x", 0}};
  for (const TCase& c : cases) EXPECT_EQ(l.DiscOf(c.name), c.disc) << c.name;
}

TEST(InstallSet, ReadsEveryVersionAndWritesIs108) {
  TKestInstallSet s;
  s.discIndex = 1;
  s.Title = "Title";
  s.str3[2] = "c";
  s.flag8 = true;
  s.items = {{{1, 2, 3, 4}}, {{5, 6, 7, int64_t(1) << 40}}};
  s.totals = {{9, 9, 9, 9}};
  s.FileList = {"a.txt", "b.txt"};
  s.DataInstalled = true;
  s.list24 = {"", "z"};
  s.str27 = "last";
  TMemoryStream m;
  s.SaveToStream(m);
  EXPECT_EQ(Str(m).substr(0, 9), std::string("is108\1\0\0\0", 9));
  m.SetPosition(0);
  TKestInstallSet r;
  r.LoadFromStream(m);
  EXPECT_EQ(r, s);
  EXPECT_EQ(m.Remaining(), 0);

  // An old set without the magic: int32 quads, nothing after the field 18 flag.
  TMemoryStream old;
  WriteInt(old, 0);
  WriteString(old, "Old");
  for (int i = 0; i < 3; ++i) WriteString(old, "");
  WriteBool(old, false);
  WriteString(old, "");
  WriteBool(old, false);
  WriteInt(old, 1);  // one item
  WriteString(old, "");
  WriteInt(old, 0);
  WriteBool(old, false);
  WriteBool(old, false);
  WriteString(old, "");
  WriteString(old, "");
  for (int i = 0; i < 8; ++i) WriteInt(old, -i);
  WriteBool(old, true);
  old.SetPosition(0);
  TKestInstallSet o;
  o.LoadFromStream(old);
  EXPECT_EQ(o.version, 0);
  EXPECT_EQ(o.Title, "Old");
  ASSERT_EQ(o.items.size(), 1u);
  EXPECT_EQ(o.items[0].v[3], -3);
  EXPECT_EQ(o.totals.v[3], -7);
  EXPECT_TRUE(o.flag18);
  EXPECT_FALSE(o.DataInstalled);
  EXPECT_EQ(old.Remaining(), 0);

  // Version 103: the 108 layout cut after DataInstalled; the file list drops empty names.
  TKestInstallSet w = s;
  w.FileList = {"", "keep"};
  TMemoryStream wm;
  w.SaveToStream(wm);
  const std::string b = Str(wm);
  // After DataInstalled: flags 22 and 23, list24 ("" and "z"), str25, str26, str27 "last".
  const size_t afterData = b.size() - (1 + 1 + 13 + 4 + 4 + 8);
  TMemoryStream v103;
  v103.WriteBuffer("is103", 5);
  v103.WriteBuffer(b.data() + 5, int64_t(afterData - 5));
  v103.SetPosition(0);
  TKestInstallSet y;
  y.LoadFromStream(v103);
  EXPECT_EQ(y.version, 103);
  EXPECT_EQ(y.FileList, std::vector<std::string>{"keep"});
  EXPECT_TRUE(y.DataInstalled);
  EXPECT_TRUE(y.list24.empty());
  EXPECT_EQ(v103.Remaining(), 0);

  // Damage: an item count beyond the bytes left.
  std::string bad = b;
  const size_t countAt = 5 + 4 + 9 + 4 + 4 + 5 + 1 + 4 + 1;
  bad.replace(countAt, 4, std::string("\0\0\0\x40", 4));
  TMemoryStream bm(Bytes(bad));
  TKestInstallSet z;
  EXPECT_THROW(z.LoadFromStream(bm), EKestBadData);
}

}  // namespace
}  // namespace kest
