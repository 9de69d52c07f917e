#include "install/install_log.h"

#include <windows.h>

#include "app/globals.h"
#include "app/text_buffer.h"

namespace {

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// The log that receives relativeName: the install folder's own, else the first one in the
// folders along the name's path, shallowest first. False when there is none; a candidate whose
// path would not fit a buffer is skipped.
bool FindInstallLog(const char* relativeName, TextBuffer& logPath) {
  if (FormatText(logPath, "%s\\install.log", g_installDir) && Exists(logPath)) return true;
  TextBuffer prefix;
  // By characters: the second byte of a double-byte character may be 0x5C.
  for (const char* at = relativeName; *at != 0; at = CharNextA(at)) {
    if (*at != '\\') continue;
    if (!CopyTextPart(prefix, relativeName, (int)(at - relativeName))) return false;
    if (FormatText(logPath, "%s\\%s\\install.log", g_installDir, prefix) && Exists(logPath))
      return true;
  }
  return false;
}

}  // namespace

void AppendToInstallLog(const char* relativeName) {
  TextBuffer logPath;
  if (!FindInstallLog(relativeName, logPath)) return;
  HANDLE log = CreateFileA(logPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  if (log == INVALID_HANDLE_VALUE) return;
  // A log shorter than the count reads its missing high bytes as zero.
  DWORD count = 0;
  DWORD done = 0;
  SetFilePointer(log, 0, NULL, FILE_BEGIN);
  if (ReadFile(log, &count, sizeof count, &done, NULL)) {
    ++count;
    SetFilePointer(log, 0, NULL, FILE_BEGIN);
    // The name goes in only behind a count that says so.
    if (WriteFile(log, &count, sizeof count, &done, NULL) && done == sizeof count) {
      SetFilePointer(log, 0, NULL, FILE_END);
      WriteFile(log, relativeName, (DWORD)lstrlenA(relativeName) + 1, &done, NULL);
    }
  }
  CloseHandle(log);
}
