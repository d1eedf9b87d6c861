#include "objects/timerlist.h"

#include <algorithm>

#include "vfs/streams.h"

namespace kest {

void TTimerList::Post(const TSenderRef& sender, const std::string& handler, const TArrayString& args, uint8_t id) {
  items_.push_back(TTimerData{handler, sender, id, 0, args});
}

int32_t TTimerList::FindQueued(const TSenderRef& sender, uint8_t id) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].sender == sender && items_[i].id == id) return int32_t(i);
  return -1;
}

TTimerData* TTimerList::FirstWaiting() {
  for (auto& d : items_)
    if (d.level == 0) return &d;
  return nullptr;
}

void TTimerList::RemoveLevel(int32_t level) { RemoveLevels(level, level); }

void TTimerList::RemoveLevels(int32_t lo, int32_t hi) {
  std::erase_if(items_, [&](const TTimerData& d) { return d.level >= lo && d.level <= hi; });
}

void TTimerList::RemoveStarted() {
  std::erase_if(items_, [](const TTimerData& d) { return d.level != 0; });
}

void TTimerList::RemoveWaitingOf(const TSenderRef& sender) {
  std::erase_if(items_, [&](const TTimerData& d) { return d.level == 0 && d.sender == sender; });
}

void TTimerList::SaveToStream(TStream& s, TSenderDirectory* dir) const {
  WriteInt(s, Count());
  for (const auto& d : items_) {
    WriteString(s, d.handler);
    WriteString(s, d.sender && dir && dir->Alive(d.sender) ? d.sender.name : std::string());
    WriteByte(s, d.id);
    WriteInt(s, d.level);
    WriteArrayString(s, d.args);
  }
}

void TTimerList::LoadFromStream(TStream& s, int32_t version, TSenderDirectory* dir) {
  items_.clear();
  int32_t n = ReadInt(s);
  // Each record takes at least 14 bytes.
  if (n < 0 || n > (s.Size() - s.Position()) / 14) throw EReadError();
  for (int32_t i = 0; i < n; ++i) {
    TTimerData d;
    d.handler = ReadString(s);
    std::string name = ReadString(s);
    if (!name.empty() && dir) d.sender = dir->Find(name);
    d.id = ReadByte(s);
    d.level = version > 113 ? ReadInt(s) : (ReadByte(s) ? 1 : 0);
    d.args = ReadArrayString(s);
    items_.push_back(std::move(d));
  }
}

}  // namespace kest
