// The banner alone: its rectangles, and what DrawBanner puts on a memory DC.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "package/package_format.h"
#include "package/package_writer.h"
#include "ui/banner.h"

namespace {

struct RectCase {
  int clientWidth;
  int left;  // the banner's left edge; it is always 320 wide, rows 10..249
};

TEST(BannerRects, CentredTenPixelsBelowTheTop) {
  const RectCase cases[] = {
      {320, 0}, {321, 0}, {322, 1}, {319, 0}, {318, -1}, {500, 90}, {501, 90}, {0, -160},
  };
  for (const RectCase& c : cases) {
    SCOPED_TRACE(c.clientWidth);
    RECT source = {1, 2, 3, 4}, dest = {5, 6, 7, 8};
    SetBannerRects(c.clientWidth, source, dest);
    EXPECT_EQ(source.left, 0);
    EXPECT_EQ(source.top, 0);
    EXPECT_EQ(source.right, 320);
    EXPECT_EQ(source.bottom, 240);
    EXPECT_EQ(dest.left, c.left);
    EXPECT_EQ(dest.right, c.left + 320);
    EXPECT_EQ(dest.top, 10);
    EXPECT_EQ(dest.bottom, 250);
  }
}

// A top-down 32-bit surface to draw on, filled with a background colour.
class Canvas {
 public:
  static constexpr uint32_t kBackground = 0x123456;
  Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(NULL);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, (void**)&pixels_, NULL, 0);
    old_ = SelectObject(dc_, bitmap_);
    for (int i = 0; i < width * height; ++i) pixels_[i] = kBackground;
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  bool ok() const { return bitmap_ != NULL; }
  uint32_t At(int x, int y) const {
    GdiFlush();
    return pixels_[y * width_ + x] & 0xFFFFFF;  // 0xRRGGBB
  }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  int width_, height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
  uint32_t* pixels_ = nullptr;
};

// Every picture pixel tells where it came from: x in red and the low bits of green, y in blue
// and the high bits of green.
uint32_t PositionColor(int x, int y, void*) {
  return ((uint32_t)(x & 0xFF) << 16) | ((uint32_t)((x >> 8) & 0x0F) << 8) |
         ((uint32_t)((y >> 8) & 0x0F) << 12) | (uint32_t)(y & 0xFF);
}

BannerImage Loaded(const std::vector<uint8_t>& bytes) {
  BannerImage image = {};
  EXPECT_TRUE(LoadBanner(image, bytes.data(), (DWORD)bytes.size()));
  return image;
}

// Checks that the canvas shows picture pixel (x - left, y - 10) at (x, y) inside the banner's
// place and the background everywhere else; returns the number of wrong pixels.
int WrongPixels(const Canvas& canvas, int left) {
  int wrong = 0;
  for (int y = 0; y < canvas.height(); ++y) {
    for (int x = 0; x < canvas.width(); ++x) {
      bool inside = x >= left && x < left + 320 && y >= 10 && y < 250;
      uint32_t expected = inside ? PositionColor(x - left, y - 10, nullptr) : Canvas::kBackground;
      if (canvas.At(x, y) != expected && ++wrong <= 5)
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << canvas.At(x, y)
                      << ", expected " << expected;
    }
  }
  return wrong;
}

struct DrawCase {
  const char* label;
  int pictureWidth, pictureHeight;
  int clientWidth;
};

TEST(DrawBanner, ShowsThePicturesTopLeft320x240OneToOne) {
  const DrawCase cases[] = {
      {"320x240 in a wide client", 320, 240, 400},
      {"320x240, exact width", 320, 240, 320},
      {"taller picture shows its top rows", 320, 300, 400},
      {"wider picture shows its left columns", 400, 240, 400},
      {"larger both ways", 401, 333, 361},
  };
  for (const DrawCase& c : cases) {
    SCOPED_TRACE(c.label);
    Canvas canvas(c.clientWidth, 270);
    ASSERT_TRUE(canvas.ok());
    BannerImage image = Loaded(MakeBanner(c.pictureWidth, c.pictureHeight, PositionColor));
    RECT source, dest;
    SetBannerRects(c.clientWidth, source, dest);
    DrawBanner(canvas.dc(), image, dest, source);
    EXPECT_EQ(WrongPixels(canvas, dest.left), 0);
    FreeBanner(image);
  }
}

TEST(DrawBanner, NarrowClientCutsTheRightColumns) {
  Canvas canvas(319, 260);
  ASSERT_TRUE(canvas.ok());
  BannerImage image = Loaded(MakeBanner(320, 240, PositionColor));
  RECT source, dest;
  SetBannerRects(319, source, dest);
  DrawBanner(canvas.dc(), image, dest, source);
  EXPECT_EQ(canvas.At(0, 10), PositionColor(0, 0, nullptr));
  EXPECT_EQ(canvas.At(318, 249), PositionColor(318, 239, nullptr));
  EXPECT_EQ(WrongPixels(canvas, 0), 0);
  FreeBanner(image);
}

TEST(DrawBanner, QuadrantBannerKeepsItsCornersInPlace) {
  Canvas canvas(360, 260);
  ASSERT_TRUE(canvas.ok());
  BannerImage image = Loaded(MakeQuadrantBanner());
  RECT source, dest;
  SetBannerRects(360, source, dest);
  DrawBanner(canvas.dc(), image, dest, source);
  EXPECT_EQ(canvas.At(20, 10), 0xFF0000u);    // top-left red
  EXPECT_EQ(canvas.At(339, 10), 0x00FF00u);   // top-right green
  EXPECT_EQ(canvas.At(20, 249), 0x0000FFu);   // bottom-left blue
  EXPECT_EQ(canvas.At(339, 249), 0xFFFF00u);  // bottom-right yellow
  EXPECT_EQ(canvas.At(19, 10), Canvas::kBackground);
  EXPECT_EQ(canvas.At(20, 9), Canvas::kBackground);
  EXPECT_EQ(canvas.At(20, 250), Canvas::kBackground);
  FreeBanner(image);
}

TEST(BannerImage, LoadTakesItsOwnCopyAndFreeReleasesIt) {
  std::vector<uint8_t> bytes = MakeQuadrantBanner();
  bytes.resize(bytes.size() + 7, 0xEE);  // bytes after the rows are kept and ignored
  BannerImage image = {};
  ASSERT_TRUE(LoadBanner(image, bytes.data(), (DWORD)bytes.size()));
  ASSERT_NE(image.info, nullptr);
  EXPECT_NE((void*)image.info, (void*)bytes.data());
  EXPECT_EQ(image.size, bytes.size());
  EXPECT_EQ(image.bits, (BYTE*)image.info + 40);
  EXPECT_EQ(0, memcmp(image.info, bytes.data(), bytes.size()));
  std::fill(bytes.begin(), bytes.end(), 0);  // the caller may drop its buffer at once
  EXPECT_EQ(image.info->bmiHeader.biWidth, 320);
  FreeBanner(image);
  EXPECT_EQ(image.info, nullptr);
  EXPECT_EQ(image.bits, nullptr);
  FreeBanner(image);  // nothing held: nothing happens
  EXPECT_EQ(image.info, nullptr);
}

}  // namespace
