#include "update/path_walk.h"

#include "app/text_buffer.h"

int LastBackslash(const char* path) {
  int last = -1;
  for (const char* p = path; *p; p = CharNextA(p))
    if (*p == '\\') last = (int)(p - path);
  return last;
}

void CreateFoldersAlong(const char* path, int from) {
  TextBuffer folder;
  for (const char* p = path; *p; p = CharNextA(p)) {
    int at = (int)(p - path);
    if (*p == '\\' && at >= from && CopyTextPart(folder, path, at)) CreateDirectoryA(folder, NULL);
  }
}
