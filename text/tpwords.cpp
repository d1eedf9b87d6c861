#include "text/tpwords.h"

#include <algorithm>
#include <cstring>

#include "common/sjis.h"
#include "text/fontpixels.h"

namespace kest {

const char* const kMsgNoHref =
    "<A>\x83\x5E\x83\x4F\x82\xC9" "HREF\x92\x6C\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";

// --- decorations -----------------------------------------------------------------------

TDecorate* TDecorateList::Acquire(const TDecorate& values) {
  for (auto& d : items_)
    if (d->SameValues(values)) {
      ++d->RefCount;
      return d.get();
    }
  auto d = std::make_unique<TDecorate>(values);
  d->RefCount = 1;
  items_.push_back(std::move(d));
  return items_.back().get();
}

void TDecorateList::Release(TDecorate* d) {
  if (!d || --d->RefCount > 0) return;
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == d) {
      items_.erase(items_.begin() + long(i));
      return;
    }
}

void TDecorateList::Change(TDecorate*& d, const TDecorate& values) {
  if (d && d->SameValues(values)) return;
  for (auto& e : items_)
    if (e.get() != d && e->SameValues(values)) {
      Release(d);
      ++e->RefCount;
      d = e.get();
      return;
    }
  if (d && d->RefCount == 1) {
    const int32_t n = d->RefCount;
    *d = values;
    d->RefCount = n;
    return;
  }
  Release(d);
  d = Acquire(values);
}

int32_t TDecorateList::IndexOf(const TDecorate* d) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == d) return int32_t(i);
  return -1;
}

// --- preprocessing -----------------------------------------------------------------------

namespace {

struct Token {
  std::string Text;
  bool Tag = false;
  bool Block = false;  // a comment, script or style block: ignored
};

bool StartsNoCase(const std::string& s, size_t at, const char* what) {
  const size_t n = std::strlen(what);
  if (at + n > s.size()) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = s[at + i];
    if (c >= 'a' && c <= 'z') c = char(c - 32);
    if (c != what[i]) return false;
  }
  return true;
}

class TPreprocessor {
 public:
  std::vector<Token> Run(const std::string& s) {
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
      const uint8_t c = uint8_t(s[i]);
      if (c == '<' && OpensBlock(s, i)) {
        EndText();
        i = Block(s, i);
        continue;
      }
      if (c == '<') {
        i = Tag(s, i);
        continue;
      }
      if (IsLeadByte(c) && i + 1 < n) {
        cur_.append(s, i, 2);
        i += 2;
        continue;
      }
      if (c == '\\' && i + 1 < n && std::strchr("%<>\\{}", s[i + 1]) && s[i + 1] != 0) {
        cur_ += s[i + 1];
        i += 2;
        continue;
      }
      if (c == '"') {
        cur_ += '"';
        ++i;
        while (i < n && s[i] != '"') {
          if (IsLeadByte(uint8_t(s[i])) && i + 1 < n) {
            cur_.append(s, i, 2);
            i += 2;
            continue;
          }
          if (s[i] != '\r' && s[i] != '\n' && s[i] != '\t') cur_ += s[i];
          ++i;
        }
        if (i < n) cur_ += '"', ++i;
        continue;
      }
      ++i;
      const bool raw = pre_ || textarea_;
      if (c == '\r') {
        if (raw) {
          EndText();
          if (pre_) out_.push_back({"<BR>", true});
        } else if (!cur_.empty() && cur_.back() != ' ') {
          cur_ += ' ';
        }
      } else if (c == 0x14) {
        if (raw || cur_.empty() || cur_.back() != ' ') cur_ += ' ';
      } else if (c == '\t') {
        if (raw) cur_.append(8, ' ');
      } else if (c == '\n') {
        // lines are joined with CR; a stray LF is no character
      } else if (c == ' ') {
        if (raw || cur_.empty() || cur_.back() != ' ') cur_ += ' ';
      } else {
        cur_ += char(c);
      }
    }
    EndText();
    return std::move(out_);
  }

 private:
  static bool OpensBlock(const std::string& s, size_t i) {
    return StartsNoCase(s, i, "<!--") || StartsNoCase(s, i, "<SCRIPT") || StartsNoCase(s, i, "<STYLE");
  }
  static size_t Closes(const std::string& s, size_t i) {
    if (StartsNoCase(s, i, "-->")) return 3;
    if (StartsNoCase(s, i, "</SCRIPT>")) return 9;
    if (StartsNoCase(s, i, "</STYLE>")) return 8;
    return 0;
  }
  // Nested blocks make one token; an unterminated block swallows the rest of the text.
  size_t Block(const std::string& s, size_t i) {
    int depth = 0;
    Token t{"", false, true};
    while (i < s.size()) {
      if (s[i] == '<' && OpensBlock(s, i)) {
        ++depth;
        t.Text += s[i++];
        continue;
      }
      if (const size_t k = Closes(s, i)) {
        t.Text.append(s, i, k);
        i += k;
        if (--depth == 0) break;
        continue;
      }
      t.Text += s[i];
      if (s[i] == '\r') t.Text += '\n';
      ++i;
    }
    out_.push_back(std::move(t));
    return i;
  }
  size_t Tag(const std::string& s, size_t i) {
    EndText();
    std::string t;
    int depth = 0;
    size_t j = i;
    bool closed = false;
    while (j < s.size()) {
      const char c = s[j];
      if (IsLeadByte(uint8_t(c)) && j + 1 < s.size()) {
        t.append(s, j, 2);
        j += 2;
        continue;
      }
      if (c == '"' || c == '\'') {  // a quoted value may hold '>'
        const size_t e = s.find(c, j + 1);
        const size_t stop = e == std::string::npos ? s.size() : e + 1;
        for (size_t k = j; k < stop; ++k)
          if (s[k] != '\r' && s[k] != '\n' && s[k] != '\t') t += s[k];
        j = stop;
        continue;
      }
      if (c == '\r' || c == '\n' || c == '\t') {
        t += ' ';
        ++j;
        continue;
      }
      t += c;
      ++j;
      if (c == '<') ++depth;
      if (c == '>' && --depth == 0) {
        closed = true;
        break;
      }
    }
    if (!closed) {
      // An unterminated tag is shown as the text it is.
      cur_ += t;
      return j;
    }
    const bool raw = pre_ || textarea_;
    if (StartsNoCase(t, 0, "<PRE") && !textarea_) {
      pre_ = true;
      out_.push_back({t, true});
      if (j < s.size() && s[j] == '\r') ++j;
      return j;
    }
    if (StartsNoCase(t, 0, "</PRE") && !textarea_) {
      pre_ = false;
      if (!out_.empty() && out_.back().Tag && out_.back().Text == "<BR>") out_.pop_back();
    } else if (StartsNoCase(t, 0, "<TEXTAREA") && !pre_) {
      textarea_ = true;
      out_.push_back({t, true});
      if (j < s.size() && s[j] == '\r') ++j;
      return j;
    } else if (StartsNoCase(t, 0, "</TEXTAREA") && !pre_) {
      textarea_ = false;
      if (!out_.empty() && out_.back().Tag && out_.back().Text == "<BR>") out_.pop_back();
    }
    (void)raw;
    out_.push_back({t, t.size() > 2});
    return j;
  }
  void EndText() {
    if (!cur_.empty()) out_.push_back({std::move(cur_), false});
    cur_.clear();
  }
  std::vector<Token> out_;
  std::string cur_;
  bool pre_ = false, textarea_ = false;
};

