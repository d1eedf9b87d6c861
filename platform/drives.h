// Drives: the mounted volumes, their kind (hard disk, removable, CD-ROM) and labels.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

// Drive kinds, with the values the Windows drive-type query answers.
enum class TDriveKind : int { Unknown = 0, NoRoot = 1, Removable = 2, Fixed = 3, Remote = 4, CdRom = 5, RamDisk = 6 };

struct TDrive {
  std::string root;    // mount point, UTF-8, no trailing "/" except for "/" itself
  TDriveKind kind = TDriveKind::Unknown;
  std::string label;   // volume label, UTF-8 ("" when it has none or it cannot be read)
  std::string device;  // "/dev/sr0", "server:/share", "tmpfs" ...
  std::string fsType;  // "ext4", "iso9660" ...
};

// One line of a mount table ("device mountpoint fstype options ..."), octal escapes undone.
struct TMountEntry {
  std::string device, mountPoint, fsType, options;
};

// Reads a mount table in the /proc/self/mounts format. Lines that are not well formed
// are skipped.
std::vector<TMountEntry> ParseMountTable(std::string_view text);

// The kind of a mounted volume. isRemovableDevice answers for a block device path such as
// "/dev/sdb1" whether its disk reports itself removable.
TDriveKind ClassifyMount(const TMountEntry& e, const std::function<bool(const std::string&)>& isRemovableDevice);

// True for file systems that are no volumes of their own (proc, sysfs, cgroup ...).
bool IsPseudoFileSystem(std::string_view fsType);

// The drive whose root is the longest path prefix of an absolute path (whole components);
// kind Unknown when none matches.
TDrive FindDriveOf(const std::vector<TDrive>& drives, std::string_view path);

class TDrives {
 public:
  virtual ~TDrives() = default;
  // The volumes a user would see as drives (no pseudo file systems), in mount order.
  virtual std::vector<TDrive> List() = 0;
  // The volume that holds a path (absolute, UTF-8).
  virtual TDrive DriveOf(std::string_view path) = 0;
};

// The machine's drives: /proc/self/mounts; CD-ROM for iso9660 and udf file systems and
// /dev/sr* devices, removable where /sys/class/block says so, labels from
// /dev/disk/by-label.
class TLinuxDrives : public TDrives {
 public:
  std::vector<TDrive> List() override;
  TDrive DriveOf(std::string_view path) override;

 private:
  std::vector<TDrive> All();
};

bool SysBlockDeviceRemovable(const std::string& devicePath);

}  // namespace kest
