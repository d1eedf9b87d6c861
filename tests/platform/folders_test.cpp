#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/user_folders.h"

using namespace kest;

TEST(UserFolders, XdgVariablesWithTheirDefaults) {
  std::map<std::string, std::string> env = {{"HOME", "/home/u/"}};
  TXdgFolders f([&](const char* n) -> const char* {
    const auto it = env.find(n);
    return it == env.end() ? nullptr : it->second.c_str();
  });
  EXPECT_EQ(f.Home(), "/home/u");
  EXPECT_EQ(f.Config(), "/home/u/.config");
  EXPECT_EQ(f.Data(), "/home/u/.local/share");
  EXPECT_EQ(f.Cache(), "/home/u/.cache");
  EXPECT_EQ(f.Temp(), "/tmp");
  EXPECT_EQ(f.Runtime(), "/tmp");
  env["XDG_CONFIG_HOME"] = "/cfg//";
  env["XDG_DATA_HOME"] = "relative/data";  // ignored: not absolute
  env["XDG_CACHE_HOME"] = "";
  env["TMPDIR"] = "/var/tmp";
  env["XDG_RUNTIME_DIR"] = "/run/user/1000";
  EXPECT_EQ(f.Config(), "/cfg");
  EXPECT_EQ(f.Data(), "/home/u/.local/share");
  EXPECT_EQ(f.Cache(), "/home/u/.cache");
  EXPECT_EQ(f.Temp(), "/var/tmp");
  EXPECT_EQ(f.Runtime(), "/run/user/1000");
}

TEST(UserFolders, MakeFoldersAndWritability) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("kest_dirs_" + std::to_string(getpid()));
  fs::remove_all(dir);
  TXdgFolders f;
  EXPECT_FALSE(f.IsWritable((dir / "a").string()));
  ASSERT_TRUE(MakeFolders((dir / "a/b/c").string()));
  EXPECT_TRUE(f.IsWritable((dir / "a/b/c").string()));
  std::FILE* file = std::fopen((dir / "a/file").c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_FALSE(f.IsWritable((dir / "a/file").string()));  // a file is no folder
  EXPECT_FALSE(MakeFolders((dir / "a/file/x").string()));
  fs::remove_all(dir);
}
