// The stored forms of values and of the collection: value data, collection records, the
// game-save section, the status record and the snapshot stack.
#include <algorithm>
#include <unordered_set>

#include "script/paramcoll.h"
#include "vfs/records.h"
#include "vfs/streams.h"

namespace kest {

namespace {

[[noreturn]] void BadData() { throw EKestBadData(param_msg::kBadData); }

// A count that must fit what remains of the stream at `minBytes` bytes an entry.
int32_t ReadCount(TStream& s, int64_t minBytes) {
  const int32_t n = ReadInt(s);
  if (n < 0 || (minBytes > 0 && int64_t(n) > s.Remaining() / minBytes)) BadData();
  return n;
}

void WriteDims(TStream& s, const std::vector<int32_t>& dims) {
  WriteInt(s, int32_t(dims.size()));
  for (int32_t d : dims) WriteInt(s, d);
}

// dims: count, then sizes, each at least 1, with a product within the array cap.
std::vector<int32_t> ReadDims(TStream& s, int64_t* product = nullptr) {
  const int32_t n = ReadCount(s, 4);
  if (n > kMaxArrayDims) BadData();
  std::vector<int32_t> dims(static_cast<size_t>(n));
  int64_t p = 1;
  for (int32_t& d : dims) {
    d = ReadInt(s);
    if (d <= 0) BadData();
    p *= d;
    if (p > kMaxArrayElements) BadData();
  }
  if (product) *product = p;
  return dims;
}

template <class E>
void WriteElement(TStream& s, const E& v) {
  if constexpr (std::is_same_v<E, int32_t>) WriteInt(s, v);
  else if constexpr (std::is_same_v<E, Float>) WriteReal(s, v);
  else if constexpr (std::is_same_v<E, uint8_t>) WriteByte(s, v ? 1 : 0);
  else WriteString(s, v);
}

template <class E>
E ReadElement(TStream& s) {
  if constexpr (std::is_same_v<E, int32_t>) return ReadInt(s);
  else if constexpr (std::is_same_v<E, Float>) return ReadReal(s);
  else if constexpr (std::is_same_v<E, uint8_t>) return ReadByte(s) ? 1 : 0;
  else return ReadString(s);
}

template <class E>
constexpr int64_t kElementBytes = std::is_same_v<E, int32_t> ? 4
                                  : std::is_same_v<E, Float> ? 10
                                  : std::is_same_v<E, uint8_t> ? 1
                                                               : 4;

// The element part of a kind's value data, taken through the generic accessors (for
// values that hold no elements of their own: @Result, @Temp).
void WriteElementsAs(TStream& s, const TCustomParam& v, int32_t kind) {
  const int32_t n = v.GetCount();
  WriteInt(s, n);
  for (int32_t i = 0; i < n; ++i) {
    switch (kind) {
      case PT_INT:
        WriteInt(s, v.GetIntAt(i));
        break;
      case PT_FLOAT:
        WriteReal(s, v.GetFloatAt(i));
        break;
      case PT_BOOL:
        WriteByte(s, v.GetBoolAt(i) ? 1 : 0);
        break;
      default:
        WriteString(s, v.GetStrAt(i));
        break;
    }
  }
}

bool IsPlainSystemName(std::string_view name) {
  for (int32_t id = 0; id < SV_COUNT; ++id)
    if (id != SV_RESULT && id != SV_TEMP && SameText(name, SysVarInfo(id).name)) return true;
  return false;
}

}  // namespace

// ---- value data

void TCustomParam::SaveToStream(TStream& s) const { WriteDims(s, dims_); }

void TCustomParam::LoadFromStream(TStream& s) { dims_ = ReadDims(s); }

template <class T>
void TParamElements<T>::SaveToStream(TStream& s) const {
  WriteDims(s, dims_);
  WriteInt(s, int32_t(elems_.size()));
  for (const E& e : elems_) WriteElement(s, e);
}

template <class T>
void TParamElements<T>::LoadFromStream(TStream& s) {
  int64_t product = 1;
  std::vector<int32_t> dims = ReadDims(s, &product);
  const int32_t m = ReadInt(s);
  // The element count must be what the dims say (one for a scalar).
  if (m != product) BadData();
  if (int64_t(m) > s.Remaining() / kElementBytes<E>) BadData();
  std::vector<E> elems;
  elems.reserve(size_t(m));
  for (int32_t i = 0; i < m; ++i) elems.push_back(ReadElement<E>(s));
  dims_ = std::move(dims);
  elems_ = std::move(elems);
}

template void TParamElements<TIntElement>::SaveToStream(TStream&) const;
template void TParamElements<TFloatElement>::SaveToStream(TStream&) const;
template void TParamElements<TFlagElement>::SaveToStream(TStream&) const;
template void TParamElements<TStrElement>::SaveToStream(TStream&) const;
template void TParamElements<TIntElement>::LoadFromStream(TStream&);
template void TParamElements<TFloatElement>::LoadFromStream(TStream&);
template void TParamElements<TFlagElement>::LoadFromStream(TStream&);
template void TParamElements<TStrElement>::LoadFromStream(TStream&);

void TParamVar::Restore(std::vector<int32_t> dims, std::string name, uint8_t reserved,
                        int32_t elementIndex) {
  dims_ = std::move(dims);
  name_ = std::move(name);
  reserved_ = reserved;
  elementIndex_ = elementIndex;
}

void TParamVar::SaveToStream(TStream& s) const {
  WriteDims(s, dims_);
  WriteString(s, name_);
  const TParamCollectionItem* t = Target();
  WriteString(s, t ? t->Name() : std::string());
  WriteByte(s, reserved_);
  WriteInt(s, elementIndex_);
}

void TParamVar::LoadFromStream(TStream& s) {
  std::vector<int32_t> dims = ReadDims(s);
  std::string name = ReadString(s);
  const std::string target = ReadString(s);
  const uint8_t reserved = ReadByte(s);
  const int32_t index = ReadInt(s);
  Restore(std::move(dims), std::move(name), reserved, index);
  SetTarget(collection_ && !target.empty() ? collection_->FindItem(target) : nullptr);
}

void TParamSystem::SaveToStream(TStream& s) const {
  if (Forwards()) {
    if (TCustomParam* v = Forwarded()) return v->SaveToStream(s);
  }
  TCustomParam::SaveToStream(s);
}

void TParamSystem::LoadFromStream(TStream& s) {
  if (Forwards()) {
    if (TCustomParam* v = Forwarded()) return v->LoadFromStream(s);
  }
  ReadDims(s);  // nothing of its own to restore
}

// ---- collection records

// One record parsed but not yet in the collection.
struct TParamCollection::StagedItem {
  std::string name;
  std::unique_ptr<TCustomParam> value;
  std::string targetName;  // references: resolved when the item is committed
  uint8_t status = 0, reserved = 0, local = 0;
  int32_t depth = -1;
};

struct TParamCollection::Staged {
  std::vector<StagedItem> items;
};

namespace {
// Value data of one stored kind into a new detached value; references keep their target
// name aside. `plainSystem`: the dims-only form under which the system variables that
// hold no value of their own appear in snapshots.
std::unique_ptr<TCustomParam> ReadValue(TStream& s, int32_t kind, bool plainSystem,
                                        TParamCollection* owner, std::string* targetName) {
  if (plainSystem) {
    ReadDims(s);
    return nullptr;
  }
  if (kind == PT_NONE) {
    std::vector<int32_t> dims = ReadDims(s);
    std::string name = ReadString(s);
    std::string target = ReadString(s);
    const uint8_t reserved = ReadByte(s);
    const int32_t index = ReadInt(s);
    auto ref = std::make_unique<TParamVar>(owner);
    ref->Restore(std::move(dims), std::move(name), reserved, index);
    *targetName = std::move(target);
    return ref;
  }
  auto v = NewParamOfKind(kind);
  if (!v) BadData();
  v->LoadFromStream(s);
  return v;
}

std::string ReadName(TStream& s) {
  std::string name = ReadString(s);
  if (!TParamCollection::ValidName(name)) throw EKestBadData(FormatMessage(param_msg::kBadName, name));
  return name;
}
}  // namespace

void TParamCollection::WriteItems(TStream& s, bool status) const {
  std::vector<const TParamCollectionItem*> pending;
  for (size_t i = items_.size(); i-- > 0;) {
    const TParamCollectionItem* item = items_[i].get();
    if (!item->system_ && (item->status != 0) == status) pending.push_back(item);
  }
  WriteInt(s, int32_t(pending.size()));
  auto writeOne = [&s](const TParamCollectionItem* item) {
    WriteByte(s, uint8_t(StoredKind(*item->value_)));
    WriteString(s, item->name_);
    item->value_->SaveToStream(s);
    WriteByte(s, item->status);
    WriteByte(s, item->reserved);
    WriteInt(s, item->depth);
    WriteByte(s, item->local);
  };
  // A reference waits until an item of its target's name has been written, so a load
  // finds the target when it resolves the name. A pass that writes nothing (the target is
  // never among the written items, or references wait on each other) ends the waiting:
  // the rest is written in order.
  std::unordered_set<std::string, NoCaseHash, NoCaseEqual> written;
  while (!pending.empty()) {
    std::vector<const TParamCollectionItem*> waiting;
    for (const TParamCollectionItem* item : pending) {
      const auto* ref = dynamic_cast<const TParamVar*>(item->value_.get());
      const TParamCollectionItem* target = ref ? ref->Target() : nullptr;
      if (target && target != item && !written.count(target->name_)) {
        waiting.push_back(item);
        continue;
      }
      writeOne(item);
      written.insert(item->name_);
    }
    if (waiting.size() == pending.size()) {
      for (const TParamCollectionItem* item : waiting) writeOne(item);
      break;
    }
    pending = std::move(waiting);
  }
}

void TParamCollection::ReadItems(TStream& s, Staged& staged) const {
  // A record takes at least 15 bytes: kind, name length, dims count, flags and depth.
  const int32_t n = ReadCount(s, 15);
  staged.items.reserve(size_t(n));
  for (int32_t i = 0; i < n; ++i) {
    StagedItem r;
    const int32_t kind = ReadByte(s);
    if (kind > PT_STR) BadData();
    r.name = ReadName(s);
    r.value = ReadValue(s, kind, false, const_cast<TParamCollection*>(this), &r.targetName);
    r.status = ReadByte(s);
    r.reserved = ReadByte(s);
    r.depth = ReadInt(s);
    r.local = ReadByte(s);
    staged.items.push_back(std::move(r));
  }
}

void TParamCollection::Commit(Staged& staged) {
  for (StagedItem& r : staged.items) {
    auto* ref = dynamic_cast<TParamVar*>(r.value.get());
    TParamCollectionItem* item = NewItem(std::move(r.value));
    item->name_ = std::move(r.name);
    item->named_ = true;
    item->status = r.status;
    item->reserved = r.reserved;
    item->depth = r.depth;
    item->local = r.local;
    Link(item);
    // Resolved at this moment, as the records come: the items before it and itself.
    if (ref && !r.targetName.empty()) ref->SetTarget(FindItem(r.targetName));
  }
  staged.items.clear();
}

// ---- snapshot entries

namespace {
struct SnapshotEntry {
  int32_t kind = 0;
  std::string name;
  std::unique_ptr<TCustomParam> value;  // nullptr: the dims-only form of a system variable
  std::string targetName;
};

std::vector<SnapshotEntry> ReadSnapshot(TStream& s, TParamCollection* owner) {
  // An entry takes at least 12 bytes: kind, name length, dims count.
  const int32_t n = ReadCount(s, 12);
  std::vector<SnapshotEntry> entries;
  entries.reserve(size_t(n));
  for (int32_t i = 0; i < n; ++i) {
    SnapshotEntry e;
    e.kind = ReadInt(s);
    if (e.kind < PT_NONE || e.kind > PT_STR) BadData();
    e.name = ReadName(s);
    e.value = ReadValue(s, e.kind, IsPlainSystemName(e.name), owner, &e.targetName);
    entries.push_back(std::move(e));
  }
  return entries;
}
}  // namespace

void TParamCollection::PushVars(const std::vector<std::string>& names) {
  struct Pick {
    const TParamCollectionItem* item;
    int32_t kind;
  };
  std::vector<Pick> picks;
  for (const std::string& name : names) {
    const TParamCollectionItem* item = FindItem(name);
    if (!item || item->value_->GetKind() == PT_NONE) continue;
    picks.push_back({item, StoredKind(*item->value_)});
  }
  TMemoryStream m;
  WriteInt(m, int32_t(picks.size()));
  for (const Pick& p : picks) {
    WriteInt(m, p.kind);
    WriteString(m, p.item->name_);
    const auto* sys = dynamic_cast<const TParamSystem*>(p.item->value_.get());
    if (sys && !sys->Forwards()) {
      sys->SaveToStream(m);  // dims only: nothing of its own to keep
    } else if (sys || p.kind == PT_NONE) {
      if (p.kind == PT_NONE) {
        p.item->value_->SaveToStream(m);
      } else {
        // @Result and @Temp: the data of the kind they read as, whatever holds it.
        WriteDims(m, p.item->value_->DimList());
        WriteElementsAs(m, *p.item->value_, p.kind);
      }
    } else {
      p.item->value_->SaveToStream(m);
    }
  }
  snapshots_.push_back(m.TakeBytes());
}

void TParamCollection::PopVars() {
  if (snapshots_.empty()) return;
  std::vector<SnapshotEntry> entries;
  {
    TBlobStream b(snapshots_.back().data(), int64_t(snapshots_.back().size()));
    entries = ReadSnapshot(b, this);
  }
  snapshots_.pop_back();
  for (SnapshotEntry& e : entries) {
    TParamCollectionItem* item = FindItem(e.name);
    // An item of another kind gives way (a system variable never does).
    while (item && !item->system_ && StoredKind(*item->value_) != e.kind) {
      FreeItem(item);
      item = FindItem(e.name);
    }
    if (item && item->system_) {
      // Only @Result and @Temp hold a value to restore, and only of the same kind.
      if (e.value && e.kind != PT_NONE && item->value_->GetKind() == e.kind)
        item->value_->AssignData(*e.value);
      continue;
    }
    if (!e.value) continue;  // the dims-only form of a name that is no system variable now
    if (!item) {
      item = AddItem(e.kind);
      SetItemName(item, e.name);
    }
    if (auto* ref = dynamic_cast<TParamVar*>(item->value_.get())) {
      const auto& src = static_cast<const TParamVar&>(*e.value);
      ref->Restore(src.OwnDims(), src.Name(), src.Reserved(), src.ElementIndex());
      ref->SetTarget(e.targetName.empty() ? nullptr : FindItem(e.targetName));
    } else {
      item->value_->AssignData(*e.value);
    }
  }
}

// ---- game save and status

void TParamCollection::SaveToStream(TStream& s) const {
  WriteItems(s, false);
  WriteInt(s, TextDelay);
  WriteString(s, Cursor);
  WriteString(s, SelStr);
  WriteInt(s, SelIndex);
  WriteString(s, TempTarget);
  WriteInt(s, int32_t(snapshots_.size()));
  for (const auto& snap : snapshots_) s.WriteBuffer(snap.data(), int64_t(snap.size()));
}

void TParamCollection::LoadFromStream(TStream& s, int32_t version) {
  // The branches below say what each format version carries; a newer format than ours
  // cannot be read. (The oldest save the player opens is the game save's decision.)
  if (version > kVarsSaveVersion) BadData();
  Staged staged;
  ReadItems(s, staged);
  const int32_t textDelay = ReadInt(s);
  std::string cursor = ReadString(s);
  std::string selStr;
  int32_t selIndex = 0;
  if (version > 102) {
    selStr = ReadString(s);
    selIndex = ReadInt(s);
  }
  int32_t history[6] = {};
  const bool hasHistory = version > 112 && version < 135;
  if (hasHistory)
    for (int32_t& v : history) v = ReadInt(s);
  std::string tempTarget;
  if (version > 120) tempTarget = ReadString(s);
  std::vector<std::vector<uint8_t>> snapshots;
  if (version >= 139) {
    const int32_t n = ReadCount(s, 4);
    for (int32_t i = 0; i < n; ++i) {
      // Each entry is exactly the bytes its own content spans: parsed to find its end.
      const int64_t start = s.Position();
      ReadSnapshot(s, this);
      const int64_t end = s.Position();
      std::vector<uint8_t> bytes(size_t(end - start));
      s.SetPosition(start);
      s.ReadBuffer(bytes.data(), end - start);
      snapshots.push_back(std::move(bytes));
    }
  }
  // Everything parsed: now the collection changes.
  RemoveWhere([](const TParamCollectionItem& item) { return !item.status; });
  Commit(staged);
  TextDelay = textDelay;
  Cursor = std::move(cursor);
  SelStr = std::move(selStr);
  SelIndex = selIndex;
  TempTarget = std::move(tempTarget);
  snapshots_ = std::move(snapshots);
  if (hasHistory && OldHistoryFormatSink) OldHistoryFormatSink(history);
}

void TParamCollection::SaveStatus(TStream& s) const { WriteItems(s, true); }

void TParamCollection::LoadStatus(TStream& s) {
  Staged staged;
  ReadItems(s, staged);
  Commit(staged);
}

}  // namespace kest
