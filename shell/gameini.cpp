#include "shell/gameini.h"

#include <climits>
#include <cstdint>

namespace kest {

namespace {
std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}
}  // namespace

TIniText::TIniText(std::string_view text) {
  std::string section;
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    std::string_view line = Trim(text.substr(0, nl));
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      section = std::string(Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string key(Trim(line.substr(0, eq)));
    if (key.empty()) continue;
    sections_[section].emplace(key, std::string(Trim(line.substr(eq + 1))));
  }
}

std::optional<std::string> TIniText::Read(std::string_view section, std::string_view key) const {
  auto s = sections_.find(section);
  if (s == sections_.end()) return std::nullopt;
  auto k = s->second.find(key);
  if (k == s->second.end()) return std::nullopt;
  return k->second;
}

int32_t TIniText::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
  const auto v = Read(section, key);
  if (!v || v->empty()) return def;
  std::string_view s = *v;
  bool neg = false;
  if (s[0] == '-' || s[0] == '+') {
    neg = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return def;
  int64_t n = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return def;
    n = n * base + d;
    if (n > int64_t(UINT32_MAX) + 1) return def;
  }
  if (neg) n = -n;
  // Hexadecimal values may give the full 32 bits.
  if (base == 16 && n > INT32_MAX && n <= int64_t(UINT32_MAX)) return int32_t(uint32_t(n));
  if (n < INT32_MIN || n > INT32_MAX) return def;
  return int32_t(n);
}

int32_t ClampDelayTime(int32_t ms) {
  ms = ms / 100 * 100;  // truncated toward zero
  return ms < 100 ? 100 : ms > 500 ? 500 : ms;
}

TGameIni ReadGameIni(std::string_view text) {
  const TIniText ini(text);
  TGameIni g;
  g.DirectSound = ini.ReadBool("Sound", "DirectSound", true);
  g.DelayTime = ClampDelayTime(ini.ReadInteger("Sound", "DelayTime", g.DelayTime));
  g.UseWMP = ini.ReadBool("Video", "UseWMP", false);
  g.Scale = ini.Read("Video", "Scale").value_or(std::string());
  return g;
}

}  // namespace kest
