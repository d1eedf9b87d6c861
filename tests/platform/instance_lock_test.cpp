#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/instance_lock.h"

using namespace kest;
namespace fs = std::filesystem;

class InstanceLock : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = (fs::temp_directory_path() / ("kest_lock_" + std::to_string(getpid()))).string();
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string dir_;
};

TEST_F(InstanceLock, SecondAcquireFailsWhileHeld) {
  TFileInstanceLock first(dir_), second(dir_);
  const std::string name = "/HOME/USER/GAMES/\x95\x5C/";  // 表
  ASSERT_TRUE(first.TryAcquire(name));
  EXPECT_FALSE(second.TryAcquire(name));
  EXPECT_TRUE(second.TryAcquire("/OTHER/TITLE/"));
  // Another process cannot take it either.
  const pid_t child = fork();
  if (child == 0) {
    TFileInstanceLock other(dir_);
    _exit(other.TryAcquire(name) ? 1 : 0);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  first.Release();
  EXPECT_TRUE(second.TryAcquire(name));
  EXPECT_EQ(fs::path(second.Path()).parent_path(), fs::path(dir_));
}

TEST_F(InstanceLock, FileNamesAreSafeAndDistinct) {
  EXPECT_EQ(LockFileName("/A/B/"), "-A-B-.lock");
  EXPECT_EQ(LockFileName(".."), "_...lock");
  EXPECT_EQ(LockFileName("\x95\x5C"), "\xE8\xA1\xA8.lock");
  const std::string a = LockFileName(std::string(300, 'x') + "1"), b = LockFileName(std::string(300, 'x') + "2");
  EXPECT_NE(a, b);
  EXPECT_LT(a.size(), 200u);
  EXPECT_EQ(DefaultLockFolder("/run/user/5", "/tmp"), "/run/user/5/kest");
  EXPECT_EQ(DefaultLockFolder("/tmp", "/tmp"), "/tmp/kest-" + std::to_string(getuid()));
}
