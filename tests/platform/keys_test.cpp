#include <gtest/gtest.h>

#include "platform/sdl/sdl_keys.h"
#include "platform/vkeys.h"

using namespace kest;

TEST(VirtualKeys, SdlKeysMapToWindowsCodes) {
  struct TCase {
    SDL_Keycode key;
    SDL_Scancode sc;
    Uint16 mod;
    int vk, sided;
  };
  const TCase cases[] = {
      // Letters follow the layout; digits and punctuation the position on a US keyboard.
      {SDLK_a, SDL_SCANCODE_A, 0, 'A', 'A'},
      {SDLK_z, SDL_SCANCODE_Z, KMOD_LSHIFT, 'Z', 'Z'},
      {SDLK_a, SDL_SCANCODE_Q, 0, 'A', 'A'},          // AZERTY: "a" where US has "q"
      {0x3B1, SDL_SCANCODE_A, 0, 'A', 'A'},           // a Greek layout: the position decides
      {SDLK_1, SDL_SCANCODE_1, 0, '1', '1'},
      {SDLK_9, SDL_SCANCODE_9, 0, '9', '9'},
      {SDLK_0, SDL_SCANCODE_0, 0, '0', '0'},
      {SDLK_AMPERSAND, SDL_SCANCODE_1, 0, '1', '1'},  // AZERTY digit row
      {SDLK_F1, SDL_SCANCODE_F1, 0, 0x70, 0x70},
      {SDLK_F12, SDL_SCANCODE_F12, 0, 0x7B, 0x7B},
      {SDLK_F13, SDL_SCANCODE_F13, 0, 0x7C, 0x7C},
      {SDLK_F24, SDL_SCANCODE_F24, 0, 0x87, 0x87},
      {SDLK_LEFT, SDL_SCANCODE_LEFT, 0, 0x25, 0x25},
      {SDLK_UP, SDL_SCANCODE_UP, 0, 0x26, 0x26},
      {SDLK_RIGHT, SDL_SCANCODE_RIGHT, 0, 0x27, 0x27},
      {SDLK_DOWN, SDL_SCANCODE_DOWN, 0, 0x28, 0x28},
      {SDLK_HOME, SDL_SCANCODE_HOME, 0, 0x24, 0x24},
      {SDLK_END, SDL_SCANCODE_END, 0, 0x23, 0x23},
      {SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, 0, 0x21, 0x21},
      {SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN, 0, 0x22, 0x22},
      {SDLK_INSERT, SDL_SCANCODE_INSERT, 0, 0x2D, 0x2D},
      {SDLK_DELETE, SDL_SCANCODE_DELETE, 0, 0x2E, 0x2E},
      {SDLK_RETURN, SDL_SCANCODE_RETURN, 0, 0x0D, 0x0D},
      {SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, 0, 0x0D, 0x0D},
      {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 0, 0x1B, 0x1B},
      {SDLK_SPACE, SDL_SCANCODE_SPACE, 0, 0x20, 0x20},
      {SDLK_TAB, SDL_SCANCODE_TAB, 0, 0x09, 0x09},
      {SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, 0, 0x08, 0x08},
      // Key messages carry the common code of Shift, Control and Alt.
      {SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, 0, 0x10, 0xA0},
      {SDLK_RSHIFT, SDL_SCANCODE_RSHIFT, 0, 0x10, 0xA1},
      {SDLK_LCTRL, SDL_SCANCODE_LCTRL, 0, 0x11, 0xA2},
      {SDLK_RCTRL, SDL_SCANCODE_RCTRL, 0, 0x11, 0xA3},
      {SDLK_LALT, SDL_SCANCODE_LALT, 0, 0x12, 0xA4},
      {SDLK_RALT, SDL_SCANCODE_RALT, 0, 0x12, 0xA5},
      // The keypad: digits with Num Lock, navigation without.
      {SDLK_KP_0, SDL_SCANCODE_KP_0, KMOD_NUM, 0x60, 0x60},
      {SDLK_KP_7, SDL_SCANCODE_KP_7, KMOD_NUM, 0x67, 0x67},
      {SDLK_KP_7, SDL_SCANCODE_KP_7, 0, 0x24, 0x24},
      {SDLK_KP_5, SDL_SCANCODE_KP_5, 0, 0x0C, 0x0C},
      {SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD, KMOD_NUM, 0x6E, 0x6E},
      {SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD, 0, 0x2E, 0x2E},
      {SDLK_KP_DIVIDE, SDL_SCANCODE_KP_DIVIDE, 0, 0x6F, 0x6F},
      {SDLK_KP_MULTIPLY, SDL_SCANCODE_KP_MULTIPLY, 0, 0x6A, 0x6A},
      {SDLK_KP_MINUS, SDL_SCANCODE_KP_MINUS, 0, 0x6D, 0x6D},
      {SDLK_KP_PLUS, SDL_SCANCODE_KP_PLUS, 0, 0x6B, 0x6B},
      // US punctuation.
      {SDLK_SEMICOLON, SDL_SCANCODE_SEMICOLON, 0, 0xBA, 0xBA},
      {SDLK_EQUALS, SDL_SCANCODE_EQUALS, 0, 0xBB, 0xBB},
      {SDLK_COMMA, SDL_SCANCODE_COMMA, 0, 0xBC, 0xBC},
      {SDLK_MINUS, SDL_SCANCODE_MINUS, 0, 0xBD, 0xBD},
      {SDLK_PERIOD, SDL_SCANCODE_PERIOD, 0, 0xBE, 0xBE},
      {SDLK_SLASH, SDL_SCANCODE_SLASH, 0, 0xBF, 0xBF},
      {SDLK_BACKQUOTE, SDL_SCANCODE_GRAVE, 0, 0xC0, 0xC0},
      {SDLK_LEFTBRACKET, SDL_SCANCODE_LEFTBRACKET, 0, 0xDB, 0xDB},
      {SDLK_BACKSLASH, SDL_SCANCODE_BACKSLASH, 0, 0xDC, 0xDC},
      {SDLK_RIGHTBRACKET, SDL_SCANCODE_RIGHTBRACKET, 0, 0xDD, 0xDD},
      {SDLK_QUOTE, SDL_SCANCODE_APOSTROPHE, 0, 0xDE, 0xDE},
      {SDLK_LESS, SDL_SCANCODE_NONUSBACKSLASH, 0, 0xE2, 0xE2},
      {SDLK_PAUSE, SDL_SCANCODE_PAUSE, 0, 0x13, 0x13},
      {SDLK_CAPSLOCK, SDL_SCANCODE_CAPSLOCK, 0, 0x14, 0x14},
      {SDLK_PRINTSCREEN, SDL_SCANCODE_PRINTSCREEN, 0, 0x2C, 0x2C},
      {SDLK_NUMLOCKCLEAR, SDL_SCANCODE_NUMLOCKCLEAR, 0, 0x90, 0x90},
      {SDLK_SCROLLLOCK, SDL_SCANCODE_SCROLLLOCK, 0, 0x91, 0x91},
      {SDLK_LGUI, SDL_SCANCODE_LGUI, 0, 0x5B, 0x5B},
      {SDLK_APPLICATION, SDL_SCANCODE_APPLICATION, 0, 0x5D, 0x5D},
      // No scan code: found through the key code.
      {SDLK_ESCAPE, SDL_SCANCODE_UNKNOWN, 0, 0x1B, 0x1B},
      {SDLK_F5, SDL_SCANCODE_UNKNOWN, 0, 0x74, 0x74},
      {SDLK_SLASH, SDL_SCANCODE_UNKNOWN, 0, 0xBF, 0xBF},
      {SDLK_RCTRL, SDL_SCANCODE_UNKNOWN, 0, 0x11, 0xA3},
      // Keys Windows has no code for.
      {SDLK_AUDIOPLAY, SDL_SCANCODE_AUDIOPLAY, 0, 0, 0},
  };
  for (const TCase& c : cases) {
    const TVkMapping m = MapSdlKey(c.key, c.sc, c.mod);
    EXPECT_EQ(m.vk, c.vk) << "scancode " << int(c.sc) << " key " << c.key;
    EXPECT_EQ(m.sidedVk, c.sided) << "scancode " << int(c.sc) << " key " << c.key;
  }
}

TEST(VirtualKeys, NamesBothWays) {
  struct TCase {
    const char* name;
    int vk;
  };
  const TCase cases[] = {{"RETURN", 0x0D}, {"vk_return", 0x0D}, {"Enter", 0x0D}, {"ESCAPE", 0x1B}, {"esc", 0x1B},
                         {"a", 'A'},       {"Z", 'Z'},          {"7", '7'},      {"F1", 0x70},     {"f24", 0x87},
                         {"NUMPAD3", 0x63}, {"LSHIFT", 0xA0},   {"OEM_102", 0xE2}, {"13", 13},     {"0x2E", 0x2E},
                         {"F25", 0},       {"F0", 0},           {"256", 0},      {"0", '0'},       {"", 0},
                         {"nokey", 0},     {"F01", 0}};
  for (const TCase& c : cases) EXPECT_EQ(VkFromName(c.name), c.vk) << c.name;
  for (int vk = 1; vk < 256; ++vk) EXPECT_EQ(VkFromName(VkName(vk)), vk) << VkName(vk);
  EXPECT_EQ(VkName(0x0D), "RETURN");
  EXPECT_EQ(VkName(0xE9), "0xE9");
}
