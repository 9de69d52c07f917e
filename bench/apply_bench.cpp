// Benchmark of the update run under Wine: (a) many small records, (b) a few large ones. For
// each it times the real updater from 実行 to its completion message, and a baseline that
// writes the same bytes with a flush per file, and reads the updater's peak memory.
//   apply_bench [small-count small-bytes large-count large-mib]
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/windows/support/test_files.h"
#include "tests/windows/support/test_registry.h"
#include "tests/windows/support/test_update.h"
#include "tests/windows/support/updater_driver.h"

namespace {

double Now() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return (double)counter.QuadPart / (double)frequency.QuadPart;
}

// What one Sleep(1) costs here: the run makes three per record.
double SleepCost() {
  double start = Now();
  for (int i = 0; i < 200; ++i) Sleep(1);
  return (Now() - start) / 200;
}

// A plain copy of the same records: each file's bytes read from one source file into a buffer
// of the file's size and written out with a flush, as the updater does without its pauses.
double Baseline(const std::string& dir, int count, const std::string& data) {
  std::string sourcePath = dir + "\\source.bin";
  HANDLE source = CreateFileA(sourcePath.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
  DWORD done = 0;
  for (int i = 0; i < count; ++i) WriteFile(source, data.data(), (DWORD)data.size(), &done, NULL);
  CloseHandle(source);
  source = CreateFileA(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  std::string buffer(data.size(), 0);
  double start = Now();
  for (int i = 0; i < count; ++i) {
    ReadFile(source, &buffer[0], (DWORD)buffer.size(), &done, NULL);
    std::string path = dir + "\\F" + std::to_string(i) + ".BIN";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, NULL);
    WriteFile(file, buffer.data(), (DWORD)buffer.size(), &done, NULL);
    FlushFileBuffers(file);
    CloseHandle(file);
  }
  double seconds = Now() - start;
  CloseHandle(source);
  return seconds;
}

struct RunFigures {
  double seconds = 0;
  SIZE_T peakWorkingSet = 0;
  bool completed = false;
};

RunFigures RunUpdater(const std::string& exe) {
  RunFigures figures;
  UpdaterSession updater(exe);
  if (!updater.WaitForFrame(30000)) return figures;
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                               updater.processId());
  double start = Now();
  updater.Press(IDOK);
  MessageBoxSeen box = updater.WaitForMessageBox(600000);
  figures.seconds = Now() - start;
  figures.completed = box.text == "アップデート完了しました。";
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (process && GetProcessMemoryInfo(process, &counters, sizeof counters)) {
    figures.peakWorkingSet = counters.PeakWorkingSetSize;
  }
  if (process) CloseHandle(process);
  updater.Answer(box, IDOK);
  updater.WaitForExit(30000);
  return figures;
}

void Scenario(const char* label, int count, size_t bytes, double sleepCost) {
  std::string root = FreshTestDir(std::string("bench_") + label);
  std::string install = root + "\\Game";
  std::string baselineDir = root + "\\baseline";
  MakeDirs(install + "\\DATA");
  MakeDirs(baselineDir);
  std::string data(bytes, 'x');
  for (size_t i = 0; i < bytes; ++i) data[i] = (char)(i * 131 + 7);

  PackageContents contents = SamplePackage();
  for (int i = 0; i < count; ++i) contents.records.push_back(Record("DATA\\F" + std::to_string(i) + ".BIN", data));
  std::string exe = WriteUpdate(root, contents);
  contents.records.clear();
  UnregisterVendor("TavrelTest");
  RegisterProduct("TavrelTest", "Game", install);

  double baseline = Baseline(baselineDir, count, data);
  RunFigures run = RunUpdater(exe);
  UnregisterVendor("TavrelTest");

  double megabytes = (double)count * bytes / (1024.0 * 1024.0);
  double perRecord = run.seconds / count;
  double overhead = perRecord - 3 * sleepCost - baseline / count;
  std::printf("%s: %d records of %zu bytes (%.0f MiB)%s\n", label, count, bytes, megabytes,
              run.completed ? "" : "  [the run did not complete!]");
  std::printf("  updater  %.3f s  %.1f MB/s  %.3f ms per record\n", run.seconds,
              megabytes / run.seconds, perRecord * 1000);
  std::printf("  baseline %.3f s  %.1f MB/s  (read and written the same way, flush per file)\n", baseline,
              megabytes / baseline);
  std::printf("  throughput ratio updater/baseline %.1f %%\n", 100.0 * baseline / run.seconds);
  std::printf("  per-record overhead beyond 3 pauses (%.3f ms each) and the baseline write: "
              "%.3f ms\n", sleepCost * 1000, overhead * 1000);
  std::printf("  updater peak working set %.1f MiB (largest record %.1f MiB)\n",
              run.peakWorkingSet / 1048576.0, bytes / 1048576.0);
  RemoveTree(root);
}

}  // namespace

int main(int argc, char** argv) {
  int smallCount = argc > 1 ? std::atoi(argv[1]) : 2000;
  size_t smallBytes = argc > 2 ? (size_t)std::atoll(argv[2]) : 4096;
  int largeCount = argc > 3 ? std::atoi(argv[3]) : 4;
  size_t largeMiB = argc > 4 ? (size_t)std::atoll(argv[4]) : 64;
  double sleepCost = SleepCost();
  std::printf("Sleep(1) costs %.3f ms here\n", sleepCost * 1000);
  Scenario("small", smallCount, smallBytes, sleepCost);
  Scenario("large", largeCount, largeMiB * 1024 * 1024, sleepCost);
  return 0;
}
