#include "platform/sdl/sdl_host.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/sjis.h"
#include "common/types.h"
#include "platform/scaling.h"
#include "platform/sdl/sdl_keys.h"

namespace kest {

namespace {

class TSdlWindow;

class TSdlWindowSystem : public TWindowSystem {
 public:
  TSdlWindowSystem() {
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) throw EKest(std::string("SDL: ") + SDL_GetError());
    // With no display SDL falls back to a driver that shows nothing; only a user who asks
    // for it (SDL_VIDEODRIVER, as the tests do) gets it.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")) &&
        !(asked && std::strstr(asked, driver))) {
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      throw EKest(std::string("only SDL's ") + driver + " driver");
    }
  }
  ~TSdlWindowSystem() override { SDL_QuitSubSystem(SDL_INIT_VIDEO); }
  std::unique_ptr<TWindow> CreateWindow(int width, int height, std::string_view captionCp932) override;
  bool Headless() const override { return false; }
  SDL_Window* Active() const { return active_; }
  void SetActive(SDL_Window* w) { active_ = w; }

 private:
  SDL_Window* active_ = nullptr;
};

class TSdlWindow : public TWindow {
 public:
  TSdlWindow(TSdlWindowSystem& system, int width, int height, std::string_view caption) : system_(system) {
    if (width <= 0 || height <= 0) throw EKest("SDL: bad window size");
    frameW_ = width;
    frameH_ = height;
    const std::string title = Cp932ToUtf8(caption);
    window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                               SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!window_) throw EKest(std::string("SDL: ") + SDL_GetError());
    renderer_ = SDL_CreateRenderer(window_, -1, 0);
    if (!renderer_) {
      const std::string why = SDL_GetError();
      SDL_DestroyWindow(window_);
      throw EKest("SDL: " + why);
    }
    system_.SetActive(window_);
    Render();
  }
  ~TSdlWindow() override {
    if (system_.Active() == window_) system_.SetActive(nullptr);
    if (texture_) SDL_DestroyTexture(texture_);
    SDL_DestroyRenderer(renderer_);
    SDL_DestroyWindow(window_);
  }

  void SetCaption(std::string_view cp932) override { SDL_SetWindowTitle(window_, Cp932ToUtf8(cp932).c_str()); }
  void SetClientSize(int w, int h) override {
    if (w > 0 && h > 0) SDL_SetWindowSize(window_, w, h);
  }

  void Present(const TFrameView& f) override { PresentRects(f, {TFrameRect{0, 0, f.width, f.height}}); }

  void PresentRects(const TFrameView& f, const std::vector<TFrameRect>& rects) override {
    if (!f.pixels || f.width <= 0 || f.height <= 0 || f.stride < f.width) return;
    const bool sameSize = texture_ && texW_ == f.width && texH_ == f.height;
    std::vector<TFrameRect> done = last_.AssignRects(f, sameSize ? rects : std::vector<TFrameRect>{});
    if (!sameSize) {
      if (texture_) SDL_DestroyTexture(texture_);
      texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, f.width, f.height);
      if (!texture_) {
        std::fprintf(stderr, "kestplay: SDL: %s\n", SDL_GetError());
        return;
      }
      ApplyScaleMode();
      texW_ = f.width;
      texH_ = f.height;
    }
    frameW_ = f.width;
    frameH_ = f.height;
    for (const TFrameRect& r : done) {
      const SDL_Rect sr{r.x, r.y, r.width, r.height};
      SDL_UpdateTexture(texture_, &sr, f.pixels + size_t(r.y) * size_t(f.stride) + size_t(r.x), f.stride * 4);
    }
    Render();
  }

  void SetScaleMode(TScaleMode mode) override {
    scale_ = mode;
    ApplyScaleMode();
    Render();
  }
  void SetStageSize(int width, int height) override {
    TWindow::SetStageSize(width, height);
    Render();
  }

  std::vector<TDisplayMode> DisplayModes() const override {
    std::vector<TDisplayMode> out;
    const int display = std::max(SDL_GetWindowDisplayIndex(window_), 0);
    const int n = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < n; ++i) {
      SDL_DisplayMode m;
      if (SDL_GetDisplayMode(display, i, &m) == 0) out.push_back(Mode(m));
    }
    return out;
  }
  TDisplayMode DesktopMode() const override {
    SDL_DisplayMode m;
    if (SDL_GetDesktopDisplayMode(std::max(SDL_GetWindowDisplayIndex(window_), 0), &m) != 0) return {};
    return Mode(m);
  }

  TFrameRect FrameArea() const override {
    int ww = 0, wh = 0, ow = 0, oh = 0;
    SDL_GetWindowSize(window_, &ww, &wh);
    SDL_GetRendererOutputSize(renderer_, &ow, &oh);
    const TViewport v = OutputViewport(ow, oh);
    if (ow <= 0 || oh <= 0) return {};
    // Output pixels (HiDPI: more than window points) back to window coordinates.
    const auto wx = [&](int x) { return int(int64_t(x) * ww / ow); };
    const auto wy = [&](int y) { return int(int64_t(y) * wh / oh); };
    return {wx(v.x), wy(v.y), wx(v.x + v.width) - wx(v.x), wy(v.y + v.height) - wy(v.y)};
  }

  void SetFullScreen(bool full) override {
    if (full == IsFullScreen()) return;
    if (SDL_SetWindowFullscreen(window_, full ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) {
      std::fprintf(stderr, "kestplay: SDL: full screen: %s\n", SDL_GetError());
      // A refused switch leaves the window as a window.
      if (full) SDL_SetWindowFullscreen(window_, 0);
    }
    Render();
  }
  bool IsFullScreen() const override { return (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0; }

  bool PollEvent(TInputEvent& out) override {
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
      if (Translate(e, out)) return true;
    }
    return false;
  }

  void WarpMouse(int x, int y) override {
    const TFrameRect v = FrameArea();
    if (v.width <= 0 || frameW_ <= 0 || frameH_ <= 0) return;
    // The centre of the frame pixel, so that the way back lands on the same pixel.
    const int wx = v.x + int((int64_t(x) * 2 + 1) * v.width / (int64_t(frameW_) * 2));
    const int wy = v.y + int((int64_t(y) * 2 + 1) * v.height / (int64_t(frameH_) * 2));
    SDL_WarpMouseInWindow(window_, wx, wy);
  }

 private:
  void Render() {
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    if (texture_) {
      int ow = 0, oh = 0;
      SDL_GetRendererOutputSize(renderer_, &ow, &oh);
      const TViewport v = OutputViewport(ow, oh);
      const SDL_Rect dst{v.x, v.y, v.width, v.height};
      SDL_RenderCopy(renderer_, texture_, nullptr, &dst);
    }
    SDL_RenderPresent(renderer_);
  }

  // The frame's place in output pixels: the stage (a title's mode) only in full screen.
  TViewport OutputViewport(int ow, int oh) const {
    const bool full = IsFullScreen();
    return PlaceFrame(ow, oh, frameW_, frameH_, full ? stageW_ : 0, full ? stageH_ : 0, scale_ == TScaleMode::Integer);
  }

  void ApplyScaleMode() {
    if (texture_) SDL_SetTextureScaleMode(texture_, scale_ == TScaleMode::Integer ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
  }

  static TDisplayMode Mode(const SDL_DisplayMode& m) {
    const int bytes = int(SDL_BYTESPERPIXEL(m.format));
    return {m.w, m.h, bytes == 4 ? 32 : int(SDL_BITSPERPIXEL(m.format)), m.refresh_rate};
  }

  // Window points to frame pixels, through output pixels so HiDPI maps exactly.
  void ToFrame(int wx, int wy, int& fx, int& fy) const {
    int ww = 0, wh = 0, ow = 0, oh = 0;
    SDL_GetWindowSize(window_, &ww, &wh);
    SDL_GetRendererOutputSize(renderer_, &ow, &oh);
    if (ww <= 0 || wh <= 0) {
      fx = wx;
      fy = wy;
      return;
    }
    const int ox = int(int64_t(wx) * ow / ww), oy = int(int64_t(wy) * oh / wh);
    OutputViewport(ow, oh).ToFrame(ox, oy, frameW_, frameH_, fx, fy);
  }

  static TMouseButton Button(Uint8 b) {
    switch (b) {
      case SDL_BUTTON_LEFT: return TMouseButton::Left;
      case SDL_BUTTON_RIGHT: return TMouseButton::Right;
      case SDL_BUTTON_MIDDLE: return TMouseButton::Middle;
    }
    return TMouseButton::None;
  }

  bool Translate(const SDL_Event& e, TInputEvent& out) {
    switch (e.type) {
      case SDL_QUIT:
        out = TInputEvent::Of(TEventKind::Close);
        return true;
      case SDL_WINDOWEVENT:
        if (e.window.windowID != SDL_GetWindowID(window_)) return false;
        switch (e.window.event) {
          case SDL_WINDOWEVENT_CLOSE: out = TInputEvent::Of(TEventKind::Close); return true;
          case SDL_WINDOWEVENT_FOCUS_GAINED: out = TInputEvent::Of(TEventKind::Activate); return true;
          case SDL_WINDOWEVENT_FOCUS_LOST: out = TInputEvent::Of(TEventKind::Deactivate); return true;
          case SDL_WINDOWEVENT_EXPOSED:
          case SDL_WINDOWEVENT_SIZE_CHANGED: Render(); return false;
        }
        return false;
      case SDL_MOUSEMOTION:
        out = TInputEvent::Of(TEventKind::MouseMove);
        ToFrame(e.motion.x, e.motion.y, out.x, out.y);
        return true;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        const TMouseButton b = Button(e.button.button);
        if (b == TMouseButton::None) return false;
        out = TInputEvent::Of(e.type == SDL_MOUSEBUTTONDOWN ? TEventKind::MouseDown : TEventKind::MouseUp);
        out.button = b;
        ToFrame(e.button.x, e.button.y, out.x, out.y);
        return true;
      }
      case SDL_MOUSEWHEEL: {
        int dy = e.wheel.y;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) dy = -dy;
        if (dy == 0) return false;
        out = TInputEvent::Of(TEventKind::MouseWheel);
        out.wheel = dy;
        int mx = 0, my = 0;
        SDL_GetMouseState(&mx, &my);
        ToFrame(mx, my, out.x, out.y);
        return true;
      }
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        const TVkMapping m = MapSdlKey(e.key.keysym.sym, e.key.keysym.scancode, e.key.keysym.mod);
        if (!m.vk) return false;
        out = TInputEvent::Key(e.type == SDL_KEYDOWN ? TEventKind::KeyDown : TEventKind::KeyUp, m.vk, m.sidedVk,
                               e.key.repeat != 0);
        return true;
      }
      case SDL_TEXTINPUT:
        out = TInputEvent::Of(TEventKind::Text);
        out.text = Utf8ToCp932(e.text.text);
        return !out.text.empty();
    }
    return false;
  }

  TSdlWindowSystem& system_;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  int texW_ = 0, texH_ = 0;
  int frameW_ = 0, frameH_ = 0;
};

