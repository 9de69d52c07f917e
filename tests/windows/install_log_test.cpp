// AppendToInstallLog on real install folders: which log receives a new file's name, what it
// holds afterwards, and that nothing else in the folder changes.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/text_buffer.h"
#include "install/install_log.h"
#include "tests/windows/support/test_files.h"

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

// A log's bytes: the 32-bit little-endian count, then each name and its NUL.
std::string Log(unsigned count, const std::vector<std::string>& names = {}) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += (char)((count >> (8 * i)) & 0xFF);
  for (const std::string& name : names) bytes += name + std::string(1, '\0');
  return bytes;
}

void SetInstallDir(const std::string& dir) {
  ASSERT_TRUE(FormatText(g_installDir, "%s", dir.c_str())) << dir;
}

struct LogCase {
  const char* what;
  Files before;                    // the install folder's files
  std::vector<std::string> added;  // names handed to AppendToInstallLog, in order
  Files changed;                   // files whose contents differ afterwards; all else unchanged
};

class InstallLogTest : public testing::TestWithParam<LogCase> {};

TEST_P(InstallLogTest, LogsIntoTheRightLogAndNothingElse) {
  const LogCase& c = GetParam();
  std::string dir = FreshTestDir("install_log");
  MakeTree(dir, c.before);
  TreeSnapshot expected = SnapshotTree(dir);
  for (const auto& file : c.changed) expected[file.first] = file.second;
  SetInstallDir(dir);
  for (const std::string& name : c.added) AppendToInstallLog(name.c_str());
  EXPECT_EQ(SnapshotTree(dir), expected);
}

const std::string kBin = "GAME.EXE";

INSTANTIATE_TEST_SUITE_P(
    Cases, InstallLogTest,
    testing::Values(
        LogCase{"count 5 becomes 6, the name and a NUL follow the old entries",
                {{"install.log", Log(5, {"GAME.EXE", "SAV", "DATA", "DATA\\A.BIN", "README"})},
                 {"DATA\\OLD.BIN", "old"}},
                {"DATA\\FILE1.BIN"},
                {{"install.log", Log(6, {"GAME.EXE", "SAV", "DATA", "DATA\\A.BIN", "README",
                                         "DATA\\FILE1.BIN"})}}},
        LogCase{"two new files: count up by two, names in order",
                {{"install.log", Log(2, {"A", "B"})}},
                {"DATA\\X.BIN", "Y.BIN"},
                {{"install.log", Log(4, {"A", "B", "DATA\\X.BIN", "Y.BIN"})}}},
        LogCase{"the count carries into its higher bytes",
                {{"install.log", Log(0x1FF)}},
                {"F.BIN"},
                {{"install.log", Log(0x200, {"F.BIN"})}}},
        LogCase{"no log in the install folder: the one in DATA, under the full name",
                {{"DATA\\install.log", Log(1, {"X"})}, {"DATA\\SUB\\G.BIN", "g"}},
                {"DATA\\SUB\\F.BIN"},
                {{"DATA\\install.log", Log(2, {"X", "DATA\\SUB\\F.BIN"})}}},
        LogCase{"logs in DATA and DATA\\SUB: the shallower one wins",
                {{"DATA\\install.log", Log(7)}, {"DATA\\SUB\\install.log", Log(9)}},
                {"DATA\\SUB\\F.BIN"},
                {{"DATA\\install.log", Log(8, {"DATA\\SUB\\F.BIN"})}}},
        LogCase{"only the deepest folder on the path has one",
                {{"A\\B\\C\\install.log", Log(0)}},
                {"A\\B\\C\\F.BIN"},
                {{"A\\B\\C\\install.log", Log(1, {"A\\B\\C\\F.BIN"})}}},
        LogCase{"logs in folders off the path, or as the file's own name, are not searched",
                {{"OTHER\\install.log", Log(3)},
                 {"DATA\\SUB\\F.BIN\\install.log", Log(3)},
                 {"DATAX\\install.log", Log(3)}},
                {"DATA\\SUB\\F.BIN", "G.BIN"},
                {}},
        LogCase{"no log anywhere: nothing written, no log made",
                {{"DATA\\SUB\\OLD.BIN", "old"}},
                {"DATA\\SUB\\F.BIN", "F.BIN"},
                {}},
        // Shorter than its count: the missing high bytes count as zero, the present ones stay
        // as the count's low bytes, and the name follows the full four bytes.
        LogCase{"an empty log",
                {{"install.log", ""}},
                {"F.BIN"},
                {{"install.log", Log(1, {"F.BIN"})}}},
        LogCase{"a one-byte log",
                {{"install.log", std::string("\x05", 1)}},
                {"F.BIN"},
                {{"install.log", Log(6, {"F.BIN"})}}},
        LogCase{"a three-byte log",
                {{"install.log", std::string("\x05\x01\x02", 3)}},
                {"F.BIN"},
                {{"install.log", Log(0x020106, {"F.BIN"})}}},
        // Each "ソ" (83 5C) and "表" (95 5C) ends in a backslash byte. A walk by bytes would cut
        // the name there and compose the decoy's path ("<folder>\表install.log" and the like).
        LogCase{"a folder named 表",
                {{"表install.log", Log(0)}, {"表\\install.log", Log(1)}},
                {"表\\F.BIN"},
                {{"表\\install.log", Log(2, {"表\\F.BIN"})}}},
        LogCase{"a folder named ソフト below DATA",
                {{"DATA\\ソinstall.log", Log(0)}, {"DATA\\ソフト\\install.log", Log(0)}},
                {"DATA\\ソフト\\F.BIN"},
                {{"DATA\\ソフト\\install.log", Log(1, {"DATA\\ソフト\\F.BIN"})}}},
        LogCase{"double-byte names in both folders of the path",
                {{"表示\\ソinstall.log", Log(0)}, {"表示\\ソ\\install.log", Log(4)}},
                {"表示\\ソ\\表.BIN"},
                {{"表示\\ソ\\install.log", Log(5, {"表示\\ソ\\表.BIN"})}}}),
    [](const testing::TestParamInfo<LogCase>& info) {
      return "Case" + std::to_string(info.index);
    });

