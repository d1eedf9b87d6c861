// kesttool text: typesets a markup text the way message windows show it and writes the
// page as a PNG, for authors and translators checking line breaks and fonts.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/sjis.h"
#include "gfx/piccodecs.h"
#include "text/fontpixels.h"
#include "text/tpwords.h"
#include "tools/kesttool.h"

namespace kest::tool {
namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "kesttool text: %s\n", message.c_str());
  return 1;
}

// "#RRGGBB" as a colour reference.
bool ParseColour(const std::string& s, TColorRef& c) {
  if (s.size() != 7 || s[0] != '#') return false;
  char* end = nullptr;
  const unsigned long v = std::strtoul(s.c_str() + 1, &end, 16);
  if (*end) return false;
  c = MakeColorRef(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v));
  return true;
}

int Render(const std::vector<std::string>& a) {
  std::vector<std::string> pos;
  int32_t width = 600, height = 0, size = 24, border = 0, shadow = 0, quality = 3, spacing = 4, page = 0, margin = 8;
  TColorRef colour = MakeColorRef(255, 255, 255), bg = MakeColorRef(32, 40, 64), bcolour = 0, scolour = 0;
  std::string face;
  bool utf8 = true;
  for (size_t i = 0; i < a.size(); ++i) {
    const std::string& o = a[i];
    if (o.rfind("--", 0) != 0) {
      pos.push_back(o);
      continue;
    }
    if (o == "--cp932") {
      utf8 = false;
      continue;
    }
    if (i + 1 >= a.size()) return Fail(o + " needs a value");
    const std::string& v = a[++i];
    bool ok = true;
    if (o == "--width") ok = ParseIntArg(v, width);
    else if (o == "--height") ok = ParseIntArg(v, height);
    else if (o == "--size") ok = ParseIntArg(v, size);
    else if (o == "--border") ok = ParseIntArg(v, border);
    else if (o == "--shadow") ok = ParseIntArg(v, shadow);
    else if (o == "--quality") ok = ParseIntArg(v, quality);
    else if (o == "--spacing") ok = ParseIntArg(v, spacing);
    else if (o == "--page") ok = ParseIntArg(v, page);
    else if (o == "--color") ok = ParseColour(v, colour);
    else if (o == "--bg") ok = ParseColour(v, bg);
    else if (o == "--bcolor") ok = ParseColour(v, bcolour);
    else if (o == "--scolor") ok = ParseColour(v, scolour);
    else if (o == "--font") face = Utf8ToCp932(v);
    else return Fail("unknown option " + o);
    if (!ok) return Fail("bad value for " + o + ": " + v);
  }
  if (pos.size() != 2) return Fail("usage: kesttool text render IN.txt OUT.png [options]");
  if (width < 0 || width > 4096 || height < 0 || height > 4096) return Fail("width and height must be 0..4096");
  try {
    const std::vector<uint8_t> bytes = ReadWholeFile(pos[0]);
    std::string text(bytes.begin(), bytes.end());
    if (utf8) text = Utf8ToCp932(text);
    std::vector<std::string> lines;
    size_t s = 0;
    while (s <= text.size()) {
      size_t e = text.find('\n', s);
      if (e == std::string::npos) e = text.size();
      std::string line = text.substr(s, e - s);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      s = e + 1;
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    TTpWord w;
    w.S.FontSize = std::clamp(size, 1, kMaxFontSize);
    if (!face.empty()) w.S.FontName = face;
    w.S.TextColor = colour;
    w.S.Width = width;
    w.S.Height = height;
    w.S.Quality = std::clamp(quality, 0, 3);
    w.S.LineSpacing = spacing;
    w.S.BorderWidth = std::clamp(border, 0, kMaxBorderWidth);
    w.S.ShadowWidth = std::clamp(shadow, 0, kMaxBorderWidth);
    w.S.BorderColor = bcolour;
    w.S.ShadowColor = scolour;
    w.S.OriginX = w.S.OriginY = margin;
    w.SetText(lines);
    std::vector<std::unique_ptr<TWdPage>> pages;
    w.Layout(0, -1, pages);
    if (pages.empty()) return Fail("the text has no glyphs");
    if (page < 0 || size_t(page) >= pages.size()) return Fail("the text has " + std::to_string(pages.size()) + " pages");
    TWdPage& p = *pages[size_t(page)];
    w.RevealAll(p);
    const int32_t outW = std::max(1, w.S.Width + 2 * margin);
    const int32_t outH = std::max(1, (height > 0 ? height : p.Height) + 2 * margin);
    TDIBX col(outW, outH, 32), cov(outW, outH, 8), out(outW, outH, 32);
    w.Draw(p, col, cov);
    out.Clear(out.MapColor(bg));
    out.DrawMask(0, 0, out.BoundsRect(), col, cov);
    WriteWholeFile(pos[1], SavePng(out.Image()));
    std::printf("%zu page(s); page %d: %zu row(s), %d x %d\n", pages.size(), page, p.Rows.size(), outW, outH);
    return 0;
  } catch (const EKest& e) {
    return Fail(Cp932ToUtf8(e.Message()));
  }
}

int Run(const std::vector<std::string>& args) {
  if (args.empty() || args[0] != "render") return Fail("unknown command; see kesttool help");
  return Render(std::vector<std::string>(args.begin() + 1, args.end()));
}

const RegisterFamily kRegister({"text",
                                "kesttool text render IN.txt OUT.png [--width N] [--height N] [--size N] "
                                "[--font NAME] [--color #RRGGBB] [--bg #RRGGBB] [--border N] [--bcolor #RRGGBB] "
                                "[--shadow N] [--scolor #RRGGBB] [--quality 0..3] [--spacing N] [--page N] "
                                "[--cp932]",
                                Run});

}  // namespace
}  // namespace kest::tool
