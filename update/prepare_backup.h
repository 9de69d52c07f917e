// The save-data guard: looks for save data, asks when the update makes it unusable, chooses the
// backup mode and names the backup folder beside the install folder.
#ifndef TAVREL_PREPARE_BACKUP_H
#define TAVREL_PREPARE_BACKUP_H

#include "app/text_buffer.h"

enum BackupMode : unsigned char {
  NoSaveData = 0,       // no save data: replaced files are overwritten without a copy
  SaveDataCleared = 1,  // save data moved away (or deleted), replaced files copied first
  SaveDataKept = 3,     // save data left alone, replaced files copied first
};

// True when the install folder's SAV folder holds an entry matching "*.SAV".
bool SaveDataPresent();
// "<parent>\<productKey>_old(<version>)", or "..._old" without a version; the parent is the
// install folder up to its last backslash. False (backupDir empty) when there is no parent or
// the name does not fit.
bool NameBackupDir(TextBuffer& backupDir);
// Decides the mode and, in SaveDataCleared, moves or deletes the save folder and leaves it
// empty. False when the user declines the question: nothing has been changed then.
bool PrepareBackup(BackupMode& mode, TextBuffer& backupDir);

#endif