struct TagInfo {
  std::string Name;  // upper case
  std::vector<std::pair<std::string, std::string>> Attrs;  // names upper case
  bool Has(const char* n) const {
    for (auto& a : Attrs)
      if (a.first == n) return true;
    return false;
  }
  const std::string* Get(const char* n) const {
    for (auto& a : Attrs)
      if (a.first == n) return &a.second;
    return nullptr;
  }
};

std::string Upper(std::string s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (IsLeadByte(uint8_t(s[i]))) {
      ++i;
      continue;
    }
    if (s[i] >= 'a' && s[i] <= 'z') s[i] = char(s[i] - 32);
  }
  return s;
}

TagInfo ParseTag(const std::string& t) {
  TagInfo r;
  const std::string body = t.substr(1, t.size() - 2);
  size_t i = 0;
  auto skipSpace = [&] {
    while (i < body.size() && body[i] == ' ') ++i;
  };
  auto word = [&](bool stopAtEq) {
    std::string w;
    while (i < body.size() && body[i] != ' ' && !(stopAtEq && body[i] == '=')) {
      if (IsLeadByte(uint8_t(body[i])) && i + 1 < body.size()) w += body[i++];
      w += body[i++];
    }
    return w;
  };
  skipSpace();
  r.Name = Upper(word(true));
  while (true) {
    skipSpace();
    if (i >= body.size()) break;
    std::string name = Upper(word(true));
    std::string value;
    skipSpace();
    if (i < body.size() && body[i] == '=') {
      ++i;
      skipSpace();
      if (i < body.size() && (body[i] == '"' || body[i] == '\'')) {
        const char q = body[i++];
        const size_t e = body.find(q, i);
        value = body.substr(i, e == std::string::npos ? std::string::npos : e - i);
        i = e == std::string::npos ? body.size() : e + 1;
      } else {
        value = word(false);
      }
    }
    if (name.empty()) {
      ++i;
      continue;
    }
    r.Attrs.emplace_back(std::move(name), std::move(value));
  }
  return r;
}

bool ParseInt(const std::string& s, int32_t& v) {
  if (s.empty()) return false;
  size_t i = 0;
  bool neg = false;
  if (s[0] == '-' || s[0] == '+') neg = s[0] == '-', i = 1;
  if (i >= s.size()) return false;
  int64_t n = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    n = std::min<int64_t>(n * 10 + (s[i] - '0'), int64_t(1) << 40);
  }
  n = neg ? -n : n;
  v = int32_t(std::clamp<int64_t>(n, INT32_MIN, INT32_MAX));
  return true;
}

// "#RRGGBB" as a colour reference (red in the lowest byte).
bool ParseColour(const std::string& s, TColorRef& c) {
  if (s.size() != 7 || s[0] != '#') return false;
  uint32_t v = 0;
  for (size_t i = 1; i < 7; ++i) {
    const char h = s[i];
    int d = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
    if (d < 0) return false;
    v = v << 4 | uint32_t(d);
  }
  c = MakeColorRef(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v));
  return true;
}

template <class T>
struct Stack {
  T Default;
  std::vector<T> Items;
  const T& Top() const { return Items.empty() ? Default : Items.back(); }
  void Push(const T& v) { Items.push_back(v); }
  void Pop() {
    if (!Items.empty()) Items.pop_back();  // an empty stack keeps its default
  }
};

}  // namespace

