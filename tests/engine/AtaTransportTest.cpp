#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/AtaSmart.h"
#include "os/sim/SimPlatform.h"
#include "os/wire/WinIoctl.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SimTestSupport.h"
#include "tests/support/StdFileSystem.h"

using namespace os::sim;
using testutil::CMachineBuilder;
using testutil::Identify;
using testutil::Pattern;

namespace {

const std::string kHeader = "[machine]\nversion = 1\n";
const std::string kOldOs = "[machine]\nversion = 1\nos = 5.1.2600\nservice_pack = Service Pack 1\n";

// A simulated machine with an engine on it.
class CRig {
 public:
  explicit CRig(const CMachineBuilder& builder)
      : m_Platform(std::make_unique<CSimPlatform>(builder.Machine(), m_Files)),
        m_Ata(std::make_unique<CAtaSmart>(m_Platform->Get())) {}
  CAtaSmart& Ata() { return *m_Ata; }
  CSimDeviceIo& Io() { return m_Platform->Devices(); }
  CSimWmi& Wmi() { return m_Platform->Wmi(); }
  const std::vector<SimRequest>& Requests() { return Io().Requests(); }
  std::vector<SimRequest> Controls() {
    std::vector<SimRequest> out;
    for (const SimRequest& r : Requests()) {
      if (r.Type == SimRequest::Kind::Control) out.push_back(r);
    }
    return out;
  }

 private:
  testutil::CStdFileSystem m_Files;
  std::unique_ptr<CSimPlatform> m_Platform;
  std::unique_ptr<CAtaSmart> m_Ata;
};

std::vector<uint8_t> Bytes512(const uint8_t* p) { return std::vector<uint8_t>(p, p + 512); }

// What the parser makes of `sector` in a record as `before` is: the
// transport's result must be it.
bool ParserSays(const std::vector<uint8_t>& sector, bool thresholds,
                const ATA_SMART_INFO& before = ATA_SMART_INFO()) {
  ATA_SMART_INFO asi = before;
  if (thresholds) {
    std::memcpy(asi.SmartReadThreshold.data(), sector.data(), 512);
    return CAtaSmart::FillSmartThreshold(asi);
  }
  std::memcpy(asi.SmartReadData.data(), sector.data(), 512);
  return CAtaSmart::FillSmartData(asi);
}

// The ATA pass-through request this build sends: header, filler, data.
void ExpectPassThrough(const SimRequest& r, uint32_t dataSize, const uint8_t (&taskFile)[8]) {
  const winio::AtaPassThroughLayout& l = winio::APT_LAYOUT;
  ASSERT_EQ(r.Code, winio::CTL_ATA_PASS_THROUGH);
  ASSERT_EQ(r.In.size(), l.DataAt() + dataSize);
  EXPECT_EQ(r.OutSize, l.DataAt() + dataSize);
  const uint8_t* in = r.In.data();
  EXPECT_EQ(winio::Load16(in), l.HeaderSize);
  EXPECT_EQ(winio::Load16(in + 2), dataSize ? winio::APT_FLAGS_DATA_IN : 0);
  EXPECT_EQ(in[4], 0);  // path, target, lun
  EXPECT_EQ(in[5], 0);
  EXPECT_EQ(in[6], 0);
  EXPECT_EQ(winio::Load32(in + 8), dataSize);
  EXPECT_EQ(winio::Load32(in + 12), 2u);  // seconds
  EXPECT_EQ(winio::LoadUintPtr(in + l.DataBufferOffsetAt, l.PointerWidth), l.DataAt());
  EXPECT_EQ(std::vector<uint8_t>(in + l.PreviousTaskFileAt, in + l.PreviousTaskFileAt + 8),
            std::vector<uint8_t>(8, 0));
  EXPECT_EQ(std::vector<uint8_t>(in + l.CurrentTaskFileAt, in + l.CurrentTaskFileAt + 8),
            std::vector<uint8_t>(taskFile, taskFile + 8));
  if (!winio::WIDE_POINTERS) {
    EXPECT_EQ(l.HeaderSize, 40u);
    EXPECT_EQ(l.DataAt(), 44u);
  }
}

// SMART_RCV_DRIVE_DATA / SMART_SEND_DRIVE_COMMAND input: 33 or 32 bytes.
void ExpectSendCmd(const SimRequest& r, uint32_t code, size_t inSize, uint32_t outSize,
                   uint32_t bufferSize, const uint8_t (&regs)[8]) {
  ASSERT_EQ(r.Code, code);
  ASSERT_EQ(r.In.size(), inSize);
  EXPECT_EQ(r.OutSize, outSize);
  EXPECT_EQ(winio::Load32(r.In.data()), bufferSize);
  EXPECT_EQ(std::vector<uint8_t>(r.In.begin() + 4, r.In.begin() + 12),
            std::vector<uint8_t>(regs, regs + 8));
  EXPECT_EQ(std::vector<uint8_t>(r.In.begin() + 12, r.In.end()),
            std::vector<uint8_t>(inSize - 12, 0));  // drive number 0, reserved
}

CMachineBuilder PlainDisk(const std::string& header = kHeader, const std::string& extra = "") {
  return CMachineBuilder(header + "[disk a]\nphysical_drive = 0\n" + extra)
      .File("a/identify.bin", Identify("PLAIN DISK", "FW1", "SN1"))
      .File("a/smart_data.bin", Pattern(11))
      .File("a/smart_thresholds.bin", Pattern(12));
}

const uint8_t kIdentifyTaskFile[8] = {0, 0, 0, 0, 0, 0xA0, 0xEC, 0};
const uint8_t kReadDataTaskFile[8] = {0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0};
const uint8_t kReadThresholdsTaskFile[8] = {0xD1, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0};
const uint8_t kEnableTaskFile[8] = {0xD8, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0};
const uint8_t kRcvIdentify[8] = {0, 1, 1, 0, 0, 0xA0, 0xEC, 0};

}  // namespace

