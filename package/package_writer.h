// Writes update packages byte for byte in the updater's format. Used by the test programs and
// by the mkupdate builder; it checks nothing itself, so that tests can also write packages that
// break the rules (CheckPackage is the judge).
#ifndef TAVREL_PACKAGE_WRITER_H
#define TAVREL_PACKAGE_WRITER_H

#include <stdint.h>

#include <string>
#include <vector>

struct PackageRecord {
  std::string name;          // relative path, backslashes, in the target's code page
  std::vector<uint8_t> data; // the file's contents
  // Raw 260-byte name field, when a test needs bytes after the NUL or no NUL at all.
  std::vector<uint8_t> rawName;
  // Size field to write instead of data.size(), for damaged packages.
  bool overrideSize = false;
  uint32_t size = 0;
};

struct PackageContents {
  std::string title;
  std::string version;
  std::vector<uint8_t> banner;  // packed DIB: BITMAPINFOHEADER and pixel rows
  std::string vendorKey;
  std::string productKey;
  std::string installedText;
  std::string notInstalledText;
  uint8_t saveWarning = 0;
  std::vector<PackageRecord> records;
};

// A 260-byte text field: the text, a NUL and zeros. Text of 260 bytes or more is written cut to
// 260 bytes with no NUL (a damaged field, on purpose).
std::vector<uint8_t> TextField(const std::string& text);

// The package bytes alone (what goes behind the updater image).
std::vector<uint8_t> SerializePackage(const PackageContents& contents);

// The pieces, for a writer that streams the records' data instead of holding it: the
// PackageHeader (title up to saveWarning; contents.records is ignored), and a record's name and
// size fields, which its size bytes of data follow.
std::vector<uint8_t> SerializeHeader(const PackageContents& contents);
std::vector<uint8_t> SerializeRecordHeader(const std::string& name, uint32_t size);

// A packed 24-bit bottom-up DIB of width x height whose pixel at (x, y), counted from the top,
// is colorAt(x, y) as 0xRRGGBB.
std::vector<uint8_t> MakeBanner(int width, int height, uint32_t (*colorAt)(int x, int y, void* ctx),
                                void* ctx = nullptr);
// A 320 x 240 banner of four coloured quadrants: top-left red, top-right green, bottom-left
// blue, bottom-right yellow.
std::vector<uint8_t> MakeQuadrantBanner();

// Writes stub bytes followed by the package to path. False when the file cannot be written.
bool WriteUpdateProgram(const std::string& path, const std::vector<uint8_t>& stub,
                        const PackageContents& contents);

#endif
