#include "install/registry_key.h"

int RegistryKey::KeyExists(HKEY root, const char* subPath) {
  TextBuffer fullPath;
  if (!FormatText(fullPath, "Software\\%s", subPath)) return 0;
  HKEY opened;
  if (RegOpenKeyExA(root, fullPath, 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS) return 0;
  RegCloseKey(opened);
  return 1;
}

HKEY RegistryKey::CreateSubKey(const char* subKey, HKEY parent) {
  HKEY created = NULL;
  DWORD disposition;
  char noClass[] = "";
  if (RegCreateKeyExA(parent, subKey, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                      &created, &disposition) != ERROR_SUCCESS)
    return NULL;
  return created;
}

int RegistryKey::QueryValue(const char* valueName, BYTE* data, DWORD size, HKEY key) {
  return RegQueryValueExA(key, valueName, NULL, NULL, data, &size) == ERROR_SUCCESS ? 1 : 0;
}

HKEY RegistryKey::Open(HKEY root, const char* name) {
  if (!FormatText(path, "Software\\%s", name)) {
    key = NULL;
    return NULL;
  }
  key = CreateSubKey(path, root);
  return key;
}

void RegistryKey::ReadString(const char* subKey, const char* valueName, const char* defaultValue,
                             TextBuffer& dest, DWORD size) {
  if (size > (DWORD)kTextSize) size = kTextSize;
  if (key != NULL) {
    HKEY sub = CreateSubKey(subKey, key);
    if (sub != NULL) {
      // Zero first: a value stored without its NUL is then still terminated, unless it fills
      // the whole buffer, which makes it unreadable rather than unterminated.
      ZeroMemory(dest, size);
      int read = QueryValue(valueName, (BYTE*)dest, size, sub);
      RegCloseKey(sub);
      if (read && BoundedLength(dest, (int)size) >= 0) return;
    }
  }
  FormatText(dest, "%s", defaultValue);
}

LONG RegistryKey::Close() {
  if (key == NULL) return ERROR_SUCCESS;
  LONG result = RegCloseKey(key);
  key = NULL;
  return result;
}

bool LookUpInstallation(const char* vendorKey, const char* productKey, TextBuffer& installDir) {
  RegistryKey registry;
  TextBuffer keyPath;
  installDir[0] = 0;
  if (!FormatText(keyPath, "%s\\%s", vendorKey, productKey)) return false;
  if (!registry.KeyExists(HKEY_CURRENT_USER, keyPath)) return false;
  registry.Open(HKEY_CURRENT_USER, vendorKey);
  registry.ReadString(productKey, "Path", "", installDir, kTextSize);
  registry.Close();
  return true;
}
