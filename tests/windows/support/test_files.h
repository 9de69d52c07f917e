// Files and folders for the Windows tests, through the ANSI functions (the prefix speaks code
// page 932). Independent of the updater's own folder code, so that tests never judge that code
// with itself.
#ifndef TAVREL_TEST_FILES_H
#define TAVREL_TEST_FILES_H

#include <map>
#include <string>
#include <vector>

// A Unix path as Wine's Z: drive sees it.
std::string WindowsPathOf(const std::string& unixPath);

// An empty folder C:\tavrel_tests\<name> (removed and made anew).
std::string FreshTestDir(const std::string& name);

bool WriteFileText(const std::string& path, const std::string& bytes);
// The file's bytes; *exists (if given) tells whether it could be opened.
std::string ReadFileText(const std::string& path, bool* exists = nullptr);
bool FileExists(const std::string& path);  // a file, not a folder
bool DirExists(const std::string& path);
// Index of the last backslash, walking by characters of the ANSI code page; npos when none.
size_t LastSeparator(const std::string& path);
bool MakeDirs(const std::string& path);    // every missing folder along path
void RemoveTree(const std::string& path);  // the folder and all below it; read-only files too
// The names directly inside a folder, in the order in which the listing returns them.
std::vector<std::string> FolderEntries(const std::string& folder);

// Paths of any length, through the "\\?\" form of the wide functions (MAX_PATH does not apply).
std::wstring LongPath(const std::string& ansiPath);
bool LongExists(const std::string& path);
bool WriteLongFile(const std::string& path, const std::string& bytes);
std::string ReadLongFile(const std::string& path);  // "<missing>" when it cannot be opened
bool MakeLongDir(const std::string& path);          // true also when it exists already
void RemoveLong(const std::string& path);           // a file or an empty folder

// Everything below root: relative name -> contents; folders appear as "name\" -> "<dir>".
using TreeSnapshot = std::map<std::string, std::string>;
TreeSnapshot SnapshotTree(const std::string& root);

// Files of a tree from a table, {relative name, contents}; folders are made on the way. A name
// ending in "\" makes an empty folder.
void MakeTree(const std::string& root, const std::vector<std::pair<std::string, std::string>>& files);

#endif
