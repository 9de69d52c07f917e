#include "update/prepare_backup.h"

#include "app/globals.h"
#include "update/folder_tree.h"
#include "update/path_walk.h"

namespace {
const char kClearSaveDataQuestion[] =
    "アップデートすると現在のセーブデータは使えなくなります\nアップデートしてもよろしいですか？";
}

bool SaveDataPresent() {
  TextBuffer probe;
  if (!FormatText(probe, "%s\\SAV\\*.SAV", g_installDir)) return false;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(probe, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

bool NameBackupDir(TextBuffer& backupDir) {
  TextBuffer parent;
  int cut = LastBackslash(g_installDir);
  if (cut < 0 || !CopyTextPart(parent, g_installDir, cut)) {
    backupDir[0] = 0;
    return false;
  }
  if (g_version[0]) return FormatText(backupDir, "%s\\%s_old(%s)", parent, g_productKey, g_version);
  return FormatText(backupDir, "%s\\%s_old", parent, g_productKey);
}

bool PrepareBackup(BackupMode& mode, TextBuffer& backupDir) {
  backupDir[0] = 0;
  if (!SaveDataPresent()) {
    mode = NoSaveData;
    return true;
  }
  if (!g_saveWarning) {
    mode = SaveDataKept;
    NameBackupDir(backupDir);
    return true;
  }
  if (MessageBoxA(g_frameWindow, kClearSaveDataQuestion, kProgramName,
                  MB_YESNO | MB_ICONINFORMATION) != IDYES)
    return false;
  mode = SaveDataCleared;
  TextBuffer backupSave, installSave;
  // Without a place for the save data it is left where it is rather than lost.
  if (!NameBackupDir(backupDir) || !FormatText(backupSave, "%s\\SAV", backupDir) ||
      !FormatText(installSave, "%s\\SAV", g_installDir))
    return true;
  DWORD backupAttributes = GetFileAttributesA(backupDir);
  if (backupAttributes == INVALID_FILE_ATTRIBUTES) {
    CreateDirectoryA(backupDir, NULL);
    CopyTree(installSave, backupSave, "", false);
  } else if (backupAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    DeleteTree(installSave, "");
  }
  // A file under the backup folder's name holds no copy of anything: deleting the save data
  // would lose it, and it cannot be moved there, so it stays where it is.
  CreateDirectoryA(installSave, NULL);
  return true;
}
