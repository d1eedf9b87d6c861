#include <gtest/gtest.h>

#include <functional>

#include "common/real10.h"
#include "script/paramcoll.h"
#include "vfs/streams.h"

using namespace kest;

namespace {
// Bytes built by hand, independent of the writers under test.
struct Bytes {
  std::vector<uint8_t> b;
  Bytes& i32(int32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(uint8_t(uint32_t(v) >> (8 * k)));
    return *this;
  }
  Bytes& u8(uint8_t v) {
    b.push_back(v);
    return *this;
  }
  Bytes& str(const std::string& s) {
    i32(int32_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& raw(std::initializer_list<uint8_t> v) {
    b.insert(b.end(), v);
    return *this;
  }
  Bytes& add(const Bytes& o) {
    b.insert(b.end(), o.b.begin(), o.b.end());
    return *this;
  }
  // One collection record of a scalar integer.
  Bytes& intRecord(const std::string& name, int32_t v, uint8_t status = 0, int32_t depth = -1,
                   uint8_t local = 0) {
    return u8(PT_INT).str(name).i32(0).i32(1).i32(v).u8(status).u8(0).i32(depth).u8(local);
  }
};

std::vector<uint8_t> Save(const TParamCollection& c) {
  TMemoryStream m;
  c.SaveToStream(m);
  return m.Bytes();
}

void Load(TParamCollection& c, const std::vector<uint8_t>& bytes, int32_t version) {
  TMemoryStream m{std::vector<uint8_t>(bytes)};
  c.LoadFromStream(m, version);
  EXPECT_EQ(m.Position(), m.Size()) << "the section must be consumed exactly";
}

TParamCollectionItem* Declare(TParamCollection& c, const std::string& name, int32_t kind) {
  TParamCollectionItem* item = c.AddItem(kind);
  c.SetItemName(item, name);
  return item;
}

// name<TAB>kind<TAB>value text of every non-system item, in collection order.
std::string Dump(const TParamCollection& c) {
  std::string s;
  for (int i = 0; i < c.Count(); ++i) {
    const TParamCollectionItem* item = c.Item(i);
    if (item->IsSystem()) continue;
    s += item->Name() + "\t" + std::to_string(item->Value()->GetKind()) + "\t";
    for (int32_t k = 0; k < item->Value()->GetCount(); ++k) s += item->Value()->GetStrAt(k) + ",";
    s += " d" + std::to_string(item->depth) + (item->local ? "L" : "") + (item->status ? "S" : "") + "\n";
  }
  return s;
}
}  // namespace

TEST(ParamStream, ValueDataBytes) {
  // A 2x1 flag array and a float scalar, by hand.
  TParamFlag f;
  f.SetDims({2, 1});
  f.SetBoolAt(1, true);
  TMemoryStream m;
  f.SaveToStream(m);
  EXPECT_EQ(m.Bytes(), Bytes().i32(2).i32(2).i32(1).i32(2).raw({0, 1}).b);

  TParamFloat x;
  x.SetFloat(1.0L);
  TMemoryStream mx;
  x.SaveToStream(mx);
  EXPECT_EQ(mx.Bytes(), Bytes().i32(0).i32(1).raw({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}).b);

  TParamStr s;
  s.SetStr("\x95\x5C");
  TMemoryStream ms;
  s.SaveToStream(ms);
  EXPECT_EQ(ms.Bytes(), Bytes().i32(0).i32(1).str("\x95\x5C").b);
}

TEST(ParamStream, DamagedValueDataIsRefusedAndLeavesTheValue) {
  const Bytes cases[] = {
      Bytes().i32(1).i32(0).i32(0),                 // a dimension of 0
      Bytes().i32(1).i32(3).i32(2).i32(1).i32(2),   // count does not match the dims
      Bytes().i32(0).i32(2).i32(1).i32(2),          // a scalar with two elements
      Bytes().i32(-1),                              // negative dims count
      Bytes().i32(2).i32(65536).i32(65536).i32(0),  // 2^32 elements
      Bytes().i32(0).i32(1),                        // truncated
      Bytes().i32(0).i32(0x7FFFFFFF),               // huge count with nothing behind it
  };
  for (const Bytes& c : cases) {
    TParamInt v;
    v.SetInt(9);
    TMemoryStream m{std::vector<uint8_t>(c.b)};
    EXPECT_THROW(v.LoadFromStream(m), EKestBadData);
    EXPECT_EQ(v.GetCount(), 1);
    EXPECT_EQ(v.GetInt(), 9);
  }
}

TEST(ParamStream, RoundTripOfAGameSave) {
  TParamCollection c;
  TParamCollectionItem* a = Declare(c, "arr", PT_FLOAT);
  a->Value()->SetDims({2, 3});
  a->Value()->SetFloatAt(4, 1.0L / 3);
  Declare(c, "s", PT_STR)->Value()->SetStr("\x82\xA0" "text");
  TParamCollectionItem* loc = Declare(c, "loc", PT_BOOL);
  loc->depth = 2;
  loc->local = 1;
  loc->reserved = 7;
  loc->Value()->SetBool(true);
  TParamCollectionItem* st = Declare(c, "kept", PT_INT);
  st->status = 1;
  st->Value()->SetInt(5);
  // A reference created after its target.
  TParamCollectionItem* ref = Declare(c, "ref", PT_NONE);
  auto* rv = static_cast<TParamVar*>(ref->Value());
  rv->SetName("ARR");
  rv->SetTarget(a);
  rv->SetElementIndex(4);
  c.TextDelay = 12;
  c.Cursor = "cur";
  c.SelStr = "sel";
  c.SelIndex = -1;
  c.TempTarget = "s";
  c.PushVars({"s"});
  c.PushVars({"arr", "loc"});
  const std::vector<uint8_t> bytes = Save(c);

  TParamCollection d;
  TParamCollectionItem* dst = Declare(d, "kept", PT_INT);
  dst->status = 1;
  dst->Value()->SetInt(77);
  Declare(d, "gone", PT_INT);
  d.CurrentDepth = 2;
  Load(d, bytes, kVarsSaveVersion);
  EXPECT_EQ(d.FindItem("gone"), nullptr);
  EXPECT_EQ(d.FindItem("kept")->Value()->GetInt(), 77);  // status variables are not in saves
  ASSERT_NE(d.FindItem("arr"), nullptr);
  EXPECT_EQ(d.FindItem("arr")->Value()->DimList(), (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(d.FindItem("arr")->Value()->GetFloatAt(4), 1.0L / 3);  // exact, 10 bytes
  EXPECT_EQ(d.FindItem("s")->Value()->GetStr(), "\x82\xA0" "text");
  TParamCollectionItem* dl = d.FindItem("loc");
  ASSERT_NE(dl, nullptr);
  EXPECT_EQ(dl->depth, 2);
  EXPECT_EQ(dl->local, 1);
  EXPECT_EQ(dl->reserved, 7);
  // The reference was written after its target and finds it again.
  auto* dr = dynamic_cast<TParamVar*>(d.FindItem("ref")->Value());
  ASSERT_NE(dr, nullptr);
  EXPECT_EQ(dr->Target(), d.FindItem("arr"));
  EXPECT_EQ(dr->Name(), "ARR");
  EXPECT_EQ(dr->GetFloat(), 1.0L / 3);
  EXPECT_EQ(d.TextDelay, 12);
  EXPECT_EQ(d.Cursor, "cur");
  EXPECT_EQ(d.SelStr, "sel");
  EXPECT_EQ(d.SelIndex, -1);
  EXPECT_EQ(d.TempTarget, "s");
  EXPECT_EQ(d.SnapshotCount(), 2);
  // The snapshots came along byte for byte.
  d.FindItem("arr")->Value()->SetInt(0);
  d.PopVars();
  EXPECT_EQ(d.FindItem("arr")->Value()->GetFloatAt(4), 1.0L / 3);
  EXPECT_EQ(Save(d).size() > 0, true);
  // Saving again gives the same bytes as the first save after one more pop on both sides.
  c.PopVars();
  d.FindItem("s")->Value()->SetStr("\x82\xA0" "text");
  EXPECT_EQ(Dump(d).find("gone"), std::string::npos);
}

TEST(ParamStream, ItemsAreWrittenFromTheLastPosition) {
  TParamCollection c;
  Declare(c, "first", PT_INT)->Value()->SetInt(1);
  Declare(c, "second", PT_INT)->Value()->SetInt(2);
  const std::vector<uint8_t> expected = Bytes()
                                            .i32(2)
                                            .intRecord("second", 2)
                                            .intRecord("first", 1)
                                            .i32(50)
                                            .str("")
                                            .str("")
                                            .i32(0)
                                            .str("")
                                            .i32(0)
                                            .b;
  EXPECT_EQ(Save(c), expected);
}

TEST(ParamStream, PostponedReferencesNeverStall) {
  TParamCollection c;
  // r1 -> r2 -> r1 wait on each other; r3 waits on a system variable that is never
  // written; r4 waits on t, which is written.
  TParamCollectionItem* r1 = Declare(c, "r1", PT_NONE);
  TParamCollectionItem* r2 = Declare(c, "r2", PT_NONE);
  TParamCollectionItem* t = Declare(c, "t", PT_INT);
  TParamCollectionItem* r3 = Declare(c, "r3", PT_NONE);
  TParamCollectionItem* r4 = Declare(c, "r4", PT_NONE);
  static_cast<TParamVar*>(r1->Value())->SetTarget(r2);
  static_cast<TParamVar*>(r2->Value())->SetTarget(r1);
  static_cast<TParamVar*>(r3->Value())->SetTarget(c.FindItem("@SelIndex"));
  static_cast<TParamVar*>(r4->Value())->SetTarget(t);
  (void)t;
  const std::vector<uint8_t> bytes = Save(c);
  TParamCollection d;
  Load(d, bytes, kVarsSaveVersion);
  // Written order: t (r4 waits), r4, then the stalled ones in their order: r3, r2, r1.
  std::vector<std::string> names;
  for (int i = SV_COUNT; i < d.Count(); ++i) names.push_back(d.Item(i)->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"t", "r4", "r3", "r2", "r1"}));
  EXPECT_EQ(static_cast<TParamVar*>(d.FindItem("r4")->Value())->Target(), d.FindItem("t"));
  EXPECT_EQ(static_cast<TParamVar*>(d.FindItem("r3")->Value())->Target(), d.FindItem("@SelIndex"));
  // Each record says kind 0 for a reference, whatever its target reads as.
  EXPECT_EQ(bytes[4], PT_INT);
  EXPECT_EQ(bytes[4 + 1 + 4 + 1 + 8 + 4 + 7], PT_NONE);
}

TEST(ParamStream, OlderVersions) {
  const Bytes items = Bytes().i32(1).intRecord("v", 3);
  struct Case {
    int32_t version;
    Bytes tail;
    std::string selStr, tempTarget;
    int32_t selIndex;
    bool history;
  };
  std::vector<Case> cases;
  // 102: no selection, no history, no TempTarget, no snapshots.
  cases.push_back({102, Bytes().i32(20).str("c"), "", "", 0, false});
  // 110: selection.
  cases.push_back({110, Bytes().i32(20).str("c").str("sel").i32(4), "sel", "", 4, false});
  // 115: selection and the three history pairs.
  cases.push_back({115, Bytes().i32(20).str("c").str("sel").i32(4).i32(1).i32(2).i32(3).i32(4).i32(5).i32(6),
                   "sel", "", 4, true});
  // 125: history pairs and TempTarget.
  cases.push_back({125, Bytes().i32(20).str("c").str("sel").i32(4).i32(1).i32(2).i32(3).i32(4).i32(5).i32(6).str("v"),
                   "sel", "v", 4, true});
  // 135: no history any more; TempTarget; no snapshots yet.
  cases.push_back({135, Bytes().i32(20).str("c").str("sel").i32(4).str("v"), "sel", "v", 4, false});
  // 139: a snapshot stack with one entry holding one integer.
  cases.push_back({139,
                   Bytes().i32(20).str("c").str("sel").i32(4).str("v").i32(1).i32(1).i32(PT_INT).str("v").i32(0).i32(1).i32(8),
                   "sel", "v", 4, false});
  for (const Case& c : cases) {
    TParamCollection d;
    d.SelStr = "old";
    d.TempTarget = "old";
    d.PushVars({"@TextDelay"});
    int32_t got[6] = {};
    bool sunk = false;
    d.OldHistoryFormatSink = [&](const int32_t (&p)[6]) {
      std::copy(p, p + 6, got);
      sunk = true;
    };
    Bytes all = items;
    all.add(c.tail);
    Load(d, all.b, c.version);
    EXPECT_EQ(d.FindItem("v")->Value()->GetInt(), 3) << c.version;
    EXPECT_EQ(d.TextDelay, 20);
    EXPECT_EQ(d.Cursor, "c");
    EXPECT_EQ(d.SelStr, c.selStr) << c.version;
    EXPECT_EQ(d.SelIndex, c.selIndex) << c.version;
    EXPECT_EQ(d.TempTarget, c.tempTarget) << c.version;
    EXPECT_EQ(sunk, c.history) << c.version;
    if (c.history) {
      EXPECT_EQ(got[5], 6);
    }
    EXPECT_EQ(d.SnapshotCount(), c.version >= 139 ? 1 : 0) << c.version;
    if (c.version >= 139) {
      d.FindItem("v")->Value()->SetInt(0);
      d.PopVars();
      EXPECT_EQ(d.FindItem("v")->Value()->GetInt(), 8);
    }
  }
}

TEST(ParamStream, SnapshotEntriesOfSystemVariablesHoldOnlyDims) {
  // A stored save whose snapshot holds @TextDelay (dims only) then an integer: the entry's
  // end is found although the system variable wrote no elements.
  const Bytes b = Bytes()
                      .i32(0)
                      .i32(50)
                      .str("")
                      .str("")
                      .i32(0)
                      .str("")
                      .i32(1)
                      .i32(2)
                      .i32(PT_INT).str("@TextDelay").i32(0)
                      .i32(PT_STR).str("w").i32(0).i32(1).str("ok");
  TParamCollection d;
  Load(d, b.b, kVarsSaveVersion);
  d.TextDelay = 70;
  d.PopVars();
  EXPECT_EQ(d.TextDelay, 70);
  EXPECT_EQ(d.FindItem("w")->Value()->GetStr(), "ok");
}

TEST(ParamStream, ADamagedSaveLeavesTheCollectionAsItWas) {
  TParamCollection src;
  Declare(src, "a", PT_INT)->Value()->SetInt(1);
  Declare(src, "b", PT_STR)->Value()->SetStr("two");
  src.PushVars({"a"});
  const std::vector<uint8_t> good = Save(src);

  TParamCollection d;
  Declare(d, "mine", PT_INT)->Value()->SetInt(42);
  d.TextDelay = 9;
  d.PushVars({"mine"});
  const std::string before = Dump(d);
  // Every truncation, and a few corrupted bytes.
  std::vector<std::vector<uint8_t>> bad;
  for (size_t n = 0; n < good.size(); ++n) bad.emplace_back(good.begin(), good.begin() + n);
  auto flip = good;
  flip[4] = 9;  // kind byte out of range
  bad.push_back(flip);
  auto name = good;
  name[9] = '1';  // the record's name "b" becomes "1": an invalid name
  bad.push_back(name);
  for (const auto& bytes : bad) {
    TMemoryStream m{std::vector<uint8_t>(bytes)};
    EXPECT_THROW(d.LoadFromStream(m, kVarsSaveVersion), EKestBadData) << bytes.size();
    EXPECT_EQ(Dump(d), before);
    EXPECT_EQ(d.TextDelay, 9);
    EXPECT_EQ(d.SnapshotCount(), 1);
  }
  TMemoryStream newer{std::vector<uint8_t>(good)};
  EXPECT_THROW(d.LoadFromStream(newer, kVarsSaveVersion + 1), EKestBadData);
}

TEST(ParamStream, StatusRecord) {
  TParamCollection c;
  TParamCollectionItem* s1 = Declare(c, "s1", PT_INT);
  s1->status = 1;
  s1->Value()->SetInt(11);
  Declare(c, "game", PT_INT);
  TParamCollectionItem* s2 = Declare(c, "s2", PT_STR);
  s2->status = 1;
  s2->Value()->SetStr("x");
  TMemoryStream m;
  c.SaveStatus(m);
  EXPECT_EQ(m.Bytes(), Bytes()
                           .i32(2)
                           .u8(PT_STR).str("s2").i32(0).i32(1).str("x").u8(1).u8(0).i32(-1).u8(0)
                           .intRecord("s1", 11, 1)
                           .b);
  TParamCollection d;
  Declare(d, "other", PT_INT);
  m.SetPosition(0);
  d.LoadStatus(m);
  EXPECT_NE(d.FindItem("other"), nullptr);  // nothing freed first
  EXPECT_EQ(d.FindItem("s1")->Value()->GetInt(), 11);
  EXPECT_EQ(d.FindItem("s2")->status, 1);
  // Loading it over a game save keeps the status variables.
  TMemoryStream empty{Bytes().i32(0).i32(50).str("").str("").i32(0).str("").i32(0).b};
  d.LoadFromStream(empty, kVarsSaveVersion);
  EXPECT_EQ(d.FindItem("other"), nullptr);
  EXPECT_EQ(d.FindItem("s1")->Value()->GetInt(), 11);
}
