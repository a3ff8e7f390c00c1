#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/AtaSmart.h"
#include "os/wire/WinIoctlPaths.h"
#include "tests/support/PathsFakes.h"

using testutil::CFakePlatform;
using testutil::Request;
using winio::Load32;

namespace {

std::array<uint8_t, 64> Phy(uint8_t port, uint8_t attachedPhy, uint8_t addressSeed) {
  std::array<uint8_t, 64> phy{};
  phy[28] = port;                                                           // bPortIdentifier
  for (int i = 0; i < 8; ++i) phy[36 + 12 + i] = uint8_t(addressSeed + i);  // attached address
  phy[36 + 20] = attachedPhy;                                               // attached phy id
  return phy;
}

// A CSMI controller on one port: driver info, `raidSets` sets, `phys` phys.
struct Controller {
  uint32_t RaidSets = 1;
  uint32_t DrivesPerSet = 2;
  uint8_t PhyCount = 2;
  uint32_t FailCode = 0;  // the control code that fails
  uint32_t FailError = 0;
  std::vector<uint8_t> Sector = std::vector<uint8_t>(512, 0x31);
};

testutil::Handler CsmiDriver(Controller c) {
  return [c](const Request& r, uint8_t* out, uint32_t* returned, uint32_t* error) {
    if (r.Code != winio::CTL_SCSI_MINIPORT || r.In.size() < 28) return false;
    const uint32_t code = Load32(&r.In[16]);
    if (code == c.FailCode) {
      *error = c.FailError;
      return false;
    }
    *returned = static_cast<uint32_t>(r.In.size());
    switch (code) {
      case winio::CC_CSMI_SAS_GET_RAID_INFO:
        winio::Store32(out + 28, c.RaidSets);
        winio::Store32(out + 32, c.DrivesPerSet);
        break;
      case winio::CC_CSMI_SAS_GET_PHY_INFO:
        out[28] = c.PhyCount;
        for (int i = 0; i < 32; ++i) {
          auto phy = Phy(uint8_t(i / 4), uint8_t(i), uint8_t(0x50 + i));
          std::memcpy(out + 32 + 64 * i, phy.data(), 64);
        }
        break;
      case winio::CC_CSMI_SAS_STP_PASSTHRU:
        std::memcpy(out + 164, c.Sector.data(), std::min<size_t>(512, r.In.size() - 164));
        break;
      default:
        break;
    }
    return true;
  };
}

// The STP pass-through requests that carry IDENTIFY DEVICE.
std::vector<Request> IdentifyRequests(const std::vector<Request>& all) {
  std::vector<Request> found;
  for (const Request& r : all) {
    if (r.In.size() > 46 && Load32(&r.In[16]) == winio::CC_CSMI_SAS_STP_PASSTHRU &&
        r.In[44 + 2] == 0xEC) {
      found.push_back(r);
    }
  }
  return found;
}

// Requests of the scan itself: everything but the pass-throughs, plus one
// per identify.
size_t Requests(const std::vector<Request>& all) {
  size_t n = 0;
  for (const Request& r : all) {
    if (Load32(&r.In[16]) != winio::CC_CSMI_SAS_STP_PASSTHRU) ++n;
  }
  return n + IdentifyRequests(all).size();
}

}  // namespace

class Csmi : public ::testing::Test {
 protected:
  CFakePlatform fake;
  CAtaSmart ata{fake.Get()};
  void SetUp() override { ata.m_CsmiType = 1; }
};

TEST_F(Csmi, IoctlHeaderAndErrorMapping) {
  struct Case {
    bool Succeeds;
    uint32_t Error;
    bool Result;
  };
  const Case cases[] = {
      {true, 0, true},
      {false, os::ERR_INVALID_FUNCTION, false},
      {false, os::ERR_NOT_SUPPORTED, false},
      {false, os::ERR_DEV_NOT_EXIST, false},
      {false, os::ERR_GEN_FAILURE, true},  // the driver filled the buffer anyway
      {false, os::ERR_INVALID_PARAMETER, true},
      {false, os::ERR_IO_DEVICE, true},
  };
  for (const Case& c : cases) {
    fake.Devices.Devices["\\\\.\\Scsi0:"] = [c](const Request&, uint8_t*, uint32_t*,
                                                uint32_t* error) {
      *error = c.Error;
      return c.Succeeds;
    };
    uint32_t err = 0;
    auto handle = fake.Devices.Open("\\\\.\\Scsi0:", os::Access::ReadWrite, &err);
    std::vector<uint8_t> buffer(128, 0);
    EXPECT_EQ(ata.CsmiIoctl(*handle, winio::CC_CSMI_SAS_GET_RAID_INFO, buffer.data(), 128),
              c.Result)
        << c.Error;
  }
  const Request& r = fake.Devices.Requests.back();
  EXPECT_EQ(Load32(&r.In[0]), 28u);
  EXPECT_EQ(std::memcmp(&r.In[4], "CSMIARY\0", 8), 0);
  EXPECT_EQ(Load32(&r.In[12]), 60u);
  EXPECT_EQ(Load32(&r.In[16]), winio::CC_CSMI_SAS_GET_RAID_INFO);
  EXPECT_EQ(Load32(&r.In[24]), 100u);
  EXPECT_EQ(r.OutSize, 128u);
}

