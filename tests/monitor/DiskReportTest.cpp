// The disk report: field names and order of the JSON record, escaping of
// what disks send, and the text the panel and the attribute list show.
#include "monitor/DiskReport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/LanguageFile.h"
#include "tests/support/StdFileSystem.h"

namespace {

ATA_SMART_INFO Sample() {
  ATA_SMART_INFO asi;
  asi.Model = "WDC WD5000AAKS-00TMA0";
  asi.SerialNumber = "WD-WCAPW0493929";
  asi.CommandType = CMD_TYPE_PHYSICAL_DRIVE;
  asi.CommandTypeText = "pd1";
  asi.TotalDiskSize = 476891;
  asi.Temperature = 40;
  asi.SmartKeyName = "Smart";
  asi.AttributeCount = 2;
  asi.Attribute[0] = {0x05, 0x33, 192, 192, {0x3F, 0, 0, 0, 0, 0}, 0};
  asi.Attribute[1] = {0x6E, 0x32, 100, 100, {0x10, 0x27, 0, 0, 0, 0}, 0};
  asi.Threshold[0] = {0x05, 140, {}};
  return asi;
}

size_t Find(const std::string& text, const std::string& part) {
  size_t at = text.find(part);
  EXPECT_NE(at, std::string::npos) << part;
  return at;
}

TEST(DiskReportJson, FieldsInRecordOrderWithTablesAndHex) {
  const std::string json = monitor::DiskRecordJson(Sample());
  // A few landmarks of the record's declaration order.
  size_t identify = Find(json, "\"IdentifyDevice\": \"0000");
  size_t attribute = Find(json, "\"Attribute\": [");
  size_t threshold = Find(json, "\"Threshold\": [");
  size_t total = Find(json, "\"TotalDiskSize\": 476891");
  size_t temperature = Find(json, "\"Temperature\": 40");
  size_t serial = Find(json, "\"SerialNumber\": \"WD-WCAPW0493929\"");
  size_t path = Find(json, "\"CommandTypeText\": \"pd1\"");
  size_t devicePath = Find(json, "\"DevicePath\": \"\"");
  EXPECT_LT(identify, attribute);
  EXPECT_LT(attribute, threshold);
  EXPECT_LT(threshold, total);
  EXPECT_LT(total, temperature);
  EXPECT_LT(temperature, serial);
  EXPECT_LT(serial, path);
  EXPECT_LT(path, devicePath);
  // The tables hold the entries in use, raw bytes in sector order.
  Find(json, "\"RawValue\": \"3F0000000000\"");
  Find(json, "\"ThresholdValue\": 140");
  size_t entries = 0;
  for (size_t at = json.find("\"CurrentValue\""); at != std::string::npos;
       at = json.find("\"CurrentValue\"", at + 1)) {
    ++entries;
  }
  EXPECT_EQ(entries, 2u) << "only the entries in use";
  Find(json, "\"SasPhyEntity\": \"" + std::string(128, '0') + "\"");
  Find(json, "\"TemperatureMultiplier\": 1,");
}

TEST(DiskReportJson, DiskTextsAreEscaped) {
  ATA_SMART_INFO asi = Sample();
  asi.Model = std::string("BAD\"MODEL\\\x01\xFF", 12);
  asi.VendorSpecificText = "\"0\x0B\xC2\xA5";
  const std::string json = monitor::DiskRecordJson(asi);
  Find(json, "\"Model\": \"BAD\\\"MODEL\\\\\\u0001\\u00FF\"");
  Find(json, "\"VendorSpecificText\": \"\\\"0\\u000B\xC2\xA5\"");
}

TEST(DiskReportText, NamesFromTheLanguageFileAndPanelFigures) {
  app::CLanguageFile english;
  testutil::CStdFileSystem files;
  ASSERT_TRUE(english.Load(
      files, std::string(STAVRION_SOURCE_DIR) + "/resources/TslResource/language/English.lang"));
  monitor::TextLookup text = [&](const std::string& s, const std::string& k) {
    return english.GetText(s, k);
  };
  CDiskArray disks;
  ATA_SMART_INFO asi = Sample();
  disks.Add(asi);
  asi.SmartKeyName.clear();  // a family without a name section
  asi.Temperature = TEMPERATURE_UNKNOWN;
  asi.DiskStatus = DISK_STATUS_GOOD;
  asi.SupportLevel = 5;
  asi.DetectedPowerOnHours = 50;
  disks.Add(asi);
  const std::string out = monitor::DiskReportText(disks, text);
  const size_t second = Find(out, "(2) WDC WD5000AAKS-00TMA0 465.7 GB");
  // First disk: standard names, unrated.
  EXPECT_LT(Find(out, "05  Reallocated Sectors Count"), second);
  EXPECT_LT(Find(out, "6E  Vendor Specific"), second);
  EXPECT_LT(Find(out, "Status              : N/A (Unknown)"), second);
  EXPECT_LT(Find(out,
                 "40\xC2\xB0"
                 "C"),
            second);
  EXPECT_LT(Find(out, "192  192  140  00000000003F"), second);
  EXPECT_LT(Find(out, "Path                : pd1 (CMD_TYPE_PHYSICAL_DRIVE)"), second);
  // Second disk: no section, so every name is the vendor text.
  EXPECT_GT(out.find("05  Vendor Specific", second), second);
  EXPECT_GT(out.find("Status              : Good", second), second);
  EXPECT_GT(out.find("--\xC2\xB0"
                     "C",
                     second),
            second);
  EXPECT_GT(out.find("2 days 2 hours (50 hours)", second), second);
}

TEST(DiskReportText, NoDisk) {
  EXPECT_EQ(monitor::DiskReportText(CDiskArray(), nullptr), "No disk found.\n");
  EXPECT_EQ(monitor::DiskReportJson(CDiskArray()), "[]\n");
}

}  // namespace
