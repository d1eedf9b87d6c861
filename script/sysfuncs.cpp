#include "script/sysfuncs.h"

#include <unordered_map>

#include "script/paramcoll.h"

namespace kest {

namespace {
constexpr TSysFuncInfo kFuncs[kSysFuncCount] = {
    {"IntToStr", 1, 2, PT_STR},  // 0
    {"IntToHex", 2, 2, PT_STR},  // 1
    {"GetProp", 2, 2, PT_NONE},  // 2
    {"SetProp", 3, 3, PT_STR},  // 3
    {"GetArraySize", 1, 2, PT_INT},  // 4
    {"Length", 1, 1, PT_INT},  // 5
    {"JLength", 1, 1, PT_INT},  // 6
    {"Copy", 2, 3, PT_STR},  // 7
    {"JCopy", 2, 3, PT_STR},  // 8
    {"Delete", 2, 3, PT_STR},  // 9
    {"JDelete", 2, 3, PT_STR},  // 10
    {"Insert", 3, 3, PT_STR},  // 11
    {"JInsert", 3, 3, PT_STR},  // 12
    {"CompareStr", 2, 2, PT_INT},  // 13
    {"CompareText", 2, 2, PT_INT},  // 14
    {"Pos", 2, 2, PT_INT},  // 15
    {"JPos", 2, 2, PT_INT},  // 16
    {"Trim", 1, 1, PT_STR},  // 17
    {"JTrim", 1, 1, PT_STR},  // 18
    {"Exists", 1, 1, PT_BOOL},  // 19
    {"Not", 1, 1, PT_BOOL},  // 20
    {"SetArray", 2, -1, PT_INT},  // 21
    {"FillMem", 2, 2, PT_INT},  // 22
    {"CopyMem", 2, 2, PT_INT},  // 23
    {"GetCheck", 2, 2, PT_BOOL},  // 24
    {"SetCheck", 3, 3, PT_INT},  // 25
    {"Random", 1, 1, PT_INT},  // 26
    {"GetSaveCaption", 1, 1, PT_STR},  // 27
    {"ArrayToString", 1, 2, PT_STR},  // 28
    {"StringToArray", 2, 3, PT_INT},  // 29
    {"IndexOfStr", 2, 4, PT_INT},  // 30
    {"SortStr", 1, 1, PT_INT},  // 31
    {"ListCompo", 1, 3, PT_INT},  // 32
    {"ToClientX", 2, 2, PT_INT},  // 33
    {"ToClientY", 2, 2, PT_INT},  // 34
    {"ToScreenX", 2, 2, PT_INT},  // 35
    {"ToScreenY", 2, 2, PT_INT},  // 36
    {"Int", 1, 1, PT_INT},  // 37
    {"Float", 1, 1, PT_FLOAT},  // 38
    {"Sin", 1, 1, PT_FLOAT},  // 39
    {"Cos", 1, 1, PT_FLOAT},  // 40
    {"Tan", 1, 1, PT_FLOAT},  // 41
    {"ArcSin", 1, 1, PT_FLOAT},  // 42
    {"ArcCos", 1, 1, PT_FLOAT},  // 43
    {"ArcTan", 1, 1, PT_FLOAT},  // 44
    {"ArcTan2", 2, 2, PT_FLOAT},  // 45
    {"Hypot", 2, 2, PT_FLOAT},  // 46
    {"IndexOfMenu", 2, 2, PT_INT},  // 47
    {"Abs", 1, 1, PT_INT},  // 48
    {"Fabs", 1, 1, PT_FLOAT},  // 49
    {"VarExists", 1, 1, PT_BOOL},  // 50
    {"EncodeDate", 3, 3, PT_FLOAT},  // 51
    {"EncodeTime", 3, 3, PT_FLOAT},  // 52
    {"DecodeDate", 4, 4, PT_INT},  // 53
    {"DecodeTime", 4, 4, PT_INT},  // 54
    {"GetYear", 1, 1, PT_INT},  // 55
    {"GetMonth", 1, 1, PT_INT},  // 56
    {"GetDay", 1, 1, PT_INT},  // 57
    {"GetHour", 1, 1, PT_INT},  // 58
    {"GetMin", 1, 1, PT_INT},  // 59
    {"GetSec", 1, 1, PT_INT},  // 60
    {"GetWeek", 1, 1, PT_INT},  // 61
    {"GetWeekStr", 1, 1, PT_STR},  // 62
    {"GetWeekJStr", 1, 1, PT_STR},  // 63
    {"FixStr", 1, 1, PT_STR},  // 64
    {"GetDisplayMode", 5, 5, PT_BOOL},  // 65
    {"AddArray", 2, 2, PT_INT},  // 66
    {"InsertArray", 3, 3, PT_INT},  // 67
    {"DeleteArray", 3, 3, PT_INT},  // 68
    {"InPrimary", 1, 1, PT_BOOL},  // 69
    {"CopyArray", 2, 2, PT_BOOL},  // 70
    {"FileExists", 1, 1, PT_BOOL},  // 71
    {"LoadTextFile", 2, 2, PT_BOOL},  // 72
    {"LowerCase", 1, 1, PT_STR},  // 73
    {"UpperCase", 1, 1, PT_STR},  // 74
    {"ExtractFilePath", 1, 1, PT_STR},  // 75
    {"ExtractFileName", 1, 1, PT_STR},  // 76
    {"ExtractFileExt", 1, 1, PT_STR},  // 77
    {"IsPathDelimiter", 2, 2, PT_BOOL},  // 78
    {"AddBackSlash", 1, 1, PT_STR},  // 79
    {"ChangeFileExt", 2, 2, PT_STR},  // 80
    {"IsDelimiter", 3, 3, PT_BOOL},  // 81
    {"StringOfChar", 2, 2, PT_STR},  // 82
    {"StringReplace", 3, 5, PT_STR},  // 83
    {"AssignTemp", 1, 1, PT_BOOL},  // 84
    {"HanToZen", 1, 1, PT_STR},  // 85
    {"ZenToHan", 1, 1, PT_STR},  // 86
    {"DBCreateTable", 2, 2, PT_BOOL},  // 87
    {"DBSetActive", 1, 1, PT_BOOL},  // 88
    {"DBAddField", 2, 3, PT_BOOL},  // 89
    {"DBSetRecNo", 1, 1, PT_BOOL},  // 90
    {"DBInsert", 0, -1, PT_BOOL},  // 91
    {"DBDelete", 0, 0, PT_BOOL},  // 92
    {"DBGetInt", 1, 1, PT_INT},  // 93
    {"DBSetInt", 2, 2, PT_BOOL},  // 94
    {"DBGetFloat", 1, 1, PT_FLOAT},  // 95
    {"DBSetFloat", 2, 2, PT_BOOL},  // 96
    {"DBGetBool", 1, 1, PT_BOOL},  // 97
    {"DBSetBool", 2, 2, PT_BOOL},  // 98
    {"DBGetStr", 1, 1, PT_STR},  // 99
    {"DBSetStr", 2, 2, PT_BOOL},  // 100
    {"DBRecordCount", 0, 1, PT_INT},  // 101
    {"DBFindFirst", 0, 0, PT_BOOL},  // 102
    {"DBFindLast", 0, 0, PT_BOOL},  // 103
    {"DBFindNext", 0, 0, PT_BOOL},  // 104
    {"DBFindPrior", 0, 0, PT_BOOL},  // 105
    {"DBLocate", 2, 4, PT_BOOL},  // 106
    {"DBLoadTsvFile", 1, 1, PT_BOOL},  // 107
    {"DBDirectGetInt", 7, 7, PT_INT},  // 108
    {"DBDirectSetInt", 7, 7, PT_BOOL},  // 109
    {"DBDirectGetFloat", 7, 7, PT_FLOAT},  // 110
    {"DBDirectSetFloat", 7, 7, PT_BOOL},  // 111
    {"DBDirectGetBool", 7, 7, PT_BOOL},  // 112
    {"DBDirectSetBool", 7, 7, PT_BOOL},  // 113
    {"DBDirectGetStr", 7, 7, PT_STR},  // 114
    {"DBDirectSetStr", 7, 7, PT_BOOL},  // 115
    {"DBCopyTable", 1, 5, PT_BOOL},  // 116
    {"DBDeleteTable", 0, 1, PT_BOOL},  // 117
    {"DBInsertTable", 1, 5, PT_BOOL},  // 118
    {"DBCopy", 1, 1, PT_BOOL},  // 119
    {"DBClearTable", 0, 0, PT_BOOL},  // 120
    {"DBSort", 2, 2, PT_BOOL},  // 121
    {"DBGetActive", 0, 0, PT_STR},  // 122
    {"DBGetRecNo", 0, 1, PT_INT},  // 123
    {"DBClearRecord", 0, 1, PT_BOOL},  // 124
    {"SetWallPaper", 2, 2, PT_BOOL},  // 125
    {"Min", 2, 2, PT_INT},  // 126
    {"Max", 2, 2, PT_INT},  // 127
    {"Fmin", 2, 2, PT_FLOAT},  // 128
    {"Fmax", 2, 2, PT_FLOAT},  // 129
    {"GetVarType", 1, 1, PT_INT},  // 130
    {"GetEnabled", 2, 2, PT_BOOL},  // 131
    {"SetEnabled", 3, 3, PT_INT},  // 132
    {"AddDelimiter", 2, 2, PT_STR},  // 133
    {"ListSaveCaption", 0, 2, PT_INT},  // 134
    {"OpenUrl", 1, 1, PT_BOOL},  // 135
    {"Calc", 1, 1, PT_STR},  // 136
    {"SaveScreen", 1, 5, PT_BOOL},  // 137
    {"StrToIntDef", 2, 2, PT_INT},  // 138
    {"StrToFloatDef", 2, 2, PT_FLOAT},  // 139
    {"GetVisible", 2, 2, PT_BOOL},  // 140
    {"SetVisible", 3, 3, PT_BOOL},  // 141
    {"GetHistoryCount", 1, 1, PT_INT},  // 142
    {"GetHistoryMaxCount", 1, 1, PT_INT},  // 143
    {"SetHistoryMaxCount", 2, 2, PT_BOOL},  // 144
    {"GetGroupIndex", 2, 2, PT_INT},  // 145
    {"GetSelected", 2, 2, PT_BOOL},  // 146
    {"SetSelected", 3, 3, PT_BOOL},  // 147
    {"SelectOpenFile", 1, 2, PT_BOOL},  // 148
    {"SelectSaveFile", 1, 2, PT_BOOL},  // 149
    {"SelectDirectory", 1, 1, PT_BOOL},  // 150
    {"ExtractFile", 1, 3, PT_BOOL},  // 151
    {"Chr", 1, 1, PT_STR},  // 152
    {"Ord", 1, 1, PT_INT},  // 153
    {"InCabinet", 1, 1, PT_BOOL},  // 154
    {"PushVar", 1, -1, PT_BOOL},  // 155
    {"PopVar", 0, 0, PT_BOOL},  // 156
    {"DeleteStack", 1, 1, PT_BOOL},  // 157
    {"CopyFile", 2, 2, PT_BOOL},  // 158
};

constexpr TPropertyInfo kProps[kPropertyCount] = {
    {"PR_NAME", PT_STR},  // 0
    {"PR_PARENT", PT_STR},  // 1
    {"PR_SOURCE", PT_STR},  // 2
    {"PR_LEFT", PT_INT},  // 3
    {"PR_TOP", PT_INT},  // 4
    {"PR_WIDTH", PT_INT},  // 5
    {"PR_HEIGHT", PT_INT},  // 6
    {"PR_ZOOMX", PT_INT},  // 7
    {"PR_COLOR", PT_INT},  // 8
    {"PR_BORDERWIDTH", PT_INT},  // 9
    {"PR_BORDERCOLOR", PT_INT},  // 10
    {"PR_ALPHA", PT_INT},  // 11
    {"PR_PRIORITY", PT_INT},  // 12
    {"PR_OFFSETX", PT_INT},  // 13
    {"PR_OFFSETY", PT_INT},  // 14
    {"PR_FONTNAME", PT_STR},  // 15
    {"PR_FONTHEIGHT", PT_INT},  // 16
    {"PR_FONTSTYLE", PT_INT},  // 17
    {"PR_LINESPACE", PT_INT},  // 18
    {"PR_FONTCOLOR", PT_INT},  // 19
    {"PR_FONTLINKCOLOR", PT_INT},  // 20
    {"PR_FONTBORDERCOLOR", PT_INT},  // 21
    {"PR_FONTHOVERCOLOR", PT_INT},  // 22
    {"PR_FONTHOVERSTYLE", PT_INT},  // 23
    {"PR_HOVERCOLOR", PT_INT},  // 24
    {"PR_ANTIALIAS", PT_BOOL},  // 25
    {"PR_DELAY", PT_INT},  // 26
    {"PR_PAUSED", PT_BOOL},  // 27
    {"PR_VOLUME", PT_INT},  // 28
    {"PR_REPEAT", PT_BOOL},  // 29
    {"PR_BALANCE", PT_INT},  // 30
    {"PR_ANGLE", PT_INT},  // 31
    {"PR_ONPLAYING", PT_STR},  // 32
    {"PR_ONNOTIFY", PT_STR},  // 33
    {"PR_ONMOUSEMOVE", PT_STR},  // 34
    {"PR_ONMOUSEOUT", PT_STR},  // 35
    {"PR_ONLBTNDOWN", PT_STR},  // 36
    {"PR_ONLBTNUP", PT_STR},  // 37
    {"PR_ONRBTNDOWN", PT_STR},  // 38
    {"PR_ONRBTNUP", PT_STR},  // 39
    {"PR_ONWHEELDOWN", PT_STR},  // 40
    {"PR_ONWHEELUP", PT_STR},  // 41
    {"PR_BRIGHTNESS", PT_INT},  // 42
    {"PR_ONPLAYEND", PT_STR},  // 43
    {"PR_INDEX", PT_INT},  // 44
    {"PR_COUNT", PT_INT},  // 45
    {"PR_ONLINK", PT_STR},  // 46
    {"PR_VISIBLE", PT_BOOL},  // 47
    {"PR_COLCOUNT", PT_INT},  // 48
    {"PR_ROWCOUNT", PT_INT},  // 49
    {"PR_TEXT", PT_STR},  // 50
    {"PR_MARGINX", PT_INT},  // 51
    {"PR_MARGINY", PT_INT},  // 52
    {"PR_HALIGN", PT_INT},  // 53
    {"PR_BORDERSOURCETL", PT_STR},  // 54
    {"PR_BORDERSOURCETC", PT_STR},  // 55
    {"PR_BORDERSOURCETR", PT_STR},  // 56
    {"PR_BORDERSOURCECL", PT_STR},  // 57
    {"PR_BORDERSOURCECC", PT_STR},  // 58
    {"PR_BORDERSOURCECR", PT_STR},  // 59
    {"PR_BORDERSOURCEBL", PT_STR},  // 60
    {"PR_BORDERSOURCEBC", PT_STR},  // 61
    {"PR_BORDERSOURCEBR", PT_STR},  // 62
    {"PR_BORDERHALIGNT", PT_INT},  // 63
    {"PR_BORDERHALIGNC", PT_INT},  // 64
    {"PR_BORDERHALIGNB", PT_INT},  // 65
    {"PR_BORDERVALIGNL", PT_INT},  // 66
    {"PR_BORDERVALIGNC", PT_INT},  // 67
    {"PR_BORDERVALIGNR", PT_INT},  // 68
    {"PR_SCROLLSOURCE", PT_STR},  // 69
    {"PR_CHECKSOURCE", PT_STR},  // 70
    {"PR_AUTOSCRAP", PT_BOOL},  // 71
    {"PR_ONSELECT", PT_STR},  // 72
    {"PR_RCLICKSCRAP", PT_BOOL},  // 73
    {"PR_ONOPENING", PT_STR},  // 74
    {"PR_ONOPENED", PT_STR},  // 75
    {"PR_ONCLOSING", PT_STR},  // 76
    {"PR_ONCLOSED", PT_STR},  // 77
    {"PR_CARETX", PT_INT},  // 78
    {"PR_CARETY", PT_INT},  // 79
    {"PR_IGNOREMOUSE", PT_INT},  // 80
    {"PR_TEXTPAUSED", PT_BOOL},  // 81
    {"PR_TEXTDELAY", PT_INT},  // 82
    {"PR_HOVERSOURCE", PT_STR},  // 83
    {"PR_PRESSEDSOURCE", PT_STR},  // 84
    {"PR_GROUPINDEX", PT_INT},  // 85
    {"PR_ALLOWALLUP", PT_BOOL},  // 86
    {"PR_SELECTED", PT_BOOL},  // 87
    {"PR_CAPTUREMASK", PT_BOOL},  // 88
    {"PR_POWER", PT_INT},  // 89
    {"PR_ORIGWIDTH", PT_INT},  // 90
    {"PR_ORIGHEIGHT", PT_INT},  // 91
    {"PR_APPEARX", PT_INT},  // 92
    {"PR_APPEARY", PT_INT},  // 93
    {"PR_PARTMOTION", PT_INT},  // 94
    {"PR_PARAM1", PT_FLOAT},  // 95
    {"PR_PARAM2", PT_FLOAT},  // 96
    {"PR_TOPINDEX", PT_INT},  // 97
    {"PR_READONLY", PT_BOOL},  // 98
    {"PR_CURSOR", PT_STR},  // 99
    {"PR_POSZOOMED", PT_BOOL},  // 100
    {"PR_ONPLAYSTART", PT_STR},  // 101
    {"PR_PARAM3", PT_FLOAT},  // 102
    {"PR_ONMOUSEIN", PT_STR},  // 103
    {"PR_ONMAPIN", PT_STR},  // 104
    {"PR_ONMAPOUT", PT_STR},  // 105
    {"PR_MAPSOURCE", PT_STR},  // 106
    {"PR_AMP", PT_INT},  // 107
    {"PR_WAVELEN", PT_INT},  // 108
    {"PR_SCROLLX", PT_INT},  // 109
    {"PR_SCROLLY", PT_INT},  // 110
    {"PR_FLIPH", PT_BOOL},  // 111
    {"PR_FLIPV", PT_BOOL},  // 112
    {"PR_ONIDLE", PT_STR},  // 113
    {"PR_DISTANCEX", PT_INT},  // 114
    {"PR_DISTANCEY", PT_INT},  // 115
    {"PR_CLIPLEFT", PT_INT},  // 116
    {"PR_CLIPTOP", PT_INT},  // 117
    {"PR_CLIPWIDTH", PT_INT},  // 118
    {"PR_CLIPHEIGHT", PT_INT},  // 119
    {"PR_DURATION", PT_INT},  // 120
    {"PR_THUMBSOURCE", PT_STR},  // 121
    {"PR_BUTTONSOURCE", PT_STR},  // 122
    {"PR_MIN", PT_INT},  // 123
    {"PR_MAX", PT_INT},  // 124
    {"PR_VALUE", PT_INT},  // 125
    {"PR_ORIENTATION", PT_INT},  // 126
    {"PR_SMALLCHANGE", PT_INT},  // 127
    {"PR_LARGECHANGE", PT_INT},  // 128
    {"PR_MAPTEXT", PT_STR},  // 129
    {"PR_GLYPHWIDTH", PT_INT},  // 130
    {"PR_GLYPHHEIGHT", PT_INT},  // 131
    {"PR_ZOOMY", PT_INT},  // 132
    {"PR_CLICKEDSOURCE", PT_STR},  // 133
    {"PR_ANIPAUSED", PT_BOOL},  // 134
    {"PR_ONHOLD", PT_STR},  // 135
    {"PR_ONRELEASE", PT_STR},  // 136
    {"PR_REVERSE", PT_BOOL},  // 137
    {"PR_PLAYING", PT_BOOL},  // 138
    {"PR_REWINDONLOAD", PT_BOOL},  // 139
    {"PR_COMPOTYPE", PT_INT},  // 140
    {"PR_FONTSHADOWCOLOR", PT_INT},  // 141
    {"PR_FONTBORDER", PT_INT},  // 142
    {"PR_FONTSHADOW", PT_INT},  // 143
    {"PR_ONKEYDOWN", PT_STR},  // 144
    {"PR_ONKEYUP", PT_STR},  // 145
    {"PR_ONKEYREPEAT", PT_STR},  // 146
    {"PR_HANDLEKEY", PT_BOOL},  // 147
    {"PR_ONFOCUSIN", PT_STR},  // 148
    {"PR_ONFOCUSOUT", PT_STR},  // 149
    {"PR_OVERLAY", PT_BOOL},  // 150
    {"PR_TAG", PT_STR},  // 151
    {"PR_CAPTURELINK", PT_BOOL},  // 152
    {"PR_FONTHOVERBORDER", PT_INT},  // 153
    {"PR_FONTHOVERBORDERCOLOR", PT_INT},  // 154
    {"PR_FONTHOVERSHADOW", PT_INT},  // 155
    {"PR_FONTHOVERSHADOWCOLOR", PT_INT},  // 156
    {"PR_BARSIZE", PT_INT},  // 157
    {"PR_MUTEONLOAD", PT_BOOL},  // 158
    {"PR_PLUSX", PT_INT},  // 159
    {"PR_PLUSY", PT_INT},  // 160
    {"PR_CARETHEIGHT", PT_INT},  // 161
    {"PR_REPEATPOS", PT_INT},  // 162
    {"PR_BLURSPAN", PT_INT},  // 163
    {"PR_BLURDELAY", PT_INT},  // 164
};
}  // namespace

const TSysFuncInfo* SysFuncInfo(int32_t id) {
  return id >= 0 && id < kSysFuncCount ? &kFuncs[id] : nullptr;
}

int32_t FindSysFunc(std::string_view name) {
  static const std::unordered_map<std::string_view, int32_t> index = [] {
    std::unordered_map<std::string_view, int32_t> m;
    for (int32_t i = 0; i < kSysFuncCount; ++i) m.emplace(kFuncs[i].name, i);
    return m;
  }();
  auto it = index.find(name);
  return it == index.end() ? -1 : it->second;
}

const TPropertyInfo* PropertyInfo(int32_t index) {
  return index >= 0 && index < kPropertyCount ? &kProps[index] : nullptr;
}

void TSysFuncMan::Register(int32_t id, TSysFuncBody body) {
  if (id < 0 || id >= kSysFuncCount) throw EKest(param_msg::kInternal);
  bodies_[id] = std::move(body);
}

void TSysFuncMan::Unregister(int32_t id) {
  if (id >= 0 && id < kSysFuncCount) bodies_[id] = nullptr;
}

bool TSysFuncMan::Registered(int32_t id) const {
  return id >= 0 && id < kSysFuncCount && bodies_[id] != nullptr;
}

void TSysFuncMan::CallFunction(TCustomParam& result, int32_t id,
                               const std::vector<TCustomParam*>& args) {
  const TSysFuncInfo* f = SysFuncInfo(id);
  if (!f) return;
  const int32_t n = int32_t(args.size());
  if (n < f->minArgs || (f->maxArgs >= 0 && n > f->maxArgs))
    throw EKest(std::string(f->name) + script_msg::kArgCount);
  if (!bodies_[id]) throw ESysFuncNotAvailable(id, FormatMessage(script_msg::kNotAvailable, f->name));
  TSysFuncCall call{*this, vars_, id, result, args};
  bodies_[id](call);
}

}  // namespace kest
