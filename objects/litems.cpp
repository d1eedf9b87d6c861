#include "objects/litems.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "gfx/dibx.h"
#include "script/params.h"
#include "vfs/records.h"
#include "vfs/streams.h"

namespace kest {
namespace {

// Placement works in 64 bits and wraps the result to 32, as the system's own arithmetic did.
int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint64_t>(v)); }

// Saved trees nest children inside their parents; deeper nesting than this is damage.
constexpr int kMaxLoadDepth = 256;

std::array<TKindFactory, 128>& Registry() {
  static std::array<TKindFactory, 128> table = [] {
    std::array<TKindFactory, 128> t{};
    t[LT_CABINET] = [](TKestBaseList* o) -> std::unique_ptr<TKestObject> {
      return std::make_unique<TKestCabinet>(o);
    };
    return t;
  }();
  return table;
}

[[noreturn]] void BadData() { throw EKestBadData(object_msg::kBadObjectData); }

// Parses a decimal suffix of plain digits that fits in 32 bits; -1 when it is none.
int64_t ParseCounter(std::string_view s) {
  if (s.empty() || s.size() > 10) return -1;
  int64_t v = 0;
  for (char ch : s) {
    if (ch < '0' || ch > '9') return -1;
    v = v * 10 + (ch - '0');
  }
  return v <= INT32_MAX ? v : -1;
}

// The number n when `name` is exactly prefix + n as UniqueName writes it, else -1.
int64_t GeneratedNumber(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return -1;
  std::string_view digits = name.substr(prefix.size());
  if (digits.size() > 1 && digits[0] == '0') return -1;
  if (digits.size() > 18) return -1;
  int64_t v = 0;
  for (char ch : digits) {
    if (ch < '0' || ch > '9') return -1;
    v = v * 10 + (ch - '0');
  }
  return v;
}

}  // namespace

TKestObject* TObjectRef::Resolve() const { return Owner && Serial ? Owner->FindBySerial(Serial) : nullptr; }

TKindFactory RegisterKind(int32_t code, TKindFactory factory) {
  if (code < 0 || code > 127 || !IsCreatableKind(code)) return nullptr;
  TKindFactory old = Registry()[size_t(code)];
  Registry()[size_t(code)] = factory;
  return old;
}

// ---------------------------------------------------------------------------------------
// TKestObject

TKestObject::~TKestObject() {
  if (owner_ && serial_) owner_->Hooks().ObjectDestroyed(serial_);
}

void TKestObject::AssignName(const std::string& name) {
  if (name == name_) return;
  bool indexed = owner_ && serial_ && owner_->FindBySerial(serial_) == this;
  if (indexed) owner_->UnindexName(this);
  name_ = name;
  if (indexed) owner_->IndexName(this);
  if (TKestControl* p = Parent()) p->ChildOrderChanged();
}

void TKestObject::SetName(const std::string& name) {
  if (name == name_) return;
  if (owner_) {
    TKestObject* holder = owner_->FindRegistered(name);
    if (holder && holder != this) holder->Scrap();
  }
  AssignName(name);
}

void TKestObject::SetPriority(int32_t p) {
  if (p == priority_) return;
  priority_ = p;
  priorityOffset_ = 0;
  if (TKestControl* parent = Parent()) {
    parent->RepositionChild(static_cast<TKestControl*>(this));
    Invalidate();
  }
}

void TKestObject::SetPriorityOffset(int32_t o) {
  if (o == priorityOffset_) return;
  priorityOffset_ = o;
  if (TKestControl* parent = Parent()) {
    parent->RepositionChild(static_cast<TKestControl*>(this));
    Invalidate();
  }
}

void TKestObject::Scrap() {
  // The screens belong to the list and are never scrapped.
  if (IsScreen()) return;
  if (owner_ && serial_ && owner_->FindBySerial(serial_) == this) owner_->MarkScrapped(this);
  AssignName(std::string());
}

bool TKestObject::GetProp(int32_t id, TPropValue& out) const {
  switch (id) {
    case PR_NAME: out = TPropValue::OfStr(name_); return true;
    case PR_PRIORITY: out = TPropValue::OfInt(priority_); return true;
    case PR_TAG: out = TPropValue::OfStr(tag_); return true;
    case PR_COMPOTYPE: out = TPropValue::OfInt(Kind()); return true;
    default: return false;
  }
}

void TKestObject::SetProp(int32_t id, const TPropValue& v) {
  switch (id) {
    case PR_NAME: SetName(v.Str); break;
    case PR_PRIORITY: SetPriority(v.Int); break;
    case PR_TAG: tag_ = v.Str; break;
    default: break;
  }
}

TPropValue TKestObject::ReadProp(int32_t id) const {
  const TPropInfo& info = PropInfo(id);
  TPropValue v;
  v.Kind = info.Kind;
  if (GetProp(id, v)) {
    v.Kind = info.Kind;
    return v;
  }
  switch (info.DefaultFrom) {
    case TPropDefault::Width: v.Int = IntProp(PR_WIDTH); break;
    case TPropDefault::Height: v.Int = IntProp(PR_HEIGHT); break;
    case TPropDefault::Value:
      v.Int = info.Default;
      v.Real = info.Default;
      v.Flag = info.Default != 0;
      break;
  }
  return v;
}

TRect TKestObject::GetBounds() const {
  int32_t l = IntProp(PR_LEFT), t = IntProp(PR_TOP);
  return TRect{l, t, Wrap(int64_t(l) + IntProp(PR_WIDTH)), Wrap(int64_t(t) + IntProp(PR_HEIGHT))};
}

