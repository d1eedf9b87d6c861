// An ordered collection of named items with an index of 256 name buckets.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

class THashCollection;

class THashCollectionItem {
 public:
  THashCollectionItem() = default;
  explicit THashCollectionItem(std::string name) : name_(std::move(name)) {}
  virtual ~THashCollectionItem() = default;
  THashCollectionItem(const THashCollectionItem&) = delete;
  THashCollectionItem& operator=(const THashCollectionItem&) = delete;

  const std::string& Name() const { return name_; }
  // Renaming relinks the item at the head of its (new) bucket.
  void SetName(std::string name);
  // Position in the collection, -1 when in none.
  int Index() const { return index_; }
  THashCollection* Collection() const { return collection_; }

 private:
  friend class THashCollection;
  std::string name_;
  THashCollection* collection_ = nullptr;
  int index_ = -1;
  int bucket_ = -1;
  THashCollectionItem* next_ = nullptr;  // next item of the same bucket
};

class THashCollection {
 public:
  static constexpr int kBuckets = 256;

  THashCollection() = default;
  virtual ~THashCollection();
  THashCollection(const THashCollection&) = delete;
  THashCollection& operator=(const THashCollection&) = delete;

  // Bucket of a name, on its folded form s of n bytes: n * 16, plus, when n >= 2, the
  // second-to-last byte and the first byte of s; modulo 256.
  static int BucketOf(std::string_view name);

  int Count() const { return int(items_.size()); }
  THashCollectionItem* Item(int index) const {
    return index >= 0 && index < Count() ? items_[size_t(index)].get() : nullptr;
  }

  // Appends the item (taking it over) and links it at the head of its bucket.
  THashCollectionItem* Add(std::unique_ptr<THashCollectionItem> item);
  template <class T>
  T* AddItem(std::unique_ptr<T> item) {
    T* p = item.get();
    Add(std::unique_ptr<THashCollectionItem>(item.release()));
    return p;
  }

  // First item of the name's bucket, from its head, whose name equals `name` without case.
  int IndexOf(std::string_view name) const;
  THashCollectionItem* Find(std::string_view name) const { return Item(IndexOf(name)); }

  // Removes the item at `index`; later items move down one place.
  std::unique_ptr<THashCollectionItem> Extract(int index);
  void Delete(int index) { Extract(index); }
  void Clear();

 protected:
  // Called after an item's name changed (and before it is relinked); for subclasses.
  virtual void Renamed(THashCollectionItem*) {}

 private:
  friend class THashCollectionItem;
  void Link(THashCollectionItem* item);
  void Unlink(THashCollectionItem* item);

  std::vector<std::unique_ptr<THashCollectionItem>> items_;
  std::array<THashCollectionItem*, kBuckets> heads_{};
};

// Typed view over a collection whose items are all of type T.
template <class T>
class THashCollectionOf : public THashCollection {
 public:
  T* Item(int index) const { return static_cast<T*>(THashCollection::Item(index)); }
  T* Find(std::string_view name) const { return static_cast<T*>(THashCollection::Find(name)); }
  T* Add(std::unique_ptr<T> item) { return AddItem(std::move(item)); }
};

}  // namespace kest
