// The page-object framework: the root of every page object, its non-visual and visual
// branches, the owner list that registers, names, finds and destroys objects, the
// properties by number, placement and the object streams of game saves.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/types.h"
#include "gfx/geometry.h"
#include "objects/litems_vocab.h"

namespace kest {

class TStream;
class TCustomParam;
class TCustomDIBX;
class TKestObject;
class TKestControl;
class TKestBase;
class TKestBaseList;

// The stream versions of saved objects: written as the newest, read from the oldest.
inline constexpr int32_t kObjectStreamVersion = 140;
inline constexpr int32_t kMinObjectStreamVersion = 107;

// A point in screen or client coordinates.
struct TKestPoint {
  int32_t X = 0, Y = 0;
  bool operator==(const TKestPoint&) const = default;
};

// A property value already converted to the property's declared kind.
struct TPropValue {
  TParamKind Kind = PT_INT;
  int32_t Int = 0;
  Float Real = 0;
  bool Flag = false;
  std::string Str;

  static TPropValue OfInt(int32_t v) { TPropValue p; p.Kind = PT_INT; p.Int = v; return p; }
  static TPropValue OfFloat(Float v) { TPropValue p; p.Kind = PT_FLOAT; p.Real = v; return p; }
  static TPropValue OfBool(bool v) { TPropValue p; p.Kind = PT_BOOL; p.Flag = v; return p; }
  static TPropValue OfStr(std::string v) { TPropValue p; p.Kind = PT_STR; p.Str = std::move(v); return p; }
};

// A weak handle to a registered object: its owner and the serial it got on registration.
// Whatever remembers an object across calls or frames keeps one of these and resolves it
// when it needs the object; a destroyed object never resolves again, even when a new one
// takes its memory.
struct TObjectRef {
  TKestBaseList* Owner = nullptr;
  uint64_t Serial = 0;  // 0: none

  TKestObject* Resolve() const;
  explicit operator bool() const { return Serial != 0; }
  bool operator==(const TObjectRef&) const = default;
};

// What the event queue and the input layer do when objects go away. The owner calls these;
// the defaults do nothing, so a list without an event queue still works.
class TObjectHooks {
 public:
  virtual ~TObjectHooks() = default;
  // An object is being destroyed: remove its waiting events. Only the serial identifies it.
  virtual void ObjectDestroyed(uint64_t serial) { (void)serial; }
  // The focused control is being destroyed: raise its focus-out event. The control is
  // still readable as a control (its kind's own part may already be gone).
  virtual void FocusLost(TKestControl& control) { (void)control; }
  // The update pass found an object with an idle handler that is due for an idle event;
  // the queue posts it unless one of this object is already queued.
  virtual void IdleDue(TKestObject& object) { (void)object; }
};

// The frame-list motion attached to a control (built with the motion files); the control
// owns it.
class TControlMotion {
 public:
  virtual ~TControlMotion() = default;
  virtual bool IsRunning() const { return true; }
};

// The root of all page objects.
class TKestObject {
 public:
  explicit TKestObject(TKestBaseList* owner) : owner_(owner) {}
  virtual ~TKestObject();
  TKestObject(const TKestObject&) = delete;
  TKestObject& operator=(const TKestObject&) = delete;

  TKestBaseList* Owner() const { return owner_; }
  uint64_t Serial() const { return serial_; }
  TObjectRef Ref() const { return TObjectRef{owner_, serial_}; }

  // The kind code (PR_COMPOTYPE); 0 for base classes and screens.
  virtual int32_t Kind() const { return LT_NONE; }
  virtual bool IsControl() const { return false; }
  virtual bool IsScreen() const { return false; }
  virtual bool IsCabinet() const { return false; }
  // False for the kinds that are named by whoever creates them.
  virtual bool NeedsAutoName() const { return true; }

