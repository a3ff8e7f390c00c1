#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/AtaSmart.h"
#include "os/sim/SimUsbBridge.h"
#include "os/wire/WinIoctlPaths.h"
#include "tests/support/PathsFakes.h"

using testutil::CFakePlatform;
using testutil::Request;
using winio::Load32;

namespace {

const size_t SPT = sizeof(winio::SCSI_PASS_THROUGH);
const size_t SENSE_AT = SPT + 4;
const size_t DATA_AT = SPT + 36;

std::vector<uint8_t> Cdb(int32_t type, int32_t op, uint8_t target, uint8_t features = 0,
                         uint8_t count = 0) {
  uint8_t cdb[16];
  uint8_t length = 0;
  if (!CAtaSmart::BuildSatCdb(type, op, target, features, count, cdb, &length)) return {};
  return std::vector<uint8_t>(cdb, cdb + length);
}

}  // namespace

// Every form and operation, byte for byte, with device B0, feature 42 and
// count 80 so the substitutions show.
TEST(UsbBridgeCdb, EveryFormByteExact) {
  using V = std::vector<uint8_t>;
  struct Case {
    int32_t Type;
    V Identify, ReadData, ReadThresholds, Enable, SetFeatures;
  };
  const Case cases[] = {
      {CMD_TYPE_SAT,
       {0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0xB0, 0xEC, 0x00, 0x00},
       {0xA1, 0x08, 0x0E, 0xD0, 0x01, 0x01, 0x4F, 0xC2, 0xB0, 0xB0, 0x00, 0x00},
       {0xA1, 0x08, 0x0E, 0xD1, 0x01, 0x01, 0x4F, 0xC2, 0xB0, 0xB0, 0x00, 0x00},
       {0xA1, 0x06, 0x0E, 0xD8, 0x00, 0x01, 0x4F, 0xC2, 0xB0, 0xB0, 0x00, 0x00},
       {0xA1, 0x06, 0x0E, 0x42, 0x80, 0x00, 0x00, 0x00, 0xB0, 0xEF, 0x00, 0x00}},
      {CMD_TYPE_SUNPLUS,
       {0xF8, 0x00, 0x22, 0x10, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0xB0, 0xEC},
       {0xF8, 0x00, 0x22, 0x10, 0x01, 0xD0, 0x01, 0x00, 0x4F, 0xC2, 0xB0, 0xB0},
       {0xF8, 0x00, 0x22, 0x10, 0x01, 0xD1, 0x01, 0x01, 0x4F, 0xC2, 0xB0, 0xB0},
       {0xF8, 0x00, 0x22, 0x10, 0x01, 0xD8, 0x01, 0x00, 0x4F, 0xC2, 0xB0, 0xB0},
       {0xF8, 0x00, 0x22, 0x10, 0x01, 0x42, 0x80, 0x00, 0x00, 0x00, 0xB0, 0xEF}},
      {CMD_TYPE_IO_DATA,
       {0xE3, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0xB0, 0xEC, 0x00, 0x00, 0x00},
       {0xE3, 0x00, 0xD0, 0x00, 0x00, 0x4F, 0xC2, 0xB0, 0xB0, 0x00, 0x00, 0x00},
       {0xE3, 0x00, 0xD1, 0x00, 0x00, 0x4F, 0xC2, 0xB0, 0xB0, 0x00, 0x00, 0x00},
       {0xE3, 0x00, 0xD8, 0x00, 0x00, 0x4F, 0xC2, 0xB0, 0xB0, 0x00, 0x00, 0x00},
       {0xE3, 0x00, 0x42, 0x80, 0x00, 0x00, 0x00, 0xB0, 0xEF, 0x00, 0x00, 0x00}},
      {CMD_TYPE_LOGITEC1,
       {0xE0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xB0, 0xEC, 0x4C},
       {0xE0, 0x00, 0xD0, 0x00, 0x00, 0x4F, 0xC2, 0xB0, 0xB0, 0x4C},
       {0xE0, 0x00, 0xD1, 0x00, 0x00, 0x4F, 0xC2, 0xB0, 0xB0, 0x4C},
       {0xE0, 0x00, 0xD8, 0x00, 0x00, 0x4F, 0xC2, 0xB0, 0xB0, 0x4C},
       {0xE0, 0x00, 0x42, 0x80, 0x00, 0x00, 0x00, 0xB0, 0xEF, 0x4C}},
      {CMD_TYPE_LOGITEC2,
       {0xD8, 0x15, 0x00, 0x00, 0x06, 0x7B, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 0xB0,
        0xEC},
       {0xD8, 0x15, 0x00, 0xD0, 0x06, 0x7B, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x4F, 0xC2, 0xB0,
        0xB0},
       {0xD8, 0x15, 0x00, 0xD1, 0x06, 0x7B, 0x00, 0x00, 0x02, 0x00, 0x01, 0x01, 0x4F, 0xC2, 0xB0,
        0xB0},
       {0xD8, 0x15, 0x00, 0xD8, 0x06, 0x7B, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x4F, 0xC2, 0xB0,
        0xB0},
       {0xD8, 0x15, 0x00, 0x42, 0x06, 0x7B, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0xB0,
        0xEF}},
      {CMD_TYPE_JMICRON,
       {0xDF, 0x10, 0x00, 0x02, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xB0, 0xEC},
       {0xDF, 0x10, 0x00, 0x02, 0x00, 0xD0, 0x01, 0x01, 0x4F, 0xC2, 0xB0, 0xB0},
       {0xDF, 0x10, 0x00, 0x02, 0x00, 0xD1, 0x01, 0x01, 0x4F, 0xC2, 0xB0, 0xB0},
       {0xDF, 0x10, 0x00, 0x02, 0x00, 0xD8, 0x01, 0x01, 0x4F, 0xC2, 0xB0, 0xB0},
       {0xDF, 0x10, 0x00, 0x02, 0x00, 0x42, 0x80, 0x00, 0x00, 0x00, 0xB0, 0xEF}},
      {CMD_TYPE_CYPRESS,
       {0x24, 0x24, 0x00, 0xBE, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xB0, 0xEC, 0x00, 0x00,
        0x00},
       {0x24, 0x24, 0x00, 0xBE, 0x01, 0x00, 0xD0, 0x00, 0x00, 0x4F, 0xC2, 0xB0, 0xB0, 0x00, 0x00,
        0x00},
       {0x24, 0x24, 0x00, 0xBE, 0x01, 0x00, 0xD1, 0x00, 0x00, 0x4F, 0xC2, 0xB0, 0xB0, 0x00, 0x00,
        0x00},
       {0x24, 0x24, 0x00, 0xBE, 0x00, 0x00, 0xD8, 0x00, 0x00, 0x4F, 0xC2, 0xB0, 0xB0, 0x00, 0x00,
        0x00},
       {0x24, 0x24, 0x00, 0xBE, 0x00, 0x00, 0x42, 0x80, 0x00, 0x00, 0x00, 0xB0, 0xEF, 0x00, 0x00,
        0x00}},
      {CMD_TYPE_PROLIFIC,
       {0xA1, 0x1C, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0xB0, 0xEC, 0x00, 0x00},
       {0xA1, 0x1C, 0x0E, 0xD0, 0x01, 0x01, 0x4F, 0xC2, 0xB0, 0xB0, 0x00, 0x00},
       {0xA1, 0x1C, 0x0E, 0xD1, 0x01, 0x01, 0x4F, 0xC2, 0xB0, 0xB0, 0x00, 0x00},
       {0xA1, 0x1C, 0x0E, 0xD8, 0x00, 0x01, 0x4F, 0xC2, 0xB0, 0xB0, 0x00, 0x00},
       {0xA1, 0x1C, 0x0E, 0x42, 0x80, 0x00, 0x00, 0x00, 0xB0, 0xEF, 0x00, 0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(kCommandTypeCodes[c.Type]);
    EXPECT_EQ(Cdb(c.Type, SAT_IDENTIFY, 0xB0), c.Identify);
    EXPECT_EQ(Cdb(c.Type, SAT_READ_DATA, 0xB0), c.ReadData);
    EXPECT_EQ(Cdb(c.Type, SAT_READ_THRESHOLDS, 0xB0), c.ReadThresholds);
    EXPECT_EQ(Cdb(c.Type, SAT_ENABLE, 0xB0), c.Enable);
    EXPECT_EQ(Cdb(c.Type, SAT_SET_FEATURES, 0xB0, 0x42, 0x80), c.SetFeatures);
  }
}

TEST(UsbBridgeCdb, OtherCommandTypesHaveNoForm) {
  for (int32_t type : std::initializer_list<int32_t>{CMD_TYPE_UNKNOWN, CMD_TYPE_PHYSICAL_DRIVE,
                                                     CMD_TYPE_SILICON_IMAGE, CMD_TYPE_CSMI,
                                                     CMD_TYPE_NVME_JMICRON, -1, 99}) {
    EXPECT_TRUE(Cdb(type, SAT_IDENTIFY, 0xA0).empty()) << type;
  }
  EXPECT_TRUE(Cdb(CMD_TYPE_SAT, 5, 0xA0).empty());
}

class UsbBridge : public ::testing::Test {
 protected:
  CFakePlatform fake;
  CAtaSmart ata{fake.Get()};

  // A bridge that understands the forms `known`; other forms are refused,
  // answered with zeros, or echoed back as data.
  enum class Unknown { REFUSE, ZEROS, ECHO };
  void Bridge(std::vector<uint8_t> firstCdbBytes, std::vector<uint8_t> sector,
              Unknown unknown = Unknown::REFUSE, uint32_t shortBy = 0) {
    fake.Devices.Devices["\\\\.\\PhysicalDrive5"] = [=](const Request& r, uint8_t* out,
                                                        uint32_t* returned, uint32_t* error) {
      const uint8_t op = r.In[winio::SPT_LAYOUT.CdbAt];
      const bool known =
          std::find(firstCdbBytes.begin(), firstCdbBytes.end(), op) != firstCdbBytes.end();
      if (!known && unknown == Unknown::REFUSE) {
        *error = os::ERR_IO_DEVICE;
        return false;
      }
      if (known) {
        std::memcpy(out + DATA_AT, sector.data(), 512);
      } else if (unknown == Unknown::ECHO) {
        std::memcpy(out + DATA_AT, &r.In[winio::SPT_LAYOUT.CdbAt], 16);
      } else {
        std::memset(out + DATA_AT, 0, 512);
      }
      *returned = r.OutSize - shortBy;
      return true;
    };
  }
};

TEST_F(UsbBridge, IdentifyRequestLayout) {
  std::vector<uint8_t> sector(512, 0x11);
  Bridge({0xA1}, sector);
  uint8_t buffer[512];
  ASSERT_TRUE(ata.DoIdentifyDeviceSat(5, 0xB0, buffer, CMD_TYPE_SAT));
  ASSERT_EQ(fake.Devices.Requests.size(), 1u);
  const Request& r = fake.Devices.Requests[0];
  EXPECT_EQ(r.Code, winio::CTL_SCSI_PASS_THROUGH);
  EXPECT_EQ(r.In.size(), SPT);              // input: the header only
  EXPECT_EQ(r.OutSize, DATA_AT + 512);      // output: the whole buffer
  EXPECT_EQ(winio::Load16(&r.In[0]), SPT);  // Length
  EXPECT_EQ(r.In[6], 12);                   // CDB length
  EXPECT_EQ(r.In[7], 24);                   // sense length
  EXPECT_EQ(r.In[8], winio::SPT_DATA_IN);
  EXPECT_EQ(Load32(&r.In[12]), 512u);
  EXPECT_EQ(Load32(&r.In[16]), 2u);  // seconds
  EXPECT_EQ(winio::LoadUintPtr(&r.In[winio::SPT_LAYOUT.DataBufferOffsetAt],
                               winio::SPT_LAYOUT.PointerWidth),
            DATA_AT);
  EXPECT_EQ(Load32(&r.In[winio::SPT_LAYOUT.SenseInfoOffsetAt]), SENSE_AT);
  EXPECT_EQ(r.In[winio::SPT_LAYOUT.CdbAt + 8], 0xB0);
  EXPECT_EQ(std::memcmp(buffer, sector.data(), 512), 0);
}

TEST_F(UsbBridge, IdentifyFailures) {
  struct Case {
    const char* Name;
    Unknown Mode;
    uint32_t ShortBy;
    int32_t Type;
    bool Ok;
  };
  const Case cases[] = {
      {"known form", Unknown::REFUSE, 0, CMD_TYPE_SUNPLUS, true},
      {"refused form", Unknown::REFUSE, 0, CMD_TYPE_JMICRON, false},
      {"zeros for an unknown form", Unknown::ZEROS, 0, CMD_TYPE_JMICRON, false},
      {"one byte short", Unknown::REFUSE, 1, CMD_TYPE_SUNPLUS, false},
      // An echoing bridge passes here; admission rejects the sector.
      {"echo of the command block", Unknown::ECHO, 0, CMD_TYPE_JMICRON, true},
      {"no such form", Unknown::ZEROS, 0, CMD_TYPE_CSMI, false},
  };
  for (const Case& c : cases) {
    Bridge({0xF8}, std::vector<uint8_t>(512, 0x20), c.Mode, c.ShortBy);
    uint8_t buffer[512];
    std::memset(buffer, 0x55, sizeof(buffer));
    EXPECT_EQ(ata.DoIdentifyDeviceSat(5, 0xA0, buffer, c.Type), c.Ok) << c.Name;
    if (!c.Ok) {
      for (uint8_t b : buffer) ASSERT_EQ(b, 0) << c.Name;  // cleared first
    }
  }
}

TEST_F(UsbBridge, NonDataCommandsAskForTheHeaderOnly) {
  Bridge({0xE3}, std::vector<uint8_t>(512, 1));
  EXPECT_TRUE(ata.SendSetFeaturesSat(5, 0xA0, 0x42, 0xFE, CMD_TYPE_IO_DATA));
  EXPECT_TRUE(ata.ControlSmartStatusSat(5, 0xA0, CMD_TYPE_IO_DATA));
  EXPECT_FALSE(ata.ControlSmartStatusSat(5, 0xA0, CMD_TYPE_NVME_ASMEDIA));
  EXPECT_FALSE(ata.ControlSmartStatusSat(9, 0xA0, CMD_TYPE_IO_DATA));  // no such drive
  ASSERT_EQ(fake.Devices.Requests.size(), 2u);
  for (const Request& r : fake.Devices.Requests) {
    EXPECT_EQ(r.OutSize, DATA_AT);
    EXPECT_EQ(Load32(&r.In[12]), 0u);  // no data
  }
  const std::vector<uint8_t>& set = fake.Devices.Requests[0].In;
  EXPECT_EQ(set[winio::SPT_LAYOUT.CdbAt + 2], 0x42);
  EXPECT_EQ(set[winio::SPT_LAYOUT.CdbAt + 3], 0xFE);
}

TEST_F(UsbBridge, ReadsUseTheRecordsForm) {
  Bridge({0xD8}, std::vector<uint8_t>(512, 3));
  ATA_SMART_INFO asi;
  asi.CommandType = CMD_TYPE_LOGITEC2;
  ata.GetSmartAttributeSat(5, 0xA0, asi);
  ata.GetSmartThresholdSat(5, 0xA0, asi);
  ASSERT_EQ(fake.Devices.Requests.size(), 2u);
  EXPECT_EQ(fake.Devices.Requests[0].In[winio::SPT_LAYOUT.CdbAt + 11], 0x00);
  EXPECT_EQ(fake.Devices.Requests[1].In[winio::SPT_LAYOUT.CdbAt + 11], 0x01);
  EXPECT_EQ(asi.SmartReadData[100], 3);
  EXPECT_EQ(asi.SmartReadThreshold[100], 3);
}

// The engine builds the command blocks from its table; the simulated bridges
// read them with their own description of each form. Both must agree on
// every register of every operation.
TEST(UsbBridgeCdb, SimulatedBridgesReadTheRegistersBack) {
  struct Expect {
    int32_t Op;
    uint8_t Command, Features, Mid, High;
  };
  const Expect ops[] = {{SAT_IDENTIFY, 0xEC, 0x00, 0x00, 0x00},
                        {SAT_READ_DATA, 0xB0, 0xD0, 0x4F, 0xC2},
                        {SAT_READ_THRESHOLDS, 0xB0, 0xD1, 0x4F, 0xC2},
                        {SAT_ENABLE, 0xB0, 0xD8, 0x4F, 0xC2},
                        {SAT_SET_FEATURES, 0xEF, 0x42, 0x00, 0x00}};
  for (int32_t type = CMD_TYPE_SAT; type <= CMD_TYPE_PROLIFIC; ++type) {
    for (uint8_t target : {uint8_t{0xA0}, uint8_t{0xB0}}) {
      for (const Expect& e : ops) {
        SCOPED_TRACE(std::string(kCommandTypeCodes[type]) + " op " + std::to_string(e.Op));
        std::vector<uint8_t> cdb = Cdb(type, e.Op, target, 0x42, 0x80);
        auto c = os::sim::DecodeBridgeCdb(cdb.data(), cdb.size());
        ASSERT_TRUE(c.has_value());
        EXPECT_EQ(static_cast<int32_t>(c->Form), type - CMD_TYPE_SAT);
        EXPECT_EQ(c->Command, e.Command);
        EXPECT_EQ(c->Features, e.Features);
        EXPECT_EQ(c->LbaMid, e.Mid);
        EXPECT_EQ(c->LbaHigh, e.High);
        EXPECT_EQ(c->Device, target);
        if (e.Op == SAT_SET_FEATURES) {
          EXPECT_EQ(c->SectorCount, 0x80);
        }
      }
    }
  }
  const uint8_t nvme[16] = {0xE6, 0x06, 0x00, 0x01};
  EXPECT_FALSE(os::sim::DecodeBridgeCdb(nvme, 16).has_value());
  EXPECT_FALSE(os::sim::DecodeBridgeCdb(nvme, 0).has_value());
}
