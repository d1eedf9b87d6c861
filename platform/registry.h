// The title's registry values (the key under HKEY_CURRENT_USER\Software where its installer
// keeps them), stored in an INI file per key in the user's config folder.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "common/sjis.h"

namespace kest {

class TRegistryStore {
 public:
  virtual ~TRegistryStore() = default;
  // Key path and value name compare without case, as the registry does. All texts CP932.
  virtual std::optional<std::string> ReadString(std::string_view key, std::string_view name) = 0;
  // False when the value could not be stored.
  virtual bool WriteString(std::string_view key, std::string_view name, std::string_view value) = 0;
  virtual bool DeleteValue(std::string_view key, std::string_view name) = 0;
};

using TRegistryValues = std::map<std::string, std::string, NoCaseLess>;

// The INI text of one key: a "[Values]" section of name=value lines, UTF-8, with "\\", "\n",
// "\r", "\t" and "\xHH" escapes so that every CP932 byte string comes back unchanged.
std::string FormatRegistryIni(std::string_view keyCp932, const TRegistryValues& values);
// Reads such a text (hand edits welcome: blanks around names and values, comments starting
// with ";" or "#", any section lines). Lines without "=" are skipped.
TRegistryValues ParseRegistryIni(std::string_view text);

// The file name of a key: its folded text in UTF-8, "\" and "/" as "-", ".ini" appended.
std::string RegistryFileName(std::string_view keyCp932);

class TIniRegistryStore : public TRegistryStore {
 public:
  // folder: where the INI files go (created when a value is first written).
  explicit TIniRegistryStore(std::string folder) : folder_(std::move(folder)) {}
  std::optional<std::string> ReadString(std::string_view key, std::string_view name) override;
  bool WriteString(std::string_view key, std::string_view name, std::string_view value) override;
  bool DeleteValue(std::string_view key, std::string_view name) override;
  std::string PathOf(std::string_view key) const { return folder_ + "/" + RegistryFileName(key); }

 private:
  TRegistryValues Load(std::string_view key) const;
  bool Store(std::string_view key, const TRegistryValues& values) const;
  std::string folder_;
};

}  // namespace kest
