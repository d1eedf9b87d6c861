#include "objects/propcmds.h"

#include "objects/litems.h"

namespace kest {

void ExecGetProp(TKestBaseList& owner, const std::string& name, std::optional<int32_t> index,
                 TCustomParam* variable) {
  TKestObject* o = owner.FindObject(name);
  if (!o) return;
  if (!index) throw EKest(object_msg::kBadPropIndex);
  if (variable) GetProperty(*o, *index, *variable);
}

void ExecSetProp(TKestBaseList& owner, const std::string& name, std::optional<int32_t> index,
                 const TCustomParam* value) {
  TKestObject* o = owner.FindObject(name);
  if (!o) return;
  if (!index) throw EKest(object_msg::kBadPropIndex);
  if (value) SetProperty(*o, *index, *value);
}

void ExecObjDel(TKestBaseList& owner, const std::string& name) {
  if (name.empty()) return;
  if (TKestObject* o = owner.FindObject(name)) o->Scrap();
}

}  // namespace kest
