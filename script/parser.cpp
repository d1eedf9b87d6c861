#include "script/parser.h"

#include <algorithm>
#include <unordered_map>

#include "common/numeric.h"
#include "common/sjis.h"
#include "script/paramcoll.h"
#include "vfs/records.h"
#include "vfs/streams.h"

namespace kest {

namespace {

constexpr const char* kSymbols[21] = {"",  "",   "+",  "-",  "*",  "/",  "%",  "|",  "&",  "^", "dim",
                                      "",  "==", ">",  "<",  ">=", "<=", "<<", ">>", "++", "<>"};

// How deep the compile of a text may recurse (arguments and groups compile as statements
// of their own) before it gives up with a syntax error instead of exhausting the stack,
// and the longest text it takes: the rewriting works in time growing with the square of
// the length, and no title writes an expression of more than a few hundred bytes.
constexpr int kMaxCompileDepth = 200;
constexpr size_t kMaxCompileText = 65536;

[[noreturn]] void Syntax() { throw EKest(script_msg::kSyntax); }

bool IsOpChar(char c) {
  switch (c) {
    case '+': case '-': case '*': case '/': case '%': case '|': case '&': case '^':
    case '=': case '[': case ']': case '(': case ')': case ',': case '<': case '>':
      return true;
    default:
      return false;
  }
}
bool IsTokenOpChar(char c) {
  switch (c) {
    case '%': case '&': case '*': case '+': case '-': case '/': case '<': case '=': case '>':
    case '^': case '|':
      return true;
    default:
      return false;
  }
}
bool IsIdentChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Character starts of a text (a double-byte pair is one character).
std::vector<size_t> Starts(const std::string& s) {
  std::vector<size_t> v;
  for (size_t i = 0; i < s.size(); i = NextChar(s, i)) v.push_back(i);
  return v;
}
// The single-byte character at a start, or 0 for a double-byte one.
char Single(const std::string& s, size_t i) { return CharLen(s, i) == 1 ? s[i] : '\0'; }

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  return std::string(s.substr(b, e - b));
}

bool HasOpChar(const std::string& s) {
  for (size_t i = 0; i < s.size(); i = NextChar(s, i))
    if (IsOpChar(Single(s, i))) return true;
  return false;
}

// Pairs of open and close brackets (positions of the open ones in text order with their
// partners); an unmatched one is a syntax error.
std::vector<std::pair<size_t, size_t>> MatchPairs(const std::string& s, char open, char close) {
  std::vector<std::pair<size_t, size_t>> pairs;
  std::vector<size_t> stack;
  std::vector<size_t> opens;
  for (size_t i = 0; i < s.size(); i = NextChar(s, i)) {
    const char c = Single(s, i);
    if (c == open) {
      stack.push_back(pairs.size());
      pairs.emplace_back(i, std::string::npos);
    } else if (c == close) {
      if (stack.empty()) Syntax();
      pairs[stack.back()].second = i;
      stack.pop_back();
    }
  }
  if (!stack.empty()) Syntax();
  return pairs;
}

// The start of the nearest non-space character before position p, or npos.
size_t PrevNonSpace(const std::vector<size_t>& starts, const std::string& s, size_t p) {
  auto it = std::lower_bound(starts.begin(), starts.end(), p);
  while (it != starts.begin()) {
    --it;
    if (Single(s, *it) != ' ') return *it;
  }
  return std::string::npos;
}

// Splits at commas outside "[" "]" (every comma when `brackets` is false), trimming.
std::vector<std::string> SplitArgs(const std::string& s, bool brackets) {
  std::vector<std::string> out;
  int level = 0;
  size_t start = 0;
  for (size_t i = 0; i < s.size(); i = NextChar(s, i)) {
    const char c = Single(s, i);
    if (brackets && c == '[') ++level;
    if (brackets && c == ']' && --level < 0) Syntax();
    if (c == ',' && level == 0) {
      out.push_back(Trim(std::string_view(s).substr(start, i - start)));
      start = i + 1;
    }
  }
  if (level != 0) Syntax();
  out.push_back(Trim(std::string_view(s).substr(start)));
  return out;
}

// Removes parentheses that enclose the whole text, as long as they do.
std::string StripParens(std::string s) {
  while (s.size() >= 2 && s.front() == '(' && s.back() == ')' && IsCharStart(s, s.size() - 1)) {
    int level = 1;
    bool encloses = true;
    for (size_t i = 1; i < s.size(); i = NextChar(s, i)) {
      const char c = Single(s, i);
      if (c == '(') ++level;
      if (c == ')') --level;
      if (level == 0 && i + 1 < s.size()) {
        encloses = false;
        break;
      }
    }
    if (!encloses) break;
    s = s.substr(1, s.size() - 2);
  }
  return s;
}

int32_t BinaryCode(const std::string& op) {
  static const struct { const char* op; int32_t code; } kOps[] = {
      {"+", OP_ADD},  {"-", OP_SUB},  {"*", OP_MUL},  {"/", OP_DIV},    {"%", OP_MOD},
      {"|", OP_OR},   {"&", OP_AND},  {"^", OP_XOR},  {"==", OP_EQ},    {">", OP_GT},
      {"<", OP_LT},   {">=", OP_GE},  {"<=", OP_LE},  {"<<", OP_SHL},   {">>", OP_SHR},
      {"++", OP_CONCAT}, {"<>", OP_NE},
  };
  for (const auto& o : kOps)
    if (op == o.op) return o.code;
  return 0;
}

int Level(const std::string& op) {
  if (op == "*" || op == "/" || op == "%") return 1;
  if (op == "+" || op == "-") return 2;
  if (op == "<<" || op == ">>") return 3;
  if (op == "==" || op == ">=" || op == "<=" || op == ">" || op == "<" || op == "<>") return 4;
  if (op == "++") return 5;
  if (op == "&") return 6;
  if (op == "^") return 7;
  if (op == "|") return 8;
  if (op == "=") return 9;
  return 0;
}

struct Token {
  std::string text;
  bool op;
};

bool BeginsWithAny(const std::string& s, const char* set) {
  return !s.empty() && std::string_view(set).find(s[0]) != std::string_view::npos;
}

// Characters inside string literals: a lead byte pairs only with a byte that can follow
// it (0x40..0xFC but 0x7F), so a lone lead byte at the end of a pasted text never takes
// the closing quote with it.
size_t LiteralCharLen(std::string_view s, size_t i) {
  if (i + 1 < s.size() && IsLeadByte(s[i])) {
    const unsigned char t = static_cast<unsigned char>(s[i + 1]);
    if (t >= 0x40 && t <= 0xFC && t != 0x7F) return 2;
  }
  return 1;
}

bool IsPlainTemp(const std::string& s) {
  return s.compare(0, 4, "____") == 0 && s.compare(0, 6, "____d_") != 0 && s != "____arg";
}

}  // namespace

