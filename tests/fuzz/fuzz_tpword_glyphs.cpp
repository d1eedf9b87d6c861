// Any bytes as a glyph stream: loading is all or nothing, and what loads is written and
// read back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "text/tpwords.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kest;
  TTpWord w;
  w.S.Width = 80;
  try {
    w.LoadGlyphs(data, size);
  } catch (const EKestBadData&) {
    if (w.GlyphCount() != 0) std::abort();
    return 0;
  }
  const std::vector<uint8_t> s = w.SaveGlyphs();
  TTpWord back;
  back.LoadGlyphs(s.data(), s.size());
  if (back.SaveGlyphs() != s) std::abort();
  std::vector<std::unique_ptr<TWdPage>> pages;
  w.Layout(0, -1, pages);
  for (auto& p : pages) w.Step(*p, 15);
  return 0;
}
