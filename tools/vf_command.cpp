// kesttool vf: list, extract, pack and verify "vf" archives.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/sjis.h"
#include "tools/kesttool.h"
#include "vfs/bigstreams.h"
#include "vfs/paths.h"
#include "vfs/records.h"
#include "vfs/vrfiles.h"
#include "vfs/vrmanager.h"

namespace kest::tool {
namespace {

namespace fs = std::filesystem;

bool EndsWithTrailer(const std::string& path) {
  try {
    TFileStream f(path, TFileAccess::Read);
    if (f.Size() < 6) return false;
    char t[2];
    f.SetPosition(f.Size() - 2);
    f.ReadBuffer(t, 2);
    return t[0] == 'k' && t[1] == 't';
  } catch (const EKest&) {
    return false;
  }
}

// Opens an archive; a file of another name that ends in the "kt" trailer is taken as an
// executable with its archive appended.
void Open(TVrFileCollection& c, const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "kesttool vf: no such archive: %s\n", path.c_str());
    std::exit(1);
  }
  try {
    c.LoadFromFile(path);
  } catch (const EVrDamaged&) {
    if (!EndsWithTrailer(path)) throw;
    c.LoadAppended(path);
  }
}

bool IsTerminator(const TVrFile& e) { return e.Name() == TVrFileCollection::kTerminator; }

// Takes "--volume-size BYTES" out of the words (the volume size of split archives).
int64_t TakeVolumeSize(std::vector<std::string>& a) {
  int64_t size = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != "--volume-size") continue;
    if (i + 1 >= a.size()) throw EKest("kesttool vf: --volume-size needs a value");
    size = std::strtoll(a[i + 1].c_str(), nullptr, 10);
    if (size <= 0) throw EKest("kesttool vf: --volume-size must be positive");
    a.erase(a.begin() + std::ptrdiff_t(i), a.begin() + std::ptrdiff_t(i) + 2);
    --i;
  }
  return size;
}

int List(std::vector<std::string> a) {
  const int64_t volumeSize = TakeVolumeSize(a);
  if (a.size() != 1) return -1;
  TVrFileCollection c;
  c.SetVolumeSize(volumeSize);
  Open(c, a[0]);
  for (int i = 0; i < c.Count(); ++i) {
    const TVrFile* e = c.Item(i);
    if (IsTerminator(*e)) continue;
    std::printf("%s\t%lld\t%s\t%08x\n", Cp932ToUtf8(e->Name()).c_str(), (long long)e->Size,
                e->Stored ? "stored" : "zlib", unsigned(e->Crc));
  }
  return 0;
}

int Extract(std::vector<std::string> a) {
  const int64_t volumeSize = TakeVolumeSize(a);
  if (a.size() != 2) return -1;
  TVrFileCollection c;
  c.SetVolumeSize(volumeSize);
  Open(c, a[0]);
  c.SetLooseFiles(false);  // only what the archive holds
  int bad = 0;
  for (int i = 0; i < c.Count(); ++i) {
    const TVrFile* e = c.Item(i);
    if (IsTerminator(*e)) continue;
    // The later of two equal names wins, as in the player: skip the earlier one.
    if (c.IndexOf(e->Name()) != i) continue;
    const std::string shown = Cp932ToUtf8(e->Name());
    auto parts = SplitRelativeName(e->Name(), true);  // "save:slot1" is a file name here
    if (!parts || parts->empty()) {
      std::fprintf(stderr, "kesttool vf: skipped an entry whose name leaves the folder: \"%s\"\n", shown.c_str());
      ++bad;
      continue;
    }
    fs::path out = a[1];
    for (const std::string& p : *parts) out /= Cp932ToUtf8(p);
    try {
      fs::create_directories(out.parent_path());
      TMemoryStream m;
      c.ReadEntry(m, e->Name());
      m.SaveToFile(out.string());
    } catch (const std::exception& ex) {
      std::fprintf(stderr, "kesttool vf: %s: %s\n", shown.c_str(), Cp932ToUtf8(ex.what()).c_str());
      ++bad;
    }
  }
  return bad ? 1 : 0;
}

