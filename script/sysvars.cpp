#include "script/sysvars.h"

#include <chrono>
#include <ctime>

#include "script/paramcoll.h"

namespace kest {

namespace {
using O = TSysVarOwner;
constexpr TSysVarInfo kTable[SV_COUNT] = {
    {"@Result", PT_NONE, true, O::Bound},
    {"@LClick", PT_BOOL, true, O::Bound},
    {"@RClick", PT_BOOL, true, O::Bound},
    {"@LPush", PT_BOOL, false, O::Bound},
    {"@RPush", PT_BOOL, false, O::Bound},
    {"@MouseX", PT_INT, true, O::Bound},
    {"@MouseY", PT_INT, true, O::Bound},
    {"@TextDelay", PT_INT, true, O::Variables},
    {"@HistoryCount", PT_INT, false, O::Bound},
    {"@ParamCount", PT_INT, false, O::Bound},
    {"@ParamStr", PT_STR, false, O::Bound},
    {"@Sender", PT_STR, false, O::Bound},
    {"@ScrWidth", PT_INT, false, O::Bound},
    {"@ScrHeight", PT_INT, false, O::Bound},
    {"@TickCount", PT_INT, false, O::Clock},
    {"@PCTickCount", PT_INT, false, O::Bound},
    {"@UpdateCount", PT_INT, false, O::Clock},
    {"@Year", PT_INT, false, O::Variables},
    {"@Month", PT_INT, false, O::Variables},
    {"@Day", PT_INT, false, O::Variables},
    {"@Week", PT_INT, false, O::Variables},
    {"@Hour", PT_INT, false, O::Variables},
    {"@Min", PT_INT, false, O::Variables},
    {"@Sec", PT_INT, false, O::Variables},
    {"@Fonts", PT_STR, false, O::Bound},
    {"@FixedFonts", PT_STR, false, O::Bound},
    {"@FullScr", PT_BOOL, true, O::Bound},
    {"@Cursor", PT_STR, true, O::Variables},
    {"@SelStr", PT_STR, true, O::Variables},
    {"@SelIndex", PT_INT, true, O::Variables},
    {"@Pi", PT_FLOAT, false, O::Variables},
    {"@CGDither", PT_BOOL, true, O::Bound},
    {"@1Hour", PT_FLOAT, false, O::Variables},
    {"@1Min", PT_FLOAT, false, O::Variables},
    {"@1Sec", PT_FLOAT, false, O::Variables},
    {"@KeyPush", PT_BOOL, false, O::Bound},
    {"@KeyClick", PT_BOOL, false, O::Bound},
    {"@DisplayModeCount", PT_INT, false, O::Bound},
    {"@DisplayModeIndex", PT_INT, true, O::Bound},
    {"@Title", PT_STR, false, O::Bound},
    {"@SoundON", PT_BOOL, true, O::Bound},
    {"@ActiveCompo", PT_STR, true, O::Bound},
    {"@KeyRepeat", PT_BOOL, false, O::Bound},
    {"@HistoryMaxCount", PT_INT, true, O::Bound},
    {"@Temp", PT_NONE, true, O::Variables},
    {"@MidiPort", PT_STR, true, O::Bound},
    {"@MidiPorts", PT_STR, false, O::Bound},
    {"@WheelDown", PT_BOOL, false, O::Bound},
    {"@WheelUp", PT_BOOL, false, O::Bound},
    {"@IsDebug", PT_BOOL, false, O::Variables},
    {"@StackCount", PT_INT, false, O::Bound},
};

constexpr int32_t kKeyTableSize = 258;  // 256 keys, wheel down, wheel up

bool IsKeyTable(int32_t id) { return id == SV_KEYPUSH || id == SV_KEYCLICK || id == SV_KEYREPEAT; }
bool IsStrArray(int32_t id) { return id == SV_PARAMSTR || id == SV_MIDIPORTS; }

thread_local int systemForwardDepth = 0;
struct SystemForwardStep {
  SystemForwardStep() { ++systemForwardDepth; }
  ~SystemForwardStep() { --systemForwardDepth; }
  SystemForwardStep(const SystemForwardStep&) = delete;
  SystemForwardStep& operator=(const SystemForwardStep&) = delete;
};
}  // namespace

const TSysVarInfo& SysVarInfo(int32_t id) {
  if (id < 0 || id >= SV_COUNT) throw EKest(param_msg::kInternal);
  return kTable[id];
}

TLocalDateTime ReadLocalDateTime() {
  const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
  localtime_r(&t, &tm);
  TLocalDateTime d;
  d.year = tm.tm_year + 1900;
  d.month = tm.tm_mon + 1;
  d.day = tm.tm_mday;
  d.week = tm.tm_wday + 1;
  d.hour = tm.tm_hour;
  d.min = tm.tm_min;
  d.sec = tm.tm_sec;
  return d;
}

// ---- forwarding (@Result, @Temp)

TCustomParam* TParamSystem::Forwarded() const {
  // A chain of @Temp standing for @Temp (or for a reference leading back) is cut here.
  if (systemForwardDepth >= 16) return nullptr;
  if (id_ == SV_RESULT) {
    const TSysVarBinding& b = Binding();
    if (!b.resultValue) NotConnected();
    return b.resultValue();
  }
  TParamCollectionItem* item = collection_->FindItem(collection_->TempTarget);
  return item ? item->Value() : nullptr;
}

const TSysVarBinding& TParamSystem::Binding() const {
  const TSysVarBinding* b = collection_->SystemBinding(id_);
  if (!b) throw EKest(param_msg::kInternal);
  return *b;
}

void TParamSystem::NotConnected() const { throw ESysVarNotConnected(SysVarInfo(id_).name); }

#define KEST_SYS_FORWARD(none, op)            \
  if (Forwards()) {                           \
    TCustomParam* v = Forwarded();            \
    if (!v) return none;                      \
    SystemForwardStep step;                   \
    return op;                                \
  }

int32_t TParamSystem::GetCount() const {
  KEST_SYS_FORWARD(1, v->GetCount());
  if (IsKeyTable(id_)) return kKeyTableSize;
  if (IsStrArray(id_)) {
    const TSysVarBinding& b = Binding();
    if (!b.count) NotConnected();
    const int32_t n = b.count();
    return n < 0 ? 0 : n;
  }
  return 1;
}

void TParamSystem::SetCount(int32_t n) { KEST_SYS_FORWARD(void(), v->SetCount(n)); }

int32_t TParamSystem::GetKind() const {
  if (id_ == SV_RESULT) {
    const TSysVarBinding& b = Binding();
    if (!b.resultKind) NotConnected();
    return b.resultKind();
  }
  if (id_ == SV_TEMP) {
    TCustomParam* v = Forwarded();
    if (!v) return PT_NONE;
    SystemForwardStep step;
    return v->GetKind();
  }
  return SysVarInfo(id_).kind;
}

int32_t TParamSystem::GetDimCount() const {
  KEST_SYS_FORWARD(1, v->GetDimCount());
  return 1;
}

int32_t TParamSystem::GetDim(int32_t i) const {
  KEST_SYS_FORWARD(1, v->GetDim(i));
  return i == 0 ? GetCount() : 1;
}

std::vector<int32_t> TParamSystem::DimList() const {
  KEST_SYS_FORWARD(std::vector<int32_t>(), v->DimList());
  if (IsKeyTable(id_) || IsStrArray(id_)) {
    const int32_t n = GetCount();
    if (n >= 1) return {n};
  }
  return {};
}

void TParamSystem::AssignData(const TCustomParam& o) { KEST_SYS_FORWARD(void(), v->AssignData(o)); }
void TParamSystem::SetDims(const std::vector<int32_t>& d) { KEST_SYS_FORWARD(void(), v->SetDims(d)); }
void TParamSystem::FillInt(int32_t n) {
  KEST_SYS_FORWARD(void(), v->FillInt(n));
  SetInt(n);
}
void TParamSystem::FillFloat(Float x) {
  KEST_SYS_FORWARD(void(), v->FillFloat(x));
  SetFloat(x);
}
void TParamSystem::FillBool(bool b) {
  KEST_SYS_FORWARD(void(), v->FillBool(b));
  SetBool(b);
}
void TParamSystem::FillStr(const std::string& s) {
  KEST_SYS_FORWARD(void(), v->FillStr(s));
  SetStr(s);
}
void TParamSystem::CopyData(const TCustomParam& o) {
  KEST_SYS_FORWARD(void(), v->CopyData(o));
  TCustomParam::CopyData(o);
}
void TParamSystem::MakeScalar() { KEST_SYS_FORWARD(void(), v->MakeScalar()); }
int32_t TParamSystem::IndexOfStr(std::string_view text, bool caseSensitive, bool partial) const {
  KEST_SYS_FORWARD(-1, v->IndexOfStr(text, caseSensitive, partial));
  return TCustomParam::IndexOfStr(text, caseSensitive, partial);
}

// ---- raw reads in the variable's own kind

int32_t TParamSystem::ReadInt(int32_t) const {
  const TParamCollection& c = *collection_;
  switch (id_) {
    case SV_TEXTDELAY:
      return c.TextDelay;
    case SV_SELINDEX:
      return c.SelIndex;
    case SV_TICKCOUNT:
      if (!c.Clock()) NotConnected();
      return int32_t(c.Clock()->ClockTime);
    case SV_UPDATECOUNT:
      if (!c.Clock()) NotConnected();
      return c.Clock()->FrameCount;
    case SV_YEAR:
      return c.Now().year;
    case SV_MONTH:
      return c.Now().month;
    case SV_DAY:
      return c.Now().day;
    case SV_WEEK:
      return c.Now().week;
    case SV_HOUR:
      return c.Now().hour;
    case SV_MIN:
      return c.Now().min;
    case SV_SEC:
      return c.Now().sec;
    default:
      break;
  }
  const TSysVarBinding& b = Binding();
  if (!b.getInt) NotConnected();
  return b.getInt();
}

Float TParamSystem::ReadFloat(int32_t) const {
  switch (id_) {
    case SV_PI:
      return 3.14159265358979323846264338327950288L;
    case SV_1HOUR:
      return 1.0L / 24;
    case SV_1MIN:
      return 1.0L / 1440;
    case SV_1SEC:
      return 1.0L / 86400;
    default:
      throw EKest(param_msg::kInternal);
  }
}

bool TParamSystem::ReadBool(int32_t i) const {
  if (id_ == SV_ISDEBUG) return false;
  const TSysVarBinding& b = Binding();
  if (IsKeyTable(id_)) {
    if (!b.boolAt) NotConnected();
    // The scalar read and indexes outside the table are false.
    if (i < 0 || i >= kKeyTableSize) return false;
    return b.boolAt(i);
  }
  if (!b.getBool) NotConnected();
  return b.getBool();
}

std::string TParamSystem::ReadStr(int32_t i) const {
  const TParamCollection& c = *collection_;
  switch (id_) {
    case SV_CURSOR:
      return c.Cursor;
    case SV_SELSTR:
      return c.SelStr;
    default:
      break;
  }
  const TSysVarBinding& b = Binding();
  if (IsStrArray(id_)) {
    if (!b.count || !b.strAt) NotConnected();
    // The scalar read and indexes outside the list are empty.
    if (i < 0 || i >= b.count()) return std::string();
    return b.strAt(i);
  }
  if (!b.getStr) NotConnected();
  return b.getStr();
}

// ---- stores in the variable's own kind (read-only variables ignore them)

void TParamSystem::StoreInt(int32_t v) {
  if (!SysVarInfo(id_).writable) return;
  TParamCollection& c = *collection_;
  switch (id_) {
    case SV_TEXTDELAY:
      c.TextDelay = v;
      return;
    case SV_SELINDEX:
      c.SelIndex = v;
      return;
    default:
      break;
  }
  const TSysVarBinding& b = Binding();
  if (b.setInt) b.setInt(v);
}

void TParamSystem::StoreBool(bool v) {
  if (!SysVarInfo(id_).writable) return;
  const TSysVarBinding& b = Binding();
  if (b.setBool) b.setBool(v);
}

void TParamSystem::StoreStr(const std::string& s) {
  if (!SysVarInfo(id_).writable) return;
  TParamCollection& c = *collection_;
  switch (id_) {
    case SV_CURSOR:
      c.Cursor = s;
      return;
    case SV_SELSTR:
      c.SelStr = s;
      return;
    default:
      break;
  }
  const TSysVarBinding& b = Binding();
  if (b.setStr) b.setStr(s);
}

// ---- the value operations, converting between the variable's kind and the asked one

int32_t TParamSystem::IntRead(bool scalar, int32_t i) const {
  KEST_SYS_FORWARD(0, scalar ? v->GetInt() : v->GetIntAt(i));
  if (scalar) i = -1;
  switch (SysVarInfo(id_).kind) {
    case PT_INT:
      return ReadInt(i);
    case PT_FLOAT:
      return FloatToInt(ReadFloat(i));
    case PT_BOOL:
      return ReadBool(i) ? 1 : 0;
    case PT_STR:
      return TextToInt(ReadStr(i));
    default:
      throw EKest(param_msg::kInternal);
  }
}

Float TParamSystem::FloatRead(bool scalar, int32_t i) const {
  KEST_SYS_FORWARD(Float(0), scalar ? v->GetFloat() : v->GetFloatAt(i));
  if (scalar) i = -1;
  switch (SysVarInfo(id_).kind) {
    case PT_INT:
      return Float(ReadInt(i));
    case PT_FLOAT:
      return ReadFloat(i);
    case PT_BOOL:
      return ReadBool(i) ? 1 : 0;
    case PT_STR:
      return TextToFloat(ReadStr(i));
    default:
      throw EKest(param_msg::kInternal);
  }
}

bool TParamSystem::BoolRead(bool scalar, int32_t i) const {
  KEST_SYS_FORWARD(false, scalar ? v->GetBool() : v->GetBoolAt(i));
  if (scalar) i = -1;
  switch (SysVarInfo(id_).kind) {
    case PT_INT:
      return ReadInt(i) != 0;
    case PT_FLOAT:
      return ReadFloat(i) != 0;
    case PT_BOOL:
      return ReadBool(i);
    case PT_STR:
      return TextToBool(ReadStr(i));
    default:
      throw EKest(param_msg::kInternal);
  }
}

std::string TParamSystem::StrRead(bool scalar, int32_t i) const {
  KEST_SYS_FORWARD(std::string(), scalar ? v->GetStr() : v->GetStrAt(i));
  if (scalar) i = -1;
  switch (SysVarInfo(id_).kind) {
    case PT_INT:
      return IntToText(ReadInt(i));
    case PT_FLOAT:
      return FloatToText(ReadFloat(i));
    case PT_BOOL:
      return BoolToText(ReadBool(i));
    case PT_STR:
      return ReadStr(i);
    default:
      throw EKest(param_msg::kInternal);
  }
}

void TParamSystem::SetInt(int32_t n) {
  KEST_SYS_FORWARD(void(), v->SetInt(n));
  switch (SysVarInfo(id_).kind) {
    case PT_INT:
      return StoreInt(n);
    case PT_BOOL:
      return StoreBool(n != 0);
    case PT_STR:
      return StoreStr(IntToText(n));
    default:
      return;  // the float constants are read-only
  }
}

void TParamSystem::SetFloat(Float x) {
  KEST_SYS_FORWARD(void(), v->SetFloat(x));
  switch (SysVarInfo(id_).kind) {
    case PT_INT:
      return StoreInt(FloatToInt(x));
    case PT_BOOL:
      return StoreBool(x != 0);
    case PT_STR:
      return StoreStr(FloatToText(x));
    default:
      return;
  }
}

void TParamSystem::SetBool(bool b) {
  KEST_SYS_FORWARD(void(), v->SetBool(b));
  switch (SysVarInfo(id_).kind) {
    case PT_INT:
      return StoreInt(b ? 1 : 0);
    case PT_BOOL:
      return StoreBool(b);
    case PT_STR:
      return StoreStr(BoolToText(b));
    default:
      return;
  }
}

void TParamSystem::SetStr(const std::string& s) {
  KEST_SYS_FORWARD(void(), v->SetStr(s));
  switch (SysVarInfo(id_).kind) {
    case PT_INT:
      if (auto n = ParseInt(s)) StoreInt(*n);
      return;
    case PT_BOOL:
      if (auto n = ParseInt(s)) StoreBool(*n != 0);
      return;
    case PT_STR:
      return StoreStr(s);
    default:
      return;
  }
}

// Indexed stores of the non-forwarding variables go to the scalar (the arrays are
// read-only).
void TParamSystem::SetIntAt(int32_t i, int32_t n) {
  KEST_SYS_FORWARD(void(), v->SetIntAt(i, n));
  SetInt(n);
}
void TParamSystem::SetFloatAt(int32_t i, Float x) {
  KEST_SYS_FORWARD(void(), v->SetFloatAt(i, x));
  SetFloat(x);
}
void TParamSystem::SetBoolAt(int32_t i, bool b) {
  KEST_SYS_FORWARD(void(), v->SetBoolAt(i, b));
  SetBool(b);
}
void TParamSystem::SetStrAt(int32_t i, const std::string& s) {
  KEST_SYS_FORWARD(void(), v->SetStrAt(i, s));
  SetStr(s);
}

}  // namespace kest
