// The installed test and the install-folder lookup, against the prefix's real registry.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>

#include <cstring>
#include <string>

#include "install/registry_key.h"
#include "tests/windows/support/test_registry.h"

namespace {

const char kVendor[] = "TavrelRegTest";
const char kProduct[] = "Game";

bool KeyPresent(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// installDir lies at the front of a larger area filled with a canary, so that a write past its
// 260 bytes shows.
struct GuardedDir {
  char area[kTextSize + 64];
  GuardedDir() { std::memset(area, 0xCC, sizeof area); }
  TextBuffer& dir() { return *reinterpret_cast<TextBuffer*>(area); }
  bool CanaryIntact() const {
    for (size_t i = kTextSize; i < sizeof area; ++i)
      if ((unsigned char)area[i] != 0xCC) return false;
    return true;
  }
};

class RegistryLookup : public ::testing::Test {
 protected:
  void SetUp() override { UnregisterVendor(kVendor); }
  void TearDown() override { UnregisterVendor(kVendor); }
};

struct PathCase {
  const char* label;
  DWORD type;
  std::string stored;    // the value's raw bytes
  std::string expected;  // what the lookup leaves in installDir
};

std::string Repeat(const std::string& piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += piece;
  return out;
}

TEST_F(RegistryLookup, PathValueIsCopiedWhenItFitsAndLeftEmptyOtherwise) {
  const std::string nul(1, '\0');
  const std::string dir259 = "C:\\" + Repeat("a", 256);                // 259 bytes
  const std::string sjis259 = Repeat("ア", 129) + "b";                 // 258 + 1 bytes
  const PathCase cases[] = {
      {"plain REG_SZ", REG_SZ, "C:\\Games\\Tavrel" + nul, "C:\\Games\\Tavrel"},
      {"Shift-JIS REG_SZ", REG_SZ, "C:\\ゲーム\\タヴレル" + nul, "C:\\ゲーム\\タヴレル"},
      {"259 bytes and NUL", REG_SZ, dir259 + nul, dir259},
      {"259 Shift-JIS bytes and NUL", REG_SZ, sjis259 + nul, sjis259},
      {"REG_EXPAND_SZ is not expanded", REG_EXPAND_SZ, "%WINDIR%\\Tavrel" + nul,
       "%WINDIR%\\Tavrel"},
      {"REG_DWORD bytes as they are", REG_DWORD, "ABCD", "ABCD"},
      {"REG_BINARY bytes as they are", REG_BINARY, "C:\\Bin" + nul, "C:\\Bin"},
      {"260 bytes of text and NUL", REG_SZ, dir259 + "x" + nul, ""},
      {"300 bytes", REG_SZ, Repeat("p", 300) + nul, ""},
      {"exactly 260 bytes without NUL", REG_BINARY, dir259 + "x", ""},
      {"exactly 260 bytes without NUL, REG_SZ", REG_SZ, dir259 + "x", ""},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_TRUE(SetPathValueRaw(kVendor, kProduct, c.type, c.stored));
    GuardedDir installDir;
    EXPECT_TRUE(LookUpInstallation(kVendor, kProduct, installDir.dir()));
    EXPECT_TRUE(installDir.CanaryIntact());
    ASSERT_GE(BoundedLength(installDir.dir(), kTextSize), 0) << "installDir is unterminated";
    EXPECT_EQ(std::string(installDir.dir()), c.expected);
  }
}

TEST_F(RegistryLookup, InstalledWithoutPathLeavesInstallDirEmpty) {
  ASSERT_TRUE(RegisterProductWithoutPath(kVendor, kProduct));
  GuardedDir installDir;
  std::strcpy(installDir.dir(), "stale");
  EXPECT_TRUE(LookUpInstallation(kVendor, kProduct, installDir.dir()));
  EXPECT_STREQ(installDir.dir(), "");
}

TEST_F(RegistryLookup, MissingProductCountsAsNotInstalledAndCreatesNothing) {
  GuardedDir installDir;
  std::strcpy(installDir.dir(), "stale");
  EXPECT_FALSE(LookUpInstallation(kVendor, kProduct, installDir.dir()));
  EXPECT_STREQ(installDir.dir(), "");
  EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, std::string("Software\\") + kVendor));

  // The vendor alone is not the product, and the lookup does not add the product key.
  ASSERT_TRUE(RegisterProductWithoutPath(kVendor, "Other"));
  EXPECT_FALSE(LookUpInstallation(kVendor, kProduct, installDir.dir()));
  EXPECT_FALSE(
      KeyPresent(HKEY_CURRENT_USER, std::string("Software\\") + kVendor + "\\" + kProduct));
}

