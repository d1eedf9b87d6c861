#include "gfx/quantise.h"

#include <algorithm>

namespace kest {

namespace {

struct Box {
  int lo[3], hi[3];  // inclusive 5-bit bounds per channel (0 red, 1 green, 2 blue)
  int64_t count = 0;
};

inline int BinOf(int r, int g, int b) { return (r << 10) | (g << 5) | b; }

void Shrink(Box& box, const std::vector<uint32_t>& hist) {
  int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
  int64_t count = 0;
  for (int r = box.lo[0]; r <= box.hi[0]; ++r)
    for (int g = box.lo[1]; g <= box.hi[1]; ++g)
      for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
        const uint32_t c = hist[size_t(BinOf(r, g, b))];
        if (!c) continue;
        count += c;
        const int v[3] = {r, g, b};
        for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], v[k]), hi[k] = std::max(hi[k], v[k]);
      }
  box.count = count;
  if (count) std::copy(lo, lo + 3, box.lo), std::copy(hi, hi + 3, box.hi);
}

}  // namespace

std::vector<uint32_t> ChoosePalette(const uint8_t* bgr, size_t count, int maxColours) {
  std::vector<uint32_t> out;
  if (count == 0 || maxColours <= 0) return out;
  std::vector<uint32_t> hist(32768, 0);
  std::vector<uint64_t> sums(32768 * 3, 0);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = bgr[i * 3], g = bgr[i * 3 + 1], r = bgr[i * 3 + 2];
    const size_t bin = size_t(BinOf(r >> 3, g >> 3, b >> 3));
    ++hist[bin];
    sums[bin * 3] += r, sums[bin * 3 + 1] += g, sums[bin * 3 + 2] += b;
  }
  std::vector<Box> boxes(1);
  boxes[0] = Box{{0, 0, 0}, {31, 31, 31}, 0};
  Shrink(boxes[0], hist);
  while (int(boxes.size()) < maxColours) {
    // Split the box with the most pixels times its longest side.
    int best = -1;
    int64_t bestScore = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
      const Box& bx = boxes[i];
      const int side = std::max({bx.hi[0] - bx.lo[0], bx.hi[1] - bx.lo[1], bx.hi[2] - bx.lo[2]});
      if (side == 0) continue;
      const int64_t score = bx.count * side;
      if (score > bestScore) bestScore = score, best = int(i);
    }
    if (best < 0) break;
    Box a = boxes[size_t(best)];
    int axis = 0;
    for (int k = 1; k < 3; ++k)
      if (a.hi[k] - a.lo[k] > a.hi[axis] - a.lo[axis]) axis = k;
    // The median along the axis.
    std::vector<int64_t> slice(32, 0);
    for (int r = a.lo[0]; r <= a.hi[0]; ++r)
      for (int g = a.lo[1]; g <= a.hi[1]; ++g)
        for (int b = a.lo[2]; b <= a.hi[2]; ++b) {
          const int v[3] = {r, g, b};
          slice[size_t(v[axis])] += hist[size_t(BinOf(r, g, b))];
        }
    int64_t acc = 0;
    int cut = a.lo[axis];
    for (int v = a.lo[axis]; v < a.hi[axis]; ++v) {
      acc += slice[size_t(v)];
      cut = v;
      if (acc * 2 >= a.count) break;
    }
    Box lower = a, upper = a;
    lower.hi[axis] = cut;
    upper.lo[axis] = cut + 1;
    Shrink(lower, hist);
    Shrink(upper, hist);
    boxes[size_t(best)] = lower;
    if (upper.count) boxes.push_back(upper);
  }
  for (const Box& bx : boxes) {
    uint64_t s[3] = {0, 0, 0};
    uint64_t n = 0;
    for (int r = bx.lo[0]; r <= bx.hi[0]; ++r)
      for (int g = bx.lo[1]; g <= bx.hi[1]; ++g)
        for (int b = bx.lo[2]; b <= bx.hi[2]; ++b) {
          const size_t bin = size_t(BinOf(r, g, b));
          n += hist[bin];
          for (int k = 0; k < 3; ++k) s[k] += sums[bin * 3 + size_t(k)];
        }
    if (!n) continue;
    const uint32_t r = uint32_t((s[0] + n / 2) / n), g = uint32_t((s[1] + n / 2) / n), b = uint32_t((s[2] + n / 2) / n);
    out.push_back((r << 16) | (g << 8) | b);
  }
  return out;
}

void MapToPalette(const uint8_t* bgr, int32_t w, int32_t h, const std::array<uint32_t, 256>& pal, int n, bool dither,
                  std::vector<uint8_t>& out) {
  out.assign(size_t(w) * size_t(h), 0);
  if (n <= 0) return;
  // Nearest entries remembered per 6-6-6 cell of the exact colour: the cell's cache holds
  // the colour it was computed for, so a hit is exact.
  std::vector<int32_t> cacheKey(262144, -1);
  std::vector<uint8_t> cacheIdx(262144, 0);
  // With error diffusion the cell's answer is taken for every colour of the cell: the
  // error of that choice is carried to the neighbours like any other.
  auto nearest = [&](int r, int g, int b) -> uint8_t {
    const size_t cell = size_t(((r >> 2) << 12) | ((g >> 2) << 6) | (b >> 2));
    const int32_t key = dither ? int32_t(cell) : (r << 16) | (g << 8) | b;
    if (cacheKey[cell] == key) return cacheIdx[cell];
    int best = 0, bestD = 1 << 30;
    for (int i = 0; i < n; ++i) {
      const int dr = int((pal[size_t(i)] >> 16) & 255) - r, dg = int((pal[size_t(i)] >> 8) & 255) - g,
                db = int(pal[size_t(i)] & 255) - b;
      const int d = dr * dr + dg * dg + db * db;
      if (d < bestD) bestD = d, best = i;
    }
    cacheKey[cell] = key;
    cacheIdx[cell] = uint8_t(best);
    return uint8_t(best);
  };
  if (!dither) {
    for (size_t i = 0; i < out.size(); ++i) out[i] = nearest(bgr[i * 3 + 2], bgr[i * 3 + 1], bgr[i * 3]);
    return;
  }
  // Floyd-Steinberg: errors in sixteenths, carried in two rows.
  std::vector<int32_t> cur(size_t(w + 2) * 3, 0), next(size_t(w + 2) * 3, 0);
  for (int32_t y = 0; y < h; ++y) {
    std::fill(next.begin(), next.end(), 0);
    for (int32_t x = 0; x < w; ++x) {
      const size_t i = size_t(y) * size_t(w) + size_t(x);
      int v[3];
      for (int k = 0; k < 3; ++k)
        v[k] = std::clamp(int(bgr[i * 3 + size_t(2 - k)]) + cur[size_t(x + 1) * 3 + size_t(k)] / 16, 0, 255);
      const uint8_t idx = nearest(v[0], v[1], v[2]);
      out[i] = idx;
      const int p[3] = {int((pal[idx] >> 16) & 255), int((pal[idx] >> 8) & 255), int(pal[idx] & 255)};
      for (int k = 0; k < 3; ++k) {
        const int e = v[k] - p[k];
        cur[size_t(x + 2) * 3 + size_t(k)] += e * 7;
        next[size_t(x) * 3 + size_t(k)] += e * 3;
        next[size_t(x + 1) * 3 + size_t(k)] += e * 5;
        next[size_t(x + 2) * 3 + size_t(k)] += e;
      }
    }
    std::swap(cur, next);
  }
}

}  // namespace kest
