// The headless input-script reader and its replay on arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/headless/input_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  kest::TInputScript s;
  std::string error;
  if (!kest::ParseInputScript(text, s, &error)) {
    if (error.empty() || !s.events.empty()) std::abort();
    return 0;
  }
  int last = 0;
  for (const kest::TScriptedEvent& e : s.events) {
    if (e.step < 1 || e.step < last) std::abort();
    last = e.step;
  }
  kest::TInputReplay r(s);
  std::vector<kest::TInputEvent> got;
  r.TakeEvents(last, got);
  if (got.size() != s.events.size()) std::abort();
  return 0;
}
