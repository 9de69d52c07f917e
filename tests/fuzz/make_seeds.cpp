// Writes the fuzzers' seed corpus: a few valid packages in compact form (fuzz_input.h) made with
// the package writer, some damaged ones, record names good and bad, and small banner pictures in
// the PNG and BMP variants that stb_image reads.
//   make_seeds CORPUS_DIR   (writes CORPUS_DIR/package/*, CORPUS_DIR/record_name/* and
//                            CORPUS_DIR/banner/*)
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "package/package_format.h"
#include "package/package_writer.h"
#include "tests/fuzz/fuzz_input.h"
#include "tools/mkupdate/banner_convert.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {

typedef std::vector<uint8_t> Bytes;

bool Write(const std::string& path, const Bytes& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

// The package with its pixel rows taken out (they are all zero in compact form).
Bytes Compact(const Bytes& package) {
  if (package.size() <= kCompactHead + kPixelGap) return package;
  Bytes compact(package.begin(), package.begin() + kCompactHead);
  compact.insert(compact.end(), package.begin() + kCompactHead + kPixelGap, package.end());
  return compact;
}

uint32_t Black(int, int, void*) { return 0; }

PackageRecord Record(const std::string& name, const std::string& data) {
  PackageRecord record;
  record.name = name;
  record.data.assign(data.begin(), data.end());
  return record;
}

PackageContents Sample() {
  PackageContents contents;
  contents.title = "\x83\x5e\x83\x94\x83\x8c\x83\x8b";  // "タヴレル" in code page 932
  contents.version = "1.02";
  contents.banner = MakeBanner(320, 240, Black);
  contents.vendorKey = "TavrelTest";
  contents.productKey = "Game";
  contents.installedText = "ready";
  contents.notInstalledText = "not installed";
  contents.saveWarning = 1;
  return contents;
}

// Banner pictures. Sample(x, y, c) is channel c of the pixel at (x, y): any value, cut to the
// bit depth.
unsigned Sample(int x, int y, int c) { return (unsigned)(x * 37 + y * 91 + c * 53) ^ (x * y); }

void PutBe32(Bytes& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back((uint8_t)(v >> (8 * i)));
}
void PutLe(Bytes& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back((uint8_t)(v >> (8 * i)));
}

uint32_t Crc32(const uint8_t* p, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void PutChunk(Bytes& png, const char* type, const Bytes& body) {
  PutBe32(png, (uint32_t)body.size());
  size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), body.begin(), body.end());
  PutBe32(png, Crc32(png.data() + start, png.size() - start));
}

// Unfiltered scanlines of the pixels (x0 + i * dx, y0 + j * dy) that fall inside the picture.
void PutScanlines(Bytes& raw, int width, int height, int depth, int channels, int x0, int y0,
                  int dx, int dy) {
  for (int y = y0; y < height; y += dy) {
    if (x0 >= width) break;
    raw.push_back(0);  // filter type None
    unsigned bits = 0, count = 0;
    for (int x = x0; x < width; x += dx)
      for (int c = 0; c < channels; ++c) {
        unsigned v = Sample(x, y, c) & ((1u << depth) - 1);
        if (depth == 16) {
          raw.push_back((uint8_t)(v >> 8));
          raw.push_back((uint8_t)v);
          continue;
        }
        bits = (bits << depth) | v;
        count += depth;
        if (count == 8) raw.push_back((uint8_t)bits), bits = 0, count = 0;
      }
    if (count) raw.push_back((uint8_t)(bits << (8 - count)));
  }
}

