#include "script/params.h"

#include <gtest/gtest.h>

#include <functional>

#include "script/paramcoll.h"

using namespace kest;

namespace {
std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EKest& e) {
    return e.what();
  }
  return "(none)";
}
const std::string kBadIndex = param_msg::kBadIndex;
}  // namespace

// Stored kind x read kind: every getter of every kind class.
TEST(ParamConversions, Matrix) {
  struct Case {
    int32_t kind;
    std::function<void(TCustomParam&)> store;
    int32_t asInt;
    Float asFloat;
    bool asBool;
    const char* asStr;
  };
  const Case cases[] = {
      {PT_INT, [](TCustomParam& p) { p.SetInt(42); }, 42, 42, true, "42"},
      {PT_INT, [](TCustomParam& p) { p.SetInt(-7); }, -7, -7, true, "-7"},
      {PT_INT, [](TCustomParam& p) { p.SetInt(2); }, 2, 2, true, "2"},  // 2 is true
      {PT_INT, [](TCustomParam& p) { p.SetInt(0); }, 0, 0, false, "0"},
      {PT_INT, [](TCustomParam& p) { p.SetFloat(-2.7L); }, -2, -2, true, "-2"},
      {PT_INT, [](TCustomParam& p) { p.SetBool(true); }, 1, 1, true, "1"},
      {PT_INT, [](TCustomParam& p) { p.SetStr("$1F"); }, 31, 31, true, "31"},
      {PT_INT, [](TCustomParam& p) { p.SetStr("0x1F"); }, 31, 31, true, "31"},
      {PT_INT, [](TCustomParam& p) { p.SetStr("abc"); }, 0, 0, false, "0"},
      {PT_FLOAT, [](TCustomParam& p) { p.SetFloat(-2.7L); }, -2, -2.7L, true, "-2.7"},
      {PT_FLOAT, [](TCustomParam& p) { p.SetFloat(1.0L / 3); }, 0, 1.0L / 3, true, "0.333333333333333"},
      {PT_FLOAT, [](TCustomParam& p) { p.SetInt(3); }, 3, 3, true, "3"},
      {PT_FLOAT, [](TCustomParam& p) { p.SetStr("1e20"); }, 0, 1e20L, true, "1E20"},  // out of range: 0
      {PT_FLOAT, [](TCustomParam& p) { p.SetStr("$1F"); }, 0, 0, false, "0"},  // no hex floats
      {PT_FLOAT, [](TCustomParam& p) { p.SetBool(true); }, 1, 1, true, "1"},
      {PT_BOOL, [](TCustomParam& p) { p.SetBool(true); }, 1, 1, true, "TRUE"},
      {PT_BOOL, [](TCustomParam& p) { p.SetInt(2); }, 1, 1, true, "TRUE"},
      {PT_BOOL, [](TCustomParam& p) { p.SetFloat(0.0L); }, 0, 0, false, "FALSE"},
      {PT_BOOL, [](TCustomParam& p) { p.SetStr("TRUE"); }, 1, 1, true, "TRUE"},
      {PT_BOOL, [](TCustomParam& p) { p.SetStr("TRUE "); }, 0, 0, false, "FALSE"},
      {PT_BOOL, [](TCustomParam& p) { p.SetStr("true"); }, 0, 0, false, "FALSE"},
      {PT_BOOL, [](TCustomParam& p) { p.SetStr("1"); }, 0, 0, false, "FALSE"},
      {PT_STR, [](TCustomParam& p) { p.SetStr("TRUE "); }, 0, 0, false, "TRUE "},
      {PT_STR, [](TCustomParam& p) { p.SetStr("1"); }, 1, 1, false, "1"},
      {PT_STR, [](TCustomParam& p) { p.SetStr("TRUE"); }, 0, 0, true, "TRUE"},
      {PT_STR, [](TCustomParam& p) { p.SetStr("$1F"); }, 31, 0, false, "$1F"},
      {PT_STR, [](TCustomParam& p) { p.SetStr("0x1F"); }, 31, 0, false, "0x1F"},
      {PT_STR, [](TCustomParam& p) { p.SetStr("2.5"); }, 0, 2.5L, false, "2.5"},
      {PT_STR, [](TCustomParam& p) { p.SetInt(-12); }, -12, -12, false, "-12"},
      {PT_STR, [](TCustomParam& p) { p.SetFloat(0.1L); }, 0, 0.1L, false, "0.1"},
      {PT_STR, [](TCustomParam& p) { p.SetFloat(100.0L); }, 100, 100, false, "100"},
      {PT_STR, [](TCustomParam& p) { p.SetFloat(1e-5L); }, 0, 1e-5L, false, "1E-5"},
      {PT_STR, [](TCustomParam& p) { p.SetBool(false); }, 0, 0, false, "FALSE"},
  };
  int row = 0;
  for (const Case& c : cases) {
    auto p = NewParamOfKind(c.kind);
    c.store(*p);
    EXPECT_EQ(p->GetKind(), c.kind);
    EXPECT_EQ(p->GetInt(), c.asInt) << "row " << row;
    EXPECT_EQ(p->GetFloat(), c.asFloat) << "row " << row;
    EXPECT_EQ(p->GetBool(), c.asBool) << "row " << row;
    EXPECT_EQ(p->GetStr(), c.asStr) << "row " << row;
    // The indexed forms read the same element.
    EXPECT_EQ(p->GetIntAt(0), c.asInt) << "row " << row;
    EXPECT_EQ(p->GetStrAt(0), c.asStr) << "row " << row;
    ++row;
  }
}

