#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/AtaSmart.h"
#include "engine/SmartFamily.h"
#include "tests/support/FamilyTestSupport.h"

using namespace testutil;

namespace {

using Ids = std::vector<uint8_t>;
using Words = std::vector<std::pair<size_t, uint16_t>>;

// Attribute tables as the controllers lay them out.
const Ids kJMicron61x = {0x01, 0x02, 0x03, 0x05, 0x07, 0x08, 0x09,
                         0x0A, 0x0C, 0xA8, 0xAF, 0xC0, 0xC2, 0xC4};
const Ids kJMicron66x = {0x01, 0x02, 0x03, 0x05, 0x07, 0x08, 0x09, 0x0A, 0x0C, 0xA7, 0xA8, 0xA9};
const Ids kSandForce = {0x01, 0x05, 0x09, 0x0C, 0x0D, 0x64, 0xAA, 0xAB, 0xAC, 0xB1, 0xE7, 0xF1};
const Ids kPlextor = {0x01, 0x05, 0x09, 0x0C, 0xB1, 0xB2, 0xB5, 0xB6, 0xBB, 0xC3};
const Ids kIntel = {0x03, 0x04, 0x05, 0x09, 0x0C, 0xC0, 0xE8, 0xE9, 0xF1};
const Ids kMicronMu02 = {0x01, 0x05, 0x09, 0x0C, 0xA0, 0xA1, 0xA3, 0x94, 0x95, 0x96, 0x97};
const Ids kMicron = {0x01, 0x05, 0x09, 0x0C, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xB5, 0xB7, 0xCA};
const Ids kOcz = {0x01, 0x03, 0x04, 0x05, 0x09, 0x0C, 0xE8, 0xE9};
const Ids kOczVector = {0x05, 0x09, 0x0C, 0xAB, 0xAE, 0xC3, 0xC4, 0xC5, 0xC6, 0xE9};
const Ids kKingston = {0x01, 0x02, 0x03, 0x05, 0x07, 0x08, 0x09, 0x0A, 0x0C, 0xA8, 0xAB};
const Ids kRealtek = {0x01, 0x05, 0x09, 0x0C, 0xA1, 0xA2, 0xA3, 0xA4, 0xA6, 0xA7};
const Ids kSamsung = {0x09, 0x0C, 0xB1, 0xB2, 0xB3, 0xB4, 0xB7, 0xBB};
const Ids kJMicron60x = {0x0C, 0x09, 0xC2, 0xE5, 0xE8, 0xE9};
const Ids kIndilinx = {0x01, 0x09, 0x0C, 0xB8, 0xC3, 0xC4, 0xD1};
const Ids kHardDisk = {0x01, 0x03, 0x04, 0x05, 0x07, 0x09, 0x0A, 0x0C, 0xC2, 0xC5, 0xC6};

const Words kC837 = {{2, 0xC837}};
Words IdentifyWords(uint16_t w80, uint16_t w81, uint16_t w82, uint16_t w83, uint16_t w84,
                    Words extra = {}) {
  Words w = {{2, 0xC837}, {80, w80}, {81, w81}, {82, w82}, {83, w83}, {84, w84}};
  w.insert(w.end(), extra.begin(), extra.end());
  return w;
}

struct FamilyCase {
  const char* Name;
  std::string Model;
  Ids AttributeIds;
  int32_t Family;
  const char* Key;
  int32_t Unit;
  std::string SmartText = "";
  Words IdentifyWords = {};
  int32_t IsSsd = 0;  // as IDENTIFY left it
  std::string Serial = "";
  int32_t PreviousFamily = FAMILY_UNKNOWN;
};

constexpr int32_t U0 = HOST_READS_WRITES_NONE;
constexpr int32_t U1 = HOST_READS_WRITES_512B;
constexpr int32_t U2 = HOST_READS_WRITES_32MB;
constexpr int32_t U3 = HOST_READS_WRITES_GB;

const FamilyCase kFamilyCases[] = {
    // SMI controllers name themselves in the data sector.
    {"SmiText2246EN", "SSD 7LC4 256GB", {0x01, 0x09}, 21, "SmartIE", U2, "SM2246EN"},
    {"SmiText2246XT", "Some SSD", {0x01, 0x09}, 22, "SmartIX", U2, "SMI2246XT"},
    {"SmiText2258", "Some SSD", {0x01, 0x09}, 26, "Smart369", U2, "SM2258G"},
    {"SmiText2256", "Some SSD", {0x01, 0x09}, 70, "SmartIE", U2, "SM2256K"},
    {"SmiText2256Long", "Some SSD", {0x01, 0x09}, 70, "SmartIE", U2, "SMI2256"},
    {"SmiText2236", "Some SSD", {0x01, 0x09}, 23, "SmartP60", U2, "SMI2236"},
    {"SageBySerial", "Some SSD", {0x01, 0x09}, 25, "Smart563", U3, "", {}, 0, "AB SS13-0001"},
    {"SageByWords",
     "Some SSD",
     {0x01, 0x09},
     25,
     "Smart563",
     U3,
     "",
     {{63, 0x0407}, {64, 3}, {82, 0x346B}, {83, 0x70D9}, {84, 0x6023}}},
    {"SageByOtherWords",
     "Some SSD",
     {0x01, 0x09},
     25,
     "Smart563",
     U3,
     "",
     {{63, 7}, {64, 3}, {82, 0x000B}, {83, 0x7400}, {84, 0x4000}}},
    {"SmiAnyText", "Some SSD", {0x01, 0x09}, 29, "SmartIE", U2, "SM3281"},
    // The maker's model lines beat every other test but the SMI ones.
    {"Line7KP1", "TSL SSD 7KP1 256GB", kIntel, 31, "SmartMaxiotek8215", U2},
    {"Line7KR2", "TSL SSD 7KR2 512GB", {}, 32, "SmartMarvell", U3},
    {"Line7LB3", "TSL SSD 7LB3", {}, 34, "SmartIE", U2},
    {"Line7LC4", "TSL SSD 7LC4", {}, 35, "SmartIX", U2},
    {"Line7LD5", "TSL SSD 7LD5", {}, 36, "SmartJMicron607H", U1},
    {"Line7LF6", "TSL SSD 7LF6", {}, 33, "", U0},
    {"Line7LG7", "TSL SSD 7LG7", {}, 38, "Smart369", U2},
    {"Line7LH8", "TSL SSD 7LH8", {}, 34, "SmartIE", U2},
    {"Line7LJ9", "TSL SSD 7LJ9", {}, 37, "SmartJMicron607H", U1},
    // Hard disks.
    {"SeagateHardDisk", "ST4000DM000-1F2168", kHardDisk, 10, "Smart", U0, "", kC837},
    {"SeagateSsd", "ST240FN0021", kHardDisk, 10, "SmartSsd", U0, "", kC837, 1},
    {"SuperTalentNotSeagate", "STT_FTM28GX25H", kHardDisk, 0, "SmartSsd", U0},
    {"WdcHardDisk", "WDC WD5000AAKS-00TMA0", kHardDisk, 11, "Smart", U0, "", kC837},
    {"WdcSsdIsNotWdcFamily", "WDC WDS500G2B0A", kHardDisk, 0, "SmartSsd", U0, "", {}, 1},
    // Samsung commercial.
    {"Samsung850Pro", "Samsung SSD 850 PRO 256GB", {}, 65, "SmartSamsungComm", U1},
    {"Samsung860IsNotMjx", "Samsung SSD 860 EVO 500GB", {}, 65, "SmartSamsungComm", U1},
    {"Samsung860OemIsNotInTheList", "860 EVO", {}, 0, "Smart", U0},
    {"SamsungMz7lm", "SAMSUNG MZ7LM480HCHP-00003", {}, 66, "SmartSamsungComm", U1},
    {"Samsung470", "OEM SAMSUNG 470 Series SSD", {}, 65, "SmartSamsungComm", U1},
    // Phison.
    {"PhisonKingstonA400", "KINGSTON SA400S37240G", {}, 64, "SmartPhison", U3},
    {"PhisonKingstonUv300", "KINGSTON SUV300S37A120G", {}, 64, "SmartPhison", U3},
    {"PhisonKingstonRbuSm", "KINGSTON RBU-SMS151S3", {}, 63, "SmartPhison", U3},
    {"PhisonKingstonOther", "KINGSTON SKC310S3B", {}, 62, "SmartPhison", U3},
    {"PhisonGoodramC40", "GOODRAM C40", {}, 63, "SmartPhison", U3},
    {"PhisonGoodramCx100", "GOODRAM CX100", {}, 64, "SmartPhison", U3},
    {"PhisonSataSsd", "SATA SSD", {}, 62, "SmartPhison", U3},
    {"PhisonBeforeCorsair", "Corsair Neutron XT SSD", {}, 64, "SmartPhison", U3},
    {"PhisonBeforeToshiba", "TOSHIBA Q300", {}, 64, "SmartPhison", U3, "", {}, 1},
    {"PhisonBeforeJMicronSignature", "Patriot Blaze", kJMicron61x, 63, "SmartPhison", U3},
    // JMicron.
    {"JMicron61xKingston", "KINGSTON SSDNOW 64GB", kJMicron61x, 50, "SmartJMicron61x", U1},
    {"JMicron61xOther", "Some SSD", kJMicron61x, 4, "SmartJMicron61x", U1},
    {"JMicron61xBeforeKingstonSignature", "Any", kJMicron61x, 4, "SmartJMicron61x", U1},
    {"JMicron66xAdata600", "ADATA SP600", {}, 51, "SmartJMicron607H", U1},
    {"JMicron66xAdata310", "ADATA SP310", {}, 52, "SmartJMicron607H", U1},
    {"JMicron66xKingston", "KINGSTON SNV425S2128GB", {}, 50, "SmartJMicron607H", U1},
    {"JMicron66xApple", "APPLE SSD TS128C", {}, 52, "SmartJMicron607H", U1},
    {"JMicron66xInnerWord", "TS64GSSD25S-M", {}, 52, "SmartJMicron607H", U1},
    {"JMicron66xWordAtStartOnly", "GSSD25", {}, 0, "SmartSsd", U0},
    {"JMicron66xSignature", "Any", kJMicron66x, 52, "SmartJMicron607H", U1},
    // SandForce.
    {"SandForceVertex2", "OCZ-VERTEX2", kSandForce, 67, "SmartSandForce", U3},
    {"SandForceComay", "Comay BladeDrive E28 800GB", {}, 69, "SmartSandForce", U3},
    {"SandForceIntelW", "INTEL SSDSC2CW120A3", kSandForce, 68, "SmartSandForce", U2},
    {"SandForceIntelCt", "INTEL SSDSC2CT120A3", kSandForce, 68, "SmartSandForce", U2},
    {"SandForceIntelShortModel", "INTEL SSDSC2", kSandForce, 7, "SmartSandForce", U2},
    {"SandForceKingston", "KINGSTON SV300S37A120G", kSandForce, 68, "SmartSandForce", U3},
    {"SandForceCorsairWord", "Corsair CSSD - F60GB2", {}, 7, "SmartSandForce", U3},
    {"SandForceSignatureOnly", "Any", kSandForce, 7, "SmartSandForce", U3},
    // Plextor and LITE-ON.
    {"PlextorM5", "PLEXTOR PX-256M5S", {}, 54, "SmartPlextor", U2},
    {"PlextorM6BeforeG", "PLEXTOR PX-G256M6e", {}, 54, "SmartPlextor", U2},
    {"PlextorG", "PLEXTOR PX-G512", {}, 56, "SmartPlextor", U2},
    {"PlextorOtherPx", "PLEXTOR PX-128S2", {}, 57, "SmartPlextor", U2},
    {"PlextorNoPx", "PLEXTOR M2", {}, 12, "SmartPlextor", U2},
    {"LiteOn", "LITEON IT LCS-256", {}, 12, "SmartPlextor", U2},
    {"PlextorSignature", "Any", kPlextor, 12, "SmartPlextor", U2},
    // Intel.
    {"IntelX25M", "INTEL SSDSA2CW120G3", kIntel, 47, "SmartIntel", U2},
    {"IntelX25E", "INTEL SSDSA2BZ100G3", {}, 47, "SmartIntel", U2},
    {"IntelDc3700", "INTEL SSDSC2BA100G3", {}, 48, "SmartIntel", U2},
    {"IntelDc3700Large", "INTEL SSDSC2BA200G3", {}, 49, "SmartIntel", U2},
    {"IntelDc3500", "INTEL SSDSC2BX400G4", {}, 49, "SmartIntel", U2},
    {"IntelUnknownLineKeepsZero", "INTEL SSDSC2BA100G4", {}, 0, "SmartIntel", U2},
    {"IntelUnknownLineKeepsFamily",
     "INTEL SSDSC2BA100G4",
     {},
     5,
     "SmartIntel",
     U2,
     "",
     {},
     0,
     "",
     5},
    {"IntelShortModel", "INTEL SSDSC2", {}, 5, "SmartIntel", U2},
    {"IntelSignature", "Any", kIntel, 5, "SmartIntel", U2},
    // Micron.
    {"MicronMu02", "Any", kMicronMu02, 18, "SmartMicronMU02", U2},
    {"MicronCrucial", "Crucial_CT256MX100SSD1", {}, 54, "SmartMicron", U2},
    {"MicronC400", "C400-MTFDDAC128MAM", {}, 55, "SmartMicron", U2},
    {"MicronM4", "M4-CT128M4SSD2", {}, 55, "SmartMicron", U2},
    {"MicronCtSsd1", "CT250MX500SSD1", {}, 54, "SmartMicron", U2},
    {"MicronMtfddak", "MICRON_M500_MTFDDAK480MAV", {}, 59, "SmartMicron", U2},
    {"MicronM500", "M500SSD1", {}, 57, "SmartMicron", U2},
    {"MicronShpm", "Micron SHPM2280P2", {}, 61, "SmartMicron", U2},
    {"MicronSignature", "Any", kMicron, 54, "SmartMicron", U2},
    // OCZ.
    {"OczTrion", "OCZ-TRION100", {}, 9, "SmartOcz", U3},
    {"OczVertex4", "OCZ-VERTEX4", kOcz, 46, "SmartOcz", U3},
    {"OczWithoutSignatureIsVector", "OCZ-VERTEX3", {}, 14, "SmartOczVector", U3},
    {"OczVertex450", "OCZ-VERTEX450", {}, 45, "SmartOczVector", U3},
    {"Panasonic", "PANASONIC RP-SSB240GAK", {}, 14, "SmartOczVector", U3},
    {"OczVectorSignature", "Any", kOczVector, 14, "SmartOczVector", U3},
    // SanDisk.
    {"SanDisk", "SanDisk SDSSDHP128G", {0x05, 0x09}, 13, "SmartSanDisk", U3},
    {"SanDiskGb", "SanDisk SDSSDHP128G", {0x05, 0x09, 0xE9}, 13, "SmartSanDiskGb", U3},
    {"SanDiskMarvell9183", "SanDisk SD6PP4M-128G", {}, 56, "SmartSanDisk", U3},
    {"SanDiskUltraII", "SanDisk SDSSDHII240G", {}, 60, "SmartSanDisk", U3},
    // Kingston, Toshiba, Corsair, Realtek.
    {"KingstonSignature", "Any", kKingston, 17, "SmartKingston", U3},
    {"ToshibaSsd", "TOSHIBA THNSNJ256GCSU", {}, 15, "SmartToshiba", U0, "", {}, 1},
    {"ToshibaHardDisk", "TOSHIBA MQ01ABD100", kHardDisk, 0, "Smart", U0, "", kC837},
    {"CorsairGtx", "Corsair Neutron GTX SSD", {}, 53, "SmartCorsair", U3},
    {"Corsair", "Corsair Force GT", {}, 16, "SmartCorsair", U3},
    {"RealtekSignature", "Any", kRealtek, 20, "SmartRealtek", U3},
    // Samsung, early controllers.
    {"SamsungSignature", "Any", kSamsung, 6, "SmartSamsung", U1},
    {"SamsungSsdByName", "SAMSUNG MMCRE28G", {}, 6, "SmartSamsung", U1, "", {}, 1},
    {"SamsungHardDisk", "SAMSUNG HD501LJ", kHardDisk, 0, "Smart", U0, "", kC837},
    {"JMicron60x", "Any", kJMicron60x, 4, "SmartJMicron60x", U1},
    {"Indilinx", "Any", kIndilinx, 3, "SmartIndlinx", U3},
    {"MtronSingleAttribute", "Any", {0xBB}, 2, "SmartMtron", U0},
    {"MtronName", "MTRON MSP-SATA7035", {}, 2, "SmartMtron", U0},
    // No family: word 2 decides whether the IDENTIFY signatures are tried.
    {"NoFamilyHardDisk", "Any", kHardDisk, 0, "Smart", U0},
    {"NoFamilySsd", "Any", kHardDisk, 0, "SmartSsd", U0, "", {}, 1},
    {"IdentifyJmf667h",
     "Any",
     {},
     52,
     "SmartJMicron607H",
     U1,
     "",
     IdentifyWords(0x03F8, 0, 0x706B, 0x7409, 0x4163, {{234, 1}, {235, 0x0180}})},
    {"IdentifyJmf667hWrongExtra",
     "Any",
     {},
     0,
     "Smart",
     U0,
     "",
     IdentifyWords(0x03F8, 0, 0x706B, 0x7409, 0x4163, {{234, 1}, {235, 0x0181}})},
    {"IdentifyJmf670h",
     "Any",
     {},
     37,
     "SmartJMicron607H",
     U1,
     "",
     IdentifyWords(0x01FE, 0x0021, 0x0068, 0x5000, 0x4000)},
    {"IdentifyJm609",
     "Any",
     {},
     36,
     "SmartJMicron607H",
     U1,
     "",
     IdentifyWords(0x01F0, 0, 0x746B, 0x7D08, 0x4040)},
    {"IdentifyPs3110",
     "Any",
     {},
     64,
     "SmartPhison",
     U3,
     "",
     IdentifyWords(0x03F8, 0, 0x746B, 0x7D09, 0x4163)},
    {"IdentifyPs3109",
     "Any",
     {},
     63,
     "SmartPhison",
     U3,
     "",
     IdentifyWords(0x07F8, 0, 0x346B, 0x7D09, 0x6063, {{77, 0x0084}})},
    {"IdentifyPs3109Word77Zero",
     "Any",
     {},
     0,
     "Smart",
     U0,
     "",
     IdentifyWords(0x07F8, 0, 0x346B, 0x7D09, 0x6063, {{77, 0}})},
    {"IdentifyS8",
     "Any",
     {},
     62,
     "SmartPhison",
     U3,
     "",
     IdentifyWords(0x01F8, 0, 0x346B, 0x7D09, 0x6063, {{77, 0}})},
    {"IdentifyNoMatchSsd",
     "Any",
     {},
     0,
     "SmartSsd",
     U0,
     "",
     IdentifyWords(0x01F8, 0x42, 0x346B, 0x7F09, 0x6163),
     1},
};

class ClassifySmartFamilyTest : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(ClassifySmartFamilyTest, ReachesItsFamily) {
  const FamilyCase& c = GetParam();
  NullMachine machine;
  ATA_SMART_INFO asi = machine.Ata.NewRecord();
  asi.Model = c.Model;
  asi.SerialNumber = c.Serial;
  asi.IsSsd = c.IsSsd;
  asi.DiskVendorId = c.PreviousFamily;
  SetAttributeIds(asi, c.AttributeIds);
  SetSmartText(asi, c.SmartText);
  for (const auto& [word, value] : c.IdentifyWords) SetWord(asi, word, value);
  asi.HostReadsWritesUnit = 4;  // the classifier starts from no unit

