#include <gtest/gtest.h>

#include "script/paramcoll.h"
#include "script/parser.h"
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/fake/fake_services.h"
#include "shell/gameini.h"
#include "shell/kestdll.h"
#include "shell/player.h"
#include "shell/startup.h"

using namespace kest;
namespace fs = std::filesystem;

namespace {

TInputScript Script(const char* text) {
  TInputScript s;
  std::string error;
  EXPECT_TRUE(ParseInputScript(text, s, &error)) << error;
  return s;
}

struct TTitle {
  std::string dir;
  explicit TTitle(bool pause = false) {
    char tmpl[] = "/tmp/kestplayer-XXXXXX";
    dir = mkdtemp(tmpl);
    TProjectSetting p;
    p.title = "Title";
    p.width = 64;
    p.height = 48;
    p.startPage = "start.ksb";
    p.pauseWhenInactive = pause;
    TMemoryStream m;
    p.SaveToStream(m);
    m.SaveToFile(dir + "/kest.kpb");
    std::ofstream(dir + "/start.ksb") << "page";
  }
  ~TTitle() { fs::remove_all(dir); }
};

struct TRig {
  TFakeHost f;
  TPlayerClock clock;
  std::unique_ptr<TPlayer> player;
  int updates = 0, draws = 0;
  TRig(const TTitle& t, const char* script = "") : f(MakeFakeHost(Script(script))) {
    f.folders->data = t.dir + "/data";
    TPlayerSetup s;
    s.titles = {t.dir};
    s.exePath = "/opt/kest/kestplay";
    player = std::make_unique<TPlayer>(*f.host, clock, s);
    EXPECT_TRUE(player->Start());
    player->phases.update = [this] { ++updates; };
    player->phases.draw = [this] { ++draws; };
  }
};

class TLayerLog : public TLayerInput {
 public:
  std::vector<std::string> log;
  void MouseDown(TMouseButton b) override { log.push_back("down " + std::to_string(int(b))); }
  void MouseUp() override { log.push_back("up"); }
  void MouseMove(int x, int y) override { log.push_back("move " + std::to_string(x) + "," + std::to_string(y)); }
  void Wheel(int n) override { log.push_back("wheel " + std::to_string(n)); }
  void KeyDown(int vk) override { log.push_back("key " + std::to_string(vk)); }
  void KeyUp(int vk) override { log.push_back("keyup " + std::to_string(vk)); }
  void ReleaseHeld() override { log.push_back("release"); }
};

}  // namespace

TEST(GameIni, DelayTimeIsTruncatedAndClamped) {
  struct TCase {
    const char* text;
    int32_t delay;
  };
  const TCase cases[] = {
      {"[Sound]\nDelayTime=1234\n", 500}, {"[Sound]\nDelayTime=49\n", 100}, {"[Sound]\nDelayTime=250\n", 200},
      {"[sound]\r\n delaytime = 350 \r\n", 300}, {"[Sound]\nDelayTime=-150\n", 100}, {"[Sound]\nDelayTime=abc\n", 500},
      {"[Sound]\nDelayTime=99999999999\n", 500}, {"[Sound]\nDelayTime=$C8\n", 200}, {"[Video]\nDelayTime=100\n", 500},
      {"", 500},
  };
  for (const TCase& c : cases) EXPECT_EQ(ReadGameIni(c.text).DelayTime, c.delay) << c.text;
  const TGameIni g = ReadGameIni("; settings\n[Sound]\nDirectSound=0\n[Video]\nUseWMP=2\n");
  EXPECT_FALSE(g.DirectSound);
  EXPECT_TRUE(g.UseWMP);
  const TGameIni d = ReadGameIni("[Sound]\nDirectSound=\n");
  EXPECT_TRUE(d.DirectSound);
  EXPECT_FALSE(d.UseWMP);
  EXPECT_EQ(ReadGameIni("[Video]\nScale=integer\n").Scale, "integer");
}

