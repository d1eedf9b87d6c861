// The 51 system variables: their identifiers, names and kinds, the registration table
// through which the subsystems above this layer answer for the ones they own, and the
// value class that stands for them in the variable collection.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "common/types.h"
#include "script/params.h"

namespace kest {

enum TSysVarId : int32_t {
  SV_RESULT = 0,
  SV_LCLICK,
  SV_RCLICK,
  SV_LPUSH,
  SV_RPUSH,
  SV_MOUSEX,
  SV_MOUSEY,
  SV_TEXTDELAY,
  SV_HISTORYCOUNT,
  SV_PARAMCOUNT,
  SV_PARAMSTR,  // 10
  SV_SENDER,
  SV_SCRWIDTH,
  SV_SCRHEIGHT,
  SV_TICKCOUNT,
  SV_PCTICKCOUNT,
  SV_UPDATECOUNT,
  SV_YEAR,
  SV_MONTH,
  SV_DAY,
  SV_WEEK,  // 20
  SV_HOUR,
  SV_MIN,
  SV_SEC,
  SV_FONTS,
  SV_FIXEDFONTS,
  SV_FULLSCR,
  SV_CURSOR,
  SV_SELSTR,
  SV_SELINDEX,
  SV_PI,  // 30
  SV_CGDITHER,
  SV_1HOUR,
  SV_1MIN,
  SV_1SEC,
  SV_KEYPUSH,
  SV_KEYCLICK,
  SV_DISPLAYMODECOUNT,
  SV_DISPLAYMODEINDEX,
  SV_TITLE,
  SV_SOUNDON,  // 40
  SV_ACTIVECOMPO,
  SV_KEYREPEAT,
  SV_HISTORYMAXCOUNT,
  SV_TEMP,
  SV_MIDIPORT,
  SV_MIDIPORTS,
  SV_WHEELDOWN,
  SV_WHEELUP,
  SV_ISDEBUG,
  SV_STACKCOUNT,  // 50
  SV_COUNT
};

// Who answers for a system variable.
enum class TSysVarOwner {
  Variables,  // this layer: the collection's own values, constants, the local date and time
  Clock,      // the shared frame clock (attached with TParamCollection::AttachClock)
  Bound,      // a subsystem above, through a TSysVarBinding
};

struct TSysVarInfo {
  const char* name;
  int32_t kind;     // PT_NONE where the kind is that of the variable it stands for
  bool writable;    // false: stores are ignored
  TSysVarOwner owner;
};

// The table of the 51 variables, by identifier.
const TSysVarInfo& SysVarInfo(int32_t id);

// What a subsystem registers for one variable it owns (TParamCollection::BindSystem).
// Only the members that fit the variable's kind are used:
//   integer variables: getInt, setInt;  flag variables: getBool, setBool;
//   string variables: getStr, setStr;
//   string arrays (@ParamStr, @MidiPorts): count, strAt (asked only for 0 <= i < count);
//   flag arrays (@KeyPush, @KeyClick, @KeyRepeat): boolAt (asked only for 0 <= k < 258);
//   @Result: resultKind (the kind declared by the current page, 0 without a page) and
//            resultValue (the innermost call frame's result value, or nullptr).
// A setter left empty on a writable variable makes stores do nothing.
struct TSysVarBinding {
  std::function<int32_t()> getInt = {};
  std::function<void(int32_t)> setInt = {};
  std::function<bool()> getBool = {};
  std::function<void(bool)> setBool = {};
  std::function<std::string()> getStr = {};
  std::function<void(const std::string&)> setStr = {};
  std::function<int32_t()> count = {};
  std::function<std::string(int32_t)> strAt = {};
  std::function<bool(int32_t)> boolAt = {};
  std::function<int32_t()> resultKind = {};
  std::function<TCustomParam*()> resultValue = {};
};

// Reading a variable whose owning subsystem has not registered it. The message is the
// system's internal-error text; Variable() names the variable for logs.
class ESysVarNotConnected : public EKest {
 public:
  explicit ESysVarNotConnected(std::string variable)
      : EKest(param_msg::kInternal), variable_(std::move(variable)) {}
  const std::string& Variable() const { return variable_; }

