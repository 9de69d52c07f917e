#include "tests/windows/support/test_registry.h"

namespace {
HKEY CreateProductKey(const std::string& vendor, const std::string& product) {
  std::string path = "Software\\" + vendor + "\\" + product;
  HKEY key = NULL;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                      NULL) != ERROR_SUCCESS)
    return NULL;
  return key;
}
}  // namespace

bool RegisterProduct(const std::string& vendor, const std::string& product,
                     const std::string& installDir) {
  return SetPathValueRaw(vendor, product, REG_SZ, installDir + std::string(1, '\0'));
}

bool RegisterProductWithoutPath(const std::string& vendor, const std::string& product) {
  HKEY key = CreateProductKey(vendor, product);
  if (!key) return false;
  RegDeleteValueA(key, "Path");
  RegCloseKey(key);
  return true;
}

bool SetPathValueRaw(const std::string& vendor, const std::string& product, DWORD type,
                     const std::string& bytes) {
  HKEY key = CreateProductKey(vendor, product);
  if (!key) return false;
  LONG result = RegSetValueExA(key, "Path", 0, type, (const BYTE*)bytes.data(),
                               (DWORD)bytes.size());
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

void UnregisterVendor(const std::string& vendor) {
  std::string path = "Software\\" + vendor;
  RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}
