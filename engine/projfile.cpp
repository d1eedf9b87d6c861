#include "engine/projfile.h"

#include "common/sjis.h"
#include "vfs/records.h"

namespace kest {

EProjectVersion::EProjectVersion()
    // このバージョンには対応していません
    : EKestBadData("\x82\xB1\x82\xCC\x83\x6F\x81\x5B\x83\x57\x83\x87\x83\x93\x82\xC9\x82\xCD\x91\xCE\x89\x9E\x82"
                   "\xB5\x82\xC4\x82\xA2\x82\xDC\x82\xB9\x82\xF1") {}

namespace {

// A count read from a record: negative counts read as none; a count that the remaining
// bytes cannot hold (each element takes at least minBytes) is damage.
int32_t ReadCount(TStream& s, int64_t minBytes) {
  const int32_t n = ReadInt(s);
  if (n <= 0) return 0;
  if (int64_t(n) > s.Remaining() / minBytes) throw EKestBadData("count beyond the end of the record");
  return n;
}

}  // namespace

void TParamData::LoadFromStream(TStream& s) {
  kind = ReadByte(s);
  name = ReadString(s);
  switch (kind) {
    case PT_INT: intValue = ReadInt(s); break;
    case PT_FLOAT: floatValue = ReadReal(s); break;
    case PT_BOOL: boolValue = ReadBool(s); break;
    case PT_STR: strValue = ReadString(s); break;
    default: break;
  }
}

void TParamData::SaveToStream(TStream& s) const {
  WriteByte(s, kind);
  WriteString(s, name);
  switch (kind) {
    case PT_INT: WriteInt(s, intValue); break;
    case PT_FLOAT: WriteReal(s, floatValue); break;
    case PT_BOOL: WriteBool(s, boolValue); break;
    case PT_STR: WriteString(s, strValue); break;
    default: break;
  }
}

std::string IncludeTrailingBackslash(const std::string& s) {
  if (!s.empty() && s.back() == '\\' && IsCharStart(s, s.size() - 1)) return s;
  return s + "\\";
}

int32_t TFolderDiskList::Find(const std::string& folder) const {
  const std::string key = IncludeTrailingBackslash(folder);
  for (const TItem& it : items)
    if (SameText(IncludeTrailingBackslash(it.folder), key)) return it.disc;
  return -1;
}

int32_t TFolderDiskList::DiscOf(const std::string& name) const {
  std::string n = name;
  while (!n.empty()) {
    const int32_t d = Find(n);
    if (d >= 0) return d;
    // Cut the last path element: from the last single-byte "\" to the end.
    size_t cut = std::string::npos;
    for (size_t i = 0; i < n.size(); i = NextChar(n, i))
      if (n[i] == '\\') cut = i;
    n.resize(cut == std::string::npos ? 0 : cut);
  }
  return 0;
}

void TFolderDiskList::LoadFromStream(TStream& s) {
  items.clear();
  const int32_t n = ReadCount(s, 8);
  for (int32_t i = 0; i < n; ++i) {
    TItem it;
    it.folder = ReadString(s);
    it.disc = ReadInt(s);
    items.push_back(std::move(it));
  }
}

void TFolderDiskList::SaveToStream(TStream& s) const {
  WriteInt(s, int32_t(items.size()));
  for (const TItem& it : items) {
    WriteString(s, it.folder);
    WriteInt(s, it.disc);
  }
}

void TProjectSetting::LoadFromStream(TStream& s) {
  TProjectSetting r;  // filled completely before anything is replaced
  r.version = ReadInt(s);
  if (r.version > kVersion) throw EProjectVersion();
  const int32_t v = r.version;
  r.title = ReadString(s);
  r.width = ReadInt(s);
  r.height = ReadInt(s);
  r.fullWidth = ReadInt(s);
  r.fullHeight = ReadInt(s);
  r.startPage = ReadString(s);
  if (v >= 110) r.exitPage = ReadString(s);
  r.registryKey = ReadString(s);
  r.imageSeed = ReadInt(s);
  if (v > 103) r.storeStatus = ReadBool(s);
  if (v >= 106) r.unusedFlag = ReadBool(s);
  if (v >= 109) r.soundExts = ReadString(s);
  if (v > 112) r.pauseWhenInactive = ReadBool(s);
  if (v >= 114) r.needFirstDisc = ReadBool(s);
  r.discPrompt = ReadString(s);
  r.quitPrompt = ReadString(s);
  const int32_t n = ReadCount(s, 5);  // a kind byte and a name length at least
  r.vars.reserve(size_t(n));
  for (int32_t i = 0; i < n; ++i) {
    TParamData d;
    d.LoadFromStream(s);
    r.vars.push_back(std::move(d));
  }
  r.folderDiscs.LoadFromStream(s);
  *this = std::move(r);
}

void TProjectSetting::SaveToStream(TStream& s) const {
  const int32_t v = version;
  if (v > kVersion) throw EProjectVersion();
  WriteInt(s, v);
  WriteString(s, title);
  WriteInt(s, width);
  WriteInt(s, height);
  WriteInt(s, fullWidth);
  WriteInt(s, fullHeight);
  WriteString(s, startPage);
  if (v >= 110) WriteString(s, exitPage);
  WriteString(s, registryKey);
  WriteInt(s, imageSeed);
  if (v > 103) WriteBool(s, storeStatus);
  if (v >= 106) WriteBool(s, unusedFlag);
  if (v >= 109) WriteString(s, soundExts);
  if (v > 112) WriteBool(s, pauseWhenInactive);
  if (v >= 114) WriteBool(s, needFirstDisc);
  WriteString(s, discPrompt);
  WriteString(s, quitPrompt);
  WriteInt(s, int32_t(vars.size()));
  for (const TParamData& d : vars) d.SaveToStream(s);
  folderDiscs.SaveToStream(s);
}

namespace {

void ReadQuad(TStream& s, bool wide, TKestInstallSet::TQuad& q) {
  for (int64_t& x : q.v) x = wide ? ReadInt64(s) : int64_t(ReadInt(s));
}

std::vector<std::string> ReadList(TStream& s, bool dropEmpty) {
  std::vector<std::string> out;
  const int32_t n = ReadCount(s, 4);
  for (int32_t i = 0; i < n; ++i) {
    std::string t = ReadString(s);
    if (!dropEmpty || !t.empty()) out.push_back(std::move(t));
  }
  return out;
}

void WriteList(TStream& s, const std::vector<std::string>& list) {
  WriteInt(s, int32_t(list.size()));
  for (const std::string& t : list) WriteString(s, t);
}

}  // namespace

void TKestInstallSet::LoadFromStream(TStream& s) {
  TKestInstallSet r;
  const int64_t start = s.Position();
  uint8_t magic[5] = {0, 0, 0, 0, 0};
  const int64_t got = s.Read(magic, 5);
  if (got >= 2 && magic[0] == 'i' && magic[1] == 's') {
    r.version = 0;
    bool digits = got == 5;
    for (int i = 2; i < 5 && digits; ++i) digits = magic[i] >= '0' && magic[i] <= '9';
    if (digits) r.version = (magic[2] - '0') * 100 + (magic[3] - '0') * 10 + (magic[4] - '0');
    if (got < 5) throw EReadError();
  } else {
    r.version = 0;
    s.SetPosition(start);
  }
  const int32_t v = r.version;
  r.discIndex = ReadInt(s);
  r.Title = ReadString(s);
  for (std::string& t : r.str3) t = ReadString(s);
  r.flag6 = ReadBool(s);
  r.str7 = ReadString(s);
  r.flag8 = ReadBool(s);
  const int32_t n = ReadInt(s);
  r.str10 = ReadString(s);
  r.value11 = ReadInt(s);
  r.flag12 = ReadBool(s);
  r.flag13 = ReadBool(s);
  r.str14 = ReadString(s);
  r.str15 = ReadString(s);
  const bool wide = v > 99;
  if (n > 0) {
    if (int64_t(n) > s.Remaining() / (wide ? 32 : 16)) throw EKestBadData("count beyond the end of the record");
    r.items.resize(size_t(n));
    for (TQuad& q : r.items) ReadQuad(s, wide, q);
  }
  ReadQuad(s, wide, r.totals);
  r.flag18 = ReadBool(s);
  if (v > 100) r.flag19 = ReadBool(s);
  if (v > 101) r.FileList = ReadList(s, true);
  if (v > 102) r.DataInstalled = ReadBool(s);
  if (v > 103) r.flag22 = ReadBool(s);
  if (v > 104) r.flag23 = ReadBool(s);
  if (v > 105) r.list24 = ReadList(s, false);
  if (v > 106) r.str25 = ReadString(s);
  if (v > 107) {
    r.str26 = ReadString(s);
    r.str27 = ReadString(s);
  }
  *this = std::move(r);
}

void TKestInstallSet::SaveToStream(TStream& s) const {
  s.WriteBuffer("is108", 5);
  WriteInt(s, discIndex);
  WriteString(s, Title);
  for (const std::string& t : str3) WriteString(s, t);
  WriteBool(s, flag6);
  WriteString(s, str7);
  WriteBool(s, flag8);
  WriteInt(s, int32_t(items.size()));
  WriteString(s, str10);
  WriteInt(s, value11);
  WriteBool(s, flag12);
  WriteBool(s, flag13);
  WriteString(s, str14);
  WriteString(s, str15);
  for (const TQuad& q : items)
    for (int64_t x : q.v) WriteInt64(s, x);
  for (int64_t x : totals.v) WriteInt64(s, x);
  WriteBool(s, flag18);
  WriteBool(s, flag19);
  WriteList(s, FileList);
  WriteBool(s, DataInstalled);
  WriteBool(s, flag22);
  WriteBool(s, flag23);
  WriteList(s, list24);
  WriteString(s, str25);
  WriteString(s, str26);
  WriteString(s, str27);
}

}  // namespace kest
