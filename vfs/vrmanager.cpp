#include "vfs/vrmanager.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "common/sjis.h"
#include "vfs/paths.h"

namespace kest {

namespace {

// "作業用ファイルが作れません" (cannot create working file)
constexpr const char kMsgNoTempFile[] =
    "\x8D\xEC\x8B\xC6\x97p\x83t\x83@\x83\x43\x83\x8B\x82\xAA\x8D\xEC\x82\xEA\x82\xDC\x82\xB9\x82\xF1";

constexpr const char kTempPrefix[] = "kest-tmp-";

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && SameText(std::string_view(s).substr(0, prefix.size()), prefix);
}

// The prompt with its "%d" replaced by n and "%%" by "%"; any other "%" stays as it is
// (the text comes from the title's project file and is no format string of ours).
std::string FormatPrompt(const std::string& text, int n) {
  std::string out;
  bool done = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      if (text[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (text[i + 1] == 'd' && !done) {
        out += std::to_string(n);
        done = true;
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// Removes the private temporary folders of players that are no longer running.
void RemoveStaleTempFolders(const std::string& base) {
  DIR* d = ::opendir(base.c_str());
  if (!d) return;
  std::vector<std::string> stale;
  while (dirent* de = ::readdir(d)) {
    const std::string n = de->d_name;
    if (n.rfind(kTempPrefix, 0) != 0) continue;
    const long pid = std::strtol(n.c_str() + sizeof kTempPrefix - 1, nullptr, 10);
    if (pid <= 0 || pid == long(::getpid())) continue;
    if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;  // still running (or not ours to judge)
    const std::string path = WithSlash(base) + n;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()) stale.push_back(path);
  }
  ::closedir(d);
  for (const std::string& p : stale) {
    std::error_code ec;
    std::filesystem::remove_all(p, ec);
  }
}

}  // namespace

std::vector<std::string> TCombinedDiscs::Roots() {
  std::vector<std::string> out = mounted_ ? mounted_() : std::vector<std::string>();
  for (const std::string& f : folders_)
    if (std::find(out.begin(), out.end(), f) == out.end()) out.push_back(f);
  return out;
}

std::vector<std::string> DiscFoldersFromIni(const std::string& iniText, const std::string& iniFolder) {
  std::vector<std::pair<long, std::string>> found;
  bool inDiscs = false;
  size_t pos = 0;
  while (pos <= iniText.size()) {
    size_t end = iniText.find('\n', pos);
    if (end == std::string::npos) end = iniText.size();
    std::string line = iniText.substr(pos, end - pos);
    pos = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    size_t lead = line.find_first_not_of(" \t");
    if (lead == std::string::npos) continue;
    line.erase(0, lead);
    if (line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      inDiscs = SameText(line, "[Discs]");
      continue;
    }
    if (!inDiscs) continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 1);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    value.erase(0, std::min(value.size(), value.find_first_not_of(" \t")));
    if (key.size() < 5 || !SameText(key.substr(0, 4), "Disc") || value.empty()) continue;
    char* stop = nullptr;
    const long n = std::strtol(key.c_str() + 4, &stop, 10);
    if (*stop != '\0' || n < 1) continue;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value[0] != '/') value = WithSlash(iniFolder) + value;
    found.emplace_back(n, value);
  }
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> out;
  for (auto& f : found) out.push_back(std::move(f.second));
  return out;
}

const char* const TVrFileManager::kDefaultDiscPrompt =
    "\x83\x66\x83\x42\x83X\x83N%d\x82\xF0\x93\xFC\x82\xEA\x82\xC4\x82\xA9\x82\xE7[OK]\x82\xF0\x83N\x83\x8A\x83\x62"
    "\x83N\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2";
const char* const TVrFileManager::kDefaultQuitPrompt = "\x8FI\x97\xB9\x82\xB5\x82\xDC\x82\xB7";

TVrFileManager::TVrFileManager(std::shared_ptr<TVfDiscs> discs, const std::string& tempBase)
    : discs_(discs ? std::move(discs) : std::make_shared<TFixedDiscs>()),
      discPrompt_(kDefaultDiscPrompt),
      quitPrompt_(kDefaultQuitPrompt) {
  std::error_code ec;
  std::string base = tempBase.empty() ? std::filesystem::temp_directory_path(ec).string() : tempBase;
  if (base.empty()) base = "/tmp";
  RemoveStaleTempFolders(base);
  std::string tmpl = WithSlash(base) + kTempPrefix + std::to_string(::getpid()) + "-XXXXXX";
  if (::mkdtemp(tmpl.data())) tempFolder_ = WithSlash(tmpl);
  RefreshDiscRoots();
}

TVrFileManager::~TVrFileManager() {
  for (const TVrLockData& l : locks_) pendingDeletes_.push_back(l.Path);
  locks_.clear();
  collections_.clear();
  DeletePendingFiles();
  RunExitDeletes();
  if (!tempFolder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(tempFolder_, ec);
  }
}

void TVrFileManager::RefreshDiscRoots() {
  discRoots_.clear();
  for (std::string r : discs_->Roots())
    if (!r.empty()) discRoots_.push_back(WithSlash(std::move(r)));
}

void TVrFileManager::SetBaseFolder(const std::string& nativeFolder) { baseFolder_ = WithSlash(nativeFolder); }

int TVrFileManager::Register(std::unique_ptr<TVrFileCollection> c) {
  collections_.push_back(std::move(c));
  return int(collections_.size()) - 1;
}

int TVrFileManager::AddArchive(const std::string& nativePath) {
  for (const auto& c : collections_) {
    if (SameText(c->Folder(), nativePath) || (!nativePath.empty() && SameText(c->Folder(), WithSlash(nativePath))) ||
        (!nativePath.empty() && c->FileName() == nativePath))
      return -1;
  }
  auto c = std::make_unique<TVrFileCollection>();
  c->LoadFromFile(nativePath);
  return Register(std::move(c));
}

int TVrFileManager::AddAppendedArchive(const std::string& nativePath) {
  for (const auto& c : collections_)
    if (c->FileName() == nativePath) return -1;
  auto c = std::make_unique<TVrFileCollection>();
  c->LoadAppended(nativePath);
  return Register(std::move(c));
}

int TVrFileManager::AddResourceArchive(const TBlobRef& blob, const std::string& label) {
  auto c = std::make_unique<TVrFileCollection>();
  try {
    c->LoadFromResource(blob, label);
  } catch (const EVrDamaged&) {
    throw;
  } catch (const EKest&) {
    // An empty resource stays an empty collection, as registered.
  }
  return Register(std::move(c));
}

void TVrFileManager::RemoveArchive(int index) {
  if (index >= 0 && index < Count()) collections_.erase(collections_.begin() + index);
}

void TVrFileManager::Clear() { collections_.clear(); }

TVrFileCollection* TVrFileManager::Collection(int index) const {
  return index >= 0 && index < Count() ? collections_[size_t(index)].get() : nullptr;
}

TVrFileCollection& TVrFileManager::MemoryCollection() {
  if (collections_.empty()) AddArchive("");
  return *collections_[0];
}

std::optional<std::string> TVrFileManager::LooseFile(const std::string& name) {
  if (baseFolder_.empty()) return std::nullopt;
  return loose_.Resolve(baseFolder_, name);
}

std::optional<std::string> TVrFileManager::DiscFile(const std::string& name) {
  for (const std::string& root : discRoots_)
    if (auto p = loose_.Resolve(root, name)) return p;
  return std::nullopt;
}

TVrFile* TVrFileManager::FindEntry(const std::string& name) const {
  for (const auto& c : collections_)
    if (TVrFile* e = c->FindEntry(name)) return e;
  return nullptr;
}

TVrFileCollection* TVrFileManager::ContentCollection(const std::string& name) const {
  for (const auto& c : collections_) {
    TVrFile* e = c->FindEntry(name);
    if (e && (e->Data || (c->Stream() && e->InArchive))) return c.get();
  }
  return nullptr;
}

bool TVrFileManager::Exists(const std::string& name) {
  if (name.empty()) return false;
  if (FindEntry(name)) return true;
  if (LooseFile(name)) return true;
  return bool(DiscFile(name));
}

void TVrFileManager::ReadFile(TStream& dest, const std::string& name) {
  auto* mem = dynamic_cast<TMemoryStream*>(&dest);
  if (mem) mem->SetSize(0);
  auto loadFile = [&](const std::string& path) {
    if (mem) {
      mem->LoadFromFile(path);
    } else {
      TFileStream f(path, TFileAccess::Read);
      CopyStream(dest, f, 0);
    }
    dest.SetPosition(0);
  };
  if (auto p = LooseFile(name)) return loadFile(*p);
  if (TVrFileCollection* c = ContentCollection(name)) return c->ReadEntry(dest, name);
  if (auto p = DiscFile(name)) return loadFile(*p);
  throw EVrFileNotFound(name);
}

std::unique_ptr<TStream> TVrFileManager::OpenRange(const std::string& name) {
  if (auto p = LooseFile(name)) return std::make_unique<TFileRangeStream>(*p, TRangeStream::kWhole, 0, false);
  if (TVrFileCollection* c = ContentCollection(name))
    if (auto r = c->OpenRange(name)) return r;
  if (auto p = DiscFile(name)) return std::make_unique<TFileRangeStream>(*p, TRangeStream::kWhole, 0, false);
  throw EVrFileNotFound(name);
}

std::string TVrFileManager::ExtractToTemp(const std::string& name) {
  if (tempFolder_.empty()) throw EVrTempFile(kMsgNoTempFile);
  TVrLockData lock;
  lock.Id = nextId_;
  lock.Name = name;
  // The next id passes every id in use.
  for (++nextId_; std::any_of(locks_.begin(), locks_.end(), [&](const TVrLockData& l) { return l.Id == nextId_; });)
    ++nextId_;
  std::string ext = Cp932ToUtf8(ExtractFileExt(name));
  if (ext.find('/') != std::string::npos || ext.size() > 32) ext.clear();
  // An unpredictable name in the private folder, created anew (never through a link).
  std::random_device rd;
  std::unique_ptr<TFileStream> f;
  for (int attempt = 0; !f; ++attempt) {
    char token[16];
    std::snprintf(token, sizeof token, "%08X", unsigned(rd()));
    lock.Path = tempFolder_ + "~kt" + token + ext;
    try {
      f = std::make_unique<TFileStream>(lock.Path, TFileAccess::CreateNew);
    } catch (const EStreamError&) {
      struct stat st;
      if (attempt >= 16 || ::lstat(lock.Path.c_str(), &st) != 0) throw EVrTempFile(kMsgNoTempFile);
    }
  }
  try {
    ReadFile(*f, name);
  } catch (...) {
    // No lock stays behind for a file that was never completed.
    f.reset();
    ::unlink(lock.Path.c_str());
    throw;
  }
  f.reset();
  if (TVrFileCollection* c = ContentCollection(name); c && !LooseFile(name)) {
    if (const TVrFile* e = c->FindEntry(name); e && e->Data) {
      lock.FromData = true;
      lock.DataSize = e->Data->Size();
      lock.DataCrc = Crc32(e->Data->Memory(), e->Data->Size());
    }
  }
  locks_.push_back(lock);
  return lock.Path;
}

std::string TVrFileManager::GetRealFileName(const std::string& name) {
  if (auto p = LooseFile(name)) return *p;
  if (FindEntry(name)) {
    for (size_t i = 0; i < locks_.size(); ++i) {
      if (locks_[i].Name != name) continue;  // exactly that name: a case variant is a copy of its own
      struct stat st;
      bool current = ::stat(locks_[i].Path.c_str(), &st) == 0;  // not removed behind our back
      if (current && locks_[i].FromData) {
        // A copy of an in-memory entry stands only while the entry holds what was copied.
        const TVrFileCollection* c = ContentCollection(name);
        const TVrFile* e = c ? c->FindEntry(name) : nullptr;
        current = e && e->Data && e->Data->Size() == locks_[i].DataSize &&
                  Crc32(e->Data->Memory(), e->Data->Size()) == locks_[i].DataCrc;
      }
      if (current) return locks_[i].Path;
      // The old copy goes with its lock (a player that still has it open keeps reading it).
      pendingDeletes_.push_back(locks_[i].Path);
      locks_.erase(locks_.begin() + std::ptrdiff_t(i));
      break;
    }
    return ExtractToTemp(name);
  }
  if (auto p = DiscFile(name)) return *p;
  return name;
}

void TVrFileManager::ListFolder(const std::string& folder, std::vector<std::string>& list) {
  for (const auto& c : collections_) c->ListFolder(folder, list);
  auto listIn = [&](const std::string& root) {
    if (auto dir = loose_.Resolve(root, folder, true)) {
      std::vector<std::string> files = loose_.ListFiles(*dir);
      std::sort(files.begin(), files.end());
      for (const std::string& f : files) list.push_back(folder + f);
    }
  };
  if (!baseFolder_.empty()) listIn(baseFolder_);
  for (const std::string& root : discRoots_) listIn(root);
}

std::string TVrFileManager::FolderOf(const std::string& name) {
  if (name.empty()) return std::string();
  if (name.rfind("\\\\", 0) == 0 || (name.size() >= 2 && name[1] == ':' && !IsLeadByte(name[0])))
    return FolderPart(name);
  size_t after = 0;
  for (size_t i = 0; i < name.size(); i = NextChar(name, i))
    if (name[i] == '\\' && CharLen(name, i) == 1) after = i + 1;
  return name.substr(0, after);
}

bool TVrFileManager::FindDisc(int index) {
  RefreshDiscRoots();
  bool found = false;
  for (const std::string& root : discRoots_) {
    auto game = loose_.Resolve(root, "game.dat");
    auto install = loose_.Resolve(root, "install.dat");
    if (!game || !install || !DiscMatches || !DiscMatches(*install, index)) continue;
    try {
      AddArchive(*game);  // -1: registered already, which is found as well
      found = true;
    } catch (const EKest&) {
      // A damaged or unreadable disc archive is not the disc asked for.
    }
  }
  return found;
}

bool TVrFileManager::RequestDisc(int n) {
  for (int i = Count() - 1; i >= 0; --i) {
    const std::string& folder = collections_[size_t(i)]->Folder();
    if (std::any_of(discRoots_.begin(), discRoots_.end(),
                    [&](const std::string& r) { return StartsWithNoCase(folder, r); }))
      RemoveArchive(i);
  }
  if (!prompt_) return FindDisc(n - 1);  // nobody to ask: one look
  for (;;) {
    if (prompt_->OkCancel(caption_, FormatPrompt(discPrompt_, n))) {
      if (FindDisc(n - 1)) return true;
    } else if (prompt_->OkCancel(caption_, quitPrompt_)) {
      if (OnQuit) OnQuit();
      return false;
    }
  }
}

void TVrFileManager::DeletePendingFiles() {
  for (const std::string& p : pendingDeletes_) ::unlink(p.c_str());
  pendingDeletes_.clear();
}

bool TVrFileManager::AddExitDelete(const std::string& name) {
  if (baseFolder_.empty()) return false;
  auto path = loose_.Resolve(baseFolder_, name);
  if (!path) path = MapLooseFileForWrite(baseFolder_, name);
  if (!path) return false;
  if (std::find(exitDeletes_.begin(), exitDeletes_.end(), *path) == exitDeletes_.end()) exitDeletes_.push_back(*path);
  return true;
}

std::optional<std::string> TVrFileManager::LooseWritePath(const std::string& name) {
  if (baseFolder_.empty()) return std::nullopt;
  auto path = loose_.Resolve(baseFolder_, name);
  if (!path) path = MapLooseFileForWrite(baseFolder_, name);
  loose_.Invalidate();
  return path;
}

void TVrFileManager::RunExitDeletes() {
  for (const std::string& p : exitDeletes_) ::unlink(p.c_str());
  if (!exitDeletes_.empty()) loose_.Invalidate();
  exitDeletes_.clear();
}

std::vector<std::string> TVrFileManager::Explain(const std::string& name) {
  std::vector<std::string> out;
  const std::string shown = Cp932ToUtf8(name);
  out.push_back("name: " + shown);
  if (name.empty()) {
    out.push_back("an empty name is never found");
    return out;
  }
  const bool confined = bool(SplitRelativeName(name));
  std::optional<std::string> loose, disc;
  if (baseFolder_.empty()) {
    out.push_back("loose files: no base folder");
  } else if (!confined) {
    out.push_back("loose files: refused, the name would leave " + baseFolder_);
  } else if ((loose = LooseFile(name))) {
    out.push_back("loose file: " + *loose);
  } else {
    out.push_back("loose file: none in " + baseFolder_);
  }
  for (int i = 0; i < Count(); ++i) {
    TVrFileCollection* c = collections_[size_t(i)].get();
    const std::string what = "archive " + std::to_string(i) + " (" +
                             (c->FileName().empty() ? std::string("in memory") : c->FileName()) + "): ";
    TVrFile* e = c->FindEntry(name);
    if (!e) {
      out.push_back(what + "no entry");
    } else if (e->Data) {
      out.push_back(what + "entry \"" + Cp932ToUtf8(e->Name()) + "\", " + std::to_string(e->Data->Size()) +
                    " bytes in memory");
    } else if (c->Stream() && e->InArchive) {
      out.push_back(what + "entry \"" + Cp932ToUtf8(e->Name()) + "\", " + std::to_string(e->Size) + " bytes " +
                    (e->Stored ? "stored" : "zlib"));
    } else {
      out.push_back(what + "entry \"" + Cp932ToUtf8(e->Name()) + "\" without content (passed over)");
    }
  }
  if (discRoots_.empty()) out.push_back("discs: none");
  for (const std::string& root : discRoots_) {
    auto p = confined ? loose_.Resolve(root, name) : std::nullopt;
    if (p && !disc) disc = p;
    out.push_back("disc " + root + ": " + (p ? *p : std::string("no file")));
  }
  TVrFileCollection* content = ContentCollection(name);
  const bool entry = FindEntry(name) != nullptr;
  auto archiveName = [&](TVrFileCollection* c) {
    for (int i = 0; i < Count(); ++i)
      if (collections_[size_t(i)].get() == c) return "archive " + std::to_string(i);
    return std::string("archive");
  };
  std::string read = loose ? "the loose file " + *loose
                           : content ? archiveName(content) : disc ? "the disc file " + *disc : std::string("not found");
  out.push_back(std::string("Exists: ") + (entry || loose || disc ? "yes" : "no"));
  out.push_back("ReadFile and OpenRange: " + read);
  std::string real = loose ? *loose
                           : entry ? "a temporary copy of " + (content ? archiveName(content) : std::string("the entry"))
                                   : disc ? *disc : "the name unchanged";
  out.push_back("GetRealFileName: " + real);
  return out;
}

}  // namespace kest
