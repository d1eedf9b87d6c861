#include "shell/command_line.h"

#include <climits>

namespace kest {

const char* PlayerUsage() {
  return "usage: kestplay [TITLE ...] [options]\n"
         "  --headless          no window, no sound device, virtual clock (15 ms a frame step)\n"
         "  --frames N          stop after N frame steps\n"
         "  --screenshot F.png  write the last presented frame\n"
         "  --input F           scripted input (runs headless)\n"
         "  --seed N            fixed random seed\n"
         "  --log F             the interpreter's trace lines\n"
         "  --trace             print each start-up and shutdown step\n"
         "  --help              print this text\n";
}

static bool ParseCount(const std::string& s, int& out) {
  if (s.empty() || s.size() > 10) return false;
  long long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < 1 || v > INT_MAX) return false;
  out = int(v);
  return true;
}

TCommandLineResult ParseCommandLine(const std::vector<std::string>& args, TPlayerOptions& out, std::string* error) {
  out = TPlayerOptions{};
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return TCommandLineResult::Error;
  };
  bool onlyTitles = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (onlyTitles || a.empty() || a[0] != '-' || a == "-") {
      out.titles.push_back(a);
      continue;
    }
    if (a == "--") {
      onlyTitles = true;
      continue;
    }
    if (a == "--help" || a == "-h") return TCommandLineResult::Help;
    std::string name = a, value;
    bool hasValue = false;
    if (const size_t eq = a.find('='); eq != std::string::npos && a.compare(0, 2, "--") == 0) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      hasValue = true;
    }
    auto takeValue = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    if (name == "--headless") {
      if (hasValue) return fail("--headless takes no value");
      out.headless = true;
    } else if (name == "--frames") {
      if (!takeValue()) return fail("--frames needs a number");
      if (!ParseCount(value, out.frames)) return fail("--frames needs a whole number from 1 up, not \"" + value + "\"");
    } else if (name == "--trace") {
      if (hasValue) return fail("--trace takes no value");
      out.trace = true;
    } else if (name == "--seed") {
      if (!takeValue()) return fail("--seed needs a number");
      bool ok = !value.empty() && value.size() <= 10;
      uint64_t v = 0;
      for (char c : value) ok = ok && c >= '0' && c <= '9' && (v = v * 10 + uint64_t(c - '0')) <= UINT32_MAX;
      if (!ok) return fail("--seed needs a whole number from 0 to 4294967295, not \"" + value + "\"");
      out.seeded = true;
      out.seed = uint32_t(v);
    } else if (name == "--log") {
      if (!takeValue() || value.empty()) return fail("--log needs a file name");
      out.log = value;
    } else if (name == "--screenshot" || name == "--input") {
      if (!takeValue() || value.empty()) return fail(name + " needs a file name");
      (name == "--input" ? out.input : out.screenshot) = value;
    } else {
      return fail("unknown option \"" + name + "\"");
    }
  }
  return TCommandLineResult::Run;
}

}  // namespace kest
