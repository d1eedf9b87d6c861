#include "text/tpwords.h"

#include <gtest/gtest.h>

#include "platform/font/fake_font_service.h"
#include "text/fontpixels.h"

namespace kest {
namespace {

// The characters of the glyph list as text ("|" for line breaks).
std::string Chars(const TTpWord& w) {
  std::string s;
  for (int32_t i = 0; i < w.GlyphCount(); ++i) {
    const TWdGlyph* g = w.Glyph(i);
    if (g->Kind == TWdKind::Char || g->Kind == TWdKind::VarChar) {
      const uint16_t c = static_cast<const TWdChar*>(g)->Code;
      if (c >= 256) s += char(c >> 8);
      s += char(c);
    } else if (g->Kind == TWdKind::Return || g->Kind == TWdKind::VarReturn) {
      s += '|';
    }
  }
  return s;
}

// Rows of a page as text, one string a row.
std::vector<std::string> Rows(const TWdPage& p) {
  std::vector<std::string> out;
  for (auto& r : p.Rows) {
    std::string s;
    for (auto* g : r->Glyphs)
      if (g->Kind == TWdKind::Char) {
        const uint16_t c = static_cast<const TWdChar*>(g)->Code;
        if (c >= 256) s += char(c >> 8);
        s += char(c);
      }
    out.push_back(s);
  }
  return out;
}

TEST(TpWordParse, Preprocessing) {
  struct C { std::string in, out; } cases[] = {
      {"a  b", "a b"},
      {"a\r\rb", "a b"},
      {"<PRE>a\tb</PRE>", "a        b"},
      {"<PRE>\ra\rb</PRE>", "a|b"},
      {"\\<b\\>\\\\", "<b>\\"},
      {"\"a  <b>\"", "\"a  <b>\""},
      {"x<!-- <!-- y --> z -->w", "xw"},
      {"x<STYLE>p{}</style>y", "xy"},
      {"<foo bar=1>x</foo>", "x"},
      {"a\x14\x14" "b", "a b"},
      {"a<", "a<"},            // unterminated tag: shown as text
      {"a<!-- never closed", "a"},
      {"\"open quote", "\"open quote"},
      {"\x82\xA0\\", "\x82\xA0\\"},
      {"x\x82", "x\x82"},       // lone lead byte at the end
      {"\x83\x5C<b>z", "\x83\x5Cz"},  // trail byte 0x5C is no escape
  };
  for (auto& c : cases) {
    TTpWord w;
    w.SetText(c.in);
    EXPECT_EQ(Chars(w), c.out) << c.in;
  }
  TTpWord w;
  w.SetText(std::vector<std::string>{"a", "b"});
  EXPECT_EQ(Chars(w), "a b");
}

TEST(TpWordParse, TagsAndDecorations) {
  TTpWord w;
  w.SetText("<font color=#FF0000 size=99999 border=1000 shadow>x</font></font></font><b><i>y</i></b>z"
            "<font color=bad>q</font>");
  ASSERT_EQ(w.GlyphCount(), 4);
  auto* x = static_cast<TWdChar*>(w.Glyph(0));
  EXPECT_EQ(x->Decor->Color, 0x0000FF);  // red in the lowest byte
  EXPECT_EQ(x->Decor->Size, kMaxFontSize);
  EXPECT_EQ(x->Decor->BorderWidth, kMaxBorderWidth);
  EXPECT_EQ(x->Decor->ShadowWidth, 1);
  EXPECT_EQ(static_cast<TWdChar*>(w.Glyph(1))->Decor->Style, 3);
  // z and q share the default record; x and y have their own.
  EXPECT_EQ(static_cast<TWdChar*>(w.Glyph(2))->Decor, static_cast<TWdChar*>(w.Glyph(3))->Decor);
  EXPECT_EQ(w.Decorations().Count(), 3u);
  EXPECT_EQ(static_cast<TWdChar*>(w.Glyph(2))->Decor->RefCount, 2);

  EXPECT_THROW(w.SetText("a<A>x</A>"), EKest);
  try {
    w.SetText("a<A>x</A>");
  } catch (const EKest& e) {
    EXPECT_EQ(e.Message(), kMsgNoHref);
  }
  EXPECT_EQ(w.GlyphCount(), 0);
  EXPECT_EQ(w.Decorations().Count(), 0u);

  w.SetText("<WAIT VALUE=50>a</WAIT></WAIT>b<DIV ALIGN=center><EVENT VALUE=\"e 1\" END><BR CLEAR><VAR NAME=\"$x\">");
  EXPECT_EQ(static_cast<TWdChar*>(w.Glyph(0))->Wait, 50);
  EXPECT_EQ(static_cast<TWdChar*>(w.Glyph(1))->Wait, 0);
  EXPECT_EQ(static_cast<TWdOpe*>(w.Glyph(2))->Align, 3);
  auto* e = static_cast<TWdOpe*>(w.Glyph(3));
  EXPECT_EQ(e->Value, "e 1");
  EXPECT_TRUE(e->End);
  EXPECT_EQ(static_cast<TWdOpe*>(w.Glyph(4))->Clear, 1);
  EXPECT_EQ(static_cast<TWdOpe*>(w.Glyph(5))->Value, "$x");
}

TEST(TpWordDecorate, CopyOnWrite) {
  TDecorateList l;
  TDecorate v;
  TDecorate* a = l.Acquire(v);
  TDecorate* b = l.Acquire(v);
  EXPECT_EQ(a, b);
  v.Color = 5;
  l.Change(b, v);  // shared: a new record
  EXPECT_NE(a, b);
  EXPECT_EQ(a->RefCount, 1);
  v.Color = 6;
  TDecorate* old = b;
  l.Change(b, v);  // unshared: changed in place
  EXPECT_EQ(b, old);
  EXPECT_EQ(b->Color, 6);
  v.Color = -1;
  l.Change(b, v);  // equal to a: shared, b's record removed
  EXPECT_EQ(b, a);
  EXPECT_EQ(a->RefCount, 2);
  EXPECT_EQ(l.Count(), 1u);
}

struct LaidOut {
  TTpWord w;
  std::vector<std::unique_ptr<TWdPage>> pages;
  LaidOut(const std::string& text, int32_t width, int32_t height = 0, int32_t size = 10) {
    w.S.FontSize = size;
    w.S.Width = width;
    w.S.Height = height;
    w.SetText(text);
    w.Layout(0, -1, pages);
  }
};

TEST(TpWordLayout, RowsPagesAndKinsoku) {
  // "あいう。": 。 stays with う; "あい「う": 「 never ends a row.
  const std::string a = "\x82\xA0", i = "\x82\xA2", u = "\x82\xA4", maru = "\x81\x42", kagi = "\x81\x75",
                    ten = "\x81\x41", tojikagi = "\x81\x76";
  struct C { std::string text; int32_t width; std::vector<std::string> rows; } cases[] = {
      {a + i + u + maru, 30, {a + i, u + maru}},
      {a + i + kagi + u, 30, {a + i, kagi + u}},
      {"abc def", 50, {"abc ", "def"}},
      {"A<BR>B", 100, {"A", "B"}},
      {"<NOBR>" + a + i + u + "</NOBR>" + a, 20, {a + i + u, a}},
      // a mixed paragraph: no row starts with 。、」
      {kagi + a + i + ten + "OK" + tojikagi + u + maru, 40, {kagi + a + i + ten, "OK" + tojikagi, u + maru}},
  };
  for (auto& c : cases) {
    LaidOut l(c.text, c.width);
    ASSERT_EQ(l.pages.size(), 1u) << c.text;
    EXPECT_EQ(Rows(*l.pages[0]), c.rows) << c.text;
  }
  LaidOut clear("A<CLEAR>B", 100);
  EXPECT_EQ(clear.pages.size(), 2u);
  LaidOut unlimited("abc def ghi<BR>x", 0);
  EXPECT_EQ(Rows(*unlimited.pages[0]).size(), 2u);
  EXPECT_EQ(unlimited.w.S.Width, 110);
  // Paging: rows of 10 in a height of 25 make pages of two rows.
  LaidOut paged("a<BR>b<BR>c<BR>d<BR>e", 100, 25);
  ASSERT_EQ(paged.pages.size(), 3u);
  EXPECT_EQ(Rows(*paged.pages[1]), (std::vector<std::string>{"c", "d"}));
  EXPECT_EQ(paged.pages[1]->Rows[0]->Y, 0);
  EXPECT_EQ(paged.pages[0]->Height, 20);
}

TEST(TpWordLayout, AlignmentRubyAndSizes) {
  LaidOut l("<DIV ALIGN=RIGHT>ab</DIV><BR><DIV ALIGN=CENTER>c<BR><RUBY VALUE=\x82\xA9\x82\xF1>\x8A\xBF\x8E\x9A</RUBY>"
            "<i>x</i>",
            100);
  auto& rows = l.pages[0]->Rows;
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0]->Glyphs[1]->X, 80);  // right: 100 - 20
  EXPECT_EQ(rows[1]->Glyphs[1]->X, 45);  // centre: (100 - 10) / 2
  // Ruby adds size / 2 in height; italic size / 5 in width; smaller glyphs sit on the base line.
  TWdRow& r = *rows[2];
  EXPECT_EQ(r.Height, 15);
  EXPECT_EQ(r.Glyphs.back()->Width, 12);
  EXPECT_EQ(r.Glyphs.back()->Y, 5);
  EXPECT_EQ(rows[2]->Y, 20);
  // A ruby group is never split.
  LaidOut narrow("a<RUBY VALUE=x>\x8A\xBF\x8E\x9A</RUBY>", 20);
  EXPECT_EQ(Rows(*narrow.pages[0]), (std::vector<std::string>{"a", "\x8A\xBF\x8E\x9A"}));
}

