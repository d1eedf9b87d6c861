#include "gfx/wipes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "gfx/dibx_kernels.h"

namespace kest {

// --- base ------------------------------------------------------------------------------

TCustomWipe::TCustomWipe(TCustomDIBX& target, TCustomDIBX& toImage, TCustomDIBX& fromImage)
    : TargetSurface(&target), FromImage(&fromImage), ToImage(&toImage), UpdateRect(target.BoundsRect()) {}

int32_t TCustomWipe::GetParam(int32_t i) const { return i == 0 || i == 1 ? Params[size_t(i)] : 0; }

void TCustomWipe::SetParam(int32_t i, int32_t value) {
  if (i == 0 || i == 1) Params[size_t(i)] = value;
}

bool TCustomWipe::BeginStep() {
  UpdateRect = TargetSurface->BoundsRect();
  return TransitionDuration <= 0 || TransitionPosition >= TransitionDuration;
}

int64_t TCustomWipe::Scale(int64_t value) const {
  if (TransitionDuration <= 0) return value;
  const int64_t p = std::clamp<int64_t>(TransitionPosition, 0, TransitionDuration);
  return value * p / TransitionDuration;
}

void TCustomWipe::ClipToTarget() {
  TargetSurface->ResetClip();
  TargetSurface->AddClip(TargetSurface->BoundsRect());
}

// --- mask composition -------------------------------------------------------------------

namespace {

// The picture in the target's layout: itself, or a converted copy kept in `store`.
const TCustomDIBX& InLayout(const TCustomDIBX& pic, int32_t bitCount, std::unique_ptr<TDIBX>& store) {
  if (pic.BitCount() == bitCount) return pic;
  store = std::make_unique<TDIBX>(std::max(pic.Width(), 1), std::max(pic.Height(), 1), bitCount);
  store->Assign(pic);
  return *store;
}

}  // namespace

void ComposeThroughMask(TCustomDIBX& target, const TCustomDIBX& from, const TCustomDIBX& to, const TDIBX& mask,
                        bool hardEdge) {
  TPixelView d;
  if (!target.View(d) || d.IsEmpty()) return;
  const int layout = dibx::LayoutOf(d.BitCount);
  if (layout < 0) return;
  std::unique_ptr<TDIBX> fromStore, toStore;
  const TCustomDIBX& f = InLayout(from, d.BitCount, fromStore);
  const TCustomDIBX& t = InLayout(to, d.BitCount, toStore);
  TPixelView fv, tv, mv;
  if (!f.View(fv) || !t.View(tv) || !mask.View(mv) || fv.IsEmpty() || tv.IsEmpty() || mv.IsEmpty() ||
      mv.BitCount != 8)
    return;
  const int32_t w = std::min({d.Width, fv.Width, tv.Width, mv.Width});
  const int32_t h = std::min({d.Height, fv.Height, tv.Height});
  const size_t rowBytes = size_t(w) * size_t(d.BytesPerPixel());
  const dibx::TKernels& k = dibx::Kernels(layout);
  // With hard edges a mask row is first turned into 0 / 255; rows repeat, so each mask row
  // is turned once.
  std::vector<uint8_t> hard;
  if (hardEdge) {
    const int32_t mh = std::min(mv.Height, h);
    hard.resize(size_t(w) * size_t(mh));
    for (int32_t y = 0; y < mh; ++y) {
      const uint8_t* m = mv.Row(y);
      uint8_t* o = hard.data() + size_t(y) * size_t(w);
      for (int32_t x = 0; x < w; ++x) o[x] = m[x] ? 255 : 0;
    }
  }
  for (int32_t y = 0; y < h; ++y) {
    const int32_t my = y % mv.Height;
    const uint8_t* m = hardEdge ? hard.data() + size_t(my) * size_t(w) : mv.Row(my);
    uint8_t* dr = d.Row(y);
    const uint8_t* fr = fv.Row(y);
    // The target may be one of the pictures itself: copy From only when it is another row.
    if (dr != fr) std::memmove(dr, fr, rowBytes);
    k.Mask(dr, tv.Row(y), m, w);
  }
  target.Changed();
}

// --- mask kinds -------------------------------------------------------------------------

void TWipeMask::SetParam(int32_t i, int32_t value) {
  if (i == 0) value = std::max(value, 2);
  if (i == 1) value = std::max(value, 1);
  TCustomWipe::SetParam(i, value);
}

void TWipeMask::Setup() {
  const int32_t w = std::max(TargetSurface->Width(), 1);
  const int32_t h = std::clamp(MaskHeight(), 1, std::max(TargetSurface->Height(), 1));
  Mask.SetSize(w, h, 8);
  Mask.Clear(0);
  LastLevel = -1;
}

bool TWipeMask::Step() {
  if (BeginStep()) return true;
  // A kind whose Setup was never called still gets a mask of the right size.
  const int32_t h = std::clamp(MaskHeight(), 1, std::max(TargetSurface->Height(), 1));
  if (Mask.Width() != std::max(TargetSurface->Width(), 1) || Mask.Height() != h) TWipeMask::Setup();
  if (!BuildMask()) return false;
  ComposeThroughMask(*TargetSurface, *FromImage, *ToImage, Mask, HardEdge);
  return false;
}

TWipeOrderHMask::TWipeOrderHMask(TCustomDIBX& target, TCustomDIBX& toImage, TCustomDIBX& fromImage)
    : TWipeMask(target, toImage, fromImage), Order(size_t(std::max(target.Width(), 0)), 0) {}

void TWipeOrderHMask::SetParam(int32_t i, int32_t value) { TCustomWipe::SetParam(i, std::max(value, 1)); }

TWipeOrderVMask::TWipeOrderVMask(TCustomDIBX& target, TCustomDIBX& toImage, TCustomDIBX& fromImage)
    : TWipeMask(target, toImage, fromImage), Order(size_t(std::max(target.Height(), 0)), 0) {}

void TWipeOrderVMask::SetParam(int32_t i, int32_t value) { TCustomWipe::SetParam(i, std::max(value, 1)); }

// --- kind 1 -----------------------------------------------------------------------------

bool TWipeFade::Step() {
  if (BeginStep()) return true;
  ClipToTarget();
  TargetSurface->Assign(*FromImage);
  const int64_t d = TransitionDuration;
  const int64_t p = std::clamp<int64_t>(TransitionPosition, 0, d);
  // The offset shrinks to 0 as the position nears the end: Round ((D - p - 1) / D * p0),
  // halves to even.
  const long double r = static_cast<long double>(d - p - 1) / static_cast<long double>(d);
  const auto offset = [&](int32_t v) {
    const long double o = std::nearbyint(r * static_cast<long double>(v));
    return int32_t(std::clamp<long double>(o, -2147483647.0L, 2147483647.0L));
  };
  const int32_t alpha = int32_t(Scale(256));
  TargetSurface->DrawAlpha(offset(Params[0]), offset(Params[1]), ToImage->BoundsRect(), *ToImage, alpha, false);
  return false;
}

// --- defaults and the factory -----------------------------------------------------------

namespace {

constexpr std::array<std::array<int32_t, 2>, kWipeKindCount + 1> kDefaultParams{{
    {0, 0},                                                         // 0 (none)
    {0, 0},   {20, 1},  {20, 1},  {30, 1},  {30, 1},                // 1 .. 5
    {0, 0},   {0, 0},   {80, 30}, {80, 30}, {80, 30},               // 6 .. 10
    {0, 0},   {0, 0},   {0, 0},   {0, 0},   {0, 0},                 // 11 .. 15
    {0, 0},   {0, 0},   {0, 0},   {0, 0},   {0, 0},                 // 16 .. 20
    {0, 0},   {0, 0},   {0, 0},   {5, 0},   {0, 0},                 // 21 .. 25
    {0, 0},   {0, 0},   {0, 0},   {64, 3},  {0, 0},                 // 26 .. 30 (30: the scene centre)
    {0, 0},   {0, 0},   {0, 0},   {0, 0},   {0, 0},                 // 31 .. 35
    {0, 0},   {60, 0},  {60, 0},                                    // 36 .. 38
}};

std::unique_ptr<TCustomWipe> MakeFade(TCustomDIBX& target, TCustomDIBX& from, TCustomDIBX& to) {
  return std::make_unique<TWipeFade>(target, to, from);
}

std::array<TWipeMaker, kWipeKindCount + 1>& Makers() {
  static std::array<TWipeMaker, kWipeKindCount + 1> makers = [] {
    std::array<TWipeMaker, kWipeKindCount + 1> m{};
    m[1] = &MakeFade;
    return m;
  }();
  return makers;
}

}  // namespace

TWipeDefaults::TWipeDefaults() : table_(kDefaultParams) {}

int32_t TWipeDefaults::Param(int32_t kind, int32_t i) const {
  if (kind < 0 || kind > kWipeKindCount || (i != 0 && i != 1)) return 0;
  return table_[size_t(kind)][size_t(i)];
}

void TWipeDefaults::SetParam(int32_t kind, int32_t i, int32_t value) {
  if (kind < 0 || kind > kWipeKindCount || (i != 0 && i != 1)) return;
  table_[size_t(kind)][size_t(i)] = value;
}

void TWipeDefaults::SetSceneSize(int32_t width, int32_t height) {
  table_[30] = {width / 2, height / 2};
}

void RegisterWipeKind(int32_t kind, TWipeMaker maker) {
  if (kind < 1 || kind > kWipeKindCount) return;
  Makers()[size_t(kind)] = maker;
}

bool WipeKindAvailable(int32_t kind) {
  return kind >= 1 && kind <= kWipeKindCount && Makers()[size_t(kind)] != nullptr;
}

std::unique_ptr<TCustomWipe> CreateTransition(int32_t kind, TCustomDIBX& target, TCustomDIBX& from,
                                              TCustomDIBX& to, const TWipeDefaults& defaults) {
  if (!WipeKindAvailable(kind)) return nullptr;
  std::unique_ptr<TCustomWipe> w = Makers()[size_t(kind)](target, from, to);
  if (!w) return nullptr;
  w->SetParam(0, defaults.Param(kind, 0));
  w->SetParam(1, defaults.Param(kind, 1));
  return w;
}

}  // namespace kest
