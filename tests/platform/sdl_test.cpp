// The SDL backend on SDL's dummy video driver: no display needed.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/sdl/sdl_host.h"

using namespace kest;

TEST(SdlBackend, WindowOpensAndPresentsOnTheDummyDriver) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  std::string error;
  auto host = MakeSdlHost(&error);
  ASSERT_NE(host, nullptr) << error;
  EXPECT_FALSE(host->Headless());
  auto window = host->windows->CreateWindow(64, 48, "\x8C\x78\x8D\x90");  // 警告
  std::vector<uint32_t> px(64 * 48, 0xFF204060);
  window->Present({px.data(), 64, 48, 64});
  px.assign(32 * 16, 0xFF0000FF);
  window->Present({px.data(), 32, 16, 32});  // another size
  EXPECT_EQ(window->LastFrame().width, 32);
  EXPECT_EQ(window->LastFrame().pixels.front(), 0xFF0000FFu);
  window->SetCaption("Kest");
  window->SetFullScreen(true);
  window->SetFullScreen(false);
  TInputEvent e;
  int n = 0;
  while (window->PollEvent(e) && n < 100) ++n;
  window.reset();
}
