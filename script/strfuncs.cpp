#include "script/strfuncs.h"

#include <algorithm>
#include <cstdio>

#include "common/sjis.h"
#include "common/types.h"

namespace kest::strfn {

namespace {
// Byte offset of character `index` (0-based) and the offset after the last character.
std::vector<size_t> CharStarts(std::string_view s) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < s.size(); i = NextChar(s, i)) starts.push_back(i);
  starts.push_back(s.size());
  return starts;
}
// A range [index, index + count) of 1-based positions, clipped to [1, n].
void ClipRange(int64_t n, int64_t index, int64_t count, int64_t& from, int64_t& to) {
  if (index < 1) index = 1;
  if (count < 0) count = 0;
  from = std::min(index - 1, n);
  to = count > n - from ? n : from + count;
}
bool IsTrailAt(std::string_view s, size_t i) {
  // i is a trail byte when the character containing it starts before it.
  size_t p = 0;
  while (p < s.size()) {
    const size_t q = NextChar(s, p);
    if (i < q) return p != i;
    p = q;
  }
  return false;
}
// Position of the last single-byte character of `set`, or npos.
size_t LastDelimiter(std::string_view s, std::string_view set) {
  size_t last = std::string_view::npos;
  for (size_t i = 0; i < s.size(); i = NextChar(s, i))
    if (CharLen(s, i) == 1 && set.find(s[i]) != std::string_view::npos) last = i;
  return last;
}
}  // namespace

std::string IntToStr(int32_t value) { return std::to_string(value); }

std::string IntToStr(int32_t value, int32_t digits) {
  digits = std::clamp(digits, 0, kMaxDigits);
  const bool neg = value < 0;
  std::string d = std::to_string(neg ? -int64_t(value) : int64_t(value));
  if (int32_t(d.size()) < digits) d.insert(0, size_t(digits) - d.size(), '0');
  return neg ? "-" + d : d;
}

std::string IntToHex(int32_t value, int32_t digits) {
  digits = std::clamp(digits, 0, kMaxDigits);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%X", unsigned(uint32_t(value)));
  std::string d = buf;
  if (int32_t(d.size()) < digits) d.insert(0, size_t(digits) - d.size(), '0');
  return d;
}

int32_t JLength(std::string_view s) {
  int32_t n = 0;
  for (size_t i = 0; i < s.size(); i += IsLeadByte(s[i]) ? 2 : 1) ++n;
  return n;
}

std::string Copy(std::string_view s, int64_t index, int64_t count) {
  int64_t from, to;
  ClipRange(int64_t(s.size()), index, count, from, to);
  return std::string(s.substr(size_t(from), size_t(to - from)));
}

std::string JCopy(std::string_view s, int64_t index, int64_t count) {
  const std::vector<size_t> st = CharStarts(s);
  int64_t from, to;
  ClipRange(int64_t(st.size()) - 1, index, count, from, to);
  return std::string(s.substr(st[size_t(from)], st[size_t(to)] - st[size_t(from)]));
}

std::string Delete(std::string_view s, int64_t index, int64_t count) {
  const int64_t n = int64_t(s.size());
  if (index < 1 || index > n || count <= 0) return std::string(s);
  const int64_t from = index - 1;
  const int64_t to = count > n - from ? n : from + count;
  std::string r(s.substr(0, size_t(from)));
  r.append(s.substr(size_t(to)));
  return r;
}

std::string JDelete(std::string_view s, int64_t index, int64_t count) {
  const std::vector<size_t> st = CharStarts(s);
  const int64_t n = int64_t(st.size()) - 1;
  if (index < 1 || index > n || count <= 0) return std::string(s);
  const int64_t from = index - 1;
  const int64_t to = count > n - from ? n : from + count;
  std::string r(s.substr(0, st[size_t(from)]));
  r.append(s.substr(st[size_t(to)]));
  return r;
}

std::string Insert(std::string_view sub, std::string_view s, int64_t index) {
  const int64_t n = int64_t(s.size());
  const int64_t at = std::clamp<int64_t>(index - 1, 0, n);
  std::string r(s.substr(0, size_t(at)));
  r.append(sub);
  r.append(s.substr(size_t(at)));
  return r;
}

std::string JInsert(std::string_view sub, std::string_view s, int64_t index) {
  const std::vector<size_t> st = CharStarts(s);
  const int64_t n = int64_t(st.size()) - 1;
  const size_t at = st[size_t(std::clamp<int64_t>(index - 1, 0, n))];
  std::string r(s.substr(0, at));
  r.append(sub);
  r.append(s.substr(at));
  return r;
}

int32_t CompareStr(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int d = int(static_cast<unsigned char>(a[i])) - int(static_cast<unsigned char>(b[i]));
    if (d) return d;
  }
  const int64_t d = int64_t(a.size()) - int64_t(b.size());
  return d > INT32_MAX ? INT32_MAX : d < INT32_MIN ? INT32_MIN : int32_t(d);
}

int32_t Pos(std::string_view sub, std::string_view s) {
  if (sub.empty()) return 0;
  const size_t p = s.find(sub);
  return p == std::string_view::npos ? 0 : int32_t(p + 1);
}

