// kesttool zar: look at Zarn images as PNG, make Zarn images from PNG, list their insides.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/sjis.h"
#include "gfx/piccodecs.h"
#include "gfx/zarns.h"
#include "tools/kesttool.h"
#include "vfs/streams.h"

namespace kest::tool {
namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "kesttool zar: %s\n", message.c_str());
  return 1;
}

// Options shared by the commands: "--name value" pairs and flags.
struct Args {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;
  std::string error;

  Args(const std::vector<std::string>& a, const std::vector<std::string>& withValue) {
    for (size_t i = 0; i < a.size(); ++i) {
      if (a[i].rfind("--", 0) != 0) {
        positional.push_back(a[i]);
        continue;
      }
      bool takes = false;
      for (const auto& w : withValue) takes |= a[i] == w;
      if (takes) {
        if (i + 1 >= a.size()) {
          error = a[i] + " needs a value";
          return;
        }
        options.push_back({a[i], a[i + 1]});
        ++i;
      } else {
        options.push_back({a[i], ""});
      }
    }
  }
};

std::string Utf8(const std::string& cp932) { return Cp932ToUtf8(cp932); }

const char* CompressionName(int32_t c) {
  switch (c) {
    case ZC_ZLIB: return "zlib";
    case ZC_NONE: return "none";
    case ZC_JPEG: return "jpeg";
  }
  return "?";
}

void LoadZar(const std::string& path, int32_t code, TZarnFrameList& z, bool keepLayers) {
  TMemoryStream ms;
  ms.LoadFromFile(path);
  z.IdentificationCode = code;
  z.LoadFromStream(ms, false, keepLayers, false);
}

// --- topng ---------------------------------------------------------------------------------

int TopPng(const std::vector<std::string>& a) {
  Args args(a, {"--frame", "--code"});
  if (!args.error.empty()) return Fail(args.error);
  if (args.positional.size() != 2) return Fail("usage: kesttool zar topng IN.zar OUT.png [--frame N | --all] [--code N]");
  int32_t frame = 0, code = 0;
  bool all = false;
  for (const auto& [k, v] : args.options) {
    if (k == "--frame") {
      if (!ParseIntArg(v, frame) || frame < 0) return Fail("bad frame number: " + v);
    } else if (k == "--code") {
      if (!ParseIntArg(v, code)) return Fail("bad identification code: " + v);
    } else if (k == "--all") {
      all = true;
    } else {
      return Fail("unknown option " + k);
    }
  }
  TZarnFrameList z;
  LoadZar(args.positional[0], code, z, false);
  const std::string& out = args.positional[1];
  if (!all) {
    if (frame >= z.Count()) return Fail("the image has " + std::to_string(z.Count()) + " frame(s)");
    WriteWholeFile(out, SavePng(z.Frame(frame).Image));
    return 0;
  }
  // OUT.png becomes OUT-0.png, OUT-1.png, ...
  std::string stem = out, ext = ".png";
  const size_t dot = out.find_last_of('.');
  if (dot != std::string::npos && out.find('/', dot) == std::string::npos) stem = out.substr(0, dot), ext = out.substr(dot);
  for (int32_t i = 0; i < z.Count(); ++i) {
    const std::string name = stem + "-" + std::to_string(i) + ext;
    WriteWholeFile(name, SavePng(z.Frame(i).Image));
    std::printf("%s\n", name.c_str());
  }
  return 0;
}

// --- frompng -------------------------------------------------------------------------------

std::unique_ptr<TZarnLayer> LayerFromPicture(const std::string& source, bool withMask) {
  // FILE or FILE:OPACITY
  std::string path = source;
  int32_t opacity = 255;
  const size_t colon = source.find_last_of(':');
  if (colon != std::string::npos && colon + 1 < source.size() &&
      source.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
    path = source.substr(0, colon);
    opacity = std::atoi(source.c_str() + colon + 1);
  }
  TZarnFrameList one;
  one.LoadFromFile(path);
  auto l = std::make_unique<TZarnLayer>();
  l->Image = std::move(one.Frame(0).Image);
  // An alpha channel that is opaque everywhere is no mask.
  if (l->Image.HasMask()) {
    const TDIBSurface& m = *l->Image.Mask();
    bool opaque = true;
    for (int32_t y = 0; y < m.Height() && opaque; ++y)
      for (int32_t x = 0; x < m.Width() && opaque; ++x) opaque = m.Row(y)[x] == 255;
    if (opaque || !withMask) l->Image.FreeMask();
  }
  l->HasMask = l->Image.HasMask();
  l->Opacity = std::min(255, std::max(0, opacity));
  const size_t slash = path.find_last_of('/');
  l->Name = Utf8ToCp932(slash == std::string::npos ? path : path.substr(slash + 1));
  return l;
}

