// Typed script values: integers, floats, flags and strings, each a scalar or a
// multi-dimensional array, references to other variables and the system variables.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/types.h"
#include "script/numtext.h"

namespace kest {

class TStream;
class TParamCollection;
class TParamCollectionItem;
class TParamVar;

// Failures of value operations carry the system's own messages.
namespace param_msg {
// "\"%s\"：変数名が不正です" ("%s": invalid variable name)
inline constexpr const char* kBadName = "\"%s\"\x81\x46\x95\xCF\x90\x94\x96\xBC\x82\xAA\x95s\x90\xB3\x82\xC5\x82\xB7";
// "配列の添字が不正です" (array index invalid)
inline constexpr const char* kBadIndex = "\x94z\x97\xF1\x82\xCC\x93Y\x8E\x9A\x82\xAA\x95s\x90\xB3\x82\xC5\x82\xB7";
// "配列の要素数[%s]が不正です" (array element count [%s] invalid)
inline constexpr const char* kBadDims = "\x94z\x97\xF1\x82\xCC\x97v\x91\x66\x90\x94[%s]\x82\xAA\x95s\x90\xB3\x82\xC5\x82\xB7";
// "CopyMem:変数の型があいません" (variable types do not match)
inline constexpr const char* kTypeMismatch = "CopyMem:\x95\xCF\x90\x94\x82\xCC\x8C^\x82\xAA\x82\xA0\x82\xA2\x82\xDC\x82\xB9\x82\xF1";
// "%s:不正な変数です" (%s: invalid variable)
inline constexpr const char* kBadVariable = "%s:\x95s\x90\xB3\x82\xC8\x95\xCF\x90\x94\x82\xC5\x82\xB7";
// "変数のデータが壊れています" (the variable data is damaged)
inline constexpr const char* kBadData = "\x95\xCF\x90\x94\x82\xCC\x83\x66\x81[\x83^\x82\xAA\x89\xF3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7";
// "内部エラー" (internal error)
inline constexpr const char* kInternal = "\x93\xE0\x95\x94\x83G\x83\x89\x81[";
}  // namespace param_msg

// Replaces the one "%s" of a message pattern.
std::string FormatMessage(const char* pattern, std::string_view arg);

// The largest element count of one array. Titles use arrays of a few thousand elements;
// a count beyond this is refused with the element-count error instead of exhausting memory.
inline constexpr int64_t kMaxArrayElements = int64_t(1) << 22;
// The most dimensions an array may have (each at least 1, so more add nothing but work).
inline constexpr int kMaxArrayDims = 64;

// The abstract value. `dims` empty means a scalar; the kind classes hold a flat element
// list in row-major order (the last subscript varies fastest).
class TCustomParam {
 public:
  TCustomParam() = default;
  virtual ~TCustomParam() = default;
  TCustomParam(const TCustomParam&) = delete;
  TCustomParam& operator=(const TCustomParam&) = delete;

