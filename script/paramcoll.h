// The one variable collection of the player: named variables with their scopes (global,
// auto-destroy, local, status), the 51 system variables, the snapshot stack and the stored
// formats of game saves and the status record.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/clock.h"
#include "common/sjis.h"
#include "script/params.h"
#include "script/sysvars.h"

namespace kest {

// One named variable.
class TParamCollectionItem {
 public:
  TParamCollectionItem(const TParamCollectionItem&) = delete;
  TParamCollectionItem& operator=(const TParamCollectionItem&) = delete;

  const std::string& Name() const { return name_; }
  TCustomParam* Value() const { return value_.get(); }
  // Position in the collection.
  int Index() const { return index_; }
  TItemHandle Handle() const { return handle_; }
  // A system variable (never freed, never saved).
  bool IsSystem() const { return system_; }

  uint8_t reserved = 0;  // never set by the player; saved and loaded
  uint8_t status = 0;    // 1: a status variable
  int32_t depth = -1;    // call depth the variable is bound to; -1 when not bound
  uint8_t local = 0;     // 1: a local variable

 private:
  friend class TParamCollection;
  TParamCollectionItem() = default;
  std::string name_;
  std::unique_ptr<TCustomParam> value_;
  int index_ = -1;
  TItemHandle handle_;
  bool system_ = false;
  bool named_ = false;
  struct TNameChain* chain_ = nullptr;
};

// The items of one name (compared without case), oldest first. A name's chain lives as long
// as the collection, so a pointer to it stands for the name in repeated lookups.
struct TNameChain {
  std::vector<TParamCollectionItem*> items;
};

// The version of the game-save format written by SaveToStream, and the oldest one read.
inline constexpr int32_t kVarsSaveVersion = 140;
inline constexpr int32_t kVarsOldestVersion = 107;

// The variable collection. Name lookup: FindItem walks the items of the name (compared
// without case) from the newest to the oldest; a local item of the current depth is
// answered at once, else the oldest non-local one; locals of other depths are invisible.
// (The items of one name are kept in their own chain, newest first: the same order as in
// a bucket of the 256-bucket name index, without walking the other names of the bucket.)
class TParamCollection {
 public:
  TParamCollection();
  ~TParamCollection();
  TParamCollection(const TParamCollection&) = delete;
  TParamCollection& operator=(const TParamCollection&) = delete;

  int Count() const { return int(items_.size()); }
  TParamCollectionItem* Item(int index) const {
    return index >= 0 && index < Count() ? items_[size_t(index)].get() : nullptr;
  }
  TParamCollectionItem* Resolve(TItemHandle h) const;
  // The system variable of an identifier.
  TParamCollectionItem* SystemItem(int32_t id) const;

  // Set by the call manager to the number of frames on the call stack.
  int32_t CurrentDepth = 0;

  TParamCollectionItem* FindItem(std::string_view name) const;
  // The chain of a name (made empty when the name has no items yet), and the lookup through
  // it: the same answer as FindItem without hashing the name again.
  const TNameChain* NameChain(std::string_view name) const;
  TParamCollectionItem* FindItem(const TNameChain* chain) const;
  // Appends an item of the kind named `name`, whose chain the caller already has (the
  // evaluator's temporaries). The name must pass the name rules.
  TParamCollectionItem* AddNamedItem(int32_t kind, std::string_view name, const TNameChain* chain);
  // Different for every collection ever made (keys of caches of chains).
  uint64_t Serial() const { return serial_; }
  // The item a declaration of this name would reuse: with `local`, a local item of the
  // current depth; without, the non-local item FindItem would answer (the oldest).
  TParamCollectionItem* FindDeclared(std::string_view name, bool local) const;
  // Appends an unnamed item holding a new default value of the kind (0: a reference
  // without target). Raises the invalid-variable error for a kind outside 0..4.
  TParamCollectionItem* AddItem(int32_t kind);
  // Validates and applies a name: not empty, no space, not starting with "0".."9".
  void SetItemName(TParamCollectionItem* item, std::string_view name);
  static bool ValidName(std::string_view name);
  // Frees a variable; system variables are never freed (answers false).
  bool FreeItem(TParamCollectionItem* item);
  // Frees every item bound to depth d (system variables excepted).
  void DeleteDepth(int32_t d);
  // After the call manager removed frame d from the middle of the stack: DeleteDepth(d),
  // then every deeper item moves up one depth.
  void RemoveDepth(int32_t d);
  // A detached copy of the named variable (nullptr if the name does not resolve); raises
  // "%s:不正な変数です" when its kind is not 1..4.
  std::unique_ptr<TCustomParam> CopyValue(std::string_view name) const;
  // The same for an item in hand; `reuse` (optional) is refilled when it has the kind.
  std::unique_ptr<TCustomParam> CopyValue(const TParamCollectionItem* item,
                                          std::unique_ptr<TCustomParam> reuse = nullptr) const;
  // Frees every item that is neither a system nor a status variable; @TextDelay 50,
  // @Cursor empty.
  void ClearVars();

