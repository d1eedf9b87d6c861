#include "script/sysvars.h"

#include <gtest/gtest.h>

#include <map>

#include "script/paramcoll.h"

using namespace kest;

namespace {
// The state of the subsystems above, as a test fake that registers itself.
struct FakeHost {
  bool lclick = false, fullScr = false;
  int32_t mouseX = 10, historyMax = 100, stackCount = 3;
  std::vector<std::string> params{"p0", "p1"};
  std::map<int, bool> keys;
  bool wheelDown = false, wheelUp = false;
  int32_t resultKind = PT_NONE;
  std::unique_ptr<TCustomParam> result;
  std::vector<std::string> log;

  void Bind(TParamCollection& c) {
    c.BindSystem(SV_LCLICK, {.getBool = [this] { return lclick; },
                             .setBool = [this](bool b) { lclick = b; }});
    c.BindSystem(SV_LPUSH, {.getBool = [] { return true; }});
    c.BindSystem(SV_MOUSEX, {.getInt = [this] { return mouseX; },
                             .setInt = [this](int32_t v) { log.push_back("warp " + std::to_string(v)); mouseX = v; }});
    c.BindSystem(SV_FULLSCR, {.getBool = [this] { return fullScr; },
                              .setBool = [this](bool b) { log.push_back(b ? "full" : "window"); fullScr = b; }});
    c.BindSystem(SV_HISTORYMAXCOUNT, {.getInt = [this] { return historyMax; },
                                      .setInt = [this](int32_t v) { historyMax = v; }});
    c.BindSystem(SV_STACKCOUNT, {.getInt = [this] { return stackCount; }});
    c.BindSystem(SV_PARAMSTR, {.count = [this] { return int32_t(params.size()); },
                               .strAt = [this](int32_t i) { return params.at(size_t(i)); }});
    auto key = [this](int32_t k) {
      if (k == 256) return wheelDown;
      if (k == 257) return wheelUp;
      auto it = keys.find(k);
      return it != keys.end() && it->second;
    };
    c.BindSystem(SV_KEYPUSH, {.boolAt = key});
    c.BindSystem(SV_RESULT, {.resultKind = [this] { return resultKind; },
                             .resultValue = [this] { return result.get(); }});
  }
};

TCustomParam& Sys(TParamCollection& c, const char* name) { return *c.FindItem(name)->Value(); }
}  // namespace

TEST(SystemVariables, TableOfNamesAndKinds) {
  struct Case { int32_t id; const char* name; int32_t kind; bool writable; };
  const Case cases[] = {
      {SV_RESULT, "@Result", PT_NONE, true},       {SV_LPUSH, "@LPush", PT_BOOL, false},
      {SV_PARAMSTR, "@ParamStr", PT_STR, false},   {SV_WEEK, "@Week", PT_INT, false},
      {SV_FULLSCR, "@FullScr", PT_BOOL, true},     {SV_PI, "@Pi", PT_FLOAT, false},
      {SV_KEYREPEAT, "@KeyRepeat", PT_BOOL, false}, {SV_TEMP, "@Temp", PT_NONE, true},
      {SV_ISDEBUG, "@IsDebug", PT_BOOL, false},    {SV_STACKCOUNT, "@StackCount", PT_INT, false},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(SysVarInfo(c.id).name, c.name);
    EXPECT_EQ(SysVarInfo(c.id).kind, c.kind) << c.name;
    EXPECT_EQ(SysVarInfo(c.id).writable, c.writable) << c.name;
  }
  EXPECT_THROW(SysVarInfo(SV_COUNT), EKest);
}

