// The record primitives every stored format of the player is built from; integers are
// little-endian. Every read raises EReadError when the stream ends before the value does.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/types.h"
#include "vfs/streams.h"

namespace kest {

// A list of strings stored as int32 count, then count strings.
using TArrayString = std::vector<std::string>;

// string: int32 byte count n, then n bytes (CP932, no terminator). n <= 0 reads as the
// empty string and nothing more is read; a count larger than what remains in the stream
// raises EReadError before anything is allocated. The empty string is written as n = 0.
void WriteString(TStream& s, const std::string& value);
std::string ReadString(TStream& s);

void WriteInt(TStream& s, int32_t value);
int32_t ReadInt(TStream& s);
void WriteUInt(TStream& s, uint32_t value);
uint32_t ReadUInt(TStream& s);
void WriteInt64(TStream& s, int64_t value);
int64_t ReadInt64(TStream& s);
void WriteInt16(TStream& s, int16_t value);
int16_t ReadInt16(TStream& s);

// byte and bool: one byte; any non-zero byte reads as true, true is written as 1.
void WriteByte(TStream& s, uint8_t value);
uint8_t ReadByte(TStream& s);
void WriteBool(TStream& s, bool value);
bool ReadBool(TStream& s);

// real: the 10-byte extended format.
void WriteReal(TStream& s, Float value);
Float ReadReal(TStream& s);

// string array: int32 count, then count strings. A negative count reads as an empty
// array; a count larger than the stream could hold (4 bytes a string) raises EReadError.
void WriteArrayString(TStream& s, const TArrayString& value);
TArrayString ReadArrayString(TStream& s);

// Little-endian helpers over raw bytes, for parsers that work on memory.
inline uint32_t GetU32LE(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int32_t GetI32LE(const uint8_t* p) { return int32_t(GetU32LE(p)); }
inline uint64_t GetU64LE(const uint8_t* p) { return uint64_t(GetU32LE(p)) | (uint64_t(GetU32LE(p + 4)) << 32); }
inline int64_t GetI64LE(const uint8_t* p) { return int64_t(GetU64LE(p)); }
inline void PutU32LE(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
inline void PutU64LE(uint8_t* p, uint64_t v) {
  PutU32LE(p, uint32_t(v));
  PutU32LE(p + 4, uint32_t(v >> 32));
}

}  // namespace kest
