// Fakes of the machine services, so that tests can set up a machine: "the executable lies on
// a CD-ROM", "this folder is not writable", "another player holds the lock".
#pragma once
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/headless/headless_host.h"
#include "platform/host.h"

namespace kest {

class TFakeDrives : public TDrives {
 public:
  // Adds a drive; the kind and root are all most tests need.
  TFakeDrives& Add(std::string root, TDriveKind kind, std::string label = {}, std::string fsType = {});
  std::vector<TDrive> List() override { return drives_; }
  TDrive DriveOf(std::string_view path) override { return FindDriveOf(drives_, path); }
  std::vector<TDrive> drives_;
};

class TFakeUserFolders : public TUserFolders {
 public:
  // Every folder under one root: <root>/home, <root>/home/.config ...
  explicit TFakeUserFolders(const std::string& root = "/fake");
  std::string Home() override { return home; }
  std::string Config() override { return config; }
  std::string Data() override { return data; }
  std::string Cache() override { return cache; }
  std::string Temp() override { return temp; }
  std::string Runtime() override { return runtime; }
  // Writable unless named in notWritable (the folder itself or one above it).
  bool IsWritable(const std::string& folder) override;

  std::string home, config, data, cache, temp, runtime;
  std::set<std::string> notWritable;
};

// Locks taken in a shared table: two fakes sharing one table act as two players.
class TFakeInstanceLock : public TInstanceLock {
 public:
  using TTable = std::set<std::string>;
  explicit TFakeInstanceLock(std::shared_ptr<TTable> table = std::make_shared<TTable>()) : table_(std::move(table)) {}
  ~TFakeInstanceLock() override { Release(); }
  TLockResult TryAcquire(std::string_view nameCp932) override;
  void Release() override;
  const std::shared_ptr<TTable>& Table() const { return table_; }
  bool failToCreate = false;  // as when the lock folder cannot be made

 private:
  std::shared_ptr<TTable> table_;
  std::string held_;
  bool holding_ = false;
};

class TFakeRegistryStore : public TRegistryStore {
 public:
  std::optional<std::string> ReadString(std::string_view key, std::string_view name) override;
  bool WriteString(std::string_view key, std::string_view name, std::string_view value) override;
  bool DeleteValue(std::string_view key, std::string_view name) override;
  std::map<std::string, TRegistryValues, NoCaseLess> keys;
  bool readOnly = false;  // writes fail
};

class TFakeShellOpen : public TShellOpen {
 public:
  bool Open(const std::string& target) override {
    opened.push_back(target);
    return result;
  }
  std::vector<std::string> opened;
  bool result = true;
};

// Answers from a queue (then the default button) and records every box.
class TFakeMessageBoxes : public TMessageBoxes {
 public:
  struct TShown {
    std::string caption, text;  // CP932
    TMsgButtons buttons;
    TMsgIcon icon;
    int answer;
  };
  int Show(std::string_view caption, std::string_view text, TMsgButtons buttons, TMsgIcon icon,
           int defaultButton = 0) override;
  std::vector<int> answers;  // taken from the front
  std::vector<TShown> shown;
};

// A host of fakes around the headless window and virtual clock. The fakes stay reachable
// through the typed pointers.
struct TFakeHost {
  std::unique_ptr<THost> host;
  TVirtualClock* clock = nullptr;
  TFakeDrives* drives = nullptr;
  TFakeUserFolders* folders = nullptr;
  TFakeInstanceLock* instanceLock = nullptr;
  TFakeRegistryStore* registry = nullptr;
  TFakeShellOpen* shellOpen = nullptr;
  TFakeMessageBoxes* messageBoxes = nullptr;
};

TFakeHost MakeFakeHost(TInputScript script = {});

}  // namespace kest
