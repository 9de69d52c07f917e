// Writes the fuzzers' seed corpus: a few valid packages in compact form (fuzz_input.h) made with
// the package writer, some damaged ones, and record names good and bad.
//   make_seeds CORPUS_DIR   (writes CORPUS_DIR/package/* and CORPUS_DIR/record_name/*)
#include <stdio.h>

#include <string>
#include <vector>

#include "package/package_format.h"
#include "package/package_writer.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

typedef std::vector<uint8_t> Bytes;

bool Write(const std::string& path, const Bytes& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

// The package with its pixel rows taken out (they are all zero in compact form).
Bytes Compact(const Bytes& package) {
  if (package.size() <= kCompactHead + kPixelGap) return package;
  Bytes compact(package.begin(), package.begin() + kCompactHead);
  compact.insert(compact.end(), package.begin() + kCompactHead + kPixelGap, package.end());
  return compact;
}

uint32_t Black(int, int, void*) { return 0; }

PackageRecord Record(const std::string& name, const std::string& data) {
  PackageRecord record;
  record.name = name;
  record.data.assign(data.begin(), data.end());
  return record;
}

PackageContents Sample() {
  PackageContents contents;
  contents.title = "\x83\x5e\x83\x94\x83\x8c\x83\x8b";  // "タヴレル" in code page 932
  contents.version = "1.02";
  contents.banner = MakeBanner(320, 240, Black);
  contents.vendorKey = "TavrelTest";
  contents.productKey = "Game";
  contents.installedText = "ready";
  contents.notInstalledText = "not installed";
  contents.saveWarning = 1;
  return contents;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: make_seeds CORPUS_DIR\n");
    return 2;
  }
  std::string dir = argv[1];
  bool ok = true;
  // Each package seed is checked on the way out: the valid ones must pass the checker in
  // compact form, the damaged ones must not.
  auto put = [&](const std::string& name, const Bytes& bytes) {
    ok = Write(dir + "/" + name, bytes) && ok;
    if (name.compare(0, 8, "package/") != 0) return;
    CompactFile file = {bytes.data(), bytes.size()};
    PackageSource source = {&file, kFuzzImageSize + file.PackageSize(), ReadCompact, nullptr};
    bool valid = CheckPackage(source, kFuzzImageSize, nullptr, nullptr);
    if (valid != (name.find("/valid_") != std::string::npos)) {
      fprintf(stderr, "make_seeds: %s is %s\n", name.c_str(), valid ? "valid" : "refused");
      ok = false;
    }
  };

  PackageContents none = Sample();
  PackageContents three = Sample();
  three.records = {Record("readme.txt", "new readme"), Record("data\\stage1.dat", "stage"),
                   Record("\x83\x5c\\sub.txt", "trail byte 0x5C")};
  PackageContents sizeZero = Sample();
  sizeZero.version = "";
  sizeZero.records = {Record("empty.txt", ""), Record("a.txt", "a")};
  put("package/valid_no_records", Compact(SerializePackage(none)));
  put("package/valid_three_records", Compact(SerializePackage(three)));
  put("package/valid_size_zero_record", Compact(SerializePackage(sizeZero)));

  Bytes cut = Compact(SerializePackage(three));
  cut.resize(cut.size() - 3);
  put("package/damaged_cut_in_last_record", cut);
  Bytes stray = Compact(SerializePackage(three));
  stray.push_back(0);
  put("package/damaged_stray_byte", stray);
  PackageContents badName = Sample();
  badName.records = {Record("..\\x", "x")};
  put("package/damaged_dot_dot_name", Compact(SerializePackage(badName)));
  Bytes header = Compact(SerializePackage(none));
  header.resize(kBannerOffset);
  put("package/damaged_header_only", header);

  const char* const names[] = {"readme.txt", "data\\stage1.dat", "\x83\x5c\\a", "..\\x",
                               "C:\\x", "a\\\\b", "CON.txt", ".. \\x", "a/b"};
  int n = 0;
  for (const char* name : names) {
    std::string text = name;
    put("record_name/name" + std::to_string(n++), Bytes(text.begin(), text.end()));
  }
  if (!ok) fprintf(stderr, "make_seeds: cannot write below %s\n", dir.c_str());
  return ok ? 0 : 1;
}
