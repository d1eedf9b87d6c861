// Scripted input of a headless run: at which frame step which event happens.
//
// One event per line: STEP COMMAND [ARGUMENTS]. Steps count from 1 (the first frame step);
// the events of step k arrive just before step k runs. Lines may come in any order; events
// of one step keep their order. Blank lines and lines starting with "#" are skipped.
//   move X Y                  pointer to (X, Y) in frame coordinates
//   down BUTTON X Y           button (left, right, middle) pressed at (X, Y)
//   up BUTTON X Y             released
//   click BUTTON X Y          pressed at step STEP, released at STEP + 1
//   wheel up|down [COUNT]     wheel notches at the current pointer position
//   keydown KEY, keyup KEY    a key by virtual-key name (RETURN, ESCAPE, A, F5, LSHIFT ...)
//                             or number (13, 0x0D)
//   key KEY                   down at STEP, up at STEP + 1
//   text TEXT                 typed text: the rest of the line, UTF-8
//   activate, deactivate      the window gains or loses the focus
//   close                     the user closes the window
//   answer ANSWER             the next message box shown at step STEP or later is answered
//                             OK, CANCEL, YES, NO or RETRY (boxes without an answer take
//                             their default button)
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/events.h"

namespace kest {

struct TScriptedEvent {
  int step = 1;
  TInputEvent event;
};

struct TScriptedAnswer {
  int step = 1;
  int answer = 0;  // IDOK ...
};

struct TInputScript {
  std::vector<TScriptedEvent> events;  // sorted by step, stable
  std::vector<TScriptedAnswer> answers;  // sorted by step, stable
};

// Reads a script. False with "line N: reason" in *error on the first bad line.
bool ParseInputScript(std::string_view text, TInputScript& out, std::string* error);
bool LoadInputScript(const std::string& path, TInputScript& out, std::string* error);

// Hands out the scripted events and answers as the steps come.
class TInputReplay {
 public:
  TInputReplay() = default;
  explicit TInputReplay(TInputScript script) : script_(std::move(script)) {}
  // Appends every event of steps <= step not handed out yet.
  void TakeEvents(int step, std::vector<TInputEvent>& out);
  // The first unused answer of a step <= step, or 0.
  int TakeAnswer(int step);
  bool Done() const { return nextEvent_ >= script_.events.size(); }

 private:
  TInputScript script_;
  size_t nextEvent_ = 0;
  size_t nextAnswer_ = 0;
};

}  // namespace kest
