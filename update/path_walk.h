// Backslash searches that walk by characters of the ANSI code page, so that a double-byte
// character whose second byte is 0x5C ("ソ", "表") is never taken for a separator.
#ifndef TAVREL_PATH_WALK_H
#define TAVREL_PATH_WALK_H

// Index of the last backslash in path, or -1 when it has none.
int LastBackslash(const char* path);
// Creates every folder that path names up to each backslash at or behind index from, outermost
// first; the last component is left alone. Failures (mostly folders that exist) are ignored.
void CreateFoldersAlong(const char* path, int from);

#endif