TEST_F(Csmi, SignatureByControlCode) {
  fake.Devices.Devices["\\\\.\\Scsi0:"] = [](const Request&, uint8_t*, uint32_t*, uint32_t*) {
    return true;
  };
  uint32_t err = 0;
  auto handle = fake.Devices.Open("\\\\.\\Scsi0:", os::Access::ReadWrite, &err);
  struct Case {
    uint32_t Code;
    const char* Signature;
  };
  const Case cases[] = {
      {1, "CSMIALL"}, {10, "CSMIARY"}, {11, "CSMIARY"}, {20, "CSMISAS"}, {25, "CSMISAS"}};
  for (const Case& c : cases) {
    std::vector<uint8_t> buffer(64, 0xEE);
    ASSERT_TRUE(ata.CsmiIoctl(*handle, c.Code, buffer.data(), 64));
    EXPECT_EQ(std::memcmp(&fake.Devices.Requests.back().In[4], c.Signature, 8), 0) << c.Code;
  }
  std::vector<uint8_t> buffer(64, 0);
  const size_t before = fake.Devices.Requests.size();
  EXPECT_FALSE(ata.CsmiIoctl(*handle, 21, buffer.data(), 64));  // other codes are refused
  EXPECT_EQ(fake.Devices.Requests.size(), before);
}

TEST_F(Csmi, StpPassThroughRequest) {
  Controller c;
  fake.Devices.Devices["\\\\.\\Scsi3:"] = CsmiDriver(c);
  ATA_SMART_INFO asi;
  const auto phy = Phy(2, 5, 0x70);
  ata.GetSmartAttributeCsmi(3, phy, asi);
  ASSERT_EQ(fake.Devices.Requests.size(), 1u);
  const std::vector<uint8_t>& in = fake.Devices.Requests[0].In;
  ASSERT_EQ(in.size(), 680u);
  EXPECT_EQ(Load32(&in[24]), 652u);  // data size + 140
  EXPECT_EQ(in[28], 5);              // attached phy identifier
  EXPECT_EQ(in[29], 2);              // port identifier
  EXPECT_EQ(in[30], 0);              // connection rate
  for (int i = 0; i < 8; ++i) EXPECT_EQ(in[32 + i], 0x70 + i);
  const uint8_t fis[20] = {0x27, 0x80, 0xB0, 0xD0, 0x00, 0x4F, 0xC2, 0xA0};
  EXPECT_EQ(std::memcmp(&in[44], fis, 20), 0);
  EXPECT_EQ(Load32(&in[64]), 17u);   // read, PIO
  EXPECT_EQ(Load32(&in[68]), 512u);  // data length
  EXPECT_EQ(asi.SmartReadData[0], 0x31);

  fake.Devices.Requests.clear();
  uint8_t untouched[4] = {9, 9, 9, 9};
  ASSERT_TRUE(ata.SendAtaCommandCsmi(3, phy, 0xEF, 0x42, 0x80, untouched, 0));
  const std::vector<uint8_t>& set = fake.Devices.Requests[0].In;
  EXPECT_EQ(set.size(), 168u);
  EXPECT_EQ(Load32(&set[64]), 4u);  // unspecified direction
  EXPECT_EQ(set[44 + 2], 0xEF);
  EXPECT_EQ(set[44 + 3], 0x42);
  EXPECT_EQ(set[44 + 5], 0x00);  // no S.M.A.R.T. signature for other commands
  EXPECT_EQ(set[44 + 12], 0x80);
  EXPECT_EQ(untouched[0], 9);
}

