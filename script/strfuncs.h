// The text operations behind the string functions of scripts. Positions are 1-based;
// the J operations count characters (a lead byte and the byte after it are one
// character, also when the lead byte is the last byte), the others bytes.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kest::strfn {

// Padding digits are clamped to this many (far above any use).
inline constexpr int32_t kMaxDigits = 255;
// A text built by repetition may not grow beyond this many bytes.
inline constexpr int64_t kMaxBuiltText = int64_t(16) << 20;

std::string IntToStr(int32_t value);
// Zero-padded to at least `digits` digits (the sign not counted), as "%.<digits>d".
std::string IntToStr(int32_t value, int32_t digits);
// Upper-case hexadecimal of the 32-bit value, zero-padded to at least `digits` digits.
std::string IntToHex(int32_t value, int32_t digits);

// Characters of s.
int32_t JLength(std::string_view s);

std::string Copy(std::string_view s, int64_t index, int64_t count);
std::string JCopy(std::string_view s, int64_t index, int64_t count);
// Without a count: to the end. An index outside the text removes nothing.
std::string Delete(std::string_view s, int64_t index, int64_t count);
std::string JDelete(std::string_view s, int64_t index, int64_t count);
// An index below 1 counts as 1, one past the end appends.
std::string Insert(std::string_view sub, std::string_view s, int64_t index);
std::string JInsert(std::string_view sub, std::string_view s, int64_t index);
constexpr int64_t kToEnd = INT64_MAX;

// 0 when equal, else the difference of the first differing bytes, or of the lengths.
int32_t CompareStr(std::string_view a, std::string_view b);
// Byte position of the first occurrence, 0 if none (or sub is empty).
int32_t Pos(std::string_view sub, std::string_view s);
// Character position of the first occurrence that begins on a character boundary.
int32_t JPos(std::string_view sub, std::string_view s);

std::string Trim(std::string_view s);   // bytes 0x00..0x20 at both ends
std::string JTrim(std::string_view s);  // half-width and full-width spaces at both ends
// Removes a lone lead byte at the end of a text of at least two bytes.
std::string FixStr(std::string_view s);

// File names with "\" separators (and ":" after a drive letter), double-byte aware.
std::string ExtractFilePath(std::string_view name);
std::string ExtractFileName(std::string_view name);
std::string ExtractFileExt(std::string_view name);
std::string ChangeFileExt(std::string_view name, std::string_view ext);
// Whether byte `index` (1-based) is a single-byte "\" / a single-byte character of `delimiters`.
bool IsPathDelimiter(std::string_view s, int64_t index);
bool IsDelimiter(std::string_view delimiters, std::string_view s, int64_t index);
std::string AddBackSlash(std::string_view s);

// s repeated n times; raises EKest when the result would exceed kMaxBuiltText.
std::string StringOfChar(std::string_view s, int64_t n);
// Occurrences are found on character boundaries only; an empty pattern changes nothing.
std::string StringReplace(std::string_view s, std::string_view from, std::string_view to, bool all, bool ignoreCase);

// The pieces of StringToArray: with the delimiters exactly CR LF, lines split at CR, LF
// or CR LF (no empty last line for a break at the end); otherwise pieces end at any
// character of `delimiters` (a double-byte delimiter matches only the whole character),
// and a delimiter at the end adds no empty piece.
std::vector<std::string> SplitPieces(std::string_view s, std::string_view delimiters);
// Lines at CR, LF or CR LF.
std::vector<std::string> SplitLines(std::string_view s);

}  // namespace kest::strfn
