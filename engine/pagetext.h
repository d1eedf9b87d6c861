// The text form of pages: a listing that reads back into the same bytes, and the
// assembler that authors and tests write pages with.
#pragma once
#include <string>

#include "engine/page.h"

namespace kest {

// A UTF-8 listing of a page: one command per line (see docs/page-format.md).
std::string DisassemblePage(const TPage& page);
// Builds a page from its text form. Raises EKest with the line number on an error.
void AssemblePage(const std::string& utf8Text, TPage& page);

}  // namespace kest
