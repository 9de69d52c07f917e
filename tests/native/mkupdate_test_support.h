// Helpers for the mkupdate tests: a private temporary folder, small files, a fake stub, test
// pictures, and mkupdate run in-process with its output captured.
#ifndef TAVREL_TESTS_NATIVE_MKUPDATE_TEST_SUPPORT_H
#define TAVREL_TESTS_NATIVE_MKUPDATE_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdint.h>

#include <filesystem>
#include <string>
#include <vector>

#include "package/package_writer.h"

namespace fs = std::filesystem;

struct RunResult {
  int code;
  std::string out, err;
};

// mkupdate with these arguments (no program name).
RunResult RunTool(const std::vector<std::string>& args);

std::vector<uint8_t> Bytes(const std::string& text);
void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const fs::path& path);

// 0xRRGGBB of a test picture at (x, y), y counted from the top: every pixel differs from its
// neighbours, so a flipped or shifted row shows.
uint32_t TestColor(int x, int y);
// Pixels as RGB or RGBA rows, top-down.
std::vector<uint8_t> TestPixels(int width, int height, int channels);
std::vector<uint8_t> EncodePng(int width, int height, int channels);
// An 8-bit PNG of colour type 0, 2, 3, 4 or 6 whose IDAT data is rows, compressed: filtered rows
// as the decoder expects them, or anything else on purpose; palette is the PLTE chunk's body.
std::vector<uint8_t> EncodePngRows(int width, int height, int colourType, bool interlaced,
                                   const std::vector<uint8_t>& rows,
                                   const std::vector<uint8_t>& palette = {});
// An Adam7-interlaced 8-bit RGB PNG of TestColor.
std::vector<uint8_t> EncodeInterlacedPng(int width, int height);
// An 8-bit palette PNG (colour type 3): palette holds 0xRRGGBB entries, index(x, y) the entry
// of each pixel, which may lie past the palette on purpose.
std::vector<uint8_t> EncodePalettePng(int width, int height, const std::vector<uint32_t>& palette,
                                      uint8_t (*index)(int, int));
// A BMP file of TestColor: bits 8 (palette of the distinct colours, which must be <= 256), 24
// or 32; topDown gives a negative biHeight.
std::vector<uint8_t> EncodeBmp(int width, int height, int bits, bool topDown,
                               uint32_t (*color)(int, int) = TestColor);

// A stub as the updater build leaves it: "MZ" and zeros, size bytes long.
std::vector<uint8_t> FakeStub(size_t size = 61440);

// A temporary folder for each test, with a ready-made stub, banner and folder of files.
class MkupdateTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  fs::path Path(const std::string& relative) const { return root_ / fs::u8path(relative); }
  std::string P(const std::string& relative) const { return Path(relative).u8string(); }
  // Writes a file below the test folder, creating its folders.
  void Put(const std::string& relative, const std::string& contents);
  // `build` arguments for a valid update of the folder "files" into "out.exe".
  std::vector<std::string> BaseBuild() const;
  // The package bytes behind the stub of an update program.
  std::vector<uint8_t> PackageOf(const fs::path& update) const;

  fs::path root_;
};

#endif
