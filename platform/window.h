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

// A rectangle of a frame: left, top inside; width and height.
struct TFrameRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const TFrameRect&) const = default;
};

// A display mode as the machine lists it (32-bit frames are what the window shows).
struct TDisplayMode {
  int width = 0, height = 0, bitCount = 0, refreshRate = 0;
  bool operator==(const TDisplayMode&) const = default;
};

// How the frame fills a window bigger than itself (game.ini [Video] Scale=):
//  Smooth   the largest size of the frame's aspect that fits, filtered;
//  Integer  the largest whole multiple that fits, sharp pixels (a window smaller than the
//           frame shrinks it to fit, filtered as Smooth is).
enum class TScaleMode { Smooth, Integer };
// "smooth" / "integer" (also "sharp", "nearest"), without case; anything else is Smooth.
TScaleMode ParseScaleMode(std::string_view text);

// A frame the window keeps (the last one presented).
struct TFrame {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // width * height, rows packed

  bool Empty() const { return width <= 0 || height <= 0; }
  TFrameView View() const { return {pixels.data(), width, height, width}; }
  void Assign(const TFrameView& f);
  // Copies only the rectangles (cut to the frame) when the frame keeps its size, else the
  // whole frame. Answers the rectangles copied (the whole frame in the second case).
  std::vector<TFrameRect> AssignRects(const TFrameView& f, const std::vector<TFrameRect>& rects);
};

// A rectangle cut to a w x h frame (empty: width or height 0).
TFrameRect CutToFrame(const TFrameRect& r, int w, int h);

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
  // Shows a frame whose only changes since the last one lie in `rects` (frame
  // coordinates; they are cut to the frame). A frame of another size than the last is
  // shown whole.
  virtual void PresentRects(const TFrameView& frame, const std::vector<TFrameRect>& rects);
  // The full-screen modes of the display the window is on, and the desktop's own mode.
  virtual std::vector<TDisplayMode> DisplayModes() const { return {}; }
  virtual TDisplayMode DesktopMode() const { return {}; }
  virtual void SetScaleMode(TScaleMode mode) { scale_ = mode; }
  TScaleMode ScaleMode() const { return scale_; }
  // Full screen shows the frame centred in a black stage of this size (a title's display
  // mode), the stage scaled into the desktop. 0 x 0: the stage is the frame.
  virtual void SetStageSize(int width, int height);
  // The frame's rectangle in window coordinates (pointer positions) as it is shown now.
  virtual TFrameRect FrameArea() const { return {}; }
  // Next pending input event, if any. Never waits.
  virtual bool PollEvent(TInputEvent& event) = 0;
  // Moves the pointer to a point of the frame.
  virtual void WarpMouse(int x, int y) = 0;

  // The last presented frame (empty before the first Present).
  const TFrame& LastFrame() const { return last_; }

 protected:
  TFrame last_;
  TScaleMode scale_ = TScaleMode::Smooth;
  int stageW_ = 0, stageH_ = 0;
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
