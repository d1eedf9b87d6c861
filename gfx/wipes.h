// Screen transitions ("wipes"): the picture changes from FromImage to ToImage over
// TransitionDuration time units, one Step per frame.
//
// Driving protocol: CreateTransition (kind, target, from, to); set TransitionDuration and
// TransitionPosition; SetReverse; optionally SetParam (0 and 1) and SetParamFile; Setup.
// Then every frame: store the elapsed time in TransitionPosition, call Step, present
// UpdateRect. Step answers true once the position has reached the duration; the host then
// frees the transition and shows the new picture. Only the ratio of position to duration
// matters, so the host's time unit (player milliseconds, film ticks) is free.
//
// Kind 0 is the plain cut: no transition object, the host shows the new picture at once.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "gfx/dibx.h"

namespace kest {

inline constexpr int32_t kWipeKindCount = 38;  // kinds 1 .. 38; 0 = no transition

class TCustomWipe {
 public:
  TCustomWipe(TCustomDIBX& target, TCustomDIBX& toImage, TCustomDIBX& fromImage);
  virtual ~TCustomWipe() = default;
  TCustomWipe(const TCustomWipe&) = delete;
  TCustomWipe& operator=(const TCustomWipe&) = delete;

  virtual void SetReverse(uint8_t flag) { Reverse = flag; }
  virtual int32_t GetParam(int32_t i) const;
  // Indices other than 0 and 1 are ignored.
  virtual void SetParam(int32_t i, int32_t value);
  virtual void SetParamFile(const std::string& name) { ParamFile = name; }
  // Called after the parameters are set, and again whenever a host sets them anew (motion
  // files do so on every tick); prepares what the drawing needs.
  virtual void Setup() {}
  // Draws the picture for TransitionPosition; true when the position has reached the
  // duration (then nothing is drawn). A duration of 0 or less is finished at once.
  virtual bool Step() = 0;

  uint8_t Reverse = 0;
  std::string ParamFile;
  TCustomDIBX* TargetSurface;
  TCustomDIBX* FromImage;
  TCustomDIBX* ToImage;
  int32_t TransitionDuration = 0;
  int32_t TransitionPosition = 0;
  std::array<int32_t, 2> Params{0, 0};
  TRect UpdateRect;

 protected:
  // Sets UpdateRect to the whole target; true when the transition is over.
  bool BeginStep();
  // value * position / duration in 64 bits, the position held to 0 .. duration (so a
  // level never leaves 0 .. value). Truncating division, as every level formula uses.
  int64_t Scale(int64_t value) const;
  // Limits drawing on the target to the whole target.
  void ClipToTarget();
};

// Kinds whose picture is a per-pixel mix of the two images through an 8-bit mask.
class TWipeMask : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;

  // p0 is raised to at least 2, p1 to at least 1.
  void SetParam(int32_t i, int32_t value) override;
  // The mask becomes target width x MaskHeight rows of 0; the last level is forgotten, so
  // the next Step always composes.
  void Setup() override;
  bool Step() override;

  // Recomputes the mask for TransitionPosition; true when it changed. Kinds compare their
  // level with LastLevel, store it and rewrite Mask.
  virtual bool BuildMask() = 0;
  // Rows of the mask; row y of the target uses mask row y mod MaskHeight.
  virtual int32_t MaskHeight() const { return TargetSurface->Height(); }

  TDIBX Mask{1, 1, 8};
  int64_t LastLevel = -1;
  bool HardEdge = false;
};

// Mask kinds with an order table of one byte per target column (H) or row (V).
class TWipeOrderHMask : public TWipeMask {
 public:
  TWipeOrderHMask(TCustomDIBX& target, TCustomDIBX& toImage, TCustomDIBX& fromImage);
  // Both parameters are raised to at least 1.
  void SetParam(int32_t i, int32_t value) override;
  std::vector<uint8_t> Order;
};
class TWipeOrderVMask : public TWipeMask {
 public:
  TWipeOrderVMask(TCustomDIBX& target, TCustomDIBX& toImage, TCustomDIBX& fromImage);
  void SetParam(int32_t i, int32_t value) override;
  std::vector<uint8_t> Order;
};

// Kind 1: To fades in over From; with offsets (p0, p1) it also slides in from there.
class TWipeFade : public TCustomWipe {
 public:
  using TCustomWipe::TCustomWipe;
  bool Step() override;
};

// The mix of the mask composition, the whole target from the two pictures:
// m = 0 gives From, m = 255 To, else (m * To + (255 - m) * From) / 256 per channel; with
// hardEdge every m other than 0 gives To. Row y reads mask row y mod the mask's height.
// Pictures of another layout than the target's are converted first; only the part that
// all three cover is drawn. The row loops are the surface's own (scalar and SIMD alike).
void ComposeThroughMask(TCustomDIBX& target, const TCustomDIBX& from, const TCustomDIBX& to, const TDIBX& mask,
                        bool hardEdge);

// The default parameters of every kind: two numbers for each of kinds 0 .. 38. One table
// belongs to each loaded project, which sets the zoom centre of kind 30 to the middle of
// its scene.
class TWipeDefaults {
 public:
  TWipeDefaults();
  int32_t Param(int32_t kind, int32_t i) const;
  void SetParam(int32_t kind, int32_t i, int32_t value);
  // Kind 30 zooms into (width / 2, height / 2) by default.
  void SetSceneSize(int32_t width, int32_t height);

 private:
  std::array<std::array<int32_t, 2>, kWipeKindCount + 1> table_;
};

// A maker of one kind, for kinds added by the catalogue.
using TWipeMaker = std::unique_ptr<TCustomWipe> (*)(TCustomDIBX& target, TCustomDIBX& from, TCustomDIBX& to);
// Makes kind `kind` build with `maker` (nullptr takes it away again). Kinds outside 1 .. 38
// are ignored.
void RegisterWipeKind(int32_t kind, TWipeMaker maker);
bool WipeKindAvailable(int32_t kind);

// The transition of that kind with the defaults applied (SetParam 0 and 1), or nothing for
// kind 0, kinds outside 1 .. 38 and kinds not built into this player.
std::unique_ptr<TCustomWipe> CreateTransition(int32_t kind, TCustomDIBX& target, TCustomDIBX& from,
                                              TCustomDIBX& to, const TWipeDefaults& defaults);

}  // namespace kest
