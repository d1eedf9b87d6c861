#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

#include <random>

#include "tests/vfs/legacy_builder.h"
#include "tests/vfs/temp_dir.h"
#include "vfs/paths.h"
#include "vfs/records.h"
#include "vfs/vrfiles.h"

namespace kest {
namespace {

using test::Bytes;

// One stored entry "a.wav" holding "RIFF", FileTime 0, CrcOfContent 1, computed by hand.
const std::string kHandArchive = Bytes({
    0x76, 0x66, 0x66, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0xAA, 0xEC, 0xE2,
    0xD5, 0x39, 0xE6, 0x35, 0x5D, 0x58, 0x00, 0x00, 0x00, 0x00, 0xF3, 0x42, 0x2F, 0x12, 0x00, 0x00, 0x00,
    0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x5C, 0xA2, 0x97, 0x06, 0x01, 0x52, 0x49, 0x46, 0x46});

std::string Content(TVrFileCollection& c, const std::string& name) {
  TMemoryStream m;
  c.ReadEntry(m, name);
  return std::string(m.Bytes().begin(), m.Bytes().end());
}

std::string Noise(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = char(rng());
  return s;
}

std::string SaveToString(TVrFileCollection& c, int version = 102) {
  TMemoryStream m;
  c.SaveToStream(m, version);
  return std::string(m.Bytes().begin(), m.Bytes().end());
}

void SetMtimeEpoch(const std::string& path) {
  struct timespec ts[2] = {{0, 0}, {0, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ts, 0), 0);
}

TEST(VrArchive, HandComputedVersion102ReadAndWritten) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "hand.dat", kHandArchive);
  TVrFileCollection c;
  c.LoadFromFile(dir / "hand.dat");
  EXPECT_EQ(c.Version(), 102);
  ASSERT_EQ(c.Count(), 2);  // the entry and the terminator
  TVrFile* e = c.FindEntry("A.WAV");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Name(), "a.wav");
  EXPECT_EQ(e->Offset, 45);
  EXPECT_EQ(e->Size, 4);
  EXPECT_TRUE(e->Stored);
  EXPECT_TRUE(e->CrcOfContent);
  EXPECT_EQ(e->Crc, 0x0697A25Cu);
  EXPECT_EQ(c.Item(1)->Name(), "\\EOF\\");
  EXPECT_EQ(c.Item(1)->Offset, 49);
  EXPECT_EQ(Content(c, "a.wav"), "RIFF");
  EXPECT_EQ(c.CheckEntry(*e), "");

  // Our writer gives the same 49 bytes from a loose "a.wav" (a wave file stays stored).
  test::TempDir src;
  test::WriteFileBytes(src / "a.wav", "RIFF");
  SetMtimeEpoch(src / "a.wav");  // before 1980: FileTime 0
  TVrFileCollection w;
  w.SetFolder(src.Path().string());
  w.AddEntry("a.wav")->CrcOfContent = true;
  EXPECT_EQ(SaveToString(w), kHandArchive);
}

