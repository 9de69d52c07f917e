// The body of the update: every file record of the package, in package order, written into the
// install folder, with backup copies of replaced files and roll-back on failure.
#ifndef TAVREL_APPLY_RECORDS_H
#define TAVREL_APPLY_RECORDS_H

#include <windows.h>

#include "update/prepare_backup.h"

// Applies the records from g_packageFile's position to the end, reports the outcome and ends
// the program by destroying the frame window.
void ApplyRecords(HWND dialog, BackupMode mode, const TextBuffer& backupDir);

// The create-failure message for a record; also used when a record's paths would not fit.
void ShowCreateFailure(const char* recordName);

#endif
