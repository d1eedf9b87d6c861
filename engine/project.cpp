#include "engine/project.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "common/sjis.h"
#include "vfs/paths.h"
#include "vfs/records.h"

namespace kest {

namespace fs = std::filesystem;

namespace {

bool NativeFileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool StartsWithNoCase(const std::string& s, std::string_view prefix) {
  return s.size() >= prefix.size() && SameText(std::string_view(s).substr(0, prefix.size()), prefix);
}

// A folder path without a trailing "/" (except "/" itself).
std::string TrimSlash(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

bool UnderPrefix(const std::string& path, const std::string& prefix) {
  return path == prefix || (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
                            path[prefix.size()] == '/');
}

}  // namespace

const std::vector<std::string>& TProject::SystemPrefixes() {
  static const std::vector<std::string> p = {"/usr", "/opt", "/snap", "/nix", "/gnu", "/app", "/bin", "/sbin", "/lib"};
  return p;
}

std::string SafeTitleFolderName(const std::string& title) {
  std::string out;
  for (size_t i = 0; i < title.size();) {
    const size_t n = CharLen(title, i);
    if (n == 1 && std::string_view("\\/:,;*?\"<>|").find(title[i]) != std::string_view::npos) out += '_';
    else if (n == 1 && (unsigned char)title[i] < 0x20) out += '_';
    else out.append(title, i, n);
    i += n;
  }
  if (out.find_first_not_of('.') == std::string::npos) out = "_" + out;
  return out;
}

TProject::TProject(TProjectEnv env) : env_(std::move(env)) {}

TProject::~TProject() = default;

std::string TProject::TitleFolder() const {
  if (!env_.args.empty()) {
    // An archive named on the command line stands for the folder that holds it.
    std::error_code ec;
    const std::string& a = env_.args[0];
    if (fs::is_regular_file(a, ec)) return TrimSlash(fs::absolute(fs::path(a).parent_path(), ec).string());
    return TrimSlash(fs::absolute(a, ec).lexically_normal().string());
  }
  return TrimSlash(env_.exeFolder);
}

void TProject::Create() {
  TPlayerClock& clock = *env_.clock;
  clock.Terminating = true;
  SaveTitles.clear();
  FolderDiscs = TFolderDiskList();

  if (env_.args.empty() && !LocateInstall()) return;

  TVrFileManager& files = *env_.files;
  TMemoryStream kpb;
  if (!files.Exists(kProjectFile)) {
    env_.boxes->Show(kCaptionWarning, projtext::kNoProject, TMsgButtons::Ok, TMsgIcon::Warning);
    return;
  }
  try {
    files.ReadFile(kpb, kProjectFile);
  } catch (const EKest& e) {
    // An unreadable project closes the player without a box.
    Note(std::string("kest.kpb cannot be read: ") + Cp932ToUtf8(e.what()));
    return;
  }
  if (kpb.Size() == 0) {
    env_.boxes->Show(kCaptionWarning, projtext::kNoProject, TMsgButtons::Ok, TMsgIcon::Warning);
    return;
  }
  TProjectSetting ps;
  ps.LoadFromStream(kpb);

  ProjectVersion = ps.version;
  Title = ps.title;
  Width = ps.width;
  Height = ps.height;
  WipeDefaults.SetSceneSize(Width, Height);
  FullWidth = ps.fullWidth;
  FullHeight = ps.fullHeight;
  StartPage = ps.startPage;
  ExitPage = ps.exitPage;
  RegistryKey = ps.registryKey;
  ImageSeed = ps.imageSeed;
  StoreStatus = ps.storeStatus;
  UnusedFlag = ps.unusedFlag;
  SoundExts = ps.soundExts;
  PauseWhenInactive = ps.pauseWhenInactive;
  NeedFirstDisc = ps.needFirstDisc;
  DiscPrompt[0] = ps.discPrompt;
  DiscPrompt[1] = ps.quitPrompt;
  FolderDiscs = ps.folderDiscs;
  files.SetDiscPrompts(DiscPrompt[0], DiscPrompt[1]);
  files.SetCaption(Title);
  if (env_.onSettings) env_.onSettings(*this);

  if (NeedFirstDisc) {
    while (!FirstDiscPresent()) {
      if (env_.boxes->Show(Title, projtext::kInsertFirstDisc, TMsgButtons::OkCancel, TMsgIcon::Information) != IDOK)
        return;
    }
  }

  RestoreFromSaveFile();
  DeclareVariables(ps.vars);

  clock.Terminating = false;
  LoadSaveTitles();

  if (files.Exists("/original_kest.kpb")) {
    // A patched project keeps the disc layout of the shipped one.
    try {
      TMemoryStream orig;
      files.ReadFile(orig, "/original_kest.kpb");
      TProjectSetting o;
      o.LoadFromStream(orig);
      FolderDiscs = o.folderDiscs;
    } catch (const EKest& e) {
      Note(std::string("/original_kest.kpb is not usable: ") + Cp932ToUtf8(e.what()));
    }
  }

  if (env_.makeScript) script_ = env_.makeScript(*this);
  if (!StartPage.empty() && files.Exists(StartPage)) {
    if (script_) script_->Start(StartPage);
    else Note("the start page " + Cp932ToUtf8(StartPage) + " is there, but this player cannot run pages yet");
  } else {
    env_.boxes->Show(kCaptionWarning, projtext::kNoStartPage, TMsgButtons::Ok, TMsgIcon::Warning);
    clock.Terminating = true;
  }
}

void TProject::Destroy() {
  TPlayerClock& clock = *env_.clock;
  if (!ExitPage.empty() && script_) {
    script_->Start(ExitPage);
    clock.Terminating = false;
    try {
      script_->Step();
    } catch (...) {
      clock.Terminating = true;
      throw;
    }
    clock.Terminating = true;
  }
  if (saveStatus) saveStatus();
  script_.reset();
  SaveTitles.clear();
  FolderDiscs = TFolderDiskList();
}

bool TProject::ProcessPending() {
  bool loaded = false;
  if (PendingLoad >= 0) {
    const int32_t slot = PendingLoad;
    PendingLoad = -1;
    if (gameLoad) gameLoad(slot);
    loaded = true;
  }
  if (PendingSave >= 0) {
    const int32_t slot = PendingSave;
    PendingSave = -1;
    if (gameSave) gameSave(slot, PendingSavePage, PendingSaveTitle, PendingSaveIndex);
  }
  return loaded;
}

// --- Install and discs ------------------------------------------------------------

bool TProject::InstallSetMatches(const std::string& path, int index) const {
  try {
    TMemoryStream m;
    m.LoadFromFile(path);
    TKestInstallSet set;
    set.LoadFromStream(m);
    const std::string& want = InstallTitle.empty() ? Title : InstallTitle;
    return set.Title == want && (index < 0 || set.discIndex == index);
  } catch (const EKest&) {
    return false;
  }
}

bool TProject::SearchDiscForGameDat() {
  TVrFileManager& files = *env_.files;
  files.RefreshDiscRoots();
  for (const std::string& root : files.DiscRoots()) {
    auto game = ResolveLooseFile(root, "game.dat");
    auto install = ResolveLooseFile(root, "install.dat");
    if (!game || !install || !InstallSetMatches(*install, -1)) continue;
    try {
      files.AddArchive(*game);
      return true;
    } catch (const EKest& e) {
      Note("the disc archive " + *game + " cannot be used: " + Cp932ToUtf8(e.what()));
    }
  }
  return false;
}

bool TProject::LocateInstall() {
  TVrFileManager& files = *env_.files;
  const std::string exe = TrimSlash(env_.exeFolder);
  if (files.BaseFolder().empty() && ResolveLooseFile(exe, "install.dat")) files.SetBaseFolder(exe);
  if (!files.Exists("install.dat")) {
    env_.boxes->Show(kCaptionInformation, projtext::kReinstall, TMsgButtons::Ok, TMsgIcon::Information);
    return false;
  }
  TKestInstallSet set;
  {
    TMemoryStream m;
    files.ReadFile(m, "install.dat");
    set.LoadFromStream(m);
  }
  InstallTitle = set.Title;
  DataInstalled = set.DataInstalled;

  if (auto game = ResolveLooseFile(exe, "game.dat")) {
    files.AddArchive(*game);
    if (DataInstalled) return true;
  } else if (files.Count() >= 1 && DataInstalled) {
    return true;
  }
  for (;;) {
    if (SearchDiscForGameDat()) return true;
    if (env_.boxes->Show(kCaptionInformation, projtext::kInsertDisc, TMsgButtons::OkCancel, TMsgIcon::Information) ==
        IDOK)
      continue;
    if (env_.boxes->Show(InstallTitle, DiscPrompt[1], TMsgButtons::OkCancel, TMsgIcon::Information) == IDOK)
      return false;
  }
}

bool TProject::FirstDiscPresent() {
  TVrFileManager& files = *env_.files;
  files.RefreshDiscRoots();
  for (const std::string& root : files.DiscRoots()) {
    auto install = ResolveLooseFile(root, "install.dat");
    if (!install) continue;
    try {
      TMemoryStream m;
      m.LoadFromFile(*install);
      TKestInstallSet set;
      set.LoadFromStream(m);
      if (set.Title == Title) return true;
    } catch (const EKest&) {
      return false;  // an unreadable set ends the search
    }
  }
  return false;
}

bool TProject::FileExistsOrAskDisc(const std::string& name) {
  if (name.empty()) return false;
  TVrFileManager& files = *env_.files;
  if (files.Exists(name)) return true;
  const int32_t disc = DiscOf(name);
  if (disc <= 0) return false;
  // Sounds never ask for a disc.
  const std::string ext = FoldCase(ExtractFileExt(name)) + ".";
  if (ext.size() > 1 && FoldCase(SoundExts + ".").find(ext) != std::string::npos) return false;
  return files.RequestDisc(disc);
}

// --- Save file --------------------------------------------------------------------

std::string TProject::SaveFileName() {
  if (saveFileCached_) return saveFileCache_;
  const std::string folder = TitleFolder();
  const std::string local = folder + "/save.dat";
  bool system = false;
  for (const std::string& p : SystemPrefixes()) system = system || UnderPrefix(folder, p);
  std::string answer;
  if (!system && env_.folders->IsWritable(folder)) {
    // The probe: a file can really be made there.
    const std::string probe = folder + "/save.dat.$$$";
    FILE* f = std::fopen(probe.c_str(), "wb");
    if (f) {
      std::fclose(f);
      ::unlink(probe.c_str());
      answer = local;
    }
  }
  if (answer.empty()) {
    const std::string user = env_.folders->Data() + "/kestplay/" + Cp932ToUtf8(SafeTitleFolderName(Title));
    if (!MakeFolders(user)) throw EKest(projtext::kCannotCreateData);
    answer = user + "/save.dat";
    if (NativeFileExists(local) && !NativeFileExists(answer)) {
      std::error_code ec;
      fs::copy_file(local, answer, ec);
      if (ec) Note("save.dat could not be copied to " + user + ": " + ec.message());
    }
  }
  saveFileCache_ = answer;
  saveFileCached_ = true;
  return answer;
}

void TProject::RestoreFromSaveFile() {
  const std::string path = SaveFileName();
  if (!NativeFileExists(path)) return;
  TVrFileCollection save;
  save.SetLooseFiles(false);
  try {
    save.LoadFromFile(path);
  } catch (const EKest& e) {
    Note("save.dat is damaged and is not read: " + Cp932ToUtf8(e.what()));
    return;
  }
  if (save.FindEntry(kStatusEntry)) {
    try {
      TMemoryStream m;
      save.ReadEntry(m, kStatusEntry);
      char tag[9] = {};
      int32_t version = 0;
      if (m.Read(tag, 9) == 9 && std::string_view(tag, 6) == "Status") {
        bool digits = true;
        for (int i = 6; i < 9; ++i) digits = digits && tag[i] >= '0' && tag[i] <= '9';
        if (digits) version = (tag[6] - '0') * 100 + (tag[7] - '0') * 10 + (tag[8] - '0');
      } else {
        m.SetPosition(0);
      }
      env_.params->LoadStatus(m);
      if (env_.loadStatusRest) env_.loadStatusRest(m, version);
    } catch (const EKest& e) {
      Note("the status record in save.dat is damaged and is not read: " + Cp932ToUtf8(e.what()));
    }
  }
  TVrFileCollection& mem = env_.files->MemoryCollection();
  for (int i = 0; i < save.Count(); ++i) {
    const std::string name = save.Item(i)->Name();
    if (!StartsWithNoCase(name, "save:")) continue;
    TVrFile* e = mem.AddMemoryEntry(name);
    try {
      save.ReadEntry(*e->Data, name);
    } catch (const EKest& ex) {
      mem.DeleteEntry(name);
      Note("the saved file " + Cp932ToUtf8(name) + " cannot be restored: " + Cp932ToUtf8(ex.what()));
    }
  }
}

void TProject::DeclareVariables(const std::vector<TParamData>& vars) {
  TParamCollection& params = *env_.params;
  for (const TParamData& d : vars) {
    if (d.kind < PT_INT || d.kind > PT_STR) continue;  // no value kind to make
    if (params.FindItem(d.name) || !TParamCollection::ValidName(d.name)) continue;
    TParamCollectionItem* item = params.AddItem(d.kind);
    params.SetItemName(item, d.name);
    item->status = 1;  // project variables live in the status record
    TCustomParam* v = item->Value();
    switch (d.kind) {
      case PT_INT: v->SetInt(d.intValue); break;
      case PT_FLOAT: v->SetFloat(d.floatValue); break;
      case PT_BOOL: v->SetBool(d.boolValue); break;
      case PT_STR: v->SetStr(d.strValue); break;
    }
  }
}

// --- Save titles ------------------------------------------------------------------

void TProject::LoadSaveTitles() {
  SaveTitles.clear();
  const std::string path = SaveFileName();
  if (!NativeFileExists(path)) return;
  TVrFileCollection save;
  save.SetLooseFiles(false);
  try {
    save.LoadFromFile(path);
  } catch (const EKest&) {
    return;
  }
  const std::string prefix = kGameSaveEntry;
  for (int i = 0; i < save.Count(); ++i) {
    const std::string name = save.Item(i)->Name();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string rest = name.substr(prefix.size());
    if (rest.empty() || rest.size() > 9 || rest.find_first_not_of("0123456789") != std::string::npos) continue;
    try {
      TMemoryStream m;
      save.ReadEntry(m, name);
      ReadInt(m);  // version
      SaveTitles.push_back({ReadString(m), int32_t(std::stol(rest))});
    } catch (const EKest&) {
      // A damaged slot has no title.
    }
  }
}

std::string TProject::GetSaveTitle(int32_t slot) const {
  for (const TSaveTitle& t : SaveTitles)
    if (t.slot == slot) return t.title;
  return std::string();
}

void TProject::SetSaveTitle(int32_t slot, const std::string& title) {
  for (TSaveTitle& t : SaveTitles)
    if (t.slot == slot) {
      t.title = title;
      return;
    }
  SaveTitles.push_back({title, slot});
}

}  // namespace kest
