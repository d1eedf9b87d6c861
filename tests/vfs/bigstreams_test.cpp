#include <gtest/gtest.h>

#include <thread>

#include "tests/vfs/temp_dir.h"
#include "vfs/bigstreams.h"

namespace kest {
namespace {

std::string Pattern(size_t n, int salt = 0) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 7 + salt) & 0xFF);
  return s;
}

constexpr uint16_t kRead = TTpBigFileStream::kModeRead | TTpBigFileStream::kShareDenyWrite;

TEST(BigFileStream, VolumeNames) {
  EXPECT_EQ(TTpBigFileStream::VolumeName("/a/game.dat", 0), "/a/game.dat");
  EXPECT_EQ(TTpBigFileStream::VolumeName("/a/game.dat", 1), "/a/game.001");
  EXPECT_EQ(TTpBigFileStream::VolumeName("/a/game.dat", 12), "/a/game.012");
  EXPECT_EQ(TTpBigFileStream::VolumeName("/a.b/game", 2), "/a.b/game.002");
}

TEST(BigFileStream, WritesAndReadsAcrossVolumes) {
  test::TempDir dir;
  const std::string name = dir / "game.dat";
  test::WriteFileBytes(dir / "game.003", "stale");  // create mode removes only the chain 0, 1, 2...
  test::WriteFileBytes(dir / "game.001", "stale");
  const std::string data = Pattern(150);
  {
    TTpBigFileStream w(name, TTpBigFileStream::kModeCreate, 64);
    w.WriteBuffer(data.data(), 100);
    w.WriteBuffer(data.data() + 100, 50);
    EXPECT_EQ(w.VolumeCount(), 3);
  }
  EXPECT_EQ(test::ReadFileBytes(dir / "game.dat"), data.substr(0, 64));
  EXPECT_EQ(test::ReadFileBytes(dir / "game.001"), data.substr(64, 64));
  EXPECT_EQ(test::ReadFileBytes(dir / "game.002"), data.substr(128));

  TTpBigFileStream r(name, kRead, 64);
  EXPECT_EQ(r.Size(), 150);  // the sum of the volumes
  r.SetPosition(54);          // 10 bytes before the end of volume 0
  char buf[30];
  EXPECT_EQ(r.Read(buf, 30), 30);
  EXPECT_EQ(std::string(buf, 30), data.substr(54, 30));
  r.SetPosition(1000);
  EXPECT_EQ(r.Position(), 150);  // stops at the end
  EXPECT_EQ(r.Read(buf, 30), 0);
  r.SetPosition(-3);
  EXPECT_EQ(r.Position(), 0);
  EXPECT_THROW(r.Write("x", 1), EStreamError);

  // Read-write: overwrite across a boundary, then grow into a new volume.
  {
    TTpBigFileStream rw(name, TTpBigFileStream::kModeReadWrite, 64);
    rw.SetPosition(60);
    rw.WriteBuffer("ABCDEFGH", 8);
    rw.SetPosition(rw.Size());
    rw.WriteBuffer(Pattern(70).data(), 70);
    EXPECT_EQ(rw.Size(), 220);
  }
  EXPECT_EQ(test::ReadFileBytes(dir / "game.dat").substr(60), "ABCD");
  EXPECT_EQ(test::ReadFileBytes(dir / "game.001").substr(0, 4), "EFGH");
  EXPECT_EQ(test::ReadFileBytes(dir / "game.002").size(), 64u);
  EXPECT_EQ(test::ReadFileBytes(dir / "game.003").size(), 28u);  // the stale file was replaced
}

TEST(BigFileStream, ShortVolumeEndsTheSet) {
  // game.dat shorter than a volume: a game.001 beside it cannot be placed and is not taken,
  // so no read ever goes negative or lands in the wrong volume.
  test::TempDir dir;
  test::WriteFileBytes(dir / "game.dat", Pattern(40));
  test::WriteFileBytes(dir / "game.001", Pattern(64, 1));
  test::WriteFileBytes(dir / "game.002", Pattern(64, 2));
  TTpBigFileStream r(dir / "game.dat", kRead, 64);
  EXPECT_EQ(r.VolumeCount(), 1);
  EXPECT_EQ(r.Size(), 40);
  char buf[64];
  r.SetPosition(30);
  EXPECT_EQ(r.Read(buf, 64), 10);
}

