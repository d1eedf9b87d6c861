#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "tests/vfs/temp_dir.h"
#include "vfs/records.h"
#include "vfs/streams.h"

namespace kest {
namespace {

using test::Bytes;

std::string Contents(const TMemoryStream& m) { return std::string(m.Bytes().begin(), m.Bytes().end()); }

TMemoryStream FromBytes(const std::string& s) { return TMemoryStream(std::vector<uint8_t>(s.begin(), s.end())); }

TEST(MemoryStream, ReadWriteSeekAndGaps) {
  TMemoryStream m;
  m.WriteBuffer("abc", 3);
  EXPECT_EQ(m.Position(), 3);
  m.SetPosition(5);  // beyond the end: the gap is zero-filled by the next write
  m.WriteBuffer("Z", 1);
  EXPECT_EQ(Contents(m), Bytes({'a', 'b', 'c', 0, 0, 'Z'}));
  EXPECT_EQ(m.Seek(-2, TSeekOrigin::End), 4);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 2);  // short at the end
  EXPECT_EQ(m.Read(buf, 8), 0);
  m.SetPosition(-7);
  EXPECT_EQ(m.Position(), 0);
  m.SetSize(2);
  EXPECT_EQ(Contents(m), "ab");
  m.SetPosition(10);
  m.SetSize(1);
  EXPECT_EQ(m.Position(), 1);  // clipped with the size
  char one;
  m.SetPosition(1);
  EXPECT_THROW(m.ReadBuffer(&one, 1), EReadError);
}

TEST(BlobStream, ReadOnlyAndClamped) {
  static const char data[] = "hello";
  TBlobStream b(data, 5);
  b.SetPosition(99);
  EXPECT_EQ(b.Position(), 5);
  b.SetPosition(1);
  char buf[8] = {};
  EXPECT_EQ(b.Read(buf, 8), 4);
  EXPECT_STREQ(buf, "ello");
  EXPECT_THROW(b.Write("x", 1), EStreamError);
  EXPECT_NE(b.Memory(), nullptr);
}

TEST(FileStream, CreateWriteReopenAndIndependentPositions) {
  test::TempDir dir;
  const std::string path = dir / "f.bin";
  {
    TFileStream f(path, TFileAccess::Create);
    f.WriteBuffer("0123456789", 10);
    f.SetPosition(12);
    f.WriteBuffer("X", 1);
    EXPECT_EQ(f.Size(), 13);
    f.Flush();
  }
  EXPECT_EQ(test::ReadFileBytes(path), std::string("0123456789\0\0X", 13));
  TFileStream a(path, TFileAccess::Read), b(path, TFileAccess::Read);
  a.SetPosition(2);
  b.SetPosition(7);
  char x[3] = {}, y[3] = {};
  a.ReadBuffer(x, 2);
  b.ReadBuffer(y, 2);
  EXPECT_EQ(std::string(x), "23");
  EXPECT_EQ(std::string(y), "78");
  char z[4];
  EXPECT_EQ(a.ReadAt(11, z, 4), 2);
  EXPECT_EQ(a.Position(), 4);  // ReadAt leaves the position alone
  EXPECT_THROW(a.Write("q", 1), EStreamError);
  EXPECT_THROW(a.SetSize(1), EStreamError);
  {
    TFileStream rw(path, TFileAccess::ReadWrite);
    rw.SetSize(4);
  }
  EXPECT_EQ(test::ReadFileBytes(path), "0123");
}

TEST(FileStream, MissingFileOrFolderRaises) {
  test::TempDir dir;
  EXPECT_THROW(TFileStream(dir / "none", TFileAccess::Read), EStreamError);
  EXPECT_THROW(TFileStream(dir.Path().string(), TFileAccess::Read), EStreamError);
  EXPECT_THROW(TFileStream(dir / "none/x", TFileAccess::Create), EStreamError);
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  EXPECT_THROW(TFileStream(dir / "pipe", TFileAccess::Read), EStreamError);  // refused, never waited on
  test::WriteFileBytes(dir / "exists", "x");
  EXPECT_THROW(TFileStream(dir / "exists", TFileAccess::CreateNew), EStreamError);
}

TEST(MemoryStream, FileRoundTrip) {
  test::TempDir dir;
  TMemoryStream m = FromBytes("payload");
  m.SaveToFile(dir / "p");
  TMemoryStream back;
  back.LoadFromFile(dir / "p");
  EXPECT_EQ(Contents(back), "payload");
  EXPECT_EQ(back.Position(), 0);
}

// Hand-computed encodings of every primitive.
TEST(Records, EncodingsByteForByte) {
  struct Case {
    const char* what;
    void (*write)(TStream&);
    std::string bytes;
  };
  const Case cases[] = {
      {"empty string", [](TStream& s) { WriteString(s, ""); }, Bytes({0, 0, 0, 0})},
      {"string", [](TStream& s) { WriteString(s, "\x95\x5C" "a"); }, Bytes({3, 0, 0, 0, 0x95, 0x5C, 'a'})},
      {"int32 -2", [](TStream& s) { WriteInt(s, -2); }, Bytes({0xFE, 0xFF, 0xFF, 0xFF})},
      {"int32", [](TStream& s) { WriteInt(s, 0x12345678); }, Bytes({0x78, 0x56, 0x34, 0x12})},
      {"int64", [](TStream& s) { WriteInt64(s, -0x0102030405060708LL); },
       Bytes({0xF8, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE})},
      {"int16", [](TStream& s) { WriteInt16(s, -2); }, Bytes({0xFE, 0xFF})},
      {"byte", [](TStream& s) { WriteByte(s, 0xAB); }, Bytes({0xAB})},
      {"bool", [](TStream& s) { WriteBool(s, true); }, Bytes({1})},
      {"real 1.5", [](TStream& s) { WriteReal(s, 1.5L); }, Bytes({0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F})},
      {"real -2", [](TStream& s) { WriteReal(s, -2.0L); }, Bytes({0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0xC0})},
      {"array", [](TStream& s) { WriteArrayString(s, {"a", ""}); },
       Bytes({2, 0, 0, 0, 1, 0, 0, 0, 'a', 0, 0, 0, 0})},
  };
  for (const Case& c : cases) {
    TMemoryStream m;
    c.write(m);
    EXPECT_EQ(Contents(m), c.bytes) << c.what;
  }
}

TEST(Records, ReadBackAndLenientForms) {
  TMemoryStream m = FromBytes(Bytes({0xFB, 0xFF, 0xFF, 0xFF,  // string n = -5: empty, nothing more read
                                     2, 0, 0, 0, 'h', 'i',    // "hi"
                                     0x7F,                    // bool: any non-zero is true
                                     0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // int64 -1
                                     0xFF, 0xFF, 0xFF, 0xFF}));                      // array count -1
  EXPECT_EQ(ReadString(m), "");
  EXPECT_EQ(m.Position(), 4);
  EXPECT_EQ(ReadString(m), "hi");
  EXPECT_TRUE(ReadBool(m));
  EXPECT_EQ(ReadInt64(m), -1);
  EXPECT_TRUE(ReadArrayString(m).empty());
  EXPECT_EQ(m.Remaining(), 0);

  TMemoryStream r;
  const long double values[] = {0.0L, -0.0L, 16.666666666666668L, std::numeric_limits<long double>::denorm_min(),
                                -std::numeric_limits<long double>::infinity()};
  for (long double v : values) WriteReal(r, v);
  r.SetPosition(0);
  for (long double v : values) {
    const long double got = ReadReal(r);
    EXPECT_EQ(std::memcmp(&got, &v, 10), 0) << double(v);
  }
}

// Every truncated record raises instead of answering garbage, and a huge count is refused
// before anything is allocated.
TEST(Records, TruncatedInputRaises) {
  struct Case {
    const char* what;
    std::string bytes;
    void (*read)(TStream&);
  };
  const Case cases[] = {
      {"int32", Bytes({1, 2, 3}), [](TStream& s) { ReadInt(s); }},
      {"int64", Bytes({1, 2, 3, 4, 5, 6, 7}), [](TStream& s) { ReadInt64(s); }},
      {"byte", "", [](TStream& s) { ReadByte(s); }},
      {"real", Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0}), [](TStream& s) { ReadReal(s); }},
      {"string body", Bytes({5, 0, 0, 0, 'a', 'b'}), [](TStream& s) { ReadString(s); }},
      {"string count", Bytes({0xFF, 0xFF, 0xFF, 0x7F}), [](TStream& s) { ReadString(s); }},
      {"array count", Bytes({0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0}), [](TStream& s) { ReadArrayString(s); }},
      {"array item", Bytes({2, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0}), [](TStream& s) { ReadArrayString(s); }},
  };
  for (const Case& c : cases) {
    TMemoryStream m = FromBytes(c.bytes);
    EXPECT_THROW(c.read(m), EReadError) << c.what;
  }
}

