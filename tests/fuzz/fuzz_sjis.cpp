// The character walk, the fold, the splitter and the conversions on arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/lists.h"
#include "common/sjis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string s(reinterpret_cast<const char*>(data), size);
  size_t n = 0;
  for (size_t i = 0; i < s.size(); i = kest::NextChar(s, i)) ++n;
  if (n != kest::CharCount(s)) std::abort();
  const std::string f = kest::FoldCase(s);
  if (f.size() != s.size() || !kest::SameText(f, s) || kest::CompareText(f, s) != 0) std::abort();
  if (kest::HashNoCase(f) != kest::HashNoCase(s)) std::abort();
  kest::TTabStrings t(s, '\\');
  size_t total = 0;
  for (const std::string& item : t.Items()) total += item.size();
  if (total > s.size()) std::abort();
  (void)kest::Unescape(s);
  const std::string u = kest::Cp932ToUtf8(s);
  (void)kest::Utf8ToCp932(u);
  (void)kest::Utf8ToCp932(s);
  return 0;
}