int FromPng(const std::vector<std::string>& a) {
  Args args(a, {"--compression", "--quality", "--bits", "--frame", "--layer", "--tile", "--code", "--key",
                "--version", "--duration"});
  if (!args.error.empty()) return Fail(args.error);
  if (args.positional.size() != 2)
    return Fail("usage: kesttool zar frompng IN.png OUT.zar [options] (see kesttool --help)");
  TZarnWriteOptions o;
  o.JpegQuality = 85;
  int32_t bits = 0, code = 0, duration = 100;
  bool withMask = true, dither = false, haveKey = false;
  TColorRef key = CLR_NONE;
  std::vector<std::string> frames = {args.positional[0]};
  std::vector<std::vector<std::string>> layers(1);
  for (const auto& [k, v] : args.options) {
    int32_t n = 0;
    if (k == "--compression") {
      if (v == "zlib") o.Compression = ZC_ZLIB;
      else if (v == "none") o.Compression = ZC_NONE;
      else if (v == "jpeg") o.Compression = ZC_JPEG;
      else return Fail("compression is zlib, none or jpeg");
    } else if (k == "--quality") {
      if (!ParseIntArg(v, n) || n < 1 || n > 100) return Fail("quality is 1 to 100");
      o.JpegQuality = n;
    } else if (k == "--bits") {
      if (!ParseIntArg(v, n) || !ValidBitCount(n)) return Fail("bits is 1, 4, 8, 15, 16, 24 or 32");
      bits = n;
    } else if (k == "--frame") {
      frames.push_back(v);
      layers.emplace_back();
    } else if (k == "--layer") {
      layers.back().push_back(v);
    } else if (k == "--tile") {
      int32_t tw = 0, th = 0;
      const size_t x = v.find('x');
      if (x == std::string::npos || !ParseIntArg(v.substr(0, x), tw) || !ParseIntArg(v.substr(x + 1), th) || tw <= 0 ||
          th <= 0)
        return Fail("tile size is WxH");
      o.TileWidth = tw, o.TileHeight = th;
    } else if (k == "--code") {
      if (!ParseIntArg(v, code)) return Fail("bad identification code: " + v);
    } else if (k == "--key") {
      int r, g, b;
      if (std::sscanf(v.c_str(), "%d,%d,%d", &r, &g, &b) != 3) return Fail("key is R,G,B");
      key = MakeColorRef(uint8_t(r), uint8_t(g), uint8_t(b));
      haveKey = true;
    } else if (k == "--version") {
      if (!ParseIntArg(v, n) || !(n == 0 || (n >= 99 && n <= 106))) return Fail("version is 0 or 99 to 106");
      o.Version = n;
      o.FormatVersion = n;
    } else if (k == "--duration") {
      if (!ParseIntArg(v, duration)) return Fail("bad duration: " + v);
    } else if (k == "--no-mask") {
      withMask = false;
    } else if (k == "--dither") {
      dither = true;
    } else if (k == "--no-share") {
      o.ShareTiles = false;
    } else {
      return Fail("unknown option " + k);
    }
  }
  TZarnFrameList z(code);
  o.Scrambled = code != 0;
  for (size_t fi = 0; fi < frames.size(); ++fi) {
    TZarnFrame& f = z.AddFrame();
    f.Duration = duration;
    f.Name = Utf8ToCp932("Frame" + std::to_string(fi));
    std::vector<std::unique_ptr<TZarnLayer>> ls;
    ls.push_back(LayerFromPicture(frames[fi], withMask));
    for (const auto& source : layers[fi]) ls.push_back(LayerFromPicture(source, withMask));
    for (auto& l : ls) {
      if (l->Image.Width() != ls[0]->Image.Width() || l->Image.Height() != ls[0]->Image.Height())
        return Fail("the layers of a frame must have one size");
      if (bits) l->Image.ConvertBitCount(bits, 256, dither);
    }
    if (haveKey) {
      f.TransparentPixel = int32_t(ls[0]->Image.MapColor(key));
      for (auto& l : ls)
        if (!l->HasMask) l->TransparentPixel = f.TransparentPixel;
    }
    if (ls.size() == 1 && ls[0]->Opacity == 255 && ls[0]->TransparentPixel == -1) {
      f.Image = std::move(ls[0]->Image);  // a plain frame: written as one layer
    } else {
      if (ls.size() > 1 && bits && bits <= 8) {
        // Palette layers of one frame share the first layer's palette.
        for (size_t i = 1; i < ls.size(); ++i) {
          TDIBSurface wide;
          wide.Assign(ls[i]->Image);
          ls[i]->Image.SetSize(wide.Width(), wide.Height(), bits);
          ls[i]->Image.Palette() = ls[0]->Image.Palette();
          ls[i]->Image.CopyRect(0, 0, wide.ClientRect(), wide);
          if (wide.HasMask()) ls[i]->Image.AttachMask(wide.DetachMask());
        }
      }
      f.Layers = std::move(ls);
    }
  }
  TMemoryStream ms;
  z.Write(ms, o);
  ms.SaveToFile(args.positional[1]);
  return 0;
}

