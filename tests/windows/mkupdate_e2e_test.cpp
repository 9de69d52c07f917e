// An update made by mkupdate, from the sample product's manifest, run through the real updater
// as a player would: the builder and the updater agree on every byte of the format.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "tests/windows/support/test_files.h"
#include "tests/windows/support/test_registry.h"
#include "tests/windows/support/test_update.h"
#include "tests/windows/support/updater_driver.h"

namespace {

std::string FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? WindowsPathOf(value) : std::string();
}

// Runs a console program to its end; its exit code, or -1 when it cannot be started.
long RunProgram(const std::string& exe, const std::string& arguments) {
  std::string line = "\"" + exe + "\" " + arguments;
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back(0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(exe.c_str(), buffer.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                      &info))
    return -1;
  WaitForSingleObject(info.hProcess, 60000);
  DWORD code = 1;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return (long)code;
}

TEST(MkupdateEndToEnd, SampleUpdateAppliesAsBuilt) {
  std::string mkupdate = FromEnvironment("TAVREL_MKUPDATE_EXE");
  std::string sample = FromEnvironment("TAVREL_SAMPLE_DIR");
  ASSERT_FALSE(mkupdate.empty());
  ASSERT_FALSE(sample.empty());

  std::string dir = FreshTestDir("mkupdate_e2e");
  std::string games = dir + "\\Games";
  std::string install = games + "\\Tavrel";
  TreeSnapshot installed = SnapshotTree(sample + "\\installed");
  TreeSnapshot update = SnapshotTree(sample + "\\update");
  ASSERT_FALSE(installed.empty());
  ASSERT_FALSE(update.empty());
  MakeDirs(install);
  for (const auto& entry : installed) {
    if (entry.second == "<dir>") {
      MakeDirs(install + "\\" + entry.first.substr(0, entry.first.size() - 1));
    } else {
      ASSERT_TRUE(WriteFileText(install + "\\" + entry.first, entry.second)) << entry.first;
    }
  }
  UnregisterVendor("Kumoyama");
  ASSERT_TRUE(RegisterProduct("Kumoyama", "Tavrel", install));

  std::string exe = dir + "\\Tavrel_Update_1.1.exe";
  ASSERT_EQ(RunProgram(mkupdate, "build --quiet -m \"" + sample + "\\manifest.json\" --stub \"" +
                                     UpdaterPath() + "\" -o \"" + exe + "\""),
            0);
  ASSERT_EQ(RunProgram(mkupdate, "verify \"" + exe + "\""), 0);

  UpdaterSession updater(exe);
  ASSERT_NE(updater.WaitForFrame(), (HWND)NULL);
  EXPECT_EQ(updater.Caption(), "蒼穹のタヴレル アップデート  Ver.1.1");
  EXPECT_EQ(updater.StatusText(), "インストール済みの Ver.1.0 を更新します");
  ASSERT_TRUE(updater.Press(IDOK));
  MessageBoxSeen question = updater.WaitForMessageBox();
  ASSERT_TRUE(question.yes && question.no) << question.text;
  ASSERT_TRUE(updater.Answer(question, IDYES));
  MessageBoxSeen done = updater.WaitForMessageBox(20000, question.window);
  EXPECT_EQ(done.text, "アップデート完了しました。");
  ASSERT_TRUE(updater.Answer(done, IDOK));
  EXPECT_EQ(updater.WaitForExit(), 0u);

  // Every file of the update is in place; the files it replaced and the save data are in the
  // backup folder as they were.
  TreeSnapshot after = SnapshotTree(install);
  TreeSnapshot backup = SnapshotTree(games + "\\Tavrel_old(1.1)");
  for (const auto& entry : update) EXPECT_EQ(after[entry.first], entry.second) << entry.first;
  for (const auto& entry : installed) {
    if (entry.second == "<dir>") continue;
    bool replaced = update.count(entry.first) > 0;
    bool save = entry.first.compare(0, 4, "SAV\\") == 0;
    if (replaced || save) EXPECT_EQ(backup[entry.first], entry.second) << entry.first;
    if (save) EXPECT_EQ(after.count(entry.first), 0u) << entry.first;
    if (!replaced && !save) EXPECT_EQ(after[entry.first], entry.second) << entry.first;
  }
  EXPECT_EQ(after["SAV\\"], "<dir>");
  UnregisterVendor("Kumoyama");
}

}  // namespace
