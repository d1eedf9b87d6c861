#include "engine/page.h"

#include <algorithm>
#include <cstring>

#include "common/sjis.h"
#include "vfs/records.h"
#include "vfs/streams.h"

namespace kest {

namespace {

using K = TFieldKind;
constexpr int32_t kAlways = 0;

TCommandSpec Props(const char* name) { return {name, {{K::Props, kAlways, "props"}}}; }

const std::vector<TCommandSpec>& Specs() {
  static const std::vector<TCommandSpec> specs = {
      {"If", {{K::Expr, kAlways, "cond"}}},                                     // 0
      {"Elseif", {{K::Expr, kAlways, "cond"}}},                                 // 1
      {"Else", {}},                                                             // 2
      {"Label", {{K::Str, kAlways, "name"}}},                                   // 3
      {"Jump", {{K::Str, kAlways, "page"}, {K::Int, kAlways, "index"}, {K::Expr, kAlways, "cond"}}},
      {"Call",
       {{K::Str, kAlways, "page"},
        {K::Int, kAlways, "index"},
        {K::Str, kAlways, "result"},
        {K::Expr, kAlways, "cond"},
        {K::List, kAlways, "args"}}},                                           // 5
      {"Exit", {{K::Expr, kAlways, "cond"}}},                                   // 6
      {"Wait", {{K::Expr, kAlways, "cond"}, {K::Expr, kAlways, "time"}, {K::Expr, 107, "hold"}}},
      Props("BoxNew"),                                                          // 8
      Props("ImgNew"),                                                          // 9
      Props("MesNew"),                                                          // 10
      Props("Timer"),                                                           // 11
      Props("Movie"),                                                           // 12
      {"Flip",
       {{K::Expr, kAlways, "kind"},
        {K::Expr, kAlways, "time"},
        {K::Expr, kAlways, "arg"},
        {K::Expr, kAlways, "carry"},
        {K::List, kAlways, "list"},
        {K::Expr, kAlways, "scrapback"},
        {K::Expr, kAlways, "param0"},
        {K::Expr, kAlways, "param1"},
        {K::Expr, 101, "text"},
        {K::Expr, 107, "hold"}}},                                               // 13
      {"Calc", {{K::Expr, kAlways, "stmt"}}},                                   // 14
      {"VarNew",
       {{K::Str, kAlways, "name"}, {K::Byte, kAlways, "kind"}, {K::Expr, kAlways, "init"}, {K::Byte, kAlways, "scope"}}},
      {"VarDel", {{K::Str, kAlways, "name"}}},                                  // 16
      {"GetProp", {{K::Expr, kAlways, "object"}, {K::Expr, kAlways, "prop"}, {K::Str, kAlways, "var"}}},
      {"SetProp", {{K::Expr, kAlways, "object"}, {K::Expr, kAlways, "prop"}, {K::Expr, kAlways, "value"}}},
      {"ObjDel", {{K::Expr, kAlways, "name"}}},                                 // 19
      {"TextIns",
       {{K::Text, kAlways, "text"},
        {K::Expr, kAlways, "window"},
        {K::Expr, kAlways, "record"},
        {K::Expr, kAlways, "wait"},
        {K::Expr, 107, "hold"}}},                                               // 20
      {"MovieStop",
       {{K::Expr, kAlways, "name"}, {K::Expr, kAlways, "fade"}, {K::Expr, kAlways, "wait"}, {K::Expr, 107, "hold"}}},
      {"ClrHist", {}},                                                          // 22
      Props("Cinema"),                                                          // 23
      Props("Caption"),                                                         // 24
      Props("Menu"),                                                            // 25
      {"MenuClose", {{K::Expr, kAlways, "name"}}},                              // 26
      {"Comment", {{K::Str, kAlways, "text"}}},                                 // 27
      {"TextClr", {{K::Expr, kAlways, "window"}}},                              // 28
      {"CallHist",
       {{K::Expr, kAlways, "window"},
        {K::Expr, kAlways, "first"},
        {K::Expr, kAlways, "count"},
        {K::Expr, kAlways, "flag"},
        {K::Expr, 111, "format"}}},                                             // 29
      Props("BtnNew"),                                                          // 30
      {"While", {{K::Expr, kAlways, "cond"}, {K::Int, kAlways, "exit"}}},       // 31
      {"WhileInit", {{K::Expr, kAlways, "stmt"}}},                              // 32
      {"WhileLoop", {{K::Expr, kAlways, "stmt"}, {K::Int, kAlways, "loop"}}},   // 33
      {"Break", {{K::Expr, kAlways, "cond"}, {K::Int, kAlways, "target"}}},     // 34
      {"Continue", {{K::Expr, kAlways, "cond"}, {K::Int, kAlways, "target"}}},  // 35
      Props("ParticleNew"),                                                     // 36
      Props("FireNew"),                                                         // 37
      {"GameSave",
       {{K::Expr, kAlways, "slot"}, {K::Str, kAlways, "page"}, {K::Int, 105, "index"}, {K::Expr, kAlways, "title"}}},
      {"GameLoad", {{K::Expr, kAlways, "slot"}}},                               // 39
      {"PCReset", {{K::Str, kAlways, "page"}, {K::Int, kAlways, "index"}, {K::Byte, kAlways, "full"}}},
      {"Reset", {{K::Str, kAlways, "page"}, {K::Int, kAlways, "index"}, {K::Byte, kAlways, "full"}}},
      Props("Sound"),                                                           // 42
      Props("EditNew"),                                                         // 43
      Props("MemoNew"),                                                         // 44
      {"Terminate", {}},                                                        // 45
      {"DoEvent", {}},                                                          // 46
      {"ClrRead", {}},                                                          // 47
      Props("MapImgNew"),                                                       // 48
      Props("WaveNew"),                                                         // 49
      Props("TileNew"),                                                         // 50
      Props("SliderNew"),                                                       // 51
      Props("ScrollbarNew"),                                                    // 52
      Props("GaugeNew"),                                                        // 53
      Props("CGCaption"),                                                       // 54
      {"MediaPlay", {{K::Expr, kAlways, "name"}}},                              // 55
      Props("PrevMenuNew"),                                                     // 56
      {"PropMotion",
       {{K::Expr, kAlways, "name"},
        {K::Expr, kAlways, "target"},
        {K::Expr, kAlways, "prop"},
        {K::Expr, kAlways, "value"},
        {K::Expr, kAlways, "time"},
        {K::Expr, kAlways, "curve"},
        {K::Expr, 108, "paused"}}},                                             // 57
      {"EntryHist", {{K::Expr, kAlways, "name"}, {K::Expr, 111, "format"}}},    // 58
      {"CabinetSave",
       {{K::Props, kAlways, "props"}, {K::Expr, kAlways, "mode"}, {K::List, kAlways, "list"}}},  // 59
      {"CabinetLoad",
       {{K::Props, kAlways, "props"}, {K::Expr, kAlways, "mode"}, {K::List, kAlways, "list"}}},  // 60
  };
  return specs;
}

// The smallest expression block is its int32 record count.
constexpr int64_t kMinExprBytes = 4;
// The smallest command: type byte and the common header.
constexpr int64_t kMinCommandBytes = 1 + 4 + 1 + 1 + 4;

int64_t BytesLeft(const TStream& s) { return s.Size() - s.Position(); }

}  // namespace

const TCommandSpec* CommandSpec(int32_t code) {
  return code >= 0 && code < kCommandCodes ? &Specs()[size_t(code)] : nullptr;
}

int32_t FindCommandCode(const std::string& name) {
  for (int32_t i = 0; i < kCommandCodes; ++i)
    if (SameText(name, Specs()[size_t(i)].name)) return i;
  return -1;
}

TExpr ReadExpr(TStream& s) {
  TExpr e;
  int64_t start = s.Position();
  e.parser = std::make_shared<TKestParser>();
  e.parser->LoadFromStream(s);
  int64_t end = s.Position();
  e.bytes.resize(size_t(end - start));
  s.SetPosition(start);
  if (!e.bytes.empty()) s.ReadBuffer(e.bytes.data(), int64_t(e.bytes.size()));
  return e;
}

TExpr CompileExpr(const std::string& text) {
  TBuildKestParser b;
  b.Compile(text);
  TMemoryStream m;
  b.WriteTo(m);
  m.SetPosition(0);
  return ReadExpr(m);
}

TCommand::TCommand(TPage* page, uint8_t codeByte) : page_(page), codeByte_(codeByte) {
  if (!CommandSpec(Code())) throw EKestBadData(kMsgBadCommand);
}

bool TCommand::Chain() const {
  switch (Code()) {
    case 2: case 32: case 33: return true;
    case 38: case 39: case 46: return false;
    default: return ChainByte != 0;
  }
}

bool TCommand::MatchesLabel(const std::string& name) const {
  return Code() == 3 && !Fields.empty() && Fields[0].str == name;
}

void TCommand::ReadRecord(TStream& s, int32_t version, const uint8_t* masks) {
  Indent = ReadInt(s);
  SkipByte = ReadByte(s);
  ChainByte = ReadByte(s);
  Line = ReadInt(s);
  Fields.clear();
  for (const TFieldSpec& spec : Spec().fields) {
    TField f;
    f.kind = spec.kind;
    f.present = version >= spec.minVersion;
    if (f.present) {
      switch (spec.kind) {
        case K::Str: f.str = ReadString(s); break;
        case K::Int: f.num = ReadInt(s); break;
        case K::Byte: f.num = ReadByte(s); break;
        case K::Expr: f.expr = ReadExpr(s); break;
        case K::List: {
          int32_t n = ReadInt(s);
          // A count that the remaining bytes cannot hold is damage, not a reason to allocate.
          if (n < 0 || n > BytesLeft(s) / kMinExprBytes) throw EKestBadData(kMsgBadExpression);
          for (int32_t i = 0; i < n; ++i) f.list.push_back(ReadExpr(s));
          break;
        }
        case K::Text: {
          int32_t n = ReadInt(s);
          if (n < 0 || n > BytesLeft(s)) throw EReadError();
          f.str.resize(size_t(n));
          if (n) s.ReadBuffer(f.str.data(), n);
          break;
        }
        case K::Props: {
          const uint8_t* mask = masks + Code() * kMaskSize;
          for (int32_t p = 0; p < 165; ++p)
            if (MaskBit(mask, p)) f.props.emplace_back(p, ReadExpr(s));
          break;
        }
      }
    }
    Fields.push_back(std::move(f));
  }
}

static void WriteExprBytes(TStream& s, const TExpr& e) {
  if (e.bytes.empty()) {
    WriteInt(s, 0);
  } else {
    s.WriteBuffer(e.bytes.data(), int64_t(e.bytes.size()));
  }
}

void TCommand::WriteRecord(TStream& s) const {
  WriteByte(s, codeByte_);
  WriteInt(s, Indent);
  WriteByte(s, SkipByte);
  WriteByte(s, ChainByte);
  WriteInt(s, Line);
  for (const TField& f : Fields) {
    if (!f.present) continue;
    switch (f.kind) {
      case K::Str: WriteString(s, f.str); break;
      case K::Int: WriteInt(s, f.num); break;
      case K::Byte: WriteByte(s, uint8_t(f.num)); break;
      case K::Expr: WriteExprBytes(s, f.expr); break;
      case K::List:
        WriteInt(s, int32_t(f.list.size()));
        for (const TExpr& e : f.list) WriteExprBytes(s, e);
        break;
      case K::Text:
        WriteInt(s, int32_t(f.str.size()));
        if (!f.str.empty()) s.WriteBuffer(f.str.data(), int64_t(f.str.size()));
        break;
      case K::Props:
        for (const auto& [p, e] : f.props) WriteExprBytes(s, e);
        break;
    }
  }
}

int32_t TPage::FindLabel(const std::string& name) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (Commands[size_t(i)]->MatchesLabel(name)) return i;
  return -1;
}

