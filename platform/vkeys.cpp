#include "platform/vkeys.h"

#include <cstdio>

#include "common/sjis.h"

namespace kest {

namespace {

struct TNamedKey {
  int vk;
  const char* name;
};

constexpr TNamedKey kNamedKeys[] = {
    {VK_LBUTTON, "LBUTTON"}, {VK_RBUTTON, "RBUTTON"}, {VK_MBUTTON, "MBUTTON"},
    {VK_BACK, "BACK"}, {VK_TAB, "TAB"}, {VK_CLEAR, "CLEAR"}, {VK_RETURN, "RETURN"},
    {VK_SHIFT, "SHIFT"}, {VK_CONTROL, "CONTROL"}, {VK_MENU, "MENU"}, {VK_PAUSE, "PAUSE"},
    {VK_CAPITAL, "CAPITAL"}, {VK_KANA, "KANA"}, {VK_KANJI, "KANJI"}, {VK_ESCAPE, "ESCAPE"},
    {VK_CONVERT, "CONVERT"}, {VK_NONCONVERT, "NONCONVERT"}, {VK_SPACE, "SPACE"},
    {VK_PRIOR, "PRIOR"}, {VK_NEXT, "NEXT"}, {VK_END, "END"}, {VK_HOME, "HOME"},
    {VK_LEFT, "LEFT"}, {VK_UP, "UP"}, {VK_RIGHT, "RIGHT"}, {VK_DOWN, "DOWN"},
    {VK_SELECT, "SELECT"}, {VK_PRINT, "PRINT"}, {VK_EXECUTE, "EXECUTE"},
    {VK_SNAPSHOT, "SNAPSHOT"}, {VK_INSERT, "INSERT"}, {VK_DELETE, "DELETE"}, {VK_HELP, "HELP"},
    {VK_LWIN, "LWIN"}, {VK_RWIN, "RWIN"}, {VK_APPS, "APPS"}, {VK_SLEEP, "SLEEP"},
    {VK_MULTIPLY, "MULTIPLY"}, {VK_ADD, "ADD"}, {VK_SEPARATOR, "SEPARATOR"},
    {VK_SUBTRACT, "SUBTRACT"}, {VK_DECIMAL, "DECIMAL"}, {VK_DIVIDE, "DIVIDE"},
    {VK_NUMLOCK, "NUMLOCK"}, {VK_SCROLL, "SCROLL"},
    {VK_LSHIFT, "LSHIFT"}, {VK_RSHIFT, "RSHIFT"}, {VK_LCONTROL, "LCONTROL"},
    {VK_RCONTROL, "RCONTROL"}, {VK_LMENU, "LMENU"}, {VK_RMENU, "RMENU"},
    {VK_OEM_1, "OEM_1"}, {VK_OEM_PLUS, "OEM_PLUS"}, {VK_OEM_COMMA, "OEM_COMMA"},
    {VK_OEM_MINUS, "OEM_MINUS"}, {VK_OEM_PERIOD, "OEM_PERIOD"}, {VK_OEM_2, "OEM_2"},
    {VK_OEM_3, "OEM_3"}, {VK_OEM_4, "OEM_4"}, {VK_OEM_5, "OEM_5"}, {VK_OEM_6, "OEM_6"},
    {VK_OEM_7, "OEM_7"}, {VK_OEM_102, "OEM_102"},
    // Friendlier spellings, read only.
    {VK_RETURN, "ENTER"}, {VK_ESCAPE, "ESC"}, {VK_BACK, "BACKSPACE"}, {VK_PRIOR, "PAGEUP"},
    {VK_NEXT, "PAGEDOWN"}, {VK_MENU, "ALT"}, {VK_CONTROL, "CTRL"},
};

bool ParseNumber(std::string_view s, int& out) {
  if (s.empty()) return false;
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  long v = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * base + d;
    if (v > 0xFFFF) return false;
  }
  out = int(v);
  return true;
}

}  // namespace

std::string VkName(int vk) {
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return std::string(1, char(vk));
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return "NUMPAD" + std::to_string(vk - VK_NUMPAD0);
  if (vk >= VK_F1 && vk <= VK_F24) return "F" + std::to_string(vk - VK_F1 + 1);
  for (const TNamedKey& k : kNamedKeys)
    if (k.vk == vk) return k.name;
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%02X", unsigned(vk) & 0xFFFFu);
  return buf;
}

int VkFromName(std::string_view name) {
  int n = 0;
  if (name.size() == 1) {
    const char c = name[0];
    if (c >= '0' && c <= '9') return c;
    if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
    if (c >= 'A' && c <= 'Z') return c;
    return 0;
  }
  if (ParseNumber(name, n)) return n >= 1 && n <= 255 ? n : 0;
  std::string up = UpperCase(name);
  std::string_view u = up;
  if (u.substr(0, 3) == "VK_") u.remove_prefix(3);
  if (u.size() == 1) return VkFromName(u);
  if (u.substr(0, 6) == "NUMPAD" && u.size() == 7 && u[6] >= '0' && u[6] <= '9')
    return VK_NUMPAD0 + (u[6] - '0');
  if (u[0] == 'F' && ParseNumber(u.substr(1), n) && u[1] != '0' && n >= 1 && n <= 24)
    return VK_F1 + n - 1;
  for (const TNamedKey& k : kNamedKeys)
    if (u == k.name) return k.vk;
  return 0;
}

}  // namespace kest
