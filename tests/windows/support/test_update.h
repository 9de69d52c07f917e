// Update programs for the tests: the real x86_64 updater with a package appended.
#ifndef TAVREL_TEST_UPDATE_H
#define TAVREL_TEST_UPDATE_H

#include <stdint.h>

#include <string>
#include <vector>

#include "package/package_writer.h"

// The updater under test, as a Windows path (from TAVREL_UPDATER_EXE).
std::string UpdaterPath();
// Its bytes: the image without a package, exactly kPackageOffset long.
const std::vector<uint8_t>& UpdaterStub();

// A package that any test can start from: texts, the quadrant banner, vendor "TavrelTest",
// product "Game", no records.
PackageContents SamplePackage();
PackageRecord Record(const std::string& name, const std::string& data);

// Writes dir\Tavrel_Update.exe (stub + package) and returns its path.
std::string WriteUpdate(const std::string& dir, const PackageContents& contents);
// The same with raw package bytes, for damaged packages.
std::string WriteUpdateBytes(const std::string& dir, const std::vector<uint8_t>& package);

#endif