const char* OpeSymbol(int32_t code) { return code >= 0 && code <= 20 ? kSymbols[code] : ""; }

// ---- compile

std::string TBuildKestParser::NewTemp(bool element) {
  std::string s = element ? "____d_" : "____";
  s += tag_;
  s += IntToText(counter_);
  counter_ = int32_t(uint32_t(counter_) + 1);
  return s;
}

void TBuildKestParser::Compile(std::string_view text) {
  if (text.size() > kMaxCompileText) Syntax();
  const size_t first = records_.size();
  CompileText(std::string(text), 0);
  // Copies between plain temporaries go: later uses name the copied temporary instead.
  for (size_t r = first; r < records_.size();) {
    TBuildOpeData& d = records_[r];
    if (d.code == OP_ASSIGN && d.operands.size() == 1 && IsPlainTemp(d.target) &&
        IsPlainTemp(d.operands[0])) {
      const std::string from = d.target, to = d.operands[0];
      records_.erase(records_.begin() + std::ptrdiff_t(r));
      for (size_t k = r; k < records_.size(); ++k) {
        if (records_[k].target == from) records_[k].target = to;
        for (std::string& o : records_[k].operands)
          if (o == from) o = to;
      }
      continue;
    }
    ++r;
  }
}

std::string TBuildKestParser::ArgumentOperand(std::string arg, int depth) {
  arg = StripParens(std::move(arg));
  if (arg.empty() || !HasOpChar(arg)) return arg;
  std::string t = NewTemp(false);
  CompileText(t + " = " + arg, depth + 1);
  return t;
}

void TBuildKestParser::CompileText(std::string s, int depth) {
  if (depth > kMaxCompileDepth) Syntax();

  // 1. String literals, edited in place while they are scanned.
  for (;;) {
    size_t open = std::string::npos;
    for (size_t i = 0; i < s.size(); i = NextChar(s, i))
      if (Single(s, i) == '"') {
        open = i;
        break;
      }
    if (open == std::string::npos) break;
    std::string content;
    size_t i = open + 1;
    bool closed = false;
    while (i < s.size()) {
      if (LiteralCharLen(s, i) == 2) {
        content.append(s, i, 2);
        i += 2;
        continue;
      }
      const char c = s[i];
      if (c == '\\' && i + 1 < s.size()) {
        const char d = s[i + 1];
        if (d == '"' || d == '\\') {
          content += d;
          i += 2;
          continue;
        }
        if (d == 'n') {
          content += "\r\n";
          i += 2;
          continue;
        }
      }
      if (c == '"') {
        closed = true;
        break;
      }
      content += c;
      ++i;
    }
    if (!closed) {
      // The quote stays as ordinary text; what was edited stays edited.
      s = s.substr(0, open + 1) + content;
      break;
    }
    const std::string t = NewTemp(false);
    records_.push_back({OP_ASSIGN, t, 0, {"\"" + content + "\""}});
    s.replace(open, i + 1 - open, t);
  }

  // 2. Function calls, from the last one.
  for (;;) {
    const auto pairs = MatchPairs(s, '(', ')');
    const std::vector<size_t> starts = Starts(s);
    size_t open = std::string::npos, close = 0, nameEnd = 0;
    for (size_t k = pairs.size(); k-- > 0;) {
      const size_t q = PrevNonSpace(starts, s, pairs[k].first);
      if (q != std::string::npos && IsIdentChar(Single(s, q))) {
        open = pairs[k].first;
        close = pairs[k].second;
        nameEnd = q + 1;
        break;
      }
    }
    if (open == std::string::npos) break;
    // The run of identifier characters that ends just before the "(" (spaces between).
    size_t idx = size_t(std::lower_bound(starts.begin(), starts.end(), nameEnd - 1) - starts.begin());
    while (idx > 0 && IsIdentChar(Single(s, starts[idx - 1]))) --idx;
    const size_t nameStart = starts[idx];
    const std::string name = s.substr(nameStart, nameEnd - nameStart);
    const std::string argText = s.substr(open + 1, close - open - 1);
    const std::string t = NewTemp(false);
    s.replace(nameStart, close + 1 - nameStart, t);
    std::vector<std::string> args;
    if (!Trim(argText).empty()) args = SplitArgs(argText, true);
    TBuildOpeData call{OP_CALL, t, 0, {name}};
    for (std::string& a : args) call.operands.push_back(ArgumentOperand(std::move(a), depth));
    records_.push_back(std::move(call));
  }

  // 3. Element references, from the last "[".
  for (;;) {
    const auto pairs = MatchPairs(s, '[', ']');
    if (pairs.empty()) break;
    size_t open = 0, close = 0;
    for (const auto& p : pairs)
      if (p.first >= open) open = p.first, close = p.second;
    const std::vector<size_t> starts = Starts(s);
    const size_t q = PrevNonSpace(starts, s, open);
    if (q == std::string::npos || IsOpChar(Single(s, q))) Syntax();
    size_t nameStart = q;
    for (;;) {
      auto it = std::lower_bound(starts.begin(), starts.end(), nameStart);
      if (it == starts.begin()) break;
      const size_t prev = *(it - 1);
      const char c = Single(s, prev);
      if (c == ' ' || IsOpChar(c)) break;
      nameStart = prev;
    }
    const size_t nameEnd = NextChar(s, q);
    const std::string name = s.substr(nameStart, nameEnd - nameStart);
    const std::string subText = s.substr(open + 1, close - open - 1);
    const std::string t = NewTemp(true);
    s.replace(nameStart, close + 1 - nameStart, t);
    if (Trim(subText).empty()) throw EKest(script_msg::kNoSubscript);
    TBuildOpeData dim{OP_DIM, t, 0, {name}};
    for (std::string& sub : SplitArgs(subText, false))
      dim.operands.push_back(ArgumentOperand(std::move(sub), depth));
    records_.push_back(std::move(dim));
  }

  // 4. Grouping parentheses, from the last one.
  for (;;) {
    const auto pairs = MatchPairs(s, '(', ')');
    const std::vector<size_t> starts = Starts(s);
    size_t open = std::string::npos, close = 0;
    for (size_t k = pairs.size(); k-- > 0;) {
      const size_t q = PrevNonSpace(starts, s, pairs[k].first);
      if (q == std::string::npos || !IsIdentChar(Single(s, q))) {
        open = pairs[k].first;
        close = pairs[k].second;
        break;
      }
    }
    if (open == std::string::npos) break;
    const std::string content = s.substr(open + 1, close - open - 1);
    const std::string t = NewTemp(false);
    s.replace(open, close + 1 - open, t);
    CompileText(t + " = " + content, depth + 1);
  }

  Reduce(std::move(s), depth);
}