TEST_F(RegistryLookup, ProductRegisteredOnlyForTheMachineCountsAsNotInstalled) {
  const std::string machinePath = std::string("Software\\") + kVendor + "\\" + kProduct;
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, machinePath.c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                            NULL, &key, NULL),
            ERROR_SUCCESS);
  const char dir[] = "C:\\Machine\\Tavrel";
  RegSetValueExA(key, "Path", 0, REG_SZ, (const BYTE*)dir, sizeof dir);
  RegCloseKey(key);

  GuardedDir installDir;
  bool installed = LookUpInstallation(kVendor, kProduct, installDir.dir());
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string("Software\\") + kVendor).c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string("Software\\") + kVendor).c_str());
  EXPECT_FALSE(installed);
  EXPECT_STREQ(installDir.dir(), "");
}

// A product key that grants reading but not full access: Wine checks key access against the
// key's DACL, as Windows does.
TEST_F(RegistryLookup, ProductKeyWithoutFullAccessCountsAsNotInstalled) {
  ASSERT_TRUE(RegisterProduct(kVendor, kProduct, "C:\\Games\\Tavrel"));
  const std::string path = std::string("Software\\") + kVendor + "\\" + kProduct;
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);

  PSID everyone = NULL;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                       &everyone));
  EXPLICIT_ACCESSA readOnly = {};
  readOnly.grfAccessPermissions = KEY_READ;
  readOnly.grfAccessMode = SET_ACCESS;
  readOnly.grfInheritance = NO_INHERITANCE;
  readOnly.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  readOnly.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  readOnly.Trustee.ptstrName = (LPSTR)everyone;
  PACL acl = NULL;
  ASSERT_EQ(SetEntriesInAclA(1, &readOnly, NULL, &acl), (DWORD)ERROR_SUCCESS);
  ASSERT_EQ(SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION |
                                                      PROTECTED_DACL_SECURITY_INFORMATION,
                            NULL, NULL, acl, NULL),
            (DWORD)ERROR_SUCCESS);

  // The fixture itself: reading works, full access does not.
  HKEY probe;
  bool readable = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &probe) ==
                  ERROR_SUCCESS;
  if (readable) RegCloseKey(probe);
  bool fullAccess = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &probe) ==
                    ERROR_SUCCESS;
  if (fullAccess) RegCloseKey(probe);

  GuardedDir installDir;
  bool installed = LookUpInstallation(kVendor, kProduct, installDir.dir());

  // Give full access back so that the key can be removed.
  SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, NULL, NULL, NULL, NULL);
  RegCloseKey(key);
  LocalFree(acl);
  FreeSid(everyone);

  ASSERT_TRUE(readable);
  ASSERT_FALSE(fullAccess) << "this Wine grants full access despite the DACL";
  EXPECT_FALSE(installed);
  EXPECT_STREQ(installDir.dir(), "");
}

TEST_F(RegistryLookup, RegistryKeyOperations) {
  RegistryKey registry;
  EXPECT_EQ(registry.key, (HKEY)NULL);
  std::string keyPath = std::string(kVendor) + "\\" + kProduct;
  EXPECT_EQ(registry.KeyExists(HKEY_CURRENT_USER, keyPath.c_str()), 0);

  // Without an open key ReadString gives the default.
  TextBuffer text;
  registry.ReadString(kProduct, "Path", "default", text, sizeof text);
  EXPECT_STREQ(text, "default");

  ASSERT_TRUE(RegisterProduct(kVendor, kProduct, "C:\\Tavrel"));
  EXPECT_EQ(registry.KeyExists(HKEY_CURRENT_USER, keyPath.c_str()), 1);
  ASSERT_NE(registry.Open(HKEY_CURRENT_USER, kVendor), (HKEY)NULL);
  EXPECT_STREQ(registry.path, "Software\\TavrelRegTest");
  EXPECT_NE(registry.key, (HKEY)NULL);

  registry.ReadString(kProduct, "Path", "", text, sizeof text);
  EXPECT_STREQ(text, "C:\\Tavrel");
  registry.ReadString(kProduct, "Missing", "fallback", text, sizeof text);
  EXPECT_STREQ(text, "fallback");

  BYTE raw[8];
  std::memset(raw, 0xCC, sizeof raw);
  HKEY product = registry.CreateSubKey(kProduct, registry.key);
  ASSERT_NE(product, (HKEY)NULL);
  EXPECT_EQ(registry.QueryValue("Path", raw, sizeof raw, product), 0);  // 10 bytes: too long
  EXPECT_EQ(registry.QueryValue("Missing", raw, sizeof raw, product), 0);
  RegCloseKey(product);

  EXPECT_EQ(registry.Close(), ERROR_SUCCESS);
  EXPECT_EQ(registry.key, (HKEY)NULL);
}

}  // namespace