TEST(SystemVariables, OwnState) {
  TParamCollection c;
  Sys(c, "@TextDelay").SetInt(30);
  EXPECT_EQ(c.TextDelay, 30);
  Sys(c, "@TextDelay").SetStr("abc");  // does not parse: unchanged
  EXPECT_EQ(c.TextDelay, 30);
  Sys(c, "@TextDelay").SetStr("$10");
  EXPECT_EQ(c.TextDelay, 16);
  Sys(c, "@TextDelay").SetFloat(7.9L);
  EXPECT_EQ(Sys(c, "@TextDelay").GetStr(), "7");
  Sys(c, "@SelStr").SetInt(5);
  EXPECT_EQ(c.SelStr, "5");
  Sys(c, "@Cursor").SetBool(true);
  EXPECT_EQ(c.Cursor, "TRUE");
  Sys(c, "@SelIndex").SetInt(-1);
  EXPECT_EQ(Sys(c, "@SelIndex").GetInt(), -1);
  EXPECT_EQ(Sys(c, "@Pi").GetFloat(), 3.14159265358979323846264338327950288L);
  EXPECT_EQ(Sys(c, "@Pi").GetStr(), "3.14159265358979");
  Sys(c, "@Pi").SetFloat(3);  // read-only
  EXPECT_EQ(Sys(c, "@Pi").GetInt(), 3);
  EXPECT_EQ(Sys(c, "@1Hour").GetFloat() * 24, 1);
  EXPECT_EQ(Sys(c, "@1Sec").GetFloat(), 1.0L / 86400);
  EXPECT_FALSE(Sys(c, "@IsDebug").GetBool());
  EXPECT_EQ(Sys(c, "@IsDebug").GetStr(), "FALSE");
  // Indexed reads of a scalar system variable give the scalar for every index.
  EXPECT_EQ(Sys(c, "@TextDelay").GetIntAt(5), 7);
  EXPECT_EQ(Sys(c, "@TextDelay").GetCount(), 1);
  EXPECT_EQ(Sys(c, "@TextDelay").GetDim(0), 1);
}

TEST(SystemVariables, DateAndTimeSampledOncePerFrame) {
  TParamCollection c;
  TPlayerClock clock;
  c.AttachClock(&clock);
  int samples = 0;
  TLocalDateTime now{2026, 12, 13, 1, 23, 59, 58};  // a Sunday
  c.SetDateTimeSource([&] {
    ++samples;
    return now;
  });
  EXPECT_EQ(Sys(c, "@Week").GetInt(), 1);
  EXPECT_EQ(Sys(c, "@Year").GetInt(), 2026);
  now.sec = 59;
  EXPECT_EQ(Sys(c, "@Sec").GetInt(), 58);  // the same frame: the same sample
  EXPECT_EQ(samples, 1);
  clock.FrameCount = 1;
  EXPECT_EQ(Sys(c, "@Sec").GetInt(), 59);
  EXPECT_EQ(samples, 2);
  // The shared clock.
  clock.AcceptTick(15);
  clock.AcceptTick(16);
  EXPECT_EQ(Sys(c, "@TickCount").GetInt(), 31);
  EXPECT_EQ(Sys(c, "@UpdateCount").GetInt(), 1);
  Sys(c, "@TickCount").SetInt(0);  // read-only
  EXPECT_EQ(Sys(c, "@TickCount").GetInt(), 31);
  // The real clock gives a plausible date.
  TParamCollection r;
  EXPECT_GE(Sys(r, "@Year").GetInt(), 2000);
  EXPECT_GE(Sys(r, "@Week").GetInt(), 1);
  EXPECT_LE(Sys(r, "@Week").GetInt(), 7);
}

