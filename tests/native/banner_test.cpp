// Banner pictures of every accepted kind become the same packed 24-bit bottom-up DIB.
#include <gtest/gtest.h>

#include <algorithm>

#include "package/package_format.h"
#include "tests/native/mkupdate_test_support.h"
#include "tools/mkupdate/banner_convert.h"

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t)b[at] | ((uint32_t)b[at + 1] << 8) | ((uint32_t)b[at + 2] << 16) |
         ((uint32_t)b[at + 3] << 24);
}

// The colour of the DIB pixel at (x, y), y counted from the top of the picture.
uint32_t DibColor(const std::vector<uint8_t>& dib, int x, int y) {
  size_t row = (size_t)(kBannerHeight - 1 - y);  // bottom-up: the last picture row comes first
  size_t at = kBitmapInfoHeaderSize + row * kBannerRowBytes + (size_t)x * 3;
  return ((uint32_t)dib[at + 2] << 16) | ((uint32_t)dib[at + 1] << 8) | dib[at];
}

void ExpectBannerHeader(const std::vector<uint8_t>& dib) {
  ASSERT_EQ(dib.size(), kBitmapInfoHeaderSize + kBannerPixelBytes);
  EXPECT_EQ(U32(dib, 0), 40u);
  EXPECT_EQ(U32(dib, 4), 320u);
  EXPECT_EQ(U32(dib, 8), 240u);  // positive: bottom-up
  EXPECT_EQ(dib[12] | (dib[13] << 8), 1);
  EXPECT_EQ(dib[14] | (dib[15] << 8), 24);
  EXPECT_EQ(U32(dib, 16), 0u);  // BI_RGB
  EXPECT_EQ(U32(dib, 32), 0u);  // no colour table
}

uint32_t Stripes(int x, int y) { return (x / 40 + y / 30) % 2 ? 0x102030 : 0xF0E0D0; }

struct Picture {
  const char* name;
  std::vector<uint8_t> (*make)();
  uint32_t (*color)(int, int);
};

void PrintTo(const Picture& x, std::ostream* os) { *os << x.name; }

class BannerPicture : public ::testing::TestWithParam<Picture> {};

TEST_P(BannerPicture, GivesBottomUpRowsOfTheSamePixels) {
  std::vector<uint8_t> dib;
  std::string problem;
  ASSERT_TRUE(ConvertBanner(GetParam().make(), BannerFit::kExact, &dib, &problem)) << problem;
  ExpectBannerHeader(dib);
  for (int y : {0, 1, 119, 238, 239})
    for (int x : {0, 1, 160, 318, 319})
      ASSERT_EQ(DibColor(dib, x, y), GetParam().color(x, y)) << "pixel " << x << "," << y;
  // the first row in the file is the picture's bottom row
  EXPECT_EQ(dib[40 + 2], (GetParam().color(0, 239) >> 16) & 0xFF);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BannerPicture,
    ::testing::Values(
        Picture{"png_rgba", [] { return EncodePng(320, 240, 4); }, TestColor},
        Picture{"png_rgb", [] { return EncodePng(320, 240, 3); }, TestColor},
        Picture{"png_rgb_interlaced", [] { return EncodeInterlacedPng(320, 240); }, TestColor},
        Picture{"bmp32_top_down", [] { return EncodeBmp(320, 240, 32, true); }, TestColor},
        Picture{"bmp32_bottom_up", [] { return EncodeBmp(320, 240, 32, false); }, TestColor},
        Picture{"bmp24_top_down", [] { return EncodeBmp(320, 240, 24, true); }, TestColor},
        Picture{"bmp24_bottom_up", [] { return EncodeBmp(320, 240, 24, false); }, TestColor},
        Picture{"bmp8_palette", [] { return EncodeBmp(320, 240, 8, false, Stripes); }, Stripes},
        Picture{"bmp8_palette_top_down", [] { return EncodeBmp(320, 240, 8, true, Stripes); },
                Stripes}),
    [](const ::testing::TestParamInfo<Picture>& info) { return std::string(info.param.name); });

TEST(BannerPicture, TopDown32BitRowsAreReversedExactly) {
  // Row by row: DIB row r (from the file's start) is picture row 239 - r.
  std::vector<uint8_t> dib;
  std::string problem;
  ASSERT_TRUE(ConvertBanner(EncodeBmp(320, 240, 32, true), BannerFit::kExact, &dib, &problem));
  for (int r = 0; r < 240; ++r) {
    const uint8_t* row = dib.data() + 40 + (size_t)r * 960;
    uint32_t c = TestColor(5, 239 - r);
    ASSERT_EQ(row[15], (uint8_t)c) << "row " << r;
    ASSERT_EQ(row[16], (uint8_t)(c >> 8)) << "row " << r;
    ASSERT_EQ(row[17], (uint8_t)(c >> 16)) << "row " << r;
  }
}