void TBuildKestParser::Reduce(std::string s, int) {
  // 5. Tokens.
  std::vector<Token> tokens;
  std::string operand;
  auto flush = [&] {
    std::string t = Trim(operand);
    if (!t.empty()) tokens.push_back({std::move(t), false});
    operand.clear();
  };
  for (size_t i = 0; i < s.size();) {
    const char c = Single(s, i);
    if (IsTokenOpChar(c)) {
      flush();
      std::string op(1, c);
      if (i + 1 < s.size() && CharLen(s, i + 1) == 1) {
        const std::string pair = op + s[i + 1];
        if (pair == "==" || pair == ">=" || pair == "<=" || pair == "++" || pair == "<>" ||
            pair == "<<" || pair == ">>")
          op = pair;
      }
      tokens.push_back({op, true});
      i += op.size();
      continue;
    }
    const size_t l = CharLen(s, i);
    operand.append(s, i, l);
    i += l;
  }
  flush();
  const bool emptyFromStart = tokens.empty();

  // 6. Unary signs after an operator.
  for (size_t i = tokens.size() >= 2 ? tokens.size() - 2 : 0; i >= 1 && i < tokens.size(); --i) {
    Token& t = tokens[i];
    if (!t.op || (t.text != "+" && t.text != "-")) continue;
    if (!BeginsWithAny(tokens[i - 1].text, "=+-*/%&^|[(,<>")) continue;
    if (t.text == "-") {
      const std::string tmp = NewTemp(false);
      records_.push_back({OP_SUB, tmp, 0, {"0", tokens[i + 1].text}});
      tokens[i + 1] = {tmp, false};
    }
    tokens.erase(tokens.begin() + std::ptrdiff_t(i));
  }

  // 7. Reduction by precedence, leftmost first within a level.
  bool assigned = false;
  for (int level = 1; level <= 9; ++level) {
    for (;;) {
      size_t i = 0;
      while (i < tokens.size() && !(tokens[i].op && Level(tokens[i].text) == level)) ++i;
      if (i == tokens.size()) break;
      const std::string op = tokens[i].text;
      if (i + 1 >= tokens.size() || tokens[i + 1].op) Syntax();  // no right operand
      if (op == "=") {
        if (i == 0 || tokens[i - 1].op) Syntax();
        records_.push_back({OP_ASSIGN, tokens[i - 1].text, 0, {tokens[i + 1].text}});
        tokens.erase(tokens.begin() + std::ptrdiff_t(i - 1), tokens.begin() + std::ptrdiff_t(i + 2));
        assigned = true;
        continue;
      }
      if (i == 0) {
        if (op != "+" && op != "-") Syntax();
        const std::string tmp = NewTemp(false);
        records_.push_back({uint8_t(BinaryCode(op)), tmp, 0, {"0", tokens[1].text}});
        tokens.erase(tokens.begin());
        tokens[0] = {tmp, false};
        continue;
      }
      if (tokens[i - 1].op || BeginsWithAny(tokens[i - 1].text, "+-*/%|&^=[(<>")) Syntax();
      const std::string tmp = NewTemp(false);
      records_.push_back({uint8_t(BinaryCode(op)), tmp, 0, {tokens[i - 1].text, tokens[i + 1].text}});
      tokens.erase(tokens.begin() + std::ptrdiff_t(i), tokens.begin() + std::ptrdiff_t(i + 2));
      tokens[i - 1] = {tmp, false};
    }
  }
  if (emptyFromStart) {
    records_.push_back({OP_ASSIGN, "____arg", 0, {s}});
    return;
  }
  if (tokens.empty()) return;
  if (assigned || tokens.size() > 1) Syntax();
  records_.push_back({OP_ASSIGN, "____arg", 0, {tokens[0].text}});
}

// ---- writing

namespace {
void WriteOperandText(TStream& s, const std::string& t) {
  if (auto i = ParseInt(t)) {
    WriteByte(s, PT_INT);
    WriteInt(s, *i);
  } else if (auto f = ParseFloat(t)) {
    WriteByte(s, PT_FLOAT);
    WriteReal(s, *f);
  } else if (t == "TRUE" || t == "FALSE") {
    WriteByte(s, PT_BOOL);
    WriteByte(s, t == "TRUE" ? 1 : 0);
  } else if (t.size() > 1 && t.front() == '"' && t.back() == '"') {
    WriteByte(s, PT_STR);
    WriteString(s, t.substr(1, t.size() - 2));
  } else {
    WriteByte(s, PT_NONE);
    WriteString(s, t);
  }
}
}  // namespace

