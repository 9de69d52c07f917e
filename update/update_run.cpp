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

// Every entry below the install folder's save folder, from relative down, must also fit below
// backupSave, where moving the save data puts it; so must the listing patterns on the way.
bool SaveTreeFits(const char* backupSave, const char* relative) {
  TextBuffer pattern, entryRelative, dest;
  bool composed = relative[0] ? FormatText(pattern, "%s\\SAV\\%s\\*.*", g_installDir, relative)
                              : FormatText(pattern, "%s\\SAV\\*.*", g_installDir);
  if (!composed) return false;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA(pattern, &entry);
  if (find == INVALID_HANDLE_VALUE) return true;  // nothing there to move
  bool fits = true;
  do {
    const char* name = entry.cFileName;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    fits = (relative[0] ? FormatText(entryRelative, "%s\\%s", relative, name)
                        : FormatText(entryRelative, "%s", name)) &&
           FormatText(dest, "%s\\%s", backupSave, entryRelative);
    if (fits && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      fits = SaveTreeFits(backupSave, entryRelative);
  } while (fits && FindNextFileA(find, &entry));
  FindClose(find);
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
  TextBuffer backupDir, savePath, backupSave;
  backupDir[0] = 0;
  PathCheck check;
  check.backupDir = backupDir;
  check.firstMisfit[0] = 0;
  bool probeFits = FormatText(savePath, "%s\\SAV\\*.SAV", g_installDir);
  bool needsBackup = probeFits && SaveDataPresent();
  check.backupUnnamed =
      needsBackup && !(NameBackupDir(backupDir) && FormatText(backupSave, "%s\\SAV", backupDir));
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
  // Save data that the run may move into a new backup folder must fit there whole: a move cut
  // short would leave part of it behind in a save folder that the update makes unusable.
  bool saveUnmovable = check.backupUnnamed ||
                       (needsBackup && g_saveWarning &&
                        GetFileAttributesA(backupDir) == INVALID_FILE_ATTRIBUTES &&
                        !SaveTreeFits(backupSave, ""));
  if (saveUnmovable) {  // the save folder has nowhere to go
    ShowCreateFailure("SAV");
    EndRun();
    return;
  }

  BackupMode mode;
  if (!PrepareBackup(mode, backupDir)) return;  // declined: the dialog waits again
  ApplyRecords(dialog, mode, backupDir);
}
