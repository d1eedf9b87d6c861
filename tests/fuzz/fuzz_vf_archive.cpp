// The archive directory reader and entry reading on untrusted bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "vfs/vrfiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kest;
  TVrFileCollection c;
  c.SetInflateLimit(1 << 20);
  try {
    c.LoadFromResource(TBlobRef::FromBytes(std::vector<uint8_t>(data, data + size)));
  } catch (const EKest&) {
    return 0;
  }
  std::vector<std::string> list;
  c.ListFolder("", list);
  for (int i = 0; i < c.Count() && i < 64; ++i) {
    const std::string name = c.Item(i)->Name();
    try {
      TMemoryStream m;
      c.ReadEntry(m, name);
    } catch (const EKest&) {
    }
    try {
      if (auto r = c.OpenRange(name)) {
        uint8_t buf[512];
        r->Seek(-3, TSeekOrigin::End);
        while (r->Read(buf, sizeof buf) > 0) {
        }
      }
    } catch (const EKest&) {
    }
    (void)c.CheckEntry(*c.Item(i));
  }
  return 0;
}
