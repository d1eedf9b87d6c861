// Where a frame lands in a bigger window, aspect kept, and the way back for the pointer.
#pragma once

namespace kest {

struct TViewport {
  int x = 0, y = 0, width = 0, height = 0;  // the frame's rectangle in the window

  // A window point to frame coordinates (floor division, so points left of or above the
  // frame give negative coordinates).
  void ToFrame(int wx, int wy, int frameWidth, int frameHeight, int& fx, int& fy) const;
};

// The largest rectangle of the frame's aspect that fits the window, centred. A window
// exactly the frame's size gives the frame 1:1.
TViewport FitFrame(int windowWidth, int windowHeight, int frameWidth, int frameHeight);

// The largest whole multiple of the frame that fits the window, centred; when not even
// 1:1 fits, FitFrame.
TViewport FitFrameInteger(int windowWidth, int windowHeight, int frameWidth, int frameHeight);

// Where the frame lands when it is centred in a stage (a title's display mode, 0 x 0 = the
// frame itself) and the stage is fitted to the window: integer scaling uses one whole
// factor for stage and frame alike, so frame pixels stay square and sharp.
TViewport PlaceFrame(int windowWidth, int windowHeight, int frameWidth, int frameHeight, int stageWidth,
                     int stageHeight, bool integer);

}  // namespace kest
