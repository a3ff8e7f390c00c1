#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "os/DeviceIo.h"
#include "os/linux/AtaPassThrough.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cdb(const os::AtaCommand& c) {
  auto a = os::BuildAtaPassThrough16(c);
  return Bytes(a.begin(), a.end());
}

os::AtaCommand Command(uint8_t command, uint8_t features, uint8_t count, uint8_t lbaLow,
                       uint8_t mid, uint8_t high, uint8_t device, os::DataDirection dir,
                       uint32_t length) {
  os::AtaCommand c;
  c.Current = {features, count, lbaLow, mid, high, device, command};
  c.Direction = dir;
  c.Protocol = dir == os::DataDirection::In    ? os::AtaProtocol::PioDataIn
               : dir == os::DataDirection::Out ? os::AtaProtocol::PioDataOut
                                               : os::AtaProtocol::NonData;
  c.DataLength = length;
  return c;
}

struct CdbCase {
  const char* Name;
  os::AtaCommand Command;
  Bytes Expected;
};

TEST(AtaPassThrough16, CommandBlocksOfTheEngineCommands) {
  using D = os::DataDirection;
  const CdbCase cases[] = {
      // IDENTIFY DEVICE as sent with a sector count of 0: the block count
      // goes into the count field so the transfer length is known.
      {"identify",
       Command(0xEC, 0, 0, 0, 0, 0, 0xA0, D::In, 512),
       {0x85, 0x08, 0x0E, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0}},
      {"identify slave",
       Command(0xEC, 0, 0, 0, 0, 0, 0xB0, D::In, 512),
       {0x85, 0x08, 0x0E, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xB0, 0xEC, 0}},
      {"smart read data",
       Command(0xB0, 0xD0, 1, 1, 0x4F, 0xC2, 0xA0, D::In, 512),
       {0x85, 0x08, 0x0E, 0, 0xD0, 0, 0x01, 0, 0x01, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}},
      {"smart read thresholds",
       Command(0xB0, 0xD1, 1, 1, 0x4F, 0xC2, 0xA0, D::In, 512),
       {0x85, 0x08, 0x0E, 0, 0xD1, 0, 0x01, 0, 0x01, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}},
      {"smart enable",
       Command(0xB0, 0xD8, 1, 1, 0x4F, 0xC2, 0xA0, D::None, 0),
       {0x85, 0x06, 0x20, 0, 0xD8, 0, 0x01, 0, 0x01, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}},
      {"set features apm",
       Command(0xEF, 0x05, 0x80, 0, 0, 0, 0xA0, D::None, 0),
       {0x85, 0x06, 0x20, 0, 0x05, 0, 0x80, 0, 0, 0, 0, 0, 0, 0xA0, 0xEF, 0}},
      // A data-in flag with no data is a non-data command.
      {"no data",
       Command(0xE5, 0, 0, 0, 0, 0, 0xA0, D::In, 0),
       {0x85, 0x06, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0xE5, 0}},
      {"read log 2 pages",
       Command(0xB0, 0xD5, 2, 0xE0, 0x4F, 0xC2, 0xA0, D::In, 1024),
       {0x85, 0x08, 0x0E, 0, 0xD5, 0, 0x02, 0, 0xE0, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}},
      {"write log",
       Command(0xB0, 0xD6, 1, 0x80, 0x4F, 0xC2, 0xA0, D::Out, 512),
       {0x85, 0x0A, 0x06, 0, 0xD6, 0, 0x01, 0, 0x80, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(Cdb(c.Command), c.Expected) << c.Name;

  os::AtaCommand ext = Command(0x2F, 0, 1, 0x04, 0, 0, 0xA0, os::DataDirection::In, 512);
  ext.Extend = true;
  ext.Previous = {0x00, 0x00, 0x11, 0x22, 0x33, 0, 0};
  EXPECT_EQ(Cdb(ext), (Bytes{0x85, 0x09, 0x0E, 0x00, 0x00, 0x00, 0x01, 0x11, 0x04, 0x22, 0x00, 0x33,
                             0x00, 0xA0, 0x2F, 0}));
}

// Sense data as libata returns it with CK_COND: descriptor format, ATA
// Status Return descriptor.
Bytes DescriptorSense(uint8_t key, uint8_t error, uint8_t count, uint8_t low, uint8_t mid,
                      uint8_t high, uint8_t device, uint8_t status) {
  return {0x72,  key,  0x00,  0x1D, 0,   0,    0,   0x0E, 0x09, 0x0C,   0x00,
          error, 0x00, count, 0x00, low, 0x00, mid, 0x00, high, device, status};
}

TEST(AtaPassThrough16, ReadsRegistersFromBothSenseFormats) {
  os::AtaTaskFile t;
  Bytes d = DescriptorSense(0x01, 0x00, 0x01, 0x01, 0xF4, 0x2C, 0xA0, 0x50);
  ASSERT_TRUE(os::ParseAtaStatusReturn(d.data(), d.size(), &t, nullptr));
  EXPECT_EQ(t, (os::AtaTaskFile{0x00, 0x01, 0x01, 0xF4, 0x2C, 0xA0, 0x50}));

  // Another descriptor first, then the ATA one.
  Bytes two = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 0x1A, 0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Bytes ata = DescriptorSense(1, 0x04, 0, 0, 0, 0, 0xA0, 0x51);
  two.insert(two.end(), ata.begin() + 8, ata.end());
  ASSERT_TRUE(os::ParseAtaStatusReturn(two.data(), two.size(), &t, nullptr));
  EXPECT_EQ(t.Command, 0x51);
  EXPECT_EQ(t.Features, 0x04);

  // Fixed format with ATA PASS-THROUGH INFORMATION AVAILABLE.
  Bytes f = {0x70, 0,    0x01, 0x00, 0x50, 0xA0, 0x01, 0x0A, 0x00,
             0x01, 0x4F, 0xC2, 0x00, 0x1D, 0,    0,    0,    0};
  ASSERT_TRUE(os::ParseAtaStatusReturn(f.data(), f.size(), &t, nullptr));
  EXPECT_EQ(t, (os::AtaTaskFile{0x00, 0x01, 0x01, 0x4F, 0xC2, 0xA0, 0x50}));

  // Not there: other sense, truncated descriptor, lying length byte.
  Bytes illegal = {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20, 0x00, 0, 0, 0, 0};
  EXPECT_FALSE(os::ParseAtaStatusReturn(illegal.data(), illegal.size(), &t, nullptr));
  Bytes cut(d.begin(), d.begin() + 16);
  EXPECT_FALSE(os::ParseAtaStatusReturn(cut.data(), cut.size(), &t, nullptr));
  Bytes lying = d;
  lying[9] = 0xF0;  // descriptor claims 240 bytes
  EXPECT_FALSE(os::ParseAtaStatusReturn(lying.data(), lying.size(), &t, nullptr));
  EXPECT_FALSE(os::ParseAtaStatusReturn(nullptr, 0, &t, nullptr));
}

struct JudgeCase {
  const char* Name;
  int Errno;
  uint8_t Status;
  Bytes Sense;
  uint16_t Host;
  uint16_t Driver;
  int32_t Residual;
  uint32_t Error;
  bool HaveRegisters;
  uint8_t AtaStatus;
  uint32_t Transferred;
};

TEST(AtaPassThrough16, JudgesTheOutcome) {
  Bytes ok = DescriptorSense(0x01, 0, 1, 1, 0x4F, 0xC2, 0xA0, 0x50);
  Bytes aborted = DescriptorSense(0x0B, 0x04, 0, 0, 0, 0, 0xA0, 0x51);
  Bytes illegal = {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x24, 0x00, 0, 0, 0, 0};
  Bytes notReady = {0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x04, 0x00, 0, 0, 0, 0};
  const JudgeCase cases[] = {
      {"registers back", 0, 0x02, ok, 0, 0x08, 0, os::ERR_SUCCESS, true, 0x50, 512},
      {"device refused", 0, 0x02, aborted, 0, 0x08, 512, os::ERR_SUCCESS, true, 0x51, 0},
      {"good without sense", 0, 0x00, {}, 0, 0, 0, os::ERR_SUCCESS, false, 0x50, 512},
      {"short", 0, 0x02, ok, 0, 0x08, 100, os::ERR_SUCCESS, true, 0x50, 412},
      {"resid beyond length", 0, 0x02, ok, 0, 0x08, 9999, os::ERR_SUCCESS, true, 0x50, 0},
      {"bridge without pass-through", 0, 0x02, illegal, 0, 0x08, 512, os::ERR_NOT_SUPPORTED, false,
       0, 0},
      {"not ready", 0, 0x02, notReady, 0, 0x08, 512, os::ERR_IO_DEVICE, false, 0, 0},
      {"busy", 0, 0x08, {}, 0, 0, 0, os::ERR_IO_DEVICE, false, 0, 0},
      {"host time-out", 0, 0, {}, 0x03, 0, 0, os::ERR_SEM_TIMEOUT, false, 0, 0},
      {"driver time-out", 0, 0, {}, 0, 0x06, 0, os::ERR_SEM_TIMEOUT, false, 0, 0},
      {"lost device", 0, 0, {}, 0x01, 0, 0, os::ERR_IO_DEVICE, false, 0, 0},
      {"not root", EPERM, 0, {}, 0, 0, 0, os::ERR_ACCESS_DENIED, false, 0, 0},
      {"no permission on node", EACCES, 0, {}, 0, 0, 0, os::ERR_ACCESS_DENIED, false, 0, 0},
      {"no SG_IO (NVMe, virtio)", ENOTTY, 0, {}, 0, 0, 0, os::ERR_NOT_SUPPORTED, false, 0, 0},
      {"gone", ENODEV, 0, {}, 0, 0, 0, os::ERR_FILE_NOT_FOUND, false, 0, 0},
      {"io", EIO, 0, {}, 0, 0, 0, os::ERR_IO_DEVICE, false, 0, 0},
  };
  for (const auto& c : cases) {
    os::ScsiRequest r;
    r.Direction = os::DataDirection::In;
    r.DataLength = 512;
    r.ScsiStatus = c.Status;
    std::copy(c.Sense.begin(), c.Sense.end(), r.Sense.begin());
    r.SenseLength = static_cast<uint8_t>(c.Sense.size());
    r.HostStatus = c.Host;
    r.DriverStatus = c.Driver;
    r.Residual = c.Residual;
    os::AtaOutcome o = os::JudgeAtaPassThrough(c.Errno, r);
    EXPECT_EQ(o.Error, c.Error) << c.Name;
    if (c.Error != os::ERR_SUCCESS) continue;
    EXPECT_EQ(o.HaveRegisters, c.HaveRegisters) << c.Name;
    EXPECT_EQ(o.Registers.Command, c.AtaStatus) << c.Name;
    EXPECT_EQ(o.Transferred, c.Transferred) << c.Name;
  }
}

TEST(AtaPassThrough16, SenseLengthBeyondTheBufferIsCut) {
  os::ScsiRequest r;
  r.ScsiStatus = 0x02;
  r.SenseLength = 250;  // more than the 64-byte buffer
  r.Sense.fill(0xFF);
  os::AtaOutcome o = os::JudgeAtaPassThrough(0, r);
  EXPECT_EQ(o.Error, os::ERR_IO_DEVICE);
}

}  // namespace
