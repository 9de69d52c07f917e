// Whole-package integrity check, run once before anything reads the package for real. Portable
// C++ without the standard library, so that the updater, the builder's `verify` and the fuzzer
// share one implementation. The source is reached through a small read interface.
#ifndef TAVREL_PACKAGE_CHECK_H
#define TAVREL_PACKAGE_CHECK_H

#include <stdint.h>

struct PackageSource {
  void* context;
  uint64_t fileSize;  // size of the whole file, updater image included
  // Reads exactly length bytes at offset into dest; false when they cannot be had.
  bool (*readAt)(void* context, uint64_t offset, void* dest, uint32_t length);
  // The code page's lead-byte test, so that a double-byte character whose second byte is 0x5C
  // is not taken for a backslash. Null means code page 932.
  bool (*isLeadByte)(unsigned char byte);
};

// Where and why a package was refused.
struct PackageFault {
  uint64_t offset;     // file offset of the faulty field
  const char* field;   // "title", "bannerSize", "record 3 name", ... (static or in recordField)
  const char* reason;  // a short English sentence (static text)
  char recordField[40];
};

// What a valid package looks like, for callers that walk it afterwards.
struct PackageLayout {
  uint32_t bannerSize;
  uint64_t bannerOffset;       // file offset of the banner bytes
  uint64_t firstRecordOffset;  // file offset behind saveWarning
  uint32_t recordCount;
};

// True when the package at packageOffset keeps every rule the updater relies on; otherwise
// false with the first fault described. layout may be null.
bool CheckPackage(const PackageSource& source, uint64_t packageOffset, PackageFault* fault,
                  PackageLayout* layout);

// Code page 932 lead bytes: 0x81-0x9F and 0xE0-0xFC.
bool IsCp932LeadByte(unsigned char byte);

// Record-name rules alone: 1..199 bytes, relative, no drive or stream colon, no forward slash,
// no empty component and no component made only of dots and spaces (Windows would read it as
// "." or ".."). Returns null when the name is acceptable, else the reason.
const char* CheckRecordName(const char* name, uint32_t length, bool (*isLeadByte)(unsigned char));

#endif