TEST(AtaTransport, IdentifyThroughAtaPassThrough) {
  CRig rig(PlainDisk());
  ASSERT_TRUE(rig.Ata().m_FlagAtaPassThrough);
  uint8_t buffer[512];
  std::memset(buffer, 0x55, sizeof buffer);
  ASSERT_TRUE(rig.Ata().DoIdentifyDevicePd(0, 0xA0, buffer));
  EXPECT_EQ(Bytes512(buffer), Identify("PLAIN DISK", "FW1", "SN1"));
  ASSERT_EQ(rig.Requests().size(), 2u);
  EXPECT_EQ(rig.Requests()[0].Type, SimRequest::Kind::Open);
  EXPECT_EQ(rig.Requests()[0].Device, "\\\\.\\PhysicalDrive0");
  EXPECT_EQ(rig.Requests()[0].OpenAccess, os::Access::ReadWrite);
  ExpectPassThrough(rig.Requests()[1], 512, kIdentifyTaskFile);
}

TEST(AtaTransport, SmartReadsThroughAtaPassThrough) {
  CRig rig(PlainDisk());
  ATA_SMART_INFO asi;
  {
    bool expected = ParserSays(Pattern(11), false, asi);
    EXPECT_EQ(rig.Ata().GetSmartAttributePd(0, 0xA0, asi), expected);
  }
  EXPECT_EQ(Bytes512(asi.SmartReadData.data()), Pattern(11));
  {
    bool expected = ParserSays(Pattern(12), true, asi);
    EXPECT_EQ(rig.Ata().GetSmartThresholdPd(0, 0xA0, asi), expected);
  }
  EXPECT_EQ(Bytes512(asi.SmartReadThreshold.data()), Pattern(12));
  EXPECT_TRUE(rig.Ata().ControlSmartStatusPd(0, 0xA0));
  auto c = rig.Controls();
  ASSERT_EQ(c.size(), 3u);
  ExpectPassThrough(c[0], 512, kReadDataTaskFile);
  ExpectPassThrough(c[1], 512, kReadThresholdsTaskFile);
  ExpectPassThrough(c[2], 0, kEnableTaskFile);
}

TEST(AtaTransport, OldSystemWithoutPassThroughUsesSmartIoctls) {
  CRig rig(PlainDisk(kOldOs));
  ASSERT_FALSE(rig.Ata().m_FlagAtaPassThrough);
  uint8_t buffer[512];
  ASSERT_TRUE(rig.Ata().DoIdentifyDevicePd(0, 0xA0, buffer));
  EXPECT_EQ(Bytes512(buffer), Identify("PLAIN DISK", "FW1", "SN1"));
  ATA_SMART_INFO asi;
  {
    bool expected = ParserSays(Pattern(11), false, asi);
    EXPECT_EQ(rig.Ata().GetSmartAttributePd(0, 0xA0, asi), expected);
  }
  EXPECT_EQ(Bytes512(asi.SmartReadData.data()), Pattern(11));
  {
    bool expected = ParserSays(Pattern(12), true, asi);
    EXPECT_EQ(rig.Ata().GetSmartThresholdPd(0, 0xA0, asi), expected);
  }
  EXPECT_EQ(Bytes512(asi.SmartReadThreshold.data()), Pattern(12));
  EXPECT_TRUE(rig.Ata().ControlSmartStatusPd(0, 0xA0));
  auto c = rig.Controls();
  ASSERT_EQ(c.size(), 4u);
  ExpectSendCmd(c[0], winio::CTL_SMART_RCV_DRIVE_DATA, 33, 528, 512, kRcvIdentify);
  ExpectSendCmd(c[1], winio::CTL_SMART_RCV_DRIVE_DATA, 33, 528, 512, kReadDataTaskFile);
  ExpectSendCmd(c[2], winio::CTL_SMART_RCV_DRIVE_DATA, 33, 528, 512, kReadThresholdsTaskFile);
  ExpectSendCmd(c[3], winio::CTL_SMART_SEND_DRIVE_COMMAND, 32, 16, 0, kEnableTaskFile);
  EXPECT_TRUE(rig.Io().RequestsWithCode(winio::CTL_ATA_PASS_THROUGH).empty());
}

