// The release program's entry point and the few memory routines the compiler may call. The
// updater links no C runtime: it must fit its image budget, and it needs nothing of one.
#include <windows.h>

extern "C" {

void* memcpy(void* dest, const void* source, size_t count) {
  unsigned char* d = (unsigned char*)dest;
  const unsigned char* s = (const unsigned char*)source;
  while (count--) *d++ = *s++;
  return dest;
}

void* memmove(void* dest, const void* source, size_t count) {
  unsigned char* d = (unsigned char*)dest;
  const unsigned char* s = (const unsigned char*)source;
  if (d < s) {
    while (count--) *d++ = *s++;
  } else {
    while (count--) d[count] = s[count];
  }
  return dest;
}

void* memset(void* dest, int value, size_t count) {
  unsigned char* d = (unsigned char*)dest;
  while (count--) *d++ = (unsigned char)value;
  return dest;
}

int memcmp(const void* a, const void* b, size_t count) {
  const unsigned char* x = (const unsigned char*)a;
  const unsigned char* y = (const unsigned char*)b;
  for (; count; --count, ++x, ++y)
    if (*x != *y) return *x < *y ? -1 : 1;
  return 0;
}

int WinMainCRTStartup() {
  ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, GetCommandLineA(), SW_SHOWDEFAULT));
  return 0;
}

}  // extern "C"