// Every layout, from the independent builder.
TEST(VrArchive, ReadsEveryVersion) {
  const std::string big = Noise(3000, 1);
  std::vector<test::LegacyEntry> entries = {
      {"", "zero-length name", false, 0, 0, false},
      {"dir\\Text.txt", "hello hello hello", false, 0x5A2B1C0D, 0x11111111, true},
      {"b.bin", big, true, 7, 0x22222222, false},
  };
  for (int version : {0, 100, 101, 102}) {
    SCOPED_TRACE(version);
    const std::string bytes = test::BuildArchive(version, entries);
    TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    TVrFileCollection c;
    c.ReadDirectory(m);
    EXPECT_EQ(c.Version(), version);
    ASSERT_EQ(c.Count(), 4);
    EXPECT_EQ(c.Item(0)->Name(), "");
    EXPECT_EQ(c.Item(1)->Name(), "dir\\Text.txt");  // the name after an empty one continues the keystream
    EXPECT_EQ(c.Item(2)->Name(), "b.bin");
    EXPECT_EQ(c.Item(3)->Offset, int64_t(bytes.size()));
    TVrFile* b = c.FindEntry("B.BIN");
    EXPECT_EQ(b->Stored, version >= 101);  // below 101 every entry is compressed
    EXPECT_EQ(c.Item(1)->CrcOfContent, version >= 102);
    EXPECT_EQ(c.Item(1)->FileTime, version >= 101 ? 0x5A2B1C0D : 0);
    EXPECT_EQ(b->Crc, version >= 101 ? 0x22222222u : 0u);
    // Entries are read from the collection's stream: hand it the same bytes.
    TVrFileCollection r;
    const std::vector<uint8_t> v(bytes.begin(), bytes.end());
    r.LoadFromResource(TBlobRef::FromBytes(v));
    EXPECT_EQ(Content(r, "dir\\text.TXT"), "hello hello hello");
    EXPECT_EQ(Content(r, "b.bin"), big);
    EXPECT_EQ(Content(r, ""), "zero-length name");
  }
}

TEST(VrArchive, NegativeOffsetMaskInvertsHighHalf) {
  // Three entries: the third offset's mask 0xB3498395 is negative, so the stored high half
  // is all ones; a reader that widened the mask without sign would read offsets past 4 GiB.
  const std::string bytes = test::BuildArchive(101, {{"a", "1"}, {"b", "2"}, {"c", "3"}});
  const size_t offsets = 2 + 4 + 4 + 3 * 5;
  EXPECT_EQ(uint8_t(bytes[offsets + 2 * 8 + 4]), 0xFF);
  EXPECT_EQ(uint8_t(bytes[offsets + 2 * 8 + 7]), 0xFF);
  TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  TVrFileCollection c;
  c.ReadDirectory(m);
  EXPECT_LT(c.Item(2)->Offset, int64_t(bytes.size()));
}

TEST(VrArchive, WriterRoundTripsEveryVersion) {
  test::TempDir src;
  test::WriteFileBytes(src / "x.txt", "some text some text some text");
  for (int version : {0, 100, 101, 102}) {
    SCOPED_TRACE(version);
    TVrFileCollection w;
    w.SetFolder(src.Path().string());
    w.AddEntry("x.txt");
    w.AddMemoryEntry("mem")->Data->WriteBuffer("abc", 3);
    w.AddEntry("\\EOF\\");  // never written
    const std::string bytes = SaveToString(w, version);
    TVrFileCollection r;
    const std::vector<uint8_t> v(bytes.begin(), bytes.end());
    r.LoadFromResource(TBlobRef::FromBytes(v));
    ASSERT_EQ(r.Count(), 3);
    EXPECT_EQ(Content(r, "x.txt"), "some text some text some text");
    EXPECT_EQ(Content(r, "mem"), "abc");
    EXPECT_FALSE(r.FindEntry("x.txt")->Stored);  // small text compresses
    EXPECT_EQ(r.CheckEntry(*r.FindEntry("mem")), "");
  }
}