TEST(AtaTransport, BlankPassThroughModelIsAskedAgain) {
  CRig rig(PlainDisk(kHeader, "fault.ata-pass-through.identify = blank-model\n"));
  uint8_t buffer[512];
  ASSERT_TRUE(rig.Ata().DoIdentifyDevicePd(0, 0xA0, buffer));
  EXPECT_EQ(Bytes512(buffer), Identify("PLAIN DISK", "FW1", "SN1"));
  auto c = rig.Controls();
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].Code, winio::CTL_ATA_PASS_THROUGH);
  EXPECT_TRUE(c[0].Ok);
  ExpectSendCmd(c[1], winio::CTL_SMART_RCV_DRIVE_DATA, 33, 528, 512, kRcvIdentify);
}

TEST(AtaTransport, IdentifyFailuresLeaveAClearedBuffer) {
  struct Case {
    const char* Extra;
    size_t Requests;
  };
  const Case cases[] = {
      // blank through pass-through and no SMART_* driver
      {"paths = ata-pass-through\nfault.identify = blank-model\n", 2},
      // SMART_RCV_DRIVE_DATA answering less than a whole sector
      {"paths = smart-ioctl\nfault.identify = short 100\n", 2},
      // both refuse
      {"fault.identify = error 31\n", 2},
      // the disk answers to B0 only
      {"target = B0\npaths = smart-ioctl\n", 2},
  };
  for (const Case& c : cases) {
    CRig rig(PlainDisk(kHeader, c.Extra));
    uint8_t buffer[512];
    std::memset(buffer, 0x55, sizeof buffer);
    EXPECT_FALSE(rig.Ata().DoIdentifyDevicePd(0, 0xA0, buffer)) << c.Extra;
    EXPECT_EQ(Bytes512(buffer), std::vector<uint8_t>(512, 0)) << c.Extra;
    EXPECT_EQ(rig.Controls().size(), c.Requests) << c.Extra;
  }
  // The second device of the channel answers when asked as B0.
  CRig slave(PlainDisk(kHeader, "target = B0\n"));
  uint8_t buffer[512];
  EXPECT_TRUE(slave.Ata().DoIdentifyDevicePd(0, 0xB0, buffer));
}

TEST(AtaTransport, FailedReadsKeepTheRecord) {
  struct Case {
    const char* Header;
    const char* Extra;
  };
  const Case cases[] = {
      {"", "fault.smart-data = error 1117\nfault.smart-thresholds = no-answer\n"},
      {"os = 5.1\n", "fault.smart-data = short\nfault.smart-thresholds = short\n"},
      {"", "paths = ide-pass-through\n"},
  };
  for (const Case& c : cases) {
    CRig rig(PlainDisk(kHeader + c.Header, c.Extra));
    ATA_SMART_INFO asi;
    asi.SmartReadData.fill(0xAA);
    asi.SmartReadThreshold.fill(0xBB);
    EXPECT_FALSE(rig.Ata().GetSmartAttributePd(0, 0xA0, asi)) << c.Extra;
    EXPECT_FALSE(rig.Ata().GetSmartThresholdPd(0, 0xA0, asi)) << c.Extra;
    EXPECT_EQ(Bytes512(asi.SmartReadData.data()), std::vector<uint8_t>(512, 0xAA)) << c.Extra;
    EXPECT_EQ(Bytes512(asi.SmartReadThreshold.data()), std::vector<uint8_t>(512, 0xBB)) << c.Extra;
  }
}