TEST_F(Csmi, ScanIdentifiesEveryReportedPhy) {
  Controller c;
  c.PhyCount = 4;
  c.RaidSets = 3;
  c.DrivesPerSet = 2;
  fake.Devices.Devices["\\\\.\\Scsi1:"] = CsmiDriver(c);
  EXPECT_TRUE(ata.AddDiskCsmi(1));
  // Requests up to the identify of the first phy (what admission reads
  // after an identify is its own business).
  std::vector<uint32_t> codes;
  for (const Request& r : fake.Devices.Requests) codes.push_back(Load32(&r.In[16]));
  codes.resize(7);
  const std::vector<uint32_t> expected = {1, 10, 11, 11, 11, 20, 25};
  EXPECT_EQ(codes, expected);
  // Each RAID configuration request asks for its set with room for all drives.
  for (uint32_t set = 0; set < 3; ++set) {
    const Request& r = fake.Devices.Requests[2 + set];
    EXPECT_EQ(r.In.size(), 2u * 3u * 136u + 200u);
    EXPECT_EQ(Load32(&r.In[28]), set);
  }
  // The identify goes to the device attached to each phy in turn.
  std::vector<Request> identifies = IdentifyRequests(fake.Devices.Requests);
  ASSERT_EQ(identifies.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(identifies[i].In[28], i);
}

TEST_F(Csmi, ScanStops) {
  struct Case {
    const char* Name;
    Controller C;
    size_t Requests;
    bool Result;
  };
  Controller noCsmi;
  noCsmi.FailCode = winio::CC_CSMI_SAS_GET_DRIVER_INFO;
  noCsmi.FailError = os::ERR_INVALID_FUNCTION;
  Controller phys33;
  phys33.PhyCount = 33;
  Controller phys0;
  phys0.PhyCount = 0;
  Controller noConfig;
  noConfig.FailCode = winio::CC_CSMI_SAS_GET_RAID_CONFIG;
  noConfig.FailError = os::ERR_NOT_SUPPORTED;
  Controller absurd;  // a configuration buffer of terabytes is not asked for
  absurd.RaidSets = 0xFFFFFFFF;
  absurd.DrivesPerSet = 0xFFFFFFFF;
  Controller manySets;  // nor four billion configuration requests
  manySets.RaidSets = 0xFFFFFFFF;
  manySets.DrivesPerSet = 0;
  Controller noSets;
  noSets.RaidSets = 0;
  noSets.PhyCount = 1;
  const Case cases[] = {
      {"no CSMI in the driver", noCsmi, 1, false},
      {"33 phys", phys33, 4, true},
      {"no phys", phys0, 4, true},
      {"configuration refused", noConfig, 3, false},
      {"absurd configuration", absurd, 2, false},
      {"absurd number of sets", manySets, 2, false},
      {"no RAID set", noSets, 4, true},
  };
  for (const Case& c : cases) {
    fake.Devices.Requests.clear();
    fake.Devices.Devices["\\\\.\\Scsi2:"] = CsmiDriver(c.C);
    EXPECT_EQ(ata.AddDiskCsmi(2), c.Result) << c.Name;
    EXPECT_EQ(Requests(fake.Devices.Requests), c.Requests) << c.Name;
  }
}

TEST_F(Csmi, ScanNeedsCsmiTypeAndPort) {
  fake.Devices.Devices["\\\\.\\Scsi2:"] = CsmiDriver(Controller{});
  ata.m_CsmiType = 0;
  EXPECT_FALSE(ata.AddDiskCsmi(2));
  ata.m_CsmiType = 1;
  EXPECT_FALSE(ata.AddDiskCsmi(7));  // no such port
  EXPECT_TRUE(fake.Devices.Requests.empty());
}

TEST(CsmiPhyInfo, ParsingIsBounded) {
  std::vector<uint8_t> buffer(2080, 0);
  EXPECT_TRUE(CAtaSmart::ParseCsmiPhyInfo(buffer.data(), buffer.size()).empty());
  buffer[28] = 32;
  buffer[32 + 31 * 64 + 63] = 0x7E;
  auto phys = CAtaSmart::ParseCsmiPhyInfo(buffer.data(), buffer.size());
  ASSERT_EQ(phys.size(), 32u);
  EXPECT_EQ(phys[31][63], 0x7E);
  buffer[28] = 33;
  EXPECT_TRUE(CAtaSmart::ParseCsmiPhyInfo(buffer.data(), buffer.size()).empty());
  buffer[28] = 1;
  EXPECT_TRUE(CAtaSmart::ParseCsmiPhyInfo(buffer.data(), 2079).empty());
  EXPECT_TRUE(CAtaSmart::ParseCsmiPhyInfo(nullptr, 2080).empty());
}
