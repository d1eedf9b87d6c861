// The 10-byte extended real of records: 64-bit mantissa with an explicit integer bit,
// then 15-bit exponent (bias 16383) and sign, little-endian.
#pragma once
#include <array>
#include <cstdint>

#include "common/types.h"

namespace kest {

using Real10Bytes = std::array<uint8_t, 10>;

// Encode and decode. On machines whose long double is the 80-bit format these are exact
// (every value, signed zeros, denormals, infinities, NaN payloads); elsewhere the portable
// path rounds to the nearest value long double can hold.
Real10Bytes EncodeReal10(Float value);
Float DecodeReal10(const uint8_t* bytes);

// The portable path, used where long double is not the 80-bit format; kept callable on
// every machine so tests can compare it with the fast path.
Real10Bytes EncodeReal10Portable(Float value);
Float DecodeReal10Portable(const uint8_t* bytes);

}  // namespace kest
