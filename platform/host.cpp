#include "platform/host.h"

namespace kest {

std::string RegistryFolder(TUserFolders& folders) { return folders.Config() + "/kest/registry"; }

void AddMachineServices(THost& host) {
  host.drives = std::make_unique<TLinuxDrives>();
  auto folders = std::make_unique<TXdgFolders>();
  host.instanceLock = std::make_unique<TFileInstanceLock>(DefaultLockFolder(folders->Runtime(), folders->Temp()));
  host.registry = std::make_unique<TIniRegistryStore>(RegistryFolder(*folders));
  host.folders = std::move(folders);
  host.shellOpen = std::make_unique<TXdgOpen>();
}

}  // namespace kest