  const std::string& Name() const { return name_; }
  // Renames by the rules of the kind (components scrap an older holder of the name,
  // controls give it a numbered name).
  virtual void SetName(const std::string& name);
  const std::string& Tag() const { return tag_; }
  void SetTag(const std::string& tag) { tag_ = tag; }
  int32_t Priority() const { return priority_; }
  int32_t PriorityOffset() const { return priorityOffset_; }
  void SetPriority(int32_t p);
  void SetPriorityOffset(int32_t o);

  // Deferred deletion: the owner destroys the object at the end of its update pass.
  void Scrap();
  bool IsScrapped() const { return scrapped_; }

  // One property by number, already in the property's kind. GetProp answers false when
  // this class does not implement the property (the caller then uses the read default);
  // SetProp ignores what it does not implement. Each class handles its own properties and
  // passes the rest to its base.
  virtual bool GetProp(int32_t id, TPropValue& out) const;
  virtual void SetProp(int32_t id, const TPropValue& value);
  // The value of a property with the read default filled in.
  TPropValue ReadProp(int32_t id) const;
  int32_t IntProp(int32_t id) const { return ReadProp(id).Int; }
  bool BoolProp(int32_t id) const { return ReadProp(id).Flag; }

  // Tree and placement; the root has neither.
  virtual TKestControl* Parent() const { return nullptr; }
  virtual TKestBase* GetScreen() const { return nullptr; }
  virtual TCustomDIBX* GetTargetSurface() const { return nullptr; }
  virtual TCustomDIBX* GetSurface() const { return nullptr; }
  virtual int32_t GetChildCount() const { return 0; }
  virtual TKestControl* GetChild(int32_t) const { return nullptr; }
  virtual int32_t DrawX() const { return 0; }
  virtual int32_t DrawY() const { return 0; }
  virtual int32_t LocalX() const { return 0; }
  virtual int32_t LocalY() const { return 0; }
  virtual TKestPoint GetOrigin() const { return TKestPoint{}; }
  virtual bool IsAncestorOf(const TKestObject&) const { return false; }
  virtual bool IsInCabinet() const { return false; }
  TRect GetBounds() const;
  TRect GetDrawRect() const;

  // Once per frame; answers true when the object has finished and is to be destroyed now.
  virtual bool Update() { return false; }
  virtual bool IsPaused() const { return BoolProp(PR_PAUSED); }
  virtual bool IsClosing() const { return false; }
  virtual bool CancelByRightClick() { return false; }
  virtual TKestPoint GetCaretPoint() const { return TKestPoint{}; }
  virtual void Invalidate() {}
  virtual void Draw() {}
  virtual void ReleaseSurfaces() {}
  virtual void RestoreSurfaces() {}

  // Operations that commands and system functions call on any object found by name.
  virtual void CreationFinished() {}
  virtual void AppendText(const std::string&) {}  // the generic append operation
  virtual void SetPlayState(int32_t) {}
  virtual int32_t MediaState() const { return 2; }
  virtual void Replay() {}
  virtual bool ItemEnabled(int32_t) const { return true; }
  virtual void SetItemEnabled(int32_t, bool) {}
  virtual bool ItemVisible(int32_t) const { return true; }
  virtual void SetItemVisible(int32_t, bool) {}
  virtual bool ItemSelected(int32_t) const { return false; }
  virtual void SetItemSelected(int32_t, bool) {}
  virtual int32_t ItemGroup(int32_t) const { return 0; }
  virtual bool GetCheck(int32_t) const { return false; }
  virtual void SetCheck(int32_t, bool) {}
  virtual void SetSelectedSilently(bool) {}
  virtual void SetAllowAllUpSilently(bool) {}
  // Drawing order queries of blur trails.
  virtual bool IsBlurTrail() const { return false; }
  virtual TKestObject* TrailSource() const { return nullptr; }

  // The object's part of a saved stream; each class appends its fields after its base's.
  virtual void SaveToStream(TStream& s) const;
  virtual void LoadFromStream(TStream& s, int32_t version);

  // Takes a name without any renaming rule (loads, and the rename of an older holder).
  void AssignName(const std::string& name);

