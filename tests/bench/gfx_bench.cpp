// Zarn decoding of a 1280 x 720 24-bit frame with each compression, against the raw codec
// on the same payload, and the writing of an 800 x 600 screen capture.
#include <benchmark/benchmark.h>

#include <jpeglib.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

#include "gfx/piccodecs.h"
#include "gfx/zarns.h"

namespace {

using namespace kest;

// A picture with gradients, soft shapes and a little noise, like a title's background.
TDIBSurface Scene(int32_t w, int32_t h) {
  std::mt19937 rng(11);
  TDIBSurface s;
  s.SetSize(w, h, 24);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* r = s.Row(y);
    for (int32_t x = 0; x < w; ++x) {
      const int dx = x - w / 3, dy = y - h / 2;
      const int ring = (dx * dx + dy * dy) / 900 % 40;
      const int n = int(rng() % 6);
      r[x * 3] = uint8_t(std::min(255, x * 200 / w + ring + n));
      r[x * 3 + 1] = uint8_t(std::min(255, y * 180 / h + n));
      r[x * 3 + 2] = uint8_t(std::min(255, 90 + ring * 3 + n));
    }
  }
  return s;
}

struct Fixture {
  std::vector<uint8_t> file;     // the Zarn file
  std::vector<uint8_t> payload;  // its colour block
};

Fixture Make(int32_t compression) {
  TZarnFrameList z;
  z.AddFrame().Image = Scene(1280, 720);
  TZarnWriteOptions o;
  o.Compression = compression;
  o.JpegQuality = 85;
  TMemoryStream ms;
  z.Write(ms, o);
  Fixture f;
  f.file = ms.Bytes();
  TMemoryStream in(f.file);
  TZarnFrameList probe;
  probe.LoadFromStream(in);
  const TZarnBlockInfo& b = probe.Blocks.at(0);
  f.payload.assign(f.file.begin() + b.Offset, f.file.begin() + b.Offset + b.Size);
  return f;
}

void DecodeZarn(benchmark::State& st, int32_t compression) {
  const Fixture f = Make(compression);
  for (auto _ : st) {
    TBlobStream s(f.file.data(), int64_t(f.file.size()));
    TZarnFrameList z;
    z.LoadFromStream(s);
    benchmark::DoNotOptimize(z.Frame(0).Image.Bits());
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * 1280 * 720 * 3);
}

void ZlibBaselineInflate(benchmark::State& st) {
  const Fixture f = Make(ZC_ZLIB);
  std::vector<uint8_t> out(size_t(PaddedRowBytes(1280, 24)) * 720);
  for (auto _ : st) {
    uLongf n = uLongf(out.size());
    uncompress(out.data(), &n, f.payload.data(), uLong(f.payload.size()));
    benchmark::DoNotOptimize(out.data());
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * 1280 * 720 * 3);
}
BENCHMARK(ZlibBaselineInflate)->Name("ZarnZlib/baseline_raw_inflate")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeZarn, zlib, ZC_ZLIB)->Name("ZarnZlib/decode_1280x720x24")->Unit(benchmark::kMillisecond);

void JpegBaselineDecode(benchmark::State& st) {
  const Fixture f = Make(ZC_JPEG);
  std::vector<uint8_t> out(size_t(1280) * 720 * 3);
  for (auto _ : st) {
    jpeg_decompress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, f.payload.data(), (unsigned long)f.payload.size());
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&c);
    while (c.output_scanline < c.output_height) {
      JSAMPROW row = out.data() + size_t(c.output_scanline) * 1280 * 3;
      jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    benchmark::DoNotOptimize(out.data());
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * 1280 * 720 * 3);
}
BENCHMARK(JpegBaselineDecode)->Name("ZarnJpeg/baseline_raw_libjpeg_decode")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeZarn, jpeg, ZC_JPEG)->Name("ZarnJpeg/decode_1280x720x24")->Unit(benchmark::kMillisecond);

void RawBaselineMemcpy(benchmark::State& st) {
  const Fixture f = Make(ZC_NONE);
  std::vector<uint8_t> out(f.payload.size());
  for (auto _ : st) {
    std::memcpy(out.data(), f.payload.data(), out.size());
    benchmark::DoNotOptimize(out.data());
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * 1280 * 720 * 3);
}
BENCHMARK(RawBaselineMemcpy)->Name("ZarnRaw/baseline_memcpy")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeZarn, none, ZC_NONE)->Name("ZarnRaw/decode_1280x720x24")->Unit(benchmark::kMillisecond);

