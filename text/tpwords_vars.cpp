// Expression glyphs run through the title's expression evaluator.
#include <memory>

#include "script/parser.h"
#include "script/sysfuncs.h"
#include "text/tpwords.h"
#include "vfs/streams.h"
#include "vfs/vrmanager.h"

namespace kest {

std::function<bool(const std::string&, std::string&)> ExpressionEvaluator(TSysFuncMan& funcs) {
  return [&funcs](const std::string& text, std::string& value) {
    TKestParser p;
    try {
      CompileRunTime(funcs, text, p);
    } catch (const EKest&) {
      return false;
    }
    return RunCompiled(funcs, p, value);
  };
}

bool RunCompiled(TSysFuncMan& funcs, TKestParser& p, std::string& value) {
  try {
    p.Execute(funcs);
  } catch (const EKest&) {
    return false;
  }
  if (!p.LastError().empty() || !p.Result()) return false;
  value = p.Result()->GetStr();
  return true;
}

std::shared_ptr<TKestParser> LoadCompiledExpression(const uint8_t* data, size_t size, size_t& used) {
  TBlobStream s(data, int64_t(size));
  auto p = std::make_shared<TKestParser>();
  p->LoadFromStream(s);  // checked; raises EKestBadData on damage
  used = size_t(s.Position());
  return p;
}

}  // namespace kest

namespace kest {

std::function<std::shared_ptr<TDIBX>(const std::string&)> FileImageLoader(TVrFileManager& files,
                                                                           int32_t identificationCode) {
  return [&files, identificationCode](const std::string& name) -> std::shared_ptr<TDIBX> {
    try {
      if (name.empty() || !files.Exists(name)) return nullptr;
      auto s = files.OpenRange(name);
      auto img = std::make_shared<TDIBX>(1, 1, 32);
      if (!s || !img->LoadFromStream(*s, identificationCode)) return nullptr;
      return img;
    } catch (const EKest&) {
      return nullptr;  // a missing or damaged picture is drawn 0 x 0
    }
  };
}

}  // namespace kest
