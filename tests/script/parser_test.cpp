#include "script/parser.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "script/paramcoll.h"
#include "vfs/streams.h"

using namespace kest;

namespace {
std::string Compiled(std::string_view text) {
  TBuildKestParser b;
  b.Compile(text);
  return b.Listing();
}

std::string CompileError(std::string_view text) {
  try {
    TBuildKestParser b;
    b.Compile(text);
    TMemoryStream m;
    b.WriteTo(m);
  } catch (const EKest& e) {
    return e.what();
  }
  return "(none)";
}

// A collection and dispatcher with a few variables.
struct Env {
  explicit Env(bool privateTemps = true) : privateTemps(privateTemps) {}
  bool privateTemps;
  TParamCollection vars;
  TSysFuncMan funcs{vars};
  TParamCollectionItem* Declare(const std::string& name, int32_t kind) {
    TParamCollectionItem* item = vars.AddItem(kind);
    vars.SetItemName(item, name);
    return item;
  }
  TCustomParam& V(const std::string& name) { return *vars.FindItem(name)->Value(); }
  // Compiles, writes, loads and runs; answers the parser for its result and error.
  std::unique_ptr<TKestParser> Run(std::string_view text) {
    TBuildKestParser b;
    b.Compile(text);
    TMemoryStream m;
    b.WriteTo(m);
    m.SetPosition(0);
    auto p = std::make_unique<TKestParser>();
    p->LoadFromStream(m);
    p->SetPrivateTemporaries(privateTemps);
    p->Execute(funcs);
    return p;
  }
};
}  // namespace

