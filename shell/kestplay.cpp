// kestplay: the player.
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/time.h>
#include <vector>

#include "common/sjis.h"
#include "common/types.h"
#include "platform/headless/headless_host.h"
#include "platform/png.h"
#include "platform/random.h"
#include "platform/sdl/sdl_host.h"
#include "shell/command_line.h"
#include "shell/idle_frames.h"
#include "shell/player.h"
#include "shell/startup.h"

namespace {

std::atomic<bool> g_stop{false};

extern "C" void OnStopSignal(int) { g_stop = true; }

int Fail(const std::string& text, int status) {
  std::fprintf(stderr, "kestplay: %s\n", text.c_str());
  return status;
}

std::string ExecutablePath(const char* argv0) {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) return p.string();
  return std::filesystem::absolute(argv0 ? argv0 : "kestplay", ec).string();
}

// Milliseconds of the time of day: ((hour * 60 + minute) * 60 + second) * 1000 + ms.
uint32_t TimeOfDayMs() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm t{};
  const time_t s = tv.tv_sec;
  localtime_r(&s, &t);
  return uint32_t(((t.tm_hour * 60 + t.tm_min) * 60 + t.tm_sec) * 1000 + tv.tv_usec / 1000);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kest;
  TPlayerOptions opt;
  std::string error;
  switch (ParseCommandLine(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), opt, &error)) {
    case TCommandLineResult::Help: std::fputs(PlayerUsage(), stdout); return 0;
    case TCommandLineResult::Error:
      std::fprintf(stderr, "kestplay: %s\n%s", error.c_str(), PlayerUsage());
      return 2;
    case TCommandLineResult::Run: break;
  }
  const std::string exePath = ExecutablePath(argc > 0 ? argv[0] : nullptr);

  // Ctrl+C and a termination request close the player like its window's close box.
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);

  TInputScript script;
  if (!opt.input.empty()) {
    if (!LoadInputScript(opt.input, script, &error)) return Fail(error, 2);
    opt.headless = true;
  }
  const bool title = !opt.titles.empty() || TitleBesideExecutable(exePath);

  // The machine: a display when there is one, else headless.
  std::unique_ptr<THost> host;
  if (!opt.headless) {
    host = MakeSdlHost(&error);
    if (!host) std::fprintf(stderr, "kestplay: no display (%s); running headless\n", error.c_str());
  }
  const bool headless = !host;
  if (!host) {
    THeadlessOptions h;
    h.script = std::move(script);
    h.paced = opt.frames == 0;  // a run without an end goes at the speed of a real one
    host = MakeHeadlessHost(std::move(h));
  }
  // Headless runs repeat exactly: a fixed seed unless one is given.
  SetRandomSeed(opt.seeded ? opt.seed : headless ? 0u : TimeOfDayMs());

  int status = 0;
  std::unique_ptr<TWindow> idleWindow;
  TPlayerClock state;
  std::unique_ptr<TPlayer> player;
  TWindow* window = nullptr;
  if (title) {
    std::string note;
    switch (EntryChecks(*host, opt.titles, exePath, &note)) {
      case TEntryResult::Quit: return 0;
      case TEntryResult::Config:
        std::puts("kestplay: the settings dialog is not available yet");
        return 0;
      case TEntryResult::Run: break;
    }
    if (!note.empty()) std::fprintf(stderr, "kestplay: %s\n", note.c_str());
    TPlayerSetup setup;
    setup.titles = opt.titles;
    setup.exePath = exePath;
    setup.trace = opt.trace;
    setup.logPath = opt.log;
    setup.stop = &g_stop;
    setup.note = [](const std::string& s) { std::fprintf(stderr, "kestplay: %s\n", s.c_str()); };
    player = std::make_unique<TPlayer>(*host, state, std::move(setup));
    if (!player->Start()) {
      status = 1;
    } else {
      player->Run(opt.frames);
    }
    window = player->Window();
  } else {
    try {
      idleWindow = host->windows->CreateWindow(TIdleFrames::kWidth, TIdleFrames::kHeight, "Kest");
    } catch (const EKest& e) {
      return Fail(e.what(), 1);
    }
    TIdleFrames loop(*host->clock, *idleWindow, state);
    loop.SetStopFlag(&g_stop);
    loop.Run(opt.frames);
    window = idleWindow.get();
  }

  if (status == 0 && !opt.screenshot.empty()) {
    if (!window || window->LastFrame().Empty()) status = Fail("no frame was presented; " + opt.screenshot + " not written", 1);
    else if (!WritePng(opt.screenshot, window->LastFrame().View(), true, &error)) status = Fail(error, 1);
  }
  if (player) player->Finish();
  player.reset();
  idleWindow.reset();
  host.reset();
  return status;
}