TEST(Startup, CdRomSecondInstanceAndConfig) {
  EXPECT_EQ(InstanceName({"/home/u/My Title/"}, "/x/kestplay"), "-HOME-U-MY TITLE-");
  EXPECT_EQ(InstanceName({}, "/opt/kest/kestplay"), "-OPT-KEST-");
  TFakeHost a = MakeFakeHost();
  a.drives->Add("/", TDriveKind::Fixed).Add("/media/cd", TDriveKind::CdRom);
  std::string note;
  EXPECT_EQ(EntryChecks(*a.host, {}, "/media/cd/kestplay", &note), TEntryResult::Quit);
  EXPECT_TRUE(a.instanceLock->Table()->empty());  // ended before the lock
  EXPECT_EQ(EntryChecks(*a.host, {"/games/one"}, "/usr/bin/kestplay", &note), TEntryResult::Run);
  // A second player sharing the lock table: the same title ends, another runs.
  TFakeHost b = MakeFakeHost();
  auto* lock = new TFakeInstanceLock(a.instanceLock->Table());
  b.host->instanceLock.reset(lock);
  EXPECT_EQ(EntryChecks(*b.host, {"/GAMES/ONE/"}, "/usr/bin/kestplay", &note), TEntryResult::Quit);
  EXPECT_EQ(EntryChecks(*b.host, {"/games/two"}, "/usr/bin/kestplay", &note), TEntryResult::Run);
  TFakeHost c = MakeFakeHost();
  c.instanceLock->failToCreate = true;
  note.clear();
  EXPECT_EQ(EntryChecks(*c.host, {"/CONFIG"}, "/usr/bin/kestplay", &note), TEntryResult::Config);
  EXPECT_FALSE(note.empty());
}

TEST(Player, FpsDivisorThinsDrawingAndALoadSkipsOneDraw) {
  TTitle t;
  TRig r(t);
  r.clock.FpsDivisor = 4;
  EXPECT_EQ(r.player->Run(12), 12);
  EXPECT_EQ(r.updates, 12);
  EXPECT_EQ(r.draws, 3);
  EXPECT_EQ(r.clock.FrameCount, 12);
  r.clock.FpsDivisor = 1;
  r.player->Project()->PendingLoad = 2;
  int loaded = -1;
  r.player->Project()->gameLoad = [&](int32_t slot) { loaded = slot; };
  r.player->Run(3);
  EXPECT_EQ(loaded, 2);
  EXPECT_EQ(r.draws, 5);  // the step of the load draws nothing
  EXPECT_EQ(r.player->Window()->LastFrame().width, 0);  // the draw hook presents, not the player
}

TEST(Player, BlackFrameOfTheTitleSizeAndCaption) {
  TTitle t;
  TRig r(t);
  r.player->phases.draw = nullptr;
  r.player->Run(2);
  auto* w = dynamic_cast<THeadlessWindow*>(r.player->Window());
  ASSERT_TRUE(w);
  EXPECT_EQ(w->Caption(), "Title");
  EXPECT_EQ(w->Width(), 64);
  EXPECT_EQ(w->Height(), 48);
  ASSERT_EQ(w->LastFrame().width, 64);
  EXPECT_EQ(w->LastFrame().pixels[0], 0xFF000000u);
}

TEST(Player, F11AndAltReturnSwitchFullScreenThroughTheScreenManager) {
  TTitle t;
  TRig r(t, "2 key F11\n4 keydown MENU\n4 keydown RETURN\n5 keyup RETURN\n5 keyup MENU\n");
  r.player->phases.draw = nullptr;
  r.player->Run(3);
  ASSERT_TRUE(r.player->Screen());
  EXPECT_TRUE(r.player->Screen()->IsFullScreen());
  EXPECT_TRUE(r.player->Window()->IsFullScreen());
  r.player->Run(3);
  EXPECT_FALSE(r.player->Screen()->IsFullScreen());
  EXPECT_FALSE(r.player->Window()->IsFullScreen());
  // The picture keeps the title's size either way.
  auto* w = dynamic_cast<THeadlessWindow*>(r.player->Window());
  ASSERT_TRUE(w);
  EXPECT_EQ(w->LastFrame().width, 64);
}

TEST(Player, ScriptsSwitchFullScreenAndReadTheDisplayModes) {
  TTitle t;
  TRig r(t);
  r.player->phases.draw = nullptr;
  r.player->Run(1);
  TParamCollection& vars = *r.player->Params();
  TParamCollectionItem* full = vars.AddItem(PT_BOOL);
  vars.SetItemName(full, "f");
  TParamCollectionItem* n = vars.AddItem(PT_INT);
  vars.SetItemName(n, "n");
  ASSERT_TRUE(RunText(*r.player->Funcs(), "@FullScr = TRUE"));
  EXPECT_TRUE(r.player->Screen()->IsFullScreen());
  ASSERT_TRUE(RunText(*r.player->Funcs(), "f = @FullScr"));
  EXPECT_TRUE(full->Value()->GetBool());
  ASSERT_TRUE(RunText(*r.player->Funcs(), "@FullScr = FALSE"));
  EXPECT_FALSE(r.player->Window()->IsFullScreen());
  ASSERT_TRUE(RunText(*r.player->Funcs(), "n = @DisplayModeCount"));
  EXPECT_EQ(n->Value()->GetInt(), r.player->Screen()->DisplayModeCount());
  EXPECT_GT(n->Value()->GetInt(), 0);
  ASSERT_TRUE(RunText(*r.player->Funcs(), "f = GetDisplayMode(0, n, n, n, n)"));
  EXPECT_TRUE(full->Value()->GetBool());
  ASSERT_TRUE(RunText(*r.player->Funcs(), "f = GetDisplayMode(999, n, n, n, n)"));
  EXPECT_FALSE(full->Value()->GetBool());
}

