#include "shell/player.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/sjis.h"
#include "engine/projectscript.h"
#include "gfx/screenman.h"
#include "objects/litems.h"
#include "script/basicfuncs.h"
#include "script/paramcoll.h"
#include "script/sysfuncs.h"
#include "script/sysvars.h"
#include "shell/kestdll.h"
#include "vfs/paths.h"

namespace kest {

namespace fs = std::filesystem;

namespace {

bool EndsWithKt(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  f.seekg(0, std::ios::end);
  if (f.tellg() < 6) return false;
  f.seekg(-2, std::ios::end);
  char b[2] = {0, 0};
  f.read(b, 2);
  return f && b[0] == 'k' && b[1] == 't';
}

bool IsFile(const std::string& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

std::string FolderOfFile(const std::string& p) {
  std::error_code ec;
  std::string f = fs::absolute(fs::path(p), ec).parent_path().string();
  return f.empty() ? "." : f;
}

}  // namespace

bool TitleBesideExecutable(const std::string& exePath) {
  if (exePath.empty()) return false;
  if (EndsWithKt(exePath)) return true;
  const std::string dir = FolderOfFile(exePath);
  for (const char* n : {"install.dat", "game.dat", "kest.kpb"})
    if (ResolveLooseFile(dir, n)) return true;
  return false;
}

bool UserLanguageJapanese() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return std::strncmp(v, "ja", 2) == 0;
  }
  return false;
}

std::string ExitQuestion(const std::string& title, bool japanese) {
  // 「%s」を終了しますか？
  if (japanese) return "\x81u" + title + "\x81v\x82\xF0\x8FI\x97\xB9\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81H";
  return "Do you want to exit " + title + "?";
}

// The frame loop over the player's window.
class TPlayer::TLoop : public TFrameLoop {
 public:
  TLoop(TClock& clock, TWindow& window, TPlayerClock& state, TPlayer& player)
      : TFrameLoop(clock, window, state), player_(player) {}

 protected:
  void HandleEvent(const TInputEvent& e) override { player_.HandleEvent(e); }
  void FrameStep() override { player_.FrameStep(); }

 private:
  TPlayer& player_;
};

TPlayer::TPlayer(THost& host, TPlayerClock& clock, TPlayerSetup setup)
    : host_(host), clock_(clock), setup_(std::move(setup)) {}

TPlayer::~TPlayer() {
  try {
    Finish();
  } catch (...) {
  }
}

void TPlayer::Trace(const char* step) {
  if (setup_.trace && setup_.traceOut) std::fprintf(setup_.traceOut, "kestplay: trace %s\n", step);
}

std::string TPlayer::TitleFolder() const {
  if (setup_.titles.empty()) return FolderOfFile(setup_.exePath);
  const std::string& a = setup_.titles[0];
  return IsFile(a) ? FolderOfFile(a) : a;
}

void TPlayer::RegisterTitleArchives() {
  TVrFileManager& files = *files_;
  files.AddArchive("");
  if (!setup_.titles.empty()) {
    files.SetBaseFolder(TitleFolder());
    for (const std::string& a : setup_.titles) {
      const std::string folder = IsFile(a) ? std::string() : a;
      if (!folder.empty())
        if (auto game = ResolveLooseFile(folder, "game.dat")) files.AddArchive(*game);
      if (IsFile(a) && EndsWithKt(a)) files.AddAppendedArchive(a);
    }
  } else {
    files.SetBaseFolder(FolderOfFile(setup_.exePath));
    // (An archive among the program's resources has no counterpart here: the archive
    // appended to the executable takes its place.)
    if (EndsWithKt(setup_.exePath)) files.AddAppendedArchive(setup_.exePath);
  }
}

