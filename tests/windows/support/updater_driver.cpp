#include "tests/windows/support/updater_driver.h"

#include <vector>

namespace {

const char kFrameClass[] = "Tavrel_Update";
const char kDialogClass[] = "#32770";

struct FindTopLevel {
  DWORD processId;
  const char* className;
  HWND skip;
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK FindTopLevelProc(HWND window, LPARAM param) {
  FindTopLevel* find = (FindTopLevel*)param;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != find->processId || window == find->skip) return TRUE;
  if (find->visibleOnly && !IsWindowVisible(window)) return TRUE;
  if (find->className) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, find->className) != 0) return TRUE;
  }
  find->found = window;
  return FALSE;
}

HWND TopLevelOf(DWORD processId, const char* className, HWND skip, bool visibleOnly) {
  FindTopLevel find = {processId, className, skip, visibleOnly, NULL};
  EnumWindows(FindTopLevelProc, (LPARAM)&find);
  return find.found;
}

}  // namespace

std::string WindowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

UpdaterSession::UpdaterSession(const std::string& exePath, const std::string& commandLine,
                               const std::string& workDir) {
  std::string line = commandLine.empty() ? "\"" + exePath + "\"" : commandLine;
  std::vector<char> mutableLine(line.begin(), line.end());
  mutableLine.push_back(0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (CreateProcessA(exePath.c_str(), mutableLine.data(), NULL, NULL, FALSE, 0, NULL,
                     workDir.empty() ? NULL : workDir.c_str(), &startup, &info)) {
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    CloseHandle(info.hThread);
  }
}

UpdaterSession::~UpdaterSession() {
  if (!process_) return;
  if (running()) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(process_);
}

void UpdaterSession::NoteWindows() {
  if (!sawWindow_ && processId_ && TopLevelOf(processId_, NULL, NULL, true)) sawWindow_ = true;
}

HWND UpdaterSession::WaitForFrame(DWORD timeoutMs) {
  WaitUntil([&] {
    frame_ = TopLevelOf(processId_, kFrameClass, NULL, true);
    return frame_ != NULL || !running();
  }, timeoutMs);
  return frame_;
}

HWND UpdaterSession::WaitForAnyFrame(DWORD timeoutMs) {
  WaitUntil([&] {
    frame_ = TopLevelOf(processId_, kFrameClass, NULL, false);
    return frame_ != NULL || !running();
  }, timeoutMs);
  return frame_;
}

HWND UpdaterSession::dialog() const {
  return frame_ ? FindWindowExA(frame_, NULL, kDialogClass, NULL) : NULL;
}

std::string UpdaterSession::Caption() const { return WindowText(frame_); }

std::string UpdaterSession::StatusText() const {
  char text[1024] = "";
  GetDlgItemTextA(dialog(), 1000, text, sizeof text);
  return text;
}

bool UpdaterSession::IsButtonEnabled(int id) const {
  HWND button = GetDlgItem(dialog(), id);
  return button && IsWindowEnabled(button);
}

RECT UpdaterSession::FrameRect() const {
  RECT rect = {};
  GetWindowRect(frame_, &rect);
  return rect;
}

RECT UpdaterSession::FrameClientRect() const {
  RECT rect = {};
  GetClientRect(frame_, &rect);
  return rect;
}

RECT UpdaterSession::DialogRect() const {
  RECT rect = {};
  GetWindowRect(dialog(), &rect);
  return rect;
}

bool UpdaterSession::Press(int id) {
  HWND button = GetDlgItem(dialog(), id);
  if (!button || !IsWindowEnabled(button) || !IsWindowVisible(button)) return false;
  return PostMessageA(button, BM_CLICK, 0, 0) != FALSE;
}

void UpdaterSession::PressCloseBox() { PostMessageA(frame_, WM_SYSCOMMAND, SC_CLOSE, 0); }

MessageBoxSeen UpdaterSession::WaitForMessageBox(DWORD timeoutMs, HWND after) {
  MessageBoxSeen seen;
  HWND box = NULL;
  WaitUntil([&] {
    box = TopLevelOf(processId_, kDialogClass, after, true);
    return box != NULL || !running();
  }, timeoutMs);
  if (!box) return seen;
  // The box may still be filling in its controls; wait for its text.
  WaitUntil([&] { return GetDlgItem(box, 0xFFFF) != NULL; }, 1000);
  seen.window = box;
  seen.caption = WindowText(box);
  char text[1024] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  seen.text = text;
  auto offered = [&](int id) {
    HWND button = GetDlgItem(box, id);
    return button != NULL && IsWindowVisible(button);
  };
  seen.ok = offered(IDOK);
  seen.yes = offered(IDYES);
  seen.no = offered(IDNO);
  seen.cancel = offered(IDCANCEL);
  return seen;
}

bool UpdaterSession::Answer(const MessageBoxSeen& box, int buttonId) {
  HWND button = GetDlgItem(box.window, buttonId);
  if (!button || !IsWindowVisible(button)) return false;
  return PostMessageA(button, BM_CLICK, 0, 0) != FALSE;
}

bool UpdaterSession::WaitForNoMessageBox(DWORD timeoutMs) {
  return WaitUntil([&] { return TopLevelOf(processId_, kDialogClass, NULL, true) == NULL; },
                   timeoutMs);
}

DWORD UpdaterSession::WaitForExit(DWORD timeoutMs) {
  if (!process_) return STILL_ACTIVE;
  WaitUntil([&] { return !running(); }, timeoutMs);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_, &code);
  return code;
}

bool UpdaterSession::running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool UpdaterSession::Kill() {
  if (!process_) return false;
  TerminateProcess(process_, 1);
  return WaitForSingleObject(process_, 5000) == WAIT_OBJECT_0;
}

unsigned ScreenPixelAt(HWND window, int clientX, int clientY) {
  POINT point = {clientX, clientY};
  ClientToScreen(window, &point);
  HDC screen = GetDC(NULL);
  COLORREF color = GetPixel(screen, point.x, point.y);
  ReleaseDC(NULL, screen);
  return ((unsigned)GetRValue(color) << 16) | ((unsigned)GetGValue(color) << 8) |
         (unsigned)GetBValue(color);
}
