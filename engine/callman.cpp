#include "engine/callman.h"

#include <algorithm>
#include <optional>
#include <cstdio>
#include <cstring>

#include "common/sjis.h"
#include "objects/propcmds.h"
#include "script/parser.h"
#include "vfs/records.h"

namespace kest {

namespace {
constexpr char kStateTag[] = "kest100";

void WriteTag(TStream& s) { s.WriteBuffer(kStateTag, 7); }

// The number of a "kestNNN" tag, or 0 (stream rewound) when none is there.
int32_t ReadTag(TStream& s) {
  int64_t at = s.Position();
  char t[7];
  if (s.Size() - at >= 7) {
    s.ReadBuffer(t, 7);
    if (std::memcmp(t, "kest", 4) == 0 && t[4] >= '0' && t[4] <= '9' && t[5] >= '0' && t[5] <= '9' &&
        t[6] >= '0' && t[6] <= '9')
      return (t[4] - '0') * 100 + (t[5] - '0') * 10 + (t[6] - '0');
  }
  s.SetPosition(at);
  return 0;
}

std::string Hex8(int64_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%.8x", unsigned(uint32_t(v)));
  return b;
}
}  // namespace

void SplitHandler(const std::string& handler, std::string& page, std::string& label) {
  size_t lastSep = 0;  // one past the last "." or "\"
  std::vector<size_t> colons;
  for (size_t i = 0; i < handler.size(); i += CharLen(handler, i)) {
    char c = handler[i];
    if (CharLen(handler, i) != 1) continue;
    if (c == '.' || c == '\\') {
      lastSep = i + 1;
      colons.clear();
    } else if (c == ':' && i >= 1) {
      colons.push_back(i);
    }
  }
  (void)lastSep;
  std::string rest = handler;
  label.clear();
  if (!colons.empty()) {
    label = handler.substr(colons.front() + 1);
    rest = handler.substr(0, colons.front());
  }
  page = rest.size() >= 3 ? rest.substr(0, rest.size() - 3) + "ksb" : std::string();
}

TCallMan::TCallMan(TSysFuncMan& funcs, TCallManHost& host, TTimerList* queue, TSenderDirectory* senders)
    : funcs_(funcs), vars_(funcs.Vars()), host_(host), queue_(queue), senders_(senders),
      spare_(std::make_unique<TStack>()) {}

TCallMan::~TCallMan() = default;

void TCallMan::Note(const std::string& text) {
  if (Diagnostic) Diagnostic(text);
}

void TCallMan::Push(std::unique_ptr<TStack> e) {
  stack_.push_back(std::move(e));
  vars_.CurrentDepth = StackCount();
}

std::unique_ptr<TStack> TCallMan::Pop() {
  if (stack_.empty()) throw EKest(kMsgStackError);
  std::unique_ptr<TStack> e = std::move(stack_.back());
  stack_.pop_back();
  vars_.CurrentDepth = StackCount();
  return e;
}

void TCallMan::ClearStack() {
  stack_.clear();
  vars_.CurrentDepth = 0;
}

void TCallMan::FreePage(std::unique_ptr<TPage>& p) {
  if (TParamCollectionItem* item = vars_.FindItem("\x01" + p->Name)) vars_.FreeItem(item);
  p.reset();
}

TPage* TCallMan::GetPage(const std::string& name, bool touch) {
  for (size_t i = 0; i < cache_.size(); ++i) {
    if (cache_[i]->Name == name) {  // exact: pages differing in case are cached apart
      TPage* p = cache_[i].get();
      if (touch) {
        std::rotate(cache_.begin(), cache_.begin() + ptrdiff_t(i), cache_.begin() + ptrdiff_t(i) + 1);
        PC = 0;
      }
      return p;
    }
  }
  auto page = std::make_unique<TPage>(name);
  {
    TMemoryStream m;
    host_.ReadPage(m, name);
    m.SetPosition(0);
    switch (page->LoadFromStream(m)) {
      case TPage::TLoadResult::Loaded: break;
      case TPage::TLoadResult::TooNew: Note(name + ": page version too new, read as empty"); break;
      case TPage::TLoadResult::TooOld: host_.PageTooOld(name); break;
    }
  }
  // The position changes only once the page is in hand: a page that fails to load leaves
  // the caller where it was.
  TPage* p = page.get();
  if (touch) {
    PC = 0;
    cache_.insert(cache_.begin(), std::move(page));
    while (int32_t(cache_.size()) > kCacheLimit && cache_.back().get() != Page) {
      FreePage(cache_.back());
      cache_.pop_back();
    }
  } else {
    cache_.push_back(std::move(page));
  }
  return p;
}

TPage* TCallMan::Start(const std::string& name) {
  TPage* p = GetPage(name, true);
  Page = p;
  PC = 0;
  Started = false;
  Args.clear();
  Mode = 0;
  ClearStack();
  Sender = TSenderRef{};
  if (queue_) queue_->RemoveLevels(1, std::max(Level, 1));
  Level = 2;
  return p;
}

std::string TCallMan::SenderName() {
  if (Mode == 0 || !Sender) return std::string();
  if (senders_ && !senders_->Alive(Sender)) return std::string();
  return Sender.name;
}

void TCallMan::Step() {
  bool first = true;
  while (first || ((Running || Mode != 0) && !host_.Terminating())) {
    first = false;
    endStep_ = false;
    switch (Mode) {
      case 0:
        if (!StartEvent(1)) RunCurrent();
        break;
      case 1: {
        int r = RunCurrent();
        if (r == 1) {
          if (queue_) queue_->RemoveLevel(1);
          Mode = 0;
          Running = true;
        } else if (r == 2) {
          Level = 2;
          Mode = 2;
          return;
        } else if (Mode != 1) {
          Running = true;
        }
        break;
      }
      case 2:
        if (StartEvent(Level)) {
          Level += 1;
          Mode = 3;
        } else {
          Mode = Level > 2 ? 3 : 1;
        }
        break;
      default: {  // 3
        int r = RunCurrent();
        if (r == 1 || r == -1) {
          Level -= 1;
          if (queue_) queue_->RemoveLevel(Level);
          if (Level <= 2) Mode = 2;
        } else if (r == 2) {
          Mode = 2;
          return;
        }
        break;
      }
    }
    // A command that stayed where it was (it raised, or it waits) ends the step: it runs
    // again next frame, when time and input have moved on.
    if (endStep_) return;
  }
}

int TCallMan::RunCurrent() {
  if (!Page) return 0;
  TPage* next = Page;
  bool waiting = false;
  ExecuteCurrent(next, waiting);
  if (next) {
    Page = next;
    return waiting ? 2 : 0;
  }
  if (stack_.empty()) {
    Running = false;
    if (Mode != 0) {
      // A handler page that ends with nothing to return to (its frame was taken off the
      // stack) goes back to the main script, which has ended too.
      Mode = 0;
      Level = 2;
      Sender = TSenderRef{};
      if (queue_) queue_->RemoveStarted();
      endStep_ = true;
    }
    return waiting ? 2 : 0;
  }
  vars_.DeleteDepth(StackCount());
  std::unique_ptr<TStack> e = Pop();
  if (!e->ReturnVar.empty() && e->Result) {
    if (TParamCollectionItem* item = vars_.FindItem(e->ReturnVar)) {
      if (item->Value()) item->Value()->AssignConverted(*e->Result);
    } else {
      // An element target ("a[2]"): the value goes in as a quoted literal, so it is never
      // read as code.
      RunText(funcs_, e->ReturnVar + " = " + QuoteLiteral(e->Result->GetStr()));
    }
  }
  try {
    Page = GetPage(e->PageName, true);
  } catch (const std::exception& ex) {
    Note(e->PageName + ": " + ex.what());
    Page = nullptr;
    Running = false;
    endStep_ = true;
    return 0;
  }
  PC = e->ReturnPC;
  Started = e->Started;
  Running = e->Running;
  Args = std::move(e->Args);
  Sender = e->Sender;
  if (e->State && PC >= 0 && PC < Page->Count()) {
    e->State->SetPosition(0);
    try {
      LoadCommandState(*Page->At(PC), *e->State);
    } catch (const std::exception&) {
    }
  }
  spare_ = std::move(e);
  if (!Sender) return 1;
  return waiting ? 2 : -1;
}

void TCallMan::ExecuteCurrent(TPage*& next, bool& waiting) {
  TCommand* c = Page->At(PC);
  if (!c) {
    next = nullptr;
    return;
  }
  TPage* pageBefore = Page;
  int32_t pcBefore = PC;
  try {
    if (Trace && c != traced_) {
      Trace(Hex8(host_.ClockTime()) + " : " + Page->Name + "(" + std::to_string(c->Line) + ")");
      traced_ = c;
    }
    if (!Started) {
      if (c->Skipped()) {
        PC += 1;
        return;
      }
      Begin(*c);
      Started = true;
    }
    Running = c->Chain();
    waiting = IsWaiting(*c);
    Execute(*c, next, PC);
    if (next != pageBefore || PC != pcBefore) {
      Started = false;
    } else if (waiting) {
      endStep_ = true;
    }
  } catch (const std::exception&) {
    if (next == pageBefore && PC == pcBefore) endStep_ = true;
  }
}

bool TCallMan::StartEvent(int32_t level) {
  if (!queue_) return false;
  TCommand* cur = Page ? Page->At(PC) : nullptr;
  if (cur && Started && BlocksEvents(*cur)) return false;
  TTimerData* ev = queue_->FirstWaiting();
  if (!ev) return false;
  std::string name, label;
  SplitHandler(ev->handler, name, label);
  if (name.empty() || !host_.PageExists(name)) return false;
  auto e = std::make_unique<TStack>();
  e->PageName = Page ? Page->Name : std::string();
  e->ReturnPC = PC;
  e->Started = Started;
  e->Args = Args;
  e->Sender = Sender;
  e->Running = Running;
  if (cur && Started) {
    e->State = std::make_unique<TMemoryStream>();
    SaveCommandState(*cur, *e->State);
  }
  TPage* p;
  int32_t keepPC = PC;
  try {
    // The handler page is loaded before anything is pushed: a page that cannot be read
    // leaves the script as it was, and its event is dropped instead of being retried.
    p = GetPage(name, true);
  } catch (const std::exception& ex) {
    PC = keepPC;
    Note(name + ": " + ex.what());
    ev->level = level;
    queue_->RemoveLevel(level);
    return false;
  }
  Push(std::move(e));
  Page = p;
  int32_t at = label.empty() ? -1 : p->FindLabel(label);
  PC = at < 0 ? 0 : at;
  if (Trace) {
    TCommand* c = p->At(PC);
    Trace(Hex8(host_.ClockTime()) + " : <Event>" + p->Name + "(" + std::to_string(c ? c->Line : 0) + ")");
  }
  Started = false;
  ev->level = level;
  Args = ev->args;
  Sender = ev->sender;
  Mode = 1;
  return true;
}

// Interpreter state in a game save.
void TCallMan::SaveState(TStream& s) {
  auto senderName = [&](const TSenderRef& r) {
    return r && (!senders_ || senders_->Alive(r)) ? r.name : std::string();
  };
  auto writeEntry = [&](const TStack& e) {
    WriteString(s, e.PageName);
    WriteInt(s, e.ReturnPC);
    WriteBool(s, e.Started);
    WriteBool(s, e.Running);
    WriteString(s, e.ReturnVar);
    WriteArrayString(s, e.Args);
    WriteString(s, senderName(e.Sender));
    int32_t n = e.State ? int32_t(e.State->Size()) : 0;
    WriteInt(s, n);
    if (n) s.WriteBuffer(e.State->Memory(), n);
    // A result of a reference kind page holds no value of its own: stored as none.
    const TCustomParam* result = dynamic_cast<const TParamVar*>(e.Result.get()) ? nullptr : e.Result.get();
    WriteByte(s, result ? uint8_t(result->GetKind()) : 0);
    if (result) result->SaveToStream(s);
  };
  WriteString(s, Page ? Page->Name : std::string());
  WriteInt(s, PC);
  WriteBool(s, Running);
  WriteBool(s, Started);
  WriteInt(s, Mode);
  WriteString(s, senderName(Sender));
  WriteArrayString(s, Args);
  writeEntry(*spare_);
  WriteInt(s, StackCount());
  for (const auto& e : stack_) writeEntry(*e);
  WriteInt(s, Level);
  if (TCommand* c = Page ? Page->At(PC) : nullptr; c && Started) SaveCommandState(*c, s);
}

void TCallMan::LoadState(TStream& s, int32_t version) {
  auto findSender = [&](const std::string& name) {
    return name.empty() || !senders_ ? TSenderRef{} : senders_->Find(name);
  };
  auto readEntry = [&]() {
    auto e = std::make_unique<TStack>();
    e->PageName = ReadString(s);
    e->ReturnPC = ReadInt(s);
    e->Started = ReadBool(s);
    e->Running = ReadBool(s);
    e->ReturnVar = ReadString(s);
    e->Args = ReadArrayString(s);
    e->Sender = findSender(ReadString(s));
    int32_t n = ReadInt(s);
    if (n < 0 || n > s.Size() - s.Position()) throw EReadError();
    if (n) {
      e->State = std::make_unique<TMemoryStream>();
      std::vector<uint8_t> b(static_cast<size_t>(n));
      s.ReadBuffer(b.data(), n);
      e->State->Assign(std::move(b));
    }
    uint8_t kind = ReadByte(s);
    if (kind > PT_STR) throw EKestBadData(kMsgStackError);
    if (kind) {
      e->Result = NewParamOfKind(kind);
      if (!e->Result) e->Result = std::make_unique<TParamVar>(&vars_);
      e->Result->LoadFromStream(s);
    }
    return e;
  };
  std::string pageName = ReadString(s);
  int32_t pc = ReadInt(s);
  bool running = ReadBool(s);
  bool started = ReadBool(s);
  int32_t mode = ReadInt(s);
  // Any other mode would keep the step from ever ending.
  if (mode < 0 || mode > 3) throw EKestBadData(kMsgStackError);
  TSenderRef sender = findSender(ReadString(s));
  TArrayString args = ReadArrayString(s);
  std::unique_ptr<TStack> spare = readEntry();
  int32_t n = ReadInt(s);
  if (n < 0 || n > (s.Size() - s.Position()) / 30) throw EReadError();
  std::vector<std::unique_ptr<TStack>> stack;
  for (int32_t i = 0; i < n; ++i) stack.push_back(readEntry());
  int32_t level = version >= 116 ? ReadInt(s) : 2;
  if (level < 2) throw EKestBadData(kMsgStackError);
  Page = pageName.empty() ? nullptr : GetPage(pageName, true);
  PC = pc;
  Running = running;
  Started = started;
  Mode = mode;
  Sender = sender;
  Args = std::move(args);
  spare_ = std::move(spare);
  stack_ = std::move(stack);
  vars_.CurrentDepth = StackCount();
  Level = level;
  if (TCommand* c = Page ? Page->At(PC) : nullptr; c && Started) LoadCommandState(*c, s);
}

// ---- command behaviour ----

TCustomParam* TCallMan::Eval(const TExpr& e) {
  if (e.Empty()) return nullptr;
  e.parser->Execute(funcs_);
  return e.parser->Result();
}

bool TCallMan::IsTrue(const TExpr& e) {
  TCustomParam* r = Eval(e);
  return r && r->GetBool();
}

bool TCallMan::IsWaiting(const TCommand& c) const {
  return c.Code() == 7 || c.Code() == 46;
}

bool TCallMan::BlocksEvents(const TCommand& c) const { return c.Code() == 7 && c.HoldEvents; }

void TCallMan::Begin(TCommand& c) {
  if (c.Code() == 7) {
    TCustomParam* t = Eval(c.Fields[1].expr);
    c.Remaining = t ? t->GetInt() : 0;
    c.FirstPass = 1;
    c.HoldEvents = c.Fields[2].present && IsTrue(c.Fields[2].expr);
  }
}

void TCallMan::SaveCommandState(const TCommand& c, TStream& s) const {
  if (c.Code() != 7) return;
  WriteTag(s);
  WriteInt(s, c.Remaining);
  WriteInt(s, c.FirstPass);
  WriteBool(s, c.HoldEvents);
}

void TCallMan::LoadCommandState(TCommand& c, TStream& s) {
  if (c.Code() != 7) return;
  int32_t v = ReadTag(s);
  c.Remaining = ReadInt(s);
  c.FirstPass = ReadInt(s);
  if (v >= 100) c.HoldEvents = ReadBool(s);
}

// Past the block of a command: the first following command whose indent is not greater.
void TCallMan::SkipBlock(TCommand& c, int32_t& pc) {
  TPage* p = c.Page();
  int32_t i = p->IndexOf(&c) + 1;
  while (i < p->Count() && p->At(i)->Indent > c.Indent) ++i;
  pc = i;
}

void TCallMan::Execute(TCommand& c, TPage*& next, int32_t& pc) {
  auto& f = c.Fields;
  switch (c.Code()) {
    case 0: {  // if
      pc += 1;
      if (IsTrue(f[0].expr)) return;
      TPage* p = c.Page();
      int32_t i = pc;
      while (i < p->Count()) {
        TCommand* d = p->At(i);
        if (d->Indent > c.Indent) {
          ++i;
        } else if (d->Indent < c.Indent) {
          break;
        } else if (d->Code() == 2) {
          ++i;
          break;
        } else if (d->Code() == 1) {
          if (IsTrue(d->Fields[0].expr)) {
            ++i;
            break;
          }
          ++i;
        } else {
          break;
        }
      }
      pc = i;
      return;
    }
    case 1: case 2:  // elseif, else reached from a taken branch
      SkipBlock(c, pc);
      return;
    case 3: case 27:  // label, comment
      pc += 1;
      return;
    case 4:  // jump
      pc += 1;
      if (IsTrue(f[2].expr) && host_.PageExists(f[0].str)) {
        next = GetPage(f[0].str, true);
        pc = f[1].num;
      }
      return;
    case 5: {  // call
      pc += 1;
      if (!IsTrue(f[3].expr) || !host_.PageExists(f[0].str)) return;
      TArrayString args;
      for (const TExpr& a : f[4].list)
        if (TCustomParam* r = Eval(a)) args.push_back(r->GetStr());
      auto e = std::make_unique<TStack>();
      e->PageName = c.Page()->Name;
      e->ReturnPC = pc;
      e->ReturnVar = f[2].str;
      e->Running = Running;
      e->Sender = Sender;
      e->Args = Args;
      int32_t keep = pc;
      TPage* p;
      try {
        p = GetPage(f[0].str, true);  // loaded before the entry is pushed
      } catch (...) {
        pc = keep;
        throw;
      }
      // Kind 0 gives a reference without target; a kind byte outside the value kinds gives none.
      if (p->Kind == PT_NONE) e->Result = std::make_unique<TParamVar>(&vars_);
      else if (p->Kind <= PT_STR) e->Result = NewParamOfKind(p->Kind);
      Push(std::move(e));
      Args = std::move(args);
      next = p;
      pc = f[1].num;
      return;
    }
    case 6:  // exit
      if (IsTrue(f[0].expr)) next = nullptr;
      else pc += 1;
      return;
    case 7: {  // wait
      TCustomParam* r = Eval(f[0].expr);
      if (!r || r->GetBool()) {
        if (c.Remaining != 0) {
          if (c.FirstPass > 0) {
            c.FirstPass -= 1;
          } else {
            c.Remaining -= host_.ClockDelta();
            if (c.Remaining <= 0) {
              pc += 1;
              return;
            }
          }
        }
        Running = false;
      } else {
        pc += 1;
      }
      return;
    }
    case 14:  // calc
      pc += 1;
      Eval(f[0].expr);
      return;
    case 31:  // while
      if (IsTrue(f[0].expr)) pc += 1;
      else pc = f[1].num;
      return;
    case 32:  // while init
      pc += 1;
      Eval(f[0].expr);
      return;
    case 33:  // while loop
      pc = f[1].num;
      Eval(f[0].expr);
      return;
    case 34:  // break
      if (IsTrue(f[0].expr)) {
        if (f[1].num >= 0) pc = f[1].num;
        else next = nullptr;
      } else {
        pc += 1;
      }
      return;
    case 35:  // continue
      pc += 1;
      if (IsTrue(f[0].expr)) {
        if (f[1].num < 0) next = nullptr;
        else pc = f[1].num;
      }
      return;
    case 17:    // get property
    case 18:    // set property
    case 19: {  // delete object
      if (!Objects) break;
      pc += 1;
      const TCustomParam* nameValue = Eval(f[0].expr);
      const std::string name = nameValue ? nameValue->GetStr() : std::string();
      if (c.Code() == 19) {
        ExecObjDel(*Objects, name);
        return;
      }
      const TCustomParam* indexValue = Eval(f[1].expr);
      std::optional<int32_t> index;
      if (indexValue) index = indexValue->GetInt();
      if (c.Code() == 17) {
        // Without a variable of that name nothing is stored; the object and the index are
        // checked all the same.
        TParamCollectionItem* item = f[2].str.empty() ? nullptr : vars_.FindItem(f[2].str);
        ExecGetProp(*Objects, name, index, item ? item->Value() : nullptr);
      } else {
        ExecSetProp(*Objects, name, index, Eval(f[2].expr));
      }
      return;
    }
    case 45:  // terminate
      host_.Terminate();
      return;
    case 46:  // yield for one frame step
      pc += 1;
      return;
    default:
      break;
  }
  pc += 1;
  if (noted_.insert(c.Code()).second) Note(std::string(c.Spec().name) + ": command not available yet");
}

}  // namespace kest
