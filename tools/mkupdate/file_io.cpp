#include "tools/mkupdate/file_io.h"

#include <errno.h>
#include <string.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

fs::path PathFromUtf8(const std::string& utf8) { return fs::u8path(utf8); }

std::string PathToUtf8(const fs::path& path) { return path.u8string(); }

std::string ErrnoText() { return strerror(errno); }

FILE* OpenFile(const fs::path& path, const char* mode) {
#ifdef _WIN32
  std::wstring wideMode(mode, mode + strlen(mode));
  return _wfopen(path.c_str(), wideMode.c_str());
#else
  return fopen(path.c_str(), mode);
#endif
}

bool ReadWholeFile(const fs::path& path, std::vector<uint8_t>* bytes, std::string* problem) {
  FILE* file = OpenFile(path, "rb");
  if (!file) {
    *problem = "cannot be opened: " + ErrnoText();
    return false;
  }
  bytes->clear();
  uint8_t buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) bytes->insert(bytes->end(), buffer, buffer + n);
  bool ok = !ferror(file);
  fclose(file);
  if (!ok) *problem = "cannot be read";
  return ok;
}

bool WriteWholeFile(const fs::path& path, const std::vector<uint8_t>& bytes,
                    std::string* problem) {
  FILE* file = OpenFile(path, "wb");
  if (!file) {
    *problem = "cannot be created: " + ErrnoText();
    return false;
  }
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = (fclose(file) == 0) && ok;
  if (!ok) *problem = "cannot be written: " + ErrnoText();
  return ok;
}

bool ReadAt(FILE* file, uint64_t offset, void* dest, uint32_t length) {
#ifdef _WIN32
  if (_fseeki64(file, (__int64)offset, SEEK_SET) != 0) return false;
#else
  if (fseeko(file, (off_t)offset, SEEK_SET) != 0) return false;
#endif
  return fread(dest, 1, length, file) == length;
}

fs::path SelfExecutablePath() {
#ifdef _WIN32
  wchar_t buffer[32768];
  DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
  if (n == 0 || n >= 32768) return fs::path();
  return fs::path(std::wstring(buffer, n));
#else
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self;
#endif
}

bool IsTerminal(FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Open(const fs::path& target, std::string* problem) {
  target_ = target;
  fs::path folder = target.parent_path();
  std::string base = PathToUtf8(target.filename());
#ifdef _WIN32
  for (unsigned attempt = 0; attempt < 100 && !file_; ++attempt) {
    temporary_ = folder / PathFromUtf8(base + ".mkupdate-" +
                                       std::to_string(GetCurrentProcessId()) + "-" +
                                       std::to_string(attempt) + ".tmp");
    int fd = _wopen(temporary_.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, 0666);
    if (fd >= 0) file_ = _fdopen(fd, "wb");
    else if (errno != EEXIST) break;
  }
#else
  std::string pattern = PathToUtf8(folder / (base + ".mkupdate-XXXXXX"));
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd >= 0) {
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    temporary_ = fs::path(name.data());
    file_ = fdopen(fd, "wb");
  }
#endif
  if (!file_) {
    *problem = "cannot create a temporary file beside " + PathToUtf8(target) + ": " +
               ErrnoText();
    temporary_.clear();
    return false;
  }
  return true;
}

bool OutputFile::Write(const void* data, size_t length) {
  return fwrite(data, 1, length, file_) == length;
}

bool OutputFile::Commit(std::string* problem) {
  bool ok = fflush(file_) == 0;
#ifdef _WIN32
  ok = ok && _commit(_fileno(file_)) == 0;
#else
  ok = ok && fsync(fileno(file_)) == 0;
#endif
  ok = (fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (!ok) {
    *problem = "cannot write " + PathToUtf8(temporary_) + ": " + ErrnoText();
    Discard();
    return false;
  }
#ifdef _WIN32
  ok = MoveFileExW(temporary_.c_str(), target_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  ok = rename(temporary_.c_str(), target_.c_str()) == 0;
#endif
  if (!ok) {
    *problem = "cannot rename " + PathToUtf8(temporary_) + " to " + PathToUtf8(target_);
    Discard();
    return false;
  }
  temporary_.clear();
  return true;
}

void OutputFile::Discard() {
  if (file_) fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) {
    std::error_code error;
    fs::remove(temporary_, error);
    temporary_.clear();
  }
}
