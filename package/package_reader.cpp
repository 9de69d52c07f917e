#include "package/package_reader.h"

#include "app/globals.h"
#include "package/package_check.h"
#include "package/package_format.h"

bool OpenPackage(const char* path) {
  g_packageFile = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  if (g_packageFile == INVALID_HANDLE_VALUE) {
    g_packageFile = NULL;
    return false;
  }
  SetFilePointer(g_packageFile, kPackageOffset, NULL, FILE_BEGIN);
  return true;
}

bool ReadPackage(void* dest, DWORD length) {
  g_bytesRead = 0;
  if (!ReadFile(g_packageFile, dest, length, &g_bytesRead, NULL)) return false;
  return g_bytesRead == length;
}

void ClosePackage() {
  if (g_packageFile) CloseHandle(g_packageFile);
  g_packageFile = NULL;
}

namespace {

bool ReadAt(void* context, uint64_t offset, void* dest, uint32_t length) {
  HANDLE file = (HANDLE)context;
  LARGE_INTEGER position;
  position.QuadPart = (LONGLONG)offset;
  if (!SetFilePointerEx(file, position, NULL, FILE_BEGIN)) return false;
  DWORD got = 0;
  return ReadFile(file, dest, length, &got, NULL) && got == length;
}

bool IsSystemLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

}  // namespace

bool VerifyPackageFile(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool valid = false;
  if (GetFileSizeEx(file, &size)) {
    PackageSource source = {file, (uint64_t)size.QuadPart, ReadAt, IsSystemLeadByte};
    valid = CheckPackage(source, kPackageOffset, NULL, NULL);
  }
  CloseHandle(file);
  return valid;
}

bool ForEachRecordAhead(const char* path, bool (*visit)(void* context, const char* name),
                        void* context) {
  LARGE_INTEGER zero, position, size;
  zero.QuadPart = 0;
  if (!SetFilePointerEx(g_packageFile, zero, &position, FILE_CURRENT)) return false;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool complete = GetFileSizeEx(file, &size) != FALSE;
  uint64_t offset = (uint64_t)position.QuadPart;
  while (complete && offset < (uint64_t)size.QuadPart) {
    TextBuffer name;
    DWORD recordSize = 0;
    if (!ReadAt(file, offset, name, kRecordNameSize) ||
        !ReadAt(file, offset + kRecordNameSize, &recordSize, sizeof recordSize) ||
        BoundedLength(name, kTextSize) < 0 || !visit(context, name)) {
      complete = false;
      break;
    }
    offset += kRecordHeaderSize + (uint64_t)recordSize;
  }
  CloseHandle(file);
  return complete;
}