int32_t TPage::IndexOf(const TCommand* c) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (Commands[size_t(i)].get() == c) return i;
  return -1;
}

void TPage::ApplyMaskBlock() {
  std::memset(Masks, 0, sizeof Masks);
  int32_t used = std::min(MaskRecSize, kMaskTable);
  for (int32_t i = 0; i < MaskCount && i < kCommandCodes; ++i) {
    int32_t at = i * kMaskSize;
    int32_t n = std::min(used, kMaskTable - at);
    std::memcpy(Masks + at, MaskBlock.data() + size_t(i) * size_t(MaskRecSize), size_t(n));
  }
}

void TPage::SetCanonicalMasks() {
  MaskCount = kCommandCodes;
  MaskRecSize = kMaskSize;
  MaskBlock.assign(Masks, Masks + kMaskTable);
}

TPage::TLoadResult TPage::LoadFromStream(TStream& s) {
  Commands.clear();
  int32_t version = ReadInt(s);
  if (version > kPageVersionMax) return TLoadResult::TooNew;
  if (version < kPageVersionMin) return TLoadResult::TooOld;
  Version = version;
  Kind = ReadByte(s);
  int32_t m = ReadInt(s);
  int32_t size = ReadInt(s);
  if (m < 0 || size < 0 || (size > 0 && m > BytesLeft(s) / size)) throw EReadError();
  MaskCount = m;
  MaskRecSize = size;
  MaskBlock.resize(size_t(m) * size_t(size));
  if (!MaskBlock.empty()) s.ReadBuffer(MaskBlock.data(), int64_t(MaskBlock.size()));
  ApplyMaskBlock();
  int32_t n = ReadInt(s);
  if (n < 0 || n > BytesLeft(s) / kMinCommandBytes) throw EReadError();
  Commands.reserve(size_t(n));
  for (int32_t i = 0; i < n; ++i) {
    auto c = std::make_unique<TCommand>(this, ReadByte(s));
    c->ReadRecord(s, Version, Masks);
    Commands.push_back(std::move(c));
  }
  return TLoadResult::Loaded;
}

void TPage::SaveToStream(TStream& s) const {
  WriteInt(s, Version);
  WriteByte(s, Kind);
  WriteInt(s, MaskCount);
  WriteInt(s, MaskRecSize);
  if (!MaskBlock.empty()) s.WriteBuffer(MaskBlock.data(), int64_t(MaskBlock.size()));
  WriteInt(s, Count());
  for (const auto& c : Commands) c->WriteRecord(s);
}

}  // namespace kest