void TBuildKestParser::WriteTo(TStream& s) {
  for (TBuildOpeData& d : records_) {
    if (d.code != OP_CALL) continue;
    const std::string& name = d.operands.empty() ? std::string() : d.operands[0];
    const int32_t id = FindSysFunc(name);
    if (id < 0) throw EKest(FormatMessage(script_msg::kNoFunction, name));
    const TSysFuncInfo* f = SysFuncInfo(id);
    const int32_t n = int32_t(d.operands.size()) - 1;
    if (n < f->minArgs || (f->maxArgs >= 0 && n > f->maxArgs))
      throw EKest(std::string(f->name) + script_msg::kArgCount);
    d.funcId = uint8_t(id);
  }
  WriteInt(s, int32_t(records_.size()));
  for (const TBuildOpeData& d : records_) {
    WriteByte(s, d.code);
    WriteString(s, d.target);
    const size_t first = d.code == OP_CALL ? 1 : 0;
    WriteInt(s, int32_t(d.operands.size() - first));
    if (d.code == OP_CALL) WriteByte(s, d.funcId);
    for (size_t k = first; k < d.operands.size(); ++k) WriteOperandText(s, d.operands[k]);
  }
}

namespace {
std::string ListingLine(int32_t code, const std::string& target, const std::string& func,
                        const std::vector<std::string>& ops) {
  std::string l = target + " = ";
  auto join = [&](size_t from) {
    std::string j;
    for (size_t k = from; k < ops.size(); ++k) j += (k > from ? "," : "") + ops[k];
    return j;
  };
  if (code == OP_ASSIGN) {
    l += ops.empty() ? std::string() : ops[0];
  } else if (code == OP_CALL) {
    l += func + "(" + join(0) + ")";
  } else if (code == OP_DIM) {
    l += (ops.empty() ? std::string() : ops[0]) + "[" + join(1) + "]";
  } else {
    l += (ops.size() > 0 ? ops[0] : std::string()) + " " + OpeSymbol(code) + " " +
         (ops.size() > 1 ? ops[1] : std::string());
  }
  return l + "\n";
}
}  // namespace

std::string TBuildKestParser::Listing() const {
  std::string out;
  for (const TBuildOpeData& d : records_) {
    if (d.code == OP_CALL) {
      std::vector<std::string> args(d.operands.begin() + (d.operands.empty() ? 0 : 1), d.operands.end());
      out += ListingLine(d.code, d.target, d.operands.empty() ? "" : d.operands[0], args);
    } else {
      out += ListingLine(d.code, d.target, "", d.operands);
    }
  }
  return out;
}

// ---- run side: streams

namespace {
[[noreturn]] void BadExpression() { throw EKestBadData(kMsgBadExpression); }

std::unique_ptr<TCustomParam> CopyOperand(const TCustomParam& v) {
  if (auto* ref = dynamic_cast<const TParamVar*>(&v)) {
    auto r = std::make_unique<TParamVar>(nullptr);
    r->SetName(ref->Name());
    return r;
  }
  auto c = NewParamOfKind(v.GetKind());
  c->AssignData(v);
  return c;
}

std::string OperandText(const TCustomParam& v) {
  if (auto* ref = dynamic_cast<const TParamVar*>(&v)) return ref->Name();
  if (v.GetKind() == PT_STR) return "\"" + v.GetStr() + "\"";
  return v.GetStr();
}

bool OperandCountFits(int32_t code, uint8_t funcId, int32_t m) {
  if (code == OP_CALL) {
    const TSysFuncInfo* f = SysFuncInfo(funcId);
    return f && m >= f->minArgs && (f->maxArgs < 0 || m <= f->maxArgs);
  }
  if (code == OP_ASSIGN) return m >= 1;
  return m >= 2;
}
}  // namespace

void TKestParser::LoadFromStream(TStream& s) {
  // A record takes at least 9 bytes (code, target length, operand count), an operand at
  // least 2 (kind and a flag byte).
  const int32_t n = ReadInt(s);
  if (n < 0 || int64_t(n) > s.Remaining() / 9) BadExpression();
  std::vector<TOpeData> records;
  records.reserve(size_t(n));
  for (int32_t i = 0; i < n; ++i) {
    TOpeData r;
    r.code = ReadByte(s);
    if (r.code < OP_ASSIGN || r.code > OP_NE) BadExpression();
    r.target = ReadString(s);
    const int32_t m = ReadInt(s);
    if (m < 0 || int64_t(m) > s.Remaining() / 2) BadExpression();
    if (r.code == OP_CALL) {
      r.funcId = ReadByte(s);
      if (r.funcId >= kSysFuncCount) BadExpression();
    }
    if (!OperandCountFits(r.code, r.funcId, m)) BadExpression();
    r.operands.reserve(size_t(m));
    for (int32_t k = 0; k < m; ++k) {
      const uint8_t kind = ReadByte(s);
      switch (kind) {
        case PT_NONE: {
          auto ref = std::make_unique<TParamVar>(nullptr);
          ref->SetName(ReadString(s));
          r.operands.push_back(std::move(ref));
          break;
        }
        case PT_INT: {
          auto v = std::make_unique<TParamInt>();
          v->SetInt(ReadInt(s));
          r.operands.push_back(std::move(v));
          break;
        }
        case PT_FLOAT: {
          auto v = std::make_unique<TParamFloat>();
          v->SetFloat(ReadReal(s));
          r.operands.push_back(std::move(v));
          break;
        }
        case PT_BOOL: {
          auto v = std::make_unique<TParamFlag>();
          v->SetBool(ReadByte(s) != 0);
          r.operands.push_back(std::move(v));
          break;
        }
        case PT_STR: {
          auto v = std::make_unique<TParamStr>();
          v->SetStr(ReadString(s));
          r.operands.push_back(std::move(v));
          break;
        }
        default:
          BadExpression();
      }
    }
    r.Prepare();
    records.push_back(std::move(r));
  }
  records_ = std::move(records);
  resultRecord_ = !records_.empty() && records_.back().code == OP_ASSIGN && records_.back().target == "____arg";
  PreparePrivate();
}

void TOpeData::Prepare() {
  refs.clear();
  for (auto& o : operands)
    if (TParamVar* v = o->AsVar()) refs.push_back(v);
  refChains.assign(refs.size(), nullptr);
  args.clear();
  for (auto& o : operands) args.push_back(o.get());
  targetChain = nullptr;
  chainsOf = 0;
  tempTarget = target.compare(0, 4, "____") == 0;
}

