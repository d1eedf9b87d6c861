// game.ini: the machine's sound and video settings of a title, in Windows INI text.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "common/sjis.h"

namespace kest {

// An INI text: [Section] lines, Key=Value lines; section and key names compare without
// case; blanks around names and values are dropped; the first of repeated keys counts;
// lines starting with ";" and lines without "=" are skipped.
class TIniText {
 public:
  explicit TIniText(std::string_view text);
  std::optional<std::string> Read(std::string_view section, std::string_view key) const;
  // The value as an integer (decimal, or hex after "$" or "0x", with an optional sign,
  // within the int32 range), else the default.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
  // True when the integer value is not 0.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
  }

 private:
  std::map<std::string, std::map<std::string, std::string, NoCaseLess>, NoCaseLess> sections_;
};

struct TGameIni {
  bool DirectSound = true;
  int32_t DelayTime = 500;  // 100 ... 500 in steps of 100
  bool UseWMP = false;
  // [Video] Scale=: how a frame is enlarged in a bigger window or full screen ("smooth",
  // the default, or "integer"/"sharp").
  std::string Scale;
};

// The settings of a game.ini text; keys that are missing keep the defaults. DelayTime is
// truncated to a multiple of 100 and held within 100 ... 500.
TGameIni ReadGameIni(std::string_view text);
int32_t ClampDelayTime(int32_t ms);

}  // namespace kest
