#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/shell_open.h"

using namespace kest;
namespace fs = std::filesystem;

TEST(ShellOpen, StartsTheProgramWithTheTargetAsOneArgument) {
  EXPECT_TRUE(SpawnDetached({"true"}));
  EXPECT_FALSE(SpawnDetached({"/nonexistent/opener"}));
  EXPECT_FALSE(SpawnDetached({}));
  const fs::path dir = fs::temp_directory_path() / ("kest_open_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  // "touch" stands in for xdg-open: no shell sees the target, so it is one file name.
  const fs::path target = dir / "a b;$(echo x)`y`&z";
  TXdgOpen opener("touch");
  ASSERT_TRUE(opener.Open(target.string()));
  for (int i = 0; i < 200 && !fs::exists(target); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(fs::exists(target));
  int files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 1);
  EXPECT_FALSE(opener.Open(""));
  fs::remove_all(dir);
}
