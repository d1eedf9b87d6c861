// Everything the player takes from the machine, composed into one object at start-up.
#pragma once
#include <memory>

#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/instance_lock.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "platform/shell_open.h"
#include "platform/user_folders.h"
#include "platform/window.h"

namespace kest {

// Members are destroyed in reverse order: the window system goes last, after the services
// that may refer to it (message boxes owned by the window).
struct THost {
  std::unique_ptr<TWindowSystem> windows;
  std::unique_ptr<TClock> clock;
  std::unique_ptr<TMessageBoxes> messageBoxes;
  std::unique_ptr<TDrives> drives;
  std::unique_ptr<TUserFolders> folders;
  std::unique_ptr<TInstanceLock> instanceLock;
  std::unique_ptr<TRegistryStore> registry;
  std::unique_ptr<TShellOpen> shellOpen;

  bool Headless() const { return windows && windows->Headless(); }
};

// Fills the machine services (drives, folders, lock, registry, shell open) with the real
// ones of this machine; window system, clock and message boxes are the backend's.
void AddMachineServices(THost& host);

// The folder of the registry values: <config>/kest/registry.
std::string RegistryFolder(TUserFolders& folders);

}  // namespace kest
