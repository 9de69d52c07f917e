#include "tests/windows/support/test_update.h"

#include <windows.h>

#include <cstdlib>
#include <cstdio>

#include "package/package_format.h"
#include "tests/windows/support/test_files.h"

std::string UpdaterPath() {
  const char* unixPath = std::getenv("TAVREL_UPDATER_EXE");
  return unixPath ? WindowsPathOf(unixPath) : std::string();
}

const std::vector<uint8_t>& UpdaterStub() {
  static std::vector<uint8_t> stub;
  if (stub.empty()) {
    std::string bytes = ReadFileText(UpdaterPath());
    stub.assign(bytes.begin(), bytes.end());
    if (stub.size() != kPackageOffset) {
      std::fprintf(stderr, "updater %s is %u bytes, expected %u\n", UpdaterPath().c_str(),
                   (unsigned)stub.size(), (unsigned)kPackageOffset);
      std::abort();
    }
  }
  return stub;
}

PackageContents SamplePackage() {
  PackageContents contents;
  contents.title = "タヴレル物語";
  contents.version = "1.02";
  contents.banner = MakeQuadrantBanner();
  contents.vendorKey = "TavrelTest";
  contents.productKey = "Game";
  contents.installedText = "アップデートの準備ができました";
  contents.notInstalledText = "製品がインストールされていません";
  contents.saveWarning = 0;
  return contents;
}

PackageRecord Record(const std::string& name, const std::string& data) {
  PackageRecord record;
  record.name = name;
  record.data.assign(data.begin(), data.end());
  return record;
}

std::string WriteUpdate(const std::string& dir, const PackageContents& contents) {
  return WriteUpdateBytes(dir, SerializePackage(contents));
}

std::string WriteUpdateBytes(const std::string& dir, const std::vector<uint8_t>& package) {
  std::string path = dir + "\\Tavrel_Update.exe";
  std::string bytes(UpdaterStub().begin(), UpdaterStub().end());
  bytes.append(package.begin(), package.end());
  if (!WriteFileText(path, bytes)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::abort();
  }
  return path;
}
