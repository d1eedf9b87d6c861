#include "script/paramcoll.h"

#include <gtest/gtest.h>

#include <functional>

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

TParamCollectionItem* Declare(TParamCollection& c, const std::string& name, int32_t kind,
                              int32_t value, int32_t depth = -1, bool local = false) {
  TParamCollectionItem* item = c.AddItem(kind);
  c.SetItemName(item, name);
  item->depth = depth;
  item->local = local;
  item->Value()->SetInt(value);
  return item;
}
}  // namespace

TEST(ParamCollection, StartsWithTheSystemVariablesInOrder) {
  TParamCollection c;
  ASSERT_EQ(c.Count(), SV_COUNT);
  EXPECT_EQ(c.Item(0)->Name(), "@Result");
  EXPECT_EQ(c.Item(SV_TEXTDELAY)->Name(), "@TextDelay");
  EXPECT_EQ(c.Item(SV_STACKCOUNT)->Name(), "@StackCount");
  EXPECT_EQ(c.FindItem("@textdelay"), c.SystemItem(SV_TEXTDELAY));
  for (int i = 0; i < SV_COUNT; ++i) EXPECT_TRUE(c.Item(i)->IsSystem());
}

TEST(ParamCollection, NameRules) {
  TParamCollection c;
  TParamCollectionItem* item = c.AddItem(PT_INT);
  for (const char* bad : {"", "a b", " a", "1a", "9", "0x"})
    EXPECT_EQ(ErrorOf([&] { c.SetItemName(item, bad); }), FormatMessage(param_msg::kBadName, bad))
        << bad;
  for (const char* good : {"a", "@x", "_1", "\x95\x5C", "\x01page", "a\x81\x40" "b", "x1"}) {
    EXPECT_NO_THROW(c.SetItemName(item, good)) << good;
    EXPECT_EQ(c.FindItem(good), item);
  }
  // A rename leaves the old name.
  c.SetItemName(item, "first");
  c.SetItemName(item, "second");
  EXPECT_EQ(c.FindItem("first"), nullptr);
  EXPECT_EQ(c.FindItem("SECOND"), item);
}

TEST(ParamCollection, NamesCompareWithoutCaseOutsideDoubleByteCharacters) {
  TParamCollection c;
  TParamCollectionItem* a = Declare(c, "A", PT_INT, 1);
  EXPECT_EQ(c.FindItem("a"), a);
  // "ア" (83 41) and 83 61 differ only in a trail byte that looks like a letter.
  TParamCollectionItem* k1 = Declare(c, "\x83\x41", PT_INT, 2);
  TParamCollectionItem* k2 = Declare(c, "\x83\x61", PT_INT, 3);
  EXPECT_EQ(c.FindItem("\x83\x41"), k1);
  EXPECT_EQ(c.FindItem("\x83\x61"), k2);
}

TEST(ParamCollection, ScopeResolution) {
  TParamCollection c;
  TParamCollectionItem* global = Declare(c, "x", PT_INT, 1);
  TParamCollectionItem* local2 = Declare(c, "X", PT_INT, 2, 2, true);
  c.CurrentDepth = 2;
  EXPECT_EQ(c.FindItem("x"), local2);
  c.CurrentDepth = 1;
  EXPECT_EQ(c.FindItem("x"), global);
  // A local of another depth is invisible, even with no global of the name.
  Declare(c, "onlylocal", PT_INT, 3, 5, true);
  EXPECT_EQ(c.FindItem("onlylocal"), nullptr);
  c.CurrentDepth = 5;
  EXPECT_NE(c.FindItem("onlylocal"), nullptr);

  // Of several non-local items of one name the oldest wins.
  TParamCollection d;
  TParamCollectionItem* old = Declare(d, "n", PT_INT, 1);
  Declare(d, "N", PT_INT, 2, 3);
  EXPECT_EQ(d.FindItem("n"), old);
  EXPECT_EQ(d.FindDeclared("n", false), old);
  EXPECT_EQ(d.FindDeclared("n", true), nullptr);
  d.CurrentDepth = 3;
  TParamCollectionItem* l = Declare(d, "n", PT_INT, 3, 3, true);
  EXPECT_EQ(d.FindDeclared("n", true), l);
  EXPECT_EQ(d.FindItem("n"), l);  // a local of the current depth is answered at once
}

TEST(ParamCollection, DepthsAndClearing) {
  TParamCollection c;
  Declare(c, "g", PT_INT, 1);
  TParamCollectionItem* s = Declare(c, "s", PT_INT, 2);
  s->status = 1;
  Declare(c, "auto1", PT_INT, 3, 1);
  Declare(c, "loc1", PT_INT, 4, 1, true);
  Declare(c, "auto2", PT_INT, 5, 2);
  Declare(c, "auto3", PT_INT, 6, 3);
  // A declaration that reused a system variable bound it to a depth: it stays anyway.
  c.SystemItem(SV_TEXTDELAY)->depth = 1;

  c.DeleteDepth(1);
  EXPECT_EQ(c.FindItem("auto1"), nullptr);
  EXPECT_EQ(c.FindItem("@TextDelay"), c.SystemItem(SV_TEXTDELAY));
  c.CurrentDepth = 1;
  EXPECT_EQ(c.FindItem("loc1"), nullptr);
  EXPECT_NE(c.FindItem("auto2"), nullptr);
  // Positions stay consecutive after removals.
  for (int i = 0; i < c.Count(); ++i) EXPECT_EQ(c.Item(i)->Index(), i);

  // Frame 2 removed from the middle: its items go, deeper ones move up.
  c.RemoveDepth(2);
  EXPECT_EQ(c.FindItem("auto2"), nullptr);
  EXPECT_EQ(c.FindItem("auto3")->depth, 2);
  EXPECT_EQ(c.FindItem("g")->depth, -1);

  c.TextDelay = 10;
  c.Cursor = "hand";
  c.SelStr = "kept";
  c.ClearVars();
  EXPECT_EQ(c.FindItem("g"), nullptr);
  EXPECT_EQ(c.FindItem("auto3"), nullptr);
  EXPECT_EQ(c.FindItem("s"), s);
  EXPECT_EQ(c.Count(), SV_COUNT + 1);
  EXPECT_EQ(c.TextDelay, 50);
  EXPECT_EQ(c.Cursor, "");
  EXPECT_EQ(c.SelStr, "kept");
}

