#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/sjis.h"
#include "platform/user_folders.h"

namespace kest {

std::string LockFileName(std::string_view nameCp932) {
  std::string u = Cp932ToUtf8(nameCp932);
  for (char& c : u)
    if (c == '/' || (unsigned char)c < 0x20 || c == 0x7F) c = '-';
  uint64_t h = 1469598103934665603ull;  // FNV-1a of the original bytes
  for (unsigned char c : nameCp932) h = (h ^ c) * 1099511628211ull;
  if (u.size() > 180) {
    // Cut at a character start of the UTF-8 text.
    size_t cut = 150;
    while (cut > 0 && (static_cast<unsigned char>(u[cut]) & 0xC0) == 0x80) --cut;
    char buf[24];
    std::snprintf(buf, sizeof buf, "~%016llx", static_cast<unsigned long long>(h));
    u = u.substr(0, cut) + buf;
  }
  if (u.empty() || u == "." || u == "..") u = "_" + u;
  return u + ".lock";
}

std::string DefaultLockFolder(const std::string& runtime, const std::string& temp) {
  if (!runtime.empty() && runtime != temp) return runtime + "/kest";
  return temp + "/kest-" + std::to_string(getuid());
}

TLockResult TFileInstanceLock::TryAcquire(std::string_view nameCp932) {
  Release();
  if (!MakeFolders(folder_)) return TLockResult::Unavailable;
  // The folder must be ours and not a link planted by someone else.
  struct stat st;
  if (lstat(folder_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
    return TLockResult::Unavailable;
  const std::string path = folder_ + "/" + LockFileName(nameCp932);
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return TLockResult::Unavailable;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    return err == EWOULDBLOCK ? TLockResult::Held : TLockResult::Unavailable;
  }
  fd_ = fd;
  path_ = path;
  return TLockResult::Acquired;
}

void TFileInstanceLock::Release() {
  if (fd_ >= 0) {
    flock(fd_, LOCK_UN);
    close(fd_);
  }
  fd_ = -1;
  path_.clear();
}

}  // namespace kest
