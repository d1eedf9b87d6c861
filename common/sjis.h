// Shift-JIS (CP932) text: character walk, the one "without case" fold, conversions.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kest {

// Lead bytes of double-byte characters: 0x81-0x9F and 0xE0-0xFC.
constexpr bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
constexpr bool IsLeadByte(char c) { return IsLeadByte(static_cast<unsigned char>(c)); }

// Length in bytes of the character that starts at position i: 2 for a lead byte with a
// byte after it, else 1. A lead byte at the end is one character of its own.
constexpr size_t CharLen(std::string_view s, size_t i) {
  return (i + 1 < s.size() && IsLeadByte(s[i])) ? 2 : 1;
}

// Position of the character after the one at i (never beyond s.size()).
constexpr size_t NextChar(std::string_view s, size_t i) {
  return i >= s.size() ? s.size() : i + CharLen(s, i);
}

// Number of characters (a double-byte pair counts once).
size_t CharCount(std::string_view s);

// True when position i is the start of a character (not the trail byte of a pair).
bool IsCharStart(std::string_view s, size_t i);

// Position of the first delimiter byte at or after `from` that is not a trail byte, or npos.
size_t FindByte(std::string_view s, char delimiter, size_t from = 0);

// The one "without case" fold of the system: ASCII A-Z to a-z, only outside pairs.
std::string FoldCase(std::string_view s);
// ASCII a-z to A-Z, only outside pairs.
std::string UpperCase(std::string_view s);

// Equality and ordering without case: the fold, then byte order.
bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);

// A hash of the folded text (for unordered containers keyed without case).
uint64_t HashNoCase(std::string_view s);

struct NoCaseHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return size_t(HashNoCase(s)); }
};
struct NoCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return SameText(a, b); }
};
struct NoCaseLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return CompareText(a, b) < 0; }
};

// Conversions at the platform boundary. Bytes that do not convert become U+FFFD (to UTF-8)
// or "?" (to CP932); neither function fails.
std::string Cp932ToUtf8(std::string_view cp932);
std::string Utf8ToCp932(std::string_view utf8);

}  // namespace kest
