#include "tools/mkupdate/build.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "package/package_check.h"
#include "package/package_format.h"
#include "tools/mkupdate/examine.h"
#include "tools/mkupdate/text_codec.h"

#ifndef TAVREL_DEFAULT_STUB
#define TAVREL_DEFAULT_STUB ""
#endif

namespace {

const size_t kChunkSize = 1 << 20;  // the one copy buffer: memory stays the same for any payload
const uint64_t kMaxRecordSize = 0xFFFFFFFFull;
const char kStubName[] = "Tavrel_Update.exe";

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

// A text field: converted, within 259 bytes; required ones not empty.
bool ConvertField(const std::string& field, const std::string& utf8, bool required,
                  std::string* cp932, std::vector<std::string>* problems) {
  std::string problem;
  if (required && utf8.empty()) {
    problems->push_back(field + ": must not be empty");
    return false;
  }
  if (!Utf8ToCp932(utf8, cp932, &problem)) {
    problems->push_back(field + ": " + problem);
    return false;
  }
  if (cp932->size() > kMaxTextLength) {
    problems->push_back(field + ": " + std::to_string(cp932->size()) +
                        " bytes in CP932; the limit is " + std::to_string(kMaxTextLength));
    return false;
  }
  return true;
}

// productKey and version become part of the backup folder's name.
void CheckFolderNameText(const std::string& field, const std::string& utf8,
                         std::vector<std::string>* problems) {
  for (unsigned char c : utf8) {
    if (c < 0x20 || std::strchr("\\/:*?\"<>|", c)) {
      std::string shown = c < 0x20 ? CodePointName(c) : std::string(1, (char)c);
      problems->push_back(field + ": holds " + Quote(shown) +
                          ", which a folder name cannot hold (it names the backup folder)");
      return;
    }
  }
}

// Windows drops a trailing dot or space of a name component, so the file would get another
// name than the one the package and the install log give. (CheckRecordName has the rest of
// the Windows name rules.)
const char* CheckWindowsName(const std::string& utf8Name) {
  size_t start = 0;
  while (start <= utf8Name.size()) {
    size_t end = utf8Name.find('\\', start);
    if (end == std::string::npos) end = utf8Name.size();
    if (end > start && (utf8Name[end - 1] == '.' || utf8Name[end - 1] == ' '))
      return "a name component ends with a dot or a space, which Windows drops";
    start = end + 1;
  }
  return nullptr;
}

std::string RelativeName(const fs::path& relative) {
  std::string name = relative.generic_u8string();
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

// Every regular file below root, by relative name (UTF-8, backslashes).
bool WalkFolder(const fs::path& root, const std::string& what,
                std::map<std::string, fs::path>* files, std::vector<std::string>* problems) {
  std::error_code error;
  if (!fs::is_directory(root, error)) {
    problems->push_back(what + " " + PathToUtf8(root) + ": not a folder");
    return false;
  }
  bool ok = true;
  fs::recursive_directory_iterator it(root, error), end;
  if (error) {
    problems->push_back(what + " " + PathToUtf8(root) + ": " + error.message());
    return false;
  }
  for (; it != end; it.increment(error)) {
    if (error) {
      problems->push_back(what + " " + PathToUtf8(root) + ": " + error.message());
      return false;
    }
    const fs::directory_entry& entry = *it;
    std::string name = RelativeName(entry.path().lexically_relative(root));
    if (entry.is_directory(error)) {
      if (entry.is_symlink(error)) {
        problems->push_back(what + " " + name + ": a link to a folder is not followed");
        ok = false;
        it.disable_recursion_pending();
      }
      continue;
    }
    if (!entry.is_regular_file(error)) {
      problems->push_back(what + " " + name + ": neither a file nor a folder");
      ok = false;
      continue;
    }
    (*files)[name] = entry.path();
  }
  return ok;
}

bool SameContents(const fs::path& a, const fs::path& b, uint64_t size) {
  std::unique_ptr<FILE, int (*)(FILE*)> fa(OpenFile(a, "rb"), fclose), fb(OpenFile(b, "rb"), fclose);
  if (!fa || !fb) return false;
  std::vector<char> ba(kChunkSize), bb(kChunkSize);
  for (uint64_t left = size; left > 0;) {
    size_t n = (size_t)std::min<uint64_t>(left, kChunkSize);
    if (fread(ba.data(), 1, n, fa.get()) != n || fread(bb.data(), 1, n, fb.get()) != n) return false;
    if (std::memcmp(ba.data(), bb.data(), n) != 0) return false;
    left -= n;
  }
  return true;
}

// The files of the request with their relative names, in package order.
void CollectFiles(const BuildRequest& request, std::vector<ListedFile>* files,
                  std::vector<std::string>* problems, std::vector<std::string>* notes) {
  if (request.fileSource == FileSource::kFolder) {
    std::map<std::string, fs::path> found;  // std::map: byte-wise order of the names
    WalkFolder(request.folder, "files", &found, problems);
    for (const auto& item : found) files->push_back({item.second, item.first});
  } else if (request.fileSource == FileSource::kList) {
    for (ListedFile file : request.files) {
      std::replace(file.name.begin(), file.name.end(), '/', '\\');
      files->push_back(file);
    }
  } else if (request.fileSource == FileSource::kDiff) {
    std::map<std::string, fs::path> oldFiles, newFiles;
    if (!WalkFolder(request.from, "--from", &oldFiles, problems) ||
        !WalkFolder(request.to, "--to", &newFiles, problems))
      return;
    for (const auto& item : newFiles) {
      const std::string& name = item.first;
      fs::path oldPath = request.from / item.second.lexically_relative(request.to);
      std::error_code error;
      if (fs::is_regular_file(oldPath, error)) {
        uint64_t oldSize = fs::file_size(oldPath, error);
        uint64_t newSize = fs::file_size(item.second, error);
        if (!error && oldSize == newSize && SameContents(oldPath, item.second, newSize)) continue;
      }
      // Every folder of the name must be in the old version: the update run creates none.
      fs::path relativeFolder = item.second.lexically_relative(request.to).parent_path();
      if (!relativeFolder.empty() && !fs::is_directory(request.from / relativeFolder, error)) {
        problems->push_back("file " + name + ": its folder " + RelativeName(relativeFolder) +
                            " is not in the old version " + PathToUtf8(request.from) +
                            ", and the update run creates no folders");
        continue;
      }
      files->push_back({item.second, name});
    }
    for (const auto& item : oldFiles)
      if (!newFiles.count(item.first))
        notes->push_back("note: " + item.first +
                         " is gone from the new version; an update cannot remove it");
  }
}

// The longest backup folder an install folder of maxInstall bytes can have:
// "<parent>\<productKey>_old(<version>)" or "<parent>\<productKey>_old"; the parent is shorter
// than the install folder.
uint64_t BackupFolderBudget(uint32_t maxInstall, const std::string& productKey,
                            const std::string& version) {
  uint64_t suffix = version.empty() ? 4 : 6 + version.size();  // "_old" or "_old(" ")"
  return (uint64_t)maxInstall + 1 + productKey.size() + suffix;
}

// Windows matches names without regard to case; two names that differ only in ASCII case are
// one file there.
std::string FoldCase(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return (char)std::tolower(c); });
  return name;
}