TEST(AtaTransport, PassThroughFailureFallsBackToSmartIoctl) {
  CRig rig(PlainDisk(kHeader, "fault.ata-pass-through.smart-data = error 1\n"));
  ATA_SMART_INFO asi;
  {
    bool expected = ParserSays(Pattern(11), false, asi);
    EXPECT_EQ(rig.Ata().GetSmartAttributePd(0, 0xA0, asi), expected);
  }
  EXPECT_EQ(Bytes512(asi.SmartReadData.data()), Pattern(11));
  auto c = rig.Controls();
  ASSERT_EQ(c.size(), 2u);
  EXPECT_FALSE(c[0].Ok);
  ExpectSendCmd(c[1], winio::CTL_SMART_RCV_DRIVE_DATA, 33, 528, 512, kReadDataTaskFile);
}

TEST(AtaTransport, SetFeaturesWithoutPassThroughUsesIdePassThrough) {
  CRig rig(PlainDisk(kOldOs));
  uint8_t data[512] = {};
  EXPECT_TRUE(rig.Ata().SendAtaCommandPd(0, 0xA0, 0xEF, 0x42, 0x80, nullptr, 0));
  EXPECT_TRUE(rig.Ata().SendAtaCommandPd(0, 0xB0, 0xEC, 0, 0, data, 512));  // nobody at B0
  auto c = rig.Controls();
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].Code, winio::CTL_IDE_PASS_THROUGH);
  EXPECT_EQ(c[0].In, (std::vector<uint8_t>{0x42, 0x80, 0, 0, 0, 0xA0, 0xEF, 0, 0, 0, 0, 0}));
  EXPECT_EQ(c[0].OutSize, 12u);
  ASSERT_EQ(c[1].In.size(), 12u + 512);
  EXPECT_EQ(std::vector<uint8_t>(c[1].In.begin(), c[1].In.begin() + 12),
            (std::vector<uint8_t>{0, 0, 0, 0, 0, 0xB0, 0xEC, 0, 0, 2, 0, 0}));

  // An identify through it reaches the disk at A0.
  EXPECT_TRUE(rig.Ata().SendAtaCommandPd(0, 0xA0, 0xEC, 0, 0, data, 512));
  EXPECT_EQ(Bytes512(data), Identify("PLAIN DISK", "FW1", "SN1"));

  // Windows NT 4 has neither request.
  CRig nt4(PlainDisk("[machine]\nversion = 1\nos = 4.0\n"));
  rig.Io().ClearRequests();
  EXPECT_FALSE(nt4.Ata().SendAtaCommandPd(0, 0xA0, 0xEF, 0x42, 0x80, nullptr, 0));
  EXPECT_TRUE(nt4.Controls().empty());
}

TEST(AtaTransport, SendAtaCommandLogsItsArguments) {
  std::vector<std::string> lines;
  CRig rig(PlainDisk());
  {
    testutil::CLogCapture log;
    rig.Ata().SendAtaCommandPd(7, 0xB0, 0xB0, 0xD0, 0, nullptr, 0);
    lines = log.Lines;
  }
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "00000000 #m_FlagAtaPassThrough = 1,\n#physicalDiveId 07,\n#target b0,\n#main "
            "b0,\n#sub d0,\n#param 00,\n#dataSize 0\n");
  // Drive 7 does not exist: nothing was sent.
  EXPECT_TRUE(rig.Controls().empty());
}

TEST(AtaTransport, WakeUpReadsTheFirstSector) {
  CRig rig(PlainDisk());
  rig.Ata().WakeUp(-1);
  EXPECT_TRUE(rig.Requests().empty());
  rig.Ata().WakeUp(0);
  rig.Ata().WakeUp(9);  // missing drives are ignored
  ASSERT_EQ(rig.Requests().size(), 3u);
  EXPECT_EQ(rig.Requests()[0].OpenAccess, os::Access::Read);
  EXPECT_EQ(rig.Requests()[1].Type, SimRequest::Kind::Read);
  EXPECT_EQ(rig.Requests()[1].OutSize, 512u);
  EXPECT_FALSE(rig.Requests()[2].Ok);
}

// ---- SCSI miniport ----

namespace {

CMachineBuilder MiniportDisk(const std::string& extra = "") {
  return CMachineBuilder(
             kHeader + "[disk a]\nscsi_port = 2\nscsi_target = 1\npaths = scsi-miniport\n" + extra)
      .File("a/identify.bin", Identify("MINIPORT DISK"))
      .File("a/smart_data.bin", Pattern(21))
      .File("a/smart_thresholds.bin", Pattern(22));
}

void ExpectScsiDisk(const SimRequest& r, uint32_t controlCode, uint32_t bufferSize,
                    const uint8_t (&regs)[8], uint8_t target) {
  ASSERT_EQ(r.Code, winio::CTL_SCSI_MINIPORT);
  ASSERT_EQ(r.In.size(), 60u);
  EXPECT_EQ(r.OutSize, 557u);
  const uint8_t* in = r.In.data();
  EXPECT_EQ(winio::Load32(in), 28u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(in + 4), 8), "SCSIDISK");
  EXPECT_EQ(winio::Load32(in + 12), 2u);
  EXPECT_EQ(winio::Load32(in + 16), controlCode);
  EXPECT_EQ(winio::Load32(in + 20), 0u);
  EXPECT_EQ(winio::Load32(in + 24), 0x211u);
  EXPECT_EQ(winio::Load32(in + 28), bufferSize);
  EXPECT_EQ(std::vector<uint8_t>(in + 32, in + 40), std::vector<uint8_t>(regs, regs + 8));
  EXPECT_EQ(in[40], target);
}

