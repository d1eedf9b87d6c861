// The markup typesetter: message text in a small HTML-like markup becomes glyphs, laid out
// into rows and pages with Japanese line breaking, revealed glyph by glyph with waits and a
// fade-in, and drawn through the glyph cache.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/types.h"
#include "gfx/dibx.h"

namespace kest {

class TTpWord;
class TWdRow;
class TFontPixelManager;
class TSysFuncMan;
class TKestParser;
class TVrFileManager;

// An evaluator for TTpWord::Evaluate over the title's variables and system functions: the
// expression is compiled and run, its value taken as text; any error answers false.
std::function<bool(const std::string&, std::string&)> ExpressionEvaluator(TSysFuncMan& funcs);
bool RunCompiled(TSysFuncMan& funcs, TKestParser& p, std::string& value);
// An image loader for TTpWord::LoadImage: the file through the virtual file manager (a
// bitmap, PNG or Zarn picture, its first frame); nullptr when missing or damaged.
std::function<std::shared_ptr<TDIBX>(const std::string&)> FileImageLoader(TVrFileManager& files,
                                                                           int32_t identificationCode = 0);
// A compiled expression as old glyph streams hold it; `used` receives its length.
std::shared_ptr<TKestParser> LoadCompiledExpression(const uint8_t* data, size_t size, size_t& used);

// "<A>タグにHREF値がありません"
extern const char* const kMsgNoHref;

// A shared style record; "unset" fields fall back to the typesetter's settings.
struct TDecorate {
  int32_t RefCount = 0;
  TColorRef Color = -1;
  TColorRef BorderColor = -1;
  TColorRef ShadowColor = -1;
  int32_t Size = 0;
  uint8_t Style = 0;  // 1 bold, 2 italic, 4 underline, 8 strike-out
  std::string FontName;
  uint8_t NoBreak = 0;
  std::string Ruby;
  int32_t BorderWidth = -1;
  int32_t ShadowWidth = -1;

