#include "tests/native/mkupdate_test_support.h"

#include <fstream>
#include <random>
#include <sstream>

#include "package/package_format.h"
#include "tools/mkupdate/mkupdate.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

RunResult RunTool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int code = RunMkupdate(args, out, err, false);
  return {code, out.str(), err.str()};
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream file(path, std::ios::binary);
  file.write((const char*)bytes.data(), (std::streamsize)bytes.size());
  ASSERT_TRUE(file.good()) << path;
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

uint32_t TestColor(int x, int y) {
  return ((uint32_t)(x & 0xFF) << 16) | ((uint32_t)(y & 0xFF) << 8) | (uint32_t)((x * 7 + y * 13) & 0xFF);
}

std::vector<uint8_t> TestPixels(int width, int height, int channels) {
  std::vector<uint8_t> out;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint32_t c = TestColor(x, y);
      out.push_back((uint8_t)(c >> 16));
      out.push_back((uint8_t)(c >> 8));
      out.push_back((uint8_t)c);
      if (channels == 4) out.push_back((uint8_t)(x & 1 ? 0x80 : 0xFF));
    }
  return out;
}

namespace {
void Append(std::vector<uint8_t>* out, const void* data, int size) {
  const uint8_t* p = (const uint8_t*)data;
  out->insert(out->end(), p, p + size);
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back((uint8_t)(v >> (8 * i)));
}
void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back((uint8_t)v);
  out.push_back((uint8_t)(v >> 8));
}
}  // namespace

std::vector<uint8_t> EncodePng(int width, int height, int channels) {
  std::vector<uint8_t> pixels = TestPixels(width, height, channels);
  std::vector<uint8_t> out;
  stbi_write_png_to_func([](void* ctx, void* data, int size) {
                           Append((std::vector<uint8_t>*)ctx, data, size);
                         },
                         &out, width, height, channels, pixels.data(), width * channels);
  return out;
}

namespace {
void PutChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& body) {
  for (int i = 3; i >= 0; --i) png.push_back((uint8_t)(body.size() >> (8 * i)));
  size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), body.begin(), body.end());
  unsigned crc = stbiw__crc32(png.data() + start, (int)(png.size() - start));
  for (int i = 3; i >= 0; --i) png.push_back((uint8_t)(crc >> (8 * i)));
}
}  // namespace

std::vector<uint8_t> EncodePngRows(int width, int height, int colourType, bool interlaced,
                                   const std::vector<uint8_t>& rows,
                                   const std::vector<uint8_t>& palette) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> ihdr;
  for (uint32_t v : {(uint32_t)width, (uint32_t)height})
    for (int i = 3; i >= 0; --i) ihdr.push_back((uint8_t)(v >> (8 * i)));
  // 8 bits, deflate, adaptive filtering
  ihdr.insert(ihdr.end(), {8, (uint8_t)colourType, 0, 0, (uint8_t)interlaced});
  PutChunk(png, "IHDR", ihdr);
  if (!palette.empty()) PutChunk(png, "PLTE", palette);
  int length = 0;
  unsigned char* z = stbi_zlib_compress((unsigned char*)rows.data(), (int)rows.size(), &length, 8);
  PutChunk(png, "IDAT", std::vector<uint8_t>(z, z + length));
  STBIW_FREE(z);
  PutChunk(png, "IEND", {});
  return png;
}

std::vector<uint8_t> EncodePalettePng(int width, int height, const std::vector<uint32_t>& palette,
                                      uint8_t (*index)(int, int)) {
  std::vector<uint8_t> plte;
  for (uint32_t c : palette)
    plte.insert(plte.end(), {(uint8_t)(c >> 16), (uint8_t)(c >> 8), (uint8_t)c});
  std::vector<uint8_t> rows;
  for (int y = 0; y < height; ++y) {
    rows.push_back(0);  // filter type None
    for (int x = 0; x < width; ++x) rows.push_back(index(x, y));
  }
  return EncodePngRows(width, height, 3, false, rows, plte);
}

