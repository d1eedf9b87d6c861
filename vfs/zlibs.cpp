#include "vfs/zlibs.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace kest {

namespace {

// "圧縮データが壊れています" (the compressed data is damaged)
constexpr const char kMsgDamaged[] =
    "\x88\xB3\x8Fk\x83\x66\x81[\x83^\x82\xAA\x89\xF3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7";
// "展開後のサイズが上限を超えています" (the inflated size exceeds the limit)
constexpr const char kMsgTooLarge[] =
    "\x93W\x8AJ\x8C\xE3\x82\xCC\x83T\x83\x43\x83Y\x82\xAA\x8F\xE3\x8C\xC0\x82\xF0\x92\xB4\x82\xA6\x82\xC4\x82\xA2"
    "\x82\xDC\x82\xB7";

constexpr uInt kChunk = 1u << 30;

}  // namespace

std::vector<uint8_t> Deflate(const void* data, int64_t size, int level) {
  z_stream z{};
  if (deflateInit(&z, level) != Z_OK) throw EZlibError(kMsgDamaged);
  std::vector<uint8_t> out(size_t(deflateBound(&z, uLong(std::min<int64_t>(size, LONG_MAX)))) + 64);
  const auto* in = static_cast<const Bytef*>(data);
  int64_t left = size;
  size_t produced = 0;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    if (z.avail_in == 0 && left > 0) {
      z.next_in = const_cast<Bytef*>(in);
      z.avail_in = uInt(std::min<int64_t>(left, kChunk));
      in += z.avail_in;
      left -= z.avail_in;
    }
    if (produced == out.size()) out.resize(out.size() * 2);
    z.next_out = out.data() + produced;
    z.avail_out = uInt(std::min<size_t>(out.size() - produced, kChunk));
    const uInt before = z.avail_out;
    rc = deflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    produced += before - z.avail_out;
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
      deflateEnd(&z);
      throw EZlibError(kMsgDamaged);
    }
  }
  deflateEnd(&z);
  out.resize(produced);
  return out;
}

namespace {

// Inflates into a growing vector (appending from `have`); answers the content size.
size_t InflateInto(const void* data, int64_t size, std::vector<uint8_t>& out, size_t have, int64_t limit) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw EZlibError(kMsgDamaged);
  const auto* in = static_cast<const Bytef*>(data);
  int64_t left = size;
  size_t produced = have;
  // A first guess of four times the input; grown by doubling.
  size_t cap = size_t(std::min<int64_t>(std::max<int64_t>(size * 4, 4096), limit + 1));
  int rc = Z_OK;
  try {
    if (out.size() < have + cap) out.resize(have + cap);
    for (;;) {
      if (z.avail_in == 0 && left > 0) {
        z.next_in = const_cast<Bytef*>(in);
        z.avail_in = uInt(std::min<int64_t>(left, kChunk));
        in += z.avail_in;
        left -= z.avail_in;
      }
      if (produced == out.size()) {
        const size_t grow = std::min<size_t>(out.size() - have + 4096, size_t(limit) + 1);
        out.resize(out.size() + grow);
      }
      z.next_out = out.data() + produced;
      z.avail_out = uInt(std::min<size_t>(out.size() - produced, kChunk));
      const uInt before = z.avail_out;
      rc = inflate(&z, Z_NO_FLUSH);
      produced += before - z.avail_out;
      if (int64_t(produced - have) > limit) throw EZlibError(kMsgTooLarge);
      if (rc == Z_STREAM_END) break;
      if (rc == Z_BUF_ERROR) {
        // No progress: with room for output this means the input ended inside the stream.
        if (z.avail_in == 0 && left == 0) throw EZlibError(kMsgDamaged);
      } else if (rc != Z_OK) {
        throw EZlibError(kMsgDamaged);
      }
    }
  } catch (...) {
    inflateEnd(&z);
    throw;
  }
  inflateEnd(&z);
  return produced - have;
}

}  // namespace

void InflateInto(const void* data, int64_t size, std::vector<uint8_t>& out, int64_t limit) {
  out.clear();
  const size_t n = InflateInto(data, size, out, 0, limit);
  out.resize(n);
}

std::vector<uint8_t> Inflate(const void* data, int64_t size, int64_t limit) {
  std::vector<uint8_t> out;
  const size_t n = InflateInto(data, size, out, 0, limit);
  out.resize(n);
  return out;
}

void InflateTo(const void* data, int64_t size, TStream& out, int64_t limit) {
  const std::vector<uint8_t> content = Inflate(data, size, limit);
  out.WriteBuffer(content.data(), int64_t(content.size()));
}

void CompressStream(TMemoryStream& m) {
  std::vector<uint8_t> z = Deflate(m.Memory(), m.Size(), 1);
  m.Assign(std::move(z));
}

void DecompressStream(TMemoryStream& m, int64_t limit) {
  std::vector<uint8_t> content = Inflate(m.Memory(), m.Size(), limit);
  m.Assign(std::move(content));
}

uint32_t Crc32(const void* data, int64_t size, uint32_t crc) {
  const auto* p = static_cast<const Bytef*>(data);
  uLong c = crc;
  while (size > 0) {
    const uInt n = uInt(std::min<int64_t>(size, kChunk));
    c = crc32(c, p, n);
    p += n;
    size -= n;
  }
  return uint32_t(c);
}

uint32_t StreamCrc32(TStream& s) {
  s.SetPosition(0);
  if (const uint8_t* mem = s.Memory()) {
    const uint32_t c = Crc32(mem, s.Size());
    s.SetPosition(s.Size());
    return c;
  }
  std::vector<uint8_t> block(1048576);
  uint32_t c = 0;
  int64_t left = s.Size();
  while (left > 0) {
    const int64_t n = std::min<int64_t>(left, int64_t(block.size()));
    s.ReadBuffer(block.data(), n);
    c = Crc32(block.data(), n, c);
    left -= n;
  }
  return c;
}

}  // namespace kest
