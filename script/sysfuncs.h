// The system functions: the fixed table of the 159 functions scripts call by identifier
// (names, argument counts, result kinds), and the dispatcher into which each subsystem
// registers the bodies of the functions it owns.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/types.h"
#include "script/params.h"

namespace kest {

class TParamCollection;
class TSysFuncMan;

inline constexpr int32_t kSysFuncCount = 159;
inline constexpr int32_t SF_GETPROP = 2;
inline constexpr int32_t SF_CALC = 136;

struct TSysFuncInfo {
  const char* name;  // compared exactly
  int32_t minArgs;
  int32_t maxArgs;  // -1: no upper limit
  int32_t kind;     // result kind; PT_NONE for GetProp (the kind of the property)
};

// The row of an identifier 0..158 (nullptr outside).
const TSysFuncInfo* SysFuncInfo(int32_t id);
// The identifier whose name equals the text exactly, or -1.
int32_t FindSysFunc(std::string_view name);

// Property numbers 0..164 and their value kinds: the object vocabulary of scripts.
inline constexpr int32_t kPropertyCount = 165;
struct TPropertyInfo {
  const char* name;  // PR_* constant
  int32_t kind;
};
const TPropertyInfo* PropertyInfo(int32_t index);

// One call of a system function.
struct TSysFuncCall {
  TSysFuncMan& funcs;
  TParamCollection& vars;
  int32_t id;
  // The temporary that receives the result, of the function's result kind.
  TCustomParam& result;
  // The arguments in call order: constants, or references to variables or elements.
  const std::vector<TCustomParam*>& args;
  int32_t Count() const { return int32_t(args.size()); }
  TCustomParam& Arg(int32_t i) const { return *args[size_t(i)]; }
};
using TSysFuncBody = std::function<void(TSysFuncCall&)>;

// A function whose owning subsystem has not registered its body. The evaluator treats it
// as any other error: the run stops.
class ESysFuncNotAvailable : public EKest {
 public:
  ESysFuncNotAvailable(int32_t id, const std::string& message) : EKest(message), id_(id) {}
  int32_t Id() const { return id_; }

 private:
  int32_t id_;
};

// The dispatcher, and the environment an evaluation runs in: the variables, the
// registered bodies and the nesting depth of evaluations (a function may run another
// expression).
class TSysFuncMan {
 public:
  explicit TSysFuncMan(TParamCollection& vars) : vars_(vars) {}
  TSysFuncMan(const TSysFuncMan&) = delete;
  TSysFuncMan& operator=(const TSysFuncMan&) = delete;

  TParamCollection& Vars() const { return vars_; }
  void Register(int32_t id, TSysFuncBody body);
  void Unregister(int32_t id);
  bool Registered(int32_t id) const;

  // Runs the function. An identifier above 158 does nothing. The argument count is checked
  // against the table (name + " 引数の数が不正です"); a function without a body raises
  // ESysFuncNotAvailable.
  void CallFunction(TCustomParam& result, int32_t id, const std::vector<TCustomParam*>& args);

  // Nesting of evaluations (TKestParser::Execute inside a function body).
  static constexpr int kMaxNesting = 32;
  int Nesting() const { return nesting_; }

 private:
  friend class TKestParser;
  TParamCollection& vars_;
  TSysFuncBody bodies_[kSysFuncCount];
  int nesting_ = 0;
};

namespace script_msg {
// "構文エラー" (syntax error)
inline constexpr const char* kSyntax = "\x8D\x5C\x95\xB6\x83G\x83\x89\x81[";
// "配列の添え字が不正です" (array subscript invalid)
inline constexpr const char* kNoSubscript = "\x94z\x97\xF1\x82\xCC\x93Y\x82\xA6\x8E\x9A\x82\xAA\x95s\x90\xB3\x82\xC5\x82\xB7";
// "\"%s\" 関数名がありません" ("%s": no such function name)
inline constexpr const char* kNoFunction = "\"%s\" \x8A\xD6\x90\x94\x96\xBC\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// " 引数の数が不正です" (argument count invalid), after the function name
inline constexpr const char* kArgCount = " \x88\xF8\x90\x94\x82\xCC\x90\x94\x82\xAA\x95s\x90\xB3\x82\xC5\x82\xB7";
// "\"%s\" 変数がありません" ("%s": variable does not exist)
inline constexpr const char* kNoVariable = "\"%s\" \x95\xCF\x90\x94\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// "添え字が不正です" (subscript invalid)
inline constexpr const char* kBadSubscripts = "\x93Y\x82\xA6\x8E\x9A\x82\xAA\x95s\x90\xB3\x82\xC5\x82\xB7";
// "要素数を超えています" (exceeds the element count)
inline constexpr const char* kBeyondCount = "\x97v\x91\x66\x90\x94\x82\xF0\x92\xB4\x82\xA6\x82\xC4\x82\xA2\x82\xDC\x82\xB7";
// "GetPropの引数が違います" (GetProp argument wrong)
inline constexpr const char* kGetPropArg = "GetProp\x82\xCC\x88\xF8\x90\x94\x82\xAA\x88\xE1\x82\xA2\x82\xDC\x82\xB7";
// "不正な式\r\n\r\n代入先:" (invalid expression / target:)
inline constexpr const char* kBadOperation = "\x95s\x90\xB3\x82\xC8\x8E\xAE\r\n\r\n\x91\xE3\x93\xFC\x90\xE6:";
// "演算タイプ:" (operation type:)
inline constexpr const char* kOperationType = "\x89\x89\x8EZ\x83^\x83\x43\x83v:";
// "0で除算しました" (division by zero)
inline constexpr const char* kDivByZero = "0\x82\xC5\x8F\x9C\x8EZ\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
// "%s:この関数は使用できません" (%s: this function cannot be used)
inline constexpr const char* kNotAvailable = "%s:\x82\xB1\x82\xCC\x8A\xD6\x90\x94\x82\xCD\x8Eg\x97p\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1";
// "式の入れ子が深すぎます" (expressions nested too deeply)
inline constexpr const char* kTooDeep = "\x8E\xAE\x82\xCC\x93\xFC\x82\xEA\x8Eq\x82\xAA\x90[\x82\xB7\x82\xAC\x82\xDC\x82\xB7";
}  // namespace script_msg

}  // namespace kest
