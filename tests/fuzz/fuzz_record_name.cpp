// libFuzzer target: the record-name rules alone. The input is one name of up to 260 bytes; the
// rule must read only the bytes it is given, and an accepted name must really be harmless.
#include <stdlib.h>
#include <string.h>

#include "package/package_check.h"
#include "package/package_format.h"

namespace {
bool EveryHighByteLeads(unsigned char byte) { return byte >= 0x80; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kRecordNameSize) return 0;
  // A heap copy of exactly size bytes: AddressSanitizer sees any read past the name.
  char* name = (char*)malloc(size ? size : 1);
  if (size) memcpy(name, data, size);
  bool (*const codePages[])(unsigned char) = {nullptr, IsCp932LeadByte, EveryHighByteLeads};
  for (bool (*isLeadByte)(unsigned char) : codePages) {
    if (CheckRecordName(name, (uint32_t)size, isLeadByte) != nullptr) continue;
    // Accepted: 1..199 bytes, relative, no colon, slash or control byte (a lead byte's trail
    // byte may be anything from 0x40 up, so only lead-free names are checked byte by byte).
    if (size == 0 || size > kMaxRecordName) abort();
    if (name[0] == '\\') abort();
    bool (*lead)(unsigned char) = isLeadByte ? isLeadByte : IsCp932LeadByte;
    for (size_t i = 0; i < size; ++i) {
      unsigned char c = (unsigned char)name[i];
      if (lead(c)) {
        ++i;
        continue;
      }
      if (c == ':' || c == '/' || c < 0x20) abort();
      if (c == '\\' && (i + 1 == size || name[i + 1] == '\\')) abort();  // empty component
    }
  }
  free(name);
  return 0;
}
