#include "vfs/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "common/sjis.h"

namespace kest {

namespace {

// "データが途中で終わっています" (the data ends early)
constexpr const char kMsgReadError[] =
    "\x83\x66\x81[\x83^\x82\xAA\x93r\x92\x86\x82\xC5\x8FI\x82\xED\x82\xC1\x82\xC4\x82\xA2\x82\xDC\x82\xB7";
// "ファイルを開けません:" (cannot open the file:)
constexpr const char kMsgCannotOpen[] =
    "\x83t\x83@\x83\x43\x83\x8B\x82\xF0\x8AJ\x82\xAF\x82\xDC\x82\xB9\x82\xF1:";
// "ファイルに書き込めません:" (cannot write the file:)
constexpr const char kMsgCannotWrite[] =
    "\x83t\x83@\x83\x43\x83\x8B\x82\xC9\x8F\x91\x82\xAB\x8D\x9E\x82\xDF\x82\xDC\x82\xB9\x82\xF1:";
// "書き込みできないストリームです" (the stream cannot be written)
constexpr const char kMsgReadOnly[] =
    "\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x82\xC5\x82\xAB\x82\xC8\x82\xA2\x83X\x83g\x83\x8A\x81[\x83\x80\x82\xC5\x82\xB7";
// "メモリが足りません" (not enough memory)
constexpr const char kMsgNoMemory[] =
    "\x83\x81\x83\x82\x83\x8A\x82\xAA\x91\xAB\x82\xE8\x82\xDC\x82\xB9\x82\xF1";

constexpr int64_t kCopyBufferMax = 10485760;
constexpr int64_t kCopyBufferStep = 1048576;

[[noreturn]] void FileError(const char* what, const std::string& path) {
  throw EStreamError(std::string(what) + Utf8ToCp932(path) + " (" + Utf8ToCp932(std::strerror(errno)) + ")");
}

}  // namespace

EReadError::EReadError() : EKestBadData(kMsgReadError) {}

// --- TStream ---------------------------------------------------------------------------

void TStream::SetSize(int64_t) { throw EStreamError(kMsgReadOnly); }

int64_t TStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  switch (origin) {
    case TSeekOrigin::Begin: base = 0; break;
    case TSeekOrigin::Current: base = Position(); break;
    case TSeekOrigin::End: base = Size(); break;
  }
  int64_t target;
  if (__builtin_add_overflow(base, offset, &target)) target = offset < 0 ? 0 : INT64_MAX;
  SetPosition(target);
  return Position();
}

int64_t TStream::Remaining() const {
  const int64_t r = Size() - Position();
  return r > 0 ? r : 0;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    const int64_t n = Read(p, count);
    if (n <= 0) throw EReadError();
    p += n;
    count -= n;
  }
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  const auto* p = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    const int64_t n = Write(p, count);
    if (n <= 0) throw EStreamError(kMsgCannotWrite);
    p += n;
    count -= n;
  }
}

// --- TMemoryStream ---------------------------------------------------------------------

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || pos_ >= size) return 0;
  const int64_t n = std::min(count, size - pos_);
  std::memcpy(buffer, data_.data() + pos_, size_t(n));
  pos_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  int64_t end;
  if (__builtin_add_overflow(pos_, count, &end) || uint64_t(end) > data_.max_size())
    throw EStreamError(kMsgNoMemory);
  try {
    if (end > Size()) data_.resize(size_t(end));
  } catch (const std::bad_alloc&) {
    throw EStreamError(kMsgNoMemory);
  }
  std::memcpy(data_.data() + pos_, buffer, size_t(count));
  pos_ = end;
  return count;
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) size = 0;
  if (uint64_t(size) > data_.max_size()) throw EStreamError(kMsgNoMemory);
  try {
    data_.resize(size_t(size));
  } catch (const std::bad_alloc&) {
    throw EStreamError(kMsgNoMemory);
  }
  if (pos_ > size) pos_ = size;
}

std::vector<uint8_t> TMemoryStream::TakeBytes() {
  std::vector<uint8_t> out;
  out.swap(data_);
  pos_ = 0;
  return out;
}

void TMemoryStream::Assign(std::vector<uint8_t> bytes) {
  data_ = std::move(bytes);
  pos_ = 0;
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  pos_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  const int64_t n = source.Size();
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(size_t(n));
  } catch (const std::bad_alloc&) {
    throw EStreamError(kMsgNoMemory);
  }
  source.ReadBuffer(bytes.data(), n);
  Assign(std::move(bytes));
}

void TMemoryStream::SaveToStream(TStream& target) const {
  target.WriteBuffer(data_.data(), Size());
}

void TMemoryStream::LoadFromFile(const std::string& path) {
  TFileStream f(path, TFileAccess::Read);
  LoadFromStream(f);
}