  bool SameValues(const TDecorate& o) const {
    return Color == o.Color && BorderColor == o.BorderColor && ShadowColor == o.ShadowColor && Size == o.Size &&
           Style == o.Style && FontName == o.FontName && NoBreak == o.NoBreak && Ruby == o.Ruby &&
           BorderWidth == o.BorderWidth && ShadowWidth == o.ShadowWidth;
  }
};

// The reference-counted records of one typesetter, shared by equal values.
class TDecorateList {
 public:
  // A record with these values (an existing equal one is shared); its count grows by one.
  TDecorate* Acquire(const TDecorate& values);
  // Drops one use; a record nobody uses is removed.
  void Release(TDecorate* d);
  // Gives a glyph's record new values: an equal record is shared, an unshared record is
  // changed in place, otherwise a new one is made.
  void Change(TDecorate*& d, const TDecorate& values);
  int32_t IndexOf(const TDecorate* d) const;
  size_t Count() const { return items_.size(); }
  TDecorate* At(size_t i) const { return items_[i].get(); }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TDecorate>> items_;
};

enum class TWdKind : uint8_t {
  Char = 1, Align = 2, Return = 3, Indent = 4, Undent = 5, Event = 6, Var = 7, Img = 9, HistChar = 10,
  // not stored
  VarChar = 101, VarReturn = 102, Space = 103,
};

class TWdGlyph {
 public:
  explicit TWdGlyph(TWdKind k) : Kind(k) {}
  virtual ~TWdGlyph() = default;
  TWdKind Kind;
  int32_t X = 0, Y = 0, Width = 0, Height = 0;  // relative to the row
  TWdRow* Row = nullptr;
  // Glyphs that come from the text count 1 in glyph counts; expanded and spacing glyphs 0.
  bool Countable() const { return Kind != TWdKind::VarChar && Kind != TWdKind::VarReturn && Kind != TWdKind::Space; }
  virtual bool IsReal() const { return false; }
  virtual std::unique_ptr<TWdGlyph> Clone() const = 0;
};

class TWdReal : public TWdGlyph {
 public:
  using TWdGlyph::TWdGlyph;
  std::string Link;
  bool Hovered = false;
  int32_t Alpha = 0;  // 0 until revealed
  int32_t Wait = 0;
  int32_t FadeFrom = 0;  // alpha when the fade-out started
  bool IsReal() const override { return true; }
};

class TWdChar : public TWdReal {
 public:
  explicit TWdChar(TWdKind k = TWdKind::Char) : TWdReal(k) {}
  uint16_t Code = 0;
  TDecorate* Decor = nullptr;
  bool IsSingleByte() const { return Code < 256; }
  std::unique_ptr<TWdGlyph> Clone() const override { return std::make_unique<TWdChar>(*this); }
};

class TWdImg : public TWdReal {
 public:
  TWdImg() : TWdReal(TWdKind::Img) {}
  std::string FileName;
  uint8_t VAlign = 5;  // 3 CENTER, 4 TOP, 5 BOTTOM
  uint8_t NoBreak = 0;
  std::string Ruby;
  std::shared_ptr<TDIBX> Image;  // the first frame, when the file was found
  std::unique_ptr<TWdGlyph> Clone() const override { return std::make_unique<TWdImg>(*this); }
};

class TWdOpe : public TWdGlyph {
 public:
  using TWdGlyph::TWdGlyph;
  uint8_t Align = 1;      // alignment glyphs: 1 LEFT, 2 RIGHT, 3 CENTER
  uint8_t Clear = 0;      // line breaks: 1 starts a new page
  std::string Value;      // events: the value; VAR, HISTCHAR: the expression
  bool End = false;       // events: END
  TDecorate* Decor = nullptr;  // VAR, HISTCHAR
  int32_t Wait = 0;       // VAR, HISTCHAR
  std::string Link;       // VAR, HISTCHAR
  bool Expanded = false;  // VAR, HISTCHAR: the glyphs after it are its value
  // VAR, HISTCHAR of old streams: the expression compiled, without its text.
  std::shared_ptr<TKestParser> Compiled;
  std::unique_ptr<TWdGlyph> Clone() const override { return std::make_unique<TWdOpe>(*this); }
};

class TWdRow {
 public:
  int32_t X = 0, Y = 0, Width = 0, Height = 0;
  int32_t LeftBound = 0, RightBound = 0;
  uint8_t Align = 1;
  int32_t Base = 0, Above = 0, Below = 0;
  std::vector<TWdGlyph*> Glyphs;
  bool HasSized() const {
    for (auto* g : Glyphs)
      if (g->Width > 0 || g->Height > 0) return true;
    return false;
  }
};

// One page of laid-out rows and its reveal state.
class TWdPage {
 public:
  int32_t Width = 0, Height = 0;
  std::vector<std::unique_ptr<TWdRow>> Rows;
  std::vector<TWdGlyph*> Glyphs;  // every glyph of the page in text order
  int32_t FirstIndex = 0, LastIndex = -1;  // glyph indexes of the typesetter
  // reveal
  size_t Next = 0;  // the next glyph to reveal
  bool Started = false;
  int64_t Budget = 0;
  int64_t FadeAcc = 0;
  std::vector<TWdReal*> Fading;
  std::string PendingEvents;
  int32_t ScrollOffset = 0;
  // fade-out
  int32_t FadeOutTime = 0, FadeOutElapsed = 0;
  bool FadingOut = false;
};

struct TTpSettings {
  int32_t OriginX = 0, OriginY = 0;
  int32_t FontSize = 12;
  std::string FontName = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ ゴシック
  TColorRef TextColor = 0;
  int32_t Height = 0, Width = 0;
  int32_t Quality = 3;
  int32_t LineSpacing = 0;
  uint8_t Paging = 1;
  TColorRef LinkColor = MakeColorRef(0, 0, 255);
  TColorRef HoverColor = MakeColorRef(0, 128, 0);
  int32_t FadeTime = 1;
  TColorRef BorderColor = MakeColorRef(128, 128, 128);
  int32_t Opacity = 255;
  uint8_t Paused = 0;
  int32_t CaretX = 0, CaretY = 0;
  int32_t Speed = 0;
  uint8_t EventsOn = 0;
  TColorRef ShadowColor = 0;
  int32_t BorderWidth = 0, ShadowWidth = 0;
};

class TTpWord {
 public:
  TTpWord();
  ~TTpWord();
  TTpWord(const TTpWord&) = delete;
  TTpWord& operator=(const TTpWord&) = delete;

