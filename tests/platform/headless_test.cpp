#include <gtest/gtest.h>

#include <cstdio>

#include "platform/fake/fake_services.h"
#include "platform/headless/headless_host.h"

using namespace kest;

static TInputScript Script(const char* text) {
  TInputScript s;
  std::string error;
  EXPECT_TRUE(ParseInputScript(text, s, &error)) << error;
  return s;
}

static std::string ReadAll(FILE* f) {
  std::string out;
  std::rewind(f);
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  return out;
}

TEST(Headless, EventsArriveWhenTheClockReachesTheirStep) {
  THeadlessOptions o;
  o.script = Script("1 move 3 4\n2 wheel up\n2 down left 9 9\n4 close\n");
  o.machineServices = false;
  auto host = MakeHeadlessHost(std::move(o));
  auto window = host->windows->CreateWindow(320, 240, "Kest");
  TInputEvent e;
  EXPECT_FALSE(window->PollEvent(e));  // step 0: before the first frame step
  host->clock->WaitMs(15);
  ASSERT_TRUE(window->PollEvent(e));
  EXPECT_EQ(e.kind, TEventKind::MouseMove);
  EXPECT_FALSE(window->PollEvent(e));
  host->clock->WaitMs(15);
  ASSERT_TRUE(window->PollEvent(e));
  EXPECT_EQ(e.kind, TEventKind::MouseWheel);
  EXPECT_EQ(e.x, 3);  // at the pointer's position
  EXPECT_EQ(e.y, 4);
  ASSERT_TRUE(window->PollEvent(e));
  EXPECT_EQ(e.kind, TEventKind::MouseDown);
  window->WarpMouse(20, 30);
  ASSERT_TRUE(window->PollEvent(e));
  EXPECT_EQ(e.kind, TEventKind::MouseMove);
  EXPECT_EQ(e.x, 20);
  host->clock->WaitMs(15);
  EXPECT_FALSE(window->PollEvent(e));  // nothing at step 3
  host->clock->WaitMs(15);
  ASSERT_TRUE(window->PollEvent(e));
  EXPECT_EQ(e.kind, TEventKind::Close);
}

TEST(Headless, VirtualClockMovesExactlyByTheWait) {
  TVirtualClock c;
  EXPECT_EQ(c.NowMs(), 0u);
  for (int i = 0; i < 1000; ++i) c.WaitMs(15);
  EXPECT_EQ(c.NowMs(), 15000u);
  EXPECT_EQ(HeadlessStep(c), 1000);
}

TEST(Headless, MessageBoxesAnswerFromTheScriptElseTheirDefaultAndAreLogged) {
  FILE* log = std::tmpfile();
  ASSERT_NE(log, nullptr);
  THeadlessOptions o;
  o.script = Script("2 answer NO\n3 answer RETRY\n");
  o.machineServices = false;
  o.log = log;
  auto host = MakeHeadlessHost(std::move(o));
  TMessageBoxes& boxes = *host->messageBoxes;
  const std::string text = "\x95\x5C\x8E\xA6";  // 表示
  host->clock->WaitMs(15);  // step 1: no answer yet, so the default button
  EXPECT_EQ(boxes.Show(kCaptionWarning, text, TMsgButtons::YesNo, TMsgIcon::Question), IDYES);
  EXPECT_EQ(boxes.Show(kCaptionWarning, text, TMsgButtons::YesNoCancel, TMsgIcon::Question, 2), IDCANCEL);
  host->clock->WaitMs(15);  // step 2
  EXPECT_EQ(boxes.Show(kCaptionInformation, text, TMsgButtons::YesNo, TMsgIcon::Information), IDNO);
  host->clock->WaitMs(15);  // step 3: RETRY is no button of an OK box
  EXPECT_EQ(boxes.Show(kCaptionWarning, "x", TMsgButtons::Ok, TMsgIcon::Warning), IDOK);
  const std::string logged = ReadAll(log);
  std::fclose(log);
  EXPECT_NE(logged.find("message box at step 1 [\xE8\xAD\xA6\xE5\x91\x8A] \xE8\xA1\xA8\xE7\xA4\xBA (YESNO, question) -> YES (default)"),
            std::string::npos)
      << logged;
  EXPECT_NE(logged.find("[\xE6\x83\x85\xE5\xA0\xB1]"), std::string::npos);  // 情報
  EXPECT_NE(logged.find("-> NO (scripted)"), std::string::npos);
  EXPECT_NE(logged.find("-> OK (default; the scripted RETRY is not among its buttons)"), std::string::npos) << logged;
}

