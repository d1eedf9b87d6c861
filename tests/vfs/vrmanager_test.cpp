#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <filesystem>

#include "tests/vfs/temp_dir.h"
#include "vfs/vrmanager.h"

namespace kest {
namespace {

namespace fs = std::filesystem;

std::string Read(TVrFileManager& m, const std::string& name) {
  TMemoryStream s;
  m.ReadFile(s, name);
  return std::string(s.Bytes().begin(), s.Bytes().end());
}

std::string ReadRange(TVrFileManager& m, const std::string& name) {
  auto r = m.OpenRange(name);
  std::string s(size_t(r->Size()), '\0');
  r->ReadBuffer(s.data(), r->Size());
  return s;
}

void MakeArchive(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
  TVrFileCollection c;
  for (const auto& [n, v] : entries) c.AddMemoryEntry(n)->Data->WriteBuffer(v.data(), int64_t(v.size()));
  c.SaveToFile(path);
}

struct Title {
  test::TempDir root;
  std::string base, disc;
  std::shared_ptr<TFixedDiscs> discs = std::make_shared<TFixedDiscs>();
  std::unique_ptr<TVrFileManager> m;

  Title() {
    base = root / "title";
    disc = root / "disc";
    fs::create_directories(fs::path(base) / "Data" / "BGM");
    fs::create_directories(disc);
    test::WriteFileBytes(base + "/Data/BGM/Title.OGG", "loose ogg");
    test::WriteFileBytes(disc + "/disc.txt", "on the disc");
    test::WriteFileBytes(disc + "/Only.txt", "disc only.txt");
    MakeArchive(base + "/game.dat", {{"data\\bgm\\title.ogg", "archived ogg"},
                                     {"only.txt", "game only.txt"},
                                     {"shared.txt", "game shared"},
                                     {"over.txt", "game over"},
                                     {"movie.mpg", std::string(7000, 'm')}});
    MakeArchive(base + "/patch.dat", {{"shared.txt", "patch shared"}});
    discs->Set({disc});
    m = std::make_unique<TVrFileManager>(discs, root.Path().string());
    EXPECT_EQ(m->AddArchive(""), 0);
    m->SetBaseFolder(base);
    EXPECT_EQ(m->AddArchive(base + "/game.dat"), 1);
    EXPECT_EQ(m->AddArchive(base + "/patch.dat"), 2);
    m->MemoryCollection().AddMemoryEntry("over.txt")->Data->WriteBuffer("memory over", 11);
    m->MemoryCollection().AddMemoryEntry("save:slot")->Data->WriteBuffer("saved", 5);
    m->MemoryCollection().AddEntry("shared.txt");  // no content: passed over
  }
};

TEST(VrManager, SearchOrders) {
  Title t;
  TVrFileManager& m = *t.m;
  enum Real { kLoose, kTemp, kDisc, kUnchanged };
  struct Case {
    const char* name;
    const char* content;  // nullptr: not found
    Real real;
  };
  const Case cases[] = {
      {"data\\bgm\\title.ogg", "loose ogg", kLoose},    // a loose file over the archive, any case
      {"DATA\\Bgm\\TITLE.ogg", "loose ogg", kLoose},
      {"only.txt", "game only.txt", kTemp},             // an archive over the disc
      {"shared.txt", "game shared", kTemp},             // the earlier archive over the later
      {"over.txt", "memory over", kTemp},               // the memory entry over the archive
      {"save:slot", "saved", kTemp},
      {"disc.txt", "on the disc", kDisc},
      {"missing.txt", nullptr, kUnchanged},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_EQ(m.Exists(k.name), k.content != nullptr);
    if (k.content) {
      EXPECT_EQ(Read(m, k.name), k.content);
      EXPECT_EQ(ReadRange(m, k.name), k.content);
    } else {
      EXPECT_THROW(Read(m, k.name), EVrFileNotFound);
      EXPECT_THROW(m.OpenRange(k.name), EVrFileNotFound);
    }
    const std::string real = m.GetRealFileName(k.name);
    switch (k.real) {
      case kLoose: EXPECT_EQ(real, t.base + "/Data/BGM/Title.OGG"); break;
      case kDisc: EXPECT_EQ(real, t.disc + "/disc.txt"); break;
      case kUnchanged: EXPECT_EQ(real, k.name); break;
      case kTemp:
        EXPECT_EQ(real.rfind(m.TempFolder(), 0), 0u);
        EXPECT_EQ(test::ReadFileBytes(real), k.content);
        break;
    }
  }
  EXPECT_FALSE(m.Exists(""));
  EXPECT_EQ(m.FindEntry("OVER.TXT"), m.MemoryCollection().FindEntry("over.txt"));
  // A stored entry's range is a window on the archive file.
  EXPECT_EQ(ReadRange(m, "movie.mpg"), std::string(7000, 'm'));
}

TEST(VrManager, RegistrationAndFolderOf) {
  Title t;
  EXPECT_EQ(t.m->AddArchive(""), -1);
  EXPECT_EQ(t.m->AddArchive(t.base), -1);  // a registered folder
  EXPECT_EQ(t.m->AddArchive(t.base + "/game.dat"), -1);
  EXPECT_EQ(t.m->Count(), 3);
  struct Case {
    const char* name;
    const char* folder;
  };
  for (const Case& k : {Case{"a\\b\\c.png", "a\\b\\"}, Case{"c.png", ""}, Case{"", ""}, Case{"C:x", "C:"},
                        Case{"\\\\srv\\x:y", "\\\\srv\\x:"}, Case{"save:a\\b", "save:a\\"},
                        Case{"\x95\x5C" "a.png", ""}, Case{"\x95\x5C\\a.png", "\x95\x5C\\"}})
    EXPECT_EQ(TVrFileManager::FolderOf(k.name), k.folder) << k.name;
}

TEST(VrManager, LooseNamesCaseCacheAndEscapes) {
  test::TempDir d;
  fs::create_directories(d.Path() / "表" / "Sub");  // 表 = 95 5C
  test::WriteFileBytes((d.Path() / "表" / "Sub" / "Pic.PNG").string(), "png");
  test::WriteFileBytes(d / "\x83\x65\x83\x58\x83\x67.txt", "cp932 name on disk");  // テスト as raw CP932
  test::WriteFileBytes(d / "secret.txt", "outside");
  fs::create_directories(d.Path() / "base");
  TVrFileManager m(nullptr, d.Path().string());
  m.SetBaseFolder(d.Path().string());
  EXPECT_EQ(Read(m, "\x95\x5C\\sub\\pic.png"), "png");
  EXPECT_EQ(Read(m, "\x95\x5C/SUB/PIC.png"), "png");
  EXPECT_EQ(Read(m, "\x83\x65\x83\x58\x83\x67.TXT"), "cp932 name on disk");
  const int reads = m.Loose().Reads();
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(m.Exists("\x95\x5C\\sub\\PIC.png"));
  EXPECT_EQ(m.Loose().Reads(), reads);  // listings come from the cache
  test::WriteFileBytes((d.Path() / "表" / "Sub" / "new.png").string(), "new");
  EXPECT_TRUE(m.Exists("\x95\x5C\\sub\\NEW.PNG"));  // the changed folder is read again

  m.SetBaseFolder((d.Path() / "base").string());
  for (const char* bad : {"..\\secret.txt", "\\secret.txt", "C:\\secret.txt", "a\\..\\..\\secret.txt",
                          "../secret.txt", "/etc/passwd"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(m.Exists(bad));
    EXPECT_THROW(Read(m, bad), EVrFileNotFound);
    EXPECT_FALSE(m.AddExitDelete(bad));
  }
  EXPECT_FALSE(m.LooseWritePath("..\\x.zar"));
  EXPECT_EQ(m.LooseWritePath("Cap\\\x95\x5C.zar"), d / "base/Cap/表.zar");  // to be made, converted
  test::WriteFileBytes(d / "base/Temp.DAT", "x");
  EXPECT_EQ(m.LooseWritePath("temp.dat"), d / "base/Temp.DAT");  // the existing file, any case
  EXPECT_TRUE(m.AddExitDelete("temp.dat"));
  m.RunExitDeletes();
  EXPECT_FALSE(fs::exists(d.Path() / "base" / "Temp.DAT"));
}

TEST(VrManager, ExtractionAndLockLifetime) {
  test::TempDir tmpBase;
  // A folder left by a crashed player is removed; one of a running process stays.
  fs::create_directories(tmpBase.Path() / "kest-tmp-2147483600-AbCdEf");
  const std::string live = "kest-tmp-" + std::to_string(::getppid()) + "-AbCdEf";
  fs::create_directories(tmpBase.Path() / live);
  std::string tempFolder;
  {
    Title t;
    TVrFileManager m(nullptr, tmpBase.Path().string());
    EXPECT_FALSE(fs::exists(tmpBase.Path() / "kest-tmp-2147483600-AbCdEf"));
    EXPECT_TRUE(fs::exists(tmpBase.Path() / live));
    tempFolder = m.TempFolder();
    ASSERT_FALSE(tempFolder.empty());
    m.AddArchive(t.base + "/game.dat");
    const std::string a = m.GetRealFileName("movie.mpg");
    EXPECT_EQ(m.GetRealFileName("movie.mpg"), a);  // one copy per name
    const std::string b = m.GetRealFileName("MOVIE.MPG");
    EXPECT_NE(a, b);  // a case variant is a copy of its own
    EXPECT_EQ(fs::path(a).filename().string().substr(0, 3), "~kt");
    EXPECT_EQ(fs::path(a).extension(), ".mpg");
    EXPECT_EQ(fs::path(b).extension(), ".MPG");
    ASSERT_EQ(m.Locks().size(), 2u);
    EXPECT_EQ(m.Locks()[0].Id, 0);
    EXPECT_EQ(m.Locks()[1].Id, 1);
    EXPECT_EQ(test::ReadFileBytes(a), std::string(7000, 'm'));

    // A failed extraction leaves neither a lock nor a file.
    m.MemoryCollection().AddEntry("ghost.wav");
    EXPECT_THROW(m.GetRealFileName("ghost.wav"), EVrFileNotFound);
    EXPECT_EQ(m.Locks().size(), 2u);
    int files = 0;
    for (const auto& f : fs::directory_iterator(tempFolder)) files += f.is_regular_file();
    EXPECT_EQ(files, 2);
    // A copy removed behind the manager's back is made again.
    fs::remove(a);
    const std::string again = m.GetRealFileName("movie.mpg");
    EXPECT_EQ(test::ReadFileBytes(again), std::string(7000, 'm'));
    EXPECT_EQ(m.Locks().back().Id, 3);  // the failed extraction used up id 2

    // A copy of an in-memory entry is made again once a script rewrites the entry.
    TVrFile* mem = m.MemoryCollection().AddMemoryEntry("mem:clip.wav");
    mem->Data->WriteBuffer("one", 3);
    const std::string first = m.GetRealFileName("mem:clip.wav");
    EXPECT_EQ(m.GetRealFileName("mem:clip.wav"), first);
    mem->Data->SetPosition(0);
    mem->Data->WriteBuffer("two", 3);
    const std::string second = m.GetRealFileName("mem:clip.wav");
    EXPECT_EQ(test::ReadFileBytes(second), "two");
    m.Maintain();
    EXPECT_FALSE(fs::exists(first));
  }
  EXPECT_FALSE(fs::exists(tempFolder));  // every copy and the folder go with the manager
}

class ScriptedPrompt : public TVfPrompt {
 public:
  std::deque<bool> answers;
  std::vector<std::string> texts;
  std::function<void()> onAsk;
  bool OkCancel(const std::string& caption, const std::string& text) override {
    texts.push_back(caption + "|" + text);
    if (onAsk) onAsk();
    if (answers.empty()) throw std::runtime_error("no answer scripted");
    const bool a = answers.front();
    answers.pop_front();
    return a;
  }
};

TEST(VrManager, DiscRequest) {
  test::TempDir d;
  const std::string disc1 = d / "cd1", disc2 = d / "cd2";
  fs::create_directories(disc1);
  fs::create_directories(disc2);
  MakeArchive(disc1 + "/game.dat", {{"one.txt", "disc one"}});
  test::WriteFileBytes(disc1 + "/install.dat", "T:0");
  MakeArchive(disc2 + "/GAME.DAT", {{"two.txt", "disc two"}});
  test::WriteFileBytes(disc2 + "/Install.dat", "T:1");
  auto discs = std::make_shared<TFixedDiscs>(std::vector<std::string>{disc1});
  TVrFileManager m(discs, d.Path().string());
  m.DiscMatches = [](const std::string& install, int index) {
    return test::ReadFileBytes(install) == "T:" + std::to_string(index);
  };
  auto prompt = std::make_shared<ScriptedPrompt>();
  m.SetPrompt(prompt);
  m.SetCaption("Title");
  bool quit = false;
  m.OnQuit = [&] { quit = true; };
  m.AddArchive("");
  ASSERT_TRUE(m.FindDisc(0));
  EXPECT_EQ(Read(m, "one.txt"), "disc one");

  // Disc 2 is asked for: disc 1's archive goes, the first OK finds nothing (the disc is
  // not in yet), the user changes the disc, the second OK finds it.
  prompt->answers = {true, true};
  prompt->onAsk = [&] {
    if (prompt->texts.size() == 2) discs->Set({disc2});
  };
  EXPECT_TRUE(m.RequestDisc(2));
  EXPECT_FALSE(m.Exists("one.txt"));
  EXPECT_EQ(Read(m, "two.txt"), "disc two");
  ASSERT_EQ(prompt->texts.size(), 2u);
  // "ディスク2を入れてから[OK]をクリックしてください"
  EXPECT_EQ(prompt->texts[0],
            "Title|\x83\x66\x83\x42\x83X\x83N" "2\x82\xF0\x93\xFC\x82\xEA\x82\xC4\x82\xA9\x82\xE7[OK]\x82\xF0\x83N\x83\x8A"
            "\x83\x62\x83N\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2");

  // Cancel, then Cancel at the quit prompt goes back to asking; Cancel, OK quits.
  prompt->texts.clear();
  prompt->onAsk = nullptr;
  prompt->answers = {false, false, false, true};
  m.SetDiscPrompts("%s disc %d, 100%%", "quit?");
  EXPECT_FALSE(m.RequestDisc(3));
  EXPECT_TRUE(quit);
  EXPECT_EQ(prompt->texts, (std::vector<std::string>{"Title|%s disc 3, 100%", "Title|quit?", "Title|%s disc 3, 100%",
                                                     "Title|quit?"}));
  // With no disc drive at all nothing is ever found.
  discs->Set({});
  EXPECT_FALSE(m.FindDisc(0));
}

TEST(VrManager, ListFolderMergesWithoutRemovingDuplicates) {
  Title t;
  std::vector<std::string> list;
  t.m->ListFolder("", list);
  // Collections first (memory, game, patch), then loose files of the base folder, then the disc.
  const std::vector<std::string> expect = {"over.txt", "shared.txt", "only.txt", "movie.mpg",
                                           "game.dat", "patch.dat",  "Only.txt", "disc.txt"};
  std::vector<std::string> got = list;
  EXPECT_EQ(got, expect);
  list.clear();
  t.m->ListFolder("data\\BGM\\", list);
  EXPECT_EQ(list, (std::vector<std::string>{"data\\bgm\\title.ogg", "data\\BGM\\Title.OGG"}));
}

TEST(VrManager, ExplainTellsWhere) {
  Title t;
  const std::vector<std::string> lines = t.m->Explain("shared.txt");
  std::string all;
  for (const auto& l : lines) all += l + "\n";
  EXPECT_NE(all.find("archive 0 (in memory): entry \"shared.txt\" without content (passed over)"), std::string::npos) << all;
  EXPECT_NE(all.find("ReadFile and OpenRange: archive 1"), std::string::npos) << all;
  EXPECT_NE(all.find("loose file: none in"), std::string::npos) << all;
  const std::vector<std::string> bad = t.m->Explain("..\\x");
  EXPECT_NE(bad[1].find("refused"), std::string::npos);
}

}  // namespace
}  // namespace kest

namespace kest {
namespace {

TEST(VrManager, DiscFoldersFromGameIni) {
  const std::string ini =
      "[Sound]\r\nDisc1=/not/this\r\n"
      "[discs]\r\n"
      "; copied discs\r\n"
      "Disc2 = cd2\r\n"
      "DISC1=\"/media/copies/cd 1\"\r\n"
      "Disc=ignored\r\nDiscX=ignored\r\nOther=ignored\r\n"
      "[Next]\r\nDisc3=/no\r\n";
  EXPECT_EQ(DiscFoldersFromIni(ini, "/games/title"),
            (std::vector<std::string>{"/media/copies/cd 1", "/games/title/cd2"}));
  TCombinedDiscs d([] { return std::vector<std::string>{"/media/cdrom0"}; }, {"/games/cd2", "/media/cdrom0"});
  EXPECT_EQ(d.Roots(), (std::vector<std::string>{"/media/cdrom0", "/games/cd2"}));
}

}  // namespace
}  // namespace kest
