// Our stream hierarchy: 64-bit sizes and positions everywhere. Every record format of the
// player (archives, saves, pages, tables) reads and writes through these classes.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/types.h"

namespace kest {

// A read met the end of the data before the record was complete.
class EReadError : public EKestBadData {
 public:
  EReadError();
  using EKestBadData::EKestBadData;
};

// A file could not be opened, written or flushed, or a stream refuses an operation.
class EStreamError : public EKest {
 public:
  using EKest::EKest;
};

enum class TSeekOrigin { Begin, Current, End };

// The abstract stream. Positions never go below 0; Read and Write answer the number of
// bytes moved, which is fewer than asked only at the end of the data (Read) or when the
// stream cannot take more (Write); a stream may also move fewer bytes per call. ReadBuffer
// and WriteBuffer repeat until done and raise when the stream stops short.
class TStream {
 public:
  TStream() = default;
  virtual ~TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  virtual int64_t Size() const = 0;
  virtual int64_t Position() const = 0;
  // Negative positions become 0. Whether a position beyond the end is kept depends on
  // the stream: memory and file streams keep it (a later write fills the gap with zeros),
  // read-only and volume streams stop at the end.
  virtual void SetPosition(int64_t p) = 0;
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Changes the size; the position is kept (clipped to the new size). Streams that cannot
  // change their size raise EStreamError.
  virtual void SetSize(int64_t size);
  // The stream's bytes as one block of memory, when it has one (memory and blob streams);
  // nullptr otherwise. Valid until the stream changes.
  virtual const uint8_t* Memory() const { return nullptr; }

  // Moves relative to the start, the current position or the end; answers the position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin);
  // Bytes between the position and the end (0 when the position is at or beyond it).
  int64_t Remaining() const;
  // Reads exactly count bytes or raises EReadError.
  void ReadBuffer(void* buffer, int64_t count);
  // Writes exactly count bytes or raises EStreamError.
  void WriteBuffer(const void* buffer, int64_t count);
};

// A growable stream in memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}

  int64_t Size() const override { return int64_t(data_.size()); }
  int64_t Position() const override { return pos_; }
  void SetPosition(int64_t p) override { pos_ = p < 0 ? 0 : p; }
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  void SetSize(int64_t size) override;
  const uint8_t* Memory() const override { return data_.data(); }

  uint8_t* Data() { return data_.data(); }
  // The bytes themselves, for fillers that write in place (the capacity is kept between
  // uses); callers set the position afterwards.
  std::vector<uint8_t>& Storage() { return data_; }
  const std::vector<uint8_t>& Bytes() const { return data_; }
  // Takes the bytes out; the stream is left empty at position 0.
  std::vector<uint8_t> TakeBytes();
  void Assign(std::vector<uint8_t> bytes);
  void Clear();

  // Whole-stream transfers (the position is set to 0 afterwards on loads).
  void LoadFromStream(TStream& source);  // the source from its start to its end
  void SaveToStream(TStream& target) const;
  void LoadFromFile(const std::string& path);  // a native path (UTF-8)
  void SaveToFile(const std::string& path) const;

 private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;
};

// The memory stream of save-game and table data.
class TTpMemoryStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
};

// A read-only stream over bytes owned elsewhere: the player's embedded blobs ("resources"),
// or a block handed in by a caller. `keepAlive` (optional) holds the owner of the bytes.
class TBlobStream : public TStream {
 public:
  TBlobStream(const void* data, int64_t size, std::shared_ptr<const void> keepAlive = nullptr);

  int64_t Size() const override { return size_; }
  int64_t Position() const override { return pos_; }
  // Stops at the end.
  void SetPosition(int64_t p) override;
  int64_t Read(void* buffer, int64_t count) override;
  // Raises EStreamError: blobs are read-only.
  int64_t Write(const void* buffer, int64_t count) override;
  const uint8_t* Memory() const override { return data_; }

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t pos_ = 0;
  std::shared_ptr<const void> keepAlive_;
};

enum class TFileAccess {
  Read,       // an existing file, read only
  Write,      // an existing file, write only
  ReadWrite,  // an existing file
  Create,     // created anew (an existing file is truncated), read and write
  CreateNew,  // a new file that must not exist yet (never follows a link), read and write
};

// One file on disk, read and written with pread/pwrite at the stream's own position, so
// several streams over one file never disturb each other.
class TFileStream : public TStream {
 public:
  // `path` is a native path (UTF-8). Raises EStreamError when the file cannot be opened.
  TFileStream(const std::string& path, TFileAccess access);
  ~TFileStream() override;

  int64_t Size() const override { return size_; }
  int64_t Position() const override { return pos_; }
  void SetPosition(int64_t p) override { pos_ = p < 0 ? 0 : p; }
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  void SetSize(int64_t size) override;

  // Reads at an absolute offset without moving the position (safe from several threads).
  int64_t ReadAt(int64_t offset, void* buffer, int64_t count) const;
  // Writes the file's buffers to the device (fsync); raises EStreamError on failure.
  void Flush();
  const std::string& Path() const { return path_; }
  TFileAccess Access() const { return access_; }
  int Handle() const { return fd_; }

 private:
  std::string path_;
  TFileAccess access_;
  int fd_ = -1;
  int64_t size_ = 0;
  int64_t pos_ = 0;
};

// Copies count bytes from the source's position to the target's position and answers
// count. Count 0 means the whole source from its start (the source is set to position 0
// first). A memory source is written in one call from its memory; others go through one
// buffer of at most 10 MiB. When the source ends before count bytes were copied, raises
// EReadError (what was copied so far stays written).
int64_t CopyStream(TStream& target, TStream& source, int64_t count);

}  // namespace kest