TEST(InstallLogHeld, LogHeldOpenWithoutSharingIsLeftAlone) {
  std::string dir = FreshTestDir("install_log_held");
  MakeTree(dir, {{"install.log", Log(5, {"A"})}});
  TreeSnapshot before = SnapshotTree(dir);
  SetInstallDir(dir);
  std::string logPath = dir + "\\install.log";
  HANDLE holder = CreateFileA(logPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  AppendToInstallLog("DATA\\F.BIN");
  CloseHandle(holder);
  EXPECT_EQ(SnapshotTree(dir), before);
  // Released again, the same log takes the next name.
  AppendToInstallLog("G.BIN");
  EXPECT_EQ(ReadFileText(logPath), Log(6, {"A", "G.BIN"}));
}

// A log whose path needs exactly `logPathLength` bytes: logged up to 259, skipped from 260 on.
// The skipped cases also hold a decoy where the path cut to 259 bytes would point.
TEST(InstallLogLongPaths, CandidateThatDoesNotFitIsSkipped) {
  struct Case {
    int logPathLength;
    bool logged;
  } cases[] = {{258, true}, {259, true}, {260, false}, {300, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.logPathLength);
    std::string root = FreshTestDir("install_log_long");
    std::string dir = root + "\\" + std::string(200 - root.size() - 1, 'x');
    ASSERT_TRUE(MakeDirs(dir));
    std::string folder(c.logPathLength - dir.size() - 1 - 12, 'D');
    std::string logPath = dir + "\\" + folder + "\\install.log";
    ASSERT_EQ((int)logPath.size(), c.logPathLength);
    ASSERT_TRUE(MakeLongDir(dir + "\\" + folder));
    ASSERT_TRUE(WriteLongFile(logPath, Log(1)));
    std::string decoy = logPath.substr(0, 259);
    if (!c.logged) {
      ASSERT_TRUE(WriteLongFile(decoy, Log(1)));
    }
    SetInstallDir(dir);
    std::string name = folder + "\\F.BIN";
    AppendToInstallLog(name.c_str());
    EXPECT_EQ(ReadLongFile(logPath), c.logged ? Log(2, {name}) : Log(1));
    if (!c.logged) {
      EXPECT_EQ(ReadLongFile(decoy), Log(1));
    }
    EXPECT_FALSE(FileExists(dir + "\\install.log"));
  }
}

}  // namespace