TEST(ParamArrays, ShapeAndBounds) {
  TParamInt a;
  EXPECT_EQ(a.GetCount(), 1);
  EXPECT_EQ(a.GetDimCount(), 1);
  EXPECT_EQ(a.GetDim(0), 1);
  EXPECT_EQ(a.GetIntAt(0), 0);  // element 0 of a scalar
  a.SetDims({2, 3});
  EXPECT_EQ(a.GetCount(), 6);
  EXPECT_EQ(a.GetDimCount(), 2);
  EXPECT_EQ(a.GetDim(1), 3);
  EXPECT_EQ(a.GetDim(5), 1);
  for (int i = 0; i < 6; ++i) a.SetIntAt(i, 10 + i);
  EXPECT_EQ(a.GetIntAt(5), 15);
  EXPECT_EQ(ErrorOf([&] { a.GetIntAt(6); }), kBadIndex);
  EXPECT_EQ(ErrorOf([&] { a.GetIntAt(-1); }), kBadIndex);
  EXPECT_EQ(ErrorOf([&] { a.SetIntAt(6, 1); }), kBadIndex);
  // Growing keeps the leading elements, new ones default.
  a.SetDims({8});
  EXPECT_EQ(a.GetIntAt(5), 15);
  EXPECT_EQ(a.GetIntAt(7), 0);
  // Shrinking keeps the first ones.
  a.SetDims({2});
  EXPECT_EQ(a.GetCount(), 2);
  EXPECT_EQ(a.GetIntAt(1), 11);
  // A scalar store makes it a scalar holding the new value.
  a.SetInt(99);
  EXPECT_EQ(a.GetCount(), 1);
  EXPECT_EQ(a.DimList(), std::vector<int32_t>{});
  EXPECT_EQ(a.GetIntAt(0), 99);
  EXPECT_EQ(ErrorOf([&] { a.GetIntAt(1); }), kBadIndex);

  TParamStr s;
  s.SetDims({3});
  EXPECT_EQ(ErrorOf([&] { s.GetStrAt(3); }), kBadIndex);
}

TEST(ParamArrays, BadDimensionsAreRefusedAndLeaveTheValue) {
  struct Case { std::vector<int32_t> dims; const char* shown; };
  const Case cases[] = {
      {{2, 0}, "2,0"},
      {{-1}, "-1"},
      {{65536, 65536}, "65536,65536"},  // 2^32 elements: computed in 64 bits, capped
      {{2147483647, 2147483647, 2}, "2147483647,2147483647,2"},
      {{int32_t(kMaxArrayElements) + 1}, "4194305"},
  };
  for (const Case& c : cases) {
    TParamFloat f;
    f.SetDims({4});
    f.SetFloatAt(3, 1.5L);
    EXPECT_EQ(ErrorOf([&] { f.SetDims(c.dims); }), FormatMessage(param_msg::kBadDims, c.shown));
    EXPECT_EQ(f.GetCount(), 4);
    EXPECT_EQ(f.GetFloatAt(3), 1.5L);
  }
  TParamFlag big;
  big.SetDims({int32_t(kMaxArrayElements)});  // the cap itself is allowed
  EXPECT_EQ(big.GetCount(), kMaxArrayElements);
}

