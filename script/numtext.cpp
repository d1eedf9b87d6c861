#include "script/numtext.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/numeric.h"

namespace kest {

std::string IntToText(int32_t value) { return std::to_string(value); }

std::string FloatToText(Float value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  // 15 significant digits, correctly rounded: "d.dddddddddddddde[+-]x".
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14Le", value);
  std::string_view s(buf);
  std::string out;
  size_t p = 0;
  if (s[p] == '-') {
    out += '-';
    ++p;
  }
  std::string digits;
  for (; p < s.size() && s[p] != 'e'; ++p)
    if (s[p] != '.') digits += s[p];
  const int exp10 = std::atoi(buf + p + 1);  // value = d.ddd x 10^exp10
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int e = exp10 + 1;  // value = 0.ddd x 10^e
  if (e >= -3 && e <= 15) {
    if (e <= 0) {
      out += "0.";
      out.append(size_t(-e), '0');
      out += digits;
    } else if (digits.size() <= size_t(e)) {
      out += digits;
      out.append(size_t(e) - digits.size(), '0');
    } else {
      out.append(digits, 0, size_t(e));
      out += '.';
      out.append(digits, size_t(e), std::string::npos);
    }
  } else {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1, std::string::npos);
    }
    out += 'E';
    out += std::to_string(exp10);
  }
  return out;
}

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
// For a checked float text with a non-zero digit: the power of ten just above its value
// (1 for "0.5", 3 for "123", -1 for "0.05"), the exponent saturated.
int64_t DecimalMagnitude(std::string_view body) {
  size_t p = 0, intDigits = 0;
  while (p < body.size() && body[p] >= '0' && body[p] <= '9') ++p, ++intDigits;
  int64_t mag = 0;
  bool found = false;
  for (size_t i = 0; i < intDigits && !found; ++i)
    if (body[i] != '0') mag = int64_t(intDigits - i), found = true;
  if (p < body.size() && body[p] == '.') {
    ++p;
    for (size_t j = 0; p < body.size() && body[p] >= '0' && body[p] <= '9'; ++p, ++j)
      if (!found && body[p] != '0') mag = -int64_t(j), found = true;
  }
  if (p < body.size() && (body[p] == 'e' || body[p] == 'E')) {
    ++p;
    bool neg = false;
    if (p < body.size() && (body[p] == '+' || body[p] == '-')) neg = body[p++] == '-';
    int64_t x = 0;
    for (; p < body.size(); ++p) x = x < 1000000000 ? x * 10 + (body[p] - '0') : x;
    mag += neg ? -x : x;
  }
  return mag;
}

}  // namespace

std::optional<int32_t> ParseInt(std::string_view s) {
  size_t p = 0;
  while (p < s.size() && s[p] == ' ') ++p;
  bool negative = false;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
  if (p >= s.size()) return std::nullopt;
  bool hex = false;
  if (s[p] == '$') {
    hex = true;
    ++p;
  } else if (s[p] == '0' && p + 1 < s.size() && (s[p + 1] == 'x' || s[p + 1] == 'X')) {
    hex = true;
    p += 2;
  }
  if (p >= s.size()) return std::nullopt;
  uint64_t v = 0;
  for (; p < s.size(); ++p) {
    const int d = hex ? HexDigit(s[p]) : (s[p] >= '0' && s[p] <= '9' ? s[p] - '0' : -1);
    if (d < 0) return std::nullopt;
    v = v * (hex ? 16 : 10) + uint64_t(d);
    if (v > 0xFFFFFFFFull) return std::nullopt;
  }
  if (hex) {
    const uint32_t u = uint32_t(v);
    return int32_t(negative ? 0u - u : u);
  }
  if (negative) {
    if (v > 0x80000000ull) return std::nullopt;
    return int32_t(0u - uint32_t(v));
  }
  if (v > 0x7FFFFFFFull) return std::nullopt;
  return int32_t(v);
}

std::optional<Float> ParseFloat(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  s = s.substr(b, e - b);
  size_t p = 0;
  bool negative = false;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
  const size_t start = p;
  size_t digits = 0;
  while (p < s.size() && s[p] >= '0' && s[p] <= '9') ++p, ++digits;
  if (p < s.size() && s[p] == '.') {
    ++p;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9') ++p, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
    ++p;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
    size_t expDigits = 0;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9') ++p, ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (p != s.size()) return std::nullopt;
  // The text is checked; strtold reads it without a locale's decimal point getting in
  // the way because the checked text contains only ASCII digits, ".", "e" and signs.
  std::string body(s.substr(start));
  Float v = 0;
  const auto r = std::from_chars(body.data(), body.data() + body.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    // Underflow reads as zero, overflow fails: the decimal magnitude tells them apart.
    if (DecimalMagnitude(body) > 0) return std::nullopt;
    v = 0;
  } else if (r.ec != std::errc() || r.ptr != body.data() + body.size() || !std::isfinite(v)) {
    return std::nullopt;
  }
  return negative ? -v : v;
}

int32_t FloatToInt(Float value) { return TruncToInt32(value, 0); }

}  // namespace kest
