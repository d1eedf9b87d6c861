#include "platform/registry.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/user_folders.h"

namespace kest {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendHex(std::string& out, unsigned char c) {
  static const char* const kHex = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

// One field in UTF-8 with escapes. Characters that do not survive the trip to UTF-8 and
// back are written as \xHH bytes; so are blanks at either end, "=" in names, and a leading
// ";", "#" or "[" that a reader would take for a comment or a section.
std::string EscapeField(std::string_view cp932, bool isName) {
  std::string out;
  for (size_t i = 0; i < cp932.size();) {
    const size_t n = CharLen(cp932, i);
    const std::string_view ch = cp932.substr(i, n);
    const unsigned char c = static_cast<unsigned char>(ch[0]);
    const bool edge = i == 0 || i + n == cp932.size();
    if (n == 1 && c < 0x80) {
      if (c == '\\') out += "\\\\";
      else if (c == '\n') out += "\\n";
      else if (c == '\r') out += "\\r";
      else if (c == '\t') out += "\\t";
      else if (c < 0x20 || c == 0x7F || (isName && c == '=') || (edge && c == ' ') ||
               (i == 0 && (c == ';' || c == '#' || c == '[')))
        AppendHex(out, c);
      else out += char(c);
    } else {
      const std::string u = Cp932ToUtf8(ch);
      if (Utf8ToCp932(u) == ch && u.find("\xEF\xBF\xBD") == std::string::npos) out += u;
      else
        for (unsigned char b : ch) AppendHex(out, b);
    }
    i += n;
  }
  return out;
}

// Undoes EscapeField: UTF-8 runs go back to CP932, escapes give their bytes.
std::string UnescapeField(std::string_view s) {
  std::string out, run;
  auto flush = [&] {
    if (!run.empty()) out += Utf8ToCp932(run);
    run.clear();
  };
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char e = s[i + 1];
      if (e == 'x' && i + 3 < s.size() && HexDigit(s[i + 2]) >= 0 && HexDigit(s[i + 3]) >= 0) {
        flush();
        out += char(HexDigit(s[i + 2]) * 16 + HexDigit(s[i + 3]));
        i += 3;
        continue;
      }
      const char* simple = e == '\\' ? "\\" : e == 'n' ? "\n" : e == 'r' ? "\r" : e == 't' ? "\t" : nullptr;
      if (simple) {
        flush();
        out += simple;
        ++i;
        continue;
      }
    }
    run += s[i];
  }
  flush();
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string FormatRegistryIni(std::string_view key, const TRegistryValues& values) {
  std::string out = "; HKEY_CURRENT_USER\\Software\\" + EscapeField(key, false) + "\n[Values]\n";
  for (const auto& [name, value] : values) out += EscapeField(name, true) + "=" + EscapeField(value, false) + "\n";
  return out;
}

TRegistryValues ParseRegistryIni(std::string_view text) {
  TRegistryValues out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#' || line[0] == '[') continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string name = UnescapeField(Trim(line.substr(0, eq)));
    if (name.empty()) continue;
    out[name] = UnescapeField(Trim(line.substr(eq + 1)));
  }
  return out;
}

std::string RegistryFileName(std::string_view key) {
  std::string folded = FoldCase(key);
  // "\" is a separator only outside double-byte pairs.
  std::string sep;
  for (size_t i = 0; i < folded.size();) {
    const size_t n = CharLen(folded, i);
    if (n == 1 && folded[i] == '\\') sep += '-';
    else sep.append(folded, i, n);
    i += n;
  }
  std::string u = Cp932ToUtf8(sep);
  for (char& c : u)
    if (c == '/' || (unsigned char)c < 0x20 || c == 0x7F) c = '-';
  if (u.size() > 200) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : sep) h = (h ^ c) * 1099511628211ull;
    size_t cut = 160;
    while (cut > 0 && (static_cast<unsigned char>(u[cut]) & 0xC0) == 0x80) --cut;
    char buf[24];
    std::snprintf(buf, sizeof buf, "~%016llx", static_cast<unsigned long long>(h));
    u = u.substr(0, cut) + buf;
  }
  if (u.empty() || u[0] == '.') u = "_" + u;
  return u + ".ini";
}

TRegistryValues TIniRegistryStore::Load(std::string_view key) const {
  std::ifstream in(PathOf(key), std::ios::binary);
  if (!in) return {};
  std::ostringstream s;
  s << in.rdbuf();
  return ParseRegistryIni(s.str());
}

bool TIniRegistryStore::Store(std::string_view key, const TRegistryValues& values) const {
  if (!MakeFolders(folder_)) return false;
  // Never in place: a temporary file beside it, flushed, then renamed over the old one.
  const std::string path = PathOf(key);
  const std::string tmp = path + ".tmp" + std::to_string(getpid());
  const std::string text = FormatRegistryIni(key, values);
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (ok && done < text.size()) {
    const ssize_t w = write(fd, text.data() + done, text.size() - done);
    if (w > 0) done += size_t(w);
    else ok = false;
  }
  ok = ok && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  if (ok && rename(tmp.c_str(), path.c_str()) == 0) return true;
  unlink(tmp.c_str());
  return false;
}

std::optional<std::string> TIniRegistryStore::ReadString(std::string_view key, std::string_view name) {
  const TRegistryValues v = Load(key);
  const auto it = v.find(name);
  if (it == v.end()) return std::nullopt;
  return it->second;
}

bool TIniRegistryStore::WriteString(std::string_view key, std::string_view name, std::string_view value) {
  if (name.empty()) return false;
  TRegistryValues v = Load(key);
  v.erase(std::string(name));  // a stored spelling of another case gives way to this one
  v[std::string(name)] = std::string(value);
  return Store(key, v);
}

bool TIniRegistryStore::DeleteValue(std::string_view key, std::string_view name) {
  TRegistryValues v = Load(key);
  if (!v.erase(std::string(name))) return false;
  return Store(key, v);
}

}  // namespace kest
