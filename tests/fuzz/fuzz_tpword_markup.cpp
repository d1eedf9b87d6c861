// Any bytes as message markup: parsing either succeeds or raises, and what parses lays out,
// reveals and draws without reading or writing outside anything.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/font/fake_font_service.h"
#include "text/fontpixels.h"
#include "text/tpwords.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kest;
  static TFakeFontService* fonts = [] {
    auto* f = new TFakeFontService;
    auto& face = f->AddFace(kDefaultFaceName);
    face.Metrics = {8, 2, 1, -1, 1, 4};
    face.Glyphs[0x41] = {3, 4, 1, 7, 6, std::vector<uint8_t>(12, 200), {1, 3, 2}};
    face.Glyphs[0x82A0] = {6, 6, 0, 8, 10, std::vector<uint8_t>(36, 255), {0, 6, 4}};
    return f;
  }();
  static TFontPixelManager cache(*fonts);
  if (size < 1) return 0;
  TTpWord w;
  w.Fonts = &cache;
  w.S.FontSize = 10;
  w.S.Width = (data[0] & 1) ? 0 : 64;
  w.S.Height = (data[0] & 2) ? 30 : 0;
  w.S.EventsOn = 1;
  w.S.Speed = (data[0] & 4) ? -1 : 256;
  w.OnEvent = [](const std::string&) {};
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    w.SetText(text);
  } catch (const EKest&) {
    if (w.GlyphCount() != 0) std::abort();  // a failed text leaves nothing
    return 0;
  }
  std::vector<std::unique_ptr<TWdPage>> pages;
  w.Layout(0, -1, pages);
  TDIBX col(48, 32, 16), cov(48, 32, 8);
  for (auto& p : pages) {
    for (int i = 0; i < 4 && !w.IsDone(*p); ++i) w.Step(*p, 15);
    w.SetHover(*p, 5, 5);
    w.Draw(*p, col, cov);
    w.RevealAll(*p);
    w.Draw(*p, col, cov);
  }
  const std::vector<uint8_t> s = w.SaveGlyphs();
  TTpWord back;
  back.LoadGlyphs(s.data(), s.size());  // what we write we read
  return 0;
}