TRect TKestObject::GetDrawRect() const {
  int32_t x = DrawX(), y = DrawY();
  return TRect{x, y, Wrap(int64_t(x) + IntProp(PR_WIDTH)), Wrap(int64_t(y) + IntProp(PR_HEIGHT))};
}

void TKestObject::SaveToStream(TStream& s) const {
  WriteString(s, name_);
  WriteInt(s, priority_);
  WriteInt(s, priorityOffset_);
  WriteString(s, tag_);
}

void TKestObject::LoadFromStream(TStream& s, int32_t version) {
  AssignName(ReadString(s));
  priority_ = ReadInt(s);
  if (version > 103) priorityOffset_ = ReadInt(s);
  if (version >= 120) tag_ = ReadString(s);
}

// ---------------------------------------------------------------------------------------
// TKestControl

TKestControl::TKestControl(TKestBaseList* owner) : TKestComponent(owner) {
  if (owner && !owner->FocusedControl()) owner->RequestRefocus();
}

TKestControl::~TKestControl() {
  DestroyChildren();
  if (motion_) DetachMotion();
  TKestBaseList* owner = Owner();
  if (owner && Serial()) {
    if (owner->focused_.Serial == Serial()) {
      owner->Hooks().FocusLost(*this);
      owner->focused_ = TObjectRef{};
      owner->RequestRefocus();
    }
    for (int i = 0; i < 2; ++i) {
      TKestBase* screen = owner->screens_[i].get();
      if (screen && screen->MouseObject.Serial == Serial()) screen->MouseObject = TObjectRef{};
    }
  }
  if (parent_) parent_->RemoveChild(this);
}

void TKestControl::DestroyChildren() {
  std::vector<TKestControl*> kids = std::move(children_);
  children_.clear();
  for (TKestControl* c : kids) {
    c->parent_ = nullptr;
    // A child is owned by its owner's registration; one that is not registered (any more)
    // is only detached.
    if (TKestBaseList* o = c->Owner()) o->Destroy(o->Unregister(c));
  }
}

void TKestControl::SetName(const std::string& name) {
  if (name == Name()) return;
  if (TKestBaseList* owner = Owner()) {
    TKestObject* holder = owner->FindRegistered(name);
    if (holder && holder != this) {
      // The holder keeps a numbered form of the name: a trailing "_n" with n > 1 is the
      // counter to continue from, otherwise the whole name gets "_2", "_3", ...
      std::string base = name;
      int64_t counter = 2;
      for (size_t i = name.size() - 1; i >= 1; --i) {
        if (name[i] != '_') continue;
        int64_t n = ParseCounter(std::string_view(name).substr(i + 1));
        if (n > 1) {
          base = name.substr(0, i);
          counter = n;
          break;
        }
      }
      std::string candidate;
      for (;; ++counter) {
        candidate = base + "_" + std::to_string(counter);
        if (!owner->FindRegistered(candidate)) break;
      }
      holder->AssignName(candidate);
    }
  }
  AssignName(name);
}

bool TKestControl::GetProp(int32_t id, TPropValue& out) const {
  switch (id) {
    case PR_PARENT: out = TPropValue::OfStr(parent_ ? parent_->Name() : std::string()); return true;
    case PR_LEFT: out = TPropValue::OfInt(left_); return true;
    case PR_TOP: out = TPropValue::OfInt(top_); return true;
    case PR_WIDTH: out = TPropValue::OfInt(width_); return true;
    case PR_HEIGHT: out = TPropValue::OfInt(height_); return true;
    case PR_COLOR: out = TPropValue::OfInt(color_); return true;
    case PR_OFFSETX: out = TPropValue::OfInt(offsetX_); return true;
    case PR_OFFSETY: out = TPropValue::OfInt(offsetY_); return true;
    case PR_ONMOUSEMOVE: out = TPropValue::OfStr(mouseHandlers_[0]); return true;
    case PR_ONMOUSEIN: out = TPropValue::OfStr(mouseHandlers_[1]); return true;
    case PR_ONMOUSEOUT: out = TPropValue::OfStr(mouseHandlers_[2]); return true;
    case PR_ONLBTNDOWN: out = TPropValue::OfStr(mouseHandlers_[3]); return true;
    case PR_ONLBTNUP: out = TPropValue::OfStr(mouseHandlers_[4]); return true;
    case PR_ONRBTNDOWN: out = TPropValue::OfStr(mouseHandlers_[5]); return true;
    case PR_ONRBTNUP: out = TPropValue::OfStr(mouseHandlers_[6]); return true;
    case PR_ONWHEELDOWN: out = TPropValue::OfStr(mouseHandlers_[7]); return true;
    case PR_ONWHEELUP: out = TPropValue::OfStr(mouseHandlers_[8]); return true;
    case PR_VISIBLE: out = TPropValue::OfBool(IsVisible()); return true;
    case PR_IGNOREMOUSE: out = TPropValue::OfInt(ignoreMouse_); return true;
    case PR_CURSOR: out = TPropValue::OfStr(cursor_); return true;
    case PR_POSZOOMED: out = TPropValue::OfBool(posZoomed_); return true;
    case PR_CLIPLEFT: out = TPropValue::OfInt(clipLeft_); return true;
    case PR_CLIPTOP: out = TPropValue::OfInt(clipTop_); return true;
    case PR_CLIPWIDTH: out = TPropValue::OfInt(clipWidth_); return true;
    case PR_CLIPHEIGHT: out = TPropValue::OfInt(clipHeight_); return true;
    case PR_ANIPAUSED:
      // System-named helpers (snapshots, particle images) follow their parent.
      if (IsSystemName(Name()) && parent_) return parent_->GetProp(PR_ANIPAUSED, out);
      out = TPropValue::OfBool(aniPaused_);
      return true;
    case PR_PLAYING:
      // A control plays while an attached motion runs and is not paused.
      out = TPropValue::OfBool(motion_ && motion_->IsRunning() && !aniPaused_);
      return true;
    case PR_HANDLEKEY: out = TPropValue::OfBool(handleKey_); return true;
    case PR_ONKEYDOWN: out = TPropValue::OfStr(keyHandlers_[0]); return true;
    case PR_ONKEYUP: out = TPropValue::OfStr(keyHandlers_[1]); return true;
    case PR_ONKEYREPEAT: out = TPropValue::OfStr(keyHandlers_[2]); return true;
    case PR_ONFOCUSIN: out = TPropValue::OfStr(keyHandlers_[3]); return true;
    case PR_ONFOCUSOUT: out = TPropValue::OfStr(keyHandlers_[4]); return true;
    case PR_PLUSX: out = TPropValue::OfInt(plusX_); return true;
    case PR_PLUSY: out = TPropValue::OfInt(plusY_); return true;
    default: return TKestComponent::GetProp(id, out);
  }
}