 private:
  friend class TKestBaseList;
  TKestBaseList* owner_;
  uint64_t serial_ = 0;
  bool scrapped_ = false;
  std::string name_;
  std::string tag_;
  int32_t priority_ = 0;
  int32_t priorityOffset_ = 0;
};

// Non-visual objects (timers, sounds, property motions, requests) and the owner list.
class TKestComponent : public TKestObject {
 public:
  using TKestObject::TKestObject;
};

// Visual objects: geometry, children, input hooks.
class TKestControl : public TKestComponent {
 public:
  explicit TKestControl(TKestBaseList* owner);
  ~TKestControl() override;

  bool IsControl() const override { return true; }
  void SetName(const std::string& name) override;

  bool GetProp(int32_t id, TPropValue& out) const override;
  void SetProp(int32_t id, const TPropValue& value) override;

  // Tree.
  TKestControl* Parent() const override { return parent_; }
  void SetParent(TKestControl* parent);
  int32_t GetChildCount() const override { return int32_t(children_.size()); }
  TKestControl* GetChild(int32_t i) const override;
  const std::vector<TKestControl*>& Children() const { return children_; }
  void AddChild(TKestControl* child);
  void RemoveChild(TKestControl* child);
  // Sorts all children into drawing order.
  void SortChildren();
  // Puts one child whose order key changed back into place (the others stay sorted).
  void RepositionChild(TKestControl* child);
  // Kinds call this when something the order depends on changed behind the sort's back.
  void ChildOrderChanged() { childrenSorted_ = false; }
  bool IsAncestorOf(const TKestObject& o) const override;
  TKestBase* GetScreen() const override;
  TCustomDIBX* GetTargetSurface() const override;
  bool IsInCabinet() const override;
  bool IsReallyVisible() const;