bool SamePath(const fs::path& a, const fs::path& b) {
  std::error_code e1, e2;
  if (fs::exists(a, e1) && fs::exists(b, e2)) return fs::equivalent(a, b, e1);
  return fs::weakly_canonical(a, e1) == fs::weakly_canonical(b, e2);
}

void CheckStub(const fs::path& stub, uint64_t offset, std::vector<std::string>* problems) {
  std::string where = "stub " + PathToUtf8(stub) + ": ";
  std::error_code error;
  if (!fs::is_regular_file(stub, error)) {
    problems->push_back(where + "not found (give the updater program with --stub)");
    return;
  }
  uint64_t size = fs::file_size(stub, error);
  FILE* file = OpenFile(stub, "rb");
  unsigned char mz[2] = {0, 0};
  bool readable = file && ReadAt(file, 0, mz, 2);
  if (!readable) {
    problems->push_back(where + "cannot be read");
  } else if (mz[0] != 'M' || mz[1] != 'Z') {
    problems->push_back(where + "not a Windows program (no \"MZ\" at its start)");
  } else if (size < offset) {
    problems->push_back(where + std::to_string(size) + " bytes, shorter than the package offset " +
                        std::to_string(offset));
  } else if (size > offset) {
    problems->push_back(where + std::to_string(size) + " bytes, longer than the package offset " +
                        std::to_string(offset) + ": it already carries a package (" +
                        std::to_string(size - offset) +
                        " bytes behind the image) or is not the updater; use the updater "
                        "program as it was built");
  }
  if (file) fclose(file);
}

}  // namespace

