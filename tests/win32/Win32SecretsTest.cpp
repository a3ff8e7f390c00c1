// The data protection API for the mail password: what is protected comes
// back for the same user, the stored form does not hold the text, and bytes
// that were never protected are refused. (Whether a damaged blob is refused
// is the system's integrity check: Wine does not make it.)
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/Settings.h"
#include "os/win32/Win32Clock.h"
#include "os/win32/Win32Profile.h"
#include "os/win32/Win32Secrets.h"
#include "tests/support/TempDir.h"

namespace {

TEST(Win32Secrets, ProtectsForTheUserAndRefusesForeignBytes) {
  os::CWin32SecretProtector secrets;
  for (const std::string& plain :
       {std::string("pw"), std::string("p\xC3\xA4ss w=rd;[x]"), std::string(300, 'z')}) {
    const auto blob = secrets.Protect(plain);
    ASSERT_TRUE(blob.has_value()) << plain;
    const std::string bytes(blob->begin(), blob->end());
    EXPECT_EQ(bytes.find(plain), std::string::npos);
    EXPECT_EQ(secrets.Unprotect(*blob), plain);
  }
  EXPECT_FALSE(secrets.Unprotect({1, 2, 3, 4}).has_value());
  EXPECT_FALSE(secrets.Unprotect({}).has_value());
}

// Through the private-profile calls: the protected form (longer than an
// ordinary value may be) is written and read back whole.
TEST(Win32Secrets, MailPasswordRoundTripsThroughTheSettingsFile) {
  testutil::CTempDir dir;
  const std::string path = dir.File("Smart.ini");
  os::CWin32Profile profile;
  os::CWin32Clock clock;
  os::CWin32SecretProtector secrets;
  app::CSettings settings(profile, clock, path);
  settings.SetSecretProtector(&secrets);
  const std::string password = "s3cret word " + std::string(100, 'q');
  ASSERT_TRUE(settings.SetText(app::Setting::MAIL_PASSWORD, password));
  std::ifstream in(path, std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(file.find("MailPassword=dpapi:"), std::string::npos) << file;
  EXPECT_EQ(file.find("s3cret"), std::string::npos) << file;
  app::CSettings reader(profile, clock, path);
  reader.SetSecretProtector(&secrets);
  EXPECT_EQ(reader.GetText(app::Setting::MAIL_PASSWORD), password);
  app::CSettings unprotected(profile, clock, path);
  EXPECT_EQ(unprotected.GetText(app::Setting::MAIL_PASSWORD), "");
}

}  // namespace
