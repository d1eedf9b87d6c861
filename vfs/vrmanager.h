// The virtual file manager: every title file name resolved through the loose-file folder,
// the stack of archives (collection 0 holds the "mem:" and "save:" files scripts make) and
// the discs, in a fixed order per operation.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/types.h"
#include "vfs/bigstreams.h"
#include "vfs/dircache.h"
#include "vfs/vrfiles.h"

namespace kest {

// The discs the manager may look on: mount points of optical volumes and folders the user
// names as discs. The shell composes it from the machine's drives and game.ini.
class TVfDiscs {
 public:
  virtual ~TVfDiscs() = default;
  // Native folders, in the order they are searched.
  virtual std::vector<std::string> Roots() = 0;
};

// A fixed list of disc folders.
class TFixedDiscs : public TVfDiscs {
 public:
  explicit TFixedDiscs(std::vector<std::string> roots = {}) : roots_(std::move(roots)) {}
  std::vector<std::string> Roots() override { return roots_; }
  void Set(std::vector<std::string> roots) { roots_ = std::move(roots); }

 private:
  std::vector<std::string> roots_;
};

// Optical volumes of the machine (a callback the shell fills from the mount table)
// followed by the folders the user names as discs in game.ini.
class TCombinedDiscs : public TVfDiscs {
 public:
  TCombinedDiscs(std::function<std::vector<std::string>()> mounted, std::vector<std::string> folders)
      : mounted_(std::move(mounted)), folders_(std::move(folders)) {}
  std::vector<std::string> Roots() override;

 private:
  std::function<std::vector<std::string>()> mounted_;
  std::vector<std::string> folders_;
};

// The disc folders of game.ini: section [Discs], keys Disc1, Disc2, ... (any letter case)
// in number order; relative folders are taken from the folder of game.ini.
std::vector<std::string> DiscFoldersFromIni(const std::string& iniText, const std::string& iniFolder);

// The boxes of the disc request.
class TVfPrompt {
 public:
  virtual ~TVfPrompt() = default;
  // An OK/Cancel box (caption and text in CP932); true for OK.
  virtual bool OkCancel(const std::string& caption, const std::string& text) = 0;
};

// "作業用ファイルが作れません" (cannot create working file).
class EVrTempFile : public EKest {
 public:
  using EKest::EKest;
};

// One entry extracted to a temporary file.
struct TVrLockData {
  int32_t Id = 0;
  std::string Name;  // the title name it was extracted from
  std::string Path;  // the temporary file (native)
  // For copies of in-memory entries: the content they were made from, so that a copy is
  // made again when a script has rewritten the entry since.
  bool FromData = false;
  int64_t DataSize = 0;
  uint32_t DataCrc = 0;
};

class TVrFileManager {
 public:
  // "ディスク%dを入れてから[OK]をクリックしてください" (insert disc %d, then click [OK]).
  static const char* const kDefaultDiscPrompt;
  // "終了します" (quitting).
  static const char* const kDefaultQuitPrompt;

  // `tempBase` is the folder under which the private temporary folder is made (default:
  // the system's); folders left there by a crashed player are removed first.
  explicit TVrFileManager(std::shared_ptr<TVfDiscs> discs = nullptr, const std::string& tempBase = std::string());
  ~TVrFileManager();
  TVrFileManager(const TVrFileManager&) = delete;
  TVrFileManager& operator=(const TVrFileManager&) = delete;

  // --- Registration -----------------------------------------------------------------
  // A native folder; "" for none.
  void SetBaseFolder(const std::string& nativeFolder);
  const std::string& BaseFolder() const { return baseFolder_; }
  // Opens an archive and appends it; -1 when one of that folder or file is registered
  // already. "" appends an empty collection (the in-memory collection 0). A damaged
  // archive raises and nothing is appended.
  int AddArchive(const std::string& nativePath);
  // An archive appended to a file whatever its name (this player's own executable).
  int AddAppendedArchive(const std::string& nativePath);
  int AddResourceArchive(const TBlobRef& blob, const std::string& label = std::string());
  void RemoveArchive(int index);
  void Clear();
  int Count() const { return int(collections_.size()); }
  TVrFileCollection* Collection(int index) const;
  // Collection 0, made on demand.
  TVrFileCollection& MemoryCollection();