void TKestControl::SetProp(int32_t id, const TPropValue& v) {
  switch (id) {
    case PR_PARENT:
      if (!IsScreen() && Owner()) {
        if (TKestControl* c = Owner()->FindContainer(v.Str)) SetParent(c);
      }
      break;
    case PR_LEFT: SetLeft(v.Int); break;
    case PR_TOP: SetTop(v.Int); break;
    case PR_WIDTH: SetWidth(v.Int); break;
    case PR_HEIGHT: SetHeight(v.Int); break;
    case PR_COLOR: SetColor(v.Int); break;
    case PR_OFFSETX: SetOffsetX(v.Int); break;
    case PR_OFFSETY: SetOffsetY(v.Int); break;
    case PR_ONMOUSEMOVE: mouseHandlers_[0] = v.Str; break;
    case PR_ONMOUSEIN: mouseHandlers_[1] = v.Str; break;
    case PR_ONMOUSEOUT: mouseHandlers_[2] = v.Str; break;
    case PR_ONLBTNDOWN: mouseHandlers_[3] = v.Str; break;
    case PR_ONLBTNUP: mouseHandlers_[4] = v.Str; break;
    case PR_ONRBTNDOWN: mouseHandlers_[5] = v.Str; break;
    case PR_ONRBTNUP: mouseHandlers_[6] = v.Str; break;
    case PR_ONWHEELDOWN: mouseHandlers_[7] = v.Str; break;
    case PR_ONWHEELUP: mouseHandlers_[8] = v.Str; break;
    case PR_VISIBLE: SetVisible(v.Flag); break;
    case PR_IGNOREMOUSE: ignoreMouse_ = uint8_t(v.Int); break;  // stored as a byte
    case PR_CURSOR: cursor_ = v.Str; break;
    case PR_POSZOOMED: SetPosZoomed(v.Flag); break;
    case PR_CLIPLEFT: SetClip(v.Int, clipTop_, clipWidth_, clipHeight_); break;
    case PR_CLIPTOP: SetClip(clipLeft_, v.Int, clipWidth_, clipHeight_); break;
    case PR_CLIPWIDTH: SetClip(clipLeft_, clipTop_, v.Int, clipHeight_); break;
    case PR_CLIPHEIGHT: SetClip(clipLeft_, clipTop_, clipWidth_, v.Int); break;
    case PR_ANIPAUSED: aniPaused_ = v.Flag; break;
    case PR_HANDLEKEY: SetHandleKey(v.Flag); break;
    case PR_ONKEYDOWN: keyHandlers_[0] = v.Str; break;
    case PR_ONKEYUP: keyHandlers_[1] = v.Str; break;
    case PR_ONKEYREPEAT: keyHandlers_[2] = v.Str; break;
    case PR_ONFOCUSIN: keyHandlers_[3] = v.Str; break;
    case PR_ONFOCUSOUT: keyHandlers_[4] = v.Str; break;
    case PR_PLUSX: SetPlusX(v.Int); break;
    case PR_PLUSY: SetPlusY(v.Int); break;
    default: TKestComponent::SetProp(id, v); break;
  }
}

TKestControl* TKestControl::GetChild(int32_t i) const {
  return i >= 0 && size_t(i) < children_.size() ? children_[size_t(i)] : nullptr;
}

bool TKestControl::IsAncestorOf(const TKestObject& o) const {
  for (TKestControl* p = o.Parent(); p; p = p->parent_)
    if (p == this) return true;
  return false;
}

TKestBase* TKestControl::GetScreen() const { return parent_ ? parent_->GetScreen() : nullptr; }
TCustomDIBX* TKestControl::GetTargetSurface() const { return parent_ ? parent_->GetTargetSurface() : nullptr; }

bool TKestControl::IsInCabinet() const {
  for (TKestControl* p = parent_; p; p = p->parent_)
    if (p->IsCabinet()) return true;
  return false;
}

