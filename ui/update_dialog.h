// The update dialog: the program's whole user interface, a modeless child of the frame window.
#ifndef TAVREL_UPDATE_DIALOG_H
#define TAVREL_UPDATE_DIALOG_H

#include <windows.h>

// Control identifiers of the MAIN_MENU template.
const int kRunButton = IDOK;         // "実行"
const int kCancelButton = IDCANCEL;  // "キャンセル"
const int kStatusLine = 1000;

// The message for a package that cannot be read or used.
extern const char kReadFailedText[];

INT_PTR CALLBACK UpdateDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

#endif
