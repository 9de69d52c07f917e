#include "update/update_run.h"

#include "app/globals.h"
#include "package/package_reader.h"
#include "ui/update_dialog.h"
#include "update/apply_records.h"
#include "update/path_walk.h"
#include "update/prepare_backup.h"

namespace {

const char kNoInstallFolderText[] =
    "インストール先のフォルダが分からないため、アップデートできません。";

struct PathCheck {
  const char* backupDir;  // empty when the run will make no backup copies
  bool backupUnnamed;     // a backup folder is needed but its name does not fit
  TextBuffer firstMisfit;
};

// Every path the run composes for a record must fit its 260-byte buffer.
bool RecordFits(void* context, const char* name) {
  PathCheck* check = (PathCheck*)context;
  TextBuffer path;
  bool fits = !check->backupUnnamed && FormatText(path, "%s\\%s", g_installDir, name) &&
              (!check->backupDir[0] || FormatText(path, "%s\\%s", check->backupDir, name));
  if (!fits) FormatText(check->firstMisfit, "%s", name);
  return fits;
}

// Ends the program after a refusal that has been shown.
void EndRun() { DestroyWindow(g_frameWindow); }

}  // namespace

void RunUpdate(HWND dialog) {
  // Without a known install folder the target paths would fall under a drive's root.
  if (LastBackslash(g_installDir) < 0) {
    MessageBoxA(g_frameWindow, kNoInstallFolderText, kProgramName, MB_OK | MB_ICONWARNING);
    EndRun();
    return;
  }

  // Check every path before anything is moved, deleted or written. A record that would not
  // fit is named in the create-failure message; "SAV" stands for the save folder itself.
  TextBuffer backupDir, savePath;
  backupDir[0] = 0;
  PathCheck check;
  check.backupDir = backupDir;
  check.firstMisfit[0] = 0;
  bool probeFits = FormatText(savePath, "%s\\SAV\\*.SAV", g_installDir);
  bool needsBackup = probeFits && SaveDataPresent();
  check.backupUnnamed =
      needsBackup && !(NameBackupDir(backupDir) && FormatText(savePath, "%s\\SAV", backupDir));
  if (!probeFits) {
    ShowCreateFailure("SAV");
    EndRun();
    return;
  }
  if (!ForEachRecordAhead(g_selfPath, RecordFits, &check)) {
    if (check.firstMisfit[0]) {
      ShowCreateFailure(check.firstMisfit);
    } else {
      MessageBoxA(g_frameWindow, kReadFailedText, kProgramName, MB_OK | MB_ICONWARNING);
    }
    EndRun();
    return;
  }
  if (check.backupUnnamed) {  // no records, but the save folder has nowhere to go
    ShowCreateFailure("SAV");
    EndRun();
    return;
  }

  BackupMode mode;
  if (!PrepareBackup(mode, backupDir)) return;  // declined: the dialog waits again
  ApplyRecords(dialog, mode, backupDir);
}
