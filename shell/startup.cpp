#include "shell/startup.h"

#include <filesystem>

#include "common/sjis.h"

namespace kest {

namespace fs = std::filesystem;

std::string InstanceName(const std::vector<std::string>& titles, const std::string& exePath) {
  std::string path;
  std::error_code ec;
  if (!titles.empty()) path = fs::weakly_canonical(fs::absolute(titles[0], ec), ec).string();
  else path = fs::absolute(fs::path(exePath), ec).parent_path().string();
  if (path.empty()) path = titles.empty() ? exePath : titles[0];
  std::string name = UpperCase(path);
  if (name.empty() || (name.back() != '/' && name.back() != '\\')) name += '/';
  for (char& c : name)
    if (c == '/' || c == '\\') c = '-';
  return name;
}

TEntryResult EntryChecks(THost& host, const std::vector<std::string>& titles, const std::string& exePath,
                         std::string* note) {
  std::error_code ec;
  const std::string exe = fs::absolute(exePath, ec).string();
  if (host.drives && host.drives->DriveOf(exe).kind == TDriveKind::CdRom) return TEntryResult::Quit;
  if (host.instanceLock) {
    switch (host.instanceLock->TryAcquire(Utf8ToCp932(InstanceName(titles, exePath)))) {
      case TLockResult::Acquired: break;
      case TLockResult::Held: return TEntryResult::Quit;
      case TLockResult::Unavailable:
        if (note) *note = "no lock can be made for this title; a second player of it is not prevented";
        break;
    }
  }
  if (!titles.empty() && SameText(titles[0], "/config")) return TEntryResult::Config;
  return TEntryResult::Run;
}

}  // namespace kest
