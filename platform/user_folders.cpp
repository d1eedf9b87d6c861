#include "platform/user_folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace kest {

static std::string TrimSlashes(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

TXdgFolders::TXdgFolders() : getEnv_([](const char* n) { return static_cast<const char*>(std::getenv(n)); }) {}

std::string TXdgFolders::Absolute(const char* var) {
  const char* v = getEnv_(var);
  if (v && v[0] == '/') return TrimSlashes(v);
  return {};
}

std::string TXdgFolders::Home() {
  std::string h = Absolute("HOME");
  if (!h.empty()) return h;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') return TrimSlashes(pw->pw_dir);
  return Temp();
}

std::string TXdgFolders::Config() {
  std::string p = Absolute("XDG_CONFIG_HOME");
  return p.empty() ? Home() + "/.config" : p;
}

std::string TXdgFolders::Data() {
  std::string p = Absolute("XDG_DATA_HOME");
  return p.empty() ? Home() + "/.local/share" : p;
}

std::string TXdgFolders::Cache() {
  std::string p = Absolute("XDG_CACHE_HOME");
  return p.empty() ? Home() + "/.cache" : p;
}

std::string TXdgFolders::Temp() {
  std::string p = Absolute("TMPDIR");
  return p.empty() ? "/tmp" : p;
}

std::string TXdgFolders::Runtime() {
  std::string p = Absolute("XDG_RUNTIME_DIR");
  return p.empty() ? Temp() : p;
}

bool TXdgFolders::IsWritable(const std::string& folder) {
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool MakeFolders(const std::string& path) {
  if (path.empty()) return false;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash))) return false;
  if (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  return false;
}

}  // namespace kest