int Pack(std::vector<std::string> a) {
  int version = TVrFileCollection::kVersion;
  std::string appendTo;
  const int64_t volumeSize = TakeVolumeSize(a);
  std::vector<std::string> pos;
  for (size_t i = 0; i < a.size(); ++i) {
    auto value = [&]() -> std::string {
      if (i + 1 >= a.size()) throw EKest("kesttool vf pack: " + a[i] + " needs a value");
      return a[++i];
    };
    if (a[i] == "--version") {
      version = std::atoi(value().c_str());
      if (version != 0 && version != 100 && version != 101 && version != 102)
        throw EKest("kesttool vf pack: --version is one of 0, 100, 101, 102");
    } else if (a[i] == "--append-to") {
      appendTo = value();
    } else if (a[i].rfind("--", 0) == 0) {
      throw EKest("kesttool vf pack: unknown option " + a[i]);
    } else {
      pos.push_back(a[i]);
    }
  }
  if (pos.size() != 2) return -1;
  if (!appendTo.empty() && volumeSize) throw EKest("kesttool vf pack: --append-to and --volume-size exclude each other");
  const std::string out = pos[0];
  const fs::path dir = pos[1];
  if (!fs::is_directory(dir)) throw EKest("kesttool vf pack: not a folder: " + Utf8ToCp932(dir.string()));

  std::vector<std::string> names;
  std::error_code ec;
  const fs::path outAbs = fs::weakly_canonical(out, ec);
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
    if (!it->is_regular_file()) continue;
    if (fs::weakly_canonical(it->path(), ec) == outAbs) continue;  // never pack the output into itself
    std::string rel = fs::relative(it->path(), dir).generic_string();
    const std::string cp = Utf8ToCp932(rel);
    if (Cp932ToUtf8(cp) != rel)
      throw EKest("kesttool vf pack: a file name has no Shift-JIS form: " + cp);
    std::string name;
    for (char ch : cp) name += ch == '/' ? '\\' : ch;  // "/" never occurs inside a CP932 pair
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());

  TVrFileCollection c;
  c.SetFolder(dir.string());
  c.OnWriteError = [](const std::string& text) { std::fprintf(stderr, "kesttool vf: %s\n", Cp932ToUtf8(text).c_str()); };
  for (const std::string& n : names) c.AddEntry(n)->CrcOfContent = version >= 102;

  if (!appendTo.empty()) {
    TMemoryStream exe;
    exe.LoadFromFile(appendTo);
    if (exe.Size() > INT32_MAX) throw EKest("kesttool vf pack: the executable is too large for the trailer");
    TFileStream f(out, TFileAccess::Create);
    exe.SaveToStream(f);
    const int32_t start = int32_t(f.Position());
    c.SaveToStream(f, version);
    WriteInt(f, start);
    f.WriteBuffer("kt", 2);
    f.Flush();
    ::chmod(out.c_str(), 0755);
  } else if (volumeSize) {
    TTpBigFileStream f(out, TTpBigFileStream::kModeCreate, volumeSize);
    c.SaveToStream(f, version);
    f.Flush();
  } else {
    TTpBigFileStream f(out, TTpBigFileStream::kModeCreate);
    c.SaveToStream(f, version);
    f.Flush();
  }
  return 0;
}

int Verify(std::vector<std::string> a) {
  const int64_t volumeSize = TakeVolumeSize(a);
  if (a.size() != 1) return -1;
  TVrFileCollection c;
  c.SetVolumeSize(volumeSize);
  Open(c, a[0]);
  int entries = 0, bad = 0;
  for (int i = 0; i < c.Count(); ++i) {
    const TVrFile* e = c.Item(i);
    if (IsTerminator(*e)) continue;
    ++entries;
    const std::string problem = c.CheckEntry(*e);
    if (!problem.empty()) {
      std::printf("%s\t%s\n", Cp932ToUtf8(e->Name()).c_str(), problem.c_str());
      ++bad;
    }
  }
  if (c.Version() < 101) std::printf("version %d archives carry no CRCs: only the compressed data was checked\n", c.Version());
  std::printf("%d entries, %d damaged\n", entries, bad);
  return bad ? 1 : 0;
}