bool TKestControl::IsReallyVisible() const {
  if (!IsVisible()) return false;
  TKestBase* screen = GetScreen();
  if (!screen || !Owner() || screen != Owner()->ActiveScreen()) return false;
  for (TKestControl* p = parent_; p; p = p->parent_)
    if (!p->IsVisible()) return false;
  return true;
}

void TKestControl::AddChild(TKestControl* child) { children_.push_back(child); }

void TKestControl::RemoveChild(TKestControl* child) {
  auto it = std::find(children_.begin(), children_.end(), child);
  if (it != children_.end()) children_.erase(it);
}

int CompareDrawOrder(const TKestControl* a, const TKestControl* b) {
  if (a == b) return 0;
  bool ta = a->IsBlurTrail(), tb = b->IsBlurTrail();
  if (ta && tb) {
    int32_t d = a->IntProp(PR_ALPHA) % 256 - b->IntProp(PR_ALPHA) % 256;
    return d < 0 ? -1 : d > 0 ? 1 : 0;
  }
  if (ta && a->TrailSource() == b) return -1;
  if (tb && b->TrailSource() == a) return 1;
  if (a->Name() == kFlipSnapshotName) return 1;
  if (b->Name() == kFlipSnapshotName) return -1;
  bool sa = IsSystemName(a->Name()), sb = IsSystemName(b->Name());
  if (sa != sb) return sa ? -1 : 1;
  // The sum is taken in 64 bits so extreme priorities cannot wrap around.
  int64_t pa = int64_t(a->Priority()) + a->PriorityOffset();
  int64_t pb = int64_t(b->Priority()) + b->PriorityOffset();
  if (pa != pb) return pa < pb ? -1 : 1;
  int c = a->Name().compare(b->Name());  // byte order, case-sensitive
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void TKestControl::SortChildren() {
  // A bottom-up merge sort: every index stays inside its run whatever the comparison
  // answers, and equal children keep their order.
  size_t n = children_.size();
  std::vector<TKestControl*> tmp(n);
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi)
        tmp[k++] = CompareDrawOrder(children_[j], children_[i]) < 0 ? children_[j++] : children_[i++];
      while (i < mid) tmp[k++] = children_[i++];
      while (j < hi) tmp[k++] = children_[j++];
    }
    children_.swap(tmp);
  }
  childrenSorted_ = true;
}

void TKestControl::RepositionChild(TKestControl* child) {
  auto it = std::find(children_.begin(), children_.end(), child);
  if (it == children_.end()) return;
  if (!childrenSorted_) {
    SortChildren();
    return;
  }
  children_.erase(it);
  size_t lo = 0, hi = children_.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (CompareDrawOrder(child, children_[mid]) < 0)
      hi = mid;
    else
      lo = mid + 1;
  }
  children_.insert(children_.begin() + ptrdiff_t(lo), child);
}

void TKestControl::SetParent(TKestControl* np) {
  if (np == parent_ || np == this || (np && IsAncestorOf(*np))) return;
  // Objects never move between owners.
  if (np && np->Owner() != Owner()) return;
  Invalidate();
  if (TKestControl* old = parent_) {
    old->RemoveChild(this);
    parent_ = nullptr;
    if (old->IsCabinet()) LeftCabinet();
  }
  parent_ = np;
  if (np) {
    np->AddChild(this);
    np->RepositionChild(this);
    if (np->IsCabinet()) EnteredCabinet();
  }
  Invalidate();
  CheckFocusAfterMove();
}

void TKestControl::CheckFocusAfterMove() {
  TKestBaseList* owner = Owner();
  if (!owner) return;
  TKestControl* f = owner->FocusedControl();
  bool onActive = GetScreen() && GetScreen() == owner->ActiveScreen();
  if (f && (f == this || IsAncestorOf(*f))) {
    if (!onActive) {
      owner->Hooks().FocusLost(*f);
      owner->focused_ = TObjectRef{};
      owner->RequestRefocus();
    }
  } else if (!f && onActive) {
    owner->RequestRefocus();
  }
}

void TKestControl::SetLeft(int32_t v) {
  if (v != left_) {
    Invalidate();
    left_ = v;
    motionX_ = 0;
    Invalidate();
  }
  PositionChanged();
}

void TKestControl::SetTop(int32_t v) {
  if (v != top_) {
    Invalidate();
    top_ = v;
    motionY_ = 0;
    Invalidate();
  }
  PositionChanged();
}

void TKestControl::SetOffsetX(int32_t v) {
  if (v != offsetX_) {
    Invalidate();
    offsetX_ = v;
    Invalidate();
  }
  PositionChanged();
}

void TKestControl::SetOffsetY(int32_t v) {
  if (v != offsetY_) {
    Invalidate();
    offsetY_ = v;
    Invalidate();
  }
  PositionChanged();
}

namespace {
template <class T>
bool StoreChanged(TKestControl& c, T& field, T v) {
  if (field == v) return false;
  c.Invalidate();
  field = v;
  c.Invalidate();
  return true;
}
}  // namespace

void TKestControl::SetWidth(int32_t v) { StoreChanged(*this, width_, v); }
void TKestControl::SetHeight(int32_t v) { StoreChanged(*this, height_, v); }
void TKestControl::SetPlusX(int32_t v) { StoreChanged(*this, plusX_, v); }
void TKestControl::SetPlusY(int32_t v) { StoreChanged(*this, plusY_, v); }
void TKestControl::SetMotionX(int32_t v) { StoreChanged(*this, motionX_, v); }
void TKestControl::SetMotionY(int32_t v) { StoreChanged(*this, motionY_, v); }
void TKestControl::SetPosZoomed(bool v) { StoreChanged(*this, posZoomed_, v); }

