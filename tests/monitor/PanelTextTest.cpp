// What the disk panel shows: formats, the remaining-time estimate, the
// drive-letter text, the disk buttons, and whole panels of the real disks
// under fixtures/real-ata.
#include "monitor/PanelText.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "monitor/DiskReport.h"
#include "os/sim/DemoMachine.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/StdFileSystem.h"

namespace {

using monitor::BuildPanel;
using monitor::PanelOptions;
using monitor::PanelTexts;

// The English texts the panel asks for.
std::string English(const std::string& section, const std::string& key) {
  static const std::map<std::pair<std::string, std::string>, std::string> kTexts = {
      {{"Dialog", "UNKNOWN"}, "Unknown"},
      {{"Dialog", "POWER_ON_COUNT_UNIT"}, "count"},
      {{"Dialog", "POWER_ON_HOURS_UNIT"}, "hours"},
      {{"Dialog", "POWER_ON_DAYS_UNIT"}, "days"},
      {{"Dialog", "POWER_ON_YEARS_UNIT"}, "years"},
      {{"Dialog", "BLOCK_UNIT"}, "blocks"},
      {{"Dialog", "TOTAL_HOST_WRITES"}, "Total Host Writes"},
      {{"Dialog", "TOTAL_NAND_WRITES"}, "Total NAND Writes"},
      {{"Dialog", "AVERAGE_ERASE_COUNT"}, "Average Erase Count"},
      {{"Dialog", "WRITE_AMPLIFICATION"}, "Write Amplification"},
      {{"Message", "DETECT_UNIT_POWER_ON_HOURS"}, "Detecting the power-on unit"},
      {{"Message", "DISK_NOT_FOUND"}, "Disk not found"},
      {{"DiskStatus", "GOOD"}, "Good"},
      {{"DiskStatus", "CAUTION"}, "Caution"},
      {{"DiskStatus", "BAD"}, "Bad"},
      {{"DiskStatus", "UNKNOWN"}, "Unknown"},
      {{"DiskStatus", "FEW_DAYS"}, "A few days"},
      {{"Smart", "05"}, "Reallocated Sectors Count"},
      {{"SmartIntel", "E8"}, "Available Reserved Space"},
  };
  auto it = kTexts.find({section, key});
  return it == kTexts.end() ? std::string() : it->second;
}

TEST(PanelFormats, TemperaturesCapacitiesAndSizes) {
  EXPECT_EQ(monitor::Fahrenheit(45), 113);
  EXPECT_EQ(monitor::Fahrenheit(-3), 27);  // -27 / 5 truncates to -5
  EXPECT_EQ(monitor::TemperatureText(45, true),
            "113\xC2\xB0"
            "F");
  EXPECT_EQ(monitor::TemperatureText(-127, false),
            "--\xC2\xB0"
            "C");
  EXPECT_EQ(monitor::TemperatureText(-127, true),
            "--\xC2\xB0"
            "F");
  const std::pair<uint32_t, const char*> capacities[] = {{0, "Unknown"},
                                                         {1023, "1023 MB"},
                                                         {1024, "1.0 GB"},
                                                         {1048575, "1024.0 GB"},
                                                         {1048576, "1.000 TB"}};
  for (const auto& [mb, text] : capacities) EXPECT_EQ(monitor::CapacityText(mb, "Unknown"), text);
  const std::pair<int32_t, const char*> sizes[] = {
      {-1, "----"}, {0, "----"}, {1024, "1024 GB"}, {1536, "1.500 TB"}, {1048577, "1.000 PB"}};
  for (const auto& [gb, text] : sizes) EXPECT_EQ(monitor::SizeText(gb), text);
}

ATA_SMART_INFO Rated(int32_t life, int32_t hours, int32_t family = 5) {
  ATA_SMART_INFO a;
  a.SupportLevel = 4;
  a.InterfaceType = INTERFACE_TYPE_SATA;
  a.DiskVendorId = family;
  a.Life = life;
  a.DetectedPowerOnHours = hours;
  a.AverageEraseCount = 100;
  return a;
}

ATA_SMART_INFO Nvme(int32_t life, int32_t hours) {
  ATA_SMART_INFO a = Rated(life, hours, 19);
  a.InterfaceType = INTERFACE_TYPE_NVME;
  a.SupportLevel = 0;
  return a;
}

TEST(PanelRemainingTime, EstimatesAndTheirLimits) {
  struct Case {
    const char* What;
    ATA_SMART_INFO Disk;
    const char* Text;
    int32_t Hours;
    bool Estimated;
    const char* Meter;
  };
  ATA_SMART_INFO unrated = Rated(80, 1000, 0);
  unrated.SupportLevel = 0;
  ATA_SMART_INFO worn = Rated(5, 1000);
  worn.AverageEraseCount = 3500;  // past the 3000 cycles of its flash
  const Case cases[] = {
      {"life 80 at 1000 h", Rated(80, 1000), "166 days", 4000, true, "lifeMeter80"},
      {"division first", Rated(50, 101), "4 days", 100, true, "lifeMeter20"},
      {"past ten years", Rated(99, 1000), ">10 years", 87600, true, "lifeMeter100"},
      {"life 100", Rated(100, 1000), ">10 years", 87600, true, "lifeMeter100"},
      {"no age yet", Rated(80, 0), ">10 years", 87600, true, "lifeMeter100"},
      {"years", Rated(60, 10000), "1.7 years", 15000, true, "lifeMeter100"},
      {"worn flash", worn, "A few days", 200, true, "lifeMeter20"},
      // Not "0 years": a disk that is not rated is not worn out.
      {"not rated", unrated, "", 0, false, "lifeMeter0"},
      {"unknown life", Rated(-1, 1000), "", 0, false, "lifeMeter0"},
      {"NVMe life 80", Nvme(80, 1000), "166 days", 4000, true, "lifeMeter80"},
      {"NVMe worn out", Nvme(0, 1000), "0 years", 0, true, "lifeMeter0"},
      // Each of these read as "> 10 years" or "0 days" in unsigned arithmetic.
      {"NVMe unknown life", Nvme(-1, 1000), "", 0, false, "lifeMeter0"},
      {"NVMe unknown hours", Nvme(80, -1), "", 0, false, "lifeMeter0"},
      {"NVMe no hours yet", Nvme(80, 0), "", 0, false, "lifeMeter0"},
      {"life above 100", Rated(101, 1000), "", 0, false, "lifeMeter0"},
      {"unknown hours", Rated(80, -1), "", 0, false, "lifeMeter0"},
  };
  for (const Case& c : cases) {
    monitor::RemainingTime r = monitor::EstimateRemainingTime(c.Disk, 0, 0, 0, English);
    EXPECT_EQ(r.Text, c.Text) << c.What;
    // What the panel shows: the estimate, or dashes before the years text.
    EXPECT_EQ(monitor::RemainingTimeText(r), *c.Text != 0 ? c.Text : "----- years") << c.What;
    EXPECT_EQ(r.Hours, c.Hours) << c.What;
    EXPECT_EQ(r.Estimated, c.Estimated) << c.What;
    EXPECT_EQ(r.MeterImage, c.Meter) << c.What;
  }
  // A manufacture date: the age is the time since then.
  ATA_SMART_INFO dated = Rated(80, 5);
  dated.ManufactureDate = 1000;
  EXPECT_EQ(monitor::EstimateRemainingTime(dated, 1000 + 1000 * 3600, 0, 0, English).Hours, 4000);
  // The option bit that asks for no estimate on these disks.
  EXPECT_EQ(monitor::EstimateRemainingTime(Rated(80, 1000), 0, 0, 0x4000, English).Hours, 87600);
  const std::pair<int32_t, int32_t> steps[] = {{0, 0},    {875, 0},  {876, 1},   {1751, 1},
                                               {7884, 9}, {8759, 9}, {8760, 10}, {87600, 10}};
  for (const auto& [hours, step] : steps) EXPECT_EQ(monitor::UsageMeterStep(hours), step) << hours;
}

TEST(PanelUsage, PowerOnTimeAndCounters) {
  CDiskArray disks;
  ATA_SMART_INFO a;
  a.Model = "DISK";
  a.DetectedPowerOnHours = 50;
  a.DetectedTimeUnitType = TIME_UNIT_HOURS;
  a.HostWrites = 1536;
  a.HostReads = -1;
  a.BufferSize = 0x1FFFE00;
  a.NandWrites = -1;
  a.GBytesErased = -1;
  a.NominalMediaRotationRate = 7200;
  disks.Add(a);
  a.DetectedPowerOnHours = 6000;  // minutes on an old Maxtor: unsure
  a.DetectedTimeUnitType = TIME_UNIT_MINUTES;
  a.IsMaxtor21 = 1;
  a.HostWrites = -1;
  a.NvCacheSize = 3u << 20;
  a.HostReads = -1;
  a.BufferSize = 8192 * 1024;
  a.NominalMediaRotationRate = 1;
  disks.Add(a);
  PanelOptions o;
  PanelTexts p = BuildPanel(disks, 0, o, English);
  EXPECT_EQ(p.PowerOnTime, "2 days 2 hours");
  EXPECT_EQ(p.PowerOnHoursText, "50 hours");
  EXPECT_EQ(p.HostWrites, "1536 GB");
  EXPECT_EQ(p.HostReads, ">= 32 MB");
  EXPECT_EQ(p.NandWrites, "7200 RPM");
  o.MeasuringPowerOnUnit = true;
  EXPECT_EQ(BuildPanel(disks, 0, o, English).PowerOnTime,
            "2 days 2 hours\r\nDetecting the power-on unit");
  o.MeasuringPowerOnUnit = false;
  p = BuildPanel(disks, 1, o, English);
  EXPECT_EQ(p.PowerOnTime, "250 days 0 hours (?)");
  EXPECT_EQ(p.PowerOnHoursText, "6000?hours");
  EXPECT_EQ(p.HostWrites, "3 MB");
  EXPECT_EQ(p.HostReads, "8192 KB");
  EXPECT_EQ(p.NandWrites, "---- (SSD)");
  // No disk at all.
  p = BuildPanel(disks, 2, o, English);
  EXPECT_FALSE(p.HasDisk);
  EXPECT_EQ(p.Title, "Disk not found");
  EXPECT_EQ(p.Status.Text, "N/A");
  EXPECT_EQ(p.PowerOnTime, "----");
}

TEST(PanelStatus, WordsColoursAndReasons) {
  ATA_SMART_INFO a = Rated(20, 100);
  a.DiskStatus = DISK_STATUS_CAUTION;
  a.SmartKeyName = "SmartIntel";
  a.AttributeCount = 2;
  a.Attribute[0] = {0x05, 0, 100, 100, {3, 0, 0, 0, 0, 0}, 0};
  a.Attribute[1] = {0xE8, 0, 20, 20, {}, 0};
  monitor::StatusView v = monitor::PanelStatus(a, false, English);
  EXPECT_EQ(v.Text, "Caution");
  EXPECT_EQ(v.Image, "diskStatusCaution");
  EXPECT_EQ(v.Style.Color, (monitor::Rgb{255, 204, 102}));
  EXPECT_EQ(v.Style.Size, 24);
  EXPECT_EQ(v.LifeText, "20%");
  EXPECT_EQ(v.LifeBarStep, 2);
  // A hard disk (IsSsd 0): the reallocated count, then the family's life.
  EXPECT_EQ(monitor::StatusReasonText(a, English),
            "Caution [05] Reallocated Sectors Count : 3\nCaution [E8] Available Reserved Space : "
            "20\n");
  a.DiskStatus = DISK_STATUS_GOOD;
  EXPECT_EQ(monitor::StatusReasonText(a, English), "");
  a.SupportLevel = 0;
  v = monitor::PanelStatus(a, true, English);
  EXPECT_EQ(v.Text, "N/A");
  EXPECT_EQ(v.Style.Color, (monitor::Rgb{0, 0, 0}));
  a.InterfaceType = INTERFACE_TYPE_NVME;
  v = monitor::PanelStatus(a, true, English);
  EXPECT_EQ(v.Text, "Good");
  EXPECT_EQ(v.Image, "diskStatusGoodGreen");
}

// A life that is not known is shown as unknown, never as "0%", which reads
// as a worn-out disk.
TEST(PanelStatus, LifeWithoutAFigureIsUnknown) {
  struct Case {
    const char* What;
    int32_t Life;
    int32_t SupportLevel;
    int32_t Interface;
    const char* Text;
    int32_t Step;
  };
  const Case cases[] = {
      {"rated, 0 %", 0, 4, INTERFACE_TYPE_SATA, "0%", 0},
      {"rated, 9 %", 9, 4, INTERFACE_TYPE_SATA, "9%", 0},
      {"rated, 10 %", 10, 4, INTERFACE_TYPE_SATA, "10%", 1},
      {"rated, 100 %", 100, 4, INTERFACE_TYPE_SATA, "100%", 10},
      {"rated, unknown", -1, 4, INTERFACE_TYPE_SATA, "Unknown", 0},
      {"rated, above 100", 101, 4, INTERFACE_TYPE_SATA, "Unknown", 0},
      {"rated, far above 100", 255, 5, INTERFACE_TYPE_SATA, "Unknown", 0},
      {"not rated, unknown", -1, 0, INTERFACE_TYPE_SATA, "Unknown", 0},
      {"not rated, a figure", 80, 0, INTERFACE_TYPE_USB, "80%", 8},
      {"NVMe, level 0", 80, 0, INTERFACE_TYPE_NVME, "80%", 8},
      {"NVMe, unknown", -1, 0, INTERFACE_TYPE_NVME, "Unknown", 0},
  };
  for (const Case& c : cases) {
    ATA_SMART_INFO a = Rated(c.Life, 1000);
    a.SupportLevel = c.SupportLevel;
    a.InterfaceType = c.Interface;
    const monitor::StatusView v = monitor::PanelStatus(a, false, English);
    EXPECT_EQ(v.LifeText, c.Text) << c.What;
    EXPECT_EQ(v.LifeBarStep, c.Step) << c.What;
  }
}

TEST(PanelTemperature, ClassColourAndThermometer) {
  ATA_SMART_INFO a;
  a.IsSmartCorrect = 1;
  const struct {
    int8_t T;
    const char* Image;
    int32_t Step;
  } cases[] = {{40, "temperatureGood", 6}, {60, "temperatureCaution", 8},
               {80, "temperatureBad", 10}, {-28, "temperatureBad", 1},
               {-29, "temperatureBad", 0}, {-127, "temperatureUnknown", 0}};
  for (const auto& c : cases) {
    a.Temperature = c.T;
    monitor::TemperatureView v = monitor::PanelTemperature(a, false);
    EXPECT_EQ(v.Image, c.Image) << int{c.T};
    EXPECT_EQ(v.ThermometerStep, c.Step) << int{c.T};
    EXPECT_EQ(v.Style.Size, 30);
  }
  a.Temperature = 60;
  EXPECT_EQ(monitor::PanelTemperature(a, true).Style.Color, (monitor::Rgb{255, 174, 42}));
  EXPECT_EQ(monitor::PanelTemperature(a, true).Style.Size, 24);
}

TEST(PanelDriveLetters, ThreeLengthsNoDivisionByZeroAndAHardLimit) {
  ATA_SMART_INFO a;
  a.DriveLetterMap = (1u << 2) | (1u << 3);  // C and D
  auto volumes = [](char letter) -> std::optional<monitor::VolumeSpace> {
    if (letter == 'C') return monitor::VolumeSpace{"System", 50ull << 30, 200ull << 30};
    return monitor::VolumeSpace{"Card", 0, 0};  // an empty card reader
  };
  const std::string longText = monitor::DriveLetterText(a, volumes, 65535);
  EXPECT_EQ(longText,
            "C: System [50.0/200.0 GB (25.0 %)]\r\nD: Card [0.0/0.0 GB (-- %)]\r\n \r\n ");
  EXPECT_EQ(monitor::DriveLetterText(a, volumes, longText.size()),
            "C: System [200.0 GB]\r\nD: Card [0.0 GB]\r\n \r\n ");
  EXPECT_EQ(monitor::DriveLetterText(a, volumes, 30), "C: System\r\nD: Card\r\n \r\n ");
  // Even the short text is longer than a tooltip of 12 holds: cut.
  EXPECT_EQ(monitor::DriveLetterText(a, volumes, 12), "C: System\r\n");
  // Volumes that cannot be read: the letters alone.
  EXPECT_EQ(monitor::DriveLetterText(a, nullptr, 20), "C: \r\nD:\r\n \r\n ");
}

// The demo machine's data disk, as its temperature icon's tooltip names its
// two volumes.
TEST(PanelDriveLetters, TheDemoMachinesVolumesWithLabelAndSpace) {
  os::sim::LoadResult loaded = os::sim::LoadDemoMachine();
  ASSERT_TRUE(loaded.Machine) << loaded.Error;
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  os::IVolumes* volumes = sim.Get().Volumes;
  ASSERT_NE(volumes, nullptr);
  ATA_SMART_INFO a;
  a.DriveLetterMap = (1u << ('G' - 'A')) | (1u << ('H' - 'A'));
  const auto lookup = [volumes](char letter) -> std::optional<monitor::VolumeSpace> {
    std::optional<os::VolumeInfo> v = volumes->InfoOf(letter);
    if (!v) return std::nullopt;
    return monitor::VolumeSpace{v->Label, v->FreeBytes, v->TotalBytes};
  };
  EXPECT_EQ(monitor::DriveLetterText(a, lookup, 127),
            "G: Media [150.0/300.0 GB (50.0 %)]\r\nH: Projects [16.5/165.0 GB (10.0 %)]\r\n \r\n ");
}

TEST(PanelDriveButtons, EightPerPageWithTheSelectedOnesPage) {
  CDiskArray disks;
  for (int32_t i = 0; i < 22; ++i) {
    ATA_SMART_INFO a;
    a.Model = "M" + std::to_string(i);
    a.PhysicalDriveId = i == 17 ? -1 : i;
    a.TotalDiskSize = 2048;
    if (i == 16) a.DriveMap = "C: \nD: \nE: \nF:";
    if (i == 18) a.DriveMap = "G:";
    disks.Add(a);
  }
  const auto buttons = monitor::DriveButtons(disks, 17, nullptr);
  ASSERT_EQ(buttons.size(), 8u);
  EXPECT_EQ(buttons[0].Disk, 16);
  EXPECT_EQ(buttons[0].Caption, "C: \nD: \nE: \n...");
  EXPECT_EQ(buttons[0].ImageId, 474);
  EXPECT_FALSE(buttons[0].Selected);
  EXPECT_EQ(buttons[1].Caption, "Disk --");
  EXPECT_EQ(buttons[1].Tooltip, "Disk -- : M17 2.0 GB\n\r\n \r\n ");
  EXPECT_TRUE(buttons[1].Selected);
  EXPECT_EQ(buttons[2].Caption, "G:");
  EXPECT_EQ(buttons[3].Caption, "Disk 19");
  EXPECT_EQ(buttons[5].Disk, 21);
  EXPECT_EQ(buttons[5].ImageId, 479);
  EXPECT_EQ(buttons[6].Disk, -1);
  EXPECT_EQ(buttons[6].ImageId, 482);
  EXPECT_EQ(buttons[7].Caption, "");
  EXPECT_EQ(monitor::DrivePageCount(22), 3);
  EXPECT_EQ(monitor::DrivePageCount(0), 1);
}

// A disk button's tooltip and the title's: the disk, its size and the
// drive-letter text of its volumes, the button's however long.
TEST(PanelDriveButtons, TooltipsCarryTheVolumesOfTheLetters) {
  auto volumes = [](char letter) -> std::optional<monitor::VolumeSpace> {
    if (letter == 'E') return std::nullopt;  // does not answer
    return monitor::VolumeSpace{std::string("Vol") + letter, 1ull << 30, 4ull << 30};
  };
  // Every letter of the alphabet: far past the tray's limit of 128, which
  // the button must not apply.
  const uint32_t everyLetter = (1u << 26) - 1;
  struct Case {
    int32_t PhysicalDrive;
    uint32_t Letters;
    int32_t SizeMb;
    std::string Tooltip;
  } cases[] = {
      {3, 1u << 6, 1907729, "Disk 3 : M 1863.0 GB\nG: VolG [1.0/4.0 GB (25.0 %)]\r\n \r\n "},
      {-1, (1u << 2) | (1u << 4), 512,
       "Disk -- : M 0.5 GB\nC: VolC [1.0/4.0 GB (25.0 %)]\r\nE:  [0.0/0.0 GB (-- %)]\r\n \r\n "},
      {0, 0, 0, "Disk 0 : M 0.0 GB\n\r\n \r\n "},
  };
  for (const Case& c : cases) {
    CDiskArray disks;
    ATA_SMART_INFO a;
    a.Model = "M";
    a.PhysicalDriveId = c.PhysicalDrive;
    a.DriveLetterMap = c.Letters;
    a.TotalDiskSize = c.SizeMb;
    disks.Add(a);
    EXPECT_EQ(monitor::DriveButtons(disks, 0, volumes)[0].Tooltip, c.Tooltip) << c.PhysicalDrive;
  }
  CDiskArray disks;
  ATA_SMART_INFO a;
  a.Model = "M";
  a.DriveLetterMap = everyLetter;
  disks.Add(a);
  const std::string tip = monitor::DriveButtons(disks, 0, volumes)[0].Tooltip;
  EXPECT_GT(tip.size(), 700u);
  EXPECT_NE(tip.find("Z: VolZ [1.0/4.0 GB (25.0 %)]\r\n \r\n "), std::string::npos);
  // The title's tooltip is the same text, within the panel's limit.
  monitor::PanelOptions options;
  options.Volumes = volumes;
  const monitor::PanelTexts p = monitor::BuildPanel(
      disks, 0, options, [](const std::string&, const std::string&) { return std::string(); });
  EXPECT_EQ(p.DriveLetterTip, tip.substr(tip.find('\n') + 1));
  options.Volumes = nullptr;
  EXPECT_EQ(
      monitor::BuildPanel(disks, 0, options,
                          [](const std::string&, const std::string&) { return std::string(); })
          .DriveLetterTip.substr(0, 25),
      "A:  [0.0/0.0 GB (-- %)]\r\n");
}

// Whole panels of the real disks, as the window shows them in Celsius and
// Fahrenheit.
TEST(PanelRealDisks, TextsOfEachDisk) {
  os::sim::LoadResult loaded =
      os::sim::LoadMachineFolder(std::string(STAVRION_SOURCE_DIR) + "/fixtures/real-ata");
  ASSERT_TRUE(loaded.Machine) << loaded.Error;
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  CAtaSmart ata(sim.Get());
  monitor::DiscoverDisks(ata);
  ASSERT_EQ(ata.vars.GetCount(), 6);
  struct Row {
    const char* Title;
    const char* PowerOn;
    const char* Count;
    const char* Celsius;
    const char* Fahrenheit;
    const char* Reads;
    const char* Writes;
    const char* Nand;
    const char* Status;
    const char* Remaining;
    const char* Controller;
  };
  const Row rows[] = {
      {"FUJITSU MHY2120BH 111.7 GB", "92 days 0 hours", "635 count",
       "28\xC2\xB0"
       "C",
       "82\xC2\xB0"
       "F",
       "8192 KB", "----", "----", "N/A", "", "Unknown"},
      {"INTEL SSDSA2CW120G3 111.7 GB", "1 days 21 hours", "14 count",
       "--\xC2\xB0"
       "C",
       "--\xC2\xB0"
       "F",
       "144 GB", "25 GB", "---- (SSD)", "Good", ">10 years", "Intel PC29AS21BA0"},
      {"MCCOE64GEMPP 55.9 GB", "0 days 1 hours", "36 count",
       "--\xC2\xB0"
       "C",
       "--\xC2\xB0"
       "F",
       "----", "----", "----", "N/A", "", "Unknown"},
      {"SAMSUNG HD501LJ 465.7 GB", "305 days 6 hours", "88 count",
       "47\xC2\xB0"
       "C",
       "116\xC2\xB0"
       "F",
       "16384 KB", "----", "----", "N/A", "", "Unknown"},
      {"ST9100821AS 93.1 GB", "182 days 9 hours", "550 count",
       "34\xC2\xB0"
       "C",
       "93\xC2\xB0"
       "F",
       "8192 KB", "----", "----", "N/A", "", "SEAGATE-series"},
      {"WDC WD5000AAKS-00TMA0 465.7 GB", "624 days 16 hours", "56 count",
       "40\xC2\xB0"
       "C",
       "104\xC2\xB0"
       "F",
       "16384 KB", "----", "----", "N/A", "", "WDC-series"},
  };
  PanelOptions celsius;
  celsius.InitialDate = ata.NewRecord().ManufactureDate;
  PanelOptions fahrenheit = celsius;
  fahrenheit.Fahrenheit = true;
  for (int32_t i = 0; i < 6; ++i) {
    const Row& r = rows[i];
    const PanelTexts p = BuildPanel(ata.vars, i, celsius, English);
    EXPECT_EQ(p.Title, r.Title) << i;
    EXPECT_EQ(p.PowerOnTime, r.PowerOn) << i;
    EXPECT_EQ(p.PowerOnCount, r.Count) << i;
    EXPECT_EQ(p.Temperature.Text, r.Celsius) << i;
    EXPECT_EQ(BuildPanel(ata.vars, i, fahrenheit, English).Temperature.Text, r.Fahrenheit) << i;
    EXPECT_EQ(p.HostReads, r.Reads) << i;
    EXPECT_EQ(p.HostWrites, r.Writes) << i;
    EXPECT_EQ(p.NandWrites, r.Nand) << i;
    EXPECT_EQ(p.Status.Text, r.Status) << i;
    EXPECT_EQ(p.Remaining.Text, r.Remaining) << i;
    EXPECT_EQ(p.Controller, r.Controller) << i;
    EXPECT_EQ(p.EraseCount, "----- count") << i;
    EXPECT_EQ(p.SpareBlocks, "----- blocks") << i;
  }
}

}  // namespace
