#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "objects/litems.h"
#include "objects/propcmds.h"
#include "script/params.h"
#include "test_kinds.h"

namespace kest {
namespace {

using test::TFakeHooks;
using test::TTestComponent;
using test::TTestControl;

class Objects : public ::testing::Test {
 protected:
  void SetUp() override { test::RegisterTestKinds(); }
  TTestControl* NewControl(const std::string& name = "", TKestControl* parent = nullptr) {
    auto* c = static_cast<TTestControl*>(list.CreateByKind(LT_BOX));
    if (!name.empty()) c->SetName(name);
    c->SetParent(parent ? parent : list.ActiveScreen());
    return c;
  }
  TTestComponent* NewComponent(const std::string& name = "") {
    auto* c = static_cast<TTestComponent*>(list.CreateByKind(LT_TIMER));
    if (!name.empty()) c->SetName(name);
    return c;
  }
  std::vector<std::string> ChildNames(const TKestControl* c) {
    std::vector<std::string> out;
    for (const TKestControl* k : c->Children()) out.push_back(k->Name());
    return out;
  }
  TKestBaseList list;
};

TEST(Vocabulary, TableAndCreationOrder) {
  EXPECT_STREQ(PropInfo(PR_BLURDELAY).Name, "PR_BLURDELAY");
  EXPECT_EQ(FindPropByName("PR_ONNOTIFY"), 33);
  EXPECT_EQ(PropInfo(PR_COLOR).Default, 0xFFFFFF);
  EXPECT_EQ(PropInfo(PR_ZOOMY).Default, 256);
  EXPECT_EQ(PropInfo(PR_PARAM3).Kind, PT_FLOAT);
  EXPECT_EQ(PropInfo(PR_APPEARY).Access, TPropAccess::WriteError);
  for (int32_t id : {45, 78, 79, 138, 140, 161}) EXPECT_EQ(PropInfo(id).Access, TPropAccess::ReadOnly) << id;
  // The order names every property once and writes source, sizes, positions in that order.
  std::set<int32_t> seen(kCreationOrder.begin(), kCreationOrder.end());
  EXPECT_EQ(seen.size(), size_t(kPropCount));
  EXPECT_EQ(*seen.rbegin(), 164);
  auto pos = [](int32_t id) { return std::find(kCreationOrder.begin(), kCreationOrder.end(), id) - kCreationOrder.begin(); };
  EXPECT_EQ(pos(PR_NAME), 0);
  EXPECT_LT(pos(PR_SOURCE), pos(PR_WIDTH));
  EXPECT_LT(pos(PR_HEIGHT), pos(PR_LEFT));
  EXPECT_EQ(pos(PR_CARETHEIGHT), pos(PR_CARETY) + 1);
  EXPECT_EQ(kCreationOrder[kPropCount - 1], PR_BLURDELAY);
}

TEST_F(Objects, ThreeSetsOfDefaultsStayApart) {
  // Colour: white when unimplemented, 0 on a new control, none when a creation writes it.
  TTestComponent* comp = NewComponent();
  TTestControl* ctl = NewControl();
  EXPECT_EQ(comp->IntProp(PR_COLOR), 0xFFFFFF);
  EXPECT_EQ(ctl->IntProp(PR_COLOR), 0);
  EXPECT_EQ(CreationDefault(PR_COLOR), -1);
  // Visibility: false when unimplemented, true on a new control and at creation.
  EXPECT_FALSE(comp->BoolProp(PR_VISIBLE));
  EXPECT_TRUE(ctl->BoolProp(PR_VISIBLE));
  EXPECT_EQ(CreationDefault(PR_VISIBLE), 1);
  EXPECT_EQ(CreationDefault(PR_FONTHEIGHT), 16);
  EXPECT_EQ(PropInfo(PR_FONTHEIGHT).Default, 0);
  EXPECT_EQ(CreationDefault(PR_LEFT), 0);
}

TEST_F(Objects, KindFactoryMasksAndRefusesReservedCodes) {
  for (int32_t code : {0, 1, 10, 28, 127}) EXPECT_EQ(list.CreateByKind(code), nullptr) << code;
  TKestObject* cab = list.CreateByKind(0x80 | LT_CABINET);
  ASSERT_NE(cab, nullptr);
  EXPECT_EQ(cab->Kind(), LT_CABINET);
  EXPECT_EQ(cab->Name(), "object0");
  EXPECT_EQ(RegisterKind(LT_MAP, nullptr), nullptr);
  EXPECT_EQ(list.CreateByKind(LT_SOUND), nullptr);  // not registered in this binary
}

TEST_F(Objects, PropertyAccessTable) {
  TTestComponent* comp = NewComponent("c");
  TTestControl* ctl = NewControl("k");
  ctl->SetWidth(33);
  TParamStr s;
  // Reads of properties a kind does not implement answer the table's default, as text.
  struct Read { TKestObject* obj; int32_t index; const char* text; } reads[] = {
      {comp, PR_COLOR, "16777215"}, {comp, PR_ZOOMX, "256"},       {comp, PR_VISIBLE, "FALSE"},
      {comp, PR_BORDERCOLOR, "-1"}, {comp, PR_COLCOUNT, "0"},      {comp, PR_APPEARX, "0"},
      {comp, PR_REWINDONLOAD, "TRUE"}, {comp, PR_PARAM1, "0"},    {comp, PR_COMPOTYPE, "15"},
      {ctl, PR_ORIGWIDTH, "33"},    {ctl, PR_VISIBLE, "TRUE"},     {ctl, PR_COLOR, "0"},
      {ctl, 256 + PR_WIDTH, "33"},  {ctl, PR_PARENT, "\x01" "BASE0"}, {comp, PR_DELAY, "0"},
  };
  for (const Read& r : reads) {
    GetProperty(*r.obj, r.index, s);
    EXPECT_EQ(s.GetStr(), r.text) << r.index;
  }
  // Out of range and the two write-error properties raise; read-only ones are ignored.
  TParamInt v;
  v.SetInt(7);
  for (int32_t bad : {165, 255, -1}) {
    EXPECT_THROW(
        try { GetProperty(*ctl, bad, v); } catch (const EKest& e) {
          EXPECT_EQ(e.Message(), "GetProp\x83G\x83\x89\x81[");
          throw;
        },
        EKest);
  }
  for (int32_t bad : {165, int32_t(PR_APPEARX), int32_t(PR_APPEARY), 256 + PR_APPEARX}) {
    EXPECT_THROW(
        try { SetProperty(*ctl, bad, v); } catch (const EKest& e) {
          EXPECT_EQ(e.Message(), "SetProp\x83G\x83\x89\x81[");
          throw;
        },
        EKest);
  }
  for (int32_t ro : {PR_CARETX, PR_COMPOTYPE, PR_PLAYING, PR_COUNT}) EXPECT_NO_THROW(SetProperty(*ctl, ro, v));
  GetProperty(*ctl, PR_COMPOTYPE, s);
  EXPECT_EQ(s.GetStr(), "2");
  // Writes an object does not implement do nothing; writes convert to the declared kind.
  SetProperty(*comp, PR_LEFT, v);
  GetProperty(*comp, PR_LEFT, s);
  EXPECT_EQ(s.GetStr(), "0");
  s.SetStr("12");
  SetProperty(*ctl, 256 + PR_LEFT, s);
  EXPECT_EQ(ctl->Left(), 12);
  s.SetStr("TRUE");
  SetProperty(*ctl, PR_HANDLEKEY, s);
  TParamFloat f;
  GetProperty(*ctl, PR_HANDLEKEY, f);
  EXPECT_EQ(f.GetFloat(), 1);
  f.SetFloat(5.75L);
  SetProperty(*comp, PR_DELAY, f);
  EXPECT_EQ(comp->delay, FloatToInt(5.75L));
}

TEST_F(Objects, AutomaticNamesTakeTheLowestFreeNumber) {
  TKestObject* a = NewComponent();
  TKestObject* b = NewComponent();
  TKestObject* c = NewControl();
  EXPECT_EQ(a->Name(), "object0");
  EXPECT_EQ(b->Name(), "object1");
  EXPECT_EQ(c->Name(), "object2");
  b->Scrap();
  EXPECT_EQ(NewComponent()->Name(), "object1");
  EXPECT_EQ(NewComponent()->Name(), "object3");
  a->SetName("Object0");  // case matters: object0 is free again
  EXPECT_EQ(list.UniqueName("object"), "object0");
  EXPECT_EQ(list.FindObject("object0"), nullptr);
  EXPECT_EQ(list.FindObject("Object0"), a);
  EXPECT_EQ(list.UniqueName("p"), "p0");
}

TEST_F(Objects, RenamingRules) {
  // A component taking a used name scraps the older holder.
  TTestComponent* t1 = NewComponent("t");
  TTestComponent* t2 = NewComponent();
  t2->SetName("t");
  EXPECT_TRUE(t1->IsScrapped());
  EXPECT_EQ(t1->Name(), "");
  EXPECT_EQ(list.FindObject("t"), t2);

  // A control taking a used name gives the holder a numbered name.
  struct Case { const char* held; std::vector<const char*> taken; const char* becomes; } cases[] = {
      {"btn", {}, "btn_2"},
      {"btn", {"btn_2"}, "btn_3"},
      {"a_1", {}, "a_1_2"},
      {"a_7", {}, "a_8"},
      {"a_7", {"a_8"}, "a_9"},
      {"x_01", {}, "x_01_2"},  // "01" is the number 1, which is no counter
      {"x_+5", {}, "x_+5_2"},
      {"_9", {}, "_9_2"},    // the first character is never a cut position
      {"b_2147483647", {}, "b_2147483648"},
  };
  for (const Case& c : cases) {
    TKestBaseList l;
    for (const char* n : c.taken) static_cast<TKestControl*>(l.CreateByKind(LT_BOX))->SetName(n);
    auto* holder = static_cast<TKestControl*>(l.CreateByKind(LT_BOX));
    holder->SetName(c.held);
    auto* taker = static_cast<TKestControl*>(l.CreateByKind(LT_BOX));
    taker->SetName(c.held);
    EXPECT_EQ(holder->Name(), c.becomes) << c.held;
    EXPECT_EQ(taker->Name(), c.held);
    EXPECT_FALSE(holder->IsScrapped());
  }
  // A control holder of a component's new name is scrapped (the component rule), and a
  // component holder of a control's new name is renamed (the control rule).
  TTestControl* img = NewControl("i");
  NewComponent("i");
  EXPECT_TRUE(img->IsScrapped());
  TTestComponent* tm = NewComponent("j");
  NewControl("j");
  EXPECT_EQ(tm->Name(), "j_2");
  // The screens hold their names for themselves: a control named like one leaves it alone.
  NewControl(std::string(kScreen0Name));
  EXPECT_EQ(list.Screen(0)->Name(), kScreen0Name);
}

TEST_F(Objects, LookupsByName) {
  TTestControl* a = NewControl("a");
  TTestComponent* t = NewComponent("t");
  EXPECT_EQ(list.FindObject(""), list.ActiveScreen());
  EXPECT_EQ(list.FindObject("\x01" "BASE0"), list.ActiveScreen());
  EXPECT_EQ(list.FindObject("\x01"), list.BackScreen());
  list.SetActiveIndex(1);
  EXPECT_EQ(list.FindObject("\x01" "BASE1"), list.BackScreen());
  EXPECT_EQ(list.FindContainer("\x01" "BASE1"), list.Screen(1));
  EXPECT_EQ(list.FindContainer("\x01" "BASE0"), list.Screen(0));
  EXPECT_EQ(list.FindContainer(""), list.Screen(1));
  EXPECT_EQ(list.FindContainer("t"), nullptr);  // components hold nothing
  EXPECT_EQ(list.FindObject("t"), t);
  EXPECT_EQ(list.FindContainer("a"), a);
  EXPECT_EQ(list.FindObject("A"), nullptr);
  a->Scrap();
  EXPECT_EQ(list.FindContainer("a"), nullptr);
  std::vector<std::string> names;
  EXPECT_EQ(list.ListNames(LT_TIMER, &list, names), 1);
  EXPECT_EQ(names, std::vector<std::string>{"t"});
}

TEST_F(Objects, ReparentingRules) {
  TTestControl* a = NewControl("a");
  TTestControl* b = NewControl("b", a);
  TTestControl* c = NewControl("c", b);
  TParamStr s;
  s.SetStr("c");
  SetProperty(*a, PR_PARENT, s);  // into its own grandchild: refused
  EXPECT_EQ(a->Parent(), list.ActiveScreen());
  s.SetStr("a");
  SetProperty(*a, PR_PARENT, s);  // itself
  EXPECT_EQ(a->Parent(), list.ActiveScreen());
  s.SetStr("nothing");
  SetProperty(*c, PR_PARENT, s);
  EXPECT_EQ(c->Parent(), b);
  SetProperty(*list.ActiveScreen(), PR_PARENT, s);
  EXPECT_EQ(list.ActiveScreen()->Parent(), nullptr);
  s.SetStr("\x01");
  SetProperty(*c, PR_PARENT, s);
  EXPECT_EQ(c->Parent(), list.BackScreen());
  EXPECT_TRUE(b->Children().empty());
  EXPECT_FALSE(c->IsReallyVisible());
  // Cabinets park controls and tell them so.
  auto* cab = static_cast<TKestControl*>(list.CreateByKind(LT_CABINET));
  cab->SetName("cab");
  cab->SetParent(list.ActiveScreen());
  s.SetStr("cab");
  SetProperty(*c, PR_PARENT, s);
  EXPECT_EQ(c->entered, 1);
  EXPECT_TRUE(c->IsInCabinet());
  EXPECT_FALSE(cab->IsVisible());
  s.SetStr("b");
  SetProperty(*c, PR_PARENT, s);
  EXPECT_EQ(c->left, 1);
  EXPECT_TRUE(c->IsReallyVisible());
  a->SetVisible(false);
  EXPECT_FALSE(c->IsReallyVisible());
}

TEST_F(Objects, PriorityAndDrawingOrder) {
  TKestControl* scr = list.ActiveScreen();
  TTestControl* b = NewControl("b");
  TTestControl* a = NewControl("a");
  TTestControl* big = NewControl("B");  // 'B' sorts before 'a' in byte order
  TTestControl* sys = NewControl("\x01sys");
  TTestControl* snap = NewControl("\x01\x01");
  EXPECT_EQ(ChildNames(scr), (std::vector<std::string>{"\x01sys", "B", "a", "b", "\x01\x01"}));
  a->SetPriority(5);
  EXPECT_EQ(ChildNames(scr), (std::vector<std::string>{"\x01sys", "B", "b", "a", "\x01\x01"}));
  snap->SetPriority(-100);
  sys->SetPriority(100);
  EXPECT_EQ(ChildNames(scr).front(), "\x01sys");
  EXPECT_EQ(ChildNames(scr).back(), "\x01\x01");
  // Same priority written again keeps the offset; a new one resets it.
  big->SetPriorityOffset(10);
  EXPECT_EQ(ChildNames(scr)[3], "B");
  TParamInt v;
  v.SetInt(0);
  SetProperty(*big, PR_PRIORITY, v);
  EXPECT_EQ(big->PriorityOffset(), 10);
  v.SetInt(1);
  SetProperty(*big, PR_PRIORITY, v);
  EXPECT_EQ(big->PriorityOffset(), 0);
  EXPECT_EQ(ChildNames(scr), (std::vector<std::string>{"\x01sys", "b", "B", "a", "\x01\x01"}));
  (void)b;
}

TEST_F(Objects, RepositioningMatchesAFullSort) {
  std::mt19937 rng(7);
  std::vector<TTestControl*> kids;
  for (int i = 0; i < 60; ++i) {
    kids.push_back(NewControl("n" + std::to_string(i % 17) + "_" + std::to_string(i)));
    kids.back()->SetPriority(int32_t(rng() % 5));
  }
  kids[3]->SetName("\x01" "helper");
  kids[4]->SetPriority(INT32_MAX);
  kids[4]->SetPriorityOffset(INT32_MAX);  // the sum must not wrap below the others
  for (int step = 0; step < 300; ++step) {
    TTestControl* k = kids[rng() % kids.size()];
    if (step % 3 == 0) k->SetPriority(int32_t(rng() % 7) - 3);
    else k->SetPriorityOffset(int32_t(rng() % 9) - 4);
    std::vector<TKestControl*> expect = list.ActiveScreen()->Children();
    std::stable_sort(expect.begin(), expect.end(),
                     [](auto* x, auto* y) { return CompareDrawOrder(x, y) < 0; });
    ASSERT_EQ(list.ActiveScreen()->Children(), expect) << step;
  }
  EXPECT_EQ(list.ActiveScreen()->Children().back(), kids[4]);
  EXPECT_EQ(list.ActiveScreen()->Children().front(), kids[3]);
}

TEST_F(Objects, DestructionTellsTheQueueAndClearsFocus) {
  TFakeHooks hooks;
  list.SetHooks(&hooks);
  TTestControl* a = NewControl("a");
  TTestControl* b = NewControl("b", a);
  TTestControl* c = NewControl("c", b);
  TTestComponent* t = NewComponent("t");
  TObjectRef ra = a->Ref(), rb = b->Ref(), rc = c->Ref();
  list.SetFocusedDirect(c);
  list.ActiveScreen()->MouseObject = b->Ref();
  list.ClearRefocus();
  uint64_t sa = a->Serial(), sb = b->Serial(), sc = c->Serial();
  list.Delete(a);
  EXPECT_EQ(ra.Resolve(), nullptr);
  EXPECT_EQ(rb.Resolve(), nullptr);
  EXPECT_EQ(rc.Resolve(), nullptr);
  std::set<uint64_t> gone(hooks.destroyed.begin(), hooks.destroyed.end());
  EXPECT_EQ(gone, (std::set<uint64_t>{sa, sb, sc}));
  EXPECT_EQ(hooks.focusLost, std::vector<std::string>{"c"});
  EXPECT_EQ(list.FocusedControl(), nullptr);
  EXPECT_TRUE(list.RefocusRequested());
  EXPECT_FALSE(list.ActiveScreen()->MouseObject);
  EXPECT_EQ(list.GetObjectCount(), 1);
  EXPECT_EQ(list.IndexOf(t), 0);
  EXPECT_TRUE(list.ActiveScreen()->Children().empty());
  // A new object never answers an old handle.
  TTestControl* n = NewControl("a");
  EXPECT_EQ(ra.Resolve(), nullptr);
  EXPECT_EQ(n->Ref().Resolve(), n);
  list.SetHooks(nullptr);
}

TEST_F(Objects, HidingOrMovingAwayTheFocusDropsIt) {
  TFakeHooks hooks;
  list.SetHooks(&hooks);
  TTestControl* a = NewControl("a");
  TTestControl* b = NewControl("b", a);
  list.SetFocusedDirect(b);
  list.ClearRefocus();
  a->SetVisible(false);
  EXPECT_EQ(list.FocusedControl(), nullptr);
  EXPECT_TRUE(list.RefocusRequested());
  list.SetFocusedDirect(b);
  list.ClearRefocus();
  a->SetParent(list.BackScreen());
  EXPECT_EQ(list.FocusedControl(), nullptr);
  EXPECT_EQ(hooks.focusLost, (std::vector<std::string>{"b", "b"}));
  list.ClearRefocus();
  a->SetParent(list.ActiveScreen());  // nothing focused, now on the active screen
  EXPECT_TRUE(list.RefocusRequested());
  list.SetHooks(nullptr);
}

TEST_F(Objects, OwnerDestructionDestroysEachObjectOnce) {
  auto owner = std::make_unique<TKestBaseList>();
  auto make = [&](const char* n, TKestControl* parent) {
    auto* c = static_cast<TTestControl*>(owner->CreateByKind(LT_BOX));
    c->SetName(n);
    if (parent) c->SetParent(parent);
    return c;
  };
  TTestControl* early = make("early", nullptr);  // registered before its later parent
  TTestControl* parent = make("parent", owner->ActiveScreen());
  early->SetParent(parent);
  TTestControl* loose = make("loose", nullptr);  // no parent at all
  make("kid", loose);
  owner->CreateByKind(LT_TIMER);
  owner->Delete(owner->Screen(0));  // screens are the list's own
  EXPECT_EQ(owner->GetObjectCount(), 5);
  owner.reset();  // the sanitizers report any double destruction
}

TEST_F(Objects, UpdatePassDeletesFinishedAndScrappedObjects) {
  TFakeHooks hooks;
  list.SetHooks(&hooks);
  TTestControl* a = NewControl("a");
  TTestControl* b = NewControl("b");
  TTestControl* c = NewControl("c");
  TTestControl* paused = NewControl("p");
  paused->paused = true;
  b->finishNow = true;
  b->onIdle = "idle";
  c->Scrap();
  EXPECT_EQ(list.FindObject("c"), nullptr);
  EXPECT_EQ(list.IndexOf(c), 2);  // still registered until the pass ends
  TTestComponent* t = NewComponent("t");
  list.UpdateObjects();
  EXPECT_EQ(a->updates, 1);
  EXPECT_EQ(t->updates, 1);  // after the finished object, still updated this pass
  EXPECT_EQ(paused->updates, 0);
  EXPECT_EQ(list.GetObjectCount(), 3);
  EXPECT_EQ(list.FindObject("b"), nullptr);
  EXPECT_EQ(hooks.idle, std::vector<std::string>{"b"});
  EXPECT_EQ(ChildNames(list.ActiveScreen()), (std::vector<std::string>{"a", "p"}));
  list.SetHooks(nullptr);
}

TEST_F(Objects, PropertyCommands) {
  TTestControl* a = NewControl("a");
  TParamInt v;
  v.SetInt(40);
  ExecSetProp(list, "a", PR_WIDTH, &v);
  EXPECT_EQ(a->Width(), 40);
  ExecSetProp(list, "a", PR_WIDTH, nullptr);  // no value: nothing written
  EXPECT_EQ(a->Width(), 40);
  list.ActiveScreen()->SetWidth(640);
  ExecGetProp(list, "", PR_WIDTH, &v);
  EXPECT_EQ(v.GetInt(), 640);
  ExecGetProp(list, "missing", std::nullopt, &v);  // nothing found: no error either
  EXPECT_THROW(
      try { ExecGetProp(list, "a", std::nullopt, &v); } catch (const EKest& e) {
        EXPECT_EQ(e.Message(), object_msg::kBadPropIndex);
        throw;
      },
      EKest);
  EXPECT_THROW(ExecSetProp(list, "a", std::nullopt, &v), EKest);
  EXPECT_THROW(ExecSetProp(list, "a", PR_APPEARX, &v), EKest);
  ExecGetProp(list, "a", PR_WIDTH, nullptr);
  ExecObjDel(list, "");
  ExecObjDel(list, "\x01");  // the back screen is never scrapped
  EXPECT_EQ(list.BackScreen()->Name(), "\x01" "BASE1");
  ExecObjDel(list, "a");
  EXPECT_TRUE(a->IsScrapped());
  EXPECT_EQ(list.FindObject("a"), nullptr);
}

TEST_F(Objects, InvalidationCoversOldAndNewPlace) {
  TKestBase* scr = list.ActiveScreen();
  scr->SetWidth(100);
  scr->SetHeight(100);
  TTestControl* a = NewControl("a");
  a->SetBounds(10, 10, 20, 20);
  scr->ClearDirty();
  a->SetLeft(50);
  EXPECT_EQ(scr->DirtyRects(), (std::vector<TRect>{{10, 10, 30, 30}, {50, 10, 70, 30}}));
  scr->ClearDirty();
  a->SetLeft(50);  // unchanged: nothing
  a->SetClip(5, 5, 4, 4);
  EXPECT_EQ(scr->DirtyRects(), (std::vector<TRect>{{50, 10, 70, 30}, {55, 15, 59, 19}}));
  scr->ClearDirty();
  TTestControl* kid = NewControl("k", a);
  kid->SetBounds(15, 0, 20, 5);  // half outside its parent
  EXPECT_EQ(scr->DirtyRects().back(), (TRect{65, 10, 70, 15}));
  scr->ClearDirty();
  a->SetVisible(false);
  a->SetLeft(0);  // hidden: nothing to redraw
  EXPECT_EQ(scr->DirtyRects(), (std::vector<TRect>{{55, 15, 59, 19}}));  // within its clip
}

}  // namespace
}  // namespace kest
