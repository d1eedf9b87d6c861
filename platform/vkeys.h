// Windows virtual-key codes: the key numbers that scripts, key state and hooks use.
#pragma once
#include <string>
#include <string_view>

namespace kest {

enum : int {
  VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_MBUTTON = 0x04,
  VK_BACK = 0x08, VK_TAB = 0x09, VK_CLEAR = 0x0C, VK_RETURN = 0x0D,
  VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12, VK_PAUSE = 0x13, VK_CAPITAL = 0x14,
  VK_KANA = 0x15, VK_KANJI = 0x19, VK_ESCAPE = 0x1B, VK_CONVERT = 0x1C, VK_NONCONVERT = 0x1D,
  VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24,
  VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
  VK_SELECT = 0x29, VK_PRINT = 0x2A, VK_EXECUTE = 0x2B, VK_SNAPSHOT = 0x2C,
  VK_INSERT = 0x2D, VK_DELETE = 0x2E, VK_HELP = 0x2F,
  // '0' ... '9' are 0x30 ... 0x39, 'A' ... 'Z' are 0x41 ... 0x5A.
  VK_LWIN = 0x5B, VK_RWIN = 0x5C, VK_APPS = 0x5D, VK_SLEEP = 0x5F,
  VK_NUMPAD0 = 0x60, VK_NUMPAD9 = 0x69, VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SEPARATOR = 0x6C,
  VK_SUBTRACT = 0x6D, VK_DECIMAL = 0x6E, VK_DIVIDE = 0x6F,
  VK_F1 = 0x70, VK_F12 = 0x7B, VK_F13 = 0x7C, VK_F24 = 0x87,
  VK_NUMLOCK = 0x90, VK_SCROLL = 0x91,
  VK_LSHIFT = 0xA0, VK_RSHIFT = 0xA1, VK_LCONTROL = 0xA2, VK_RCONTROL = 0xA3,
  VK_LMENU = 0xA4, VK_RMENU = 0xA5,
  VK_OEM_1 = 0xBA,       // ;:  (US layout)
  VK_OEM_PLUS = 0xBB,    // =+
  VK_OEM_COMMA = 0xBC,   // ,<
  VK_OEM_MINUS = 0xBD,   // -_
  VK_OEM_PERIOD = 0xBE,  // .>
  VK_OEM_2 = 0xBF,       // /?
  VK_OEM_3 = 0xC0,       // `~
  VK_OEM_4 = 0xDB,       // [{
  VK_OEM_5 = 0xDC,       // \|
  VK_OEM_6 = 0xDD,       // ]}
  VK_OEM_7 = 0xDE,       // '"
  VK_OEM_102 = 0xE2,     // the extra key beside left Shift (ISO) or the "ro" key (JIS)
};

// The name of a code without the "VK_" prefix ("RETURN", "F5", "A", "NUMPAD3"), or the
// code in hexadecimal ("0xE9") when it has none.
std::string VkName(int vk);

// Reads a key given by name (with or without "VK_", any letter case), as a single letter or
// digit, or as a number (decimal or 0x hex, 1 ... 255). Answers 0 when it names no key.
int VkFromName(std::string_view name);

}  // namespace kest