  // Geometry.
  int32_t Left() const { return left_; }
  int32_t Top() const { return top_; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  void SetLeft(int32_t v);
  void SetTop(int32_t v);
  void SetWidth(int32_t v);
  void SetHeight(int32_t v);
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
  void SetOffsetX(int32_t v);
  void SetOffsetY(int32_t v);
  void SetPlusX(int32_t v);
  void SetPlusY(int32_t v);
  void SetMotionX(int32_t v);
  void SetMotionY(int32_t v);
  int32_t MotionX() const { return motionX_; }
  int32_t MotionY() const { return motionY_; }
  void SetPosZoomed(bool v);
  void SetClip(int32_t left, int32_t top, int32_t width, int32_t height);
  virtual bool IsVisible() const { return visible_; }
  void SetVisible(bool v);
  void SetColor(int32_t c);
  int32_t Color() const { return color_; }
  void SetHandleKey(bool b);
  bool HandleKey() const { return BoolProp(PR_HANDLEKEY); }
  int32_t IgnoreMouse() const { return ignoreMouse_; }

  // Placement: the screen position of the top-left corner, and relatives.
  int32_t DrawX() const override;
  int32_t DrawY() const override;
  int32_t LocalX() const override;
  int32_t LocalY() const override;
  TKestPoint GetOrigin() const override;
  TKestPoint ClientToScreen(TKestPoint p) const { return TKestPoint{p.X + DrawX(), p.Y + DrawY()}; }
  TKestPoint ScreenToClient(TKestPoint p) const { return TKestPoint{p.X - DrawX(), p.Y - DrawY()}; }
  TRect GetClipRect() const;

  // Motions.
  TControlMotion* GetMotion() const { return motion_.get(); }
  void AttachMotion(std::unique_ptr<TControlMotion> motion);
  // Frees the motion; motion x, motion y and the priority offset go back to 0.
  void DetachMotion();

  // Hooks the kinds override.
  void Invalidate() override;
  void Draw() override {}
  virtual bool IntersectsVisibleArea(TRect& r) const;
  virtual void AdjustDirtyRect(TRect& r) const;
  virtual void PositionChanged();
  virtual void ClipChanged();
  virtual void EnteredCabinet() {}
  virtual void LeftCabinet() {}
  virtual void FocusGained() {}
  virtual std::string GetCursor() const { return cursor_; }

  void SaveToStream(TStream& s) const override;
  void LoadFromStream(TStream& s, int32_t version) override;

  // Inspector highlight (not saved).
  bool Highlighted() const { return highlighted_; }
  void SetHighlighted(bool h) { highlighted_ = h; }

 private:
  friend class TKestBaseList;
  void DestroyChildren();
  void CheckFocusAfterMove();
  int32_t PlaceX(bool withAnchor) const;
  int32_t PlaceY(bool withAnchor) const;

  int32_t left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  int32_t offsetX_ = 0, offsetY_ = 0;
  bool visible_ = true;
  TKestControl* parent_ = nullptr;
  int32_t color_ = 0;
  std::vector<TKestControl*> children_;
  bool childrenSorted_ = true;
  int32_t reserved_[4] = {0, 0, 1, 1};
  std::string mouseHandlers_[9];  // move, in, out, left down/up, right down/up, wheel down/up
  uint8_t ignoreMouse_ = IM_NONE;
  std::string cursor_;
  bool posZoomed_ = false;
  bool highlighted_ = false;
  int32_t clipLeft_ = 0, clipTop_ = 0, clipWidth_ = 0, clipHeight_ = 0;
  int32_t motionX_ = 0, motionY_ = 0;
  int32_t plusX_ = 0, plusY_ = 0;
  bool aniPaused_ = false;
  bool handleKey_ = false;
  std::string keyHandlers_[5];  // key down, up, repeat, focus in, focus out
  std::unique_ptr<TControlMotion> motion_;
};

// A screen. The owner list holds two; their drawing and dirty lists belong to the screen
// manager's side of the framework.
class TKestBase : public TKestControl {
 public:
  explicit TKestBase(TKestBaseList* owner) : TKestControl(owner) {}
  bool IsScreen() const override { return true; }
  TKestBase* GetScreen() const override { return const_cast<TKestBase*>(this); }
  TCustomDIBX* GetSurface() const override { return surface_; }
  TCustomDIBX* GetTargetSurface() const override { return surface_; }
  void SetSurface(TCustomDIBX* s) { surface_ = s; }
  // Takes a changed area of the screen, clamped to the screen's bounds.
  virtual void AddDirtyRect(const TRect& r);
  const std::vector<TRect>& DirtyRects() const { return dirty_; }
  void ClearDirty() { dirty_.clear(); }
  // The object under the pointer or holding the mouse capture.
  TObjectRef MouseObject;

 private:
  TCustomDIBX* surface_ = nullptr;
  std::vector<TRect> dirty_;
};

// An invisible holder that parks objects: its children neither update nor take input.
class TKestCabinet : public TKestControl {
 public:
  using TKestControl::TKestControl;
  int32_t Kind() const override { return LT_CABINET; }
  bool IsCabinet() const override { return true; }
  bool IsVisible() const override { return false; }
};

// Kinds plug into the factory by registering a constructor for their code.
using TKindFactory = std::unique_ptr<TKestObject> (*)(TKestBaseList* owner);
// Registers (or with nullptr removes) the constructor of a kind code; answers the previous.
// Codes that name no creatable kind are refused (nullptr answered, nothing stored).
TKindFactory RegisterKind(int32_t code, TKindFactory factory);

// The owner of all objects and of the two screens.
class TKestBaseList : public TKestComponent {
 public:
  TKestBaseList();
  ~TKestBaseList() override;

  void SetHooks(TObjectHooks* hooks) { hooks_ = hooks ? hooks : &noHooks_; }
  TObjectHooks& Hooks() const { return *hooks_; }

  // Screens.
  TKestBase* Screen(int32_t i) const { return screens_[i & 1].get(); }
  int32_t ActiveIndex() const { return activeIndex_; }
  void SetActiveIndex(int32_t i) { activeIndex_ = i & 1; }
  TKestBase* ActiveScreen() const { return Screen(activeIndex_); }
  TKestBase* BackScreen() const { return Screen(1 - activeIndex_); }