// --- the typesetter ----------------------------------------------------------------------

TTpWord::TTpWord() = default;
TTpWord::~TTpWord() = default;

void TTpWord::ClearGlyphs() {
  glyphs_.clear();
  spaces_.clear();
  decor_.Clear();
  ValueList.clear();
}

int32_t TTpWord::SizeOf(const TDecorate* d) const {
  const int32_t s = d && d->Size > 0 ? d->Size : S.FontSize;
  return std::clamp(s, 1, kMaxFontSize);
}
int32_t TTpWord::BorderOf(const TDecorate* d) const {
  return std::clamp(d && d->BorderWidth >= 0 ? d->BorderWidth : S.BorderWidth, 0, kMaxBorderWidth);
}
int32_t TTpWord::ShadowOf(const TDecorate* d) const {
  return std::clamp(d && d->ShadowWidth >= 0 ? d->ShadowWidth : S.ShadowWidth, 0, kMaxBorderWidth);
}

void TTpWord::SetText(const std::vector<std::string>& lines) {
  ClearGlyphs();
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += '\r';
    text += lines[i];
  }
  try {
    Parse(text);
  } catch (...) {
    ClearGlyphs();  // a failed text leaves nothing half-built
    throw;
  }
}

void TTpWord::Parse(const std::string& text) {
  TPreprocessor pre;
  const std::vector<Token> tokens = pre.Run(text);
  Stack<int32_t> size{0, {}}, border{-1, {}}, shadow{-1, {}}, wait{DefaultWait, {}};
  Stack<TColorRef> colour{-1, {}}, bcolour{-1, {}}, scolour{-1, {}};
  Stack<std::string> face{"", {}};
  Stack<uint8_t> align{1, {}};
  uint8_t style = 0, nobr = 0;
  std::string ruby, link;
  auto current = [&] {
    TDecorate d;
    d.Color = colour.Top();
    d.BorderColor = bcolour.Top();
    d.ShadowColor = scolour.Top();
    d.Size = size.Top();
    d.Style = style;
    d.FontName = face.Top();
    d.NoBreak = nobr;
    d.Ruby = ruby;
    d.BorderWidth = border.Top();
    d.ShadowWidth = shadow.Top();
    return d;
  };
  auto ope = [&](TWdKind k) {
    auto g = std::make_unique<TWdOpe>(k);
    TWdOpe* p = g.get();
    glyphs_.push_back(std::move(g));
    return p;
  };
  for (const Token& t : tokens) {
    if (t.Block) continue;
    if (!t.Tag) {
      const TDecorate d = current();
      const std::string& s = t.Text;
      for (size_t i = 0; i < s.size();) {
        const size_t n = CharLen(s, i);
        auto c = std::make_unique<TWdChar>();
        c->Code = n == 2 ? uint16_t(uint8_t(s[i]) << 8 | uint8_t(s[i + 1])) : uint8_t(s[i]);
        c->Decor = decor_.Acquire(d);
        c->Link = link;
        c->Wait = wait.Top();
        MeasureGlyph(*c);
        glyphs_.push_back(std::move(c));
        i += n;
      }
      continue;
    }
    const TagInfo tag = ParseTag(t.Text);
    const std::string& n = tag.Name;
    auto attrInt = [&](const char* a, int32_t& v) {
      const std::string* s = tag.Get(a);
      return s && ParseInt(*s, v);
    };
    if (n == "A") {
      const std::string* h = tag.Get("HREF");
      if (!h) throw EKest(kMsgNoHref);
      link = *h;
    } else if (n == "/A") {
      link.clear();
    } else if (n == "B" || n == "/B" || n == "I" || n == "/I" || n == "U" || n == "/U" || n == "S" || n == "/S") {
      const bool off = n[0] == '/';
      const char k = off ? n[1] : n[0];
      const uint8_t bit = k == 'B' ? 1 : k == 'I' ? 2 : k == 'U' ? 4 : 8;
      style = off ? uint8_t(style & ~bit) : uint8_t(style | bit);
    } else if (n == "FONT") {
      int32_t v;
      size.Push(attrInt("SIZE", v) ? std::clamp(v, 0, kMaxFontSize) : size.Top());
      TColorRef c;
      const std::string* s;
      colour.Push((s = tag.Get("COLOR")) && ParseColour(*s, c) ? c : colour.Top());
      bcolour.Push((s = tag.Get("BCOLOR")) && ParseColour(*s, c) ? c : bcolour.Top());
      scolour.Push((s = tag.Get("SCOLOR")) && ParseColour(*s, c) ? c : scolour.Top());
      face.Push((s = tag.Get("NAME")) ? *s : face.Top());
      auto width = [&](const char* a, Stack<int32_t>& st) {
        const std::string* w = tag.Get(a);
        if (!w) return st.Push(st.Top());
        int32_t x = 1;
        if (!w->empty() && !ParseInt(*w, x)) x = st.Top();
        st.Push(std::clamp(x, 0, kMaxBorderWidth));
      };
      width("BORDER", border);
      width("SHADOW", shadow);
    } else if (n == "/FONT") {
      size.Pop(), colour.Pop(), bcolour.Pop(), scolour.Pop(), face.Pop(), border.Pop(), shadow.Pop();
    } else if (n == "NOBR") {
      nobr = 1;
    } else if (n == "/NOBR") {
      nobr = 0;
    } else if (n == "RUBY") {
      const std::string* v = tag.Get("VALUE");
      ruby = v ? *v : std::string();
    } else if (n == "/RUBY") {
      ruby.clear();
    } else if (n == "DIV") {
      const std::string* a = tag.Get("ALIGN");
      const std::string u = a ? Upper(*a) : "";
      align.Push(u == "RIGHT" ? 2 : u == "CENTER" ? 3 : 1);
      ope(TWdKind::Align)->Align = align.Top();
    } else if (n == "/DIV") {
      align.Pop();
      ope(TWdKind::Align)->Align = align.Top();
    } else if (n == "INDENT") {
      ope(TWdKind::Indent);
    } else if (n == "UNDENT") {
      ope(TWdKind::Undent);
    } else if (n == "BR") {
      ope(TWdKind::Return)->Clear = tag.Has("CLEAR") ? 1 : 0;
    } else if (n == "CLEAR") {
      ope(TWdKind::Return)->Clear = 1;
    } else if (n == "EVENT") {
      const std::string* v = tag.Get("VALUE");
      TWdOpe* e = ope(TWdKind::Event);
      e->Value = v ? *v : std::string();
      e->End = tag.Has("END");
    } else if (n == "WAIT") {
      int32_t v;
      wait.Push(attrInt("VALUE", v) ? v : wait.Top());
    } else if (n == "/WAIT") {
      wait.Pop();
    } else if (n == "VAR" || n == "HISTCHAR") {
      const std::string* v = tag.Get(n == "VAR" ? "NAME" : "VALUE");
      TWdOpe* e = ope(n == "VAR" ? TWdKind::Var : TWdKind::HistChar);
      e->Value = v ? *v : std::string();
      e->Decor = decor_.Acquire(current());
      e->Wait = wait.Top();
      e->Link = link;
    } else if (n == "IMG") {
      auto g = std::make_unique<TWdImg>();
      const std::string* src = tag.Get("SRC");
      g->FileName = src ? *src : std::string();
      const std::string* a = tag.Get("ALIGN");
      const std::string u = a ? Upper(*a) : "";
      g->VAlign = u == "CENTER" ? 3 : u == "TOP" ? 4 : 5;
      g->NoBreak = nobr;
      g->Ruby = ruby;
      g->Link = link;
      g->Wait = wait.Top();
      MeasureGlyph(*g);
      glyphs_.push_back(std::move(g));
    }
    // any other tag is ignored
  }
}

