// The fuzzers' view of an update file. A real package carries a banner of about 230 KB, almost
// all of it pixel rows that the checker never looks at; a fuzzer mutating such inputs would spend
// its time copying them. So an input is the package in compact form: its first 564 bytes (the
// texts, bannerSize and the banner's BITMAPINFOHEADER) and then the rest of the package, with
// kPixelGap zero bytes standing between the two as if they were the 320 x 240 x 24-bit pixel rows.
// Inputs of 564 bytes or fewer are taken as they are. The package sits behind a small stand-in
// for the updater image, so that the checker has to honour the offset it is given.
#ifndef TAVREL_FUZZ_INPUT_H
#define TAVREL_FUZZ_INPUT_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "package/package_check.h"
#include "package/package_format.h"

const uint64_t kFuzzImageSize = 16;
const uint64_t kCompactHead = kBannerOffset + kBitmapInfoHeaderSize;  // 564
const uint64_t kPixelGap = kBannerPixelBytes;                         // 230400

struct CompactFile {
  const uint8_t* data;
  size_t size;
  // Length of the package the input stands for.
  uint64_t PackageSize() const { return size > kCompactHead ? size + kPixelGap : size; }
};

inline bool ReadCompact(void* context, uint64_t offset, void* dest, uint32_t length) {
  const CompactFile& file = *(const CompactFile*)context;
  if (offset < kFuzzImageSize) return false;  // the checker never reads the image
  offset -= kFuzzImageSize;
  uint64_t total = file.PackageSize();
  if (offset > total || total - offset < length) return false;
  uint8_t* out = (uint8_t*)dest;
  for (uint32_t done = 0; done < length;) {
    uint64_t at = offset + done;
    uint32_t chunk;
    if (at < kCompactHead || file.size <= kCompactHead) {
      uint64_t end = file.size <= kCompactHead ? file.size : kCompactHead;
      chunk = (uint32_t)(end - at < length - done ? end - at : length - done);
      memcpy(out + done, file.data + at, chunk);
    } else if (at < kCompactHead + kPixelGap) {
      uint64_t left = kCompactHead + kPixelGap - at;
      chunk = (uint32_t)(left < length - done ? left : length - done);
      memset(out + done, 0, chunk);
    } else {
      uint64_t left = total - at;
      chunk = (uint32_t)(left < length - done ? left : length - done);
      memcpy(out + done, file.data + (at - kPixelGap), chunk);
    }
    done += chunk;
  }
  return true;
}

#endif
