// Game-save sections and status records of the variable collection: any bytes either load
// or raise a load error that leaves the collection as it was; what loads saves and loads
// again with the same items (saves write from the last position, so the order turns),
// and its snapshots pop without failing.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "script/paramcoll.h"
#include "vfs/streams.h"

using namespace kest;

namespace {
std::vector<uint8_t> SaveGame(const TParamCollection& c) {
  TMemoryStream m;
  c.SaveToStream(m);
  return m.Bytes();
}
std::vector<uint8_t> SaveStatus(const TParamCollection& c) {
  TMemoryStream m;
  c.SaveStatus(m);
  return m.Bytes();
}
// Items the save of this kind writes.
int CountItems(const TParamCollection& c, bool status) {
  int n = 0;
  for (int i = 0; i < c.Count(); ++i)
    if (!c.Item(i)->IsSystem() && (c.Item(i)->status != 0) == status) ++n;
  return n;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool status = data[0] & 1;
  const int32_t version = 100 + (data[0] >> 1) % 41;  // 100 .. 140
  TMemoryStream in{std::vector<uint8_t>(data + 1, data + size)};
  TParamCollection c;
  TParamCollectionItem* mine = c.AddItem(PT_INT);
  c.SetItemName(mine, "mine");
  c.PushVars({"mine"});
  const std::vector<uint8_t> before = SaveGame(c);
  try {
    if (status)
      c.LoadStatus(in);
    else
      c.LoadFromStream(in, version);
  } catch (const EKestBadData&) {
    if (SaveGame(c) != before) std::abort();  // a failed load changes nothing
    return 0;
  }
  // Every value reads without failing.
  for (int i = 0; i < c.Count(); ++i) {
    TCustomParam* v = c.Item(i)->Value();
    if (c.Item(i)->IsSystem()) continue;
    for (int32_t k = 0; k < v->GetCount() && k < 64; ++k) (void)v->GetStrAt(k);
    (void)v->GetKind();
  }
  // What loaded saves and loads to the same bytes.
  const std::vector<uint8_t> again = status ? SaveStatus(c) : SaveGame(c);
  TParamCollection d;
  TMemoryStream m{std::vector<uint8_t>(again)};
  try {
    if (status)
      d.LoadStatus(m);
    else
      d.LoadFromStream(m, kVarsSaveVersion);
  } catch (const EKestBadData&) {
    std::abort();
  }
  if (CountItems(c, status) != CountItems(d, status)) std::abort();
  while (c.SnapshotCount() > 0) c.PopVars();
  return 0;
}
