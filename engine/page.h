// Scenario pages: the page file (version, page kind, property masks, command records) and
// the command records of every type code, read into field lists that the interpreter and
// the page tools share.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/types.h"
#include "script/parser.h"

namespace kest {

class TStream;
class TPage;

inline constexpr int32_t kCommandCodes = 61;
inline constexpr int32_t kMaskSize = 21;
inline constexpr int32_t kMaskTable = kCommandCodes * kMaskSize;  // 1281
inline constexpr int32_t kPageVersionMin = 103;
inline constexpr int32_t kPageVersionMax = 115;

// "不正なコマンド" (invalid command)
inline constexpr const char* kMsgBadCommand = "\x95\x73\x90\xB3\x82\xC8\x83\x52\x83\x7D\x83\x93\x83\x68";
// "リビルドしてください" (please rebuild)
inline constexpr const char* kMsgRebuild =
    "\x83\x8A\x83\x72\x83\x8B\x83\x68\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2";
// "警告" (warning)
inline constexpr const char* kMsgWarning = "\x8C\x78\x8D\x90";

// Kinds of the fields a record holds after the common header.
enum class TFieldKind : uint8_t {
  Str,    // string
  Int,    // int32
  Byte,   // byte
  Expr,   // one compiled expression
  List,   // int32 count, then that many expressions
  Text,   // int32 size, then that many bytes
  Props,  // one expression per property whose bit is set in the page's mask for the code
};

struct TFieldSpec {
  TFieldKind kind;
  int32_t minVersion;  // the field is present when the page version is at least this
  const char* name;    // for listings
};

struct TCommandSpec {
  const char* name;  // the class name without its "TCom" prefix
  std::vector<TFieldSpec> fields;
};
// The record layout of a type code 0..60 (nullptr outside).
const TCommandSpec* CommandSpec(int32_t code);
// The code of a class name (without "TCom", compared without case), or -1.
int32_t FindCommandCode(const std::string& name);

// One compiled expression: the bytes as stored and the records loaded from them.
struct TExpr {
  std::vector<uint8_t> bytes;
  std::shared_ptr<TKestParser> parser;
  bool Empty() const { return !parser || parser->Count() == 0; }
};
// Reads one expression block; untrusted.
TExpr ReadExpr(TStream& s);
// Compiles a run-time text into an expression block (raises the compiler's errors).
TExpr CompileExpr(const std::string& text);

struct TField {
  TFieldKind kind = TFieldKind::Int;
  bool present = true;  // false: gated off by the page version
  std::string str;      // Str and Text
  int32_t num = 0;      // Int and Byte
  TExpr expr;
  std::vector<TExpr> list;  // List
  std::vector<std::pair<int32_t, TExpr>> props;  // Props: property index ascending
};

class TCommand {
 public:
  TCommand(TPage* page, uint8_t codeByte);
  virtual ~TCommand() = default;
  TPage* Page() const { return page_; }
  int32_t Code() const { return codeByte_ & 0x7F; }
  uint8_t CodeByte() const { return codeByte_; }
  const TCommandSpec& Spec() const { return *CommandSpec(Code()); }

  int32_t Indent = 0;
  uint8_t SkipByte = 0;
  uint8_t ChainByte = 0;
  int32_t Line = 0;
  std::vector<TField> Fields;

  // The chain flag: else, the loop bookkeeping commands always chain; a yield never does.
  bool Chain() const;
  // Comments are always skipped.
  bool Skipped() const { return Code() == 27 || SkipByte != 0; }
  void SetSkipped(bool on) { SkipByte = on ? 1 : 0; }
  bool MatchesLabel(const std::string& name) const;

  void ReadRecord(TStream& s, int32_t version, const uint8_t* masks);
  void WriteRecord(TStream& s) const;

  // Per-execution state of the commands that keep some (a wait). Set by the interpreter.
  int32_t Remaining = 0;
  int32_t FirstPass = 0;
  bool HoldEvents = false;

 private:
  TPage* page_;
  uint8_t codeByte_;
};

// The bit of property `prop` in a mask.
inline bool MaskBit(const uint8_t* mask, int32_t prop) {
  return prop >= 0 && prop < 165 && (mask[prop >> 3] >> (prop & 7)) & 1;
}

class TPage {
 public:
  explicit TPage(std::string name = std::string()) : Name(std::move(name)) {}
  TPage(const TPage&) = delete;
  TPage& operator=(const TPage&) = delete;

  std::string Name;
  int32_t Version = 104;
  uint8_t Kind = 0;
  uint8_t Masks[kMaskTable] = {};
  // The mask block as stored: record count, record size and the records.
  int32_t MaskCount = 0;
  int32_t MaskRecSize = 0;
  std::vector<uint8_t> MaskBlock;
  std::vector<std::unique_ptr<TCommand>> Commands;

  int32_t Count() const { return int32_t(Commands.size()); }
  TCommand* At(int32_t i) const { return i >= 0 && i < Count() ? Commands[size_t(i)].get() : nullptr; }
  int32_t FindLabel(const std::string& name) const;
  int32_t IndexOf(const TCommand* c) const;

  // Reads a whole page file. A version above the readable range leaves the page empty
  // and answers TooNew; one below answers TooOld (the caller asks for a rebuild). Damaged
  // data raises EKestBadData (an unknown type code raises "不正なコマンド").
  enum class TLoadResult { Loaded, TooNew, TooOld };
  TLoadResult LoadFromStream(TStream& s);
  // Writes the page file: the mask block as kept, then every command.
  void SaveToStream(TStream& s) const;
  // Sets the mask block to the canonical form of Masks: 61 records of 21 bytes.
  void SetCanonicalMasks();
  // Fills Masks from the mask block by the copy rules.
  void ApplyMaskBlock();
};

}  // namespace kest