void TKestParser::SaveToStream(TStream& s) const {
  WriteInt(s, int32_t(records_.size()));
  for (const TOpeData& r : records_) {
    WriteByte(s, r.code);
    WriteString(s, r.target);
    WriteInt(s, int32_t(r.operands.size()));
    if (r.code == OP_CALL) WriteByte(s, r.funcId);
    for (const auto& o : r.operands) {
      if (auto* ref = dynamic_cast<const TParamVar*>(o.get())) {
        WriteByte(s, PT_NONE);
        WriteString(s, ref->Name());
        continue;
      }
      const int32_t kind = o->GetKind();
      WriteByte(s, uint8_t(kind));
      switch (kind) {
        case PT_INT:
          WriteInt(s, o->GetInt());
          break;
        case PT_FLOAT:
          WriteReal(s, o->GetFloat());
          break;
        case PT_BOOL:
          WriteByte(s, o->GetBool() ? 1 : 0);
          break;
        default:
          WriteString(s, o->GetStr());
          break;
      }
    }
  }
}

void TKestParser::Assign(const TKestParser& other) {
  if (&other == this) return;
  std::vector<TOpeData> records;
  records.reserve(other.records_.size());
  for (const TOpeData& r : other.records_) {
    TOpeData c;
    c.code = r.code;
    c.target = r.target;
    c.funcId = r.funcId;
    for (const auto& o : r.operands) c.operands.push_back(CopyOperand(*o));
    c.Prepare();
    records.push_back(std::move(c));
  }
  records_ = std::move(records);
  resultRecord_ = other.resultRecord_;
  PreparePrivate();
}

std::string TKestParser::Listing() const {
  std::string out;
  for (const TOpeData& r : records_) {
    std::vector<std::string> ops;
    for (const auto& o : r.operands) ops.push_back(OperandText(*o));
    const TSysFuncInfo* f = r.code == OP_CALL ? SysFuncInfo(r.funcId) : nullptr;
    out += ListingLine(r.code, r.target, f ? f->name : "", ops);
  }
  return out;
}

// ---- execution