void TTpWord::MeasureGlyph(TWdGlyph& g) const {
  if (g.Kind == TWdKind::Char || g.Kind == TWdKind::VarChar) {
    const auto& c = static_cast<const TWdChar&>(g);
    const int32_t s = SizeOf(c.Decor);
    int32_t w = s, h = s;
    if (c.Decor && (c.Decor->Style & 2)) w += s / 5;
    if (c.Decor && !c.Decor->Ruby.empty()) h += std::max(1, s / 2);
    const int32_t b = BorderOf(c.Decor), d = ShadowOf(c.Decor);
    g.Width = w + 2 * b + d;
    g.Height = h + 2 * b + d;
  } else if (g.Kind == TWdKind::Img) {
    auto& im = static_cast<TWdImg&>(g);
    if (!im.Image && LoadImage && !im.FileName.empty()) im.Image = LoadImage(im.FileName);
    g.Width = im.Image ? im.Image->Width() : 0;
    g.Height = im.Image ? im.Image->Height() : 0;
  } else if (g.Kind != TWdKind::Space) {
    g.Width = g.Height = 0;
  }
}

int32_t TTpWord::GlyphIndexOfCount(int32_t n) const {
  int32_t count = 0;
  for (size_t i = 0; i < glyphs_.size(); ++i) {
    if (!glyphs_[i]->Countable()) continue;
    if (count == n) return int32_t(i);
    ++count;
  }
  return int32_t(glyphs_.size());
}

int32_t TTpWord::CountBeforeGlyph(int32_t index) const {
  int32_t count = 0;
  for (int32_t i = 0; i < index && i < int32_t(glyphs_.size()); ++i)
    if (glyphs_[size_t(i)]->Countable()) ++count;
  return count;
}

void TTpWord::CopyGlyphs(const TTpWord& src, int32_t first, int32_t last) {
  const int32_t n = src.GlyphCount();
  if (last < 0 || last >= n) last = n - 1;
  for (int32_t i = std::max(0, first); i <= last; ++i) {
    auto g = src.Glyph(i)->Clone();
    g->Row = nullptr;
    if (auto* c = dynamic_cast<TWdChar*>(g.get())) c->Decor = c->Decor ? decor_.Acquire(*c->Decor) : nullptr;
    if (auto* o = dynamic_cast<TWdOpe*>(g.get())) o->Decor = o->Decor ? decor_.Acquire(*o->Decor) : nullptr;
    MeasureGlyph(*g);
    glyphs_.push_back(std::move(g));
  }
}

void TTpWord::Insert(size_t at, std::unique_ptr<TWdGlyph> g) {
  glyphs_.insert(glyphs_.begin() + long(at), std::move(g));
}

// --- expressions ---------------------------------------------------------------------------

