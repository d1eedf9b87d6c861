// The interpreter: runs the commands of the current page once per frame step, calls pages
// through a stack of suspended positions and starts queued event handlers between
// commands.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/page.h"
#include "objects/timerlist.h"
#include "script/paramcoll.h"
#include "script/sysfuncs.h"
#include "vfs/streams.h"

namespace kest {

class TKestBaseList;

// "スタックエラー" (stack error)
inline constexpr const char* kMsgStackError = "\x83\x58\x83\x5E\x83\x62\x83\x4E\x83\x47\x83\x89\x81\x5B";

// What the interpreter takes from the project and the shell.
class TCallManHost {
 public:
  virtual ~TCallManHost() = default;
  // The project's existence test for a page (it may ask for a disc).
  virtual bool PageExists(const std::string& name) = 0;
  // Reads a page file through the file manager; raises when it cannot.
  virtual void ReadPage(TStream& dest, const std::string& name) = 0;
  // A page older than the readable versions: the host asks for a rebuild and closes.
  virtual void PageTooOld(const std::string& name) = 0;
  virtual bool Terminating() = 0;
  virtual void Terminate() = 0;
  virtual int64_t ClockTime() = 0;
  virtual int32_t ClockDelta() = 0;
};

struct TStack {
  std::string PageName;
  int32_t ReturnPC = 0;
  bool Started = false;
  std::string ReturnVar;
  TArrayString Args;
  TSenderRef Sender;
  bool Running = false;
  std::unique_ptr<TMemoryStream> State;
  std::unique_ptr<TCustomParam> Result;
};

class TCallMan {
 public:
  TCallMan(TSysFuncMan& funcs, TCallManHost& host, TTimerList* queue = nullptr, TSenderDirectory* senders = nullptr);
  ~TCallMan();

  static constexpr int32_t kCacheLimit = 10;

  TPage* Start(const std::string& name);
  void Step();
  TPage* GetPage(const std::string& name, bool touch);

  // State for the system variables and functions.
  int32_t ArgCount() const { return int32_t(Args.size()); }
  std::string Arg(int32_t i) const { return i >= 0 && i < ArgCount() ? Args[size_t(i)] : std::string(); }
  std::string SenderName();
  TCustomParam* TopResult() const { return stack_.empty() ? nullptr : stack_.back()->Result.get(); }
  int32_t StackCount() const { return int32_t(stack_.size()); }
  const TStack* StackAt(int32_t i) const { return stack_[size_t(i)].get(); }
  const std::vector<std::unique_ptr<TPage>>& Cache() const { return cache_; }

  void SaveState(TStream& s);
  void LoadState(TStream& s, int32_t version);

  // One line per command reached, and one per event started.
  std::function<void(const std::string&)> Trace;
  // Notes for the title's author (a command that is not available yet, a page too new).
  std::function<void(const std::string&)> Diagnostic;

  // The page objects the property commands work on (none: they are not available).
  TKestBaseList* Objects = nullptr;

  TPage* Page = nullptr;
  int32_t PC = 0;
  bool Running = false;
  bool Started = false;
  TArrayString Args;
  int32_t Mode = 0;
  TSenderRef Sender;
  int32_t Level = 2;

 private:
  int RunCurrent();
  void ExecuteCurrent(TPage*& next, bool& waiting);
  bool StartEvent(int32_t level);
  void Push(std::unique_ptr<TStack> e);
  std::unique_ptr<TStack> Pop();
  void ClearStack();
  void Note(const std::string& text);

  // Command behaviour.
  TCustomParam* Eval(const TExpr& e);
  bool IsTrue(const TExpr& e);
  void Begin(TCommand& c);
  void Execute(TCommand& c, TPage*& next, int32_t& pc);
  bool IsWaiting(const TCommand& c) const;
  bool BlocksEvents(const TCommand& c) const;
  void SaveCommandState(const TCommand& c, TStream& s) const;
  void LoadCommandState(TCommand& c, TStream& s);
  void SkipBlock(TCommand& c, int32_t& pc);
  void FreePage(std::unique_ptr<TPage>& p);

  TSysFuncMan& funcs_;
  TParamCollection& vars_;
  TCallManHost& host_;
  TTimerList* queue_;
  TSenderDirectory* senders_;
  std::vector<std::unique_ptr<TPage>> cache_;  // most recently used first
  std::vector<std::unique_ptr<TStack>> stack_;
  std::unique_ptr<TStack> spare_;
  const TCommand* traced_ = nullptr;
  bool endStep_ = false;
  std::set<int32_t> noted_;
};

// The page and label of a handler text ("folder\page.kss:label"): the last three
// characters of the page part become "ksb". An empty page name when the text is too short.
void SplitHandler(const std::string& handler, std::string& page, std::string& label);

}  // namespace kest