// The player's capture: one 24-bit frame, stored plain.
void CaptureBaselineMemcpy(benchmark::State& st) {
  const TDIBSurface img = Scene(800, 600);
  std::vector<uint8_t> out(img.ByteSize());
  for (auto _ : st) {
    std::memcpy(out.data(), img.Bits(), out.size());
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(CaptureBaselineMemcpy)->Name("ZarnCapture/baseline_memcpy")->Unit(benchmark::kMillisecond);

void CaptureWrite(benchmark::State& st) {
  TZarnFrameList z;
  z.AddFrame().Image = Scene(800, 600);
  for (auto _ : st) {
    TMemoryStream ms;
    z.SaveToStream(ms, ZC_NONE, 70);
    benchmark::DoNotOptimize(ms.Memory());
  }
}
BENCHMARK(CaptureWrite)->Name("ZarnCapture/save_800x600x24_plain")->Unit(benchmark::kMillisecond);

void CaptureWriteZlib(benchmark::State& st) {
  TZarnFrameList z;
  z.AddFrame().Image = Scene(800, 600);
  for (auto _ : st) {
    TMemoryStream ms;
    z.SaveToStream(ms, ZC_ZLIB, 70);
    benchmark::DoNotOptimize(ms.Memory());
  }
}
BENCHMARK(CaptureWriteZlib)->Name("ZarnCapture/save_800x600x24_zlib")->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// The memory image: layout conversion and the mask blend against memcpy of the same
// bytes; quantising and smooth reduction against a plain 24-bit copy of the source.
void ImageBaselineMemcpy(benchmark::State& st) {
  const TDIBSurface img = Scene(1280, 720);
  std::vector<uint8_t> out(img.ByteSize());
  for (auto _ : st) {
    std::memcpy(out.data(), img.Bits(), out.size());
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(ImageBaselineMemcpy)->Name("Image/baseline_memcpy_1280x720x24")->Unit(benchmark::kMillisecond);

void ImageConvert24To32(benchmark::State& st) {
  const TDIBSurface img = Scene(1280, 720);
  for (auto _ : st) {
    TDIBSurface c;
    c.Assign(img);
    c.ConvertBitCount(32);
    benchmark::DoNotOptimize(c.Bits());
  }
}
BENCHMARK(ImageConvert24To32)->Name("Image/convert_24_to_32")->Unit(benchmark::kMillisecond);

void ImageMaskBlend(benchmark::State& st) {
  const TDIBSurface src = Scene(1280, 720);
  TDIBSurface dst, mask;
  dst.SetSize(1280, 720, 24);
  mask.SetSize(1280, 720, 8);
  for (int32_t y = 0; y < 720; ++y)
    for (int32_t x = 0; x < 1280; ++x) mask.Row(y)[x] = uint8_t(x < 400 ? 255 : x < 800 ? 0 : x);
  for (auto _ : st) {
    DrawMaskBlend(dst, src, mask);
    benchmark::DoNotOptimize(dst.Bits());
  }
}
BENCHMARK(ImageMaskBlend)->Name("Image/mask_blend_1280x720x24")->Unit(benchmark::kMillisecond);

void ImageQuantise(benchmark::State& st) {
  const TDIBSurface img = Scene(640, 480);
  for (auto _ : st) {
    TDIBSurface c;
    c.Assign(img);
    c.ConvertBitCount(8, 256, true);
    benchmark::DoNotOptimize(c.Bits());
  }
}
BENCHMARK(ImageQuantise)->Name("Image/quantise_640x480_to_256_dithered")->Unit(benchmark::kMillisecond);

void ImageReduce(benchmark::State& st) {
  const TDIBSurface img = Scene(1280, 720);
  for (auto _ : st) {
    TDIBSurface c;
    c.Assign(img);
    c.Resize(320, 180, false, CLR_NONE, true);
    benchmark::DoNotOptimize(c.Bits());
  }
}
BENCHMARK(ImageReduce)->Name("Image/smooth_reduce_1280x720_to_320x180")->Unit(benchmark::kMillisecond);

}  // namespace
