// `mkupdate build`: everything an update needs is gathered and checked first (texts, banner,
// stub, every file), and only then is the update written, streaming each file through a fixed
// buffer into a temporary file that is renamed into place when it is complete.
#ifndef TAVREL_MKUPDATE_BUILD_H
#define TAVREL_MKUPDATE_BUILD_H

#include <stdint.h>

#include <ostream>
#include <string>
#include <vector>

#include "package/package_writer.h"
#include "tools/mkupdate/banner_convert.h"
#include "tools/mkupdate/file_io.h"

// One file of an explicit list: where to read it and its name in the install folder (UTF-8,
// folders separated by backslashes or slashes).
struct ListedFile {
  fs::path source;
  std::string name;
};

enum class FileSource { kNone, kFolder, kList, kDiff };

// What the publisher asked for; texts in UTF-8.
struct BuildRequest {
  std::string title, version, vendorKey, productKey, installedText, notInstalledText;
  bool saveWarning = false;
  fs::path banner;
  BannerFit bannerFit = BannerFit::kExact;
  fs::path stub;  // empty: the default stub
  uint64_t packageOffset = 0;
  uint32_t maxInstallPath = 60;
  FileSource fileSource = FileSource::kNone;
  fs::path folder;                // kFolder
  std::vector<ListedFile> files;  // kList
  fs::path from, to;              // kDiff
  fs::path output;
};

struct PlannedRecord {
  fs::path source;
  std::string name;       // UTF-8, backslashes
  std::string nameCp932;  // as written into the package
  uint64_t size = 0;
};

// A request that passed every check: texts converted, banner converted, sizes known.
struct BuildPlan {
  PackageContents header;  // texts in CP932 and the banner; records empty
  std::vector<PlannedRecord> records;
  fs::path stub;
  uint64_t packageOffset = 0;
  uint64_t dataBytes = 0;
  std::vector<std::string> notes;  // worth telling, not errors (files that NEW dropped)
};

// Install folders of at most this many bytes are what the record names are checked against.
const uint32_t kDefaultMaxInstallPath = 60;

// The stub that `build` uses without --stub: Tavrel_Update.exe beside mkupdate, else the
// source tree's win32 build.
fs::path DefaultStub();

// Checks everything; false with every problem found, each naming its field or file and the
// rule it breaks.
bool PlanBuild(const BuildRequest& request, BuildPlan* plan, std::vector<std::string>* problems);

// Reports progress of the write on a stream: a redrawn bar for a terminal, one plain line a
// record otherwise, nothing when quiet.
class Progress {
 public:
  Progress(std::ostream& stream, bool terminal, bool quiet)
      : stream_(stream), terminal_(terminal), quiet_(quiet) {}
  void Begin(uint64_t totalBytes, size_t recordCount);
  void StartRecord(size_t index, const PlannedRecord& record);
  void Advance(uint64_t bytes);
  void End();

 private:
  void Draw();
  std::ostream& stream_;
  bool terminal_, quiet_;
  uint64_t total_ = 0, done_ = 0;
  size_t count_ = 0, index_ = 0;
  int drawnPermille_ = -1;
  std::string name_;
};

// Writes the planned update to output. False with problem set; nothing is left at output then
// (an older file there stays as it was).
bool WriteUpdate(const BuildPlan& plan, const fs::path& output, Progress* progress,
                 std::string* problem);

#endif
