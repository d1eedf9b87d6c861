#include <gtest/gtest.h>

#include <filesystem>

#include "platform/registry.h"

using namespace kest;
namespace fs = std::filesystem;

TEST(RegistryIni, EveryByteStringComesBack) {
  TRegistryValues v;
  v["CDDrive"] = "Q";
  v["\x83\x5C\x95\x5C"] = "\x95\x5C\x8E\xA6\\";                 // ソ表 = 表示\ : trail bytes 0x5C
  v["with=sign"] = " blanks at both ends ";
  v["lines"] = "a\r\nb\tc\x01";
  v["odd"] = std::string("\x80\xA0\xFD\xFF", 4) + "\x81";      // undefined bytes, lone lead byte
  v[";comment"] = "[section]";
  v["kana"] = "\xB6\xC5";                                      // half-width katakana
  v["empty"] = "";
  const std::string text = FormatRegistryIni("Maker\\Title", v);
  const TRegistryValues back = ParseRegistryIni(text);
  EXPECT_EQ(back.size(), v.size());
  for (const auto& [name, value] : v) {
    const auto it = back.find(name);
    ASSERT_NE(it, back.end()) << name;
    EXPECT_EQ(it->first, name);
    EXPECT_EQ(it->second, value) << name;
  }
}

TEST(RegistryIni, FileTextIsReadableUtf8) {
  TRegistryValues v;
  v["CDDrive"] = "Q";
  v["Name"] = "\x95\x5C";  // 表
  v["x"] = " \\";
  EXPECT_EQ(FormatRegistryIni("Maker\\Title", v),
            "; HKEY_CURRENT_USER\\Software\\Maker\\\\Title\n[Values]\nCDDrive=Q\nName=\xE8\xA1\xA8\nx=\\x20\\\\\n");
}

TEST(RegistryIni, HandEditedFilesAreRead) {
  const TRegistryValues v = ParseRegistryIni(
      "# my settings\r\n[Anything]\r\n  CDDrive = R \r\n\xE3\x83\x89=\xE8\xA1\xA8\\x41\r\nno equals sign\r\n=nameless\r\n"
      "cddrive=S\r\n");
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v.at("CDDRIVE"), "S");  // names without case: the later line wins
  EXPECT_EQ(v.at("\x83\x68"), "\x95\x5C" "A");  // ド = 表A
}

TEST(RegistryIni, FileNamesFoldCaseAndStayInTheFolder) {
  EXPECT_EQ(RegistryFileName("Maker\\Title"), "maker-title.ini");
  EXPECT_EQ(RegistryFileName("MAKER\\TITLE"), "maker-title.ini");
  EXPECT_EQ(RegistryFileName("\x95\x5C"), "\xE8\xA1\xA8.ini");  // 表: its 0x5C is no separator
  EXPECT_EQ(RegistryFileName("../../etc"), "_..-..-etc.ini");
  EXPECT_EQ(RegistryFileName(""), "_.ini");
  const std::string longName = RegistryFileName(std::string(400, 'a'));
  EXPECT_LT(longName.size(), 200u);
  EXPECT_NE(longName, RegistryFileName(std::string(401, 'a')));
}

TEST(RegistryStore, WritesReadsDeletesThroughTheFile) {
  const fs::path dir = fs::temp_directory_path() / ("kest_reg_" + std::to_string(getpid()));
  fs::remove_all(dir);
  TIniRegistryStore store((dir / "sub").string());
  EXPECT_FALSE(store.ReadString("Maker\\Title", "CDDrive").has_value());
  ASSERT_TRUE(store.WriteString("Maker\\Title", "CDDrive", "Q"));
  ASSERT_TRUE(store.WriteString("Maker\\Title", "Path", "C:\\\x95\x5C"));
  ASSERT_TRUE(store.WriteString("maker\\title", "cddrive", "R"));  // same key, same value
  TIniRegistryStore again((dir / "sub").string());
  EXPECT_EQ(again.ReadString("MAKER\\TITLE", "CDDRIVE").value_or("-"), "R");
  EXPECT_EQ(again.ReadString("Maker\\Title", "Path").value_or("-"), "C:\\\x95\x5C");
  EXPECT_TRUE(again.DeleteValue("Maker\\Title", "path"));
  EXPECT_FALSE(again.DeleteValue("Maker\\Title", "path"));
  EXPECT_FALSE(again.ReadString("Maker\\Title", "Path").has_value());
  EXPECT_FALSE(again.WriteString("Maker\\Title", "", "v"));
  // Only the one key file is left, no temporary files.
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir / "sub")) {
    ++files;
    EXPECT_EQ(e.path().filename(), "maker-title.ini");
  }
  EXPECT_EQ(files, 1);
  fs::remove_all(dir);
}