void TTpWord::ExpandVars(int32_t first, int32_t last, bool history) {
  CollapseVars(first, last);
  int32_t n = GlyphCount();
  if (last < 0 || last >= n) last = n - 1;
  for (int32_t i = std::max(0, first); i <= last && i < GlyphCount(); ++i) {
    auto* v = dynamic_cast<TWdOpe*>(Glyph(i));
    if (!v || !(v->Kind == TWdKind::Var || (history && v->Kind == TWdKind::HistChar))) continue;
    std::string value;
    bool found = false;
    // Recorded values first ("expression=value"; the expression itself may hold "=").
    const std::string key = v->Value + "=";
    for (const std::string& line : ValueList)
      if (line.compare(0, key.size(), key) == 0) {
        value = line.substr(key.size());
        for (char& c : value)
          if (c == '\x01') c = '\r';
        found = true;
        break;
      }
    if (!found) {
      bool ok = false;
      if (v->Compiled) ok = EvaluateCompiled && EvaluateCompiled(*v->Compiled, value);
      else ok = Evaluate && Evaluate(v->Value, value);
      if (!ok) value.clear();  // errors give nothing
    }
    size_t at = size_t(i) + 1;
    for (size_t k = 0; k < value.size();) {
      const size_t len = CharLen(value, k);
      const uint8_t b = uint8_t(value[k]);
      if (b == '\r') {
        Insert(at++, std::make_unique<TWdOpe>(TWdKind::VarReturn));
      } else if (b >= 32 || len == 2) {
        auto c = std::make_unique<TWdChar>(TWdKind::VarChar);
        c->Code = len == 2 ? uint16_t(b << 8 | uint8_t(value[k + 1])) : b;
        c->Decor = v->Decor ? decor_.Acquire(*v->Decor) : nullptr;
        c->Wait = v->Wait;
        c->Link = v->Link;
        MeasureGlyph(*c);
        Insert(at++, std::move(c));
      }
      k += len;
    }
    v->Expanded = true;
    const int32_t added = int32_t(at - size_t(i) - 1);
    last += added;
    i += added;
  }
}

void TTpWord::CollapseVars(int32_t first, int32_t last) {
  int32_t n = GlyphCount();
  if (last < 0 || last >= n) last = n - 1;
  for (int32_t i = std::max(0, first); i <= last && i < GlyphCount();) {
    TWdGlyph* g = Glyph(i);
    if (g->Kind == TWdKind::VarChar || g->Kind == TWdKind::VarReturn) {
      if (auto* c = dynamic_cast<TWdChar*>(g)) decor_.Release(c->Decor);
      glyphs_.erase(glyphs_.begin() + i);
      --last;
      continue;
    }
    if (auto* o = dynamic_cast<TWdOpe*>(g)) o->Expanded = false;
    ++i;
  }
}

void TTpWord::RecordValues() {
  for (auto& gp : glyphs_) {
    auto* v = dynamic_cast<TWdOpe*>(gp.get());
    if (!v || (v->Kind != TWdKind::Var && v->Kind != TWdKind::HistChar)) continue;
    std::string value;
    if (v->Compiled || !Evaluate || !Evaluate(v->Value, value)) continue;
    std::string line = v->Value + "=";
    for (char c : value) {
      if (c == '\n') continue;  // would break the line structure; dropped on expansion anyway
      line += c == '\r' ? '\x01' : c;
    }
    const std::string key = v->Value + "=";
    auto it = std::find_if(ValueList.begin(), ValueList.end(),
                           [&](const std::string& l) { return l.compare(0, key.size(), key) == 0; });
    if (it != ValueList.end()) *it = line;
    else ValueList.push_back(line);
  }
}

// --- kinsoku and layout ----------------------------------------------------------------------

namespace {
bool IsSpace(const TWdGlyph* g) {
  return (g->Kind == TWdKind::Char || g->Kind == TWdKind::VarChar) && static_cast<const TWdChar*>(g)->Code == 32;
}
uint16_t CodeOf(const TWdGlyph* g) {
  return g->Kind == TWdKind::Char || g->Kind == TWdKind::VarChar ? static_cast<const TWdChar*>(g)->Code : 0;
}
bool IsReturn(const TWdGlyph* g) { return g->Kind == TWdKind::Return || g->Kind == TWdKind::VarReturn; }
// May not begin a line: 。、｣」』)）､｡!?！？】
bool NoBegin(uint16_t c) {
  static const uint16_t set[] = {0x8142, 0x8141, 0xA3, 0x8176, 0x8178, 0x29, 0x816A,
                                 0xA4,   0xA1,   0x21, 0x3F,   0x8149, 0x8148, 0x817A};
  return c && std::find(std::begin(set), std::end(set), c) != std::end(set);
}
// May not end a line: ｢「『（([<【
bool NoEnd(uint16_t c) {
  static const uint16_t set[] = {0xA2, 0x8175, 0x8177, 0x8169, 0x28, 0x5B, 0x3C, 0x8179};
  return c && std::find(std::begin(set), std::end(set), c) != std::end(set);
}
uint8_t NoBreakOf(const TWdGlyph* g) {
  if (g->Kind == TWdKind::Char || g->Kind == TWdKind::VarChar) {
    auto* d = static_cast<const TWdChar*>(g)->Decor;
    return d ? d->NoBreak : 0;
  }
  if (g->Kind == TWdKind::Img) return static_cast<const TWdImg*>(g)->NoBreak;
  return 0;
}
const std::string* RubyOf(const TWdGlyph* g) {
  if (g->Kind == TWdKind::Char || g->Kind == TWdKind::VarChar) {
    auto* d = static_cast<const TWdChar*>(g)->Decor;
    return d ? &d->Ruby : nullptr;
  }
  if (g->Kind == TWdKind::Img) return &static_cast<const TWdImg*>(g)->Ruby;
  return nullptr;
}
}  // namespace