TEST(VrArchive, TrailerOnlyForExecutables) {
  TVrFileCollection w;
  w.AddMemoryEntry("data.txt")->Data->WriteBuffer("inside", 6);
  const std::string archive = SaveToString(w);
  std::string exe = "MZ" + std::string(62, '\0') + Noise(100, 2);
  const uint32_t start = uint32_t(exe.size());
  exe += archive;
  test::Put32(exe, start);
  exe += "kt";
  test::TempDir dir;
  for (const char* name : {"game.exe", "GAME.SCR", "Game.Exe"}) {
    SCOPED_TRACE(name);
    test::WriteFileBytes(dir / name, exe);
    TVrFileCollection c;
    c.LoadFromFile(dir / name);
    EXPECT_EQ(Content(c, "data.txt"), "inside");
    auto range = c.OpenRange("data.txt");
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(range->Size(), 6);  // compressed entries come inflated
  }
  // A stray game.001 is not glued to the executable.
  test::WriteFileBytes(dir / "game.001", Noise(50, 3));
  TVrFileCollection stray;
  stray.SetVolumeSize(int64_t(exe.size()));
  stray.LoadFromFile(dir / "game.exe");
  EXPECT_EQ(Content(stray, "data.txt"), "inside");
  // The same bytes under another name are read from position 0: "MZ\0\0" is no directory.
  test::WriteFileBytes(dir / "game.bin", exe);
  TVrFileCollection bin;
  EXPECT_THROW(bin.LoadFromFile(dir / "game.bin"), EVrDamaged);
  EXPECT_EQ(bin.Count(), 0);
  // Damaged trailers.
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string noKt = exe;
  noKt.back() = 'x';
  std::string past = exe;
  past[past.size() - 6] = char(0xF0);  // start beyond the file
  std::string negative = exe;
  negative[negative.size() - 3] = char(0x80);
  for (const Case& k : {Case{"no kt", noKt}, Case{"past", past}, Case{"negative", negative}, Case{"tiny", "kt"}}) {
    test::WriteFileBytes(dir / "bad.exe", k.bytes);
    TVrFileCollection c;
    EXPECT_THROW(c.LoadFromFile(dir / "bad.exe"), EVrDamaged) << k.what;
  }
}

TEST(VrArchive, SeparateDirectoryFile) {
  TVrFileCollection w;
  w.AddMemoryEntry("one")->Data->WriteBuffer("first entry", 11);
  w.AddMemoryEntry("two")->Data->WriteBuffer("second entry", 12);
  std::string archive = SaveToString(w);
  // The directory goes to x.ext; in x.dat it is blanked out, so only x.ext can describe it.
  TMemoryStream probe(std::vector<uint8_t>(archive.begin(), archive.end()));
  TVrFileCollection p;
  p.ReadDirectory(probe);
  const size_t dirEnd = size_t(p.FindEntry("one")->Offset);
  test::TempDir dir;
  test::WriteFileBytes(dir / "x.ext", archive.substr(0, dirEnd));
  test::WriteFileBytes(dir / "x.dat", std::string(dirEnd, '\0') + archive.substr(dirEnd));
  TVrFileCollection c;
  c.LoadFromFile(dir / "x.dat");
  EXPECT_EQ(c.FindEntry("one")->Offset, int64_t(dirEnd));  // absolute in the data file
  EXPECT_EQ(Content(c, "two"), "second entry");
}

TEST(VrArchive, DuplicatesDeleteAndListFolder) {
  TVrFileCollection c;
  c.AddMemoryEntry("Dir\\A.txt")->Data->WriteBuffer("old", 3);
  c.AddMemoryEntry("dir\\a.TXT")->Data->WriteBuffer("new", 3);
  EXPECT_EQ(Content(c, "DIR\\A.TXT"), "new");  // the later one wins
  c.DeleteEntry("dir\\a.txt");
  EXPECT_EQ(Content(c, "dir\\a.txt"), "old");
  c.DeleteEntry("dir\\a.txt");
  c.AddMemoryEntry("dir\\a.txt")->Data->WriteBuffer("replaced", 8);
  EXPECT_EQ(Content(c, "dir\\a.txt"), "replaced");

  // 表 is 95 5C: its trail byte is no folder separator.
  c.AddMemoryEntry("\x95\x5C" "b.txt");
  c.AddMemoryEntry("dir\\\x95\x5C" ".txt");
  c.AddMemoryEntry("save:slot1");
  c.AddMemoryEntry("\\EOF\\");
  std::vector<std::string> list;
  c.ListFolder("", list);
  EXPECT_EQ(list, (std::vector<std::string>{"\x95\x5C" "b.txt"}));
  list = {"\x95\x5C" ".TXT"};
  c.ListFolder("DIR\\", list);  // the bare name already listed: skipped
  EXPECT_EQ(list, (std::vector<std::string>{"\x95\x5C" ".TXT", "dir\\a.txt"}));
  list.clear();
  c.ListFolder("SAVE:", list);
  EXPECT_EQ(list, (std::vector<std::string>{"save:slot1"}));
}

