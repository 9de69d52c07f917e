// A small class over the ANSI registry functions, below HKEY_CURRENT_USER\Software. Whoever
// opens its key closes it with Close; there is no destructor.
#ifndef TAVREL_REGISTRY_KEY_H
#define TAVREL_REGISTRY_KEY_H

#include <windows.h>

#include "app/text_buffer.h"

class RegistryKey {
 public:
  RegistryKey() : key(NULL) { path[0] = 0; }

  // 1 when root\Software\subPath opens with full access (it is closed again), else 0.
  int KeyExists(HKEY root, const char* subPath);
  // Opens subKey below parent, creating it when missing. The caller owns the handle; NULL on failure.
  HKEY CreateSubKey(const char* subKey, HKEY parent);
  // 1 when valueName of key could be read into data (size bytes), else 0. The type is not examined.
  int QueryValue(const char* valueName, BYTE* data, DWORD size, HKEY key);
  // Opens (creating) root\Software\name as this object's key.
  HKEY Open(HKEY root, const char* name);
  // Reads valueName of the subkey into dest as text; defaultValue when it cannot be read or
  // would not be a terminated text within size bytes.
  void ReadString(const char* subKey, const char* valueName, const char* defaultValue,
                  TextBuffer& dest, DWORD size);
  LONG Close();

  TextBuffer path;
  HKEY key;
};

// The dialog's installed test and install-folder lookup for vendorKey\productKey. True when
// the product is installed; installDir is then its "Path" value or empty.
bool LookUpInstallation(const char* vendorKey, const char* productKey, TextBuffer& installDir);

#endif
