#include "tools/mkupdate/examine.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "package/package_format.h"
#include "tools/mkupdate/banner_convert.h"
#include "tools/mkupdate/text_codec.h"

namespace {

using FilePtr = std::unique_ptr<FILE, int (*)(FILE*)>;

bool ReadFromFile(void* context, uint64_t offset, void* dest, uint32_t length) {
  return ReadAt((FILE*)context, offset, dest, length);
}

std::string Hex(uint64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%llX", (unsigned long long)value);
  return buffer;
}

uint32_t LoadU32(const unsigned char* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// An opened update that passed the check.
struct OpenedUpdate {
  FilePtr file{nullptr, fclose};
  PackageLayout layout{};
};

bool OpenChecked(const fs::path& path, uint64_t packageOffset, OpenedUpdate* update,
                 std::ostream& err) {
  std::string fault;
  uint32_t records = 0;
  if (!CheckUpdateFile(path, packageOffset, &fault, &records, &update->layout)) {
    err << "mkupdate: " << PathToUtf8(path) << ": " << fault << "\n";
    return false;
  }
  update->file.reset(OpenFile(path, "rb"));
  if (!update->file) {
    err << "mkupdate: " << PathToUtf8(path) << ": cannot be opened: " << ErrnoText() << "\n";
    return false;
  }
  return true;
}

// A text field's text (the bytes up to its NUL).
std::string ReadText(FILE* file, uint64_t offset) {
  char field[kTextFieldSize];
  if (!ReadAt(file, offset, field, kTextFieldSize)) return std::string();
  return std::string(field);  // CheckPackage made sure that the NUL is there
}

// CP932 shown as UTF-8; bytes that are not CP932 are shown as \xNN.
std::string Shown(const std::string& cp932) {
  std::string utf8, problem;
  if (Cp932ToUtf8(cp932, &utf8, &problem)) return utf8;
  std::string out;
  for (unsigned char c : cp932) {
    if (c >= 0x20 && c < 0x7F) {
      out += (char)c;
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
      out += buffer;
    }
  }
  return out;
}

struct Header {
  std::string title, version, vendorKey, productKey, installedText, notInstalledText;
  unsigned char saveWarning = 0;
};

Header ReadHeader(FILE* file, const PackageLayout& layout, uint64_t packageOffset) {
  Header h;
  h.title = ReadText(file, packageOffset + kTitleOffset);
  h.version = ReadText(file, packageOffset + kVersionOffset);
  uint64_t tail = layout.bannerOffset + layout.bannerSize;
  h.vendorKey = ReadText(file, tail + kVendorKeyAfterBanner);
  h.productKey = ReadText(file, tail + kProductKeyAfterBanner);
  h.installedText = ReadText(file, tail + kInstalledTextAfterBanner);
  h.notInstalledText = ReadText(file, tail + kNotInstalledTextAfterBanner);
  ReadAt(file, tail + kSaveWarningAfterBanner, &h.saveWarning, 1);
  return h;
}

struct RecordInfo {
  std::string name;  // CP932
  uint32_t size;
  uint64_t dataOffset;
};

// Walks the records that CheckPackage has already measured.
template <typename Visit>
bool ForEachRecord(FILE* file, const PackageLayout& layout, Visit visit) {
  uint64_t offset = layout.firstRecordOffset;
  for (uint32_t i = 0; i < layout.recordCount; ++i) {
    unsigned char sizeBytes[4];
    RecordInfo record;
    record.name = ReadText(file, offset);
    if (!ReadAt(file, offset + kRecordNameSize, sizeBytes, 4)) return false;
    record.size = LoadU32(sizeBytes);
    record.dataOffset = offset + kRecordHeaderSize;
    if (!visit(i, record)) return false;
    offset = record.dataOffset + record.size;
  }
  return true;
}

}  // namespace

bool CheckUpdateFile(const fs::path& path, uint64_t packageOffset, std::string* fault,
                     uint32_t* recordCount, PackageLayout* layoutOut) {
  FilePtr file(OpenFile(path, "rb"), fclose);
  std::error_code error;
  uint64_t size = fs::file_size(path, error);
  if (!file || error) {
    *fault = "cannot be opened: " + (error ? error.message() : ErrnoText());
    return false;
  }
  PackageSource source = {file.get(), size, ReadFromFile, nullptr};
  PackageFault packageFault = {};
  PackageLayout layout = {};
  if (!CheckPackage(source, packageOffset, &packageFault, &layout)) {
    *fault = "offset " + std::to_string(packageFault.offset) + " (" + Hex(packageFault.offset) +
             "): " + packageFault.field + ": " + packageFault.reason;
    return false;
  }
  *recordCount = layout.recordCount;
  if (layoutOut) *layoutOut = layout;
  return true;
}

int VerifyUpdate(const fs::path& path, uint64_t packageOffset, std::ostream& out,
                 std::ostream& err) {
  std::string fault;
  uint32_t records = 0;
  PackageLayout layout = {};
  if (!CheckUpdateFile(path, packageOffset, &fault, &records, &layout)) {
    err << "mkupdate: " << PathToUtf8(path) << ": invalid: " << fault << "\n";
    return 2;
  }
  out << PathToUtf8(path) << ": valid: package at offset " << packageOffset << ", banner "
      << layout.bannerSize << " bytes, " << records << (records == 1 ? " record" : " records")
      << "\n";
  return 0;
}

int ListUpdate(const fs::path& path, uint64_t packageOffset, std::ostream& out,
               std::ostream& err) {
  OpenedUpdate update;
  if (!OpenChecked(path, packageOffset, &update, err)) return 2;
  FILE* file = update.file.get();
  const PackageLayout& layout = update.layout;
  Header h = ReadHeader(file, layout, packageOffset);
  unsigned char info[kBitmapInfoHeaderSize];
  ReadAt(file, layout.bannerOffset, info, sizeof info);
  out << "title:            " << Shown(h.title) << "\n"
      << "version:          " << Shown(h.version) << "\n"
      << "banner:           " << layout.bannerSize << " bytes, " << (int32_t)LoadU32(info + 4)
      << " x " << (int32_t)LoadU32(info + 8) << ", " << (info[14] | (info[15] << 8))
      << " bits per pixel\n"
      << "vendorKey:        " << Shown(h.vendorKey) << "\n"
      << "productKey:       " << Shown(h.productKey) << "\n"
      << "installedText:    " << Shown(h.installedText) << "\n"
      << "notInstalledText: " << Shown(h.notInstalledText) << "\n"
      << "saveWarning:      " << (int)h.saveWarning
      << (h.saveWarning ? " (the update makes save data unusable)" : " (save data stay usable)")
      << "\n"
      << "records:          " << layout.recordCount << "\n";
  uint64_t total = 0;
  ForEachRecord(file, layout, [&](uint32_t, const RecordInfo& record) {
    char size[24];
    std::snprintf(size, sizeof size, "%12u", (unsigned)record.size);
    out << size << "  " << Shown(record.name) << "\n";
    total += record.size;
    return true;
  });
  out << "data:             " << total << " bytes\n";
  return 0;
}

int ExtractUpdate(const fs::path& path, uint64_t packageOffset, const fs::path& dir,
                  std::ostream& out, std::ostream& err) {
  OpenedUpdate update;
  if (!OpenChecked(path, packageOffset, &update, err)) return 2;
  FILE* file = update.file.get();
  const PackageLayout& layout = update.layout;
  std::error_code error;
  if (fs::exists(dir, error) && !fs::is_empty(dir, error)) {
    err << "mkupdate: " << PathToUtf8(dir) << ": not empty; extract into a new folder\n";
    return 2;
  }
  fs::path filesDir = dir / "files";
  fs::create_directories(filesDir, error);
  if (error) {
    err << "mkupdate: " << PathToUtf8(filesDir) << ": " << error.message() << "\n";
    return 2;
  }
  std::string problem;

  std::vector<uint8_t> dib(layout.bannerSize);
  if (!ReadAt(file, layout.bannerOffset, dib.data(), layout.bannerSize) ||
      !WriteWholeFile(dir / "banner.bmp", BmpFileFromDib(dib), &problem)) {
    err << "mkupdate: banner.bmp: " << (problem.empty() ? "cannot be read" : problem) << "\n";
    return 2;
  }

  Header h = ReadHeader(file, layout, packageOffset);
  nlohmann::ordered_json manifest;
  struct {
    const char* key;
    const std::string* text;
  } texts[] = {{"title", &h.title},
               {"version", &h.version},
               {"vendorKey", &h.vendorKey},
               {"productKey", &h.productKey},
               {"installedText", &h.installedText},
               {"notInstalledText", &h.notInstalledText}};
  for (const auto& text : texts) {
    std::string utf8;
    if (!Cp932ToUtf8(*text.text, &utf8, &problem)) {
      err << "mkupdate: " << text.key << ": " << problem << "\n";
      return 2;
    }
    manifest[text.key] = utf8;
  }
  manifest["saveWarning"] = h.saveWarning != 0;
  manifest["banner"] = "banner.bmp";
  manifest["packageOffset"] = packageOffset;
  nlohmann::ordered_json files = nlohmann::ordered_json::array();

  std::vector<uint8_t> buffer(1 << 20);
  bool ok = ForEachRecord(file, layout, [&](uint32_t index, const RecordInfo& record) {
    std::string where = "record " + std::to_string(index + 1);
    std::string name;
    if (!Cp932ToUtf8(record.name, &name, &problem)) {
      err << "mkupdate: " << where << " name: " << problem << "\n";
      return false;
    }
    // Split the decoded name, not the bytes: a CP932 trail byte may be 0x5C.
    fs::path relative;
    size_t start = 0;
    while (start <= name.size()) {
      size_t end = name.find('\\', start);
      if (end == std::string::npos) end = name.size();
      std::string component = name.substr(start, end - start);
      if (component.empty() || component == "." || component == ".." ||
          component.find('/') != std::string::npos) {
        err << "mkupdate: " << where << " " << name << ": leads out of " << PathToUtf8(dir)
            << "\n";
        return false;
      }
      relative /= PathFromUtf8(component);
      start = end + 1;
    }
    if (relative.is_absolute() || relative.has_root_name()) {
      err << "mkupdate: " << where << " " << name << ": leads out of " << PathToUtf8(dir) << "\n";
      return false;
    }
    fs::path target = filesDir / relative;
    fs::create_directories(target.parent_path(), error);
    FilePtr outFile(OpenFile(target, "wb"), fclose);
    if (!outFile) {
      err << "mkupdate: " << PathToUtf8(target) << ": cannot be created: " << ErrnoText() << "\n";
      return false;
    }
    uint64_t left = record.size, offset = record.dataOffset;
    while (left > 0) {
      uint32_t n = (uint32_t)std::min<uint64_t>(left, buffer.size());
      if (!ReadAt(file, offset, buffer.data(), n) ||
          fwrite(buffer.data(), 1, n, outFile.get()) != n) {
        err << "mkupdate: " << PathToUtf8(target) << ": cannot be written\n";
        return false;
      }
      left -= n;
      offset += n;
    }
    if (fclose(outFile.release()) != 0) {
      err << "mkupdate: " << PathToUtf8(target) << ": cannot be written\n";
      return false;
    }
    files.push_back({{"source", "files/" + relative.generic_u8string()}, {"name", name}});
    return true;
  });
  if (!ok) return 2;
  manifest["files"] = files;
  std::string text = manifest.dump(2) + "\n";
  if (!WriteWholeFile(dir / "manifest.json", std::vector<uint8_t>(text.begin(), text.end()),
                      &problem)) {
    err << "mkupdate: manifest.json: " << problem << "\n";
    return 2;
  }
  out << "extracted " << layout.recordCount << (layout.recordCount == 1 ? " file" : " files")
      << ", banner.bmp and manifest.json into " << PathToUtf8(dir) << "\n";
  return 0;
}