namespace {
std::string BadOperationMessage(const TOpeData& r) {
  std::string m = script_msg::kBadOperation;
  m += r.target;
  m += script_msg::kOperationType;
  m += OpeSymbol(r.code);
  for (const auto& o : r.operands) m += "\r\n" + OperandText(*o);
  return m;
}

int32_t NewTempKind(TSysFuncMan& funcs, const TOpeData& r) {
  auto kindOf = [&](size_t k) { return k < r.operands.size() ? r.operands[k]->GetKind() : int32_t(PT_NONE); };
  switch (r.code) {
    case OP_ASSIGN:
      return kindOf(0);
    case OP_ADD: {
      const int32_t k = kindOf(0);
      return k == PT_STR ? PT_STR : k == PT_FLOAT ? PT_FLOAT : PT_INT;
    }
    case OP_SUB:
    case OP_MUL:
    case OP_DIV:
      return kindOf(0) == PT_FLOAT ? PT_FLOAT : PT_INT;
    case OP_DIM:
      return PT_NONE;
    case OP_CALL: {
      const TSysFuncInfo* f = SysFuncInfo(r.funcId);
      if (!f) return PT_INT;
      if (r.funcId != SF_GETPROP) return f->kind;
      const int32_t prop = r.operands.size() > 1 ? r.operands[1]->GetInt() : -1;
      const TPropertyInfo* p = PropertyInfo(prop);
      if (!p) throw EKest(script_msg::kGetPropArg);
      return p->kind;
    }
    case OP_EQ:
    case OP_GT:
    case OP_LT:
    case OP_GE:
    case OP_LE:
    case OP_NE:
      return PT_BOOL;
    case OP_CONCAT:
      return PT_STR;
    case OP_MOD:
    case OP_OR:
    case OP_AND:
    case OP_XOR:
    case OP_SHL:
    case OP_SHR:
      return PT_INT;
    default:
      (void)funcs;
      throw EKest(BadOperationMessage(r));
  }
}

// The array name with its subscripts as the element errors show them: "arr[1,2]".
std::string ElementText(const TOpeData& r) {
  std::string s = r.operands.empty() ? std::string() : OperandText(*r.operands[0]);
  s += '[';
  for (size_t k = 1; k < r.operands.size(); ++k) {
    if (k > 1) s += ',';
    s += IntToText(r.operands[k]->GetInt());
  }
  return s + "]";
}

void BindElement(TParamCollection& vars, const TOpeData& r, TParamCollectionItem* temp) {
  TParamVar* ref = temp->Value()->AsVar();
  if (!ref || r.operands.empty()) return;
  TParamVar* nameRef = r.operands[0]->AsVar();
  TParamCollectionItem* arrayItem = nameRef ? nameRef->Target() : nullptr;
  // A constant in place of the array name has no elements to refer to.
  if (!arrayItem) throw EKest(ElementText(r) + "\r\n" + script_msg::kBadSubscripts);
  const TCustomParam& arr = *arrayItem->Value();
  const int32_t subs = int32_t(r.operands.size()) - 1;
  if (subs != arr.GetDimCount())
    throw EKest(ElementText(r) + "\r\n" + script_msg::kBadSubscripts);
  // From the last subscript to the first, in 64 bits.
  int64_t index = 0, stride = 1;
  bool huge = false;
  for (int32_t k = subs; k >= 1; --k) {
    index += int64_t(r.operands[size_t(k)]->GetInt()) * stride;
    stride *= arr.GetDim(k - 1);
    if (index > INT32_MAX || index < INT32_MIN || stride > (int64_t(1) << 40)) huge = true;
  }
  if (huge || index >= arr.GetCount()) throw EKest(ElementText(r) + "\r\n" + script_msg::kBeyondCount);
  (void)vars;
  ref->SetName(nameRef->Name());
  ref->SetTarget(arrayItem);
  // Negative indexes are kept: the element access refuses them.
  ref->SetElementIndex(int32_t(index));
}

[[noreturn]] void DivByZero() { throw EKest(script_msg::kDivByZero); }

// An operand as the operations read it: element `idx` of a value (a constant, a variable's
// value, an array behind an element temporary).
struct TArgView {
  TCustomParam* v;
  int32_t idx;
  int32_t Kind() const { return v->GetKind(); }
  int32_t Int() const { return v->GetIntAt(idx); }
  Float Flt() const { return v->GetFloatAt(idx); }
  bool Bool() const { return v->GetBoolAt(idx); }
  std::string Str() const { return v->GetStrAt(idx); }
};
// A target as the operations store into it: a value through its scalar setters, or an
// element of an array.
struct TTargetView {
  TCustomParam* v;
  int32_t idx;
  bool element;
  int32_t Kind() const { return v->GetKind(); }
  void Int(int32_t x) const { element ? v->SetIntAt(idx, x) : v->SetInt(x); }
  void Flt(Float x) const { element ? v->SetFloatAt(idx, x) : v->SetFloat(x); }
  void Bool(bool x) const { element ? v->SetBoolAt(idx, x) : v->SetBool(x); }
  void Str(const std::string& x) const { element ? v->SetStrAt(idx, x) : v->SetStr(x); }
};


// Every operation but the call and the element binding.
void Perform(const TOpeData& r, const TTargetView& t, const TArgView* ops) {
  const TArgView& A = ops[0];
  const TArgView& B = ops[1];
  switch (r.code) {
    case OP_ASSIGN:
      switch (t.Kind()) {
        case PT_INT:
          t.Int(A.Int());
          break;
        case PT_FLOAT:
          t.Flt(A.Flt());
          break;
        case PT_BOOL:
          t.Bool(A.Bool());
          break;
        case PT_STR:
          t.Str(A.Str());
          break;
        default:
          break;
      }
      break;
    case OP_ADD:
    case OP_SUB:
    case OP_MUL:
    case OP_DIV:
      if (t.Kind() == PT_FLOAT) {
        const Float a = A.Flt(), b = B.Flt();
        Float x = 0;
        switch (r.code) {
          case OP_ADD: x = a + b; break;
          case OP_SUB: x = a - b; break;
          case OP_MUL: x = a * b; break;
          default:
            if (b == 0) DivByZero();
            x = a / b;
            break;
        }
        t.Flt(x);
      } else {
        const int32_t a = A.Int(), b = B.Int();
        const uint32_t ua = uint32_t(a), ub = uint32_t(b);
        int32_t x = 0;
        switch (r.code) {
          case OP_ADD: x = int32_t(ua + ub); break;
          case OP_SUB: x = int32_t(ua - ub); break;
          case OP_MUL: x = int32_t(ua * ub); break;
          default:
            if (b == 0) DivByZero();
            x = IntDiv(a, b);  // toward zero; INT_MIN / -1 wraps to INT_MIN
            break;
        }
        t.Int(x);
      }
      break;
    case OP_MOD: {
      const int32_t a = A.Int(), b = B.Int();
      if (b == 0) DivByZero();
      t.Int(IntMod(a, b));  // the dividend's sign; x % -1 is 0
      break;
    }
    case OP_OR:
      t.Int(A.Int() | B.Int());
      break;
    case OP_AND:
      t.Int(A.Int() & B.Int());
      break;
    case OP_XOR:
      t.Int(A.Int() ^ B.Int());
      break;
    case OP_DIM:
      break;
    case OP_EQ:
    case OP_GT:
    case OP_LT:
    case OP_GE:
    case OP_LE:
    case OP_NE: {
      int c = 0;  // -1, 0, 1; 2 for unordered floats
      switch (A.Kind()) {
        case PT_STR: {
          const int k = A.Str().compare(B.Str());
          c = k < 0 ? -1 : k > 0 ? 1 : 0;
          break;
        }
        case PT_FLOAT: {
          const Float a = A.Flt(), b = B.Flt();
          c = a < b ? -1 : a > b ? 1 : a == b ? 0 : 2;
          break;
        }
        case PT_BOOL: {
          const int a = A.Bool(), b = B.Bool();
          c = a < b ? -1 : a > b ? 1 : 0;
          break;
        }
        default: {
          const int32_t a = A.Int(), b = B.Int();
          c = a < b ? -1 : a > b ? 1 : 0;
          break;
        }
      }
      bool v = false;
      switch (r.code) {
        case OP_EQ: v = c == 0; break;
        case OP_GT: v = c == 1; break;
        case OP_LT: v = c == -1; break;
        case OP_GE: v = c == 0 || c == 1; break;
        case OP_LE: v = c == 0 || c == -1; break;
        default: v = c != 0; break;
      }
      t.Bool(v);
      break;
    }
    case OP_SHL:
      t.Int(ShiftLeft(A.Int(), B.Int()));
      break;
    case OP_SHR:
      t.Int(ShiftRight(A.Int(), B.Int()));
      break;
    case OP_CONCAT:
      t.Str(A.Str() + B.Str());
      break;
    default:
      throw EKest(BadOperationMessage(r));
  }
}

// Keeps the operands bound while a record runs.
struct OperandBinding {
  TOpeData& r;
  ~OperandBinding() {
    for (TParamVar* ref : r.refs) ref->SetTarget(nullptr);
  }
};
}  // namespace

void TKestParser::RunRecord(TSysFuncMan& funcs, TOpeData& r, std::vector<TItemHandle>& temps) {
  TParamCollection& vars = funcs.Vars();
  OperandBinding binding{r};
  if (r.chainsOf != vars.Serial()) {
    for (size_t k = 0; k < r.refs.size(); ++k) r.refChains[k] = vars.NameChain(r.refs[k]->Name());
    r.targetChain = vars.NameChain(r.target);
    r.chainsOf = vars.Serial();
  }
  // 1. Operands by name.
  for (size_t k = 0; k < r.refs.size(); ++k) {
    TParamVar* ref = r.refs[k];
    ref->SetCollection(&vars);
    TParamCollectionItem* item = vars.FindItem(r.refChains[k]);
    if (!item) throw EKest(FormatMessage(script_msg::kNoVariable, ref->Name()));
    ref->SetTarget(item);
    const TParamVar* inner = item->Value()->AsVar();
    ref->SetElementIndex(inner ? inner->ElementIndex() : 0);
  }
  // 2. A temporary target that does not exist yet.
  TParamCollectionItem* target = vars.FindItem(r.targetChain);
  if (!target && r.tempTarget) {
    const int32_t kind = NewTempKind(funcs, r);
    target = vars.AddNamedItem(kind, r.target, r.targetChain);
    temps.push_back(target->Handle());
    if (r.code == OP_DIM) BindElement(vars, r, target);
  }
  // 3. The operation, stored through the target's setters.
  if (!target) throw EKest(FormatMessage(script_msg::kNoVariable, r.target));
  TCustomParam& t = *target->Value();
  if (r.code == OP_CALL) {
    funcs.CallFunction(t, r.funcId, r.args);
    return;
  }
  TArgView views[2] = {};
  for (size_t k = 0; k < 2 && k < r.operands.size(); ++k) {
    TCustomParam* o = r.operands[k].get();
    const TParamVar* ref = o->AsVar();
    views[k] = {o, ref ? ref->ElementIndex() : 0};
  }
  Perform(r, TTargetView{&t, 0, false}, views);
}

