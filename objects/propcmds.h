// What the property commands of scripts do with the object model: read a property into a
// variable, write one from a value, and delete an object by name.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace kest {

class TKestBaseList;
class TCustomParam;

// Reads property `index` of the object called `name` (an empty name is the active screen)
// into `variable`. A name that finds nothing does nothing; an index that is absent raises
// "プロパティ指定が不正です"; without a variable (nullptr) nothing is read.
void ExecGetProp(TKestBaseList& owner, const std::string& name, std::optional<int32_t> index,
                 TCustomParam* variable);
// Writes property `index` of the object called `name` from `value` (nullptr: the value
// expression gave none, nothing is written). Same rules for names and indexes.
void ExecSetProp(TKestBaseList& owner, const std::string& name, std::optional<int32_t> index,
                 const TCustomParam* value);
// Scraps the object called `name`; an empty name, or one that finds nothing, does nothing.
void ExecObjDel(TKestBaseList& owner, const std::string& name);

}  // namespace kest
