#include "platform/font/font_alias.h"

#include "common/sjis.h"

namespace kest {

namespace {
// "ＭＳ ゴシック", "ＭＳ Ｐゴシック", "ＭＳ 明朝", "ＭＳ Ｐ明朝" in CP932.
const char kMsGothic[] = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";
const char kMsPGothic[] = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";
const char kMsMincho[] = "\x82\x6C\x82\x72\x20\x96\xBE\x92\xA9";
const char kMsPMincho[] = "\x82\x6C\x82\x72\x20\x82\x6F\x96\xBE\x92\xA9";
// "メイリオ", "游ゴシック", "游明朝", "HG丸ｺﾞｼｯｸM-PRO".
const char kMeiryo[] = "\x83\x81\x83\x43\x83\x8A\x83\x49";
const char kYuGothic[] = "\x9F\xE0\x83\x53\x83\x56\x83\x62\x83\x4E";
const char kYuMincho[] = "\x9F\xE0\x96\xBE\x92\xA9";
const char kHgMaru[] = "HG\x8A\xDB\xBA\xDE\xBC\xAF\xB8M-PRO";
}  // namespace

const std::string& TFontAliasTable::DefaultFace() {
  static const std::string face = kMsGothic;
  return face;
}

TFontAliasTable TFontAliasTable::Default() {
  TFontAliasTable t;
  const std::vector<std::string> gothic = {"IPAGothic", "TakaoGothic", "VL Gothic", "Noto Sans Mono CJK JP"};
  const std::vector<std::string> pgothic = {"IPAPGothic", "TakaoPGothic", "VL PGothic", "Noto Sans CJK JP"};
  const std::vector<std::string> mincho = {"IPAMincho", "TakaoMincho", "Noto Serif CJK JP"};
  const std::vector<std::string> pmincho = {"IPAPMincho", "TakaoPMincho", "Noto Serif CJK JP"};
  const std::vector<std::string> exgothic = {"IPAexGothic", "Noto Sans CJK JP", "IPAPGothic"};
  t.entries_ = {
      {kMsGothic, gothic, true},
      {"MS Gothic", gothic, true},
      {kMsPGothic, pgothic, false},
      {"MS PGothic", pgothic, false},
      {"MS UI Gothic", pgothic, false},
      {kMsMincho, mincho, true},
      {"MS Mincho", mincho, true},
      {kMsPMincho, pmincho, false},
      {"MS PMincho", pmincho, false},
      {kMeiryo, exgothic, false},
      {"Meiryo", exgothic, false},
      {"Meiryo UI", exgothic, false},
      {kYuGothic, exgothic, false},
      {"Yu Gothic", exgothic, false},
      {kYuMincho, {"IPAexMincho", "IPAPMincho"}, false},
      {"Yu Mincho", {"IPAexMincho", "IPAPMincho"}, false},
      {kHgMaru, {"MotoyaLMaru", "IPAPGothic"}, false},
  };
  return t;
}

const TFontAlias* TFontAliasTable::Find(std::string_view face) const {
  for (const TFontAlias& a : entries_)
    if (a.Face == face) return &a;
  return nullptr;
}

void TFontAliasTable::Override(std::string_view face, std::vector<std::string> families, bool fixedPitch) {
  for (TFontAlias& a : entries_) {
    if (a.Face == face) {
      a.Families = std::move(families);
      return;
    }
  }
  entries_.push_back({std::string(face), std::move(families), fixedPitch});
}

namespace {
std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (static_cast<unsigned char>(s[b]) <= ' ')) ++b;
  while (e > b && (static_cast<unsigned char>(s[e - 1]) <= ' ')) --e;
  return std::string(s.substr(b, e - b));
}
}  // namespace

int TFontAliasTable::ParseOverrides(std::string_view text) {
  int n = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    const size_t eq = FindByte(line, '=');
    if (eq == std::string_view::npos) continue;
    const std::string face = Trim(line.substr(0, eq));
    if (face.empty()) continue;
    std::vector<std::string> families;
    std::string_view rest = line.substr(eq + 1);
    while (!rest.empty()) {
      const size_t comma = rest.find(',');
      const std::string f = Trim(rest.substr(0, comma));
      if (!f.empty()) families.push_back(Cp932ToUtf8(f));
      if (comma == std::string_view::npos) break;
      rest = rest.substr(comma + 1);
    }
    if (families.empty()) continue;
    const TFontAlias* old = Find(face);
    Override(face, std::move(families), old ? old->FixedPitch : false);
    ++n;
  }
  return n;
}

}  // namespace kest
