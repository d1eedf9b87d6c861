#include "engine/pagetext.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>

#include "common/sjis.h"
#include "script/sysfuncs.h"
#include "vfs/streams.h"

namespace kest {

namespace {

const char kHex[] = "0123456789abcdef";

std::string HexOf(const uint8_t* p, size_t n) {
  std::string s;
  s.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    s += kHex[p[i] >> 4];
    s += kHex[p[i] & 15];
  }
  return s;
}

// A CP932 string as a quoted UTF-8 literal; bytes that do not convert both ways are \xHH.
std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
      ++i;
      continue;
    }
    if (c >= 0x20 && c < 0x7F) {
      out += char(c);
      ++i;
      continue;
    }
    if (IsLeadByte(c) && i + 1 < s.size()) {
      std::string pair = s.substr(i, 2);
      std::string u = Cp932ToUtf8(pair);
      if (!u.empty() && Utf8ToCp932(u) == pair && static_cast<unsigned char>(u[0]) >= 0x80) {
        out += u;
        i += 2;
        continue;
      }
    }
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
    ++i;
  }
  return out + "\"";
}


bool IsNameByte(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// A statement from the record listing ("____0 = 1 + 2", "a = ____0"): the temporaries are
// replaced by the texts that fill them. Empty when the listing has another shape.
std::string Rebuild(const std::string& listing, bool parens) {
  std::vector<std::pair<std::string, std::string>> temps;
  auto substitute = [&](const std::string& text) {
    std::string out;
    bool inStr = false;
    for (size_t i = 0; i < text.size();) {
      char c = text[i];
      if (inStr) {
        size_t n = c == '\\' ? std::min<size_t>(2, text.size() - i) : CharLen(text, i);
        if (c == '"') inStr = false;
        out.append(text, i, n);
        i += n;
        continue;
      }
      if (c == '"') {
        inStr = true;
        out += c;
        ++i;
        continue;
      }
      if (IsNameByte(c) && (i == 0 || !IsNameByte(text[i - 1]))) {
        size_t j = i;
        while (j < text.size() && IsNameByte(text[j])) ++j;
        std::string word = text.substr(i, j - i);
        bool found = false;
        for (const auto& t : temps)
          if (t.first == word) {
            out += parens ? "(" + t.second + ")" : t.second;
            found = true;
          }
        if (!found) out += word;
        i = j;
        continue;
      }
      out += c;
      ++i;
    }
    return out;
  };
  std::istringstream in(listing);
  std::string line, last;
  bool lastIsTemp = false;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    size_t eq = line.find(" = ");
    if (eq == std::string::npos) return std::string();
    std::string target = line.substr(0, eq);
    std::string value = substitute(line.substr(eq + 3));
    if (target.compare(0, 4, "____") == 0) {
      temps.emplace_back(target, value);
      last = value;
      lastIsTemp = true;
    } else {
      last = substitute(target) + " = " + value;
      lastIsTemp = false;
    }
  }
  (void)lastIsTemp;
  return last;
}

bool ReadsBackAs(const std::string& shown, const TExpr& e);

std::string ExprText(const TExpr& e) {
  if (e.Empty() && (e.bytes.empty() || e.bytes.size() == 4)) return "{}";
  // The records as one statement where that compiles back to the very same bytes.
  for (bool parens : {false, true}) {
    std::string cand = Rebuild(e.parser->Listing(), parens);
    if (cand.empty()) continue;
    std::string shown = "{" + Cp932ToUtf8(cand) + "}";
    if (ReadsBackAs(shown, e)) return shown;
  }
  return "#" + HexOf(e.bytes.data(), e.bytes.size());
}

// ---- reading ----