TEST(ParamCollection, SystemVariablesAreNeverFreed) {
  TParamCollection c;
  TParamCollectionItem* tick = c.FindItem("@TickCount");
  EXPECT_FALSE(c.FreeItem(tick));
  EXPECT_EQ(c.FindItem("@TickCount"), tick);
  EXPECT_EQ(c.Count(), SV_COUNT);
  EXPECT_THROW(c.SetItemName(tick, "other"), EKest);
}

TEST(ParamCollection, CopyValue) {
  TParamCollection c;
  TParamCollectionItem* a = Declare(c, "a", PT_STR, 0);
  a->Value()->SetDims({2});
  a->Value()->SetStrAt(1, "hi");
  auto copy = c.CopyValue("A");
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->GetKind(), PT_STR);
  EXPECT_EQ(copy->GetStrAt(1), "hi");
  a->Value()->SetStrAt(1, "changed");
  EXPECT_EQ(copy->GetStrAt(1), "hi");  // detached
  EXPECT_EQ(c.CopyValue("missing"), nullptr);
  Declare(c, "r", PT_NONE, 0);
  EXPECT_EQ(ErrorOf([&] { c.CopyValue("r"); }), FormatMessage(param_msg::kBadVariable, "r"));
  // A system variable copies through its reads.
  c.TextDelay = 33;
  EXPECT_EQ(c.CopyValue("@TextDelay")->GetInt(), 33);
}

TEST(SnapshotStack, PushAndPop) {
  TParamCollection c;
  c.PopVars();  // an empty stack: nothing happens
  EXPECT_EQ(c.SnapshotCount(), 0);

  TParamCollectionItem* a = Declare(c, "a", PT_INT, 1);
  a->Value()->SetDims({3});
  a->Value()->SetIntAt(2, 7);
  Declare(c, "b", PT_STR, 0)->Value()->SetStr("text");
  Declare(c, "k", PT_INT, 4);
  c.TextDelay = 20;
  c.PushVars({"A", "nothere", "b", "k", "@TextDelay"});
  EXPECT_EQ(c.SnapshotCount(), 1);

  a->Value()->SetInt(100);           // shape and value change
  c.FreeItem(c.FindItem("b"));       // freed: recreated by the pop
  TParamCollectionItem* k = c.FindItem("k");
  c.FreeItem(k);
  Declare(c, "k", PT_STR, 0)->Value()->SetStr("other kind");  // another kind gives way
  c.TextDelay = 60;

  c.PopVars();
  EXPECT_EQ(c.SnapshotCount(), 0);
  EXPECT_EQ(c.FindItem("a"), a);
  EXPECT_EQ(a->Value()->GetCount(), 3);
  EXPECT_EQ(a->Value()->GetIntAt(2), 7);
  ASSERT_NE(c.FindItem("b"), nullptr);
  EXPECT_EQ(c.FindItem("b")->Value()->GetStr(), "text");
  EXPECT_EQ(c.FindItem("b")->depth, -1);
  EXPECT_EQ(c.FindItem("k")->Value()->GetKind(), PT_INT);
  EXPECT_EQ(c.FindItem("k")->Value()->GetInt(), 4);
  // System variables hold no data of their own in a snapshot and are never freed.
  EXPECT_EQ(c.TextDelay, 60);
  EXPECT_TRUE(c.FindItem("@TextDelay")->IsSystem());
}

TEST(SnapshotStack, PopNeverFreesASystemVariableOfAnotherKind) {
  TParamCollection c;
  int32_t kind = PT_INT;
  TParamInt result;
  c.BindSystem(SV_RESULT, {.resultKind = [&] { return kind; }, .resultValue = [&] { return &result; }});
  result.SetInt(5);
  c.PushVars({"@Result"});
  result.SetInt(6);
  c.PopVars();
  EXPECT_EQ(result.GetInt(), 5);  // restored through the forwarding

  c.PushVars({"@Result"});
  kind = PT_STR;  // the page now declares another result kind
  TParamStr other;
  c.BindSystem(SV_RESULT, {.resultKind = [&] { return kind; }, .resultValue = [&] { return &other; }});
  c.PopVars();
  EXPECT_TRUE(c.FindItem("@Result")->IsSystem());
  EXPECT_EQ(c.Count(), SV_COUNT);
  EXPECT_EQ(other.GetStr(), "");
}