void TPlayer::FormCreate() {
  Trace("FormCreate");
  // game.ini of the title's folder (beside the executable when no title is named).
  const std::string folder = TitleFolder();
  std::string iniText;
  if (auto ini = ResolveLooseFile(folder, "game.ini")) {
    std::ifstream f(*ini, std::ios::binary);
    iniText.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    settings_ = ReadGameIni(iniText);
  }
  // The discs: mounted optical volumes, then the folders game.ini names.
  TDrives* drives = host_.drives.get();
  auto discs = std::make_shared<TCombinedDiscs>(
      [drives]() {
        std::vector<std::string> roots;
        if (drives)
          for (const TDrive& d : drives->List())
            if (d.kind == TDriveKind::CdRom) roots.push_back(d.root);
        return roots;
      },
      DiscFoldersFromIni(iniText, folder));
  files_ = std::make_unique<TVrFileManager>(discs);
  RegisterTitleArchives();
  Trace("TBasePanel.Create");
  params_ = std::make_unique<TParamCollection>();
  funcs_ = std::make_unique<TSysFuncMan>(*params_);
  // The owner of the page objects (their screens and drawing come with the screen layers).
  objects_ = std::make_unique<TKestBaseList>();
  RegisterBasicFunctions(*funcs_);
  BindScreenVariables();
  params_->AttachClock(&clock_);
  InitializePlayer();
}

void TPlayer::MakeWindow(const TProject& p) {
  if (window_) {
    window_->SetCaption(p.Title);
    window_->SetClientSize(p.Width, p.Height);
    return;
  }
  // The client area is the title's size (there is no tool bar above it).
  window_ = host_.windows->CreateWindow(p.Width > 0 ? p.Width : 1, p.Height > 0 ? p.Height : 1, p.Title);
  if (!window_) return;
  window_->SetScaleMode(ParseScaleMode(settings_.Scale));
  screen_ = std::make_unique<TScreenManager>(*window_, p.Height, p.Width, p.Height, p.Width);
}

// The system variables and the function of the display: @FullScr, @DisplayModeCount,
// @DisplayModeIndex, GetDisplayMode.
void TPlayer::BindScreenVariables() {
  TSysVarBinding full;
  full.getBool = [this] { return screen_ ? screen_->IsFullScreen() : (window_ && window_->IsFullScreen()); };
  full.setBool = [this](bool on) { SetFullScreen(on); };
  params_->BindSystem(SV_FULLSCR, full);
  TSysVarBinding count;
  count.getInt = [this] { return screen_ ? screen_->DisplayModeCount() : 0; };
  params_->BindSystem(SV_DISPLAYMODECOUNT, count);
  TSysVarBinding index;
  index.getInt = [this] { return screen_ ? screen_->PreferredMode() : -1; };
  index.setInt = [this](int32_t i) {
    if (!screen_) return;
    screen_->SetPreferredMode(i);
    ApplyScreenMode();
  };
  params_->BindSystem(SV_DISPLAYMODEINDEX, index);
  // GetDisplayMode (index, var width, var height, var bits, var refresh).
  funcs_->Register(65, [this](TSysFuncCall& c) {
    const int32_t i = c.Arg(0).GetInt();
    if (!screen_ || i < 0 || i >= screen_->DisplayModeCount()) {
      c.result.SetBool(false);
      return;
    }
    const TDisplayMode m = screen_->DisplayMode(i);
    c.Arg(1).SetInt(m.width);
    c.Arg(2).SetInt(m.height);
    c.Arg(3).SetInt(m.bitCount);
    c.Arg(4).SetInt(m.refreshRate);
    c.result.SetBool(true);
  });
}

void TPlayer::ToggleFullScreen() {
  if (window_) SetFullScreen(!(screen_ ? screen_->IsFullScreen() : window_->IsFullScreen()));
}

void TPlayer::SetFullScreen(bool full) {
  if (!window_ || ScreenSwitching) return;
  Trace("SetFullScreen");
  ScreenSwitching = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{ScreenSwitching};
  if (!screen_) {
    window_->SetFullScreen(full);
    return;
  }
  if (full) {
    Trace("SetFullScreen.Full");
    if (screen_->PreferredMode() < 0) return;
    Trace("SetFullScreen.Full.ScreenMan.FreeDX");
    Trace("SetFullScreen.Full.StoreWindow");
    Trace("SetFullScreen.Full.SetScreenManIndex");
    if (!screen_->SetFullScreen(true)) Trace("SetFullScreen.Full.SetScreenManIndexFail");
  } else {
    Trace("SetFullScreen.Normal");
    Trace("SetFullScreen.Normal.ScreenMan.FreeDX");
    Trace("SetFullScreen.Normal.RestoreWindow");
    screen_->SetFullScreen(false);
  }
  Trace("SetFullScreen.SetBounds");
  Trace("SetFullScreen.Bases.Reload");
  Trace("SetFullScreen.MediaResume");
}

