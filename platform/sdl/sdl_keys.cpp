#include "platform/sdl/sdl_keys.h"

#include "platform/vkeys.h"

namespace kest {

namespace {

struct TScanVk {
  SDL_Scancode sc;
  int vk;
};

constexpr TScanVk kScanTable[] = {
    {SDL_SCANCODE_RETURN, VK_RETURN}, {SDL_SCANCODE_ESCAPE, VK_ESCAPE}, {SDL_SCANCODE_BACKSPACE, VK_BACK},
    {SDL_SCANCODE_TAB, VK_TAB}, {SDL_SCANCODE_SPACE, VK_SPACE},
    {SDL_SCANCODE_MINUS, VK_OEM_MINUS}, {SDL_SCANCODE_EQUALS, VK_OEM_PLUS},
    {SDL_SCANCODE_LEFTBRACKET, VK_OEM_4}, {SDL_SCANCODE_RIGHTBRACKET, VK_OEM_6},
    {SDL_SCANCODE_BACKSLASH, VK_OEM_5}, {SDL_SCANCODE_NONUSHASH, VK_OEM_5},
    {SDL_SCANCODE_SEMICOLON, VK_OEM_1}, {SDL_SCANCODE_APOSTROPHE, VK_OEM_7}, {SDL_SCANCODE_GRAVE, VK_OEM_3},
    {SDL_SCANCODE_COMMA, VK_OEM_COMMA}, {SDL_SCANCODE_PERIOD, VK_OEM_PERIOD}, {SDL_SCANCODE_SLASH, VK_OEM_2},
    {SDL_SCANCODE_NONUSBACKSLASH, VK_OEM_102},
    {SDL_SCANCODE_INTERNATIONAL1, VK_OEM_102},  // JIS "ro" (backslash, underscore)
    {SDL_SCANCODE_INTERNATIONAL2, VK_KANA},     // JIS katakana/hiragana
    {SDL_SCANCODE_INTERNATIONAL3, VK_OEM_5},    // JIS yen
    {SDL_SCANCODE_INTERNATIONAL4, VK_CONVERT},  // JIS henkan
    {SDL_SCANCODE_INTERNATIONAL5, VK_NONCONVERT},
    {SDL_SCANCODE_CAPSLOCK, VK_CAPITAL}, {SDL_SCANCODE_PRINTSCREEN, VK_SNAPSHOT},
    {SDL_SCANCODE_SCROLLLOCK, VK_SCROLL}, {SDL_SCANCODE_PAUSE, VK_PAUSE},
    {SDL_SCANCODE_INSERT, VK_INSERT}, {SDL_SCANCODE_HOME, VK_HOME}, {SDL_SCANCODE_PAGEUP, VK_PRIOR},
    {SDL_SCANCODE_DELETE, VK_DELETE}, {SDL_SCANCODE_END, VK_END}, {SDL_SCANCODE_PAGEDOWN, VK_NEXT},
    {SDL_SCANCODE_RIGHT, VK_RIGHT}, {SDL_SCANCODE_LEFT, VK_LEFT}, {SDL_SCANCODE_DOWN, VK_DOWN},
    {SDL_SCANCODE_UP, VK_UP}, {SDL_SCANCODE_NUMLOCKCLEAR, VK_NUMLOCK},
    {SDL_SCANCODE_KP_DIVIDE, VK_DIVIDE}, {SDL_SCANCODE_KP_MULTIPLY, VK_MULTIPLY},
    {SDL_SCANCODE_KP_MINUS, VK_SUBTRACT}, {SDL_SCANCODE_KP_PLUS, VK_ADD}, {SDL_SCANCODE_KP_ENTER, VK_RETURN},
    {SDL_SCANCODE_KP_COMMA, VK_SEPARATOR},
    {SDL_SCANCODE_APPLICATION, VK_APPS}, {SDL_SCANCODE_MENU, VK_APPS}, {SDL_SCANCODE_HELP, VK_HELP},
    {SDL_SCANCODE_SELECT, VK_SELECT}, {SDL_SCANCODE_EXECUTE, VK_EXECUTE}, {SDL_SCANCODE_SLEEP, VK_SLEEP},
    {SDL_SCANCODE_CLEAR, VK_CLEAR}, {SDL_SCANCODE_LGUI, VK_LWIN}, {SDL_SCANCODE_RGUI, VK_RWIN},
};

// Keypad 1 ... 9, 0 and the decimal point: with Num Lock, then without.
struct TKeypadVk {
  SDL_Scancode sc;
  int numLock, navigation;
};

constexpr TKeypadVk kKeypad[] = {
    {SDL_SCANCODE_KP_0, VK_NUMPAD0, VK_INSERT},     {SDL_SCANCODE_KP_1, VK_NUMPAD0 + 1, VK_END},
    {SDL_SCANCODE_KP_2, VK_NUMPAD0 + 2, VK_DOWN},   {SDL_SCANCODE_KP_3, VK_NUMPAD0 + 3, VK_NEXT},
    {SDL_SCANCODE_KP_4, VK_NUMPAD0 + 4, VK_LEFT},   {SDL_SCANCODE_KP_5, VK_NUMPAD0 + 5, VK_CLEAR},
    {SDL_SCANCODE_KP_6, VK_NUMPAD0 + 6, VK_RIGHT},  {SDL_SCANCODE_KP_7, VK_NUMPAD0 + 7, VK_HOME},
    {SDL_SCANCODE_KP_8, VK_NUMPAD0 + 8, VK_UP},     {SDL_SCANCODE_KP_9, VK_NUMPAD0 + 9, VK_PRIOR},
    {SDL_SCANCODE_KP_PERIOD, VK_DECIMAL, VK_DELETE},
};

TVkMapping Same(int vk) { return {vk, vk}; }

// The position of a key given only by its key code (no scan code in the event): keys
// without a character carry their scan code inside the key code; characters are looked up
// on a US keyboard.
SDL_Scancode ScancodeOfKey(SDL_Keycode key) {
  if (key & SDLK_SCANCODE_MASK) return SDL_Scancode(key & ~SDLK_SCANCODE_MASK);
  if (key >= SDLK_a && key <= SDLK_z) return SDL_Scancode(SDL_SCANCODE_A + (key - SDLK_a));
  if (key >= SDLK_1 && key <= SDLK_9) return SDL_Scancode(SDL_SCANCODE_1 + (key - SDLK_1));
  switch (key) {
    case SDLK_0: return SDL_SCANCODE_0;
    case SDLK_RETURN: return SDL_SCANCODE_RETURN;
    case SDLK_ESCAPE: return SDL_SCANCODE_ESCAPE;
    case SDLK_BACKSPACE: return SDL_SCANCODE_BACKSPACE;
    case SDLK_TAB: return SDL_SCANCODE_TAB;
    case SDLK_SPACE: return SDL_SCANCODE_SPACE;
    case SDLK_DELETE: return SDL_SCANCODE_DELETE;
    case SDLK_MINUS: return SDL_SCANCODE_MINUS;
    case SDLK_EQUALS: return SDL_SCANCODE_EQUALS;
    case SDLK_LEFTBRACKET: return SDL_SCANCODE_LEFTBRACKET;
    case SDLK_RIGHTBRACKET: return SDL_SCANCODE_RIGHTBRACKET;
    case SDLK_BACKSLASH: return SDL_SCANCODE_BACKSLASH;
    case SDLK_SEMICOLON: return SDL_SCANCODE_SEMICOLON;
    case SDLK_QUOTE: return SDL_SCANCODE_APOSTROPHE;
    case SDLK_BACKQUOTE: return SDL_SCANCODE_GRAVE;
    case SDLK_COMMA: return SDL_SCANCODE_COMMA;
    case SDLK_PERIOD: return SDL_SCANCODE_PERIOD;
    case SDLK_SLASH: return SDL_SCANCODE_SLASH;
  }
  return SDL_SCANCODE_UNKNOWN;
}

}  // namespace

TVkMapping MapSdlKey(SDL_Keycode key, SDL_Scancode sc, Uint16 mod) {
  if (sc == SDL_SCANCODE_UNKNOWN) sc = ScancodeOfKey(key);
  switch (sc) {
    case SDL_SCANCODE_LSHIFT: return {VK_SHIFT, VK_LSHIFT};
    case SDL_SCANCODE_RSHIFT: return {VK_SHIFT, VK_RSHIFT};
    case SDL_SCANCODE_LCTRL: return {VK_CONTROL, VK_LCONTROL};
    case SDL_SCANCODE_RCTRL: return {VK_CONTROL, VK_RCONTROL};
    case SDL_SCANCODE_LALT: return {VK_MENU, VK_LMENU};
    case SDL_SCANCODE_RALT: return {VK_MENU, VK_RMENU};
    default: break;
  }
  for (const TKeypadVk& k : kKeypad)
    if (k.sc == sc) return Same((mod & KMOD_NUM) ? k.numLock : k.navigation);
  if (key >= SDLK_a && key <= SDLK_z) return Same(int('A' + (key - SDLK_a)));
  if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return Same(int('A' + (sc - SDL_SCANCODE_A)));
  if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return Same(int('1' + (sc - SDL_SCANCODE_1)));
  if (sc == SDL_SCANCODE_0) return Same('0');
  if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return Same(VK_F1 + (sc - SDL_SCANCODE_F1));
  if (sc >= SDL_SCANCODE_F13 && sc <= SDL_SCANCODE_F24) return Same(VK_F13 + (sc - SDL_SCANCODE_F13));
  for (const TScanVk& e : kScanTable)
    if (e.sc == sc) return Same(e.vk);
  return {};
}

}  // namespace kest
