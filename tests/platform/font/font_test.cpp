#include <gtest/gtest.h>

#include <algorithm>

#include "platform/font/fake_font_service.h"
#include "platform/font/font_alias.h"
#include "platform/font/freetype_font_service.h"

using namespace kest;

namespace {
const std::string kMsGothic = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";      // ＭＳ ゴシック
const std::string kMsPGothic = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ Ｐゴシック
constexpr uint16_t kA = 0x82A0;  // あ
}  // namespace

TEST(FontLevels, QuantiseToTheLevelCountsOfTheQualities) {
  struct Case { int v, maxLevel, level; };
  const Case cases[] = {
      {0, 4, 0},   {31, 4, 0},  {32, 4, 1},   {255, 4, 4},   {128, 4, 2},
      {0, 16, 0},  {7, 16, 0},  {8, 16, 1},   {255, 16, 16}, {0, 64, 0},
      {2, 64, 1},  {1, 64, 0},  {255, 64, 64}, {128, 64, 32},
  };
  for (const Case& c : cases) EXPECT_EQ(QuantizeLevel(c.v, c.maxLevel), c.level) << c.v << "/" << c.maxLevel;
}

TEST(FontCodes, ShiftJisCodesToUnicode) {
  struct Case { uint16_t code; char32_t u; };
  const Case cases[] = {
      {0x41, U'A'}, {0x5C, U'\\'}, {0xB1, U'\uFF71'}, {kA, U'\u3042'},
      {0x8160, U'\uFF5E'},  // wave dash as CP932 maps it
      {0x815F, U'\uFF3C'},  // full-width backslash
      {0x8540, 0},          // unassigned
      {0x81, 0},            // a lone lead byte
  };
  for (const Case& c : cases) EXPECT_EQ(CodeToUnicode(c.code), c.u) << std::hex << c.code;
}

TEST(FontAlias, ExactNamesAndOverrides) {
  TFontAliasTable t = TFontAliasTable::Default();
  ASSERT_NE(t.Find(kMsGothic), nullptr);
  EXPECT_EQ(t.Find(kMsGothic)->Families.front(), "IPAGothic");
  EXPECT_TRUE(t.Find(kMsGothic)->FixedPitch);
  EXPECT_FALSE(t.Find(kMsPGothic)->FixedPitch);
  EXPECT_EQ(t.Find("ms gothic"), nullptr);  // letter case counts
  EXPECT_EQ(TFontAliasTable::DefaultFace(), kMsGothic);
  EXPECT_EQ(t.ParseOverrides("MS Gothic = VL Gothic, IPAGothic\r\nbroken line\n=x\nNew Face=Foo\n"), 2);
  EXPECT_EQ(t.Find("MS Gothic")->Families, (std::vector<std::string>{"VL Gothic", "IPAGothic"}));
  EXPECT_TRUE(t.Find("MS Gothic")->FixedPitch);  // an override keeps the pitch
  EXPECT_EQ(t.Find("New Face")->Families, (std::vector<std::string>{"Foo"}));
}

TEST(FakeFontService, QuantisesAndCountsRenders) {
  TFakeFontService s;
  auto& face = s.AddFace("Test");
  face.Metrics.Ascent = 10;
  TFakeFontService::Glyph g;
  g.Width = 2;
  g.Height = 1;
  g.Coverage = {255, 100};
  face.Glyphs[0x41] = g;
  auto f = s.OpenFace("Unknown", 12, 0);  // falls to the first face
  ASSERT_NE(f, nullptr);
  TGlyphImage img;
  ASSERT_TRUE(f->RenderGlyph(0x41, 16, img));
  EXPECT_EQ(img.Levels, (std::vector<uint8_t>{16, 6}));
  ASSERT_TRUE(f->RenderGlyph(0x41, 1, img));
  EXPECT_EQ(img.Levels, (std::vector<uint8_t>{1, 0}));
  EXPECT_EQ(s.Renders, 2);
  EXPECT_EQ(f->TextWidth(0x20), 6);
}