TEST(Headless, WindowKeepsTheLastFrame) {
  auto host = MakeHeadlessHost({});
  auto window = host->windows->CreateWindow(4, 2, "Kest");
  EXPECT_TRUE(window->LastFrame().Empty());
  // A frame of another size than the window, rows 3 pixels apart.
  const uint32_t px[] = {1, 2, 99, 3, 4, 99};
  window->Present({px, 2, 2, 3});
  EXPECT_EQ(window->LastFrame().width, 2);
  EXPECT_EQ(window->LastFrame().pixels, (std::vector<uint32_t>{1, 2, 3, 4}));
}

TEST(MessageBox, ButtonSetsDefaultsAndEscape) {
  EXPECT_EQ(MsgButtonAnswers(TMsgButtons::YesNoCancel), (std::vector<int>{IDYES, IDNO, IDCANCEL}));
  EXPECT_EQ(MsgButtonAnswers(TMsgButtons::RetryCancel), (std::vector<int>{IDRETRY, IDCANCEL}));
  EXPECT_EQ(MsgDefaultAnswer(TMsgButtons::OkCancel, 1), IDCANCEL);
  EXPECT_EQ(MsgDefaultAnswer(TMsgButtons::OkCancel, 5), IDOK);  // out of range: the first
  EXPECT_EQ(MsgDefaultAnswer(TMsgButtons::OkCancel, -1), IDOK);
  EXPECT_EQ(MsgEscapeAnswer(TMsgButtons::Ok), IDOK);
  EXPECT_EQ(MsgEscapeAnswer(TMsgButtons::YesNo), IDNO);
  EXPECT_EQ(MsgEscapeAnswer(TMsgButtons::YesNoCancel), IDCANCEL);
  EXPECT_EQ(MsgEscapeAnswer(TMsgButtons::RetryCancel), IDCANCEL);
  EXPECT_EQ(IDOK, 1);
  EXPECT_EQ(IDCANCEL, 2);
  EXPECT_EQ(IDRETRY, 4);
  EXPECT_EQ(IDYES, 6);
  EXPECT_EQ(IDNO, 7);
}

TEST(FakeHost, SetsUpAMachine) {
  TFakeHost f = MakeFakeHost();
  f.drives->Add("/", TDriveKind::Fixed).Add("/media/cdrom", TDriveKind::CdRom, "GAMEDISC");
  EXPECT_EQ(f.host->drives->DriveOf("/media/cdrom/kestplay").kind, TDriveKind::CdRom);
  EXPECT_EQ(f.host->drives->DriveOf("/home/u/game").kind, TDriveKind::Fixed);
  f.folders->notWritable.insert("/games");
  EXPECT_FALSE(f.host->folders->IsWritable("/games/title"));
  EXPECT_TRUE(f.host->folders->IsWritable("/gamesave"));
  TFakeInstanceLock second(f.instanceLock->Table());
  EXPECT_EQ(f.host->instanceLock->TryAcquire("A"), TLockResult::Acquired);
  EXPECT_EQ(second.TryAcquire("A"), TLockResult::Held);
  f.host->instanceLock->Release();
  EXPECT_EQ(second.TryAcquire("A"), TLockResult::Acquired);
  f.instanceLock->failToCreate = true;
  EXPECT_EQ(f.host->instanceLock->TryAcquire("B"), TLockResult::Unavailable);
  f.messageBoxes->answers = {IDNO};
  EXPECT_EQ(f.host->messageBoxes->Show("c", "t", TMsgButtons::YesNo, TMsgIcon::Question), IDNO);
  EXPECT_EQ(f.host->messageBoxes->Show("c", "t", TMsgButtons::YesNo, TMsgIcon::Question), IDYES);
  ASSERT_EQ(f.messageBoxes->shown.size(), 2u);
  f.shellOpen->result = false;
  EXPECT_FALSE(f.host->shellOpen->Open("http://example.invalid/"));
  EXPECT_EQ(f.shellOpen->opened.size(), 1u);
  f.registry->readOnly = true;
  EXPECT_FALSE(f.host->registry->WriteString("k", "n", "v"));
}
