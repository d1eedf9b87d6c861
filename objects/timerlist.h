// The event queue: events raised by objects wait here until the interpreter starts their
// handler between two commands.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "vfs/records.h"

namespace kest {

// A weak reference to the object that raised an event: its name and the serial it had, so
// an object destroyed (or replaced by another of the same name) no longer resolves.
struct TSenderRef {
  std::string name;
  uint32_t serial = 0;  // 0: none
  explicit operator bool() const { return serial != 0; }
  bool operator==(const TSenderRef&) const = default;
};

// How the queue and the interpreter find senders; the object layer provides it.
class TSenderDirectory {
 public:
  virtual ~TSenderDirectory() = default;
  // True while the object the reference was taken from still exists.
  virtual bool Alive(const TSenderRef& ref) = 0;
  // A reference to the registered object of that exact name, or none.
  virtual TSenderRef Find(const std::string& name) = 0;
};

struct TTimerData {
  std::string handler;
  TSenderRef sender;
  uint8_t id = 0;
  int32_t level = 0;  // 0: waiting; else the nesting level running it
  TArrayString args;
};

class TTimerList {
 public:
  void Post(const TSenderRef& sender, const std::string& handler, const TArrayString& args, uint8_t id);
  int32_t FindQueued(const TSenderRef& sender, uint8_t id) const;
  TTimerData* FirstWaiting();
  void RemoveLevel(int32_t level);
  // Every record whose level lies in [lo, hi].
  void RemoveLevels(int32_t lo, int32_t hi);
  void RemoveStarted();
  void RemoveWaitingOf(const TSenderRef& sender);
  void Clear() { items_.clear(); }
  int32_t Count() const { return int32_t(items_.size()); }
  const TTimerData& At(int32_t i) const { return items_[size_t(i)]; }

  // Senders no longer alive are stored as an empty name; on loading they are looked up by
  // name. Levels are int32 from version 114 on, one byte before.
  void SaveToStream(TStream& s, TSenderDirectory* dir) const;
  void LoadFromStream(TStream& s, int32_t version, TSenderDirectory* dir);

 private:
  std::vector<TTimerData> items_;
};

}  // namespace kest
