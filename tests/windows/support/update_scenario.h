// One update run through the real program, described as a table: the install folder and the
// backup folder before, the package's records, what the user meets after pressing 実行 (message
// boxes, answers, further presses), and both folders afterwards, compared byte for byte.
#ifndef TAVREL_UPDATE_SCENARIO_H
#define TAVREL_UPDATE_SCENARIO_H

#include <gtest/gtest.h>
#include <stdint.h>
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "package/package_writer.h"

class UpdaterSession;

extern const char kInstalledText[];
extern const char kQuestion[];
extern const char kPleaseWait[];
extern const char kCompleted[];
extern const char kNoMemory[];
// The create-failure message for a record name.
std::string CreateFailed(const std::string& name);

// install.log: a 32-bit little-endian count, then NUL-terminated names.
std::string LogBytes(uint32_t count, const std::vector<std::string>& names);

// A tree as a table: relative name -> contents; a name ending in "\" is an empty folder.
using Tree = std::map<std::string, std::string>;
Tree Merge(Tree base, const Tree& changes);
void MakeTreeFrom(const std::string& root, const Tree& tree);
// The table as SnapshotTree reports it: every folder on the way appears as "folder\".
std::map<std::string, std::string> Expand(const Tree& tree);

std::string Leaf(const std::string& path);      // after the last backslash
std::string ParentOf(const std::string& path);  // before it; "" when there is none
std::set<std::string> Entries(const std::string& folder);  // names directly inside

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
Step Box(Phase phase, const std::string& text);
Step Ask(int answer);
Step PressRunAgain();
Step PressCancel();
extern const Step kDone;  // the completion message

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
  // When not empty: a plain file of these bytes stands where the backup folder would be, so
  // that no backup folder can be made. It must be unchanged afterwards.
  std::string fileInPlaceOfBackup;
  uint8_t saveWarning = 0;
  std::string version = "1.02";
  std::string productKey = "Game";
  std::vector<PackageRecord> records;
  std::vector<std::string> holdOpen;  // install files that another process holds, share mode 0
  std::vector<std::string> readOnly;  // install files given the read-only attribute
  std::vector<Step> script;           // after the first press of 実行
  Tree installAfter;
  bool backupAfter = false;
  Tree backupAfterTree;
};

Layout DefaultLayout(const Scenario& s);

extern const std::string kExe, kA, kB, kLog;  // the installed files' contents
// An installed game: its program, data, a subfolder and install.log with three entries.
Tree Installed();
// Save data: files and a subfolder (with a file that does not match *.SAV).
Tree SaveData();
Tree InstalledWithSave();
PackageRecord EmptyRecord(const std::string& name);

class UpdateScenarioTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Sets up the install folder and the backup folder, registers the product, runs the update
  // through the script and compares everything afterwards.
  void Run(const Scenario& s, const Layout& layout);
  void Run(const Scenario& s) { Run(s, DefaultLayout(s)); }

  // Everything of Run before 実行 is pressed: folders, registration, the update program.
  // Returns the program's path, or "" (with the failure reported) when something failed.
  static std::string Prepare(const Scenario& s, const Layout& layout);
  static void ExpectPhase(UpdaterSession& updater, Phase phase);
};

#endif
