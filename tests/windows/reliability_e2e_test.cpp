// Reliability of the start-up check, through the real program: a sample update with a banner,
// several records and save data present is damaged in every way a download or a disk can damage
// it (cut at and around every field boundary, cut at random offsets, sizes with flipped bytes,
// stray bytes behind the last record), and records with hostile names are built byte by byte.
// Every damaged copy must be refused at start-up with the read-failure message and exit 0, and
// nothing may change: not the install folder, not its SAV folder, not install.log, not the
// registry, and for hostile names not a single file anywhere on the prefix's C: drive.
//
// The sample is made with the package writer (package/package_writer.h). Copies that cut the
// package exactly behind saveWarning or behind a record are still whole packages (with fewer
// records): they are classified as valid, and for them the program must start normally.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "package/package_check.h"
#include "package/package_format.h"
#include "tests/windows/support/test_files.h"
#include "tests/windows/support/test_registry.h"
#include "tests/windows/support/test_update.h"
#include "tests/windows/support/updater_driver.h"

namespace {

typedef std::vector<uint8_t> Bytes;

const char kVendor[] = "TavrelTest";
const char kProduct[] = "Game";
const char kReadFailure[] = "アップデートデータの読み出しに失敗しました";
const char kInstalledText[] = "アップデートの準備ができました";

// ---------------------------------------------------------------------------------------------
// What must stay unchanged.

// Every key and value below HKEY_CURRENT_USER\<path>: "key\" -> "" and "key\:value" -> type
// and data.
void DumpRegistry(HKEY parent, const std::string& path, std::map<std::string, std::string>& out) {
  HKEY key;
  if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  out[path + "\\"] = "";
  for (DWORD i = 0;; ++i) {
    char name[512];
    DWORD nameLength = sizeof name;
    BYTE data[4096];
    DWORD dataLength = sizeof data, type = 0;
    if (RegEnumValueA(key, i, name, &nameLength, NULL, &type, data, &dataLength) != ERROR_SUCCESS)
      break;
    out[path + "\\:" + std::string(name, nameLength)] =
        std::to_string(type) + ":" + std::string((const char*)data, dataLength);
  }
  std::vector<std::string> children;
  for (DWORD i = 0;; ++i) {
    char name[512];
    DWORD nameLength = sizeof name;
    if (RegEnumKeyExA(key, i, name, &nameLength, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
    children.push_back(std::string(name, nameLength));
  }
  RegCloseKey(key);
  for (const std::string& child : children) DumpRegistry(parent, path + "\\" + child, out);
}

// The names of HKCU\Software's subkeys, and the product's whole registration.
std::map<std::string, std::string> RegistryState() {
  std::map<std::string, std::string> state;
  HKEY software;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &software) == ERROR_SUCCESS) {
    for (DWORD i = 0;; ++i) {
      char name[512];
      DWORD nameLength = sizeof name;
      if (RegEnumKeyExA(software, i, name, &nameLength, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
        break;
      state["Software subkey " + std::string(name, nameLength)] = "";
    }
    RegCloseKey(software);
  }
  DumpRegistry(HKEY_CURRENT_USER, std::string("Software\\") + kVendor, state);
  return state;
}

// The first difference between two snapshots, or "" when they are equal.
template <typename Map>
std::string FirstDifference(const Map& before, const Map& after) {
  for (const auto& entry : before) {
    auto found = after.find(entry.first);
    if (found == after.end()) return "gone: " + entry.first;
    if (found->second != entry.second) return "changed: " + entry.first;
  }
  for (const auto& entry : after)
    if (!before.count(entry.first)) return "new: " + entry.first;
  return "";
}

// The whole C: drive of the prefix except C:\windows, which Wine itself maintains, and the
// profile folders (Desktop, Documents, ...) that Wine links to the Unix home folder outside the
// prefix. *skipped receives what was left out.
void WalkDrive(const std::string& relative, TreeSnapshot& out, std::vector<std::string>* skipped) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA(("C:\\" + relative + "*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    std::string rel = relative + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      bool profileLink = false;
      static const char* const kLinked[] = {"Desktop", "Documents", "Downloads", "Music",
                                            "Pictures", "Videos", "Templates"};
      if (relative.size() > 6 && lstrcmpiA(relative.substr(0, 6).c_str(), "users\\") == 0 &&
          std::count(relative.begin(), relative.end(), '\\') == 2)
        for (const char* linked : kLinked) profileLink |= lstrcmpiA(name.c_str(), linked) == 0;
      if ((relative.empty() && lstrcmpiA(name.c_str(), "windows") == 0) || profileLink ||
          (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (skipped) skipped->push_back(rel);
        continue;
      }
      out[rel + "\\"] = "<dir>";
      WalkDrive(rel + "\\", out, skipped);
    } else {
      out[rel] = ReadFileText("C:\\" + rel);
    }
  } while (FindNextFileA(find, &entry));
  FindClose(find);
}

TreeSnapshot DriveSnapshot(std::vector<std::string>* skipped = nullptr) {
  TreeSnapshot drive;
  WalkDrive("", drive, skipped);
  return drive;
}

// ---------------------------------------------------------------------------------------------
// The installed product the damaged updates meet: an install folder with files, save data and
// install.log, registered under TavrelTest\Game. The root holds the install folder and is where
// a backup folder would appear beside it.

struct Installation {
  std::string root;        // C:\tavrel_tests\<name>
  std::string installDir;  // root\Game
  std::string exeDir;      // where the update programs are written, outside root
};

Installation MakeInstallation(const std::string& name) {
  Installation at;
  at.root = FreshTestDir(name);
  at.installDir = at.root + "\\Game";
  at.exeDir = FreshTestDir(name + "_exe");
  std::string log("\x02\x00\x00\x00game.exe\0readme.txt\0", 24);
  MakeTree(at.installDir, {{"game.exe", "MZ game"},
                           {"readme.txt", "old readme"},
                           {"data\\stage1.dat", "old stage 1"},
                           {"bgm\\", ""},
                           {"SAV\\save1.sav", "slot one"},
                           {"SAV\\save2.SAV", "slot two"},
                           {"install.log", log}});
  UnregisterVendor(kVendor);
  EXPECT_TRUE(RegisterProduct(kVendor, kProduct, at.installDir));
  return at;
}

// Printable data without any NUL, so that a record boundary that moves lands on bytes that can
// never pass for a name field or a small size.
std::string Printable(size_t length, char seed) {
  std::string data;
  for (size_t i = 0; i < length; ++i) data += (char)('A' + (seed + i * 7) % 26);
  return data;
}

// The sample: saveWarning set (the run would clear the save data), the quadrant banner, and
// records that replace a file, create files in existing folders and write a longer file.
PackageContents ReliabilitySample() {
  PackageContents contents = SamplePackage();
  contents.saveWarning = kSaveDataUnusable;
  contents.records = {Record("readme.txt", Printable(300, 1)),
                      Record("data\\stage1.dat", Printable(17, 2)),
                      Record("data\\stage2.dat", Printable(1500, 3)),
                      Record("bgm\\title.ogg", Printable(5, 4)),
                      Record("patch.txt", Printable(70, 5))};
  return contents;
}

// ---------------------------------------------------------------------------------------------
// The checker, in process, over the same bytes the program would see behind its image.

struct FileInMemory {
  const Bytes* package;
};

bool ReadBehindImage(void* context, uint64_t offset, void* dest, uint32_t length) {
  const Bytes& package = *((FileInMemory*)context)->package;
  if (offset < kPackageOffset) return false;  // the check never needs the image itself
  offset -= kPackageOffset;
  if (offset > package.size() || package.size() - offset < length) return false;
  if (length) std::memcpy(dest, package.data() + offset, length);
  return true;
}

bool CheckerAccepts(const Bytes& package) {
  FileInMemory file = {&package};
  PackageSource source = {&file, kPackageOffset + (uint64_t)package.size(), ReadBehindImage,
                          nullptr};
  PackageFault fault;
  return CheckPackage(source, kPackageOffset, &fault, nullptr);
}

// ---------------------------------------------------------------------------------------------
// The derived copies.

// A run of the program costs about 0.17 s here; all 200 random cuts fit the time budget.
const int kPixelCutsThroughTheProgram = 200;

enum Kind { kBoundaryCut, kRandomCut, kSizeFlip, kStrayBytes };
const char* const kKindNames[] = {"cut at or beside a field boundary", "cut at a random offset",
                                  "byte flipped in bannerSize or a record size",
                                  "stray bytes after the last record"};

struct Copy {
  Kind kind;
  std::string label;
  Bytes bytes;
  bool valid;      // predicted: a whole package (cut exactly behind saveWarning or a record)
  bool endToEnd;   // run through the real program (otherwise checked in process only)
};

// Field boundaries of the sample, as package offsets: the header's fields, then each record's
// name, size and data, ending with the package's end. wholeEnds lists the offsets behind which
// the package is still whole.
void Boundaries(const PackageContents& contents, std::vector<uint64_t>* boundaries,
                std::set<uint64_t>* wholeEnds, std::vector<uint64_t>* sizeFields) {
  uint64_t b = contents.banner.size();
  for (uint64_t offset : {(uint64_t)kTitleOffset, (uint64_t)kVersionOffset,
                          (uint64_t)kBannerSizeOffset, (uint64_t)kBannerOffset})
    boundaries->push_back(offset);
  uint64_t tail = kBannerOffset + b;
  for (uint64_t after : {kVendorKeyAfterBanner, kProductKeyAfterBanner, kInstalledTextAfterBanner,
                         kNotInstalledTextAfterBanner, kSaveWarningAfterBanner, kHeaderTailSize})
    boundaries->push_back(tail + after);
  uint64_t record = tail + kHeaderTailSize;
  wholeEnds->insert(record);
  for (const PackageRecord& r : contents.records) {
    boundaries->push_back(record + kRecordNameSize);
    sizeFields->push_back(record + kRecordNameSize);
    boundaries->push_back(record + kRecordHeaderSize);
    record += kRecordHeaderSize + r.data.size();
    boundaries->push_back(record);
    wholeEnds->insert(record);
  }
}

std::vector<Copy> DerivedCopies(const Bytes& sample, const PackageContents& contents) {
  std::vector<uint64_t> boundaries, sizeFields;
  std::set<uint64_t> wholeEnds;
  Boundaries(contents, &boundaries, &wholeEnds, &sizeFields);
  const uint64_t full = sample.size();
  const uint64_t pixelsBegin = kBannerOffset + kBitmapInfoHeaderSize;
  const uint64_t pixelsEnd = kBannerOffset + contents.banner.size();

  std::vector<Copy> copies;
  std::set<uint64_t> cutLengths;  // a cut is defined by its length alone: dedupe
  auto addCut = [&](Kind kind, uint64_t length, const std::string& why, bool endToEnd) {
    if (length >= full || !cutLengths.insert(length).second) return;
    Copy copy = {kind, why + ": " + std::to_string(length) + " of " + std::to_string(full) +
                           " bytes",
                 Bytes(sample.begin(), sample.begin() + length), wholeEnds.count(length) > 0,
                 endToEnd};
    copies.push_back(copy);
  };
  for (uint64_t boundary : boundaries)
    for (int delta : {0, -1, 1})
      if ((int64_t)boundary + delta >= 0)
        addCut(kBoundaryCut, boundary + delta, "cut at boundary " + std::to_string(boundary) +
                                                   (delta ? (delta < 0 ? " - 1" : " + 1") : ""),
               true);

  // 200 offsets from a fixed seed. Most of them fall inside the banner's pixel rows, where they
  // all meet the same rule (bannerSize reaches past the end); every cut runs through the program
  // as long as kPixelCutsThroughTheProgram allows, the rest would be judged in process only.
  std::mt19937 random(20240606u);
  std::uniform_int_distribution<uint64_t> anywhere(1, full - 1);
  int insidePixels = 0;
  for (int i = 0; i < 200; ++i) {
    uint64_t length = anywhere(random);
    bool inPixels = length > pixelsBegin && length < pixelsEnd;
    bool endToEnd = !inPixels || insidePixels < kPixelCutsThroughTheProgram;
    size_t before = copies.size();
    addCut(kRandomCut, length, "random cut " + std::to_string(i), endToEnd);
    if (copies.size() > before && inPixels) ++insidePixels;
  }

  // Flipped bytes: every byte of bannerSize and of every record size, with three masks.
  std::vector<uint64_t> sizes = sizeFields;
  sizes.insert(sizes.begin(), (uint64_t)kBannerSizeOffset);
  for (uint64_t field : sizes)
    for (int byte = 0; byte < 4; ++byte)
      for (uint8_t mask : {(uint8_t)0x01, (uint8_t)0x80, (uint8_t)0xFF}) {
        Copy copy = {kSizeFlip, "size field at " + std::to_string(field) + ", byte " +
                                    std::to_string(byte) + " xor " + std::to_string(mask),
                     sample, false, true};
        copy.bytes[field + byte] ^= mask;
        copies.push_back(copy);
      }

  // Stray bytes: short of a record header, exactly a header's worth of zeros (an empty name),
  // and a long run of text (a name without NUL).
  struct Stray { const char* what; Bytes bytes; };
  const Stray strays[] = {{"1 zero byte", Bytes(1, 0)},
                          {"1 byte 'x'", Bytes(1, 'x')},
                          {"263 zero bytes", Bytes(263, 0)},
                          {"264 zero bytes", Bytes(264, 0)},
                          {"600 bytes of text", Bytes(600, 'x')},
                          {"a name 'extra.txt' and no size", [] {
                             Bytes b(kRecordNameSize, 0);
                             std::memcpy(b.data(), "extra.txt", 9);
                             return b; }()}};
  for (const Stray& stray : strays) {
    Copy copy = {kStrayBytes, std::string("appended ") + stray.what, sample, false, true};
    copy.bytes.insert(copy.bytes.end(), stray.bytes.begin(), stray.bytes.end());
    copies.push_back(copy);
  }
  return copies;
}

// Runs one update program to its end. A damaged one must show the read-failure message alone
// (OK, nothing else) and exit 0 after OK; a valid one must come up installed with 実行 enabled
// and exit 0 through キャンセル. False with *what set when it does not.
bool RunToTheEnd(const std::string& exe, bool valid, std::string* what) {
  UpdaterSession updater(exe);
  if (!updater.started())
    return *what = "did not start, error " + std::to_string(GetLastError()), false;
  if (valid) {
    if (!updater.WaitForFrame()) return *what = "no frame window", false;
    if (updater.StatusText() != kInstalledText) return *what = "status " + updater.StatusText(), false;
    if (!updater.IsButtonEnabled(IDOK)) return *what = "実行 disabled", false;
    if (!updater.Press(IDCANCEL)) return *what = "キャンセル not pressed", false;
  } else {
    MessageBoxSeen box = updater.WaitForMessageBox();
    if (!box.found()) {
      *what = updater.running() ? "no message box within 10 s, still running"
                                : "no message box, exited with " +
                                      std::to_string(updater.WaitForExit(0));
      return false;
    }
    if (box.text != kReadFailure || box.caption != "Tavrel_Update")
      return *what = "message box said " + box.text, false;
    if (!box.ok || box.yes || box.no || box.cancel) return *what = "not an OK box", false;
    HWND frame = updater.WaitForAnyFrame(2000);  // exists, hidden, behind the warning
    if (frame && IsWindowVisible(frame)) return *what = "frame shown", false;
    if (!updater.Answer(box, IDOK)) return *what = "OK not pressed", false;
  }
  DWORD code = updater.WaitForExit();
  if (code != 0) return *what = "exit code " + std::to_string(code), false;
  return true;
}

TEST(Reliability, EveryDamagedCopyOfAnUpdateIsRefusedAndChangesNothing) {
  Installation at = MakeInstallation("reliability");
  const PackageContents contents = ReliabilitySample();
  const Bytes sample = SerializePackage(contents);
  ASSERT_TRUE(CheckerAccepts(sample)) << "the undamaged sample must be valid";
  const std::vector<Copy> copies = DerivedCopies(sample, contents);

  const TreeSnapshot treeBefore = SnapshotTree(at.root);
  const auto registryBefore = RegistryState();
  ASSERT_TRUE(treeBefore.count("Game\\SAV\\save1.sav") && treeBefore.count("Game\\install.log"));
  ASSERT_TRUE(registryBefore.count("Software\\TavrelTest\\Game\\:Path"));

  struct Count { int tried = 0, refused = 0, valid = 0, started = 0, endToEnd = 0, changed = 0; };
  std::map<Kind, Count> counts;
  int damaged = 0, refused = 0, changed = 0, validCopies = 0, startedNormally = 0;
  int endToEndRuns = 0, inProcessOnly = 0;
  DWORD start = GetTickCount();
  for (const Copy& copy : copies) {
    SCOPED_TRACE(copy.label);
    Count& count = counts[copy.kind];
    // The checker's verdict must be the predicted one: only whole packages pass.
    bool accepted = CheckerAccepts(copy.bytes);
    EXPECT_EQ(accepted, copy.valid) << copy.label;
    if (copy.valid) {
      ++validCopies;
      ++count.valid;
    } else {
      ++damaged;
      ++count.tried;
    }
    if (!copy.endToEnd) {
      ++inProcessOnly;
      if (!copy.valid && !accepted) {
        ++refused;
        ++count.refused;
      }
      continue;
    }
    ++endToEndRuns;
    ++count.endToEnd;
    std::string what;
    // Each copy gets a folder of its own: rewriting the program file that the previous process
    // has only just released raced with Wine now and then (CreateProcess failed).
    std::string dir = at.exeDir + "\\" + std::to_string(endToEndRuns);
    CreateDirectoryA(dir.c_str(), NULL);
    bool behaved = RunToTheEnd(WriteUpdateBytes(dir, copy.bytes), copy.valid, &what);
    RemoveTree(dir);
    EXPECT_TRUE(behaved) << copy.label << ": " << what;
    if (behaved && copy.valid) {
      ++startedNormally;
      ++count.started;
    }
    if (behaved && !copy.valid) {
      ++refused;
      ++count.refused;
    }
    std::string treeChange = FirstDifference(treeBefore, SnapshotTree(at.root));
    std::string registryChange = FirstDifference(registryBefore, RegistryState());
    EXPECT_EQ(treeChange, "") << copy.label;
    EXPECT_EQ(registryChange, "") << copy.label;
    if (!treeChange.empty() || !registryChange.empty()) {
      ++changed;
      ++count.changed;
    }
  }
  DWORD elapsed = GetTickCount() - start;

  for (const auto& entry : counts)
    std::printf("  %-45s %3d damaged, %3d refused, %2d whole packages (%d started normally), "
                "%3d through the program, %d changed anything\n",
                kKindNames[entry.first], entry.second.tried, entry.second.refused,
                entry.second.valid, entry.second.started, entry.second.endToEnd,
                entry.second.changed);
  std::printf("%d damaged copies tried, %d refused, %d changed anything\n", damaged, refused,
              changed);
  std::printf("(%d through the real program, %d judged in process by CheckPackage only; "
              "%d derived copies were whole packages and %d of them started normally; %.1f s)\n",
              endToEndRuns, inProcessOnly, validCopies, startedNormally, elapsed / 1000.0);
  EXPECT_EQ(refused, damaged);
  EXPECT_EQ(startedNormally, validCopies);
  EXPECT_EQ(changed, 0);
  EXPECT_GE(damaged, 300);
  UnregisterVendor(kVendor);
}

// ---------------------------------------------------------------------------------------------
// Hostile record names, written byte by byte behind a valid header and a valid first record.

Bytes RecordBytes(const Bytes& nameField, const std::string& data) {
  Bytes bytes = nameField;
  uint32_t size = (uint32_t)data.size();
  for (int i = 0; i < 4; ++i) bytes.push_back((uint8_t)(size >> (8 * i)));
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

Bytes NameField(const std::string& name) {
  Bytes field(kRecordNameSize, 0);
  std::memcpy(field.data(), name.data(), std::min<size_t>(name.size(), kRecordNameSize));
  return field;
}

TEST(Reliability, HostileRecordNamesAreRefusedBeforeAnythingIsWritten) {
  struct HostileName { const char* label; Bytes field; };
  const HostileName names[] = {
      {"..\\x", NameField("..\\x")},
      {"a\\..\\..\\x", NameField("a\\..\\..\\x")},
      {"C:\\x", NameField("C:\\x")},
      {"\\x", NameField("\\x")},
      {"a\\\\b", NameField("a\\\\b")},
      {"a 200-byte name", NameField(std::string(200, 'n'))},
      {"a name without NUL", Bytes(kRecordNameSize, 'n')},
      {"CON", NameField("CON")},
      {"a/../x", NameField("a/../x")},
      {".. \\x", NameField(".. \\x")},
      {"..\\..\\..\\..\\escaped.txt", NameField("..\\..\\..\\..\\escaped.txt")},
  };
  Installation at = MakeInstallation("hostile");
  std::vector<std::string> skipped;
  DriveSnapshot(&skipped);
  for (const std::string& left : skipped) std::printf("  (not compared: C:\\%s)\n", left.c_str());
  PackageContents header = SamplePackage();
  header.saveWarning = kSaveDataKept;
  const Bytes headerBytes = SerializePackage(header);  // no records
  const Bytes first = RecordBytes(NameField("first.txt"), "written first");

  for (const HostileName& name : names) {
    SCOPED_TRACE(name.label);
    Bytes package = headerBytes;
    package.insert(package.end(), first.begin(), first.end());
    Bytes hostile = RecordBytes(name.field, "hostile data");
    package.insert(package.end(), hostile.begin(), hostile.end());
    EXPECT_FALSE(CheckerAccepts(package));
    std::string exe = WriteUpdateBytes(at.exeDir, package);

    const TreeSnapshot before = DriveSnapshot();
    const auto registryBefore = RegistryState();
    ASSERT_TRUE(before.count("tavrel_tests\\hostile\\Game\\readme.txt"));
    std::string what;
    EXPECT_TRUE(RunToTheEnd(exe, false, &what)) << what;
    TreeSnapshot after = DriveSnapshot();
    int appeared = 0;
    for (const auto& entry : after)
      if (!before.count(entry.first)) ++appeared;
    EXPECT_EQ(appeared, 0);
    EXPECT_EQ(FirstDifference(before, after), "");
    EXPECT_EQ(FirstDifference(registryBefore, RegistryState()), "");
    EXPECT_FALSE(FileExists(at.installDir + "\\first.txt"));
    std::printf("  hostile name %-28s refused, %d new files on C:, %u entries compared\n",
                name.label, appeared, (unsigned)after.size());
  }
  UnregisterVendor(kVendor);
}

}  // namespace
