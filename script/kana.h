// Half-width to full-width conversion of Japanese text, and back.
#pragma once
#include <string>
#include <string_view>

namespace kest {

// Printable ASCII and half-width katakana become their full-width characters; a half-width
// kana followed by a voiced or semi-voiced mark that it can take becomes one voiced
// character; double-byte characters are copied; every other single byte (control bytes,
// line breaks included) is dropped. A lone lead byte at the end is copied.
std::string HanToZen(std::string_view s);

// The characters HanToZen produces (and the opening double quotation mark) become the
// half-width text they came from; single bytes are copied; every other double-byte
// character is dropped, and so is a lone lead byte at the end.
std::string ZenToHan(std::string_view s);

}  // namespace kest
