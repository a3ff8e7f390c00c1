#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "os/linux/LinuxDeviceIo.h"
#include "os/linux/LinuxDiskHandle.h"
#include "os/wire/WinIoctl.h"
#include "tests/linux/ScriptedDiskSyscalls.h"

// Script steps name only the fields a case cares about.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using Bytes = std::vector<uint8_t>;
using testutil::CScriptedDiskSyscalls;
using testutil::NvmeStep;
using testutil::ScsiStep;

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Get32(const Bytes& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint64_t Get64(const Bytes& b, size_t at) {
  return Get32(b, at) | static_cast<uint64_t>(Get32(b, at + 4)) << 32;
}

Bytes Sector(uint8_t seed) {
  Bytes s(512);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<uint8_t>(seed + i * 7);
  return s;
}

Bytes AtaSense(uint8_t key, uint8_t error, uint8_t mid, uint8_t high, uint8_t status) {
  return {0x72,  key,  0x00, 0x1D, 0,    0,    0,   0x0E, 0x09, 0x0C, 0x00,
          error, 0x00, 0x01, 0x00, 0x01, 0x00, mid, 0x00, high, 0xA0, status};
}

os::LinuxDisk Disk(os::LinuxDiskBus bus) {
  os::LinuxDisk d;
  d.Name = bus == os::LinuxDiskBus::Nvme ? "nvme0n1" : "sda";
  d.DevicePath = "/dev/" + d.Name;
  d.NodePath = "/dev/" + d.Name;
  d.Bus = bus;
  d.Sectors = 234441648;
  d.Vendor = "ATA";
  d.Model = "INTEL SSDSA2CW120G3";
  d.Revision = "4PC10302";
  d.Serial = "CVPR109301UZ120LGN";
  d.ScsiHost = 2;
  d.ScsiChannel = 0;
  d.ScsiTarget = 1;
  d.ScsiLun = 0;
  if (bus == os::LinuxDiskBus::Nvme) {
    d.NvmeController = "nvme0";
    d.NvmeNamespace = 1;
    d.ScsiHost = -1;
  }
  return d;
}

struct Fixture {
  explicit Fixture(os::LinuxDiskBus bus = os::LinuxDiskBus::Ata)
      : Handle(Disk(bus), "/dev", Sys, State) {}
  bool Control(uint32_t code, const Bytes& in, Bytes& out) {
    Returned = 0xDEAD;
    Error = 0xDEAD;
    return Handle.Control(code, in.data(), static_cast<uint32_t>(in.size()), out.data(),
                          static_cast<uint32_t>(out.size()), &Returned, &Error);
  }
  CScriptedDiskSyscalls Sys;
  os::LinuxAccessState State;
  os::CLinuxDiskHandle Handle;
  uint32_t Returned = 0;
  uint32_t Error = 0;
};

// ATA_PASS_THROUGH_EX as the engine builds it in a 32-bit layout: 40-byte
// header, 4 filler bytes, data at 44.
Bytes AtaPassThroughEx(uint8_t command, uint8_t features, uint8_t count, uint32_t dataSize,
                       bool wide = false) {
  uint32_t header = wide ? 48 : 40;
  uint32_t offset = header + 4;
  Bytes b(offset + dataSize, 0);
  Put16(b, 0, static_cast<uint16_t>(header));
  Put16(b, 2, dataSize ? 0x02 : 0x00);
  Put32(b, 8, dataSize);
  Put32(b, 12, 2);
  Put32(b, wide ? 24 : 20, offset);
  size_t tf = wide ? 40 : 32;
  b[tf + 0] = features;
  b[tf + 1] = count;
  b[tf + 5] = 0xA0;
  b[tf + 6] = command;
  if (command == 0xB0) {
    b[tf + 1] = 1;
    b[tf + 2] = 1;
    b[tf + 3] = 0x4F;
    b[tf + 4] = 0xC2;
  }
  return b;
}

TEST(LinuxDiskHandle, AtaPassThroughIdentifyComesBackAsOnWindows) {
  for (bool wide : {false, true}) {
    Fixture f;
    Bytes id = Sector(3);
    f.Sys.ScsiScript.push_back({"/dev/sda",
                                {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0},
                                os::DataDirection::In,
                                512,
                                2000,
                                0,
                                0x02,
                                AtaSense(0x01, 0, 0, 0, 0x50),
                                id,
                                0,
                                0,
                                0x08});
    Bytes buf = AtaPassThroughEx(0xEC, 0, 0, 512, wide);
    ASSERT_TRUE(f.Control(winio::CTL_ATA_PASS_THROUGH, buf, buf)) << wide;
    uint32_t offset = wide ? 52 : 44;
    EXPECT_EQ(f.Returned, offset + 512);
    EXPECT_EQ(Bytes(buf.begin() + offset, buf.end()), id);
    size_t tf = wide ? 40 : 32;
    EXPECT_EQ(buf[tf + 6], 0x50);  // status
    EXPECT_EQ(buf[tf + 0], 0x00);  // error
    EXPECT_EQ(Get32(buf, 8), 512u);
  }
}

TEST(LinuxDiskHandle, AtaPassThroughGoodWithoutRegistersIsACleanCompletion) {
  // What libata answers to a data-in command without CK_COND.
  Fixture f;
  Bytes id = Sector(8);
  f.Sys.ScsiScript.push_back({"/dev/sda",
                              {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0},
                              os::DataDirection::In,
                              512,
                              2000,
                              0,
                              0x00,
                              {},
                              id});
  Bytes buf = AtaPassThroughEx(0xEC, 0, 0, 512);
  ASSERT_TRUE(f.Control(winio::CTL_ATA_PASS_THROUGH, buf, buf));
  EXPECT_EQ(buf[32 + 6], 0x50);
  EXPECT_EQ(buf[32 + 0], 0x00);
  EXPECT_EQ(Bytes(buf.begin() + 44, buf.end()), id);
}

TEST(LinuxDiskHandle, AtaPassThroughDeviceAbortIsAnAnswerNotAFailure) {
  Fixture f;
  f.Sys.ScsiScript.push_back(
      {"/dev/sda",
       {0x85, 0x08, 0x0E, 0, 0xD0, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0},
       os::DataDirection::In,
       512,
       2000,
       0,
       0x02,
       AtaSense(0x0B, 0x04, 0x4F, 0xC2, 0x51),
       Bytes(512, 0xEE),
       512,
       0,
       0x08});
  Bytes buf = AtaPassThroughEx(0xB0, 0xD0, 0, 512);
  ASSERT_TRUE(f.Control(winio::CTL_ATA_PASS_THROUGH, buf, buf));
  EXPECT_EQ(buf[32 + 6], 0x51);
  EXPECT_EQ(buf[32 + 0], 0x04);
  EXPECT_EQ(Bytes(buf.begin() + 44, buf.end()), Bytes(512, 0));  // no stale bytes
  EXPECT_EQ(Get32(buf, 8), 0u);
}

TEST(LinuxDiskHandle, AtaPassThroughNonDataEnable) {
  Fixture f;
  f.Sys.ScsiScript.push_back(
      {"/dev/sda",
       {0x85, 0x06, 0x20, 0, 0xD8, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0},
       os::DataDirection::None,
       0,
       2000,
       0,
       0x02,
       AtaSense(0x01, 0, 0x4F, 0xC2, 0x50)});
  Bytes buf = AtaPassThroughEx(0xB0, 0xD8, 0, 0);
  ASSERT_TRUE(f.Control(winio::CTL_ATA_PASS_THROUGH, buf, buf));
  EXPECT_EQ(f.Returned, 40u);
}

struct FailCase {
  const char* Name;
  ScsiStep Step;
  uint32_t Error;
};

TEST(LinuxDiskHandle, AtaPassThroughFailures) {
  const Bytes cdb = {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0};
  const Bytes illegal = {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20, 0, 0, 0, 0, 0};
  const FailCase cases[] = {
      {"not root",
       {"/dev/sda", cdb, os::DataDirection::In, 512, 2000, EPERM},
       os::ERR_ACCESS_DENIED},
      {"short transfer",
       {"/dev/sda", cdb, os::DataDirection::In, 512, 2000, 0, 0x02, AtaSense(1, 0, 0, 0, 0x50),
        Sector(1), 200, 0, 8},
       os::ERR_IO_DEVICE},
      {"time-out",
       {"/dev/sda", cdb, os::DataDirection::In, 512, 2000, 0, 0, {}, {}, 512, 3, 0},
       os::ERR_SEM_TIMEOUT},
      {"no ATA pass-through",
       {"/dev/sda", cdb, os::DataDirection::In, 512, 2000, 0, 0x02, illegal, {}, 512, 0, 8},
       os::ERR_NOT_SUPPORTED},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.Sys.ScsiScript.push_back(c.Step);
    Bytes buf = AtaPassThroughEx(0xEC, 0, 0, 512);
    Bytes before = buf;
    EXPECT_FALSE(f.Control(winio::CTL_ATA_PASS_THROUGH, buf, buf)) << c.Name;
    EXPECT_EQ(f.Error, c.Error) << c.Name;
    EXPECT_EQ(f.State.Denial != os::AccessDenial::None, c.Error == os::ERR_ACCESS_DENIED) << c.Name;
  }
}

TEST(LinuxDiskHandle, MalformedRequestsNeverReachTheDevice) {
  struct Case {
    const char* Name;
    uint32_t Code;
    Bytes In;
    size_t OutSize;
  };
  Bytes badLength = AtaPassThroughEx(0xEC, 0, 0, 512);
  Put16(badLength, 0, 36);
  Bytes dataOutside = AtaPassThroughEx(0xEC, 0, 0, 512);
  Put32(dataOutside, 20, 600);
  Bytes dataInHeader = AtaPassThroughEx(0xEC, 0, 0, 512);
  Put32(dataInHeader, 20, 8);
  Bytes huge = AtaPassThroughEx(0xEC, 0, 0, 512);
  Put32(huge, 8, 0x7FFFFFFF);
  Bytes bothWays = AtaPassThroughEx(0xEC, 0, 0, 512);
  Put16(bothWays, 2, 0x06);
  Bytes smartWrite(33, 0);
  smartWrite[4] = 0xD6;
  smartWrite[10] = 0xB0;
  const Case cases[] = {
      {"ATA header length", winio::CTL_ATA_PASS_THROUGH, badLength, badLength.size()},
      {"ATA data past buffer", winio::CTL_ATA_PASS_THROUGH, dataOutside, dataOutside.size()},
      {"ATA data over header", winio::CTL_ATA_PASS_THROUGH, dataInHeader, dataInHeader.size()},
      {"ATA huge", winio::CTL_ATA_PASS_THROUGH, huge, huge.size()},
      {"ATA both directions", winio::CTL_ATA_PASS_THROUGH, bothWays, bothWays.size()},
      {"ATA empty", winio::CTL_ATA_PASS_THROUGH, {}, 100},
      {"SMART receive of a write", winio::CTL_SMART_RCV_DRIVE_DATA, smartWrite, 528},
      {"SMART receive short input", winio::CTL_SMART_RCV_DRIVE_DATA, Bytes(20, 0), 528},
      {"IDE pass-through short", winio::CTL_IDE_PASS_THROUGH, Bytes(8, 0), 8},
      {"SCSI header length", winio::CTL_SCSI_PASS_THROUGH, Bytes(44, 0), 44},
  };
  for (const auto& c : cases) {
    Fixture f;
    Bytes out(c.OutSize, 0);
    EXPECT_FALSE(f.Control(c.Code, c.In, out)) << c.Name;
    EXPECT_EQ(f.Error, os::ERR_INVALID_PARAMETER) << c.Name;
  }
}

// SENDCMDINPARAMS: u32 buffer size, IDEREGS, drive number, reserved.
Bytes SendCmd(uint8_t command, uint8_t features, uint8_t count, uint8_t number, uint8_t low,
              uint8_t high) {
  Bytes b(33, 0);
  Put32(b, 0, 512);
  b[4] = features;
  b[5] = count;
  b[6] = number;
  b[7] = low;
  b[8] = high;
  b[9] = 0xA0;
  b[10] = command;
  return b;
}

TEST(LinuxDiskHandle, SmartReceiveIdentifyAndAttributes) {
  struct Case {
    const char* Name;
    Bytes In;
    Bytes Cdb;
  };
  const Case cases[] = {
      {"identify",
       SendCmd(0xEC, 0, 1, 1, 0, 0),
       {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0xA0, 0xEC, 0}},
      {"read data",
       SendCmd(0xB0, 0xD0, 1, 1, 0x4F, 0xC2),
       {0x85, 0x08, 0x0E, 0, 0xD0, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}},
      {"read thresholds",
       SendCmd(0xB0, 0xD1, 1, 1, 0x4F, 0xC2),
       {0x85, 0x08, 0x0E, 0, 0xD1, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}},
  };
  for (const auto& c : cases) {
    Fixture f;
    Bytes sector = Sector(9);
    f.Sys.ScsiScript.push_back({"/dev/sda", c.Cdb, os::DataDirection::In, 512, 2000, 0, 0x02,
                                AtaSense(1, 0, 0x4F, 0xC2, 0x50), sector, 0, 0, 8});
    Bytes out(528, 0xCC);
    ASSERT_TRUE(f.Control(winio::CTL_SMART_RCV_DRIVE_DATA, c.In, out)) << c.Name;
    EXPECT_EQ(f.Returned, 528u) << c.Name;
    EXPECT_EQ(Get32(out, 0), 512u) << c.Name;
    EXPECT_EQ(out[4], 0) << c.Name;
    EXPECT_EQ(Bytes(out.begin() + 16, out.end()), sector) << c.Name;
  }
}

TEST(LinuxDiskHandle, SmartReceiveFailsOnRefusalShortDataOrSmallBuffer) {
  const Bytes cdb = {0x85, 0x08, 0x0E, 0, 0xD0, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0};
  {
    Fixture f;
    f.Sys.ScsiScript.push_back({"/dev/sda",
                                cdb,
                                os::DataDirection::In,
                                512,
                                2000,
                                0,
                                0x02,
                                AtaSense(0x0B, 0x04, 0x4F, 0xC2, 0x51),
                                {},
                                512,
                                0,
                                8});
    Bytes out(528, 0);
    EXPECT_FALSE(
        f.Control(winio::CTL_SMART_RCV_DRIVE_DATA, SendCmd(0xB0, 0xD0, 1, 1, 0x4F, 0xC2), out));
    EXPECT_EQ(f.Error, os::ERR_IO_DEVICE);
  }
  {
    Fixture f;
    f.Sys.ScsiScript.push_back({"/dev/sda", cdb, os::DataDirection::In, 512, 2000, 0, 0x02,
                                AtaSense(1, 0, 0x4F, 0xC2, 0x50), Sector(1), 1, 0, 8});
    Bytes out(528, 0);
    EXPECT_FALSE(
        f.Control(winio::CTL_SMART_RCV_DRIVE_DATA, SendCmd(0xB0, 0xD0, 1, 1, 0x4F, 0xC2), out));
  }
  {
    Fixture f;
    Bytes out(527, 0);
    EXPECT_FALSE(
        f.Control(winio::CTL_SMART_RCV_DRIVE_DATA, SendCmd(0xB0, 0xD0, 1, 1, 0x4F, 0xC2), out));
    EXPECT_EQ(f.Error, os::ERR_INSUFFICIENT_BUFFER);
  }
}

TEST(LinuxDiskHandle, SmartSendEnableAndReturnStatus) {
  {
    Fixture f;
    f.Sys.ScsiScript.push_back(
        {"/dev/sda",
         {0x85, 0x06, 0x20, 0, 0xD8, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0},
         os::DataDirection::None,
         0,
         2000,
         0,
         0x02,
         AtaSense(1, 0, 0x4F, 0xC2, 0x50)});
    Bytes out(16, 0xCC);
    ASSERT_TRUE(
        f.Control(winio::CTL_SMART_SEND_DRIVE_COMMAND, SendCmd(0xB0, 0xD8, 1, 1, 0x4F, 0xC2), out));
    EXPECT_EQ(f.Returned, 16u);
    EXPECT_EQ(out, Bytes(16, 0));
  }
  {
    // A failing disk answers RETURN STATUS with F4/2C.
    Fixture f;
    f.Sys.ScsiScript.push_back(
        {"/dev/sda",
         {0x85, 0x06, 0x20, 0, 0xDA, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0},
         os::DataDirection::None,
         0,
         2000,
         0,
         0x02,
         AtaSense(1, 0, 0xF4, 0x2C, 0x50)});
    Bytes out(24, 0);
    ASSERT_TRUE(
        f.Control(winio::CTL_SMART_SEND_DRIVE_COMMAND, SendCmd(0xB0, 0xDA, 1, 1, 0x4F, 0xC2), out));
    EXPECT_EQ(f.Returned, 24u);
    EXPECT_EQ(out[16 + 3], 0xF4);
    EXPECT_EQ(out[16 + 4], 0x2C);
  }
  {
    // Without the registers the status is unknown, not good.
    Fixture f;
    f.Sys.ScsiScript.push_back(
        {"/dev/sda",
         {0x85, 0x06, 0x20, 0, 0xDA, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0},
         os::DataDirection::None,
         0,
         2000,
         0,
         0x00});
    Bytes out(24, 0);
    EXPECT_FALSE(
        f.Control(winio::CTL_SMART_SEND_DRIVE_COMMAND, SendCmd(0xB0, 0xDA, 1, 1, 0x4F, 0xC2), out));
  }
}

TEST(LinuxDiskHandle, IdePassThroughSetFeatures) {
  Fixture f;
  f.Sys.ScsiScript.push_back({"/dev/sda",
                              {0x85, 0x06, 0x20, 0, 0x05, 0, 0xFE, 0, 0, 0, 0, 0, 0, 0xA0, 0xEF, 0},
                              os::DataDirection::None,
                              0,
                              2000,
                              0,
                              0x02,
                              AtaSense(1, 0, 0, 0, 0x50)});
  Bytes buf(12, 0);
  buf[0] = 0x05;
  buf[1] = 0xFE;
  buf[5] = 0xA0;
  buf[6] = 0xEF;
  ASSERT_TRUE(f.Control(winio::CTL_IDE_PASS_THROUGH, buf, buf));
  EXPECT_EQ(f.Returned, 12u);
  EXPECT_EQ(buf[6], 0x50);
}

// SCSI_PASS_THROUGH as the bridge forms build it (32-bit layout): header 44,
// filler, 32 sense bytes at 48, data at 80.
Bytes SptWithBuffers(const Bytes& cdb, uint8_t dataIn, uint32_t length, uint32_t senseOffset = 48,
                     uint32_t dataOffset = 80) {
  Bytes b(dataOffset + 512, 0);
  Put16(b, 0, 44);
  b[6] = static_cast<uint8_t>(cdb.size());
  b[7] = 24;
  b[8] = dataIn;
  Put32(b, 12, length);
  Put32(b, 16, 2);
  Put32(b, 20, dataOffset);
  Put32(b, 24, senseOffset);
  std::copy(cdb.begin(), cdb.end(), b.begin() + 28);
  return b;
}

TEST(LinuxDiskHandle, ScsiPassThroughCarriesTheBridgeCommandAsItIs) {
  const Bytes sat = {0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0xA0, 0xEC, 0x00, 0x00};
  Fixture f(os::LinuxDiskBus::Usb);
  Bytes id = Sector(5);
  f.Sys.ScsiScript.push_back({"/dev/sda", sat, os::DataDirection::In, 512, 2000, 0, 0x00, {}, id});
  Bytes buf = SptWithBuffers(sat, 1, 512);
  ASSERT_TRUE(f.Control(winio::CTL_SCSI_PASS_THROUGH, Bytes(buf.begin(), buf.begin() + 44), buf));
  EXPECT_EQ(f.Returned, 592u);
  EXPECT_EQ(buf[2], 0x00);
  EXPECT_EQ(Bytes(buf.begin() + 80, buf.end()), id);
}

TEST(LinuxDiskHandle, ScsiPassThroughCheckConditionCopiesSenseAndReturnsNoData) {
  const Bytes cdb = {0xDF, 0x10, 0x00, 0x02, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xA0, 0xEC};
  // 32 bytes, more than the caller's 24. (Filled rather than grown by
  // resize: gcc 12 at -O3 warns of a bounds overrun that cannot happen.)
  const Bytes head = {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20, 0x00, 0, 0, 0, 0};
  Bytes sense(32, 0x77);
  std::copy(head.begin(), head.end(), sense.begin());
  Fixture f(os::LinuxDiskBus::Usb);
  f.Sys.ScsiScript.push_back(
      {"/dev/sda", cdb, os::DataDirection::In, 512, 2000, 0, 0x02, sense, {}, 512, 0, 8});
  Bytes buf = SptWithBuffers(cdb, 1, 512);
  std::fill(buf.begin() + 80, buf.end(), 0xAB);
  ASSERT_TRUE(f.Control(winio::CTL_SCSI_PASS_THROUGH, Bytes(buf.begin(), buf.begin() + 44), buf));
  EXPECT_EQ(buf[2], 0x02);
  EXPECT_EQ(buf[7], 24);
  EXPECT_EQ(Get32(buf, 12), 0u);
  EXPECT_EQ(Bytes(buf.begin() + 48, buf.begin() + 72), Bytes(sense.begin(), sense.begin() + 24));
  EXPECT_EQ(buf[72], 0);       // nothing past the caller's sense length
  EXPECT_EQ(f.Returned, 80u);  // not the 592 a bridge answer needs
  EXPECT_EQ(Bytes(buf.begin() + 80, buf.end()), Bytes(512, 0));
}

TEST(LinuxDiskHandle, ScsiPassThroughDataOutSendsTheCallersBlock) {
  // The Samsung NVMe form: header, 24 sense bytes at 44, data at 68.
  const Bytes cdb = {0xB5, 0xFE, 0, 0x05, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0};
  Fixture f(os::LinuxDiskBus::Nvme);
  f.Sys.ScsiScript.push_back({"/dev/nvme0n1", cdb, os::DataDirection::Out, 512, 2000, ENOTTY});
  Bytes buf = SptWithBuffers(cdb, 0, 512, 44, 68);
  buf[68] = 0x01;
  EXPECT_FALSE(f.Control(winio::CTL_SCSI_PASS_THROUGH, buf, buf));
  EXPECT_EQ(f.Error, os::ERR_NOT_SUPPORTED);
  ASSERT_EQ(f.Sys.SentData.size(), 512u);
  EXPECT_EQ(f.Sys.SentData[0], 0x01);
}

TEST(LinuxDiskHandle, ScsiPassThroughRejectsBuffersThatDoNotHoldTheData) {
  const Bytes cdb = {0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0xA0, 0xEC, 0x00, 0x00};
  Fixture f(os::LinuxDiskBus::Usb);
  Bytes buf = SptWithBuffers(cdb, 1, 512);
  Bytes out(300, 0);  // the data would end at 592
  EXPECT_FALSE(f.Control(winio::CTL_SCSI_PASS_THROUGH, Bytes(buf.begin(), buf.begin() + 44), out));
  EXPECT_EQ(f.Error, os::ERR_INVALID_PARAMETER);
  Bytes badSense = SptWithBuffers(cdb, 1, 512, 590);
  EXPECT_FALSE(f.Control(winio::CTL_SCSI_PASS_THROUGH, badSense, badSense));
  Bytes badCdb = SptWithBuffers(cdb, 1, 512);
  badCdb[6] = 17;
  EXPECT_FALSE(f.Control(winio::CTL_SCSI_PASS_THROUGH, badCdb, badCdb));
}

// The storage query for NVMe protocol data, as the engine builds it.
Bytes NvmeQuery(uint32_t dataType, uint32_t value, uint32_t subValue, uint32_t length) {
  Bytes b(48 + length, 0);
  Put32(b, 0, 49);
  Put32(b, 8, 3);
  Put32(b, 12, dataType);
  Put32(b, 16, value);
  Put32(b, 20, subValue);
  Put32(b, 24, 40);
  Put32(b, 28, length);
  return b;
}

TEST(LinuxDiskHandle, NvmeStorageQueryBecomesAdminCommands) {
  struct Case {
    const char* Name;
    Bytes In;
    NvmeStep Step;
  };
  Bytes identify(4096);
  for (size_t i = 0; i < identify.size(); ++i) identify[i] = static_cast<uint8_t>(i);
  Bytes health = Sector(0x44);
  const Case cases[] = {
      {"identify controller",
       NvmeQuery(1, 1, 0, 4096),
       {"/dev/nvme0", 0x06, 0, 1, 0, 0, 4096, 0, 0, 0, identify}},
      {"health log",
       NvmeQuery(2, 2, 0, 512),
       {"/dev/nvme0", 0x02, 0xFFFFFFFF, 0x007F0002, 0, 0, 512, 0, 0, 0, health}},
      {"health log, all-ones sub-value",
       NvmeQuery(2, 2, 0xFFFFFFFF, 512),
       {"/dev/nvme0", 0x02, 0xFFFFFFFF, 0x007F0002, 0, 0, 512, 0, 0, 0, health}},
      {"health log at an offset",
       NvmeQuery(2, 2, 64, 512),
       {"/dev/nvme0", 0x02, 0xFFFFFFFF, 0x007F0002, 0, 64, 512, 0, 0, 0, health}},
  };
  for (const auto& c : cases) {
    Fixture f(os::LinuxDiskBus::Nvme);
    f.Sys.NvmeScript.push_back(c.Step);
    Bytes buf = c.In;
    ASSERT_TRUE(f.Control(winio::CTL_STORAGE_QUERY_PROPERTY, buf, buf)) << c.Name;
    EXPECT_EQ(f.Returned, buf.size()) << c.Name;
    EXPECT_EQ(Bytes(buf.begin() + 48, buf.end()), c.Step.Data) << c.Name;
    EXPECT_EQ(Get32(buf, 8), 3u) << c.Name;  // the protocol structure is echoed
  }
}

TEST(LinuxDiskHandle, NvmeStorageQueryFailures) {
  {
    Fixture f(os::LinuxDiskBus::Nvme);
    f.Sys.NvmeScript.push_back({"/dev/nvme0", 0x02, 0xFFFFFFFF, 0x007F0002, 0, 0, 512, 0, 0x4002});
    Bytes buf = NvmeQuery(2, 2, 0, 512);
    EXPECT_FALSE(f.Control(winio::CTL_STORAGE_QUERY_PROPERTY, buf, buf));
    EXPECT_EQ(f.Error, os::ERR_IO_DEVICE);
  }
  {
    Fixture f(os::LinuxDiskBus::Nvme);
    f.Sys.NvmeScript.push_back({"/dev/nvme0", 0x06, 0, 1, 0, 0, 4096, EACCES});
    Bytes buf = NvmeQuery(1, 1, 0, 4096);
    EXPECT_FALSE(f.Control(winio::CTL_STORAGE_QUERY_PROPERTY, buf, buf));
    EXPECT_EQ(f.Error, os::ERR_ACCESS_DENIED);
    EXPECT_EQ(f.State.Denial, os::AccessDenial::NotPrivileged);
  }
  {
    // A SATA disk has no NVMe protocol data; nothing is sent.
    Fixture f(os::LinuxDiskBus::Ata);
    Bytes buf = NvmeQuery(1, 1, 0, 4096);
    EXPECT_FALSE(f.Control(winio::CTL_STORAGE_QUERY_PROPERTY, buf, buf));
    EXPECT_EQ(f.Error, os::ERR_NOT_SUPPORTED);
  }
  {
    // The answer would not fit the output.
    Fixture f(os::LinuxDiskBus::Nvme);
    Bytes in = NvmeQuery(1, 1, 0, 4096);
    Bytes out(1000, 0);
    EXPECT_FALSE(f.Control(winio::CTL_STORAGE_QUERY_PROPERTY, in, out));
    EXPECT_EQ(f.Error, os::ERR_INVALID_PARAMETER);
  }
}

TEST(LinuxDiskHandle, RequestsLinuxCannotCarry) {
  for (uint32_t code : {winio::CTL_SCSI_MINIPORT, winio::CTL_STORAGE_PREDICT_FAILURE,
                        winio::CTL_SCSI_PASS_THROUGH_DIRECT}) {
    Fixture f;
    Bytes buf(600, 0);
    EXPECT_FALSE(f.Control(code, buf, buf));
    EXPECT_EQ(f.Error, os::ERR_NOT_SUPPORTED);
  }
  Fixture f;
  Bytes buf(600, 0);
  EXPECT_FALSE(f.Control(0x00560000, buf, buf));  // volume extents on a disk
  EXPECT_EQ(f.Error, os::ERR_INVALID_FUNCTION);
  EXPECT_EQ(f.State.Denial, os::AccessDenial::None);
}

TEST(LinuxDiskHandle, WakeUpReadsTheFirstSector) {
  Fixture f;
  Bytes sector(512, 0);
  uint32_t got = 0;
  ASSERT_TRUE(f.Handle.Read(sector.data(), 512, &got));
  EXPECT_EQ(got, 512u);
  ASSERT_EQ(f.Sys.Reads.size(), 1u);
  EXPECT_EQ(f.Sys.Reads[0].Node, "/dev/sda");
  EXPECT_EQ(f.Sys.Reads[0].Offset, 0u);
  EXPECT_EQ(f.Sys.Reads[0].Length, 512u);
  f.Sys.ReadErrno = EACCES;
  EXPECT_FALSE(f.Handle.Read(sector.data(), 512, &got));
  EXPECT_EQ(f.State.Denial, os::AccessDenial::NotPrivileged);
}

// ---- through the device layer, on captured trees ----

os::LinuxRoots Tree(const std::string& name) {
  std::string base = std::string(STAVRION_SOURCE_DIR) + "/fixtures/sysfs/" + name;
  return os::LinuxRoots{base + "/sys", base + "/dev", base + "/proc/self/mounts",
                        base + "/proc/self/status"};
}

TEST(LinuxDeviceIo, PhysicalDriveNamesMapToDisksInOrder) {
  CScriptedDiskSyscalls sys;
  os::CLinuxDeviceIo io(Tree("nvme-desktop"), sys);
  struct Case {
    const char* Name;
    const char* Path;
  };
  const Case cases[] = {{"\\\\.\\PhysicalDrive0", "/dev/sda"},
                        {"\\\\.\\PHYSICALDRIVE1", "/dev/nvme0n1"},
                        {"\\\\.\\physicaldrive2", "/dev/nvme1n1"},
                        {"\\\\.\\PhysicalDrive3", nullptr},
                        {"\\\\.\\PhysicalDrive", nullptr},
                        {"\\\\.\\PhysicalDrive1x", nullptr},
                        {"\\\\.\\PhysicalDrive-1", nullptr},
                        {"\\\\.\\PhysicalDrive0001", nullptr},
                        {"\\\\.\\C:", nullptr},
                        {"\\\\.\\Scsi9:", nullptr},
                        {"/dev/sda", nullptr}};
  for (const auto& c : cases) {
    uint32_t error = 0;
    auto h = io.Open(c.Name, os::Access::ReadWrite, &error);
    if (!c.Path) {
      EXPECT_FALSE(h) << c.Name;
      EXPECT_EQ(error, os::ERR_FILE_NOT_FOUND) << c.Name;
      continue;
    }
    ASSERT_TRUE(h) << c.Name;
    EXPECT_EQ(static_cast<os::CLinuxDiskHandle*>(h.get())->Disk().DevicePath, c.Path);
  }
  EXPECT_EQ(io.DevicePath(2), "/dev/nvme1n1");
  EXPECT_EQ(io.DevicePath(3), "");
  EXPECT_EQ(io.DevicePath(-1), "");
}

TEST(LinuxDeviceIo, ScsiPortsExistButAnswerNothing) {
  CScriptedDiskSyscalls sys;
  os::CLinuxDeviceIo io(Tree("usb-enclosure"), sys);
  uint32_t error = 0;
  auto port = io.Open("\\\\.\\Scsi6:", os::Access::ReadWrite, &error);
  ASSERT_TRUE(port);
  Bytes buf(600, 0);
  uint32_t returned = 0;
  EXPECT_FALSE(
      port->Control(winio::CTL_SCSI_MINIPORT, buf.data(), 60, buf.data(), 557, &returned, &error));
  EXPECT_EQ(error, os::ERR_NOT_SUPPORTED);
  EXPECT_FALSE(io.Open("\\\\.\\Scsi5:", os::Access::ReadWrite, &error));
  EXPECT_FALSE(io.DefineRawDosDevice("tempBusSil3112", "\\Device\\Scsi\\SI31121"));
}

TEST(LinuxDeviceIo, GeometryAndDescriptorFromSysfs) {
  struct Case {
    const char* Tree;
    int Drive;
    uint64_t Cylinders;
    uint32_t Media;
    uint32_t Bus;
    const char* Product;
    const char* Revision;
  };
  const Case cases[] = {
      {"sata-laptop", 0, 14593, 12, 0x0B, "INTEL SSDSA2CW120G3", "4PC10302"},
      {"nvme-desktop", 1, 121601, 12, 0x11, "Samsung SSD 970 EVO Plus 1TB", "2B2QEXM7"},
      {"usb-enclosure", 1, 60801, 12, 0x07, "Tech", "0204"},
      {"usb-enclosure", 3, 3738, 11, 0x07, "Ultra", "1.00"},
  };
  for (const auto& c : cases) {
    CScriptedDiskSyscalls sys;
    os::CLinuxDeviceIo io(Tree(c.Tree), sys);
    uint32_t error = 0;
    auto h =
        io.Open("\\\\.\\PhysicalDrive" + std::to_string(c.Drive), os::Access::ReadWrite, &error);
    ASSERT_TRUE(h) << c.Tree << c.Drive;
    Bytes geo(24, 0);
    uint32_t returned = 0;
    ASSERT_TRUE(h->Control(winio::CTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, geo.data(), 24,
                           &returned, &error));
    EXPECT_EQ(returned, 24u);
    EXPECT_EQ(Get64(geo, 0), c.Cylinders) << c.Tree << c.Drive;
    EXPECT_EQ(Get32(geo, 8), c.Media) << c.Tree << c.Drive;
    EXPECT_EQ(Get32(geo, 20), 512u);

    Bytes query(12, 0);
    Bytes head(8, 0);
    ASSERT_TRUE(h->Control(winio::CTL_STORAGE_QUERY_PROPERTY, query.data(), 12, head.data(), 8,
                           &returned, &error));
    uint32_t size = Get32(head, 4);
    ASSERT_GT(size, 40u);
    Bytes desc(4096, 0);
    ASSERT_TRUE(h->Control(winio::CTL_STORAGE_QUERY_PROPERTY, query.data(), 12, desc.data(), 4096,
                           &returned, &error));
    EXPECT_EQ(returned, size);
    EXPECT_EQ(Get32(desc, 28), c.Bus) << c.Tree << c.Drive;
    EXPECT_STREQ(reinterpret_cast<const char*>(desc.data() + Get32(desc, 16)), c.Product);
    EXPECT_STREQ(reinterpret_cast<const char*>(desc.data() + Get32(desc, 20)), c.Revision);
    EXPECT_EQ(desc[10], c.Media == 11 ? 1 : 0);
  }
}

TEST(LinuxDeviceIo, MountPointsOfEachDrive) {
  CScriptedDiskSyscalls sys;
  os::CLinuxDeviceIo io(Tree("sata-laptop"), sys);
  EXPECT_EQ(io.MountPoints(0), (std::vector<std::string>{"/", "/boot/efi", "/home"}));
  EXPECT_TRUE(io.MountPoints(1).empty());
  EXPECT_TRUE(io.MountPoints(-1).empty());
}

TEST(LinuxDeviceIo, AccessDenialIsRememberedAndExplained) {
  // The laptop tree runs as a user; the desktop tree as root in a container
  // that keeps raw disks away.
  struct Case {
    const char* Tree;
    const char* Node;
    os::AccessDenial Denial;
  };
  const Case cases[] = {{"sata-laptop", "sda", os::AccessDenial::NotPrivileged},
                        {"nvme-desktop", "sda", os::AccessDenial::RefusedToPrivileged}};
  for (const auto& c : cases) {
    CScriptedDiskSyscalls sys;
    os::CLinuxDeviceIo io(Tree(c.Tree), sys);
    EXPECT_EQ(io.DeviceAccessDenial(), os::AccessDenial::None);
    uint32_t error = 0;
    {
      auto h = io.Open("\\\\.\\PhysicalDrive0", os::Access::ReadWrite, &error);
      ASSERT_TRUE(h);
      std::string node =
          std::string(STAVRION_SOURCE_DIR) + "/fixtures/sysfs/" + c.Tree + "/dev/" + c.Node;
      sys.ScsiScript.push_back({node,
                                {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0xA0, 0xEC, 0},
                                os::DataDirection::In,
                                512,
                                2000,
                                EPERM});
      Bytes in = SendCmd(0xEC, 0, 1, 1, 0, 0);
      Bytes out(528, 0);
      uint32_t returned = 0;
      EXPECT_FALSE(h->Control(winio::CTL_SMART_RCV_DRIVE_DATA, in.data(), 33, out.data(), 528,
                              &returned, &error));
      EXPECT_EQ(error, os::ERR_ACCESS_DENIED);
    }
    EXPECT_EQ(io.DeviceAccessDenial(), c.Denial) << c.Tree;
  }
}

}  // namespace