TEST(Player, ExitQuestionAndTerminating) {
  EXPECT_EQ(ExitQuestion("T", false), "Do you want to exit T?");
  EXPECT_EQ(ExitQuestion("T", true), "\x81uT\x81v\x82\xF0\x8FI\x97\xB9\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81H");
  TTitle t;
  TRig r(t, "3 close\n5 close\n");
  r.f.messageBoxes->answers = {IDNO, IDYES};
  EXPECT_EQ(r.player->Run(100), 4);  // No goes on, Yes closes before step 5
  ASSERT_EQ(r.f.messageBoxes->shown.size(), 2u);
  EXPECT_EQ(r.f.messageBoxes->shown[0].caption, "Title");
  EXPECT_EQ(r.f.messageBoxes->shown[0].buttons, TMsgButtons::YesNo);
  EXPECT_TRUE(r.clock.Terminating);
}

TEST(Player, PauseWhenInactiveStopsTheClock) {
  {
    TTitle t(true);
    TRig r(t, "3 deactivate\n60 activate\n");
    TLayerLog layers;
    r.player->layers = &layers;
    r.player->Run(10);
    // Steps 1 and 2 ran; the pause from 45 ms to 900 ms is one dropped tick.
    EXPECT_EQ(r.updates, 10);
    EXPECT_LT(r.clock.ClockTime, 10u * 15u + 2u);
    EXPECT_EQ(layers.log, std::vector<std::string>{"release"});
  }
  {
    TTitle t(false);
    TRig r(t, "3 deactivate\n");
    r.player->Run(10);
    EXPECT_EQ(r.clock.ClockTime, 150u);  // nothing paused
  }
}

TEST(Player, InputGoesToTheLayersWhileActive) {
  TTitle t(true);
  TRig r(t, "1 move 5 6\n1 down left 5 6\n2 up left 5 6\n2 keydown A\n3 wheel up\n4 deactivate\n5 activate\n");
  TLayerLog layers;
  r.player->layers = &layers;
  r.player->Run(6);
  EXPECT_EQ(layers.log, (std::vector<std::string>{"move 5,6", "down 1", "up", "key 65", "wheel 1", "release"}));
}

TEST(KestDll, HandshakeAndStreamsUnderOneLock) {
  TFakeMessageBoxes boxes;
  EXPECT_TRUE(TKestDll::Verify(108, boxes));
  EXPECT_FALSE(TKestDll::Verify(107, boxes));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, "Error");
  EXPECT_EQ(boxes.shown[0].text, kestdlltext::kBadVersion);

  // A stream that notices when two call-backs run at once.
  static std::atomic<int> inside{0}, most{0};
  class TWatched : public TMemoryStream {
   public:
    using TMemoryStream::TMemoryStream;
    int64_t Read(void* b, int64_t n) override {
      const int now = ++inside;
      if (now > most) most = now;
      std::this_thread::yield();
      const int64_t got = TMemoryStream::Read(b, n);
      --inside;
      return got;
    }
  };
  const TKestStreamCallbacks cb = TKestDll::Callbacks();
  const TKestStreamHandle a = TKestDll::OpenStream(std::make_unique<TWatched>(std::vector<uint8_t>(4000, 1)));
  const TKestStreamHandle b = TKestDll::OpenStream(std::make_unique<TWatched>(std::vector<uint8_t>(4000, 2)));
  auto reader = [&](TKestStreamHandle h, int64_t* total) {
    uint8_t buf[7];
    for (int64_t n; (n = cb.read(h, buf, 7)) > 0;) *total += n;
  };
  int64_t ta = 0, tb = 0;
  std::thread x(reader, a, &ta), y(reader, b, &tb);
  x.join();
  y.join();
  EXPECT_EQ(ta, 4000);
  EXPECT_EQ(tb, 4000);
  EXPECT_EQ(most.load(), 1);
  EXPECT_EQ(cb.size(a), 4000);
  EXPECT_EQ(cb.setPos(a, 10), 10);
  EXPECT_EQ(cb.getPos(a), 10);
  TKestDll::CloseStream(a);
  EXPECT_EQ(cb.size(a), 0);  // closed: nothing
  EXPECT_EQ(cb.size(999), 0);
  TKestDll::CloseStream(b);
}