TEST(TpWordReveal, WaitsSpeedAndFade) {
  LaidOut l("<WAIT VALUE=100>abc</WAIT>", 100);
  TTpWord& w = l.w;
  TWdPage& p = *l.pages[0];
  w.S.Speed = 256;
  w.S.FadeTime = 30;
  EXPECT_EQ(w.Step(p, 999), "a");  // the first step ignores the elapsed time
  EXPECT_EQ(static_cast<TWdReal*>(p.Glyphs[0])->Alpha, 255 * 0 + 255);  // 999 * 256 / 30 clamps at 255
  EXPECT_EQ(w.Step(p, 60), "");
  EXPECT_EQ(w.Step(p, 30), "");
  EXPECT_EQ(w.Step(p, 10), "b");
  // fade: 10 * 256 / 30 = 85 (remainder 10)
  EXPECT_EQ(static_cast<TWdReal*>(p.Glyphs[1])->Alpha, 85);
  w.S.Speed = 128;
  EXPECT_EQ(w.Step(p, 99), "");  // b's budget was set at full speed
  EXPECT_EQ(w.Step(p, 1), "c");   // c adds 100 * 128 / 256 = 50
  EXPECT_EQ(p.Budget, 50);
  EXPECT_FALSE(w.IsDone(p));
  w.Step(p, 200);
  EXPECT_TRUE(w.IsDone(p));

  LaidOut fast("<WAIT VALUE=100>abc</WAIT>", 100);
  fast.w.S.Speed = -1;  // waits ignored
  EXPECT_EQ(fast.w.Step(*fast.pages[0], 15), "abc");
  LaidOut neg("<WAIT VALUE=-40>ab</WAIT>", 100);
  neg.w.S.Speed = 0;  // a negative wait counts as written
  EXPECT_EQ(neg.w.Step(*neg.pages[0], 0), "a");
  EXPECT_EQ(neg.w.Step(*neg.pages[0], 39), "");
  EXPECT_EQ(neg.w.Step(*neg.pages[0], 1), "b");
}