void TKestParser::Execute(TSysFuncMan& funcs) {
  if (result_) spare_ = std::move(result_);
  lastError_.clear();
  if (RunPrivate(funcs)) return;
  TParamCollection& vars = funcs.Vars();
  // The temporaries of this run are freed however the run ends. (A parser that runs again
  // from inside its own run keeps the inner run's list apart.)
  std::vector<TItemHandle> nested;
  std::vector<TItemHandle>& list = running_ ? nested : temps_;
  struct Temps {
    TParamCollection& vars;
    std::vector<TItemHandle>& handles;
    bool& running;
    bool outer;
    ~Temps() {
      for (size_t i = handles.size(); i-- > 0;) vars.FreeItem(vars.Resolve(handles[i]));
      handles.clear();
      if (outer) running = false;
    }
  } temps{vars, list, running_, !running_};
  running_ = true;
  struct Nesting {
    int& n;
    explicit Nesting(int& c) : n(c) { ++n; }
    ~Nesting() { --n; }
  } nesting(funcs.nesting_);
  try {
    if (funcs.nesting_ > TSysFuncMan::kMaxNesting) throw EKest(script_msg::kTooDeep);
    for (TOpeData& r : records_) RunRecord(funcs, r, list);
  } catch (const std::exception& e) {
    lastError_ = e.what();
  }
  if (resultRecord_) {
    const TOpeData& last = records_.back();
    const TParamCollectionItem* arg =
        last.chainsOf == vars.Serial() ? vars.FindItem(last.targetChain) : vars.FindItem(last.target);
    result_ = vars.CopyValue(arg, std::move(spare_));
  }
}

// ---- execution with the temporaries in the parser

namespace {
bool IsTempName(std::string_view n) { return n.compare(0, 4, "____") == 0; }
}  // namespace

void TKestParser::PreparePrivate() {
  ptemps_.clear();
  operandTemp_.clear();
  targetTemp_.clear();
  ptempChainsOf_ = 0;
  privateEligible_ = true;
  std::unordered_map<std::string, int32_t, NoCaseHash, NoCaseEqual> index;
  auto tempOf = [&](const std::string& name) -> int32_t {
    if (!IsTempName(name)) return -1;
    auto it = index.find(name);
    if (it != index.end()) return it->second;
    const int32_t k = int32_t(ptemps_.size());
    ptemps_.emplace_back();
    ptemps_.back().name = name;
    index.emplace(name, k);
    return k;
  };
  for (const TOpeData& r : records_) {
    if (r.code == OP_CALL) privateEligible_ = false;
    targetTemp_.push_back(tempOf(r.target));
    std::vector<int32_t> ops;
    for (const auto& o : r.operands) ops.push_back(o->AsVar() ? tempOf(o->AsVar()->Name()) : -1);
    operandTemp_.push_back(std::move(ops));
  }
}

bool TKestParser::RunPrivate(TSysFuncMan& funcs) {
  if (!privateEnabled_ || !privateEligible_ || running_) return false;
  TParamCollection& vars = funcs.Vars();
  if (ptempChainsOf_ != vars.Serial()) {
    for (TPrivateTemp& t : ptemps_) t.chain = vars.NameChain(t.name);
    ptempChainsOf_ = vars.Serial();
  }
  // A variable of a temporary's name (an enclosing run's) is used as it is: the
  // collection path does that.
  for (const TPrivateTemp& t : ptemps_)
    if (vars.FindItem(t.chain)) return false;
  for (TPrivateTemp& t : ptemps_) t.produced = false;
  struct Nesting {
    int& n;
    explicit Nesting(int& c) : n(c) { ++n; }
    ~Nesting() { --n; }
  } nesting(funcs.nesting_);
  try {
    if (funcs.nesting_ > TSysFuncMan::kMaxNesting) throw EKest(script_msg::kTooDeep);
    for (size_t i = 0; i < records_.size(); ++i) RunRecordPrivate(vars, i);
  } catch (const std::exception& e) {
    lastError_ = e.what();
  }
  if (resultRecord_) {
    const TPrivateTemp& arg = ptemps_[size_t(targetTemp_.back())];
    if (arg.produced) {
      // As a copy of the variable "____arg" would be.
      TCustomParam* v = arg.element ? nullptr : arg.value.get();
      const int32_t kind = arg.element ? (arg.array ? arg.array->GetKind() : int32_t(PT_NONE)) : v->GetKind();
      std::unique_ptr<TCustomParam> copy;
      if (spare_ && spare_->HoldsElements() && spare_->GetKind() == kind)
        copy = std::move(spare_);
      else
        copy = NewParamOfKind(kind);
      if (!copy) throw EKest(FormatMessage(param_msg::kBadVariable, arg.name));
      if (arg.element) {
        // An element temporary copies as its array does (a reference forwards the whole).
        copy->AssignData(*arg.array);
      } else {
        copy->AssignData(*v);
      }
      result_ = std::move(copy);
    }
  }
  return true;
}

