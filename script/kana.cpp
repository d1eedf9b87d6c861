#include "script/kana.h"

#include <array>
#include <cstdint>

#include "common/sjis.h"

namespace kest {

namespace {

constexpr uint16_t Pair(uint8_t lead, uint8_t trail) { return uint16_t((lead << 8) | trail); }

// Full-width form of every byte 0x20..0x7E and 0xA1..0xDF (0 where none).
struct HanTable {
  std::array<uint16_t, 256> zen{};
  constexpr HanTable() {
    for (int c = '0'; c <= '9'; ++c) zen[size_t(c)] = Pair(0x82, uint8_t(0x4F + (c - '0')));
    for (int c = 'A'; c <= 'Z'; ++c) zen[size_t(c)] = Pair(0x82, uint8_t(0x60 + (c - 'A')));
    for (int c = 'a'; c <= 'z'; ++c) zen[size_t(c)] = Pair(0x82, uint8_t(0x81 + (c - 'a')));
    struct P { char c; uint8_t t; };
    constexpr P punct[] = {
        {' ', 0x40}, {'!', 0x49}, {'"', 0x68}, {'#', 0x94}, {'$', 0x90}, {'%', 0x93},
        {'&', 0x95}, {'\'', 0x66}, {'(', 0x69}, {')', 0x6A}, {'*', 0x96}, {'+', 0x7B},
        {',', 0x43}, {'-', 0x7C}, {'.', 0x44}, {'/', 0x5E}, {':', 0x46}, {';', 0x47},
        {'<', 0x83}, {'=', 0x81}, {'>', 0x84}, {'?', 0x48}, {'@', 0x97}, {'[', 0x6D},
        {'\\', 0x8F}, {']', 0x6E}, {'^', 0x4F}, {'_', 0x51}, {'`', 0x65}, {'{', 0x6F},
        {'|', 0x62}, {'}', 0x70}, {'~', 0x60},
    };
    for (const P& p : punct) zen[uint8_t(p.c)] = Pair(0x81, p.t);
    // Half-width katakana: punctuation in the 0x81 row, sounds in the 0x83 row.
    zen[0xA1] = Pair(0x81, 0x42);
    zen[0xA2] = Pair(0x81, 0x75);
    zen[0xA3] = Pair(0x81, 0x76);
    zen[0xA4] = Pair(0x81, 0x41);
    zen[0xA5] = Pair(0x81, 0x45);
    zen[0xA6] = Pair(0x83, 0x92);
    for (int i = 0; i < 5; ++i) zen[size_t(0xA7 + i)] = Pair(0x83, uint8_t(0x40 + 2 * i));  // small vowels
    for (int i = 0; i < 3; ++i) zen[size_t(0xAC + i)] = Pair(0x83, uint8_t(0x83 + 2 * i));  // small ya, yu, yo
    zen[0xAF] = Pair(0x83, 0x62);
    zen[0xB0] = Pair(0x81, 0x5B);
    for (int i = 0; i < 5; ++i) zen[size_t(0xB1 + i)] = Pair(0x83, uint8_t(0x41 + 2 * i));
    for (int i = 0; i < 12; ++i) zen[size_t(0xB6 + i)] = Pair(0x83, uint8_t(0x4A + 2 * i));
    for (int i = 0; i < 3; ++i) zen[size_t(0xC2 + i)] = Pair(0x83, uint8_t(0x63 + 2 * i));
    for (int i = 0; i < 5; ++i) zen[size_t(0xC5 + i)] = Pair(0x83, uint8_t(0x69 + i));
    for (int i = 0; i < 5; ++i) zen[size_t(0xCA + i)] = Pair(0x83, uint8_t(0x6E + 3 * i));
    zen[0xCF] = Pair(0x83, 0x7D);
    zen[0xD0] = Pair(0x83, 0x7E);
    for (int i = 0; i < 3; ++i) zen[size_t(0xD1 + i)] = Pair(0x83, uint8_t(0x80 + i));
    for (int i = 0; i < 3; ++i) zen[size_t(0xD4 + i)] = Pair(0x83, uint8_t(0x84 + 2 * i));
    for (int i = 0; i < 5; ++i) zen[size_t(0xD7 + i)] = Pair(0x83, uint8_t(0x89 + i));
    zen[0xDC] = Pair(0x83, 0x8F);
    zen[0xDD] = Pair(0x83, 0x93);
    zen[0xDE] = Pair(0x81, 0x4A);
    zen[0xDF] = Pair(0x81, 0x4B);
  }
};
constexpr HanTable kHan;

constexpr bool TakesVoiced(uint8_t c) { return (c >= 0xB6 && c <= 0xC4) || (c >= 0xCA && c <= 0xCE); }
constexpr bool TakesSemiVoiced(uint8_t c) { return c >= 0xCA && c <= 0xCE; }

// Half-width text (one or two bytes) of every full-width character HanToZen produces,
// indexed by trail byte within the 0x81, 0x82 and 0x83 rows.
struct ZenTable {
  // rows 0x81..0x83, trail 0x40..0xFC; value: up to two bytes, 0 = none.
  std::array<std::array<uint16_t, 256>, 3> han{};
  constexpr ZenTable() {
    for (int c = 0x20; c <= 0xDF; ++c) {
      const uint16_t z = kHan.zen[size_t(c)];
      if (!z) continue;
      han[size_t((z >> 8) - 0x81)][z & 0xFF] = uint16_t(c);
      if (TakesVoiced(uint8_t(c))) han[size_t((z >> 8) - 0x81)][(z & 0xFF) + 1] = uint16_t((c << 8) | 0xDE);
      if (TakesSemiVoiced(uint8_t(c))) han[size_t((z >> 8) - 0x81)][(z & 0xFF) + 2] = uint16_t((c << 8) | 0xDF);
    }
    han[0][0x67] = '"';  // the opening double quotation mark too
  }
};
constexpr ZenTable kZen;

}  // namespace

std::string HanToZen(std::string_view s) {
  // Every input byte gives at most two output bytes: write into a buffer of that size.
  std::string r(s.size() * 2, '\0');
  char* out = r.data();
  const uint8_t* p = reinterpret_cast<const uint8_t*>(s.data());
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    const uint8_t c = p[i];
    if (IsLeadByte(c)) {
      *out++ = char(c);  // a lone lead byte at the end is copied alone
      if (i + 1 < n) *out++ = char(p[i + 1]);
      i += 2;
      continue;
    }
    const uint16_t z = kHan.zen[c];
    if (!z) {
      ++i;  // control bytes, line breaks and the other single bytes are dropped
      continue;
    }
    uint8_t trail = uint8_t(z & 0xFF);
    size_t used = 1;
    if (i + 1 < n) {
      const uint8_t m = p[i + 1];
      if (m == 0xDE && TakesVoiced(c)) {
        trail += 1;
        used = 2;
      } else if (m == 0xDF && TakesSemiVoiced(c)) {
        trail += 2;
        used = 2;
      }
    }
    *out++ = char(z >> 8);
    *out++ = char(trail);
    i += used;
  }
  r.resize(size_t(out - r.data()));
  return r;
}

std::string ZenToHan(std::string_view s) {
  // Every character gives at most as many bytes as it has.
  std::string r(s.size(), '\0');
  char* out = r.data();
  const uint8_t* p = reinterpret_cast<const uint8_t*>(s.data());
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    const uint8_t c = p[i];
    if (!IsLeadByte(c)) {
      *out++ = char(c);
      ++i;
      continue;
    }
    if (i + 1 < n && c >= 0x81 && c <= 0x83) {
      const uint16_t h = kZen.han[size_t(c - 0x81)][p[i + 1]];
      if (h > 0xFF) {
        *out++ = char(h >> 8);
        *out++ = char(h & 0xFF);
      } else if (h) {
        *out++ = char(h);
      }
    }
    i += 2;  // unconvertible characters (and a lone lead byte at the end) are dropped
  }
  r.resize(size_t(out - r.data()));
  return r;
}

}  // namespace kest