void TMemoryStream::SaveToFile(const std::string& path) const {
  TFileStream f(path, TFileAccess::Create);
  SaveToStream(f);
}

// --- TBlobStream -----------------------------------------------------------------------

TBlobStream::TBlobStream(const void* data, int64_t size, std::shared_ptr<const void> keepAlive)
    : data_(static_cast<const uint8_t*>(data)), size_(size < 0 ? 0 : size), keepAlive_(std::move(keepAlive)) {}

void TBlobStream::SetPosition(int64_t p) { pos_ = std::clamp<int64_t>(p, 0, size_); }

int64_t TBlobStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || pos_ >= size_) return 0;
  const int64_t n = std::min(count, size_ - pos_);
  std::memcpy(buffer, data_ + pos_, size_t(n));
  pos_ += n;
  return n;
}

int64_t TBlobStream::Write(const void*, int64_t) { throw EStreamError(kMsgReadOnly); }

// --- TFileStream -----------------------------------------------------------------------

TFileStream::TFileStream(const std::string& path, TFileAccess access) : path_(path), access_(access) {
  int flags = O_CLOEXEC;
  switch (access) {
    case TFileAccess::Read: flags |= O_RDONLY; break;
    case TFileAccess::Write: flags |= O_WRONLY; break;
    case TFileAccess::ReadWrite: flags |= O_RDWR; break;
    case TFileAccess::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case TFileAccess::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
  }
  // Non-blocking while opening, so that a named pipe given for a file cannot hang us; it
  // is refused below like every other file that is not a regular one.
  fd_ = ::open(path.c_str(), flags | O_NONBLOCK, 0644);
  if (fd_ < 0) FileError(kMsgCannotOpen, path);
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  struct stat st;
  if (::fstat(fd_, &st) != 0) {
    const int e = errno;
    ::close(fd_);
    errno = e;
    FileError(kMsgCannotOpen, path);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd_);
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    FileError(kMsgCannotOpen, path);
  }
  size_ = int64_t(st.st_size);
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::ReadAt(int64_t offset, void* buffer, int64_t count) const {
  if (count <= 0 || offset < 0) return 0;
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const size_t chunk = size_t(std::min<int64_t>(count - done, int64_t(1) << 30));
    const ssize_t r = ::pread(fd_, p + done, chunk, off_t(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      throw EStreamError(std::string(kMsgReadError) + ": " + Utf8ToCp932(path_) + " (" +
                         Utf8ToCp932(std::strerror(errno)) + ")");
    }
    if (r == 0) break;
    done += r;
  }
  return done;
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  const int64_t n = ReadAt(pos_, buffer, count);
  pos_ += n;
  return n;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (access_ == TFileAccess::Read) throw EStreamError(kMsgReadOnly);
  const auto* p = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const size_t chunk = size_t(std::min<int64_t>(count - done, int64_t(1) << 30));
    const ssize_t r = ::pwrite(fd_, p + done, chunk, off_t(pos_ + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      FileError(kMsgCannotWrite, path_);
    }
    if (r == 0) break;
    done += r;
  }
  pos_ += done;
  if (pos_ > size_) size_ = pos_;
  return done;
}

void TFileStream::SetSize(int64_t size) {
  if (access_ == TFileAccess::Read) throw EStreamError(kMsgReadOnly);
  if (size < 0) size = 0;
  if (::ftruncate(fd_, off_t(size)) != 0) FileError(kMsgCannotWrite, path_);
  size_ = size;
  if (pos_ > size_) pos_ = size_;
}

void TFileStream::Flush() {
  if (access_ == TFileAccess::Read) return;
  if (::fsync(fd_) != 0) FileError(kMsgCannotWrite, path_);
}

// --- CopyStream ------------------------------------------------------------------------

int64_t CopyStream(TStream& target, TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  if (count <= 0) return 0;
  if (const uint8_t* mem = source.Memory()) {
    // One write straight from the source's memory, never past its end.
    const int64_t pos = source.Position();
    const int64_t avail = source.Remaining();
    const int64_t n = std::min(count, avail);
    target.WriteBuffer(mem + pos, n);
    source.SetPosition(pos + n);
    if (n < count) throw EReadError();
    return count;
  }
  int64_t size = std::min(count, kCopyBufferMax);
  std::unique_ptr<uint8_t[]> buffer;
  while (!buffer) {
    buffer.reset(new (std::nothrow) uint8_t[size_t(size)]);
    if (!buffer) {
      size -= kCopyBufferStep;
      if (size <= 0) throw EStreamError(kMsgNoMemory);
    }
  }
  int64_t left = count;
  while (left > 0) {
    const int64_t want = std::min(left, size);
    const int64_t got = source.Read(buffer.get(), want);
    if (got <= 0) throw EReadError();  // the source ended early
    target.WriteBuffer(buffer.get(), got);
    left -= got;
  }
  return count;
}

}  // namespace kest
