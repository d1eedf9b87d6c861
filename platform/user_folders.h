// Per-user folders (XDG base directories) and whether a folder may be written.
#pragma once
#include <functional>
#include <string>

namespace kest {

class TUserFolders {
 public:
  virtual ~TUserFolders() = default;
  // Absolute UTF-8 paths without a trailing "/". They need not exist yet.
  virtual std::string Home() = 0;
  virtual std::string Config() = 0;   // settings: the registry values live here
  virtual std::string Data() = 0;     // saves and other kept data
  virtual std::string Cache() = 0;    // what may be thrown away
  virtual std::string Temp() = 0;     // temporary files
  virtual std::string Runtime() = 0;  // locks of running players
  // True when files can be created in the folder (it exists and is writable for us).
  virtual bool IsWritable(const std::string& folder) = 0;
};

// The folders from the environment: XDG_CONFIG_HOME (default ~/.config), XDG_DATA_HOME
// (~/.local/share), XDG_CACHE_HOME (~/.cache), TMPDIR (/tmp), XDG_RUNTIME_DIR (the temporary
// folder when unset). Relative values are ignored, as the XDG rules say.
class TXdgFolders : public TUserFolders {
 public:
  using TGetEnv = std::function<const char*(const char*)>;
  TXdgFolders();
  explicit TXdgFolders(TGetEnv getEnv) : getEnv_(std::move(getEnv)) {}

  std::string Home() override;
  std::string Config() override;
  std::string Data() override;
  std::string Cache() override;
  std::string Temp() override;
  std::string Runtime() override;
  bool IsWritable(const std::string& folder) override;

 private:
  std::string Absolute(const char* var);
  TGetEnv getEnv_;
};

// Creates a folder and its missing parents (mode 0700 for new ones); true when it exists
// afterwards.
bool MakeFolders(const std::string& path);

}  // namespace kest
