// Damaged packages are refused at start-up, before anything of the package is used and before
// the registry is consulted; a package that keeps the rules starts, size-0 records included.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "tests/windows/support/test_files.h"
#include "tests/windows/support/test_registry.h"
#include "tests/windows/support/test_update.h"
#include "tests/windows/support/updater_driver.h"

namespace {

typedef std::vector<uint8_t> Bytes;

const char kVendor[] = "TavrelTest";

bool VendorKeyExists() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\TavrelTest", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

Bytes Serialized(std::function<void(PackageContents&)> change) {
  PackageContents contents = SamplePackage();
  change(contents);
  return SerializePackage(contents);
}

Bytes BannerPatched(size_t offset, uint32_t value, int width) {
  return Serialized([=](PackageContents& c) {
    for (int i = 0; i < width; ++i) c.banner[offset + i] = (uint8_t)(value >> (8 * i));
  });
}

Bytes WithRecord(const std::string& name, const std::string& data) {
  return Serialized([&](PackageContents& c) { c.records.push_back(Record(name, data)); });
}

struct DamageCase {
  const char* label;
  std::function<Bytes()> make;
};

TEST(DamagedPackage, IsRefusedAtStartUpBeforeTheRegistryIsConsulted) {
  const DamageCase cases[] = {
      {"cut inside the header",
       [] { Bytes b = SerializePackage(SamplePackage()); b.resize(b.size() - 300); return b; }},
      {"title without NUL", [] { return Serialized([](PackageContents& c) {
         c.title = std::string(260, 'T'); }); }},
      {"title and version over 253 bytes", [] { return Serialized([](PackageContents& c) {
         c.title = std::string(251, 'T'); c.version = "1.0"; }); }},
      {"vendorKey and productKey over 249 bytes", [] { return Serialized([](PackageContents& c) {
         c.vendorKey = "TavrelTest"; c.productKey = std::string(240, 'p'); }); }},
      {"bannerSize below 40", [] { return Serialized([](PackageContents& c) {
         c.banner.resize(39); }); }},
      {"bannerSize past the end", [] {
         Bytes b = SerializePackage(SamplePackage());
         uint32_t size = (uint32_t)b.size();
         for (int i = 0; i < 4; ++i) b[kBannerSizeOffset + i] = (uint8_t)(size >> (8 * i));
         return b; }},
      {"banner of 8 bits per pixel", [] { return BannerPatched(14, 8, 2); }},
      {"top-down banner", [] { return BannerPatched(8, (uint32_t)-240, 4); }},
      {"compressed banner", [] { return BannerPatched(16, 1, 4); }},
      {"banner smaller than 320x240", [] { return BannerPatched(4, 300, 4); }},
      {"banner with too few bytes", [] { return Serialized([](PackageContents& c) {
         c.banner.resize(c.banner.size() - 960); }); }},
      {"record cut short", [] { Bytes b = WithRecord("a.txt", "abcdef"); b.pop_back();
         return b; }},
      {"stray bytes after the last record", [] { Bytes b = WithRecord("a.txt", "abc");
         b.push_back(0); return b; }},
      {"record name empty", [] { return WithRecord("", "x"); }},
      {"record name \\x", [] { return WithRecord("\\x", "x"); }},
      {"record name C:\\x", [] { return WithRecord("C:\\x", "x"); }},
      {"record name ..\\x", [] { return WithRecord("..\\x", "x"); }},
      {"record name a\\\\b", [] { return WithRecord("a\\\\b", "x"); }},
      {"record name of 200 bytes", [] {
         return Serialized([](PackageContents& c) {
           PackageRecord r = Record("", "x");
           r.rawName.assign(200, 'n');
           c.records.push_back(r);
         }); }},
  };
  std::string dir = FreshTestDir("damaged");
  UnregisterVendor(kVendor);
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.label);
    UpdaterSession updater(WriteUpdateBytes(dir, c.make()));
    ASSERT_TRUE(updater.started());
    MessageBoxSeen box = updater.WaitForMessageBox();
    ASSERT_TRUE(box.found());
    EXPECT_EQ(box.caption, "Tavrel_Update");
    EXPECT_EQ(box.text, "アップデートデータの読み出しに失敗しました");
    EXPECT_TRUE(box.ok && !box.yes && !box.no && !box.cancel);

    // While the warning is up the dialog exists, hidden: nothing of the package reached the
    // caption, and the not-installed lookup has not touched the status line or 実行.
    HWND frame = updater.WaitForAnyFrame();
    ASSERT_NE(frame, (HWND)NULL);
    EXPECT_FALSE(IsWindowVisible(frame));
    EXPECT_EQ(updater.Caption(), "");
    EXPECT_EQ(updater.StatusText(), "");
    EXPECT_TRUE(updater.IsButtonEnabled(IDOK));

    ASSERT_TRUE(updater.Answer(box, IDOK));
    EXPECT_EQ(updater.WaitForExit(), 0u);
    EXPECT_FALSE(VendorKeyExists());
  }
}

TEST(DamagedPackage, SizeZeroRecordsAreNotDamage) {
  std::string dir = FreshTestDir("size_zero");
  UnregisterVendor(kVendor);
  ASSERT_TRUE(RegisterProduct(kVendor, "Game", dir));
  PackageContents contents = SamplePackage();
  contents.records = {Record("empty.txt", ""), Record("b.txt", "b"), Record("last.txt", "")};
  UpdaterSession updater(WriteUpdate(dir, contents));
  ASSERT_NE(updater.WaitForFrame(), (HWND)NULL);
  EXPECT_EQ(updater.StatusText(), "アップデートの準備ができました");
  EXPECT_TRUE(updater.IsButtonEnabled(IDOK));
  ASSERT_TRUE(updater.Press(IDCANCEL));
  EXPECT_EQ(updater.WaitForExit(), 0u);
  UnregisterVendor(kVendor);
}

}  // namespace
