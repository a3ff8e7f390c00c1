// Publication of the disks' state: the registry tree, "Exchange.ini" and
// the status service's lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "monitor/Publication.h"
#include "os/MemoryRegistry.h"
#include "os/sim/VirtualClock.h"
#include "tests/support/StdFileSystem.h"
#include "tests/support/TempDir.h"

namespace {

using monitor::CPublisher;
using monitor::SHARE_KEY;
using Value = os::CMemoryRegistry::Value;

ATA_SMART_INFO Disk(const std::string& model, const std::string& serial, int8_t temperature = 40) {
  ATA_SMART_INFO d;
  d.Model = model;
  d.SerialNumber = serial;
  d.ModelSerial = model + serial;
  d.Temperature = temperature;
  d.IsSmartCorrect = 1;
  d.TotalDiskSize = 476940;
  d.DiskStatus = DISK_STATUS_GOOD;
  d.DriveMap = "C: \nD:";
  d.Life = 97;
  d.HostReads = 1200;
  d.HostWrites = 3400;
  return d;
}

CDiskArray Disks(std::initializer_list<ATA_SMART_INFO> list) {
  CDiskArray a;
  for (const ATA_SMART_INFO& d : list) a.Add(d);
  return a;
}

std::string Text(const std::optional<Value>& v) {
  if (!v) return "<missing>";
  if (const std::string* s = std::get_if<std::string>(&*v)) return *s;
  return "dword:" + std::to_string(std::get<uint32_t>(*v));
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Publication, TemperatureAndSizeTexts) {
  struct Case {
    int32_t Celsius;
    int32_t Unit;
    const char* Expected;
  };
  const Case cases[] = {
      {40, 0,
       "40 \xC2\xB0"
       "C"},
      {40, 1,
       "104\xC2\xB0"
       "F"},
      {35, 1,
       "95 \xC2\xB0"
       "F"},
      {38, 1,
       "100 \xC2\xB0"
       "F"},
      {-5, 1,
       "23 \xC2\xB0"
       "F"},
      {-127, 0,
       "-- \xC2\xB0"
       "C"},
      {-127, 1,
       "-- \xC2\xB0"
       "F"},
      {-126, 0,
       "-126 \xC2\xB0"
       "C"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(monitor::ShareTemperatureText(c.Celsius, c.Unit), c.Expected)
        << c.Celsius << " unit " << c.Unit;
  }
  EXPECT_EQ(monitor::ShareDiskSizeText(500), "500 MB");
  EXPECT_EQ(monitor::ShareDiskSizeText(1024), "1.0 GB");
  EXPECT_EQ(monitor::ShareDiskSizeText(476940), "465.8 GB");
}

TEST(Publication, RegistryTreeHoldsEachDiskAndFollowsTheDiskSet) {
  os::CMemoryRegistry reg;
  testutil::CStdFileSystem files;
  os::sim::CVirtualClock clock(1767225600, 123456);
  CPublisher pub(&reg, files, clock, "unused");

  // "Gadget" off: nothing is created, and a tree found is left alone.
  reg.CreateVolatileKey(SHARE_KEY);
  reg.SetDword(SHARE_KEY, "DiskCount", 9);
  pub.UpdateShareInfo(Disks({Disk("A", "1")}));
  EXPECT_EQ(Text(reg.Get(SHARE_KEY, "DiskCount")), "dword:9");

  pub.SetGadget(true);
  ATA_SMART_INFO cold = Disk("B", "2", TEMPERATURE_UNKNOWN);
  pub.UpdateShareInfo(Disks({Disk("A", "1"), cold}));
  EXPECT_EQ(Text(reg.Get(SHARE_KEY, "Version")), "dword:1");
  EXPECT_EQ(Text(reg.Get(SHARE_KEY, "LastUpdate")), "dword:123456");
  EXPECT_EQ(Text(reg.Get(SHARE_KEY, "DiskCount")), "dword:2");
  EXPECT_EQ(Text(reg.Get(SHARE_KEY, "Disk0")), "A1");
  EXPECT_EQ(Text(reg.Get(SHARE_KEY, "Disk1")), "B2");
  EXPECT_EQ(reg.SubKeys(SHARE_KEY), (std::vector<std::string>{"A1", "B2"}));
  const std::string a = std::string(SHARE_KEY) + "\\A1";
  EXPECT_EQ(Text(reg.Get(a, "DriveLetter")), "C: \nD:");
  EXPECT_EQ(Text(reg.Get(a, "Model")), "A");
  EXPECT_EQ(Text(reg.Get(a, "DiskSize")), "465.8 GB");
  EXPECT_EQ(Text(reg.Get(a, "Temperature")),
            "40 \xC2\xB0"
            "C");
  EXPECT_EQ(Text(reg.Get(a, "TemperatureClass")), "temperatureGood");
  EXPECT_EQ(Text(reg.Get(a, "DiskStatus")), "dword:" + std::to_string(DISK_STATUS_GOOD));
  // A disk without a temperature is published as unknown, not as -127.
  const std::string b = std::string(SHARE_KEY) + "\\B2";
  EXPECT_EQ(Text(reg.Get(b, "Temperature")),
            "-- \xC2\xB0"
            "C");
  EXPECT_EQ(Text(reg.Get(b, "TemperatureClass")), "temperatureUnknown");

  // One disk gone: only Disk0 and its subkey remain.
  pub.UpdateShareInfo(Disks({Disk("A", "1")}));
  EXPECT_EQ(reg.SubKeys(SHARE_KEY), (std::vector<std::string>{"A1"}));
  EXPECT_EQ(Text(reg.Get(SHARE_KEY, "Disk1")), "<missing>");

  // A backslash from the disk makes no nested key; a subkey that cannot be
  // created leaves out the disk's "Disk%d" too.
  reg.RefuseKeyNamed("C3");
  pub.UpdateShareInfo(Disks({Disk("X\\Y", "\n1"), Disk("C", "3"), Disk("", "")}));
  EXPECT_EQ(reg.SubKeys(SHARE_KEY), (std::vector<std::string>{"X_Y_1"}));
  EXPECT_EQ(Text(reg.Get(SHARE_KEY, "Disk0")), "X_Y_1");
  EXPECT_EQ(Text(reg.Get(SHARE_KEY, "Disk1")), "<missing>");
  EXPECT_EQ(Text(reg.Get(SHARE_KEY, "Disk2")), "<missing>");
  EXPECT_EQ(Text(reg.Get(SHARE_KEY, "DiskCount")), "dword:3");

  pub.DeleteShareInfo();
  EXPECT_FALSE(reg.HasKey(SHARE_KEY));
}

// A file system that counts whole-file writes.
class CCountingFileSystem : public testutil::CStdFileSystem {
 public:
  bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data) override {
    ++Writes;
    return CStdFileSystem::WriteFileAtomic(path, data);
  }
  int Writes = 0;
};

TEST(Publication, ExchangeFileListsTheDisksOnOneLineEach) {
  testutil::CTempDir dir;
  CCountingFileSystem files;
  os::sim::CVirtualClock clock;
  const std::string path = dir.File("Exchange.ini");
  CPublisher pub(nullptr, files, clock, path);

  ASSERT_TRUE(pub.WriteExchangeFile(
      Disks({Disk("A", "1"), Disk("B\r\n[EXCHANGE]\r\nDetectedDisk=40", "2"), Disk("C", "3")})));
  ASSERT_TRUE(pub.WriteExchangeFile(Disks({Disk("A", "1"), Disk("B", "2")})));
  const std::string text = ReadText(path);
  EXPECT_EQ(text,
            "[EXCHANGE]\r\nDetectedDisk=2\r\n"
            "[MODEL]\r\n0=A\r\n1=B\r\n2=C\r\n"
            "[SERIAL]\r\n0=1\r\n1=2\r\n2=3\r\n"
            "[DRIVE]\r\n0=C: D:\r\n1=C: D:\r\n2=C: D:\r\n")
      << text;
  // The same disks again: the file is not rewritten.
  const int writes = files.Writes;
  ASSERT_TRUE(pub.WriteExchangeFile(Disks({Disk("A", "1"), Disk("B", "2")})));
  EXPECT_EQ(files.Writes, writes);
}

TEST(Publication, StatusLinesKeepTheirFields) {
  monitor::StatusFigures f{12, 2048, 16384};
  ATA_SMART_INFO d = Disk("Model, with comma", "S\tN,1");
  EXPECT_EQ(monitor::StatusLine(d, 0, f),
            "127.0.0.1,1,Model  with comma,S N 1,40,97,1200,3400,12,2048,16384");
  d.Temperature = TEMPERATURE_UNKNOWN;
  d.Life = -1;
  d.Model = "M\xC3\xA9";
  EXPECT_EQ(monitor::StatusLine(d, 3, f), "127.0.0.2,2,M??,S N 1,-127,-1,1200,3400,12,2048,16384");
  // Overlong texts are cut; the numbers stay whole.
  d.Model = std::string(1000, 'm');
  d.SerialNumber = std::string(1000, 's');
  const std::string line = monitor::StatusLine(d, 1, f);
  EXPECT_LE(line.size(), monitor::STATUS_LINE_MAX);
  EXPECT_NE(line.find(",sss"), std::string::npos);
  EXPECT_EQ(line.substr(line.size() - 33), "s,-127,-1,1200,3400,12,2048,16384");
}

}  // namespace
