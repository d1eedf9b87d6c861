#include "vfs/dircache.h"

#include <dirent.h>
#include <sys/stat.h>

#include "common/sjis.h"
#include "vfs/paths.h"

namespace kest {

namespace {

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool Kind(const std::string& path, bool* isFolder) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) {
    *isFolder = true;
    return true;
  }
  *isFolder = false;
  return S_ISREG(st.st_mode);
}

// CP932 form of a name on disk: UTF-8 converted when it round-trips, else the bytes.
std::string DiskNameToCp932(const std::string& native) {
  const std::string cp = Utf8ToCp932(native);
  return Cp932ToUtf8(cp) == native ? cp : native;
}

}  // namespace

const TDirCache::Listing* TDirCache::List(const std::string& nativeFolder) {
  const std::string key = nativeFolder.empty() ? "." : nativeFolder;
  struct stat st;
  if (::stat(key.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    dirs_.erase(key);
    return nullptr;
  }
  const int64_t mtime = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  Listing& l = dirs_[key];
  if (l.mtimeNs == mtime) return &l;
  l.entries.clear();
  l.mtimeNs = mtime;
  ++reads_;
  if (DIR* d = ::opendir(key.c_str())) {
    while (dirent* de = ::readdir(d)) {
      const std::string n = de->d_name;
      if (n == "." || n == "..") continue;
      bool folder = false;
      if (de->d_type == DT_DIR) {
        folder = true;
      } else if (de->d_type != DT_REG) {
        if (!Kind(Join(key, n), &folder)) continue;  // links and unknown kinds: what they point to
      }
      l.entries.push_back({n, FoldCase(DiskNameToCp932(n)), folder});
    }
    ::closedir(d);
  }
  return &l;
}

std::string TDirCache::Match(const std::string& folder, const std::string& cp932, bool wantFolder) {
  // A folder listed before answers from its listing (one stat to see that it is current);
  // otherwise the exact name is tried first (UTF-8, then the CP932 bytes) without listing.
  const std::string utf8 = Cp932ToUtf8(cp932);
  if (!dirs_.count(folder.empty() ? "." : folder)) {
    bool isFolder = false;
    if (Kind(Join(folder, utf8), &isFolder) && isFolder == wantFolder) return utf8;
    if (utf8 != cp932 && Kind(Join(folder, cp932), &isFolder) && isFolder == wantFolder) return cp932;
  }
  const Listing* l = List(folder);
  if (!l) return std::string();
  const std::string folded = FoldCase(cp932);
  const Entry* hit = nullptr;
  for (const Entry& e : l->entries) {
    if (e.folder != wantFolder || e.folded != folded) continue;
    if (e.native == utf8 || e.native == cp932) return e.native;  // the exact name wins over case variants
    if (!hit) hit = &e;
  }
  return hit ? hit->native : std::string();
}

std::optional<std::string> TDirCache::Resolve(const std::string& nativeFolder, std::string_view cp932Name,
                                              bool wantFolder) {
  auto parts = SplitRelativeName(cp932Name);
  if (!parts) return std::nullopt;
  if (parts->empty()) {
    if (!wantFolder) return std::nullopt;
    bool f = false;
    return Kind(nativeFolder.empty() ? "." : nativeFolder, &f) && f ? std::optional<std::string>(nativeFolder)
                                                                     : std::nullopt;
  }
  std::string path = nativeFolder;
  for (size_t i = 0; i < parts->size(); ++i) {
    const bool last = i + 1 == parts->size();
    const std::string m = Match(path, (*parts)[i], last ? wantFolder : true);
    if (m.empty()) return std::nullopt;
    path = Join(path, m);
  }
  return path;
}

std::vector<std::string> TDirCache::ListFiles(const std::string& nativeFolder) {
  std::vector<std::string> out;
  const Listing* l = List(nativeFolder);
  if (!l) return out;
  for (const Entry& e : l->entries)
    if (!e.folder) out.push_back(DiskNameToCp932(e.native));
  return out;
}

}  // namespace kest
