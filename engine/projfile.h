// The stored records of a title's set-up: the project file "kest.kpb" (TProjectSetting
// with its declared variables and folder -> disc list) and the installer's "install.dat"
// (TKestInstallSet). Readers accept every version they know and check each count and
// length against what remains; writers write any of those versions, so tools and tests
// make the same files the authoring system made.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/types.h"
#include "vfs/streams.h"

namespace kest {

// "このバージョンには対応していません" (this version is not supported).
class EProjectVersion : public EKestBadData {
 public:
  EProjectVersion();
};

// One declared project variable. Kinds 1 integer, 2 real, 3 flag, 4 string; another kind
// carries no value.
struct TParamData {
  uint8_t kind = PT_INT;
  std::string name;
  int32_t intValue = 0;
  Float floatValue = 0;
  bool boolValue = false;
  std::string strValue;

  static TParamData Int(std::string n, int32_t v) { return Make(PT_INT, std::move(n), [&](TParamData& d) { d.intValue = v; }); }
  static TParamData Real(std::string n, Float v) { return Make(PT_FLOAT, std::move(n), [&](TParamData& d) { d.floatValue = v; }); }
  static TParamData Flag(std::string n, bool v) { return Make(PT_BOOL, std::move(n), [&](TParamData& d) { d.boolValue = v; }); }
  static TParamData Str(std::string n, std::string v) { return Make(PT_STR, std::move(n), [&](TParamData& d) { d.strValue = std::move(v); }); }

  void LoadFromStream(TStream& s);
  void SaveToStream(TStream& s) const;
  bool operator==(const TParamData&) const = default;

 private:
  template <class F>
  static TParamData Make(uint8_t kind, std::string name, F set) {
    TParamData d;
    d.kind = kind;
    d.name = std::move(name);
    set(d);
    return d;
  }
};

// Folder -> disc number. Folders compare without case, each with a trailing "\".
class TFolderDiskList {
 public:
  struct TItem {
    std::string folder;
    int32_t disc = 0;
    bool operator==(const TItem&) const = default;
  };
  std::vector<TItem> items;

  void Add(const std::string& folder, int32_t disc) { items.push_back({folder, disc}); }
  // The disc of a folder, or -1 when the folder is not listed (first match wins).
  int32_t Find(const std::string& folder) const;
  // The disc of a file: the file name itself as a folder, then each folder above it
  // (the text before the last "\", never inside a double-byte pair); 0 when none is
  // listed.
  int32_t DiscOf(const std::string& name) const;

  void LoadFromStream(TStream& s);
  void SaveToStream(TStream& s) const;
  bool operator==(const TFolderDiskList&) const = default;
};

// "\" appended unless the text already ends with a single-byte "\".
std::string IncludeTrailingBackslash(const std::string& cp932);

// The project file record.
struct TProjectSetting {
  static constexpr int32_t kVersion = 115;  // the newest version written and read
  // Defaults of fields an older file lacks.
  static constexpr const char* kOldSoundExts = ".wav.wma.ogg.mid";

  int32_t version = kVersion;
  std::string title;
  int32_t width = 0, height = 0;
  int32_t fullWidth = 0, fullHeight = 0;
  std::string startPage;
  std::string exitPage;  // version >= 110
  std::string registryKey;
  int32_t imageSeed = 0;
  bool storeStatus = false;    // version > 103
  bool unusedFlag = false;     // version >= 106; the player does not use it
  std::string soundExts = kOldSoundExts;  // version >= 109
  bool pauseWhenInactive = false;  // version > 112
  bool needFirstDisc = false;      // version >= 114
  std::string discPrompt, quitPrompt;
  std::vector<TParamData> vars;
  TFolderDiskList folderDiscs;

  // Raises EProjectVersion for a version above 115, EReadError when the record is cut
  // short, EKestBadData for a count that the remaining bytes cannot hold.
  void LoadFromStream(TStream& s);
  // Writes the layout of `version` (fields that version lacks are left out). Versions
  // above 115 are refused with EProjectVersion.
  void SaveToStream(TStream& s) const;
  bool operator==(const TProjectSetting&) const = default;
};

// The installer's record. Only Title, DataInstalled and FileList mean something to the
// player; every other field is kept as read and written back unchanged.
struct TKestInstallSet {
  static constexpr int32_t kVersion = 108;

  int32_t version = kVersion;  // as read ("is" + three digits; 0 without the magic)
  int32_t discIndex = 0;       // field 1: the index of the disc (0 the first) this set is on
  std::string Title;
  std::string str3[3];
  bool flag6 = false;
  std::string str7;
  bool flag8 = false;
  std::string str10;
  int32_t value11 = 0;
  bool flag12 = false, flag13 = false;
  std::string str14, str15;
  struct TQuad {
    int64_t v[4] = {0, 0, 0, 0};
    bool operator==(const TQuad&) const = default;
  };
  std::vector<TQuad> items;  // field 9 gives their count
  TQuad totals;
  bool flag18 = false;
  bool flag19 = false;                // version > 100
  std::vector<std::string> FileList;  // version > 101
  bool DataInstalled = false;         // version > 102
  bool flag22 = false;                // version > 103
  bool flag23 = false;                // version > 104
  std::vector<std::string> list24;    // version > 105
  std::string str25;                  // version > 106
  std::string str26, str27;           // version > 107

  void LoadFromStream(TStream& s);
  // Always the "is108" layout.
  void SaveToStream(TStream& s) const;
  bool operator==(const TKestInstallSet&) const = default;
};

}  // namespace kest