struct TLineReader {
  const std::string& s;
  size_t i = 0;
  int line;
  [[noreturn]] void Fail(const std::string& what) const {
    throw EKest(Utf8ToCp932("line " + std::to_string(line) + ": " + what));
  }
  void Space() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  }
  bool End() {
    Space();
    return i >= s.size() || s[i] == ';';
  }
  std::string Word() {
    Space();
    size_t b = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t' && s[i] != '=' && s[i] != '{' && s[i] != '#') ++i;
    return s.substr(b, i - b);
  }
  int64_t Number() {
    Space();
    size_t b = i;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    while (i < s.size() && std::isalnum(static_cast<unsigned char>(s[i]))) ++i;
    std::string t = s.substr(b, i - b);
    try {
      size_t used = 0;
      long long v = std::stoll(t, &used, 0);
      if (used != t.size()) Fail("bad number " + t);
      return v;
    } catch (const std::logic_error&) {
      Fail("bad number " + t);
    }
  }
  int32_t Int() {
    int64_t v = Number();
    if (v < INT32_MIN || v > INT32_MAX) Fail("number out of range");
    return int32_t(v);
  }
  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }
  std::vector<uint8_t> Hex() {
    std::vector<uint8_t> out;
    while (i + 1 < s.size() && HexDigit(s[i]) >= 0 && HexDigit(s[i + 1]) >= 0) {
      out.push_back(uint8_t(HexDigit(s[i]) * 16 + HexDigit(s[i + 1])));
      i += 2;
    }
    return out;
  }
  std::string Quoted() {
    Space();
    if (i >= s.size() || s[i] != '"') Fail("a quoted text expected");
    ++i;
    std::string out, run;
    auto flush = [&] {
      if (!run.empty()) out += Utf8ToCp932(run);
      run.clear();
    };
    while (true) {
      if (i >= s.size()) Fail("unterminated text");
      char c = s[i++];
      if (c == '"') break;
      if (c == '\\') {
        if (i >= s.size()) Fail("unterminated text");
        char d = s[i++];
        if (d == 'x') {
          if (i + 1 >= s.size() || HexDigit(s[i]) < 0 || HexDigit(s[i + 1]) < 0) Fail("bad \\x escape");
          flush();
          out += char(HexDigit(s[i]) * 16 + HexDigit(s[i + 1]));
          i += 2;
        } else {
          flush();
          out += d;
        }
        continue;
      }
      if (static_cast<unsigned char>(c) >= 0x80) {
        run += c;
      } else {
        flush();
        out += c;
      }
    }
    flush();
    return out;
  }
  TExpr Expr() {
    Space();
    if (i < s.size() && s[i] == '#') {
      ++i;
      std::vector<uint8_t> b = Hex();
      TMemoryStream m;
      if (!b.empty()) m.WriteBuffer(b.data(), int64_t(b.size()));
      m.SetPosition(0);
      TExpr e = ReadExpr(m);
      if (m.Position() != m.Size()) Fail("bytes after the expression");
      return e;
    }
    if (i >= s.size() || s[i] != '{') Fail("an expression {...} expected");
    ++i;
    size_t b = i;
    bool inStr = false;
    while (i < s.size() && (inStr || s[i] != '}')) {
      if (s[i] == '"') inStr = !inStr;
      if (s[i] == '\\' && inStr) ++i;
      ++i;
    }
    if (i >= s.size()) Fail("unterminated expression");
    std::string text = Utf8ToCp932(s.substr(b, i - b));
    ++i;
    size_t f = text.find_first_not_of(" \t");
    if (f == std::string::npos) {
      TExpr e;
      e.parser = std::make_shared<TKestParser>();
      return e;
    }
    try {
      return CompileExpr(text);
    } catch (const EKest& ex) {
      Fail(Cp932ToUtf8(ex.what()));
    }
  }
};

