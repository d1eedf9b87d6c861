#include "objects/litems_vocab.h"

#include <array>

namespace kest {
namespace {

constexpr TPropInfo kProps[kPropCount] = {
#include "objects/litems_props.inc"
};

constexpr std::array<int32_t, kPropCount> MakeCreationOrder() {
  std::array<int32_t, kPropCount> order{};
  size_t n = 0;
  auto one = [&](int32_t i) { order[n++] = i; };
  auto range = [&](int32_t a, int32_t b) {
    for (int32_t i = a; i <= b; ++i) order[n++] = i;
  };
  for (int32_t i : {0, 1, 2, 7, 132, 100, 5, 6, 3, 4, 8, 157, 9, 10, 11, 12, 13, 14, 159, 160}) one(i);
  range(15, 24);
  range(153, 156);
  range(25, 29);
  one(162);
  range(30, 79);
  one(161);
  range(80, 99);
  range(101, 131);
  range(133, 152);
  for (int32_t i : {158, 163, 164}) one(i);
  return order;
}
}  // namespace

const std::array<int32_t, kPropCount> kCreationOrder = MakeCreationOrder();

const TPropInfo& PropInfo(int32_t id) {
  static const TPropInfo kNone{"", PT_NONE, TPropAccess::ReadOnly, 0, TPropDefault::Value};
  if (id < 0 || id >= kPropCount) return kNone;
  return kProps[id];
}

int32_t CreationDefault(int32_t id) {
  switch (id) {
    case PR_ZOOMX: case PR_ZOOMY: case PR_TEXTDELAY: return 256;
    case PR_COLOR: case PR_BORDERCOLOR: case PR_HOVERCOLOR: return -1;
    case PR_ALPHA: return 255;
    case PR_FONTHEIGHT: return 16;
    case PR_VOLUME: return 1000;
    case PR_VISIBLE: case PR_OVERLAY: return 1;
    case PR_COLCOUNT: case PR_ROWCOUNT: case PR_AMP: case PR_SMALLCHANGE: case PR_LARGECHANGE:
    case PR_GLYPHWIDTH: case PR_GLYPHHEIGHT: return 1;
    case PR_WAVELEN: return 100;
    default: return 0;
  }
}

int32_t FindPropByName(std::string_view name) {
  for (int32_t i = 0; i < kPropCount; ++i)
    if (name == kProps[i].Name) return i;
  return -1;
}

}  // namespace kest
