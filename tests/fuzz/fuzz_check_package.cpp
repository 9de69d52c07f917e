// libFuzzer target: the whole-package check that the updater runs at start-up and that
// `mkupdate verify` shares, over a package in compact form (fuzz_input.h). Whatever the bytes,
// the check must end without touching memory it does not own, and a verdict of "valid" must
// describe a layout that really fits the file.
#include <stdlib.h>

#include "tests/fuzz/fuzz_input.h"

namespace {
// A code page in which every byte from 0x80 up leads a double-byte character, so that both the
// default (932) and an unusual lead-byte test are exercised.
bool EveryHighByteLeads(unsigned char byte) { return byte >= 0x80; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CompactFile file = {data, size};
  for (int codePage = 0; codePage < 2; ++codePage) {
    PackageSource source = {&file, kFuzzImageSize + file.PackageSize(), ReadCompact,
                            codePage ? EveryHighByteLeads : nullptr};
    PackageFault fault;
    PackageLayout layout;
    if (CheckPackage(source, kFuzzImageSize, &fault, &layout)) {
      uint64_t end = kFuzzImageSize + file.PackageSize();
      if (layout.bannerOffset != kFuzzImageSize + kBannerOffset) abort();
      if (layout.bannerSize < kBitmapInfoHeaderSize) abort();
      if (layout.firstRecordOffset != layout.bannerOffset + layout.bannerSize + kHeaderTailSize)
        abort();
      if (layout.firstRecordOffset > end) abort();
      // Every record needs at least its 264-byte header.
      if ((end - layout.firstRecordOffset) / kRecordHeaderSize < layout.recordCount) abort();
    } else {
      if (!fault.field || !fault.reason) abort();
      if (fault.offset > kFuzzImageSize + file.PackageSize()) abort();
    }
  }
  return 0;
}