// Where a title name resolves, registered as the player registers a title folder named on
// its command line: the in-memory collection, the folder as base folder, its game.dat,
// and the disc folders of its game.ini (and --disc DIR options).
int Find(std::vector<std::string> a) {
  std::vector<std::string> discFolders;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != "--disc") continue;
    if (i + 1 >= a.size()) throw EKest("kesttool vf find: --disc needs a folder");
    discFolders.push_back(a[i + 1]);
    a.erase(a.begin() + std::ptrdiff_t(i), a.begin() + std::ptrdiff_t(i) + 2);
    --i;
  }
  if (a.size() != 2) return -1;
  std::string title = a[0];
  std::string appended;
  if (fs::is_regular_file(title)) {  // an archive or a player with one appended
    appended = title;
    title = fs::path(title).parent_path().string();
  }
  if (!fs::is_directory(title.empty() ? "." : title)) throw EKest("kesttool vf find: not a folder: " + Utf8ToCp932(title));
  TDirCache probe;
  if (auto ini = probe.Resolve(title, "game.ini")) {
    TMemoryStream m;
    m.LoadFromFile(*ini);
    for (auto& f : DiscFoldersFromIni(std::string(m.Bytes().begin(), m.Bytes().end()), title)) discFolders.push_back(f);
  }
  TVrFileManager m(std::make_shared<TFixedDiscs>(discFolders));
  m.AddArchive("");
  m.SetBaseFolder(title);
  if (auto game = probe.Resolve(title, "game.dat")) m.AddArchive(*game);
  if (!appended.empty() && EndsWithTrailer(appended)) {
    try {
      m.AddArchive(appended);
    } catch (const EVrDamaged&) {
      m.AddAppendedArchive(appended);
    }
  } else if (!appended.empty()) {
    m.AddArchive(appended);
  }
  for (const std::string& line : m.Explain(Utf8ToCp932(a[1]))) std::printf("%s\n", line.c_str());
  return m.Exists(Utf8ToCp932(a[1])) ? 0 : 1;
}

int Run(const std::vector<std::string>& args) {
  int rc = -1;
  if (!args.empty()) {
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "list") rc = List(rest);
    else if (args[0] == "extract") rc = Extract(rest);
    else if (args[0] == "pack") rc = Pack(rest);
    else if (args[0] == "verify") rc = Verify(rest);
    else if (args[0] == "find") rc = Find(rest);
  }
  if (rc == -1) {
    std::fprintf(stderr,
                 "usage: kesttool vf list ARCHIVE\n"
                 "       kesttool vf extract ARCHIVE DIR\n"
                 "       kesttool vf pack [--version V] [--append-to EXE] [--volume-size BYTES] OUT DIR\n"
                 "       kesttool vf verify ARCHIVE\n"
                 "       kesttool vf find [--disc DIR]... TITLEDIR NAME\n"
                 "  list, extract and verify take --volume-size BYTES for split archives of small volumes\n");
    return 2;
  }
  return rc;
}

const RegisterFamily kRegister({"vf",
                                "  kesttool vf list ARCHIVE            name, stored size, stored|zlib, crc\n"
                                "  kesttool vf extract ARCHIVE DIR     every entry to DIR/name\n"
                                "  kesttool vf pack [--version V] [--append-to EXE] [--volume-size BYTES] OUT DIR\n"
                                "  kesttool vf verify ARCHIVE          check every entry and CRC\n"
                                "  kesttool vf find TITLEDIR NAME      where a title name resolves, and why",
                                Run});

}  // namespace
}  // namespace kest::tool
