// Saved object trees: any bytes either load or raise a bad-data error; whatever loaded
// saves again, loads again to the same bytes, and the list is destroyed without leaks.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "objects/litems.h"
#include "vfs/streams.h"

using namespace kest;

namespace {
std::vector<uint8_t> Save(const TKestControl& c) {
  TMemoryStream m;
  c.SaveToStream(m);
  return m.Bytes();
}
TKestControl* NewHolder(TKestBaseList& list) {
  auto* c = static_cast<TKestControl*>(list.CreateByKind(LT_CABINET));
  c->SetParent(list.ActiveScreen());
  return c;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int32_t version = kMinObjectStreamVersion + data[0] % (kObjectStreamVersion - kMinObjectStreamVersion + 1);
  TKestBaseList list;
  TKestControl* root = NewHolder(list);
  TMemoryStream in{std::vector<uint8_t>(data + 1, data + size)};
  try {
    root->LoadFromStream(in, version);
  } catch (const EKestBadData&) {
    return 0;
  }
  std::vector<uint8_t> once = Save(*root);
  TKestBaseList again;
  TKestControl* copy = NewHolder(again);
  TMemoryStream in2{once};
  copy->LoadFromStream(in2, kObjectStreamVersion);
  if (Save(*copy) != once) std::abort();
  return 0;
}
