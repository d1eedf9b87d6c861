#include "platform/fake/fake_services.h"

namespace kest {

TFakeDrives& TFakeDrives::Add(std::string root, TDriveKind kind, std::string label, std::string fsType) {
  TDrive d;
  d.root = std::move(root);
  d.kind = kind;
  d.label = std::move(label);
  d.fsType = fsType.empty() ? (kind == TDriveKind::CdRom ? "iso9660" : "ext4") : std::move(fsType);
  d.device = "fake";
  drives_.push_back(std::move(d));
  return *this;
}

TFakeUserFolders::TFakeUserFolders(const std::string& root)
    : home(root + "/home"),
      config(root + "/home/.config"),
      data(root + "/home/.local/share"),
      cache(root + "/home/.cache"),
      temp(root + "/tmp"),
      runtime(root + "/run") {}

bool TFakeUserFolders::IsWritable(const std::string& folder) {
  for (const std::string& n : notWritable)
    if (folder == n || (folder.size() > n.size() && folder.compare(0, n.size(), n) == 0 && folder[n.size()] == '/'))
      return false;
  return true;
}

TLockResult TFakeInstanceLock::TryAcquire(std::string_view name) {
  Release();
  if (failToCreate) return TLockResult::Unavailable;
  if (table_->count(std::string(name))) return TLockResult::Held;
  held_ = std::string(name);
  table_->insert(held_);
  holding_ = true;
  return TLockResult::Acquired;
}

void TFakeInstanceLock::Release() {
  if (holding_) table_->erase(held_);
  holding_ = false;
  held_.clear();
}

std::optional<std::string> TFakeRegistryStore::ReadString(std::string_view key, std::string_view name) {
  const auto k = keys.find(key);
  if (k == keys.end()) return std::nullopt;
  const auto v = k->second.find(name);
  if (v == k->second.end()) return std::nullopt;
  return v->second;
}

bool TFakeRegistryStore::WriteString(std::string_view key, std::string_view name, std::string_view value) {
  if (readOnly || name.empty()) return false;
  TRegistryValues& values = keys[std::string(key)];
  values.erase(std::string(name));
  values[std::string(name)] = std::string(value);
  return true;
}

bool TFakeRegistryStore::DeleteValue(std::string_view key, std::string_view name) {
  if (readOnly) return false;
  const auto k = keys.find(key);
  return k != keys.end() && k->second.erase(std::string(name)) > 0;
}

int TFakeMessageBoxes::Show(std::string_view caption, std::string_view text, TMsgButtons buttons, TMsgIcon icon,
                            int defaultButton) {
  int answer = MsgDefaultAnswer(buttons, defaultButton);
  if (!answers.empty()) {
    answer = answers.front();
    answers.erase(answers.begin());
  }
  shown.push_back({std::string(caption), std::string(text), buttons, icon, answer});
  return answer;
}

TFakeHost MakeFakeHost(TInputScript script) {
  THeadlessOptions o;
  o.script = std::move(script);
  o.machineServices = false;
  o.log = nullptr;
  TFakeHost f;
  f.host = MakeHeadlessHost(std::move(o));
  f.clock = static_cast<TVirtualClock*>(f.host->clock.get());
  auto drives = std::make_unique<TFakeDrives>();
  auto folders = std::make_unique<TFakeUserFolders>();
  auto lock = std::make_unique<TFakeInstanceLock>();
  auto registry = std::make_unique<TFakeRegistryStore>();
  auto shell = std::make_unique<TFakeShellOpen>();
  auto boxes = std::make_unique<TFakeMessageBoxes>();
  f.drives = drives.get();
  f.folders = folders.get();
  f.instanceLock = lock.get();
  f.registry = registry.get();
  f.shellOpen = shell.get();
  f.messageBoxes = boxes.get();
  f.host->drives = std::move(drives);
  f.host->folders = std::move(folders);
  f.host->instanceLock = std::move(lock);
  f.host->registry = std::move(registry);
  f.host->shellOpen = std::move(shell);
  f.host->messageBoxes = std::move(boxes);
  return f;
}

}  // namespace kest
