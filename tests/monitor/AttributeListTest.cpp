// The rows of the S.M.A.R.T. detail pane: icons and descriptions by rule,
// raw-value notations, grouped values, names and their fallbacks, the rows
// of a real disk, and the disk selector.
#include "monitor/AttributeList.h"

#include <gtest/gtest.h>

#include <map>

#include "monitor/DiskReport.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/StdFileSystem.h"

namespace {

using monitor::AttributeRow;
using monitor::BuildAttributeList;
using monitor::ListOptions;
using monitor::ListTexts;

using TextMap = std::map<std::pair<std::string, std::string>, std::string>;

monitor::TextLookup From(const TextMap& map) {
  return [&map](const std::string& section, const std::string& key) {
    auto it = map.find({section, key});
    return it == map.end() ? std::string() : it->second;
  };
}

const TextMap kEnglish = {
    {{"Smart", "VENDOR_SPECIFIC"}, "Vendor Specific"},
    {{"Smart", "05"}, "Reallocated Sectors Count"},
    {{"Smart", "09"}, "Power-On Hours"},
    {{"Smart", "C2"}, "Temperature"},
    {{"Dialog", "POWER_ON_DAYS_UNIT"}, "days"},
    {{"Dialog", "POWER_ON_HOURS_UNIT"}, "hours"},
    {{"Dialog", "UNKNOWN"}, "Unknown"},
    {{"Dialog", "WRITE_AMPLIFICATION"}, "Write Amplification"},
    {{"Message", "WAF_INFO"}, "host to NAND"},
    {{"Message", "DETECT_UNIT_POWER_ON_HOURS"}, "Detecting"},
};
const TextMap kGerman = {
    {{"Smart", "VENDOR_SPECIFIC"}, "Herstellerspezifisch"},
    {{"Smart", "09"}, "Betriebsstunden"},
    {{"Dialog", "POWER_ON_DAYS_UNIT"}, "Tage"},
};

ATTRIBUTE_ENTRY Entry(uint8_t id, uint8_t current, uint64_t raw) {
  ATTRIBUTE_ENTRY e{};
  e.Id = id;
  e.CurrentValue = current;
  e.WorstValue = current;
  for (int i = 0; i < 6; ++i) e.RawValue[i] = static_cast<uint8_t>(raw >> (8 * i));
  return e;
}

// A trusted hard disk with one attribute and its threshold.
ATA_SMART_INFO OneAttribute(ATTRIBUTE_ENTRY e, uint8_t threshold) {
  ATA_SMART_INFO a;
  a.IsSmartCorrect = 1;
  a.IsThresholdCorrect = 1;
  a.SmartKeyName = "Smart";
  a.AttributeCount = 1;
  a.Attribute[0] = e;
  a.Threshold[0] = {e.Id, threshold, {}};
  return a;
}

AttributeRow RowOf(const ATA_SMART_INFO& a, const ListOptions& o = {}) {
  CDiskArray disks;
  disks.Add(a);
  auto list = BuildAttributeList(disks, 0, o, {From(kEnglish), From(kEnglish)});
  EXPECT_EQ(list.Rows.size(), 1u);
  return list.Rows.empty() ? AttributeRow() : list.Rows[0];
}

TEST(AttributeList, IconsAndDescriptionsByRule) {
  struct Case {
    const char* What;
    ATA_SMART_INFO Disk;
    int32_t Icon;
    const char* Description;
  };
  auto disk = [](ATTRIBUTE_ENTRY e, uint8_t threshold, auto&& change) {
    ATA_SMART_INFO a = OneAttribute(e, threshold);
    change(a);
    return a;
  };
  const Case cases[] = {
      {"untrusted thresholds",
       disk(Entry(0x05, 100, 0), 36, [](auto& a) { a.IsThresholdCorrect = 0; }),
       monitor::ROW_ICON_UNTRUSTED, ""},
      {"05 below its caution limit", OneAttribute(Entry(0x05, 100, 0), 36), monitor::ROW_ICON_GOOD,
       ""},
      {"05 at its caution limit", OneAttribute(Entry(0x05, 100, 1), 36), monitor::ROW_ICON_CAUTION,
       ""},
      {"05 with the limit off", disk(Entry(0x05, 100, 1), 36, [](auto& a) { a.Threshold05 = 0; }),
       monitor::ROW_ICON_GOOD, ""},
      {"05 under its threshold", OneAttribute(Entry(0x05, 30, 1), 36), monitor::ROW_ICON_BAD, ""},
      {"power-on hours", disk(Entry(0x09, 99, 50), 0, [](auto& a) { a.DetectedPowerOnHours = 50; }),
       monitor::ROW_ICON_GOOD, "2 days 2 hours"},
      {"power-on unknown", OneAttribute(Entry(0x09, 99, 50), 0), monitor::ROW_ICON_GOOD, ""},
      {"temperature", disk(Entry(0xC2, 100, 0), 0, [](auto& a) { a.Temperature = -3; }),
       monitor::ROW_ICON_GOOD,
       "-3\xC2\xB0"
       "C  27\xC2\xB0"
       "F"},
      // Not -127°C -196°F.
      {"temperature unknown", OneAttribute(Entry(0xC2, 100, 0), 0), monitor::ROW_ICON_GOOD,
       "--\xC2\xB0"
       "C  --\xC2\xB0"
       "F"},
      {"erase count below 10",
       disk(Entry(0xA7, 100, 0), 0, [](auto& a) { a.AverageEraseCount = 7; }),
       monitor::ROW_ICON_GOOD, "7.x"},
      {"erase count", disk(Entry(0xA7, 100, 0), 0, [](auto& a) { a.AverageEraseCount = 12; }),
       monitor::ROW_ICON_GOOD, "12"},
      {"erase count unknown", OneAttribute(Entry(0xA7, 100, 0), 0), monitor::ROW_ICON_GOOD,
       "Unknown"},
      {"life, caution",
       disk(Entry(0xE9, 8, 0), 0,
            [](auto& a) {
              a.DiskVendorId = 9;
              a.Life = 8;
            }),
       monitor::ROW_ICON_CAUTION, "8%"},
      {"life, good",
       disk(Entry(0xE9, 80, 0), 0,
            [](auto& a) {
              a.DiskVendorId = 9;
              a.Life = 80;
            }),
       monitor::ROW_ICON_GOOD, "80%"},
      {"life, worn out",
       disk(Entry(0xE9, 0, 0), 0,
            [](auto& a) {
              a.DiskVendorId = 9;
              a.Life = 0;
            }),
       monitor::ROW_ICON_BAD, "0%"},
      // Not "-1%".
      {"life unknown", disk(Entry(0xE9, 80, 0), 0, [](auto& a) { a.DiskVendorId = 9; }),
       monitor::ROW_ICON_GOOD, "Unknown"},
      {"host writes", disk(Entry(0xF1, 100, 0), 0, [](auto& a) { a.HostWrites = 1536; }),
       monitor::ROW_ICON_GOOD, "1.500 TB"},
      {"host writes 1024", disk(Entry(0xF1, 100, 0), 0, [](auto& a) { a.HostWrites = 1024; }),
       monitor::ROW_ICON_GOOD, "1024 GB"},
      {"SandForce idle error rate",
       disk(Entry(0x01, 0, 0), 50, [](auto& a) { a.DiskVendorId = 7; }), monitor::ROW_ICON_GOOD,
       ""},
      {"SSD threshold", disk(Entry(0xAB, 5, 0), 10, [](auto& a) { a.IsSsd = 1; }),
       monitor::ROW_ICON_BAD, ""},
      {"HDD attribute without threshold meaning", OneAttribute(Entry(0xAB, 5, 0), 10),
       monitor::ROW_ICON_GOOD, ""},
      {"HDD critical attribute", OneAttribute(Entry(0xBE, 5, 0), 10), monitor::ROW_ICON_BAD, ""},
      {"plain", OneAttribute(Entry(0x0A, 100, 0), 0), monitor::ROW_ICON_GOOD, ""},
  };
  for (const Case& c : cases) {
    const AttributeRow row = RowOf(c.Disk);
    EXPECT_EQ(row.Icon, c.Icon) << c.What;
    EXPECT_EQ(row.Description, c.Description) << c.What;
  }
  // While the power-on unit is measured the row says so.
  ListOptions measuring;
  measuring.MeasuringPowerOnUnit = true;
  ATA_SMART_INFO a = OneAttribute(Entry(0x09, 99, 50), 0);
  a.DetectedPowerOnHours = 50;
  EXPECT_EQ(RowOf(a, measuring).Description, "2 days 2 hours\r\nDetecting");
}

TEST(AttributeList, RawValueNotations) {
  ATA_SMART_INFO a;
  ATTRIBUTE_ENTRY e = Entry(0x05, 100, 0x2710);
  const char* expected[] = {"000000002710", "10000", "0 0 10000", "0 0 0 0 39 16"};
  for (int32_t n = 0; n < 4; ++n) EXPECT_EQ(monitor::RawValueText(a, e, n), expected[n]) << n;
  EXPECT_EQ(monitor::RawValueText(a, e, 7), "000000002710");
  EXPECT_EQ(monitor::RawValueText(a, e, -1), "000000002710");
  e = Entry(0x05, 100, 0x060504030201);
  EXPECT_EQ(monitor::RawValueText(a, e, 2), "1541 1027 513");
  // Seven bytes (the reserved byte too): the top byte alone, then three words.
  a.DiskVendorId = 7;
  e.Reserved = 0x07;
  EXPECT_EQ(monitor::RawValueText(a, e, 0), "07060504030201");
  EXPECT_EQ(monitor::RawValueText(a, e, 2), "7 1541 1027 513");
  // Eight bytes from the current value on (family 3).
  a.DiskVendorId = 3;
  e.CurrentValue = 0x11;
  e.WorstValue = 0x22;
  EXPECT_EQ(monitor::RawValueText(a, e, 0), "0605040302012211");
  EXPECT_EQ(monitor::RawValueText(a, e, 2), "1541 1027 513 8721");
  EXPECT_EQ(monitor::RawValueText(a, e, 1), "433757350076162577");
  // Eight bytes from the worst value on (early JMicron).
  a.DiskVendorId = 4;
  a.IsEarlyController = 1;
  EXPECT_EQ(monitor::RawValueText(a, e, 3), "7 6 5 4 3 2 1 34");
}

TEST(AttributeList, GroupedValuesAndTheWriteAmplificationRow) {
  EXPECT_EQ(monitor::GroupedNumber(10000, {}), "10,000");
  EXPECT_EQ(monitor::GroupedNumber(999, {}), "999");
  EXPECT_EQ(monitor::GroupedNumber(281474976710655ull, {".", 3}), "281.474.976.710.655");
  EXPECT_EQ(monitor::GroupedNumber(1234567, {" ", 0}), "1234567");

  ATA_SMART_INFO a = OneAttribute(Entry(0xF1, 100, 10000), 0);
  CDiskArray disks;
  disks.Add(a);
  a.WriteAmplification = 1.25f;
  disks.Add(a);
  const ListTexts texts{From(kEnglish), From(kEnglish)};
  EXPECT_EQ(BuildAttributeList(disks, 0, {}, texts).Rows.size(), 1u);
  const auto list = BuildAttributeList(disks, 1, {}, texts);
  ASSERT_EQ(list.Rows.size(), 2u);
  EXPECT_EQ(list.Rows[0].Values, "10,000");
  EXPECT_EQ(list.Rows[1].Id, "--");
  EXPECT_EQ(list.Rows[1].Name, "Write Amplification (host to NAND)");
  EXPECT_EQ(list.Rows[1].Values, "1.25");
  EXPECT_EQ(list.Rows[1].Raw, "--------");
}

TEST(AttributeList, RowsCloseUpNamesFallBackAndStaleIndexesGiveNothing) {
  ATA_SMART_INFO a = OneAttribute(Entry(0x09, 99, 50), 0);
  a.AttributeCount = 4;
  a.Attribute[1] = Entry(0x00, 0, 0);
  a.Attribute[2] = Entry(0xFF, 0, 0);
  a.Attribute[3] = Entry(0xC2, 100, 30);
  a.Attribute[4] = Entry(0x05, 100, 0);  // beyond the count
  CDiskArray disks;
  disks.Add(a);
  const ListTexts german{From(kGerman), From(kEnglish)};
  auto list = BuildAttributeList(disks, 0, {}, german);
  ASSERT_EQ(list.Rows.size(), 2u);
  EXPECT_EQ(list.Rows[0].Name, "Betriebsstunden");
  EXPECT_EQ(list.Rows[1].Name, "Temperature");  // no German name: the English one
  ListOptions english;
  english.EnglishNames = true;
  EXPECT_EQ(BuildAttributeList(disks, 0, english, german).Rows[0].Name, "Power-On Hours");
  a.AttributeCount = 1;
  a.Attribute[0] = Entry(0x77, 100, 0);
  disks.Add(a);
  EXPECT_EQ(BuildAttributeList(disks, 1, {}, german).Rows[0].Name, "Herstellerspezifisch");
  EXPECT_EQ(BuildAttributeList(disks, 1, english, german).Rows[0].Name, "Vendor Specific");
  // A selector entry from before a rescan that found fewer disks.
  EXPECT_TRUE(BuildAttributeList(disks, 2, {}, german).Rows.empty());
  EXPECT_TRUE(BuildAttributeList(disks, -1, {}, german).Rows.empty());
}

TEST(AttributeList, RowsOfARealDiskAndTheSelector) {
  os::sim::LoadResult loaded =
      os::sim::LoadMachineFolder(std::string(STAVRION_SOURCE_DIR) + "/fixtures/real-ata");
  ASSERT_TRUE(loaded.Machine) << loaded.Error;
  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(*loaded.Machine), files);
  CAtaSmart ata(sim.Get());
  monitor::DiscoverDisks(ata);
  ASSERT_EQ(ata.vars.GetCount(), 6);
  // The Fujitsu laptop disk, first rows.
  const auto list = BuildAttributeList(ata.vars, 0, {}, {From(kEnglish), From(kEnglish)});
  struct Row {
    const char* Id;
    const char* Name;
    const char* Current;
    const char* Raw;
    const char* Values;
    int32_t Icon;
    const char* Description;
  };
  const Row rows[] = {
      {"01", "Vendor Specific", "100", "000000001BC7", "7,111", monitor::ROW_ICON_GOOD, ""},
      {"02", "Vendor Specific", "100", "000001990000", "26,804,224", monitor::ROW_ICON_GOOD, ""},
      {"03", "Vendor Specific", "100", "000000000001", "1", monitor::ROW_ICON_GOOD, ""},
      {"04", "Vendor Specific", "99", "0000000002D1", "721", monitor::ROW_ICON_GOOD, ""},
      // Raw bytes 0-1 are 0: not at the caution limit.
      {"05", "Reallocated Sectors Count", "100", "07D000000000", "8,589,934,592,000",
       monitor::ROW_ICON_GOOD, ""},
      {"07", "Vendor Specific", "100", "0000000007AD", "1,965", monitor::ROW_ICON_GOOD, ""},
      {"08", "Vendor Specific", "100", "000000000000", "0", monitor::ROW_ICON_GOOD, ""},
      {"09", "Power-On Hours", "96", "0000000008A0", "2,208", monitor::ROW_ICON_GOOD,
       "92 days 0 hours"},
  };
  ASSERT_GE(list.Rows.size(), std::size(rows));
  EXPECT_TRUE(list.TextTrusted);
  for (size_t i = 0; i < std::size(rows); ++i) {
    const AttributeRow& r = list.Rows[i];
    EXPECT_EQ(r.Id, rows[i].Id) << i;
    EXPECT_EQ(r.Name, rows[i].Name) << i;
    EXPECT_EQ(r.Current, rows[i].Current) << i;
    EXPECT_EQ(r.Raw, rows[i].Raw) << i;
    EXPECT_EQ(r.Values, rows[i].Values) << i;
    EXPECT_EQ(r.Icon, rows[i].Icon) << i;
    EXPECT_EQ(r.Description, rows[i].Description) << i;
  }
  const auto temperature = std::find_if(list.Rows.begin(), list.Rows.end(),
                                        [](const AttributeRow& r) { return r.Id == "C2"; });
  ASSERT_NE(temperature, list.Rows.end());
  EXPECT_EQ(temperature->Description,
            "28\xC2\xB0"
            "C  82\xC2\xB0"
            "F");

  const auto entries = monitor::DiskSelectorEntries(ata.vars);
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[0],
            "(1) FUJITSU MHY2120BH (Disk " + std::to_string(ata.vars[0].PhysicalDriveId) + ")");
  CDiskArray lettered;
  ATA_SMART_INFO d;
  d.Model = "M";
  d.DriveMap = "C: \nD:";
  d.DriveMapLine = "C: D:";
  lettered.Add(d);
  d.DriveMap.clear();
  d.DriveMapLine.clear();
  lettered.Add(d);
  EXPECT_EQ(monitor::DiskSelectorEntries(lettered),
            (std::vector<std::string>{"(1) M (C: D:)", "(2) M "}));
}

}  // namespace
