// The whole-package check on packages in memory: what it accepts, and for every fault it must
// catch, the field that it names.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "package/package_check.h"
#include "package/package_format.h"
#include "package/package_writer.h"
#include "tests/windows/support/test_update.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// The package sits behind a small stand-in for the updater image, so that the check has to use
// the offset it is given.
const uint64_t kImage = 100;

bool ReadMemory(void* context, uint64_t offset, void* dest, uint32_t length) {
  const Bytes& file = *(const Bytes*)context;
  if (offset > file.size() || file.size() - offset < length) return false;
  if (length) std::memcpy(dest, file.data() + offset, length);
  return true;
}

struct Verdict {
  bool valid;
  PackageFault fault;
  PackageLayout layout;
};

Verdict Check(const Bytes& package, bool (*isLeadByte)(unsigned char) = nullptr) {
  Bytes file(kImage, 'M');
  file.insert(file.end(), package.begin(), package.end());
  PackageSource source = {&file, file.size(), ReadMemory, isLeadByte};
  Verdict verdict = {};
  verdict.valid = CheckPackage(source, kImage, &verdict.fault, &verdict.layout);
  return verdict;
}

void PutU32At(Bytes& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = (uint8_t)(value >> (8 * i));
}

// Offsets of the fields behind the sample's banner.
uint32_t SampleBannerSize() { return (uint32_t)SamplePackage().banner.size(); }
uint64_t AfterBanner() { return kBannerOffset + SampleBannerSize(); }
uint64_t FirstRecord() { return AfterBanner() + kHeaderTailSize; }

PackageContents WithRecords(std::initializer_list<PackageRecord> records) {
  PackageContents contents = SamplePackage();
  contents.records = records;
  return contents;
}

struct AcceptCase {
  const char* label;
  std::function<PackageContents()> make;
  uint32_t records;
};

TEST(CheckPackage, AcceptsPackagesThatKeepTheRules) {
  const AcceptCase cases[] = {
      {"no records", [] { return SamplePackage(); }, 0},
      {"two records", [] { return WithRecords({Record("a.txt", "A"), Record("d\\b.dat", "BB")}); },
       2},
      {"a record of size 0",
       [] { return WithRecords({Record("empty.txt", ""), Record("b.txt", "b")}); }, 2},
      {"Shift-JIS names with 0x5C trail bytes",
       [] {
         return WithRecords({Record("ソ\\x.bin", "1"), Record("表\\y.bin", "2"), Record("ソ", "3"),
                             Record("セーブ\\表示.txt", "4")});
       },
       4},
      {"a name of 199 bytes", [] { return WithRecords({Record(std::string(199, 'n'), "x")}); },
       1},
      {"empty version, title of 259 bytes",
       [] {
         PackageContents c = SamplePackage();
         c.title = std::string(259, 't');
         c.version = "";
         return c;
       },
       0},
      {"title and version of 253 bytes together",
       [] {
         PackageContents c = SamplePackage();
         c.title = std::string(250, 't');
         c.version = "1.0";
         return c;
       },
       0},
      {"vendorKey and productKey of 249 bytes together",
       [] {
         PackageContents c = SamplePackage();
         c.vendorKey = std::string(124, 'v');
         c.productKey = std::string(125, 'p');
         return c;
       },
       0},
      {"empty installedText and saveWarning 2",
       [] {
         PackageContents c = SamplePackage();
         c.installedText = "";
         c.saveWarning = 2;
         return c;
       },
       0},
      {"bytes after the banner's rows",
       [] {
         PackageContents c = SamplePackage();
         c.banner.resize(c.banner.size() + 13, 0xAB);
         return c;
       },
       0},
      {"a picture larger than 320x240",
       [] {
         PackageContents c = SamplePackage();
         c.banner = MakeBanner(401, 250, [](int, int, void*) -> uint32_t { return 0x808080; });
         return c;
       },
       0},
  };
  for (const AcceptCase& c : cases) {
    SCOPED_TRACE(c.label);
    PackageContents contents = c.make();
    Verdict verdict = Check(SerializePackage(contents));
    EXPECT_TRUE(verdict.valid) << verdict.fault.field << ": " << verdict.fault.reason;
    if (!verdict.valid) continue;
    EXPECT_EQ(verdict.layout.recordCount, c.records);
    EXPECT_EQ(verdict.layout.bannerSize, contents.banner.size());
    EXPECT_EQ(verdict.layout.bannerOffset, kImage + kBannerOffset);
    EXPECT_EQ(verdict.layout.firstRecordOffset,
              kImage + kBannerOffset + contents.banner.size() + kHeaderTailSize);
  }
}

