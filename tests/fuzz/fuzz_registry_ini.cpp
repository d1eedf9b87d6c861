// The registry-values INI reader: any bytes; what it reads must survive a write and a read.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const kest::TRegistryValues v = kest::ParseRegistryIni(text);
  const kest::TRegistryValues back = kest::ParseRegistryIni(kest::FormatRegistryIni(text.substr(0, 32), v));
  if (back.size() != v.size()) std::abort();
  for (const auto& [name, value] : v) {
    const auto it = back.find(name);
    if (it == back.end() || it->first != name || it->second != value) std::abort();
  }
  (void)kest::RegistryFileName(text);
  return 0;
}