void TPlayer::ApplyScreenMode() {
  if (!screen_ || !screen_->IsFullScreen()) return;
  const int32_t preferred = screen_->PreferredMode();
  if (preferred < 0 || preferred == screen_->ModeIndex()) return;
  screen_->ReleaseDevice();
  screen_->SetModeIndex(preferred);
}

void TPlayer::InitializePlayer() {
  Trace("DXSound.Initialize");
  Trace("KestInitialize");
  Trace("TProject.Create");
  TProjectEnv env;
  env.files = files_.get();
  env.params = params_.get();
  env.clock = &clock_;
  env.boxes = host_.messageBoxes.get();
  env.folders = host_.folders.get();
  env.args = setup_.titles;
  env.exeFolder = FolderOfFile(setup_.exePath);
  env.onSettings = [this](const TProject& p) { MakeWindow(p); };
  env.note = setup_.note;
  env.log = &log_;
  if (!setup_.logPath.empty() && !log_.Init(setup_.logPath)) Note("the log file " + setup_.logPath + " cannot be made");
  // The interpreter runs the pages; until the object layer is in, no events reach it.
  env.makeScript = [this](TProject& p) -> std::unique_ptr<TProjectScript> {
    auto script = std::make_unique<TCallManScript>(p, *funcs_, &log_);
    script->CallMan().Objects = objects_.get();
    return script;
  };
  project_ = std::make_unique<TProject>(std::move(env));
  files_->DiscMatches = [this](const std::string& path, int index) {
    return project_ && project_->InstallSetMatches(path, index);
  };
  files_->OnQuit = [this] {
    clock_.Terminating = true;
    RequestClose();
  };
  project_->Create();

  Trace("MediaInit");
  TKestDll& dll = TKestDll::Instance();
  TKestInitParams ip;
  ip.streams = TKestDll::Callbacks();
  dll.Init(ip);
  dll.SetOggUseThread(true);
  Trace("KestInitColor");
}

bool TPlayer::Start() {
  started_ = true;
  try {
    FormCreate();
  } catch (const EKest& e) {
    host_.messageBoxes->Show(kCaptionWarning, e.what(), TMsgButtons::Ok, TMsgIcon::Warning);
    clock_.Terminating = true;
  }
  if (clock_.Terminating) return false;
  if (!window_) {  // a project of no size still gets a window to run in
    window_ = host_.windows->CreateWindow(1, 1, project_->Title);
  }
  Active = true;
  return true;
}

int TPlayer::Run(int maxSteps) {
  if (!window_ || clock_.Terminating) return 0;
  loop_ = std::make_unique<TLoop>(*host_.clock, *window_, clock_, *this);
  loop_->SetStopFlag(setup_.stop);
  return loop_->Run(maxSteps);
}

void TPlayer::RequestClose() {
  if (loop_) loop_->RequestClose();
}

void TPlayer::Finish() {
  if (finished_ || !started_) return;
  finished_ = true;
  clock_.Terminating = true;
  loop_.reset();
  Trace("Project.Free");
  if (project_) {
    try {
      project_->Destroy();
    } catch (const EKest& e) {
      Note(std::string("the exit page failed: ") + Cp932ToUtf8(e.what()));
    }
    project_.reset();
  }
  Trace("SysFuncMan.Free");
  Trace("ParamMan.Free");
  funcs_.reset();
  params_.reset();
  Trace("KestFinalize");
  Trace("MediaFinal");
  TKestDll::Instance().Final();
  log_.Final();
  if (files_) {
    files_->RunExitDeletes();
    files_.reset();
  }
  Trace("FormClose");
}

