// The player's main window and its life: start-up in a fixed order, one frame step per
// tick, input routed to the screen layers, activation, the exit question, shutdown in the
// reverse order.
#pragma once
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "engine/project.h"
#include "engine/tracelog.h"
#include "gfx/screenman.h"
#include "platform/host.h"
#include "script/paramcoll.h"
#include "script/sysfuncs.h"
#include "shell/frame_loop.h"
#include "shell/gameini.h"
#include "vfs/vrmanager.h"

namespace kest {

class TKestBaseList;

struct TPlayerSetup {
  std::vector<std::string> titles;  // title folders and archives (native), as given
  std::string exePath;              // the player's own file (native)
  bool trace = false;               // print every start-up and shutdown step
  FILE* traceOut = stderr;
  std::string logPath;              // the interpreter's trace log ("" none)
  // Where notes go (problems that do not stop the title), UTF-8 lines.
  std::function<void(const std::string&)> note;
  const std::atomic<bool>* stop = nullptr;  // raised by a signal: the loop ends
};

// What the window hands the screen layers (filled by the layers once they exist).
class TLayerInput {
 public:
  virtual ~TLayerInput() = default;
  virtual void MouseDown(TMouseButton button) = 0;  // held on both layers, clicked on the current
  virtual void MouseUp() = 0;                        // held flags cleared on both
  virtual void MouseMove(int x, int y) = 0;          // to both layers, panel coordinates
  virtual void Wheel(int notches) = 0;               // > 0 up, < 0 down
  virtual void KeyDown(int vk) = 0;                  // held and pressed
  virtual void KeyUp(int vk) = 0;
  virtual void ReleaseHeld() = 0;                    // keys and buttons let go
};

// The phases of a frame step that other subsystems fill.
struct TFramePhases {
  std::function<void()> input;         // the layers' input phase
  std::function<void()> update;        // the update pass over every object
  std::function<void()> draw;          // draw both screens and present
  std::function<void()> afterPresent;  // clear the dirty lists, the video overlay
};

// The exit question: "「%s」を終了しますか？" for a Japanese user, else the English text.
std::string ExitQuestion(const std::string& titleCp932, bool japanese);
// Whether the user's language is Japanese (LC_ALL, LC_MESSAGES, LANG).
bool UserLanguageJapanese();

class TPlayer {
 public:
  TPlayer(THost& host, TPlayerClock& clock, TPlayerSetup setup);
  ~TPlayer();

  // FormCreate and InitializePlayer. Answers false when start-up ended the player (a box
  // was shown, or the title cannot run); Terminating is set then.
  bool Start();
  // The frame loop; answers the number of frame steps.
  int Run(int maxSteps);
  // FinalizePlayer (also run by the destructor when not done yet).
  void Finish();

  // Frame step and window handlers (public for the loop and for tests).
  void FrameStep();
  void HandleEvent(const TInputEvent& e);
  void ConfirmExit();
  void Activate();
  void Deactivate();
  void Trace(const char* step);

  TWindow* Window() const { return window_.get(); }
  TScreenManager* Screen() const { return screen_.get(); }
  // The full-screen switch (Alt+Return, F11, @FullScr).
  void ToggleFullScreen();
  void SetFullScreen(bool full);
  // After @DisplayModeIndex changed the preferred mode: full screen moves to it.
  void ApplyScreenMode();
  bool ScreenSwitching = false;  // true while SetFullScreen runs
  TProject* Project() const { return project_.get(); }
  TVrFileManager& Files() { return *files_; }
  TParamCollection* Params() const { return params_.get(); }
  TSysFuncMan* Funcs() const { return funcs_.get(); }
  TKestBaseList* Objects() const { return objects_.get(); }
  const TGameIni& Settings() const { return settings_; }
  TKestLog& Log() { return log_; }
  void RequestClose();

  TFramePhases phases;
  TLayerInput* layers = nullptr;
  bool Active = true;
  int32_t DrawPhase = 0;
  int32_t SkipDraw = 0;

 private:
  class TLoop;
  void FormCreate();
  void InitializePlayer();
  void RegisterTitleArchives();
  void MakeWindow(const TProject& p);
  void Note(const std::string& s) const {
    if (setup_.note) setup_.note(s);
  }
  std::string TitleFolder() const;

  THost& host_;
  TPlayerClock& clock_;
  TPlayerSetup setup_;
  TGameIni settings_;
  std::unique_ptr<TVrFileManager> files_;
  std::unique_ptr<TParamCollection> params_;
  std::unique_ptr<TSysFuncMan> funcs_;
  std::unique_ptr<TKestBaseList> objects_;
  std::unique_ptr<TProject> project_;
  void BindScreenVariables();
  std::unique_ptr<TWindow> window_;
  std::unique_ptr<TScreenManager> screen_;  // presents the composed frame in the window
  std::unique_ptr<TLoop> loop_;
  TKestLog log_;
  std::vector<uint32_t> blank_;
  bool alt_ = false;
  bool finished_ = false;
  bool started_ = false;
};

// Whether a title lies beside the executable: an archive appended to it, or install.dat,
// game.dat or kest.kpb in its folder.
bool TitleBesideExecutable(const std::string& exePath);

}  // namespace kest
