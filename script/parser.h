// Expressions: the compiler from text to operation records (TBuildKestParser), and the
// records as values that run against the variable collection (TKestParser).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/params.h"
#include "script/sysfuncs.h"

namespace kest {

class TStream;

// Operation codes of the records.
enum TOpeCode : uint8_t {
  OP_ASSIGN = 1,
  OP_ADD = 2,
  OP_SUB = 3,
  OP_MUL = 4,
  OP_DIV = 5,
  OP_MOD = 6,
  OP_OR = 7,
  OP_AND = 8,
  OP_XOR = 9,
  OP_DIM = 10,
  OP_CALL = 11,
  OP_EQ = 12,
  OP_GT = 13,
  OP_LT = 14,
  OP_GE = 15,
  OP_LE = 16,
  OP_SHL = 17,
  OP_SHR = 18,
  OP_CONCAT = 19,
  OP_NE = 20,
};
// The symbol of an operation as messages and listings show it ("" for 1 and 11).
const char* OpeSymbol(int32_t code);

// "式のデータが壊れています" (the expression data is damaged)
inline constexpr const char* kMsgBadExpression =
    "\x8E\xAE\x82\xCC\x83\x66\x81\x5B\x83\x5E\x82\xAA\x89\xF3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7";

// One record on the compile side: operands as texts (for a call, operand 0 is the name).
struct TBuildOpeData {
  uint8_t code = 0;
  std::string target;
  uint8_t funcId = 0;  // determined when written
  std::vector<std::string> operands;
};

class TBuildKestParser {
 public:
  // Temporaries are named "____<n>" and "____d_<n>". A tag goes between the prefix and the
  // number ("____r1_0", "____d_r1_0"): run-time compiles that run inside another
  // evaluation use one, so they can never take over the temporaries of the outer one.
  explicit TBuildKestParser(std::string tempTag = std::string()) : tag_(std::move(tempTag)) {}

  // Appends the records of a text. Raises "構文エラー" or "配列の添え字が不正です".
  void Compile(std::string_view text);
  // Writes the record count and every record. Raises "\"%s\" 関数名がありません" and
  // "<name> 引数の数が不正です" before writing anything.
  void WriteTo(TStream& s);
  const std::vector<TBuildOpeData>& Records() const { return records_; }
  // One line per record, for tests and tools: "____0 = c * 2", "a = ____1",
  // "____d_0 = arr[1,2]", "____0 = IntToStr(x,3)".
  std::string Listing() const;

 private:
  std::string NewTemp(bool element);
  void CompileText(std::string text, int depth);
  std::string ArgumentOperand(std::string arg, int depth);
  void Reduce(std::string text, int depth);
  std::vector<TBuildOpeData> records_;
  std::string tag_;
  int32_t counter_ = 0;
};

// One record on the run side: constants are scalars of their kind, names are references
// holding the name (bound while the record runs).
struct TOpeData {
  uint8_t code = 0;
  std::string target;
  uint8_t funcId = 0;
  std::vector<std::unique_ptr<TCustomParam>> operands;

  // Kept by the parser: the references among the operands, and the name chains of the
  // target and of those references in the collection they were last taken from (a chain
  // stands for its name for the collection's lifetime, so lookups skip the hashing).
  std::vector<TParamVar*> refs;
  std::vector<const struct TNameChain*> refChains;
  const struct TNameChain* targetChain = nullptr;
  uint64_t chainsOf = 0;
  bool tempTarget = false;
  std::vector<TCustomParam*> args;  // the operands as a call passes them
  void Prepare();
};

class TKestParser {
 public:
  TKestParser() = default;
  TKestParser(const TKestParser&) = delete;
  TKestParser& operator=(const TKestParser&) = delete;

  // Untrusted: counts, codes, operand kinds, function identifiers and argument counts are
  // checked; a damaged stream raises EKestBadData and leaves the records as they were.
  void LoadFromStream(TStream& s);
  void SaveToStream(TStream& s) const;
  void Assign(const TKestParser& other);
  // Runs the records in order. The first error stops the run (earlier stores stay) and is
  // kept in LastError(); the temporaries this run created are always freed. When the last
  // record assigns "____arg", Result() is a copy of it (the error of that copy, the only
  // one that reaches the caller, comes after the temporaries are freed).
  void Execute(TSysFuncMan& funcs);
  TCustomParam* Result() const { return result_.get(); }
  std::unique_ptr<TCustomParam> TakeResult() { return std::move(result_); }
  // The message of the error that stopped the last run ("" when it ran to the end).
  const std::string& LastError() const { return lastError_; }
  int Count() const { return int(records_.size()); }
  const std::vector<TOpeData>& Records() const { return records_; }
  std::string Listing() const;
  // Expressions without function calls run no script code while they run, so nothing can
  // see their temporaries: by default those live in the parser instead of the collection
  // (when no variable of a temporary's name exists as the run starts), with the same
  // results. Off: every run goes through the collection (tests compare the two).
  void SetPrivateTemporaries(bool on) { privateEnabled_ = on; }

 private:
  struct TPrivateTemp {
    std::string name;
    const TNameChain* chain = nullptr;
    std::unique_ptr<TCustomParam> value;  // a value temporary
    TCustomParam* array = nullptr;        // an element temporary: its array and index
    int32_t index = 0;
    bool element = false;
    bool produced = false;
  };
  void RunRecord(TSysFuncMan& funcs, TOpeData& r, std::vector<TItemHandle>& temps);
  void PreparePrivate();
  bool RunPrivate(TSysFuncMan& funcs);
  void RunRecordPrivate(TParamCollection& vars, size_t i);
  std::vector<TPrivateTemp> ptemps_;
  std::vector<std::vector<int32_t>> operandTemp_;  // per record and operand: temporary or -1
  std::vector<int32_t> targetTemp_;                 // per record: temporary or -1
  uint64_t ptempChainsOf_ = 0;
  bool privateEligible_ = false;
  bool privateEnabled_ = true;
  std::vector<TOpeData> records_;
  std::unique_ptr<TCustomParam> result_;
  std::unique_ptr<TCustomParam> spare_;  // the previous result, refilled when it fits
  std::string lastError_;
  std::vector<TItemHandle> temps_;  // the temporaries of the running Execute
  bool running_ = false;
  bool resultRecord_ = false;  // the last record assigns "____arg"
};

// Compiles and runs a statement given as text (the return-value assignment of the call
// manager): trimmed; an empty text or a compile error answers false without running.
bool RunText(TSysFuncMan& funcs, std::string_view text);
// Compiles a text for running at run time inside the current evaluation: the temporaries
// carry the nesting tag. Raises the compile errors.
void CompileRunTime(TSysFuncMan& funcs, std::string_view text, TKestParser& out);

// A text as a string literal of the expression syntax: in quotes, with every single-byte
// backslash and double quote escaped (trail bytes of double-byte characters untouched), so
// a value pasted into a statement reads back as exactly that value.
std::string QuoteLiteral(std::string_view text);

}  // namespace kest
