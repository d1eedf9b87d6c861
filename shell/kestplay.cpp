// kestplay: the player.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "common/types.h"
#include "platform/headless/headless_host.h"
#include "platform/png.h"
#include "platform/sdl/sdl_host.h"
#include "shell/command_line.h"
#include "shell/idle_frames.h"

namespace {

std::atomic<bool> g_stop{false};

extern "C" void OnStopSignal(int) { g_stop = true; }

int Fail(const std::string& text, int status) {
  std::fprintf(stderr, "kestplay: %s\n", text.c_str());
  return status;
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
  if (!opt.titles.empty()) return Fail("cannot run \"" + opt.titles[0] + "\": running titles is not built yet", 2);

  // Ctrl+C and a termination request close the player like its window's close box.
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);

  TInputScript script;
  if (!opt.input.empty()) {
    if (!LoadInputScript(opt.input, script, &error)) return Fail(error, 2);
    opt.headless = true;
  }
  const char* caption = "Kest";
  std::unique_ptr<THost> host;
  std::unique_ptr<TWindow> window;
  if (!opt.headless) {
    host = MakeSdlHost(&error);
    if (host) {
      try {
        window = host->windows->CreateWindow(TIdleFrames::kWidth, TIdleFrames::kHeight, caption);
      } catch (const EKest& e) {
        error = e.what();
        host.reset();
      }
    }
    if (!host) std::fprintf(stderr, "kestplay: no display (%s); running headless\n", error.c_str());
  }
  if (!host) {
    THeadlessOptions h;
    h.script = std::move(script);
    h.paced = opt.frames == 0;  // a run without an end goes at the speed of a real one
    host = MakeHeadlessHost(std::move(h));
    window = host->windows->CreateWindow(TIdleFrames::kWidth, TIdleFrames::kHeight, caption);
  }

  TPlayerClock state;
  TIdleFrames loop(*host->clock, *window, state);
  loop.SetStopFlag(&g_stop);
  loop.Run(opt.frames);

  int status = 0;
  if (!opt.screenshot.empty()) {
    if (window->LastFrame().Empty()) status = Fail("no frame was presented; " + opt.screenshot + " not written", 1);
    else if (!WritePng(opt.screenshot, window->LastFrame().View(), true, &error)) status = Fail(error, 1);
  }
  window.reset();
  host.reset();
  return status;
}
