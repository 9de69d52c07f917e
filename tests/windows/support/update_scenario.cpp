#include "tests/windows/support/update_scenario.h"

#include "tests/windows/support/test_files.h"
#include "tests/windows/support/test_registry.h"
#include "tests/windows/support/test_update.h"
#include "tests/windows/support/updater_driver.h"

const char kInstalledText[] = "アップデートの準備ができました";
const char kQuestion[] =
    "アップデートすると現在のセーブデータは使えなくなります\nアップデートしてもよろしいですか？";
const char kPleaseWait[] = "しばらくお待ちください…";
const char kCompleted[] = "アップデート完了しました。";
const char kNoMemory[] = "メモリの確保に失敗しました。";

std::string CreateFailed(const std::string& name) {
  return "『" + name + "』　ファイルを作成できません、アップデートに失敗しました。";
}

std::string LogBytes(uint32_t count, const std::vector<std::string>& names) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += (char)((count >> (8 * i)) & 0xFF);
  for (const std::string& name : names) bytes += name + std::string(1, '\0');
  return bytes;
}

Tree Merge(Tree base, const Tree& changes) {
  for (const auto& entry : changes) base[entry.first] = entry.second;
  return base;
}

void MakeTreeFrom(const std::string& root, const Tree& tree) {
  MakeTree(root, std::vector<std::pair<std::string, std::string>>(tree.begin(), tree.end()));
}

namespace {

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

}  // namespace

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

std::set<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names = FolderEntries(folder);
  return std::set<std::string>(names.begin(), names.end());
}

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

Tree Installed() {
  return {{"GAME.EXE", kExe}, {"DATA\\A.DAT", kA}, {"DATA\\SUB\\B.DAT", kB}, {"install.log", kLog}};
}
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

void UpdateScenarioTest::SetUp() { UnregisterVendor("TavrelTest"); }
void UpdateScenarioTest::TearDown() { UnregisterVendor("TavrelTest"); }

std::string UpdateScenarioTest::Prepare(const Scenario& s, const Layout& layout) {
  bool ready = true;
  MakeTreeFrom(layout.install, s.install);
  if (s.hasBackup) MakeTreeFrom(layout.backup, s.backup);
  if (!s.fileInPlaceOfBackup.empty()) {
    MakeDirs(ParentOf(layout.backup));
    ready &= WriteFileText(layout.backup, s.fileInPlaceOfBackup);
    EXPECT_TRUE(ready) << layout.backup;
  }
  for (const std::string& name : s.readOnly) {
    bool done = SetFileAttributesA((layout.install + "\\" + name).c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(done) << name;
    ready &= done;
  }
  bool registered = layout.hasPath ? RegisterProduct("TavrelTest", s.productKey, layout.pathValue)
                                   : RegisterProductWithoutPath("TavrelTest", s.productKey);
  EXPECT_TRUE(registered);
  if (!ready || !registered) return "";
  PackageContents contents = SamplePackage();
  contents.version = s.version;
  contents.productKey = s.productKey;
  contents.saveWarning = s.saveWarning;
  contents.records = s.records;
  return WriteUpdate(layout.base, contents);
}

void UpdateScenarioTest::Run(const Scenario& s, const Layout& layout) {
  SCOPED_TRACE(s.name);
  std::string exe = Prepare(s, layout);
  ASSERT_FALSE(exe.empty());

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
  if (!s.fileInPlaceOfBackup.empty()) {
    bool exists = false;
    EXPECT_EQ(ReadFileText(layout.backup, &exists), s.fileInPlaceOfBackup) << layout.backup;
    EXPECT_TRUE(exists && FileExists(layout.backup)) << "the file beside the install folder";
  } else if (s.backupAfter) {
    EXPECT_EQ(SnapshotTree(layout.backup), Expand(s.backupAfterTree)) << "backup folder";
  } else {
    EXPECT_FALSE(DirExists(layout.backup)) << "a backup folder appeared: " << layout.backup;
  }
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

void UpdateScenarioTest::ExpectPhase(UpdaterSession& updater, Phase phase) {
  bool enabled = phase == kReady;
  EXPECT_EQ(updater.IsButtonEnabled(IDOK), enabled) << "実行";
  EXPECT_EQ(updater.IsButtonEnabled(IDCANCEL), enabled) << "キャンセル";
  const char* status = phase == kReady ? kInstalledText : phase == kRunning ? kPleaseWait : "";
  EXPECT_EQ(updater.StatusText(), status);
}