  machine.Ata.ClassifySmartFamily(asi);

  EXPECT_EQ(asi.DiskVendorId, c.Family);
  EXPECT_EQ(asi.SmartKeyName, c.Key);
  EXPECT_EQ(asi.HostReadsWritesUnit, c.Unit);
  const std::string controller =
      c.Family == FAMILY_UNKNOWN ? "Unknown" : std::string(FamilyControllerText(c.Family));
  EXPECT_EQ(asi.Controller, controller);
}

INSTANTIATE_TEST_SUITE_P(Order, ClassifySmartFamilyTest, ::testing::ValuesIn(kFamilyCases),
                         [](const auto& p) { return std::string(p.param.Name); });

}  // namespace

namespace {

// Everything the classifier writes besides family, key and unit.
TEST(ClassifySmartFamily, SmiSettingsReadTheFormFactorBeforeRaisingTheSupportLevel) {
  NullMachine machine;
  ATA_SMART_INFO asi = machine.Ata.NewRecord();
  asi.Model = "TSL SSD";
  asi.SerialNumber = "171225B0000000000000";  // letter 6 'B' is form factor 2
  asi.VendorSpecificText = "XN";              // letter 1 'N' would be 12
  asi.SupportLevel = SUPPORT_SERIAL;
  SetAttributeIds(asi, {0x01, 0x09, 0xA9});
  SetSmartText(asi, "SM2246EN");

  machine.Ata.ClassifySmartFamily(asi);

  EXPECT_EQ(asi.FormFactorCode, 2);
  EXPECT_EQ(asi.SupportLevel, SUPPORT_CONTROLLER);
  EXPECT_EQ(asi.TemperatureGrade, 2);
  EXPECT_EQ(asi.IsSsd, 1);
}

TEST(ClassifySmartFamily, FlagsAndLevelsByFamily) {
  struct Case {
    const char* Model;
    std::vector<uint8_t> Ids;
    std::string Text;
    int32_t SupportLevel, IsSsd, IsEarly, IsSandForce, FlashType, Grade;
  };
  const Case cases[] = {
      {"Any", {0x01}, "SM2256", 5, 1, 0, 0, 1, 0},  // SupportLevel 5 but no grade
      {"Any", {0x01}, "SM9999", 5, 1, 0, 0, 1, 0},
      {"TSL SSD 7KP1", {}, "", 4, 1, 0, 0, 2, 0},
      {"TSL SSD 7KR2", {}, "", 4, 1, 0, 0, 2, 0},
      {"TSL SSD 7LB3", {}, "", 4, 1, 0, 0, 1, 0},
      {"OCZ-VERTEX2", {0x01, 0x05, 0x09, 0x0C, 0xAB, 0xAC}, "", 0, 1, 0, 1, 1, 0},
      {"Any", {0x0C, 0x09, 0xC2, 0xE5, 0xE8, 0xE9}, "", 0, 1, 1, 0, 1, 0},
      {"Any", {0x01, 0x09, 0x0C, 0xB8, 0xC3, 0xC4}, "", 0, 1, 1, 0, 1, 0},
      {"Any", {0x01, 0x02, 0x03, 0x05, 0x07, 0x08, 0x09, 0x0A, 0x0C, 0xA8}, "", 0, 0, 0, 0, 1, 0},
      {"INTEL SSDSA2CW120G3", {}, "", 5, 1, 0, 0, 1, 0},
      {"ST4000DM000", {}, "", 0, 0, 0, 0, 1, 0},
  };
  for (const Case& c : cases) {
    NullMachine machine;
    ATA_SMART_INFO asi = machine.Ata.NewRecord();
    asi.Model = c.Model;
    SetAttributeIds(asi, c.Ids);
    SetSmartText(asi, c.Text);
    machine.Ata.ClassifySmartFamily(asi);
    EXPECT_EQ(asi.SupportLevel, c.SupportLevel) << c.Model;
    EXPECT_EQ(asi.IsSsd, c.IsSsd) << c.Model;
    EXPECT_EQ(asi.IsEarlyController, c.IsEarly) << c.Model;
    EXPECT_EQ(asi.IsSandForce, c.IsSandForce) << c.Model;
    EXPECT_EQ(asi.FlashType, c.FlashType) << c.Model;
    EXPECT_EQ(asi.TemperatureGrade, c.Grade) << c.Model;
  }
}

TEST(ClassifySmartFamily, TheMakersLevelIsKeptByFamiliesThatDoNotRaiseIt) {
  NullMachine machine;
  ATA_SMART_INFO asi = machine.Ata.NewRecord();
  asi.Model = "SSD Smartbuy 240";
  asi.SupportLevel = SUPPORT_SERIAL_M;
  machine.Ata.ClassifySmartFamily(asi);
  EXPECT_EQ(asi.DiskVendorId, FAMILY_PHISON_PS3109);
  EXPECT_EQ(asi.SupportLevel, SUPPORT_SERIAL_M);
}

TEST(GetModelTableFamily, FirstCodeFoundAnywhereInTheModel) {
  ATA_SMART_INFO asi;
  const std::pair<const char*, int32_t> cases[] = {
      {"SSD 7KP1", 31},         {"X SSD 7LJ9 SSD 7KP1", 31},
      {"TSL SSD 7LF6 1TB", 33}, {"SSD7KP1", 0},
      {"ssd 7kp1", 0},          {"", 0},
      {"TSL SSD 7LH8 2TB", 34},
  };
  for (const auto& [model, family] : cases) {
    asi.Model = model;
    EXPECT_EQ(CAtaSmart::GetModelTableFamily(asi), family) << model;
  }
}

TEST(FamilyControllerText, EveryNumberHasATextOrNone) {
  EXPECT_EQ(FamilyControllerText(0), "Unknown");
  EXPECT_EQ(FamilyControllerText(1), "Unknown");
  EXPECT_EQ(FamilyControllerText(FAMILY_NVME), "NVMe");
  EXPECT_EQ(FamilyControllerText(FAMILY_MARVELL_88NV1120), "Marvell 88NV1120");
  EXPECT_EQ(FamilyControllerText(FAMILY_TOSHIBA_TC358790XBG), "TC358790XBG");
  EXPECT_EQ(FamilyControllerText(74), "");
  EXPECT_EQ(FamilyControllerText(119), "");
  EXPECT_EQ(FamilyControllerText(FAMILY_NVME_INTEL_CH29AE41AB0), "Intel CH29AE41AB0");
  EXPECT_EQ(FamilyControllerText(FAMILY_NVME_MARVELL_88NV1120), "Marvell 88NV1120");
  EXPECT_EQ(FamilyControllerText(128), "");
  EXPECT_EQ(FamilyControllerText(-1), "");
}

// ---- figures re-derived once the family is known ----

ATA_SMART_INFO Classified(const char* model,
                          std::initializer_list<std::pair<uint8_t, uint64_t>> raw,
                          const std::string& smartText = "",
                          std::initializer_list<std::pair<uint8_t, uint8_t>> current = {}) {
  NullMachine machine;
  ATA_SMART_INFO asi = machine.Ata.NewRecord();
  asi.Model = model;
  std::vector<uint8_t> ids;
  for (const auto& [id, value] : raw) ids.push_back(id);
  SetAttributeIds(asi, ids);
  for (const auto& [id, value] : raw) SetRaw(Entry(asi, id), value);
  for (const auto& [id, value] : current) Entry(asi, id).CurrentValue = value;
  SetSmartText(asi, smartText);
  asi.TotalDiskSize = 122104;  // MB
  machine.Ata.ClassifySmartFamily(asi);
  return asi;
}

TEST(RederiveSmartFigures, IntelX25MCountsHostWritesIn32MbUnits) {
  // Attribute E1 and F1 count 32 MiB units on this line: 820 units are 25 GB.
  ATA_SMART_INFO asi = Classified("INTEL SSDSA2CW120G3",
                                  {{0x03, 0},
                                   {0x04, 0},
                                   {0x05, 0},
                                   {0x09, 45},
                                   {0x0C, 14},
                                   {0xAA, 0},
                                   {0xAB, 0},
                                   {0xAC, 0},
                                   {0xE1, 820},
                                   {0xE8, 0},
                                   {0xE9, 0},
                                   {0xF1, 820},
                                   {0xF2, 4634}},
                                  "", {{0xE9, 97}});
  ASSERT_EQ(asi.DiskVendorId, FAMILY_INTEL_PC29AS21BA0);
  EXPECT_EQ(asi.HostWrites, 25);
  EXPECT_EQ(asi.HostReads, 144);
  EXPECT_EQ(asi.Life, 97);
}

TEST(RederiveSmartFigures, JMicronEraseCountFromRawBytesTwoAndThree) {
  ATA_SMART_INFO asi = Classified("KINGSTON SSDNOW 64GB", {{0x01, 0},
                                                           {0x02, 0},
                                                           {0x03, 0},
                                                           {0x05, 0},
                                                           {0x07, 0},
                                                           {0x08, 0},
                                                           {0x09, 0},
                                                           {0x0A, 0},
                                                           {0x0C, 0},
                                                           {0xA8, 0},
                                                           {0xAF, 0},
                                                           {0xC0, 0},
                                                           {0xC2, 0},
                                                           {0xA7, 77},
                                                           {0xAD, 0x05DC0000}});
  ASSERT_EQ(asi.DiskVendorId, FAMILY_JMICRON_JMF618);
  EXPECT_EQ(asi.AverageEraseCount, 1500);  // A7 is not read on this family
  EXPECT_EQ(asi.Life, -1);                 // no life from AD at classification
}

TEST(RederiveSmartFigures, MicronWearAndNandWrites) {
  ATA_SMART_INFO asi = Classified(
      "Crucial_CT256MX100SSD1",
      {{0x01, 0}, {0xAD, 321}, {0xCA, 0}, {0xF5, uint64_t{10} << 17}, {0xF6, uint64_t{5} << 21}},
      "", {{0xCA, 92}});
  ASSERT_EQ(asi.DiskVendorId, FAMILY_MARVELL_88SS9174);
  EXPECT_EQ(asi.WearLevelingCount, 321);
  EXPECT_EQ(asi.AverageEraseCount, 321);
  EXPECT_EQ(asi.Life, 92);
  EXPECT_EQ(asi.NandWrites, 10);
  EXPECT_EQ(asi.HostWrites, 5);
  EXPECT_FLOAT_EQ(asi.WriteAmplification, 2.0f);
}

TEST(RederiveSmartFigures, SmiLifeIsRawByteZero) {
  ATA_SMART_INFO asi = Classified("Any", {{0x01, 0}, {0xA9, 0x0163}}, "SM2246EN");
  EXPECT_EQ(asi.Life, 0x63);
}

TEST(RederiveSmartFigures, SageLifeRefinedFromHostWrites) {
  // Not a SAGE disk: no family, no figures.
  ATA_SMART_INFO asi = Classified("Any", {{0xE8, 90}, {0xF1, 10000}}, "");
  EXPECT_EQ(asi.Life, -1);
  // E8 says 90; 122104 MB x 3000 rated, 10000 GB written: the 2x estimate
  // (100 x (T - 2W) / T = 94.4) lies within ten points above and wins.
  NullMachine machine;
  ATA_SMART_INFO sage = machine.Ata.NewRecord();
  sage.Model = "Any";
  sage.SerialNumber = "SS13-1";
  SetAttributeIds(sage, {0xE8, 0xF1});
  SetRaw(Entry(sage, 0xE8), 90);
  SetRaw(Entry(sage, 0xF1), 10000);
  sage.TotalDiskSize = 122104;
  machine.Ata.ClassifySmartFamily(sage);
  ASSERT_EQ(sage.DiskVendorId, FAMILY_SAGE);
  EXPECT_EQ(sage.HostWrites, 10000);
  EXPECT_EQ(sage.Life, 94);
}

TEST(RederiveSmartFigures, RealtekNandWritesAddF9AndFa) {
  ATA_SMART_INFO asi = Classified("Any", {{0x01, 0},
                                          {0x05, 0},
                                          {0x09, 0},
                                          {0x0C, 0},
                                          {0xA1, 0},
                                          {0xA2, 0},
                                          {0xA3, 0},
                                          {0xA4, 0},
                                          {0xA6, 0},
                                          {0xA7, 0},
                                          {0xF1, 300},
                                          {0xF9, 400},
                                          {0xFA, 50}});
  ASSERT_EQ(asi.DiskVendorId, FAMILY_REALTEK);
  EXPECT_EQ(asi.HostWrites, 300);
  EXPECT_EQ(asi.NandWrites, 450);
  EXPECT_FLOAT_EQ(asi.WriteAmplification, 1.5f);
}

TEST(RederiveSmartFigures, NoFamilyStopsBeforeTheFigures) {
  // Unit 0 and no family: F1 would be left alone anyway, but the write
  // amplification step must not run either.
  NullMachine machine;
  ATA_SMART_INFO asi = machine.Ata.NewRecord();
  asi.Model = "Any";
  SetAttributeIds(asi, {0x09, 0xF1});
  asi.HostWrites = 100;
  asi.NandWrites = 300;
  machine.Ata.ClassifySmartFamily(asi);
  EXPECT_EQ(asi.DiskVendorId, FAMILY_UNKNOWN);
  EXPECT_FLOAT_EQ(asi.WriteAmplification, 0.0f);
}

TEST(ComputeWriteAmplification, FromEraseCountWhenNoNandWrites) {
  ATA_SMART_INFO asi;
  asi.HostWrites = 1000;
  asi.NandWrites = -1;
  asi.TotalDiskSize = 100000;
  asi.HostReadsWritesUnit = HOST_READS_WRITES_GB;
  asi.AverageEraseCount = 20;
  EXPECT_FLOAT_EQ(ComputeWriteAmplification(asi), 2.0f);  // 20 x 100000 / 1000000
  asi.AverageEraseCount = 10;                             // small counts get half a cycle added
  EXPECT_FLOAT_EQ(ComputeWriteAmplification(asi), 1.05f);
  asi.AverageEraseCount = ERASE_COUNT_UNKNOWN;
  EXPECT_FLOAT_EQ(ComputeWriteAmplification(asi), 0.0f);
  asi.AverageEraseCount = 20;
  asi.HostReadsWritesUnit = HOST_READS_WRITES_NONE;
  EXPECT_FLOAT_EQ(ComputeWriteAmplification(asi), 0.0f);
  asi.HostWrites = 0;
  asi.NandWrites = 50;
  EXPECT_FLOAT_EQ(ComputeWriteAmplification(asi), 0.0f);
}

}  // namespace
