// The mail password in the settings file: protected where the platform can
// protect it, a clear value of an older version still read, and a protected
// value of another user or machine read as no password.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/Settings.h"
#include "tests/support/AppFakes.h"
#include "tests/support/TempDir.h"

namespace {

using app::Setting;

// Protection that only this object can undo (a stand-in for the user's key).
class CKeyedProtector : public os::ISecretProtector {
 public:
  explicit CKeyedProtector(uint8_t key) : m_Key(key) {}
  std::optional<std::vector<uint8_t>> Protect(std::string_view plain) override {
    if (Refuse) return std::nullopt;
    std::vector<uint8_t> out = {m_Key};
    for (char c : plain) out.push_back(static_cast<uint8_t>(c) ^ m_Key);
    return out;
  }
  std::optional<std::string> Unprotect(const std::vector<uint8_t>& blob) override {
    if (blob.empty() || blob[0] != m_Key) return std::nullopt;
    std::string out;
    for (size_t i = 1; i < blob.size(); ++i) out += static_cast<char>(blob[i] ^ m_Key);
    return out;
  }
  bool Refuse = false;

 private:
  uint8_t m_Key;
};

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(SettingsSecret, PasswordIsStoredProtectedAndReadBack) {
  testutil::CTempDir dir;
  testutil::CFakeMutexTable mutexes;
  testutil::CTestProcess process(mutexes, dir.File("prog.exe"), "");
  const std::string path = dir.File("Smart.ini");
  CKeyedProtector mine(0x5A), other(0x33);
  // Long enough that its protected form is past an ordinary value's 255
  // characters.
  const std::string password = "p@ss word=" + std::string(200, 'x');

  struct Case {
    const char* Name;
    const char* Stored;  // written by hand first (nullptr: by SetText)
    os::ISecretProtector* Reader;
    const char* Expected;  // nullptr: the password
  };
  const Case cases[] = {
      {"protected, read by its owner", nullptr, &mine, nullptr},
      {"protected, read by another user", nullptr, &other, ""},
      {"protected, read without protection", nullptr, nullptr, ""},
      {"clear value of an older version", "MailPassword=old secret", &mine, "old secret"},
      {"damaged protected value", "MailPassword=dpapi:5A4", &mine, ""},
      {"not hexadecimal", "MailPassword=dpapi:zz", &mine, ""},
  };
  for (const Case& c : cases) {
    if (c.Stored != nullptr) {
      std::ofstream(path, std::ios::binary) << "[Setting]\r\n" << c.Stored << "\r\n";
    } else {
      std::ofstream(path, std::ios::binary) << "";
      app::CSettings writer(process.Profile, process.Clock, path);
      writer.SetSecretProtector(&mine);
      ASSERT_TRUE(writer.SetText(Setting::MAIL_PASSWORD, password)) << c.Name;
      const std::string file = FileText(path);
      EXPECT_EQ(file.find("p@ss"), std::string::npos) << file;
      EXPECT_NE(file.find(std::string("MailPassword=") + app::PROTECTED_SECRET_PREFIX + "5A"),
                std::string::npos)
          << file;
    }
    app::CSettings reader(process.Profile, process.Clock, path);
    reader.SetSecretProtector(c.Reader);
    EXPECT_EQ(reader.GetText(Setting::MAIL_PASSWORD),
              c.Expected != nullptr ? std::string(c.Expected) : password)
        << c.Name;
  }

  // Protection refused: the password is still saved, in clear text.
  std::ofstream(path, std::ios::binary) << "";
  mine.Refuse = true;
  app::CSettings settings(process.Profile, process.Clock, path);
  settings.SetSecretProtector(&mine);
  ASSERT_TRUE(settings.SetText(Setting::MAIL_PASSWORD, "pw"));
  EXPECT_EQ(settings.GetText(Setting::MAIL_PASSWORD), "pw");
  // An empty password is written empty, not as a protected empty text.
  mine.Refuse = false;
  ASSERT_TRUE(settings.SetText(Setting::MAIL_PASSWORD, ""));
  EXPECT_NE(FileText(path).find("MailPassword=\r\n"), std::string::npos) << FileText(path);
}

}  // namespace