TEST(TpWordReveal, StopsAtThePageBottomAndPauses) {
  LaidOut l("a<BR>b<BR>c", 100, 15);
  l.w.S.Paging = 0;
  std::vector<std::unique_ptr<TWdPage>> pages;
  l.w.Layout(0, -1, pages);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(l.w.Step(*pages[0], 0), "ab");  // c's row starts at 20, below the height 15
  pages[0]->ScrollOffset = 10;
  EXPECT_EQ(l.w.Step(*pages[0], 0), "c");
  LaidOut p("xy", 100);
  p.w.S.Paused = 1;
  EXPECT_EQ(p.w.Step(*p.pages[0], 15), "");
}

TEST(TpWordReveal, EventsAfterFading) {
  LaidOut l("a<EVENT VALUE=one><EVENT VALUE=two END>b<EVENT VALUE=three>", 100);
  std::vector<std::string> got;
  l.w.OnEvent = [&](const std::string& v) { got.push_back(v); };
  l.w.S.EventsOn = 1;
  l.w.S.FadeTime = 20;
  TWdPage& p = *l.pages[0];
  EXPECT_EQ(l.w.Step(p, 0), "a");  // stops after the two events in a row
  EXPECT_TRUE(got.empty());        // "a" is still fading in
  l.w.Step(p, 10);
  EXPECT_TRUE(got.empty());
  l.w.Step(p, 10);
  EXPECT_EQ(got, (std::vector<std::string>{"one", "\x01two"}));
  EXPECT_EQ(l.w.Step(p, 0), "b");
  l.w.Step(p, 40);
  EXPECT_EQ(got.size(), 3u);
  EXPECT_EQ(got.back(), "three");
}

