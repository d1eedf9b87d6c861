#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "engine/project.h"
#include "platform/fake/fake_services.h"
#include "tests/vfs/temp_dir.h"
#include "vfs/records.h"

namespace kest {
namespace {

namespace fs = std::filesystem;

void WriteProject(const std::string& path, const TProjectSetting& p) {
  TMemoryStream m;
  p.SaveToStream(m);
  m.SaveToFile(path);
}

void WriteArchive(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
  TVrFileCollection c;
  for (const auto& [n, v] : entries) c.AddMemoryEntry(n)->Data->WriteBuffer(v.data(), int64_t(v.size()));
  c.SaveToFile(path);
}

std::string InstallBytes(const std::string& title, int disc, bool installed) {
  TKestInstallSet s;
  s.Title = title;
  s.discIndex = disc;
  s.DataInstalled = installed;
  TMemoryStream m;
  s.SaveToStream(m);
  return std::string(m.Bytes().begin(), m.Bytes().end());
}

class TScriptLog : public TProjectScript {
 public:
  explicit TScriptLog(std::vector<std::string>& log) : log_(log) {}
  void Start(const std::string& page) override { log_.push_back("start " + page); }
  void Step() override { log_.push_back("step"); }

 private:
  std::vector<std::string>& log_;
};

TProjectSetting Basic() {
  TProjectSetting p;
  p.title = "Sample";
  p.width = 320;
  p.height = 240;
  p.startPage = "start.ksb";
  p.storeStatus = true;
  return p;
}

// A title folder given on the command line, with the machine around it.
struct TTitle {
  test::TempDir root;
  std::string dir, disc;
  std::shared_ptr<TFixedDiscs> discs = std::make_shared<TFixedDiscs>();
  TVrFileManager files{discs, root.Path().string()};
  TParamCollection params;
  TPlayerClock clock;
  TFakeMessageBoxes boxes;
  TFakeUserFolders folders{root / "user"};
  std::vector<std::string> script, notes;
  std::string settingsSeen;