struct SizeCase {
  int width, height;
  BannerFit fit;
  bool accepted;
  const char* problem;
};

void PrintTo(const SizeCase& x, std::ostream* os) { *os << x.width << "x" << x.height; }

class BannerSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(BannerSize, IsRefusedUnlessFitted) {
  const SizeCase& c = GetParam();
  std::vector<uint8_t> dib;
  std::string problem;
  bool ok = ConvertBanner(EncodePng(c.width, c.height, 3), c.fit, &dib, &problem);
  EXPECT_EQ(ok, c.accepted) << problem;
  if (ok) {
    ExpectBannerHeader(dib);
    if (c.fit == BannerFit::kCrop) {  // the top-left part, as the updater would show it
      EXPECT_EQ(DibColor(dib, 0, 0), TestColor(0, 0));
      EXPECT_EQ(DibColor(dib, 319, 239), TestColor(319, 239));
    }
  } else {
    EXPECT_EQ(problem, c.problem);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BannerSize,
    ::testing::Values(
        SizeCase{640, 480, BannerFit::kExact, false,
                 "is 640 x 480 pixels; a banner must be 320 x 240 (or ask for --banner-fit crop "
                 "or scale)"},
        SizeCase{320, 239, BannerFit::kExact, false,
                 "is 320 x 239 pixels; a banner must be 320 x 240 (or ask for --banner-fit crop "
                 "or scale)"},
        SizeCase{400, 300, BannerFit::kCrop, true, ""},
        SizeCase{319, 240, BannerFit::kCrop, false,
                 "is 319 x 240 pixels, too small to crop to 320 x 240"},
        SizeCase{160, 120, BannerFit::kScale, true, ""},
        SizeCase{1000, 90, BannerFit::kScale, true, ""}));

TEST(BannerPicture, ScalingAUniformPictureKeepsItsColour) {
  // 2 x 2 grey in, 320 x 240 of the same grey out
  std::vector<uint8_t> dib;
  std::string problem;
  std::vector<uint8_t> bmp = EncodeBmp(2, 2, 24, false, [](int, int) { return 0x808080u; });
  ASSERT_TRUE(ConvertBanner(bmp, BannerFit::kScale, &dib, &problem)) << problem;
  EXPECT_EQ(DibColor(dib, 0, 0), 0x808080u);
  EXPECT_EQ(DibColor(dib, 200, 100), 0x808080u);
}

TEST(BannerPicture, RefusesFilesThatAreNotPngOrBmp) {
  std::vector<uint8_t> dib;
  std::string problem;
  EXPECT_FALSE(ConvertBanner(Bytes("GIF89a...."), BannerFit::kExact, &dib, &problem));
  EXPECT_EQ(problem, "is neither a PNG nor a BMP file");
  std::vector<uint8_t> cut = EncodePng(320, 240, 3);
  cut.resize(cut.size() / 2);
  EXPECT_FALSE(ConvertBanner(cut, BannerFit::kExact, &dib, &problem));
  EXPECT_EQ(problem.rfind("cannot be decoded: ", 0), 0u) << problem;
}

// Files whose header claims more than the file holds, or nothing at all. stb_image alone would
// allocate the claimed picture and fill it with black (a 54-byte BMP claiming 16000 x 16000 took
// 755 MB and 2.6 s), hand a picture without pixels to the resizer (a division by zero), or fill
// pixels past the palette with bytes from its stack.
void PutLe32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = (uint8_t)(v >> (8 * i));
}
void PutBe32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = (uint8_t)(v >> (8 * (3 - i)));
}
// A small BMP whose header says width x height (negative: top-down); its rows stay as they are.
std::vector<uint8_t> BmpClaiming(int width, int height) {
  std::vector<uint8_t> b = EncodeBmp(4, 2, 24, false);
  PutLe32(&b, 18, (uint32_t)width);
  PutLe32(&b, 22, (uint32_t)height);
  return b;
}
std::vector<uint8_t> PngClaiming(uint32_t width, uint32_t height) {
  std::vector<uint8_t> b = EncodePng(2, 2, 3);
  PutBe32(&b, 16, width);  // IHDR
  PutBe32(&b, 20, height);
  return b;
}
// Filtered rows of a width x height RGB picture (filter None, black), and extra bytes behind.
std::vector<uint8_t> RgbRows(int width, int height, size_t extra) {
  return std::vector<uint8_t>((size_t)height * (1 + 3 * width) + extra, 0);
}
uint32_t TwoColours(int x, int) { return x % 2 ? 0xFF0000 : 0x0000FF; }
uint8_t IndexOfColumn(int x, int) { return (uint8_t)(x % 3); }