// A PNG of colour type 0 (grey), 2 (RGB), 3 (palette), 4 (grey and alpha) or 6 (RGBA), of any
// bit depth that the type allows, plain or Adam7-interlaced; a palette picture gets a palette of
// 2^depth entries and a tRNS chunk.
Bytes Png(int width, int height, int depth, int colorType, bool interlaced) {
  const int channels[] = {1, 0, 3, 1, 2, 0, 4};
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes ihdr;
  PutBe32(ihdr, (uint32_t)width);
  PutBe32(ihdr, (uint32_t)height);
  ihdr.insert(ihdr.end(), {(uint8_t)depth, (uint8_t)colorType, 0, 0, (uint8_t)interlaced});
  PutChunk(png, "IHDR", ihdr);
  if (colorType == 3) {
    Bytes palette, alpha;
    for (int i = 0; i < (1 << depth); ++i) {
      palette.insert(palette.end(), {(uint8_t)(i * 40), (uint8_t)(255 - i * 20), (uint8_t)i});
      alpha.push_back((uint8_t)(255 - i));
    }
    PutChunk(png, "PLTE", palette);
    PutChunk(png, "tRNS", alpha);
  }
  Bytes raw;
  if (!interlaced) {
    PutScanlines(raw, width, height, depth, channels[colorType], 0, 0, 1, 1);
  } else {
    static const int kPass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                    {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    for (const int* p : kPass)
      PutScanlines(raw, width, height, depth, channels[colorType], p[0], p[1], p[2], p[3]);
  }
  int length = 0;
  unsigned char* z = stbi_zlib_compress(raw.data(), (int)raw.size(), &length, 8);
  PutChunk(png, "IDAT", Bytes(z, z + length));
  free(z);
  PutChunk(png, "IEND", {});
  return png;
}

// A BMP with an info header of headerSize bytes (12 for the OS/2 core header, 40, 108 or 124),
// bits per pixel 1, 4, 8 (with a palette), 16, 24 or 32, rows bottom-up or top-down. masks, when
// given, are the red, green, blue and alpha bit fields (BI_BITFIELDS).
Bytes Bmp(int width, int height, int bits, bool topDown, uint32_t headerSize,
          const uint32_t* masks = nullptr) {
  // At most 16 palette entries (biClrUsed), so that an 8-bit seed stays small.
  const int paletteEntries = bits <= 8 ? 1 << (bits < 4 ? bits : 4) : 0;
  const int entryBytes = headerSize == 12 ? 3 : 4;
  const int stride = (width * bits + 31) / 32 * 4;
  const bool fields = masks && headerSize == 40;  // the masks follow a 40-byte header
  const uint32_t pixelOffset =
      14 + headerSize + (fields ? 12 : 0) + (uint32_t)(paletteEntries * entryBytes);
  Bytes bmp = {'B', 'M'};
  PutLe(bmp, pixelOffset + (uint32_t)(stride * height), 4);
  PutLe(bmp, 0, 4);
  PutLe(bmp, pixelOffset, 4);
  PutLe(bmp, headerSize, 4);
  if (headerSize == 12) {
    PutLe(bmp, (uint32_t)width, 2);
    PutLe(bmp, (uint32_t)height, 2);
    PutLe(bmp, 1, 2);
    PutLe(bmp, (uint32_t)bits, 2);
  } else {
    PutLe(bmp, (uint32_t)width, 4);
    PutLe(bmp, (uint32_t)(topDown ? -height : height), 4);
    PutLe(bmp, 1, 2);
    PutLe(bmp, (uint32_t)bits, 2);
    PutLe(bmp, masks ? 3 : 0, 4);  // BI_BITFIELDS or BI_RGB
    PutLe(bmp, (uint32_t)(stride * height), 4);
    PutLe(bmp, 2835, 4);
    PutLe(bmp, 2835, 4);
    PutLe(bmp, (uint32_t)paletteEntries, 4);  // biClrUsed
    PutLe(bmp, 0, 4);
    if (fields) {
      for (int i = 0; i < 3; ++i) PutLe(bmp, masks[i], 4);
    } else if (headerSize > 40) {
      for (int i = 0; i < 4; ++i) PutLe(bmp, masks ? masks[i] : 0, 4);
      bmp.resize(14 + headerSize, 0);  // colour space, end points, gamma (and V5's intent)
    }
  }
  for (int i = 0; i < paletteEntries; ++i)
    PutLe(bmp, (uint32_t)Sample(i, i, 0) * 0x010203u & 0xFFFFFFu, entryBytes);
  for (int i = 0; i < height; ++i) {
    int y = topDown ? i : height - 1 - i;
    Bytes row;
    unsigned acc = 0, count = 0;
    for (int x = 0; x < width; ++x) {
      uint32_t v = Sample(x, y, 0) | Sample(x, y, 1) << 8 | Sample(x, y, 2) << 16 |
                   Sample(x, y, 3) << 24;
      if (bits <= 8) {
        if (bits == 8) v &= (uint32_t)paletteEntries - 1;
        acc = (acc << bits) | (v & ((1u << bits) - 1));
        count += bits;
        if (count == 8) row.push_back((uint8_t)acc), acc = 0, count = 0;
      } else {
        PutLe(row, v, bits / 8);
      }
    }
    if (count) row.push_back((uint8_t)(acc << (8 - count)));
    row.resize(stride, 0);
    bmp.insert(bmp.end(), row.begin(), row.end());
  }
  return bmp;
}

// A banner seed: the fit byte that fuzz_banner reads first, then the file.
Bytes BannerSeed(BannerFit fit, const Bytes& file) {
  Bytes seed = {(uint8_t)(fit == BannerFit::kExact ? 0 : fit == BannerFit::kCrop ? 1 : 2)};
  seed.insert(seed.end(), file.begin(), file.end());
  return seed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: make_seeds CORPUS_DIR\n");
    return 2;
  }
  std::string dir = argv[1];
  bool ok = true;
  // Each package seed is checked on the way out: the valid ones must pass the checker in
  // compact form, the damaged ones must not.
  auto put = [&](const std::string& name, const Bytes& bytes) {
    ok = Write(dir + "/" + name, bytes) && ok;
    if (name.compare(0, 8, "package/") != 0) return;
    CompactFile file = {bytes.data(), bytes.size()};
    PackageSource source = {&file, kFuzzImageSize + file.PackageSize(), ReadCompact, nullptr};
    bool valid = CheckPackage(source, kFuzzImageSize, nullptr, nullptr);
    if (valid != (name.find("/valid_") != std::string::npos)) {
      fprintf(stderr, "make_seeds: %s is %s\n", name.c_str(), valid ? "valid" : "refused");
      ok = false;
    }
  };

  PackageContents none = Sample();
  PackageContents three = Sample();
  three.records = {Record("readme.txt", "new readme"), Record("data\\stage1.dat", "stage"),
                   Record("\x83\x5c\\sub.txt", "trail byte 0x5C")};
  PackageContents sizeZero = Sample();
  sizeZero.version = "";
  sizeZero.records = {Record("empty.txt", ""), Record("a.txt", "a")};
  put("package/valid_no_records", Compact(SerializePackage(none)));
  put("package/valid_three_records", Compact(SerializePackage(three)));
  put("package/valid_size_zero_record", Compact(SerializePackage(sizeZero)));

  Bytes cut = Compact(SerializePackage(three));
  cut.resize(cut.size() - 3);
  put("package/damaged_cut_in_last_record", cut);
  Bytes stray = Compact(SerializePackage(three));
  stray.push_back(0);
  put("package/damaged_stray_byte", stray);
  PackageContents badName = Sample();
  badName.records = {Record("..\\x", "x")};
  put("package/damaged_dot_dot_name", Compact(SerializePackage(badName)));
  Bytes header = Compact(SerializePackage(none));
  header.resize(kBannerOffset);
  put("package/damaged_header_only", header);

  const char* const names[] = {"readme.txt", "data\\stage1.dat", "\x83\x5c\\a", "..\\x",
                               "C:\\x", "a\\\\b", "CON.txt", ".. \\x", "a/b"};
  int n = 0;
  for (const char* name : names) {
    std::string text = name;
    put("record_name/name" + std::to_string(n++), Bytes(text.begin(), text.end()));
  }

  // Banner seeds: small pictures for the scale fit, one for crop and a full-size picture for
  // exact. Each must convert unless it is meant to be refused.
  auto banner = [&](const std::string& name, BannerFit fit, const Bytes& file,
                    bool accepted = true) {
    ok = Write(dir + "/banner/" + name, BannerSeed(fit, file)) && ok;
    Bytes dib;
    std::string problem;
    bool converted = ConvertBanner(file, fit, &dib, &problem);
    if (converted != accepted) {
      fprintf(stderr, "make_seeds: banner/%s is %s %s\n", name.c_str(),
              converted ? "converted" : "refused:", problem.c_str());
      ok = false;
    }
  };
  const BannerFit exact = BannerFit::kExact, crop = BannerFit::kCrop, scale = BannerFit::kScale;
  banner("png_grey1", scale, Png(5, 3, 1, 0, false));
  banner("png_grey16", scale, Png(3, 2, 16, 0, false));
  banner("png_grey_alpha8", scale, Png(3, 2, 8, 4, false));
  banner("png_rgb8_interlaced", scale, Png(9, 5, 8, 2, true));
  banner("png_rgb16", scale, Png(2, 2, 16, 2, false));
  banner("png_palette2", scale, Png(6, 3, 2, 3, false));
  banner("png_palette4_interlaced", scale, Png(5, 9, 4, 3, true));
  banner("png_rgba8", scale, Png(3, 3, 8, 6, false));
  banner("png_rgba16_too_small_to_crop", crop, Png(1, 1, 16, 6, false), false);
  Bytes full;
  {
    Bytes pixels((size_t)kBannerWidth * kBannerHeight * 3);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = (uint8_t)(i % 960 / 192 * 60);
    int length = 0;
    unsigned char* png = stbi_write_png_to_mem(pixels.data(), kBannerWidth * 3, kBannerWidth,
                                               kBannerHeight, 3, &length);
    full.assign(png, png + length);
    free(png);
  }
  banner("png_full_size", exact, full);
  Bytes cutPng = Png(4, 4, 8, 2, false);
  cutPng.resize(cutPng.size() - 20);
  banner("damaged_png_cut_in_idat", scale, cutPng, false);

  static const uint32_t k565[4] = {0xF800, 0x07E0, 0x001F, 0};
  static const uint32_t k8888[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  banner("bmp_core_header8", scale, Bmp(3, 2, 8, false, 12));
  banner("bmp1", scale, Bmp(9, 2, 1, false, 40));
  banner("bmp4_top_down", scale, Bmp(5, 3, 4, true, 40));
  banner("bmp8", scale, Bmp(3, 3, 8, false, 40));
  banner("bmp16_555", scale, Bmp(3, 2, 16, false, 40));
  banner("bmp16_565_fields", scale, Bmp(3, 2, 16, true, 40, k565));
  banner("bmp24", scale, Bmp(3, 2, 24, false, 40));
  banner("bmp32", scale, Bmp(2, 3, 32, true, 40));
  banner("bmp32_v4_alpha", scale, Bmp(2, 2, 32, false, 108, k8888));
  banner("bmp24_v5", scale, Bmp(3, 1, 24, false, 124));

  if (!ok) fprintf(stderr, "make_seeds: cannot write below %s\n", dir.c_str());
  return ok ? 0 : 1;
}