void TKestControl::SetBounds(int32_t l, int32_t t, int32_t w, int32_t h) {
  if (l == left_ && t == top_ && w == width_ && h == height_) return;
  Invalidate();
  left_ = l, top_ = t, width_ = w, height_ = h;
  Invalidate();
}

void TKestControl::SetClip(int32_t l, int32_t t, int32_t w, int32_t h) {
  if (l == clipLeft_ && t == clipTop_ && w == clipWidth_ && h == clipHeight_) return;
  Invalidate();
  clipLeft_ = l, clipTop_ = t, clipWidth_ = w, clipHeight_ = h;
  Invalidate();
  ClipChanged();
}

void TKestControl::SetColor(int32_t c) {
  if (c == color_) return;
  color_ = c;
  Invalidate();
}

void TKestControl::SetVisible(bool v) {
  if (v == visible_) return;
  TKestBaseList* owner = Owner();
  if (!v) {
    Invalidate();
    visible_ = false;
    TKestControl* f = owner ? owner->FocusedControl() : nullptr;
    if (f && (f == this || IsAncestorOf(*f))) {
      owner->Hooks().FocusLost(*f);
      owner->focused_ = TObjectRef{};
      owner->RequestRefocus();
    }
  } else {
    visible_ = true;
    Invalidate();
    if (owner && !owner->FocusedControl()) owner->RequestRefocus();
  }
}

void TKestControl::SetHandleKey(bool b) {
  handleKey_ = b;
  TKestBaseList* owner = Owner();
  if (!owner) return;
  TKestControl* f = owner->FocusedControl();
  if ((b && !f) || (!b && f == this)) owner->RequestRefocus();
}

int32_t TKestControl::PlaceX(bool withAnchor) const {
  const int64_t z = IntProp(PR_ZOOMX);
  const bool hasMotion = motion_ != nullptr;
  const bool flip = BoolProp(PR_FLIPH);
  const TKestControl* p = parent_;
  if (withAnchor && posZoomed_ && p && !p->IsScreen() && !hasMotion) {
    TCustomDIBX* ps = p->GetSurface();
    TCustomDIBX* own = GetSurface();
    int32_t pw = p->IntProp(PR_WIDTH);
    // A parent without a width has no scale to place by; the plain rule applies then.
    if (ps && own && z == p->IntProp(PR_ZOOMX) && pw > 0) {
      Float q = Float(ps->Width()) / Float(pw) * 65536;
      int64_t d = std::max<int64_t>(1, int64_t(std::trunc(q)));
      int64_t n = flip ? (int64_t(ps->Width()) + offsetX_ - left_ - own->Width()) * 65536
                       : (int64_t(left_) - offsetX_) * 65536;
      int64_t e = n / d;
      if (n % d > 32767) ++e;
      return Wrap(e + p->DrawX() + plusX_ - p->IntProp(PR_SCROLLX));
    }
  }
  int64_t a = 0;
  if (withAnchor) {
    int64_t w = IntProp(PR_WIDTH);
    if (flip)
      a = z == 256 ? w - offsetX_ - 1 : w - z * offsetX_ / 256 - 1;
    else
      a = z != 256 ? z * offsetX_ / 256 : offsetX_;
  }
  int64_t c = hasMotion ? motionX_ : posZoomed_ ? z * left_ / 256 : left_;
  int64_t r = c - a + plusX_;
  if (p) r += int64_t(p->DrawX()) - p->IntProp(PR_SCROLLX);
  return Wrap(r);
}

int32_t TKestControl::PlaceY(bool withAnchor) const {
  const int64_t z = IntProp(PR_ZOOMY);
  const bool hasMotion = motion_ != nullptr;
  const bool flip = BoolProp(PR_FLIPV);
  const TKestControl* p = parent_;
  if (withAnchor && posZoomed_ && p && !p->IsScreen() && !hasMotion) {
    TCustomDIBX* ps = p->GetSurface();
    TCustomDIBX* own = GetSurface();
    int32_t ph = p->IntProp(PR_HEIGHT);
    if (ps && own && z == p->IntProp(PR_ZOOMY) && ph > 0) {
      Float q = Float(ps->Height()) / Float(ph) * 65536;
      int64_t d = std::max<int64_t>(1, int64_t(std::trunc(q)));
      int64_t n = flip ? (int64_t(ps->Height()) + offsetY_ - top_ - own->Height()) * 65536
                       : (int64_t(top_) - offsetY_) * 65536;
      int64_t e = n / d;
      if (n % d > 32767) ++e;
      return Wrap(e + p->DrawY() + plusY_ - p->IntProp(PR_SCROLLY));
    }
  }
  int64_t a = 0;
  if (withAnchor) {
    int64_t h = IntProp(PR_HEIGHT);
    if (flip)
      a = z == 256 ? h - offsetY_ - 1 : h - z * offsetY_ / 256 - 1;
    else
      a = z != 256 ? z * offsetY_ / 256 : offsetY_;
  }
  int64_t c = hasMotion ? motionY_ : posZoomed_ ? z * top_ / 256 : top_;
  int64_t r = c - a + plusY_;
  if (p) r += int64_t(p->DrawY()) - p->IntProp(PR_SCROLLY);
  return Wrap(r);
}

