#include "update/folder_tree.h"

#include <windows.h>

#include "app/text_buffer.h"

namespace {

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// A link (to a folder or a file elsewhere) is left where it is and never followed, so nothing
// outside the tree is copied away, moved or deleted.
bool IsLink(const WIN32_FIND_DATAA& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The search pattern and the folder's own path of root\relative.
bool ComposeFolder(const char* root, const char* relative, TextBuffer& pattern,
                   TextBuffer& folder) {
  if (relative[0] == 0)
    return FormatText(pattern, "%s\\*.*", root) && FormatText(folder, "%s", root);
  return FormatText(pattern, "%s\\%s\\*.*", root, relative) &&
         FormatText(folder, "%s\\%s", root, relative);
}

bool ComposeEntryRelative(const char* relative, const char* name, TextBuffer& entryRelative) {
  if (relative[0] == 0) return FormatText(entryRelative, "%s", name);
  return FormatText(entryRelative, "%s\\%s", relative, name);
}

}  // namespace

bool CopyTree(const char* sourceRoot, const char* destRoot, const char* relative,
              bool keepSource) {
  TextBuffer pattern;
  TextBuffer folder;
  TextBuffer entryRelative;
  TextBuffer source;
  TextBuffer dest;
  WIN32_FIND_DATAA entry;
  if (!ComposeFolder(sourceRoot, relative, pattern, folder)) return false;
  HANDLE find = FindFirstFileA(pattern, &entry);
  if (find == INVALID_HANDLE_VALUE) return false;
  if (relative[0] == 0) CreateDirectoryA(destRoot, NULL);
  bool result = true;
  do {
    if (IsDotEntry(entry.cFileName) || IsLink(entry)) continue;
    // An entry whose paths do not fit is left alone, and the caller learns of it.
    if (!ComposeEntryRelative(relative, entry.cFileName, entryRelative) ||
        !FormatText(dest, "%s\\%s", destRoot, entryRelative) ||
        !FormatText(source, "%s\\%s", sourceRoot, entryRelative)) {
      result = false;
      break;
    }
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CreateDirectoryA(dest, NULL);
      result = CopyTree(sourceRoot, destRoot, entryRelative, keepSource);
    } else if (CopyFileA(source, dest, FALSE) && !keepSource) {
      // Only a file that reached its destination is deleted: a failed copy keeps the only one.
      DeleteFileA(source);
    }
  } while (result && FindNextFileA(find, &entry));
  FindClose(find);
  if (!keepSource) RemoveDirectoryA(folder);
  return result;
}

bool DeleteTree(const char* root, const char* relative) {
  TextBuffer pattern;
  TextBuffer folder;
  TextBuffer entryRelative;
  TextBuffer path;
  WIN32_FIND_DATAA entry;
  if (!ComposeFolder(root, relative, pattern, folder)) return false;
  HANDLE find = FindFirstFileA(pattern, &entry);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool result = true;
  do {
    if (IsDotEntry(entry.cFileName) || IsLink(entry)) continue;
    if (!ComposeEntryRelative(relative, entry.cFileName, entryRelative) ||
        !FormatText(path, "%s\\%s", root, entryRelative)) {
      result = false;
      break;
    }
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      result = DeleteTree(root, entryRelative);
    } else {
      DeleteFileA(path);
    }
  } while (result && FindNextFileA(find, &entry));
  FindClose(find);
  RemoveDirectoryA(folder);
  return result;
}