 private:
  std::string variable_;
};

// The local date and time as the system variables show them.
struct TLocalDateTime {
  int32_t year = 0, month = 0, day = 0;
  int32_t week = 0;  // 1 = Sunday .. 7 = Saturday
  int32_t hour = 0, min = 0, sec = 0;
};
// The machine's local date and time now (the default source of the collection).
TLocalDateTime ReadLocalDateTime();

// A system variable: stores nothing of its own and reads or writes the state behind it.
// Texts stored into integer or flag variables that do not parse leave them unchanged; a
// text stored into a flag variable is read as an integer (non-zero is true). Indexed reads
// of non-array variables give the scalar value for every index; indexed stores go to the
// scalar. @Result and @Temp forward every operation to the value they stand for.
class TParamSystem final : public TCustomParam {
 public:
  TParamSystem(TParamCollection* collection, int32_t id) : collection_(collection), id_(id) {}
  int32_t Id() const { return id_; }
  // True for @Result and @Temp.
  bool Forwards() const { return id_ == SV_RESULT || id_ == SV_TEMP; }

  int32_t GetCount() const override;
  void SetCount(int32_t n) override;
  int32_t GetKind() const override;
  bool GetBool() const override { return BoolRead(true, 0); }
  Float GetFloat() const override { return FloatRead(true, 0); }
  int32_t GetInt() const override { return IntRead(true, 0); }
  std::string GetStr() const override { return StrRead(true, 0); }
  void SetBool(bool b) override;
  void SetFloat(Float x) override;
  void SetInt(int32_t v) override;
  void SetStr(const std::string& s) override;
  int32_t GetIntAt(int32_t i) const override { return IntRead(false, i); }
  void SetIntAt(int32_t i, int32_t v) override;
  Float GetFloatAt(int32_t i) const override { return FloatRead(false, i); }
  void SetFloatAt(int32_t i, Float x) override;
  bool GetBoolAt(int32_t i) const override { return BoolRead(false, i); }
  void SetBoolAt(int32_t i, bool b) override;
  std::string GetStrAt(int32_t i) const override { return StrRead(false, i); }
  void SetStrAt(int32_t i, const std::string& s) override;
  int32_t GetDimCount() const override;
  int32_t GetDim(int32_t i) const override;
  void AssignData(const TCustomParam& other) override;
  void SetDims(const std::vector<int32_t>& dims) override;
  void FillInt(int32_t v) override;
  void FillFloat(Float x) override;
  void FillBool(bool b) override;
  void FillStr(const std::string& s) override;
  void CopyData(const TCustomParam& other) override;
  // Forwarded for @Result and @Temp; the others write only their (empty) dims, as the
  // snapshot stack of stored saves holds them.
  void SaveToStream(TStream& s) const override;
  void LoadFromStream(TStream& s) override;
  void MakeScalar() override;
  int32_t IndexOfStr(std::string_view text, bool caseSensitive, bool partial) const override;
  std::vector<int32_t> DimList() const override;

 private:
  // The value @Result or @Temp stands for (nullptr: none).
  TCustomParam* Forwarded() const;
  const TSysVarBinding& Binding() const;
  [[noreturn]] void NotConnected() const;
  // Reads converted to the asked kind: the scalar read, or element i.
  int32_t IntRead(bool scalar, int32_t i) const;
  Float FloatRead(bool scalar, int32_t i) const;
  bool BoolRead(bool scalar, int32_t i) const;
  std::string StrRead(bool scalar, int32_t i) const;
  // Raw reads and stores in the variable's own kind; i -1 is the scalar read.
  int32_t ReadInt(int32_t i) const;
  Float ReadFloat(int32_t i) const;
  bool ReadBool(int32_t i) const;
  std::string ReadStr(int32_t i) const;
  void StoreInt(int32_t v);
  void StoreBool(bool b);
  void StoreStr(const std::string& s);

  TParamCollection* collection_;
  int32_t id_;
};

}  // namespace kest