int32_t TKestControl::DrawX() const { return PlaceX(true); }
int32_t TKestControl::DrawY() const { return PlaceY(true); }
TKestPoint TKestControl::GetOrigin() const { return TKestPoint{PlaceX(false), PlaceY(false)}; }

int32_t TKestControl::LocalX() const {
  int64_t x = DrawX();
  if (parent_) x -= int64_t(parent_->DrawX()) - parent_->IntProp(PR_SCROLLX);
  return Wrap(x);
}

int32_t TKestControl::LocalY() const {
  int64_t y = DrawY();
  if (parent_) y -= int64_t(parent_->DrawY()) - parent_->IntProp(PR_SCROLLY);
  return Wrap(y);
}

TRect TKestControl::GetClipRect() const {
  if (clipWidth_ < 1 || clipHeight_ < 1) return TRect{};
  int32_t x = Wrap(int64_t(DrawX()) + clipLeft_), y = Wrap(int64_t(DrawY()) + clipTop_);
  return TRect{x, y, Wrap(int64_t(x) + clipWidth_), Wrap(int64_t(y) + clipHeight_)};
}

void TKestControl::AttachMotion(std::unique_ptr<TControlMotion> motion) {
  if (motion_) DetachMotion();
  motion_ = std::move(motion);
}

void TKestControl::DetachMotion() {
  motion_.reset();
  motionX_ = motionY_ = 0;
  SetPriorityOffset(0);
}

void TKestControl::Invalidate() {
  if (!IsVisible()) return;
  TKestBase* screen = GetScreen();
  if (!screen) return;
  TRect r = GetDrawRect();
  if (parent_ && !parent_->IntersectsVisibleArea(r)) return;
  TRect clip = GetClipRect();
  if (!clip.IsEmpty()) {
    r = IntersectRect(r, clip);
    if (r.IsEmpty()) return;
  }
  if (parent_) parent_->AdjustDirtyRect(r);
  screen->AddDirtyRect(r);
}

bool TKestControl::IntersectsVisibleArea(TRect& r) const {
  r = IntersectRect(r, GetDrawRect());
  return !r.IsEmpty();
}

void TKestControl::AdjustDirtyRect(TRect& r) const {
  if (parent_) parent_->AdjustDirtyRect(r);
}

void TKestControl::PositionChanged() {
  for (TKestControl* c : children_) c->PositionChanged();
}

void TKestControl::ClipChanged() {
  for (TKestControl* c : children_) c->ClipChanged();
}

void TKestControl::SaveToStream(TStream& s) const {
  TKestComponent::SaveToStream(s);
  for (int32_t v : {left_, top_, width_, height_, offsetX_, offsetY_}) WriteInt(s, v);
  WriteBool(s, posZoomed_);
  for (int32_t v : {motionX_, motionY_, plusX_, plusY_}) WriteInt(s, v);
  for (int32_t v : {clipLeft_, clipTop_, clipWidth_, clipHeight_}) WriteInt(s, v);
  WriteBool(s, aniPaused_);
  WriteBool(s, visible_);
  WriteInt(s, color_);
  for (int32_t v : reserved_) WriteInt(s, v);
  WriteByte(s, ignoreMouse_);
  WriteString(s, cursor_);
  for (const std::string& h : mouseHandlers_) WriteString(s, h);
  WriteBool(s, handleKey_);
  for (const std::string& h : keyHandlers_) WriteString(s, h);
  std::vector<const TKestControl*> saved;
  for (const TKestControl* c : children_)
    if (!c->IsScrapped() && c->Kind() != LT_NONE && !IsSystemName(c->Name())) saved.push_back(c);
  WriteInt(s, int32_t(saved.size()));
  for (const TKestControl* c : saved) {
    WriteByte(s, uint8_t(c->Kind()));
    c->SaveToStream(s);
  }
}

void TKestControl::LoadFromStream(TStream& s, int32_t version) {
  TKestComponent::LoadFromStream(s, version);
  left_ = ReadInt(s), top_ = ReadInt(s), width_ = ReadInt(s), height_ = ReadInt(s);
  offsetX_ = ReadInt(s), offsetY_ = ReadInt(s);
  posZoomed_ = ReadBool(s);
  if (version >= 130) motionX_ = ReadInt(s), motionY_ = ReadInt(s), plusX_ = ReadInt(s), plusY_ = ReadInt(s);
  if (version > 103) {
    clipLeft_ = ReadInt(s), clipTop_ = ReadInt(s), clipWidth_ = ReadInt(s), clipHeight_ = ReadInt(s);
    aniPaused_ = ReadBool(s);
  }
  visible_ = ReadBool(s);
  color_ = ReadInt(s);
  for (int32_t& v : reserved_) v = ReadInt(s);
  ignoreMouse_ = ReadByte(s);
  cursor_ = ReadString(s);
  mouseHandlers_[0] = ReadString(s);
  if (version > 101) mouseHandlers_[1] = ReadString(s);
  for (int i = 2; i < 9; ++i) mouseHandlers_[i] = ReadString(s);
  if (version > 117) {
    handleKey_ = ReadBool(s);
    for (std::string& h : keyHandlers_) h = ReadString(s);
  }
  int32_t n = ReadInt(s);
  // Each child takes at least its kind byte; a count beyond the data is damage.
  if (n < 0 || n > s.Remaining()) BadData();
  TKestBaseList* owner = Owner();
  if (n > 0 && !owner) BadData();
  if (n > 0 && ++owner->loadDepth_ > kMaxLoadDepth) {
    --owner->loadDepth_;
    BadData();
  }
  struct DepthGuard {
    TKestBaseList* o;
    bool on;
    ~DepthGuard() {
      if (on) --o->loadDepth_;
    }
  } guard{owner, n > 0};
  for (int32_t i = 0; i < n; ++i) {
    uint8_t kind = ReadByte(s);
    TKestObject* o = owner->CreateByKind(kind);
    // The stream stores no length for an object's data, so nothing after a child of an
    // unknown kind can be read.
    if (!o) BadData();
    if (!o->IsControl()) {
      owner->Delete(o);
      BadData();
    }
    auto* c = static_cast<TKestControl*>(o);
    c->SetParent(this);
    c->LoadFromStream(s, version);
  }
  SortChildren();
}