struct Malformed {
  const char* name;
  std::vector<uint8_t> (*make)();
  BannerFit fit;
  std::string problem;
};

void PrintTo(const Malformed& x, std::ostream* os) { *os << x.name; }

class MalformedBanner : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedBanner, IsRefusedWithItsReason) {
  std::vector<uint8_t> dib = {1, 2, 3};
  std::string problem;
  EXPECT_FALSE(ConvertBanner(GetParam().make(), GetParam().fit, &dib, &problem));
  EXPECT_EQ(problem, GetParam().problem);
  EXPECT_EQ(dib, std::vector<uint8_t>({1, 2, 3}));
}

std::string TooLarge(const char* size) {
  return std::string("is ") + size +
         " pixels, more than mkupdate reads (16384 a side and 16 megapixels in all); make it "
         "smaller first";
}

INSTANTIATE_TEST_SUITE_P(
    Headers, MalformedBanner,
    ::testing::Values(
        // found by fuzz_banner: tests/fuzz/regressions/banner/bmp_height_0_scaled
        Malformed{"bmp_height_0", [] { return BmpClaiming(33795, 0); }, BannerFit::kScale,
                  "is 33795 x 0 pixels: it has no pixels"},
        Malformed{"bmp_width_0", [] { return BmpClaiming(0, 2); }, BannerFit::kScale,
                  "is 0 x 2 pixels: it has no pixels"},
        Malformed{"bmp_16000_square", [] { return BmpClaiming(16000, 16000); },
                  BannerFit::kScale, TooLarge("16000 x 16000")},
        Malformed{"bmp_side_16385", [] { return BmpClaiming(16385, 1); }, BannerFit::kScale,
                  TooLarge("16385 x 1")},
        Malformed{"bmp_top_down_4097_by_4096", [] { return BmpClaiming(4097, -4096); },
                  BannerFit::kCrop, TooLarge("4097 x 4096")},
        Malformed{"png_5000_square", [] { return PngClaiming(5000, 5000); }, BannerFit::kScale,
                  TooLarge("5000 x 5000")},
        // Within the limits (exactly 16 megapixels; a side of 16384), so the claim meets the
        // next check: the rows are not in the file.
        Malformed{"bmp_4096_square", [] { return BmpClaiming(4096, 4096); }, BannerFit::kScale,
                  "is cut short: its pixel rows end at byte 50331702 but the file has 78"},
        Malformed{"bmp_top_down_16384_by_1024", [] { return BmpClaiming(16384, -1024); },
                  BannerFit::kScale,
                  "is cut short: its pixel rows end at byte 50331702 but the file has 78"},
        Malformed{"bmp24_cut_in_half",
                  [] {
                    std::vector<uint8_t> b = EncodeBmp(320, 240, 24, false);
                    b.resize(b.size() / 2);
                    return b;
                  },
                  BannerFit::kExact,
                  "is cut short: its pixel rows end at byte 230454 but the file has 115227"},
        Malformed{"bmp32_top_down_last_byte_missing",
                  [] {
                    std::vector<uint8_t> b = EncodeBmp(320, 240, 32, true);
                    b.pop_back();
                    return b;
                  },
                  BannerFit::kExact,
                  "is cut short: its pixel rows end at byte 307254 but the file has 307253"},
        Malformed{"bmp8_index_past_palette",
                  [] {
                    std::vector<uint8_t> b = EncodeBmp(320, 240, 8, false, TwoColours);
                    b[b.size() - 1] = 5;  // the last pixel of the picture's top row
                    return b;
                  },
                  BannerFit::kExact, "has a pixel of colour 5 but only 2 colours in its palette"},
        // found by fuzz_banner: tests/fuzz/regressions/banner/png_idat_of_1_3_gb
        Malformed{"png_chunk_past_the_end",
                  [] {
                    std::vector<uint8_t> b = EncodePng(2, 2, 3);
                    PutBe32(&b, 33, 0x7FFFFFF0);  // the IDAT chunk behind IHDR
                    return b;
                  },
                  BannerFit::kScale,
                  "cannot be decoded: its chunk at byte 33 runs 2147483632 bytes, past the end "
                  "of the file"},
        Malformed{"png_one_byte_more_than_its_rows",
                  [] { return EncodePngRows(4, 2, 2, false, RgbRows(4, 2, 1)); },
                  BannerFit::kScale,
                  "cannot be decoded: its compressed pixels are damaged or more than its 4 x 2 "
                  "pixels need"},
        Malformed{"png_interlaced_one_byte_more",
                  [] {
                    // 3 x 2 pixels: passes 1, 4 and 6 hold one row of one pixel, pass 7 one
                    // row of three, the others nothing, so the rows take 3 * 4 + 10 = 22 bytes
                    return EncodePngRows(3, 2, 2, true, std::vector<uint8_t>(23, 0));
                  },
                  BannerFit::kScale,
                  "cannot be decoded: its compressed pixels are damaged or more than its 3 x 2 "
                  "pixels need"},
        Malformed{"png_index_past_palette",
                  [] { return EncodePalettePng(320, 240, {0xFF0000, 0x00FF00}, IndexOfColumn); },
                  BannerFit::kExact,
                  "has a pixel of colour 2 but only 2 colours in its palette"}),
    [](const ::testing::TestParamInfo<Malformed>& info) { return std::string(info.param.name); });

