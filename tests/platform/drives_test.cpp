#include <gtest/gtest.h>

#include "platform/drives.h"

using namespace kest;

static const char* kMounts =
    "proc /proc proc rw,relatime 0 0\n"
    "/dev/nvme0n1p2 / ext4 rw,relatime 0 0\n"
    "tmpfs /run tmpfs rw 0 0\n"
    "/dev/sr0 /media/user/GAME\\040DISC iso9660 ro,nosuid 0 0\n"
    "/dev/sdb1 /media/user/STICK vfat rw 0 0\n"
    "/dev/loop3 /mnt/image udf ro 0 0\n"
    "server:/export /net/share nfs4 rw 0 0\n"
    "overlay /var/lib/container overlay rw 0 0\n"
    "broken-line-with-one-field\n"
    "relative mnt ext4 rw 0 0\n";

static bool SdbIsRemovable(const std::string& dev) { return dev.rfind("/dev/sdb", 0) == 0; }

TEST(Drives, MountTableParsedAndClassified) {
  const std::vector<TMountEntry> m = ParseMountTable(kMounts);
  ASSERT_EQ(m.size(), 8u);
  EXPECT_EQ(m[3].mountPoint, "/media/user/GAME DISC");
  EXPECT_EQ(m[3].options, "ro,nosuid");
  struct TWant {
    const char* mountPoint;
    TDriveKind kind;
  };
  const TWant want[] = {{"/proc", TDriveKind::Fixed},          {"/", TDriveKind::Fixed},
                        {"/run", TDriveKind::RamDisk},         {"/media/user/GAME DISC", TDriveKind::CdRom},
                        {"/media/user/STICK", TDriveKind::Removable}, {"/mnt/image", TDriveKind::CdRom},
                        {"/net/share", TDriveKind::Remote},     {"/var/lib/container", TDriveKind::Fixed}};
  for (size_t i = 0; i < m.size(); ++i) {
    EXPECT_EQ(m[i].mountPoint, want[i].mountPoint);
    EXPECT_EQ(ClassifyMount(m[i], SdbIsRemovable), want[i].kind) << m[i].mountPoint;
  }
  EXPECT_TRUE(IsPseudoFileSystem("proc"));
  EXPECT_FALSE(IsPseudoFileSystem("ext4"));
}

TEST(Drives, EscapesAtTheEndOfAFieldAreLeftAlone) {
  const std::vector<TMountEntry> m = ParseMountTable("/dev/sda1 /a\\04 ext4\n/dev/sda2 /b\\134c ext4");
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].mountPoint, "/a\\04");
  EXPECT_EQ(m[1].mountPoint, "/b\\c");
}

TEST(Drives, PathBelongsToTheLongestWholeComponentRoot) {
  std::vector<TDrive> d(4);
  d[0].root = "/";
  d[0].kind = TDriveKind::Fixed;
  d[1].root = "/media/cd";
  d[1].kind = TDriveKind::CdRom;
  d[2].root = "/media/cdrom2";
  d[2].kind = TDriveKind::Removable;
  d[3].root = "/media/cd";  // mounted later over the same point
  d[3].kind = TDriveKind::Remote;
  EXPECT_EQ(FindDriveOf(d, "/media/cd/game/kestplay").kind, TDriveKind::Remote);
  EXPECT_EQ(FindDriveOf(d, "/media/cd").kind, TDriveKind::Remote);
  EXPECT_EQ(FindDriveOf(d, "/media/cdrom2/x").kind, TDriveKind::Removable);
  EXPECT_EQ(FindDriveOf(d, "/media/cdx").kind, TDriveKind::Fixed);
  EXPECT_EQ(FindDriveOf(d, "relative").kind, TDriveKind::Unknown);
}

TEST(Drives, ThisMachineHasARoot) {
  TLinuxDrives drives;
  const TDrive root = drives.DriveOf("/");
  EXPECT_EQ(root.root, "/");
  EXPECT_NE(root.kind, TDriveKind::Unknown);
  bool listed = false;
  for (const TDrive& d : drives.List()) listed = listed || d.root == "/";
  EXPECT_TRUE(listed);
}
