// `mkupdate list`, `verify` and `extract`: reading a built update. Each of them first runs the
// updater's own check (CheckPackage) over the file.
#ifndef TAVREL_MKUPDATE_EXAMINE_H
#define TAVREL_MKUPDATE_EXAMINE_H

#include <stdint.h>

#include <ostream>
#include <string>

#include "package/package_check.h"
#include "tools/mkupdate/file_io.h"

// CheckPackage over the file at path. False with fault set to "offset N (0xN): field: reason"
// or to why the file cannot be read.
bool CheckUpdateFile(const fs::path& path, uint64_t packageOffset, std::string* fault,
                     uint32_t* recordCount, PackageLayout* layout = nullptr);

// Each returns the exit code: 0 done, 2 the update is invalid or cannot be read or written.
int VerifyUpdate(const fs::path& path, uint64_t packageOffset, std::ostream& out,
                 std::ostream& err);
int ListUpdate(const fs::path& path, uint64_t packageOffset, std::ostream& out, std::ostream& err);
// Writes DIR/banner.bmp, every record's file under DIR/files/ and DIR/manifest.json, from which
// `mkupdate build` makes the same package again. DIR must be empty or absent.
int ExtractUpdate(const fs::path& path, uint64_t packageOffset, const fs::path& dir,
                  std::ostream& out, std::ostream& err);

#endif