TEST(TpWordLinks, HoverGroupsAndHitTest) {
  LaidOut l("<A HREF=go>ab</A>c<A HREF=go>d</A>", 100);
  TWdPage& p = *l.pages[0];
  EXPECT_EQ(l.w.HitTest(p, 5, 5), nullptr);  // not revealed yet
  l.w.RevealAll(p);
  EXPECT_EQ(l.w.HitTest(p, 15, 5), p.Glyphs[1]);
  EXPECT_TRUE(l.w.SetHover(p, 15, 5));
  auto hovered = [&](int i) { return static_cast<TWdReal*>(p.Glyphs[size_t(i)])->Hovered; };
  EXPECT_TRUE(hovered(0) && hovered(1));
  EXPECT_FALSE(hovered(2) || hovered(3));  // d has the same target but is not adjacent
  EXPECT_FALSE(l.w.SetHover(p, 5, 5));
  EXPECT_TRUE(l.w.SetHover(p, 25, 5));
  EXPECT_FALSE(hovered(0));
  l.w.StartFadeOut(p, 100);
  EXPECT_FALSE(l.w.StepFadeOut(p, 50));
  EXPECT_EQ(static_cast<TWdReal*>(p.Glyphs[0])->Alpha, 127);
  EXPECT_TRUE(l.w.StepFadeOut(p, 50));
  EXPECT_EQ(static_cast<TWdReal*>(p.Glyphs[0])->Alpha, 0);
}

void Int(std::vector<uint8_t>& o, int32_t v) {
  for (int i = 0; i < 4; ++i) o.push_back(uint8_t(uint32_t(v) >> (8 * i)));
}

TEST(TpWordStream, OldVersionAndRoundTrip) {
  // Version 0 (no header): one decoration with a one-byte border, a character, a line
  // break with clear, an event with END, an image.
  std::vector<uint8_t> s;
  Int(s, 1);
  Int(s, 7), Int(s, 0x0000FF), Int(s, -1), Int(s, 20);
  s.push_back(1), s.push_back(0), s.push_back(5);  // style bold, no-break 0, border byte (means 1)
  Int(s, 0), Int(s, 2), s.push_back('r'), s.push_back('b');  // font name "", ruby "rb"
  Int(s, 4);
  s.push_back(1), Int(s, 0), Int(s, 30), s.push_back(0xA0), s.push_back(0x82), Int(s, 0);
  s.push_back(3), s.push_back(1);
  s.push_back(6), Int(s, 3), s.push_back(1), s.push_back('e'), s.push_back('v');
  s.push_back(9), Int(s, 1), s.push_back('L'), Int(s, 0), Int(s, 1), s.push_back('p'), s.push_back(4);
  TTpWord w;
  w.LoadGlyphs(s.data(), s.size());
  ASSERT_EQ(w.GlyphCount(), 4);
  auto* c = static_cast<TWdChar*>(w.Glyph(0));
  EXPECT_EQ(c->Code, 0x82A0);
  EXPECT_EQ(c->Wait, 30);
  EXPECT_EQ(c->Decor->Color, 0x0000FF);
  EXPECT_EQ(c->Decor->BorderWidth, 1);
  EXPECT_EQ(c->Decor->ShadowWidth, -1);
  EXPECT_EQ(c->Decor->Ruby, "rb");
  EXPECT_EQ(c->Decor->RefCount, 1);  // recomputed, not the stored 7
  EXPECT_EQ(static_cast<TWdOpe*>(w.Glyph(1))->Clear, 1);
  EXPECT_EQ(static_cast<TWdOpe*>(w.Glyph(2))->Value, "ev");
  EXPECT_TRUE(static_cast<TWdOpe*>(w.Glyph(2))->End);
  EXPECT_EQ(static_cast<TWdImg*>(w.Glyph(3))->FileName, "p");
  EXPECT_EQ(static_cast<TWdImg*>(w.Glyph(3))->VAlign, 4);
  EXPECT_EQ(static_cast<TWdImg*>(w.Glyph(3))->Link, "L");

  TTpWord src;
  src.SetText("<font color=#00FF00 border=2 shadow=3>x<A HREF=h>y</A></font><BR><INDENT>z<VAR NAME=\"a=b\">"
              "<HISTCHAR VALUE=q><DIV ALIGN=right><EVENT VALUE=v>");
  const std::vector<uint8_t> saved = src.SaveGlyphs();
  TTpWord back;
  back.LoadGlyphs(saved.data(), saved.size());
  EXPECT_EQ(back.SaveGlyphs(), saved);
  EXPECT_EQ(back.GlyphCount(), src.GlyphCount());
  EXPECT_EQ(static_cast<TWdChar*>(back.Glyph(1))->Link, "h");
  EXPECT_EQ(static_cast<TWdChar*>(back.Glyph(0))->Decor->ShadowWidth, 3);
}

