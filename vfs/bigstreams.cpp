#include "vfs/bigstreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/sjis.h"

namespace kest {

namespace {

// "ファイルを削除できません:" (cannot delete the file:)
constexpr const char kMsgCannotDelete[] =
    "\x83t\x83@\x83\x43\x83\x8B\x82\xF0\x8D\xED\x8F\x9C\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1:";
// "書き込みできないストリームです" (the stream cannot be written)
constexpr const char kMsgReadOnly[] =
    "\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x82\xC5\x82\xAB\x82\xC8\x82\xA2\x83X\x83g\x83\x8A\x81[\x83\x80\x82\xC5\x82\xB7";

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

TBlobRef TBlobRef::FromBytes(std::vector<uint8_t> bytes) {
  auto owner = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
  TBlobRef r;
  r.data = owner->data();
  r.size = int64_t(owner->size());
  r.keepAlive = owner;
  return r;
}

// --- TTpBigFileStream ------------------------------------------------------------------

std::string TTpBigFileStream::VolumeName(const std::string& fileName, int i) {
  if (i == 0) return fileName;
  const size_t slash = fileName.find_last_of('/');
  const size_t dot = fileName.find_last_of('.');
  std::string stem = fileName;
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.resize(dot);
  char num[16];
  std::snprintf(num, sizeof num, ".%.3d", i);
  return stem + num;
}

TTpBigFileStream::TTpBigFileStream(const std::string& fileName, uint16_t mode, int64_t volumeSize,
                                   bool splitVolumes)
    : fileName_(fileName), mode_(mode), volumeSize_(volumeSize > 0 ? volumeSize : kDefaultVolumeSize),
      split_(splitVolumes) {
  const int access = mode & 0x0F;
  if (access == 0 || access == 2) {
    const TFileAccess fa = access == 0 ? TFileAccess::Read : TFileAccess::ReadWrite;
    for (int i = 0;; ++i) {
      const std::string name = VolumeName(fileName_, i);
      if (i > 0 && (!split_ || !FileExists(name))) break;
      volumes_.push_back(std::make_unique<TFileStream>(name, fa));  // raises when it cannot open
      // A volume that is not full ends the set: whatever follows it cannot be placed.
      if (volumes_.back()->Size() < volumeSize_) break;
    }
  } else {
    for (int i = 0;; ++i) {
      const std::string name = VolumeName(fileName_, i);
      if (i > 0 && !split_) break;
      if (!FileExists(name)) break;
      if (::unlink(name.c_str()) != 0)
        throw EStreamError(std::string(kMsgCannotDelete) + Utf8ToCp932(name));
    }
    volumes_.push_back(std::make_unique<TFileStream>(fileName_, TFileAccess::Create));
  }
  starts_.resize(volumes_.size());
  int64_t at = 0;
  for (size_t i = 0; i < volumes_.size(); ++i) {
    starts_[i] = at;
    at += volumes_[i]->Size();
  }
}

TTpBigFileStream::~TTpBigFileStream() {
  if (Writable()) {
    for (auto& v : volumes_) ::fsync(v->Handle());
  }
}

int64_t TTpBigFileStream::Size() const {
  return volumes_.empty() ? 0 : starts_.back() + volumes_.back()->Size();
}

void TTpBigFileStream::SetPosition(int64_t p) { pos_ = std::clamp<int64_t>(p, 0, Size()); }

int TTpBigFileStream::VolumeAt(int64_t p, int64_t* offsetInVolume) const {
  // Volumes are few: a linear walk from the back is enough.
  for (int i = int(volumes_.size()) - 1; i >= 0; --i) {
    if (p >= starts_[size_t(i)]) {
      *offsetInVolume = p - starts_[size_t(i)];
      return i;
    }
  }
  *offsetInVolume = p;
  return 0;
}

int64_t TTpBigFileStream::ReadAt(int64_t offset, void* buffer, int64_t count) const {
  if (count <= 0 || offset < 0 || volumes_.empty()) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  int64_t o;
  for (int i = VolumeAt(offset, &o); count > 0 && i < int(volumes_.size()); ++i, o = 0) {
    const TFileStream& v = *volumes_[size_t(i)];
    const int64_t n = std::min(v.Size() - o, count);
    if (n <= 0) continue;
    const int64_t got = v.ReadAt(o, out + done, n);
    done += got;
    count -= got;
    if (got < n) break;  // the volume shrank under us
  }
  return done;
}

int64_t TTpBigFileStream::Read(void* buffer, int64_t count) {
  const int64_t n = ReadAt(pos_, buffer, count);
  pos_ += n;
  return n;
}

int64_t TTpBigFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (!Writable()) throw EStreamError(kMsgReadOnly);
  const auto* in = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (count > 0) {
    int64_t o;
    int i = VolumeAt(pos_, &o);
    const bool last = i == int(volumes_.size()) - 1;
    // A full last volume: the next byte goes into a new volume.
    if (last && o >= volumeSize_ && split_) {
      {
        const std::string name = VolumeName(fileName_, i + 1);
        volumes_.push_back(std::make_unique<TFileStream>(name, TFileAccess::Create));
        starts_.push_back(starts_.back() + volumes_[size_t(i)]->Size());
        ++i;
        o = 0;
      }
    }
    TFileStream& v = *volumes_[size_t(i)];
    int64_t n = count;
    if (split_) n = std::min(n, volumeSize_ - o);
    // Volumes in the middle never grow: their end is the next volume's start.
    if (i < int(volumes_.size()) - 1) n = std::min(n, v.Size() - o);
    if (n <= 0) break;
    v.SetPosition(o);
    v.WriteBuffer(in + done, n);
    done += n;
    count -= n;
    pos_ += n;
  }
  return done;
}

void TTpBigFileStream::Flush() {
  for (auto& v : volumes_) v->Flush();
}

// --- TTpBuffBigStream ------------------------------------------------------------------

TTpBuffBigStream::TTpBuffBigStream(TStream& source, int64_t bufferSize)
    : source_(source), buffer_(size_t(bufferSize > 0 ? bufferSize : kBufferSize)) {}

TTpBuffBigStream::~TTpBuffBigStream() {
  if (fill_ > used_) source_.SetPosition(source_.Position() - (fill_ - used_));
}

void TTpBuffBigStream::SetPosition(int64_t p) {
  fill_ = used_ = 0;
  source_.SetPosition(p);
}

int64_t TTpBuffBigStream::Read(void* buffer, int64_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (count > 0) {
    if (used_ >= fill_) {
      fill_ = used_ = 0;
      const int64_t want = std::min<int64_t>(source_.Remaining(), int64_t(buffer_.size()));
      if (want <= 0) break;
      fill_ = source_.Read(buffer_.data(), want);
      if (fill_ <= 0) {
        fill_ = 0;
        break;
      }
    }
    const int64_t n = std::min(count, fill_ - used_);
    std::memcpy(out + done, buffer_.data() + used_, size_t(n));
    used_ += n;
    done += n;
    count -= n;
  }
  return done;
}

int64_t TTpBuffBigStream::Write(const void*, int64_t) { throw EStreamError(kMsgReadOnly); }

// --- TRangeStream ----------------------------------------------------------------------

TRangeStream::TRangeStream(std::unique_ptr<TStream> underlying, int64_t start, int64_t length)
    : underlying_(std::move(underlying)) {
  file_ = dynamic_cast<TTpBigFileStream*>(underlying_.get());
  const int64_t size = underlying_->Size();
  start_ = std::clamp<int64_t>(start, 0, size);
  length_ = length < 0 ? size - start_ : std::min(length, size - start_);
  underlying_->SetPosition(start_);
}

int64_t TRangeStream::Position() const {
  std::lock_guard<std::mutex> g(lock_);
  return pos_;
}

void TRangeStream::SetPositionLocked(int64_t p) { pos_ = std::clamp<int64_t>(p, 0, length_); }

void TRangeStream::SetPosition(int64_t p) {
  std::lock_guard<std::mutex> g(lock_);
  SetPositionLocked(p);
}

int64_t TRangeStream::Seek(int64_t offset, TSeekOrigin origin) {
  std::lock_guard<std::mutex> g(lock_);
  int64_t base = 0;
  switch (origin) {
    case TSeekOrigin::Begin: base = 0; break;
    case TSeekOrigin::Current: base = pos_; break;
    case TSeekOrigin::End: base = length_; break;
  }
  int64_t target;
  if (__builtin_add_overflow(base, offset, &target)) target = offset < 0 ? 0 : length_;
  SetPositionLocked(target);
  return pos_;
}

int64_t TRangeStream::Read(void* buffer, int64_t count) {
  std::lock_guard<std::mutex> g(lock_);
  count = std::min(count, length_ - pos_);
  if (count <= 0) return 0;
  int64_t got;
  if (file_) {
    got = file_->ReadAt(start_ + pos_, buffer, count);
  } else {
    underlying_->SetPosition(start_ + pos_);
    got = underlying_->Read(buffer, count);
  }
  pos_ += got;
  return got;
}

int64_t TRangeStream::Write(const void*, int64_t) { return 0; }

TFileRangeStream::TFileRangeStream(const std::string& fileName, int64_t length, int64_t start, bool splitVolumes,
                                   int64_t volumeSize)
    : TRangeStream(std::make_unique<TTpBigFileStream>(
                       fileName, TTpBigFileStream::kModeRead | TTpBigFileStream::kShareDenyWrite, volumeSize,
                       splitVolumes),
                   start, length) {}

TResourceRangeStream::TResourceRangeStream(const TBlobRef& blob, int64_t length, int64_t start)
    : TRangeStream(blob.Open(), start, length) {}

}  // namespace kest
