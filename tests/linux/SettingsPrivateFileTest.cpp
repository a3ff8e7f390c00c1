// On Linux the mail password goes into the settings file in clear text, so
// that file is made readable by its owner only before the password is
// written, and stays so when it is rewritten.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "app/Settings.h"
#include "os/IniProfile.h"
#include "os/linux/LinuxClock.h"
#include "os/linux/LinuxFileSystem.h"
#include "tests/support/TempDir.h"

namespace {

using app::Setting;

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST(SettingsPrivateFile, FileHoldingThePasswordIsOwnerOnly) {
  testutil::CTempDir dir;
  os::CLinuxFileSystem files;
  os::CIniProfile profile(files, "\n");
  os::CLinuxClock clock;
  struct Case {
    const char* Name;
    bool Exists;
    mode_t Before;
    const char* Password;
    mode_t After;
  };
  const Case cases[] = {
      {"new file", false, 0, "secret", 0600},
      {"existing readable file", true, 0644, "secret", 0600},
      {"existing group-writable file", true, 0664, "secret", 0600},
      {"no password leaves the mode", true, 0644, "", 0644},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = dir.File("s" + std::to_string(n++) + ".ini");
    if (c.Exists) {
      std::ofstream(path) << "[Setting]\nMailTo=a@b.c\n";
      ASSERT_EQ(chmod(path.c_str(), c.Before), 0);
    }
    app::CSettings settings(profile, clock, path);
    ASSERT_TRUE(settings.SetText(Setting::MAIL_PASSWORD, c.Password)) << c.Name;
    EXPECT_EQ(ModeOf(path), c.After) << c.Name;
    EXPECT_EQ(settings.GetText(Setting::MAIL_PASSWORD), c.Password) << c.Name;
    // Later writes of other keys keep the file private.
    ASSERT_TRUE(settings.Set(Setting::SMART_LOG, 1));
    EXPECT_EQ(ModeOf(path), c.After) << c.Name;
  }
}

}  // namespace
