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

int32_t FindPropByName(std::string_view name) {
  for (int32_t i = 0; i < kPropCount; ++i)
    if (name == kProps[i].Name) return i;
  return -1;
}

}  // namespace kest
