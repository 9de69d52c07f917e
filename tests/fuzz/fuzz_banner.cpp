// libFuzzer target: the builder's banner conversion, over whatever file a publisher might hand
// to `mkupdate build --banner`. The first byte picks the fit (exact, crop, scale), the rest is
// the file. Whatever the bytes, the conversion must end in bounded time and memory with either a
// banner of exactly the updater's shape or a reason, and a refusal must leave the output alone.
#include <stdlib.h>

#include <string>
#include <vector>

#include "package/package_format.h"
#include "tools/mkupdate/banner_convert.h"

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t)b[at] | ((uint32_t)b[at + 1] << 8) | ((uint32_t)b[at + 2] << 16) |
         ((uint32_t)b[at + 3] << 24);
}

// What the updater's banner code relies on: a 40-byte BITMAPINFOHEADER of a 320 x 240 bottom-up
// 24-bit BI_RGB picture without a colour table, and exactly its pixel rows behind it.
bool IsUpdaterBanner(const std::vector<uint8_t>& dib) {
  return dib.size() == kBitmapInfoHeaderSize + kBannerPixelBytes &&
         U32(dib, 0) == kBitmapInfoHeaderSize && U32(dib, 4) == kBannerWidth &&
         U32(dib, 8) == kBannerHeight && dib[12] == 1 && dib[13] == 0 && dib[14] == 24 &&
         dib[15] == 0 && U32(dib, 16) == 0 && U32(dib, 32) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const kFits[] = {"exact", "crop", "scale"};
  BannerFit fit;
  if (!ParseBannerFit(kFits[data[0] % 3], &fit)) abort();
  // A heap copy of exactly the file's bytes, so that AddressSanitizer sees any read past it.
  std::vector<uint8_t> file(data + 1, data + size);
  file.shrink_to_fit();

  const std::vector<uint8_t> untouched = {0xDE, 0xAD};
  std::vector<uint8_t> dib = untouched;
  std::string problem;
  if (ConvertBanner(file, fit, &dib, &problem)) {
    if (!IsUpdaterBanner(dib)) abort();
    // The banner's own .bmp file must read back as the same banner.
    std::vector<uint8_t> again;
    std::string why;
    if (!ConvertBanner(BmpFileFromDib(dib), BannerFit::kExact, &again, &why)) abort();
    if (again != dib) abort();
  } else {
    if (problem.empty()) abort();
    if (dib != untouched) abort();
  }
  return 0;
}
