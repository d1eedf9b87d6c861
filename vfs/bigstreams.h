// Streams over archives: files split into volumes, the read-ahead buffer of directory
// reads, and read-only windows that media decoders may read from their own threads.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "vfs/streams.h"

namespace kest {

// Every stream of ours already has 64-bit sizes and positions.
using TTpBigStream = TStream;
using TTpBigMemoryStream = TMemoryStream;
using TTpBigResourceStream = TBlobStream;

// Bytes embedded in the program (a "resource") or handed in by a caller, shared by every
// stream opened on them.
struct TBlobRef {
  const uint8_t* data = nullptr;
  int64_t size = 0;
  std::shared_ptr<const void> keepAlive;  // holds the owner of the bytes, if any

  static TBlobRef FromBytes(std::vector<uint8_t> bytes);
  std::unique_ptr<TBlobStream> Open() const { return std::make_unique<TBlobStream>(data, size, keepAlive); }
};

// A file that may be split into volumes: volume 0 is the file itself, volume i >= 1 is the
// path without its extension followed by "." and i in three digits (game.dat, game.001,
// game.002, ...). Volume i nominally holds bytes [i * VolumeSize, (i + 1) * VolumeSize).
class TTpBigFileStream : public TStream {
 public:
  static constexpr int64_t kDefaultVolumeSize = 1073741824;  // 1 GiB
  // Mode: low 4 bits the access (0 read, 1 write, 2 read-write, anything else create);
  // bits 4-7 the sharing, which this machine does not enforce and which is kept only as
  // information. Read and read-write open the existing volumes 0, 1, 2, ... as long as
  // they exist (volume 0 must exist), up to the first volume that is not full (anything
  // after a short volume could not be placed, so it is not taken); the other modes delete the existing volumes and
  // start empty. With `splitVolumes` false only the file itself is used (an archive
  // appended to an executable must never pick up a stray game.001 beside it).
  // Raises EStreamError naming the volume that cannot be opened, created or deleted.
  TTpBigFileStream(const std::string& fileName, uint16_t mode, int64_t volumeSize = kDefaultVolumeSize,
                   bool splitVolumes = true);
  ~TTpBigFileStream() override;

  static constexpr uint16_t kModeRead = 0x00;
  static constexpr uint16_t kModeWrite = 0x01;
  static constexpr uint16_t kModeReadWrite = 0x02;
  static constexpr uint16_t kModeCreate = 0x0F;
  static constexpr uint16_t kShareDenyWrite = 0x20;

  // The name of volume i.
  static std::string VolumeName(const std::string& fileName, int i);

  int64_t Size() const override;
  int64_t Position() const override { return pos_; }
  // Stops at the end (and at 0).
  void SetPosition(int64_t p) override;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Reads at an absolute position without moving the stream (pread on each volume).
  int64_t ReadAt(int64_t offset, void* buffer, int64_t count) const;
  // Writes every volume's buffers to the device; raises EStreamError on failure.
  void Flush();

  const std::string& FileName() const { return fileName_; }
  uint16_t Mode() const { return mode_; }
  int VolumeCount() const { return int(volumes_.size()); }
  int64_t VolumeSize() const { return volumeSize_; }

 private:
  bool Writable() const { return (mode_ & 0x0F) != 0; }
  // The volume holding position p: volumes are mapped by their actual sizes, so a short
  // volume in the middle (a damaged copy) never makes a read go negative.
  int VolumeAt(int64_t p, int64_t* offsetInVolume) const;

  std::string fileName_;
  uint16_t mode_;
  int64_t volumeSize_;
  bool split_;
  std::vector<std::unique_ptr<TFileStream>> volumes_;
  std::vector<int64_t> starts_;  // position of the first byte of each volume
  int64_t pos_ = 0;
};

// The read-ahead buffer of directory reads (102,400 bytes). It reads ahead from its source
// (not owned) and, when destroyed, moves the source back to the first byte the caller has
// not consumed. It is a stream itself, so the record primitives read through it; its
// Size is the source's and its Position the caller's.
class TTpBuffBigStream : public TStream {
 public:
  static constexpr int64_t kBufferSize = 102400;
  explicit TTpBuffBigStream(TStream& source, int64_t bufferSize = kBufferSize);
  ~TTpBuffBigStream() override;

  int64_t Size() const override { return source_.Size(); }
  int64_t Position() const override { return source_.Position() - (fill_ - used_); }
  // Drops the buffer and moves the source.
  void SetPosition(int64_t p) override;
  // Copies from the buffer, refilling it while the source has bytes; at the end of the
  // source the read ends short.
  int64_t Read(void* buffer, int64_t count) override;
  // Raises EStreamError: the buffer only reads.
  int64_t Write(const void* buffer, int64_t count) override;
  // Bytes read ahead and not yet consumed.
  int64_t Unread() const { return fill_ - used_; }

 private:
  TStream& source_;
  std::vector<uint8_t> buffer_;
  int64_t fill_ = 0;
  int64_t used_ = 0;
};

// A read-only window [start, start + length) on a stream of its own. Every operation holds
// the window's own lock, so a decoder thread may read it while the main thread uses other
// streams over the same file. Positions are relative to the window start.
class TRangeStream : public TStream {
 public:
  static constexpr int64_t kWhole = -1;  // a length meaning "the whole underlying stream"
  // Takes over the underlying stream. A negative length means the whole stream from
  // `start`; a length of 0 is an empty window. The window is cut to the underlying size.
  TRangeStream(std::unique_ptr<TStream> underlying, int64_t start, int64_t length);

  int64_t Size() const override { return length_; }
  int64_t Position() const override;
  // Clamped to [0, length].
  void SetPosition(int64_t p) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  // Clipped at the window end.
  int64_t Read(void* buffer, int64_t count) override;
  // Writes nothing and answers 0.
  int64_t Write(const void* buffer, int64_t count) override;

  int64_t WindowStart() const { return start_; }

 private:
  void SetPositionLocked(int64_t p);
  std::unique_ptr<TStream> underlying_;
  TTpBigFileStream* file_ = nullptr;  // the underlying stream when it is a file (pread)
  int64_t start_;
  int64_t length_;
  int64_t pos_ = 0;  // window-relative
  mutable std::mutex lock_;
};

// A window on a file, opened anew (read, others may read). A negative length means the
// whole file from `start`.
class TFileRangeStream : public TRangeStream {
 public:
  TFileRangeStream(const std::string& fileName, int64_t length, int64_t start, bool splitVolumes = true,
                   int64_t volumeSize = TTpBigFileStream::kDefaultVolumeSize);
};

// A window on embedded bytes.
class TResourceRangeStream : public TRangeStream {
 public:
  TResourceRangeStream(const TBlobRef& blob, int64_t length, int64_t start);
};

}  // namespace kest
