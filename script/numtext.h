// The text forms of numbers and flags shared by everything that shows a value as text or
// reads one from text: variables, expressions, tables, the typesetter.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/types.h"

namespace kest {

// Decimal text of an integer ("-12").
std::string IntToText(int32_t value);

// The general float text: the value rounded to 15 significant digits, trailing zeros
// dropped. Fixed notation while the decimal exponent e (value = 0.d1d2... x 10^e) lies in
// -3 <= e <= 15, else scientific: the digits with a point after the first, "E", a minus
// sign for negative exponents and no leading zeros ("1E20", "1E-5", "1.5E-7").
// Examples: 1/3 -> "0.333333333333333", 0.1 -> "0.1", 100.0 -> "100", 0.0001 -> "0.0001".
// Zero (of either sign) is "0"; infinities are "INF" and "-INF"; NaN is "NAN".
std::string FloatToText(Float value);

// Flags as text are "TRUE" and "FALSE"; only the exact text "TRUE" reads as true.
inline const char* BoolToText(bool value) { return value ? "TRUE" : "FALSE"; }
inline bool TextToBool(std::string_view text) { return text == "TRUE"; }

// The integer parse: leading blanks, an optional sign, then decimal digits, or hexadecimal
// digits after "$", "0x" or "0X"; nothing may follow. Decimal values must fit 32 bits;
// hexadecimal ones may use all 32 bits ("$FFFFFFFF" is -1).
std::optional<int32_t> ParseInt(std::string_view text);
// The float parse: blanks around, an optional sign, decimal digits with an optional "."
// (at least one digit), an optional exponent "E" or "e" with optional sign and digits.
// The point is always "." whatever the locale; no hexadecimal, no "INF" or "NAN"; a value
// beyond the float range fails.
std::optional<Float> ParseFloat(std::string_view text);
// The same with the fallback of the value kinds: 0 and 0.0 when the text does not parse.
inline int32_t TextToInt(std::string_view text) { return ParseInt(text).value_or(0); }
inline Float TextToFloat(std::string_view text) { return ParseFloat(text).value_or(0.0L); }

// A float stored into an integer: truncated toward zero and kept modulo 2^32 (the low
// 32 bits of the 64-bit truncation); NaN and values beyond the 64-bit range give 0.
int32_t FloatToInt(Float value);

}  // namespace kest
