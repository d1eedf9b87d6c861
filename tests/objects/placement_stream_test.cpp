#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "objects/litems.h"
#include "test_kinds.h"
#include "vfs/records.h"
#include "vfs/streams.h"

namespace kest {
namespace {

using test::TTestControl;

class Placement : public ::testing::Test {
 protected:
  void SetUp() override { test::RegisterTestKinds(); }
  TTestControl* New(TKestControl* parent) {
    auto* c = static_cast<TTestControl*>(list.CreateByKind(LT_BOX));
    c->SetParent(parent);
    return c;
  }
  TKestBaseList list;
};

TEST_F(Placement, DrawXTable) {
  struct Case {
    const char* what;
    std::function<void(TTestControl&)> setup;
    int32_t drawX;
  } cases[] = {
      {"plain anchor", [](TTestControl& c) { c.SetLeft(100), c.SetOffsetX(10); }, 90},
      {"position zoomed, zoom 128 (worked example)",
       [](TTestControl& c) { c.zoomX = 128, c.SetPosZoomed(true), c.SetLeft(100), c.SetOffsetX(10); }, 45},
      {"zoom 128 scales only the anchor", [](TTestControl& c) { c.zoomX = 128, c.SetLeft(100), c.SetOffsetX(10); }, 95},
      {"flip at 100 %", [](TTestControl& c) { c.flipH = true, c.SetWidth(40), c.SetLeft(100), c.SetOffsetX(10); }, 71},
      {"flip at 50 %",
       [](TTestControl& c) { c.flipH = true, c.zoomX = 128, c.SetWidth(40), c.SetLeft(100), c.SetOffsetX(10); }, 66},
      {"plus x", [](TTestControl& c) { c.SetLeft(100), c.SetOffsetX(10), c.SetPlusX(7); }, 97},
      {"motion replaces left",
       [](TTestControl& c) {
         c.SetLeft(100), c.SetOffsetX(10), c.SetPosZoomed(true);
         c.AttachMotion(std::make_unique<TControlMotion>());
         c.SetMotionX(30);
       },
       20},
      {"zoomed negative left truncates toward zero",
       [](TTestControl& c) { c.zoomX = 128, c.SetPosZoomed(true), c.SetLeft(-3); }, -1},
      {"zoom times left beyond 32 bits wraps only at the end",
       [](TTestControl& c) { c.zoomX = 512, c.SetPosZoomed(true), c.SetLeft(1 << 30); }, INT32_MIN},
  };
  for (const Case& k : cases) {
    TTestControl* c = New(list.ActiveScreen());
    k.setup(*c);
    EXPECT_EQ(c->DrawX(), k.drawX) << k.what;
  }
}

TEST_F(Placement, ChildrenFollowParentAndScroll) {
  TTestControl* p = New(list.ActiveScreen());
  p->SetLeft(50), p->SetTop(5);
  p->scrollX = 20;
  TTestControl* c = New(p);
  c->SetLeft(10), c->SetTop(1), c->SetOffsetX(3);
  EXPECT_EQ(c->DrawX(), 10 - 3 + 50 - 20);
  EXPECT_EQ(c->DrawY(), 6);
  EXPECT_EQ(c->LocalX(), 7);
  EXPECT_EQ(c->GetOrigin(), (TKestPoint{40, 6}));
  EXPECT_EQ(c->ClientToScreen({1, 1}), (TKestPoint{38, 7}));
  EXPECT_EQ(c->ScreenToClient({37, 6}), (TKestPoint{0, 0}));
  // The vertical rule uses the vertical zoom and flip.
  c->zoomY = 128, c->SetPosZoomed(true), c->SetTop(100), c->SetOffsetY(10);
  EXPECT_EQ(c->DrawY(), 45 + 5);
}

TEST_F(Placement, ProportionalToTheParentPicture) {
  TTestControl* p = New(list.ActiveScreen());
  p->GiveSurface(200, 100);
  p->SetWidth(100), p->SetHeight(100);
  TTestControl* c = New(p);
  c->GiveSurface(30, 10);
  c->SetPosZoomed(true);
  struct Case { int32_t left, offset; bool flip; int32_t drawX; } cases[] = {
      {50, 10, false, 20},  // 40 * 65536 / 131072
      {51, 0, false, 26},   // remainder 65536 rounds up
      {50, 10, true, 65},   // (200 + 10 - 50 - 30) / 2
  };
  for (const Case& k : cases) {
    c->SetLeft(k.left), c->SetOffsetX(k.offset), c->flipH = k.flip;
    EXPECT_EQ(c->DrawX(), k.drawX) << k.left << " " << k.flip;
  }
  // A parent without a width places by the plain rule instead of dividing by zero.
  c->flipH = false, c->SetLeft(50), c->SetOffsetX(10);
  p->SetWidth(0);
  EXPECT_EQ(c->DrawX(), 40);
  // A different zoom than the parent's, or no own picture, also takes the plain rule.
  p->SetWidth(100);
  c->zoomX = 128;
  EXPECT_EQ(c->DrawX(), 25 - 5);
}

// ---------------------------------------------------------------------------------------
// Streams

struct Bytes {
  std::vector<uint8_t> b;
  Bytes& I(int32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    return *this;
  }
  Bytes& B(uint8_t v) { return b.push_back(v), *this; }
  Bytes& S(const std::string& s) {
    I(int32_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
};

// A cabinet "c" as every version lays it out, up to its child count; only the gated
// fields differ.
Bytes CabinetHead(int32_t version) {
  Bytes x;
  x.S("c").I(3);
  if (version > 103) x.I(4);                    // priority offset
  if (version >= 120) x.S("tag");               // tag
  x.I(1).I(2).I(3).I(4).I(5).I(6).B(1);         // geometry, position zoomed
  if (version >= 130) x.I(7).I(8).I(9).I(10);   // motion, plus
  x.I(11).I(12).I(13).I(14).B(1);               // clip, animation paused
  x.B(1).I(0x123456).I(0).I(0).I(1).I(1).B(2);  // visible, color, reserved, ignore mouse
  x.S("cur").S("move").S("in");
  for (const char* h : {"out", "ld", "lu", "rd", "ru", "wd", "wu"}) x.S(h);
  if (version > 117) x.B(1).S("kd").S("ku").S("kr").S("fi").S("fo");
  return x;
}
Bytes CabinetBytes(int32_t version) { return CabinetHead(version).I(0); }  // no children

class Streams : public Placement {};

TEST_F(Streams, ControlLayoutByteForByte) {
  auto* cab = static_cast<TKestControl*>(list.CreateByKind(LT_CABINET));
  TMemoryStream in(CabinetBytes(140).b);
  cab->LoadFromStream(in, 140);
  EXPECT_EQ(in.Remaining(), 0);
  TMemoryStream out;
  cab->SaveToStream(out);
  EXPECT_EQ(out.Bytes(), CabinetBytes(140).b);
  EXPECT_EQ(cab->Name(), "c");
  EXPECT_EQ(cab->PriorityOffset(), 4);
  EXPECT_EQ(cab->Tag(), "tag");
  EXPECT_EQ(cab->MotionX(), 7);
  EXPECT_EQ(cab->GetClipRect().Width(), 13);
  EXPECT_EQ(cab->IgnoreMouse(), 2);
  EXPECT_EQ(cab->ReadProp(PR_ONFOCUSOUT).Str, "fo");
  EXPECT_EQ(cab->ReadProp(PR_ONMOUSEIN).Str, "in");
  EXPECT_EQ(cab->Color(), 0x123456);
}

TEST_F(Streams, OlderVersionsReadOnlyTheirFields) {
  for (int32_t version : {107, 117, 118, 119, 120, 129, 130, 140}) {
    TKestBaseList l;
    auto* cab = static_cast<TKestControl*>(l.CreateByKind(LT_CABINET));
    Bytes x = CabinetBytes(version);
    x.B(0x5A);  // whatever follows stays unread
    TMemoryStream in(x.b);
    cab->LoadFromStream(in, version);
    EXPECT_EQ(in.Remaining(), 1) << version;
    EXPECT_EQ(cab->Tag(), version >= 120 ? "tag" : "") << version;
    EXPECT_EQ(cab->ReadProp(PR_PLUSX).Int, version >= 130 ? 9 : 0) << version;
    EXPECT_EQ(cab->ReadProp(PR_HANDLEKEY).Flag, version > 117) << version;
    EXPECT_EQ(cab->ReadProp(PR_ONKEYDOWN).Str, version > 117 ? "kd" : "") << version;
    EXPECT_EQ(cab->ReadProp(PR_ONLBTNDOWN).Str, "ld") << version;
  }
}

TEST_F(Streams, TreeRoundTrip) {
  TTestControl* a = New(list.ActiveScreen());
  a->SetName("a");
  a->SetPriority(2);
  a->SetTag("\x83^\x83O");  // "タグ"
  a->SetBounds(1, 2, 30, 40);
  a->extra = 77;
  TTestControl* b = New(a);
  b->SetName("b");
  b->SetPriority(9);
  TTestControl* b2 = New(a);
  b2->SetName("b2");
  TTestControl* c = New(b);
  c->SetName("c");
  c->extra = -5;
  New(a)->SetName("\x01sys");  // never written
  New(a)->Scrap();              // never written
  TMemoryStream s;
  a->SaveToStream(s);

  TKestBaseList other;
  auto* a2 = static_cast<TTestControl*>(other.CreateByKind(LT_BOX));
  a2->SetParent(other.ActiveScreen());
  s.SetPosition(0);
  a2->LoadFromStream(s, kObjectStreamVersion);
  EXPECT_EQ(s.Remaining(), 0);
  EXPECT_EQ(other.GetObjectCount(), 4);
  EXPECT_EQ(a2->Name(), "a");
  EXPECT_EQ(a2->Tag(), "\x83^\x83O");
  EXPECT_EQ(a2->extra, 77);
  ASSERT_EQ(a2->GetChildCount(), 2);
  EXPECT_EQ(a2->GetChild(0)->Name(), "b2");  // priority 0 draws below priority 9
  EXPECT_EQ(a2->GetChild(1)->Name(), "b");
  auto* c2 = static_cast<TTestControl*>(other.FindObject("c"));
  ASSERT_NE(c2, nullptr);
  EXPECT_EQ(c2->Parent(), a2->GetChild(1));
  EXPECT_EQ(c2->extra, -5);
  TMemoryStream again;
  a2->SaveToStream(again);
  EXPECT_EQ(again.Bytes(), s.Bytes());
}

TEST_F(Streams, DamagedStreamsFailCleanly) {
  TTestControl* a = New(list.ActiveScreen());
  New(New(a));
  TMemoryStream good;
  a->SaveToStream(good);
  const std::vector<uint8_t>& bytes = good.Bytes();
  auto load = [](std::vector<uint8_t> data) {
    TKestBaseList l;
    auto* c = static_cast<TKestControl*>(l.CreateByKind(LT_BOX));
    c->SetParent(l.ActiveScreen());
    TMemoryStream s(std::move(data));
    c->LoadFromStream(s, kObjectStreamVersion);
  };
  for (size_t n = 0; n < bytes.size(); ++n)
    EXPECT_THROW(load(std::vector<uint8_t>(bytes.begin(), bytes.begin() + ptrdiff_t(n))), EKestBadData) << n;

  // A child of a kind that is not created, or not a control, stops the load.
  Bytes bad = CabinetHead(140);
  for (int kind : {0, 1, 10, 28, 99, int(LT_TIMER), int(LT_SOUND)}) {
    Bytes x = bad;
    x.I(1).B(uint8_t(kind));
    x.b.resize(x.b.size() + 64, 0);
    EXPECT_THROW(load(x.b), EKestBadData) << kind;
  }
  Bytes many = bad;
  many.I(1000000);
  EXPECT_THROW(load(many.b), EKestBadData);
  Bytes negative = bad;
  negative.I(-1);
  EXPECT_THROW(load(negative.b), EKestBadData);

  // Nesting deeper than any title builds is refused instead of exhausting the stack.
  Bytes deep;
  for (int i = 0; i < 5000; ++i) {
    Bytes one = CabinetHead(140);
    deep.b.insert(deep.b.end(), one.b.begin(), one.b.end());
    deep.I(1).B(LT_CABINET);
  }
  try {
    load(deep.b);
    ADD_FAILURE() << "deep nesting loaded";
  } catch (const EKestBadData& e) {
    EXPECT_EQ(e.Message(), object_msg::kBadObjectData);  // refused, not run out of data
  }
}

}  // namespace
}  // namespace kest
