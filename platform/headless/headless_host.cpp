#include "platform/headless/headless_host.h"

#include "common/clock.h"
#include "common/sjis.h"
#include "platform/scaling.h"

namespace kest {

int HeadlessStep(TClock& clock) { return int(clock.NowMs() / TPlayerClock::kTickMs); }

void THeadlessWindow::SetClientSize(int width, int height) {
  width_ = width;
  height_ = height;
}

void THeadlessWindow::Present(const TFrameView& frame) {
  last_.Assign(frame);
  ++presents_;
  if (!last_.Empty()) {
    frameW_ = last_.width;
    frameH_ = last_.height;
    Logged({TFrameRect{0, 0, last_.width, last_.height}});
  }
}

void THeadlessWindow::PresentRects(const TFrameView& frame, const std::vector<TFrameRect>& rects) {
  std::vector<TFrameRect> done = last_.AssignRects(frame, rects);
  ++presents_;
  if (!last_.Empty()) {
    frameW_ = last_.width;
    frameH_ = last_.height;
  }
  Logged(std::move(done));
}

void THeadlessWindow::Logged(std::vector<TFrameRect> rects) {
  if (log_.size() >= kMaxPresentLog) log_.erase(log_.begin(), log_.begin() + std::ptrdiff_t(kMaxPresentLog / 2));
  log_.push_back(std::move(rects));
}

void THeadlessWindow::SetFullScreen(bool full) {
  if (full && FailFullScreen) return;
  full_ = full;
}

void THeadlessWindow::SetDisplayModes(std::vector<TDisplayMode> modes, TDisplayMode desktop) {
  modes_ = std::move(modes);
  desktop_ = desktop;
}

TFrameRect THeadlessWindow::FrameArea() const {
  const int ww = full_ ? desktop_.width : width_, wh = full_ ? desktop_.height : height_;
  const TViewport v = PlaceFrame(ww, wh, frameW_, frameH_, full_ ? stageW_ : 0, full_ ? stageH_ : 0,
                                 scale_ == TScaleMode::Integer);
  return {v.x, v.y, v.width, v.height};
}

bool THeadlessWindow::PollEvent(TInputEvent& event) {
  if (next_ >= pending_.size()) {
    pending_.clear();
    next_ = 0;
    if (replay_) replay_->TakeEvents(HeadlessStep(clock_), pending_);
    if (pending_.empty()) return false;
  }
  event = pending_[next_++];
  switch (event.kind) {
    case TEventKind::MouseMove:
    case TEventKind::MouseDown:
    case TEventKind::MouseUp:
      pointerX_ = event.x;
      pointerY_ = event.y;
      break;
    case TEventKind::MouseWheel:
      event.x = pointerX_;
      event.y = pointerY_;
      break;
    default:
      break;
  }
  return true;
}

void THeadlessWindow::WarpMouse(int x, int y) {
  // Like moving the system cursor: a move event follows.
  pending_.insert(pending_.begin() + std::ptrdiff_t(next_), TInputEvent::Mouse(TEventKind::MouseMove, x, y));
}

std::unique_ptr<TWindow> THeadlessWindowSystem::CreateWindow(int width, int height, std::string_view caption) {
  return std::make_unique<THeadlessWindow>(clock_, replay_, width, height, std::string(caption));
}

int THeadlessMessageBoxes::Show(std::string_view caption, std::string_view text, TMsgButtons buttons, TMsgIcon icon,
                                int defaultButton) {
  const std::vector<int> allowed = MsgButtonAnswers(buttons);
  const int scripted = replay_ ? replay_->TakeAnswer(HeadlessStep(clock_)) : 0;
  bool fits = false;
  for (int a : allowed) fits = fits || a == scripted;
  const int answer = fits ? scripted : MsgDefaultAnswer(buttons, defaultButton);
  std::string how = fits ? "scripted" : "default";
  if (scripted && !fits) how += std::string("; the scripted ") + MsgAnswerName(scripted) + " is not among its buttons";
  if (log_) {
    std::fprintf(log_, "kestplay: message box at step %d [%s] %s (%s, %s) -> %s (%s)\n", HeadlessStep(clock_),
                 Cp932ToUtf8(caption).c_str(), Cp932ToUtf8(text).c_str(), MsgButtonsName(buttons), MsgIconName(icon),
                 MsgAnswerName(answer), how.c_str());
    std::fflush(log_);
  }
  return answer;
}

std::unique_ptr<THost> MakeHeadlessHost(THeadlessOptions options) {
  auto host = std::make_unique<THost>();
  auto clock = std::make_unique<TVirtualClock>(options.paced);
  auto replay = std::make_shared<TInputReplay>(std::move(options.script));
  host->windows = std::make_unique<THeadlessWindowSystem>(*clock, replay);
  host->messageBoxes = std::make_unique<THeadlessMessageBoxes>(*clock, replay, options.log);
  host->clock = std::move(clock);
  if (options.machineServices) AddMachineServices(*host);
  return host;
}

}  // namespace kest
