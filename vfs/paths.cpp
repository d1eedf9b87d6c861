#include "vfs/paths.h"

#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "common/sjis.h"

namespace kest {

namespace {

// Position after the last separator byte of `seps` outside double-byte pairs; 0 if none.
size_t AfterLastSeparator(std::string_view s, std::string_view seps) {
  size_t after = 0;
  for (size_t i = 0; i < s.size(); i = NextChar(s, i)) {
    if (CharLen(s, i) == 1 && seps.find(s[i]) != std::string_view::npos) after = i + 1;
  }
  return after;
}

bool IsRegularFile(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The entry of `folder` that matches a CP932 component: exact UTF-8, exact raw bytes, or
// the same without case. Empty when none.
std::string MatchComponent(const std::string& folder, const std::string& cp932, bool wantDir, bool any) {
  const std::string utf8 = Cp932ToUtf8(cp932);
  auto ok = [&](const std::string& p) { return any ? (IsRegularFile(p) || IsDirectory(p)) : (wantDir ? IsDirectory(p) : IsRegularFile(p)); };
  if (ok(Join(folder, utf8))) return utf8;
  if (cp932 != utf8 && ok(Join(folder, cp932))) return cp932;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string n = it->path().filename().string();
    if (SameText(Utf8ToCp932(n), cp932) || SameText(n, cp932)) {
      if (ok(Join(folder, n))) return n;
    }
  }
  return std::string();
}

}  // namespace

std::string FolderPart(std::string_view name) {
  return std::string(name.substr(0, AfterLastSeparator(name, "\\:")));
}

std::string BareName(std::string_view name) { return std::string(name.substr(AfterLastSeparator(name, "\\:"))); }

std::string ExtractFileExt(std::string_view name) {
  const size_t start = AfterLastSeparator(name, "\\/:");
  size_t dot = std::string_view::npos;
  for (size_t i = start; i < name.size(); i = NextChar(name, i))
    if (name[i] == '.' && CharLen(name, i) == 1) dot = i;
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::optional<std::vector<std::string>> SplitRelativeName(std::string_view s, bool allowColon) {
  std::vector<std::string> parts;
  if (s.empty()) return parts;
  if (s[0] == '\\' || s[0] == '/') return std::nullopt;
  std::string cur;
  auto flush = [&]() -> bool {
    if (cur == "..") return false;
    if (!cur.empty() && cur != ".") parts.push_back(cur);
    cur.clear();
    return true;
  };
  for (size_t i = 0; i < s.size();) {
    const size_t n = CharLen(s, i);
    if (n == 1 && (s[i] == '\\' || s[i] == '/')) {
      if (!flush()) return std::nullopt;
    } else if (n == 1 && s[i] == ':' && !allowColon) {
      return std::nullopt;  // a drive or a device name
    } else if (n == 1 && s[i] == '\0') {
      return std::nullopt;
    } else {
      cur.append(s.substr(i, n));
    }
    i += n;
  }
  if (!flush()) return std::nullopt;
  return parts;
}

std::optional<std::string> ResolveLooseFile(const std::string& nativeFolder, std::string_view cp932Name) {
  auto parts = SplitRelativeName(cp932Name);
  if (!parts || parts->empty()) return std::nullopt;
  std::string path = nativeFolder;
  for (size_t i = 0; i < parts->size(); ++i) {
    const bool last = i + 1 == parts->size();
    const std::string m = MatchComponent(path, (*parts)[i], !last, false);
    if (m.empty()) return std::nullopt;
    path = Join(path, m);
  }
  return path;
}

std::optional<std::string> MapLooseFileForWrite(const std::string& nativeFolder, std::string_view cp932Name) {
  auto parts = SplitRelativeName(cp932Name);
  if (!parts || parts->empty()) return std::nullopt;
  std::string path = nativeFolder;
  bool existing = true;
  for (size_t i = 0; i < parts->size(); ++i) {
    const bool last = i + 1 == parts->size();
    std::string m = existing ? MatchComponent(path, (*parts)[i], !last, last) : std::string();
    if (m.empty()) {
      existing = false;
      m = Cp932ToUtf8((*parts)[i]);
    }
    path = Join(path, m);
  }
  return path;
}

int32_t DosTimeOf(int64_t unixSeconds) {
  const time_t t = time_t(unixSeconds);
  struct tm tm;
  if (!localtime_r(&t, &tm)) return 0;
  const int year = tm.tm_year + 1900;
  if (year < 1980 || year > 2107) return 0;
  const uint32_t v = (uint32_t(year - 1980) << 25) | (uint32_t(tm.tm_mon + 1) << 21) | (uint32_t(tm.tm_mday) << 16) |
                     (uint32_t(tm.tm_hour) << 11) | (uint32_t(tm.tm_min) << 5) | uint32_t(tm.tm_sec / 2);
  return int32_t(v);
}

int32_t FileDosTime(const std::string& nativePath) {
  struct stat st;
  if (::stat(nativePath.c_str(), &st) != 0) return 0;
  return DosTimeOf(int64_t(st.st_mtime));
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat x, y;
  if (::stat(a.c_str(), &x) != 0 || ::stat(b.c_str(), &y) != 0) return false;
  return x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

}  // namespace kest
