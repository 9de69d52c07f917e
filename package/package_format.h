// The update package appended behind the updater's own image: field sizes, offsets and the
// limits a builder must keep. Shared by the updater, the package writer and the checker, so it
// uses nothing but fixed-width integers.
#ifndef TAVREL_PACKAGE_FORMAT_H
#define TAVREL_PACKAGE_FORMAT_H

#include <stdint.h>

// File offset of the package: the length of the updater without one. The build may override it
// for a twin whose image has another padded length.
#ifndef TAVREL_PACKAGE_OFFSET
#define TAVREL_PACKAGE_OFFSET 61440
#endif
const uint32_t kPackageOffset = TAVREL_PACKAGE_OFFSET;

// Every text field and every path buffer: 259 bytes of ANSI text and the terminating NUL.
const uint32_t kTextFieldSize = 260;
const uint32_t kMaxTextLength = kTextFieldSize - 1;

// PackageHeader offsets from the start of the package; B is bannerSize.
const uint32_t kTitleOffset = 0;
const uint32_t kVersionOffset = 260;
const uint32_t kBannerSizeOffset = 520;
const uint32_t kBannerOffset = 524;
// The fields behind the banner, relative to kBannerOffset + B.
const uint32_t kVendorKeyAfterBanner = 0;
const uint32_t kProductKeyAfterBanner = 260;
const uint32_t kInstalledTextAfterBanner = 520;
const uint32_t kNotInstalledTextAfterBanner = 780;
const uint32_t kSaveWarningAfterBanner = 1040;
const uint32_t kHeaderTailSize = 1041;  // vendorKey .. saveWarning
// The smallest header: every field present and a banner of bannerSize bytes.
inline uint64_t HeaderSize(uint32_t bannerSize) {
  return (uint64_t)kBannerOffset + bannerSize + kHeaderTailSize;
}

// FileRecord: a 260-byte name, a 32-bit size, then size bytes of data.
const uint32_t kRecordNameSize = 260;
const uint32_t kRecordSizeFieldSize = 4;
const uint32_t kRecordHeaderSize = kRecordNameSize + kRecordSizeFieldSize;

// Length limits, in bytes without the NUL.
const uint32_t kMaxTitleAndVersion = 253;     // the caption "%s  Ver.%s" must fit 260 bytes
const uint32_t kMaxVendorAndProduct = 249;    // "Software\%s\%s" must fit 260 bytes
const uint32_t kMaxRecordName = 199;          // the create-failure message adds 60 bytes

// The banner the builder writes: a packed 24-bit bottom-up DIB with a 40-byte header.
const uint32_t kBannerWidth = 320;
const uint32_t kBannerHeight = 240;
const uint32_t kBitmapInfoHeaderSize = 40;
const uint32_t kBannerRowBytes = 960;
const uint32_t kBannerPixelBytes = kBannerRowBytes * kBannerHeight;

// saveWarning: 0 keeps save data usable; a builder writes 1 for "makes it unusable".
const uint8_t kSaveDataKept = 0;
const uint8_t kSaveDataUnusable = 1;

#endif