// Whether the assembler reads a shown expression as exactly the stored block, to the end
// of the text (a text that would break the line or the braces fails here).
bool ReadsBackAs(const std::string& shown, const TExpr& e) {
  if (shown.find_first_of("\r\n") != std::string::npos) return false;
  try {
    TLineReader r{shown, 0, 0};
    TExpr x = r.Expr();
    return r.i == shown.size() && x.bytes == e.bytes;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

std::string DisassemblePage(const TPage& page) {
  std::ostringstream o;
  o << "; kest page\n";
  o << "version " << page.Version << "\n";
  o << "kind " << int(page.Kind) << "\n";
  // The mask block is written out only when the lines alone would not give it back.
  uint8_t derived[kMaskTable] = {};
  for (const auto& c : page.Commands)
    for (const TField& f : c->Fields)
      for (const auto& [p, e] : f.props) derived[c->Code() * kMaskSize + (p >> 3)] |= uint8_t(1 << (p & 7));
  bool canonical = page.MaskCount == kCommandCodes && page.MaskRecSize == kMaskSize &&
                   page.MaskBlock.size() == size_t(kMaskTable) &&
                   std::memcmp(page.MaskBlock.data(), derived, kMaskTable) == 0;
  if (!canonical)
    o << "masks " << page.MaskCount << " " << page.MaskRecSize << " #"
      << HexOf(page.MaskBlock.data(), page.MaskBlock.size()) << "\n";
  for (const auto& c : page.Commands) {
    if (c->Indent >= 0 && c->Indent <= 64) o << std::string(size_t(c->Indent) * 2, ' ');
    o << c->Spec().name;
    if (c->CodeByte() & 0x80) o << " code=" << int(c->CodeByte());
    if (c->Indent < 0 || c->Indent > 64) o << " indent=" << c->Indent;
    o << " line=" << c->Line;
    if (c->ChainByte == 1) o << " chain";
    else if (c->ChainByte) o << " chain=" << int(c->ChainByte);
    if (c->SkipByte == 1) o << " skip";
    else if (c->SkipByte) o << " skip=" << int(c->SkipByte);
    for (const TField& f : c->Fields) {
      if (!f.present) continue;
      o << " ";
      switch (f.kind) {
        case TFieldKind::Str: case TFieldKind::Text: o << Quote(f.str); break;
        case TFieldKind::Int: case TFieldKind::Byte: o << f.num; break;
        case TFieldKind::Expr: o << ExprText(f.expr); break;
        case TFieldKind::List:
          o << "[";
          for (const TExpr& e : f.list) o << " " << ExprText(e);
          o << " ]";
          break;
        case TFieldKind::Props: {
          bool first = true;
          for (const auto& [p, e] : f.props) {
            o << (first ? "" : " ") << PropertyInfo(p)->name << "=" << ExprText(e);
            first = false;
          }
          if (first) o << "-";
          break;
        }
      }
    }
    o << "\n";
  }
  return o.str();
}

void AssemblePage(const std::string& text, TPage& page) {
  page.Commands.clear();
  page.Version = kPageVersionMax;
  page.Kind = 0;
  std::memset(page.Masks, 0, sizeof page.Masks);
  bool explicitMasks = false;
  std::istringstream in(text);
  std::string raw;
  int lineNo = 0;
  while (std::getline(in, raw)) {
    ++lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    TLineReader r{raw, 0, lineNo};
    size_t lead = raw.find_first_not_of(' ');
    if (r.End()) continue;
    std::string word = r.Word();
    if (word == "version") {
      page.Version = r.Int();
      if (!page.Commands.empty()) r.Fail("version after commands");
      continue;
    }
    if (word == "kind") {
      int32_t k = r.Int();
      if (k < 0 || k > 255) r.Fail("kind out of range");
      page.Kind = uint8_t(k);
      continue;
    }
    if (word == "masks") {
      page.MaskCount = r.Int();
      page.MaskRecSize = r.Int();
      r.Space();
      if (r.i >= raw.size() || raw[r.i] != '#') r.Fail("mask bytes #... expected");
      ++r.i;
      page.MaskBlock = r.Hex();
      if (page.MaskCount < 0 || page.MaskRecSize < 0 ||
          page.MaskBlock.size() != size_t(page.MaskCount) * size_t(page.MaskRecSize))
        r.Fail("mask block size does not match");
      page.ApplyMaskBlock();
      explicitMasks = true;
      continue;
    }
    int32_t code = FindCommandCode(word);
    if (code < 0) r.Fail("unknown command " + word);
    uint8_t codeByte = uint8_t(code);
    auto c = std::make_unique<TCommand>(&page, codeByte);
    c->Indent = int32_t(lead / 2);
    // Header options.
    while (true) {
      size_t save = r.i;
      std::string opt = r.Word();
      bool hasValue = r.i < raw.size() && raw[r.i] == '=';
      if (opt == "line" || opt == "indent" || opt == "code" || opt == "chain" || opt == "skip") {
        int32_t v = 1;
        if (hasValue) {
          ++r.i;
          v = r.Int();
        } else if (opt == "line" || opt == "indent" || opt == "code") {
          r.Fail(opt + "= needs a value");
        }
        if (opt == "line") c->Line = v;
        else if (opt == "indent") c->Indent = v;
        else if (opt == "code") {
          if ((v & 0x7F) != code || v < 0 || v > 255) r.Fail("code does not match the command");
          codeByte = uint8_t(v);
          auto d = std::make_unique<TCommand>(&page, codeByte);
          d->Indent = c->Indent;
          d->Line = c->Line;
          d->ChainByte = c->ChainByte;
          d->SkipByte = c->SkipByte;
          c = std::move(d);
        } else {
          if (v < 0 || v > 255) r.Fail(opt + " out of range");
          (opt == "chain" ? c->ChainByte : c->SkipByte) = uint8_t(v);
        }
        continue;
      }
      r.i = save;
      break;
    }
    for (const TFieldSpec& spec : c->Spec().fields) {
      TField f;
      f.kind = spec.kind;
      f.present = page.Version >= spec.minVersion;
      if (f.present) {
        switch (spec.kind) {
          case TFieldKind::Str: case TFieldKind::Text: f.str = r.Quoted(); break;
          case TFieldKind::Int: f.num = r.Int(); break;
          case TFieldKind::Byte: {
            f.num = r.Int();
            if (f.num < 0 || f.num > 255) r.Fail("byte out of range");
            break;
          }
          case TFieldKind::Expr: f.expr = r.Expr(); break;
          case TFieldKind::List: {
            r.Space();
            if (r.i >= raw.size() || raw[r.i] != '[') r.Fail("a list [...] expected");
            ++r.i;
            while (true) {
              r.Space();
              if (r.i < raw.size() && raw[r.i] == ']') {
                ++r.i;
                break;
              }
              if (r.i >= raw.size()) r.Fail("unterminated list");
              f.list.push_back(r.Expr());
            }
            break;
          }
          case TFieldKind::Props: {
            r.Space();
            if (r.i < raw.size() && raw[r.i] == '-') {
              ++r.i;
              break;
            }
            while (!r.End()) {
              size_t save = r.i;
              std::string name = r.Word();
              if (r.i >= raw.size() || raw[r.i] != '=' || name.compare(0, 3, "PR_") != 0) {
                r.i = save;
                break;
              }
              ++r.i;
              int32_t p = -1;
              for (int32_t k = 0; k < kPropertyCount; ++k)
                if (name == PropertyInfo(k)->name) p = k;
              if (p < 0) r.Fail("unknown property " + name);
              for (const auto& q : f.props)
                if (q.first == p) r.Fail("property named twice: " + name);
              f.props.emplace_back(p, r.Expr());
            }
            std::sort(f.props.begin(), f.props.end(),
                      [](const auto& a, const auto& b) { return a.first < b.first; });
            break;
          }
        }
      }
      c->Fields.push_back(std::move(f));
    }
    if (!r.End()) r.Fail("unexpected text: " + raw.substr(r.i));
    page.Commands.push_back(std::move(c));
  }
  // Property masks: as given, or the union of the properties each code's lines name. Every
  // record of a code then carries one expression for each bit of its mask.
  if (!explicitMasks) {
    for (const auto& c : page.Commands)
      for (const TField& f : c->Fields)
        for (const auto& [p, e] : f.props) page.Masks[c->Code() * kMaskSize + (p >> 3)] |= uint8_t(1 << (p & 7));
    page.SetCanonicalMasks();
  }
  for (const auto& c : page.Commands) {
    for (TField& f : c->Fields) {
      if (f.kind != TFieldKind::Props || !f.present) continue;
      const uint8_t* mask = page.Masks + c->Code() * kMaskSize;
      std::vector<std::pair<int32_t, TExpr>> full;
      size_t k = 0;
      for (int32_t p = 0; p < kPropertyCount; ++p) {
        bool named = k < f.props.size() && f.props[k].first == p;
        if (MaskBit(mask, p)) {
          if (named) full.push_back(std::move(f.props[k]));
          else full.emplace_back(p, TExpr{{}, std::make_shared<TKestParser>()});
        } else if (named) {
          throw EKest(Utf8ToCp932(std::string(PropertyInfo(p)->name) + " is not in the mask of " + c->Spec().name));
        }
        if (named) ++k;
      }
      f.props = std::move(full);
    }
  }
}

}  // namespace kest
