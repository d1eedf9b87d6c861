// The project file and the installer's record: any bytes either read or raise a bad-data
// error; what reads writes back and reads again the same (the install set always in the
// 108 layout, the project in the layout of its own version).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/projfile.h"
#include "shell/gameini.h"

using namespace kest;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  {
    TMemoryStream m(bytes);
    TProjectSetting p;
    try {
      p.LoadFromStream(m);
    } catch (const EKestBadData&) {
      p = TProjectSetting();
    }
    TMemoryStream out;
    p.SaveToStream(out);
    out.SetPosition(0);
    TProjectSetting q;
    q.LoadFromStream(out);
    // Reals may hold NaN, which never compares equal; compare the bytes instead.
    TMemoryStream again;
    q.SaveToStream(again);
    if (again.Bytes() != out.Bytes()) std::abort();
  }
  {
    TMemoryStream m(bytes);
    TKestInstallSet s;
    try {
      s.LoadFromStream(m);
    } catch (const EKestBadData&) {
      s = TKestInstallSet();
    }
    TMemoryStream out;
    s.SaveToStream(out);
    out.SetPosition(0);
    TKestInstallSet t;
    t.LoadFromStream(out);
    t.version = s.version;
    if (!(t == s)) std::abort();
  }
  const TGameIni g = ReadGameIni(std::string_view(reinterpret_cast<const char*>(data), size));
  if (g.DelayTime < 100 || g.DelayTime > 500 || g.DelayTime % 100 != 0) std::abort();
  return 0;
}
