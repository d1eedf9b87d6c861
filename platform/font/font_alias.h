// The faces titles name, and the installed families that stand for them.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kest {

struct TFontAlias {
  std::string Face;                   // CP932 face name as titles write it
  std::vector<std::string> Families;  // fontconfig family names (UTF-8), in preference order
  bool FixedPitch = false;
};

class TFontAliasTable {
 public:
  // The built-in table: the Windows faces of Japanese titles to the IPA fonts and their
  // usual alternatives.
  static TFontAliasTable Default();

  // The face every unknown name falls back to: "ＭＳ ゴシック".
  static const std::string& DefaultFace();

  const TFontAlias* Find(std::string_view face) const;  // exact name
  // Replaces (or adds) the families of a face; used for user overrides.
  void Override(std::string_view face, std::vector<std::string> families, bool fixedPitch = false);
  // Reads overrides "Face=Family1,Family2" (CP932 face), one per line; answers how many.
  int ParseOverrides(std::string_view text);
  const std::vector<TFontAlias>& Entries() const { return entries_; }

 private:
  std::vector<TFontAlias> entries_;
};

}  // namespace kest
