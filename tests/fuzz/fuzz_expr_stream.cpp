// Compiled expressions as page files and saves carry them: any bytes either load or raise a
// load error; what loads saves to the same bytes and runs without crashing, leaving no
// temporaries behind.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "script/paramcoll.h"
#include "script/parser.h"
#include "vfs/streams.h"

using namespace kest;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream in{std::vector<uint8_t>(data, data + size)};
  TKestParser p;
  try {
    p.LoadFromStream(in);
  } catch (const EKestBadData&) {
    return 0;
  }
  TMemoryStream out;
  p.SaveToStream(out);
  // Flag bytes other than 0 and 1 load as TRUE and save as 1; compare after one round.
  TKestParser q;
  out.SetPosition(0);
  q.LoadFromStream(out);
  TMemoryStream again;
  q.SaveToStream(again);
  if (again.Bytes() != out.Bytes()) std::abort();

  TParamCollection vars;
  TSysFuncMan funcs(vars);
  for (const char* name : {"a", "b", "x"}) {
    TParamCollectionItem* item = vars.AddItem(PT_INT);
    vars.SetItemName(item, name);
  }
  vars.FindItem("a")->Value()->SetDims({3, 4});
  vars.AddItem(PT_STR);
  const int before = vars.Count();
  try {
    p.Execute(funcs);
  } catch (const EKest&) {
  }
  if (vars.Count() != before) std::abort();
  return 0;
}