TEST(BigFileStream, SingleFileIgnoresVolumes) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "game.exe", Pattern(64));
  test::WriteFileBytes(dir / "game.001", Pattern(64, 1));
  TTpBigFileStream r(dir / "game.exe", kRead, 64, false);
  EXPECT_EQ(r.Size(), 64);
  EXPECT_THROW(TTpBigFileStream(dir / "none.dat", kRead, 64), EStreamError);
}

TEST(BuffBigStream, ReadAheadAndGiveBack) {
  TMemoryStream src(std::vector<uint8_t>(200000, 7));
  {
    TTpBuffBigStream b(src);
    char buf[10];
    EXPECT_EQ(b.Read(buf, 10), 10);
    EXPECT_EQ(src.Position(), 102400);  // one buffer read ahead
    EXPECT_EQ(b.Position(), 10);
  }
  EXPECT_EQ(src.Position(), 10);  // moved back by the 102,390 unread bytes
  {
    TTpBuffBigStream b(src);
    std::vector<uint8_t> all(300000);
    EXPECT_EQ(b.Read(all.data(), 300000), 199990);  // past the end: short, no hang
    EXPECT_EQ(b.Read(all.data(), 5), 0);
  }
  EXPECT_EQ(src.Position(), 200000);
}

TEST(RangeStream, SeekClipAndRead) {
  test::TempDir dir;
  const std::string data = Pattern(2000);
  test::WriteFileBytes(dir / "a.dat", data);
  TFileRangeStream r(dir / "a.dat", 100, 1000);
  EXPECT_EQ(r.Size(), 100);
  EXPECT_EQ(r.Seek(0, TSeekOrigin::End), 100);
  EXPECT_EQ(r.Seek(-5, TSeekOrigin::Begin), 0);
  EXPECT_EQ(r.Seek(500, TSeekOrigin::Current), 100);
  EXPECT_EQ(r.Seek(80, TSeekOrigin::Begin), 80);
  char buf[50];
  EXPECT_EQ(r.Read(buf, 50), 20);
  EXPECT_EQ(std::string(buf, 20), data.substr(1080, 20));
  EXPECT_EQ(r.Read(buf, 50), 0);
  EXPECT_EQ(r.Write("x", 1), 0);

  TFileRangeStream empty(dir / "a.dat", 0, 500);  // a zero-length window is empty
  EXPECT_EQ(empty.Size(), 0);
  EXPECT_EQ(empty.Read(buf, 50), 0);
  TFileRangeStream whole(dir / "a.dat", TRangeStream::kWhole, 1990);
  EXPECT_EQ(whole.Size(), 10);
  TFileRangeStream cut(dir / "a.dat", 100, 1950);  // cut to the file
  EXPECT_EQ(cut.Size(), 50);

  const std::vector<uint8_t> bytes(data.begin(), data.end());
  TResourceRangeStream res(TBlobRef::FromBytes(bytes), 4, 10);
  EXPECT_EQ(res.Read(buf, 50), 4);
  EXPECT_EQ(std::string(buf, 4), data.substr(10, 4));
}

TEST(RangeStream, AcrossVolumesAndFromTwoThreads) {
  test::TempDir dir;
  const std::string data = Pattern(256 * 40, 3);
  {
    TTpBigFileStream w(dir / "g.dat", TTpBigFileStream::kModeCreate, 256);
    w.WriteBuffer(data.data(), int64_t(data.size()));
  }
  TFileRangeStream a(dir / "g.dat", 5000, 100, true, 256);
  TFileRangeStream b(dir / "g.dat", 4000, 5200, true, 256);
  auto reader = [](TRangeStream* r, const std::string* expect, int64_t start, bool* ok) {
    *ok = true;
    for (int round = 0; round < 50 && *ok; ++round) {
      r->SetPosition(0);
      std::string got(size_t(r->Size()), '\0');
      int64_t done = 0;
      while (done < r->Size()) {
        const int64_t n = r->Read(got.data() + done, 333);
        if (n <= 0) break;
        done += n;
      }
      *ok = got == expect->substr(size_t(start), size_t(r->Size()));
    }
  };
  bool okA = false, okB = false;
  std::thread ta(reader, &a, &data, 100, &okA), tb(reader, &b, &data, 5200, &okB);
  ta.join();
  tb.join();
  EXPECT_TRUE(okA);
  EXPECT_TRUE(okB);
}

}  // namespace
}  // namespace kest
