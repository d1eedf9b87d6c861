// Page files from untrusted bytes: loading either succeeds or raises a clean error, and a
// loaded page writes, lists and assembles back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "engine/page.h"
#include "engine/pagetext.h"
#include "vfs/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kest;
  TMemoryStream m;
  m.Assign(std::vector<uint8_t>(data, data + size));
  m.SetPosition(0);
  TPage page;
  try {
    if (page.LoadFromStream(m) != TPage::TLoadResult::Loaded) return 0;
  } catch (const EKest&) {
    return 0;
  }
  TMemoryStream out;
  page.SaveToStream(out);
  if (out.Size() != m.Position() || std::memcmp(out.Memory(), data, size_t(out.Size())) != 0) std::abort();
  TPage again;
  AssemblePage(DisassemblePage(page), again);
  TMemoryStream out2;
  again.SaveToStream(out2);
  if (out2.Size() != out.Size() || std::memcmp(out2.Memory(), out.Memory(), size_t(out.Size())) != 0) std::abort();
  return 0;
}
