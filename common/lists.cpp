#include "common/lists.h"

#include "common/sjis.h"

namespace kest {

void TIntList::Set(int i, int32_t value) {
  if (i < 0) return;
  if (i >= Count()) v_.resize(size_t(i) + 1, 0);
  v_[size_t(i)] = value;
}

void TIntList::Insert(int i, int32_t value) {
  if (i < 0) i = 0;
  if (i > Count()) v_.resize(size_t(i), 0);
  v_.insert(v_.begin() + i, value);
}

void TIntList::Delete(int i) {
  if (i >= 0 && i < Count()) v_.erase(v_.begin() + i);
}

int TIntList::IndexOf(int32_t value) const {
  for (size_t i = 0; i < v_.size(); ++i)
    if (v_[i] == value) return int(i);
  return -1;
}

void TTabStrings::SetText(std::string_view text, char delimiter) {
  items_.clear();
  size_t start = 0;
  for (size_t i = 0; i < text.size(); i = NextChar(text, i)) {
    if (CharLen(text, i) == 1 && text[i] == delimiter) {
      items_.emplace_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  if (start < text.size()) items_.emplace_back(text.substr(start));
}

const std::string& TTabStrings::operator[](int i) const {
  static const std::string empty;
  return i >= 0 && i < Count() ? items_[size_t(i)] : empty;
}

std::string Unescape(std::string_view text) {
  std::string r;
  r.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t l = CharLen(text, i);
    if (l == 1 && text[i] == '\\' && i + 1 < text.size()) {
      const char c = text[i + 1];
      if (c == '"' || c == '\\') {
        r += c;
        i += 2;
        continue;
      }
      if (c == 'n') {
        r += "\r\n";
        i += 2;
        continue;
      }
    }
    r.append(text.substr(i, l));
    i += l;
  }
  return r;
}

}  // namespace kest
