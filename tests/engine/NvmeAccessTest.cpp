#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/DebugLog.h"
#include "engine/AtaSmart.h"
#include "os/wire/WinIoctlPaths.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PathsFakes.h"

using testutil::CFakePlatform;
using testutil::Request;
using winio::Load32;

using testutil::CLogCapture;

namespace {

std::vector<uint8_t> IdentifyPage(const char* model, const char* serial = "S4EWNX0R123456",
                                  const char* firmware = "2B2QEXM7", uint16_t vendor = 0x144D,
                                  uint8_t major = 1, uint8_t minor = 3) {
  std::vector<uint8_t> page(4096, 0);
  page[0] = static_cast<uint8_t>(vendor);
  page[1] = static_cast<uint8_t>(vendor >> 8);
  std::memset(&page[4], ' ', 20);
  std::memcpy(&page[4], serial, std::strlen(serial));
  std::memset(&page[24], ' ', 40);
  std::memcpy(&page[24], model, std::strlen(model));
  std::memset(&page[64], ' ', 8);
  std::memcpy(&page[64], firmware, std::strlen(firmware));
  page[81] = minor;
  page[82] = major;
  return page;
}

std::vector<uint8_t> HealthPage(uint16_t kelvin = 321, uint8_t spare = 100) {
  std::vector<uint8_t> page(512, 0);
  page[1] = static_cast<uint8_t>(kelvin);
  page[2] = static_cast<uint8_t>(kelvin >> 8);
  page[3] = spare;
  page[4] = 10;
  page[5] = 3;
  page[48] = 0x00;  // 2048 data units written
  page[49] = 0x08;
  page[112] = 42;  // power cycles
  page[128] = 0x39;
  page[129] = 0x05;  // 1337 hours
  page[200] = 0x2C;
  page[201] = 0x01;  // sensor 1: 300 K
  return page;
}

// A driver answering the storage query with fixed pages.
testutil::Handler StorageQueryDriver(std::vector<uint8_t> identify, std::vector<uint8_t> health,
                                     bool healthFailsFirst = false) {
  auto calls = std::make_shared<int>(0);
  return [=](const Request& r, uint8_t* out, uint32_t* returned, uint32_t* error) {
    if (r.Code != winio::CTL_STORAGE_QUERY_PROPERTY || r.In.size() != 4144) {
      *error = os::ERR_INVALID_FUNCTION;
      return false;
    }
    const uint32_t type = Load32(&r.In[12]);
    if (type == winio::NVME_DATA_LOG_PAGE && healthFailsFirst && (*calls)++ == 0) {
      *error = os::ERR_INVALID_PARAMETER;
      return false;
    }
    const std::vector<uint8_t>& page = type == winio::NVME_DATA_IDENTIFY ? identify : health;
    std::memcpy(out + 48, page.data(), std::min<size_t>(page.size(), 4096));
    *returned = 4144;
    return true;
  };
}

// A SCSI port whose NVMe miniport answers identify and the health log.
testutil::Handler MiniportDriver(std::vector<uint8_t> identify, std::vector<uint8_t> health) {
  return [=](const Request& r, uint8_t* out, uint32_t* returned, uint32_t* error) {
    if (r.Code != winio::CTL_SCSI_MINIPORT || r.In.size() != 4248 ||
        std::memcmp(&r.In[4], "NvmeMini", 8) != 0) {
      *error = os::ERR_INVALID_FUNCTION;
      return false;
    }
    const std::vector<uint8_t>& page = Load32(&r.In[52]) == 0x06 ? identify : health;
    std::memcpy(out + 152, page.data(), std::min<size_t>(page.size(), 4096));
    *returned = 4248;
    return true;
  };
}

// A physical drive that knows only its SCSI address.
testutil::Handler DriveOnPort(uint8_t port) {
  return [=](const Request& r, uint8_t* out, uint32_t* returned, uint32_t* error) {
    if (r.Code != winio::CTL_SCSI_GET_ADDRESS || r.OutSize < 8) {
      *error = os::ERR_INVALID_FUNCTION;
      return false;
    }
    std::memset(out, 0, 8);
    out[0] = 8;
    out[4] = port;
    *returned = 8;
    return true;
  };
}

const size_t SPT = sizeof(winio::SCSI_PASS_THROUGH);
const size_t CDB_AT = winio::SPT_LAYOUT.CdbAt;

std::vector<uint8_t> CdbOf(const Request& r, size_t length) {
  return std::vector<uint8_t>(r.In.begin() + CDB_AT, r.In.begin() + CDB_AT + length);
}

}  // namespace