  virtual int32_t GetCount() const { return 1; }
  // Resizes the element list, keeping existing elements; new ones take the default.
  virtual void SetCount(int32_t) {}
  virtual int32_t GetKind() const { return PT_INT; }
  virtual bool GetBool() const { return false; }
  virtual Float GetFloat() const { return 0; }
  virtual int32_t GetInt() const { return 0; }
  virtual std::string GetStr() const { return std::string(); }
  // Scalar stores: the value becomes a scalar first (MakeScalar).
  virtual void SetBool(bool) {}
  virtual void SetFloat(Float) {}
  virtual void SetInt(int32_t) {}
  virtual void SetStr(const std::string&) {}
  virtual int32_t GetIntAt(int32_t) const { return 0; }
  virtual void SetIntAt(int32_t, int32_t) {}
  virtual Float GetFloatAt(int32_t) const { return 0; }
  virtual void SetFloatAt(int32_t, Float) {}
  virtual bool GetBoolAt(int32_t) const { return false; }
  virtual void SetBoolAt(int32_t, bool) {}
  virtual std::string GetStrAt(int32_t) const { return std::string(); }
  virtual void SetStrAt(int32_t, const std::string&) {}
  virtual int32_t GetDimCount() const { return dims_.empty() ? 1 : int32_t(dims_.size()); }
  virtual int32_t GetDim(int32_t i) const {
    return i >= 0 && size_t(i) < dims_.size() ? dims_[size_t(i)] : 1;
  }
  // Copies dims and elements from a value of the same class. A value of another class is
  // copied element by element through the conversions (the shapes are kept).
  virtual void AssignData(const TCustomParam& other);
  // Makes the value an array of these dimensions (empty: a scalar), keeping the first
  // elements. Raises the element-count error for a size below 1, or when the product
  // exceeds kMaxArrayElements, or for more than kMaxArrayDims dimensions.
  virtual void SetDims(const std::vector<int32_t>& dims);
  virtual void FillInt(int32_t) {}
  virtual void FillFloat(Float) {}
  virtual void FillBool(bool) {}
  virtual void FillStr(const std::string&) {}
  // Validated copy: `other` must be of exactly the same class (else the CopyMem error).
  virtual void CopyData(const TCustomParam& other);
  // The value data of the stored formats: dims, then the class's own part.
  virtual void SaveToStream(TStream& s) const;
  // Reads what SaveToStream wrote. Untrusted: every count is checked against the data,
  // and on a failure (EKestBadData or a read error) the value is left as it was.
  virtual void LoadFromStream(TStream& s);
  virtual void MakeScalar();
  // Index of the first element that matches, or -1. `partial`: the element contains the
  // text (an empty text is contained nowhere); otherwise equality. Without
  // `caseSensitive` both sides are folded first.
  virtual int32_t IndexOfStr(std::string_view text, bool caseSensitive, bool partial) const;

  // The shape as a list (empty for a scalar); forwarded by references and the forwarding
  // system variables, the element count as one dimension for the system arrays.
  virtual std::vector<int32_t> DimList() const { return dims_; }
  // Copies the source's shape and every element, converting each through this value's
  // own kind.
  void AssignConverted(const TCustomParam& source);
  // Back to a new value's state: a scalar holding the default (items are reused).
  virtual void ResetValue() { dims_.clear(); }
  // True for the four kind classes, whose kind code names their class.
  virtual bool HoldsElements() const { return false; }
  // The value as a reference, when it is one (cheaper than a cast on hot paths).
  virtual TParamVar* AsVar() { return nullptr; }
  virtual const TParamVar* AsVar() const { return nullptr; }

 protected:
  // Checks a dimension list and answers its element count (raises the element-count error).
  static int32_t CheckedDimsProduct(const std::vector<int32_t>& dims);
  std::vector<int32_t> dims_;
};

// Element traits of the four kind classes: how an element converts on reads and stores.
struct TIntElement {
  using E = int32_t;
  static constexpr int32_t kKind = PT_INT;
  static int32_t ToInt(E v) { return v; }
  static Float ToFloat(E v) { return Float(v); }
  static bool ToBool(E v) { return v != 0; }
  static std::string ToStr(E v) { return IntToText(v); }
  static E FromInt(int32_t v) { return v; }
  static E FromFloat(Float x) { return FloatToInt(x); }
  static E FromBool(bool b) { return b ? 1 : 0; }
  static E FromStr(std::string_view s) { return TextToInt(s); }
};
struct TFloatElement {
  using E = Float;
  static constexpr int32_t kKind = PT_FLOAT;
  static int32_t ToInt(E v) { return FloatToInt(v); }
  static Float ToFloat(E v) { return v; }
  static bool ToBool(E v) { return v != 0; }
  static std::string ToStr(E v) { return FloatToText(v); }
  static E FromInt(int32_t v) { return Float(v); }
  static E FromFloat(Float x) { return x; }
  static E FromBool(bool b) { return b ? 1 : 0; }
  static E FromStr(std::string_view s) { return TextToFloat(s); }
};
struct TFlagElement {
  using E = uint8_t;  // 0 or 1
  static constexpr int32_t kKind = PT_BOOL;
  static int32_t ToInt(E v) { return v ? 1 : 0; }
  static Float ToFloat(E v) { return v ? 1 : 0; }
  static bool ToBool(E v) { return v != 0; }
  static std::string ToStr(E v) { return BoolToText(v != 0); }
  static E FromInt(int32_t v) { return v != 0; }
  static E FromFloat(Float x) { return x != 0; }
  static E FromBool(bool b) { return b; }
  static E FromStr(std::string_view s) { return TextToBool(s); }
};
struct TStrElement {
  using E = std::string;
  static constexpr int32_t kKind = PT_STR;
  static int32_t ToInt(const E& v) { return TextToInt(v); }
  static Float ToFloat(const E& v) { return TextToFloat(v); }
  static bool ToBool(const E& v) { return TextToBool(v); }
  static std::string ToStr(const E& v) { return v; }
  static E FromInt(int32_t v) { return IntToText(v); }
  static E FromFloat(Float x) { return FloatToText(x); }
  static E FromBool(bool b) { return BoolToText(b); }
  static E FromStr(std::string_view s) { return E(s); }
};

// A value that stores its elements: the common body of the four kind classes.
template <class T>
class TParamElements : public TCustomParam {
 public:
  using E = typename T::E;
  TParamElements() : elems_(1) {}