// ---------------------------------------------------------------------------------------
// TKestBase

void TKestBase::AddDirtyRect(const TRect& r) {
  TRect c = IntersectRect(r, TRect{0, 0, Width(), Height()});
  if (!c.IsEmpty()) dirty_.push_back(c);
}

// ---------------------------------------------------------------------------------------
// TKestBaseList

TKestBaseList::TKestBaseList() : TKestComponent(nullptr) {
  for (int i = 0; i < 2; ++i) {
    // Screens answer weak handles but are not registered, so no name lookup meets them.
    screens_[i] = std::make_unique<TKestBase>(this);
    screens_[i]->AssignName(std::string(i == 0 ? kScreen0Name : kScreen1Name));
    screens_[i]->serial_ = nextSerial_++;
    bySerial_[screens_[i]->serial_] = screens_[i].get();
  }
}

TKestBaseList::~TKestBaseList() {
  // The event queue and the input layer go with the list; nothing is reported any more.
  hooks_ = &noHooks_;
  for (auto& s : screens_) {
    TKestBase* screen = s.get();
    screen->DestroyChildren();
    bySerial_.erase(screen->serial_);
    s.reset();
  }
  DestroyAll();
}

TKestObject* TKestBaseList::Adopt(std::unique_ptr<TKestObject> object) {
  if (!object) return nullptr;
  TKestObject* o = object.get();
  o->owner_ = this;
  o->serial_ = nextSerial_++;
  bySerial_[o->serial_] = o;
  objects_.push_back(std::move(object));
  if (!o->name_.empty()) IndexName(o);
  if (o->NeedsAutoName()) o->AssignName(UniqueName("object"));
  return o;
}

TKestObject* TKestBaseList::CreateByKind(int32_t code) {
  code &= 0x7F;
  if (!IsCreatableKind(code)) return nullptr;
  TKindFactory f = Registry()[size_t(code)];
  if (!f) return nullptr;
  return Adopt(f(this));
}

TKestObject* TKestBaseList::GetObject(int32_t i) const {
  return i >= 0 && size_t(i) < objects_.size() ? objects_[size_t(i)].get() : nullptr;
}

int32_t TKestBaseList::IndexOf(const TKestObject* o) const {
  for (size_t i = 0; i < objects_.size(); ++i)
    if (objects_[i].get() == o) return int32_t(i);
  return -1;
}

TKestObject* TKestBaseList::FindBySerial(uint64_t serial) const {
  auto it = bySerial_.find(serial);
  return it == bySerial_.end() ? nullptr : it->second;
}

TKestObject* TKestBaseList::FindRegistered(std::string_view name) const {
  if (name.empty()) return nullptr;
  auto it = byName_.find(name);
  if (it == byName_.end()) return nullptr;
  for (TKestObject* o : it->second)
    if (!o->scrapped_) return o;
  return nullptr;
}

TKestObject* TKestBaseList::FindObject(std::string_view name) const {
  if (name.empty() || name == kScreen0Name) return ActiveScreen();
  if (name == kBackScreenAlias || name == kScreen1Name) return BackScreen();
  return FindRegistered(name);
}

TKestControl* TKestBaseList::FindContainer(std::string_view name) const {
  if (name.empty()) return ActiveScreen();
  if (name == kBackScreenAlias) return BackScreen();
  if (name == kScreen0Name) return Screen(0);
  if (name == kScreen1Name) return Screen(1);
  auto it = byName_.find(name);
  if (it == byName_.end()) return nullptr;
  for (TKestObject* o : it->second)
    if (!o->scrapped_ && o->IsControl()) return static_cast<TKestControl*>(o);
  return nullptr;
}

std::string TKestBaseList::UniqueName(std::string_view prefix) {
  // Every number below the floor is known to be taken; freeing a generated name lowers it.
  int64_t& floor = uniqueFloor_[std::string(prefix)];
  std::string candidate;
  for (int64_t n = floor;; ++n) {
    candidate.assign(prefix);
    candidate += std::to_string(n);
    if (byName_.find(std::string_view(candidate)) == byName_.end()) {
      floor = n;
      return candidate;
    }
  }
}

void TKestBaseList::IndexName(TKestObject* o) {
  if (o->name_.empty() || o->scrapped_) return;
  std::vector<TKestObject*>& v = byName_[o->name_];
  auto pos = std::upper_bound(v.begin(), v.end(), o,
                              [](const TKestObject* a, const TKestObject* b) { return a->serial_ < b->serial_; });
  v.insert(pos, o);
}