const uint8_t kMiniIdentify[8] = {0, 0, 0, 0, 0, 0, 0xEC, 0};
const uint8_t kMiniData[8] = {0xD0, 1, 1, 0x4F, 0xC2, 0, 0xB0, 0};
const uint8_t kMiniThresholds[8] = {0xD1, 1, 1, 0x4F, 0xC2, 0, 0xB0, 0};
const uint8_t kMiniEnable[8] = {0xD8, 1, 1, 0x4F, 0xC2, 0, 0xB0, 0};

}  // namespace

TEST(AtaTransport, ScsiMiniportRequests) {
  CRig rig(MiniportDisk());
  uint8_t buffer[512];
  ASSERT_TRUE(rig.Ata().DoIdentifyDeviceScsi(2, 1, buffer));
  EXPECT_EQ(Bytes512(buffer), Identify("MINIPORT DISK"));
  ATA_SMART_INFO asi;
  {
    bool expected = ParserSays(Pattern(21), false, asi);
    EXPECT_EQ(rig.Ata().GetSmartAttributeScsi(2, 1, asi), expected);
  }
  EXPECT_EQ(Bytes512(asi.SmartReadData.data()), Pattern(21));
  {
    bool expected = ParserSays(Pattern(22), true, asi);
    EXPECT_EQ(rig.Ata().GetSmartThresholdScsi(2, 1, asi), expected);
  }
  EXPECT_EQ(Bytes512(asi.SmartReadThreshold.data()), Pattern(22));
  EXPECT_TRUE(rig.Ata().ControlSmartStatusScsi(2, 1));
  EXPECT_EQ(rig.Requests()[0].Device, "\\\\.\\Scsi2:");
  auto c = rig.Controls();
  ASSERT_EQ(c.size(), 4u);
  ExpectScsiDisk(c[0], 0x1B0501, 0, kMiniIdentify, 1);
  ExpectScsiDisk(c[1], 0x1B0502, 512, kMiniData, 1);
  ExpectScsiDisk(c[2], 0x1B0503, 512, kMiniThresholds, 1);
  ExpectScsiDisk(c[3], 0x1B0504, 0, kMiniEnable, 1);
}

TEST(AtaTransport, ScsiFirstDataByteZeroIsFailure) {
  // An empty target: the port answers, with nothing in the buffer.
  CRig rig(MiniportDisk());
  uint8_t buffer[512];
  std::memset(buffer, 0x55, sizeof buffer);
  EXPECT_FALSE(rig.Ata().DoIdentifyDeviceScsi(2, 5, buffer));
  ASSERT_EQ(rig.Controls().size(), 1u);
  EXPECT_TRUE(rig.Controls()[0].Ok);
  EXPECT_EQ(Bytes512(buffer), std::vector<uint8_t>(512, 0));

  // A disk whose sectors start with 0.
  std::vector<uint8_t> id = Identify("ZERO FIRST");
  id[0] = 0;
  std::vector<uint8_t> thresholds = Pattern(22);
  thresholds[0] = 0;
  CRig zero(CMachineBuilder(kHeader + "[disk a]\nscsi_port = 2\nscsi_target = 1\npaths = "
                                      "scsi-miniport\n")
                .File("a/identify.bin", id)
                .File("a/smart_data.bin", thresholds)
                .File("a/smart_thresholds.bin", thresholds));
  EXPECT_FALSE(zero.Ata().DoIdentifyDeviceScsi(2, 1, buffer));
  ATA_SMART_INFO asi;
  asi.SmartReadThreshold.fill(0xBB);
  EXPECT_FALSE(zero.Ata().GetSmartThresholdScsi(2, 1, asi));
  EXPECT_EQ(Bytes512(asi.SmartReadThreshold.data()), std::vector<uint8_t>(512, 0xBB));
  // READ DATA takes the sector whatever its first byte.
  {
    bool expected = ParserSays(thresholds, false, asi);
    EXPECT_EQ(zero.Ata().GetSmartAttributeScsi(2, 1, asi), expected);
  }
  EXPECT_EQ(Bytes512(asi.SmartReadData.data()), thresholds);

  // A scripted all-zero answer, and a port that does not exist.
  CRig faulty(MiniportDisk("fault.identify = zero\n"));
  EXPECT_FALSE(faulty.Ata().DoIdentifyDeviceScsi(2, 1, buffer));
  EXPECT_FALSE(faulty.Ata().DoIdentifyDeviceScsi(7, 1, buffer));
}

