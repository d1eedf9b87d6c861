// The font service of the machine: fontconfig finds the fonts, FreeType rasterises them.
#pragma once
#include <memory>

#include "platform/font/font_alias.h"
#include "platform/font/font_service.h"

namespace kest {

// Faces named in the alias table are sized with em = the requested height (the faces they
// stand for have no internal leading); any other face by the cell rule (ascent + descent =
// the requested height). Embedded bitmap strikes are never used, so every glyph goes
// through the grey-level maps. Bold and italic are synthesised (1-pixel emboldening with
// one pixel more advance; a 0.2 shear). Faces may not outlive nothing: each keeps the
// library it came from alive.
std::unique_ptr<IFontService> CreateFreeTypeFontService(TFontAliasTable aliases = TFontAliasTable::Default());

}  // namespace kest
