#include "vfs/records.h"

#include "common/real10.h"

namespace kest {

void WriteString(TStream& s, const std::string& value) {
  WriteInt(s, int32_t(value.size()));
  s.WriteBuffer(value.data(), int64_t(value.size()));
}

std::string ReadString(TStream& s) {
  const int32_t n = ReadInt(s);
  if (n <= 0) return std::string();
  if (int64_t(n) > s.Remaining()) throw EReadError();
  std::string out(size_t(n), '\0');
  s.ReadBuffer(out.data(), n);
  return out;
}

void WriteUInt(TStream& s, uint32_t value) {
  uint8_t b[4];
  PutU32LE(b, value);
  s.WriteBuffer(b, 4);
}

uint32_t ReadUInt(TStream& s) {
  uint8_t b[4];
  s.ReadBuffer(b, 4);
  return GetU32LE(b);
}

void WriteInt(TStream& s, int32_t value) { WriteUInt(s, uint32_t(value)); }
int32_t ReadInt(TStream& s) { return int32_t(ReadUInt(s)); }

void WriteInt64(TStream& s, int64_t value) {
  uint8_t b[8];
  PutU64LE(b, uint64_t(value));
  s.WriteBuffer(b, 8);
}

int64_t ReadInt64(TStream& s) {
  uint8_t b[8];
  s.ReadBuffer(b, 8);
  return GetI64LE(b);
}

void WriteInt16(TStream& s, int16_t value) {
  const uint8_t b[2] = {uint8_t(uint16_t(value)), uint8_t(uint16_t(value) >> 8)};
  s.WriteBuffer(b, 2);
}

int16_t ReadInt16(TStream& s) {
  uint8_t b[2];
  s.ReadBuffer(b, 2);
  return int16_t(uint16_t(b[0] | (b[1] << 8)));
}

void WriteByte(TStream& s, uint8_t value) { s.WriteBuffer(&value, 1); }

uint8_t ReadByte(TStream& s) {
  uint8_t b;
  s.ReadBuffer(&b, 1);
  return b;
}

void WriteBool(TStream& s, bool value) { WriteByte(s, value ? 1 : 0); }
bool ReadBool(TStream& s) { return ReadByte(s) != 0; }

void WriteReal(TStream& s, Float value) {
  const Real10Bytes b = EncodeReal10(value);
  s.WriteBuffer(b.data(), 10);
}

Float ReadReal(TStream& s) {
  uint8_t b[10];
  s.ReadBuffer(b, 10);
  return DecodeReal10(b);
}

void WriteArrayString(TStream& s, const TArrayString& value) {
  WriteInt(s, int32_t(value.size()));
  for (const std::string& v : value) WriteString(s, v);
}

TArrayString ReadArrayString(TStream& s) {
  const int32_t n = ReadInt(s);
  TArrayString out;
  if (n <= 0) return out;
  if (int64_t(n) > s.Remaining() / 4) throw EReadError();
  out.reserve(size_t(n));
  for (int32_t i = 0; i < n; ++i) out.push_back(ReadString(s));
  return out;
}

}  // namespace kest