TEST(TpWordStream, DamagedStreamsChangeNothing) {
  TTpWord src;
  src.SetText("ab<BR>c");
  const std::vector<uint8_t> good = src.SaveGlyphs();
  auto fails = [&](std::vector<uint8_t> s) {
    TTpWord w;
    w.SetText("keep");
    EXPECT_THROW(w.LoadGlyphs(s.data(), s.size()), EKestBadData);
    EXPECT_EQ(w.GlyphCount(), 4);
  };
  for (size_t cut = 9; cut < good.size(); ++cut) fails(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)));
  std::vector<uint8_t> s = good;
  s[8] = 'x';  // version digit
  fails(s);
  // glyph count, decoration index and kind after the one decoration (9 + 4 + 31 bytes)
  const size_t glyphs = 9 + 4 + 4 * 4 + 2 + 4 + 4 + 4 + 4 + 4;
  s = good, s[glyphs + 3] = 0x7F;  // count far beyond the stream
  fails(s);
  s = good, s[glyphs + 4] = 8;  // unknown kind
  fails(s);
  s = good, s[glyphs + 4 + 1 + 4 + 4 + 2] = 9;  // decoration index 9 of 1
  fails(s);
  s = good, s[glyphs + 4 + 1] = 0xFF;  // link length negative
  fails(s);
}

TEST(TpWordVars, ExpandAndCollapse) {
  TTpWord w;
  w.SetText("a<VAR NAME=\"$n\">b<VAR NAME=\"bad\"><HISTCHAR VALUE=h>");
  w.ValueList = {"$n=x\x01y"};
  w.Evaluate = [](const std::string& e, std::string& v) {
    if (e == "h") return v = "H\n", true;
    return false;
  };
  w.ExpandVars(0, -1, false);
  EXPECT_EQ(Chars(w), "ax|yb");
  EXPECT_EQ(w.CountBeforeGlyph(5), 2);  // a and the VAR; x, return, y count nothing
  EXPECT_EQ(w.GlyphIndexOfCount(2), 5);
  w.ExpandVars(0, -1, true);
  EXPECT_EQ(Chars(w), "ax|ybH");
  w.CollapseVars(0, -1);
  EXPECT_EQ(Chars(w), "ab");
  w.RecordValues();
  EXPECT_EQ(w.ValueList, (std::vector<std::string>{"$n=x\x01y", "h=H"}));
}

TEST(TpWordSettings, RecordByVersion) {
  TTpWord a;
  a.S.OriginX = 3, a.S.FontName = "F", a.S.Speed = -5, a.S.ShadowColor = 9, a.S.BorderWidth = 2, a.S.ShadowWidth = 4;
  std::vector<uint8_t> s;
  a.SaveSettings(s);
  TTpWord b;
  EXPECT_EQ(b.LoadSettings(s.data(), s.size(), 111), s.size());
  EXPECT_EQ(b.S.FontName, "F");
  EXPECT_EQ(b.S.Speed, -5);
  EXPECT_EQ(b.S.ShadowWidth, 4);
  TTpWord c;
  EXPECT_EQ(c.LoadSettings(s.data(), s.size(), 110), s.size() - 8);
  EXPECT_EQ(c.S.ShadowColor, 9);
  EXPECT_EQ(c.S.BorderWidth, 0);
  EXPECT_EQ(TTpWord().LoadSettings(s.data(), s.size(), 100), s.size() - 12);
  EXPECT_THROW(TTpWord().LoadSettings(s.data(), 20, 111), EKestBadData);
}

