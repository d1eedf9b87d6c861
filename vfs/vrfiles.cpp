#include "vfs/vrfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/sjis.h"
#include "vfs/paths.h"
#include "vfs/rands.h"
#include "vfs/records.h"

namespace kest {

namespace {

// "ファイルがありません" (file not found), after "%s:"
constexpr const char kMsgNotFound[] = "\x83t\x83@\x83\x43\x83\x8B\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// "書庫が壊れています:" (the archive is damaged:)
constexpr const char kMsgDamaged[] = "\x8F\x91\x8C\xC9\x82\xAA\x89\xF3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7:";
// "リソースが見つかりません" (resource not found)
constexpr const char kMsgNoResource[] =
    "\x83\x8A\x83\x5C\x81[\x83X\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// "エラー:" (error:)
constexpr const char kMsgError[] = "\x83G\x83\x89\x81[:";
// "ファイルに書き込めません:" (cannot write the file:)
constexpr const char kMsgCannotWrite[] =
    "\x83t\x83@\x83\x43\x83\x8B\x82\xC9\x8F\x91\x82\xAB\x8D\x9E\x82\xDF\x82\xDC\x82\xB9\x82\xF1:";

bool IsRegularFile(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ParentFolder(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The path with its extension replaced (case of the new extension tried as given, then
// upper case, so "GAME.DAT" finds "GAME.EXT").
std::string SiblingWithExt(const std::string& path, const char* ext) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  std::string stem = path;
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.resize(dot);
  std::string a = stem + ext;
  if (IsRegularFile(a)) return a;
  std::string b = stem + UpperCase(ext);
  if (IsRegularFile(b)) return b;
  return std::string();
}

void Scramble(std::string& name, TTpRandom& r) {
  for (char& c : name) c = char(uint8_t(c) ^ uint8_t(r.NextU()));
}

}  // namespace

EVrFileNotFound::EVrFileNotFound(const std::string& name) : EKest(name + ":" + kMsgNotFound) {}

void TVrFileCollection::Damaged(const char* what) const {
  throw EVrDamaged(std::string(kMsgDamaged) + Utf8ToCp932(fileName_) + " (" + what + ")");
}

bool TVrFileCollection::IsTerminator(const TVrFile& e) const { return SameText(e.Name(), kTerminator); }

void TVrFileCollection::ClearEntries() {
  Clear();
  stream_.reset();
  blob_ = TBlobRef();
  fromResource_ = false;
  version_ = 0;
}

void TVrFileCollection::SetFolder(const std::string& nativeFolder) {
  folder_ = nativeFolder;
  if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
}

void TVrFileCollection::LoadFromFile(const std::string& nativePath) {
  const std::string ext = UpperCase(ExtractFileExt(nativePath));
  Load(nativePath, ext == ".EXE" || ext == ".SCR");
}

void TVrFileCollection::LoadAppended(const std::string& nativePath) { Load(nativePath, true); }

void TVrFileCollection::Load(const std::string& nativePath, bool executable) {
  ClearEntries();
  fileName_ = nativePath;
  if (nativePath.empty()) return;
  const bool exists = IsRegularFile(nativePath);
  SetFolder(exists ? ParentFolder(nativePath) : nativePath);
  if (!exists) return;
  splitVolumes_ = !executable;
  try {
    stream_ = std::make_unique<TTpBigFileStream>(nativePath, TTpBigFileStream::kModeRead | TTpBigFileStream::kShareDenyWrite,
                                                 volumeSize_, splitVolumes_);
    if (executable) {
      const int64_t size = stream_->Size();
      if (size < 6) Damaged("trailer");
      uint8_t t[6];
      stream_->SetPosition(size - 6);
      stream_->ReadBuffer(t, 6);
      const int64_t start = GetI32LE(t);  // sign-extended
      if (t[4] != 'k' || t[5] != 't' || start < 0 || start > size - 6) Damaged("trailer");
      stream_->SetPosition(start);
      ReadDirectory(*stream_);
    } else if (std::string extPath = SiblingWithExt(nativePath, ".ext"); !extPath.empty() && extPath != nativePath) {
      TMemoryStream dir;
      dir.LoadFromFile(extPath);
      ReadDirectory(dir);
    } else {
      stream_->SetPosition(0);
      ReadDirectory(*stream_);
    }
  } catch (...) {
    ClearEntries();
    throw;
  }
}

void TVrFileCollection::LoadFromResource(const TBlobRef& blob, const std::string& label) {
  ClearEntries();
  fileName_ = label;
  if (blob.size <= 0 || !blob.data) throw EKest(kMsgNoResource);
  blob_ = blob;
  stream_ = blob.Open();
  fromResource_ = true;
  try {
    ReadDirectory(*stream_);
  } catch (...) {
    ClearEntries();
    throw;
  }
}

void TVrFileCollection::ReadDirectory(TStream& s) {
  const int64_t base = s.Position();
  // The data lies in the archive stream; a separate directory (".ext") only describes it.
  TStream& data = stream_ ? *stream_ : s;
  const bool separate = &data != &s;
  int version = 0;
  int32_t count = 0;
  std::vector<std::string> names;
  std::vector<int64_t> offsets;
  std::vector<uint8_t> stored, basis;
  std::vector<int32_t> times;
  std::vector<uint32_t> crcs;
  int64_t dirEnd = 0;
  try {
    TTpBuffBigStream b(s);
    uint8_t magic[2] = {0, 0};
    const int64_t got = b.Read(magic, 2);
    if (got == 2 && magic[0] == 'v' && magic[1] == 'f') {
      const int32_t v = ReadInt(b);
      if (v < 0 || v > kVersion) Damaged("version");
      version = v;
    } else {
      b.SetPosition(base);
    }
    count = ReadInt(b);
    const int64_t offsetSize = version >= 101 ? 8 : 4;
    const int64_t perEntry = 4 + offsetSize + (version >= 101 ? 9 : 0) + (version >= 102 ? 1 : 0);
    if (count < 0 || (b.Remaining() - offsetSize) / perEntry < count) Damaged("count");
    names.resize(size_t(count));
    for (auto& n : names) {
      const int32_t len = ReadInt(b);
      if (len < 0 || len > b.Remaining()) Damaged("name");
      n.resize(size_t(len));
      b.ReadBuffer(n.data(), len);
    }
    if (version >= 100) {
      TTpRandom r(TTpRandom::kArchiveSeed);
      for (auto& n : names) Scramble(n, r);
    }
    offsets.resize(size_t(count) + 1);
    {
      TTpRandom r(TTpRandom::kArchiveSeed);
      for (auto& o : offsets) {
        if (version >= 101) {
          o = ReadInt64(b) ^ int64_t(r.Next());  // the mask sign-extended to 64 bits
        } else {
          uint32_t v = ReadUInt(b);
          if (version >= 100) v ^= r.NextU();
          o = int64_t(v);
        }
      }
    }
    if (version >= 101) {
      stored.resize(size_t(count));
      b.ReadBuffer(stored.data(), count);
      times.resize(size_t(count));
      for (auto& t : times) t = ReadInt(b);
      crcs.resize(size_t(count));
      for (auto& c : crcs) c = ReadUInt(b);
      if (version >= 102) {
        basis.resize(size_t(count));
        b.ReadBuffer(basis.data(), count);
      }
    }
    dirEnd = b.Position() - base;
  } catch (const EVrDamaged&) {
    throw;
  } catch (const EReadError&) {
    Damaged("directory");
  }
  // Offsets ascend, the data follows the directory and ends inside the archive.
  const int64_t dataBase = separate ? 0 : base;
  const int64_t first = separate ? 0 : dirEnd;
  int64_t prev = first;
  for (int64_t o : offsets) {
    if (o < prev) Damaged("offsets");
    prev = o;
  }
  if (offsets.back() > data.Size() - dataBase) Damaged("offsets");

  version_ = version;
  for (int32_t i = 0; i <= count; ++i) {
    TVrFile* e = Add(std::make_unique<TVrFile>(i < count ? std::move(names[size_t(i)]) : std::string(kTerminator)));
    e->Offset = offsets[size_t(i)] + dataBase;
    e->InArchive = true;
    if (i < count) {
      e->Size = offsets[size_t(i) + 1] - offsets[size_t(i)];
      if (version >= 101) {
        e->Stored = stored[size_t(i)] != 0;
        e->FileTime = times[size_t(i)];
        e->Crc = crcs[size_t(i)];
        e->CrcOfContent = version >= 102 && basis[size_t(i)] != 0;
      }
    }
  }
}

TVrFile* TVrFileCollection::AddEntry(const std::string& name) { return Add(std::make_unique<TVrFile>(name)); }

TVrFile* TVrFileCollection::AddMemoryEntry(const std::string& name) {
  TVrFile* e = AddEntry(name);
  e->Data = std::make_unique<TTpMemoryStream>();
  return e;
}

void TVrFileCollection::DeleteEntry(const std::string& name) {
  const int i = IndexOf(name);
  if (i >= 0) Delete(i);
}

std::vector<uint8_t> TVrFileCollection::ReadStoredBytes(const TVrFile& e) {
  if (e.Offset < 0 || e.Size < 0 || e.Offset > stream_->Size() || e.Size > stream_->Size() - e.Offset)
    Damaged("entry");
  std::vector<uint8_t> bytes(size_t(e.Size));
  stream_->SetPosition(e.Offset);
  stream_->ReadBuffer(bytes.data(), e.Size);
  return bytes;
}

// The content of an archive entry (the collection has a stream).
void TVrFileCollection::ReadContent(const TVrFile& e, std::vector<uint8_t>& out) {
  if (e.Size == 0) {  // empty, whether stored or compressed
    out.clear();
    return;
  }
  std::vector<uint8_t> bytes = ReadStoredBytes(e);
  out = e.Stored ? std::move(bytes) : Inflate(bytes.data(), int64_t(bytes.size()), inflateLimit_);
}

void TVrFileCollection::ReadEntry(TStream& dest, const std::string& name) {
  auto* mem = dynamic_cast<TMemoryStream*>(&dest);
  if (mem) mem->SetSize(0);  // emptied; its capacity serves the next content
  TVrFile* e = Find(name);
  if (e && e->Data) {
    e->Data->SetPosition(0);
    CopyStream(dest, *e->Data, e->Data->Size());
    e->Data->SetPosition(0);
    dest.SetPosition(0);
    return;
  }
  if (e && stream_ && e->InArchive) {
    if (mem && e->Stored) {
      mem->Assign(e->Size > 0 ? ReadStoredBytes(*e) : std::vector<uint8_t>());
    } else if (e->Stored) {
      if (e->Size > 0) {
        if (e->Offset > stream_->Size() || e->Size > stream_->Size() - e->Offset) Damaged("entry");
        stream_->SetPosition(e->Offset);
        CopyStream(dest, *stream_, e->Size);
      }
    } else if (mem) {
      if (e->Size > 0) {
        const std::vector<uint8_t> bytes = ReadStoredBytes(*e);
        InflateInto(bytes.data(), int64_t(bytes.size()), mem->Storage(), inflateLimit_);
      }
    } else {
      std::vector<uint8_t> content;
      ReadContent(*e, content);
      dest.WriteBuffer(content.data(), int64_t(content.size()));
    }
    dest.SetPosition(0);
    return;
  }
  if (looseFiles_ && !folder_.empty()) {
    if (auto path = ResolveLooseFile(folder_, name); path && !SameFile(*path, fileName_)) {
      if (mem) {
        mem->LoadFromFile(*path);
      } else {
        TFileStream f(*path, TFileAccess::Read);
        CopyStream(dest, f, 0);
      }
      dest.SetPosition(0);
      return;
    }
  }
  throw EVrFileNotFound(name);
}

std::unique_ptr<TStream> TVrFileCollection::OpenRange(const std::string& name) {
  TVrFile* e = Find(name);
  if (!e) return nullptr;
  if (e->Data) {
    auto copy = std::make_unique<TMemoryStream>(e->Data->Bytes());
    return std::make_unique<TRangeStream>(std::move(copy), 0, TRangeStream::kWhole);
  }
  if (!stream_ || !e->InArchive) return nullptr;
  if (!e->Stored && e->Size > 0) {
    // A decoder needs the content, not the zlib stream: inflate it into memory.
    std::vector<uint8_t> content;
    ReadContent(*e, content);
    return std::make_unique<TRangeStream>(std::make_unique<TMemoryStream>(std::move(content)), 0,
                                          TRangeStream::kWhole);
  }
  if (fromResource_) return std::make_unique<TResourceRangeStream>(blob_, e->Size, e->Offset);
  return std::make_unique<TFileRangeStream>(fileName_, e->Size, e->Offset, splitVolumes_, volumeSize_);
}

void TVrFileCollection::ListFolder(const std::string& folder, std::vector<std::string>& list) const {
  for (int i = 0; i < Count(); ++i) {
    const TVrFile* e = Item(i);
    if (IsTerminator(*e) || !SameText(FolderPart(e->Name()), folder)) continue;
    const std::string bare = BareName(e->Name());
    const bool listed = std::any_of(list.begin(), list.end(), [&](const std::string& s) { return SameText(s, bare); });
    if (!listed) list.push_back(e->Name());
  }
}

bool TVrFileCollection::ShouldCompress(const std::string& nativePath, int64_t size) {
  const std::string ext = UpperCase(ExtractFileExt(nativePath));
  if (ext == ".ZAR") {
    // Only Zarn images from version 103 on whose pixel data is kept uncompressed (byte 22
    // of the header block is 1) gain from it. A damaged or short header: not compressed.
    uint8_t h[64] = {};
    int64_t got = 0;
    try {
      TFileStream f(nativePath, TFileAccess::Read);
      got = f.Read(h, sizeof h);
    } catch (const EKest&) {
      return false;
    }
    if (got < 7 + 4 + 23 || std::memcmp(h, "Zarn", 4) != 0) return false;
    int version = 0;
    for (int i = 4; i < 7; ++i) {
      if (h[i] < '0' || h[i] > '9') return false;
      version = version * 10 + (h[i] - '0');
    }
    if (version < 103) return false;
    const int32_t blockLen = GetI32LE(h + 7);
    if (blockLen < 23) return false;
    return h[11 + 22] == 1;
  }
  static constexpr std::string_view kMedia = ".WAV.WMA.OGG.AVI.MPG.MPEG.M1V.WMV.ASF.DAT.";
  if (!ext.empty() && kMedia.find(ext) != std::string_view::npos) return false;
  return size < kStoreThreshold;
}

void TVrFileCollection::WriteEntryData(TStream& s, TVrFile& e, bool alwaysCompress) {
  // The entry's flags change only once its bytes are written: an entry copied from the
  // loaded archive is read according to the flags it has there.
  auto writeContent = [&](const std::vector<uint8_t>& z, const uint8_t* content, int64_t size) {
    const uint32_t crc = e.CrcOfContent ? Crc32(content, size) : Crc32(z.data(), int64_t(z.size()));
    s.WriteBuffer(z.data(), int64_t(z.size()));
    e.Stored = false;
    e.Crc = crc;
  };
  auto writeStored = [&](const uint8_t* content, int64_t size) {
    const uint32_t crc = Crc32(content, size);
    s.WriteBuffer(content, size);
    e.Stored = true;
    e.Crc = crc;
  };
  if (e.Data) {
    const uint8_t* p = e.Data->Memory();
    const int64_t n = e.Data->Size();
    if (!alwaysCompress && n >= kStoreThreshold)
      writeStored(p, n);
    else
      writeContent(Deflate(p, n, 1), p, n);
    return;
  }
  if (looseFiles_ && !folder_.empty()) {
    if (auto path = ResolveLooseFile(folder_, e.Name()); path && !SameFile(*path, fileName_)) {
      TMemoryStream file;
      file.LoadFromFile(*path);
      const uint8_t* p = file.Memory();
      const int64_t n = file.Size();
      if (alwaysCompress || ShouldCompress(*path, n)) {
        std::vector<uint8_t> z = Deflate(p, n, 1);
        if (!alwaysCompress && n * 9 / 10 < int64_t(z.size()))
          writeStored(p, n);
        else
          writeContent(z, p, n);
      } else {
        writeStored(p, n);
      }
      e.FileTime = FileDosTime(*path);
      return;
    }
  }
  // Only in the archive this collection was read from.
  TMemoryStream content;
  ReadEntry(content, e.Name());
  const uint8_t* p = content.Memory();
  const int64_t n = content.Size();
  if (!alwaysCompress && n >= kStoreThreshold)
    writeStored(p, n);
  else
    writeContent(Deflate(p, n, 1), p, n);
}

bool TVrFileCollection::SaveToStream(TStream& s, int version) {
  if (version != 0 && version != 100 && version != 101 && version != kVersion)
    throw EKest("vf: unknown archive version " + std::to_string(version));
  std::vector<TVrFile*> entries;
  for (int i = 0; i < Count(); ++i)
    if (!IsTerminator(*Item(i))) entries.push_back(Item(i));
  const int32_t n = int32_t(entries.size());
  const int64_t origin = s.Position();
  if (version != 0) {
    s.WriteBuffer("vf", 2);
    WriteInt(s, version);
  }
  WriteInt(s, n);
  {
    TTpRandom r(TTpRandom::kArchiveSeed);
    for (TVrFile* e : entries) {
      std::string name = e->Name();
      if (version >= 100) Scramble(name, r);
      WriteString(s, name);
    }
  }
  const int64_t tables = s.Position();
  const int64_t offsetSize = version >= 101 ? 8 : 4;
  const int64_t tableSize = (int64_t(n) + 1) * offsetSize + (version >= 101 ? int64_t(n) * 9 : 0) +
                            (version >= 102 ? int64_t(n) : 0);
  {
    const std::vector<uint8_t> zeros(size_t(tableSize), 0);
    s.WriteBuffer(zeros.data(), tableSize);
  }
  std::vector<int64_t> offsets;
  offsets.reserve(size_t(n) + 1);
  for (TVrFile* e : entries) {
    offsets.push_back(s.Position() - origin);
    try {
      WriteEntryData(s, *e, version < 101);
    } catch (...) {
      if (OnWriteError) OnWriteError(std::string(kMsgError) + e->Name());
      throw;
    }
  }
  offsets.push_back(s.Position() - origin);
  const int64_t end = s.Position();

  TMemoryStream t;
  {
    TTpRandom r(TTpRandom::kArchiveSeed);
    for (int64_t o : offsets) {
      if (version >= 101) {
        WriteInt64(t, o ^ int64_t(r.Next()));
      } else {
        if (o > int64_t(UINT32_MAX)) throw EKest("vf: archive too large for version " + std::to_string(version));
        uint32_t v = uint32_t(o);
        if (version >= 100) v ^= r.NextU();
        WriteUInt(t, v);
      }
    }
  }
  if (version >= 101) {
    for (TVrFile* e : entries) WriteBool(t, e->Stored);
    for (TVrFile* e : entries) WriteInt(t, e->FileTime);
    for (TVrFile* e : entries) WriteUInt(t, e->Crc);
    if (version >= 102)
      for (TVrFile* e : entries) WriteBool(t, e->CrcOfContent);
  }
  s.SetPosition(tables);
  s.WriteBuffer(t.Memory(), t.Size());
  s.SetPosition(end);
  return true;
}

void TVrFileCollection::SaveToFile(const std::string& nativePath) {
  static std::atomic<unsigned> counter{0};
  const bool ownArchive = !fileName_.empty() && (fileName_ == nativePath || SameFile(fileName_, nativePath));
  std::string tmp;
  std::unique_ptr<TFileStream> f;
  for (int attempt = 0; !f; ++attempt) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".~kt%d-%u.tmp", int(::getpid()), counter++);
    tmp = nativePath + suffix;
    try {
      f = std::make_unique<TFileStream>(tmp, TFileAccess::CreateNew);
    } catch (const EStreamError&) {
      struct stat st;
      if (::lstat(tmp.c_str(), &st) != 0 || attempt > 100) throw;  // not a name clash
    }
  }
  try {
    SaveToStream(*f);
    f->Flush();
    f.reset();
    if (::rename(tmp.c_str(), nativePath.c_str()) != 0)
      throw EStreamError(std::string(kMsgCannotWrite) + Utf8ToCp932(nativePath));
  } catch (...) {
    f.reset();
    ::unlink(tmp.c_str());
    throw;
  }
  // Make the rename itself durable.
  const std::string folder = ParentFolder(nativePath);
  const int dfd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  if (ownArchive) LoadFromFile(nativePath);
}

std::string TVrFileCollection::CheckEntry(const TVrFile& e) {
  if (e.Data) return std::string();
  if (!stream_ || !e.InArchive) return "no archive data";
  if (e.Offset < 0 || e.Size < 0 || e.Offset > stream_->Size() || e.Size > stream_->Size() - e.Offset)
    return "stored bytes lie outside the archive";
  std::vector<uint8_t> bytes;
  try {
    bytes = ReadStoredBytes(e);
  } catch (const EKest&) {
    return "stored bytes cannot be read";
  }
  std::vector<uint8_t> content;
  if (!e.Stored && !bytes.empty()) {
    try {
      content = Inflate(bytes.data(), int64_t(bytes.size()), inflateLimit_);
    } catch (const EKest&) {
      return "compressed data is damaged";
    }
  }
  if (version_ < 101) return std::string();  // no CRCs before version 101
  const std::vector<uint8_t>& basis = (e.CrcOfContent && !e.Stored) ? content : bytes;
  const uint32_t crc = Crc32(basis.data(), int64_t(basis.size()));
  if (crc != e.Crc) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "CRC mismatch: stored %08X, computed %08X", unsigned(e.Crc), unsigned(crc));
    return buf;
  }
  return std::string();
}

}  // namespace kest
