#include "platform/drives.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

namespace kest {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes the octal escapes (\040 for a space, \011, \012, \134) of mount-table fields.
std::string UnescapeMountField(std::string_view f) {
  std::string out;
  out.reserve(f.size());
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] == '\\' && f.size() - i >= 4) {
      const char a = f[i + 1], b = f[i + 2], c = f[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out += char((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
        i += 3;
        continue;
      }
    }
    out += f[i];
  }
  return out;
}

// Undoes the \xHH escapes of udev's by-label names.
std::string UnescapeUdevName(std::string_view f) {
  std::string out;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] == '\\' && f.size() - i >= 4 && f[i + 1] == 'x' && HexDigit(f[i + 2]) >= 0 && HexDigit(f[i + 3]) >= 0) {
      out += char(HexDigit(f[i + 2]) * 16 + HexDigit(f[i + 3]));
      i += 3;
      continue;
    }
    out += f[i];
  }
  return out;
}

std::string RealPath(const std::string& p) {
  char buf[PATH_MAX];
  if (!realpath(p.c_str(), buf)) return {};
  return buf;
}

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

}  // namespace

std::vector<TMountEntry> ParseMountTable(std::string_view text) {
  std::vector<TMountEntry> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < line.size() && fields.size() < 4) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      if (i >= line.size()) break;
      const size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
      fields.push_back(line.substr(start, i - start));
    }
    if (fields.size() < 3 || fields[0][0] == '#') continue;
    TMountEntry e;
    e.device = UnescapeMountField(fields[0]);
    e.mountPoint = UnescapeMountField(fields[1]);
    e.fsType = UnescapeMountField(fields[2]);
    if (fields.size() > 3) e.options = UnescapeMountField(fields[3]);
    if (e.mountPoint.empty() || e.mountPoint[0] != '/') continue;
    out.push_back(std::move(e));
  }
  return out;
}

bool IsPseudoFileSystem(std::string_view t) {
  static const char* const kPseudo[] = {
      "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "securityfs", "debugfs", "tracefs",
      "pstore", "bpf", "mqueue", "hugetlbfs", "configfs", "fusectl", "binfmt_misc", "autofs",
      "efivarfs", "rpc_pipefs", "nsfs", "selinuxfs", "ramfs", "overlay", "squashfs", "fuse.gvfsd-fuse",
      "fuse.portal", "tmpfs"};
  for (const char* p : kPseudo)
    if (t == p) return true;
  return false;
}

TDriveKind ClassifyMount(const TMountEntry& e, const std::function<bool(const std::string&)>& isRemovable) {
  const std::string& t = e.fsType;
  if (t == "iso9660" || t == "udf" || StartsWith(e.device, "/dev/sr") || StartsWith(e.device, "/dev/scd"))
    return TDriveKind::CdRom;
  if (t == "nfs" || t == "nfs4" || t == "cifs" || t == "smb3" || t == "smbfs" || t == "9p" ||
      t == "fuse.sshfs" || t == "afs" || t == "ceph" || t == "glusterfs")
    return TDriveKind::Remote;
  if (t == "tmpfs" || t == "ramfs") return TDriveKind::RamDisk;
  if (StartsWith(e.device, "/dev/")) {
    if (isRemovable && isRemovable(e.device)) return TDriveKind::Removable;
    return TDriveKind::Fixed;
  }
  // The root of a container (overlay) and other volumes without a block device: a hard disk.
  return TDriveKind::Fixed;
}

bool SysBlockDeviceRemovable(const std::string& device) {
  std::string dev = RealPath(device);
  if (dev.empty()) dev = device;
  const size_t slash = dev.rfind('/');
  const std::string name = dev.substr(slash == std::string::npos ? 0 : slash + 1);
  if (name.empty()) return false;
  // /sys/class/block/<name> leads to the disk, or to a partition inside its disk's folder.
  const std::string sys = RealPath("/sys/class/block/" + name);
  if (sys.empty()) return false;
  std::string r = ReadSmallFile(sys + "/removable");
  if (r.empty()) r = ReadSmallFile(sys + "/../removable");
  return !r.empty() && r[0] == '1';
}

TDrive FindDriveOf(const std::vector<TDrive>& drives, std::string_view path) {
  const TDrive* best = nullptr;
  for (const TDrive& d : drives) {
    const std::string& r = d.root;
    bool match;
    if (r == "/") match = !path.empty() && path[0] == '/';
    else match = StartsWith(path, r) && (path.size() == r.size() || path[r.size()] == '/');
    // A later mount over the same point hides the earlier one.
    if (match && (!best || r.size() >= best->root.size())) best = &d;
  }
  return best ? *best : TDrive{};
}

static std::string TrimRoot(std::string r) {
  while (r.size() > 1 && r.back() == '/') r.pop_back();
  return r;
}

std::vector<TDrive> TLinuxDrives::All() {
  std::vector<TDrive> out;
  // Labels: /dev/disk/by-label/<label> -> ../../sdb1
  std::vector<std::pair<std::string, std::string>> labels;  // device real path, label
  if (DIR* dir = opendir("/dev/disk/by-label")) {
    while (dirent* de = readdir(dir)) {
      if (de->d_name[0] == '.') continue;
      const std::string target = RealPath(std::string("/dev/disk/by-label/") + de->d_name);
      if (!target.empty()) labels.emplace_back(target, UnescapeUdevName(de->d_name));
    }
    closedir(dir);
  }
  for (const TMountEntry& e : ParseMountTable(ReadSmallFile("/proc/self/mounts"))) {
    TDrive d;
    d.root = TrimRoot(e.mountPoint);
    d.device = e.device;
    d.fsType = e.fsType;
    d.kind = ClassifyMount(e, SysBlockDeviceRemovable);
    if (StartsWith(e.device, "/dev/")) {
      const std::string real = RealPath(e.device);
      for (const auto& [dev, label] : labels)
        if (dev == real) d.label = label;
    }
    out.push_back(std::move(d));
  }
  return out;
}

std::vector<TDrive> TLinuxDrives::List() {
  std::vector<TDrive> out;
  for (TDrive& d : All())
    if (d.root == "/" || !IsPseudoFileSystem(d.fsType) || d.kind == TDriveKind::CdRom) out.push_back(std::move(d));
  return out;
}

TDrive TLinuxDrives::DriveOf(std::string_view path) { return FindDriveOf(All(), path); }

}  // namespace kest
