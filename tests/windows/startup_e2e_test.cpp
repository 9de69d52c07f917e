// Start-up as a user meets it: the single-instance guard, the command line, the frame and its
// caption, the status line for each registry state, the banner on the screen and the ways out.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/windows/support/test_files.h"
#include "tests/windows/support/test_registry.h"
#include "tests/windows/support/test_update.h"
#include "tests/windows/support/updater_driver.h"

namespace {

const char kReadFailed[] = "アップデートデータの読み出しに失敗しました";
const char kSampleCaption[] = "タヴレル物語  Ver.1.02";
const char kInstalledText[] = "アップデートの準備ができました";
const char kNotInstalledText[] = "製品がインストールされていません";

class Startup : public ::testing::Test {
 protected:
  void SetUp() override {
    UnregisterVendor("TavrelTest");
    dir_ = FreshTestDir("startup");
    install_ = dir_ + "\\Game";
    MakeDirs(install_);
  }
  void TearDown() override { UnregisterVendor("TavrelTest"); }

  std::string Update(const PackageContents& contents) { return WriteUpdate(dir_, contents); }

  // The frame is shown; ends the program through キャンセル.
  static void CancelAndExpectExit(UpdaterSession& updater) {
    ASSERT_TRUE(updater.Press(IDCANCEL));
    EXPECT_EQ(updater.WaitForExit(), 0u);
  }

  // The start-up warning: the frame never shown, OK only; OK ends the program with 0.
  static void ExpectReadFailureAndExit(UpdaterSession& updater) {
    MessageBoxSeen box = updater.WaitForMessageBox();
    ASSERT_TRUE(box.found());
    EXPECT_EQ(box.caption, "Tavrel_Update");
    EXPECT_EQ(box.text, kReadFailed);
    EXPECT_TRUE(box.ok);
    EXPECT_FALSE(box.yes || box.no || box.cancel);
    HWND frame = updater.WaitForAnyFrame(0);
    EXPECT_TRUE(frame == NULL || !IsWindowVisible(frame)) << "the frame was shown";
    ASSERT_TRUE(updater.Answer(box, IDOK));
    EXPECT_EQ(updater.WaitForExit(), 0u);
    EXPECT_EQ(updater.WaitForFrame(0), (HWND)NULL);
  }