  // The snapshot stack.
  void PushVars(const std::vector<std::string>& names);
  void PopVars();
  int SnapshotCount() const { return int(snapshots_.size()); }

  // Game-save section and status record. Loads are staged: a damaged stream raises
  // EKestBadData (or the stream's read error) and leaves the collection as it was.
  void SaveToStream(TStream& s) const;
  void LoadFromStream(TStream& s, int32_t version);
  void SaveStatus(TStream& s) const;
  void LoadStatus(TStream& s);

  // Program-wide values of the variables.
  int32_t TextDelay = 50;
  std::string Cursor;
  std::string SelStr;
  int32_t SelIndex = 0;
  std::string TempTarget;

  // System variables: the registration table, the shared clock, the date source.
  void BindSystem(int32_t id, TSysVarBinding binding);
  void UnbindSystem(int32_t id);
  bool SystemBound(int32_t id) const;
  const TSysVarBinding* SystemBinding(int32_t id) const;
  void AttachClock(const TPlayerClock* clock) { clock_ = clock; }
  const TPlayerClock* Clock() const { return clock_; }
  // The source of the local date and time. With a clock attached it is sampled once per
  // frame (when FrameCount changes); without one, at every read.
  void SetDateTimeSource(std::function<TLocalDateTime()> source);
  const TLocalDateTime& Now() const;
  // Where the message-history fields of saves of versions 113..134 go (three pairs of
  // int32); without a sink they are read and dropped.
  std::function<void(const int32_t (&pairs)[6])> OldHistoryFormatSink;

 private:
  struct Slot {
    TParamCollectionItem* item = nullptr;
    uint32_t serial = 0;
  };
  struct StagedItem;
  struct Staged;
  TParamCollectionItem* NewItem(std::unique_ptr<TCustomParam> value,
                                std::unique_ptr<TParamCollectionItem> item = nullptr);
  void Link(TParamCollectionItem* item);
  void Unlink(TParamCollectionItem* item);
  void RemoveWhere(const std::function<bool(const TParamCollectionItem&)>& pred);
  void WriteItems(TStream& s, bool status) const;
  void ReadItems(TStream& s, Staged& staged) const;
  void Commit(Staged& staged);

  std::vector<std::unique_ptr<TParamCollectionItem>> items_;
  mutable std::unordered_map<std::string, TNameChain, NoCaseHash, NoCaseEqual> chains_;
  uint64_t serial_;
  std::vector<Slot> slots_;
  std::vector<uint32_t> freeSlots_;
  uint32_t nextSerial_ = 1;
  // Freed items kept for reuse, by stored kind (temporaries come and go in every run).
  std::vector<std::unique_ptr<TParamCollectionItem>> pool_[5];
  static constexpr size_t kPoolSize = 32;
  void Recycle(std::unique_ptr<TParamCollectionItem> item);
  std::vector<std::vector<uint8_t>> snapshots_;
  TSysVarBinding bindings_[SV_COUNT];
  const TPlayerClock* clock_ = nullptr;
  std::function<TLocalDateTime()> dateSource_;
  mutable TLocalDateTime now_;
  mutable int64_t nowFrame_ = -1;
};

}  // namespace kest
