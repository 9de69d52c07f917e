// Plays the user of one update run for scripts/demo.
//   tavrel_demo_driver UPDATE.exe GO_FILE
// Starts UPDATE.exe, waits for its dialog and prints where the frame is ("frame L T R B"), then
// waits until GO_FILE exists (the script has taken its screenshot), presses 実行, answers the
// save-data question with Yes and the completion box with OK, and waits for the program to end.
// Every line goes to stdout in UTF-8; the exit code is 0 only when the run went that way.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/windows/support/updater_driver.h"

namespace {

// The updater speaks the ANSI code page (932 under the demo's locale); the script reads UTF-8.
std::string ToUtf8(const std::string& ansi) {
  int wide = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, NULL, 0);
  if (wide <= 0) return ansi;
  std::wstring w((size_t)wide, L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &w[0], wide);
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, NULL, 0, NULL, NULL);
  std::string out((size_t)(n > 0 ? n : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &out[0], n, NULL, NULL);
  out.resize(out.size() - 1);
  // A message box's two lines are shown as one, joined by " / ".
  for (size_t at; (at = out.find('\n')) != std::string::npos;) out.replace(at, 1, " / ");
  return out;
}

void Say(const std::string& line) {
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), (DWORD)text.size(), &written, NULL);
}

int Fail(const std::string& why) {
  Say("error " + why);
  return 1;
}

std::string Buttons(const MessageBoxSeen& box) {
  std::string b;
  if (box.ok) b += " [OK]";
  if (box.yes) b += " [Yes]";
  if (box.no) b += " [No]";
  if (box.cancel) b += " [Cancel]";
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    Say("usage: tavrel_demo_driver UPDATE.exe GO_FILE");
    return 2;
  }
  const std::string go = argv[2];
  UpdaterSession session(argv[1]);
  if (!session.started()) return Fail("could not start " + std::string(argv[1]));

  if (!session.WaitForFrame(20000)) return Fail("no window appeared");
  // The status line is set while the dialog initialises; then give the banner time to paint.
  session.WaitUntil([&] { return !session.StatusText().empty(); }, 5000);
  Sleep(800);
  Say("caption " + ToUtf8(session.Caption()));
  Say("status " + ToUtf8(session.StatusText()));
  Say(std::string("button 実行 ") + (session.IsButtonEnabled(IDOK) ? "enabled" : "disabled"));
  RECT frame = session.FrameRect();
  char line[96];
  snprintf(line, sizeof line, "frame %ld %ld %ld %ld", frame.left, frame.top, frame.right,
           frame.bottom);
  Say(line);

  // The script takes the screenshot now and then creates the go file.
  if (!session.WaitUntil([&] { return GetFileAttributesA(go.c_str()) != INVALID_FILE_ATTRIBUTES; },
                         60000))
    return Fail("the script did not say go");

  if (!session.Press(IDOK)) return Fail("実行 cannot be pressed");
  Say("pressed 実行");

  MessageBoxSeen question = session.WaitForMessageBox(20000);
  if (!question.found()) return Fail("no message box after 実行");
  Say("box " + ToUtf8(question.text) + Buttons(question));
  MessageBoxSeen last = question;
  if (question.yes) {
    // The save-data question: the user agrees to the update.
    if (!session.Answer(question, IDYES)) return Fail("cannot answer Yes");
    Say("answered Yes");
    last = session.WaitForMessageBox(60000, question.window);
    if (!last.found()) return Fail("no message box after Yes");
    Say("box " + ToUtf8(last.text) + Buttons(last));
  }
  if (!last.ok || !session.Answer(last, IDOK)) return Fail("the box has no OK button");
  Say("answered OK");

  DWORD code = session.WaitForExit(20000);
  if (code == STILL_ACTIVE) return Fail("the updater did not end");
  snprintf(line, sizeof line, "exit %lu", (unsigned long)code);
  Say(line);
  return 0;
}
