// File access for mkupdate with UTF-8 paths on every platform (on Windows they are converted to
// UTF-16 for the wide API), and an output file that appears under its final name only when it
// is complete.
#ifndef TAVREL_MKUPDATE_FILE_IO_H
#define TAVREL_MKUPDATE_FILE_IO_H

#include <stdint.h>
#include <stdio.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

fs::path PathFromUtf8(const std::string& utf8);
std::string PathToUtf8(const fs::path& path);

FILE* OpenFile(const fs::path& path, const char* mode);
// The whole of a small file (manifest, banner, stub check). False with problem set.
bool ReadWholeFile(const fs::path& path, std::vector<uint8_t>* bytes, std::string* problem);
bool WriteWholeFile(const fs::path& path, const std::vector<uint8_t>& bytes,
                    std::string* problem);
bool ReadAt(FILE* file, uint64_t offset, void* dest, uint32_t length);

// The running program's own path; empty when it cannot be found.
fs::path SelfExecutablePath();
bool IsTerminal(FILE* stream);
std::string ErrnoText();

// Written under a temporary name in the target's folder; Commit flushes it to disk and renames
// it into place (replacing an older file). Destroyed without Commit, it removes the temporary.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool Open(const fs::path& target, std::string* problem);
  bool Write(const void* data, size_t length);
  bool Commit(std::string* problem);
  void Discard();
  FILE* stream() const { return file_; }
  const fs::path& temporaryPath() const { return temporary_; }

 private:
  FILE* file_ = nullptr;
  fs::path target_;
  fs::path temporary_;
};

#endif
