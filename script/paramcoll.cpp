#include "script/paramcoll.h"

#include <algorithm>

namespace kest {

namespace {
uint64_t nextCollectionSerial = 1;
}

TParamCollection::TParamCollection() : serial_(nextCollectionSerial++), dateSource_(ReadLocalDateTime) {
  for (int32_t id = 0; id < SV_COUNT; ++id) {
    TParamCollectionItem* item = NewItem(std::make_unique<TParamSystem>(this, id));
    item->system_ = true;
    item->name_ = SysVarInfo(id).name;
    item->named_ = true;
    Link(item);
  }
}

TParamCollection::~TParamCollection() {
  // Items go from the last; none of them touches the collection while it dies.
  while (!items_.empty()) items_.pop_back();
}

TParamCollectionItem* TParamCollection::Resolve(TItemHandle h) const {
  if (!h || h.slot >= slots_.size()) return nullptr;
  const Slot& s = slots_[h.slot];
  return s.serial == h.serial ? s.item : nullptr;
}

TParamCollectionItem* TParamCollection::SystemItem(int32_t id) const {
  // The system variables are created first and never freed: they keep positions 0..50.
  return id >= 0 && id < SV_COUNT ? items_[size_t(id)].get() : nullptr;
}

TParamCollectionItem* TParamCollection::NewItem(std::unique_ptr<TCustomParam> value,
                                               std::unique_ptr<TParamCollectionItem> item) {
  if (!item) item = std::unique_ptr<TParamCollectionItem>(new TParamCollectionItem());
  item->value_ = std::move(value);
  uint32_t slot;
  if (!freeSlots_.empty()) {
    slot = freeSlots_.back();
    freeSlots_.pop_back();
  } else {
    slot = uint32_t(slots_.size());
    slots_.emplace_back();
  }
  const uint32_t serial = nextSerial_++;
  if (nextSerial_ == 0) nextSerial_ = 1;
  slots_[slot] = Slot{item.get(), serial};
  item->handle_ = TItemHandle{slot, serial};
  item->index_ = Count();
  items_.push_back(std::move(item));
  return items_.back().get();
}

void TParamCollection::Link(TParamCollectionItem* item) {
  TNameChain* chain = &chains_[item->name_];
  item->chain_ = chain;
  chain->items.push_back(item);
}

void TParamCollection::Unlink(TParamCollectionItem* item) {
  if (!item->chain_) return;
  auto& v = item->chain_->items;
  // Mostly the newest of its name.
  if (!v.empty() && v.back() == item)
    v.pop_back();
  else
    v.erase(std::remove(v.begin(), v.end(), item), v.end());
  item->chain_ = nullptr;
}

const TNameChain* TParamCollection::NameChain(std::string_view name) const {
  auto it = chains_.find(name);
  if (it != chains_.end()) return &it->second;
  return &chains_[std::string(name)];
}

TParamCollectionItem* TParamCollection::AddNamedItem(int32_t kind, std::string_view name,
                                                     const TNameChain* chain) {
  if (!ValidName(name)) throw EKest(FormatMessage(param_msg::kBadName, name));
  TParamCollectionItem* item = AddItem(kind);
  item->name_ = std::string(name);
  item->named_ = true;
  // The chain belongs to this collection: it was handed out by NameChain.
  item->chain_ = const_cast<TNameChain*>(chain);
  item->chain_->items.push_back(item);
  return item;
}

TParamCollectionItem* TParamCollection::FindItem(std::string_view name) const {
  auto it = chains_.find(name);
  if (it == chains_.end()) return nullptr;
  return FindItem(&it->second);
}

TParamCollectionItem* TParamCollection::FindItem(const TNameChain* chain) const {
  const auto& v = chain->items;
  TParamCollectionItem* global = nullptr;
  for (size_t i = v.size(); i-- > 0;) {
    TParamCollectionItem* item = v[i];
    if (item->local) {
      if (item->depth == CurrentDepth) return item;
    } else {
      global = item;  // keeps the oldest
    }
  }
  return global;
}

TParamCollectionItem* TParamCollection::FindDeclared(std::string_view name, bool local) const {
  auto it = chains_.find(name);
  if (it == chains_.end()) return nullptr;
  const auto& v = it->second.items;
  if (local) {
    for (size_t i = v.size(); i-- > 0;)
      if (v[i]->local && v[i]->depth == CurrentDepth) return v[i];
    return nullptr;
  }
  for (TParamCollectionItem* item : v)
    if (!item->local) return item;
  return nullptr;
}

void TParamCollection::Recycle(std::unique_ptr<TParamCollectionItem> item) {
  const int32_t k = StoredKind(*item->value_);
  if (k < 0 || k > PT_STR || pool_[k].size() >= kPoolSize) return;  // freed here
  item->value_->ResetValue();
  item->name_.clear();
  item->named_ = false;
  item->chain_ = nullptr;
  item->index_ = -1;
  item->handle_ = TItemHandle{};
  item->reserved = item->status = item->local = 0;
  item->depth = -1;
  pool_[k].push_back(std::move(item));
}

TParamCollectionItem* TParamCollection::AddItem(int32_t kind) {
  if (kind >= PT_NONE && kind <= PT_STR && !pool_[kind].empty()) {
    std::unique_ptr<TParamCollectionItem> item = std::move(pool_[kind].back());
    pool_[kind].pop_back();
    std::unique_ptr<TCustomParam> value = std::move(item->value_);
    // NewItem takes the value; the item object itself is made anew only without a pool.
    TParamCollectionItem* p = NewItem(std::move(value), std::move(item));
    return p;
  }
  std::unique_ptr<TCustomParam> value;
  if (kind == PT_NONE)
    value = std::make_unique<TParamVar>(this);
  else
    value = NewParamOfKind(kind);
  if (!value) throw EKest(FormatMessage(param_msg::kBadVariable, IntToText(kind)));
  return NewItem(std::move(value));
}

bool TParamCollection::ValidName(std::string_view name) {
  if (name.empty()) return false;
  if (name[0] >= '0' && name[0] <= '9') return false;
  // A space byte anywhere; trail bytes of double-byte characters are never 0x20.
  return name.find(' ') == std::string_view::npos;
}

void TParamCollection::SetItemName(TParamCollectionItem* item, std::string_view name) {
  if (!ValidName(name)) throw EKest(FormatMessage(param_msg::kBadName, name));
  if (item->system_) throw EKest(param_msg::kInternal);
  Unlink(item);
  item->name_ = std::string(name);
  item->named_ = true;
  Link(item);
}

void TParamCollection::RemoveWhere(
    const std::function<bool(const TParamCollectionItem&)>& pred) {
  // One pass: survivors move down, the others are unlinked and freed at the end.
  std::vector<std::unique_ptr<TParamCollectionItem>> doomed;
  size_t w = 0;
  for (size_t r = 0; r < items_.size(); ++r) {
    if (!items_[r]->system_ && pred(*items_[r])) {
      doomed.push_back(std::move(items_[r]));
    } else {
      if (w != r) items_[w] = std::move(items_[r]);
      items_[w]->index_ = int(w);
      ++w;
    }
  }
  items_.resize(w);
  for (auto& item : doomed) {
    Unlink(item.get());
    Slot& s = slots_[item->handle_.slot];
    s.item = nullptr;
    s.serial = 0;
    freeSlots_.push_back(item->handle_.slot);
  }
  // Freed (or kept for reuse) after the collection is consistent again.
  for (auto& item : doomed) Recycle(std::move(item));
}

bool TParamCollection::FreeItem(TParamCollectionItem* item) {
  if (!item || item->system_) return false;
  const int index = item->index_;
  if (index < 0 || index >= Count() || items_[size_t(index)].get() != item) return false;
  std::unique_ptr<TParamCollectionItem> owned = std::move(items_[size_t(index)]);
  items_.erase(items_.begin() + index);
  for (size_t i = size_t(index); i < items_.size(); ++i) items_[i]->index_ = int(i);
  Unlink(owned.get());
  Slot& s = slots_[owned->handle_.slot];
  s.item = nullptr;
  s.serial = 0;
  freeSlots_.push_back(owned->handle_.slot);
  Recycle(std::move(owned));
  return true;
}

void TParamCollection::DeleteDepth(int32_t d) {
  RemoveWhere([d](const TParamCollectionItem& item) { return item.depth == d; });
}

void TParamCollection::RemoveDepth(int32_t d) {
  DeleteDepth(d);
  for (auto& item : items_)
    if (item->depth > d) --item->depth;
}

std::unique_ptr<TCustomParam> TParamCollection::CopyValue(std::string_view name) const {
  return CopyValue(FindItem(name));
}

std::unique_ptr<TCustomParam> TParamCollection::CopyValue(const TParamCollectionItem* item,
                                                          std::unique_ptr<TCustomParam> reuse) const {
  if (!item) return nullptr;
  const int32_t kind = item->value_->GetKind();
  std::unique_ptr<TCustomParam> copy;
  if (reuse && reuse->HoldsElements() && reuse->GetKind() == kind)
    copy = std::move(reuse);
  else
    copy = NewParamOfKind(kind);
  if (!copy) throw EKest(FormatMessage(param_msg::kBadVariable, item->name_));
  copy->AssignData(*item->value_);
  return copy;
}

void TParamCollection::ClearVars() {
  RemoveWhere([](const TParamCollectionItem& item) { return !item.status; });
  TextDelay = 50;
  Cursor.clear();
}

// ---- system variables

void TParamCollection::BindSystem(int32_t id, TSysVarBinding binding) {
  if (id < 0 || id >= SV_COUNT) throw EKest(param_msg::kInternal);
  bindings_[id] = std::move(binding);
}

void TParamCollection::UnbindSystem(int32_t id) {
  if (id >= 0 && id < SV_COUNT) bindings_[id] = TSysVarBinding{};
}

bool TParamCollection::SystemBound(int32_t id) const {
  const TSysVarBinding* b = SystemBinding(id);
  if (!b) return false;
  return b->getInt || b->getBool || b->getStr || b->count || b->boolAt || b->resultValue;
}

const TSysVarBinding* TParamCollection::SystemBinding(int32_t id) const {
  return id >= 0 && id < SV_COUNT ? &bindings_[id] : nullptr;
}

void TParamCollection::SetDateTimeSource(std::function<TLocalDateTime()> source) {
  dateSource_ = source ? std::move(source) : std::function<TLocalDateTime()>(ReadLocalDateTime);
  nowFrame_ = -1;
}

const TLocalDateTime& TParamCollection::Now() const {
  if (!clock_) {
    now_ = dateSource_();
  } else if (nowFrame_ != clock_->FrameCount) {
    now_ = dateSource_();
    nowFrame_ = clock_->FrameCount;
  }
  return now_;
}

}  // namespace kest