TEST(SystemVariables, ThroughTheRegistrationTable) {
  TParamCollection c;
  FakeHost h;
  h.Bind(c);
  EXPECT_FALSE(Sys(c, "@LClick").GetBool());
  Sys(c, "@LClick").SetInt(2);
  EXPECT_TRUE(h.lclick);
  Sys(c, "@LPush").SetBool(false);  // read-only: the setter is never asked
  EXPECT_TRUE(Sys(c, "@LPush").GetBool());
  // A text written to a flag variable is read as an integer.
  Sys(c, "@FullScr").SetStr("TRUE");
  EXPECT_FALSE(h.fullScr);
  Sys(c, "@FullScr").SetStr("1");
  EXPECT_TRUE(h.fullScr);
  Sys(c, "@FullScr").SetStr("0");
  EXPECT_EQ(h.log, (std::vector<std::string>{"full", "window"}));
  Sys(c, "@MouseX").SetStr("44");
  EXPECT_EQ(Sys(c, "@MouseX").GetStr(), "44");
  Sys(c, "@MouseX").SetStr("x");  // unchanged, the cursor not moved
  EXPECT_EQ(h.log.size(), 3u);
  EXPECT_EQ(Sys(c, "@StackCount").GetInt(), 3);

  // String array of the parameters.
  TCustomParam& ps = Sys(c, "@ParamStr");
  EXPECT_EQ(ps.GetCount(), 2);
  EXPECT_EQ(ps.GetDim(0), 2);
  EXPECT_EQ(ps.GetStrAt(1), "p1");
  EXPECT_EQ(ps.GetStrAt(2), "");
  EXPECT_EQ(ps.GetStrAt(-1), "");
  EXPECT_EQ(ps.GetStr(), "");  // the scalar read
  EXPECT_EQ(ps.IndexOfStr("P1", false, false), 1);

  // The key tables.
  TCustomParam& kp = Sys(c, "@KeyPush");
  h.keys[65] = true;
  h.wheelDown = true;
  EXPECT_EQ(kp.GetCount(), 258);
  EXPECT_EQ(kp.GetDimCount(), 1);
  EXPECT_TRUE(kp.GetBoolAt(65));
  EXPECT_TRUE(kp.GetBoolAt(256));
  EXPECT_FALSE(kp.GetBoolAt(257));
  EXPECT_FALSE(kp.GetBoolAt(300));
  EXPECT_FALSE(kp.GetBool());
  EXPECT_EQ(kp.GetStrAt(65), "TRUE");

  // Copying a system array gives a plain array of its elements.
  TParamFlag copy;
  copy.AssignConverted(kp);
  EXPECT_EQ(copy.GetCount(), 258);
  EXPECT_TRUE(copy.GetBoolAt(256));
}

TEST(SystemVariables, ResultAndTempForward) {
  TParamCollection c;
  FakeHost h;
  h.Bind(c);
  TCustomParam& r = Sys(c, "@Result");
  EXPECT_EQ(r.GetKind(), PT_NONE);
  EXPECT_EQ(r.GetCount(), 1);
  EXPECT_EQ(r.GetStr(), "");
  r.SetInt(3);  // no result value: ignored
  h.resultKind = PT_STR;
  h.result = std::make_unique<TParamStr>();
  r.SetInt(3);
  EXPECT_EQ(h.result->GetStr(), "3");
  EXPECT_EQ(r.GetKind(), PT_STR);
  r.SetDims({2});
  EXPECT_EQ(h.result->GetCount(), 2);
  EXPECT_EQ(r.GetDimCount(), 1);

  TCustomParam& t = Sys(c, "@Temp");
  EXPECT_EQ(t.GetKind(), PT_NONE);
  EXPECT_EQ(t.GetCount(), 1);
  t.SetInt(4);  // no target: ignored
  TParamCollectionItem* v = c.AddItem(PT_FLOAT);
  c.SetItemName(v, "v");
  c.TempTarget = "V";
  t.SetStr("2.5");
  EXPECT_EQ(v->Value()->GetFloat(), 2.5L);
  EXPECT_EQ(t.GetKind(), PT_FLOAT);
  EXPECT_EQ(t.GetInt(), 2);
  c.FreeItem(v);
  EXPECT_EQ(t.GetKind(), PT_NONE);
}

TEST(SystemVariables, UnconnectedOnesSayCleanlyThatTheyAreNot) {
  TParamCollection c;
  for (const char* name : {"@MouseY", "@Sender", "@Fonts", "@Title", "@KeyClick", "@MidiPorts",
                           "@PCTickCount", "@TickCount", "@Result"}) {
    try {
      (void)Sys(c, name).GetStr();
      ADD_FAILURE() << name << " answered without a source";
    } catch (const ESysVarNotConnected& e) {
      EXPECT_EQ(e.Variable(), name);
      EXPECT_STREQ(e.what(), param_msg::kInternal);
    }
  }
  // Writes to an unconnected writable variable do nothing, and never invent state.
  EXPECT_NO_THROW(Sys(c, "@SoundON").SetBool(true));
}
