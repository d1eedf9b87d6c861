// The headless backend: no window and no sound device; a virtual clock of exactly 15 ms per
// frame step, input from a script, message boxes answered by the script or their default
// button and logged, and the last presented frame kept for a PNG.
#pragma once
#include <cstdio>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/headless/input_script.h"
#include "platform/host.h"

namespace kest {

// The frame step the virtual clock stands at: step k runs at k * 15 ms.
int HeadlessStep(TClock& clock);

class THeadlessWindow : public TWindow {
 public:
  THeadlessWindow(TClock& clock, std::shared_ptr<TInputReplay> replay, int width, int height, std::string caption)
      : clock_(clock), replay_(std::move(replay)), width_(width), height_(height), frameW_(width),
        frameH_(height), caption_(std::move(caption)) {}
  void SetCaption(std::string_view cp932) override { caption_ = cp932; }
  void SetClientSize(int width, int height) override;
  void Present(const TFrameView& frame) override;
  void PresentRects(const TFrameView& frame, const std::vector<TFrameRect>& rects) override;
  // Refused (the window stays as it is) while FailFullScreen is set.
  void SetFullScreen(bool full) override;
  std::vector<TDisplayMode> DisplayModes() const override { return modes_; }
  TDisplayMode DesktopMode() const override { return desktop_; }
  TFrameRect FrameArea() const override;
  bool IsFullScreen() const override { return full_; }
  bool PollEvent(TInputEvent& event) override;
  void WarpMouse(int x, int y) override;

  const std::string& Caption() const { return caption_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int PresentCount() const { return presents_; }

  // What a test makes of the machine: the display's modes and desktop (by default a
  // 1920 x 1080 32-bit desktop at 60 Hz listing common 32-bit modes), a display that
  // refuses full screen.
  void SetDisplayModes(std::vector<TDisplayMode> modes, TDisplayMode desktop);
  bool FailFullScreen = false;
  // The rectangles each present copied (the whole frame for a full present), oldest
  // first; only the latest kMaxPresentLog presents are kept.
  static constexpr size_t kMaxPresentLog = 4096;
  const std::vector<std::vector<TFrameRect>>& PresentLog() const { return log_; }
  void ClearPresentLog() { log_.clear(); }

 private:
  TClock& clock_;
  std::shared_ptr<TInputReplay> replay_;
  void Logged(std::vector<TFrameRect> rects);

  int width_, height_;
  int frameW_, frameH_;
  std::string caption_;
  std::vector<TDisplayMode> modes_{{640, 480, 32, 60}, {800, 600, 32, 60}, {1024, 768, 32, 60},
                                   {1280, 720, 32, 60}, {1920, 1080, 32, 60}};
  TDisplayMode desktop_{1920, 1080, 32, 60};
  std::vector<std::vector<TFrameRect>> log_;
  bool full_ = false;
  int presents_ = 0;
  int pointerX_ = 0, pointerY_ = 0;
  std::vector<TInputEvent> pending_;
  size_t next_ = 0;
};

class THeadlessWindowSystem : public TWindowSystem {
 public:
  THeadlessWindowSystem(TClock& clock, std::shared_ptr<TInputReplay> replay)
      : clock_(clock), replay_(std::move(replay)) {}
  std::unique_ptr<TWindow> CreateWindow(int width, int height, std::string_view captionCp932) override;
  bool Headless() const override { return true; }

 private:
  TClock& clock_;
  std::shared_ptr<TInputReplay> replay_;
};

// Answers from the script, else the default button; logs every box in UTF-8.
class THeadlessMessageBoxes : public TMessageBoxes {
 public:
  THeadlessMessageBoxes(TClock& clock, std::shared_ptr<TInputReplay> replay, FILE* log)
      : clock_(clock), replay_(std::move(replay)), log_(log) {}
  int Show(std::string_view caption, std::string_view text, TMsgButtons buttons, TMsgIcon icon,
           int defaultButton = 0) override;

 private:
  TClock& clock_;
  std::shared_ptr<TInputReplay> replay_;
  FILE* log_;
};

struct THeadlessOptions {
  TInputScript script;
  bool paced = false;    // let each frame step also take 15 ms of real time
  FILE* log = stderr;    // where message boxes are logged
  bool machineServices = true;  // the real drives, folders, lock, registry, shell open
};

std::unique_ptr<THost> MakeHeadlessHost(THeadlessOptions options);

}  // namespace kest
