// The installed product as its installer would have registered it, in the prefix's real
// registry below HKEY_CURRENT_USER\Software.
#ifndef TAVREL_TEST_REGISTRY_H
#define TAVREL_TEST_REGISTRY_H

#include <windows.h>

#include <string>

// Creates Software\vendor\product and sets "Path" to installDir (REG_SZ with its NUL).
bool RegisterProduct(const std::string& vendor, const std::string& product,
                     const std::string& installDir);
// Creates the product key without any "Path" value.
bool RegisterProductWithoutPath(const std::string& vendor, const std::string& product);
// Sets "Path" to raw bytes of the given type (no NUL added).
bool SetPathValueRaw(const std::string& vendor, const std::string& product, DWORD type,
                     const std::string& bytes);
// Removes Software\vendor and everything below it.
void UnregisterVendor(const std::string& vendor);

#endif