void TPlayer::FrameStep() {
  if (!project_) return;
  files_->Maintain();
  if (phases.input) phases.input();
  project_->Step();
  if (clock_.Terminating) return;
  if (phases.update) phases.update();
  clock_.FrameCount += 1;
  if (project_->ProcessPending()) SkipDraw = 1;
  if (SkipDraw > 0) {
    --SkipDraw;
    return;
  }
  const int32_t divisor = clock_.FpsDivisor > 0 ? clock_.FpsDivisor : 1;
  DrawPhase = (DrawPhase + 1) % divisor;
  if (DrawPhase != 0) return;
  if (phases.draw) {
    phases.draw();
  } else if (screen_) {
    // No screen layers to draw: the window's black background.
    TDIBX& surface = screen_->ScreenSurface();
    surface.Clear(0);
    TPresentRequest req;
    req.FullRedraw = TRect{0, 0, surface.Width(), surface.Height()};
    screen_->Present(req);
  } else if (window_) {
    const int w = project_->Width > 0 ? project_->Width : 1, h = project_->Height > 0 ? project_->Height : 1;
    if (blank_.size() != size_t(w) * size_t(h)) blank_.assign(size_t(w) * size_t(h), 0xFF000000u);
    window_->Present({blank_.data(), w, h, w});
  }
  if (phases.afterPresent) phases.afterPresent();
}

void TPlayer::ConfirmExit() {
  const bool was = clock_.Terminating;
  clock_.Terminating = true;
  const std::string title = project_ ? project_->Title : std::string();
  if (host_.messageBoxes->Show(title, ExitQuestion(title, UserLanguageJapanese()), TMsgButtons::YesNo,
                               TMsgIcon::Question) == IDYES) {
    RequestClose();
  } else {
    clock_.Terminating = was;
  }
}

void TPlayer::Activate() {
  if (!project_ || project_->PauseWhenInactive) {
    if (loop_) loop_->SetSuspended(false);
    if (layers) Active = true;
    // (The media managers resume their items here once they exist.)
  } else if (layers) {
    Active = true;
  }
}

void TPlayer::Deactivate() {
  if (project_ && !project_->PauseWhenInactive) return;
  if (loop_) loop_->SetSuspended(true);
  if (layers) {
    Active = false;
    layers->ReleaseHeld();
  }
}

void TPlayer::HandleEvent(const TInputEvent& e) {
  switch (e.kind) {
    case TEventKind::Close:
      // The window's close box asks first, as the tool bar's exit button did.
      ConfirmExit();
      return;
    case TEventKind::Activate: Activate(); return;
    case TEventKind::Deactivate: Deactivate(); return;
    default: break;
  }
  if (e.kind == TEventKind::KeyDown || e.kind == TEventKind::KeyUp) {
    if (e.vk == 0x12) alt_ = e.kind == TEventKind::KeyDown;  // VK_MENU
    // Alt+Return (the tool bar's button) and F11 switch between the window and full screen.
    if (e.kind == TEventKind::KeyDown && ((e.vk == 0x0D && alt_) || e.vk == 0x7A)) {  // VK_RETURN, VK_F11
      if (!e.repeat) ToggleFullScreen();
      return;
    }
  }
  if (!layers) return;
  switch (e.kind) {
    case TEventKind::MouseDown:
      if (Active) layers->MouseDown(e.button);
      break;
    case TEventKind::MouseUp: layers->MouseUp(); break;
    case TEventKind::MouseMove: layers->MouseMove(e.x, e.y); break;
    case TEventKind::MouseWheel: layers->Wheel(e.wheel); break;
    case TEventKind::KeyDown:
      if (Active && e.vk >= 0 && e.vk < 256) layers->KeyDown(e.vk);
      break;
    case TEventKind::KeyUp:
      if (e.vk >= 0 && e.vk < 256) layers->KeyUp(e.vk);
      break;
    default: break;
  }
}

}  // namespace kest
