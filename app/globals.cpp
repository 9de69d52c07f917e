#include "app/globals.h"

HINSTANCE g_instance;
TextBuffer g_commandLine;
char* g_selfPath;
HWND g_frameWindow;
HWND g_dialog;
HANDLE g_packageFile;
DWORD g_bytesRead;
TextBuffer g_title;
TextBuffer g_version;
TextBuffer g_productKey;
BYTE g_saveWarning;
TextBuffer g_installDir;
BannerImage g_banner;
RECT g_bannerSource;
RECT g_bannerDest;

const char kProgramName[] = "Tavrel_Update";
