#include "common/sjis.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace kest {

size_t CharCount(std::string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); i = NextChar(s, i)) ++n;
  return n;
}

bool IsCharStart(std::string_view s, size_t i) {
  size_t p = 0;
  while (p < i && p < s.size()) p = NextChar(s, p);
  return p == i;
}

size_t FindByte(std::string_view s, char delimiter, size_t from) {
  for (size_t i = 0; i < s.size(); i = NextChar(s, i)) {
    if (i >= from && s[i] == delimiter) return i;
  }
  return std::string_view::npos;
}

std::string FoldCase(std::string_view s) {
  std::string r(s);
  for (size_t i = 0; i < r.size();) {
    const unsigned char c = static_cast<unsigned char>(r[i]);
    if (i + 1 < r.size() && IsLeadByte(c)) {
      i += 2;
      continue;
    }
    if (c >= 'A' && c <= 'Z') r[i] = char(c + ('a' - 'A'));
    ++i;
  }
  return r;
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (size_t i = 0; i < r.size();) {
    const unsigned char c = static_cast<unsigned char>(r[i]);
    if (i + 1 < r.size() && IsLeadByte(c)) {
      i += 2;
      continue;
    }
    if (c >= 'a' && c <= 'z') r[i] = char(c - ('a' - 'A'));
    ++i;
  }
  return r;
}

namespace {
// Byte order of the folded forms, without building them. Folding never changes a lead
// byte, so a byte is folded exactly when it is A-Z and not the trail byte of a pair.
int CompareFolded(std::string_view a, std::string_view b) {
  bool trailA = false, trailB = false;
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    const bool leadA = !trailA && IsLeadByte(ca);
    const bool leadB = !trailB && IsLeadByte(cb);
    if (!trailA && ca >= 'A' && ca <= 'Z') ca = ca + ('a' - 'A');
    if (!trailB && cb >= 'A' && cb <= 'Z') cb = cb + ('a' - 'A');
    if (ca != cb) return ca < cb ? -1 : 1;
    trailA = leadA;
    trailB = leadB;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}
}  // namespace

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareFolded(a, b) == 0;
}

int CompareText(std::string_view a, std::string_view b) { return CompareFolded(a, b); }

uint64_t HashNoCase(std::string_view s) {
  // FNV-1a over the folded bytes.
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < s.size();) {
    const size_t l = CharLen(s, i);
    for (size_t k = 0; k < l; ++k) {
      unsigned char c = static_cast<unsigned char>(s[i + k]);
      if (l == 1 && c >= 'A' && c <= 'Z') c = c + ('a' - 'A');
      h = (h ^ c) * 1099511628211ull;
    }
    i += l;
  }
  return h;
}

namespace {
struct IconvHandle {
  iconv_t cd;
  IconvHandle(const char* to, const char* from) : cd(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
};

std::string Convert(iconv_t cd, std::string_view in, std::string_view replacement, bool fromSjis) {
  std::string out;
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // No converter on this machine: pass ASCII through, replace the rest.
    for (unsigned char c : in) out += c < 0x80 ? std::string(1, char(c)) : std::string(replacement);
    return out;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.reserve(in.size() * 3 / 2 + 8);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char buf[1024];
  while (srcLeft > 0) {
    char* dst = buf;
    size_t dstLeft = sizeof buf;
    const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf, size_t(dst - buf));
    if (r == size_t(-1)) {
      if (errno == E2BIG) continue;
      // Invalid or incomplete input: replace one character and go on.
      out.append(replacement);
      size_t skip = 1;
      if (fromSjis) {
        if (srcLeft >= 2 && IsLeadByte(static_cast<unsigned char>(*src))) skip = 2;
      } else {
        // Skip one UTF-8 sequence.
        const unsigned char c = static_cast<unsigned char>(*src);
        skip = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        size_t k = 1;
        while (k < skip && k < srcLeft && (static_cast<unsigned char>(src[k]) & 0xC0) == 0x80) ++k;
        skip = k;
      }
      if (skip > srcLeft) skip = srcLeft;
      src += skip;
      srcLeft -= skip;
    }
  }
  return out;
}
}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
  bool ascii = true;
  for (unsigned char c : cp932) ascii &= c < 0x80;
  if (ascii) return std::string(cp932);
  thread_local IconvHandle h("UTF-8", "CP932");
  return Convert(h.cd, cp932, "\xEF\xBF\xBD", true);
}

std::string Utf8ToCp932(std::string_view utf8) {
  bool ascii = true;
  for (unsigned char c : utf8) ascii &= c < 0x80;
  if (ascii) return std::string(utf8);
  thread_local IconvHandle h("CP932", "UTF-8");
  return Convert(h.cd, utf8, "?", false);
}

}  // namespace kest
