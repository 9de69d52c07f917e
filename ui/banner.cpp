#include "ui/banner.h"

#include "package/package_format.h"

bool LoadBanner(BannerImage& image, const void* data, DWORD size) {
  image.info = 0;
  image.bits = 0;
  image.size = 0;
  if (size < kBitmapInfoHeaderSize) return false;
  BYTE* copy = (BYTE*)HeapAlloc(GetProcessHeap(), 0, size);
  if (!copy) return false;
  CopyMemory(copy, data, size);
  image.info = (BITMAPINFO*)copy;
  image.bits = copy + image.info->bmiHeader.biSize;
  image.size = size;
  return true;
}

void FreeBanner(BannerImage& image) {
  if (image.info) HeapFree(GetProcessHeap(), 0, image.info);
  image.info = 0;
  image.bits = 0;
}

void DrawBanner(HDC dc, BannerImage image, const RECT& dest, const RECT& source) {
  // Row 0 of a bottom-up DIB is the bottom row, so the wanted part starts biHeight - bottom up.
  StretchDIBits(dc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top,
                source.left, image.info->bmiHeader.biHeight - source.bottom,
                source.right - source.left, source.bottom - source.top, image.bits, image.info,
                DIB_RGB_COLORS, SRCCOPY);
}

void SetBannerRects(int clientWidth, RECT& source, RECT& dest) {
  SetRect(&source, 0, 0, kBannerWidth, kBannerHeight);
  SetRect(&dest, 0, 0, kBannerWidth, kBannerHeight);
  int offset = (clientWidth - (int)kBannerWidth) / 2;  // rounds toward zero
  dest.left = offset;
  dest.right = (int)kBannerWidth + offset;
  dest.top += 10;
  dest.bottom += 10;
}