TEST(TpWordDraw, CharactersInTheirColoursWithBorder) {
  TFakeFontService fonts;
  auto& f = fonts.AddFace(kDefaultFaceName);
  f.Metrics = {8, 2, 1, -1, 1, 4};
  f.Glyphs[0x41] = {4, 4, 3, 6, 10, std::vector<uint8_t>(16, 255), {3, 4, 3}};
  TFontPixelManager cache(fonts);
  TTpWord w;
  w.Fonts = &cache;
  w.S.FontSize = 10;
  w.S.Width = 100;
  w.S.OriginX = 5;
  w.SetText("A<font color=#FF0000 border=1 bcolor=#0000FF>A</font>");
  std::vector<std::unique_ptr<TWdPage>> pages;
  w.Layout(0, -1, pages);
  w.RevealAll(*pages[0]);
  TDIBX col(40, 20, 32), cov(40, 20, 8);
  const TRect r = w.Draw(*pages[0], col, cov);
  // First A: cell (5, 2) (on the base line of the 12-high row); left 3, top 8 - 6 = 2.
  EXPECT_EQ(col.GetPixel(8, 4), 0u);
  EXPECT_EQ(cov.GetPixel(8, 4), 255u);
  EXPECT_EQ(cov.GetPixel(7, 4), 0u);
  EXPECT_EQ(cov.GetPixel(8, 3), 0u);
  // Second A: cell (15, 0, 27, 12): glyph at 15 + 3 + 1, ring one pixel around, red inside.
  EXPECT_EQ(col.GetPixel(19, 3), 0xFF0000u);
  EXPECT_EQ(col.GetPixel(18, 3), 0x0000FFu);
  EXPECT_EQ(cov.GetPixel(18, 3), 255u);
  EXPECT_EQ(r.Left, 8);
  // Half faded in: coverage about half.
  w.RestartReveal(*pages[0]);
  static_cast<TWdReal*>(pages[0]->Glyphs[0])->Alpha = 128;
  TDIBX col2(40, 20, 32), cov2(40, 20, 8);
  w.Draw(*pages[0], col2, cov2);
  EXPECT_EQ(cov2.GetPixel(8, 4), 128u);
  EXPECT_EQ(cov2.GetPixel(19, 3), 0u);
}

}  // namespace
}  // namespace kest

#include "text/labels.h"

namespace kest {
namespace {

TEST(TpLabelList, WidthsHeightAndStream) {
  TFakeFontService fonts;
  auto& f = fonts.AddFace(kDefaultFaceName);
  f.Metrics = {8, 2, 1, -1, 1, 4};
  f.Glyphs[0x41] = {4, 4, 1, 6, 7, std::vector<uint8_t>(16, 255), {1, 4, 2}};
  TFontPixelManager cache(fonts);
  TTpLabelList l;
  l.Fonts = &cache;
  l.FontSize = 10;
  l.BorderWidth = 1;
  l.ShadowWidth = 2;
  l.Add("AA");
  l.Add("A\x82\xA0");  // no glyph: advance half the size
  EXPECT_EQ(l.Height(), 14);
  EXPECT_EQ(l.Width(0), 2 * (7 + 4));
  EXPECT_EQ(l.Width(1), (7 + 4) + (5 + 4));
  EXPECT_EQ(l.CoverageSurface(0).Width(), 22);
  // First A in its cell of 11: centred by ABC, (1 + 4 / 2) * 6 / 7 = 2.57 -> 3, less the left
  // offset 1: L = 3, the text one border further at 4; white inside a grey ring.
  EXPECT_EQ(l.ColourSurface(0).GetPixel(4, 3), 0xFFFFFFu);
  EXPECT_EQ(l.ColourSurface(0).GetPixel(3, 3), 0x808080u);
  std::vector<uint8_t> s;
  l.Save(s);
  TTpLabelList back;
  EXPECT_EQ(back.Load(s.data(), s.size()), s.size());
  ASSERT_EQ(back.Count(), 2u);
  EXPECT_EQ(back.Text(1), "A\x82\xA0");
  s[4] = 0xFF;  // first length beyond the data
  EXPECT_THROW(back.Load(s.data(), s.size()), EKestBadData);
  EXPECT_EQ(back.Count(), 2u);
}

}  // namespace
}  // namespace kest