fs::path DefaultStub() {
  fs::path self = SelfExecutablePath();
  if (!self.empty()) {
    fs::path beside = self.parent_path() / kStubName;
    std::error_code error;
    if (fs::is_regular_file(beside, error)) return beside;
  }
  return PathFromUtf8(TAVREL_DEFAULT_STUB);
}

bool PlanBuild(const BuildRequest& request, BuildPlan* plan, std::vector<std::string>* problems) {
  size_t problemsBefore = problems->size();
  PackageContents& header = plan->header;

  // Texts.
  bool titleOk = ConvertField("title", request.title, true, &header.title, problems);
  bool versionOk = ConvertField("version", request.version, false, &header.version, problems);
  bool vendorOk = ConvertField("vendorKey", request.vendorKey, true, &header.vendorKey, problems);
  bool productOk =
      ConvertField("productKey", request.productKey, true, &header.productKey, problems);
  ConvertField("installedText", request.installedText, false, &header.installedText, problems);
  ConvertField("notInstalledText", request.notInstalledText, true, &header.notInstalledText,
               problems);
  header.saveWarning = request.saveWarning ? kSaveDataUnusable : kSaveDataKept;
  if (titleOk && versionOk && !header.version.empty() &&
      header.title.size() + header.version.size() > kMaxTitleAndVersion)
    problems->push_back("title + version: " +
                        std::to_string(header.title.size() + header.version.size()) +
                        " bytes in CP932; together they may have " +
                        std::to_string(kMaxTitleAndVersion) +
                        " (the window title adds \"  Ver.\")");
  if (vendorOk && productOk &&
      header.vendorKey.size() + header.productKey.size() > kMaxVendorAndProduct)
    problems->push_back("vendorKey + productKey: " +
                        std::to_string(header.vendorKey.size() + header.productKey.size()) +
                        " bytes in CP932; together they may have " +
                        std::to_string(kMaxVendorAndProduct));
  CheckFolderNameText("productKey", request.productKey, problems);
  CheckFolderNameText("version", request.version, problems);
  if (request.maxInstallPath < 3 || request.maxInstallPath > kMaxTextLength - 2)
    problems->push_back("--max-install-path: " + std::to_string(request.maxInstallPath) +
                        " is outside 3.." + std::to_string(kMaxTextLength - 2));

  // Banner.
  if (request.banner.empty()) {
    problems->push_back("banner: no picture given (a PNG or BMP file of 320 x 240)");
  } else {
    std::vector<uint8_t> bytes;
    std::string problem;
    if (!ReadWholeFile(request.banner, &bytes, &problem) ||
        !ConvertBanner(bytes, request.bannerFit, &header.banner, &problem))
      problems->push_back("banner " + PathToUtf8(request.banner) + ": " + problem);
  }

  // Stub and output.
  plan->packageOffset = request.packageOffset ? request.packageOffset : kPackageOffset;
  plan->stub = request.stub.empty() ? DefaultStub() : request.stub;
  if (plan->stub.empty())
    problems->push_back("stub: no updater program found; give it with --stub");
  else
    CheckStub(plan->stub, plan->packageOffset, problems);
  if (!request.output.empty() && !plan->stub.empty() && SamePath(request.output, plan->stub))
    problems->push_back("output " + PathToUtf8(request.output) + ": is the stub itself");

  // Files.
  std::vector<ListedFile> files;
  CollectFiles(request, &files, problems, &plan->notes);
  uint64_t nameBudget = kMaxTextLength - 1 - (uint64_t)request.maxInstallPath;
  uint64_t backupBudget = BackupFolderBudget(request.maxInstallPath, header.productKey,
                                             header.version);
  std::map<std::string, std::string> seen;  // folded name -> name
  plan->dataBytes = 0;
  for (const ListedFile& file : files) {
    std::string where = "file " + file.name + ": ";
    PlannedRecord record;
    record.source = file.source;
    record.name = file.name;
    std::string problem;
    if (!Utf8ToCp932(file.name, &record.nameCp932, &problem)) {
      problems->push_back(where + "the name " + problem);
      continue;
    }
    if (const char* fault = CheckRecordName(record.nameCp932.data(),
                                            (uint32_t)record.nameCp932.size(), nullptr)) {
      std::string reason = fault;
      if (record.nameCp932.size() > kMaxRecordName)
        reason = "the name has " + std::to_string(record.nameCp932.size()) +
                 " bytes in CP932; the limit is " + std::to_string(kMaxRecordName);
      problems->push_back(where + reason);
      continue;
    }
    if (const char* fault = CheckWindowsName(file.name)) {
      problems->push_back(where + fault);
      continue;
    }
    uint64_t length = record.nameCp932.size();
    if (length > nameBudget)
      problems->push_back(where + "an install folder of " +
                          std::to_string(request.maxInstallPath) + " bytes, a backslash and the " +
                          std::to_string(length) + "-byte name exceed " +
                          std::to_string(kMaxTextLength) + " bytes (--max-install-path)");
    else if (backupBudget + 1 + length > kMaxTextLength)
      problems->push_back(where + "the backup folder (up to " + std::to_string(backupBudget) +
                          " bytes for an install folder of " +
                          std::to_string(request.maxInstallPath) +
                          " bytes), a backslash and the " + std::to_string(length) +
                          "-byte name exceed " + std::to_string(kMaxTextLength) +
                          " bytes (--max-install-path)");
    auto inserted = seen.emplace(FoldCase(file.name), file.name);
    if (!inserted.second) {
      problems->push_back(where + "names the same file as " + inserted.first->second +
                          " (Windows ignores case)");
      continue;
    }
    std::error_code error;
    if (!fs::is_regular_file(file.source, error)) {
      problems->push_back(where + PathToUtf8(file.source) + " is not a file");
      continue;
    }
    record.size = fs::file_size(file.source, error);
    if (error) {
      problems->push_back(where + PathToUtf8(file.source) + ": " + error.message());
      continue;
    }
    if (record.size == 0) {
      problems->push_back(where + "empty; the updater cannot write a file of 0 bytes");
      continue;
    }
    if (record.size > kMaxRecordSize) {
      problems->push_back(where + std::to_string(record.size) +
                          " bytes; a file must be smaller than 4 GiB");
      continue;
    }
    if (!request.output.empty() && SamePath(request.output, file.source)) {
      problems->push_back(where + "is the output file itself");
      continue;
    }
    plan->dataBytes += record.size;
    plan->records.push_back(record);
  }
  return problems->size() == problemsBefore;
}

