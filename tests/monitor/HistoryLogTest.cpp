// The history log: the file layout and formats on real disks, the rate
// limit on a virtual clock, "Smart.ini" first and latest values, the daily
// file, folder and section names that disks cannot turn against the file
// system, a month of records for a full disk list, and clearing a disk's
// history.
#include "monitor/HistoryLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "monitor/DiskReport.h"
#include "monitor/HistoryCsv.h"
#include "os/sim/SimMachine.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/HistoryTestSupport.h"
#include "tests/support/StdFileSystem.h"
#include "tests/support/TempDir.h"

namespace {

using monitor::CHistoryLog;
using testutil::CRig;
using testutil::MakeDisk;
using testutil::MakeNvmeDisk;
using testutil::START_TEXT;

int32_t Low32(const ATTRIBUTE_ENTRY& a) {
  uint32_t v = 0;
  std::memcpy(&v, a.RawValue, 4);  // the raw value is little-endian, as is this machine
  return static_cast<int32_t>(v);
}

std::string Hex(uint8_t id) {
  char t[4];
  std::snprintf(t, sizeof t, "%02X", id);
  return t;
}

size_t CountLines(const std::string& text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(HistoryLog, FormatsOnTheRealDisksOfTheFixtures) {
  os::sim::LoadResult loaded =
      os::sim::LoadMachineFolder(std::string(STAVRION_SOURCE_DIR) + "/fixtures/real-ata");
  ASSERT_TRUE(loaded.Machine) << loaded.Error;
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  CAtaSmart ata(sim.Get());
  monitor::DiscoverDisks(ata);
  ASSERT_EQ(ata.vars.GetCount(), 6);

  CRig rig;
  rig.Settings.Set(app::Setting::CR_MODE, 1);
  for (int32_t i = 0; i < ata.vars.GetCount(); ++i) {
    const ATA_SMART_INFO& d = ata.vars[i];
    SCOPED_TRACE(d.Model);
    rig.Save(d, i);
    const std::string folder = rig.Folder(d);
    EXPECT_EQ(folder, rig.Root() + d.ModelSerial + "/");

    // One line per item file, in the text-mode format of the program.
    std::map<std::string, std::string> expected;
    if (d.Temperature != TEMPERATURE_UNKNOWN) {
      expected["Temperature"] =
          std::string(START_TEXT) + "," + std::to_string(d.Temperature) + "\r\n";
    }
    expected["PowerOnCount"] =
        std::string(START_TEXT) + "," + std::to_string(d.PowerOnCount) + "\r\n";
    for (int32_t j = 0; j < d.AttributeCount; ++j) {
      const ATTRIBUTE_ENTRY& a = d.Attribute[j];
      expected[Hex(a.Id)] += std::string(START_TEXT) + "," + std::to_string(Low32(a)) + "\r\n";
      if (a.Id == 0x05) {
        expected["ReallocatedSectorsCount"] = std::string(START_TEXT) + "," +
                                              std::to_string(a.RawValue[0] + 256 * a.RawValue[1]) +
                                              "\r\n";
      }
      if (a.Id == 0xC6) {
        expected["UncorrectableSectorCount"] =
            std::string(START_TEXT) + "," + std::to_string(Low32(a)) + "\r\n";
      }
      // The first record keeps every threshold.
      EXPECT_EQ(rig.Ini(d, "THRESHOLD", Hex(a.Id)), std::to_string(d.Threshold[j].ThresholdValue));
      EXPECT_EQ(rig.Ini(d, "FIRST", Hex(a.Id)), std::to_string(Low32(a)));
    }
    for (const auto& [key, text] : expected) {
      EXPECT_EQ(rig.Read(folder + key + ".csv"), text) << key;
    }
    EXPECT_EQ(rig.Ini(d, "PC", "ComputerName"), "BENCH-PC");
    EXPECT_EQ(rig.Ini(d, d.ModelSerial, "Date"), START_TEXT);
    EXPECT_EQ(rig.Ini(d, "FIRST", "Date"), START_TEXT);
    EXPECT_EQ(rig.Ini(d, d.ModelSerial, "HealthStatus"), std::to_string(d.DiskStatus));

    // The daily file: a header naming each column and one line of raw values.
    std::string daily = rig.Read(folder + "Smart_20260301.csv");
    ASSERT_EQ(CountLines(daily), 2u) << daily;
    std::string header = daily.substr(0, daily.find("\r\n"));
    std::string line = daily.substr(header.size() + 2);
    size_t columns = 0;
    for (int32_t j = 0; j < d.AttributeCount; ++j) {
      if (d.Attribute[j].Id != 0 && d.Attribute[j].Id != 0xFF) ++columns;
    }
    EXPECT_EQ(static_cast<size_t>(std::count(header.begin(), header.end(), ',')), columns);
    EXPECT_EQ(header.rfind("Time,", 0), 0u);
    EXPECT_EQ(header.find(",,"), std::string::npos) << header;  // every column named
    EXPECT_EQ(line.rfind(std::string(START_TEXT) + ",", 0), 0u);
  }
}

TEST(HistoryLog, FiguresAndTheirEdgeValues) {
  struct Case {
    const char* Name;
    void (*Change)(ATA_SMART_INFO&);
    const char* File;
    const char* Line;  // nullptr: no file
  } cases[] = {
      {"negative temperature", [](ATA_SMART_INFO& d) { d.Temperature = -5; }, "Temperature", "-5"},
      {"unknown temperature is no measurement",
       [](ATA_SMART_INFO& d) { d.Temperature = TEMPERATURE_UNKNOWN; }, "Temperature", nullptr},
      {"unknown power-on hours", [](ATA_SMART_INFO& d) { d.MeasuredPowerOnHours = -1; },
       "PowerOnHours", nullptr},
      {"no spare block count", [](ATA_SMART_INFO& d) { d.SpareBlockCount = ERASE_COUNT_UNKNOWN; },
       "SpareBlock", nullptr},
      {"spare block count", [](ATA_SMART_INFO& d) { d.SpareBlockCount = 12; }, "SpareBlock", "12"},
      {"unknown life", [](ATA_SMART_INFO& d) { d.Life = -1; }, "Life", nullptr},
      {"unknown life, no status line", [](ATA_SMART_INFO& d) { d.Life = -1; }, "HealthStatus",
       nullptr},
      {"life", [](ATA_SMART_INFO& d) { d.Life = 77; }, "Life", "77"},
      {"status with life", [](ATA_SMART_INFO& d) { d.Life = 77; }, "HealthStatus", "1"},
      {"host writes", [](ATA_SMART_INFO& d) { d.HostWrites = 3210; }, "HostWrites", "3210"},
      {"raw FF FF FF FF 00 00 reads -1",
       [](ATA_SMART_INFO& d) {
         for (int k = 0; k < 4; ++k) d.Attribute[1].RawValue[k] = 0xFF;
       },
       "09", "-1"},
      {"reallocated sectors from two raw bytes",
       [](ATA_SMART_INFO& d) {
         d.Attribute[0].RawValue[1] = 1;
         d.Attribute[0].RawValue[2] = 7;
       },
       "ReallocatedSectorsCount", "258"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    CRig rig;
    ATA_SMART_INFO d = MakeDisk("WDC WD10EZEX", "WX1");
    c.Change(d);
    rig.Save(d);
    const std::string text = rig.Read(rig.Folder(d) + c.File + ".csv");
    if (c.Line == nullptr) {
      EXPECT_EQ(text, "<missing>");
    } else {
      EXPECT_EQ(text, std::string(START_TEXT) + "," + c.Line + "\r\n");
    }
    // "Smart.ini" keeps the status whatever the life.
    EXPECT_EQ(rig.Ini(d, d.ModelSerial, "HealthStatus"), "1");
  }
}

TEST(HistoryLog, UnsignedDailyValuesAndEveryLineEnded) {
  CRig rig("\n");
  rig.Settings.Set(app::Setting::CR_MODE, 1);
  ATA_SMART_INFO d = MakeDisk("WDC WD10EZEX", "WX1");
  for (int k = 0; k < 4; ++k) d.Attribute[1].RawValue[k] = 0xFF;
  rig.Save(d);
  EXPECT_EQ(rig.Read(rig.Folder(d) + "Smart_20260301.csv"),
            "Time,Reallocated Sectors Count,Power-On Hours,Temperature\n"
            "2026/03/01 12:00:00,2,4294967295,40\n");

  // A disk with no attribute columns still ends each line.
  ATA_SMART_INFO none = MakeDisk("NONE", "1");
  none.AttributeCount = 1;
  none.Attribute[0].Id = 0xFF;
  rig.Save(none);
  rig.AdvanceSeconds(150);
  rig.Save(none);
  EXPECT_EQ(rig.Read(rig.Folder(none) + "Smart_20260301.csv"),
            "Time\n2026/03/01 12:00:00\n2026/03/01 12:02:30\n");
}

TEST(HistoryLog, RateLimitOnVirtualTime) {
  struct Step {
    int64_t Advance;  // seconds before the record, may be negative (clock set back)
    size_t Lines;     // lines in the temperature file afterwards
  };
  struct Case {
    const char* Name;
    int32_t Period;
    std::vector<Step> Steps;
  } cases[] = {
      {"two refreshes 60 s apart write one record", 150, {{0, 1}, {60, 1}}},
      {"150 s apart write two", 150, {{0, 1}, {150, 2}}},
      {"149 s do not", 150, {{0, 1}, {149, 1}, {1, 2}}},
      {"a longer period", 600, {{0, 1}, {300, 1}, {300, 2}}},
      // The clock set back an hour: the stored time lies in the future and
      // counts as expired instead of silencing the log for an hour.
      {"clock set back", 150, {{0, 1}, {-3600, 2}, {60, 2}, {150, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    CRig rig;
    rig.Settings.Set(app::Setting::SAVE_SMART_PERIOD, c.Period);
    ATA_SMART_INFO d = MakeDisk("WDC WD10EZEX", "WX1");
    for (const Step& s : c.Steps) {
      rig.Clock.SetNow(rig.Clock.Now() + s.Advance);
      rig.Save(d);
      EXPECT_EQ(CountLines(rig.Read(rig.Folder(d) + "Temperature.csv")), s.Lines);
    }
  }
}

TEST(HistoryLog, RateLimitFollowsTheDiskNotItsPlaceInTheList) {
  CRig rig;
  ATA_SMART_INFO a = MakeDisk("DISK A", "1"), b = MakeDisk("DISK B", "2");
  rig.Save(a, 0);
  rig.AdvanceSeconds(60);
  // After a rescan disk B sits where A was: its first record is due.
  rig.Save(b, 0);
  rig.Save(a, 1);
  EXPECT_EQ(CountLines(rig.Read(rig.Folder(b) + "Temperature.csv")), 1u);
  EXPECT_EQ(CountLines(rig.Read(rig.Folder(a) + "Temperature.csv")), 1u);
}

TEST(HistoryLog, NothingWithoutTheLogOrWithUncheckedData) {
  CRig rig;
  ATA_SMART_INFO d = MakeDisk("WDC WD10EZEX", "WX1");
  d.IsSmartCorrect = 0;
  rig.Save(d);
  EXPECT_FALSE(rig.Files().Exists(rig.Folder(d)));
  CRig off;
  off.Settings.Set(app::Setting::SMART_LOG, 0);
  off.Save(MakeDisk("WDC WD10EZEX", "WX1"));
  EXPECT_FALSE(off.Files().Exists(off.Root()));
}

TEST(HistoryLog, FirstValuesStayFirst) {
  struct Case {
    const char* Name;
    ATA_SMART_INFO Disk;
    bool DropThreshold05;  // delete THRESHOLD/05 between the records
    const char* FirstTemperature;
  } cases[] = {
      {"ATA disk", MakeDisk("WDC WD10EZEX", "WX1"), false, "40"},
      // Disks without attribute 05 used to rewrite the first values on
      // every record.
      {"NVMe disk", MakeNvmeDisk("NVME SSD", "N1"), false, "40"},
      {"ATA disk whose thresholds were lost", MakeDisk("WDC WD10EZEX", "WX1"), true, "45"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.Name);
    CRig rig;
    rig.Save(c.Disk);
    if (c.DropThreshold05) {
      os::CIniProfile profile(rig.Files());
      profile.DeleteKey("THRESHOLD", "05", rig.Folder(c.Disk) + "Smart.ini");
    }
    rig.AdvanceSeconds(200);
    c.Disk.Temperature = 45;
    c.Disk.DiskStatus = DISK_STATUS_CAUTION;
    rig.Save(c.Disk);
    EXPECT_EQ(rig.Ini(c.Disk, "FIRST", "Temperature"), c.FirstTemperature);
    EXPECT_EQ(rig.Ini(c.Disk, "FIRST", "Date"), START_TEXT);
    EXPECT_EQ(rig.Ini(c.Disk, "FIRST", "HealthStatus"), "1");
    EXPECT_EQ(rig.Ini(c.Disk, c.Disk.ModelSerial, "Temperature"), "45");
    EXPECT_EQ(rig.Ini(c.Disk, c.Disk.ModelSerial, "HealthStatus"), "2");
    EXPECT_EQ(rig.Ini(c.Disk, c.Disk.ModelSerial, "Date"), "2026/03/01 12:03:20");
  }
}

TEST(HistoryLog, DerivedFiguresOnlyForAtaDisks) {
  CRig rig;
  ATA_SMART_INFO nvme = MakeNvmeDisk("NVME SSD", "N1");
  ATA_SMART_INFO ata = MakeDisk("WDC WD10EZEX", "WX1");
  rig.Save(nvme, 0);
  rig.Save(ata, 1);
  EXPECT_EQ(rig.Read(rig.Folder(nvme) + "05.csv"), std::string(START_TEXT) + ",50\r\n");
  EXPECT_FALSE(rig.Files().Exists(rig.Folder(nvme) + "ReallocatedSectorsCount.csv"));
  EXPECT_EQ(rig.Read(rig.Folder(ata) + "ReallocatedSectorsCount.csv"),
            std::string(START_TEXT) + ",2\r\n");
}

TEST(HistoryLog, FolderAndSectionNames) {
  struct Case {
    std::string ModelSerial;
    std::string Folder;
    std::string Section;
  } cases[] = {
      {"WDC WD10EZEXWX1", "WDC WD10EZEXWX1", "WDC WD10EZEXWX1"},
      {"", "Disk-", "%"},
      {".", "Disk-2E", "."},
      {"..", "Disk-2E2E", ".."},
      {". .", "Disk-2E202E", ". ."},
      {"CON", "Disk-434F4E", "CON"},
      {"com3", "Disk-636F6D33", "com3"},
      {"NUL.x", "Disk-4E554C2E78", "NUL.x"},
      {"A\nB", "Disk-410A42", "A%0AB"},
      {"A/B", "Disk-412F42", "A/B"},
      {"DISK[1]=2", "DISK[1]=2", "DISK%5B1%5D%3D2"},
      {"MODEL=X", "MODEL=X", "MODEL%3DX"},
      {";X", ";X", "%3BX"},
      {"50% [x]", "50% [x]", "50%25 %5Bx%5D"},
      {"CONSOLE", "CONSOLE", "CONSOLE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ModelSerial);
    EXPECT_EQ(CHistoryLog::DiskFolderName(c.ModelSerial), c.Folder);
    EXPECT_EQ(CHistoryLog::SectionName(c.ModelSerial), c.Section);
    EXPECT_TRUE(os::CIniFile::IsStorable(CHistoryLog::SectionName(c.ModelSerial), "Life", "1"));
  }
  EXPECT_EQ(CHistoryLog::HistoryRoot(
                "D\\Smart", std::array<uint8_t, 6>{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, '\\'),
            "D\\Smart-00-1A-2B-3C-4D-5E\\");
  EXPECT_EQ(CHistoryLog::HistoryRoot("D\\Smart", std::nullopt, '\\'), "D\\Smart-\\");
}

// The address that names the history root cannot be read this time: the
// one root an address named before stays in use, so the history does not
// look lost; with no such root, or several (whose would it be?), the root
// without an address.
TEST(HistoryLog, ALostAdapterAddressKeepsTheRootInUse) {
  const std::array<uint8_t, 6> mac{0x02, 0x00, 0x5E, 0x10, 0x00, 0x01};
  struct Case {
    const char* What;
    std::vector<std::string> Folders;
    std::vector<std::string> Files;
    bool AddressKnown;
    const char* Root;  // beside the program
  };
  const Case cases[] = {
      {"address known", {"Smart-00-1A-2B-3C-4D-5E"}, {}, true, "Smart-02-00-5E-10-00-01"},
      {"lost, nothing yet", {}, {}, false, "Smart-"},
      {"lost, one root", {"Smart-00-1A-2B-3C-4D-5E"}, {}, false, "Smart-00-1A-2B-3C-4D-5E"},
      {"lost, one root among others",
       {"Smart-", "Smart-0a-0b-0c-0d-0e-0f", "Smart-00-1A-2B-3C-4D-5E-old", "Smart-00-1A-2B-3C-4D",
        "Other-00-1A-2B-3C-4D-5E", "Smart-00-1A-2B-3C-4D-5E"},
       {"Smart-11-22-33-44-55-66"},
       false,
       "Smart-00-1A-2B-3C-4D-5E"},
      {"lost, two roots",
       {"Smart-00-1A-2B-3C-4D-5E", "Smart-02-00-5E-10-00-01"},
       {},
       false,
       "Smart-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    testutil::CTempDir dir;
    for (const std::string& f : c.Folders) std::filesystem::create_directory(dir.File(f));
    for (const std::string& f : c.Files) std::ofstream(dir.File(f)) << "x";
    testutil::CStdFileSystem files;
    EXPECT_EQ(CHistoryLog::ChooseHistoryRoot(files, dir.File("Smart"),
                                             c.AddressKnown ? std::optional(mac) : std::nullopt),
              dir.File(c.Root) + files.Separator());
  }
}

TEST(HistoryLog, ADiskNamedDotsWritesAndClearsOnlyItsOwnFolder) {
  CRig rig;
  ATA_SMART_INFO dots = MakeDisk(".", ".");
  ASSERT_EQ(dots.ModelSerial, "..");
  ATA_SMART_INFO other = MakeDisk("WDC WD10EZEX", "WX1");
  rig.Save(other, 0);
  rig.Save(dots, 1);
  const std::string ownFolder = rig.Root() + "Disk-2E2E/";
  EXPECT_TRUE(rig.Files().Exists(ownFolder + "Temperature.csv"));
  EXPECT_FALSE(rig.Files().Exists(rig.Root() + "Temperature.csv"));
  EXPECT_FALSE(rig.Files().Exists(rig.Dir().File("Temperature.csv")));

  ASSERT_TRUE(rig.Services().ClearLogs(dots.ModelSerial));
  EXPECT_FALSE(rig.Files().Exists(ownFolder));
  EXPECT_TRUE(rig.Files().Exists(rig.Folder(other) + "Temperature.csv"));
  EXPECT_TRUE(rig.Files().Exists(rig.Dir().File("stavrion.ini")));
}

TEST(HistoryLog, ClearLogsRemovesTheTreeButNotWhatLinksPointTo) {
  CRig rig;
  ATA_SMART_INFO d = MakeDisk("WDC WD10EZEX", "WX1");
  rig.Save(d);
  const std::string folder = rig.Folder(d);
  std::filesystem::create_directories(folder + "sub/deeper");
  rig.Files().AppendFile(folder + "sub/deeper/x.csv", "x\n");
  const std::string outside = rig.Dir().File("keep");
  std::filesystem::create_directories(outside);
  rig.Files().AppendFile(outside + "/precious.txt", "mine\n");
  std::error_code ec;
  std::filesystem::create_directory_symlink(outside, folder + "link", ec);
  const bool linked = !ec;

  EXPECT_TRUE(rig.Services().ClearLogs(d.ModelSerial));
  EXPECT_FALSE(rig.Files().Exists(folder));
  EXPECT_EQ(rig.Read(outside + "/precious.txt"), "mine\n") << "link followed: " << linked;
  // The disk's next record is due at once and starts a new history.
  rig.AdvanceSeconds(10);
  rig.Save(d);
  EXPECT_EQ(CountLines(rig.Read(folder + "Temperature.csv")), 1u);
  EXPECT_EQ(rig.Ini(d, "FIRST", "Date"), "2026/03/01 12:00:10");
}

TEST(HistoryLog, TornLastLineIsSkippedAndTheNextRecordStartsAFreshLine) {
  CRig rig;
  ATA_SMART_INFO d = MakeDisk("WDC WD10EZEX", "WX1");
  rig.Save(d);
  const std::string path = rig.Folder(d) + "Temperature.csv";
  const std::string whole = rig.Read(path) + "2026/03/01 12:02:30,41\r\n";
  // Every cut a crash could leave in the second line; then the program
  // starts again and writes its next record.
  for (size_t cut = 24; cut <= whole.size(); ++cut) {
    SCOPED_TRACE(cut);
    const std::string left = whole.substr(0, cut);
    rig.Files().WriteFileAtomic(path, std::vector<uint8_t>(left.begin(), left.end()));
    CHistoryLog log(rig.Files(), rig.Root(), "PC", "\r\n", nullptr);
    log.SetSettings({true, 150, false, false});
    ASSERT_TRUE(log.BeginRecord(d, testutil::START + 300));
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 2;
    t.tm_mday = 1;
    t.tm_hour = 12;
    t.tm_min = 5;
    log.WriteRecord(d, t);

    std::string text = rig.Read(path);
    monitor::HistoryReadResult r =
        monitor::ReadHistoryCsv(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    const bool secondWhole = cut == whole.size();
    std::vector<int32_t> values;
    for (const auto& p : r.Points) values.push_back(p.Value);
    std::vector<int32_t> expected = {40};
    if (secondWhole) expected.push_back(41);
    expected.push_back(40);
    EXPECT_EQ(values, expected) << text;
    EXPECT_FALSE(r.TornTail);
    EXPECT_EQ(r.Points.back().Time, *monitor::ParseHistoryTime("2026/03/01 12:05:00"));
  }
}

TEST(HistoryLog, AMonthOfRecordsForFortyEightDisks) {
  CRig rig("\n");
  rig.Settings.Set(app::Setting::CR_MODE, 1);
  std::vector<ATA_SMART_INFO> disks;
  for (int i = 0; i < MAX_DISK; ++i) {
    disks.push_back(MakeDisk("DISK MODEL " + std::to_string(i), "SN" + std::to_string(i)));
  }
  // Twice a day for 30 days, temperatures moving with the time.
  constexpr int RECORDS = 30 * 2;
  for (int r = 0; r < RECORDS; ++r) {
    for (int i = 0; i < MAX_DISK; ++i) {
      disks[i].Temperature = static_cast<int8_t>(30 + (r + i) % 20);
      rig.Save(disks[static_cast<size_t>(i)], i);
    }
    rig.AdvanceSeconds(12 * 3600);
  }
  for (int i = 0; i < MAX_DISK; i += 7) {
    const ATA_SMART_INFO& d = disks[static_cast<size_t>(i)];
    SCOPED_TRACE(d.Model);
    std::string text = rig.Read(rig.Folder(d) + "Temperature.csv");
    monitor::HistoryReadResult read =
        monitor::ReadHistoryCsv(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    ASSERT_EQ(read.Points.size(), static_cast<size_t>(RECORDS));
    EXPECT_EQ(read.SkippedLines, 0u);
    for (int r = 0; r < RECORDS; ++r) {
      EXPECT_EQ(read.Points[r].Value, 30 + (r + i) % 20);
      EXPECT_EQ(read.Points[r].Time, read.Points[0].Time + int64_t{r} * 12 * 3600);
    }
    EXPECT_EQ(rig.Ini(d, "FIRST", "Date"), START_TEXT);
    EXPECT_EQ(rig.Ini(d, d.ModelSerial, "Date"), "2026/03/31 00:00:00");
    // One daily file per day, its records under a header.
    EXPECT_EQ(CountLines(rig.Read(rig.Folder(d) + "Smart_20260315.csv")), 3u);
    EXPECT_EQ(CountLines(rig.Read(rig.Folder(d) + "Smart_20260301.csv")), 2u);
    EXPECT_EQ(CountLines(rig.Read(rig.Folder(d) + "Smart_20260331.csv")), 2u);
  }
}

}  // namespace
