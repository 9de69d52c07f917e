// The banner picture, held as the packed DIB bytes of the package and drawn straight from them.
#ifndef TAVREL_BANNER_H
#define TAVREL_BANNER_H

#include <windows.h>

struct BannerImage {
  BITMAPINFO* info;  // the image's own copy; null when no banner is held
  BYTE* bits;        // the pixel rows inside the copy: info + biSize
  DWORD size;        // byte size of the copy
};

// Takes a copy of size bytes at data. False, with nothing held, when the copy cannot be had.
bool LoadBanner(BannerImage& image, const void* data, DWORD size);
// Releases the copy, if any; info and bits become null.
void FreeBanner(BannerImage& image);
// Draws the source rectangle (top-down picture coordinates) into dest, unscaled.
void DrawBanner(HDC dc, BannerImage image, const RECT& dest, const RECT& source);
// The banner's place: 320 x 240 at the top-left of the picture, centred in a client area of
// clientWidth pixels, 10 pixels below its top.
void SetBannerRects(int clientWidth, RECT& source, RECT& dest);

#endif