  // --- Lookups ----------------------------------------------------------------------
  bool Exists(const std::string& name);
  // The entry of the first collection holding the name; valid until archives are removed.
  TVrFile* FindEntry(const std::string& name) const;
  // Fills the stream with the content and rewinds it. Raises EVrFileNotFound.
  void ReadFile(TStream& dest, const std::string& name);
  // A read-only window on the content. Raises EVrFileNotFound.
  std::unique_ptr<TStream> OpenRange(const std::string& name);
  // A file on disk holding the content: the loose file, a temporary copy of an archive
  // entry (one per name, extracted once), a disc file; else the name unchanged. Raises
  // EVrTempFile when the temporary file cannot be made.
  std::string GetRealFileName(const std::string& name);
  void ListFolder(const std::string& folder, std::vector<std::string>& list);
  // "" for "", the text up to the last "\" or ":" for names starting with "\\" or with
  // ":" second, else the text up to the last "\".
  static std::string FolderOf(const std::string& name);

  // Where a name resolves, step by step, for `kesttool vf find`: one line per place
  // looked at, then the answer of each operation (UTF-8 text). Extracts nothing.
  std::vector<std::string> Explain(const std::string& name);

  // --- Discs ------------------------------------------------------------------------
  // The disc folders found at creation (and again at each disc request).
  const std::vector<std::string>& DiscRoots() const { return discRoots_; }
  void RefreshDiscRoots();
  // Texts of the disc request (from the project) and the caption (the title).
  void SetDiscPrompts(const std::string& insertDisc, const std::string& quit) {
    discPrompt_ = insertDisc;
    quitPrompt_ = quit;
  }
  void SetCaption(const std::string& caption) { caption_ = caption; }
  void SetPrompt(std::shared_ptr<TVfPrompt> prompt) { prompt_ = std::move(prompt); }
  // Whether a disc's install.dat belongs to the running title and is disc `index`; the
  // project fills it. Without it no disc matches.
  std::function<bool(const std::string& installDatPath, int index)> DiscMatches;
  // Called when the user quits at the disc request (the player closes).
  std::function<void()> OnQuit;
  // Drops the archives on discs, then asks for disc n until it is found (true) or the
  // user quits (false).
  bool RequestDisc(int n);
  // Registers the game.dat of every disc whose install.dat matches disc index.
  bool FindDisc(int index);

  // --- Temporary files and deletions ------------------------------------------------
  const std::string& TempFolder() const { return tempFolder_; }
  const std::vector<TVrLockData>& Locks() const { return locks_; }
  // Per-frame maintenance: deletes the pending temporary files.
  void Maintain() { DeletePendingFiles(); }
  void DeletePendingFiles();
  // A loose file in the base folder to delete at exit (title name; refused when it would
  // leave the folder). Answers whether it was taken.
  bool AddExitDelete(const std::string& name);
  // The native path where a title name is to be written in the base folder (an existing
  // file of that name in any letter case, else the name converted); nothing without a base
  // folder or when the name would leave it. The loose-file listings are refreshed, as the
  // caller is about to write.
  std::optional<std::string> LooseWritePath(const std::string& name);
  void RunExitDeletes();
  // The loose-file lookups (shared with callers that write into the base folder).
  TDirCache& Loose() { return loose_; }

 private:
  std::optional<std::string> LooseFile(const std::string& name);
  std::optional<std::string> DiscFile(const std::string& name);
  // The collection whose entry can give content for the name (data, or archive bytes).
  TVrFileCollection* ContentCollection(const std::string& name) const;
  std::string ExtractToTemp(const std::string& name);
  int Register(std::unique_ptr<TVrFileCollection> c);

  std::vector<std::unique_ptr<TVrFileCollection>> collections_;
  std::shared_ptr<TVfDiscs> discs_;
  std::shared_ptr<TVfPrompt> prompt_;
  std::string baseFolder_;
  std::string tempFolder_;
  std::vector<TVrLockData> locks_;
  int32_t nextId_ = 0;
  std::vector<std::string> pendingDeletes_;
  std::vector<std::string> exitDeletes_;
  std::string discPrompt_;
  std::string quitPrompt_;
  std::string caption_;
  std::vector<std::string> discRoots_;  // as found at creation and at each disc request
  TDirCache loose_;
};

}  // namespace kest
