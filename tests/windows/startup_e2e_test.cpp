// Start-up as a user meets it: the frame, its caption, the status line and the ways out.
#include <gtest/gtest.h>

#include "tests/windows/support/test_files.h"
#include "tests/windows/support/test_registry.h"
#include "tests/windows/support/test_update.h"
#include "tests/windows/support/updater_driver.h"

namespace {

TEST(Startup, InstalledProductShowsInstalledTextAndCancelEnds) {
  std::string dir = FreshTestDir("startup_installed");
  std::string install = dir + "\\Game";
  MakeDirs(install);
  UnregisterVendor("TavrelTest");
  ASSERT_TRUE(RegisterProduct("TavrelTest", "Game", install));
  std::string exe = WriteUpdate(dir, SamplePackage());

  UpdaterSession updater(exe);
  ASSERT_TRUE(updater.started());
  ASSERT_NE(updater.WaitForFrame(), (HWND)NULL);
  EXPECT_EQ(updater.Caption(), "タヴレル物語  Ver.1.02");
  EXPECT_EQ(updater.StatusText(), "アップデートの準備ができました");
  EXPECT_TRUE(updater.IsButtonEnabled(IDOK));
  EXPECT_TRUE(updater.IsButtonEnabled(IDCANCEL));
  ASSERT_TRUE(updater.Press(IDCANCEL));
  EXPECT_EQ(updater.WaitForExit(), 0u);
  UnregisterVendor("TavrelTest");
}

}  // namespace