  int32_t GetCount() const override { return int32_t(elems_.size()); }
  void SetCount(int32_t n) override;
  int32_t GetKind() const override { return T::kKind; }
  bool GetBool() const override { return T::ToBool(At(0)); }
  Float GetFloat() const override { return T::ToFloat(At(0)); }
  int32_t GetInt() const override { return T::ToInt(At(0)); }
  std::string GetStr() const override { return T::ToStr(At(0)); }
  void SetBool(bool b) override { MakeScalar(), elems_[0] = T::FromBool(b); }
  void SetFloat(Float x) override { MakeScalar(), elems_[0] = T::FromFloat(x); }
  void SetInt(int32_t v) override { MakeScalar(), elems_[0] = T::FromInt(v); }
  void SetStr(const std::string& s) override { MakeScalar(), elems_[0] = T::FromStr(s); }
  int32_t GetIntAt(int32_t i) const override { return T::ToInt(At(i)); }
  void SetIntAt(int32_t i, int32_t v) override { Ref(i) = T::FromInt(v); }
  Float GetFloatAt(int32_t i) const override { return T::ToFloat(At(i)); }
  void SetFloatAt(int32_t i, Float x) override { Ref(i) = T::FromFloat(x); }
  bool GetBoolAt(int32_t i) const override { return T::ToBool(At(i)); }
  void SetBoolAt(int32_t i, bool b) override { Ref(i) = T::FromBool(b); }
  std::string GetStrAt(int32_t i) const override { return T::ToStr(At(i)); }
  void SetStrAt(int32_t i, const std::string& s) override { Ref(i) = T::FromStr(s); }
  void AssignData(const TCustomParam& other) override;
  void FillInt(int32_t v) override { Fill(T::FromInt(v)); }
  void FillFloat(Float x) override { Fill(T::FromFloat(x)); }
  void FillBool(bool b) override { Fill(T::FromBool(b)); }
  void FillStr(const std::string& s) override { Fill(T::FromStr(s)); }
  void CopyData(const TCustomParam& other) override;
  void SaveToStream(TStream& s) const override;
  void LoadFromStream(TStream& s) override;
  void MakeScalar() override;
  int32_t IndexOfStr(std::string_view text, bool caseSensitive, bool partial) const override;

  const std::vector<E>& Elements() const { return elems_; }
  void ResetValue() override {
    dims_.clear();
    if (elems_.capacity() > 16) std::vector<E>(1).swap(elems_);
    elems_.resize(1);
    elems_[0] = E{};
  }
  bool HoldsElements() const override { return true; }