// A source that is not a memory stream, handing out at most 3 bytes a call.
class Trickle : public TStream {
 public:
  explicit Trickle(std::string s) : s_(std::move(s)) {}
  int64_t Size() const override { return int64_t(s_.size()); }
  int64_t Position() const override { return pos_; }
  void SetPosition(int64_t p) override { pos_ = std::clamp<int64_t>(p, 0, Size()); }
  int64_t Read(void* b, int64_t n) override {
    n = std::min<int64_t>({n, 3, Size() - pos_});
    std::memcpy(b, s_.data() + pos_, size_t(n));
    pos_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }

 private:
  std::string s_;
  int64_t pos_ = 0;
};

TEST(CopyStream, WholeSourcePartialAndShort) {
  for (bool memorySource : {true, false}) {
    SCOPED_TRACE(memorySource ? "memory source" : "buffered source");
    std::unique_ptr<TStream> src;
    if (memorySource)
      src = std::make_unique<TMemoryStream>(std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 'f', 'g'});
    else
      src = std::make_unique<Trickle>("abcdefg");
    TMemoryStream dst;
    src->SetPosition(5);
    EXPECT_EQ(CopyStream(dst, *src, 0), 7);  // count 0: whole source from its start
    EXPECT_EQ(Contents(dst), "abcdefg");
    src->SetPosition(2);
    TMemoryStream part;
    EXPECT_EQ(CopyStream(part, *src, 4), 4);
    EXPECT_EQ(Contents(part), "cdef");
    EXPECT_EQ(src->Position(), 6);
    TMemoryStream shortCopy;
    EXPECT_THROW(CopyStream(shortCopy, *src, 5), EReadError);  // only 1 byte remains
    EXPECT_EQ(Contents(shortCopy), "g");
  }
}

TEST(CopyStream, FileToFile) {
  test::TempDir dir;
  std::string big(3 * 1048576 + 17, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 131 + (i >> 9));
  test::WriteFileBytes(dir / "a", big);
  TFileStream a(dir / "a", TFileAccess::Read);
  {
    TFileStream b(dir / "b", TFileAccess::Create);
    EXPECT_EQ(CopyStream(b, a, 0), int64_t(big.size()));
  }
  EXPECT_EQ(test::ReadFileBytes(dir / "b"), big);
}

}  // namespace
}  // namespace kest