class NvmeAccess : public ::testing::Test {
 protected:
  CFakePlatform fake;
  CAtaSmart ata{fake.Get()};
};

TEST_F(NvmeAccess, StorageQueryIdentifyRequestLayout) {
  fake.Devices.Devices["\\\\.\\PhysicalDrive1"] =
      StorageQueryDriver(IdentifyPage("Samsung SSD 970 EVO 1TB"), HealthPage());
  uint8_t buffer[512];
  ASSERT_TRUE(ata.DoIdentifyDeviceNVMeStorageQuery(1, buffer));
  ASSERT_EQ(fake.Devices.Requests.size(), 1u);
  const std::vector<uint8_t>& in = fake.Devices.Requests[0].In;
  EXPECT_EQ(Load32(&in[0]), 49u);     // adapter protocol-specific property
  EXPECT_EQ(Load32(&in[4]), 0u);      // standard query
  EXPECT_EQ(Load32(&in[8]), 3u);      // NVMe
  EXPECT_EQ(Load32(&in[12]), 1u);     // identify
  EXPECT_EQ(Load32(&in[16]), 1u);     // controller
  EXPECT_EQ(Load32(&in[20]), 0u);     // sub value
  EXPECT_EQ(Load32(&in[24]), 40u);    // data offset
  EXPECT_EQ(Load32(&in[28]), 4096u);  // data length
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer + 24), 23), "Samsung SSD 970 EVO 1TB");
}

TEST_F(NvmeAccess, StorageQueryHealthRetriesWithAllNamespaces) {
  fake.Devices.Devices["\\\\.\\PhysicalDrive0"] =
      StorageQueryDriver(IdentifyPage("X"), HealthPage(300), true);
  ATA_SMART_INFO asi;
  ASSERT_TRUE(ata.GetSmartAttributeNVMeStorageQuery(0, asi));
  ASSERT_EQ(fake.Devices.Requests.size(), 2u);
  EXPECT_EQ(Load32(&fake.Devices.Requests[0].In[20]), 0u);
  EXPECT_EQ(Load32(&fake.Devices.Requests[1].In[20]), 0xFFFFFFFFu);
  EXPECT_EQ(Load32(&fake.Devices.Requests[1].In[16]), 2u);  // log identifier
  EXPECT_EQ(asi.SmartReadData[1], 300 & 0xFF);
}