// --- info --------------------------------------------------------------------------------------

int Info(const std::vector<std::string>& a) {
  Args args(a, {"--code"});
  if (!args.error.empty()) return Fail(args.error);
  if (args.positional.size() != 1) return Fail("usage: kesttool zar info IN.zar [--code N]");
  int32_t code = 0;
  for (const auto& [k, v] : args.options) {
    if (k == "--code") {
      if (!ParseIntArg(v, code)) return Fail("bad identification code: " + v);
    } else {
      return Fail("unknown option " + k);
    }
  }
  TZarnFrameList z;
  LoadZar(args.positional[0], code, z, true);
  std::printf("version\t%d\nformat version\t%d\nframes\t%d\ncompression\t%s\nscrambled\t%s\n", z.Version,
              z.FormatVersion, z.StoredFrameCount, CompressionName(z.Compression), z.Scrambled ? "yes" : "no");
  std::printf("tiles\t%dx%d\nbackground\t#%02X%02X%02X\nfirst layer opaque\t%s\njpeg quality\t%d\n", z.TileWidth,
              z.TileHeight, ColorRefR(z.BackgroundColor), ColorRefG(z.BackgroundColor), ColorRefB(z.BackgroundColor),
              z.FirstLayerOpaque ? "yes" : "no", z.JpegQuality);
  for (int32_t i = 0; i < z.Count(); ++i) {
    const TZarnFrame& f = z.Frame(i);
    std::printf("frame %d\t\"%s\"\t%dx%d\t%d bits\tduration %d\tkey %d\tmask %s\n", i, Utf8(f.Name).c_str(),
                f.Image.Width(), f.Image.Height(), f.Image.BitCount(), f.Duration, f.TransparentPixel,
                f.Image.HasMask() ? "yes" : "no");
    for (size_t li = 0; li < f.Layers.size(); ++li) {
      const TZarnLayer& l = *f.Layers[li];
      std::printf("  layer %zu\t\"%s\"\t%s\topacity %d\tkey %d\tmask %s\n", li, Utf8(l.Name).c_str(),
                  l.Visible ? "visible" : "hidden", l.Opacity, l.TransparentPixel, l.HasMask ? "yes" : "no");
      for (const TZarnBlockInfo& b : z.Blocks)
        if (b.Frame == i && b.Layer == int32_t(li))
          std::printf("    %s block\tat %lld\t%d bytes\n", b.Mask ? "mask" : "colour", (long long)b.Offset, b.Size);
    }
    for (const TRect& r : f.DrawAreas) std::printf("  draw area\t%d,%d,%d,%d\n", r.Left, r.Top, r.Right, r.Bottom);
    for (const TRect& r : f.ExtraAreas) std::printf("  extra area\t%d,%d,%d,%d\n", r.Left, r.Top, r.Right, r.Bottom);
  }
  return 0;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return Fail("topng, frompng or info?");
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "topng") return TopPng(rest);
  if (args[0] == "frompng") return FromPng(rest);
  if (args[0] == "info") return Info(rest);
  return Fail("unknown command " + args[0]);
}

const RegisterFamily kRegister({"zar",
                                "  kesttool zar topng IN.zar OUT.png [--frame N | --all] [--code N]\n"
                                "      RGBA PNG of a frame, alpha from its mask; --all writes OUT-0.png, OUT-1.png ...\n"
                                "  kesttool zar frompng IN.png OUT.zar [options]\n"
                                "      --compression zlib|none|jpeg  --quality Q  --bits N [--dither]  --no-mask\n"
                                "      --key R,G,B  --layer F.png[:OPACITY] (above the last frame)  --frame F.png\n"
                                "      --tile WxH [--no-share]  --code N (shuffled rows)  --version V  --duration D\n"
                                "  kesttool zar info IN.zar [--code N]\n"
                                "      header, frames, layers, blocks and their sizes",
                                Run});

}  // namespace
}  // namespace kest::tool
