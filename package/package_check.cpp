#include "package/package_check.h"

#include "package/package_format.h"

namespace {

uint32_t LoadU32(const unsigned char* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

uint16_t LoadU16(const unsigned char* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

bool Fail(PackageFault* fault, uint64_t offset, const char* field, const char* reason) {
  if (fault) {
    fault->offset = offset;
    fault->field = field;
    fault->reason = reason;
  }
  return false;
}

// "record N name" / "record N size" into the fault's own buffer (no sprintf here).
const char* RecordField(PackageFault* fault, uint32_t index, const char* what) {
  if (!fault) return "record";
  char* out = fault->recordField;
  const char* prefix = "record ";
  int n = 0;
  while (*prefix) out[n++] = *prefix++;
  char digits[12];
  int d = 0;
  uint32_t value = index + 1;
  do {
    digits[d++] = (char)('0' + value % 10);
    value /= 10;
  } while (value);
  while (d) out[n++] = digits[--d];
  out[n++] = ' ';
  while (*what && n < (int)sizeof(fault->recordField) - 1) out[n++] = *what++;
  out[n] = 0;
  return out;
}

// Length of the text in a 260-byte field, or -1 when the field holds no NUL.
int TextLength(const unsigned char* field) {
  for (uint32_t i = 0; i < kTextFieldSize; ++i)
    if (field[i] == 0) return (int)i;
  return -1;
}

struct Reader {
  const PackageSource& source;
  bool Read(uint64_t offset, void* dest, uint32_t length) const {
    if (offset > source.fileSize || source.fileSize - offset < length) return false;
    return source.readAt(source.context, offset, dest, length);
  }
};

// Reads one text field; fills length. False when it is cut off or has no NUL.
bool ReadText(const Reader& reader, uint64_t offset, const char* field, unsigned char* buffer,
              int* length, PackageFault* fault) {
  if (!reader.Read(offset, buffer, kTextFieldSize))
    return Fail(fault, offset, field, "the file ends inside this field");
  *length = TextLength(buffer);
  if (*length < 0) return Fail(fault, offset, field, "the text has no terminating NUL");
  return true;
}

bool CheckBanner(const Reader& reader, uint64_t offset, uint32_t bannerSize,
                 PackageFault* fault) {
  unsigned char header[kBitmapInfoHeaderSize];
  if (bannerSize < kBitmapInfoHeaderSize)
    return Fail(fault, offset - 4, "bannerSize", "smaller than a BITMAPINFOHEADER");
  if (!reader.Read(offset, header, sizeof header))
    return Fail(fault, offset, "banner", "the file ends inside the banner");
  uint32_t biSize = LoadU32(header);
  int32_t width = (int32_t)LoadU32(header + 4);
  int32_t height = (int32_t)LoadU32(header + 8);
  uint16_t planes = LoadU16(header + 12);
  uint16_t bitCount = LoadU16(header + 14);
  uint32_t compression = LoadU32(header + 16);
  uint32_t colorsUsed = LoadU32(header + 32);
  if (biSize != 40 && biSize != 108 && biSize != 124)
    return Fail(fault, offset, "banner biSize", "not the size of a bitmap info header");
  if (biSize > bannerSize)
    return Fail(fault, offset, "banner biSize", "larger than bannerSize");
  if (height < 0)
    return Fail(fault, offset + 8, "banner biHeight", "top-down pictures are not drawn");
  if (width < (int32_t)kBannerWidth || height < (int32_t)kBannerHeight)
    return Fail(fault, offset + 4, "banner size", "smaller than 320 x 240");
  if (planes != 1) return Fail(fault, offset + 12, "banner biPlanes", "not 1");
  if (bitCount != 16 && bitCount != 24 && bitCount != 32)
    return Fail(fault, offset + 14, "banner biBitCount", "only 16, 24 and 32 bits per pixel");
  if (compression != 0)
    return Fail(fault, offset + 16, "banner biCompression", "not BI_RGB");
  if (colorsUsed != 0)
    return Fail(fault, offset + 32, "banner biClrUsed", "a colour table is not allowed");
  uint64_t stride = (((uint64_t)width * bitCount + 31) / 32) * 4;
  uint64_t room = bannerSize - biSize;
  if ((uint64_t)height > room / stride)
    return Fail(fault, offset, "banner", "fewer bytes than the pixel rows need");
  return true;
}

// Upper-case ASCII letter of c, other bytes unchanged.
unsigned char Upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? (unsigned char)(c - 32) : c; }

// True when name[0..length) is a DOS device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9), alone or
// with an extension: Windows opens the device instead of a file of that name.
bool IsDeviceName(const char* name, uint32_t length) {
  uint32_t stem = 0;
  while (stem < length && name[stem] != '.') ++stem;
  while (stem > 0 && name[stem - 1] == ' ') --stem;
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  if (stem == 3) {
    for (const char* device : kDevices)
      if (Upper(name[0]) == device[0] && Upper(name[1]) == device[1] && Upper(name[2]) == device[2])
        return true;
  }
  if (stem == 4 && name[3] >= '1' && name[3] <= '9') {
    unsigned char a = Upper(name[0]), b = Upper(name[1]), c = Upper(name[2]);
    return (a == 'C' && b == 'O' && c == 'M') || (a == 'L' && b == 'P' && c == 'T');
  }
  return false;
}

}  // namespace

bool IsCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

const char* CheckRecordName(const char* name, uint32_t length, bool (*isLeadByte)(unsigned char)) {
  if (!isLeadByte) isLeadByte = IsCp932LeadByte;
  if (length == 0) return "the name is empty";
  if (length > kMaxRecordName) return "the name is longer than 199 bytes";
  if (name[0] == '\\') return "the name is absolute";
  uint32_t componentStart = 0;
  bool onlyDotsAndSpaces = true;
  for (uint32_t i = 0; i <= length; ++i) {
    unsigned char c = i < length ? (unsigned char)name[i] : '\\';
    if (c == '\\') {
      if (i == componentStart) return "the name has an empty folder component";
      if (onlyDotsAndSpaces) return "the name has a component of dots (\".\" or \"..\")";
      if (IsDeviceName(name + componentStart, i - componentStart))
        return "the name has a component that is a device name (CON, NUL, COM1, ...)";
      componentStart = i + 1;
      onlyDotsAndSpaces = true;
      continue;
    }
    if (c == ':') return "the name carries a drive or stream colon";
    if (c == '/') return "the name uses a forward slash";
    if (c < 0x20) return "the name holds a control character";
    if (c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')
      return "the name holds a character Windows does not allow in file names";
    if (c != '.' && c != ' ') onlyDotsAndSpaces = false;
    if (isLeadByte(c)) {
      if (i + 1 >= length) return "the name ends inside a double-byte character";
      ++i;  // the trail byte may be 0x5C and is not a separator
    }
  }
  return 0;
}

bool CheckPackage(const PackageSource& source, uint64_t packageOffset, PackageFault* fault,
                  PackageLayout* layout) {
  Reader reader = {source};
  unsigned char field[kTextFieldSize];
  int titleLength = 0, versionLength = 0, vendorLength = 0, productLength = 0, length = 0;
  uint64_t base = packageOffset;

  if (source.fileSize < packageOffset)
    return Fail(fault, source.fileSize, "package", "the file is shorter than the updater image");
  if (!ReadText(reader, base + kTitleOffset, "title", field, &titleLength, fault)) return false;
  if (!ReadText(reader, base + kVersionOffset, "version", field, &versionLength, fault))
    return false;
  if (versionLength > 0 && titleLength + versionLength > (int)kMaxTitleAndVersion)
    return Fail(fault, base + kVersionOffset, "title + version", "longer than 253 bytes");

  unsigned char sizeBytes[4];
  if (!reader.Read(base + kBannerSizeOffset, sizeBytes, 4))
    return Fail(fault, base + kBannerSizeOffset, "bannerSize", "the file ends inside this field");
  uint32_t bannerSize = LoadU32(sizeBytes);
  uint64_t bannerOffset = base + kBannerOffset;
  if (source.fileSize - bannerOffset < (uint64_t)bannerSize + kHeaderTailSize &&
      bannerSize >= kBitmapInfoHeaderSize)
    return Fail(fault, base + kBannerSizeOffset, "bannerSize", "reaches past the end of the file");
  if (!CheckBanner(reader, bannerOffset, bannerSize, fault)) return false;

  uint64_t tail = bannerOffset + bannerSize;
  if (!ReadText(reader, tail + kVendorKeyAfterBanner, "vendorKey", field, &vendorLength, fault))
    return false;
  if (!ReadText(reader, tail + kProductKeyAfterBanner, "productKey", field, &productLength,
                fault))
    return false;
  if (vendorLength + productLength > (int)kMaxVendorAndProduct)
    return Fail(fault, tail, "vendorKey + productKey", "longer than 249 bytes");
  if (!ReadText(reader, tail + kInstalledTextAfterBanner, "installedText", field, &length, fault))
    return false;
  if (!ReadText(reader, tail + kNotInstalledTextAfterBanner, "notInstalledText", field, &length,
                fault))
    return false;
  if (!reader.Read(tail + kSaveWarningAfterBanner, field, 1))
    return Fail(fault, tail + kSaveWarningAfterBanner, "saveWarning", "the file ends here");

  uint64_t offset = tail + kHeaderTailSize;
  uint64_t firstRecord = offset;
  uint32_t index = 0;
  while (offset < source.fileSize) {
    if (source.fileSize - offset < kRecordHeaderSize)
      return Fail(fault, offset, RecordField(fault, index, "name"),
                  "the file ends inside the record header");
    if (!reader.Read(offset, field, kRecordNameSize))
      return Fail(fault, offset, RecordField(fault, index, "name"), "cannot be read");
    int nameLength = TextLength(field);
    if (nameLength < 0)
      return Fail(fault, offset, RecordField(fault, index, "name"),
                  "the text has no terminating NUL");
    const char* nameFault = CheckRecordName((const char*)field, (uint32_t)nameLength,
                                            source.isLeadByte);
    if (nameFault) return Fail(fault, offset, RecordField(fault, index, "name"), nameFault);
    if (!reader.Read(offset + kRecordNameSize, sizeBytes, 4))
      return Fail(fault, offset + kRecordNameSize, RecordField(fault, index, "size"),
                  "cannot be read");
    uint32_t size = LoadU32(sizeBytes);
    uint64_t dataOffset = offset + kRecordHeaderSize;
    if (source.fileSize - dataOffset < size)
      return Fail(fault, offset + kRecordNameSize, RecordField(fault, index, "size"),
                  "the data reach past the end of the file");
    offset = dataOffset + size;
    ++index;
  }
  if (layout) {
    layout->bannerSize = bannerSize;
    layout->bannerOffset = bannerOffset;
    layout->firstRecordOffset = firstRecord;
    layout->recordCount = index;
  }
  return true;
}
