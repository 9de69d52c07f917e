// The update run as a player meets it, through the real program: 実行 in an installed product,
// the save-data question, the backup folder beside the install folder, every record written in
// package order, install.log, roll-back after a file that cannot be created, the memory failure,
// and the refusals before anything is touched. Every scenario ends by comparing the install
// folder and the backup folder, byte for byte, with the expected trees.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/windows/support/test_files.h"
#include "tests/windows/support/test_registry.h"
#include "tests/windows/support/test_update.h"
#include "tests/windows/support/update_scenario.h"
#include "tests/windows/support/updater_driver.h"

namespace {

const char kNoInstallFolder[] = "インストール先のフォルダが分からないため、アップデートできません。";

class UpdateRun : public UpdateScenarioTest {};

// ---- No save data: existing files are overwritten without copies -------------------------

TEST_F(UpdateRun, NoSaveDataOverwritesAndMakesNoBackupFolder) {
  Scenario s;
  s.name = "nosave";
  // A SAV folder without *.SAV entries is no save data.
  s.install = Merge(Installed(), {{"SAV\\README.TXT", "not a save"}});
  s.saveWarning = 1;  // not asked: there is nothing to lose
  s.records = {Record("DATA\\A.DAT", "a 1.02"), Record("DATA\\NEW.DAT", "new 1.02"),
               Record("GAME.EXE", "exe 1.02"), Record("DATA\\SUB\\C.DAT", "c 1.02")};
  s.script = {kDone};
  s.installAfter = Merge(s.install, {{"DATA\\A.DAT", "a 1.02"},
                                     {"DATA\\NEW.DAT", "new 1.02"},
                                     {"GAME.EXE", "exe 1.02"},
                                     {"DATA\\SUB\\C.DAT", "c 1.02"},
                                     {"install.log", LogBytes(5, {"GAME.EXE", "DATA\\A.DAT",
                                                                  "DATA\\SUB\\B.DAT", "DATA\\NEW.DAT",
                                                                  "DATA\\SUB\\C.DAT"})}});
  Run(s);
}

TEST_F(UpdateRun, PackageWithoutRecordsCompletesAndChangesNothing) {
  for (bool withSave : {false, true}) {
    Scenario s;
    s.name = withSave ? "norecords_save" : "norecords";
    s.install = withSave ? InstalledWithSave() : Installed();
    s.script = {kDone};
    s.installAfter = s.install;
    Run(s);
  }
}

TEST_F(UpdateRun, SameNameTwiceIsLoggedOnceAndEndsWithTheSecondData) {
  Scenario s;
  s.name = "twice";
  s.install = Installed();
  s.records = {Record("DATA\\TWICE.DAT", "first"), Record("DATA\\TWICE.DAT", "second")};
  s.script = {kDone};
  s.installAfter = Merge(s.install, {{"DATA\\TWICE.DAT", "second"},
                                     {"install.log", LogBytes(4, {"GAME.EXE", "DATA\\A.DAT",
                                                                  "DATA\\SUB\\B.DAT",
                                                                  "DATA\\TWICE.DAT"})}});
  Run(s);
}

// ---- Save data kept: replaced files are copied under the same relative path first ----------

TEST_F(UpdateRun, SaveDataKeptCopiesReplacedFilesIntoTheBackupFolder) {
  struct Row {
    const char* name;
    bool hasBackup;  // an earlier run left a backup folder with an older copy of DATA\A.DAT
  } rows[] = {{"kept_fresh", false}, {"kept_again", true}};
  for (const Row& row : rows) {
    Scenario s;
    s.name = row.name;
    s.install = InstalledWithSave();
    s.saveWarning = 0;
    s.hasBackup = row.hasBackup;
    s.backup = {{"DATA\\A.DAT", "a 1.00 from an earlier run"}, {"KEEP.TXT", "earlier"}};
    s.records = {Record("DATA\\SUB\\B.DAT", "b 1.02"), Record("DATA\\A.DAT", "a 1.02"),
                 Record("DATA\\N.DAT", "n 1.02"), Record("GAME.EXE", "exe 1.02")};
    s.script = {kDone};
    s.installAfter = Merge(s.install, {{"DATA\\SUB\\B.DAT", "b 1.02"},
                                       {"DATA\\A.DAT", "a 1.02"},
                                       {"DATA\\N.DAT", "n 1.02"},
                                       {"GAME.EXE", "exe 1.02"},
                                       {"install.log", LogBytes(4, {"GAME.EXE", "DATA\\A.DAT",
                                                                    "DATA\\SUB\\B.DAT",
                                                                    "DATA\\N.DAT"})}});
    s.backupAfter = true;
    s.backupAfterTree = {{"DATA\\SUB\\B.DAT", kB}, {"DATA\\A.DAT", kA}, {"GAME.EXE", kExe}};
    if (row.hasBackup) s.backupAfterTree["KEEP.TXT"] = "earlier";
    Run(s);
  }
}

TEST_F(UpdateRun, SaveDataKeptRunThatOnlyAddsFilesLeavesNoBackupFolder) {
  Scenario s;
  s.name = "kept_adds";
  s.install = InstalledWithSave();
  s.records = {Record("DATA\\N1.DAT", "n1"), Record("DATA\\SUB\\N2.DAT", "n2")};
  s.script = {kDone};
  s.installAfter = Merge(s.install, {{"DATA\\N1.DAT", "n1"},
                                     {"DATA\\SUB\\N2.DAT", "n2"},
                                     {"install.log", LogBytes(5, {"GAME.EXE", "DATA\\A.DAT",
                                                                  "DATA\\SUB\\B.DAT", "DATA\\N1.DAT",
                                                                  "DATA\\SUB\\N2.DAT"})}});
  Run(s);
}

// ---- Save data cleared: the question, the move or the delete, an empty SAV -----------------

TEST_F(UpdateRun, SaveDataQuestionDeclinedChangesNothingAndAsksAgain) {
  Scenario s;
  s.name = "cleared_no";
  s.install = InstalledWithSave();
  s.saveWarning = 1;
  s.records = {Record("DATA\\A.DAT", "a 1.02"), Record("DATA\\N.DAT", "n 1.02")};
  s.script = {Ask(IDNO), PressRunAgain(), Ask(IDNO), PressCancel()};
  s.installAfter = s.install;
  Run(s);
}

TEST_F(UpdateRun, SaveDataClearedMovesTheSaveFolderIntoANewBackupFolder) {
  // The backup folder's name with and without a version; a saveWarning byte of 2 asks like 1.
  struct Row {
    const char* name;
    uint8_t saveWarning;
    const char* version;
  } rows[] = {{"cleared_yes", 1, "1.02"}, {"cleared_noversion", 1, ""}, {"cleared_two", 2, "1.02"}};
  for (const Row& row : rows) {
    Scenario s;
    s.name = row.name;
    s.install = InstalledWithSave();
    s.saveWarning = row.saveWarning;
    s.version = row.version;
    s.records = {Record("DATA\\A.DAT", "a 1.02"), Record("DATA\\N.DAT", "n 1.02")};
    s.script = {Ask(IDYES), kDone};
    s.installAfter = Merge(Installed(), {{"SAV\\", ""},
                                                   {"DATA\\A.DAT", "a 1.02"},
                                                   {"DATA\\N.DAT", "n 1.02"},
                                                   {"install.log", LogBytes(4, {"GAME.EXE", "DATA\\A.DAT",
                                                                                "DATA\\SUB\\B.DAT",
                                                                                "DATA\\N.DAT"})}});
    s.backupAfter = true;
    s.backupAfterTree = Merge(SaveData(), {{"DATA\\A.DAT", kA}});
    Layout layout = DefaultLayout(s);
    EXPECT_EQ(Leaf(layout.backup), row.version[0] ? "Game_old(1.02)" : "Game_old");
    Run(s, layout);
  }
}

TEST_F(UpdateRun, SaveDataClearedWithBackupFolderPresentDeletesTheSaveData) {
  Scenario s;
  s.name = "cleared_again";
  s.install = InstalledWithSave();
  s.saveWarning = 1;
  s.hasBackup = true;
  s.backup = {{"SAV\\SAVE1.SAV", "save from the first run"}, {"KEEP.TXT", "earlier"}};
  s.records = {Record("DATA\\N.DAT", "n 1.02")};
  s.script = {Ask(IDYES), kDone};
  s.installAfter = Merge(Installed(), {{"SAV\\", ""},
                                       {"DATA\\N.DAT", "n 1.02"},
                                       {"install.log", LogBytes(4, {"GAME.EXE", "DATA\\A.DAT",
                                                                    "DATA\\SUB\\B.DAT",
                                                                    "DATA\\N.DAT"})}});
  s.backupAfter = true;
  s.backupAfterTree = s.backup;
  Run(s);
}

// ---- A target that cannot be created: message, roll-back, no completion ------------------

TEST_F(UpdateRun, CreateFailureInTheMiddleRollsBackWhatWasBackedUp) {
  // Records before the failing one: a replaced file (copied first, where a backup folder is
  // named) and a new one. The record after it is never applied.
  std::vector<PackageRecord> before = {Record("DATA\\A.DAT", "a 1.02"),
                                       Record("DATA\\N.DAT", "n 1.02")};
  Tree applied = Merge(Installed(), {{"DATA\\N.DAT", "n 1.02"},
                                     {"install.log", LogBytes(4, {"GAME.EXE", "DATA\\A.DAT",
                                                                  "DATA\\SUB\\B.DAT",
                                                                  "DATA\\N.DAT"})}});
  struct Row {
    const char* name;
    bool save;
    uint8_t saveWarning;
    const char* failing;  // a record in a missing folder, or a target held by another process
    bool held;
  } rows[] = {
      {"fail_nosave_missing", false, 0, "NOPE\\X.DAT", false},
      {"fail_kept_held", true, 0, "GAME.EXE", true},
      {"fail_cleared_missing", true, 1, "DATA\\NOPE\\X.DAT", false},
      {"fail_cleared_held", true, 1, "DATA\\SUB\\B.DAT", true},
  };
  for (const Row& row : rows) {
    Scenario s;
    s.name = row.name;
    s.install = row.save ? InstalledWithSave() : Installed();
    s.saveWarning = row.saveWarning;
    s.records = before;
    s.records.push_back(Record(row.failing, "never written"));
    s.records.push_back(Record("DATA\\LATE.DAT", "never written"));
    if (row.held) s.holdOpen = {row.failing};
    if (row.saveWarning) s.script.push_back(Ask(IDYES));
    s.script.push_back(Box(kRunning, CreateFailed(row.failing)));
    if (!row.save) {
      // No backup folder: nothing is restored, the replaced file keeps the new data.
      s.installAfter = Merge(applied, {{"DATA\\A.DAT", "a 1.02"}});
    } else if (row.saveWarning == 0) {
      s.installAfter = Merge(applied, SaveData());
      s.backupAfter = true;
      s.backupAfterTree = {{"DATA\\A.DAT", kA}};
    } else {
      // The moved save data comes back with the roll-back; the backup keeps its copy.
      s.installAfter = Merge(applied, SaveData());
      s.backupAfter = true;
      s.backupAfterTree = Merge(SaveData(), {{"DATA\\A.DAT", kA}});
    }
    // A held file cannot be read for its copy; the folders on the way to it are made all the
    // same.
    if (row.held && row.save && !ParentOf(row.failing).empty())
      s.backupAfterTree[ParentOf(row.failing) + "\\"] = "";
    Run(s);
  }
}

TEST_F(UpdateRun, CreateFailureBeforeAnyBackupCopyRestoresNothing) {
  Scenario s;
  s.name = "fail_kept_first";
  s.install = InstalledWithSave();
  s.records = {Record("DATA\\N.DAT", "n 1.02"), Record("NOPE\\X.DAT", "never"),
               Record("DATA\\A.DAT", "never")};
  s.script = {Box(kRunning, CreateFailed("NOPE\\X.DAT"))};
  s.installAfter = Merge(s.install, {{"DATA\\N.DAT", "n 1.02"},
                                     {"install.log", LogBytes(4, {"GAME.EXE", "DATA\\A.DAT",
                                                                  "DATA\\SUB\\B.DAT",
                                                                  "DATA\\N.DAT"})}});
  Run(s);
}

// ---- A record of size 0: the memory failure keeps the target and stops the run -----------

TEST_F(UpdateRun, RecordOfSizeZeroStopsWithTheMemoryMessage) {
  struct Row {
    const char* name;
    bool save;
    const char* empty;  // an existing target (keeps its contents) or a new one (never made)
  } rows[] = {{"empty_kept_existing", true, "DATA\\SUB\\B.DAT"},
              {"empty_nosave_new", false, "DATA\\EMPTY.DAT"}};
  for (const Row& row : rows) {
    Scenario s;
    s.name = row.name;
    s.install = row.save ? InstalledWithSave() : Installed();
    s.records = {Record("DATA\\A.DAT", "a 1.02"), EmptyRecord(row.empty),
                 Record("DATA\\LATE.DAT", "never"), Record("GAME.EXE", "never")};
    s.script = {Box(kRunning, kNoMemory)};
    s.installAfter = Merge(s.install, {{"DATA\\A.DAT", "a 1.02"}});  // no roll-back
    if (row.save) {
      s.backupAfter = true;
      s.backupAfterTree = {{"DATA\\A.DAT", kA}, {"DATA\\SUB\\B.DAT", kB}};
    }
    Run(s);
  }
}

// ---- Where the backup folder goes ----------------------------------------------------------

TEST_F(UpdateRun, InstallFolderInADriveRootGetsItsBackupFolderInTheRoot) {
  Scenario s;
  s.name = "driveroot";
  s.productKey = "TavrelRootGame";
  s.install = InstalledWithSave();
  s.saveWarning = 1;
  s.records = {Record("DATA\\A.DAT", "a 1.02")};
  s.script = {Ask(IDYES), kDone};
  s.installAfter = Merge(Installed(), {{"SAV\\", ""}, {"DATA\\A.DAT", "a 1.02"}});
  s.backupAfter = true;
  s.backupAfterTree = Merge(SaveData(), {{"DATA\\A.DAT", kA}});
  Layout layout = DefaultLayout(s);
  layout.install = "C:\\TavrelRootGame";
  layout.pathValue = layout.install;
  layout.backup = "C:\\TavrelRootGame_old(1.02)";
  RemoveTree(layout.install);
  RemoveTree(layout.backup);
  Run(s, layout);
  RemoveTree(layout.install);
  RemoveTree(layout.backup);
}

TEST_F(UpdateRun, InstallFolderWithTrailingBackslashKeepsItsBackupFolderInside) {
  Scenario s;
  s.name = "trailing";
  s.install = InstalledWithSave();
  s.records = {Record("DATA\\SUB\\B.DAT", "b 1.02"), Record("DATA\\N.DAT", "n 1.02")};
  s.script = {kDone};
  Layout layout = DefaultLayout(s);
  layout.pathValue = layout.install + "\\";
  layout.backup = layout.install + "\\Game_old(1.02)";
  s.installAfter = Merge(s.install, {{"DATA\\SUB\\B.DAT", "b 1.02"},
                                     {"DATA\\N.DAT", "n 1.02"},
                                     {"Game_old(1.02)\\DATA\\SUB\\B.DAT", kB},
                                     {"install.log", LogBytes(4, {"GAME.EXE", "DATA\\A.DAT",
                                                                  "DATA\\SUB\\B.DAT",
                                                                  "DATA\\N.DAT"})}});
  s.backupAfter = true;
  s.backupAfterTree = {{"DATA\\SUB\\B.DAT", kB}};
  Run(s, layout);
}

// ---- Shift-JIS names whose second byte is a backslash ----------------------------------------

TEST_F(UpdateRun, BackupCopyOfARecordInAFolderNamedWithSo) {
  // "ソ" is 0x83 0x5C and "表" 0x95 0x5C: neither trail byte separates folders. Cut at a trail
  // byte, these names would make the folders "ゲーム" and "背景" appear in the backup folder.
  const std::string nested = "DATA\\ゲームソフト\\背景表\\表.DAT";
  Scenario s;
  s.name = "sjis_record";
  s.install = Merge(InstalledWithSave(), {{nested, "表 1.01"}});
  s.records = {Record(nested, "表 1.02"), Record("DATA\\ゲームソフト\\ソ.DAT", "ソ new")};
  s.script = {kDone};
  s.installAfter = Merge(s.install, {{nested, "表 1.02"},
                                     {"DATA\\ゲームソフト\\ソ.DAT", "ソ new"},
                                     {"install.log", LogBytes(4, {"GAME.EXE", "DATA\\A.DAT",
                                                                  "DATA\\SUB\\B.DAT",
                                                                  "DATA\\ゲームソフト\\ソ.DAT"})}});
  s.backupAfter = true;
  s.backupAfterTree = {{nested, "表 1.01"}};
  Run(s);
}

TEST_F(UpdateRun, InstallFolderEndingInADoubleByteCharacterHasItsBackupFolderBesideIt) {
  struct Row {
    const char* name;
    const char* folder;
  } rows[] = {{"sjis_install_hyo", "データ表"}, {"sjis_install_so", "ゲームソ"}};
  for (const Row& row : rows) {
    const char* folder = row.folder;
    Scenario s;
    s.name = row.name;
    s.install = InstalledWithSave();
    s.saveWarning = 1;
    s.records = {Record("DATA\\A.DAT", "a 1.02")};
    s.script = {Ask(IDYES), kDone};
    s.installAfter = Merge(Installed(), {{"SAV\\", ""}, {"DATA\\A.DAT", "a 1.02"}});
    s.backupAfter = true;
    s.backupAfterTree = Merge(SaveData(), {{"DATA\\A.DAT", kA}});
    Layout layout = DefaultLayout(s);
    layout.install = layout.base + "\\Games\\" + folder;
    layout.pathValue = layout.install;
    layout.backup = layout.base + "\\Games\\Game_old(1.02)";
    Run(s, layout);
  }
}

// ---- Refusals before anything is probed or written -----------------------------------------

TEST_F(UpdateRun, InstallFolderWithoutABackslashIsRefused) {
  // No "Path" value, an empty one, and a relative one. Were any of them run, its first record
  // would land (from the program's current folder, the case's folder on C:) on the existing
  // DATA\A.DAT below it: through a rooted path, or a relative one.
  struct Row {
    const char* name;
    bool hasPath;
    const char* pathValue;
  } rows[] = {{"nopath", false, ""}, {"emptypath", true, ""}, {"relpath", true, "Game"}};
  for (const Row& row : rows) {
    Scenario s;
    s.name = row.name;
    s.install = InstalledWithSave();
    s.saveWarning = 1;  // not even asked
    Layout layout = DefaultLayout(s);
    layout.install = layout.base + "\\Game";
    layout.pathValue = row.pathValue;
    layout.hasPath = row.hasPath;
    layout.backup = layout.base + "\\Game_old(1.02)";
    std::string rooted = std::string("tavrel_tests\\") + row.name + "\\Game\\DATA\\A.DAT";
    s.records = {Record(row.pathValue[0] ? "DATA\\A.DAT" : rooted.c_str(), "a 1.02"),
                 Record("DATA\\N.DAT", "n 1.02")};
    s.script = {Box(kReady, kNoInstallFolder)};
    s.installAfter = s.install;
    Run(s, layout);
  }
}

TEST_F(UpdateRun, RecordWhosePathsWouldNotFitIsNamedAndNothingChanges) {
  // A deep install folder; the record name is cut so that install folder + "\" + name is 259
  // bytes (fits) or 260 (does not). The backup folder's name is 10 bytes longer ("_old(1.02)").
  struct Row {
    const char* name;
    bool save;
    int targetLength;  // bytes of the target path
    bool fits;
  } rows[] = {
      {"fit_target_259", false, 259, true},
      {"fit_target_260", true, 260, false},
      {"fit_backup_269", true, 259, false},  // the target fits, its backup path does not
  };
  for (const Row& row : rows) {
    Scenario s;
    s.name = row.name;
    s.install = row.save ? InstalledWithSave() : Installed();
    s.saveWarning = row.name == std::string("fit_target_260") ? 1 : 0;
    Layout layout = DefaultLayout(s);
    layout.install = layout.base + "\\Games\\" + std::string(150, 'P') + "\\Game";
    layout.pathValue = layout.install;
    layout.backup = layout.base + "\\Games\\" + std::string(150, 'P') + "\\Game_old(1.02)";
    // A replaced file first, so that a late refusal would show in it and in the backup folder.
    size_t nameLength = row.targetLength - layout.install.size() - 1;
    std::string name = "DATA\\" + std::string(nameLength - 9, 'L') + ".DAT";
    ASSERT_EQ(layout.install.size() + 1 + name.size(), (size_t)row.targetLength);
    ASSERT_LE(name.size(), 199u);
    s.records = {Record("DATA\\A.DAT", "a 1.02"), Record(name, "long")};
    if (row.fits) {
      s.script = {kDone};
      s.installAfter = Merge(s.install, {{"DATA\\A.DAT", "a 1.02"},
                                         {name, "long"},
                                         {"install.log", LogBytes(4, {"GAME.EXE", "DATA\\A.DAT",
                                                                      "DATA\\SUB\\B.DAT", name})}});
    } else {
      s.script = {Box(kReady, CreateFailed(name))};
      s.installAfter = s.install;
    }
    Run(s, layout);
  }
}

}  // namespace