void Progress::Begin(uint64_t totalBytes, size_t recordCount) {
  total_ = totalBytes;
  count_ = recordCount;
  done_ = 0;
}

void Progress::StartRecord(size_t index, const PlannedRecord& record) {
  index_ = index;
  name_ = record.name;
  if (quiet_) return;
  if (terminal_) {
    drawnPermille_ = -1;
    Draw();
  } else {
    stream_ << "record " << (index + 1) << "/" << count_ << ": " << record.name << " ("
            << record.size << " bytes)\n";
  }
}

void Progress::Advance(uint64_t bytes) {
  done_ += bytes;
  if (terminal_ && !quiet_) Draw();
}

void Progress::Draw() {
  int permille = total_ ? (int)(done_ * 1000 / total_) : 1000;
  if (permille == drawnPermille_) return;
  drawnPermille_ = permille;
  const int width = 30;
  int filled = permille * width / 1000;
  char line[80];
  std::snprintf(line, sizeof line, "\r[%-*s] %3d.%d%% %zu/%zu ", width,
                std::string((size_t)filled, '#').c_str(), permille / 10, permille % 10,
                index_ + 1, count_);
  std::string shown = name_.size() > 30 ? "..." + name_.substr(name_.size() - 27) : name_;
  stream_ << line << shown << "\x1b[K" << std::flush;
}