bool TTpWord::BreakForbidden(const TWdGlyph* p, const TWdGlyph* c) const {
  if (NoBreakOf(p) && NoBreakOf(c)) return true;
  const std::string* rc = RubyOf(c);
  const std::string* rp = RubyOf(p);
  if (rc && rp && !rc->empty() && *rc == *rp) return true;
  const uint16_t pc = CodeOf(p), cc = CodeOf(c);
  if (pc >= 33 && pc <= 255 && cc >= 33 && cc <= 255) return true;
  if (IsSpace(c) && !IsSpace(p) && c->Kind != TWdKind::Img) return true;
  if (NoBegin(cc)) return true;
  return false;
}

// The end (exclusive) of the breakable unit starting at list[i].
size_t TTpWord::UnitEnd(const std::vector<TWdGlyph*>& list, size_t i) const {
  size_t j = i + 1;
  auto extend = [&] {
    while (j < list.size() && !IsReturn(list[j - 1]) && !IsReturn(list[j]) && list[j]->Width + list[j]->Height > 0 &&
           BreakForbidden(list[j - 1], list[j]))
      ++j;
  };
  extend();
  // An opening bracket alone takes the next glyph (and what cannot be split from it) along.
  while (j == i + 1 && NoEnd(CodeOf(list[i])) && j < list.size() && !IsReturn(list[j]) &&
         list[j]->Width + list[j]->Height > 0) {
    const size_t start = j;
    ++j;
    extend();
    if (!NoEnd(CodeOf(list[start])) || j != start + 1) break;
    i = start;  // a run of opening brackets
  }
  return j;
}

void TTpWord::ArrangeRow(TWdRow& row) const {
  int32_t width = 0, base = 0;
  for (auto* g : row.Glyphs) {
    width += g->Width;
    if (!(g->Kind == TWdKind::Img && static_cast<TWdImg*>(g)->VAlign != 5)) base = std::max(base, g->Height);
  }
  int32_t above = 0, below = 0;
  for (auto* g : row.Glyphs) {
    if (g->Kind != TWdKind::Img) continue;
    const int32_t h = g->Height, va = static_cast<TWdImg*>(g)->VAlign;
    if (va == 3) {
      const int32_t e = std::max(0, (h - base + 1) / 2);
      above = std::max(above, e), below = std::max(below, e);
    } else if (va == 4) {
      below = std::max(below, h - base);
    }
  }
  // A row holding nothing visible (an empty line) is one default character high.
  if (!row.HasSized()) base = std::clamp(S.FontSize, 1, kMaxFontSize);
  row.Width = width;
  row.Base = base, row.Above = above, row.Below = below;
  row.Height = above + base + below;
  int32_t x = row.LeftBound;
  if (row.Align == 2) x = row.RightBound - width;
  else if (row.Align == 3) x = row.LeftBound + (row.RightBound - row.LeftBound - width) / 2;
  row.X = 0;
  for (auto* g : row.Glyphs) {
    g->X = x;
    x += g->Width;
    const bool img = g->Kind == TWdKind::Img;
    const int32_t va = img ? static_cast<TWdImg*>(g)->VAlign : 5;
    if (g->Height == 0) g->Y = above;
    else if (img && va == 3) g->Y = above + (base - g->Height) / 2;
    else if (img && va == 4) g->Y = above;
    else g->Y = row.Height - below - g->Height;
  }
}