std::vector<uint8_t> EncodeInterlacedPng(int width, int height) {
  static const int kPass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                  {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  std::vector<uint8_t> rows;
  for (const int* p : kPass) {
    if (width <= p[0]) continue;  // a pass without columns has no rows either
    for (int y = p[1]; y < height; y += p[3]) {
      rows.push_back(0);  // filter type None
      for (int x = p[0]; x < width; x += p[2]) {
        uint32_t c = TestColor(x, y);
        rows.insert(rows.end(), {(uint8_t)(c >> 16), (uint8_t)(c >> 8), (uint8_t)c});
      }
    }
  }
  return EncodePngRows(width, height, 2, true, rows);
}

std::vector<uint8_t> EncodeBmp(int width, int height, int bits, bool topDown,
                               uint32_t (*color)(int, int)) {
  std::vector<uint32_t> palette;
  if (bits == 8) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (std::find(palette.begin(), palette.end(), color(x, y)) == palette.end())
          palette.push_back(color(x, y));
  }
  int stride = (width * bits / 8 + 3) / 4 * 4;
  uint32_t pixelOffset = 14 + 40 + 4 * (uint32_t)palette.size();
  std::vector<uint8_t> out = {'B', 'M'};
  PutU32(out, pixelOffset + (uint32_t)(stride * height));
  PutU32(out, 0);
  PutU32(out, pixelOffset);
  PutU32(out, 40);
  PutU32(out, (uint32_t)width);
  PutU32(out, (uint32_t)(topDown ? -height : height));
  PutU16(out, 1);
  PutU16(out, (uint16_t)bits);
  PutU32(out, 0);
  PutU32(out, (uint32_t)(stride * height));
  PutU32(out, 2835);
  PutU32(out, 2835);
  PutU32(out, (uint32_t)palette.size());
  PutU32(out, 0);
  for (uint32_t c : palette) PutU32(out, c);  // B, G, R, 0 in memory order
  for (int i = 0; i < height; ++i) {
    int y = topDown ? i : height - 1 - i;
    size_t start = out.size();
    for (int x = 0; x < width; ++x) {
      uint32_t c = color(x, y);
      if (bits == 8) {
        out.push_back((uint8_t)(std::find(palette.begin(), palette.end(), c) - palette.begin()));
      } else {
        out.push_back((uint8_t)c);
        out.push_back((uint8_t)(c >> 8));
        out.push_back((uint8_t)(c >> 16));
        if (bits == 32) out.push_back(0xFF);
      }
    }
    out.resize(start + stride, 0);
  }
  return out;
}

std::vector<uint8_t> FakeStub(size_t size) {
  std::vector<uint8_t> stub(size, 0);
  if (size >= 2) stub[0] = 'M', stub[1] = 'Z';
  return stub;
}

void MkupdateTest::SetUp() {
  std::random_device random;
  root_ = fs::temp_directory_path() /
          ("mkupdate-test-" + std::to_string(random()) + "-" + std::to_string(random()));
  fs::create_directories(root_);
  WriteBytes(Path("stub.exe"), FakeStub());
  WriteBytes(Path("banner.png"), EncodePng(320, 240, 4));
  Put("files/readme.txt", "read me\r\n");
  Put("files/data/level1.dat", std::string(3000, 'L'));
}

void MkupdateTest::TearDown() {
  std::error_code error;
  fs::remove_all(root_, error);
}

void MkupdateTest::Put(const std::string& relative, const std::string& contents) {
  WriteBytes(Path(relative), Bytes(contents));
}

std::vector<std::string> MkupdateTest::BaseBuild() const {
  return {"build", "-q", "--stub", P("stub.exe"), "-o", P("out.exe"), "--title", "テスト",
          "--version", "1.02", "--banner", P("banner.png"), "--vendor-key", "Tavrel",
          "--product-key", "Game", "--installed-text", "インストール済み",
          "--not-installed-text", "インストールされていません", "--files", P("files")};
}

std::vector<uint8_t> MkupdateTest::PackageOf(const fs::path& update) const {
  std::vector<uint8_t> bytes = ReadBytes(update);
  if (bytes.size() < kPackageOffset) return {};
  return std::vector<uint8_t>(bytes.begin() + kPackageOffset, bytes.end());
}