#include "script/paramcoll.h"
#include "script/parser.h"
#include "script/sysfuncs.h"
#include "vfs/streams.h"

namespace kest {
namespace {

TEST(TpWordVars, TheTitlesEvaluatorAndOldCompiledStreams) {
  TParamCollection vars;
  TSysFuncMan funcs{vars};
  TParamCollectionItem* x = vars.AddItem(PT_INT);
  vars.SetItemName(x, "x");
  x->Value()->SetInt(41);
  TTpWord w;
  w.Evaluate = ExpressionEvaluator(funcs);
  w.EvaluateCompiled = [&](TKestParser& p, std::string& v) { return RunCompiled(funcs, p, v); };
  w.SetText("<VAR NAME=\"x + 1\">|<VAR NAME=\"1 +\">|<VAR NAME=\"nosuch * 2\">");
  w.ExpandVars(0, -1, false);
  EXPECT_EQ(Chars(w), "42||");

  // A version 101 stream: the VAR glyph holds the expression compiled.
  TBuildKestParser b;
  b.Compile("x * 2");
  TMemoryStream m;
  b.WriteTo(m);
  std::vector<uint8_t> s{'T', 'p', 'W', 'o', 'r', 'd', '1', '0', '1'};
  Int(s, 1);
  Int(s, 1), Int(s, -1), Int(s, -1), Int(s, 0), s.push_back(0), s.push_back(0), Int(s, -1), Int(s, 0), Int(s, 0),
      Int(s, -1), Int(s, -1);
  Int(s, 2);
  s.push_back(7), Int(s, 0), Int(s, 25), Int(s, 0);
  s.insert(s.end(), m.Memory(), m.Memory() + m.Size());
  s.push_back(4);
  TTpWord old;
  old.EvaluateCompiled = w.EvaluateCompiled;
  old.LoadGlyphs(s.data(), s.size());
  ASSERT_EQ(old.GlyphCount(), 2);
  EXPECT_EQ(static_cast<TWdOpe*>(old.Glyph(0))->Wait, 25);
  old.ExpandVars(0, -1, false);
  EXPECT_EQ(Chars(old), "82");
}

}  // namespace
}  // namespace kest

#include "gfx/piccodecs.h"
#include "vfs/vrfiles.h"
#include "vfs/vrmanager.h"

namespace kest {
namespace {

TEST(TpWordImages, ThroughTheFileManagerAndAligned) {
  TVrFileManager files;
  TDIBSurface pic;
  pic.SetSize(6, 30, 24);
  const std::vector<uint8_t> bmp = SaveBmp(pic);
  files.MemoryCollection().AddMemoryEntry("face.bmp")->Data->WriteBuffer(bmp.data(), int64_t(bmp.size()));
  TTpWord w;
  w.LoadImage = FileImageLoader(files);
  w.S.FontSize = 10;
  w.S.Width = 100;
  w.SetText("a<IMG SRC=face.bmp ALIGN=center>b<IMG SRC=missing.bmp>c");
  std::vector<std::unique_ptr<TWdPage>> pages;
  w.Layout(0, -1, pages);
  TWdRow& r = *pages[0]->Rows[0];
  EXPECT_EQ(w.Glyph(1)->Width, 6);
  EXPECT_EQ(w.Glyph(3)->Width, 0);  // a missing image is 0 x 0
  // CENTER: (30 - 10 + 1) / 2 = 10 above and below the base of 10.
  EXPECT_EQ(r.Above, 10);
  EXPECT_EQ(r.Height, 30);
  EXPECT_EQ(w.Glyph(1)->Y, 10 + (10 - 30) / 2);
  EXPECT_EQ(w.Glyph(0)->Y, 10);
  w.RevealAll(*pages[0]);
  EXPECT_EQ(w.PageText(*pages[0]), "a*b*c");
}

}  // namespace
}  // namespace kest
