#include "tools/mkupdate/banner_convert.h"

#include "package/package_format.h"
#include "package/package_writer.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#include <stb/stb_image.h>

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb/stb_image_resize.h>

namespace {

struct Pixels {
  const unsigned char* rgb;  // top-down rows, 3 bytes a pixel
  int width;
};

uint32_t PixelAt(int x, int y, void* context) {
  const Pixels* pixels = (const Pixels*)context;
  const unsigned char* p = pixels->rgb + ((size_t)y * pixels->width + x) * 3;
  return ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2];
}

bool IsPng(const std::vector<uint8_t>& b) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (b.size() < 8) return false;
  for (int i = 0; i < 8; ++i)
    if (b[i] != kSignature[i]) return false;
  return true;
}

bool IsBmp(const std::vector<uint8_t>& b) { return b.size() >= 2 && b[0] == 'B' && b[1] == 'M'; }

std::string SizeText(int width, int height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

}  // namespace

bool ParseBannerFit(const std::string& text, BannerFit* fit) {
  if (text == "exact") *fit = BannerFit::kExact;
  else if (text == "crop") *fit = BannerFit::kCrop;
  else if (text == "scale") *fit = BannerFit::kScale;
  else return false;
  return true;
}

bool ConvertBanner(const std::vector<uint8_t>& fileBytes, BannerFit fit,
                   std::vector<uint8_t>* dib, std::string* problem) {
  if (!IsPng(fileBytes) && !IsBmp(fileBytes)) {
    *problem = "is neither a PNG nor a BMP file";
    return false;
  }
  int width = 0, height = 0, channels = 0;
  unsigned char* rgb = stbi_load_from_memory(fileBytes.data(), (int)fileBytes.size(), &width,
                                             &height, &channels, 3);
  if (!rgb) {
    *problem = std::string("cannot be decoded: ") + stbi_failure_reason();
    return false;
  }
  const int w = (int)kBannerWidth, h = (int)kBannerHeight;
  std::vector<unsigned char> scaled;
  Pixels pixels = {rgb, width};
  bool ok = true;
  if (width == w && height == h) {
    // as it is
  } else if (fit == BannerFit::kExact) {
    *problem = "is " + SizeText(width, height) + " pixels; a banner must be " + SizeText(w, h) +
               " (or ask for --banner-fit crop or scale)";
    ok = false;
  } else if (fit == BannerFit::kCrop) {
    if (width < w || height < h) {
      *problem = "is " + SizeText(width, height) + " pixels, too small to crop to " +
                 SizeText(w, h);
      ok = false;
    }
  } else {
    scaled.resize((size_t)w * h * 3);
    if (!stbir_resize_uint8(rgb, width, height, 0, scaled.data(), w, h, 0, 3)) {
      *problem = "cannot be scaled";
      ok = false;
    }
    pixels = {scaled.data(), w};
  }
  if (ok) *dib = MakeBanner(w, h, PixelAt, &pixels);
  stbi_image_free(rgb);
  return ok;
}

std::vector<uint8_t> BmpFileFromDib(const std::vector<uint8_t>& dib) {
  uint32_t biSize = dib.size() >= 4 ? (uint32_t)dib[0] | ((uint32_t)dib[1] << 8) |
                                          ((uint32_t)dib[2] << 16) | ((uint32_t)dib[3] << 24)
                                    : 0;
  uint32_t fileSize = (uint32_t)(14 + dib.size());
  uint32_t pixelOffset = 14 + biSize;
  std::vector<uint8_t> out = {'B', 'M'};
  for (int i = 0; i < 4; ++i) out.push_back((uint8_t)(fileSize >> (8 * i)));
  for (int i = 0; i < 4; ++i) out.push_back(0);  // bfReserved1, bfReserved2
  for (int i = 0; i < 4; ++i) out.push_back((uint8_t)(pixelOffset >> (8 * i)));
  out.insert(out.end(), dib.begin(), dib.end());
  return out;
}
