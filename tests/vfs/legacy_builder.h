// A test-only builder of archives in the older layouts (0, 100, 101) and of version 102,
// written independently of the archive writer: scrambling from the known keystream, zlib
// called directly.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kest::test {

struct LegacyEntry {
  std::string name;
  std::string content;
  bool stored = false;  // honoured from version 101 on
  int32_t fileTime = 0;
  uint32_t crc = 0;
  bool crcOfContent = false;
};

// The first values of the archive generator (seed 1482503627).
inline const uint32_t kKeystream[] = {0x585D35CB, 0x122F42C2, 0xB3498395, 0xD8CCC7B4, 0x945D1C4F, 0x3E2EC356,
                                      0x8F470679, 0x24C05628};

inline std::string ZlibOf(const std::string& s) {
  uLongf n = compressBound(uLong(s.size()));
  std::string out(n, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(s.data()), uLong(s.size()), 1) !=
      Z_OK)
    throw std::runtime_error("zlib");
  out.resize(n);
  return out;
}

inline void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += char(uint8_t(v >> (8 * i)));
}
inline void Put64(std::string& s, uint64_t v) {
  Put32(s, uint32_t(v));
  Put32(s, uint32_t(v >> 32));
}

inline std::string BuildArchive(int version, const std::vector<LegacyEntry>& entries) {
  if (entries.size() + 1 > sizeof kKeystream / sizeof kKeystream[0]) throw std::runtime_error("too many entries");
  std::string dir;
  if (version != 0) {
    dir += "vf";
    Put32(dir, uint32_t(version));
  }
  Put32(dir, uint32_t(entries.size()));
  uint32_t state = 0;  // one keystream over all names; a zero-length name uses none of it
  for (const auto& e : entries) {
    Put32(dir, uint32_t(e.name.size()));
    for (char c : e.name) {
      state = state * 5u + 1482503627u;
      dir += version >= 100 ? char(uint8_t(c) ^ uint8_t(state)) : c;
    }
  }
  std::vector<std::string> stored;
  for (const auto& e : entries) stored.push_back(version >= 101 && e.stored ? e.content : ZlibOf(e.content));
  const size_t offSize = version >= 101 ? 8 : 4;
  size_t headerSize = dir.size() + (entries.size() + 1) * offSize;
  if (version >= 101) headerSize += entries.size() * 9;
  if (version >= 102) headerSize += entries.size();
  uint64_t at = headerSize;
  for (size_t i = 0; i <= entries.size(); ++i) {
    const uint32_t mask = kKeystream[i];
    if (version >= 101)
      Put64(dir, at ^ uint64_t(int64_t(int32_t(mask))));  // sign-extended mask
    else
      Put32(dir, uint32_t(at) ^ (version >= 100 ? mask : 0));
    if (i < entries.size()) at += stored[i].size();
  }
  if (version >= 101) {
    for (const auto& e : entries) dir += char(e.stored ? 1 : 0);
    for (const auto& e : entries) Put32(dir, uint32_t(e.fileTime));
    for (const auto& e : entries) Put32(dir, e.crc);
    if (version >= 102)
      for (const auto& e : entries) dir += char(e.crcOfContent ? 1 : 0);
  }
  for (const auto& s : stored) dir += s;
  return dir;
}

}  // namespace kest::test