TEST(Compiler, GoldenListings) {
  struct Case { const char* text; const char* listing; };
  const Case cases[] = {
      {"a = b + c * 2", "____0 = c * 2\n____1 = b + ____0\na = ____1\n"},
      {"x >= 3", "____0 = x >= 3\n____arg = ____0\n"},
      {"a = -5", "____0 = 0 - 5\na = ____0\n"},
      {"a = - - 5", "____0 = 0 - 5\n____1 = 0 - ____0\na = ____1\n"},
      {"a = +5", "a = 5\n"},
      {"-x", "____0 = 0 - x\n____arg = ____0\n"},
      {"x = a ++ b == c", "____0 = b == c\n____1 = a ++ ____0\nx = ____1\n"},
      {"a = 1 - 2 - 3", "____0 = 1 - 2\n____1 = ____0 - 3\na = ____1\n"},  // left to right
      {"a = b | c & d ^ e", "____0 = c & d\n____1 = ____0 ^ e\n____2 = b | ____1\na = ____2\n"},
      {"a = (b + c) * d", "____1 = b + c\n____2 = ____1 * d\na = ____2\n"},
      {"a = 1 << 2 + 3 <> 4", "____0 = 2 + 3\n____1 = 1 << ____0\n____2 = ____1 <> 4\na = ____2\n"},
      {"s = \"A\\\"B\"", "____0 = \"A\"B\"\ns = ____0\n"},
      {"s = \"a\\nb\\\\c\\d\"", "____0 = \"a\r\nb\\c\\d\"\ns = ____0\n"},
      // f(g(1), h(2)): h first, then g, then f.
      {"f(g(1), h(2))", "____0 = h(2)\n____1 = g(1)\n____2 = f(____1,____0)\n____arg = ____2\n"},
      {"x = f(a+1)", "____2 = a + 1\n____0 = f(____2)\nx = ____0\n"},
      // The argument ((a)+(b)) loses only its outer pair; the last group compiles first.
      {"x = f(((a)+(b)))", "____2 = b\n____3 = a\n____4 = ____3 + ____2\n____0 = f(____4)\nx = ____0\n"},
      {"x = f()", "____0 = f()\nx = ____0\n"},
      {"x = f(a,)", "____0 = f(a,)\nx = ____0\n"},
      {"x = arr[1,2]", "____d_0 = arr[1,2]\nx = ____d_0\n"},
      {"arr[i+1] = 5", "____2 = i + 1\n____d_0 = arr[____2]\n____d_0 = 5\n"},
      {"x = a[b[1]]", "____d_0 = b[1]\n____d_1 = a[____d_0]\nx = ____d_1\n"},
      // An element as an argument goes through a copy (kept: it involves "____d_").
      {"x = f(a[1,2], 3)", "____d_2 = a[1,2]\n____1 = ____d_2\n____0 = f(____1,3)\nx = ____0\n"},
      {"x = 1e3 + 2.5", "____0 = 1e3 + 2.5\nx = ____0\n"},
      {"", "____arg = \n"},
      // Double-byte names and literals whose trail byte is 0x5C: never a backslash.
      {"\x95\x5C = \"\x95\x5C\"", "____0 = \"\x95\x5C\"\n\x95\x5C = ____0\n"},
      {"x = \"\x83\x5C\" ++ \x83\x5C" "a", "____0 = \"\x83\x5C\"\n____1 = ____0 ++ \x83\x5C" "a\n" "x = ____1\n"},
      {"\x95\x5C[1] = 2", "____d_0 = \x95\x5C[1]\n____d_0 = 2\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Compiled(c.text), c.listing) << c.text;
}

TEST(Compiler, Errors) {
  const std::string syntax = script_msg::kSyntax;
  struct Case { const char* text; std::string message; };
  const Case cases[] = {
      {"a = b = c", syntax},
      {"= 1", syntax},
      {"(a", syntax},
      {"a)", syntax},
      {"a = 1 +", syntax},
      {"a = * 2", syntax},
      {"(a)[1]", syntax},
      {"a[1][2]", syntax},
      {"a[1", syntax},
      {"f(a[1)", syntax},
      {"a = 1 2 +", syntax},
      {"a[]", script_msg::kNoSubscript},
      {"x = NoSuchFunc(1)", FormatMessage(script_msg::kNoFunction, "NoSuchFunc")},
      {"x = inttostr(1)", FormatMessage(script_msg::kNoFunction, "inttostr")},  // exact case
      {"x = IntToStr()", std::string("IntToStr") + script_msg::kArgCount},
      {"x = IntToStr(1,2,3)", std::string("IntToStr") + script_msg::kArgCount},
      {"x = PopVar(1)", std::string("PopVar") + script_msg::kArgCount},
  };
  for (const Case& c : cases) EXPECT_EQ(CompileError(c.text), c.message) << c.text;
  EXPECT_EQ(CompileError("x = PushVar(\"a\", \"b\", \"c\", \"d\")"), "(none)");  // no upper limit
  EXPECT_EQ(CompileError("x = PopVar()"), "(none)");
  // Deep grouping compiles from the inside out without deep recursion; an absurdly long
  // text is refused.
  EXPECT_EQ(CompileError("x = " + std::string(300, '(') + "1" + std::string(300, ')')), "(none)");
  EXPECT_EQ(CompileError("x = " + std::string(70000, '1')), syntax);
}

TEST(Compiler, OperandKindsAndByteIdenticalRoundTrip) {
  TBuildKestParser b;
  b.Compile("x = IntToStr($1F + 0x10 + 2.5 + TRUE + FALSE + \"s\" + name, 3)");
  TMemoryStream m;
  b.WriteTo(m);
  m.SetPosition(0);
  TKestParser p;
  p.LoadFromStream(m);
  TMemoryStream again;
  p.SaveToStream(again);
  EXPECT_EQ(again.Bytes(), m.Bytes());
  TKestParser q;
  q.Assign(p);
  TMemoryStream third;
  q.SaveToStream(third);
  EXPECT_EQ(third.Bytes(), m.Bytes());
  EXPECT_EQ(p.Listing(),
            "____0 = \"s\"\n____3 = 31 + 16\n____4 = ____3 + 2.5\n____5 = ____4 + TRUE\n"
            "____6 = ____5 + FALSE\n____7 = ____6 + ____0\n____8 = ____7 + name\n"
            "____1 = IntToStr(____8,3)\nx = ____1\n");
}

TEST(Compiler, StreamBytesByHand) {
  TBuildKestParser b;
  b.Compile("x = Length(\"ab\") + 1.0");
  TMemoryStream m;
  b.WriteTo(m);
  std::vector<uint8_t> expected;
  auto i32 = [&](int32_t v) {
    for (int k = 0; k < 4; ++k) expected.push_back(uint8_t(uint32_t(v) >> (8 * k)));
  };
  auto str = [&](const std::string& s) {
    i32(int32_t(s.size()));
    expected.insert(expected.end(), s.begin(), s.end());
  };
  i32(4);
  expected.push_back(1), str("____0"), i32(1), expected.push_back(4), str("ab");
  expected.push_back(11), str("____1"), i32(1), expected.push_back(5), expected.push_back(0), str("____0");
  expected.push_back(2), str("____2"), i32(2), expected.push_back(0), str("____1");
  expected.push_back(2);
  for (uint8_t v : {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}) expected.push_back(v);
  expected.push_back(1), str("x"), i32(1), expected.push_back(0), str("____2");
  EXPECT_EQ(m.Bytes(), expected);
}

TEST(Compiler, DamagedStreamsAreRefused) {
  TBuildKestParser b;
  b.Compile("x = Length(\"ab\") + 1");
  TMemoryStream m;
  b.WriteTo(m);
  const std::vector<uint8_t> good = m.Bytes();
  std::vector<std::vector<uint8_t>> bad;
  for (size_t n = 0; n < good.size(); ++n) bad.emplace_back(good.begin(), good.begin() + n);
  auto code = good;
  code[4] = 21;  // operation code beyond 20
  bad.push_back(code);
  code[4] = 0;
  bad.push_back(code);
  // The call record: code at 4+1+4+5+4+1+4+2 = 25, its operand count and id follow.
  auto id = good;
  ASSERT_EQ(id[25], OP_CALL);
  id[25 + 1 + 4 + 5 + 4] = 159;  // function id beyond 158
  bad.push_back(id);
  auto count = good;
  count[25 + 1 + 4 + 5] = 2;  // Length takes one argument
  bad.push_back(count);
  auto kind = good;
  kind[4 + 1 + 4 + 5 + 4] = 7;  // operand kind beyond 4
  bad.push_back(kind);
  auto huge = good;
  huge[0] = 0xFF, huge[1] = 0xFF, huge[2] = 0xFF, huge[3] = 0x7F;
  bad.push_back(huge);
  for (const auto& bytes : bad) {
    TKestParser p;
    TMemoryStream s{std::vector<uint8_t>(bytes)};
    EXPECT_THROW(p.LoadFromStream(s), EKestBadData) << bytes.size();
    EXPECT_EQ(p.Count(), 0);
  }
}

TEST(Evaluator, Operations) {
  struct Case { const char* text; int32_t kind; const char* value; };
  const Case cases[] = {
      {"7 / 2", PT_INT, "3"},
      {"-7 / 2", PT_INT, "-3"},
      {"7 % -2", PT_INT, "1"},
      {"-7 % 2", PT_INT, "-1"},
      {"-1 >> 28", PT_INT, "15"},
      {"1 << 33", PT_INT, "2"},       // counts modulo 32
      {"1 << -1", PT_INT, "-2147483648"},
      {"2147483647 + 1", PT_INT, "-2147483648"},  // wrap-around
      {"65536 * 65536", PT_INT, "0"},
      {"-2147483648 / -1", PT_INT, "-2147483648"},
      {"-2147483648 % -1", PT_INT, "0"},
      {"1 + 2.5", PT_INT, "3"},
      {"2.5 + 1", PT_FLOAT, "3.5"},
      {"7.0 / 2", PT_FLOAT, "3.5"},
      {"\"2\" + \"3\"", PT_STR, "5"},
      {"\"2\" - \"3\"", PT_INT, "-1"},
      {"\"a\" ++ 1", PT_STR, "a1"},
      {"1 ++ 2.5", PT_STR, "12.5"},
      {"\"x\" ++ (1 == 1)", PT_STR, "xTRUE"},
      {"6 | 3", PT_INT, "7"}, {"6 & 3", PT_INT, "2"}, {"6 ^ 3", PT_INT, "5"},
      {"\"01\" == 1", PT_BOOL, "FALSE"},  // compared as texts: "01" and "1"
      {"1 == \"01\"", PT_BOOL, "TRUE"},   // compared as integers
      {"\"b\" > \"B\"", PT_BOOL, "TRUE"},
      {"\"\x82\xA0\" > \"z\"", PT_BOOL, "TRUE"},  // byte order, unsigned
      {"2.5 >= 2.5", PT_BOOL, "TRUE"},
      {"TRUE > FALSE", PT_BOOL, "TRUE"},
      {"3 <> 3", PT_BOOL, "FALSE"},
      {"3 <= 2", PT_BOOL, "FALSE"},
      {"1 < 2 ++ \"\"", PT_STR, "TRUE"},
      {"1 - - 1", PT_INT, "2"},
  };
  // Through the collection and with the temporaries in the parser: the same results.
  for (bool priv : {true, false})
  for (const Case& c : cases) {
    Env e(priv);
    auto p = e.Run(c.text);
    ASSERT_NE(p->Result(), nullptr) << c.text << ": " << p->LastError();
    EXPECT_EQ(p->Result()->GetKind(), c.kind) << c.text;
    EXPECT_EQ(p->Result()->GetStr(), c.value) << c.text;
    EXPECT_EQ(e.vars.Count(), SV_COUNT) << "temporaries left behind by " << c.text;
  }
}

TEST(Evaluator, AssignmentsConvertToTheTargetKind) {
  for (bool priv : {true, false}) {
  Env e(priv);
  e.Declare("n", PT_INT);
  e.Declare("f", PT_FLOAT);
  e.Declare("s", PT_STR);
  e.Declare("b", PT_BOOL);
  e.Run("n = 7 / 2");
  EXPECT_EQ(e.V("n").GetInt(), 3);
  e.Run("f = 7 / 2");  // the temporary is an integer: 3
  EXPECT_EQ(e.V("f").GetFloat(), 3);
  e.Run("f = 7.0 / 2");
  EXPECT_EQ(e.V("f").GetFloat(), 3.5L);
  e.Run("s = 1.0 / 3");
  EXPECT_EQ(e.V("s").GetStr(), "0.333333333333333");
  e.Run("b = \"TRUE\"");
  EXPECT_TRUE(e.V("b").GetBool());
  e.Run("n = \"$1F\"");
  EXPECT_EQ(e.V("n").GetInt(), 31);
  e.Run("n = 2.7");
  EXPECT_EQ(e.V("n").GetInt(), 2);
  EXPECT_EQ(e.vars.Count(), SV_COUNT + 4);
  }
}

TEST(Evaluator, ElementReferences) {
  for (bool priv : {true, false}) {
  Env e(priv);
  TParamCollectionItem* arr = e.Declare("arr", PT_INT);
  arr->Value()->SetDims({3, 4});
  e.Declare("x", PT_INT);
  auto p = e.Run("arr[1,2] = 5");
  EXPECT_EQ(p->LastError(), "");
  EXPECT_EQ(arr->Value()->GetIntAt(6), 5);
  EXPECT_EQ(arr->Value()->GetCount(), 12);  // still the array
  e.Run("x = arr[1,2] + arr[0,0]");
  EXPECT_EQ(e.V("x").GetInt(), 5);
  e.Run("arr[2,3] = arr[1,2] * 2");
  EXPECT_EQ(arr->Value()->GetIntAt(11), 10);
  p = e.Run("x = arr[3,0]");
  EXPECT_EQ(p->LastError(), std::string("arr[3,0]\r\n") + script_msg::kBeyondCount);
  p = e.Run("x = arr[1]");
  EXPECT_EQ(p->LastError(), std::string("arr[1]\r\n") + script_msg::kBadSubscripts);
  p = e.Run("x = arr[0,-1]");  // negative subscripts reach the element access
  EXPECT_EQ(p->LastError(), param_msg::kBadIndex);
  p = e.Run("x = arr[2147483647,2147483647]");
  EXPECT_EQ(p->LastError(), std::string("arr[2147483647,2147483647]\r\n") + script_msg::kBeyondCount);
  EXPECT_EQ(e.vars.Count(), SV_COUNT + 2);
  }
}

TEST(Evaluator, ErrorsStopTheRunAndKeepEarlierStores) {
  for (bool priv : {true, false}) {
  Env e(priv);
  e.Declare("a", PT_INT);
  e.Declare("b", PT_INT);
  e.Declare("c", PT_INT);
  // a = 1, then a missing variable, then the rest is skipped.
  TBuildKestParser bp;
  bp.Compile("a = 1");
  bp.Compile("b = missing + 1");
  bp.Compile("c = 3");
  TMemoryStream m;
  bp.WriteTo(m);
  m.SetPosition(0);
  TKestParser p;
  p.LoadFromStream(m);
  p.SetPrivateTemporaries(priv);
  p.Execute(e.funcs);
  EXPECT_EQ(e.V("a").GetInt(), 1);
  EXPECT_EQ(e.V("b").GetInt(), 0);
  EXPECT_EQ(e.V("c").GetInt(), 0);
  EXPECT_EQ(p.LastError(), FormatMessage(script_msg::kNoVariable, "missing"));
  EXPECT_EQ(p.Result(), nullptr);
  EXPECT_EQ(e.vars.Count(), SV_COUNT + 3);
  // Division by zero, integer and float alike.
  for (const char* t : {"a = 1 / 0", "a = 1 % 0", "a = 1.5 / 0"}) {
    auto q = e.Run(t);
    EXPECT_EQ(q->LastError(), script_msg::kDivByZero) << t;
  }
  // A target that does not exist.
  EXPECT_EQ(e.Run("nothere = 1")->LastError(), FormatMessage(script_msg::kNoVariable, "nothere"));
  // A result of no value kind: the copy fails after the temporaries are gone.
  EXPECT_THROW(e.Run("@Temp"), EKest);
  EXPECT_EQ(e.vars.Count(), SV_COUNT + 3);
  EXPECT_EQ(e.Run("a = 5")->Result(), nullptr);  // an assignment has no result
  }
}

TEST(Evaluator, FunctionsThroughTheDispatcher) {
  Env e;
  e.Declare("s", PT_STR);
  e.Declare("n", PT_INT);
  // A function without a body says so, and stops the run.
  auto p = e.Run("s = IntToStr(5)");
  EXPECT_EQ(p->LastError(), FormatMessage(script_msg::kNotAvailable, "IntToStr"));
  EXPECT_EQ(e.V("s").GetStr(), "");
  std::vector<int32_t> kinds;
  e.funcs.Register(0, [&](TSysFuncCall& c) {
    kinds.push_back(c.result.GetKind());
    c.result.SetStr(IntToText(c.Arg(0).GetInt()) + "!");
  });
  e.Run("s = IntToStr(5 + 1)");
  EXPECT_EQ(e.V("s").GetStr(), "6!");
  // The result temporary has the function's result kind.
  e.funcs.Register(5, [](TSysFuncCall& c) { c.result.SetStr("12"); });  // Length: integer
  e.Run("n = Length(\"x\") + 1");
  EXPECT_EQ(e.V("n").GetInt(), 13);
  // GetProp takes the kind of the property (PR_LEFT 3 is an integer, PR_NAME 0 a string).
  std::vector<int32_t> propKinds;
  e.funcs.Register(SF_GETPROP, [&](TSysFuncCall& c) { propKinds.push_back(c.result.GetKind()); });
  e.Run("GetProp(\"obj\", 3)");
  e.Run("GetProp(\"obj\", 0)");
  EXPECT_EQ(propKinds, (std::vector<int32_t>{PT_INT, PT_STR}));
  EXPECT_EQ(e.Run("GetProp(\"obj\", 165)")->LastError(), script_msg::kGetPropArg);
  EXPECT_EQ(e.Run("GetProp(\"obj\", -1)")->LastError(), script_msg::kGetPropArg);
  // A var argument is written back through its reference.
  e.funcs.Register(9, [](TSysFuncCall& c) { c.Arg(0).SetStr("written"); });  // Delete
  e.Run("Delete(s, 1)");
  EXPECT_EQ(e.V("s").GetStr(), "written");
  EXPECT_EQ(e.vars.Count(), SV_COUNT + 2);
  // The dispatcher checks the argument count of records it did not compile itself.
  TParamInt r;
  TParamInt one;
  std::vector<TCustomParam*> none;
  EXPECT_THROW(e.funcs.CallFunction(r, 0, none), EKest);
  EXPECT_NO_THROW(e.funcs.CallFunction(r, 200, none));  // beyond the table: nothing
}

TEST(Evaluator, NestedRunTimeCompilesKeepTheirOwnTemporaries) {
  Env e;
  e.Declare("x", PT_STR);
  e.Declare("b", PT_INT);
  // Calc as a function body: runs its text at run time and stores TRUE.
  e.funcs.Register(SF_CALC, [](TSysFuncCall& c) {
    if (RunText(c.funcs, c.Arg(0).GetStr())) c.result.SetBool(true);
  });
  e.Run("x = \"p\" ++ Calc(\"b = 1 + 1\")");
  EXPECT_EQ(e.V("x").GetStr(), "pTRUE");
  EXPECT_EQ(e.V("b").GetInt(), 2);
  EXPECT_EQ(e.vars.Count(), SV_COUNT + 2);
  // A text that runs itself: the nesting is bounded.
  e.Declare("a", PT_STR);
  e.V("a").SetStr("Calc(a)");
  auto p = e.Run("x = Calc(a)");
  EXPECT_EQ(e.vars.Count(), SV_COUNT + 3);
  EXPECT_EQ(e.funcs.Nesting(), 0);
}

TEST(Evaluator, RunTextAndQuotedValues) {
  Env e;
  e.Declare("a", PT_STR);
  TParamCollectionItem* arr = e.Declare("arr", PT_STR);
  arr->Value()->SetDims({3});
  EXPECT_FALSE(RunText(e.funcs, "   "));
  EXPECT_FALSE(RunText(e.funcs, "a = (1"));
  EXPECT_TRUE(RunText(e.funcs, "arr[2] = \"x\""));
  EXPECT_EQ(arr->Value()->GetStrAt(2), "x");
  // A value pasted into a statement comes back exactly, quotes, backslashes, 表 and a
  // lone lead byte at the end included.
  for (const std::string v : {"plain", "q\"uote", "back\\slash\\", "\\\"", "\x95\x5C\\n", "end\x81"}) {
    EXPECT_TRUE(RunText(e.funcs, "a = " + QuoteLiteral(v))) << v;
    EXPECT_EQ(e.V("a").GetStr(), v);
  }
  EXPECT_EQ(e.vars.Count(), SV_COUNT + 2);
}

TEST(Evaluator, ATemporaryThatAlreadyExistsIsUsedAsItIs) {
  for (bool priv : {true, false}) {
    Env e(priv);
    e.Declare("x", PT_INT);
    TParamCollectionItem* outer = e.Declare("____0", PT_STR);  // an enclosing run's
    e.Run("x = 1 + 2");
    EXPECT_EQ(e.V("x").GetInt(), 3);
    EXPECT_EQ(e.vars.FindItem("____0"), outer);  // not freed by the inner run
    EXPECT_EQ(outer->Value()->GetStr(), "3");
  }
}

TEST(SystemFunctionTable, RowsAndLookup) {
  std::set<std::string> names;
  for (int32_t id = 0; id < kSysFuncCount; ++id) {
    const TSysFuncInfo* f = SysFuncInfo(id);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(names.insert(f->name).second) << f->name;
    EXPECT_EQ(FindSysFunc(f->name), id);
    EXPECT_GE(f->minArgs, 0);
    EXPECT_TRUE(f->maxArgs == -1 || f->maxArgs >= f->minArgs) << f->name;
  }
  EXPECT_EQ(SysFuncInfo(kSysFuncCount), nullptr);
  EXPECT_EQ(SysFuncInfo(-1), nullptr);
  EXPECT_EQ(FindSysFunc("intToStr"), -1);
  struct Row { int32_t id; const char* name; int32_t min, max, kind; };
  const Row rows[] = {
      {0, "IntToStr", 1, 2, PT_STR},      {2, "GetProp", 2, 2, PT_NONE},
      {21, "SetArray", 2, -1, PT_INT},    {38, "Float", 1, 1, PT_FLOAT},
      {91, "DBInsert", 0, -1, PT_BOOL},   {116, "DBCopyTable", 1, 5, PT_BOOL},
      {136, "Calc", 1, 1, PT_STR},        {155, "PushVar", 1, -1, PT_BOOL},
      {156, "PopVar", 0, 0, PT_BOOL},     {158, "CopyFile", 2, 2, PT_BOOL},
  };
  for (const Row& r : rows) {
    const TSysFuncInfo* f = SysFuncInfo(r.id);
    EXPECT_STREQ(f->name, r.name);
    EXPECT_EQ(f->minArgs, r.min) << r.name;
    EXPECT_EQ(f->maxArgs, r.max) << r.name;
    EXPECT_EQ(f->kind, r.kind) << r.name;
  }
  EXPECT_STREQ(PropertyInfo(0)->name, "PR_NAME");
  EXPECT_EQ(PropertyInfo(3)->kind, PT_INT);
  EXPECT_STREQ(PropertyInfo(33)->name, "PR_ONNOTIFY");
  EXPECT_STREQ(PropertyInfo(164)->name, "PR_BLURDELAY");
  EXPECT_EQ(PropertyInfo(165), nullptr);
}
