// The updater's one handle on its own file: opened once, positioned once at the package and
// read forward only, every field straight into its destination.
#ifndef TAVREL_PACKAGE_READER_H
#define TAVREL_PACKAGE_READER_H

#include <windows.h>

// Opens path as g_packageFile, positioned at kPackageOffset. False when it cannot be opened.
bool OpenPackage(const char* path);
// Reads the next length bytes into dest; g_bytesRead gets the count. True when all arrived.
bool ReadPackage(void* dest, DWORD length);
// Closes g_packageFile if it is open.
void ClosePackage();
// Checks the whole package of the file at path on a handle of its own, before anything else
// reads it. False when the file cannot be read or the package breaks a rule.
bool VerifyPackageFile(const char* path);

// Walks the record names still ahead of g_packageFile on a handle of its own, without moving
// g_packageFile: visit gets each name in package order and returns false to stop. False when
// the names cannot be read to the end of the file, or when visit stopped the walk.
bool ForEachRecordAhead(const char* path, bool (*visit)(void* context, const char* name),
                        void* context);

#endif