namespace {

TEST_F(UpdateRun, SaveDataThatWouldNotFitBelowTheBackupFolderIsNotMoved) {
  // savefit_move: a save file whose path fits below the install folder (255 bytes) but not
  // below the backup folder's save folder (265): the move could not carry it, so the run is
  // refused before the question. savefit_delete: with the backup folder already there the save
  // data is deleted, not moved, and the run goes ahead. savefit_name: an install folder of 246
  // bytes, whose backup folder's save folder (260) cannot be named at all.
  struct Row {
    const char* name;
    size_t installLength;
    bool hasBackup;
    bool records;
  } rows[] = {{"savefit_move", 192, false, true},
              {"savefit_delete", 192, true, true},
              {"savefit_name", 246, false, false}};
  for (const Row& row : rows) {
    Scenario s;
    s.name = row.name;
    s.saveWarning = 1;
    Layout layout = DefaultLayout(s);
    std::string games = layout.base + "\\Games\\";
    std::string deepFolder(row.installLength - games.size() - 5, 'P');
    layout.install = games + deepFolder + "\\Game";
    layout.pathValue = layout.install;
    layout.backup = games + deepFolder + "\\Game_old(1.02)";
    ASSERT_EQ(layout.install.size(), row.installLength);
    // At 246 bytes only short names fit below the install folder itself.
    s.install = row.installLength > 200 ? Tree{{"DATA\\A.DAT", kA}, {"SAV\\S.SAV", "save"}}
                                        : InstalledWithSave();
    if (row.installLength + 1 + 8 + 4 < 255) {
      std::string deep = "SAV\\SUB\\" + std::string(255 - row.installLength - 1 - 8 - 4, 'S') + ".SAV";
      ASSERT_EQ(layout.install.size() + 1 + deep.size(), 255u);
      s.install[deep] = "deep save";
    }
    s.hasBackup = row.hasBackup;
    s.backup = {{"KEEP.TXT", "earlier"}};
    if (row.records) s.records = {Record("DATA\\A.DAT", "a 1.02")};
    if (row.hasBackup) {
      s.script = {Ask(IDYES), kDone};
      s.installAfter = Merge(Installed(), {{"SAV\\", ""}, {"DATA\\A.DAT", "a 1.02"}});
      s.backupAfter = true;
      s.backupAfterTree = {{"KEEP.TXT", "earlier"}, {"DATA\\A.DAT", kA}};
    } else {
      s.script = {Box(kReady, CreateFailed("SAV"))};
      s.installAfter = s.install;
    }
    Run(s, layout);
  }
}

}  // namespace
