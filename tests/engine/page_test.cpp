#include "engine/page.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/pagetext.h"
#include "vfs/records.h"
#include "vfs/streams.h"

namespace kest {
namespace {

std::vector<uint8_t> Bytes(const TPage& p) {
  TMemoryStream m;
  p.SaveToStream(m);
  return m.TakeBytes();
}

std::vector<uint8_t> Asm(const std::string& text) {
  TPage p;
  AssemblePage(text, p);
  return Bytes(p);
}

TPage::TLoadResult Load(TPage& p, const std::vector<uint8_t>& b) {
  TMemoryStream m;
  m.Assign(b);
  m.SetPosition(0);
  return p.LoadFromStream(m);
}

// One line for every type code, each field given a value of its kind.
std::string EveryCode(int32_t version) {
  std::string t = "version " + std::to_string(version) + "\nkind 2\n";
  for (int32_t code = 0; code < kCommandCodes; ++code) {
    const TCommandSpec* s = CommandSpec(code);
    t += std::string(s->name) + " line=" + std::to_string(code + 1) + (code % 2 ? " chain" : "");
    for (const TFieldSpec& f : s->fields) {
      if (version < f.minVersion) continue;
      switch (f.kind) {
        case TFieldKind::Str: t += " \"s" + std::to_string(code) + "\""; break;
        case TFieldKind::Text: t += " \"\\x01t\""; break;
        case TFieldKind::Int: t += " -7"; break;
        case TFieldKind::Byte: t += " 3"; break;
        case TFieldKind::Expr: t += " {x + " + std::to_string(code) + "}"; break;
        case TFieldKind::List: t += " [ {1} {} ]"; break;
        case TFieldKind::Props: t += " PR_LEFT={10} PR_NAME={\"n\"}"; break;
      }
    }
    t += "\n";
  }
  return t;
}

TEST(Page, EveryCodeAssemblesReadsBackAndListsToTheSameBytes) {
  for (int32_t version : {103, 106, 107, 110, 115}) {
    SCOPED_TRACE(version);
    std::vector<uint8_t> bytes = Asm(EveryCode(version));
    TPage p;
    ASSERT_EQ(Load(p, bytes), TPage::TLoadResult::Loaded);
    ASSERT_EQ(p.Count(), kCommandCodes);
    EXPECT_EQ(p.Kind, 2);
    for (int32_t i = 0; i < kCommandCodes; ++i) {
      EXPECT_EQ(p.At(i)->Code(), i);
      EXPECT_EQ(p.At(i)->Line, i + 1);
      EXPECT_EQ(p.At(i)->Chain(), i == 2 || i == 32 || i == 33 || (i % 2 && i != 39)) << i;
    }
    EXPECT_EQ(Bytes(p), bytes);
    EXPECT_EQ(Asm(DisassemblePage(p)), bytes);
  }
}

TEST(Page, VersionGatedFields) {
  // The hold-events expression of a wait arrives with version 107.
  struct Case { int32_t version; size_t exprs; } cases[] = {{106, 2}, {107, 3}};
  for (const auto& c : cases) {
    TPage p;
    Load(p, Asm("version " + std::to_string(c.version) + "\nWait {} {1} " + (c.exprs == 3 ? "{2}" : "")));
    size_t n = 0;
    for (const TField& f : p.At(0)->Fields) n += f.present;
    EXPECT_EQ(n, c.exprs);
  }
}

// A hand-made page: version 115, kind 0, no masks, one label "ab" chained at line 9,
// type byte with the high bit set.
TEST(Page, HandWrittenBytes) {
  std::vector<uint8_t> b = {115, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0,
                            0x83, 2, 0, 0, 0, 0, 1, 9, 0, 0, 0, 2, 0, 0, 0, 'a', 'b'};
  TPage p;
  ASSERT_EQ(Load(p, b), TPage::TLoadResult::Loaded);
  ASSERT_EQ(p.Count(), 1);
  EXPECT_EQ(p.At(0)->Code(), 3);
  EXPECT_EQ(p.At(0)->Indent, 2);
  EXPECT_TRUE(p.At(0)->Chain());
  EXPECT_EQ(p.FindLabel("ab"), 0);
  EXPECT_EQ(p.FindLabel("AB"), -1);
  EXPECT_EQ(Bytes(p), b);
  EXPECT_EQ(Asm(DisassemblePage(p)), b);
}

std::vector<uint8_t> MaskPage(int32_t count, int32_t size, const std::vector<uint8_t>& block) {
  TMemoryStream m;
  WriteInt(m, 115);
  WriteByte(m, 0);
  WriteInt(m, count);
  WriteInt(m, size);
  m.WriteBuffer(block.data(), int64_t(block.size()));
  WriteInt(m, 0);
  return m.TakeBytes();
}

TEST(Page, MaskCopyRules) {
  auto filled = [](size_t n, uint8_t v) { return std::vector<uint8_t>(n, v); };
  struct Case {
    const char* what;
    int32_t count, size;
    std::vector<uint8_t> block;
    size_t firstSet, endSet;  // bytes [firstSet, endSet) of the table are 0xFF
  } cases[] = {
      {"one record fills every slot", 1, 1281, filled(1281, 0xFF), 0, 1281},
      {"one slot", 4, 21, [&] { auto b = filled(84, 0); std::fill(b.begin() + 63, b.end(), 0xFF); return b; }(),
       63, 84},
      {"cut at the table end", 61, 42, [&] { auto b = filled(61 * 42, 0); std::fill(b.end() - 42, b.end(), 0xFF); return b; }(),
       1260, 1281},
      {"records past 61 skipped", 62, 21, [&] { auto b = filled(62 * 21, 0); std::fill(b.end() - 21, b.end(), 0xFF); return b; }(),
       0, 0},
      {"excess of a long record skipped", 1, 1300, filled(1300, 0xFF), 0, 1281},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TPage p;
    ASSERT_EQ(Load(p, MaskPage(c.count, c.size, c.block)), TPage::TLoadResult::Loaded);
    for (size_t i = 0; i < size_t(kMaskTable); ++i)
      ASSERT_EQ(p.Masks[i], i >= c.firstSet && i < c.endSet ? 0xFF : 0) << i;
  }
}

TEST(Page, MaskDecidesTheExpressionsOfACreatingCommand) {
  TPage p;
  Load(p, Asm("BoxNew PR_TOP={1}\nBoxNew PR_LEFT={2}\nImgNew PR_ALPHA={3}\n"));
  // Both boxes carry left and top (the union), the image only alpha.
  ASSERT_EQ(p.At(0)->Fields[0].props.size(), 2u);
  ASSERT_EQ(p.At(1)->Fields[0].props.size(), 2u);
  EXPECT_TRUE(p.At(0)->Fields[0].props[1].second.Empty() || p.At(0)->Fields[0].props[0].second.Empty());
  EXPECT_EQ(p.At(2)->Fields[0].props.size(), 1u);
}

TEST(Page, VersionsAndDamage) {
  TPage p;
  auto ver = [](int32_t v) {
    auto b = MaskPage(0, 0, {});
    b[0] = uint8_t(v);
    return b;
  };
  EXPECT_EQ(Load(p, ver(116)), TPage::TLoadResult::TooNew);
  EXPECT_EQ(Load(p, ver(102)), TPage::TLoadResult::TooOld);
  EXPECT_EQ(Load(p, ver(103)), TPage::TLoadResult::Loaded);
  // An unknown type code fails the whole page.
  std::vector<uint8_t> bad = MaskPage(0, 0, {});
  bad[bad.size() - 4] = 1;
  for (uint8_t code : {61, 127, 0xBD}) {
    std::vector<uint8_t> b = bad;
    b.insert(b.end(), {code, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    try {
      Load(p, b);
      ADD_FAILURE() << int(code);
    } catch (const EKestBadData& e) {
      EXPECT_STREQ(e.what(), kMsgBadCommand);
    }
  }
  // Every cut of a page fails cleanly.
  std::vector<uint8_t> full = Asm(EveryCode(115));
  for (size_t n = 0; n < full.size(); ++n) {
    std::vector<uint8_t> cut(full.begin(), full.begin() + ptrdiff_t(n));
    EXPECT_THROW(Load(p, cut), EKestBadData) << n;
  }
  // Counts larger than the bytes that remain are refused before anything is reserved.
  std::vector<uint8_t> huge = MaskPage(0, 0, {});
  huge[huge.size() - 1] = 0x7F;
  EXPECT_THROW(Load(p, huge), EKestBadData);
}

TEST(PageText, ErrorsNameTheLine) {
  TPage p;
  for (const char* t : {"Nothing", "Label 5", "Calc {1 +}", "BoxNew PR_NOPE={1}", "Label \"a\" extra",
                        "masks 1 2 #00", "VarNew \"a\" 300 {} 0"}) {
    try {
      AssemblePage(std::string("; first\n") + t + "\n", p);
      ADD_FAILURE() << t;
    } catch (const EKest& e) {
      EXPECT_EQ(std::string(e.what()).rfind("line 2: ", 0), 0u) << t << " " << e.what();
    }
  }
}

TEST(PageText, TextsKeepEveryByte) {
  // CP932 text, a lone lead byte and control bytes all come back.
  std::string odd = std::string("\x93\xFA\x96\x7B") + "\x01\"\\" + "\x82";
  TPage p;
  p.SetCanonicalMasks();
  auto c = std::make_unique<TCommand>(&p, 27);
  c->Fields.resize(1);
  c->Fields[0].kind = TFieldKind::Str;
  c->Fields[0].str = odd;
  p.Commands.push_back(std::move(c));
  std::string listing = DisassemblePage(p);
  EXPECT_NE(listing.find("\xE6\x97\xA5\xE6\x9C\xAC"), std::string::npos);  // UTF-8 日本
  TPage q;
  AssemblePage(listing, q);
  EXPECT_EQ(q.At(0)->Fields[0].str, odd);
}

}  // namespace
}  // namespace kest