void TKestBaseList::UnindexName(TKestObject* o) {
  if (o->name_.empty()) return;
  auto it = byName_.find(std::string_view(o->name_));
  if (it == byName_.end()) return;
  auto& v = it->second;
  auto pos = std::find(v.begin(), v.end(), o);
  if (pos == v.end()) return;
  v.erase(pos);
  if (!v.empty()) return;
  byName_.erase(it);
  for (auto& [prefix, floor] : uniqueFloor_) {
    int64_t n = GeneratedNumber(o->name_, prefix);
    if (n >= 0 && n < floor) floor = n;
  }
}

int32_t TKestBaseList::ListNames(int32_t kind, const TKestObject* container, std::vector<std::string>& out) const {
  if (kind < 0 || kind >= kKindCount) kind = LT_NONE;
  int32_t count = 0;
  for (const auto& up : objects_) {
    const TKestObject* o = up.get();
    if (o->scrapped_) continue;
    if (kind != LT_NONE && o->Kind() != kind) continue;
    if (container != this && o->Parent() != container) continue;
    out.push_back(o->name_);
    ++count;
  }
  return count;
}

std::unique_ptr<TKestObject> TKestBaseList::Unregister(TKestObject* o) {
  for (size_t i = 0; i < objects_.size(); ++i) {
    if (objects_[i].get() != o) continue;
    std::unique_ptr<TKestObject> up = std::move(objects_[i]);
    objects_.erase(objects_.begin() + ptrdiff_t(i));
    if (i < updatePos_) --updatePos_;
    UnindexName(o);
    bySerial_.erase(o->serial_);
    return up;
  }
  return nullptr;
}

void TKestBaseList::Destroy(std::unique_ptr<TKestObject> o) { o.reset(); }

void TKestBaseList::MarkScrapped(TKestObject* o) {
  if (o->scrapped_) return;
  UnindexName(o);
  o->scrapped_ = true;
  scrapSet_.push_back(o->Ref());
}

void TKestBaseList::Delete(TKestObject* o) {
  if (!o || o->IsScreen()) return;
  if (TKestControl* p = o->Parent()) {
    auto* c = static_cast<TKestControl*>(o);
    p->RemoveChild(c);
    c->parent_ = nullptr;
  }
  Destroy(Unregister(o));
}

void TKestBaseList::DestroyAll() {
  // Top-down: destroying a control takes its registered children with it, so the list is
  // re-read after every destruction and nothing is destroyed twice.
  while (!objects_.empty()) {
    TKestObject* o = objects_.front().get();
    if (TKestControl* p = o->Parent()) {
      auto* c = static_cast<TKestControl*>(o);
      p->RemoveChild(c);
      c->parent_ = nullptr;
    }
    Destroy(Unregister(o));
  }
  scrapSet_.clear();
  updatePos_ = 0;
}

void TKestBaseList::UpdateObjects() {
  screens_[0]->Update();
  screens_[1]->Update();
  updatePos_ = 0;
  while (updatePos_ < objects_.size()) {
    TKestObject* o = objects_[updatePos_].get();
    if (!o->scrapped_ && !o->IsInCabinet() && !o->IsClosing() && !o->ReadProp(PR_ONIDLE).Str.empty())
      hooks_->IdleDue(*o);
    if (o->IsPaused() || o->scrapped_ || o->IsInCabinet()) {
      ++updatePos_;
      continue;
    }
    uint64_t serial = o->serial_;
    bool finished = o->Update();
    // The object may have deleted others (the position follows) or itself.
    if (!FindBySerial(serial)) continue;
    if (!finished) {
      ++updatePos_;
      continue;
    }
    Delete(o);
  }
  std::vector<TObjectRef> scrapped = std::move(scrapSet_);
  scrapSet_.clear();
  for (const TObjectRef& r : scrapped)
    if (TKestObject* o = FindBySerial(r.Serial)) Delete(o);
}

TKestControl* TKestBaseList::FocusedControl() const {
  TKestObject* o = FindBySerial(focused_.Serial);
  return o && o->IsControl() ? static_cast<TKestControl*>(o) : nullptr;
}

void TKestBaseList::SetFocusedDirect(TKestControl* c) { focused_ = c ? c->Ref() : TObjectRef{}; }

// ---------------------------------------------------------------------------------------
// Property access by number

void GetProperty(const TKestObject& object, int32_t index, TCustomParam& variable) {
  int32_t id = index & 0xFF;
  if (id >= kPropCount) throw EKest(object_msg::kGetPropError);
  TPropValue v = object.ReadProp(id);
  switch (PropInfo(id).Kind) {
    case PT_INT: variable.SetInt(v.Int); break;
    case PT_FLOAT: variable.SetFloat(v.Real); break;
    case PT_BOOL: variable.SetBool(v.Flag); break;
    case PT_STR: variable.SetStr(v.Str); break;
    default: break;
  }
}

void SetProperty(TKestObject& object, int32_t index, const TCustomParam& value) {
  int32_t id = index & 0xFF;
  const TPropInfo& info = PropInfo(id);
  if (id >= kPropCount || info.Access == TPropAccess::WriteError) throw EKest(object_msg::kSetPropError);
  if (info.Access == TPropAccess::ReadOnly) return;
  TPropValue v;
  v.Kind = info.Kind;
  switch (info.Kind) {
    case PT_INT: v.Int = value.GetInt(); break;
    case PT_FLOAT: v.Real = value.GetFloat(); break;
    case PT_BOOL: v.Flag = value.GetBool(); break;
    case PT_STR: v.Str = value.GetStr(); break;
    default: break;
  }
  object.SetProp(id, v);
}

}  // namespace kest
