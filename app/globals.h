// Process-wide state of the updater. All of it is zero until start-up, the dialog's
// initialisation or the registry lookup sets it.
#ifndef TAVREL_GLOBALS_H
#define TAVREL_GLOBALS_H

#include <windows.h>

#include "app/text_buffer.h"
#include "ui/banner.h"

extern HINSTANCE g_instance;
extern TextBuffer g_commandLine;  // the command line, cut behind the own path
extern char* g_selfPath;          // points into g_commandLine
extern HWND g_frameWindow;        // owner of every message box; destroying it ends the program
extern HWND g_dialog;
extern HANDLE g_packageFile;      // the own file, read forward only
extern DWORD g_bytesRead;         // byte count of the last package read
extern TextBuffer g_title;        // the caption: title, or "title  Ver.version"
extern TextBuffer g_version;
extern TextBuffer g_productKey;
extern BYTE g_saveWarning;        // non-zero: the update makes save data unusable
extern TextBuffer g_installDir;   // from the registry value "Path"; empty when not found
extern BannerImage g_banner;
extern RECT g_bannerSource;
extern RECT g_bannerDest;

// The program's own caption for every message box and the name of its kernel objects.
extern const char kProgramName[];

#endif
