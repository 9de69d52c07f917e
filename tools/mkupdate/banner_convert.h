// The banner: a PNG or BMP picture turned into the packed 24-bit bottom-up DIB (a 40-byte
// BITMAPINFOHEADER and 320 x 240 pixel rows of 960 bytes) that the updater draws.
#ifndef TAVREL_MKUPDATE_BANNER_CONVERT_H
#define TAVREL_MKUPDATE_BANNER_CONVERT_H

#include <stdint.h>

#include <string>
#include <vector>

// What to do with a picture that is not 320 x 240.
enum class BannerFit {
  kExact,  // refuse it
  kCrop,   // keep its top-left 320 x 240 pixels (what the updater itself would show); it must
           // be at least that large
  kScale,  // resample it to 320 x 240, whatever its size and aspect ratio
};

// "exact", "crop" or "scale".
bool ParseBannerFit(const std::string& text, BannerFit* fit);

// Decodes the bytes of a PNG or BMP file (any bit depth stb_image reads: palette, 16, 24 and
// 32 bits, top-down or bottom-up) and converts them. An alpha channel is dropped. False with
// problem set when the picture cannot be read or has the wrong size for fit.
bool ConvertBanner(const std::vector<uint8_t>& fileBytes, BannerFit fit,
                   std::vector<uint8_t>* dib, std::string* problem);

// A .bmp file for the packed DIB of a package: a 14-byte BITMAPFILEHEADER in front of it, the
// pixels located through the DIB's own biSize.
std::vector<uint8_t> BmpFileFromDib(const std::vector<uint8_t>& dib);

#endif