TEST(VrArchive, WriterThresholds) {
  test::TempDir src;
  TVrFileCollection w;
  w.SetFolder(src.Path().string());
  const int64_t t = TVrFileCollection::kStoreThreshold;
  w.AddMemoryEntry("exact")->Data->SetSize(t);
  w.AddMemoryEntry("less")->Data->SetSize(t - 1);
  test::WriteFileBytes(src / "noise.txt", Noise(10000, 4));     // compresses to more than 9/10
  test::WriteFileBytes(src / "text.txt", std::string(10000, 'a'));
  test::WriteFileBytes(src / "music.ogg", std::string(10000, 'a'));  // media stay stored
  for (const char* n : {"noise.txt", "text.txt", "music.ogg"}) w.AddEntry(n)->CrcOfContent = true;
  const std::string bytes = SaveToString(w);
  TVrFileCollection r;
  const std::vector<uint8_t> v(bytes.begin(), bytes.end());
  r.LoadFromResource(TBlobRef::FromBytes(v));
  struct Case {
    const char* name;
    bool stored;
  };
  for (const Case& k : {Case{"exact", true}, Case{"less", false}, Case{"noise.txt", true}, Case{"text.txt", false},
                        Case{"music.ogg", true}}) {
    TVrFile* e = r.FindEntry(k.name);
    ASSERT_NE(e, nullptr) << k.name;
    EXPECT_EQ(e->Stored, k.stored) << k.name;
    EXPECT_EQ(r.CheckEntry(*e), "") << k.name;
    EXPECT_EQ(w.FindEntry(k.name)->Stored, k.stored) << k.name;
  }
  EXPECT_EQ(Content(r, "noise.txt"), Noise(10000, 4));
  EXPECT_EQ(Content(r, "less").size(), size_t(t - 1));
}

TEST(VrArchive, ShouldCompressTable) {
  test::TempDir dir;
  auto zarn = [](const char* tag, int blockLen, uint8_t compression) {
    std::string s = tag;
    test::Put32(s, uint32_t(blockLen));
    std::string block(40, '\0');
    block[22] = char(compression);
    return s + block;
  };
  struct Case {
    const char* name;
    std::string bytes;
    int64_t size;
    bool expect;
  };
  const Case cases[] = {
      {"a.zar", zarn("Zarn103", 40, 1), 0, true},
      {"b.ZAR", zarn("Zarn106", 40, 1), 0, true},
      {"c.zar", zarn("Zarn102", 40, 1), 0, false},
      {"d.zar", zarn("Zarn103", 40, 0), 0, false},
      {"e.zar", zarn("Zarn1x3", 40, 1), 0, false},  // damaged digits: not compressed, no error
      {"f.zar", "Zarn103", 0, false},
      {"g.wav", "x", 1, false},
      {"h.mpeg", "x", 1, false},
      {"i.m", "x", 1, false},  // ".M" occurs in the media list
      {"j.txt", "x", 100, true},
      {"k.txt", "x", TVrFileCollection::kStoreThreshold, false},
      {"noext", "x", 100, true},
  };
  for (const Case& k : cases) {
    test::WriteFileBytes(dir / k.name, k.bytes);
    EXPECT_EQ(TVrFileCollection::ShouldCompress(dir / k.name, k.size), k.expect) << k.name;
  }
}

