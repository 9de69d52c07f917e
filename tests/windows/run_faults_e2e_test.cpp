// Faults that meet the update run in the middle, through the real program, in every backup mode
// where they apply (no save data, save data kept, save data cleared): a target that another
// process holds open, a read-only target, install.log held open, a backup folder that cannot be
// made, and the program killed while it writes the records. Each ends with the install folder
// in the state the run promises, and no replaced file is lost where a backup folder exists.
//
// The read-only case needs permissions that hold, so it runs only as an ordinary user (root
// ignores them); run_faults.cmake registers this program a second time for it.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/windows/support/test_files.h"
#include "tests/windows/support/test_update.h"
#include "tests/windows/support/update_scenario.h"
#include "tests/windows/support/updater_driver.h"

namespace {

enum Mode { kNoSave, kKept, kCleared };
struct ModeRow {
  Mode mode;
  const char* tag;
};
const ModeRow kModes[] = {{kNoSave, "nosave"}, {kKept, "kept"}, {kCleared, "cleared"}};

// An installation that meets the run in the given mode; in kCleared the user answers Yes.
Scenario InMode(Mode mode, const std::string& name) {
  Scenario s;
  s.name = name;
  s.install = mode == kNoSave ? Installed() : InstalledWithSave();
  s.saveWarning = mode == kCleared ? 1 : 0;
  if (mode == kCleared) s.script.push_back(Ask(IDYES));
  return s;
}

class RunFaults : public UpdateScenarioTest {};

// ---- A target that cannot be written in the middle of the package ------------------------

enum Unwritable { kHeld, kReadOnly };

// A replaced file and a new one are written, then DATA\SUB\B.DAT cannot be, and the record
// behind it is never applied. Where a backup folder exists, the roll-back puts back every file
// it holds: the replaced file and, in kCleared, the save data.
Scenario FailingRun(Mode mode, Unwritable how, const std::string& name) {
  const std::string failing = "DATA\\SUB\\B.DAT";
  Scenario s = InMode(mode, name);
  s.records = {Record("DATA\\A.DAT", "a 1.02"), Record("DATA\\N.DAT", "n 1.02"),
               Record(failing, "never written"), Record("DATA\\LATE.DAT", "never written")};
  if (how == kHeld)
    s.holdOpen = {failing};
  else
    s.readOnly = {failing};
  s.script.push_back(Box(kRunning, CreateFailed(failing)));
  Tree applied = Merge(Installed(), {{"DATA\\N.DAT", "n 1.02"},
                                     {"install.log", LogBytes(4, {"GAME.EXE", "DATA\\A.DAT",
                                                                  failing, "DATA\\N.DAT"})}});
  if (mode == kNoSave) {
    // No backup folder: the replaced file keeps its new data.
    s.installAfter = Merge(applied, {{"DATA\\A.DAT", "a 1.02"}});
    return s;
  }
  s.installAfter = Merge(applied, SaveData());
  s.backupAfter = true;
  s.backupAfterTree = {{"DATA\\A.DAT", kA}};
  // A held file cannot be read for its copy (the folders on the way are made all the same); a
  // read-only one is copied before its open fails.
  if (how == kHeld)
    s.backupAfterTree["DATA\\SUB\\"] = "";
  else
    s.backupAfterTree[failing] = kB;
  if (mode == kCleared) s.backupAfterTree = Merge(s.backupAfterTree, SaveData());
  return s;
}

TEST_F(RunFaults, TargetHeldOpenByAnotherProgramStopsTheRunAndRollsBack) {
  for (const ModeRow& row : kModes) Run(FailingRun(row.mode, kHeld, std::string("held_") + row.tag));
}

TEST_F(RunFaults, ReadOnlyTargetStopsTheRunAndRollsBackAsOrdinaryUser) {
  // Only meaningful where read-only files refuse writes: not as root.
  std::string probe = FreshTestDir("readonly_probe") + "\\probe.txt";
  ASSERT_TRUE(WriteFileText(probe, "probe"));
  ASSERT_TRUE(SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_READONLY));
  HANDLE open = CreateFileA(probe.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (open != INVALID_HANDLE_VALUE) CloseHandle(open);
  ASSERT_EQ(open, INVALID_HANDLE_VALUE)
      << "a read-only file opened for writing: run this test as an ordinary user";

  for (const ModeRow& row : kModes)
    Run(FailingRun(row.mode, kReadOnly, std::string("readonly_") + row.tag));
}

// ---- install.log held open: the run completes, the log stays as it was --------------------

TEST_F(RunFaults, InstallLogHeldOpenLeavesTheLogUnchangedAndTheRunCompletes) {
  for (const ModeRow& row : kModes) {
    Scenario s = InMode(row.mode, std::string("loghold_") + row.tag);
    s.records = {Record("DATA\\A.DAT", "a 1.02"), Record("DATA\\N.DAT", "n 1.02"),
                 Record("DATA\\SUB\\C.DAT", "c 1.02")};
    s.holdOpen = {"install.log"};
    s.script.push_back(kDone);
    Tree written = Merge(Installed(), {{"DATA\\A.DAT", "a 1.02"},
                                       {"DATA\\N.DAT", "n 1.02"},
                                       {"DATA\\SUB\\C.DAT", "c 1.02"}});
    ASSERT_EQ(written["install.log"], kLog);
    if (row.mode == kNoSave) {
      s.installAfter = written;
    } else {
      s.installAfter = Merge(written, row.mode == kKept ? SaveData() : Tree{{"SAV\\", ""}});
      s.backupAfter = true;
      s.backupAfterTree = {{"DATA\\A.DAT", kA}};
      if (row.mode == kCleared) s.backupAfterTree = Merge(s.backupAfterTree, SaveData());
    }
    Run(s);
  }
}

// ---- No backup folder can be made: a file stands where it would go ---------------------

TEST_F(RunFaults, BackupFolderThatCannotBeMadeKeepsTheSaveDataInPlace) {
  // The save data stays where it is in both modes; replaced files are written without a copy,
  // so a later failure has nothing to restore them from.
  struct Row {
    Mode mode;
    const char* name;
    bool laterFailure;  // a record in a missing folder behind the replaced file
  } rows[] = {{kKept, "nobackup_kept", false},
              {kCleared, "nobackup_cleared", false},
              {kKept, "nobackup_kept_fail", true},
              {kCleared, "nobackup_cleared_fail", true}};
  for (const Row& row : rows) {
    Scenario s = InMode(row.mode, row.name);
    s.fileInPlaceOfBackup = "a file, not a folder";
    s.records = {Record("DATA\\A.DAT", "a 1.02"), Record("DATA\\N.DAT", "n 1.02")};
    if (row.laterFailure) s.records.push_back(Record("NOPE\\X.DAT", "never written"));
    s.script.push_back(row.laterFailure ? Box(kRunning, CreateFailed("NOPE\\X.DAT")) : kDone);
    s.installAfter = Merge(InstalledWithSave(),
                           {{"DATA\\A.DAT", "a 1.02"},
                            {"DATA\\N.DAT", "n 1.02"},
                            {"install.log", LogBytes(4, {"GAME.EXE", "DATA\\A.DAT",
                                                         "DATA\\SUB\\B.DAT", "DATA\\N.DAT"})}});
    Run(s);
  }
}

// ---- The program killed while it writes the records ---------------------------------------

// A run long enough to be killed in its middle: 24 records of about 160 KiB, which replace
// files and add files in turn.
struct LongRun {
  Scenario s;
  std::vector<std::string> names;  // in package order
  std::map<std::string, std::string> oldData, newData;
};

LongRun MakeLongRun(Mode mode, const std::string& name) {
  LongRun run;
  run.s = InMode(mode, name);
  for (int i = 0; i < 24; ++i) {
    char file[32];
    bool replaces = i % 2 == 0;
    wsprintfA(file, replaces ? "DATA\\R%02d.DAT" : "DATA\\N%02d.DAT", i);
    if (replaces) run.s.install[file] = run.oldData[file] = std::string("1.01 of ") + file;
    run.newData[file] = std::string(160 * 1024 + i, (char)('A' + i));
    run.s.records.push_back(Record(file, run.newData[file]));
    run.names.push_back(file);
  }
  return run;
}

DWORD SizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return (DWORD)-1;
  return data.nFileSizeLow;
}

