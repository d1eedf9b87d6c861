// SDL key events to Windows virtual-key codes.
#pragma once
#include <SDL.h>

namespace kest {

struct TVkMapping {
  int vk = 0;       // as a key message carries it (VK_SHIFT for either Shift); 0: no such key
  int sidedVk = 0;  // VK_LSHIFT, VK_RSHIFT ...; equal to vk for keys without sides
};

// Letters follow the layout (the key code) when it gives a Latin letter; everything else
// goes by the key's position (scan code) as a US keyboard has it. Keypad digits and the
// decimal point give their navigation keys while Num Lock is off, as on Windows.
TVkMapping MapSdlKey(SDL_Keycode key, SDL_Scancode scancode, Uint16 mod);

}  // namespace kest
