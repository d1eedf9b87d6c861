#include "platform/headless/input_script.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <sstream>

#include "common/sjis.h"
#include "platform/message_box.h"
#include "platform/vkeys.h"

namespace kest {

namespace {

bool ParseInt(std::string_view s, int& out) {
  if (s.empty()) return false;
  bool neg = false;
  size_t i = 0;
  if (s[0] == '-' || s[0] == '+') {
    neg = s[0] == '-';
    i = 1;
  }
  if (i >= s.size()) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > INT_MAX) return false;
  }
  out = int(neg ? -v : v);
  return true;
}

bool ParseButton(std::string_view s, TMouseButton& b) {
  const std::string f = FoldCase(s);
  if (f == "left") b = TMouseButton::Left;
  else if (f == "right") b = TMouseButton::Right;
  else if (f == "middle") b = TMouseButton::Middle;
  else return false;
  return true;
}

// Key messages carry the common code of Shift, Control and Alt; the side goes beside it.
TInputEvent KeyEvent(TEventKind kind, int vk) {
  int common = vk, sided = vk;
  switch (vk) {
    case VK_SHIFT: sided = VK_LSHIFT; break;
    case VK_CONTROL: sided = VK_LCONTROL; break;
    case VK_MENU: sided = VK_LMENU; break;
    case VK_LSHIFT: case VK_RSHIFT: common = VK_SHIFT; break;
    case VK_LCONTROL: case VK_RCONTROL: common = VK_CONTROL; break;
    case VK_LMENU: case VK_RMENU: common = VK_MENU; break;
  }
  return TInputEvent::Key(kind, common, sided);
}

std::vector<std::string_view> Words(std::string_view line, size_t& restOfLineAfterSecond) {
  std::vector<std::string_view> w;
  size_t i = 0;
  restOfLineAfterSecond = line.size();
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    if (w.size() == 2 && restOfLineAfterSecond == line.size()) restOfLineAfterSecond = i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    w.push_back(line.substr(start, i - start));
  }
  return w;
}

}  // namespace

bool ParseInputScript(std::string_view text, TInputScript& out, std::string* error) {
  out = TInputScript{};
  size_t pos = 0;
  int lineNo = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = "line " + std::to_string(lineNo) + ": " + why;
    out = TInputScript{};
    return false;
  };
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t rest = 0;
    const std::vector<std::string_view> w = Words(line, rest);
    if (w.empty() || w[0][0] == '#') continue;
    int step = 0;
    if (!ParseInt(w[0], step) || step < 1 || step == INT_MAX) return fail("a frame step (1 or more) must come first");
    if (w.size() < 2) return fail("a command must follow the step");
    const std::string cmd = FoldCase(w[1]);
    const size_t argc = w.size() - 2;
    auto arg = [&](size_t i) { return w[2 + i]; };
    auto add = [&](int s, TInputEvent e) { out.events.push_back({s, std::move(e)}); };
    if (cmd == "move" || cmd == "down" || cmd == "up" || cmd == "click") {
      const bool withButton = cmd != "move";
      if (argc != (withButton ? 3u : 2u)) return fail(cmd + " takes " + (withButton ? "BUTTON X Y" : "X Y"));
      TMouseButton b = TMouseButton::None;
      if (withButton && !ParseButton(arg(0), b)) return fail("button must be left, right or middle");
      int x, y;
      if (!ParseInt(arg(withButton ? 1 : 0), x) || !ParseInt(arg(withButton ? 2 : 1), y))
        return fail("coordinates must be whole numbers");
      if (cmd == "move") add(step, TInputEvent::Mouse(TEventKind::MouseMove, x, y));
      else if (cmd == "down") add(step, TInputEvent::Mouse(TEventKind::MouseDown, x, y, b));
      else if (cmd == "up") add(step, TInputEvent::Mouse(TEventKind::MouseUp, x, y, b));
      else {
        add(step, TInputEvent::Mouse(TEventKind::MouseDown, x, y, b));
        add(step + 1, TInputEvent::Mouse(TEventKind::MouseUp, x, y, b));
      }
    } else if (cmd == "wheel") {
      if (argc < 1 || argc > 2) return fail("wheel takes up|down [COUNT]");
      const std::string dir = FoldCase(arg(0));
      if (dir != "up" && dir != "down") return fail("wheel goes up or down");
      int count = 1;
      if (argc == 2 && (!ParseInt(arg(1), count) || count < 1 || count > 1000)) return fail("wheel count must be 1 ... 1000");
      TInputEvent e = TInputEvent::Of(TEventKind::MouseWheel);
      e.wheel = dir == "up" ? count : -count;
      add(step, e);
    } else if (cmd == "keydown" || cmd == "keyup" || cmd == "key") {
      if (argc != 1) return fail(cmd + " takes one key");
      const int vk = VkFromName(arg(0));
      if (vk == 0) return fail("unknown key \"" + std::string(arg(0)) + "\"");
      if (cmd == "keyup") add(step, KeyEvent(TEventKind::KeyUp, vk));
      else add(step, KeyEvent(TEventKind::KeyDown, vk));
      if (cmd == "key") add(step + 1, KeyEvent(TEventKind::KeyUp, vk));
    } else if (cmd == "text") {
      if (argc < 1) return fail("text takes the text to type");
      TInputEvent e = TInputEvent::Of(TEventKind::Text);
      e.text = Utf8ToCp932(line.substr(rest));
      add(step, e);
    } else if (cmd == "close" || cmd == "activate" || cmd == "deactivate") {
      if (argc != 0) return fail(cmd + " takes no arguments");
      add(step, TInputEvent::Of(cmd == "close" ? TEventKind::Close
                                : cmd == "activate" ? TEventKind::Activate : TEventKind::Deactivate));
    } else if (cmd == "answer") {
      if (argc != 1) return fail("answer takes OK, CANCEL, YES, NO or RETRY");
      const int a = MsgAnswerFromName(arg(0));
      if (!a) return fail("answer must be OK, CANCEL, YES, NO or RETRY");
      out.answers.push_back({step, a});
    } else {
      return fail("unknown command \"" + std::string(w[1]) + "\"");
    }
  }
  std::stable_sort(out.events.begin(), out.events.end(),
                   [](const TScriptedEvent& a, const TScriptedEvent& b) { return a.step < b.step; });
  std::stable_sort(out.answers.begin(), out.answers.end(),
                   [](const TScriptedAnswer& a, const TScriptedAnswer& b) { return a.step < b.step; });
  return true;
}

bool LoadInputScript(const std::string& path, TInputScript& out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  std::ostringstream s;
  s << in.rdbuf();
  if (!ParseInputScript(s.str(), out, error)) {
    if (error) *error = path + ": " + *error;
    return false;
  }
  return true;
}

void TInputReplay::TakeEvents(int step, std::vector<TInputEvent>& out) {
  while (nextEvent_ < script_.events.size() && script_.events[nextEvent_].step <= step)
    out.push_back(script_.events[nextEvent_++].event);
}

int TInputReplay::TakeAnswer(int step) {
  if (nextAnswer_ < script_.answers.size() && script_.answers[nextAnswer_].step <= step)
    return script_.answers[nextAnswer_++].answer;
  return 0;
}

}  // namespace kest
