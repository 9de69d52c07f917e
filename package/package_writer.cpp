#include "package/package_writer.h"

#include <cstdio>

#include "package/package_format.h"

namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back((uint8_t)(value >> (8 * i)));
}

void PutBytes(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

uint32_t QuadrantColor(int x, int y, void*) {
  bool right = x >= (int)kBannerWidth / 2;
  bool bottom = y >= (int)kBannerHeight / 2;
  if (!bottom) return right ? 0x00FF00 : 0xFF0000;
  return right ? 0xFFFF00 : 0x0000FF;
}

}  // namespace

std::vector<uint8_t> TextField(const std::string& text) {
  std::vector<uint8_t> field(kTextFieldSize, 0);
  for (size_t i = 0; i < text.size() && i < kTextFieldSize; ++i) field[i] = (uint8_t)text[i];
  return field;
}

std::vector<uint8_t> SerializeHeader(const PackageContents& contents) {
  std::vector<uint8_t> out;
  PutBytes(out, TextField(contents.title));
  PutBytes(out, TextField(contents.version));
  PutU32(out, (uint32_t)contents.banner.size());
  PutBytes(out, contents.banner);
  PutBytes(out, TextField(contents.vendorKey));
  PutBytes(out, TextField(contents.productKey));
  PutBytes(out, TextField(contents.installedText));
  PutBytes(out, TextField(contents.notInstalledText));
  out.push_back(contents.saveWarning);
  return out;
}

std::vector<uint8_t> SerializeRecordHeader(const std::string& name, uint32_t size) {
  std::vector<uint8_t> out = TextField(name);
  PutU32(out, size);
  return out;
}

std::vector<uint8_t> SerializePackage(const PackageContents& contents) {
  std::vector<uint8_t> out = SerializeHeader(contents);
  for (const PackageRecord& record : contents.records) {
    if (record.rawName.empty()) {
      PutBytes(out, TextField(record.name));
    } else {
      std::vector<uint8_t> field = record.rawName;
      field.resize(kRecordNameSize, 0);
      PutBytes(out, field);
    }
    PutU32(out, record.overrideSize ? record.size : (uint32_t)record.data.size());
    PutBytes(out, record.data);
  }
  return out;
}

std::vector<uint8_t> MakeBanner(int width, int height, uint32_t (*colorAt)(int, int, void*),
                                void* ctx) {
  int stride = ((width * 3) + 3) / 4 * 4;
  std::vector<uint8_t> out;
  PutU32(out, kBitmapInfoHeaderSize);
  PutU32(out, (uint32_t)width);
  PutU32(out, (uint32_t)height);
  out.push_back(1); out.push_back(0);   // biPlanes
  out.push_back(24); out.push_back(0);  // biBitCount
  PutU32(out, 0);                       // BI_RGB
  PutU32(out, (uint32_t)(stride * height));
  PutU32(out, 2835);
  PutU32(out, 2835);
  PutU32(out, 0);
  PutU32(out, 0);
  for (int row = height - 1; row >= 0; --row) {  // bottom-up: the last picture row first
    size_t start = out.size();
    for (int x = 0; x < width; ++x) {
      uint32_t rgb = colorAt(x, row, ctx);
      out.push_back((uint8_t)rgb);          // blue
      out.push_back((uint8_t)(rgb >> 8));   // green
      out.push_back((uint8_t)(rgb >> 16));  // red
    }
    out.resize(start + stride, 0);
  }
  return out;
}

std::vector<uint8_t> MakeQuadrantBanner() {
  return MakeBanner(kBannerWidth, kBannerHeight, QuadrantColor);
}

bool WriteUpdateProgram(const std::string& path, const std::vector<uint8_t>& stub,
                        const PackageContents& contents) {
  std::vector<uint8_t> package = SerializePackage(contents);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(stub.data(), 1, stub.size(), file) == stub.size() &&
            std::fwrite(package.data(), 1, package.size(), file) == package.size();
  return std::fclose(file) == 0 && ok;
}