TEST_F(NvmeAccess, SamsungSendsCommandThenReadsAnswer) {
  auto identify = IdentifyPage("Samsung SSD 960 PRO 512GB");
  fake.Devices.Devices["\\\\.\\PhysicalDrive2"] = [&](const Request& r, uint8_t* out,
                                                      uint32_t* returned, uint32_t*) {
    if (r.In[CDB_AT] == 0xA2) std::memcpy(out + SPT + 24, identify.data(), 512);
    *returned = static_cast<uint32_t>(r.OutSize);
    return true;
  };
  uint8_t buffer[512];
  ASSERT_TRUE(ata.DoIdentifyDeviceNVMeSamsung(2, buffer));
  auto requests = fake.Devices.WithCode(winio::CTL_SCSI_PASS_THROUGH);
  ASSERT_EQ(requests.size(), 2u);
  const std::vector<uint8_t> cdb1 = {0xB5, 0xFE, 0x00, 0x05, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0};
  const std::vector<uint8_t> cdb2 = {0xA2, 0xFE, 0x00, 0x05, 0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(CdbOf(requests[0], 16), cdb1);
  EXPECT_EQ(CdbOf(requests[1], 16), cdb2);
  EXPECT_EQ(requests[0].In[6], 16);                   // CDB length
  EXPECT_EQ(requests[0].In[8], winio::SPT_DATA_OUT);  // data to the disk
  EXPECT_EQ(requests[1].In[8], winio::SPT_DATA_IN);
  EXPECT_EQ(requests[0].In.size(), SPT + 24 + 512);
  EXPECT_EQ(requests[0].In[SPT + 24], 0x01);  // CNS in the data area
  EXPECT_EQ(requests[1].In[SPT + 24], 0x00);  // cleared before reading
  EXPECT_EQ(std::memcmp(buffer, identify.data(), 512), 0);
}

TEST_F(NvmeAccess, SamsungAllZeroAnswerFailsAndLeavesZeros) {
  fake.Devices.Devices["\\\\.\\PhysicalDrive2"] = [](const Request& r, uint8_t*, uint32_t* ret,
                                                     uint32_t*) {
    *ret = r.OutSize;
    return true;
  };
  uint8_t buffer[512];
  std::memset(buffer, 0xAA, sizeof(buffer));
  EXPECT_FALSE(ata.DoIdentifyDeviceNVMeSamsung(2, buffer));
  for (uint8_t b : buffer) ASSERT_EQ(b, 0);
}

TEST_F(NvmeAccess, MiniportRequestLayoutAndPort) {
  fake.Devices.Devices["\\\\.\\PhysicalDrive3"] = DriveOnPort(5);
  fake.Devices.Devices["\\\\.\\SCSI5:"] = MiniportDriver(IdentifyPage("INTEL SSDPEKNW512G8"), {});
  uint8_t buffer[512];
  ASSERT_TRUE(ata.DoIdentifyDeviceNVMeIntel(3, buffer));
  auto requests = fake.Devices.WithCode(winio::CTL_SCSI_MINIPORT);
  ASSERT_EQ(requests.size(), 1u);
  const std::vector<uint8_t>& in = requests[0].In;
  EXPECT_EQ(requests[0].Device, "\\\\.\\SCSI5:");
  EXPECT_EQ(Load32(&in[0]), 28u);
  EXPECT_EQ(Load32(&in[12]), 40u);
  EXPECT_EQ(Load32(&in[16]), 0xE0002000u);
  EXPECT_EQ(Load32(&in[24]), 4220u);
  EXPECT_EQ(Load32(&in[52]), 0x06u);    // IDENTIFY
  EXPECT_EQ(Load32(&in[56]), 0u);       // namespace
  EXPECT_EQ(Load32(&in[52 + 40]), 1u);  // CNS controller
  EXPECT_EQ(Load32(&in[132]), 2u);      // device to host
  EXPECT_EQ(Load32(&in[140]), 4096u);
  EXPECT_EQ(Load32(&in[148]), 4248u);
}

TEST_F(NvmeAccess, MiniportHealthWithZeroSumLogsAndFails) {
  CLogCapture log;
  fake.Devices.Devices["\\\\.\\PhysicalDrive3"] = DriveOnPort(1);
  fake.Devices.Devices["\\\\.\\SCSI1:"] = MiniportDriver({}, std::vector<uint8_t>(512, 0));
  ATA_SMART_INFO asi;
  EXPECT_FALSE(ata.GetSmartAttributeNVMeIntel(3, asi));
  EXPECT_TRUE(log.Has("Count == 0 error."));
  auto requests = fake.Devices.WithCode(winio::CTL_SCSI_MINIPORT);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(Load32(&requests[0].In[52]), 0x02u);
  EXPECT_EQ(Load32(&requests[0].In[56]), 0xFFFFFFFFu);
  EXPECT_EQ(Load32(&requests[0].In[92]), 0x007F0002u);
}

TEST_F(NvmeAccess, MiniportWithoutScsiAddressFails) {
  fake.Devices.Devices["\\\\.\\PhysicalDrive3"] = [](const Request&, uint8_t*, uint32_t*,
                                                     uint32_t* error) {
    *error = os::ERR_NOT_SUPPORTED;
    return false;
  };
  uint8_t buffer[512];
  EXPECT_EQ(ata.GetScsiPath("\\\\.\\PhysicalDrive3"), "");
  EXPECT_FALSE(ata.DoIdentifyDeviceNVMeIntel(3, buffer));
  EXPECT_TRUE(fake.Devices.WithCode(winio::CTL_SCSI_MINIPORT).empty());
}

// A JMicron NVMe bridge: takes the command block, then answers with
// `answer`, or (echo) leaves the block where it was.
testutil::Handler JMicronBridge(std::vector<uint8_t> answer, bool echo) {
  return [=](const Request& r, uint8_t* out, uint32_t* returned, uint32_t*) {
    if (r.In[CDB_AT] != 0xA1) return false;
    if (r.In[CDB_AT + 1] == 0x82 && !echo) std::memcpy(out + SPT + 24, answer.data(), 512);
    *returned = r.OutSize;
    return true;
  };
}

TEST_F(NvmeAccess, JMicronBridgeEchoOfIdentifyBlockIsNoAnswer) {
  fake.Devices.Devices["\\\\.\\PhysicalDrive4"] = JMicronBridge({}, true);
  uint8_t buffer[512];
  EXPECT_FALSE(ata.DoIdentifyDeviceNVMeJMicron(4, buffer));
  auto requests = fake.Devices.WithCode(winio::CTL_SCSI_PASS_THROUGH);
  ASSERT_EQ(requests.size(), 2u);
  // The block that went out sums to 317: "NVME", opcode 06, CNS 01.
  uint32_t sum = 0;
  for (size_t i = 0; i < 512; ++i) sum += requests[0].In[SPT + 24 + i];
  EXPECT_EQ(sum, 317u);
  EXPECT_EQ(requests[0].In[6], 12);
  const std::vector<uint8_t> cdb1 = {0xA1, 0x80, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0};
  const std::vector<uint8_t> cdb2 = {0xA1, 0x82, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(CdbOf(requests[0], 12), cdb1);
  EXPECT_EQ(CdbOf(requests[1], 12), cdb2);
}

TEST_F(NvmeAccess, JMicronBridgeAnswersIdentifyAndHealth) {
  auto identify = IdentifyPage("WD Blue SN550 500GB");
  fake.Devices.Devices["\\\\.\\PhysicalDrive4"] = JMicronBridge(identify, false);
  uint8_t buffer[512];
  ASSERT_TRUE(ata.DoIdentifyDeviceNVMeJMicron(4, buffer));
  EXPECT_EQ(std::memcmp(buffer, identify.data(), 512), 0);

  fake.Devices.Requests.clear();
  ATA_SMART_INFO asi;
  ASSERT_TRUE(ata.GetSmartAttributeNVMeJMicron(4, asi));  // the identify page sums to non-zero
  const std::vector<uint8_t>& block = fake.Devices.Requests[0].In;
  const size_t d = SPT + 24;
  EXPECT_EQ(std::string(block.begin() + d, block.begin() + d + 4), "NVME");
  EXPECT_EQ(block[d + 8], 0x02);
  EXPECT_EQ(block[d + 10], 0x56);
  EXPECT_EQ(Load32(&block[d + 12]), 0xFFFFFFFFu);
  EXPECT_EQ(block[d + 33], 0x40);
  EXPECT_EQ(block[d + 34], 0x7A);
  EXPECT_EQ(block[d + 48], 0x02);
  EXPECT_EQ(block[d + 50], 0x7F);
  // The second request went out with a cleared data area.
  const std::vector<uint8_t>& second = fake.Devices.Requests[1].In;
  for (size_t i = 0; i < 512; ++i) ASSERT_EQ(second[d + i], 0) << i;
}

TEST_F(NvmeAccess, ASMediaBridgeCdbAndLengths) {
  auto identify = IdentifyPage("CT500P1SSD8");
  fake.Devices.Devices["\\\\.\\PhysicalDrive6"] = [&](const Request& r, uint8_t* out,
                                                      uint32_t* returned, uint32_t*) {
    if (r.In[CDB_AT] != 0xE6) return false;
    std::memcpy(out + SPT + 36, identify.data(), 512);
    *returned = r.OutSize;
    return true;
  };
  uint8_t buffer[512];
  ASSERT_TRUE(ata.DoIdentifyDeviceNVMeASMedia(6, buffer));
  ATA_SMART_INFO asi;
  ASSERT_TRUE(ata.GetSmartAttributeNVMeASMedia(6, asi));
  auto requests = fake.Devices.WithCode(winio::CTL_SCSI_PASS_THROUGH);
  ASSERT_EQ(requests.size(), 2u);
  const std::vector<uint8_t> idCdb = {0xE6, 0x06, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::vector<uint8_t> logCdb = {0xE6, 0x02, 0, 0x02, 0, 0, 0, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(CdbOf(requests[0], 16), idCdb);
  EXPECT_EQ(CdbOf(requests[1], 16), logCdb);
  EXPECT_EQ(requests[0].In.size(), SPT + 36 + 4096);
  EXPECT_EQ(requests[1].In.size(), SPT + 36 + 512);
  EXPECT_EQ(Load32(&requests[0].In[12]), 4096u);  // data transfer length
  EXPECT_EQ(Load32(&requests[1].In[12]), 512u);
}

TEST(NvmeDecode, HealthLogFigures) {
  struct Case {
    uint16_t Kelvin;
    int Temperature;
  };
  const Case cases[] = {{321, 48}, {273, 0}, {250, -23}, {0, -127}, {1, 0 - 16}};
  for (const Case& c : cases) {
    ATA_SMART_INFO asi;
    auto log = HealthPage(c.Kelvin, 87);
    std::memcpy(asi.SmartReadData.data(), log.data(), 512);
    CAtaSmart::ApplyNvmeHealthLog(asi);
    // 1 K wraps as the original byte arithmetic does: (1 - 273) & 0xFF.
    int expected =
        c.Kelvin == 1 ? static_cast<int8_t>(static_cast<uint8_t>(1 - 273)) : c.Temperature;
    EXPECT_EQ(asi.Temperature, expected) << c.Kelvin;
    EXPECT_EQ(asi.Life, 87);
    EXPECT_EQ(asi.HostWrites, 1);
    EXPECT_EQ(asi.HostReads, 0);
    EXPECT_EQ(asi.PowerOnCount, 42);
    EXPECT_EQ(asi.DetectedPowerOnHours, 1337);
    EXPECT_EQ(asi.MeasuredPowerOnHours, 1337);
  }
}

TEST(NvmeDecode, DataUnitsUseOnlyTheLow56Bits) {
  struct Case {
    std::vector<std::pair<int, uint8_t>> Bytes;  // offsets inside the 16-byte counter
    int32_t Expected;
  };
  const Case cases[] = {
      {{{1, 0x08}}, 1},              // 2048
      {{{0, 0xFF}, {1, 0x07}}, 0},   // 2047
      {{{7, 0xFF}, {15, 0xFF}}, 0},  // bits above 56 are not read
      {{{5, 0x01}}, 1 << 29},        // 2^40 >> 11
      {{{4, 0x01}}, 1 << 21},        // 2^32 >> 11
  };
  for (const Case& c : cases) {
    ATA_SMART_INFO asi;
    for (auto [offset, value] : c.Bytes) asi.SmartReadData[48 + offset] = value;
    for (auto [offset, value] : c.Bytes) asi.SmartReadData[32 + offset] = value;
    CAtaSmart::ApplyNvmeHealthLog(asi);
    EXPECT_EQ(asi.HostWrites, c.Expected);
    EXPECT_EQ(asi.HostReads, c.Expected);
  }
}

TEST(NvmeDecode, AttributeRowsFollowTheLogLayout) {
  auto log = HealthPage();
  log[0] = 0x04;    // critical warning: reliability degraded
  log[160] = 0x07;  // media errors
  log[192] = 0x11;  // warning temperature time
  log[202] = 0x22;  // sensor 2
  ATTRIBUTE_ENTRY rows[MAX_ATTRIBUTE] = {};
  rows[15].Id = 0xEE;  // stands for a row written at admission
  CAtaSmart::FillSmartDataNVMe(log.data(), rows, false);
  EXPECT_EQ(rows[0].Id, 1);
  EXPECT_EQ(rows[0].RawValue[0], 0x04);
  EXPECT_EQ(RawValue48(rows[1]), 321u);
  EXPECT_EQ(RawValue48(rows[2]), 100u);
  EXPECT_EQ(RawValue48(rows[6]), 2048u);
  EXPECT_EQ(RawValue48(rows[10]), 42u);
  EXPECT_EQ(RawValue48(rows[13]), 7u);
  EXPECT_EQ(rows[14].Id, 15);
  EXPECT_EQ(rows[15].Id, 0xEE);  // rows 16-19 untouched without extras

  CAtaSmart::FillSmartDataNVMe(log.data(), rows, true);
  EXPECT_EQ(rows[15].Id, 16);
  EXPECT_EQ(RawValue48(rows[15]), 0x11u);
  EXPECT_EQ(RawValue48(rows[17]), 300u);
  EXPECT_EQ(RawValue48(rows[18]), 0x22u);
  EXPECT_EQ(rows[19].Id, 0);
  for (int i = 0; i < 19; ++i) {
    EXPECT_EQ(static_cast<int>(rows[i].StatusFlags), 0);
    EXPECT_EQ(rows[i].CurrentValue, 0);
    EXPECT_EQ(rows[i].WorstValue, 0);
  }
}

TEST(NvmeDecode, VersionText) {
  struct Case {
    uint8_t Minor, MajorLow, MajorHigh;
    const char* Text;
  };
  const Case cases[] = {
      {0, 0, 0, "NVM Express 1.0/1.1"},
      {3, 1, 0, "NVM Express 1.3"},
      {0, 2, 0, "NVM Express 2.0"},
      {4, 0, 0, "NVM Express 1.0/1.1"},  // only the major decides "not reported"
      {0xFF, 0xFF, 0xFF, "NVM Express -1.-1"},
  };
  for (const Case& c : cases) {
    uint8_t identify[512] = {};
    identify[81] = c.Minor;
    identify[82] = c.MajorLow;
    identify[83] = c.MajorHigh;
    EXPECT_EQ(CAtaSmart::GetNVMeVersionText(identify), c.Text);
  }
}

TEST_F(NvmeAccess, ControllerNamingTable) {
  struct Case {
    const char* Model;
    const char* Controller;
  };
  const Case cases[] = {
      {"INTEL SSDPEKNW512G8", "SMI SM2263"},
      {"Samsung SSD 970 EVO Plus 1TB", "Samsung Phoenix"},
      {"Samsung SSD 960 EVO 250GB", "Samsung Polaris"},
      {"SAMSUNG MZVLW256HEHP-000L7", "Samsung Polaris"},
      {"Samsung SSD 950 PRO 512GB", "Samsung UBX"},
      {"SAMSUNG MZVLB512HAJQ", "Samsung UBX"},
      {"TS512GMTE110S", "SMI SM2263XT"},
      {"TS256GMTE220S", "SMI SM2263EN"},
      {"TS1TMTE400S", "SMI SM2263XT"},
      {"XTS1TMTE110S", "Unknown"},  // "TS" must begin the model
      {"ADATA SX8200PNP", "SMI SM2262EN"},
      {"ADATA SX6000PNP", "Realtek RTS5760"},
      {"ADATA LEGEND 700", "Unknown"},
      {"Apacer AS2280P4 512GB", "Phison PS5008-10"},
      {"INTEL SSDPEDMW400G4", "Intel CH29AE41AB0"},
      {"Intel SSDPE21K375GA", "Intel EAT39099"},
      {"INTEL SSDPE2MX450G7", "Intel CH29AE41AB1"},
      {"Plextor SSD 7LF6 Intel", "Marvell 88NV1120"},  // first row wins
      {"WDC WDS500G2B0C", "Unknown"},
  };
  for (const Case& c : cases) {
    ATA_SMART_INFO asi;
    asi.Model = c.Model;
    asi.Controller = "Unknown";
    ata.NameControllerNVMe(asi);
    EXPECT_EQ(asi.Controller, c.Controller) << c.Model;
  }
}

TEST(NvmeDecode, VendorSeriesLookup) {
  struct Case {
    uint16_t Vendor;
    const char* Text;
  };
  const Case cases[] = {{0x144D, "Samsung-series"},
                        {0x8086, "Intel-series"},
                        {0x1987, "Phison-series"},
                        {0x1F96, ""},  // 8086 in decimal
                        {0x15B7, ""},
                        {0x0000, ""}};
  for (const Case& c : cases) {
    uint8_t identify[512] = {};
    identify[0] = static_cast<uint8_t>(c.Vendor);
    identify[1] = static_cast<uint8_t>(c.Vendor >> 8);
    EXPECT_EQ(CAtaSmart::GetNVMeVendorSeries(identify), c.Text) << c.Vendor;
  }
}

TEST_F(NvmeAccess, AdmissionWithoutStorageQueryHasNoHealthFigures) {
  fake.Devices.Devices["\\\\.\\PhysicalDrive0"] =
      StorageQueryDriver(IdentifyPage("Samsung SSD 980 1TB"), HealthPage());
  ata.m_FlagNVMeStorageQuery = false;
  auto identify = IdentifyPage("Samsung SSD 980 1TB");
  ASSERT_TRUE(ata.AddDiskNVMe(0, 2, 0, 0, 0, CMD_TYPE_NVME_STORAGE_QUERY, identify.data(), ""));
  const ATA_SMART_INFO& asi = ata.vars[0];
  EXPECT_TRUE(fake.Devices.Requests.empty());
  EXPECT_EQ(asi.AttributeCount, 0);
  EXPECT_EQ(asi.Temperature, 24);
  EXPECT_EQ(asi.Life, -1);
  EXPECT_EQ(asi.DiskVendorId, 0);
  EXPECT_EQ(asi.Interface, "");
  EXPECT_EQ(asi.MajorVersionText, "");
  EXPECT_EQ(asi.Controller, "Samsung Phoenix");
  EXPECT_EQ(asi.CommandTypeText, "sq");
  EXPECT_EQ(asi.InterfaceType, INTERFACE_TYPE_NVME);
}

TEST_F(NvmeAccess, AdmissionThroughMiniportFillsFiguresAndLink) {
  fake.Devices.Devices["\\\\.\\PhysicalDrive2"] = DriveOnPort(2);
  fake.Devices.Devices["\\\\.\\SCSI2:"] =
      MiniportDriver(IdentifyPage("WDC WDS500G2B0C"), HealthPage(321, 93));
  fake.Wmi.Answers
      ["ASSOCIATORS OF {Win32_DiskDrive.DeviceID='\\\\.\\PhysicalDrive2'} WHERE "
       "ResultClass=Win32_PnPEntity"] = {
      os::WmiObject{{{"DeviceID", std::string("SCSI\\DISK&X")}}}};
  fake.Wmi.Answers
      ["ASSOCIATORS OF {Win32_PnPEntity.DeviceID='SCSI\\DISK&X'} WHERE "
       "AssocClass=Win32_SCSIControllerDevice"] = {
      os::WmiObject{{{"DeviceID", std::string("PCI\\VEN_OTHER")}}},
      os::WmiObject{{{"DeviceID", std::string("PCI\\VEN_15B7&DEV_5009")}}}};
  fake.Setup.Adapters = {"PCI\\VEN_8086&DEV_A102", "pci\\ven_15b7&dev_5009",
                         "PCI\\VEN_15B7&DEV_5009"};
  const std::string match = "PCI\\VEN_15B7&DEV_5009";
  fake.Setup.Properties[{match, 12}] = {4, 0, 0, 0};
  fake.Setup.Properties[{match, 11}] = {3, 0, 0, 0};
  fake.Setup.Properties[{match, 10}] = {2};
  fake.Setup.Properties[{match, 9}] = {1};

  auto identify = IdentifyPage("WDC WDS500G2B0C", "2024ABC   ", "211070WD", 0x15B7, 1, 4);
  ASSERT_TRUE(ata.AddDiskNVMe(2, 2, 0, 0, 0, CMD_TYPE_NVME_INTEL, identify.data(), ""));
  const ATA_SMART_INFO& asi = ata.vars[0];
  EXPECT_EQ(asi.Model, "WDC WDS500G2B0C");
  EXPECT_EQ(asi.SerialNumber, "2024ABC");
  EXPECT_EQ(asi.FirmwareRev, "211070WD");
  EXPECT_EQ(asi.Controller, "Unknown");  // 0x15B7 is not in the series list
  EXPECT_EQ(asi.Temperature, 48);
  EXPECT_EQ(asi.Life, 93);
  EXPECT_EQ(asi.DiskVendorId, 19);
  EXPECT_EQ(asi.SmartKeyName, "SmartP60");
  EXPECT_EQ(asi.AttributeCount, 19);
  EXPECT_EQ(asi.Attribute[17].Id, 18);  // sensor rows written at admission
  EXPECT_EQ(asi.MaxTransferMode, "PCIe 3.0 x4");
  EXPECT_EQ(asi.CurrentTransferMode, "PCIe 1.0 x2");
  EXPECT_EQ(asi.Interface, "NVM Express");
  EXPECT_EQ(asi.MajorVersionText, "NVM Express 1.4");
  EXPECT_EQ(asi.VendorSpecificText, "KX9TQ305RDVLP");
  EXPECT_EQ(asi.SupportLevel, 0);  // no naming row: the maker-disk level
  EXPECT_EQ(asi.CommandTypeText, "ni");
  EXPECT_EQ(asi.IsNvme, 1);
  EXPECT_EQ(asi.PnpDeviceId, "");
}

TEST_F(NvmeAccess, LinkIsZeroWithoutControllerMatch) {
  const std::string wql =
      "ASSOCIATORS OF {Win32_DiskDrive.DeviceID='\\\\.\\PhysicalDrive7'} WHERE "
      "ResultClass=Win32_PnPEntity";
  // A device id of any length or content, quotes and braces included.
  const std::vector<std::string> ids = {std::string(100000, 'A'), "'}{\"\\\\%s%n%d",
                                        std::string("\0\xFF\x01", 3), ""};
  for (const std::string& id : ids) {
    fake.Wmi.Answers[wql] = {os::WmiObject{{{"DeviceID", id}}}};
    fake.Setup.Adapters = {"PCI\\VEN_1234"};
    PCIE_LINK_INFO link = ata.GetPcieLinkInfo(7);
    EXPECT_EQ(link.MaxLinkSpeed, 0);
    EXPECT_EQ(link.CurrentLinkWidth, 0);
  }
  fake.Wmi.Answers.clear();
  EXPECT_EQ(ata.GetControllerDeviceId(7), "");
}

TEST_F(NvmeAccess, RefreshTreatsZeroKelvinAsUnknown) {
  auto health = std::make_shared<std::vector<uint8_t>>(HealthPage(321, 90));
  fake.Devices.Devices["\\\\.\\PhysicalDrive0"] = [health](const Request& r, uint8_t* out,
                                                           uint32_t* returned, uint32_t*) {
    std::memcpy(out + 48, health->data(), 512);
    *returned = static_cast<uint32_t>(r.In.size());
    return true;
  };
  auto identify = IdentifyPage("Samsung SSD 970 PRO 512GB");
  ASSERT_TRUE(ata.AddDiskNVMe(0, 0, 0, 0, 0, CMD_TYPE_NVME_STORAGE_QUERY, identify.data(), ""));
  EXPECT_EQ(ata.vars[0].Temperature, 48);

  *health = HealthPage(0, 80);
  (*health)[48] = 0x00;
  (*health)[49] = 0x10;  // 4096 units written
  EXPECT_EQ(ata.UpdateSmartInfo(0), SMART_STATUS_CHANGED);
  EXPECT_EQ(ata.vars[0].Temperature, TEMPERATURE_UNKNOWN);
  EXPECT_EQ(ata.vars[0].Life, 80);
  EXPECT_EQ(ata.vars[0].HostWrites, 2);
  EXPECT_EQ(RawValue48(ata.vars[0].Attribute[6]), 4096u);  // the table follows the new log
  EXPECT_EQ(RawValue48(ata.vars[0].Attribute[17]), 300u);  // sensor rows keep admission values
}

TEST_F(NvmeAccess, FullListRefusesTheNextNvmeDisk) {
  ata.m_FlagNVMeStorageQuery = false;
  auto identify = IdentifyPage("Samsung SSD 980 1TB");
  for (int i = 0; i < MAX_DISK; ++i) {
    ASSERT_TRUE(ata.AddDiskNVMe(i, 0, 0, 0, 0, CMD_TYPE_NVME_STORAGE_QUERY, identify.data(), ""));
  }
  EXPECT_FALSE(ata.AddDiskNVMe(48, 0, 0, 0, 0, CMD_TYPE_NVME_STORAGE_QUERY, identify.data(), ""));
  EXPECT_EQ(ata.vars.GetCount(), MAX_DISK);
}

TEST_F(NvmeAccess, CriticalWarningDecidesBeforeSpare) {
  struct Case {
    uint8_t Warning;
    uint8_t Spare;
    int32_t Status;
  };
  const Case cases[] = {
      {0x00, 100, DISK_STATUS_GOOD}, {0x00, 10, DISK_STATUS_CAUTION},
      {0x00, 9, DISK_STATUS_BAD},    {0x01, 100, DISK_STATUS_GOOD},  // spare below threshold
      {0x02, 100, DISK_STATUS_GOOD},                                 // temperature
      {0x04, 100, DISK_STATUS_BAD},                                  // reliability degraded
      {0x08, 100, DISK_STATUS_BAD},                                  // read-only
      {0x10, 100, DISK_STATUS_BAD},                                  // backup failed
      {0x20, 100, DISK_STATUS_GOOD},                                 // persistent memory
  };
  auto health = std::make_shared<std::vector<uint8_t>>();
  fake.Devices.Devices["\\\\.\\PhysicalDrive0"] = [health](const Request& r, uint8_t* out,
                                                           uint32_t* returned, uint32_t*) {
    std::memcpy(out + 48, health->data(), 512);
    *returned = static_cast<uint32_t>(r.In.size());
    return true;
  };
  auto identify = IdentifyPage("Samsung SSD 970 PRO 512GB");
  for (const Case& c : cases) {
    *health = HealthPage(320, c.Spare);
    (*health)[0] = c.Warning;
    ata.vars.RemoveAll();
    ASSERT_TRUE(ata.AddDiskNVMe(0, 0, 0, 0, 0, CMD_TYPE_NVME_STORAGE_QUERY, identify.data(), ""));
    EXPECT_EQ(ata.CheckDiskStatus(0), c.Status) << int(c.Warning) << " " << int(c.Spare);
    EXPECT_EQ(ata.vars[0].Life, c.Spare);  // life stays the available spare
    ata.UpdateSmartInfo(0);
    EXPECT_EQ(ata.vars[0].DiskStatus, c.Status);
  }
}
