// One player per title: a lock that a second process (or a second acquire) cannot take.
#pragma once
#include <string>
#include <string_view>

namespace kest {

enum class TLockResult {
  Acquired,
  Held,         // another player (or an earlier acquire not yet released) holds it
  Unavailable,  // no lock can be made here (folder missing, not ours, not writable)
};

class TInstanceLock {
 public:
  virtual ~TInstanceLock() = default;
  // Takes the lock of the given name (CP932). Held and Unavailable are told apart so that
  // start-up can refuse a second player without refusing every player when the lock
  // folder is broken. Acquiring again while this object holds a lock releases the old one
  // first.
  virtual TLockResult TryAcquire(std::string_view nameCp932) = 0;
  virtual void Release() = 0;
};

// A lock file in a folder of ours, held with flock: the system drops it when the process
// ends, however it ends. The file stays (removing it would race with a new player).
class TFileInstanceLock : public TInstanceLock {
 public:
  // folder: where the lock files go; it is created (0700) when missing.
  explicit TFileInstanceLock(std::string folder) : folder_(std::move(folder)) {}
  ~TFileInstanceLock() override { Release(); }
  TLockResult TryAcquire(std::string_view nameCp932) override;
  void Release() override;
  const std::string& Path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
  int fd_ = -1;
};

// A file name for a lock name: UTF-8, "/" and control characters replaced, long names
// shortened with a hash so that distinct names stay distinct.
std::string LockFileName(std::string_view nameCp932);

// The folder for lock files: <runtime>/kest when there is a runtime folder of its own (it
// differs from the temporary folder), else <temp>/kest-<uid>.
std::string DefaultLockFolder(const std::string& runtime, const std::string& temp);

}  // namespace kest