void Progress::End() {
  if (quiet_) return;
  if (terminal_ && count_) stream_ << "\n";
}

bool WriteUpdate(const BuildPlan& plan, const fs::path& output, Progress* progress,
                 std::string* problem) {
  OutputFile out;
  if (!out.Open(output, problem)) return false;
  std::vector<uint8_t> buffer(kChunkSize);

  // The stub, checked again: it must still be exactly the image.
  std::unique_ptr<FILE, int (*)(FILE*)> stub(OpenFile(plan.stub, "rb"), fclose);
  if (!stub) {
    *problem = "stub " + PathToUtf8(plan.stub) + ": cannot be opened";
    return false;
  }
  uint64_t copied = 0;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), stub.get())) > 0) {
    copied += n;
    if (copied > plan.packageOffset || !out.Write(buffer.data(), n)) break;
  }
  if (copied != plan.packageOffset) {
    *problem = "stub " + PathToUtf8(plan.stub) + ": changed while the update was written";
    return false;
  }

  std::vector<uint8_t> header = SerializeHeader(plan.header);
  if (!out.Write(header.data(), header.size())) {
    *problem = "cannot write " + PathToUtf8(out.temporaryPath()) + ": " + ErrnoText();
    return false;
  }
  progress->Begin(plan.dataBytes, plan.records.size());
  for (size_t i = 0; i < plan.records.size(); ++i) {
    const PlannedRecord& record = plan.records[i];
    progress->StartRecord(i, record);
    std::vector<uint8_t> recordHeader =
        SerializeRecordHeader(record.nameCp932, (uint32_t)record.size);
    std::unique_ptr<FILE, int (*)(FILE*)> in(OpenFile(record.source, "rb"), fclose);
    if (!in) {
      *problem = "file " + record.name + ": " + PathToUtf8(record.source) +
                 " cannot be opened: " + ErrnoText();
      return false;
    }
    if (!out.Write(recordHeader.data(), recordHeader.size())) {
      *problem = "cannot write " + PathToUtf8(out.temporaryPath()) + ": " + ErrnoText();
      return false;
    }
    uint64_t left = record.size;
    while (left > 0) {
      size_t want = (size_t)std::min<uint64_t>(left, buffer.size());
      size_t got = fread(buffer.data(), 1, want, in.get());
      if (got != want) break;
      if (!out.Write(buffer.data(), got)) {
        *problem = "cannot write " + PathToUtf8(out.temporaryPath()) + ": " + ErrnoText();
        return false;
      }
      left -= got;
      progress->Advance(got);
    }
    if (left != 0 || fgetc(in.get()) != EOF) {
      *problem = "file " + record.name + ": " + PathToUtf8(record.source) +
                 " changed size while the update was written";
      return false;
    }
  }
  progress->End();

  // The updater's own check on what was written, before it gets its final name.
  if (fflush(out.stream()) != 0) {
    *problem = "cannot write " + PathToUtf8(out.temporaryPath()) + ": " + ErrnoText();
    return false;
  }
  std::string fault;
  uint32_t records = 0;
  if (!CheckUpdateFile(out.temporaryPath(), plan.packageOffset, &fault, &records) ||
      records != plan.records.size()) {
    *problem = "the written update fails its check: " + fault;
    return false;
  }
  return out.Commit(problem);
}