TEST(VrArchive, DamagedDirectoriesAreRejected) {
  const std::string good = test::BuildArchive(102, {{"aa", "xx"}, {"b", "yyy"}});
  auto patch32 = [&](size_t at, uint32_t v) {
    std::string s = good;
    for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char(uint8_t(v >> (8 * i)));
    return s;
  };
  const size_t offsets = 2 + 4 + 4 + (4 + 2) + (4 + 1);
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"version 103", patch32(2, 103)},
      {"negative version", patch32(2, 0xFFFFFFFF)},
      {"negative count", patch32(6, 0xFFFFFFFF)},
      {"huge count", patch32(6, 0x7FFFFFFF)},
      {"negative name length", patch32(10, 0xFFFFFFFE)},
      {"huge name length", patch32(10, 0x7FFFFFF0)},
      {"offset past the end", patch32(offsets + 16, uint32_t(0x585D35CB ^ 0) ^ 0x00FFFFFF)},
      {"offsets backwards", patch32(offsets + 8, 0x122F42C2 ^ 3)},
      {"offset inside the directory", patch32(offsets, 0x585D35CB ^ 4)},
      {"truncated tables", good.substr(0, offsets + 20)},
      {"empty", ""},
      {"one byte", "v"},
  };
  for (const Case& k : cases) {
    TMemoryStream m(std::vector<uint8_t>(k.bytes.begin(), k.bytes.end()));
    TVrFileCollection c;
    EXPECT_THROW(c.ReadDirectory(m), EVrDamaged) << k.what;
    EXPECT_EQ(c.Count(), 0) << k.what;
  }
}

TEST(VrArchive, EntryReadingFaults) {
  // A compressed entry of size 0 reads as empty; a damaged zlib stream raises; inflating is
  // capped.
  std::string big = test::ZlibOf(std::string(100000, '\0'));
  std::string bytes = test::BuildArchive(101, {{"empty", "", true}, {"bomb", std::string(100000, '\0')}});
  TVrFileCollection c;
  c.LoadFromResource(TBlobRef::FromBytes(std::vector<uint8_t>(bytes.begin(), bytes.end())));
  TVrFile* empty = c.FindEntry("empty");
  empty->Stored = false;  // as a damaged or legacy directory may say
  EXPECT_EQ(Content(c, "empty"), "");
  auto range = c.OpenRange("empty");
  ASSERT_NE(range, nullptr);
  EXPECT_EQ(range->Size(), 0);  // an empty window, not the whole archive
  c.SetInflateLimit(99999);
  EXPECT_THROW(Content(c, "bomb"), EZlibError);
  c.SetInflateLimit(100000);
  EXPECT_EQ(Content(c, "bomb").size(), 100000u);
  c.FindEntry("bomb")->Size -= 3;  // cut the check value off
  EXPECT_THROW(Content(c, "bomb"), EZlibError);
  c.FindEntry("bomb")->Size = 1LL << 40;  // past the archive
  EXPECT_THROW(Content(c, "bomb"), EVrDamaged);

  try {
    Content(c, "missing\\x.png");
    FAIL();
  } catch (const EVrFileNotFound& e) {
    // "%s:ファイルがありません"
    EXPECT_EQ(e.Message(), "missing\\x.png:\x83t\x83@\x83\x43\x83\x8B\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1");
  }
}

TEST(VrArchive, LooseFilesBesideTheArchive) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.Path() / "表" / "Sub");
  test::WriteFileBytes((dir.Path() / "表" / "Sub" / "Pic.PNG").string(), "png bytes");
  test::WriteFileBytes(dir / "secret", "outside");
  TVrFileCollection w;
  w.AddMemoryEntry("in.txt")->Data->WriteBuffer("archived", 8);
  w.SaveToFile(dir / "game.dat");
  TVrFileCollection c;
  c.LoadFromFile(dir / "game.dat");
  EXPECT_EQ(Content(c, "\x95\x5C\\sub\\pic.png"), "png bytes");  // 表\sub\pic.png, any case
  EXPECT_THROW(Content(c, "\x95\x5C\\..\\secret"), EVrFileNotFound);  // never leaves the folder
  EXPECT_THROW(Content(c, "game.dat"), EVrFileNotFound);             // not the archive itself
  c.SetLooseFiles(false);
  EXPECT_THROW(Content(c, "\x95\x5C\\sub\\pic.png"), EVrFileNotFound);
  // A missing archive: empty, anchored at the name itself.
  TVrFileCollection none;
  none.LoadFromFile(dir / "表");
  EXPECT_EQ(none.Count(), 0);
  EXPECT_EQ(Content(none, "Sub\\pic.png"), "png bytes");
}

