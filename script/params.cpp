#include "script/params.h"

#include <algorithm>
#include <new>
#include <typeinfo>

#include "common/sjis.h"
#include "script/paramcoll.h"
#include "script/sysvars.h"

namespace kest {

std::string FormatMessage(const char* pattern, std::string_view arg) {
  std::string s(pattern);
  const size_t p = s.find("%s");
  if (p != std::string::npos) s.replace(p, 2, arg);
  return s;
}

namespace {
std::string JoinDims(const std::vector<int32_t>& dims) {
  std::string s;
  for (size_t i = 0; i < dims.size(); ++i) {
    if (i) s += ',';
    s += IntToText(dims[i]);
  }
  return s;
}

// Character-aware containment: `needle` must start on a character of `hay`.
bool ContainsText(std::string_view hay, std::string_view needle) {
  if (needle.empty() || needle.size() > hay.size()) return false;
  for (size_t i = 0; i + needle.size() <= hay.size(); i = NextChar(hay, i))
    if (hay.compare(i, needle.size(), needle) == 0) return true;
  return false;
}

bool TextMatches(std::string_view element, std::string_view text, bool caseSensitive,
                 bool partial) {
  if (partial) {
    if (caseSensitive) return ContainsText(element, text);
    return ContainsText(FoldCase(element), FoldCase(text));
  }
  return caseSensitive ? element == text : SameText(element, text);
}

// Forwarding from a reference to its target can chain (a reference to a reference, @Temp
// standing for a reference); a chain that loops back is cut here, where it reads as none.
thread_local int forwardDepth = 0;
constexpr int kMaxForwardDepth = 32;
}  // namespace

// ---- TCustomParam

int32_t TCustomParam::CheckedDimsProduct(const std::vector<int32_t>& dims) {
  int64_t product = 1;
  bool ok = dims.size() <= size_t(kMaxArrayDims);
  for (int32_t d : dims) {
    if (d <= 0) ok = false;
    if (ok) product *= d;
    if (product > kMaxArrayElements) ok = false;
  }
  if (!ok) throw EKest(FormatMessage(param_msg::kBadDims, JoinDims(dims)));
  return int32_t(product);
}

void TCustomParam::SetDims(const std::vector<int32_t>& dims) {
  const int32_t n = CheckedDimsProduct(dims);
  SetCount(n);
  dims_ = dims;
}

void TCustomParam::AssignData(const TCustomParam& other) { dims_ = other.DimList(); }

void TCustomParam::CopyData(const TCustomParam& other) {
  if (typeid(*this) != typeid(other)) throw EKest(param_msg::kTypeMismatch);
  dims_ = other.dims_;
}

void TCustomParam::MakeScalar() {}

int32_t TCustomParam::IndexOfStr(std::string_view text, bool caseSensitive, bool partial) const {
  const int32_t n = GetCount();
  for (int32_t i = 0; i < n; ++i)
    if (TextMatches(GetStrAt(i), text, caseSensitive, partial)) return i;
  return -1;
}

void TCustomParam::AssignConverted(const TCustomParam& source) {
  if (&source == this) return;
  SetDims(source.DimList());
  const int32_t n = std::min(GetCount(), source.GetCount());
  switch (GetKind()) {
    case PT_INT:
      for (int32_t i = 0; i < n; ++i) SetIntAt(i, source.GetIntAt(i));
      break;
    case PT_FLOAT:
      for (int32_t i = 0; i < n; ++i) SetFloatAt(i, source.GetFloatAt(i));
      break;
    case PT_BOOL:
      for (int32_t i = 0; i < n; ++i) SetBoolAt(i, source.GetBoolAt(i));
      break;
    case PT_STR:
      for (int32_t i = 0; i < n; ++i) SetStrAt(i, source.GetStrAt(i));
      break;
    default:
      break;
  }
}

// ---- kind classes

template <class T>
const typename T::E& TParamElements<T>::At(int32_t i) const {
  if (i < 0 || size_t(i) >= elems_.size()) throw EKest(param_msg::kBadIndex);
  return elems_[size_t(i)];
}

template <class T>
typename T::E& TParamElements<T>::Ref(int32_t i) {
  if (i < 0 || size_t(i) >= elems_.size()) throw EKest(param_msg::kBadIndex);
  return elems_[size_t(i)];
}

template <class T>
void TParamElements<T>::SetCount(int32_t n) {
  if (n < 1 || n > kMaxArrayElements)
    throw EKest(FormatMessage(param_msg::kBadDims, IntToText(n)));
  try {
    elems_.resize(size_t(n));
  } catch (const std::bad_alloc&) {
    throw EKest(FormatMessage(param_msg::kBadDims, IntToText(n)));
  }
}

template <class T>
void TParamElements<T>::MakeScalar() {
  if (dims_.empty()) return;
  dims_.clear();
  elems_.resize(1);
}

template <class T>
void TParamElements<T>::AssignData(const TCustomParam& other) {
  if (&other == this) return;
  if (other.HoldsElements() && other.GetKind() == T::kKind) {
    // The kind code names the class among the four.
    const auto& same = static_cast<const TParamElements<T>&>(other);
    dims_ = same.dims_;
    elems_ = same.elems_;
    return;
  }
  // Another class (a reference, a system variable): element by element.
  AssignConverted(other);
}

template <class T>
void TParamElements<T>::CopyData(const TCustomParam& other) {
  if (typeid(*this) != typeid(other)) throw EKest(param_msg::kTypeMismatch);
  if (&other == this) return;
  const auto& same = static_cast<const TParamElements<T>&>(other);
  dims_ = same.dims_;
  elems_ = same.elems_;
}

template <class T>
int32_t TParamElements<T>::IndexOfStr(std::string_view text, bool caseSensitive,
                                      bool partial) const {
  if constexpr (std::is_same_v<E, std::string>) {
    if (!partial && !caseSensitive) {
      for (size_t i = 0; i < elems_.size(); ++i)
        if (SameText(elems_[i], text)) return int32_t(i);
      return -1;
    }
    if (partial && !caseSensitive) {
      const std::string folded = FoldCase(text);
      for (size_t i = 0; i < elems_.size(); ++i)
        if (ContainsText(FoldCase(elems_[i]), folded)) return int32_t(i);
      return -1;
    }
    for (size_t i = 0; i < elems_.size(); ++i)
      if (TextMatches(elems_[i], text, caseSensitive, partial)) return int32_t(i);
    return -1;
  } else {
    return TCustomParam::IndexOfStr(text, caseSensitive, partial);
  }
}

template class TParamElements<TIntElement>;
template class TParamElements<TFloatElement>;
template class TParamElements<TFlagElement>;
template class TParamElements<TStrElement>;

std::unique_ptr<TCustomParam> NewParamOfKind(int32_t kind) {
  switch (kind) {
    case PT_INT:
      return std::make_unique<TParamInt>();
    case PT_FLOAT:
      return std::make_unique<TParamFloat>();
    case PT_BOOL:
      return std::make_unique<TParamFlag>();
    case PT_STR:
      return std::make_unique<TParamStr>();
    default:
      return nullptr;
  }
}

int32_t StoredKind(const TCustomParam& value) {
  return value.AsVar() ? int32_t(PT_NONE) : value.GetKind();
}

// ---- TParamVar

TParamCollectionItem* TParamVar::Target() const {
  return collection_ ? collection_->Resolve(target_) : nullptr;
}

void TParamVar::SetTarget(TParamCollectionItem* item) {
  target_ = item ? item->Handle() : TItemHandle{};
}

namespace {
// Counts one step of forwarding for as long as it lives.
struct ForwardStep {
  ForwardStep() { ++forwardDepth; }
  ~ForwardStep() { --forwardDepth; }
  ForwardStep(const ForwardStep&) = delete;
  ForwardStep& operator=(const ForwardStep&) = delete;
  static bool TooDeep() { return forwardDepth >= kMaxForwardDepth; }
};
}  // namespace

TCustomParam* TParamVar::Value() const {
  if (ForwardStep::TooDeep()) return nullptr;
  TParamCollectionItem* item = Target();
  return item ? item->Value() : nullptr;
}

// Runs `op` on the target's value with the forwarding depth counted, or answers `none`.
#define KEST_FORWARD(none, op)              \
  do {                                      \
    TCustomParam* v = Value();              \
    if (!v) return none;                    \
    ForwardStep step;                       \
    return op;                              \
  } while (0)

int32_t TParamVar::GetCount() const { KEST_FORWARD(0, v->GetCount()); }
void TParamVar::SetCount(int32_t n) { KEST_FORWARD(void(), v->SetCount(n)); }
int32_t TParamVar::GetKind() const { KEST_FORWARD(int32_t(PT_NONE), v->GetKind()); }
bool TParamVar::GetBool() const { KEST_FORWARD(false, v->GetBoolAt(elementIndex_)); }
Float TParamVar::GetFloat() const { KEST_FORWARD(Float(0), v->GetFloatAt(elementIndex_)); }
int32_t TParamVar::GetInt() const { KEST_FORWARD(0, v->GetIntAt(elementIndex_)); }
std::string TParamVar::GetStr() const { KEST_FORWARD(std::string(), v->GetStrAt(elementIndex_)); }
void TParamVar::SetBool(bool b) { KEST_FORWARD(void(), v->SetBoolAt(elementIndex_, b)); }
void TParamVar::SetFloat(Float x) { KEST_FORWARD(void(), v->SetFloatAt(elementIndex_, x)); }
void TParamVar::SetInt(int32_t n) { KEST_FORWARD(void(), v->SetIntAt(elementIndex_, n)); }
void TParamVar::SetStr(const std::string& s) { KEST_FORWARD(void(), v->SetStrAt(elementIndex_, s)); }
int32_t TParamVar::GetIntAt(int32_t i) const { KEST_FORWARD(0, v->GetIntAt(i)); }
void TParamVar::SetIntAt(int32_t i, int32_t n) { KEST_FORWARD(void(), v->SetIntAt(i, n)); }
Float TParamVar::GetFloatAt(int32_t i) const { KEST_FORWARD(Float(0), v->GetFloatAt(i)); }
void TParamVar::SetFloatAt(int32_t i, Float x) { KEST_FORWARD(void(), v->SetFloatAt(i, x)); }
bool TParamVar::GetBoolAt(int32_t i) const { KEST_FORWARD(false, v->GetBoolAt(i)); }
void TParamVar::SetBoolAt(int32_t i, bool b) { KEST_FORWARD(void(), v->SetBoolAt(i, b)); }
std::string TParamVar::GetStrAt(int32_t i) const { KEST_FORWARD(std::string(), v->GetStrAt(i)); }
void TParamVar::SetStrAt(int32_t i, const std::string& s) { KEST_FORWARD(void(), v->SetStrAt(i, s)); }
int32_t TParamVar::GetDimCount() const { KEST_FORWARD(0, v->GetDimCount()); }
int32_t TParamVar::GetDim(int32_t i) const { KEST_FORWARD(0, v->GetDim(i)); }
void TParamVar::AssignData(const TCustomParam& o) { KEST_FORWARD(void(), v->AssignData(o)); }
void TParamVar::SetDims(const std::vector<int32_t>& d) { KEST_FORWARD(void(), v->SetDims(d)); }
void TParamVar::FillInt(int32_t n) { KEST_FORWARD(void(), v->FillInt(n)); }
void TParamVar::FillFloat(Float x) { KEST_FORWARD(void(), v->FillFloat(x)); }
void TParamVar::FillBool(bool b) { KEST_FORWARD(void(), v->FillBool(b)); }
void TParamVar::FillStr(const std::string& s) { KEST_FORWARD(void(), v->FillStr(s)); }
void TParamVar::CopyData(const TCustomParam& o) { KEST_FORWARD(void(), v->CopyData(o)); }
void TParamVar::MakeScalar() { KEST_FORWARD(void(), v->MakeScalar()); }
int32_t TParamVar::IndexOfStr(std::string_view text, bool caseSensitive, bool partial) const {
  KEST_FORWARD(-1, v->IndexOfStr(text, caseSensitive, partial));
}
std::vector<int32_t> TParamVar::DimList() const { KEST_FORWARD(std::vector<int32_t>(), v->DimList()); }

}  // namespace kest
