// What "実行" does: the save-data guard, then every file record of the package.
#ifndef TAVREL_UPDATE_RUN_H
#define TAVREL_UPDATE_RUN_H

#include <windows.h>

// Runs the update from the dialog's 実行 command. Returns only when the user declines the
// save-data question; every other outcome destroys the frame window.
void RunUpdate(HWND dialog);

#endif
