// The running title: where its data is (install folder, discs), its project file, the
// persistent status, the files it saved, its declared variables and its first page.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "engine/projfile.h"
#include "engine/tracelog.h"
#include "gfx/wipes.h"
#include "platform/message_box.h"
#include "platform/user_folders.h"
#include "script/paramcoll.h"
#include "vfs/vrmanager.h"

namespace kest {

// Texts of the project's boxes (CP932).
namespace projtext {
inline constexpr const char* kNoProject =  // プロジェクトがありません
    "\x83v\x83\x8D\x83W\x83\x46\x83N\x83g\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
inline constexpr const char* kNoStartPage =  // スタートページがありません
    "\x83X\x83^\x81[\x83g\x83y\x81[\x83W\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
inline constexpr const char* kReinstall =  // インストールし直してください
    "\x83\x43\x83\x93\x83X\x83g\x81[\x83\x8B\x82\xB5\x92\xBC\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2";
inline constexpr const char* kInsertDisc =  // ディスクを入れてください
    "\x83\x66\x83\x42\x83X\x83N\x82\xF0\x93\xFC\x82\xEA\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2";
inline constexpr const char* kInsertFirstDisc =  // １枚目のディスクを入れて「OK」をクリックしてください
    "\x82P\x96\x87\x96\xDA\x82\xCC\x83\x66\x83\x42\x83X\x83N\x82\xF0\x93\xFC\x82\xEA\x82\xC4\x81uOK\x81v\x82\xF0"
    "\x83N\x83\x8A\x83\x62\x83N\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2";
inline constexpr const char* kCannotCreateData =  // データファイルを作成することができません
    "\x83\x66\x81[\x83^\x83t\x83@\x83\x43\x83\x8B\x82\xF0\x8D\xEC\x90\xAC\x82\xB7\x82\xE9\x82\xB1\x82\xC6\x82\xAA"
    "\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1";
inline constexpr const char* kDefaultTitle = "\x8F\xEE\x95\xF1";  // 情報
}  // namespace projtext

// What the project asks of its interpreter (the call manager fills it).
class TProjectScript {
 public:
  virtual ~TProjectScript() = default;
  virtual void Start(const std::string& page) = 0;
  // One frame's interpreter step.
  virtual void Step() = 0;
};

class TProject;

// Everything the project works with, handed in by start-up.
struct TProjectEnv {
  TVrFileManager* files = nullptr;
  TParamCollection* params = nullptr;
  TPlayerClock* clock = nullptr;  // Terminating
  TMessageBoxes* boxes = nullptr;
  TUserFolders* folders = nullptr;
  // The title folders and archives of the command line (native paths); none when the
  // player runs the title beside its executable.
  std::vector<std::string> args;
  std::string exeFolder;  // native, no trailing "/"
  // The interpreter's trace log (--log); the interpreter writes to it when it is active.
  TKestLog* log = nullptr;

  // The title, size and settings are known (the window takes its caption and size).
  std::function<void(const TProject&)> onSettings;
  // The parts of the status record after the variables (read list, image cache mode,
  // tables); without it they are left unread.
  std::function<void(TStream&, int32_t statusVersion)> loadStatusRest;
  // Makes the interpreter; without it no page runs.
  std::function<std::unique_ptr<TProjectScript>(TProject&)> makeScript;
  // Problems that do not stop the title (a damaged save file), one UTF-8 line each.
  std::function<void(const std::string&)> note;
};

class TProject {
 public:
  static constexpr const char* kProjectFile = "kest.kpb";
  static constexpr const char* kStatusEntry = "STATUSSAVEDATA";
  static constexpr const char* kGameSaveEntry = "GAMESAVEDATA";
  // Prefixes of folders whose files users cannot write: saves go to the per-user folder.
  static const std::vector<std::string>& SystemPrefixes();

  explicit TProject(TProjectEnv env);
  ~TProject();
  TProject(const TProject&) = delete;
  TProject& operator=(const TProject&) = delete;

  // Runs the start: on return env.clock->Terminating is clear only if the title can run.
  // Raises for a project file that cannot be used (EProjectVersion ...), which start-up
  // shows.
  void Create();
  // Runs the exit page for one interpreter step, writes the status record (saveStatus),
  // frees the interpreter.
  void Destroy();

  void Step() {
    if (script_) script_->Step();
  }
  // Pending game load and save (run by the frame step after the update); answers
  // whether a load ran. Loads and saves are carried out by the save hooks.
  bool ProcessPending();
  std::function<void(int32_t slot)> gameLoad;
  std::function<void(int32_t slot, const std::string& page, const std::string& title, int32_t index)> gameSave;
  std::function<void()> saveStatus;

  bool FileExistsOrAskDisc(const std::string& name);
  int32_t DiscOf(const std::string& name) const { return FolderDiscs.DiscOf(name); }
  // The save file (native path); raises kCannotCreateData when the per-user folder
  // cannot be made.
  std::string SaveFileName();

  // Save titles (slot -> title).
  void LoadSaveTitles();
  std::string GetSaveTitle(int32_t slot) const;
  void SetSaveTitle(int32_t slot, const std::string& title);

  // Settings (copied from the project file).
  std::string Title = projtext::kDefaultTitle;
  int32_t Width = 0, Height = 0, FullWidth = 0, FullHeight = 0;
  // The transitions' default parameters of this title (the zoom centre follows its size).
  TWipeDefaults WipeDefaults;
  std::string StartPage, ExitPage, RegistryKey;
  int32_t ImageSeed = 0;
  bool StoreStatus = true;
  bool UnusedFlag = true;
  std::string SoundExts = "wav.wma.ogg";
  bool PauseWhenInactive = false;
  bool NeedFirstDisc = false;
  int32_t PendingLoad = -1;
  int32_t PendingSave = -1;
  std::string PendingSavePage, PendingSaveTitle;
  int32_t PendingSaveIndex = 0;
  struct TSaveTitle {
    std::string title;
    int32_t slot;
  };
  std::vector<TSaveTitle> SaveTitles;
  TFolderDiskList FolderDiscs;
  std::string DiscPrompt[2] = {TVrFileManager::kDefaultDiscPrompt, TVrFileManager::kDefaultQuitPrompt};
  // The install set found at start (no command-line title), for matching discs.
  std::string InstallTitle;
  bool DataInstalled = false;
  int32_t ProjectVersion = 0;

  TProjectScript* Script() const { return script_.get(); }
  const TProjectEnv& Env() const { return env_; }
  // Whether an install set on a disc belongs to this title (and, index >= 0, is that disc).
  bool InstallSetMatches(const std::string& nativeInstallDat, int index) const;

 private:
  bool LocateInstall();
  bool FirstDiscPresent();
  bool SearchDiscForGameDat();
  void RestoreFromSaveFile();
  void DeclareVariables(const std::vector<TParamData>& vars);
  void Note(const std::string& line) const {
    if (env_.note) env_.note(line);
  }
  // The title's own folder: the first argument, else the executable's folder.
  std::string TitleFolder() const;

  TProjectEnv env_;
  std::unique_ptr<TProjectScript> script_;
  std::string saveFileCache_;
  bool saveFileCached_ = false;
};

// The per-user folder name of a title: the characters \ / : , ; * ? " < > | become "_",
// and a name that is empty or only dots gets "_" in front.
std::string SafeTitleFolderName(const std::string& titleCp932);

}  // namespace kest