std::unique_ptr<TWindow> TSdlWindowSystem::CreateWindow(int width, int height, std::string_view caption) {
  return std::make_unique<TSdlWindow>(*this, width, height, caption);
}

// Button texts follow the user's language: Japanese for a Japanese locale, else English.
bool JapaneseLocale() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return std::strncmp(v, "ja", 2) == 0;
  }
  return false;
}

const char* ButtonText(int answer, bool japanese) {
  switch (answer) {
    case IDOK: return "OK";
    case IDCANCEL: return japanese ? "\xE3\x82\xAD\xE3\x83\xA3\xE3\x83\xB3\xE3\x82\xBB\xE3\x83\xAB" : "Cancel";  // キャンセル
    case IDRETRY: return japanese ? "\xE5\x86\x8D\xE8\xA9\xA6\xE8\xA1\x8C" : "Retry";  // 再試行
    case IDYES: return japanese ? "\xE3\x81\xAF\xE3\x81\x84" : "Yes";                  // はい
    case IDNO: return japanese ? "\xE3\x81\x84\xE3\x81\x84\xE3\x81\x88" : "No";        // いいえ
  }
  return "?";
}

class TSdlMessageBoxes : public TMessageBoxes {
 public:
  explicit TSdlMessageBoxes(TSdlWindowSystem& system) : system_(system) {}
  int Show(std::string_view caption, std::string_view text, TMsgButtons buttons, TMsgIcon icon,
           int defaultButton) override {
    const std::vector<int> answers = MsgButtonAnswers(buttons);
    const int def = MsgDefaultAnswer(buttons, defaultButton);
    const int esc = MsgEscapeAnswer(buttons);
    const bool ja = JapaneseLocale();
    std::vector<SDL_MessageBoxButtonData> data;
    for (int a : answers) {
      Uint32 flags = 0;
      if (a == def) flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
      if (a == esc && buttons != TMsgButtons::YesNo) flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
      data.push_back({flags, a, ButtonText(a, ja)});
    }
    const std::string c = Cp932ToUtf8(caption), t = Cp932ToUtf8(text);
    SDL_MessageBoxData box{};
    box.flags = SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    box.flags |= icon == TMsgIcon::Error     ? SDL_MESSAGEBOX_ERROR
                 : icon == TMsgIcon::Warning ? SDL_MESSAGEBOX_WARNING
                                             : SDL_MESSAGEBOX_INFORMATION;
    box.window = system_.Active();
    box.title = c.c_str();
    box.message = t.c_str();
    box.numbuttons = int(data.size());
    box.buttons = data.data();
    int pressed = -1;
    if (SDL_ShowMessageBox(&box, &pressed) != 0) {
      // No box could be shown: the text goes to stderr and the default button answers.
      std::fprintf(stderr, "kestplay: [%s] %s (no message box: %s) -> %s\n", c.c_str(), t.c_str(), SDL_GetError(),
                   MsgAnswerName(def));
      return def;
    }
    for (int a : answers)
      if (a == pressed) return a;
    return esc;  // closed without a button
  }

 private:
  TSdlWindowSystem& system_;
};

}  // namespace

std::unique_ptr<THost> MakeSdlHost(std::string* error) {
  std::unique_ptr<TSdlWindowSystem> system;
  try {
    system = std::make_unique<TSdlWindowSystem>();
  } catch (const EKest& e) {
    if (error) *error = e.what();
    return nullptr;
  }
  auto host = std::make_unique<THost>();
  host->messageBoxes = std::make_unique<TSdlMessageBoxes>(*system);
  host->windows = std::move(system);
  host->clock = std::make_unique<TSteadyClock>();
  AddMachineServices(*host);
  return host;
}

}  // namespace kest
