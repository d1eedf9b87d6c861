// Input events as the window hands them to the player.
#pragma once
#include <cstdint>
#include <string>

namespace kest {

enum class TEventKind : uint8_t {
  MouseMove,   // x, y
  MouseDown,   // button, x, y
  MouseUp,     // button, x, y
  MouseWheel,  // wheel (+1 per notch up, -1 per notch down), x, y
  KeyDown,     // vk, sidedVk, repeat
  KeyUp,       // vk, sidedVk
  Text,        // text (CP932)
  Close,       // the user asked to close the window
  Activate,    // the window got the keyboard focus
  Deactivate,  // the window lost it
};

enum class TMouseButton : uint8_t { None, Left, Right, Middle };

struct TInputEvent {
  TEventKind kind = TEventKind::MouseMove;
  // Pointer position in frame coordinates (the window's scaling undone). It may lie outside
  // the frame when the pointer is over the border of a scaled window.
  int x = 0, y = 0;
  TMouseButton button = TMouseButton::None;
  int wheel = 0;
  // The virtual-key code as a key message carries it (VK_SHIFT, VK_CONTROL, VK_MENU for
  // either side), and the side-specific code (VK_LSHIFT ... VK_RMENU; else equal to vk).
  int vk = 0;
  int sidedVk = 0;
  bool repeat = false;  // the system's automatic repeat of a held key
  std::string text;     // typed text, CP932

  static TInputEvent Mouse(TEventKind k, int x, int y, TMouseButton b = TMouseButton::None) {
    TInputEvent e;
    e.kind = k;
    e.x = x;
    e.y = y;
    e.button = b;
    return e;
  }
  static TInputEvent Key(TEventKind k, int vk, int sidedVk = 0, bool repeat = false) {
    TInputEvent e;
    e.kind = k;
    e.vk = vk;
    e.sidedVk = sidedVk ? sidedVk : vk;
    e.repeat = repeat;
    return e;
  }
  static TInputEvent Of(TEventKind k) {
    TInputEvent e;
    e.kind = k;
    return e;
  }
};

}  // namespace kest
