#include "tools/mkupdate/banner_convert.h"

#include <limits.h>
#include <string.h>

#include <memory>

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

template <typename T>
std::string SizeText(T width, T height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

// The largest picture read, checked on its header before anything is decoded: stb_image
// allocates the whole picture, and for a PNG its inflated rows as well, on the header's word
// alone, so a damaged header of a few bytes could make the builder take gigabytes and minutes.
// 16 megapixels (4096 x 4096; at most 128 MB of rows for a 16-bit RGBA PNG) is far more than a
// picture scaled down to a 320 x 240 banner needs; a side of more than 16384 pixels is a damaged
// header, not a picture.
const uint64_t kMaxPictureSide = 16384;
const uint64_t kMaxPicturePixels = 16 * 1024 * 1024;

// A little-endian field; bytes past the end of the file read as 0, as they do for stb_image.
uint32_t Field(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i)
    if (at + i < b.size()) v |= (uint32_t)b[at + i] << (8 * i);
  return v;
}

// stb_image reads a BMP's pixel rows without asking whether the file holds them, so a cut file
// would come out with black rows; and it looks a palette index up in a 256-entry table of which
// only the file's own colours are set, so an index past them would give whatever bytes were on
// its stack. Both are refused here, before decoding, on the layout stb_image reads (the header
// fields themselves it has checked in stbi_info_from_memory): rows padded to 4 bytes from
// bfOffBits on, and for 1, 4 and 8 bits per pixel the colours between the header and bfOffBits,
// 4 bytes each (3 with the OS/2 core header, whose table stb_image counts from byte 38 rather
// than 26).
bool CheckBmpPixels(const std::vector<uint8_t>& b, uint64_t width, uint64_t height,
                    std::string* problem) {
  const int64_t offset = Field(b, 10, 4), headerSize = Field(b, 14, 4);
  const bool core = headerSize == 12;
  const uint64_t bits = Field(b, core ? 24 : 28, 2);
  const uint64_t stride = (width * bits + 31) / 32 * 4;
  const uint64_t end = (uint64_t)offset + stride * (height - 1) + (width * bits + 7) / 8;
  if (end > b.size()) {
    *problem = "is cut short: its pixel rows end at byte " + std::to_string(end) +
               " but the file has " + std::to_string(b.size());
    return false;
  }
  if (bits != 1 && bits != 4 && bits != 8) return true;
  const int64_t colours = core ? (offset - 14 - 24) / 3 : (offset - 14 - headerSize) / 4;
  for (uint64_t y = 0; y < height; ++y) {
    const uint8_t* row = b.data() + offset + y * stride;
    for (uint64_t x = 0; x < width; ++x) {
      int index = bits == 8   ? row[x]
                  : bits == 4 ? (row[x / 2] >> (x % 2 ? 0 : 4)) & 15
                              : (row[x / 8] >> (7 - x % 8)) & 1;
      if (index >= colours) {
        *problem = "has a pixel of colour " + std::to_string(index) + " but only " +
                   std::to_string(colours < 0 ? 0 : colours) + " colours in its palette";
        return false;
      }
    }
  }
  return true;
}

// Calls visit(at, length) for each whole chunk of a PNG, at its length field, and returns the
// offset behind the last one (a chunk that runs past the end of the file ends the walk).
template <typename Visit>
size_t WalkPngChunks(const std::vector<uint8_t>& b, Visit visit) {
  size_t at = 8;
  while (at + 12 <= b.size()) {
    uint32_t length = ((uint32_t)b[at] << 24) | ((uint32_t)b[at + 1] << 16) |
                      ((uint32_t)b[at + 2] << 8) | b[at + 3];
    if (length > b.size() - at - 12) break;
    visit(at, length);
    at += 12 + (size_t)length;
  }
  return at;
}

bool IsChunk(const std::vector<uint8_t>& b, size_t at, const char* type) {
  return memcmp(&b[at + 4], type, 4) == 0;
}

