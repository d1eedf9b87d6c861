// Small lists shared by every subsystem.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kest {

// A list that owns its objects.
template <class T>
class TObjList {
 public:
  int Count() const { return int(items_.size()); }
  T* operator[](int i) const { return Get(i); }
  T* Get(int i) const { return i >= 0 && i < Count() ? items_[size_t(i)].get() : nullptr; }
  T* Add(std::unique_ptr<T> item) {
    items_.push_back(std::move(item));
    return items_.back().get();
  }
  T* Insert(int i, std::unique_ptr<T> item) {
    if (i < 0) i = 0;
    if (i > Count()) i = Count();
    items_.insert(items_.begin() + i, std::move(item));
    return items_[size_t(i)].get();
  }
  int IndexOf(const T* item) const {
    for (size_t i = 0; i < items_.size(); ++i)
      if (items_[i].get() == item) return int(i);
    return -1;
  }
  std::unique_ptr<T> Extract(int i) {
    if (i < 0 || i >= Count()) return nullptr;
    std::unique_ptr<T> p = std::move(items_[size_t(i)]);
    items_.erase(items_.begin() + i);
    return p;
  }
  void Delete(int i) { Extract(i); }
  void Clear() { items_.clear(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<std::unique_ptr<T>> items_;
};

// A list of int32 values; writing beyond the end first appends zeros.
class TIntList {
 public:
  int Count() const { return int(v_.size()); }
  // Reading outside the list gives 0.
  int32_t Get(int i) const { return i >= 0 && i < Count() ? v_[size_t(i)] : 0; }
  int32_t operator[](int i) const { return Get(i); }
  // Negative positions are ignored.
  void Set(int i, int32_t value);
  int Add(int32_t value) {
    v_.push_back(value);
    return Count() - 1;
  }
  void Insert(int i, int32_t value);
  void Delete(int i);
  int IndexOf(int32_t value) const;
  void Clear() { v_.clear(); }
  void Resize(int n) { v_.resize(n < 0 ? 0 : size_t(n), 0); }
  const std::vector<int32_t>& Values() const { return v_; }
  bool operator==(const TIntList&) const = default;

 private:
  std::vector<int32_t> v_;
};

// A growable int32 array.
class TIntArray {
 public:
  int Length() const { return int(v_.size()); }
  void SetLength(int n) { v_.resize(n < 0 ? 0 : size_t(n), 0); }
  int32_t& operator[](int i) { return v_.at(size_t(i)); }
  int32_t operator[](int i) const { return v_.at(size_t(i)); }
  int32_t* Data() { return v_.data(); }
  const int32_t* Data() const { return v_.data(); }
  void Append(int32_t value) { v_.push_back(value); }

 private:
  std::vector<int32_t> v_;
};

// A string list filled by splitting a text at a delimiter byte, never inside a double-byte
// character. Consecutive delimiters give empty items; a trailing delimiter adds no empty
// last item; an index beyond the end reads as the empty string.
class TTabStrings {
 public:
  TTabStrings() = default;
  explicit TTabStrings(std::string_view text, char delimiter = '\t') { SetText(text, delimiter); }
  void SetText(std::string_view text, char delimiter = '\t');
  int Count() const { return int(items_.size()); }
  const std::string& operator[](int i) const;
  const std::vector<std::string>& Items() const { return items_; }

 private:
  std::vector<std::string> items_;
};

// Outside double-byte characters: \" gives ", \\ gives \, \n gives CR LF. Any other
// backslash stays as it is.
std::string Unescape(std::string_view text);

}  // namespace kest