TEST(BannerPicture, InterlacedPngGivesTheSameBannerAsPlain) {
  // Sizes where Adam7 passes are empty or uneven: the rows' length must come out right.
  for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {5, 9}, {9, 5}, {17, 13}, {2, 300}}) {
    std::vector<uint8_t> plain, interlaced;
    std::string problem;
    ASSERT_TRUE(ConvertBanner(EncodePng(w, h, 3), BannerFit::kScale, &plain, &problem))
        << w << "x" << h << ": " << problem;
    ASSERT_TRUE(ConvertBanner(EncodeInterlacedPng(w, h), BannerFit::kScale, &interlaced,
                              &problem))
        << w << "x" << h << " interlaced: " << problem;
    EXPECT_EQ(interlaced, plain) << w << "x" << h;
  }
  // and exactly the rows are accepted
  std::vector<uint8_t> dib;
  std::string problem;
  EXPECT_TRUE(ConvertBanner(EncodePngRows(3, 2, 2, true, std::vector<uint8_t>(22, 0)),
                            BannerFit::kScale, &dib, &problem))
      << problem;
  EXPECT_TRUE(ConvertBanner(EncodePngRows(4, 2, 2, false, RgbRows(4, 2, 0)), BannerFit::kScale,
                            &dib, &problem))
      << problem;
}

TEST(BannerPicture, PalettePngGivesItsColours) {
  std::vector<uint8_t> dib;
  std::string problem;
  std::vector<uint8_t> png =
      EncodePalettePng(320, 240, {0xFF0000, 0x00FF00, 0x102030}, IndexOfColumn);
  ASSERT_TRUE(ConvertBanner(png, BannerFit::kExact, &dib, &problem)) << problem;
  ExpectBannerHeader(dib);
  for (int y : {0, 239})
    for (int x : {0, 1, 2, 3, 319}) {
      const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x102030};
      ASSERT_EQ(DibColor(dib, x, y), colours[x % 3]) << "pixel " << x << "," << y;
    }
}

// Empty IDAT chunks are allowed and add nothing; before the first one with data, stb_image
// would call memcpy on a null pointer (UndefinedBehaviorSanitizer stops the sanitize build there).
// Found by fuzz_banner: tests/fuzz/regressions/banner/png_empty_first_idat.
TEST(BannerPicture, EmptyIdatChunksChangeNothing) {
  const std::vector<uint8_t> png = EncodePng(320, 240, 3);
  std::vector<uint8_t> dib, expected;
  std::string problem;
  ASSERT_TRUE(ConvertBanner(png, BannerFit::kExact, &expected, &problem)) << problem;
  const std::vector<uint8_t> empty = {0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xAF, 0x06, 0x1E};
  const std::vector<uint8_t> idat = {'I', 'D', 'A', 'T'};
  const size_t first = std::search(png.begin(), png.end(), idat.begin(), idat.end()) -
                       png.begin() - 4;  // at its length field
  const size_t iend = png.size() - 12;
  for (size_t at : {first, iend}) {
    std::vector<uint8_t> file = png;
    file.insert(file.begin() + at, empty.begin(), empty.end());
    ASSERT_TRUE(ConvertBanner(file, BannerFit::kExact, &dib, &problem)) << problem;
    EXPECT_EQ(dib, expected) << "empty IDAT at byte " << at;
  }
}

TEST(BannerPicture, BmpFileHeaderPointsAtThePixels) {
  std::vector<uint8_t> dib = MakeQuadrantBanner();
  std::vector<uint8_t> bmp = BmpFileFromDib(dib);
  ASSERT_EQ(bmp.size(), 14 + dib.size());
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(U32(bmp, 2), bmp.size());
  EXPECT_EQ(U32(bmp, 10), 54u);
  EXPECT_TRUE(std::equal(dib.begin(), dib.end(), bmp.begin() + 14));
  // and the file reads back as the same banner
  std::vector<uint8_t> again;
  std::string problem;
  ASSERT_TRUE(ConvertBanner(bmp, BannerFit::kExact, &again, &problem)) << problem;
  EXPECT_EQ(again, dib);
}

}  // namespace
