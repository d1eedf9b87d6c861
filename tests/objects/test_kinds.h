// Test-only kinds: a control with a picture surface, zoom, flips and scroll, and a
// component with one field, registered under the box and timer codes of this binary.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "gfx/dibx.h"
#include "objects/litems.h"
#include "vfs/records.h"

namespace kest::test {

class TTestControl : public TKestControl {
 public:
  using TKestControl::TKestControl;
  int32_t Kind() const override { return LT_BOX; }

  bool GetProp(int32_t id, TPropValue& out) const override {
    switch (id) {
      case PR_ZOOMX: out = TPropValue::OfInt(zoomX); return true;
      case PR_ZOOMY: out = TPropValue::OfInt(zoomY); return true;
      case PR_FLIPH: out = TPropValue::OfBool(flipH); return true;
      case PR_FLIPV: out = TPropValue::OfBool(flipV); return true;
      case PR_SCROLLX: out = TPropValue::OfInt(scrollX); return true;
      case PR_SCROLLY: out = TPropValue::OfInt(scrollY); return true;
      case PR_ALPHA: out = TPropValue::OfInt(alpha); return true;
      case PR_PAUSED: out = TPropValue::OfBool(paused); return true;
      case PR_VALUE: out = TPropValue::OfInt(extra); return true;
      case PR_ONIDLE: out = TPropValue::OfStr(onIdle); return true;
      default: return TKestControl::GetProp(id, out);
    }
  }
  void SetProp(int32_t id, const TPropValue& v) override {
    switch (id) {
      case PR_ZOOMX: zoomX = v.Int; break;
      case PR_ZOOMY: zoomY = v.Int; break;
      case PR_VALUE: extra = v.Int; break;
      case PR_PAUSED: paused = v.Flag; break;
      default: TKestControl::SetProp(id, v); break;
    }
  }
  TCustomDIBX* GetSurface() const override { return surface.get(); }
  bool Update() override {
    ++updates;
    return finishNow;
  }
  void EnteredCabinet() override { ++entered; }
  void LeftCabinet() override { ++left; }
  void SaveToStream(TStream& s) const override {
    TKestControl::SaveToStream(s);
    WriteInt(s, extra);
  }
  void LoadFromStream(TStream& s, int32_t version) override {
    TKestControl::LoadFromStream(s, version);
    extra = ReadInt(s);
  }
  void GiveSurface(int32_t w, int32_t h) { surface = std::make_unique<TDIBX>(w, h, 32); }

  int32_t zoomX = 256, zoomY = 256, scrollX = 0, scrollY = 0, alpha = 255, extra = 0;
  bool flipH = false, flipV = false, paused = false, finishNow = false;
  std::string onIdle;
  int updates = 0, entered = 0, left = 0;
  std::unique_ptr<TDIBX> surface;
};

class TTestComponent : public TKestComponent {
 public:
  using TKestComponent::TKestComponent;
  int32_t Kind() const override { return LT_TIMER; }
  bool GetProp(int32_t id, TPropValue& out) const override {
    if (id == PR_DELAY) return out = TPropValue::OfInt(delay), true;
    return TKestComponent::GetProp(id, out);
  }
  void SetProp(int32_t id, const TPropValue& v) override {
    if (id == PR_DELAY) delay = v.Int;
    else TKestComponent::SetProp(id, v);
  }
  bool Update() override {
    ++updates;
    return false;
  }
  void SaveToStream(TStream& s) const override {
    TKestComponent::SaveToStream(s);
    WriteInt(s, delay);
  }
  void LoadFromStream(TStream& s, int32_t version) override {
    TKestComponent::LoadFromStream(s, version);
    delay = ReadInt(s);
  }
  int32_t delay = 0;
  int updates = 0;
};

inline void RegisterTestKinds() {
  RegisterKind(LT_BOX, [](TKestBaseList* o) -> std::unique_ptr<TKestObject> {
    return std::make_unique<TTestControl>(o);
  });
  RegisterKind(LT_TIMER, [](TKestBaseList* o) -> std::unique_ptr<TKestObject> {
    return std::make_unique<TTestComponent>(o);
  });
}

// Records what the event queue and the input layer would be told.
class TFakeHooks : public TObjectHooks {
 public:
  void ObjectDestroyed(uint64_t serial) override { destroyed.push_back(serial); }
  void FocusLost(TKestControl& c) override { focusLost.push_back(c.Name()); }
  void IdleDue(TKestObject& o) override { idle.push_back(o.Name()); }
  std::vector<uint64_t> destroyed;
  std::vector<std::string> focusLost, idle;
};

}  // namespace kest::test
