#include "engine/callman.h"

#include <gtest/gtest.h>

#include <map>

#include "engine/pagetext.h"
#include "objects/litems.h"
#include "vfs/records.h"

namespace kest {
namespace {

struct Host : TCallManHost {
  std::map<std::string, std::vector<uint8_t>> files;
  bool terminating = false;
  int64_t clock = 0;
  int32_t delta = 15;
  std::vector<std::string> tooOld;
  bool PageExists(const std::string& n) override { return files.count(n) != 0; }
  void ReadPage(TStream& dest, const std::string& n) override {
    auto it = files.find(n);
    if (it == files.end()) throw EKest("no file " + n);
    dest.WriteBuffer(it->second.data(), int64_t(it->second.size()));
  }
  void PageTooOld(const std::string& n) override {
    tooOld.push_back(n);
    terminating = true;
  }
  bool Terminating() override { return terminating; }
  void Terminate() override { terminating = true; }
  int64_t ClockTime() override { return clock; }
  int32_t ClockDelta() override { return delta; }
  void Add(const std::string& name, const std::string& text) {
    TPage p;
    AssemblePage(text, p);
    TMemoryStream m;
    p.SaveToStream(m);
    files[name] = m.TakeBytes();
  }
};

struct Senders : TSenderDirectory {
  std::map<std::string, uint32_t> live;
  bool Alive(const TSenderRef& r) override { return live.count(r.name) && live[r.name] == r.serial; }
  TSenderRef Find(const std::string& n) override {
    return live.count(n) ? TSenderRef{n, live[n]} : TSenderRef{};
  }
};

struct Env {
  TParamCollection vars;
  TSysFuncMan funcs{vars};
  Host host;
  TTimerList queue;
  Senders senders;
  std::unique_ptr<TCallMan> cm = std::make_unique<TCallMan>(funcs, host, &queue, &senders);
  std::vector<std::string> trace;
  Env() {
    for (const char* n : {"a", "b", "c", "r"}) {
      TParamCollectionItem* item = vars.AddItem(PT_INT);
      vars.SetItemName(item, n);
    }
    cm->Trace = [this](const std::string& l) { trace.push_back(l); };
  }
  int32_t Var(const char* n) { return vars.FindItem(n)->Value()->GetInt(); }
};

TEST(CallMan, ChainFlagDecidesWhatRunsInOneStep) {
  Env e;
  e.host.Add("main.ksb",
             "Calc line=1 chain {a = a + 1}\nCalc line=2 chain {a = a + 1}\nCalc line=3 {a = a + 1}\n"
             "Calc line=4 {b = 1}\nCalc line=5 {b = 2}\n");
  e.cm->Start("main.ksb");
  e.cm->Step();
  EXPECT_EQ(e.Var("a"), 3);
  EXPECT_EQ(e.Var("b"), 0);
  e.cm->Step();
  EXPECT_EQ(e.Var("b"), 1);
  e.cm->Step();
  EXPECT_EQ(e.Var("b"), 2);
  EXPECT_EQ(e.trace.front(), "00000000 : main.ksb(1)");
  EXPECT_EQ(e.trace.size(), 5u);
  // Closing: every step still runs exactly one pass.
  e.host.terminating = true;
  e.cm->Start("main.ksb");
  e.cm->Step();
  EXPECT_EQ(e.Var("a"), 4);
}

TEST(CallMan, PropertyCommandsReadWriteAndDeleteObjects) {
  Env e;
  TKestBaseList owner;
  TKestCabinet* box = owner.Create<TKestCabinet>();
  box->SetName("box");
  e.cm->Objects = &owner;
  e.host.Add("main.ksb",
             "SetProp chain {\"box\"} {3} {40 + 2}\n"
             "GetProp chain {\"box\"} {3} \"a\"\n"
             "GetProp chain {\"none\"} {3} \"b\"\n"   // no such object: nothing happens
             "GetProp chain {\"box\"} {3} \"zz\"\n"   // no such variable: nothing stored
             "ObjDel chain {\"box\"}\n"
             "Calc {c = 1}\n");
  e.cm->Start("main.ksb");
  e.cm->Step();
  EXPECT_EQ(e.Var("a"), 42);
  EXPECT_EQ(e.Var("b"), 0);
  EXPECT_EQ(e.Var("c"), 1);
  EXPECT_TRUE(box->IsScrapped());
  // A property index that yields no value is an error of that command; the page goes on.
  e.host.Add("bad.ksb", "GetProp chain {\"\"} {} \"a\"\nCalc {c = 2}\n");
  e.cm->Start("bad.ksb");
  e.cm->Step();
  e.cm->Step();
  EXPECT_EQ(e.Var("c"), 2);
}

TEST(CallMan, BlocksLoopsAndJumps) {
  Env e;
  e.host.Add("main.ksb",
             "WhileInit {a = 0}\n"
             "While chain {a < 5} 4\n"
             "  Calc chain {b = b + a}\n"
             "WhileLoop {a = a + 1} 1\n"
             "If chain {b > 9}\n"
             "  Calc chain {c = 1}\n"
             "Elseif chain {1}\n"
             "  Calc chain {c = 2}\n"
             "Else\n"
             "  Calc chain {c = 3}\n"
             "Jump chain \"other.ksb\" 1 {1}\n");
  e.host.Add("other.ksb", "Calc chain {r = 1}\nCalc chain {r = r + 5}\n");
  e.cm->Start("main.ksb");
  for (int i = 0; i < 20; ++i) e.cm->Step();
  EXPECT_EQ(e.Var("b"), 10);
  EXPECT_EQ(e.Var("c"), 1);
  EXPECT_EQ(e.Var("r"), 5);
  EXPECT_EQ(e.cm->Page->Name, "other.ksb");
}

TEST(CallMan, CallAndReturnThroughTheStack) {
  Env e;
  e.host.Add("main.ksb", "Calc chain {a = 1}\nCall chain \"sub.ksb\" 1 \"r\" {1} [ {7} {} {\"x\"} ]\nCalc chain {b = 1}\n");
  e.host.Add("sub.ksb", "kind 1\nLabel chain \"top\"\nCalc {c = 5}\nExit {1}\nCalc {c = 6}\n");
  e.cm->Start("main.ksb");
  e.cm->Step();  // through the call into the sub page, up to its unchained command
  EXPECT_EQ(e.cm->Page->Name, "sub.ksb");
  EXPECT_EQ(e.Var("c"), 5);
  ASSERT_EQ(e.cm->StackCount(), 1);
  EXPECT_EQ(e.vars.CurrentDepth, 1);
  EXPECT_EQ(e.cm->ArgCount(), 2);  // an argument without value is left out
  EXPECT_EQ(e.cm->Arg(0), "7");
  EXPECT_EQ(e.cm->Arg(1), "x");
  EXPECT_EQ(e.cm->StackAt(0)->ReturnPC, 2);
  ASSERT_TRUE(e.cm->TopResult());
  e.cm->TopResult()->SetInt(42);
  e.cm->Step();  // exit, return, continue after the call
  EXPECT_EQ(e.cm->Page->Name, "main.ksb");
  EXPECT_EQ(e.cm->StackCount(), 0);
  EXPECT_EQ(e.Var("r"), 42);
  EXPECT_EQ(e.Var("b"), 1);
  EXPECT_EQ(e.Var("c"), 5);
  EXPECT_EQ(e.cm->ArgCount(), 0);
}

TEST(CallMan, PageCacheEvictsTheLeastRecentlyUsedButNeverTheCurrent) {
  Env e;
  for (int i = 0; i < 12; ++i) e.host.Add("p" + std::to_string(i) + ".ksb", "Label \"x\"\n");
  e.host.Add("P0.ksb", "Label \"y\"\n");
  e.cm->Start("p0.ksb");
  for (int i = 1; i <= 10; ++i) e.cm->GetPage("p" + std::to_string(i) + ".ksb", true);
  // Eleven pages: p0 is the oldest but current, so it stays.
  EXPECT_EQ(e.cm->Cache().size(), 11u);
  EXPECT_EQ(e.cm->Cache().back()->Name, "p0.ksb");
  e.cm->Page = e.cm->GetPage("p10.ksb", true);
  e.cm->GetPage("p11.ksb", true);
  ASSERT_EQ(e.cm->Cache().size(), 10u);
  EXPECT_EQ(e.cm->Cache().front()->Name, "p11.ksb");
  for (const auto& p : e.cm->Cache()) EXPECT_NE(p->Name, "p0.ksb");
  EXPECT_NE(e.cm->Cache().back()->Name, "p1.ksb");
  // Names differing in case are separate pages; a page fetched without touch goes last.
  TPage* upper = e.cm->GetPage("P0.ksb", false);
  EXPECT_EQ(upper->FindLabel("y"), 0);
  EXPECT_EQ(e.cm->Cache().back().get(), upper);
}

TEST(CallMan, AFailedLoadKeepsThePosition) {
  Env e;
  e.host.Add("main.ksb", "Calc chain {a = 1}\nJump chain \"bad.ksb\" 0 {1}\nCalc {b = 1}\n");
  e.host.files["bad.ksb"] = {115, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 61};
  e.cm->Start("main.ksb");
  e.cm->Step();
  e.cm->Step();
  EXPECT_EQ(e.Var("a"), 1);
  EXPECT_EQ(e.Var("b"), 1);  // after the jump, not back at the page start
  EXPECT_EQ(e.cm->Page->Name, "main.ksb");
}

TEST(CallMan, AnEventBetweenTwoCommandsRunsItsHandlerAndReturns) {
  Env e;
  e.senders.live["btn"] = 7;
  e.host.Add("main.ksb", "Calc {a = 1}\nCalc {b = 1}\nCalc {b = 2}\n");
  e.host.Add("ev.ksb", "Label \"no\"\nCalc {c = 9}\nLabel chain \"go\"\nCalc chain {c = c + 1}\n");
  e.cm->Start("main.ksb");
  e.cm->Step();
  e.queue.Post(TSenderRef{"btn", 7}, "ev.kss:go", {"p"}, 33);
  e.cm->Step();  // the handler runs to its end (chain flags do not matter) and returns
  EXPECT_EQ(e.Var("c"), 1);
  EXPECT_EQ(e.cm->Mode, 0);
  EXPECT_EQ(e.queue.Count(), 0);
  EXPECT_EQ(e.Var("b"), 1);  // the main script went on in the same step
  EXPECT_EQ(e.cm->Page->Name, "main.ksb");
  EXPECT_EQ(e.trace[1], "00000000 : <Event>ev.ksb(0)");
}

TEST(CallMan, AWaitHoldingEventsDefersThemAndNestedHandlersRun) {
  Env e;
  e.senders.live["s"] = 1;
  e.host.Add("main.ksb", "Wait {} {30} {1}\nCalc {a = 1}\n");
  e.host.Add("h.ksb", "Calc chain {b = b + 1}\n");
  e.cm->Start("main.ksb");
  e.cm->Step();  // the wait begins (first pass skipped)
  e.queue.Post(TSenderRef{"s", 1}, "h.kss", {}, 33);
  e.cm->Step();  // 30 - 15
  EXPECT_EQ(e.Var("b"), 0);
  e.cm->Step();  // the wait ends; its successor runs, then the event between commands
  e.cm->Step();
  EXPECT_EQ(e.Var("b"), 1);
}

TEST(CallMan, AHandlerThatWaitsRunsANestedEventFirst) {
  Env e;
  e.senders.live["s"] = 1;
  e.host.Add("main.ksb", "Calc {a = a + 1}\nCalc {a = a + 1}\nCalc {a = a + 1}\n");
  e.host.Add("h.ksb", "Wait {} {45} {}\nCalc chain {b = 1}\n");
  e.host.Add("n.ksb", "Calc chain {c = c + 1}\n");
  e.cm->Start("main.ksb");
  e.queue.Post(TSenderRef{"s", 1}, "h.kss", {}, 33);
  e.cm->Step();
  EXPECT_EQ(e.cm->Mode, 2);
  e.queue.Post(TSenderRef{"s", 1}, "n.kss", {}, 34);
  e.cm->Step();
  EXPECT_EQ(e.Var("c"), 1);
  EXPECT_EQ(e.Var("b"), 0);
  for (int i = 0; i < 6; ++i) e.cm->Step();
  EXPECT_EQ(e.Var("b"), 1);
  EXPECT_EQ(e.cm->Mode, 0);
  EXPECT_GE(e.Var("a"), 1);
  EXPECT_EQ(e.queue.Count(), 0);
}

TEST(CallMan, AHandlerEndingWithAnEmptyStackDoesNotHang) {
  Env e;
  e.host.Add("h.ksb", "Calc chain {b = 1}\n");
  e.cm->Start("h.ksb");
  e.cm->Mode = 1;  // as after its frame was taken off the stack
  e.cm->Step();
  EXPECT_EQ(e.cm->Mode, 0);
  EXPECT_EQ(e.Var("b"), 1);
}

TEST(CallMan, StateSavedMidPageLoadsAndResumes) {
  Env e;
  e.senders.live["s"] = 1;
  e.host.Add("main.ksb", "Calc chain {a = 1}\nWait {} {60} {}\nCalc {b = 1}\n");
  e.host.Add("h.ksb", "Wait {} {30} {}\nCalc chain {c = 1}\n");
  e.cm->Start("main.ksb");
  e.cm->Step();  // wait begun, first pass
  e.cm->Step();  // 60 - 15 = 45
  e.queue.Post(TSenderRef{"s", 1}, "h.kss", {"arg"}, 33);
  e.cm->Step();  // handler starts and waits
  e.cm->Step();  // handler wait 30 - 15
  ASSERT_EQ(e.cm->Mode, 2);
  TMemoryStream saved, queued;
  e.cm->SaveState(saved);
  e.queue.SaveToStream(queued, &e.senders);

  Env f;
  f.senders.live["s"] = 2;
  f.host.files = e.host.files;
  saved.SetPosition(0);
  queued.SetPosition(0);
  f.queue.LoadFromStream(queued, 140, &f.senders);
  f.cm->LoadState(saved, 140);
  EXPECT_EQ(f.cm->Page->Name, "h.ksb");
  EXPECT_EQ(f.cm->StackCount(), 1);
  EXPECT_EQ(f.cm->Arg(0), "arg");
  EXPECT_EQ(f.cm->SenderName(), "s");
  TMemoryStream again;
  f.cm->SaveState(again);
  EXPECT_EQ(again.TakeBytes(), saved.TakeBytes());
  // 15 ms left in the handler, then 45 in the main wait.
  int steps = 0;
  while (f.Var("b") == 0 && steps < 20) {
    f.cm->Step();
    ++steps;
  }
  EXPECT_EQ(f.Var("c"), 1);
  EXPECT_EQ(f.Var("b"), 1);
  EXPECT_EQ(f.cm->Mode, 0);
  EXPECT_LE(steps, 7);
  EXPECT_GE(steps, 4);
  // A damaged mode is refused.
  TMemoryStream bad;
  WriteString(bad, "main.ksb");
  WriteInt(bad, 0);
  WriteBool(bad, false);
  WriteBool(bad, false);
  WriteInt(bad, 9);
  bad.SetPosition(0);
  EXPECT_THROW(f.cm->LoadState(bad, 140), EKestBadData);
}

TEST(CallMan, NothingIsPushedForAPageThatCannotBeRead) {
  Env e;
  e.senders.live["s"] = 1;
  e.host.Add("main.ksb", "Call chain \"bad.ksb\" 0 \"\" {1} [ ]\nCalc {a = 1}\nCalc {b = 1}\n");
  e.host.files["bad.ksb"] = {115, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 61};
  std::vector<std::string> notes;
  e.cm->Diagnostic = [&](const std::string& n) { notes.push_back(n); };
  e.cm->Start("main.ksb");
  e.cm->Step();
  EXPECT_EQ(e.cm->StackCount(), 0);
  EXPECT_EQ(e.Var("a"), 1);
  // An event whose handler page is damaged is dropped, not retried with a stray entry.
  e.queue.Post(TSenderRef{"s", 1}, "bad.kss", {}, 33);
  e.cm->Step();
  EXPECT_EQ(e.cm->StackCount(), 0);
  EXPECT_EQ(e.cm->Mode, 0);
  EXPECT_EQ(e.queue.Count(), 0);
  EXPECT_EQ(e.Var("b"), 1);
  EXPECT_FALSE(notes.empty());
}

TEST(CallMan, HandlerTexts) {
  struct Case { const char* text; const char* page; const char* label; } cases[] = {
      {"ev.kss", "ev.ksb", ""},
      {"ev.kss:lbl", "ev.ksb", "lbl"},
      {"dir\\ev.kss", "dir\\ev.ksb", ""},
      {"a:b\\ev.kss", "a:b\\ev.ksb", ""},
      {"ev.kss\x82:", "ev.ksksb", ""},  // the colon is a trail byte: no label
      {"ks", "", ""},
  };
  for (const auto& c : cases) {
    std::string page, label;
    SplitHandler(c.text, page, label);
    EXPECT_EQ(page, c.page) << c.text;
    EXPECT_EQ(label, c.label) << c.text;
  }
}

TEST(TimerList, QueueOperations) {
  TTimerList q;
  TSenderRef a{"a", 1}, b{"b", 2};
  q.Post(a, "x.kss", {}, 33);
  q.Post(b, "y.kss", {"1"}, 34);
  q.Post(a, "z.kss", {}, 35);
  EXPECT_EQ(q.FindQueued(a, 35), 2);
  EXPECT_EQ(q.FindQueued(TSenderRef{"a", 9}, 35), -1);  // another object of that name
  q.FirstWaiting()->level = 1;
  EXPECT_EQ(q.FirstWaiting()->handler, "y.kss");
  q.RemoveWaitingOf(a);
  EXPECT_EQ(q.Count(), 2);
  q.RemoveStarted();
  ASSERT_EQ(q.Count(), 1);
  EXPECT_EQ(q.At(0).handler, "y.kss");
}

}  // namespace
}  // namespace kest
