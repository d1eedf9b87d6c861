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
      : clock_(clock), replay_(std::move(replay)), width_(width), height_(height), caption_(std::move(caption)) {}
  void SetCaption(std::string_view cp932) override { caption_ = cp932; }
  void SetClientSize(int width, int height) override;
  void Present(const TFrameView& frame) override;
  void SetFullScreen(bool full) override { full_ = full; }
  bool IsFullScreen() const override { return full_; }
  bool PollEvent(TInputEvent& event) override;
  void WarpMouse(int x, int y) override;

  const std::string& Caption() const { return caption_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int PresentCount() const { return presents_; }

 private:
  TClock& clock_;
  std::shared_ptr<TInputReplay> replay_;
  int width_, height_;
  std::string caption_;
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
