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
  ASSERT_EQ(first.TryAcquire(name), TLockResult::Acquired);
  EXPECT_EQ(second.TryAcquire(name), TLockResult::Held);
  EXPECT_EQ(second.TryAcquire("/OTHER/TITLE/"), TLockResult::Acquired);
  // Another process cannot take it either.
  const pid_t child = fork();
  if (child == 0) {
    TFileInstanceLock other(dir_);
    _exit(other.TryAcquire(name) == TLockResult::Held ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  first.Release();
  EXPECT_EQ(second.TryAcquire(name), TLockResult::Acquired);
  EXPECT_EQ(fs::path(second.Path()).parent_path(), fs::path(dir_));
}

TEST_F(InstanceLock, AFolderThatIsNoFolderMakesNoLock) {
  std::FILE* f = std::fopen(dir_.c_str(), "w");  // a file where the folder should be
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  TFileInstanceLock lock(dir_);
  EXPECT_EQ(lock.TryAcquire("X"), TLockResult::Unavailable);
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
