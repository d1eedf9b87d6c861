#include "engine/projectscript.h"

#include "platform/message_box.h"

namespace kest {

TCallManScript::TCallManScript(TProject& project, TSysFuncMan& funcs, TKestLog* log, TTimerList* queue,
                               TSenderDirectory* senders)
    : project_(project), clock_(project.Env().clock), callMan_(funcs, *this, queue, senders) {
  if (log)
    callMan_.Trace = [log](const std::string& line) {
      if (log->Active()) log->Write(line);
    };
  callMan_.Diagnostic = [this](const std::string& line) {
    if (project_.Env().note) project_.Env().note(Cp932ToUtf8(line));
  };
}

void TCallManScript::Start(const std::string& page) {
  try {
    callMan_.Start(page);
  } catch (const std::exception& e) {
    if (project_.Env().note) project_.Env().note(Cp932ToUtf8(page + ": " + e.what()));
  }
}

void TCallManScript::PageTooOld(const std::string& name) {
  if (clock_) clock_->Terminating = true;
  if (TMessageBoxes* boxes = project_.Env().boxes)
    boxes->Show(kMsgWarning, name + "\r\n" + kMsgRebuild, TMsgButtons::Ok, TMsgIcon::Warning);
}

void TCallManScript::Terminate() {
  if (clock_) clock_->Terminating = true;
}

}  // namespace kest
