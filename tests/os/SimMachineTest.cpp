#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "os/sim/DemoMachine.h"
#include "os/sim/SimDeviceIo.h"
#include "os/sim/SimMachine.h"
#include "os/sim/SimSystem.h"
#include "os/sim/SimVolumes.h"
#include "os/sim/SimWmi.h"
#include "os/sim/VirtualClock.h"
#include "os/wire/WinIoctl.h"
#include "tests/support/SimTestSupport.h"

using namespace os::sim;
using testutil::Bytes;
using testutil::CMachineBuilder;
using testutil::Identify;
using testutil::Pattern;

namespace {

const char* kHeader = "[machine]\nversion = 1\n";

std::string Model(const Sector& id) {
  std::string s;
  for (size_t i = 54; i < 94; i += 2) {
    s.push_back(static_cast<char>(id[i + 1]));
    s.push_back(static_cast<char>(id[i]));
  }
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Sends one control request and hands back the bytes returned.
struct Answer {
  bool Ok = false;
  uint32_t Error = 0;
  std::vector<uint8_t> Out;
};
Answer Ask(os::IDeviceIo& io, const std::string& device, uint32_t code, std::vector<uint8_t> in,
           uint32_t outSize) {
  Answer a;
  uint32_t error = 0;
  auto h = io.Open(device, os::Access::ReadWrite, &error);
  if (!h) {
    a.Error = error;
    return a;
  }
  std::vector<uint8_t> out(outSize, 0xEE);
  uint32_t returned = 0;
  a.Ok = h->Control(code, in.empty() ? nullptr : in.data(), static_cast<uint32_t>(in.size()),
                    out.data(), outSize, &returned, &a.Error);
  out.resize(a.Ok ? returned : 0);
  a.Out = std::move(out);
  return a;
}

}  // namespace

TEST(SimMachine, FolderWithoutManifestIsPlainSataDisksInNameOrder) {
  LoadResult r = LoadMachineFolder(testutil::SourceDir() + "/fixtures/real-ata");
  ASSERT_TRUE(r.Machine) << r.Error;
  const SimMachine& m = *r.Machine;
  ASSERT_EQ(m.Disks.size(), 6u);
  const char* names[] = {"FUJITSU_MHY2120BH--0084000D", "INTEL_SSDSA2CW120G3--4PC10302",
                         "MCCOE64GEMPP--2.9.09",        "SAMSUNG_HD501LJ--CR100-12",
                         "ST9100821AS--3.CME",          "WDC_WD5000AAKS--00TMA0-12.01C01"};
  const char* models[] = {"FUJITSU MHY2120BH", "INTEL SSDSA2CW120G3", "MCCOE64GEMPP",
                          "SAMSUNG HD501LJ",   "ST9100821AS",         "WDC WD5000AAKS-00TMA0"};
  for (size_t i = 0; i < 6; ++i) {
    const SimDisk& d = m.Disks[i];
    EXPECT_EQ(d.Name, names[i]);
    EXPECT_EQ(d.PhysicalDrive, static_cast<int32_t>(i));
    ASSERT_TRUE(d.Identify);
    EXPECT_EQ(Model(*d.Identify), models[i]);
    EXPECT_EQ(d.SmartData.size(), 1u);
    EXPECT_TRUE(d.SmartThresholds);
    EXPECT_TRUE(d.Answers(SimPath::AtaPassThrough));
    EXPECT_TRUE(d.Answers(SimPath::SmartIoctl));
    EXPECT_FALSE(d.Answers(SimPath::ScsiMiniport));
    EXPECT_EQ(d.BusType, winio::BUS_SATA);
  }
  EXPECT_EQ(m.Os.MajorVersion, 10u);
}

TEST(SimMachine, FolderErrorsAreOneLine) {
  LoadResult missing = LoadMachineFolder(testutil::SourceDir() + "/no/such/folder");
  EXPECT_FALSE(missing.Machine);
  EXPECT_NE(missing.Error.find("not a folder"), std::string::npos) << missing.Error;

  CMemorySource empty("empty", {{"notes.txt", Bytes("hello")}});
  LoadResult none = LoadMachine(empty);
  EXPECT_FALSE(none.Machine);
  EXPECT_EQ(none.Error, "empty: no machine.ini and no sub-folder with identify.bin: not a machine");

  CMemorySource badSector("m", {{"d/identify.bin", std::vector<uint8_t>(100)}});
  LoadResult bad = LoadMachine(badSector);
  EXPECT_EQ(bad.Error, "m/d/identify.bin: is 100 bytes; a sector file must be 512");
}

TEST(SimMachine, ManifestErrorsNameFileAndLine) {
  struct Case {
    std::string Manifest;
    std::string Error;
  };
  const std::string h = kHeader;
  const Case cases[] = {
      {"", "mem/machine.ini: missing [machine] section with 'version = 1'"},
      {"[machine]\n", "mem/machine.ini: missing 'version = 1' in [machine]"},
      {"[machine]\nversion = 3\n",
       "mem/machine.ini:2: unsupported machine format version 3 (this program reads versions 1 "
       "to 2)"},
      {"version = 1\n", "mem/machine.ini:1: 'version' outside a section"},
      {h + "[disks a]\n",
       "mem/machine.ini:3: unknown section [disks] (expected machine, disk, wmi, csmi or "
       "performance)"},
      {h + "[disk a\n", "mem/machine.ini:3: section header without closing ']'"},
      {h + "[disk]\n", "mem/machine.ini:3: expected [disk NAME]"},
      {h + "[disk a]\nphysical_drive = 256\n",
       "mem/machine.ini:4: physical_drive must be a number from 0 to 255"},
      {h + "[disk a]\nphysical_drive = zero\n",
       "mem/machine.ini:4: physical_drive must be a number from 0 to 255"},
      {h + "[disk a]\ncolour = red\n", "mem/machine.ini:4: unknown key 'colour' in [disk a]"},
      {h + "[disk a]\nphysical_drive = 1\nphysical_drive = 2\n",
       "mem/machine.ini:5: 'physical_drive' given twice"},
      {h + "[disk a]\njust words\n", "mem/machine.ini:4: expected 'key = value' or '[section]'"},
      {h + "[disk a]\npaths = ata-pass-through, telepathy\n",
       "mem/machine.ini:4: unknown path 'telepathy' (known: ata-pass-through, ide-pass-through, "
       "smart-ioctl, scsi-miniport, silicon-image, predict-failure, wmi, usb-bridge, csmi)"},
      {h + "[disk a]\nfault.identify = melt\n",
       "mem/machine.ini:4: fault must be no-answer, zero, short [BYTES], error CODE, blank-model, "
       "echo-data or none"},
      {h + "[disk a]\nfault.smart-data = blank-model\n",
       "mem/machine.ini:4: blank-model applies to identify only"},
      {h + "[disk a]\nfault.warp.identify = zero\n",
       "mem/machine.ini:4: unknown path 'warp' in 'fault.warp.identify'"},
      {h + "[disk a]\nfault.identify = short 512\n",
       "mem/machine.ini:4: short takes a byte count from 0 to 511"},
      {h + "[disk a]\nfault.identify = error 0\n",
       "mem/machine.ini:4: error needs a non-zero system error code"},
      {h + "[disk a]\nidentify = ../../etc/passwd\n",
       "mem/machine.ini:4: '../../etc/passwd' must be a relative path inside the machine folder"},
      {h + "[disk a]\nidentify = /etc/passwd\n",
       "mem/machine.ini:4: '/etc/passwd' must be a relative path inside the machine folder"},
      {h + "[disk a]\nphysical_drive = 0\nidentify = nothere.bin\n",
       "mem/machine.ini:5: cannot read mem/a/nothere.bin"},
      {h + "[disk a]\nscsi_target = 1\n",
       "mem/machine.ini:3: disk 'a' needs physical_drive or scsi_port"},
      {h + "[disk a]\nphysical_drive = 0\n[disk b]\nphysical_drive = 0\n",
       "mem/machine.ini:5: physical drive 0 is given to two disks"},
      {h + "[disk a]\nphysical_drive = 0\n[disk A]\n", "mem/machine.ini:5: second disk named 'A'"},
      {h + "[disk a]\nphysical_drive = 0\nsilicon_image = 3112\n",
       "mem/machine.ini:3: a Silicon Image disk needs scsi_port and scsi_bus"},
      {h + "[disk a]\nphysical_drive = 0\npaths = scsi-miniport\n",
       "mem/machine.ini:3: the scsi-miniport path needs scsi_port and scsi_target"},
      {h + "[wmi root\\WMI]\n", "mem/machine.ini:3: expected [wmi NAMESPACE CLASS]"},
      {h + "[wmi root\\WMI C]\nSize = int:lots\n", "mem/machine.ini:4: int: needs a number"},
      {h + "[wmi root\\WMI C]\nX = 1\nx = 2\n", "mem/machine.ini:5: property 'x' given twice"},
      {h + "[machine]\n", "mem/machine.ini:3: second [machine] section"},
      {"[machine]\nos = ten\n", "mem/machine.ini:2: os must read MAJOR.MINOR or MAJOR.MINOR.BUILD"},
      {std::string("[machine]\nversion = 1\0\n", 23),
       "mem/machine.ini: binary data, not a manifest"},
      {h + "[disk a]\nvolume.CD = x, 1, 1\n",
       "mem/machine.ini:4: volume.X needs one drive letter A to Z"},
      {h + "[disk a]\nvolume.c = Data, 10, 20\n",
       "mem/machine.ini:4: volume.C needs LABEL, TOTAL_MB, FREE_MB (free at most the total)"},
      {h + "[disk a]\nvolume.C = Data, 10\n",
       "mem/machine.ini:4: volume.C needs LABEL, TOTAL_MB, FREE_MB (free at most the total)"},
      {h + "[disk a]\nvolume.C = Data, lots, 1\n",
       "mem/machine.ini:4: volume.C needs LABEL, TOTAL_MB, FREE_MB (free at most the total)"},
      {h + "[disk a]\nvendor = " + std::string(5000, 'x') + "\n",
       "mem/machine.ini:4: line longer than 4096 characters"},
  };
  for (const Case& c : cases) {
    LoadResult r = CMachineBuilder(c.Manifest).Load();
    EXPECT_FALSE(r.Machine) << c.Manifest;
    EXPECT_EQ(r.Error, c.Error) << c.Manifest;
    EXPECT_EQ(r.Error.find('\n'), std::string::npos);
  }
}

TEST(SimMachine, HugeManifestIsRefusedUnread) {
  CMemorySource source("big", {{"machine.ini", std::vector<uint8_t>(MAX_MANIFEST_SIZE + 1, '#')}});
  LoadResult r = LoadMachine(source);
  EXPECT_FALSE(r.Machine);
  EXPECT_EQ(r.Error, "big/machine.ini: cannot be read, or larger than 1 MiB");
}

TEST(SimMachine, SectorFilesMustBeWholeSectors) {
  LoadResult r = CMachineBuilder(std::string(kHeader) + "[disk a]\nphysical_drive = 0\n")
                     .File("a/identify.bin", std::vector<uint8_t>(513))
                     .Load();
  EXPECT_EQ(r.Error,
            "mem/machine.ini:3: mem/a/identify.bin is 513 bytes; a sector file must be 512");
}

TEST(SimMachine, ManifestDescribesEveryKey) {
  std::string manifest = std::string(kHeader) +
                         "os = 5.1.2600\n"
                         "service_pack = Service Pack 2\n"
                         "wmi = no\n"
                         "; comment\n"
                         "# another\n"
                         "[disk Main]\n"
                         "folder = disks/main\n"
                         "physical_drive = 3\n"
                         "scsi_port = 2\n"
                         "scsi_target = 1\n"
                         "scsi_bus = 0\n"
                         "scsi_port_visible = no\n"
                         "silicon_image = 3512\n"
                         "target = B0\n"
                         "paths = silicon-image predict-failure,wmi\n"
                         "media = removable\n"
                         "size = 0x100000\n"
                         "bus = usb\n"
                         "pnp_device_id = USBSTOR\\DISK&VEN_X\\1\n"
                         "letters = e, D:, e\n"
                         "predict_failure = 1\n"
                         "open_error = 5\n"
                         "smart_data = one.bin two.bin\n"
                         "fault.identify = zero\n"
                         "fault.wmi.smart-data = error 31\n"
                         "fault.smart-thresholds = echo-data\n"
                         "fault.geometry = short 8\n"
                         "[wmi root\\cimv2 Win32_DiskDrive]\n"
                         "Model = str:int:not a number\n"
                         "Size = int:500107862016\n"
                         "Active = bool:yes\n"
                         "Blob = hex:01 02 ff\n"
                         "Names = list:a | b\n"
                         "Plain = text with = sign\n";
  SimMachine m = CMachineBuilder(manifest)
                     .File("disks/main/identify.bin", Identify("MAIN"))
                     .File("disks/main/one.bin", Pattern(1))
                     .File("disks/main/two.bin", Pattern(2))
                     .Machine();
  EXPECT_EQ(m.Os.MajorVersion, 5u);
  EXPECT_EQ(m.Os.MinorVersion, 1u);
  EXPECT_EQ(m.Os.BuildNumber, 2600u);
  EXPECT_EQ(m.Os.CSDVersion, "Service Pack 2");
  EXPECT_EQ(m.Os.ServicePackMajor, 2);
  EXPECT_FALSE(m.WmiAvailable);
  ASSERT_EQ(m.Disks.size(), 1u);
  const SimDisk& d = m.Disks[0];
  EXPECT_EQ(d.Name, "Main");
  EXPECT_EQ(d.PhysicalDrive, 3);
  EXPECT_EQ(d.ScsiPort, 2);
  EXPECT_EQ(d.ScsiTarget, 1);
  EXPECT_EQ(d.ScsiBus, 0);
  EXPECT_FALSE(d.ScsiPortVisible);
  EXPECT_EQ(d.SiliconImageType, 3512);
  EXPECT_EQ(d.Target, 0xB0);
  EXPECT_TRUE(d.Answers(SimPath::SiliconImage));
  EXPECT_TRUE(d.Answers(SimPath::PredictFailure));
  EXPECT_TRUE(d.Answers(SimPath::Wmi));
  EXPECT_FALSE(d.Answers(SimPath::AtaPassThrough));
  EXPECT_EQ(d.MediaType, winio::MEDIA_TYPE_REMOVABLE);
  EXPECT_EQ(d.SizeBytes, 0x100000u);
  EXPECT_EQ(d.BusType, winio::BUS_USB);
  EXPECT_EQ(d.PnpDeviceId, "USBSTOR\\DISK&VEN_X\\1");
  EXPECT_EQ(d.DriveLetters, "ED");
  EXPECT_EQ(d.PredictFailure, 1u);
  EXPECT_EQ(d.OpenError, 5u);
  ASSERT_EQ(d.SmartData.size(), 2u);
  EXPECT_EQ(d.SmartData[1][0], Pattern(2)[0]);
  EXPECT_FALSE(d.SmartThresholds);
  EXPECT_EQ(d.FaultFor(SimPath::AtaPassThrough, SimOp::Identify).Kind, FaultKind::Zero);
  EXPECT_EQ(d.FaultFor(SimPath::Wmi, SimOp::SmartData).Kind, FaultKind::Error);
  EXPECT_EQ(d.FaultFor(SimPath::Wmi, SimOp::SmartData).Error, 31u);
  EXPECT_EQ(d.FaultFor(SimPath::SmartIoctl, SimOp::SmartData).Kind, FaultKind::None);
  EXPECT_EQ(d.FaultFor(SimPath::SmartIoctl, SimOp::SmartThresholds).Kind, FaultKind::EchoData);
  ASSERT_EQ(m.WmiRows.size(), 1u);
  const os::WmiObject& o = m.WmiRows[0].Object;
  EXPECT_EQ(m.WmiRows[0].Namespace, "root\\cimv2");
  EXPECT_EQ(m.WmiRows[0].Class, "Win32_DiskDrive");
  EXPECT_EQ(o.String("Model"), "int:not a number");
  EXPECT_EQ(o.Int("Size"), 500107862016);
  EXPECT_EQ(o.Int("Active"), 1);
  EXPECT_EQ(o.Bytes("Blob"), (std::vector<uint8_t>{1, 2, 0xFF}));
  EXPECT_EQ(std::get<std::vector<std::string>>(o.Properties.at("Names")),
            (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(o.String("Plain"), "text with = sign");
}

TEST(SimMachine, DiskDefaultsToItsFolderAndPlainPaths) {
  SimMachine m = CMachineBuilder(std::string(kHeader) + "[disk d0]\nphysical_drive = 0\n")
                     .File("d0/identify.bin", Identify("D0"))
                     .File("d0/smart_data.bin", Pattern(3))
                     .Machine();
  ASSERT_EQ(m.Disks.size(), 1u);
  const SimDisk& d = m.Disks[0];
  EXPECT_TRUE(d.Identify);
  EXPECT_EQ(d.SmartData.size(), 1u);
  EXPECT_FALSE(d.SmartThresholds);
  for (SimPath p : {SimPath::AtaPassThrough, SimPath::IdePassThrough, SimPath::SmartIoctl,
                    SimPath::PredictFailure}) {
    EXPECT_TRUE(d.Answers(p)) << PathName(p);
  }
  EXPECT_FALSE(d.Answers(SimPath::Wmi));
  EXPECT_FALSE(d.Answers(SimPath::ScsiMiniport));
  EXPECT_EQ(d.Target, 0xA0);
}

TEST(SimDevices, NamesOpenOnlyWhatTheMachineHas) {
  SimMachine m =
      CMachineBuilder(std::string(kHeader) +
                      "[disk a]\nphysical_drive = 1\nscsi_port = 3\nscsi_target = 0\n"
                      "letters = C\n"
                      "[disk b]\nphysical_drive = 2\nopen_error = 5\n"
                      "[disk c]\nscsi_port = 4\nscsi_target = 0\nscsi_port_visible = no\n")
          .Machine();
  CSimDeviceIo io(m);
  struct Case {
    const char* Name;
    bool Opens;
    uint32_t Error;
  };
  const Case cases[] = {
      {"\\\\.\\PhysicalDrive1", true, 0},
      {"\\\\.\\physicaldrive1", true, 0},
      {"\\\\.\\PhysicalDrive0", false, os::ERR_FILE_NOT_FOUND},
      {"\\\\.\\PhysicalDrive2", false, 5},
      {"\\\\.\\PhysicalDrive01x", false, os::ERR_FILE_NOT_FOUND},
      {"\\\\.\\Scsi3:", true, 0},
      {"\\\\.\\SCSI3:", true, 0},
      {"\\\\.\\Scsi4:", false, os::ERR_FILE_NOT_FOUND},
      {"\\\\.\\C:", true, 0},
      {"\\\\.\\D:", false, os::ERR_FILE_NOT_FOUND},
      {"PhysicalDrive1", false, os::ERR_FILE_NOT_FOUND},
      {"\\\\.\\tempBusSil3112", false, os::ERR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    uint32_t error = 12345;
    auto h = io.Open(c.Name, os::Access::ReadWrite, &error);
    EXPECT_EQ(h != nullptr, c.Opens) << c.Name;
    EXPECT_EQ(error, c.Error) << c.Name;
  }
  EXPECT_EQ(io.CountOpens(), std::size(cases));
}

TEST(SimDevices, GeometryDescriptorAndAddressOfADisk) {
  std::vector<uint8_t> id = Identify("GEOMETRY DISK", "FW9", "SER42");
  // LBA48 supported, 1000000 sectors.
  id[83 * 2 + 1] = 0x04;
  winio::Store32(id.data() + 200, 1000000);
  SimMachine m = CMachineBuilder(std::string(kHeader) +
                                 "[disk a]\nphysical_drive = 0\nscsi_port = 5\nscsi_target = 2\n"
                                 "scsi_bus = 1\nvendor = ACME\n"
                                 "[disk b]\nphysical_drive = 1\nmedia = none\n")
                     .File("a/identify.bin", id)
                     .Machine();
  CSimDeviceIo io(m);
  Answer g = Ask(io, "\\\\.\\PhysicalDrive0", winio::CTL_DISK_GET_DRIVE_GEOMETRY, {}, 24);
  ASSERT_TRUE(g.Ok);
  ASSERT_EQ(g.Out.size(), 24u);
  EXPECT_EQ(winio::Load64(g.Out.data()), 1000000u / (255 * 63));
  EXPECT_EQ(winio::Load32(g.Out.data() + 8), winio::MEDIA_TYPE_FIXED);
  EXPECT_EQ(winio::Load32(g.Out.data() + 20), 512u);
  Answer gx = Ask(io, "\\\\.\\PhysicalDrive0", winio::CTL_DISK_GET_DRIVE_GEOMETRY_EX, {}, 256);
  ASSERT_TRUE(gx.Ok);
  EXPECT_EQ(winio::Load64(gx.Out.data() + 24), 1000000ull * 512);
  EXPECT_EQ(Ask(io, "\\\\.\\PhysicalDrive1", winio::CTL_DISK_GET_DRIVE_GEOMETRY, {}, 24).Error,
            os::ERR_NOT_READY);
  EXPECT_EQ(Ask(io, "\\\\.\\PhysicalDrive0", winio::CTL_DISK_GET_DRIVE_GEOMETRY, {}, 23).Error,
            os::ERR_INSUFFICIENT_BUFFER);

  std::vector<uint8_t> query(12, 0);
  Answer p = Ask(io, "\\\\.\\PhysicalDrive0", winio::CTL_STORAGE_QUERY_PROPERTY, query, 4096);
  ASSERT_TRUE(p.Ok);
  auto text = [&](size_t field) {
    uint32_t at = winio::Load32(p.Out.data() + field);
    return at ? std::string(reinterpret_cast<const char*>(p.Out.data() + at)) : std::string();
  };
  EXPECT_EQ(winio::Load32(p.Out.data() + 4), p.Out.size());
  EXPECT_EQ(text(12), "ACME");
  EXPECT_EQ(text(16), "GEOMETRY DISK");
  EXPECT_EQ(text(20), "FW9");
  EXPECT_EQ(text(24), "SER42");
  EXPECT_EQ(winio::Load32(p.Out.data() + 28), winio::BUS_SATA);
  // A header-only buffer gets the header, with the full size to ask again.
  Answer small = Ask(io, "\\\\.\\PhysicalDrive0", winio::CTL_STORAGE_QUERY_PROPERTY, query, 8);
  ASSERT_TRUE(small.Ok);
  EXPECT_EQ(winio::Load32(small.Out.data() + 4), p.Out.size());

  Answer addr = Ask(io, "\\\\.\\PhysicalDrive0", winio::CTL_SCSI_GET_ADDRESS, {}, 8);
  ASSERT_TRUE(addr.Ok);
  EXPECT_EQ(addr.Out, (std::vector<uint8_t>{8, 0, 0, 0, 5, 1, 2, 0}));
  EXPECT_EQ(Ask(io, "\\\\.\\PhysicalDrive1", winio::CTL_SCSI_GET_ADDRESS, {}, 8).Error,
            os::ERR_INVALID_FUNCTION);
}

TEST(SimDevices, VolumeSpanningTwoDisksNamesBoth) {
  SimMachine m = CMachineBuilder(std::string(kHeader) +
                                 "[disk a]\nphysical_drive = 0\nletters = C D\n"
                                 "[disk b]\nphysical_drive = 4\nletters = D\n")
                     .Machine();
  CSimDeviceIo io(m);
  Answer d = Ask(io, "\\\\.\\D:", winio::CTL_VOLUME_GET_VOLUME_DISK_EXTENTS, {}, 8 + 24 * 4);
  ASSERT_TRUE(d.Ok);
  ASSERT_EQ(d.Out.size(), 8u + 2 * 24);
  EXPECT_EQ(winio::Load32(d.Out.data()), 2u);
  EXPECT_EQ(winio::Load32(d.Out.data() + 8), 0u);
  EXPECT_EQ(winio::Load32(d.Out.data() + 32), 4u);
  EXPECT_NE(winio::Load64(d.Out.data() + 8 + 16), 0u);
  // Room for one extent: the count says two, the request asks for more room.
  Answer one = Ask(io, "\\\\.\\D:", winio::CTL_VOLUME_GET_VOLUME_DISK_EXTENTS, {}, 32);
  EXPECT_FALSE(one.Ok);
  EXPECT_EQ(one.Error, os::ERR_MORE_DATA);
}

TEST(SimDevices, VolumesAnswerWithLabelAndSpaceOnlyOnTheDisksLetters) {
  SimMachine m = CMachineBuilder(std::string(kHeader) +
                                 "[disk a]\nphysical_drive = 0\nletters = C D\n"
                                 "volume.c = System, 1024, 512\nvolume.D = , 2048, 0\n"
                                 "[disk b]\nphysical_drive = 1\nletters = F\n"
                                 "volume.G = Elsewhere, 10, 1\n")
                     .Machine();
  CSimVolumes volumes(m);
  struct Case {
    char Letter;
    bool Found;
    std::string Label;
    uint64_t Free, Total;
  };
  const Case cases[] = {
      {'C', true, "System", 512ull << 20, 1ull << 30},
      {'D', true, "", 0, 2ull << 30},
      {'F', false, "", 0, 0},  // a letter without a described volume
      {'G', false, "", 0, 0},  // described, but no disk has the letter
      {'E', false, "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.Letter));
    std::optional<os::VolumeInfo> v = volumes.InfoOf(c.Letter);
    ASSERT_EQ(v.has_value(), c.Found);
    if (!v) continue;
    EXPECT_EQ(v->Label, c.Label);
    EXPECT_EQ(v->FreeBytes, c.Free);
    EXPECT_EQ(v->TotalBytes, c.Total);
  }
}

TEST(SimDevices, SmartReadsWalkTheQueueAndEchoFaultRepeatsData) {
  SimMachine m = CMachineBuilder(std::string(kHeader) +
                                 "[disk a]\nphysical_drive = 0\n"
                                 "smart_data = s1.bin s2.bin\n"
                                 "fault.smart-thresholds = echo-data\n")
                     .File("a/identify.bin", Identify("Q"))
                     .File("a/s1.bin", Pattern(10))
                     .File("a/s2.bin", Pattern(20))
                     .File("a/smart_thresholds.bin", Pattern(30))
                     .Machine();
  CSimDeviceIo io(m);
  auto predict = [&]() {
    Answer a = Ask(io, "\\\\.\\PhysicalDrive0", winio::CTL_STORAGE_PREDICT_FAILURE, {}, 516);
    EXPECT_TRUE(a.Ok);
    return std::vector<uint8_t>(a.Out.begin() + 4, a.Out.end());
  };
  EXPECT_EQ(predict(), Pattern(10));
  EXPECT_EQ(predict(), Pattern(20));
  EXPECT_EQ(predict(), Pattern(20));  // the last one repeats

  std::vector<uint8_t> in(33, 0);
  winio::Store32(in.data(), 512);
  uint8_t regs[] = {0xD1, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0};
  std::memcpy(in.data() + 4, regs, sizeof regs);
  Answer t = Ask(io, "\\\\.\\PhysicalDrive0", winio::CTL_SMART_RCV_DRIVE_DATA, in, 528);
  ASSERT_TRUE(t.Ok);
  ASSERT_EQ(t.Out.size(), 528u);
  EXPECT_EQ(std::vector<uint8_t>(t.Out.begin() + 16, t.Out.end()), Pattern(20));
}

TEST(SimDevices, ScriptedFaultsShapeTheAnswer) {
  struct Case {
    const char* Fault;
    bool Ok;
    uint32_t Error;
    size_t Returned;
    bool Zero;
  };
  const Case cases[] = {
      {"none", true, 0, 528, false},         {"no-answer", false, os::ERR_SEM_TIMEOUT, 0, false},
      {"error 1117", false, 1117, 0, false}, {"zero", true, 0, 528, true},
      {"short", true, 0, 16 + 256, false},   {"short 10", true, 0, 26, false},
  };
  for (const Case& c : cases) {
    SimMachine m =
        CMachineBuilder(std::string(kHeader) +
                        "[disk a]\nphysical_drive = 0\nfault.smart-ioctl.smart-data = " + c.Fault +
                        "\n")
            .File("a/identify.bin", Identify("F"))
            .File("a/smart_data.bin", Pattern(7))
            .Machine();
    CSimDeviceIo io(m);
    std::vector<uint8_t> in(33, 0);
    uint8_t regs[] = {0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0};
    std::memcpy(in.data() + 4, regs, sizeof regs);
    Answer a = Ask(io, "\\\\.\\PhysicalDrive0", winio::CTL_SMART_RCV_DRIVE_DATA, in, 528);
    EXPECT_EQ(a.Ok, c.Ok) << c.Fault;
    EXPECT_EQ(a.Error, c.Error) << c.Fault;
    EXPECT_EQ(a.Out.size(), c.Returned) << c.Fault;
    if (c.Ok && a.Out.size() > 16) {
      EXPECT_EQ(a.Out[16], c.Zero ? 0 : Pattern(7)[0]) << c.Fault;
    }
    // The same fault does not touch the pass-through path.
    ASSERT_GT(m.Disks.size(), 0u);
    EXPECT_EQ(m.Disks[0].FaultFor(SimPath::AtaPassThrough, SimOp::SmartData).Kind, FaultKind::None);
  }
}

TEST(SimDevices, WrongTargetAndUnknownCommandsAreAborted) {
  SimMachine m = CMachineBuilder(std::string(kHeader) + "[disk a]\nphysical_drive = 0\n")
                     .File("a/identify.bin", Identify("T"))
                     .Machine();
  CSimDeviceIo io(m);
  auto rcv = [&](uint8_t device, uint8_t command) {
    std::vector<uint8_t> in(33, 0);
    in[9] = device;
    in[10] = command;
    return Ask(io, "\\\\.\\PhysicalDrive0", winio::CTL_SMART_RCV_DRIVE_DATA, in, 528);
  };
  EXPECT_TRUE(rcv(0xA0, 0xEC).Ok);
  EXPECT_FALSE(rcv(0xB0, 0xEC).Ok);
  // S.M.A.R.T. without the 4F/C2 signature is not a S.M.A.R.T. command.
  EXPECT_EQ(rcv(0xA0, 0xB0).Error, os::ERR_INVALID_PARAMETER);
}

TEST(SimWmi, FailurePredictionRowsComeFromDisksAndManifest) {
  SimMachine m =
      CMachineBuilder(std::string(kHeader) +
                      "[disk a]\nphysical_drive = 0\npnp_device_id = IDE\\DISKA\\1\npaths = wmi\n"
                      "[disk b]\nphysical_drive = 1\npnp_device_id = IDE\\DISKB\\1\n"
                      "[wmi root\\WMI MSStorageDriver_FailurePredictData]\n"
                      "InstanceName = SCSI\\DISKX\\2_0\nVendorSpecific = hex:0102\n"
                      "[wmi root\\cimv2 Win32_DiskDrive]\nModel = X\n")
          .File("a/smart_data.bin", Pattern(5))
          .File("a/smart_thresholds.bin", Pattern(6))
          .File("b/smart_data.bin", Pattern(7))
          .Machine();
  CSimWmi wmi(m);
  auto rows = wmi.Query("\\\\.\\root\\WMI", "SELECT * FROM MSStorageDriver_FailurePredictData");
  ASSERT_TRUE(rows);
  ASSERT_EQ(rows->size(), 2u);  // disk b has no wmi path
  EXPECT_EQ((*rows)[0].String("InstanceName"), "IDE\\DISKA\\1_0");
  EXPECT_EQ((*rows)[0].Bytes("VendorSpecific"), Pattern(5));
  EXPECT_EQ((*rows)[1].Bytes("VendorSpecific"), (std::vector<uint8_t>{1, 2}));
  auto thresholds =
      wmi.Query("root\\wmi", "select InstanceName from MSStorageDriver_FailurePredictThresholds");
  ASSERT_TRUE(thresholds);
  ASSERT_EQ(thresholds->size(), 1u);
  EXPECT_EQ((*thresholds)[0].Bytes("VendorSpecific"), Pattern(6));
  auto disks = wmi.Query("root\\cimv2", "SELECT Model FROM win32_diskdrive");
  ASSERT_TRUE(disks);
  EXPECT_EQ(disks->size(), 1u);
  EXPECT_TRUE(wmi.Query("root\\cimv2", "SELECT * FROM Nothing")->empty());
  EXPECT_FALSE(wmi.Query("root\\cimv2", "DROP TABLE x"));
  EXPECT_EQ(wmi.Queries().size(), 5u);
  EXPECT_EQ(wmi.Queries()[1].Namespace, "root\\wmi");

  m.WmiAvailable = false;
  EXPECT_FALSE(wmi.Query("root\\cimv2", "SELECT * FROM Win32_DiskDrive"));
}

TEST(VirtualClock, MovesOnlyWhenTold) {
  CVirtualClock clock(1767225600, 5000);
  EXPECT_EQ(clock.TickCount(), 5000u);
  clock.Advance(999);
  EXPECT_EQ(clock.Now(), 1767225600);
  clock.Sleep(1);
  EXPECT_EQ(clock.Now(), 1767225601);
  EXPECT_EQ(clock.TickCount(), 6000u);
  clock.Advance(60ull * 60 * 1000);
  EXPECT_EQ(clock.Now(), 1767225601 + 3600);
}

TEST(VirtualClock, CalendarRoundTrips) {
  CVirtualClock clock;
  struct Case {
    int64_t T;
    int Year, Mon, Day, Hour, Min, Sec, Wday;
  };
  const Case cases[] = {
      {0, 70, 0, 1, 0, 0, 0, 4},
      {1767225600, 126, 0, 1, 0, 0, 0, 4},
      {951782400, 100, 1, 29, 0, 0, 0, 2},  // 2000-02-29
      {-1, 69, 11, 31, 23, 59, 59, 3},
      {313027200 + 3661, 79, 11, 3, 1, 1, 1, 1},  // 1979-12-03 01:01:01
  };
  for (const Case& c : cases) {
    std::tm tm = clock.LocalTime(c.T);
    EXPECT_EQ(tm.tm_year, c.Year) << c.T;
    EXPECT_EQ(tm.tm_mon, c.Mon) << c.T;
    EXPECT_EQ(tm.tm_mday, c.Day) << c.T;
    EXPECT_EQ(tm.tm_hour, c.Hour) << c.T;
    EXPECT_EQ(tm.tm_min, c.Min) << c.T;
    EXPECT_EQ(tm.tm_sec, c.Sec) << c.T;
    EXPECT_EQ(tm.tm_wday, c.Wday) << c.T;
    EXPECT_EQ(clock.MakeLocalTime(tm), c.T);
  }
  std::tm overflow{};
  overflow.tm_year = 125;
  overflow.tm_mon = 12;  // month 13 of 2025 is January 2026
  overflow.tm_mday = 1;
  EXPECT_EQ(clock.MakeLocalTime(overflow), 1767225600);
  CVirtualClock east(0, 0, 3600);
  EXPECT_EQ(east.LocalTime(0).tm_hour, 1);
  EXPECT_EQ(east.MakeLocalTime(east.LocalTime(12345)), 12345);
}

TEST(SimSystem, MutexNamesAreHeldUntilReleased) {
  CSimSystem system(os::OsVersion{});
  bool existed = true;
  auto first = system.CreateNamedMutex("Vardex", &existed);
  EXPECT_FALSE(existed);
  auto second = system.CreateNamedMutex("Vardex", &existed);
  EXPECT_TRUE(existed);
  second.reset();  // another handle going away keeps the name
  system.CreateNamedMutex("Vardex", &existed);
  EXPECT_TRUE(existed);
  first.reset();
  system.CreateNamedMutex("Vardex", &existed);
  EXPECT_FALSE(existed);
  EXPECT_TRUE(system.StartProcess("a.exe", {"/x"}));
  ASSERT_EQ(system.Started().size(), 1u);
  EXPECT_EQ(system.Started()[0].Args[0], "/x");
}

TEST(DemoMachine, EmbeddedCopyMatchesTheFixtureFolder) {
  CFolderSource folder(testutil::SourceDir() + "/fixtures/machines/demo");
  auto files = DemoMachineFiles();
  ASSERT_FALSE(files.empty());
  for (const auto& [path, bytes] : files) {
    auto onDisk = folder.ReadFile(path, 1 << 20);
    ASSERT_TRUE(onDisk) << path;
    EXPECT_EQ(*onDisk, bytes) << path << ": the build embeds the folder; build again";
  }
  for (const std::string& sub : folder.ListFolders()) {
    // ATA disks bring an IDENTIFY sector, NVMe disks their identify page.
    EXPECT_TRUE(files.count(sub + "/identify.bin") || files.count(sub + "/nvme_identify.bin"))
        << sub << " is not embedded";
  }
}

// Every drive letter of the demo machine is a volume with a label and
// space (the tray's tooltips and the panel show them), on a disk big
// enough for the volumes on it.
TEST(DemoMachine, EveryLetterIsAVolumeThatFitsItsDisk) {
  LoadResult r = LoadDemoMachine();
  ASSERT_TRUE(r.Machine) << r.Error;
  CSimVolumes volumes(*r.Machine);
  size_t letters = 0;
  for (const SimDisk& d : r.Machine->Disks) {
    uint64_t used = 0;
    for (char letter : d.DriveLetters) {
      SCOPED_TRACE(std::string(1, letter));
      ++letters;
      std::optional<os::VolumeInfo> v = volumes.InfoOf(letter);
      ASSERT_TRUE(v.has_value());
      EXPECT_FALSE(v->Label.empty());
      EXPECT_GT(v->FreeBytes, 0u);
      EXPECT_LT(v->FreeBytes, v->TotalBytes);
      used += v->TotalBytes;
    }
    if (!d.DriveLetters.empty()) {
      EXPECT_LE(used, d.SectorCount() * 512) << d.Name;
    }
  }
  EXPECT_GE(letters, 7u);
}

TEST(DemoMachine, HasDisksOfSeveralKindsAndAFailingAttribute) {
  LoadResult r = LoadDemoMachine();
  ASSERT_TRUE(r.Machine) << r.Error;
  const SimMachine& m = *r.Machine;
  EXPECT_GE(m.Disks.size(), 4u);
  std::set<std::string> paths;
  bool failing = false;
  for (const SimDisk& d : m.Disks) {
    for (size_t p = 0; p < PATH_COUNT; ++p) {
      if (d.Paths[p]) paths.insert(PathName(static_cast<SimPath>(p)));
    }
    if (d.SmartData.empty() || !d.SmartThresholds) continue;
    for (size_t k = 0; k < 30; ++k) {
      const uint8_t* a = d.SmartData.back().data() + 2 + 12 * k;
      const uint8_t* t = d.SmartThresholds->data() + 2 + 12 * k;
      if (a[0] != 0 && t[0] == a[0] && t[1] != 0 && a[3] <= t[1]) failing = true;
    }
  }
  EXPECT_TRUE(failing);
  EXPECT_TRUE(paths.count("ata-pass-through"));
  EXPECT_TRUE(paths.count("smart-ioctl"));
  EXPECT_TRUE(paths.count("scsi-miniport"));
}
