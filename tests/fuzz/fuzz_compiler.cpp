// The run-time compiler on any text: it compiles or raises a compile error; what compiles
// writes (or names a missing function), loads back, and runs without crashing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "script/paramcoll.h"
#include "script/parser.h"
#include "vfs/streams.h"

using namespace kest;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  TBuildKestParser b;
  try {
    b.Compile(text);
  } catch (const EKest&) {
    return 0;
  }
  TMemoryStream m;
  try {
    b.WriteTo(m);
  } catch (const EKest&) {
    return 0;
  }
  m.SetPosition(0);
  TKestParser p;
  p.LoadFromStream(m);  // what the writer wrote always loads
  TParamCollection vars;
  TSysFuncMan funcs(vars);
  for (const char* name : {"a", "b", "x", "s"}) {
    TParamCollectionItem* item = vars.AddItem(name[0] == 's' ? PT_STR : PT_INT);
    vars.SetItemName(item, name);
  }
  vars.FindItem("a")->Value()->SetDims({3, 4});
  funcs.Register(SF_CALC, [](TSysFuncCall& c) {
    if (RunText(c.funcs, c.Arg(0).GetStr())) c.result.SetBool(true);
  });
  const int before = vars.Count();
  try {
    p.Execute(funcs);
  } catch (const EKest&) {
  }
  if (vars.Count() != before) std::abort();
  return 0;
}
