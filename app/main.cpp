// Start-up, the frame window and the message loop.
#include <windows.h>

#include "app/globals.h"
#include "ui/update_dialog.h"

namespace {

const char kCreateMutexName[] = "Tavrel_UpdateCreate";
const DWORD kFrameStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// g_selfPath: the text between the command line's first and second double quote. Only the part
// of the line up to the end of that path is kept, so long arguments behind it do not matter; a
// path that does not fit 259 bytes is left empty, which the dialog reports as unreadable.
void TakeSelfPath() {
  const char* line = GetCommandLineA();
  int start = 0;
  while (line[start] && line[start] != '"') ++start;
  if (line[start] == '"') ++start;
  int end = start;
  while (line[end] && line[end] != '"') ++end;
  if (CopyTextPart(g_commandLine, line, end)) {
    g_selfPath = g_commandLine + start;
  } else {
    CopyTextPart(g_commandLine, line + start, end - start);
    g_selfPath = g_commandLine;
  }
}

// True when another updater runs, or when someone holds the "create" mutex to keep us out.
bool AnotherUpdaterBlocks() {
  SetLastError(0);
  HANDLE running = CreateMutexA(NULL, FALSE, kProgramName);  // kept until the process ends
  DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS || (!running && error == ERROR_ACCESS_DENIED)) {
    if (running) CloseHandle(running);
    return true;
  }
  SetLastError(0);
  HANDLE probe = CreateMutexA(NULL, FALSE, kCreateMutexName);
  error = GetLastError();
  if (probe) CloseHandle(probe);
  return error == ERROR_ALREADY_EXISTS || (!probe && error == ERROR_ACCESS_DENIED);
}

// The frame's client area becomes exactly the dialog, centred on the primary screen.
void SizeAndCentreFrame() {
  RECT rect;
  GetWindowRect(g_dialog, &rect);
  AdjustWindowRect(&rect, WS_VISIBLE | kFrameStyle, FALSE);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(g_frameWindow, NULL, x, y, width, height, SWP_NOZORDER);
}

// Polls instead of blocking: an empty queue means a 1 ms sleep and another look.
int RunMessageLoop() {
  MSG message;
  for (;;) {
    if (!PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE)) {
      Sleep(1);
      continue;
    }
    if (!GetMessageA(&message, NULL, 0, 0)) return (int)message.wParam;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      EndDialog(g_dialog, 0);
      return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  TakeSelfPath();
  if (AnotherUpdaterBlocks()) return 0;

  WNDCLASSA frameClass;
  frameClass.style = CS_HREDRAW | CS_VREDRAW;
  frameClass.lpfnWndProc = MainWndProc;
  frameClass.cbClsExtra = 0;
  frameClass.cbWndExtra = 0;
  frameClass.hInstance = hInstance;
  frameClass.hIcon = LoadIconA(hInstance, "M_ICON");
  frameClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
  frameClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  frameClass.lpszMenuName = kProgramName;
  frameClass.lpszClassName = kProgramName;
  if (!RegisterClassA(&frameClass)) return 0;
  g_instance = hInstance;

  g_frameWindow = CreateWindowExA(0, kProgramName, g_title, kFrameStyle, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 0, 0, NULL, NULL, hInstance, NULL);
  // Without a frame nothing would ever post the quit message.
  if (!g_frameWindow) return 0;
  g_dialog = CreateDialogParamA(g_instance, "main_menu", g_frameWindow, UpdateDlgProc, 0);
  if (!g_dialog && IsWindow(g_frameWindow)) DestroyWindow(g_frameWindow);

  // A dialog that refused its package has already destroyed both windows.
  if (g_dialog && IsWindow(g_dialog)) {
    SizeAndCentreFrame();
    ShowWindow(g_frameWindow, SW_SHOW);
  }
  return RunMessageLoop();
}