  std::string dir_, install_;
};

TEST_F(Startup, SecondInstanceEndsAtOnceAndLeavesTheFirstAlone) {
  ASSERT_TRUE(RegisterProduct("TavrelTest", "Game", install_));
  std::string exe = Update(SamplePackage());
  UpdaterSession first(exe);
  HWND frame = first.WaitForFrame();
  ASSERT_NE(frame, (HWND)NULL);

  UpdaterSession second(exe);
  ASSERT_TRUE(second.started());
  EXPECT_EQ(second.WaitForExit(), 0u);
  EXPECT_FALSE(second.sawWindow());

  EXPECT_TRUE(first.running());
  EXPECT_EQ(first.WaitForFrame(), frame);
  EXPECT_EQ(first.Caption(), kSampleCaption);
  EXPECT_EQ(first.StatusText(), kInstalledText);
  CancelAndExpectExit(first);
}

TEST_F(Startup, HeldCreateMutexKeepsTheUpdaterFromStarting) {
  std::string exe = Update(SamplePackage());
  HANDLE held = CreateMutexA(NULL, FALSE, "Tavrel_UpdateCreate");
  ASSERT_NE(held, (HANDLE)NULL);
  {
    UpdaterSession updater(exe);
    ASSERT_TRUE(updater.started());
    EXPECT_EQ(updater.WaitForExit(), 0u);
    EXPECT_FALSE(updater.sawWindow());
  }
  CloseHandle(held);
  // Once it is released the same program starts.
  UpdaterSession updater(exe);
  ASSERT_NE(updater.WaitForFrame(), (HWND)NULL);
  CancelAndExpectExit(updater);
}

struct CommandLineCase {
  const char* label;
  std::function<std::string(const std::string& exe)> line;
  bool starts;  // false: the read-failure warning
};

TEST_F(Startup, OwnPathIsTheFirstQuotedTokenOfTheCommandLine) {
  std::string exe = Update(SamplePackage());
  const CommandLineCase cases[] = {
      {"quoted path with arguments behind it",
       [](const std::string& e) { return "\"" + e + "\" /S \"C:\\other.exe\" x"; }, true},
      {"unquoted text, then the quoted path",
       [](const std::string&) { return std::string("ignored \"Tavrel_Update.exe\" more"); }, true},
      {"an opening quote without a closing one",
       [](const std::string& e) { return "\"" + e; }, true},
      {"a line of 400 bytes with the quoted path in front",
       [](const std::string& e) {
         std::string line = "\"" + e + "\" ";
         return line + std::string(400 - line.size(), 'x');
       },
       true},
      {"no double quote at all", [](const std::string& e) { return e; }, false},
      {"the only double quote is the last character",
       [](const std::string& e) { return e + " \""; }, false},
      {"a quoted path that does not exist",
       [](const std::string&) { return std::string("\"C:\\no\\such\\Tavrel_Update.exe\""); },
       false},
      // Windows drops trailing spaces from a path, so a program that cut this path at 259 bytes
      // would open its own file; one that wrote past its buffer would crash.
      {"a quoted path of more than 259 bytes",
       [](const std::string& e) { return "\"" + e + std::string(300, ' ') + "\""; }, false},
  };
  for (const CommandLineCase& c : cases) {
    SCOPED_TRACE(c.label);
    UpdaterSession updater(exe, c.line(exe), dir_);
    ASSERT_TRUE(updater.started());
    if (c.starts) {
      ASSERT_NE(updater.WaitForFrame(), (HWND)NULL);
      EXPECT_EQ(updater.Caption(), kSampleCaption);
      CancelAndExpectExit(updater);
    } else {
      ExpectReadFailureAndExit(updater);
    }
  }
}

struct CaptionCase {
  std::string title, version, caption;
};

TEST_F(Startup, CaptionIsTheTitleWithItsVersion) {
  const CaptionCase cases[] = {
      {"タヴレル物語", "1.02", "タヴレル物語  Ver.1.02"},
      {"タヴレル物語", "", "タヴレル物語"},
      {std::string(250, 'T'), "1.0", std::string(250, 'T') + "  Ver.1.0"},  // 259 bytes
      {std::string(259, 'T'), "", std::string(259, 'T')},
  };
  for (const CaptionCase& c : cases) {
    SCOPED_TRACE(c.caption);
    PackageContents contents = SamplePackage();
    contents.title = c.title;
    contents.version = c.version;
    UpdaterSession updater(Update(contents));
    ASSERT_NE(updater.WaitForFrame(), (HWND)NULL);
    EXPECT_EQ(updater.Caption(), c.caption);
    CancelAndExpectExit(updater);
  }
}

TEST_F(Startup, FrameFitsTheDialogAndIsCentredOnTheScreen) {
  UpdaterSession updater(Update(SamplePackage()));
  HWND frame = updater.WaitForFrame();
  ASSERT_NE(frame, (HWND)NULL);
  RECT client = updater.FrameClientRect();
  RECT dialog = updater.DialogRect();
  RECT outer = updater.FrameRect();
  POINT origin = {0, 0};
  ClientToScreen(frame, &origin);

  EXPECT_GT(dialog.right - dialog.left, 0);
  EXPECT_EQ(client.right - client.left, dialog.right - dialog.left);
  EXPECT_EQ(client.bottom - client.top, dialog.bottom - dialog.top);
  EXPECT_EQ(dialog.left, origin.x);
  EXPECT_EQ(dialog.top, origin.y);
  int width = outer.right - outer.left, height = outer.bottom - outer.top;
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
  CancelAndExpectExit(updater);
}

TEST_F(Startup, CancelAndTheCloseBoxEndTheProgram) {
  std::string exe = Update(SamplePackage());
  for (bool closeBox : {false, true}) {
    SCOPED_TRACE(closeBox ? "close box" : "キャンセル");
    UpdaterSession updater(exe);
    HWND frame = updater.WaitForFrame();
    ASSERT_NE(frame, (HWND)NULL);
    if (closeBox) {
      updater.PressCloseBox();
    } else {
      ASSERT_TRUE(updater.Press(IDCANCEL));
    }
    EXPECT_EQ(updater.WaitForExit(), 0u);
    EXPECT_FALSE(IsWindow(frame));
  }
}

struct RegistryCase {
  const char* label;
  std::function<void(const std::string& install)> registerProduct;
  std::string installedText;
  std::string status;
  bool runEnabled;
};

TEST_F(Startup, StatusLineAndRunButtonFollowTheRegistry) {
  const RegistryCase cases[] = {
      {"installed",
       [](const std::string& dir) { RegisterProduct("TavrelTest", "Game", dir); },
       kInstalledText, kInstalledText, true},
      {"installed without Path",
       [](const std::string&) { RegisterProductWithoutPath("TavrelTest", "Game"); },
       kInstalledText, kInstalledText, true},
      {"Path of 300 bytes",
       [](const std::string&) {
         SetPathValueRaw("TavrelTest", "Game", REG_SZ, std::string(300, 'p') + '\0');
       },
       kInstalledText, kInstalledText, true},
      {"Path of 260 bytes without NUL",
       [](const std::string&) {
         SetPathValueRaw("TavrelTest", "Game", REG_BINARY, std::string(260, 'p'));
       },
       kInstalledText, kInstalledText, true},
      {"installed, empty installedText",
       [](const std::string& dir) { RegisterProduct("TavrelTest", "Game", dir); }, "", "", true},
      {"not installed", [](const std::string&) {}, kInstalledText, kNotInstalledText, false},
      {"vendor without the product",
       [](const std::string& dir) { RegisterProduct("TavrelTest", "Other", dir); },
       kInstalledText, kNotInstalledText, false},
  };
  for (const RegistryCase& c : cases) {
    SCOPED_TRACE(c.label);
    UnregisterVendor("TavrelTest");
    c.registerProduct(install_);
    PackageContents contents = SamplePackage();
    contents.installedText = c.installedText;
    UpdaterSession updater(Update(contents));
    ASSERT_NE(updater.WaitForFrame(), (HWND)NULL);
    EXPECT_EQ(updater.StatusText(), c.status);
    EXPECT_EQ(updater.IsButtonEnabled(IDOK), c.runEnabled);
    EXPECT_TRUE(updater.IsButtonEnabled(IDCANCEL));
    CancelAndExpectExit(updater);
  }
}

// The quadrant banner on the real screen: red top-left, green top-right, blue bottom-left,
// yellow bottom-right, 320 x 240 in client rows 10..249 from the left edge (W - 320) / 2.
TEST_F(Startup, BannerIsDrawnCentredTenPixelsBelowTheTop) {
  UpdaterSession updater(Update(SamplePackage()));
  ASSERT_NE(updater.WaitForFrame(), (HWND)NULL);
  HWND dialog = updater.dialog();
  RECT client;
  GetClientRect(dialog, &client);
  const int left = (client.right - 320) / 2;
  ASSERT_GE(left, 1) << "the dialog is narrower than the banner";
  ASSERT_TRUE(updater.WaitUntil([&] { return ScreenPixelAt(dialog, left, 10) == 0xFF0000; }))
      << "the banner was not painted";

  struct Probe {
    int x, y;
    unsigned color;
  };
  const unsigned kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00;
  const Probe inside[] = {
      {left, 10, kRed},          {left + 159, 129, kRed},     {left + 160, 10, kGreen},
      {left + 319, 129, kGreen}, {left, 130, kBlue},          {left + 159, 249, kBlue},
      {left + 160, 130, kYellow}, {left + 319, 249, kYellow},
  };
  for (const Probe& p : inside) {
    EXPECT_EQ(ScreenPixelAt(dialog, p.x, p.y), p.color) << "at (" << p.x << ", " << p.y << ")";
  }
  // Just outside the banner none of its colours shows.
  const Probe outside[] = {{left - 1, 10, 0}, {left, 9, 0}, {left + 320, 249, 0},
                           {left + 319, 250, 0}};
  for (const Probe& p : outside) {
    unsigned color = ScreenPixelAt(dialog, p.x, p.y);
    EXPECT_TRUE(color != kRed && color != kGreen && color != kBlue && color != kYellow)
        << "banner colour " << std::hex << color << " at (" << std::dec << p.x << ", " << p.y
        << ")";
  }
  CancelAndExpectExit(updater);
}

}  // namespace