void TTpWord::Layout(int32_t first, int32_t last, std::vector<std::unique_ptr<TWdPage>>& pages) {
  const int32_t n = GlyphCount();
  if (last < 0 || last >= n) last = n - 1;
  first = std::max(0, first);
  std::vector<TWdGlyph*> list;
  for (int32_t i = first; i <= last; ++i) {
    MeasureGlyph(*glyphs_[size_t(i)]);
    list.push_back(glyphs_[size_t(i)].get());
  }
  const bool autoWidth = S.Width <= 0;
  int32_t widest = 0;
  TWdPage* page = nullptr;
  TWdRow* row = nullptr;
  int32_t y = 0, indent = 0;
  uint8_t align = 1;
  size_t rowFirst = 0;  // index in list of the row's first glyph
  const size_t pagesBefore = pages.size();
  auto closeRow = [&] {
    ArrangeRow(*row);
    widest = std::max(widest, row->Width);
    page->Height = std::max(page->Height, row->Y + row->Height);
    y += row->Height + S.LineSpacing;
    row = nullptr;
  };
  auto newPage = [&](size_t index) {
    pages.push_back(std::make_unique<TWdPage>());
    page = pages.back().get();
    page->FirstIndex = first + int32_t(index);
    y = 0;
  };
  auto openRow = [&](size_t index) {
    if (!page) newPage(index);
    page->Rows.push_back(std::make_unique<TWdRow>());
    row = page->Rows.back().get();
    row->Y = y;
    row->Align = align;
    row->LeftBound = 0;
    row->RightBound = autoWidth ? 0 : S.Width;
    rowFirst = index;
    if (indent > 0) {
      auto sp = std::make_unique<TWdOpe>(TWdKind::Space);
      sp->Width = indent;
      sp->Row = row;
      row->Glyphs.push_back(sp.get());
      spaces_.push_back(std::move(sp));
    }
  };
  auto add = [&](TWdGlyph* g) {
    g->Row = row;
    row->Glyphs.push_back(g);
  };
  size_t i = 0;
  while (i < list.size()) {
    TWdGlyph* g = list[i];
    if (!row) openRow(i);
    if (g->Kind == TWdKind::Align) {
      align = static_cast<TWdOpe*>(g)->Align;
      if (!row->HasSized()) row->Align = align;
      add(g);
      ++i;
      continue;
    }
    if (g->Kind == TWdKind::Indent || g->Kind == TWdKind::Undent) {
      int32_t w = 0;
      for (auto* r : row->Glyphs) w += r->Width;
      indent = g->Kind == TWdKind::Indent ? w : 0;
      add(g);
      ++i;
      continue;
    }
    size_t j = g->Width + g->Height > 0 ? UnitEnd(list, i) : i + 1;
    int32_t unitWidth = 0;
    for (size_t k = i; k < j; ++k) unitWidth += list[k]->Width;
    int32_t rowWidth = 0;
    for (auto* r : row->Glyphs) rowWidth += r->Width;
    if (row->HasSized() && !autoWidth && row->RightBound - row->LeftBound < rowWidth + unitWidth) {
      closeRow();
      openRow(i);
    }
    bool restarted = false;
    for (size_t k = i; k < j; ++k) {
      add(list[k]);
      if (S.Paging && page->Rows.size() > 1 && S.Height > 0) {
        int32_t h = 0;
        for (auto* r : row->Glyphs) h = std::max(h, r->Height);
        if (row->Y + h > S.Height) {
          // The row moves to a new page.
          for (auto* r : row->Glyphs) r->Row = nullptr;
          page->Rows.pop_back();
          row = nullptr;
          newPage(rowFirst);
          i = rowFirst;
          restarted = true;
          break;
        }
      }
    }
    if (restarted) continue;
    i = j;
    if (IsReturn(g) && j == i) {
    }
    TWdGlyph* lastAdded = list[j - 1];
    if (IsReturn(lastAdded)) {
      const bool clear = lastAdded->Kind == TWdKind::Return && static_cast<TWdOpe*>(lastAdded)->Clear;
      closeRow();
      if (clear) page = nullptr;
    }
  }
  if (row) closeRow();
  if (autoWidth) {
    S.Width = widest;
    for (size_t p = pagesBefore; p < pages.size(); ++p)
      for (auto& r : pages[p]->Rows) {
        r->RightBound = widest;
        ArrangeRow(*r);
      }
  }
  // Pages list their glyphs in text order; the last page ends at the last glyph.
  for (size_t p = pagesBefore; p < pages.size(); ++p) {
    TWdPage& pg = *pages[p];
    pg.Width = S.Width;
    for (auto& r : pg.Rows)
      for (auto* gl : r->Glyphs) pg.Glyphs.push_back(gl);
    pg.LastIndex = p + 1 < pages.size() ? pages[p + 1]->FirstIndex - 1 : last;
  }
}

// --- reveal ------------------------------------------------------------------------------

std::string TTpWord::Step(TWdPage& page, int32_t elapsed) {
  std::string text;
  elapsed = std::max(0, elapsed);
  if (!S.Paused && page.PendingEvents.empty() && page.Next < page.Glyphs.size()) {
    if (!page.Started) {
      page.Started = true;
      page.Budget = 0;
      page.FadeAcc = 0;
    } else {
      page.Budget -= elapsed;
    }
    while (page.Budget <= 0 && page.Next < page.Glyphs.size()) {
      TWdGlyph* g = page.Glyphs[page.Next];
      if (g->Row && S.Height > 0 && g->Row->Y - page.ScrollOffset >= S.Height) break;  // the owner scrolls
      ++page.Next;
      int32_t w = 0;
      if (g->IsReal()) {
        auto* r = static_cast<TWdReal*>(g);
        r->Alpha = 0;
        page.Fading.push_back(r);
        w = r->Wait;
      } else if (g->Kind == TWdKind::Var || g->Kind == TWdKind::HistChar) {
        w = static_cast<TWdOpe*>(g)->Wait;
      }
      if (S.Speed >= 0) page.Budget += w < 0 ? -int64_t(w) : int64_t(w) * S.Speed / 256;
      if (g->Row) {
        S.CaretX = g->Row->X + g->X + g->Width;
        S.CaretY = g->Row->Y + g->Y;
      }
      if (g->Kind == TWdKind::Char || g->Kind == TWdKind::VarChar) {
        const uint16_t c = static_cast<TWdChar*>(g)->Code;
        if (c >= 256) text += char(c >> 8);
        text += char(c);
      } else if (g->Kind == TWdKind::Img) {
        text += '*';
      } else if (g->Kind == TWdKind::Event && S.EventsOn) {
        auto* e = static_cast<TWdOpe*>(g);
        if (!page.PendingEvents.empty()) page.PendingEvents += '\t';
        page.PendingEvents += e->End ? "\x01" + e->Value : e->Value;
        const bool nextIsEvent =
            page.Next < page.Glyphs.size() && page.Glyphs[page.Next]->Kind == TWdKind::Event;
        if (page.Budget > 0 || !nextIsEvent) break;
      }
    }
  }
  // Fade-in.
  page.FadeAcc += int64_t(elapsed) * 256;
  if (!page.Fading.empty()) {
    const int64_t step = S.FadeTime > 0 ? page.FadeAcc / S.FadeTime : 255;
    if (S.FadeTime > 0) page.FadeAcc %= S.FadeTime;
    for (auto* r : page.Fading) r->Alpha = int32_t(std::min<int64_t>(255, r->Alpha + step));
    page.Fading.erase(std::remove_if(page.Fading.begin(), page.Fading.end(), [](TWdReal* r) { return r->Alpha > 254; }),
                      page.Fading.end());
  } else {
    page.FadeAcc = 0;
  }
  if (!page.PendingEvents.empty() && page.Fading.empty()) {
    const std::string all = std::move(page.PendingEvents);
    page.PendingEvents.clear();
    size_t s = 0;
    while (true) {
      const size_t e = all.find('\t', s);
      if (OnEvent) OnEvent(all.substr(s, e == std::string::npos ? std::string::npos : e - s));
      if (e == std::string::npos) break;
      s = e + 1;
    }
  }
  return text;
}

