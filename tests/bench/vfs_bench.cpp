// Archive reading: inflate-bound entry reads, opening a large directory, range reads.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "vfs/bigstreams.h"
#include "vfs/vrfiles.h"
#include "vfs/vrmanager.h"

namespace {

using namespace kest;

// Text-like content that compresses about 3:1 at level 1.
std::vector<uint8_t> SampleContent(size_t n) {
  static const char* words[] = {"\x82\xA0\x82\xA2", "scene", "\x8A\xBF\x8E\x9A", "bgm\\title.ogg", "cg01.zar",
                                "@TextDelay", "\x81\x40", "message", "01234", "\r\n"};
  std::mt19937 rng(11);
  std::vector<uint8_t> out;
  out.reserve(n);
  while (out.size() < n) {
    const char* w = words[rng() % 10];
    while (*w && out.size() < n) out.push_back(uint8_t(*w++));
    if (rng() % 4 == 0 && out.size() < n) out.push_back(uint8_t(rng()));
  }
  return out;
}

struct Fixture {
  std::filesystem::path dir;
  std::string bigArchive, manyArchive, rawFile;
  std::vector<uint8_t> content, compressed;

  Fixture() {
    std::string t = (std::filesystem::temp_directory_path() / "kestbench-XXXXXX").string();
    if (!::mkdtemp(t.data())) std::abort();
    dir = t;
    content = SampleContent(4 << 20);
    uLongf n = compressBound(uLong(content.size()));
    compressed.resize(n);
    compress2(compressed.data(), &n, content.data(), uLong(content.size()), 1);
    compressed.resize(n);

    bigArchive = (dir / "big.dat").string();
    TVrFileCollection w;
    // Just under the store threshold, so the entry is compressed.
    w.AddMemoryEntry("scenario.txt")
        ->Data->WriteBuffer(content.data(), std::min<int64_t>(int64_t(content.size()), TVrFileCollection::kStoreThreshold - 1));
    w.SaveToFile(bigArchive);

    manyArchive = (dir / "many.dat").string();
    TVrFileCollection m;
    for (int i = 0; i < 50000; ++i) {
      TVrFile* e = m.AddMemoryEntry("cg\\ev" + std::to_string(i) + ".zar");
      e->Data->WriteBuffer("x", 1);
    }
    m.SaveToFile(manyArchive);

    rawFile = (dir / "movie.mpg").string();
    TMemoryStream raw(SampleContent(32 << 20));
    raw.SaveToFile(rawFile);
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Fixture& F() {
  static Fixture f;
  return f;
}

void InflateBaseline(benchmark::State& st) {
  Fixture& f = F();
  // The same bytes the archive holds for its entry.
  TVrFileCollection c;
  c.LoadFromFile(f.bigArchive);
  TVrFile* e = c.FindEntry("scenario.txt");
  std::vector<uint8_t> z(size_t(e->Size));
  c.Stream()->SetPosition(e->Offset);
  c.Stream()->ReadBuffer(z.data(), e->Size);
  std::vector<uint8_t> out(size_t(TVrFileCollection::kStoreThreshold));
  uLongf n = 0;
  for (auto _ : st) {
    n = uLongf(out.size());
    uncompress(out.data(), &n, z.data(), uLong(z.size()));
    benchmark::DoNotOptimize(out.data());
  }
  st.SetBytesProcessed(int64_t(st.iterations() * n));
}
BENCHMARK(InflateBaseline)->Name("VfInflate/baseline_uncompress")->Unit(benchmark::kMillisecond);

void InflateReadEntry(benchmark::State& st) {
  Fixture& f = F();
  TVrFileCollection c;
  c.LoadFromFile(f.bigArchive);
  TMemoryStream m;
  for (auto _ : st) {
    c.ReadEntry(m, "scenario.txt");
    benchmark::DoNotOptimize(m.Memory());
  }
  st.SetBytesProcessed(int64_t(st.iterations() * m.Size()));
}
BENCHMARK(InflateReadEntry)->Name("VfInflate/ReadEntry")->Unit(benchmark::kMillisecond);

void OpenBaseline(benchmark::State& st) {
  // Reading the directory's bytes into memory: the least any directory reader must do.
  Fixture& f = F();
  TVrFileCollection c;
  c.LoadFromFile(f.manyArchive);
  const int64_t dirSize = c.Item(0)->Offset;
  std::vector<uint8_t> buf(static_cast<size_t>(dirSize));
  for (auto _ : st) {
    TFileStream s(f.manyArchive, TFileAccess::Read);
    s.ReadBuffer(buf.data(), dirSize);
    benchmark::DoNotOptimize(buf.data());
  }
}
BENCHMARK(OpenBaseline)->Name("VfOpen/baseline_read_directory_bytes")->Unit(benchmark::kMillisecond);

void Open50k(benchmark::State& st) {
  Fixture& f = F();
  for (auto _ : st) {
    TVrFileCollection c;
    c.LoadFromFile(f.manyArchive);
    benchmark::DoNotOptimize(c.Count());
  }
}
BENCHMARK(Open50k)->Name("VfOpen/LoadFromFile_50000_entries")->Unit(benchmark::kMillisecond);

void RangeBaseline(benchmark::State& st) {
  Fixture& f = F();
  const int fd = ::open(f.rawFile.c_str(), O_RDONLY);
  const int64_t size = int64_t(std::filesystem::file_size(f.rawFile));
  std::vector<uint8_t> buf(65536);
  int64_t pos = 0;
  for (auto _ : st) {
    if (pos + 65536 > size) pos = 0;
    benchmark::DoNotOptimize(::pread(fd, buf.data(), buf.size(), off_t(pos)));
    pos += 65536;
  }
  ::close(fd);
  st.SetBytesProcessed(int64_t(st.iterations() * 65536));
}
BENCHMARK(RangeBaseline)->Name("VfRange/baseline_pread_64k")->Unit(benchmark::kMicrosecond);

void RangeRead(benchmark::State& st) {
  Fixture& f = F();
  TFileRangeStream r(f.rawFile, TRangeStream::kWhole, 0);
  std::vector<uint8_t> buf(65536);
  for (auto _ : st) {
    if (r.Read(buf.data(), 65536) < 65536) r.SetPosition(0);
    benchmark::DoNotOptimize(buf.data());
  }
  st.SetBytesProcessed(int64_t(st.iterations() * 65536));
}
BENCHMARK(RangeRead)->Name("VfRange/TFileRangeStream_read_64k")->Unit(benchmark::kMicrosecond);

}  // namespace

namespace {

// Name lookups of the file manager: a mix of archive hits, loose-file hits and misses.
struct LookupFixture {
  std::filesystem::path dir;
  std::unique_ptr<kest::TVrFileManager> m;
  std::vector<std::string> names;
  LookupFixture() {
    std::string t = (std::filesystem::temp_directory_path() / "kestbench-XXXXXX").string();
    if (!::mkdtemp(t.data())) std::abort();
    dir = t;
    std::filesystem::create_directories(dir / "Data" / "CG");
    for (int i = 0; i < 200; ++i) kest::TMemoryStream().SaveToFile((dir / "Data" / "CG" / ("Loose" + std::to_string(i) + ".PNG")).string());
    kest::TVrFileCollection c;
    for (int i = 0; i < 5000; ++i) c.AddMemoryEntry("cg\\ev" + std::to_string(i) + ".zar")->Data->WriteBuffer("x", 1);
    c.SaveToFile((dir / "game.dat").string());
    m = std::make_unique<kest::TVrFileManager>(nullptr, dir.string());
    m->AddArchive("");
    m->SetBaseFolder(dir.string());
    m->AddArchive((dir / "game.dat").string());
    for (int i = 0; i < 100; ++i) {
      names.push_back("cg\\EV" + std::to_string(i * 37) + ".zar");          // archive hit
      names.push_back("data\\cg\\loose" + std::to_string(i) + ".png");      // loose hit, other case
      names.push_back("data\\cg\\missing" + std::to_string(i) + ".png");    // miss
    }
  }
  ~LookupFixture() {
    m.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

LookupFixture& L() {
  static LookupFixture f;
  return f;
}

void ExistsBaseline(benchmark::State& st) {
  // One stat() of an existing file: what any loose-file lookup costs at least.
  const std::string path = (L().dir / "Data" / "CG" / "Loose1.PNG").string();
  struct stat s;
  for (auto _ : st) benchmark::DoNotOptimize(::stat(path.c_str(), &s));
}
BENCHMARK(ExistsBaseline)->Name("VfExists/baseline_stat");

void ExistsMix(benchmark::State& st) {
  LookupFixture& f = L();
  size_t k = 0;
  for (auto _ : st) benchmark::DoNotOptimize(f.m->Exists(f.names[k++ % f.names.size()]));
}
BENCHMARK(ExistsMix)->Name("VfExists/Exists_mixed_hits_and_misses");

}  // namespace
