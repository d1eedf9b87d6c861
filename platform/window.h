// The player's window: presentation of the composed frame and the input events.
#pragma once
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/events.h"

namespace kest {

// A 32-bit frame: pixels 0xAARRGGBB (memory order B, G, R, A), rows `stride` pixels apart.
struct TFrameView {
  const uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

// A frame the window keeps (the last one presented).
struct TFrame {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // width * height, rows packed

  bool Empty() const { return width <= 0 || height <= 0; }
  TFrameView View() const { return {pixels.data(), width, height, width}; }
  void Assign(const TFrameView& f);
};

class TWindow {
 public:
  virtual ~TWindow() = default;

  virtual void SetCaption(std::string_view cp932) = 0;
  // Size of the window's frame area when not full screen.
  virtual void SetClientSize(int width, int height) = 0;
  // Shows the frame, scaled with its aspect kept when the window is bigger or full screen.
  // Frames of any size are accepted; the window keeps a copy of the last one.
  virtual void Present(const TFrameView& frame) = 0;
  // Full screen is the desktop's own mode (no mode change), the frame scaled into it.
  virtual void SetFullScreen(bool full) = 0;
  virtual bool IsFullScreen() const = 0;
  // Next pending input event, if any. Never waits.
  virtual bool PollEvent(TInputEvent& event) = 0;
  // Moves the pointer to a point of the frame.
  virtual void WarpMouse(int x, int y) = 0;

  // The last presented frame (empty before the first Present).
  const TFrame& LastFrame() const { return last_; }

 protected:
  TFrame last_;
};

// Creates the window (one per player).
class TWindowSystem {
 public:
  virtual ~TWindowSystem() = default;
  // Throws EKest when the window cannot be created.
  virtual std::unique_ptr<TWindow> CreateWindow(int width, int height, std::string_view captionCp932) = 0;
  virtual bool Headless() const = 0;
};

}  // namespace kest
