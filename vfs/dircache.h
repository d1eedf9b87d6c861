// Finds title files among loose files: "\" separated CP932 names in any letter case,
// stored on disk under UTF-8 or CP932 names in any letter case. Folder listings are
// cached and re-read when a folder's modification time changes.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kest {

class TDirCache {
 public:
  // The native path of an existing regular file (or, with wantFolder, folder) that a title
  // name stands for inside `nativeFolder`; nothing when there is none or the name would
  // leave the folder ("..", an absolute name, a drive).
  std::optional<std::string> Resolve(const std::string& nativeFolder, std::string_view cp932Name,
                                     bool wantFolder = false);
  // The files (not folders) directly inside a folder, as CP932 names (UTF-8 names on disk
  // converted; names that are not UTF-8 kept as their bytes).
  std::vector<std::string> ListFiles(const std::string& nativeFolder);
  // Forgets every listing (after writing into folders by other means).
  void Invalidate() { dirs_.clear(); }

  // How many folder listings were read from disk (for tests of the cache).
  int Reads() const { return reads_; }

 private:
  struct Entry {
    std::string native;  // the name on disk
    std::string folded;  // its CP932 form, folded
    bool folder;
  };
  struct Listing {
    int64_t mtimeNs = -1;
    std::vector<Entry> entries;
  };
  const Listing* List(const std::string& nativeFolder);
  // The name on disk of a component in a folder, or "".
  std::string Match(const std::string& folder, const std::string& cp932Component, bool wantFolder);

  std::unordered_map<std::string, Listing> dirs_;
  int reads_ = 0;
};

}  // namespace kest