struct FaultCase {
  const char* label;
  std::function<Bytes()> make;
  const char* field;
  int64_t offset;  // from the package's start; -1: not checked
};

Bytes Sample() { return SerializePackage(SamplePackage()); }

Bytes SampleWith(std::function<void(PackageContents&)> change) {
  PackageContents contents = SamplePackage();
  change(contents);
  return SerializePackage(contents);
}

// The sample with one banner header field patched.
Bytes BannerPatched(size_t fieldOffset, uint32_t value, int width = 4) {
  return SampleWith([=](PackageContents& c) {
    for (int i = 0; i < width; ++i) c.banner[fieldOffset + i] = (uint8_t)(value >> (8 * i));
  });
}

Bytes Cut(Bytes bytes, size_t length) {
  bytes.resize(length);
  return bytes;
}

Bytes Appended(Bytes bytes, const Bytes& tail) {
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  return bytes;
}

TEST(CheckPackage, RefusesEachFaultNamingTheField) {
  const int64_t after = (int64_t)AfterBanner();
  const int64_t first = (int64_t)FirstRecord();
  const FaultCase cases[] = {
      // The header cut short, field by field.
      {"no package at all", [] { return Bytes(); }, "title", 0},
      {"cut inside the title", [] { return Cut(Sample(), 100); }, "title", 0},
      {"cut inside the version", [] { return Cut(Sample(), 300); }, "version", 260},
      {"cut inside bannerSize", [] { return Cut(Sample(), 522); }, "bannerSize", 520},
      {"cut inside the banner", [] { return Cut(Sample(), 600); }, "bannerSize", 520},
      {"cut inside vendorKey", [=] { return Cut(Sample(), after + 10); }, "bannerSize", 520},
      {"cut before saveWarning", [=] { return Cut(Sample(), first - 1); }, "bannerSize", 520},
      // Texts.
      {"title without NUL", [] { return SampleWith([](PackageContents& c) {
         c.title = std::string(260, 't'); }); }, "title", 0},
      {"version without NUL", [] { return SampleWith([](PackageContents& c) {
         c.version = std::string(260, 'v'); }); }, "version", 260},
      {"vendorKey without NUL", [] { return SampleWith([](PackageContents& c) {
         c.vendorKey = std::string(260, 'v'); }); }, "vendorKey", after},
      {"productKey without NUL", [] { return SampleWith([](PackageContents& c) {
         c.productKey = std::string(260, 'p'); }); }, "productKey", after + 260},
      {"installedText without NUL", [] { return SampleWith([](PackageContents& c) {
         c.installedText = std::string(260, 'i'); }); }, "installedText", after + 520},
      {"notInstalledText without NUL", [] { return SampleWith([](PackageContents& c) {
         c.notInstalledText = std::string(260, 'n'); }); }, "notInstalledText", after + 780},
      {"title and version of 254 bytes", [] { return SampleWith([](PackageContents& c) {
         c.title = std::string(251, 't'); c.version = "1.0"; }); }, "title + version", -1},
      {"vendorKey and productKey of 250 bytes", [] { return SampleWith([](PackageContents& c) {
         c.vendorKey = std::string(125, 'v'); c.productKey = std::string(125, 'p'); }); },
       "vendorKey + productKey", -1},
      // bannerSize.
      {"bannerSize 39", [] { return SampleWith([](PackageContents& c) {
         c.banner.resize(39); }); }, "bannerSize", 520},
      {"bannerSize 0", [] { return SampleWith([](PackageContents& c) {
         c.banner.clear(); }); }, "bannerSize", 520},
      {"bannerSize reaching past the end", [] {
         Bytes b = Sample(); PutU32At(b, 520, SampleBannerSize() + 1042); return b; },
       "bannerSize", 520},
      {"bannerSize 0xFFFFFFFF", [] {
         Bytes b = Sample(); PutU32At(b, 520, 0xFFFFFFFFu); return b; }, "bannerSize", 520},
      // The banner's own header.
      {"8 bits per pixel", [] { return BannerPatched(14, 8, 2); }, "banner biBitCount",
       524 + 14},
      {"1 bit per pixel", [] { return BannerPatched(14, 1, 2); }, "banner biBitCount", 524 + 14},
      {"top-down", [] { return BannerPatched(8, (uint32_t)-240); }, "banner biHeight", 524 + 8},
      {"RLE compressed", [] { return BannerPatched(16, 1); }, "banner biCompression",
       524 + 16},
      {"bit fields", [] { return BannerPatched(16, 3); }, "banner biCompression", 524 + 16},
      {"a colour table", [] { return BannerPatched(32, 2); }, "banner biClrUsed", 524 + 32},
      {"319 columns", [] { return BannerPatched(4, 319); }, "banner size", 524 + 4},
      {"239 rows", [] { return BannerPatched(8, 239); }, "banner size", 524 + 4},
      {"2 planes", [] { return BannerPatched(12, 2, 2); }, "banner biPlanes", 524 + 12},
      {"a core header (biSize 12)", [] { return BannerPatched(0, 12); }, "banner biSize", 524},
      {"biSize larger than bannerSize", [] { return SampleWith([](PackageContents& c) {
         c.banner.resize(100); c.banner[0] = 124; }); }, "banner biSize", 524},
      {"one byte short of the rows", [] { return SampleWith([](PackageContents& c) {
         c.banner.pop_back(); }); }, "banner", 524},
      {"rows that need more than bannerSize (wider picture)",
       [] { return BannerPatched(4, 321); }, "banner", 524},
      // saveWarning and the records.
      {"record cut inside its name", [=] {
         return Cut(SerializePackage(WithRecords({Record("a.txt", "abc")})), first + 100); },
       "record 1 name", first},
      {"record cut inside its size", [=] {
         return Cut(SerializePackage(WithRecords({Record("a.txt", "abc")})), first + 262); },
       "record 1 name", first},
      {"record data cut short", [=] {
         return Cut(SerializePackage(WithRecords({Record("a.txt", "abc")})), first + 266); },
       "record 1 size", first + 260},
      {"record size larger than the data", [] {
         PackageRecord r = Record("a.txt", "abc"); r.overrideSize = true; r.size = 4;
         return SerializePackage(WithRecords({r})); }, "record 1 size", first + 260},
      {"stray bytes after the last record", [] {
         return Appended(SerializePackage(WithRecords({Record("a.txt", "abc")})), Bytes(7, 0)); },
       "record 2 name", first + 267},
      {"one stray byte after the header", [] { return Appended(Sample(), Bytes(1, 0)); },
       "record 1 name", first},
      {"a whole zero record header after the last record", [] {
         return Appended(SerializePackage(WithRecords({Record("a.txt", "abc")})),
                         Bytes(264, 0)); }, "record 2 name", first + 267},
      {"record name without NUL", [] {
         PackageRecord r = Record("", "abc"); r.rawName.assign(260, 'x');
         return SerializePackage(WithRecords({r})); }, "record 1 name", first},
      {"third record's name breaks a rule", [] {
         return SerializePackage(WithRecords({Record("a", "1"), Record("b", "2"),
                                              Record("..\\c", "3")})); },
       "record 3 name", first + 2 * 265},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.label);
    Verdict verdict = Check(c.make());
    EXPECT_FALSE(verdict.valid);
    if (verdict.valid) continue;
    ASSERT_NE(verdict.fault.field, nullptr);
    ASSERT_NE(verdict.fault.reason, nullptr);
    EXPECT_STREQ(verdict.fault.field, c.field) << verdict.fault.reason;
    if (c.offset >= 0) {
      EXPECT_EQ(verdict.fault.offset, kImage + (uint64_t)c.offset);
    }
  }
}

