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
#include "tests/windows/support/updater_driver.h"

namespace {

const char kInstalledText[] = "アップデートの準備ができました";
const char kQuestion[] =
    "アップデートすると現在のセーブデータは使えなくなります\nアップデートしてもよろしいですか？";
const char kPleaseWait[] = "しばらくお待ちください…";
const char kCompleted[] = "アップデート完了しました。";
const char kNoMemory[] = "メモリの確保に失敗しました。";
const char kNoInstallFolder[] = "インストール先のフォルダが分からないため、アップデートできません。";

std::string CreateFailed(const std::string& name) {
  return "『" + name + "』　ファイルを作成できません、アップデートに失敗しました。";
}

// install.log: a 32-bit little-endian count, then NUL-terminated names.
std::string LogBytes(uint32_t count, const std::vector<std::string>& names) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += (char)((count >> (8 * i)) & 0xFF);
  for (const std::string& name : names) bytes += name + std::string(1, '\0');
  return bytes;
}

// A tree as a table: relative name -> contents; a name ending in "\" is an empty folder.
using Tree = std::map<std::string, std::string>;

Tree Merge(Tree base, const Tree& changes) {
  for (const auto& entry : changes) base[entry.first] = entry.second;
  return base;
}

void MakeTreeFrom(const std::string& root, const Tree& tree) {
  MakeTree(root, std::vector<std::pair<std::string, std::string>>(tree.begin(), tree.end()));
}

// Every backslash of a name that separates folders (by characters of code page 932).
std::vector<size_t> Separators(const std::string& name) {
  std::vector<size_t> at;
  for (size_t i = 0; i < name.size(); ++i) {
    if (IsDBCSLeadByte((unsigned char)name[i])) {
      ++i;
      continue;
    }
    if (name[i] == '\\') at.push_back(i);
  }
  return at;
}

// The table as SnapshotTree reports it: every folder on the way appears as "folder\".
TreeSnapshot Expand(const Tree& tree) {
  TreeSnapshot out;
  for (const auto& entry : tree) {
    for (size_t cut : Separators(entry.first)) out[entry.first.substr(0, cut + 1)] = "<dir>";
    if (entry.first.empty() || entry.first.back() != '\\') out[entry.first] = entry.second;
  }
  return out;
}