  TTitle() {
    dir = root / "title";
    disc = root / "disc";
    fs::create_directories(dir);
    fs::create_directories(disc);
    files.AddArchive("");
    files.SetBaseFolder(dir);
  }
  TProjectEnv Env(bool withArgs = true) {
    TProjectEnv e;
    e.files = &files;
    e.params = &params;
    e.clock = &clock;
    e.boxes = &boxes;
    e.folders = &folders;
    if (withArgs) e.args = {dir};
    e.exeFolder = dir;
    e.onSettings = [this](const TProject& p) {
      settingsSeen = p.Title + " " + std::to_string(p.Width) + "x" + std::to_string(p.Height);
    };
    e.makeScript = [this](TProject&) { return std::make_unique<TScriptLog>(script); };
    e.note = [this](const std::string& n) { notes.push_back(n); };
    return e;
  }
};

TEST(Project, MissingProjectOrStartPageShowsTheWarningAndStops) {
  {
    TTitle t;
    TProject p(t.Env());
    p.Create();
    EXPECT_TRUE(t.clock.Terminating);
    ASSERT_EQ(t.boxes.shown.size(), 1u);
    EXPECT_EQ(t.boxes.shown[0].caption, kCaptionWarning);
    EXPECT_EQ(t.boxes.shown[0].text, projtext::kNoProject);
    EXPECT_EQ(t.boxes.shown[0].icon, TMsgIcon::Warning);
  }
  {
    TTitle t;  // an empty project file counts as missing
    test::WriteFileBytes(t.dir + "/kest.kpb", "");
    TProject p(t.Env());
    p.Create();
    ASSERT_EQ(t.boxes.shown.size(), 1u);
    EXPECT_EQ(t.boxes.shown[0].text, projtext::kNoProject);
  }
  {
    TTitle t;
    WriteProject(t.dir + "/kest.kpb", Basic());
    TProject p(t.Env());
    p.Create();
    EXPECT_TRUE(t.clock.Terminating);
    EXPECT_EQ(t.settingsSeen, "Sample 320x240");
    EXPECT_EQ(p.WipeDefaults.Param(30, 0), 160);  // the zoom transition's centre
    EXPECT_EQ(p.WipeDefaults.Param(30, 1), 120);
    ASSERT_EQ(t.boxes.shown.size(), 1u);
    EXPECT_EQ(t.boxes.shown[0].text, projtext::kNoStartPage);
    EXPECT_EQ(t.boxes.shown[0].caption, kCaptionWarning);
    EXPECT_TRUE(t.script.empty());
  }
  {
    TTitle t;
    TProjectSetting s = Basic();
    s.version = 116;  // written by hand: the writer refuses it
    TMemoryStream m;
    WriteInt(m, 116);
    m.SaveToFile(t.dir + "/kest.kpb");
    TProject p(t.Env());
    EXPECT_THROW(p.Create(), EProjectVersion);
    EXPECT_TRUE(t.clock.Terminating);
  }
}

TEST(Project, StartsTheStartPageAndRunsTheExitPageOnce) {
  TTitle t;
  TProjectSetting s = Basic();
  s.exitPage = "exit.ksb";
  WriteProject(t.dir + "/kest.kpb", s);
  WriteArchive(t.dir + "/game.dat", {{"START.KSB", "page"}});
  t.files.AddArchive(t.dir + "/game.dat");
  TProject p(t.Env());
  p.Create();
  EXPECT_FALSE(t.clock.Terminating);
  EXPECT_TRUE(t.boxes.shown.empty());
  p.Step();
  bool statusSaved = false;
  p.saveStatus = [&] { statusSaved = true; };
  t.clock.Terminating = true;
  p.Destroy();
  EXPECT_TRUE(t.clock.Terminating);
  EXPECT_TRUE(statusSaved);
  EXPECT_EQ(t.script, (std::vector<std::string>{"start start.ksb", "step", "start exit.ksb", "step"}));
}

TEST(Project, StatusVariablesSavedFilesAndProjectVariables) {
  TTitle t;
  TProjectSetting s = Basic();
  s.vars = {TParamData::Int("score", 5), TParamData::Str("name", "nobody"), TParamData::Real("rate", 1.5L)};
  WriteProject(t.dir + "/kest.kpb", s);
  test::WriteFileBytes(t.dir + "/start.ksb", "page");
  // The status record of an earlier run: score was 42 then.
  TParamCollection before;
  TParamCollectionItem* it = before.AddItem(PT_INT);
  before.SetItemName(it, "SCORE");
  it->status = 1;
  it->Value()->SetInt(42);
  TMemoryStream status;
  status.WriteBuffer("Status103", 9);
  before.SaveStatus(status);
  WriteArchive(t.dir + "/save.dat", {{"STATUSSAVEDATA", std::string(status.Bytes().begin(), status.Bytes().end())},
                                     {"Save:notes.txt", "kept"},
                                     {"GAMESAVEDATA3", std::string("\x8c\0\0\0\4\0\0\0slot", 12)},
                                     {"GAMESAVEDATAx", "no slot"},
                                     {"other", "not restored"}});
  int32_t restVersion = -1;
  TProjectEnv env = t.Env();
  env.loadStatusRest = [&](TStream&, int32_t v) { restVersion = v; };
  TProject p(env);
  p.Create();
  ASSERT_FALSE(t.clock.Terminating);
  EXPECT_EQ(restVersion, 103);
  EXPECT_EQ(t.params.FindItem("score")->Value()->GetInt(), 42);  // restored, not the declared 5
  EXPECT_EQ(t.params.FindItem("name")->Value()->GetStr(), "nobody");
  EXPECT_EQ(t.params.FindItem("rate")->Value()->GetFloat(), 1.5L);
  EXPECT_EQ(t.params.FindItem("name")->status, 1);
  TMemoryStream m;
  t.files.ReadFile(m, "save:NOTES.txt");
  EXPECT_EQ(std::string(m.Bytes().begin(), m.Bytes().end()), "kept");
  EXPECT_FALSE(t.files.MemoryCollection().FindEntry("other"));
  ASSERT_EQ(p.SaveTitles.size(), 1u);
  EXPECT_EQ(p.GetSaveTitle(3), "slot");
  EXPECT_EQ(p.GetSaveTitle(4), "");
}

TEST(Project, DamagedSaveFileDoesNotStopTheTitle) {
  TTitle t;
  WriteProject(t.dir + "/kest.kpb", Basic());
  test::WriteFileBytes(t.dir + "/start.ksb", "page");
  WriteArchive(t.dir + "/save.dat", {{"STATUSSAVEDATA", "Status103\x05"}});
  TProject p(t.Env());
  p.Create();
  EXPECT_FALSE(t.clock.Terminating);
  ASSERT_EQ(t.notes.size(), 1u);
  EXPECT_NE(t.notes[0].find("status record"), std::string::npos);
}

TEST(Project, SaveFilePlacement) {
  {
    TTitle t;  // a writable title folder keeps its own save file
    WriteProject(t.dir + "/kest.kpb", Basic());
    TProject p(t.Env());
    p.Create();
    EXPECT_EQ(p.SaveFileName(), t.dir + "/save.dat");
  }
  {
    TTitle t;  // a read-only one: the per-user folder, with the old save copied once
    TProjectSetting s = Basic();
    s.title = "A/B:C?";
    WriteProject(t.dir + "/kest.kpb", s);
    test::WriteFileBytes(t.dir + "/save.dat", "old saves");
    t.folders.notWritable.insert(t.dir);
    TProject p(t.Env());
    p.Create();
    const std::string want = t.folders.data + "/kestplay/A_B_C_/save.dat";
    EXPECT_EQ(p.SaveFileName(), want);
    EXPECT_EQ(test::ReadFileBytes(want), "old saves");
    test::WriteFileBytes(t.dir + "/save.dat", "newer");
    TProject q(t.Env());
    q.Create();
    EXPECT_EQ(q.SaveFileName(), want);
    EXPECT_EQ(test::ReadFileBytes(want), "old saves");  // copied only once
  }
  {
    TTitle t;  // no command line: the install folder beside the executable
    WriteProject(t.dir + "/kest.kpb", Basic());
    test::WriteFileBytes(t.dir + "/install.dat", InstallBytes("Sample", 0, true));
    TProjectEnv env = t.Env(false);
    TProject p(env);
    p.Create();
    EXPECT_EQ(p.InstallTitle, "Sample");
    EXPECT_EQ(p.SaveFileName(), t.dir + "/save.dat");
  }
  EXPECT_EQ(SafeTitleFolderName(""), "_");
  EXPECT_EQ(SafeTitleFolderName(".."), "_..");
  EXPECT_EQ(SafeTitleFolderName("\x95\x5C|x"), "\x95\x5C_x");  // a trail byte "\" stays
}

TEST(Project, WithoutCommandLineInstallDatIsNeeded) {
  TTitle t;
  WriteProject(t.dir + "/kest.kpb", Basic());
  TProject p(t.Env(false));
  p.Create();
  EXPECT_TRUE(t.clock.Terminating);
  ASSERT_EQ(t.boxes.shown.size(), 1u);
  EXPECT_EQ(t.boxes.shown[0].text, projtext::kReinstall);
  EXPECT_EQ(t.boxes.shown[0].caption, kCaptionInformation);
}

TEST(Project, DiscMappedFilesBringTheirDisc) {
  TTitle t;
  TProjectSetting s = Basic();
  s.folderDiscs.Add("DATA\\BGM", 2);
  s.soundExts = "wav.ogg";
  WriteProject(t.dir + "/kest.kpb", s);
  test::WriteFileBytes(t.dir + "/start.ksb", "page");
  // Disc 2 (index 1) of this title holds data\bgm.
  WriteArchive(t.disc + "/game.dat", {{"data\\bgm\\x.png", "png"}, {"data\\bgm\\y.ogg", "ogg"}});
  test::WriteFileBytes(t.disc + "/install.dat", InstallBytes("Sample", 1, true));
  t.discs->Set({t.disc});
  t.files.RefreshDiscRoots();
  TProject p(t.Env());
  t.files.DiscMatches = [&](const std::string& path, int index) { return p.InstallSetMatches(path, index); };
  p.Create();
  ASSERT_FALSE(t.clock.Terminating);
  EXPECT_EQ(p.DiscOf("data\\bgm\\x.png"), 2);
  EXPECT_FALSE(p.FileExistsOrAskDisc("data\\bgm\\y.ogg"));  // sounds never ask
  EXPECT_FALSE(p.FileExistsOrAskDisc("data\\se\\z.png"));   // disc 0: not asked
  EXPECT_FALSE(p.FileExistsOrAskDisc(""));
  EXPECT_TRUE(p.FileExistsOrAskDisc("Data\\BGM\\x.png"));
  EXPECT_TRUE(t.files.Exists("data\\bgm\\y.ogg"));  // the disc is mounted now
}

}  // namespace
}  // namespace kest
