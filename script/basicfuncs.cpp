#include "script/basicfuncs.h"

#include <algorithm>
#include <cmath>

#include "common/numeric.h"
#include "common/sjis.h"
#include "common/random.h"
#include "script/datetime.h"
#include "script/kana.h"
#include "script/numtext.h"
#include "script/paramcoll.h"
#include "script/params.h"
#include "script/parser.h"
#include "script/strfuncs.h"
#include "script/sysfuncs.h"

namespace kest {

namespace {

// Function identifiers.
enum : int32_t {
  F_IntToStr = 0, F_IntToHex = 1, F_GetArraySize = 4, F_Length = 5, F_JLength = 6, F_Copy = 7,
  F_JCopy = 8, F_Delete = 9, F_JDelete = 10, F_Insert = 11, F_JInsert = 12, F_CompareStr = 13,
  F_CompareText = 14, F_Pos = 15, F_JPos = 16, F_Trim = 17, F_JTrim = 18, F_Not = 20,
  F_SetArray = 21, F_FillMem = 22, F_CopyMem = 23, F_Random = 26, F_ArrayToString = 28,
  F_StringToArray = 29, F_IndexOfStr = 30, F_SortStr = 31, F_Int = 37, F_Float = 38, F_Sin = 39,
  F_Cos = 40, F_Tan = 41, F_ArcSin = 42, F_ArcCos = 43, F_ArcTan = 44, F_ArcTan2 = 45,
  F_Hypot = 46, F_Abs = 48, F_Fabs = 49, F_VarExists = 50, F_EncodeDate = 51, F_EncodeTime = 52,
  F_DecodeDate = 53, F_DecodeTime = 54, F_GetYear = 55, F_GetMonth = 56, F_GetDay = 57,
  F_GetHour = 58, F_GetMin = 59, F_GetSec = 60, F_GetWeek = 61, F_GetWeekStr = 62,
  F_GetWeekJStr = 63, F_FixStr = 64, F_AddArray = 66, F_InsertArray = 67, F_DeleteArray = 68,
  F_CopyArray = 70, F_LowerCase = 73, F_UpperCase = 74, F_ExtractFilePath = 75,
  F_ExtractFileName = 76, F_ExtractFileExt = 77, F_IsPathDelimiter = 78, F_AddBackSlash = 79,
  F_ChangeFileExt = 80, F_IsDelimiter = 81, F_StringOfChar = 82, F_StringReplace = 83,
  F_AssignTemp = 84, F_HanToZen = 85, F_ZenToHan = 86, F_Min = 126, F_Max = 127, F_Fmin = 128,
  F_Fmax = 129, F_GetVarType = 130, F_AddDelimiter = 133, F_Calc = 136, F_StrToIntDef = 138,
  F_StrToFloatDef = 139, F_Chr = 152, F_Ord = 153, F_PushVar = 155, F_PopVar = 156,
};

// "%s:変数が見つかりません" (variable not found)
constexpr const char* kNoArrayVar = "%s:\x95\xCF\x90\x94\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// "%s:日付が不正です" (invalid date)
constexpr const char* kBadDate = "%s:\x93\xFA\x95\x74\x82\xAA\x95\x73\x90\xB3\x82\xC5\x82\xB7";
// "%s:時刻が不正です" (invalid time)
constexpr const char* kBadTime = "%s:\x8E\x9E\x8D\x8F\x82\xAA\x95\x73\x90\xB3\x82\xC5\x82\xB7";
// "%s:引数が範囲外です" (argument out of range)
constexpr const char* kOutOfRange = "%s:\x88\xF8\x90\x94\x82\xAA\x94\xCD\x88\xCD\x8A\x4F\x82\xC5\x82\xB7";

const char* NameOf(const TSysFuncCall& c) { return SysFuncInfo(c.id)->name; }
[[noreturn]] void Fail(const TSysFuncCall& c, const char* pattern) { throw EKest(FormatMessage(pattern, NameOf(c))); }

bool Has(const TSysFuncCall& c, int32_t i) { return c.Count() > i; }
std::string Str(const TSysFuncCall& c, int32_t i) { return c.Arg(i).GetStr(); }
int32_t Int(const TSysFuncCall& c, int32_t i) { return c.Arg(i).GetInt(); }
Float Flt(const TSysFuncCall& c, int32_t i) { return c.Arg(i).GetFloat(); }
bool Flag(const TSysFuncCall& c, int32_t i) { return c.Arg(i).GetBool(); }
int32_t Clip32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// An argument that must be a reference bound to a variable (the array functions that
// change a variable's shape or copy whole variables).
TCustomParam& ArrayArg(const TSysFuncCall& c, int32_t i) {
  auto* ref = dynamic_cast<TParamVar*>(&c.Arg(i));
  if (!ref || !ref->Target()) Fail(c, kNoArrayVar);
  return c.Arg(i);
}

// The elements of a value read in a given kind, so they can be written back after the
// value itself changed shape (the source may be the destination).
struct Elements {
  int32_t kind;
  std::vector<int32_t> ints;
  std::vector<Float> floats;
  std::vector<uint8_t> flags;
  std::vector<std::string> strs;
  Elements(const TCustomParam& v, int32_t asKind) : kind(asKind) {
    const int32_t n = v.GetCount();
    for (int32_t i = 0; i < n; ++i) {
      switch (kind) {
        case PT_INT: ints.push_back(v.GetIntAt(i)); break;
        case PT_FLOAT: floats.push_back(v.GetFloatAt(i)); break;
        case PT_BOOL: flags.push_back(v.GetBoolAt(i)); break;
        default: strs.push_back(v.GetStrAt(i)); break;
      }
    }
  }
  int32_t Count() const {
    switch (kind) {
      case PT_INT: return int32_t(ints.size());
      case PT_FLOAT: return int32_t(floats.size());
      case PT_BOOL: return int32_t(flags.size());
      default: return int32_t(strs.size());
    }
  }
  void Put(TCustomParam& v, int32_t at, int32_t k) const {
    switch (kind) {
      case PT_INT: v.SetIntAt(at, ints[size_t(k)]); break;
      case PT_FLOAT: v.SetFloatAt(at, floats[size_t(k)]); break;
      case PT_BOOL: v.SetBoolAt(at, flags[size_t(k)] != 0); break;
      default: v.SetStrAt(at, strs[size_t(k)]); break;
    }
  }
};

// The element kind a value is copied through: its own kind (a reference without target
// answers 0: strings then, which changes nothing since its stores do nothing).
int32_t CopyKind(const TCustomParam& v) {
  const int32_t k = v.GetKind();
  return k >= PT_INT && k <= PT_STR ? k : PT_STR;
}

void RegisterStrings(TSysFuncMan& f) {
  using namespace strfn;
  f.Register(F_IntToStr, [](TSysFuncCall& c) {
    c.result.SetStr(Has(c, 1) ? IntToStr(Int(c, 0), Int(c, 1)) : IntToStr(Int(c, 0)));
  });
  f.Register(F_IntToHex, [](TSysFuncCall& c) { c.result.SetStr(IntToHex(Int(c, 0), Int(c, 1))); });
  f.Register(F_Length, [](TSysFuncCall& c) { c.result.SetInt(Clip32(int64_t(Str(c, 0).size()))); });
  f.Register(F_JLength, [](TSysFuncCall& c) { c.result.SetInt(JLength(Str(c, 0))); });
  f.Register(F_Copy, [](TSysFuncCall& c) {
    c.result.SetStr(Copy(Str(c, 0), Int(c, 1), Has(c, 2) ? Int(c, 2) : kToEnd));
  });
  f.Register(F_JCopy, [](TSysFuncCall& c) {
    c.result.SetStr(JCopy(Str(c, 0), Int(c, 1), Has(c, 2) ? Int(c, 2) : kToEnd));
  });
  f.Register(F_Delete, [](TSysFuncCall& c) {
    c.Arg(0).SetStr(Delete(Str(c, 0), Int(c, 1), Has(c, 2) ? Int(c, 2) : kToEnd));
  });
  f.Register(F_JDelete, [](TSysFuncCall& c) {
    c.Arg(0).SetStr(JDelete(Str(c, 0), Int(c, 1), Has(c, 2) ? Int(c, 2) : kToEnd));
  });
  f.Register(F_Insert, [](TSysFuncCall& c) { c.Arg(1).SetStr(Insert(Str(c, 0), Str(c, 1), Int(c, 2))); });
  f.Register(F_JInsert, [](TSysFuncCall& c) { c.Arg(1).SetStr(JInsert(Str(c, 0), Str(c, 1), Int(c, 2))); });
  f.Register(F_CompareStr, [](TSysFuncCall& c) { c.result.SetInt(CompareStr(Str(c, 0), Str(c, 1))); });
  f.Register(F_CompareText, [](TSysFuncCall& c) { c.result.SetInt(kest::CompareText(Str(c, 0), Str(c, 1))); });
  f.Register(F_Pos, [](TSysFuncCall& c) { c.result.SetInt(Pos(Str(c, 0), Str(c, 1))); });
  f.Register(F_JPos, [](TSysFuncCall& c) { c.result.SetInt(JPos(Str(c, 0), Str(c, 1))); });
  f.Register(F_Trim, [](TSysFuncCall& c) { c.result.SetStr(Trim(Str(c, 0))); });
  f.Register(F_JTrim, [](TSysFuncCall& c) { c.result.SetStr(JTrim(Str(c, 0))); });
  f.Register(F_FixStr, [](TSysFuncCall& c) { c.result.SetStr(FixStr(Str(c, 0))); });
  f.Register(F_LowerCase, [](TSysFuncCall& c) { c.result.SetStr(FoldCase(Str(c, 0))); });
  f.Register(F_UpperCase, [](TSysFuncCall& c) { c.result.SetStr(kest::UpperCase(Str(c, 0))); });
  f.Register(F_ExtractFilePath, [](TSysFuncCall& c) { c.result.SetStr(ExtractFilePath(Str(c, 0))); });
  f.Register(F_ExtractFileName, [](TSysFuncCall& c) { c.result.SetStr(ExtractFileName(Str(c, 0))); });
  f.Register(F_ExtractFileExt, [](TSysFuncCall& c) { c.result.SetStr(ExtractFileExt(Str(c, 0))); });
  f.Register(F_IsPathDelimiter, [](TSysFuncCall& c) { c.result.SetBool(IsPathDelimiter(Str(c, 0), Int(c, 1))); });
  f.Register(F_AddBackSlash, [](TSysFuncCall& c) { c.result.SetStr(AddBackSlash(Str(c, 0))); });
  f.Register(F_ChangeFileExt, [](TSysFuncCall& c) { c.result.SetStr(ChangeFileExt(Str(c, 0), Str(c, 1))); });
  f.Register(F_IsDelimiter, [](TSysFuncCall& c) {
    c.result.SetBool(IsDelimiter(Str(c, 0), Str(c, 1), Int(c, 2)));
  });
  f.Register(F_StringOfChar, [](TSysFuncCall& c) { c.result.SetStr(StringOfChar(Str(c, 0), Int(c, 1))); });
  f.Register(F_StringReplace, [](TSysFuncCall& c) {
    c.result.SetStr(StringReplace(Str(c, 0), Str(c, 1), Str(c, 2), Has(c, 3) && Flag(c, 3), Has(c, 4) && Flag(c, 4)));
  });
  f.Register(F_HanToZen, [](TSysFuncCall& c) { c.result.SetStr(HanToZen(Str(c, 0))); });
  f.Register(F_ZenToHan, [](TSysFuncCall& c) { c.result.SetStr(ZenToHan(Str(c, 0))); });
  f.Register(F_AddDelimiter, [](TSysFuncCall& c) {
    const std::string s = Str(c, 1);
    c.result.SetStr(s.empty() ? std::string() : s + Str(c, 0));
  });
  f.Register(F_StrToIntDef, [](TSysFuncCall& c) {
    const auto v = ParseInt(Str(c, 0));
    c.result.SetInt(v ? *v : Int(c, 1));
  });
  f.Register(F_StrToFloatDef, [](TSysFuncCall& c) {
    const auto v = ParseFloat(Str(c, 0));
    c.result.SetFloat(v ? *v : Flt(c, 1));
  });
  f.Register(F_Chr, [](TSysFuncCall& c) { c.result.SetStr(std::string(1, char(uint32_t(Int(c, 0)) & 0xFF))); });
  f.Register(F_Ord, [](TSysFuncCall& c) {
    const std::string s = Str(c, 0);
    c.result.SetInt(s.empty() ? 0 : static_cast<unsigned char>(s[0]));
  });
}

void RegisterArrays(TSysFuncMan& f) {
  f.Register(F_GetArraySize, [](TSysFuncCall& c) {
    TCustomParam& a = ArrayArg(c, 0);
    if (!Has(c, 1)) {
      c.result.SetInt(a.GetCount());
      return;
    }
    c.result.SetInt(a.GetDim(a.GetDimCount() - 1 - Int(c, 1)));
  });
  f.Register(F_SetArray, [](TSysFuncCall& c) {
    TCustomParam& a = ArrayArg(c, 0);
    std::vector<int32_t> dims;
    for (int32_t i = 1; i < c.Count(); ++i) dims.push_back(Int(c, i));
    a.SetDims(dims);
  });
  f.Register(F_FillMem, [](TSysFuncCall& c) {
    TCustomParam& a = ArrayArg(c, 0);
    switch (a.GetKind()) {
      case PT_INT: a.FillInt(Int(c, 1)); break;
      case PT_FLOAT: a.FillFloat(Flt(c, 1)); break;
      case PT_BOOL: a.FillBool(Flag(c, 1)); break;
      case PT_STR: a.FillStr(Str(c, 1)); break;
      default: break;
    }
  });
  f.Register(F_CopyMem, [](TSysFuncCall& c) {
    TCustomParam& dst = ArrayArg(c, 0);
    TCustomParam& src = ArrayArg(c, 1);
    auto* ref = static_cast<TParamVar*>(&src);
    dst.CopyData(*ref->Target()->Value());
  });
  f.Register(F_ArrayToString, [](TSysFuncCall& c) {
    const TCustomParam& a = c.Arg(0);
    const std::string delim = Has(c, 1) ? Str(c, 1) : std::string("\r\n");
    std::string r;
    const int32_t n = a.GetCount();
    for (int32_t i = 0; i < n; ++i) {
      if (i) r += delim;
      r += a.GetStrAt(i);
      if (int64_t(r.size()) > strfn::kMaxBuiltText) Fail(c, kOutOfRange);
    }
    c.result.SetStr(r);
  });
  f.Register(F_StringToArray, [](TSysFuncCall& c) {
    const std::vector<std::string> pieces =
        strfn::SplitPieces(Str(c, 0), Has(c, 2) ? Str(c, 2) : std::string("\r\n"));
    TCustomParam& a = c.Arg(1);
    if (pieces.empty()) {
      // The scalar empty string: a scalar store through a reference writes one element,
      // so the shape is dropped first.
      a.MakeScalar();
      a.SetStr("");
      return;
    }
    a.SetDims({int32_t(std::min<size_t>(pieces.size(), size_t(INT32_MAX)))});
    for (size_t i = 0; i < pieces.size(); ++i) a.SetStrAt(int32_t(i), pieces[i]);
  });
  f.Register(F_IndexOfStr, [](TSysFuncCall& c) {
    c.result.SetInt(c.Arg(0).IndexOfStr(Str(c, 1), Has(c, 2) ? Flag(c, 2) : true, Has(c, 3) && Flag(c, 3)));
  });
  f.Register(F_SortStr, [](TSysFuncCall& c) {
    TCustomParam& a = c.Arg(0);
    std::vector<std::string> s;
    const int32_t n = a.GetCount();
    for (int32_t i = 0; i < n; ++i) s.push_back(a.GetStrAt(i));
    std::stable_sort(s.begin(), s.end(), [](const std::string& x, const std::string& y) {
      return kest::CompareText(x, y) < 0;
    });
    for (int32_t i = 0; i < n; ++i) a.SetStrAt(i, s[size_t(i)]);
  });
  f.Register(F_AddArray, [](TSysFuncCall& c) {
    TCustomParam& a = c.Arg(0);
    const TCustomParam& v = c.Arg(1);
    const int32_t n = a.GetCount();
    if (a.GetDimCount() > 1 || v.GetDimCount() > 1) {
      c.result.SetInt(n);
      return;
    }
    const Elements e(v, CopyKind(a));
    const int64_t total = int64_t(n) + e.Count();
    a.SetDims({Clip32(total)});
    for (int32_t k = 0; k < e.Count(); ++k) e.Put(a, n + k, k);
    c.result.SetInt(Clip32(total));
  });
  f.Register(F_InsertArray, [](TSysFuncCall& c) {
    TCustomParam& a = c.Arg(0);
    const TCustomParam& v = c.Arg(2);
    const int32_t n = a.GetCount();
    if (a.GetDimCount() > 1 || v.GetDimCount() > 1) {
      c.result.SetInt(n);
      return;
    }
    const int32_t index = std::clamp(Int(c, 1), 0, n);
    const Elements e(v, CopyKind(a));
    const int32_t m = e.Count();
    a.SetDims({Clip32(int64_t(n) + m)});
    const Elements old(a, CopyKind(a));
    for (int32_t i = n - 1; i >= index; --i) old.Put(a, i + m, i);  // from the last one backwards
    for (int32_t k = 0; k < m; ++k) e.Put(a, index + k, k);
    c.result.SetInt(n + m);
  });
  f.Register(F_DeleteArray, [](TSysFuncCall& c) {
    TCustomParam& a = c.Arg(0);
    const int32_t n = a.GetCount();
    if (a.GetDimCount() > 1) {
      c.result.SetInt(n);
      return;
    }
    const int32_t index = std::clamp(Int(c, 1), 0, n - 1);
    const int32_t count = std::clamp(Int(c, 2), 0, n - index);
    // Deleting every element is refused before anything moves, so the array stays whole.
    if (n - count < 1) throw EKest(FormatMessage(param_msg::kBadDims, "0"));
    const Elements old(a, CopyKind(a));
    for (int32_t i = index + count; i < n; ++i) old.Put(a, i - count, i);
    a.SetDims({n - count});
    c.result.SetInt(n - count);
  });
  f.Register(F_CopyArray, [](TSysFuncCall& c) {
    TCustomParam& dst = c.Arg(0);
    const TCustomParam& src = c.Arg(1);
    const Elements e(src, CopyKind(dst));
    std::vector<int32_t> dims;
    for (int32_t i = 0; i < src.GetDimCount(); ++i) dims.push_back(src.GetDim(i));
    dst.SetDims(dims);
    for (int32_t k = 0; k < e.Count(); ++k) e.Put(dst, k, k);
    c.result.SetBool(true);
  });
}

void RegisterArithmetic(TSysFuncMan& f) {
  f.Register(F_Not, [](TSysFuncCall& c) { c.result.SetBool(!Flag(c, 0)); });
  f.Register(F_Random, [](TSysFuncCall& c) { c.result.SetInt(RandomBelow(Int(c, 0))); });
  // Truncated toward zero; the low 32 bits of the 64-bit result; NaN and values beyond
  // 64 bits give 0 (the conversion rule of the variables).
  f.Register(F_Int, [](TSysFuncCall& c) { c.result.SetInt(TruncToInt32(Flt(c, 0), 0)); });
  f.Register(F_Float, [](TSysFuncCall& c) { c.result.SetFloat(Flt(c, 0)); });
  f.Register(F_Sin, [](TSysFuncCall& c) { c.result.SetFloat(std::sin(Flt(c, 0))); });
  f.Register(F_Cos, [](TSysFuncCall& c) { c.result.SetFloat(std::cos(Flt(c, 0))); });
  f.Register(F_Tan, [](TSysFuncCall& c) { c.result.SetFloat(std::tan(Flt(c, 0))); });
  // Outside -1..1 the arc sine and cosine have no value: the call fails like any other
  // invalid operation, and the expression stops.
  f.Register(F_ArcSin, [](TSysFuncCall& c) {
    const Float x = Flt(c, 0);
    if (!(x >= -1 && x <= 1)) Fail(c, kOutOfRange);
    c.result.SetFloat(std::asin(x));
  });
  f.Register(F_ArcCos, [](TSysFuncCall& c) {
    const Float x = Flt(c, 0);
    if (!(x >= -1 && x <= 1)) Fail(c, kOutOfRange);
    c.result.SetFloat(std::acos(x));
  });
  f.Register(F_ArcTan, [](TSysFuncCall& c) { c.result.SetFloat(std::atan(Flt(c, 0))); });
  f.Register(F_ArcTan2, [](TSysFuncCall& c) { c.result.SetFloat(std::atan2(Flt(c, 0), Flt(c, 1))); });
  f.Register(F_Hypot, [](TSysFuncCall& c) { c.result.SetFloat(std::hypot(Flt(c, 0), Flt(c, 1))); });
  // Abs of the smallest integer is itself (32-bit negation wraps).
  f.Register(F_Abs, [](TSysFuncCall& c) {
    const int32_t n = Int(c, 0);
    c.result.SetInt(n < 0 ? int32_t(0u - uint32_t(n)) : n);
  });
  f.Register(F_Fabs, [](TSysFuncCall& c) { c.result.SetFloat(std::fabs(Flt(c, 0))); });
  f.Register(F_Min, [](TSysFuncCall& c) { c.result.SetInt(std::min(Int(c, 0), Int(c, 1))); });
  f.Register(F_Max, [](TSysFuncCall& c) { c.result.SetInt(std::max(Int(c, 0), Int(c, 1))); });
  f.Register(F_Fmin, [](TSysFuncCall& c) {
    const Float a = Flt(c, 0), b = Flt(c, 1);
    c.result.SetFloat(a < b ? a : b);
  });
  f.Register(F_Fmax, [](TSysFuncCall& c) {
    const Float a = Flt(c, 0), b = Flt(c, 1);
    c.result.SetFloat(a > b ? a : b);
  });
}

TDateParts DateOf(const TSysFuncCall& c, int32_t i) {
  const auto p = DecodeDate(Flt(c, i));
  if (!p) Fail(c, kBadDate);
  return *p;
}
TTimeParts TimeOf(const TSysFuncCall& c, int32_t i) {
  const auto p = DecodeTime(Flt(c, i));
  if (!p) Fail(c, kBadTime);
  return *p;
}
int32_t WeekOf(const TSysFuncCall& c, int32_t i) {
  const auto w = DayOfWeek(Flt(c, i));
  if (!w) Fail(c, kBadDate);
  return *w;
}

void RegisterDates(TSysFuncMan& f) {
  f.Register(F_EncodeDate, [](TSysFuncCall& c) {
    const auto v = EncodeDate(Int(c, 0), Int(c, 1), Int(c, 2));
    if (!v) Fail(c, kBadDate);
    c.result.SetFloat(*v);
  });
  f.Register(F_EncodeTime, [](TSysFuncCall& c) {
    const auto v = EncodeTime(Int(c, 0), Int(c, 1), Int(c, 2));
    if (!v) Fail(c, kBadTime);
    c.result.SetFloat(*v);
  });
  f.Register(F_DecodeDate, [](TSysFuncCall& c) {
    const TDateParts p = DateOf(c, 0);
    c.Arg(1).SetInt(p.Year);
    c.Arg(2).SetInt(p.Month);
    c.Arg(3).SetInt(p.Day);
  });
  f.Register(F_DecodeTime, [](TSysFuncCall& c) {
    const TTimeParts p = TimeOf(c, 0);
    c.Arg(1).SetInt(p.Hour);
    c.Arg(2).SetInt(p.Minute);
    c.Arg(3).SetInt(p.Second);
  });
  f.Register(F_GetYear, [](TSysFuncCall& c) { c.result.SetInt(DateOf(c, 0).Year); });
  f.Register(F_GetMonth, [](TSysFuncCall& c) { c.result.SetInt(DateOf(c, 0).Month); });
  f.Register(F_GetDay, [](TSysFuncCall& c) { c.result.SetInt(DateOf(c, 0).Day); });
  f.Register(F_GetHour, [](TSysFuncCall& c) { c.result.SetInt(TimeOf(c, 0).Hour); });
  f.Register(F_GetMin, [](TSysFuncCall& c) { c.result.SetInt(TimeOf(c, 0).Minute); });
  f.Register(F_GetSec, [](TSysFuncCall& c) { c.result.SetInt(TimeOf(c, 0).Second); });
  f.Register(F_GetWeek, [](TSysFuncCall& c) { c.result.SetInt(WeekOf(c, 0)); });
  f.Register(F_GetWeekStr, [](TSysFuncCall& c) {
    static const char* const names[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    c.result.SetStr(names[WeekOf(c, 0) - 1]);
  });
  f.Register(F_GetWeekJStr, [](TSysFuncCall& c) {
    // 日 月 火 水 木 金 土
    static const char* const names[7] = {"\x93\xFA", "\x8C\x8E", "\x89\xCE", "\x90\x85", "\x96\xD8", "\x8B\xE0", "\x93\x79"};
    c.result.SetStr(names[WeekOf(c, 0) - 1]);
  });
}

void RegisterVariables(TSysFuncMan& f) {
  f.Register(F_VarExists, [](TSysFuncCall& c) { c.result.SetBool(c.vars.FindItem(Str(c, 0)) != nullptr); });
  f.Register(F_AssignTemp, [](TSysFuncCall& c) {
    const std::string name = Str(c, 0);
    if (!c.vars.FindItem(name)) {
      c.result.SetBool(false);
      return;
    }
    c.vars.TempTarget = name;
    c.result.SetBool(true);
  });
  f.Register(F_GetVarType, [](TSysFuncCall& c) { c.result.SetInt(c.Arg(0).GetKind()); });
  f.Register(F_Calc, [](TSysFuncCall& c) {
    if (RunText(c.funcs, Str(c, 0))) c.result.SetBool(true);
  });
  f.Register(F_PushVar, [](TSysFuncCall& c) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < c.Count(); ++i) names.push_back(Str(c, i));
    c.vars.PushVars(names);
    c.result.SetBool(true);
  });
  f.Register(F_PopVar, [](TSysFuncCall& c) {
    c.vars.PopVars();
    c.result.SetBool(true);
  });
}

}  // namespace

void RegisterBasicFunctions(TSysFuncMan& funcs) {
  RegisterStrings(funcs);
  RegisterArrays(funcs);
  RegisterArithmetic(funcs);
  RegisterDates(funcs);
  RegisterVariables(funcs);
}

}  // namespace kest