 private:
  const E& At(int32_t i) const;
  E& Ref(int32_t i);
  void Fill(const E& v) {
    for (E& e : elems_) e = v;
  }
  std::vector<E> elems_;
};

class TParamInt final : public TParamElements<TIntElement> {};
class TParamFloat final : public TParamElements<TFloatElement> {};
class TParamFlag final : public TParamElements<TFlagElement> {};
class TParamStr final : public TParamElements<TStrElement> {};

// A new default scalar of a value kind 1..4; nullptr for any other code.
std::unique_ptr<TCustomParam> NewParamOfKind(int32_t kind);

// A checked reference to a collection item: the item's slot and the serial it had when the
// handle was taken. An item that was freed (or whose slot was reused) no longer resolves.
struct TItemHandle {
  uint32_t slot = 0;
  uint32_t serial = 0;  // 0: no item
  explicit operator bool() const { return serial != 0; }
  bool operator==(const TItemHandle&) const = default;
};

// A reference to another variable, optionally to one of its elements. The scalar
// operations work on the element at `ElementIndex`; everything else is forwarded to the
// target's value as it stands. Without a (living) target, reads give 0, 0.0, false, ""
// (count 0, kind 0, IndexOfStr -1) and stores do nothing.
class TParamVar final : public TCustomParam {
 public:
  // `collection` resolves the target name on loads; it must outlive the reference.
  explicit TParamVar(TParamCollection* collection) : collection_(collection) {}

  void SetCollection(TParamCollection* collection) { collection_ = collection; }
  // The name the reference was made with, and its target (or none).
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  TParamCollectionItem* Target() const;
  // Binds the reference to an item (nullptr: none).
  void SetTarget(TParamCollectionItem* item);
  int32_t ElementIndex() const { return elementIndex_; }
  void SetElementIndex(int32_t i) { elementIndex_ = i; }
  uint8_t Reserved() const { return reserved_; }
  // Sets the stored fields at once (loads that resolve the target later).
  void Restore(std::vector<int32_t> dims, std::string name, uint8_t reserved, int32_t elementIndex);
  // The reference's own dims (stored and loaded, not used by the forwarding).
  const std::vector<int32_t>& OwnDims() const { return dims_; }

  int32_t GetCount() const override;
  void SetCount(int32_t n) override;
  int32_t GetKind() const override;
  bool GetBool() const override;
  Float GetFloat() const override;
  int32_t GetInt() const override;
  std::string GetStr() const override;
  void SetBool(bool b) override;
  void SetFloat(Float x) override;
  void SetInt(int32_t v) override;
  void SetStr(const std::string& s) override;
  int32_t GetIntAt(int32_t i) const override;
  void SetIntAt(int32_t i, int32_t v) override;
  Float GetFloatAt(int32_t i) const override;
  void SetFloatAt(int32_t i, Float x) override;
  bool GetBoolAt(int32_t i) const override;
  void SetBoolAt(int32_t i, bool b) override;
  std::string GetStrAt(int32_t i) const override;
  void SetStrAt(int32_t i, const std::string& s) override;
  int32_t GetDimCount() const override;
  int32_t GetDim(int32_t i) const override;
  void AssignData(const TCustomParam& other) override;
  void SetDims(const std::vector<int32_t>& dims) override;
  void FillInt(int32_t v) override;
  void FillFloat(Float x) override;
  void FillBool(bool b) override;
  void FillStr(const std::string& s) override;
  void CopyData(const TCustomParam& other) override;
  // dims, own name, target name ("" without a target), reserved byte, element index.
  void SaveToStream(TStream& s) const override;
  // Resolves the target name through FindItem of the collection at that moment.
  void LoadFromStream(TStream& s) override;
  void MakeScalar() override;
  int32_t IndexOfStr(std::string_view text, bool caseSensitive, bool partial) const override;
  std::vector<int32_t> DimList() const override;
  TParamVar* AsVar() override { return this; }
  const TParamVar* AsVar() const override { return this; }
  void ResetValue() override {
    dims_.clear();
    name_.clear();
    target_ = TItemHandle{};
    reserved_ = 0;
    elementIndex_ = 0;
  }

 private:
  // The target's value, or nullptr (also when following it would loop back).
  TCustomParam* Value() const;
  TParamCollection* collection_;
  std::string name_;
  TItemHandle target_;
  uint8_t reserved_ = 0;
  int32_t elementIndex_ = 0;
};

// The kind byte under which a value is stored: 0 for a reference (its data is the
// reference form whatever its target's kind), GetKind for every other value.
int32_t StoredKind(const TCustomParam& value);

}  // namespace kest