// ---- Silicon Image ----

namespace {

CMachineBuilder SiliconImageDisk(int chip, bool portVisible) {
  return CMachineBuilder(kHeader + "[disk a]\nphysical_drive = 1\nscsi_port = 3\nscsi_bus = 1\n" +
                         "silicon_image = " + std::to_string(chip) + "\n" +
                         "scsi_port_visible = " + (portVisible ? "yes" : "no") + "\n" +
                         "paths = silicon-image predict-failure\n")
      .File("a/identify.bin", Identify("SILICON DISK"))
      .File("a/smart_data.bin", Pattern(31));
}

void ExpectCmdIde(const SimRequest& r, uint16_t port) {
  ASSERT_EQ(r.Code, winio::CTL_SCSI_MINIPORT);
  ASSERT_EQ(r.In.size(), 564u);
  EXPECT_EQ(r.OutSize, 564u);
  const uint8_t* in = r.In.data();
  EXPECT_EQ(winio::Load32(in), 28u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(in + 4), 8), "CMD_IDE ");
  EXPECT_EQ(winio::Load32(in + 12), 5u);
  EXPECT_EQ(winio::Load32(in + 16), 0x00042008u);
  EXPECT_EQ(winio::Load32(in + 20), 0xFFFFFFFFu);
  EXPECT_EQ(winio::Load32(in + 24), 0x218u);
  EXPECT_EQ(winio::Load16(in + 28), port);
  EXPECT_EQ(winio::Load16(in + 30), 1u);
  EXPECT_EQ(std::vector<uint8_t>(in + 32, in + 564), std::vector<uint8_t>(532, 0));
}

}  // namespace

TEST(AtaTransport, SiliconImageThroughItsScsiPort) {
  CRig rig(SiliconImageDisk(3112, true));
  uint8_t buffer[512];
  ASSERT_TRUE(rig.Ata().DoIdentifyDeviceSi(3, 1, 3112, buffer));
  EXPECT_EQ(Bytes512(buffer), Identify("SILICON DISK"));
  EXPECT_EQ(rig.Requests()[0].Device, "\\\\.\\Scsi3:");
  ASSERT_EQ(rig.Controls().size(), 1u);
  ExpectCmdIde(rig.Controls()[0], 1);
  for (const SimRequest& r : rig.Requests()) {
    EXPECT_NE(r.Type, SimRequest::Kind::DefineDosDevice);
  }
  // Port 0 of the controller has nothing attached.
  EXPECT_FALSE(rig.Ata().DoIdentifyDeviceSi(3, 0, 3112, buffer));
  EXPECT_EQ(Bytes512(buffer), std::vector<uint8_t>(512, 0));
}

TEST(AtaTransport, SiliconImageWithoutScsiPortUsesTempBusName) {
  struct Case {
    int Chip;
    const char* Name;
    const char* Target;
  };
  const Case cases[] = {
      {3112, "tempBusSil3112", "\\Device\\Scsi\\SI31121"},
      {3512, "tempBusSil3112", "\\Device\\Scsi\\SI31121"},  // driven by the 3112 driver
      {3114, "tempBusSil3114", "\\Device\\Scsi\\SI31141"},
  };
  for (const Case& c : cases) {
    CRig rig(SiliconImageDisk(c.Chip, false));
    uint8_t buffer[512];
    ASSERT_TRUE(rig.Ata().DoIdentifyDeviceSi(3, 1, c.Chip, buffer)) << c.Chip;
    EXPECT_EQ(Bytes512(buffer), Identify("SILICON DISK"));
    const auto& r = rig.Requests();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].Device, "\\\\.\\Scsi3:");
    EXPECT_FALSE(r[0].Ok);
    EXPECT_EQ(r[1].Type, SimRequest::Kind::DefineDosDevice);
    EXPECT_EQ(r[1].Device, c.Name);
    EXPECT_EQ(r[1].Target, c.Target);
    EXPECT_EQ(r[2].Device, std::string("\\\\.\\") + c.Name);
    EXPECT_TRUE(r[2].Ok);
    ExpectCmdIde(r[3], 1);
  }
  // The name leads nowhere when no such controller exists.
  CRig other(SiliconImageDisk(3132, false));
  uint8_t buffer[512];
  EXPECT_FALSE(other.Ata().DoIdentifyDeviceSi(3, 1, 3112, buffer));
}