TEST(ParamArrays, FillsCopiesAndConvertedAssignment) {
  TParamInt a;
  a.SetDims({2, 2});
  a.FillInt(7);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(a.GetIntAt(i), 7);
  a.SetIntAt(3, -3);

  TParamStr s;
  s.AssignConverted(a);
  EXPECT_EQ(s.DimList(), (std::vector<int32_t>{2, 2}));
  EXPECT_EQ(s.GetStrAt(0), "7");
  EXPECT_EQ(s.GetStrAt(3), "-3");

  TParamFlag f;
  f.AssignConverted(s);  // "7" is not "TRUE"
  EXPECT_FALSE(f.GetBoolAt(0));

  TParamInt b;
  b.CopyData(a);
  EXPECT_EQ(b.GetCount(), 4);
  EXPECT_EQ(b.GetIntAt(3), -3);
  EXPECT_EQ(ErrorOf([&] { b.CopyData(s); }), param_msg::kTypeMismatch);

  // AssignData from another class converts element by element instead of misreading it.
  TParamFloat x;
  x.AssignData(a);
  EXPECT_EQ(x.GetCount(), 4);
  EXPECT_EQ(x.GetFloatAt(3), -3);
}

TEST(ParamArrays, IndexOfStr) {
  TParamStr s;
  s.SetDims({4});
  s.SetStrAt(0, "Apple");
  s.SetStrAt(1, "\x83\x41pple");  // a double-byte character, then "pple"
  s.SetStrAt(2, "\x83\x61" "B");  // trail byte 'a' must not take part in a search for "aB"
  s.SetStrAt(3, "apple");
  struct Case { const char* text; bool cs; bool partial; int32_t index; };
  const Case cases[] = {
      {"apple", true, false, 3},  {"apple", false, false, 0}, {"APPLE", true, false, -1},
      {"ppl", true, true, 0},     {"PPL", false, true, 0},    {"PPL", true, true, -1},
      {"aB", false, true, -1},    {"aB", true, true, -1},     {"\x83\x61", true, true, 2},
      {"", true, true, -1},       {"", false, false, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(s.IndexOfStr(c.text, c.cs, c.partial), c.index) << c.text << c.cs << c.partial;
  TParamInt n;
  n.SetDims({3});
  n.SetIntAt(2, 12);
  EXPECT_EQ(n.IndexOfStr("12", true, false), 2);
  EXPECT_EQ(n.IndexOfStr("1", true, true), 2);
}

TEST(ParamVar, ForwardsToItsTargetAndReadsNoneWhenItIsGone) {
  TParamCollection c;
  TParamCollectionItem* arr = c.AddItem(PT_INT);
  c.SetItemName(arr, "arr");
  arr->Value()->SetDims({3});
  arr->Value()->SetIntAt(2, 5);

  TParamVar ref(&c);
  EXPECT_EQ(ref.GetKind(), PT_NONE);
  EXPECT_EQ(ref.GetCount(), 0);
  EXPECT_EQ(ref.GetInt(), 0);
  EXPECT_EQ(ref.IndexOfStr("x", true, false), -1);
  ref.SetInt(3);  // nothing happens

  ref.SetTarget(arr);
  ref.SetElementIndex(2);
  EXPECT_EQ(ref.GetKind(), PT_INT);
  EXPECT_EQ(ref.GetCount(), 3);
  EXPECT_EQ(ref.GetInt(), 5);      // the element at the reference's index
  EXPECT_EQ(ref.GetIntAt(0), 0);   // indexed operations unchanged
  ref.SetStr("9");
  EXPECT_EQ(arr->Value()->GetIntAt(2), 9);
  EXPECT_EQ(arr->Value()->GetCount(), 3);  // the scalar store did not make the target scalar
  EXPECT_EQ(ref.GetDim(0), 3);

  // The target is freed: the reference reads as none instead of touching freed memory.
  c.FreeItem(arr);
  EXPECT_EQ(ref.Target(), nullptr);
  EXPECT_EQ(ref.GetInt(), 0);
  // A new item of the same name in the same slot is not the old target.
  TParamCollectionItem* again = c.AddItem(PT_INT);
  c.SetItemName(again, "arr");
  EXPECT_EQ(ref.Target(), nullptr);
}

TEST(ParamVar, AReferenceLoopReadsAsNone) {
  TParamCollection c;
  TParamCollectionItem* a = c.AddItem(PT_NONE);
  c.SetItemName(a, "a");
  TParamCollectionItem* b = c.AddItem(PT_NONE);
  c.SetItemName(b, "b");
  static_cast<TParamVar*>(a->Value())->SetTarget(b);
  static_cast<TParamVar*>(b->Value())->SetTarget(a);
  EXPECT_EQ(a->Value()->GetInt(), 0);
  EXPECT_EQ(a->Value()->GetKind(), PT_NONE);
  a->Value()->SetInt(3);  // must not recurse without end
  // @Temp standing for itself.
  c.TempTarget = "@Temp";
  EXPECT_EQ(c.FindItem("@Temp")->Value()->GetInt(), 0);
  EXPECT_EQ(c.FindItem("@Temp")->Value()->GetKind(), PT_NONE);
}