// Starts the run, waits until the record at killAfter has its new size on disk, and kills the
// program there. Stat only: opening the file could itself make the program's write fail.
void RunAndKill(const std::string& exe, const Layout& layout, const LongRun& run, Mode mode,
                size_t killAfter, bool* killed) {
  UpdaterSession updater(exe, "", layout.base);
  ASSERT_NE(updater.WaitForFrame(), (HWND)NULL);
  ASSERT_TRUE(updater.Press(IDOK));
  if (mode == kCleared) {
    MessageBoxSeen box = updater.WaitForMessageBox();
    ASSERT_EQ(box.text, kQuestion);
    ASSERT_TRUE(updater.Answer(box, IDYES));
  }
  const std::string& name = run.names[killAfter];
  std::string target = layout.install + "\\" + name;
  DWORD size = (DWORD)run.newData.at(name).size();
  DWORD start = GetTickCount();
  while (SizeOf(target) != size) {
    ASSERT_LT(GetTickCount() - start, 20000u) << "the run never wrote " << name;
    Sleep(1);
  }
  *killed = updater.Kill();
}

TEST_F(RunFaults, KilledWhileWritingLeavesEveryReplacedFileInTheBackupAndARerunCompletes) {
  struct Row {
    Mode mode;
    const char* tag;
    size_t killAfter;  // the record seen on disk when the kill is sent
  } rows[] = {{kNoSave, "kill_nosave_early", 0},  {kNoSave, "kill_nosave_middle", 12},
              {kKept, "kill_kept_early", 0},      {kKept, "kill_kept_middle", 12},
              {kCleared, "kill_cleared_early", 0}, {kCleared, "kill_cleared_middle", 12}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.tag);
    LongRun run = MakeLongRun(row.mode, row.tag);
    Layout layout = DefaultLayout(run.s);
    std::string exe = Prepare(run.s, layout);
    ASSERT_FALSE(exe.empty());
    bool killed = false;
    RunAndKill(exe, layout, run, row.mode, row.killAfter, &killed);
    ASSERT_TRUE(killed);

    // What the user finds. Every record is either applied, untouched, or (at most one, the one
    // being written at the kill) cut short; every file replaced so far has its copy in the
    // backup folder where there is one.
    TreeSnapshot found = SnapshotTree(layout.install);
    size_t applied = 0, cutShort = 0;
    std::map<std::string, std::string> atTheKill;
    for (const std::string& name : run.names) {
      bool replaces = run.oldData.count(name) > 0;
      auto at = found.find(name);
      std::string now = at == found.end() ? "<absent>" : at->second;
      bool isNew = now == run.newData[name];
      bool untouched = replaces ? now == run.oldData[name] : at == found.end();
      atTheKill[name] = now;
      if (isNew) ++applied;
      if (!isNew && !untouched) ++cutShort;
      if (replaces && !untouched && row.mode != kNoSave) {
        EXPECT_TRUE(ReadFileText(layout.backup + "\\" + name) == run.oldData[name])
            << name << " was replaced without its copy in the backup folder";
      }
    }
    std::printf("%s: killed with %u of %u records applied, %u cut short\n", row.tag,
                (unsigned)applied, (unsigned)run.names.size(), (unsigned)cutShort);
    EXPECT_GE(applied, row.killAfter + 1);
    EXPECT_LT(applied, run.names.size()) << "the run ended before the kill";
    EXPECT_LE(cutShort, 1u);
    for (const auto& entry : Installed()) {
      if (entry.first != "install.log") {
        EXPECT_EQ(found[entry.first], entry.second) << entry.first;
      }
    }
    // install.log still lists what it listed.
    EXPECT_EQ(found["install.log"].substr(4, kLog.size() - 4), kLog.substr(4));
    for (const auto& save : SaveData()) {
      if (row.mode == kCleared) {
        EXPECT_EQ(ReadFileText(layout.backup + "\\" + save.first), save.second) << save.first;
      } else if (row.mode == kKept) {
        EXPECT_EQ(found[save.first], save.second) << save.first;
      }
    }
    if (row.mode == kCleared) {
      EXPECT_EQ(Entries(layout.install + "\\SAV"), std::set<std::string>());
    }
    if (row.mode == kNoSave) {
      EXPECT_FALSE(DirExists(layout.backup));
    }

    // Running the same update again completes it. The save folder of kCleared is empty by
    // now, so that second run asks nothing and copies nothing.
    {
      UpdaterSession again(exe, "", layout.base);
      ASSERT_NE(again.WaitForFrame(), (HWND)NULL);
      ExpectPhase(again, kReady);
      ASSERT_TRUE(again.Press(IDOK));
      MessageBoxSeen box = again.WaitForMessageBox(20000);
      EXPECT_EQ(box.text, kCompleted);
      ASSERT_TRUE(again.Answer(box, IDOK));
      EXPECT_EQ(again.WaitForExit(), 0u);
    }
    TreeSnapshot rerun = SnapshotTree(layout.install);
    for (const std::string& name : run.names) {
      EXPECT_TRUE(rerun[name] == run.newData[name]) << name << " after the second run";
    }
    for (const std::string& name : run.names) {
      if (!run.oldData.count(name)) continue;
      std::string copy = ReadFileText(layout.backup + "\\" + name);
      bool touched = atTheKill[name] != run.oldData[name];
      if (row.mode == kCleared) {
        // The first run's copies stay: the second run makes none.
        if (touched) {
          EXPECT_TRUE(copy == run.oldData[name]) << name;
        }
      } else if (row.mode == kKept) {
        // The second run copies what it finds over the first run's copies: a file that the
        // first run had already replaced (or cut short) now has that in the backup folder.
        EXPECT_TRUE(copy == atTheKill[name]) << name;
      }
    }
  }
}

}  // namespace