TEST(AtaTransport, SiliconImageSmartThroughPredictFailure) {
  CRig rig(SiliconImageDisk(3112, false));
  ATA_SMART_INFO asi;
  {
    bool expected = ParserSays(Pattern(31), false, asi);
    EXPECT_EQ(rig.Ata().GetSmartAttributeSi(1, asi), expected);
  }
  EXPECT_EQ(Bytes512(asi.SmartReadData.data()), Pattern(31));
  auto c = rig.Controls();
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].Code, winio::CTL_STORAGE_PREDICT_FAILURE);
  EXPECT_TRUE(c[0].In.empty());
  EXPECT_EQ(c[0].OutSize, 516u);
  EXPECT_TRUE(rig.Wmi().Queries().empty());
}

TEST(AtaTransport, PredictFailureRefusedFallsBackToWmi) {
  CRig rig(CMachineBuilder(kHeader + "[disk a]\nphysical_drive = 1\npaths = wmi\n"
                                     "pnp_device_id = SCSI\\Disk&Ven_X\\5&AB&0&000100\n")
               .File("a/smart_data.bin", Pattern(41))
               .File("a/smart_thresholds.bin", Pattern(42)));
  ATA_SMART_INFO asi;
  asi.PnpDeviceId = "SCSI\\DISK&VEN_X\\5&AB&0&000100";  // discovery upper-cases it
  {
    bool expected = ParserSays(Pattern(41), false, asi);
    EXPECT_EQ(rig.Ata().GetSmartAttributeSi(1, asi), expected);
  }
  EXPECT_EQ(Bytes512(asi.SmartReadData.data()), Pattern(41));
  ASSERT_EQ(rig.Wmi().Queries().size(), 1u);
  EXPECT_EQ(rig.Wmi().Queries()[0].Namespace, "\\\\.\\root\\WMI");
  EXPECT_EQ(rig.Wmi().Queries()[0].Wql, "SELECT * FROM MSStorageDriver_FailurePredictData");
  {
    bool expected = ParserSays(Pattern(42), true, asi);
    EXPECT_EQ(rig.Ata().GetSmartAttributeWmi(1, asi), expected);
  }
  EXPECT_EQ(Bytes512(asi.SmartReadThreshold.data()), Pattern(42));
  EXPECT_EQ(rig.Wmi().Queries()[1].Wql, "SELECT * FROM MSStorageDriver_FailurePredictThresholds");
}

TEST(AtaTransport, WmiWithoutPnpIdTouchesNothing) {
  CRig rig(CMachineBuilder(kHeader + "[disk a]\nphysical_drive = 1\npaths = wmi\n"
                                     "pnp_device_id = IDE\\DISK\\1\n")
               .File("a/smart_data.bin", Pattern(41)));
  ATA_SMART_INFO asi;
  asi.SmartReadData.fill(0xAA);
  EXPECT_FALSE(rig.Ata().GetSmartAttributeWmi(0, asi));
  EXPECT_FALSE(rig.Ata().GetSmartAttributeWmi(1, asi));
  EXPECT_TRUE(rig.Wmi().Queries().empty());
  EXPECT_TRUE(rig.Requests().empty());
  EXPECT_EQ(Bytes512(asi.SmartReadData.data()), std::vector<uint8_t>(512, 0xAA));
}