// stb_image copies IDAT chunks into a buffer that it allocates at the first one with data in it;
// an empty IDAT before that has it call memcpy on a null pointer, which is undefined. Empty IDAT
// chunks add nothing to the picture, so the file is decoded from a copy without them.
bool DropEmptyIdat(const std::vector<uint8_t>& b, std::vector<uint8_t>* copy) {
  bool dropped = false;
  copy->assign(b.begin(), b.begin() + 8);
  size_t end = WalkPngChunks(b, [&](size_t at, uint32_t length) {
    if (length == 0 && IsChunk(b, at, "IDAT")) dropped = true;
    else copy->insert(copy->end(), b.begin() + at, b.begin() + at + 12 + length);
  });
  copy->insert(copy->end(), b.begin() + end, b.end());
  return dropped;
}

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return ((uint32_t)b[at] << 24) | ((uint32_t)b[at + 1] << 16) | ((uint32_t)b[at + 2] << 8) |
         b[at + 3];
}

// The bytes of a PNG's filtered rows: one filter byte and the packed pixels a row, for each of
// the seven Adam7 passes of an interlaced picture.
uint64_t PngRowBytes(uint64_t width, uint64_t height, int depth, int colourType, bool interlaced) {
  static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
  const uint64_t bits = (uint64_t)kChannels[colourType % 7] * depth;
  if (!interlaced) return height * (1 + (width * bits + 7) / 8);
  static const int kPass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                  {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  uint64_t total = 0;
  for (const int* p : kPass) {
    if (width <= (uint64_t)p[0] || height <= (uint64_t)p[1]) continue;
    uint64_t w = (width - p[0] + p[2] - 1) / p[2], h = (height - p[1] + p[3] - 1) / p[3];
    total += h * (1 + (w * bits + 7) / 8);
  }
  return total;
}

// stb_image believes a PNG's chunk lengths and its compressed data: it grows its buffer for the
// IDAT data to a chunk's declared length before reading the chunk (a 117-byte file declaring a
// chunk of 1.3 GB had it allocate 2 GB), and it inflates that data into a buffer that grows for
// as long as the data goes on (a 1 MB file holding 1 GB of zeros behind a 320 x 240 picture took
// 1 GB and was accepted). So, before decoding: every chunk up to IEND must lie inside the file,
// and the IDAT data must inflate into no more than the rows that the picture's size needs.
bool CheckPngData(const std::vector<uint8_t>& b, uint64_t width, uint64_t height,
                  std::string* problem) {
  std::vector<char> data;
  bool headerless = false;  // Apple's CgBI variant: raw deflate data
  for (size_t at = 8; at + 8 <= b.size();) {
    if (IsChunk(b, at, "IEND")) break;
    const uint64_t length = Be32(b, at);
    if (at + 12 + length > b.size()) {
      *problem = "cannot be decoded: its chunk at byte " + std::to_string(at) + " runs " +
                 std::to_string(length) + " bytes, past the end of the file";
      return false;
    }
    if (IsChunk(b, at, "CgBI")) headerless = true;
    if (IsChunk(b, at, "IDAT"))
      data.insert(data.end(), b.begin() + at + 8, b.begin() + at + 8 + length);
    at += 12 + length;
  }
  const uint64_t rows = PngRowBytes(width, height, b[24], b[25], b[28] != 0);
  std::unique_ptr<char[]> out(new char[rows]);  // at most 128 MB within the size limits
  int got = headerless ? stbi_zlib_decode_noheader_buffer(out.get(), (int)rows, data.data(),
                                                          (int)data.size())
                       : stbi_zlib_decode_buffer(out.get(), (int)rows, data.data(),
                                                 (int)data.size());
  if (got < 0) {
    *problem = "cannot be decoded: its compressed pixels are damaged or more than its " +
               SizeText(width, height) + " pixels need";
    return false;
  }
  return true;
}

// The PNG counterpart of the BMP palette check: stb_image's palette is a 256-entry table of which
// only the PLTE chunk's entries are set. The file is decoded a second time with every PLTE chunk
// replaced by one of 256 entries whose red is the entry's own index, which gives back the index of
// every pixel. (stb_image does not check chunk CRCs, so the copy keeps the old ones.)
bool CheckPngPalette(const std::vector<uint8_t>& b, std::string* problem) {
  if (b.size() < 33 || b[25] != 3) return true;  // IHDR's colour type: not a palette picture
  std::vector<uint8_t> copy(b.begin(), b.begin() + 8);
  uint32_t colours = 0;
  size_t end = WalkPngChunks(b, [&](size_t at, uint32_t length) {
    size_t next = at + 12 + length;
    if (IsChunk(b, at, "PLTE")) {
      colours = length / 3;
      static const uint8_t kHead[8] = {0, 0, 3, 0, 'P', 'L', 'T', 'E'};
      copy.insert(copy.end(), kHead, kHead + 8);
      for (int i = 0; i < 256; ++i) copy.insert(copy.end(), {(uint8_t)i, 0, 0});
      copy.insert(copy.end(), b.begin() + next - 4, b.begin() + next);
    } else {
      copy.insert(copy.end(), b.begin() + at, b.begin() + next);
    }
  });
  copy.insert(copy.end(), b.begin() + end, b.end());
  int width = 0, height = 0, channels = 0;
  unsigned char* index = stbi_load_from_memory(copy.data(), (int)copy.size(), &width, &height,
                                               &channels, 3);
  if (!index) return true;  // as the real decode has found
  bool ok = true;
  for (size_t i = 0; ok && i < (size_t)width * height; ++i)
    if (index[i * 3] >= colours) {
      *problem = "has a pixel of colour " + std::to_string(index[i * 3]) + " but only " +
                 std::to_string(colours) + " colours in its palette";
      ok = false;
    }
  stbi_image_free(index);
  return ok;
}

}  // namespace

