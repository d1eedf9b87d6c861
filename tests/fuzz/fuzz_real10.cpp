// Any ten bytes decode without trapping, and what decodes encodes back to a value that
// decodes equal.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/real10.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 10) return 0;
  const kest::Float v = kest::DecodeReal10(data);
  const kest::Float p = kest::DecodeReal10Portable(data);
  if (std::isnan(v) != std::isnan(p)) std::abort();
  if (!std::isnan(v) && v != p) std::abort();
  const kest::Real10Bytes e = kest::EncodeReal10(v);
  const kest::Float back = kest::DecodeReal10(e.data());
  if (!std::isnan(v) && back != v) std::abort();
  return 0;
}
