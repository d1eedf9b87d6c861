// zlib streams of archive entries (RFC 1950, level 1) and the CRC-32 of entries.
#pragma once
#include <cstdint>
#include <vector>

#include "common/types.h"
#include "vfs/streams.h"

namespace kest {

// The largest content an inflate may produce unless a caller sets another limit: far above
// any title's file, and a hard stop for a decompression bomb.
constexpr int64_t kDefaultInflateLimit = int64_t(1) << 30;

// Compressed data is damaged (bad header, bad check value, truncated), or inflates beyond
// its limit.
class EZlibError : public EKestBadData {
 public:
  using EKestBadData::EKestBadData;
};

// One zlib stream of the bytes, at the given level (archives use 1).
std::vector<uint8_t> Deflate(const void* data, int64_t size, int level = 1);

// Inflates one complete zlib stream and appends the content to `out` (at its position).
// Raises EZlibError when the data is damaged, ends before the stream does, or would give
// more than `limit` bytes. Trailing bytes after the end of the zlib stream are ignored.
void InflateTo(const void* data, int64_t size, TStream& out, int64_t limit = kDefaultInflateLimit);
std::vector<uint8_t> Inflate(const void* data, int64_t size, int64_t limit = kDefaultInflateLimit);
// Inflates into `out`, replacing its content but keeping its capacity.
void InflateInto(const void* data, int64_t size, std::vector<uint8_t>& out, int64_t limit = kDefaultInflateLimit);

// Replace a memory stream's content by its zlib stream at level 1 / by the inflated content;
// both leave the stream at position 0.
void CompressStream(TMemoryStream& m);
void DecompressStream(TMemoryStream& m, int64_t limit = kDefaultInflateLimit);

// CRC-32 (the zlib polynomial, initial all ones, final complement). `crc` continues an
// earlier sum.
uint32_t Crc32(const void* data, int64_t size, uint32_t crc = 0);
// The CRC-32 of a whole stream from its start, read in 1 MiB blocks; the stream is left
// at its end. Raises EReadError when the stream yields fewer bytes than its size.
uint32_t StreamCrc32(TStream& s);

}  // namespace kest
