// Value kinds, colour references and the error base shared by every subsystem.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

namespace kest {

// Value kinds of variables, expressions, system functions and object properties.
enum TParamKind : int32_t {
  PT_NONE = 0,
  PT_INT = 1,    // signed 32-bit
  PT_FLOAT = 2,  // extended real
  PT_BOOL = 3,   // flag; as text "TRUE" or "FALSE"
  PT_STR = 4,    // byte string (CP932)
};

// The extended real of scripts and records.
using Float = long double;

// Colour reference 0x00BBGGRR (red in the lowest byte); -1 means none.
using TColorRef = int32_t;
constexpr TColorRef CLR_NONE = -1;

constexpr TColorRef MakeColorRef(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<TColorRef>(uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16));
}
constexpr uint8_t ColorRefR(TColorRef c) { return uint8_t(uint32_t(c) & 0xFF); }
constexpr uint8_t ColorRefG(TColorRef c) { return uint8_t((uint32_t(c) >> 8) & 0xFF); }
constexpr uint8_t ColorRefB(TColorRef c) { return uint8_t((uint32_t(c) >> 16) & 0xFF); }
// The 32-bit pixel of our surfaces is 0xAARRGGBB in memory order B, G, R, A.
constexpr uint32_t ColorRefToPixel(TColorRef c) {
  return 0xFF000000u | (uint32_t(ColorRefR(c)) << 16) | (uint32_t(ColorRefG(c)) << 8) | ColorRefB(c);
}
constexpr TColorRef PixelToColorRef(uint32_t p) {
  return MakeColorRef(uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p));
}

// Every failure of the system. The message is CP932 text, shown to users as it stands.
class EKest : public std::runtime_error {
 public:
  explicit EKest(const std::string& cp932Message) : std::runtime_error(cp932Message) {}
  const std::string& Message() const { return msg_ = what(), msg_; }

 private:
  mutable std::string msg_;
};

// A record read from a title, a save or a table is damaged or truncated.
class EKestBadData : public EKest {
 public:
  using EKest::EKest;
};

}  // namespace kest
