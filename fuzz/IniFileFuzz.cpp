// Fuzzes the INI engine with any bytes as a settings file, and the settings
// reader over it. Checks what must hold for every input: no crash, an
// untouched file serialises to the same bytes, and a written value reads
// back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "monitor/SettingsModel.h"
#include "os/IniFile.h"

namespace {

// The private-profile calls over one in-memory file.
class CMemoryProfile : public os::IProfile {
 public:
  explicit CMemoryProfile(os::CIniFile file) : m_File(std::move(file)) {}
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& fallback, const std::string&,
                        uint32_t capacity) override {
    return m_File.GetString(section, key, fallback, capacity);
  }
  int32_t GetInt(const std::string& section, const std::string& key, int32_t fallback,
                 const std::string&) override {
    return m_File.GetInt(section, key, fallback);
  }
  bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string&) override {
    return m_File.Set(section, key, value);
  }
  bool DeleteKey(const std::string& section, const std::string& key, const std::string&) override {
    m_File.RemoveKey(section, key);
    return true;
  }
  bool DeleteSection(const std::string& section, const std::string&) override {
    m_File.RemoveSection(section);
    return true;
  }
  std::vector<std::string> Keys(const std::string& section, const std::string&) override {
    return m_File.Keys(section);
  }

 private:
  os::CIniFile m_File;
};

class CFixedClock : public os::IClock {
 public:
  uint64_t TickCount() override { return 0; }
  int64_t Now() override { return 0; }
  std::tm LocalTime(int64_t) override { return std::tm{}; }
  int64_t MakeLocalTime(const std::tm&) override { return 0; }
  void Sleep(uint32_t) override {}
};

void Check(bool ok) {
  if (!ok) std::abort();
}

// Hands back what it is given: the protected form of a secret is then
// whatever hexadecimal the file holds, decoded.
class CPassThroughProtector : public os::ISecretProtector {
 public:
  std::optional<std::vector<uint8_t>> Protect(std::string_view plain) override {
    return std::vector<uint8_t>(plain.begin(), plain.end());
  }
  std::optional<std::string> Unprotect(const std::vector<uint8_t>& blob) override {
    return std::string(blob.begin(), blob.end());
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  os::CIniFile file = os::CIniFile::Parse(data, size);
  bool utf16 = file.GetEncoding() == os::CIniFile::Encoding::Utf16Le ||
               file.GetEncoding() == os::CIniFile::Encoding::Utf16Be;
  if (!utf16) Check(file.Serialise() == std::vector<uint8_t>(data, data + size));

  // Names taken from the input itself reach the lookups too.
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string name = text.substr(0, text.find_first_of("=\n]"));
  (void)file.GetString(name, name, "x", 256);
  (void)file.GetString("Setting", name, "x", 3);
  (void)file.GetInt(name, "DebugMode", 5);
  for (const std::string& key : file.Keys("Setting")) (void)file.GetString("Setting", key, "", 256);

  CMemoryProfile profile(file);
  CFixedClock clock;
  app::CSettings settings(profile, clock, "fuzz.ini");
  for (int i = 0; i < static_cast<int>(app::Setting::COUNT); ++i) {
    auto id = static_cast<app::Setting>(i);
    (void)settings.Get(id);
    (void)settings.GetText(id);
  }
  for (int i = 0; i < static_cast<int>(app::DiskSetting::COUNT); ++i) {
    (void)settings.GetDisk(static_cast<app::DiskSetting>(i), name);
  }
  CPassThroughProtector secrets;
  settings.SetSecretProtector(&secrets);
  (void)settings.GetText(app::Setting::MAIL_PASSWORD);
  (void)monitor::ParseColourText(settings.GetText(app::Setting::GRAPH_COLOR));
  (void)monitor::ParseColourText(name);

  // A write always reads back, whatever was in the file.
  bool storable = os::CIniFile::IsStorable("Setting", "DebugMode", "12345");
  Check(storable);
  Check(file.Set("Setting", "DebugMode", "12345"));
  os::CIniFile again = os::CIniFile::Parse(file.Serialise());
  Check(again.GetString("Setting", "DebugMode", "", 256) == "12345");
  if (os::CIniFile::IsStorable(name, name, "v")) {
    Check(again.Set(name, name, "v"));
    Check(os::CIniFile::Parse(again.Serialise()).GetString(name, name, "", 256) == "v");
  }
  again.RemoveSection("Setting");
  Check(again.GetString("Setting", "DebugMode", "gone", 256) == "gone");
  return 0;
}