TEST(CheckPackage, RefusesAFileShorterThanTheImage) {
  Bytes file(50, 'M');
  PackageSource source = {&file, file.size(), ReadMemory, nullptr};
  PackageFault fault = {};
  EXPECT_FALSE(CheckPackage(source, kImage, &fault, nullptr));
  EXPECT_STREQ(fault.field, "package");
  // Without a fault or a layout to fill the answer is the same.
  EXPECT_FALSE(CheckPackage(source, kImage, nullptr, nullptr));
}

TEST(CheckPackage, RefusesWhenTheSourceCannotBeRead) {
  Bytes file(kImage, 'M');
  Bytes package = Sample();
  file.insert(file.end(), package.begin(), package.end());
  PackageSource source = {&file, file.size(),
                          [](void*, uint64_t, void*, uint32_t) { return false; }, nullptr};
  EXPECT_FALSE(CheckPackage(source, kImage, nullptr, nullptr));
}

// Record names alone. A record in a package gets the same answer (last column).
struct NameCase {
  std::string name;
  bool accepted;
};

TEST(CheckRecordName, RelativeNamesOnly) {
  const NameCase cases[] = {
      {"a.txt", true},
      {"data\\save\\a.txt", true},
      {"ソ\\x.bin", true},      // 83 5C 5C ...: the first 0x5C is the trail byte
      {"表\\y.bin", true},      // 95 5C 5C ...
      {"ソ", true},             // ends in a trail byte 0x5C
      {"dir\\表", true},
      {"a.", true},
      {std::string(199, 'n'), true},
      {"", false},
      {"\\x", false},
      {"\\\\server\\share\\x", false},
      {"C:\\x", false},
      {"C:x", false},
      {"a.txt:stream", false},
      {"..\\x", false},
      {"a\\..\\b", false},
      {"a\\..", false},
      {".\\x", false},
      {"...", false},
      {"a\\ \\b", false},
      {"a\\\\b", false},
      {"a\\", false},
      {"a/b", false},
      {"a\x01" "b", false},
      {std::string(200, 'n'), false},
      {"a\x83", false},  // a lead byte with no trail byte
      {"CON", false},
      {"data\\nul.txt", false},
      {"com1", false},
      {"LPT9.log\\x", false},
      {"CON .txt", false},
      {"CONSOLE.txt", true},
      {"COM0", true},
      {"data\\COM10", true},
      {"a*b", false},
      {"a?b", false},
      {"a|b", false},
      {"a<b>", false},
      {"a\"b", false},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE("name \"" + c.name + "\"");
    const char* reason = CheckRecordName(c.name.data(), (uint32_t)c.name.size(), nullptr);
    EXPECT_EQ(reason == nullptr, c.accepted) << (reason ? reason : "accepted");
    if (c.name.size() > 199) continue;  // the writer cannot hold longer names with their NUL
    Verdict verdict = Check(SerializePackage(WithRecords({Record(c.name, "x")})));
    EXPECT_EQ(verdict.valid, c.accepted);
    if (!verdict.valid) {
      EXPECT_STREQ(verdict.fault.field, "record 1 name");
    }
  }
}

TEST(CheckRecordName, TheFixturesHoldTheBytesTheyClaim) {
  const std::string so = "ソ", hyou = "表";
  ASSERT_EQ(so, "\x83\x5C");
  ASSERT_EQ(hyou, "\x95\x5C");
}

TEST(CheckRecordName, UsesTheLeadByteTestItIsGiven) {
  // Under a single-byte code page 0x83 is a character of its own and 0x5C a separator.
  auto noLeadBytes = [](unsigned char) { return false; };
  EXPECT_EQ(CheckRecordName("ソ\\x.bin", 8, noLeadBytes) == nullptr, false);
  EXPECT_EQ(Check(SerializePackage(WithRecords({Record("ソ\\x.bin", "x")})), noLeadBytes).valid,
            false);
  EXPECT_EQ(Check(SerializePackage(WithRecords({Record("ソ\\x.bin", "x")})), IsCp932LeadByte)
                .valid,
            true);
}

}  // namespace
