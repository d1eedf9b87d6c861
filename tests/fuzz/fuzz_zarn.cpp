// Any bytes read as a Zarn image either load or raise; loading never reads outside the
// input or the images. The first byte picks the identification code and load options.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <new>

#include "gfx/zarns.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t opts = data[0];
  kest::TZarnFrameList z((opts & 1) ? 12345 : 0);
  z.TargetBitCount = (opts & 2) ? 16 : 0;
  z.MaxDecodedBytes = 64 << 20;
  kest::TBlobStream s(data + 1, int64_t(size - 1));
  try {
    z.LoadFromStream(s, (opts & 4) != 0, (opts & 8) != 0, (opts & 16) != 0);
  } catch (const kest::EKest&) {
    if (z.Count() != 0) std::abort();  // a failed load leaves no frames
    return 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  // What loads can be written again.
  kest::TMemoryStream out;
  try {
    z.SaveToStream(out, kest::ZC_ZLIB, 70);
  } catch (const kest::EKest&) {
  }
  return 0;
}