void TKestParser::RunRecordPrivate(TParamCollection& vars, size_t i) {
  TOpeData& r = records_[i];
  if (r.chainsOf != vars.Serial()) {
    for (size_t k = 0; k < r.refs.size(); ++k) r.refChains[k] = vars.NameChain(r.refs[k]->Name());
    r.targetChain = vars.NameChain(r.target);
    r.chainsOf = vars.Serial();
  }
  // 1. Operands: constants, temporaries of this run, variables by name.
  TArgView views[2] = {};
  std::vector<TArgView> more;  // element bindings read every subscript
  const std::vector<int32_t>& temps = operandTemp_[i];
  size_t refK = 0;
  auto viewOf = [&](size_t k) -> TArgView {
    TCustomParam* o = r.operands[k].get();
    TParamVar* ref = o->AsVar();
    if (!ref) return {o, 0};
    const size_t rk = refK++;
    if (temps[k] >= 0) {
      const TPrivateTemp& t = ptemps_[size_t(temps[k])];
      if (!t.produced) throw EKest(FormatMessage(script_msg::kNoVariable, ref->Name()));
      if (t.element) return {t.array, t.index};
      return {t.value.get(), 0};
    }
    TParamCollectionItem* item = vars.FindItem(r.refChains[rk]);
    if (!item) throw EKest(FormatMessage(script_msg::kNoVariable, ref->Name()));
    TCustomParam* v = item->Value();
    const TParamVar* inner = v->AsVar();
    return {v, inner ? inner->ElementIndex() : 0};
  };
  const size_t n = r.operands.size();
  if (r.code == OP_DIM) {
    for (size_t k = 0; k < n; ++k) more.push_back(viewOf(k));
  } else {
    for (size_t k = 0; k < n; ++k) {
      const TArgView v = viewOf(k);
      if (k < 2) views[k] = v;
    }
  }
  // 2. and 3. The target: a temporary of this run (made by its first record) or a variable.
  TTargetView target{nullptr, 0, false};
  const int32_t tt = targetTemp_[i];
  if (tt >= 0) {
    TPrivateTemp& t = ptemps_[size_t(tt)];
    if (!t.produced) {
      t.produced = true;
      if (r.code == OP_DIM) {
        t.element = true;
        t.array = nullptr;
        t.index = 0;
        // The array is the variable operand 0 names; a constant there has no elements.
        const bool named = n > 0 && r.operands[0]->AsVar();
        auto text = [&] {
          std::string s = named ? r.operands[0]->AsVar()->Name() : (n ? OperandText(*r.operands[0]) : "");
          s += '[';
          for (size_t k = 1; k < n; ++k) s += (k > 1 ? "," : "") + IntToText(more[k].Int());
          return s + "]";
        };
        if (!named) throw EKest(text() + "\r\n" + script_msg::kBadSubscripts);
        TCustomParam& arr = *more[0].v;
        const int32_t subs = int32_t(n) - 1;
        if (subs != arr.GetDimCount()) throw EKest(text() + "\r\n" + script_msg::kBadSubscripts);
        int64_t index = 0, stride = 1;
        bool huge = false;
        for (int32_t k = subs; k >= 1; --k) {
          index += int64_t(more[size_t(k)].Int()) * stride;
          stride *= arr.GetDim(k - 1);
          if (index > INT32_MAX || index < INT32_MIN || stride > (int64_t(1) << 40)) huge = true;
        }
        if (huge || index >= arr.GetCount()) throw EKest(text() + "\r\n" + script_msg::kBeyondCount);
        t.array = &arr;
        t.index = int32_t(index);
        return;  // the binding is the work
      }
      t.element = false;
      // The kind of a new temporary, as the collection path gives it.
      int32_t kind = PT_INT;
      const int32_t k0 = n > 0 ? views[0].Kind() : int32_t(PT_NONE);
      switch (r.code) {
        case OP_ASSIGN: kind = k0; break;
        case OP_ADD: kind = k0 == PT_STR ? PT_STR : k0 == PT_FLOAT ? PT_FLOAT : PT_INT; break;
        case OP_SUB: case OP_MUL: case OP_DIV: kind = k0 == PT_FLOAT ? PT_FLOAT : PT_INT; break;
        case OP_EQ: case OP_GT: case OP_LT: case OP_GE: case OP_LE: case OP_NE: kind = PT_BOOL; break;
        case OP_CONCAT: kind = PT_STR; break;
        case OP_MOD: case OP_OR: case OP_AND: case OP_XOR: case OP_SHL: case OP_SHR: kind = PT_INT; break;
        default: throw EKest(BadOperationMessage(r));
      }
      const bool fits = t.value && (kind == PT_NONE ? t.value->AsVar() != nullptr
                                                    : t.value->HoldsElements() && t.value->GetKind() == kind);
      if (fits) {
        t.value->ResetValue();
      } else if (kind == PT_NONE) {
        t.value = std::make_unique<TParamVar>(&vars);
      } else {
        t.value = NewParamOfKind(kind);
      }
    }
    if (t.element) {
      if (!t.array) return;
      target = {t.array, t.index, true};
    } else {
      target = {t.value.get(), 0, false};
    }
  } else {
    TParamCollectionItem* item = vars.FindItem(r.targetChain);
    if (!item) throw EKest(FormatMessage(script_msg::kNoVariable, r.target));
    target = {item->Value(), 0, false};
  }
  if (r.code == OP_DIM) return;
  Perform(r, target, views);
}

// ---- text at run time

void CompileRunTime(TSysFuncMan& funcs, std::string_view text, TKestParser& out) {
  TBuildKestParser b("r" + IntToText(funcs.Nesting()) + "_");
  b.Compile(text);
  TMemoryStream m;
  b.WriteTo(m);
  m.SetPosition(0);
  out.LoadFromStream(m);
}

bool RunText(TSysFuncMan& funcs, std::string_view text) {
  const std::string t = Trim(text);
  if (t.empty()) return false;
  TKestParser p;
  try {
    CompileRunTime(funcs, t, p);
  } catch (const EKest&) {
    return false;
  }
  p.Execute(funcs);
  return true;
}

std::string QuoteLiteral(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const size_t l = LiteralCharLen(text, i);
    if (l == 1 && (text[i] == '\\' || text[i] == '"')) out += '\\';
    out.append(text.substr(i, l));
    i += l;
  }
  return out + "\"";
}

}  // namespace kest
