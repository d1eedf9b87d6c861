#include "common/hash.h"

#include "common/sjis.h"

namespace kest {

void THashCollectionItem::SetName(std::string name) {
  if (collection_) collection_->Unlink(this);
  name_ = std::move(name);
  if (collection_) {
    collection_->Renamed(this);
    collection_->Link(this);
  }
}

THashCollection::~THashCollection() { Clear(); }

int THashCollection::BucketOf(std::string_view name) {
  const std::string s = FoldCase(name);
  const size_t n = s.size();
  uint32_t h = uint32_t(n) * 16u;
  if (n >= 2) h += static_cast<unsigned char>(s[n - 2]) + static_cast<unsigned char>(s[0]);
  return int(h % kBuckets);
}

void THashCollection::Link(THashCollectionItem* item) {
  item->bucket_ = BucketOf(item->name_);
  item->next_ = heads_[size_t(item->bucket_)];
  heads_[size_t(item->bucket_)] = item;
}

void THashCollection::Unlink(THashCollectionItem* item) {
  if (item->bucket_ < 0) return;
  THashCollectionItem** p = &heads_[size_t(item->bucket_)];
  while (*p && *p != item) p = &(*p)->next_;
  if (*p) *p = item->next_;
  item->next_ = nullptr;
  item->bucket_ = -1;
}

THashCollectionItem* THashCollection::Add(std::unique_ptr<THashCollectionItem> item) {
  THashCollectionItem* p = item.get();
  if (p->collection_) p->collection_->Extract(p->index_).release();
  p->collection_ = this;
  p->index_ = Count();
  items_.push_back(std::move(item));
  Link(p);
  return p;
}

int THashCollection::IndexOf(std::string_view name) const {
  for (const THashCollectionItem* p = heads_[size_t(BucketOf(name))]; p; p = p->next_) {
    if (SameText(p->name_, name)) return p->index_;
  }
  return -1;
}

std::unique_ptr<THashCollectionItem> THashCollection::Extract(int index) {
  if (index < 0 || index >= Count()) return nullptr;
  std::unique_ptr<THashCollectionItem> item = std::move(items_[size_t(index)]);
  items_.erase(items_.begin() + index);
  Unlink(item.get());
  for (size_t i = size_t(index); i < items_.size(); ++i) items_[i]->index_ = int(i);
  item->collection_ = nullptr;
  item->index_ = -1;
  return item;
}

void THashCollection::Clear() {
  heads_.fill(nullptr);
  // From the end, so no renumbering is needed.
  while (!items_.empty()) {
    std::unique_ptr<THashCollectionItem> item = std::move(items_.back());
    items_.pop_back();
    item->collection_ = nullptr;
    item->index_ = -1;
    item->bucket_ = -1;
    item->next_ = nullptr;
  }
}

}  // namespace kest
