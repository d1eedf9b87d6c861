// The object vocabulary of scripts: property numbers with their value kinds, access and
// read defaults, kind codes, ignore-mouse codes and the system's internal object names.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "common/types.h"

namespace kest {

// Property numbers as compiled scripts carry them.
enum TPropId : int32_t {
  PR_NAME = 0,
  PR_PARENT = 1,
  PR_SOURCE = 2,
  PR_LEFT = 3,
  PR_TOP = 4,
  PR_WIDTH = 5,
  PR_HEIGHT = 6,
  PR_ZOOMX = 7,
  PR_COLOR = 8,
  PR_BORDERWIDTH = 9,
  PR_BORDERCOLOR = 10,
  PR_ALPHA = 11,
  PR_PRIORITY = 12,
  PR_OFFSETX = 13,
  PR_OFFSETY = 14,
  PR_FONTNAME = 15,
  PR_FONTHEIGHT = 16,
  PR_FONTSTYLE = 17,
  PR_LINESPACE = 18,
  PR_FONTCOLOR = 19,
  PR_FONTLINKCOLOR = 20,
  PR_FONTBORDERCOLOR = 21,
  PR_FONTHOVERCOLOR = 22,
  PR_FONTHOVERSTYLE = 23,
  PR_HOVERCOLOR = 24,
  PR_ANTIALIAS = 25,
  PR_DELAY = 26,
  PR_PAUSED = 27,
  PR_VOLUME = 28,
  PR_REPEAT = 29,
  PR_BALANCE = 30,
  PR_ANGLE = 31,
  PR_ONPLAYING = 32,
  PR_ONNOTIFY = 33,
  PR_ONMOUSEMOVE = 34,
  PR_ONMOUSEOUT = 35,
  PR_ONLBTNDOWN = 36,
  PR_ONLBTNUP = 37,
  PR_ONRBTNDOWN = 38,
  PR_ONRBTNUP = 39,
  PR_ONWHEELDOWN = 40,
  PR_ONWHEELUP = 41,
  PR_BRIGHTNESS = 42,
  PR_ONPLAYEND = 43,
  PR_INDEX = 44,
  PR_COUNT = 45,
  PR_ONLINK = 46,
  PR_VISIBLE = 47,
  PR_COLCOUNT = 48,
  PR_ROWCOUNT = 49,
  PR_TEXT = 50,
  PR_MARGINX = 51,
  PR_MARGINY = 52,
  PR_HALIGN = 53,
  PR_BORDERSOURCETL = 54,
  PR_BORDERSOURCETC = 55,
  PR_BORDERSOURCETR = 56,
  PR_BORDERSOURCECL = 57,
  PR_BORDERSOURCECC = 58,
  PR_BORDERSOURCECR = 59,
  PR_BORDERSOURCEBL = 60,
  PR_BORDERSOURCEBC = 61,
  PR_BORDERSOURCEBR = 62,
  PR_BORDERHALIGNT = 63,
  PR_BORDERHALIGNC = 64,
  PR_BORDERHALIGNB = 65,
  PR_BORDERVALIGNL = 66,
  PR_BORDERVALIGNC = 67,
  PR_BORDERVALIGNR = 68,
  PR_SCROLLSOURCE = 69,
  PR_CHECKSOURCE = 70,
  PR_AUTOSCRAP = 71,
  PR_ONSELECT = 72,
  PR_RCLICKSCRAP = 73,
  PR_ONOPENING = 74,
  PR_ONOPENED = 75,
  PR_ONCLOSING = 76,
  PR_ONCLOSED = 77,
  PR_CARETX = 78,
  PR_CARETY = 79,
  PR_IGNOREMOUSE = 80,
  PR_TEXTPAUSED = 81,
  PR_TEXTDELAY = 82,
  PR_HOVERSOURCE = 83,
  PR_PRESSEDSOURCE = 84,
  PR_GROUPINDEX = 85,
  PR_ALLOWALLUP = 86,
  PR_SELECTED = 87,
  PR_CAPTUREMASK = 88,
  PR_POWER = 89,
  PR_ORIGWIDTH = 90,
  PR_ORIGHEIGHT = 91,
  PR_APPEARX = 92,
  PR_APPEARY = 93,
  PR_PARTMOTION = 94,
  PR_PARAM1 = 95,
  PR_PARAM2 = 96,
  PR_TOPINDEX = 97,
  PR_READONLY = 98,
  PR_CURSOR = 99,
  PR_POSZOOMED = 100,
  PR_ONPLAYSTART = 101,
  PR_PARAM3 = 102,
  PR_ONMOUSEIN = 103,
  PR_ONMAPIN = 104,
  PR_ONMAPOUT = 105,
  PR_MAPSOURCE = 106,
  PR_AMP = 107,
  PR_WAVELEN = 108,
  PR_SCROLLX = 109,
  PR_SCROLLY = 110,
  PR_FLIPH = 111,
  PR_FLIPV = 112,
  PR_ONIDLE = 113,
  PR_DISTANCEX = 114,
  PR_DISTANCEY = 115,
  PR_CLIPLEFT = 116,
  PR_CLIPTOP = 117,
  PR_CLIPWIDTH = 118,
  PR_CLIPHEIGHT = 119,
  PR_DURATION = 120,
  PR_THUMBSOURCE = 121,
  PR_BUTTONSOURCE = 122,
  PR_MIN = 123,
  PR_MAX = 124,
  PR_VALUE = 125,
  PR_ORIENTATION = 126,
  PR_SMALLCHANGE = 127,
  PR_LARGECHANGE = 128,
  PR_MAPTEXT = 129,
  PR_GLYPHWIDTH = 130,
  PR_GLYPHHEIGHT = 131,
  PR_ZOOMY = 132,
  PR_CLICKEDSOURCE = 133,
  PR_ANIPAUSED = 134,
  PR_ONHOLD = 135,
  PR_ONRELEASE = 136,
  PR_REVERSE = 137,
  PR_PLAYING = 138,
  PR_REWINDONLOAD = 139,
  PR_COMPOTYPE = 140,
  PR_FONTSHADOWCOLOR = 141,
  PR_FONTBORDER = 142,
  PR_FONTSHADOW = 143,
  PR_ONKEYDOWN = 144,
  PR_ONKEYUP = 145,
  PR_ONKEYREPEAT = 146,
  PR_HANDLEKEY = 147,
  PR_ONFOCUSIN = 148,
  PR_ONFOCUSOUT = 149,
  PR_OVERLAY = 150,
  PR_TAG = 151,
  PR_CAPTURELINK = 152,
  PR_FONTHOVERBORDER = 153,
  PR_FONTHOVERBORDERCOLOR = 154,
  PR_FONTHOVERSHADOW = 155,
  PR_FONTHOVERSHADOWCOLOR = 156,
  PR_BARSIZE = 157,
  PR_MUTEONLOAD = 158,
  PR_PLUSX = 159,
  PR_PLUSY = 160,
  PR_CARETHEIGHT = 161,
  PR_REPEATPOS = 162,
  PR_BLURSPAN = 163,
  PR_BLURDELAY = 164,
};
inline constexpr int32_t kPropCount = 165;

enum class TPropAccess : uint8_t {
  ReadWrite,
  ReadOnly,    // writes are ignored
  WriteError,  // reads the default, writes raise the SetProp error
};

// Where the read default of a property comes from.
enum class TPropDefault : uint8_t {
  Value,   // the table's number (0/1 for flags, empty for texts)
  Width,   // the object's own PR_WIDTH
  Height,  // the object's own PR_HEIGHT
};

struct TPropInfo {
  const char* Name;  // the script's name, also the inspector caption
  TParamKind Kind;
  TPropAccess Access;
  int32_t Default;
  TPropDefault DefaultFrom;
};

// The table, indexed by property number 0..164.
const TPropInfo& PropInfo(int32_t id);
// The property number of a name (exact), or -1.
int32_t FindPropByName(std::string_view name);

// The order in which a creation command writes the properties it carries: the source
// before sizes, sizes before positions.
extern const std::array<int32_t, kPropCount> kCreationOrder;

// Three sets of defaults are kept apart: the read default of the table (what a kind that
// does not implement a property answers), the initial field values of new objects (in
// their constructors), and the values a creation command writes for a property whose
// expression yields no value, given here for integers and flags (1 = true); floats are
// 0.0 and texts empty.
int32_t CreationDefault(int32_t id);

// Kind codes: the tag bytes of saved object streams and the argument of CreateByKind.
enum TKindCode : int32_t {
  LT_NONE = 0,
  LT_AUDIO = 1,
  LT_BOX = 2,
  LT_BUTTON = 3,
  LT_CINEMA = 4,
  LT_EDIT = 5,
  LT_FIRE = 6,
  LT_HTTP = 7,
  LT_IMAGES = 8,
  LT_LABEL = 9,
  LT_MAP = 10,
  LT_MEMO = 11,
  LT_MENU = 12,
  LT_MES = 13,
  LT_PARTICLE = 14,
  LT_TIMER = 15,
  LT_VIDEO = 16,
  LT_SOUND = 17,
  LT_MAPIMG = 18,
  LT_WAVE = 19,
  LT_TILE = 20,
  LT_SLIDER = 21,
  LT_SCROLLBAR = 22,
  LT_GAUGE = 23,
  LT_CGLABEL = 24,
  LT_PREVMENU = 25,
  LT_PROPMOTION = 26,
  LT_CABINET = 27,
};
inline constexpr int32_t kKindCount = 28;
// Whether a code (after masking with 0x7F) names a kind that can be created.
constexpr bool IsCreatableKind(int32_t code) {
  code &= 0x7F;
  return code >= 2 && code <= 27 && code != LT_MAP;
}

// Ignore-mouse codes.
enum TIgnoreMouse : int32_t {
  IM_NONE = 0,
  IM_ALL = 1,
  IM_CLICK = 2,
  IM_LCLICK = 3,
  IM_RCLICK = 4,
};

// Font style bits.
enum TFontStyleBits : int32_t { FS_BOLD = 1, FS_ITALIC = 2, FS_UNDERLINE = 4, FS_STRIKEOUT = 8 };

// Names that begin with byte 0x01 belong to the system: never saved, sorted below the
// script's objects, skipped by some hit tests.
inline constexpr char kSystemNameByte = '\x01';
inline constexpr std::string_view kScreen0Name = "\x01" "BASE0";
inline constexpr std::string_view kScreen1Name = "\x01" "BASE1";
inline constexpr std::string_view kBackScreenAlias = "\x01";
inline constexpr std::string_view kFlipSnapshotName = "\x01\x01";
constexpr bool IsSystemName(std::string_view name) {
  return !name.empty() && name[0] == kSystemNameByte;
}

namespace object_msg {
// "GetPropエラー" (GetProp error)
inline constexpr const char* kGetPropError = "GetProp\x83G\x83\x89\x81[";
// "SetPropエラー" (SetProp error)
inline constexpr const char* kSetPropError = "SetProp\x83G\x83\x89\x81[";
// "プロパティ指定が不正です" (the property designation is invalid)
inline constexpr const char* kBadPropIndex =
    "\x83v\x83\x8D\x83p\x83\x65\x83\x42\x8E\x77\x92\xE8\x82\xAA\x95s\x90\xB3\x82\xC5\x82\xB7";
// "オブジェクトのデータが壊れています" (the object data is damaged)
inline constexpr const char* kBadObjectData =
    "\x83I\x83u\x83W\x83\x46\x83N\x83g\x82\xCC\x83\x66\x81[\x83^\x82\xAA\x89\xF3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7";
}  // namespace object_msg

}  // namespace kest
