#include "update/apply_records.h"

#include "app/globals.h"
#include "install/install_log.h"
#include "package/package_format.h"
#include "package/package_reader.h"
#include "ui/update_dialog.h"
#include "update/folder_tree.h"
#include "update/path_walk.h"

namespace {

const char kPleaseWaitText[] = "しばらくお待ちください…";
const char kCreateFailedFormat[] = "『%s』　ファイルを作成できません、アップデートに失敗しました。";
const char kNoMemoryText[] = "メモリの確保に失敗しました。";
const char kCompletedText[] = "アップデート完了しました。";

// Copies the existing target to backupDir\name, creating the backup folder and the record's
// folders inside it on the way. Failures pass: the record is then overwritten without a copy.
void CopyToBackup(const TextBuffer& backupDir, const char* name, const char* target) {
  TextBuffer backupPath;
  if (!backupDir[0] || !FormatText(backupPath, "%s\\%s", backupDir, name)) return;
  CreateFoldersAlong(backupPath, lstrlenA(backupDir));
  CopyFileA(target, backupPath, FALSE);
}

// Writes one record's data to target. The block comes before the target is opened, so that a
// failed allocation never empties an existing file.
enum RecordResult { kWritten, kNoMemory, kCannotCreate, kWriteFailed };

RecordResult WriteRecord(const char* name, const char* target, DWORD size, bool isNew) {
  HGLOBAL block = GlobalAlloc(GHND, size);
  void* data = block ? GlobalLock(block) : NULL;
  if (!data) {
    if (block) GlobalFree(block);
    return kNoMemory;
  }
  HANDLE file = CreateFileA(target, GENERIC_WRITE, FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                            FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    GlobalUnlock(block);
    GlobalFree(block);
    return kCannotCreate;
  }
  bool complete = ReadPackage(data, size);
  complete = complete && WriteFile(file, data, size, &g_bytesRead, NULL) && g_bytesRead == size;
  GlobalUnlock(block);
  GlobalFree(block);
  if (complete && isNew) AppendToInstallLog(name);
  complete = FlushFileBuffers(file) && complete;
  CloseHandle(file);
  if (complete) return kWritten;
  // A file that did not exist before must not stay behind half written.
  if (isNew) DeleteFileA(target);
  return kWriteFailed;
}

}  // namespace

void ShowCreateFailure(const char* recordName) {
  TextBuffer message;
  // Record names are at most 199 bytes and the fixed text takes 60, so the message fits.
  FormatText(message, kCreateFailedFormat, recordName);
  MessageBoxA(g_frameWindow, message, kProgramName, MB_OK | MB_ICONWARNING);
}

void ApplyRecords(HWND dialog, BackupMode mode, const TextBuffer& backupDir) {
  EnableWindow(GetDlgItem(dialog, kRunButton), FALSE);
  EnableWindow(GetDlgItem(dialog, kCancelButton), FALSE);
  SetDlgItemTextA(dialog, kStatusLine, kPleaseWaitText);

  bool succeeded = true;
  bool backups = mode != NoSaveData && backupDir[0];
  for (;;) {
    TextBuffer name, target;
    DWORD size = 0;
    Sleep(1);
    bool whole = ReadPackage(name, kRecordNameSize);
    if (g_bytesRead == 0) break;  // the package is exhausted
    name[kRecordNameSize - 1] = 0;
    Sleep(1);
    whole = whole && ReadPackage(&size, sizeof size);
    RecordResult result = kWriteFailed;
    if (whole && FormatText(target, "%s\\%s", g_installDir, name)) {
      bool isNew = GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES;
      if (!isNew && backups) CopyToBackup(backupDir, name, target);
      result = WriteRecord(name, target, size, isNew);
    }
    if (result == kNoMemory) {
      MessageBoxA(g_frameWindow, kNoMemoryText, kProgramName, MB_OK | MB_ICONWARNING);
      succeeded = false;
    } else if (result != kWritten) {
      ShowCreateFailure(name);
      succeeded = false;
      if (backups) CopyTree(backupDir, g_installDir, "", true);
      break;
    }
    Sleep(1);
    if (!succeeded) break;
  }

  SetDlgItemTextA(dialog, kStatusLine, "");
  if (succeeded) MessageBoxA(g_frameWindow, kCompletedText, kProgramName, MB_OK | MB_ICONINFORMATION);
  DestroyWindow(g_frameWindow);
}
