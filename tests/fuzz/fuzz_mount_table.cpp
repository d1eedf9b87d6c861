// The mount-table reader and the drive lookup on arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/drives.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<kest::TDrive> drives;
  for (const kest::TMountEntry& e : kest::ParseMountTable(text)) {
    if (e.mountPoint.empty() || e.mountPoint[0] != '/') std::abort();
    kest::TDrive d;
    d.root = e.mountPoint;
    d.kind = kest::ClassifyMount(e, [](const std::string&) { return false; });
    drives.push_back(d);
  }
  for (const kest::TDrive& d : drives)
    if (kest::FindDriveOf(drives, d.root).kind == kest::TDriveKind::Unknown && d.root.size() > 0 &&
        (d.root.back() != '/' || d.root == "/"))
      std::abort();
  return 0;
}