std::string Leaf(const std::string& path) {
  size_t cut = LastSeparator(path);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string ParentOf(const std::string& path) {
  size_t cut = LastSeparator(path);
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

// The names directly inside a folder.
std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = entry.cFileName;
    if (name != "." && name != "..") names.insert(name);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return names;
}

// What the dialog shows while a message box is up.
enum Phase {
  kReady,     // before the run: both buttons enabled, the installed text
  kRunning,   // inside the record loop: both disabled, the wait text
  kFinished,  // after the loop: both disabled, the status line cleared
};

struct Step {
  enum Kind { kBox, kPressRun, kPressCancel } kind = kBox;
  Phase phase = kRunning;
  std::string text;
  bool question = false;  // Yes/No instead of OK alone
  int answer = IDOK;
};

Step Box(Phase phase, const std::string& text) {
  Step step;
  step.phase = phase;
  step.text = text;
  return step;
}
Step Ask(int answer) {
  Step step = Box(kReady, kQuestion);
  step.question = true;
  step.answer = answer;
  return step;
}
Step PressRunAgain() {
  Step step;
  step.kind = Step::kPressRun;
  return step;
}
Step PressCancel() {
  Step step;
  step.kind = Step::kPressCancel;
  return step;
}
const Step kDone = Box(kFinished, kCompleted);

// Where a scenario lives. By default C:\tavrel_tests\<case>\Games\Game, registered as it is,
// with its backup folder beside it; the update program lies in C:\tavrel_tests\<case>.
struct Layout {
  std::string base;
  std::string install;    // the install folder on disk
  std::string pathValue;  // the registry value "Path"
  bool hasPath = true;    // false: the product key holds no "Path" value
  std::string backup;     // where the backup folder must (or must not) appear
};

struct Scenario {
  std::string name;
  Tree install;          // the install folder before the run
  bool hasBackup = false;
  Tree backup;           // the backup folder before the run, when hasBackup
  uint8_t saveWarning = 0;
  std::string version = "1.02";
  std::string productKey = "Game";
  std::vector<PackageRecord> records;
  std::vector<std::string> holdOpen;  // install files that another process holds, share mode 0
  std::vector<Step> script;           // after the first press of 実行
  Tree installAfter;
  bool backupAfter = false;
  Tree backupAfterTree;
};

Layout DefaultLayout(const Scenario& s) {
  Layout layout;
  layout.base = FreshTestDir(s.name);
  layout.install = layout.base + "\\Games\\" + s.productKey;
  layout.pathValue = layout.install;
  std::string suffix = s.version.empty() ? "_old" : "_old(" + s.version + ")";
  layout.backup = layout.base + "\\Games\\" + s.productKey + suffix;
  return layout;
}

const std::string kExe = "exe 1.01";
const std::string kA = "a 1.01";
const std::string kB = "b 1.01";
const std::string kLog = LogBytes(3, {"GAME.EXE", "DATA\\A.DAT", "DATA\\SUB\\B.DAT"});

// An installed game: its program, data, a subfolder and install.log with three entries.
Tree Installed() {
  return {{"GAME.EXE", kExe}, {"DATA\\A.DAT", kA}, {"DATA\\SUB\\B.DAT", kB}, {"install.log", kLog}};
}
// Save data: files and a subfolder (with a file that does not match *.SAV).
Tree SaveData() {
  return {{"SAV\\SAVE1.SAV", "save one"},
          {"SAV\\SAVE2.SAV", "save two"},
          {"SAV\\SUB\\DEEP.SAV", "deep save"},
          {"SAV\\SUB\\NOTE.TXT", "note"}};
}
Tree InstalledWithSave() { return Merge(Installed(), SaveData()); }

PackageRecord EmptyRecord(const std::string& name) {
  PackageRecord record;
  record.name = name;
  return record;
}

class UpdateRun : public ::testing::Test {
 protected:
  void SetUp() override { UnregisterVendor("TavrelTest"); }
  void TearDown() override { UnregisterVendor("TavrelTest"); }

  // Sets up the install folder and the backup folder, registers the product, runs the update
  // through the script and compares everything afterwards.
  void Run(const Scenario& s, const Layout& layout) {
    SCOPED_TRACE(s.name);
    MakeTreeFrom(layout.install, s.install);
    if (s.hasBackup) MakeTreeFrom(layout.backup, s.backup);
    ASSERT_TRUE(layout.hasPath ? RegisterProduct("TavrelTest", s.productKey, layout.pathValue)
                               : RegisterProductWithoutPath("TavrelTest", s.productKey));
    PackageContents contents = SamplePackage();
    contents.version = s.version;
    contents.productKey = s.productKey;
    contents.saveWarning = s.saveWarning;
    contents.records = s.records;
    std::string exe = WriteUpdate(layout.base, contents);

    std::vector<HANDLE> held;
    for (const std::string& name : s.holdOpen) {
      HANDLE file = CreateFileA((layout.install + "\\" + name).c_str(), GENERIC_READ, 0, NULL,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
      ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
      held.push_back(file);
    }
    std::string parent = ParentOf(layout.install);
    std::set<std::string> parentBefore = Entries(parent);
    std::set<std::string> rootBefore = Entries("C:");

    {
      UpdaterSession updater(exe, "", layout.base);
      ASSERT_NE(updater.WaitForFrame(), (HWND)NULL);
      ExpectPhase(updater, kReady);
      ASSERT_TRUE(updater.Press(IDOK));
      HWND last = NULL;
      for (size_t i = 0; i < s.script.size(); ++i) {
        const Step& step = s.script[i];
        SCOPED_TRACE("step " + std::to_string(i));
        if (step.kind != Step::kBox) {
          ASSERT_TRUE(updater.WaitForNoMessageBox());
          ASSERT_TRUE(updater.WaitUntil([&] { return updater.IsButtonEnabled(IDOK); }));
          ExpectPhase(updater, kReady);
          ASSERT_TRUE(updater.Press(step.kind == Step::kPressRun ? IDOK : IDCANCEL));
          continue;
        }
        MessageBoxSeen box = updater.WaitForMessageBox(10000, last);
        ASSERT_TRUE(box.found()) << "no message box: " << step.text;
        EXPECT_EQ(box.caption, "Tavrel_Update");
        EXPECT_EQ(box.text, step.text);
        EXPECT_EQ(box.ok, !step.question);
        EXPECT_EQ(box.yes, step.question);
        EXPECT_EQ(box.no, step.question);
        EXPECT_FALSE(box.cancel);
        ExpectPhase(updater, step.phase);
        ASSERT_TRUE(updater.Answer(box, step.answer));
        last = box.window;
      }
      DWORD code = updater.WaitForExit(8000);
      if (code == STILL_ACTIVE) {
        MessageBoxSeen extra = updater.WaitForMessageBox(0, last);
        ADD_FAILURE() << "the updater still runs; box shown: " << extra.text;
      }
      EXPECT_EQ(code, 0u);
    }
    for (HANDLE file : held) CloseHandle(file);

    EXPECT_EQ(SnapshotTree(layout.install), Expand(s.installAfter)) << "install folder";
    if (s.backupAfter)
      EXPECT_EQ(SnapshotTree(layout.backup), Expand(s.backupAfterTree)) << "backup folder";
    else
      EXPECT_FALSE(DirExists(layout.backup)) << "a backup folder appeared: " << layout.backup;
    // Nothing else beside the install folder; nothing new in the drive's root.
    std::set<std::string> parentAfter = Entries(parent);
    std::set<std::string> expectedParent = parentBefore;
    if (s.backupAfter && ParentOf(layout.backup) == parent) expectedParent.insert(Leaf(layout.backup));
    EXPECT_EQ(parentAfter, expectedParent) << "beside the install folder: " << parent;
    if (parent != "C:") {
      std::set<std::string> rootAfter = Entries("C:");
      EXPECT_EQ(rootAfter, rootBefore) << "in the root of C:";
    }
  }

  void Run(const Scenario& s) { Run(s, DefaultLayout(s)); }

  static void ExpectPhase(UpdaterSession& updater, Phase phase) {
    bool enabled = phase == kReady;
    EXPECT_EQ(updater.IsButtonEnabled(IDOK), enabled) << "実行";
    EXPECT_EQ(updater.IsButtonEnabled(IDCANCEL), enabled) << "キャンセル";
    const char* status = phase == kReady ? kInstalledText : phase == kRunning ? kPleaseWait : "";
    EXPECT_EQ(updater.StatusText(), status);
  }
};

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