bool TTpWord::IsDone(const TWdPage& page) const {
  return page.Next >= page.Glyphs.size() && page.Fading.empty() && page.PendingEvents.empty();
}

void TTpWord::RevealAll(TWdPage& page) {
  page.Started = true;
  for (auto* g : page.Glyphs)
    if (g->IsReal()) static_cast<TWdReal*>(g)->Alpha = 255;
  page.Next = page.Glyphs.size();
  page.Fading.clear();
  page.Budget = 0;
}

void TTpWord::RestartReveal(TWdPage& page) {
  for (auto* g : page.Glyphs)
    if (g->IsReal()) static_cast<TWdReal*>(g)->Alpha = 0;
  page.Next = 0;
  page.Started = false;
  page.Fading.clear();
  page.PendingEvents.clear();
  page.Budget = page.FadeAcc = 0;
}

TWdReal* TTpWord::HitTest(TWdPage& page, int32_t x, int32_t y) const {
  x -= S.OriginX;
  y -= S.OriginY - page.ScrollOffset;
  for (auto* g : page.Glyphs) {
    if (!g->IsReal() || !g->Row) continue;
    auto* r = static_cast<TWdReal*>(g);
    if (r->Alpha <= 254) continue;
    const int32_t gx = g->Row->X + g->X, gy = g->Row->Y + g->Y;
    if (x >= gx && x < gx + g->Width && y >= gy && y < gy + g->Height) return r;
  }
  return nullptr;
}

bool TTpWord::SetHover(TWdPage& page, int32_t x, int32_t y) {
  TWdReal* hit = HitTest(page, x, y);
  std::vector<bool> want(page.Glyphs.size(), false);
  if (hit && !hit->Link.empty()) {
    size_t at = 0;
    while (page.Glyphs[at] != hit) ++at;
    auto same = [&](size_t k) {
      return page.Glyphs[k]->IsReal() && static_cast<TWdReal*>(page.Glyphs[k])->Link == hit->Link;
    };
    for (size_t k = at; k < page.Glyphs.size() && same(k); ++k) want[k] = true;
    for (size_t k = at; k-- > 0 && same(k);) want[k] = true;
  }
  bool changed = false;
  for (size_t k = 0; k < page.Glyphs.size(); ++k)
    if (page.Glyphs[k]->IsReal()) {
      auto* r = static_cast<TWdReal*>(page.Glyphs[k]);
      if (r->Hovered != want[k]) r->Hovered = want[k], changed = true;
    }
  return changed;
}

void TTpWord::StartFadeOut(TWdPage& page, int32_t ms) {
  page.FadingOut = true;
  page.FadeOutTime = std::max(0, ms);
  page.FadeOutElapsed = 0;
  for (auto* g : page.Glyphs)
    if (g->IsReal()) static_cast<TWdReal*>(g)->FadeFrom = static_cast<TWdReal*>(g)->Alpha;
}

bool TTpWord::StepFadeOut(TWdPage& page, int32_t elapsed) {
  if (!page.FadingOut) return true;
  page.FadeOutElapsed = int32_t(std::min<int64_t>(int64_t(page.FadeOutElapsed) + std::max(0, elapsed), INT32_MAX));
  const bool done = page.FadeOutElapsed >= page.FadeOutTime;
  for (auto* g : page.Glyphs)
    if (g->IsReal()) {
      auto* r = static_cast<TWdReal*>(g);
      r->Alpha = done ? 0
                      : int32_t(int64_t(r->FadeFrom) * (page.FadeOutTime - page.FadeOutElapsed) / page.FadeOutTime);
    }
  return done;
}

std::string TTpWord::PageText(const TWdPage& page) const {
  std::string s;
  for (auto* g : page.Glyphs) {
    if (g->Kind == TWdKind::Char || g->Kind == TWdKind::VarChar) {
      const uint16_t c = static_cast<const TWdChar*>(g)->Code;
      if (c >= 256) s += char(c >> 8);
      s += char(c);
    } else if (g->Kind == TWdKind::Img) {
      s += '*';
    } else if (IsReturn(g)) {
      s += '\r';
    }
  }
  return s;
}

}  // namespace kest
