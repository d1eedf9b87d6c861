// The typesetter: parsing and laying out a 10 KB page, and drawing a full message window
// (800 x 200, 300 glyphs, border 2, shadow 2) against the 15 ms frame budget.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/font/freetype_font_service.h"
#include "text/fontpixels.h"
#include "text/tpwords.h"

namespace {

using namespace kest;

// Kana and kanji with punctuation, some ASCII words and tags, about n bytes.
std::string Page(size_t n) {
  std::mt19937 rng(5);
  std::string s;
  while (s.size() < n) {
    const unsigned r = rng() % 40;
    if (r == 0) s += "<font color=#FF8000>";
    else if (r == 1) s += "</font>";
    else if (r == 2) s += "\x81\x42";  // 。
    else if (r == 3) s += "\x81\x41";  // 、
    else if (r == 4) s += "<RUBY VALUE=\x82\xA9\x82\xF1>\x8A\xBF</RUBY>";
    else if (r == 5) s += " word ";
    else if (r == 6) s += "<BR>";
    else if (r < 20) s += char(0x82), s += char(0x9F + rng() % 80);
    else s += char(0x88 + rng() % 8), s += char(0x40 + rng() % 60);
  }
  return s;
}

void TypesetBaseline(benchmark::State& st) {
  const std::string s = Page(10240);
  std::string d(s.size(), 0);
  for (auto _ : st) {
    std::memcpy(d.data(), s.data(), s.size());
    benchmark::DoNotOptimize(d.data());
  }
}
BENCHMARK(TypesetBaseline)->Name("Typeset/baseline_memcpy_10k");

void TypesetSetTextLayout(benchmark::State& st) {
  const std::string s = Page(10240);
  TTpWord w;
  w.S.FontSize = 24;
  w.S.Width = 760;
  w.S.Height = 180;
  for (auto _ : st) {
    w.SetText(s);
    std::vector<std::unique_ptr<TWdPage>> pages;
    w.Layout(0, -1, pages);
    benchmark::DoNotOptimize(pages.data());
  }
  st.counters["glyphs"] = w.GlyphCount();
}
BENCHMARK(TypesetSetTextLayout)->Name("Typeset/SetText_Layout_10k")->Unit(benchmark::kMicrosecond);

void WindowBaseline(benchmark::State& st) {
  TDIBX col(800, 200, 32);
  for (auto _ : st) {
    col.FillRect(col.BoundsRect(), 0x102030);
    benchmark::DoNotOptimize(col.Image().Row(0));
  }
}
BENCHMARK(WindowBaseline)->Name("Window/baseline_fill_800x200")->Unit(benchmark::kMillisecond);

void WindowDraw(benchmark::State& st) {
  static std::unique_ptr<IFontService> fonts = CreateFreeTypeFontService();
  static TFontPixelManager cache(*fonts);
  TTpWord w;
  w.Fonts = &cache;
  w.S.FontSize = 16;  // cells of 22 with border 2 and shadow 2: 36 x 9 fill the window
  w.S.Width = 792;
  w.S.BorderWidth = int32_t(st.range(0));
  w.S.ShadowWidth = int32_t(st.range(1));
  std::string text;
  std::mt19937 rng(3);
  for (int i = 0; i < 300; ++i) text += char(0x82), text += char(0x9F + rng() % 80);  // ~80 distinct kana
  w.SetText(text);
  std::vector<std::unique_ptr<TWdPage>> pages;
  w.Layout(0, -1, pages);
  for (auto& p : pages) w.RevealAll(*p);
  TDIBX col(800, 200, 32), cov(800, 200, 8);
  int64_t glyphs = 0;
  for (auto _ : st) {
    cov.Clear(0);
    for (auto& p : pages) {
      w.Draw(*p, col, cov);
      glyphs += int64_t(p->Glyphs.size());
    }
  }
  st.counters["glyphs/frame"] = double(glyphs) / double(st.iterations());
}
BENCHMARK(WindowDraw)->Name("Window/Draw_300_glyphs_b2_s2")->Args({2, 2})->Unit(benchmark::kMillisecond);
BENCHMARK(WindowDraw)->Name("Window/Draw_300_glyphs_plain")->Args({0, 0})->Unit(benchmark::kMillisecond);

}  // namespace
