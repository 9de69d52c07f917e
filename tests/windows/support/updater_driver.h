// Drives the real updater as a user would: it starts the program as a child process, finds its
// windows, reads what they show, presses buttons and answers message boxes, and waits for the
// exit code. Every call works on the windows of this one process only.
#ifndef TAVREL_UPDATER_DRIVER_H
#define TAVREL_UPDATER_DRIVER_H

#include <windows.h>

#include <string>

// What a message box of the updater shows.
struct MessageBoxSeen {
  HWND window = NULL;
  std::string caption;
  std::string text;
  bool ok = false, yes = false, no = false, cancel = false;  // the buttons offered
  bool found() const { return window != NULL; }
};

class UpdaterSession {
 public:
  // Starts exePath with the command line "\"exePath\"" (quoted, as Explorer does), or with
  // commandLine when it is given. workDir, when given, is the child's current folder.
  explicit UpdaterSession(const std::string& exePath, const std::string& commandLine = "",
                          const std::string& workDir = "");
  ~UpdaterSession();  // ends the process if it still runs, so that no test leaks an updater
  UpdaterSession(const UpdaterSession&) = delete;
  UpdaterSession& operator=(const UpdaterSession&) = delete;

  bool started() const { return process_ != NULL; }
  DWORD processId() const { return processId_; }

  // The visible frame window (class "Tavrel_Update") of this process; NULL after the timeout.
  HWND WaitForFrame(DWORD timeoutMs = 10000);
  HWND frame() const { return frame_; }
  // The frame window of this process whether shown or not (it is hidden while the dialog
  // initialises, e.g. behind a start-up message box); NULL after the timeout. Sets frame().
  HWND WaitForAnyFrame(DWORD timeoutMs = 10000);
  HWND dialog() const;                     // the update dialog inside the frame
  std::string Caption() const;             // the frame's caption
  std::string StatusText() const;          // the status line, control 1000
  bool IsButtonEnabled(int id) const;      // IDOK (実行) or IDCANCEL (キャンセル)
  RECT FrameRect() const;                  // screen coordinates
  RECT FrameClientRect() const;            // client coordinates of the frame
  RECT DialogRect() const;                 // screen coordinates

  // Clicks a dialog button as a user would; false (and nothing sent) when it is disabled or
  // missing. The click is posted: the program handles it while the test goes on.
  bool Press(int id);
  // The frame's close box.
  void PressCloseBox();

  // The next message box of this process that is not `after`; an empty result on timeout.
  MessageBoxSeen WaitForMessageBox(DWORD timeoutMs = 10000, HWND after = NULL);
  // Presses a button (IDOK, IDYES, IDNO) of a message box; false when the box lacks it.
  bool Answer(const MessageBoxSeen& box, int buttonId);
  // Waits until no message box of this process is shown (e.g. after answering).
  bool WaitForNoMessageBox(DWORD timeoutMs = 5000);

  // Waits for the process to end; its exit code, or STILL_ACTIVE after the timeout. While it
  // waits it notes whether the process ever showed a visible top-level window.
  DWORD WaitForExit(DWORD timeoutMs = 10000);
  bool running() const;
  // Ends the process at once, wherever it is, as a crash or the task manager would; true
  // when it has ended.
  bool Kill();
  // Whether any visible top-level window of this process was seen by any wait so far.
  bool sawWindow() const { return sawWindow_; }

  // Polls pred every 10 ms until it holds or timeoutMs passes.
  template <typename Pred>
  bool WaitUntil(Pred pred, DWORD timeoutMs = 5000) {
    DWORD start = GetTickCount();
    for (;;) {
      NoteWindows();
      if (pred()) return true;
      if (GetTickCount() - start > timeoutMs) return false;
      Sleep(10);
    }
  }

 private:
  void NoteWindows();
  HANDLE process_ = NULL;
  DWORD processId_ = 0;
  HWND frame_ = NULL;
  bool sawWindow_ = false;
};

// Text of a window of another process, in the ANSI code page.
std::string WindowText(HWND window);

// The colour on the screen at a client point of a window (of any process), as 0xRRGGBB. The
// screen DC is read: GetPixel on another process's window DC does not see its drawing.
unsigned ScreenPixelAt(HWND window, int clientX, int clientY);

#endif