int32_t JPos(std::string_view sub, std::string_view s) {
  if (sub.empty()) return 0;
  int32_t ch = 1;
  for (size_t i = 0; i < s.size(); i = NextChar(s, i), ++ch)
    if (s.substr(i, sub.size()) == sub) return ch;
  return 0;
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  return std::string(s.substr(b, e - b));
}

std::string JTrim(std::string_view s) {
  // Walk characters so a trail byte 0x40 after 0x81 is told from a full-width space.
  const std::vector<size_t> st = CharStarts(s);
  auto isSpace = [&](size_t k) {
    const std::string_view c = s.substr(st[k], st[k + 1] - st[k]);
    return c == " " || c == "\x81\x40";
  };
  size_t b = 0, e = st.size() - 1;
  while (b < e && isSpace(b)) ++b;
  while (e > b && isSpace(e - 1)) --e;
  return std::string(s.substr(st[b], st[e] - st[b]));
}

std::string FixStr(std::string_view s) {
  if (s.size() < 2) return std::string(s);
  size_t last = 0;
  for (size_t i = 0; i < s.size(); i = NextChar(s, i)) last = i;
  if (last == s.size() - 1 && IsLeadByte(s[last])) return std::string(s.substr(0, last));
  return std::string(s);
}

std::string ExtractFilePath(std::string_view name) {
  const size_t p = LastDelimiter(name, "\\:");
  return p == std::string_view::npos ? std::string() : std::string(name.substr(0, p + 1));
}

std::string ExtractFileName(std::string_view name) {
  const size_t p = LastDelimiter(name, "\\:");
  return std::string(p == std::string_view::npos ? name : name.substr(p + 1));
}

std::string ExtractFileExt(std::string_view name) {
  const size_t p = LastDelimiter(name, ".\\:");
  if (p == std::string_view::npos || name[p] != '.') return std::string();
  return std::string(name.substr(p));
}

std::string ChangeFileExt(std::string_view name, std::string_view ext) {
  const size_t p = LastDelimiter(name, ".\\:");
  const size_t cut = (p == std::string_view::npos || name[p] != '.') ? name.size() : p;
  std::string r(name.substr(0, cut));
  r.append(ext);
  return r;
}

bool IsPathDelimiter(std::string_view s, int64_t index) { return IsDelimiter("\\", s, index); }

bool IsDelimiter(std::string_view delimiters, std::string_view s, int64_t index) {
  if (index < 1 || index > int64_t(s.size())) return false;
  const size_t i = size_t(index - 1);
  if (IsTrailAt(s, i) || CharLen(s, i) != 1) return false;
  return delimiters.find(s[i]) != std::string_view::npos;
}

std::string AddBackSlash(std::string_view s) {
  if (!s.empty() && IsPathDelimiter(s, int64_t(s.size()))) return std::string(s);
  std::string r(s);
  r += '\\';
  return r;
}

std::string StringOfChar(std::string_view s, int64_t n) {
  if (n <= 0 || s.empty()) return std::string();
  if (n > kMaxBuiltText / int64_t(s.size()))
    // "StringOfChar:文字列が長すぎます" (the text is too long)
    throw EKest("StringOfChar:\x95\xB6\x8E\x9A\x97\xF1\x82\xAA\x92\xB7\x82\xB7\x82\xAC\x82\xDC\x82\xB7");
  std::string r;
  r.reserve(size_t(n) * s.size());
  for (int64_t i = 0; i < n; ++i) r.append(s);
  return r;
}

std::string StringReplace(std::string_view s, std::string_view from, std::string_view to, bool all, bool ignoreCase) {
  if (from.empty()) return std::string(s);
  const std::string hay = ignoreCase ? FoldCase(s) : std::string(s);
  const std::string pat = ignoreCase ? FoldCase(from) : std::string(from);
  std::string r;
  size_t i = 0;
  bool replaced = false;
  while (i < s.size()) {
    if ((!replaced || all) && hay.compare(i, pat.size(), pat) == 0) {
      r.append(to);
      i += pat.size();
      replaced = true;
      continue;
    }
    const size_t l = CharLen(s, i);
    r.append(s.substr(i, l));
    i += l;
  }
  return r;
}

std::vector<std::string> SplitLines(std::string_view s) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' || s[i] == '\n') {
      lines.emplace_back(s.substr(start, i - start));
      if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < s.size()) lines.emplace_back(s.substr(start));
  return lines;
}

std::vector<std::string> SplitPieces(std::string_view s, std::string_view delimiters) {
  if (delimiters == "\r\n") return SplitLines(s);
  // The delimiters are characters: a double-byte delimiter matches only that whole
  // character, never the lead byte of another.
  std::vector<std::string_view> delims;
  for (size_t i = 0; i < delimiters.size(); i = NextChar(delimiters, i))
    delims.push_back(delimiters.substr(i, CharLen(delimiters, i)));
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start < s.size()) {
    size_t end = std::string_view::npos, len = 0;
    for (size_t i = start; i < s.size() && end == std::string_view::npos; i = NextChar(s, i)) {
      const std::string_view c = s.substr(i, CharLen(s, i));
      if (std::find(delims.begin(), delims.end(), c) != delims.end()) {
        end = i;
        len = c.size();
      }
    }
    if (end == std::string_view::npos) {
      pieces.emplace_back(s.substr(start));
      break;
    }
    pieces.emplace_back(s.substr(start, end - start));
    start = end + len;
  }
  return pieces;
}

}  // namespace kest::strfn