// The real service, with the IPA fonts the deps script installs.
class FreeTypeFonts : public ::testing::Test {
 protected:
  void SetUp() override {
    service_ = CreateFreeTypeFontService();
    const auto names = service_->FaceNames(false);
    if (std::find(names.begin(), names.end(), "IPAGothic") == names.end())
      GTEST_SKIP() << "IPAGothic is not installed";
  }
  std::unique_ptr<IFontService> service_;
};

TEST_F(FreeTypeFonts, GothicGlyphsAndHalfWidthAdvance) {
  EXPECT_TRUE(service_->HasFace(kMsGothic));
  EXPECT_FALSE(service_->HasFace("ms gothic"));
  EXPECT_FALSE(service_->HasFace("No Such Face"));
  auto face = service_->OpenFace(kMsGothic, 24, 0);
  ASSERT_NE(face, nullptr);
  const TFontMetrics& m = face->Metrics();
  EXPECT_GT(m.Ascent, 12);
  EXPECT_LE(m.Ascent, 24);
  EXPECT_EQ(m.Ascent + m.Descent, 24);
  EXPECT_GE(m.UnderscoreSize, 1);

  TGlyphImage img;
  ASSERT_TRUE(face->RenderGlyph(kA, 64, img));
  EXPECT_GT(img.Width, 10);
  EXPECT_GT(img.Height, 10);
  EXPECT_LE(img.Width, 26);
  EXPECT_EQ(img.CellAdvance, 24);
  ASSERT_EQ(img.Levels.size(), size_t(img.Width * img.Height));
  EXPECT_EQ(*std::max_element(img.Levels.begin(), img.Levels.end()), 64);

  ASSERT_TRUE(face->RenderGlyph(kA, 1, img));
  for (uint8_t v : img.Levels) ASSERT_LE(v, 1);

  ASSERT_TRUE(face->RenderGlyph('A', 16, img));
  EXPECT_EQ(img.CellAdvance, 12);
  EXPECT_EQ(face->TextWidth('A'), 12);
  EXPECT_EQ(face->TextWidth(0xB1), 12);  // half-width katakana
  const TAbcWidths abc = face->AbcWidths('A');
  EXPECT_EQ(abc.A + abc.B + abc.C, 12);

  ASSERT_TRUE(face->RenderGlyph(' ', 64, img));  // a blank: no pixels, an advance
  EXPECT_EQ(img.Width, 0);
  EXPECT_TRUE(img.Levels.empty());
  EXPECT_EQ(img.CellAdvance, 12);
}

TEST_F(FreeTypeFonts, SyntheticBoldAndFallbacks) {
  auto plain = service_->OpenFace(kMsGothic, 20, 0);
  auto bold = service_->OpenFace(kMsGothic, 20, FS_BOLD | FS_ITALIC);
  ASSERT_TRUE(plain && bold);
  EXPECT_EQ(bold->TextWidth('A'), plain->TextWidth('A') + 1);
  // An unknown name still draws, with the default face.
  auto unknown = service_->OpenFace("No Such Face:lang=xx", 20, 0);
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(unknown->TextWidth('A'), plain->TextWidth('A'));
  // Absurd sizes are bounded.
  auto huge = service_->OpenFace(kMsGothic, 1 << 30, 0);
  ASSERT_NE(huge, nullptr);
  EXPECT_LE(huge->Metrics().Ascent, 2048);
  auto tiny = service_->OpenFace(kMsGothic, -5, 0);
  ASSERT_NE(tiny, nullptr);
}

TEST_F(FreeTypeFonts, FaceListsKnowTheTitlesFaces) {
  const auto all = service_->FaceNames(false);
  const auto fixed = service_->FaceNames(true);
  auto has = [](const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
  };
  EXPECT_TRUE(has(all, kMsGothic));
  EXPECT_TRUE(has(all, kMsPGothic));
  EXPECT_TRUE(has(fixed, kMsGothic));
  EXPECT_FALSE(has(fixed, kMsPGothic));
}
