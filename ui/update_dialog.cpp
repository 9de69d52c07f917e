#include "ui/update_dialog.h"

#include "app/globals.h"
#include "install/registry_key.h"
#include "package/package_reader.h"
#include "ui/banner.h"
#include "update/update_run.h"

const char kReadFailedText[] = "アップデートデータの読み出しに失敗しました";

namespace {

// The package cannot be used: say so, then close, which ends the program.
BOOL RefusePackage(HWND hwnd) {
  MessageBoxA(g_frameWindow, kReadFailedText, kProgramName, MB_OK | MB_ICONWARNING);
  SendMessageA(hwnd, WM_CLOSE, 0, 0);
  return TRUE;
}

// Reads the banner field and keeps a copy of it as g_banner.
bool ReadBanner() {
  DWORD bannerSize = 0;
  Sleep(1);
  if (!ReadPackage(&bannerSize, sizeof bannerSize)) return false;
  HANDLE heap = GetProcessHeap();
  void* buffer = HeapAlloc(heap, 0, bannerSize);
  if (!buffer) {
    // Without memory for the picture the dialog goes on without it; the reader must still
    // arrive behind the banner.
    return SetFilePointer(g_packageFile, (LONG)bannerSize, NULL, FILE_CURRENT) !=
           INVALID_SET_FILE_POINTER;
  }
  bool read = ReadPackage(buffer, bannerSize);
  if (read) LoadBanner(g_banner, buffer, bannerSize);
  HeapFree(heap, 0, buffer);
  return read;
}

BOOL InitDialog(HWND hwnd) {
  g_banner.info = 0;
  g_banner.bits = 0;
  SetWindowPos(hwnd, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

  // The package carries no checksum: check all of it once, before anything trusts a field.
  if (!OpenPackage(g_selfPath) || !VerifyPackageFile(g_selfPath)) return RefusePackage(hwnd);

  Sleep(1);
  if (!ReadPackage(g_title, kTextSize) || !ReadPackage(g_version, kTextSize))
    return RefusePackage(hwnd);
  if (g_version[0]) FormatText(g_title, "%s  Ver.%s", g_title, g_version);
  SetWindowTextA(g_frameWindow, g_title);

  RECT client;
  GetClientRect(hwnd, &client);
  SetBannerRects(client.right, g_bannerSource, g_bannerDest);
  if (!ReadBanner()) return RefusePackage(hwnd);

  TextBuffer vendorKey, productKey, installedText, notInstalledText;
  ZeroMemory(vendorKey, sizeof vendorKey);
  ZeroMemory(productKey, sizeof productKey);
  Sleep(1);
  bool read = ReadPackage(vendorKey, kTextSize);
  Sleep(1);
  read = read && ReadPackage(productKey, kTextSize);
  FormatText(g_productKey, "%s", productKey);
  Sleep(1);
  read = read && ReadPackage(installedText, kTextSize);
  Sleep(1);
  read = read && ReadPackage(notInstalledText, kTextSize);
  if (!read) return RefusePackage(hwnd);

  if (LookUpInstallation(vendorKey, productKey, g_installDir)) {
    SetDlgItemTextA(hwnd, kStatusLine, installedText);
  } else {
    SetDlgItemTextA(hwnd, kStatusLine, notInstalledText);
    EnableWindow(GetDlgItem(hwnd, kRunButton), FALSE);
  }

  if (!ReadPackage(&g_saveWarning, 1)) return RefusePackage(hwnd);
  return TRUE;
}

}  // namespace

INT_PTR CALLBACK UpdateDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return InitDialog(hwnd);
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      if (g_banner.info) DrawBanner(dc, g_banner, g_bannerDest, g_bannerSource);
      EndPaint(hwnd, &paint);
      return FALSE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kRunButton:
          RunUpdate(hwnd);
          break;
        case kCancelButton:
          SendMessageA(hwnd, WM_CLOSE, 0, 0);
          break;
      }
      return TRUE;
    case WM_CLOSE:
      FreeBanner(g_banner);
      DestroyWindow(g_frameWindow);
      return TRUE;
    case WM_DESTROY:
      ClosePackage();
      return FALSE;
  }
  return FALSE;
}