bool ParseBannerFit(const std::string& text, BannerFit* fit) {
  if (text == "exact") *fit = BannerFit::kExact;
  else if (text == "crop") *fit = BannerFit::kCrop;
  else if (text == "scale") *fit = BannerFit::kScale;
  else return false;
  return true;
}

bool ConvertBanner(const std::vector<uint8_t>& original, BannerFit fit,
                   std::vector<uint8_t>* dib, std::string* problem) {
  if (!IsPng(original) && !IsBmp(original)) {
    *problem = "is neither a PNG nor a BMP file";
    return false;
  }
  if (original.size() > INT_MAX) {  // stb_image takes the length as an int
    *problem = "is too large to be a picture (" + std::to_string(original.size()) + " bytes)";
    return false;
  }
  std::vector<uint8_t> trimmed;
  const std::vector<uint8_t>& fileBytes =
      IsPng(original) && DropEmptyIdat(original, &trimmed) ? trimmed : original;
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(fileBytes.data(), (int)fileBytes.size(), &width, &height,
                             &channels)) {
    *problem = std::string("cannot be decoded: ") + stbi_failure_reason();
    return false;
  }
  // A BMP header's height is negative for top-down rows, and stb_image passes it on as it is.
  const uint64_t claimedWidth = (uint32_t)width;
  const uint64_t claimedHeight = IsBmp(fileBytes) && height < 0
                                     ? (uint64_t)(-(int64_t)height)
                                     : (uint64_t)(uint32_t)height;
  if (claimedWidth == 0 || claimedHeight == 0) {
    *problem = "is " + SizeText(claimedWidth, claimedHeight) + " pixels: it has no pixels";
    return false;
  }
  if (claimedWidth > kMaxPictureSide || claimedHeight > kMaxPictureSide ||
      claimedWidth * claimedHeight > kMaxPicturePixels) {
    *problem = "is " + SizeText(claimedWidth, claimedHeight) +
               " pixels, more than mkupdate reads (" + std::to_string(kMaxPictureSide) +
               " a side and " + std::to_string(kMaxPicturePixels >> 20) +
               " megapixels in all); make it smaller first";
    return false;
  }
  if (IsBmp(fileBytes) && !CheckBmpPixels(fileBytes, claimedWidth, claimedHeight, problem))
    return false;
  if (IsPng(fileBytes) && !CheckPngData(fileBytes, claimedWidth, claimedHeight, problem))
    return false;
  unsigned char* rgb = stbi_load_from_memory(fileBytes.data(), (int)fileBytes.size(), &width,
                                             &height, &channels, 3);
  if (!rgb) {
    *problem = std::string("cannot be decoded: ") + stbi_failure_reason();
    return false;
  }
  if ((uint64_t)width != claimedWidth || (uint64_t)height != claimedHeight) {
    stbi_image_free(rgb);
    *problem = "cannot be decoded: its size is not the one its header gives";
    return false;
  }
  if (IsPng(fileBytes) && !CheckPngPalette(fileBytes, problem)) {
    stbi_image_free(rgb);
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
