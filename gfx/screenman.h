// The screen manager: the composition surface every frame is drawn on, the display modes a
// title may ask for, the switch between window and full screen, and the presentation of
// each frame to the window.
//
// Full screen is always the desktop's own mode: a display mode chosen by a title is shown
// as a stage of that mode's size (the frame centred in it, black around), scaled into the
// desktop with the aspect kept. The monitor's mode is never changed.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "gfx/dibx.h"
#include "platform/window.h"

namespace kest {

// The usable full-screen modes from what the display lists: modes smaller than the screen
// or of 15 bits or fewer are dropped. The first kept mode is preferred; a later one
// replaces it when it has exactly the wanted size and either the preferred one has not,
// or it has the desktop's bit count and (the preferred one has not, or its refresh rate
// is lower). `preferred` is -1 when nothing is kept.
std::vector<TDisplayMode> UsableDisplayModes(const std::vector<TDisplayMode>& listed, int32_t screenWidth,
                                             int32_t screenHeight, int32_t wantedWidth, int32_t wantedHeight,
                                             int32_t desktopBitCount, int32_t& preferred);

// The composition surface's bit count for a display of that many bits (15 = 5-5-5):
// windowed 15 for 5-5-5, 32 above 16 bits, else 16; full screen 15 below 16 bits or for
// 5-5-5, 16 at 16 bits, else 32.
int32_t SurfaceBitsFor(int32_t displayBitCount, bool fullScreen);

// What one Present shows: the changed rectangles of the current screen layer, the
// full-redraw rectangle (a running transition's area; it wins when not empty) and the
// display zoom in percent.
struct TPresentRequest {
  std::vector<TRect> Dirty;
  TRect FullRedraw;
  int32_t Zoom = 100;
};

class TScreenManager {
 public:
  // A wanted size of 0 or less means the screen's own. forceBitCount 15 or 16 makes the
  // composition surface that layout whatever the display (game.ini can ask for it, and
  // tests run the 15/16-bit paths on 32-bit desktops); 0 follows the display.
  TScreenManager(TWindow& window, int32_t wantedHeight, int32_t wantedWidth, int32_t screenHeight,
                 int32_t screenWidth, int32_t forceBitCount = 0);

  // --- modes --------------------------------------------------------------------------
  int32_t DisplayModeCount() const { return int32_t(modes_.size()); }
  // The mode at an index (a mode of zeros outside the list).
  TDisplayMode DisplayMode(int32_t index) const;
  const std::vector<TDisplayMode>& DisplayModes() const { return modes_; }
  int32_t PreferredMode() const { return preferred_; }
  // A script's choice of mode (@DisplayModeIndex); the caller applies it.
  void SetPreferredMode(int32_t index) { preferred_ = index; }
  // -2 nothing set up, -1 windowed, >= 0 full screen in that mode.
  int32_t ModeIndex() const { return modeIndex_; }
  bool IsFullScreen() const { return fullScreen_; }
  // Windowed (-1) or full screen in a listed mode. A switch the window refuses, or an
  // index outside the list, ends windowed. The same index again does nothing.
  void SetModeIndex(int32_t index);
  // Before a switch: nothing is set up any more (ModeIndex -2). The surface and its picture
  // are kept (nothing here belongs to a device), so a switch never shows a black frame.
  void ReleaseDevice();
  // Full screen in the preferred mode, or back to the window: ReleaseDevice, then
  // SetModeIndex. The stage is the wanted size rather than the mode's (a title's own
  // SetModeIndex shows the mode's). Answers whether the manager is full screen afterwards.
  bool SetFullScreen(bool full);

  // --- the surface ----------------------------------------------------------------------
  TDIBX& ScreenSurface() { return *surface_; }
  int32_t SurfaceBitCount() const { return surfaceBits_; }
  // Presentation copies memory pictures: every surface of the player is a TDIBX.
  bool UsesDeviceContext() const { return true; }
  int32_t ScreenWidth() const { return screenW_; }
  int32_t ScreenHeight() const { return screenH_; }
  int32_t WantedWidth() const { return wantedW_; }
  int32_t WantedHeight() const { return wantedH_; }

  // --- presentation ---------------------------------------------------------------------
  // Shows the frame: a zoom that is not a multiple of 100 shows the whole surface; else the
  // full-redraw rectangle when there is one, else the changed rectangles. The first
  // present after a mode change is whole. Empties the request's lists; counts a present
  // that copied something.
  void Present(TPresentRequest& request);
  // The window's size for a zoom (percent, held to 1 .. 1000) while windowed.
  void SetZoom(int32_t zoom);
  int32_t Zoom() const { return zoom_; }
  int32_t PresentCount() const { return presents_; }
  // The rectangles the last Present copied.
  const std::vector<TFrameRect>& LastPresented() const { return lastRects_; }

 private:
  void ApplyWindowed();
  void MakeSurface(int32_t bits);
  void Convert(const TFrameRect& r);

  TWindow& window_;
  int32_t screenW_, screenH_, wantedW_, wantedH_;
  int32_t forceBits_;
  TDisplayMode desktop_;
  std::vector<TDisplayMode> modes_;
  int32_t preferred_ = -1;
  int32_t modeIndex_ = -2;
  bool fullScreen_ = false;
  std::unique_ptr<TDIBX> surface_;
  int32_t surfaceBits_ = 32;
  int32_t zoom_ = 100;
  int32_t presents_ = 0;
  bool wholeNext_ = true;
  TFrame staging_;  // the 32-bit frame handed to the window
  std::vector<TFrameRect> lastRects_;
};

}  // namespace kest