  TTpSettings S;
  // The wait of glyphs outside WAIT elements (the title's text delay when parsing starts).
  int32_t DefaultWait = 0;
  // Receives each event value once its glyphs have faded in.
  std::function<void(const std::string&)> OnEvent;
  // Finds an image of an IMG element (nullptr: missing, drawn 0 x 0).
  std::function<std::shared_ptr<TDIBX>(const std::string&)> LoadImage;
  // The glyph cache used for drawing (the process-wide one when null).
  TFontPixelManager* Fonts = nullptr;

  // --- glyphs ---
  void SetText(const std::vector<std::string>& lines);
  void SetText(const std::string& text) { SetText(std::vector<std::string>{text}); }
  void ClearGlyphs();
  int32_t GlyphCount() const { return int32_t(glyphs_.size()); }
  TWdGlyph* Glyph(int32_t i) const { return glyphs_[size_t(i)].get(); }
  const TDecorateList& Decorations() const { return decor_; }
  int32_t GlyphIndexOfCount(int32_t n) const;
  int32_t CountBeforeGlyph(int32_t index) const;
  void CopyGlyphs(const TTpWord& src, int32_t first, int32_t last);

  // The glyph stream: appends the glyphs of a stream (checked whole; a bad stream changes
  // nothing and raises EKestBadData). SaveGlyphs writes the newest version.
  void LoadGlyphs(const uint8_t* data, size_t size);
  std::vector<uint8_t> SaveGlyphs(int32_t first = 0, int32_t last = -1) const;
  static constexpr int32_t kStreamVersion = 110;

  void SaveSettings(std::vector<uint8_t>& out) const;
  // Reads the settings record of a version; answers the bytes read (throws when short).
  size_t LoadSettings(const uint8_t* data, size_t size, int32_t version);

  // --- expressions ---
  // Lines "expression=value" (CR stored as 0x01) recorded when the text was shown.
  std::vector<std::string> ValueList;
  // Runs an expression and answers its value as text (false: it failed). Set by the owner
  // that has the title's variables.
  std::function<bool(const std::string&, std::string&)> Evaluate;
  // Runs a compiled expression of an old stream (set with Evaluate by the owner).
  std::function<bool(TKestParser&, std::string&)> EvaluateCompiled;
  void ExpandVars(int32_t first, int32_t last, bool history);
  void CollapseVars(int32_t first, int32_t last);
  // Records every expression's current value into the value list.
  void RecordValues();

  // --- layout ---
  void Layout(int32_t first, int32_t last, std::vector<std::unique_ptr<TWdPage>>& pages);

  // --- per frame ---
  // Reveals and fades; answers the text revealed ("*" for images).
  std::string Step(TWdPage& page, int32_t elapsed);
  bool IsDone(const TWdPage& page) const;
  void RevealAll(TWdPage& page);
  void RestartReveal(TWdPage& page);
  TWdReal* HitTest(TWdPage& page, int32_t x, int32_t y) const;
  // Answers whether the hovered group changed.
  bool SetHover(TWdPage& page, int32_t x, int32_t y);
  void StartFadeOut(TWdPage& page, int32_t ms);
  bool StepFadeOut(TWdPage& page, int32_t elapsed);
  // The text of a page (characters, "*" for images, CR for line breaks).
  std::string PageText(const TWdPage& page) const;
  // Draws the page's revealed glyphs onto a colour surface and its 8-bit coverage surface;
  // answers the changed rectangle.
  TRect Draw(TWdPage& page, TCustomDIBX& colour, TCustomDIBX& coverage);

  // Effective values of a glyph's style.
  int32_t SizeOf(const TDecorate* d) const;
  int32_t BorderOf(const TDecorate* d) const;
  int32_t ShadowOf(const TDecorate* d) const;

 private:
  void Parse(const std::string& text);
  void MeasureGlyph(TWdGlyph& g) const;
  size_t UnitEnd(const std::vector<TWdGlyph*>& list, size_t i) const;
  bool BreakForbidden(const TWdGlyph* p, const TWdGlyph* c) const;
  void ArrangeRow(TWdRow& row) const;
  void Insert(size_t at, std::unique_ptr<TWdGlyph> g);
  bool RubyOfGroupStart(const TWdRow& row, size_t gi) const;

  std::vector<std::unique_ptr<TWdGlyph>> glyphs_;
  std::vector<std::unique_ptr<TWdGlyph>> spaces_;  // indentation blanks made by layout
  TDecorateList decor_;
};

}  // namespace kest