TEST(AtaTransport, WmiRowsThatDoNotServe) {
  struct Case {
    const char* Manifest;
    const char* PnpId;
  };
  const Case cases[] = {
      // no row for this disk
      {"[wmi root\\WMI MSStorageDriver_FailurePredictData]\nInstanceName = IDE\\OTHER_0\n"
       "VendorSpecific = file:data.bin\n",
       "IDE\\DISK"},
      // a row whose array is shorter than a sector
      {"[wmi root\\WMI MSStorageDriver_FailurePredictData]\nInstanceName = IDE\\DISK_0\n"
       "VendorSpecific = hex:0102\n",
       "IDE\\DISK"},
      // WMI not running
      {"[wmi root\\WMI MSStorageDriver_FailurePredictData]\nInstanceName = IDE\\DISK_0\n"
       "VendorSpecific = file:data.bin\n",
       "IDE\\DISK"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    std::string header = kHeader + (i == 2 ? "wmi = no\n" : "");
    CRig rig(CMachineBuilder(header + "[disk a]\nphysical_drive = 0\n" + cases[i].Manifest)
                 .File("data.bin", Pattern(51)));
    ATA_SMART_INFO asi;
    asi.PnpDeviceId = cases[i].PnpId;
    asi.SmartReadData.fill(0xAA);
    EXPECT_FALSE(rig.Ata().GetSmartAttributeWmi(0, asi)) << i;
    EXPECT_EQ(Bytes512(asi.SmartReadData.data()), std::vector<uint8_t>(512, 0xAA)) << i;
    EXPECT_EQ(rig.Wmi().Queries().size(), 1u);
  }
  // The instance name is compared upper-cased, as a prefix.
  CRig rig(CMachineBuilder(kHeader + "[disk a]\nphysical_drive = 0\n" +
                           "[wmi root\\WMI MSStorageDriver_FailurePredictData]\n"
                           "InstanceName = ide\\disk\\4&1_0\nVendorSpecific = file:data.bin\n")
               .File("data.bin", Pattern(51)));
  ATA_SMART_INFO asi;
  asi.PnpDeviceId = "IDE\\DISK\\4&1";
  {
    bool expected = ParserSays(Pattern(51), false, asi);
    EXPECT_EQ(rig.Ata().GetSmartAttributeWmi(0, asi), expected);
  }
  EXPECT_EQ(Bytes512(asi.SmartReadData.data()), Pattern(51));
}

TEST(AtaTransport, MissingDriveFailsEveryOperation) {
  CRig rig(PlainDisk());
  uint8_t buffer[512];
  ATA_SMART_INFO asi;
  EXPECT_FALSE(rig.Ata().SendAtaCommandPd(4, 0xA0, 0xEC, 0, 0, buffer, 512));
  EXPECT_FALSE(rig.Ata().DoIdentifyDevicePd(4, 0xA0, buffer));
  EXPECT_FALSE(rig.Ata().GetSmartAttributePd(4, 0xA0, asi));
  EXPECT_FALSE(rig.Ata().GetSmartThresholdPd(4, 0xA0, asi));
  EXPECT_FALSE(rig.Ata().ControlSmartStatusPd(4, 0xA0));
  EXPECT_FALSE(rig.Ata().DoIdentifyDeviceScsi(4, 0, buffer));
  EXPECT_FALSE(rig.Ata().GetSmartAttributeScsi(4, 0, asi));
  EXPECT_FALSE(rig.Ata().GetSmartThresholdScsi(4, 0, asi));
  EXPECT_FALSE(rig.Ata().ControlSmartStatusScsi(4, 0));
  EXPECT_FALSE(rig.Ata().GetSmartAttributeSi(4, asi));  // no PNP id for WMI either
  EXPECT_TRUE(rig.Controls().empty());
}

TEST(AtaTransport, RealDisksOfTheFixtureFolderAnswer) {
  LoadResult loaded = LoadMachineFolder(testutil::SourceDir() + "/fixtures/real-ata");
  ASSERT_TRUE(loaded.Machine) << loaded.Error;
  testutil::CStdFileSystem files;
  CSimPlatform sim(std::move(*loaded.Machine), files);
  CAtaSmart ata(sim.Get());
  const char* models[] = {"FUJITSU MHY2120BH", "INTEL SSDSA2CW120G3", "MCCOE64GEMPP",
                          "SAMSUNG HD501LJ",   "ST9100821AS",         "WDC WD5000AAKS-00TMA0"};
  for (int32_t drive = 0; drive < 6; ++drive) {
    uint8_t id[512];
    ASSERT_TRUE(ata.DoIdentifyDevicePd(drive, 0xA0, id)) << drive;
    std::string model;
    for (size_t i = 54; i < 94; i += 2) {
      model.push_back(static_cast<char>(id[i + 1]));
      model.push_back(static_cast<char>(id[i]));
    }
    model.erase(model.find_last_not_of(' ') + 1);
    EXPECT_EQ(model, models[drive]);
    const SimDisk& disk = sim.Machine().Disks[static_cast<size_t>(drive)];
    ATA_SMART_INFO asi;
    ata.GetSmartAttributePd(drive, 0xA0, asi);
    ata.GetSmartThresholdPd(drive, 0xA0, asi);
    EXPECT_TRUE(
        std::equal(asi.SmartReadData.begin(), asi.SmartReadData.end(), disk.SmartData[0].begin()));
    EXPECT_TRUE(std::equal(asi.SmartReadThreshold.begin(), asi.SmartReadThreshold.end(),
                           disk.SmartThresholds->begin()));
  }
  uint8_t id[512];
  EXPECT_FALSE(ata.DoIdentifyDevicePd(6, 0xA0, id));
}
