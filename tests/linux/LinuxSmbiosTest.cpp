// The SMBIOS table of a Linux machine, read from firmware/dmi/tables under a
// sysfs root made for the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "os/linux/LinuxSmbios.h"
#include "os/linux/LinuxWmi.h"
#include "tests/support/TempDir.h"
#include "tools/MemoryInfo.h"

namespace {

void Write(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Fixture(const std::string& name) {
  std::ifstream in(std::string(STAVRION_SOURCE_DIR) + "/fixtures/smbios/" + name + "/smbios.bin",
                   std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(LinuxSmbios, EntryPointVersion) {
  const struct {
    std::vector<uint8_t> Entry;
    bool Ok;
    uint8_t Major, Minor;
  } cases[] = {
      {{'_', 'S', 'M', '3', '_', 0, 0x18, 3, 2, 0}, true, 3, 2},
      {{'_', 'S', 'M', '_', 0, 0x1F, 2, 7, 0}, true, 2, 7},
      {{'_', 'S', 'M', '3', '_', 0, 0x18, 3}, false, 0, 0},  // cut short
      {{'_', 'S', 'M', '_', 0, 0x1F, 2}, false, 0, 0},
      {{'_', 'D', 'M', 'I', '_', 0, 0, 2, 1}, false, 0, 0},
      {{}, false, 0, 0},
  };
  for (const auto& c : cases) {
    uint8_t major = 0, minor = 0;
    EXPECT_EQ(os::SmbiosEntryPointVersion(c.Entry, &major, &minor), c.Ok);
    EXPECT_EQ(major, c.Major);
    EXPECT_EQ(minor, c.Minor);
  }
}

TEST(LinuxSmbios, TableFromSysfs) {
  testutil::CTempDir dir;
  const auto tables = dir.Path() / "sys" / "firmware" / "dmi" / "tables";
  Write(tables / "DMI", Fixture("lenovo-thinkpad-t480"));
  Write(tables / "smbios_entry_point", {'_', 'S', 'M', '3', '_', 0, 0x18, 3, 0, 0});
  os::LinuxRoots roots;
  roots.Sys = (dir.Path() / "sys").string();
  os::CLinuxWmi wmi(roots);
  MemoryModuleTable slots;
  EXPECT_TRUE(ReadMemoryModules(wmi, slots));
  EXPECT_EQ(slots[1].Manufacturer, "Samsung");
  EXPECT_EQ(slots[1].Size, "16384");

  // Without the table (not root, or no firmware tables): no object, and the
  // slots stay empty.
  std::filesystem::remove(tables / "DMI");
  RAW_SMBIOS raw;
  EXPECT_FALSE(ReadRawSmbios(wmi, raw));
  EXPECT_FALSE(ReadMemoryModules(wmi, slots));
  EXPECT_EQ(slots[1].IsPresent, 0);
}

}  // namespace