TEST(VrArchive, SaveFileRewriteIsAtomicAndComplete) {
  test::TempDir dir;
  const std::string save = dir / "save.dat";
  {
    TVrFileCollection c;
    c.SetLooseFiles(false);
    c.LoadFromFile(save);  // no save yet
    c.AddMemoryEntry("STATUSSAVEDATA")->Data->WriteBuffer("status1", 7);
    c.AddMemoryEntry("GAMESAVEDATA1")->Data->WriteBuffer("slot1", 5);
    c.SaveToFile(save);
  }
  // A stray loose file of an entry's name never enters the save.
  test::WriteFileBytes(dir / "GAMESAVEDATA1", "stray");
  TVrFileCollection c;
  c.SetLooseFiles(false);
  c.LoadFromFile(save);
  c.DeleteEntry("STATUSSAVEDATA");
  c.AddMemoryEntry("STATUSSAVEDATA")->Data->WriteBuffer("status2", 7);
  c.AddMemoryEntry("GAMESAVEDATA2")->Data->WriteBuffer(std::string(6000000, 's').data(), 6000000);
  c.SaveToFile(save);  // over its own archive: entries are read from the old file
  EXPECT_EQ(Content(c, "GAMESAVEDATA1"), "slot1");
  EXPECT_EQ(Content(c, "STATUSSAVEDATA"), "status2");
  EXPECT_TRUE(c.FindEntry("GAMESAVEDATA2")->Stored);
  EXPECT_EQ(c.FindEntry("STATUSSAVEDATA")->Data, nullptr);  // the collection stands on the new file
  for (const auto& f : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_EQ(f.path().filename().string().find(".tmp"), std::string::npos) << f.path();

  // A failing entry: the old save stays as it was and no temporary file is left behind.
  std::vector<std::string> errors;
  c.OnWriteError = [&](const std::string& text) { errors.push_back(text); };
  c.AddEntry("ghost");
  const std::string before = test::ReadFileBytes(save);
  EXPECT_THROW(c.SaveToFile(save), EVrFileNotFound);
  EXPECT_TRUE(test::ReadFileBytes(save) == before);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "\x83G\x83\x89\x81[:ghost");  // "エラー:ghost"
  int files = 0;
  for (const auto& f : std::filesystem::directory_iterator(dir.Path())) files += f.is_regular_file();
  EXPECT_EQ(files, 2);  // save.dat and the stray file
}

TEST(VrArchive, SplitVolumesAndRanges) {
  test::TempDir dir;
  TVrFileCollection w;
  const std::string movie = Noise(3000, 5);
  test::WriteFileBytes(dir / "movie.mpg", movie);
  w.SetFolder(dir.Path().string());
  w.AddEntry("movie.mpg");
  w.AddMemoryEntry("note.txt")->Data->WriteBuffer("a note", 6);
  {
    TTpBigFileStream out(dir / "game.dat", TTpBigFileStream::kModeCreate, 1000);
    w.SaveToStream(out);
    EXPECT_EQ(out.VolumeCount(), 4);
  }
  TVrFileCollection c;
  c.SetVolumeSize(1000);
  c.LoadFromFile(dir / "game.dat");
  EXPECT_EQ(Content(c, "movie.mpg"), movie);
  auto r = c.OpenRange("movie.mpg");
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->Size(), 3000);
  std::string got(3000, '\0');
  r->SetPosition(900);
  EXPECT_EQ(r->Read(got.data(), 3000), 2100);
  EXPECT_EQ(got.substr(0, 2100), movie.substr(900));
  EXPECT_EQ(c.OpenRange("nothing"), nullptr);
}

}  // namespace
}  // namespace kest