  // Registration. Adopt names (when the kind wants it) and registers a new object, and
  // answers it; the list owns it from then on.
  TKestObject* Adopt(std::unique_ptr<TKestObject> object);
  template <class T, class... A>
  T* Create(A&&... args) {
    return static_cast<T*>(Adopt(std::make_unique<T>(this, std::forward<A>(args)...)));
  }
  // The factory of the kind table (code masked with 0x7F); nullptr for codes that create
  // nothing and for kinds not registered.
  TKestObject* CreateByKind(int32_t code);
  int32_t GetObjectCount() const { return int32_t(objects_.size()); }
  TKestObject* GetObject(int32_t i) const;
  int32_t IndexOf(const TKestObject* o) const;
  TKestObject* FindBySerial(uint64_t serial) const;

  // Lookups by exact name (case-sensitive), never answering a scrapped object.
  TKestObject* FindObject(std::string_view name) const;
  TKestControl* FindContainer(std::string_view name) const;
  // The first registered object carrying the name, or nullptr.
  TKestObject* FindRegistered(std::string_view name) const;
  // prefix + the lowest n >= 0 that no registered object carries.
  std::string UniqueName(std::string_view prefix);
  // Appends the names of registered objects of a kind (0: any) whose parent is the
  // container (unless the container is this list); answers how many were appended.
  int32_t ListNames(int32_t kind, const TKestObject* container, std::vector<std::string>& out) const;

  // Deletion: Delete destroys at once; scrapped objects go at the end of the update pass.
  void Delete(TKestObject* o);
  // Destroys every registered object and empties the scrap set (the screens stay).
  void DestroyAll();
  // The update pass: updates every object that is not paused, scrapped or parked, deletes
  // finished ones at once, then deletes the scrapped ones.
  void UpdateObjects();

  // Keyboard focus, as far as objects change it.
  TKestControl* FocusedControl() const;
  void SetFocusedDirect(TKestControl* c);
  void RequestRefocus() { refocusRequest_ = true; }
  void ClearRefocus() { refocusRequest_ = false; }
  bool RefocusRequested() const { return refocusRequest_; }

 private:
  friend class TKestObject;
  friend class TKestControl;
  std::unique_ptr<TKestObject> Unregister(TKestObject* o);
  void IndexName(TKestObject* o);
  void UnindexName(TKestObject* o);
  void MarkScrapped(TKestObject* o);
  void Destroy(std::unique_ptr<TKestObject> o);

  TObjectHooks noHooks_;
  TObjectHooks* hooks_ = &noHooks_;
  std::unique_ptr<TKestBase> screens_[2];
  int32_t activeIndex_ = 0;
  std::vector<std::unique_ptr<TKestObject>> objects_;  // registration order
  std::unordered_map<uint64_t, TKestObject*> bySerial_;
  // name -> the objects carrying it, in registration (serial) order
  struct TNameHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, std::vector<TKestObject*>, TNameHash, std::equal_to<>> byName_;
  // prefix -> a number below which every prefix+n is known to be taken
  std::unordered_map<std::string, int64_t> uniqueFloor_;
  std::vector<TObjectRef> scrapSet_;
  size_t updatePos_ = 0;
  uint64_t nextSerial_ = 1;
  TObjectRef focused_;
  bool refocusRequest_ = false;
  int loadDepth_ = 0;  // nesting of child trees being loaded
};

// Property access by number, as scripts do it: the low byte of the index counts; reads
// store into the variable with its setter for the property's kind, writes read it with
// the getter for that kind. Raise "GetPropエラー"/"SetPropエラー" for numbers out of range
// (and writes of PR_APPEARX/PR_APPEARY); writes of read-only properties are ignored.
void GetProperty(const TKestObject& object, int32_t index, TCustomParam& variable);
void SetProperty(TKestObject& object, int32_t index, const TCustomParam& value);

// The drawing-order comparison of two children (negative: a draws first).
int CompareDrawOrder(const TKestControl* a, const TKestControl* b);

}  // namespace kest
