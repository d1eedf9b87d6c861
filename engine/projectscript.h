// The project's interpreter: the call manager on the project's files, disc test, clock
// and trace log.
#pragma once
#include <memory>

#include "engine/callman.h"
#include "engine/project.h"
#include "engine/tracelog.h"

namespace kest {

class TCallManScript : public TProjectScript, TCallManHost {
 public:
  // `log` (optional) receives the trace lines while it is active; `queue` and `senders`
  // come from the object layer (none: no events).
  TCallManScript(TProject& project, TSysFuncMan& funcs, TKestLog* log = nullptr, TTimerList* queue = nullptr,
                 TSenderDirectory* senders = nullptr);
  void Start(const std::string& page) override;
  void Step() override { callMan_.Step(); }
  TCallMan& CallMan() { return callMan_; }

 private:
  bool PageExists(const std::string& name) override { return project_.FileExistsOrAskDisc(name); }
  void ReadPage(TStream& dest, const std::string& name) override { project_.Env().files->ReadFile(dest, name); }
  void PageTooOld(const std::string& name) override;
  bool Terminating() override { return clock_ && clock_->Terminating; }
  void Terminate() override;
  int64_t ClockTime() override { return clock_ ? clock_->ClockTime : 0; }
  int32_t ClockDelta() override { return clock_ ? clock_->ClockDelta : 0; }

  TProject& project_;
  TPlayerClock* clock_;
  TCallMan callMan_;
};

}  // namespace kest
