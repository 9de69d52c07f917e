#include "tests/windows/support/test_files.h"

#include <windows.h>

std::string WindowsPathOf(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string FreshTestDir(const std::string& name) {
  std::string root = "C:\\tavrel_tests";
  CreateDirectoryA(root.c_str(), NULL);
  std::string dir = root + "\\" + name;
  RemoveTree(dir);
  CreateDirectoryA(dir.c_str(), NULL);
  return dir;
}

bool WriteFileText(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL) &&
            written == bytes.size();
  CloseHandle(file);
  return ok;
}

std::string ReadFileText(const std::string& path, bool* exists) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (exists) *exists = file != INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

size_t LastSeparator(const std::string& path) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsDBCSLeadByte((unsigned char)path[i])) {
      ++i;
      continue;
    }
    if (path[i] == '\\') last = i;
  }
  return last;
}

bool MakeDirs(const std::string& path) {
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = (unsigned char)path[i];
    if (IsDBCSLeadByte(c)) {
      ++i;
      continue;
    }
    if (c == '\\' && i > 2) CreateDirectoryA(path.substr(0, i).c_str(), NULL);
  }
  CreateDirectoryA(path.c_str(), NULL);
  return DirExists(path);
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = path + "\\" + name;
      SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(full);
      else
        DeleteFileA(full.c_str());
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(path.c_str());
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = entry.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return names;
}

namespace {
void Snapshot(const std::string& root, const std::string& relative, TreeSnapshot& out) {
  std::string folder = relative.empty() ? root : root + "\\" + relative;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    std::string rel = relative.empty() ? name : relative + "\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out[rel + "\\"] = "<dir>";
      Snapshot(root, rel, out);
    } else {
      out[rel] = ReadFileText(root + "\\" + rel);
    }
  } while (FindNextFileA(find, &entry));
  FindClose(find);
}
}  // namespace

TreeSnapshot SnapshotTree(const std::string& root) {
  TreeSnapshot out;
  Snapshot(root, "", out);
  return out;
}

void MakeTree(const std::string& root,
              const std::vector<std::pair<std::string, std::string>>& files) {
  MakeDirs(root);
  for (const auto& file : files) {
    std::string path = root + "\\" + file.first;
    if (!file.first.empty() && file.first.back() == '\\') {
      MakeDirs(path.substr(0, path.size() - 1));
      continue;
    }
    MakeDirs(path.substr(0, LastSeparator(path)));
    WriteFileText(path, file.second);
  }
}

std::wstring LongPath(const std::string& ansiPath) {
  int n = MultiByteToWideChar(CP_ACP, 0, ansiPath.c_str(), -1, NULL, 0);
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansiPath.c_str(), -1, &wide[0], n);
  wide.resize(n - 1);
  return L"\\\\?\\" + wide;
}

bool LongExists(const std::string& path) {
  return GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteLongFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
  CloseHandle(file);
  return written == bytes.size();
}

std::string ReadLongFile(const std::string& path) {
  HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

bool MakeLongDir(const std::string& path) {
  return CreateDirectoryW(LongPath(path).c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

void RemoveLong(const std::string& path) {
  DeleteFileW(LongPath(path).c_str());
  RemoveDirectoryW(LongPath(path).c_str());
}
