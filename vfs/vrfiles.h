// The "vf" archive: one container format for a title's files and for the save file.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/hash.h"
#include "common/types.h"
#include "vfs/bigstreams.h"
#include "vfs/streams.h"
#include "vfs/zlibs.h"

namespace kest {

// The archive is damaged: its directory, trailer or an entry's stored bytes do not hold
// together.
class EVrDamaged : public EKestBadData {
 public:
  using EKestBadData::EKestBadData;
};

// "%s:ファイルがありません" (file not found), with the requested name.
class EVrFileNotFound : public EKest {
 public:
  explicit EVrFileNotFound(const std::string& name);
};

// One entry of an archive.
class TVrFile : public THashCollectionItem {
 public:
  using THashCollectionItem::THashCollectionItem;

  int64_t Offset = 0;  // start of the stored bytes in the archive stream (absolute)
  int64_t Size = 0;    // number of stored bytes (compressed size when compressed)
  std::unique_ptr<TTpMemoryStream> Data;  // content of an in-memory entry; wins over Offset/Size
  bool Stored = false;                    // true: the stored bytes are the content; false: zlib
  int32_t FileTime = 0;                   // DOS date-time of the file it was built from
  uint32_t Crc = 0;
  bool CrcOfContent = false;  // Crc covers the content (true) or the stored bytes (false)
  // The entry was read from the collection's archive (Offset and Size describe its bytes
  // there); entries added by name alone have no bytes of their own.
  bool InArchive = false;
};

class TVrFileCollection : public THashCollectionOf<TVrFile> {
 public:
  // The entry that ends a directory read from an archive; it has no content.
  static constexpr const char kTerminator[] = "\\EOF\\";
  // Entries of this size and more are stored uncompressed.
  static constexpr int64_t kStoreThreshold = 5242880;
  static constexpr int kVersion = 102;

  TVrFileCollection() = default;
  ~TVrFileCollection() override = default;

  // Drops every entry and the archive stream; the folder, the file name and the settings
  // below stay.
  void ClearEntries();

  // Opens an archive file (a native path). An empty name leaves an empty collection
  // without a stream. A missing file leaves an empty collection whose folder is the name
  // itself. ".exe"/".scr" files carry the archive at their end (the last six bytes are
  // the int32 start and "kt") and are never taken as split volumes; otherwise a file
  // with the same path and the extension ".ext" holds the directory separately.
  // A damaged archive raises EVrDamaged and leaves the collection empty.
  void LoadFromFile(const std::string& nativePath);
  // The same, but the archive is taken from the file's end (the "kt" trailer) whatever
  // the extension: for executables named otherwise on this machine.
  void LoadAppended(const std::string& nativePath);
  // Opens an archive held in embedded bytes; an empty blob raises "リソースが見つかりません".
  void LoadFromResource(const TBlobRef& blob, const std::string& label = std::string());
  // Reads a directory starting at the stream's position; offsets are taken relative to
  // that position. Raises EVrDamaged (and leaves the entries unchanged) when the directory
  // does not hold together.
  void ReadDirectory(TStream& s);

  TVrFile* AddEntry(const std::string& name);
  TVrFile* AddMemoryEntry(const std::string& name);
  void DeleteEntry(const std::string& name);
  TVrFile* FindEntry(const std::string& name) const { return Find(name); }

  // Fills a stream with an entry's content and rewinds it (a memory stream is emptied
  // first): an in-memory entry's data, else the archive's bytes (inflated when
  // compressed), else the loose file Folder + name. Raises EVrFileNotFound, EVrDamaged,
  // EZlibError or EReadError.
  void ReadEntry(TStream& dest, const std::string& name);
  // A read-only window on an entry's content, or nothing when the entry is absent or the
  // collection has no stream (and the entry no data). Stored entries are windows on a
  // file (or blob) opened anew; compressed and in-memory entries are windows on a copy of
  // the content in memory.
  std::unique_ptr<TStream> OpenRange(const std::string& name);
  // Appends the names of the entries in `folder` (the text up to the last "\" or ":"
  // equal without case), unless the list already holds the entry's bare file name.
  void ListFolder(const std::string& folder, std::vector<std::string>& list) const;

  // Writes the collection as an archive at the stream's position; offsets are counted
  // from that position. Versions 0, 100 and 101 are the older layouts (every entry
  // compressed); the player writes 102. When writing an entry fails, OnWriteError gets
  // "エラー:" + the entry's name and the exception propagates.
  bool SaveToStream(TStream& s, int version = kVersion);
  // Writes one entry's stored bytes and sets its Stored, Crc and FileTime.
  void WriteEntryData(TStream& s, TVrFile& e, bool alwaysCompress = false);
  // Whether a loose file is worth compressing.
  static bool ShouldCompress(const std::string& nativePath, int64_t size);
  // Saves the collection to a file without ever leaving it half written: a new temporary
  // file beside it, flushed to the device, then renamed over the target. When the target
  // is the collection's own archive, the collection then stands on the new file.
  void SaveToFile(const std::string& nativePath);

  // Checks one entry's stored bytes: they lie inside the archive, inflate when
  // compressed, and match the CRC. Answers "" when sound, else what is wrong.
  std::string CheckEntry(const TVrFile& e);

  const std::string& Folder() const { return folder_; }
  void SetFolder(const std::string& nativeFolder);
  const std::string& FileName() const { return fileName_; }
  TStream* Stream() const { return stream_.get(); }
  int Version() const { return version_; }
  bool FromResource() const { return fromResource_; }

  // Loose files beside the archive (the fallback of ReadEntry and the loose-file branch of
  // WriteEntryData). The save file turns them off so that no stray file can enter it.
  bool LooseFiles() const { return looseFiles_; }
  void SetLooseFiles(bool on) { looseFiles_ = on; }
  int64_t InflateLimit() const { return inflateLimit_; }
  void SetInflateLimit(int64_t limit) { inflateLimit_ = limit > 0 ? limit : kDefaultInflateLimit; }
  // The volume size of split archives (tests use small volumes).
  int64_t VolumeSize() const { return volumeSize_; }
  void SetVolumeSize(int64_t size) { volumeSize_ = size > 0 ? size : TTpBigFileStream::kDefaultVolumeSize; }

  // Receives the CP932 text of a failed entry write (the player shows it in a box).
  std::function<void(const std::string&)> OnWriteError;

 private:
  [[noreturn]] void Damaged(const char* what) const;
  void Load(const std::string& nativePath, bool trailer);
  bool IsTerminator(const TVrFile& e) const;
  std::vector<uint8_t> ReadStoredBytes(const TVrFile& e);
  void ReadContent(const TVrFile& e, std::vector<uint8_t>& out);

  std::string folder_;
  std::string fileName_;
  std::unique_ptr<TStream> stream_;
  TBlobRef blob_;
  bool fromResource_ = false;
  bool splitVolumes_ = true;
  int version_ = 0;
  bool looseFiles_ = true;
  int64_t inflateLimit_ = kDefaultInflateLimit;
  int64_t volumeSize_ = TTpBigFileStream::kDefaultVolumeSize;
};

}  // namespace kest
