// Synthetic disks, one or more per family test the real disks do not reach,
// written as the sectors a disk returns: fixtures/families/<name>/ holds
// identify.bin, smart_data.bin and smart_thresholds.bin of each, and the
// folder as a whole is a machine without a manifest.
//
// The table below is the source of the files. The test checks that the
// files on disk are exactly what the table builds and that each disk lands
// in its family; run it with STAVRION_WRITE_FIXTURES=1 to write the files
// (and the README) after changing the table.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "engine/AtaSmart.h"
#include "engine/DiskStatus.h"
#include "engine/SmartFamily.h"
#include "tests/support/FamilyTestSupport.h"

using namespace testutil;

namespace {

using Sector = std::array<uint8_t, 512>;

struct Attr {
  uint8_t Id;
  uint8_t Current;
  uint8_t Threshold;
  uint64_t Raw = 0;
};

struct Word {
  size_t Index;
  uint16_t Value;
};

struct FixtureDisk {
  const char* Name;
  const char* Rule;  // the README line: what this disk exercises
  std::string Model;
  std::string Serial;
  std::vector<Attr> Attrs;
  int32_t Family;
  const char* Key;
  int32_t Status;  // after admission's classification, before any refresh
  std::string SmartText = "";
  std::vector<Word> Words = {};
  std::string VendorText = "";
  bool Ssd = true;
};

// ---- sector builders ----

void PutWord(Sector& s, size_t word, uint16_t value) {
  s[word * 2] = static_cast<uint8_t>(value & 0xFF);
  s[word * 2 + 1] = static_cast<uint8_t>(value >> 8);
}

// ATA strings: two characters per word, the first in the high byte.
void PutText(Sector& s, size_t firstWord, size_t words, const std::string& text, char pad) {
  for (size_t k = 0; k < words * 2; ++k) {
    char c = k < text.size() ? text[k] : pad;
    s[firstWord * 2 + (k ^ 1)] = static_cast<uint8_t>(c);
  }
}

void Seal(Sector& s) {  // byte 511 makes the sector sum to 0
  uint8_t sum = 0;
  for (size_t k = 0; k < 511; ++k) sum = static_cast<uint8_t>(sum + s[k]);
  s[511] = static_cast<uint8_t>(0x100 - sum);
}

constexpr uint64_t kSectors = 250069680;  // 128 GB

Sector Identify(const FixtureDisk& d) {
  Sector s{};
  PutWord(s, 0, 0x0040);
  PutWord(s, 1, 16383);
  PutWord(s, 2, 0xC837);
  PutWord(s, 3, 16);
  PutWord(s, 6, 63);
  PutText(s, 10, 10, d.Serial, ' ');
  PutText(s, 23, 4, "FW1.0", ' ');
  PutText(s, 27, 20, d.Model, ' ');
  PutWord(s, 47, 0x8010);
  PutWord(s, 49, 0x2F00);
  PutWord(s, 53, 0x0007);
  PutWord(s, 60, 0xFFFF);
  PutWord(s, 61, 0x0FFF);
  PutWord(s, 63, 0x0007);
  PutWord(s, 64, 0x0003);
  PutWord(s, 76, 0x010E);  // SATA 1.5, 3 and 6 Gb/s, NCQ
  PutWord(s, 80, 0x01F0);
  PutWord(s, 81, 0x0028);
  PutWord(s, 82, 0x746B);  // S.M.A.R.T. supported
  PutWord(s, 83, 0x7D09);
  PutWord(s, 84, 0x6163);
  PutWord(s, 85, 0x7469);
  PutWord(s, 86, 0xBC01);
  PutWord(s, 87, 0x6163);
  PutWord(s, 88, 0x407F);
  PutWord(s, 100, static_cast<uint16_t>(kSectors & 0xFFFF));
  PutWord(s, 101, static_cast<uint16_t>((kSectors >> 16) & 0xFFFF));
  PutWord(s, 106, 0x4000);
  PutWord(s, 168, 3);
  if (!d.VendorText.empty()) PutText(s, 129, 31, d.VendorText, '\0');
  PutWord(s, 169, d.Ssd ? 1 : 0);
  PutWord(s, 217, d.Ssd ? 1 : 7200);
  for (const Word& w : d.Words) PutWord(s, w.Index, w.Value);
  PutWord(s, 255, 0x00A5);
  Seal(s);
  return s;
}

Sector SmartData(const FixtureDisk& d) {
  Sector s{};
  PutWord(s, 0, 0x0010);
  size_t at = 2;
  for (const Attr& a : d.Attrs) {
    s[at] = a.Id;
    s[at + 1] = 0x32;  // status flags: the families do not look at them
    s[at + 2] = 0x00;
    s[at + 3] = a.Current;
    s[at + 4] = a.Current;
    for (int k = 0; k < 6; ++k) s[at + 5 + k] = static_cast<uint8_t>(a.Raw >> (8 * k));
    at += 12;
  }
  s[362] = 0x82;
  s[367] = 0x7B;
  PutWord(s, 184, 0x0003);  // bytes 368-369: capabilities
  s[370] = 0x01;
  for (size_t k = 0; k < d.SmartText.size() && k < 10; ++k) {
    s[400 + k] = static_cast<uint8_t>(d.SmartText[k]);
  }
  Seal(s);
  return s;
}

Sector SmartThresholds(const FixtureDisk& d) {
  Sector s{};
  PutWord(s, 0, 0x0010);
  size_t at = 2;
  for (const Attr& a : d.Attrs) {
    s[at] = a.Id;
    s[at + 1] = a.Threshold;
    at += 12;
  }
  Seal(s);
  return s;
}

// ---- attribute tables ----

const std::vector<Attr> kSmi = {
    {0x01, 100, 50},      {0x05, 100, 10},      {0x09, 100, 0, 1234}, {0x0C, 100, 0, 321},
    {0xA1, 100, 10, 120}, {0xA7, 100, 0, 45},   {0xA9, 100, 10, 95},  {0xC2, 100, 0, 35},
    {0xC7, 100, 0},       {0xF1, 100, 0, 3200}, {0xF2, 100, 0, 6400}, {0xF5, 100, 0, 4800},
};

std::vector<Attr> With(std::vector<Attr> base, std::initializer_list<Attr> changes) {
  for (const Attr& c : changes) {
    bool replaced = false;
    for (Attr& a : base) {
      if (a.Id == c.Id) {
        a = c;
        replaced = true;
      }
    }
    if (!replaced) base.push_back(c);
  }
  return base;
}

const std::vector<Attr> kGeneric = {
    {0x01, 100, 50},    {0x05, 100, 10},      {0x09, 100, 0, 2345}, {0x0C, 100, 0, 456},
    {0xC2, 100, 0, 33}, {0xF1, 100, 0, 5000}, {0xF2, 100, 0, 7000},
};

}  // namespace

namespace {

// Serial numbers in the maker's form start with the date as YYMMDD.
const FixtureDisk kDisks[] = {
    {"smi-sm2246en",
     "SMART text \"SM2246EN\" at offset 400 (test 1); serial \"M\" form gives level 3, form-factor "
     "letter 11 'C' is code 3; SMI settings raise the level to 5 and the grade to 2",
     "GENERIC SATA3 SSD 120GB",
     "M1805170000C000000001",
     kSmi,
     21,
     "SmartIE",
     DISK_STATUS_GOOD,
     "SM2246EN",
     {},
     "TSL"},
    {"smi-sm2246xt", "SMART text \"SMI2246XT\" (test 2); A9 raw byte 0 is the life",
     "GENERIC SSD 240GB", "SYN0002", kSmi, 22, "SmartIX", DISK_STATUS_GOOD, "SMI2246XT"},
    {"smi-sm2258", "SMART text \"SM2258\" (test 3); life 60 is caution on a life-rated family",
     "GENERIC SSD 480GB", "SYN0003", With(kSmi, {{0xA9, 100, 10, 60}}), 26, "Smart369",
     DISK_STATUS_CAUTION, "SM2258G"},
    {"smi-sm2256", "SMART text \"SM2256\" (test 4): level 5 without the SMI grade",
     "GENERIC SSD 256GB", "SYN0004", kSmi, 70, "SmartIE", DISK_STATUS_GOOD, "SM2256K"},
    {"smi-sm2236",
     "SMART text \"SMI2236\" (test 5); life-rated but no attribute gives this family a life: "
     "unknown",
     "GENERIC SSD 60GB", "SYN0005", kSmi, 23, "SmartP60", DISK_STATUS_UNKNOWN, "SMI2236"},
    {"sage-686",
     "serial number contains \"SS13-\" (SAGE test, 6); E8 raw 88 refined by 5000 GB of host "
     "writes to 97",
     "GENERIC SSD 128GB",
     "SS13-0006",
     {{0x09, 100, 0, 999},
      {0x0C, 100, 0, 77},
      {0xC2, 100, 0, 40},
      {0xE8, 100, 0, 88},
      {0xF1, 100, 0, 5000}},
     25,
     "Smart563",
     DISK_STATUS_GOOD},
    {"smi-other", "SMART text holding \"SM\" only (test 7)", "GENERIC SSD 512GB", "SYN0007", kSmi,
     29, "SmartIE", DISK_STATUS_GOOD, "SM2259XT"},
    {"line-7kp1",
     "model line \"SSD 7KP1\" (test 8): family 31, rated for 500 cycles (flash type 2); serial in "
     "the maker's plain form gives level 2 first",
     "TSL SSD 7KP1 240GB", "18051700000000000008", kSmi, 31, "SmartMaxiotek8215", DISK_STATUS_GOOD},
    {"line-7kr2", "model line \"SSD 7KR2\" (test 8); CA current 98 is the life",
     "TSL SSD 7KR2 480GB", "SYN0009", With(kGeneric, {{0xCA, 98, 0}}), 32, "SmartMarvell",
     DISK_STATUS_GOOD},
    {"line-7lb3",
     "model line \"SSD 7LB3\" (test 8); part number \"MT3S00000000S\" in words 129-159 gives "
     "level 1 before the model table raises it to 4",
     "TSL SSD 7LB3 120GB",
     "18060100000000000010",
     kSmi,
     34,
     "SmartIE",
     DISK_STATUS_GOOD,
     "",
     {},
     "MT3S00000000S"},
    {"line-7ld5", "model line \"SSD 7LD5\" (test 8); E7 current 97 is the life",
     "TSL SSD 7LD5 256GB", "SYN0011", With(kGeneric, {{0xAD, 100, 0, 0x005A0000}, {0xE7, 97, 0}}),
     36, "SmartJMicron607H", DISK_STATUS_GOOD},
    {"line-7lf6",
     "model line \"SSD 7LF6\" (test 8): no attribute-name section, every name is the vendor "
     "text",
     "TSL SSD 7LF6 1TB", "SYN0012", kGeneric, 33, "", DISK_STATUS_GOOD},
    {"line-7lg7", "model line \"SSD 7LG7\" (test 8)", "TSL SSD 7LG7 240GB", "SYN0013", kSmi, 38,
     "Smart369", DISK_STATUS_GOOD},
    {"line-7lj9",
     "model line \"SSD 7LJ9\" (test 8); its life comes from AD at the first refresh, so it is "
     "unknown at admission",
     "TSL SSD 7LJ9 128GB", "SYN0014", With(kGeneric, {{0xAD, 100, 0, 0x005A0000}}), 37,
     "SmartJMicron607H", DISK_STATUS_UNKNOWN},
    {"samsung-850-pro", "Samsung commercial model list (test 11); B1 current 99 is the life",
     "Samsung SSD 850 PRO 256GB", "SYN0015",
     With(kGeneric, {{0xB1, 99, 0, 12}, {0xB3, 100, 10}, {0xBB, 100, 0}}), 65, "SmartSamsungComm",
     DISK_STATUS_GOOD},
    {"samsung-mz7lm", "\"SAMSUNG MZ7LM\" is family 66 (test 11); B1 current 5 is caution",
     "SAMSUNG MZ7LM480HCHP-00003", "SYN0016", With(kGeneric, {{0xB1, 5, 0, 2900}}), 66,
     "SmartSamsungComm", DISK_STATUS_CAUTION},
    {"phison-kingston-a400", "Phison list, Kingston model with \"SA400S\" (test 12)",
     "KINGSTON SA400S37240G", "SYN0017", kGeneric, 64, "SmartPhison", DISK_STATUS_UNKNOWN},
    {"phison-goodram-c40", "Phison list, \"GOODRAM C40\" (test 12)", "GOODRAM C40", "SYN0018",
     kGeneric, 63, "SmartPhison", DISK_STATUS_UNKNOWN},
    {"phison-sata-ssd", "Phison list, \"SATA SSD\" (test 12)", "SATA SSD", "SYN0019", kGeneric, 62,
     "SmartPhison", DISK_STATUS_UNKNOWN},
    {"jmicron-61x",
     "JMicron 61x attribute signature (test 13)",
     "GENERIC 64GB",
     "SYN0020",
     {{0x01, 100, 50},
      {0x02, 100, 50},
      {0x03, 100, 50},
      {0x05, 100, 10},
      {0x07, 100, 50},
      {0x08, 100, 50},
      {0x09, 100, 0, 600},
      {0x0A, 100, 50},
      {0x0C, 100, 0, 90},
      {0xA8, 100, 0},
      {0xAF, 100, 0},
      {0xC0, 100, 0},
      {0xC2, 100, 0, 30},
      {0xAA, 96, 0},
      {0xAD, 100, 0, 0x00200000}},
     4,
     "SmartJMicron61x",
     DISK_STATUS_UNKNOWN},
    {"jmicron-66x-adata", "JMicron 66x model list, \"ADATA SP600\" (test 14)", "ADATA SP600",
     "SYN0021", kGeneric, 51, "SmartJMicron607H", DISK_STATUS_UNKNOWN},
    {"sandforce-vertex2",
     "SandForce signature with \"OCZ-VERTEX2\" (test 15, before the OCZ tests)",
     "OCZ-VERTEX2",
     "SYN0022",
     {{0x01, 100, 50},
      {0x05, 100, 3},
      {0x09, 100, 0, 700},
      {0x0C, 100, 0, 80},
      {0xAB, 100, 0},
      {0xAC, 100, 0},
      {0xC2, 100, 0, 30},
      {0xE7, 96, 10},
      {0xF1, 100, 0, 900}},
     67,
     "SmartSandForce",
     DISK_STATUS_UNKNOWN},
    {"sandforce-intel",
     "SandForce signature with \"INTEL SSDSC2CW\" (character 13 'W', test 15): unit 2",
     "INTEL SSDSC2CW120A3",
     "SYN0023",
     {{0x01, 100, 50},
      {0x05, 100, 3},
      {0x09, 100, 0, 700},
      {0x0C, 100, 0, 80},
      {0xAB, 100, 0},
      {0xAC, 100, 0},
      {0xE1, 100, 0, 1600},
      {0xF1, 100, 0, 1600}},
     68,
     "SmartSandForce",
     DISK_STATUS_UNKNOWN},
    {"plextor-m5", "\"PLEXTOR PX-\" with \"M5\" (test 16)", "PLEXTOR PX-256M5S", "SYN0024",
     With(kGeneric, {{0xCA, 97, 0}}), 54, "SmartPlextor", DISK_STATUS_UNKNOWN},
    {"intel-dc-s3700", "Intel rule: \"INTEL SSDSC2BA\", characters 17-18 \"G3\" (test 17)",
     "INTEL SSDSC2BA100G3", "SYN0025", With(kGeneric, {{0xE9, 98, 0}, {0xF1, 100, 0, 3200}}), 48,
     "SmartIntel", DISK_STATUS_GOOD},
    {"intel-worn",
     "\"INTEL\" model of no known line is family 5 (test 17); E8 current 9 is caution",
     "INTEL SSDMAEMC080G2", "SYN0026",
     With(kGeneric, {{0xE1, 100, 0, 3200}, {0xE8, 9, 0}, {0xE9, 95, 0}}), 5, "SmartIntel",
     DISK_STATUS_CAUTION},
    {"micron-mu02",
     "Micron MU02 attribute signature (test 18)",
     "GENERIC MU02 256GB",
     "SYN0027",
     {{0x01, 100, 50},
      {0x05, 100, 10},
      {0x09, 100, 0, 100},
      {0x0C, 100, 0, 10},
      {0xA0, 100, 0},
      {0xA1, 100, 0, 50},
      {0xA3, 100, 0},
      {0x94, 100, 0},
      {0x95, 100, 0},
      {0x96, 100, 0},
      {0x97, 100, 0},
      {0xA9, 93, 0},
      {0xC2, 100, 0, 31}},
     18,
     "SmartMicronMU02",
     DISK_STATUS_UNKNOWN},
    {"crucial-m4", "Micron test, \"M4-CT\" (test 19)", "M4-CT128M4SSD2", "SYN0028",
     With(kGeneric, {{0xAD, 100, 0, 40}, {0xCA, 99, 0}}), 55, "SmartMicron", DISK_STATUS_UNKNOWN},
    {"crucial-mx100", "Micron test, upper-cased \"CRUCIAL\" (test 19)", "Crucial_CT256MX100SSD1",
     "SYN0029", With(kGeneric, {{0xAD, 100, 0, 40}, {0xCA, 99, 0}}), 54, "SmartMicron",
     DISK_STATUS_UNKNOWN},
    {"ocz-trion", "OCZ test, \"OCZ-TRION\" (test 20)", "OCZ-TRION100", "SYN0030",
     With(kGeneric, {{0xE9, 95, 0}}), 9, "SmartOcz", DISK_STATUS_UNKNOWN},
    {"ocz-vertex450", "OCZ Vector test, \"OCZ-VERTEX450\" (test 21)", "OCZ-VERTEX450", "SYN0031",
     With(kGeneric, {{0xE9, 95, 0}}), 45, "SmartOczVector", DISK_STATUS_UNKNOWN},
    {"sandisk-ultra2", "\"SanDisk\" with attribute E9 (test 22): the GB names, family 60",
     "SanDisk SDSSDHII240G", "SYN0032", With(kGeneric, {{0xE9, 100, 0, 5100}}), 60,
     "SmartSanDiskGb", DISK_STATUS_UNKNOWN},
    {"kingston-signature",
     "Kingston attribute signature (test 23)",
     "KINGSTON SKC1000",
     "SYN0033",
     {{0x01, 100, 50},
      {0x02, 100, 50},
      {0x03, 100, 50},
      {0x05, 100, 10},
      {0x07, 100, 50},
      {0x08, 100, 50},
      {0x09, 100, 0, 400},
      {0x0A, 100, 50},
      {0x0C, 100, 0, 40},
      {0xA8, 100, 0},
      {0xC2, 100, 0, 36},
      {0xE7, 99, 0}},
     17,
     "SmartKingston",
     DISK_STATUS_UNKNOWN},
    {"toshiba-ssd", "\"TOSHIBA\" model on an SSD (test 24)", "TOSHIBA THNSNJ256GCSU", "SYN0034",
     kGeneric, 15, "SmartToshiba", DISK_STATUS_UNKNOWN},
    {"corsair-neutron-gtx", "\"Corsair Neutron GTX\" (test 25)", "Corsair Neutron GTX SSD",
     "SYN0035", With(kGeneric, {{0xE7, 97, 0}}), 53, "SmartCorsair", DISK_STATUS_UNKNOWN},
    {"realtek-bad",
     "Realtek attribute signature (test 26); read error rate below its threshold is bad",
     "GENERIC RTS 128GB",
     "SYN0036",
     {{0x01, 40, 50},
      {0x05, 100, 10},
      {0x09, 100, 0, 3000},
      {0x0C, 100, 0, 120},
      {0xA1, 100, 0, 80},
      {0xA2, 100, 0},
      {0xA3, 100, 0},
      {0xA4, 100, 0},
      {0xA6, 100, 0},
      {0xA7, 100, 0, 30},
      {0xA9, 96, 0},
      {0xC2, 100, 0, 38},
      {0xF1, 100, 0, 800},
      {0xF9, 100, 0, 900},
      {0xFA, 100, 0, 100}},
     20,
     "SmartRealtek",
     DISK_STATUS_BAD},
    {"samsung-signature",
     "Samsung attribute signature (test 27); B1 current 97 is the life",
     "GENERIC MLC 64GB",
     "SYN0037",
     {{0x09, 100, 0, 8000},
      {0x0C, 100, 0, 900},
      {0xB1, 97, 0, 150},
      {0xB2, 100, 10},
      {0xB3, 100, 10},
      {0xB4, 100, 10},
      {0xB7, 100, 10},
      {0xBB, 100, 0},
      {0xC2, 100, 0, 32}},
     6,
     "SmartSamsung",
     DISK_STATUS_GOOD},
    {"jmicron-60x",
     "JMicron 60x attribute signature (test 28): an early controller",
     "GENERIC 32GB",
     "SYN0038",
     {{0x0C, 100, 0, 55},
      {0x09, 100, 0, 600},
      {0xC2, 100, 0, 30},
      {0xE5, 100, 0},
      {0xE8, 100, 0},
      {0xE9, 100, 0}},
     4,
     "SmartJMicron60x",
     DISK_STATUS_UNKNOWN},
    {"indilinx",
     "Indilinx attribute signature (test 29); no temperature attribute",
     "FALCON 64GB",
     "SYN0039",
     {{0x01, 100, 0},
      {0x09, 100, 0, 500},
      {0x0C, 100, 0, 50},
      {0xB8, 100, 0},
      {0xC3, 100, 0},
      {0xC4, 100, 0},
      {0xD0, 100, 0, 20},
      {0xD1, 97, 0}},
     3,
     "SmartIndlinx",
     DISK_STATUS_UNKNOWN},
    {"mtron",
     "model begins with \"MTRON\" (test 30); no temperature attribute",
     "MTRON MSP-SATA7525",
     "SYN0040",
     {{0xBB, 98, 0}},
     2,
     "SmartMtron",
     DISK_STATUS_UNKNOWN},
    {"identify-jmf667h",
     "IDENTIFY words 80-84 and 234-235 of the JMF667H (test 32)",
     "GENERIC SSD A",
     "SYN0041",
     kGeneric,
     52,
     "SmartJMicron607H",
     DISK_STATUS_UNKNOWN,
     "",
     {{80, 0x03F8}, {81, 0}, {82, 0x706B}, {83, 0x7409}, {84, 0x4163}, {234, 1}, {235, 0x0180}}},
    {"identify-jmf670h",
     "IDENTIFY words 80-84 of the JMF670H (test 32); word 82 lacks the S.M.A.R.T. bit, words "
     "60-61 read 0x01100003 so data is read anyway",
     "GENERIC SSD B",
     "SYN0042",
     kGeneric,
     37,
     "SmartJMicron607H",
     DISK_STATUS_UNKNOWN,
     "",
     {{80, 0x01FE},
      {81, 0x0021},
      {82, 0x0068},
      {83, 0x5000},
      {84, 0x4000},
      {60, 0x0003},
      {61, 0x0110}}},
    {"identify-jm609",
     "IDENTIFY words 80-84 of the JM609 (test 32); E7 gives the life, but the IDENTIFY rows "
     "raise no support level, so the status stays unknown",
     "GENERIC SSD C",
     "SYN0043",
     With(kGeneric, {{0xE7, 95, 0}}),
     36,
     "SmartJMicron607H",
     DISK_STATUS_UNKNOWN,
     "",
     {{80, 0x01F0}, {81, 0}, {82, 0x746B}, {83, 0x7D08}, {84, 0x4040}}},
    {"identify-ps3110",
     "IDENTIFY words 80-84 of the PS3110 (test 32)",
     "GENERIC SSD D",
     "SYN0044",
     kGeneric,
     64,
     "SmartPhison",
     DISK_STATUS_UNKNOWN,
     "",
     {{80, 0x03F8}, {81, 0}, {82, 0x746B}, {83, 0x7D09}, {84, 0x4163}}},
    {"identify-ps3109",
     "IDENTIFY words 80-84 and 77 = 0x0084 of the PS3109 (test 32)",
     "GENERIC SSD E",
     "SYN0045",
     kGeneric,
     63,
     "SmartPhison",
     DISK_STATUS_UNKNOWN,
     "",
     {{80, 0x07F8}, {81, 0}, {82, 0x346B}, {83, 0x7D09}, {84, 0x6063}, {77, 0x0084}}},
    {"identify-s8",
     "IDENTIFY words 80-84 and 77 = 0 of the Phison S8 (test 32)",
     "GENERIC SSD F",
     "SYN0046",
     kGeneric,
     62,
     "SmartPhison",
     DISK_STATUS_UNKNOWN,
     "",
     {{80, 0x01F8}, {81, 0}, {82, 0x346B}, {83, 0x7D09}, {84, 0x6063}, {77, 0}}},
};

// ---- what admission would make of the sectors, as far as families need ----

std::string AtaText(const Sector& s, size_t firstWord, size_t words, bool stopAtNul) {
  std::string out;
  for (size_t k = 0; k < words * 2; ++k) {
    char c = static_cast<char>(s[firstWord * 2 + (k ^ 1)]);
    if (c == '\0' && stopAtNul) break;
    out.push_back(c);
  }
  size_t b = out.find_first_not_of(' ');
  size_t e = out.find_last_not_of(' ');
  return b == std::string::npos ? std::string() : out.substr(b, e - b + 1);
}

ATA_SMART_INFO Admit(NullMachine& machine, const Sector& identify, const Sector& data,
                     const Sector& thresholds) {
  ATA_SMART_INFO asi = machine.Ata.NewRecord();
  std::copy(identify.begin(), identify.end(), asi.IdentifyDevice.begin());
  std::copy(data.begin(), data.end(), asi.SmartReadData.begin());
  std::copy(thresholds.begin(), thresholds.end(), asi.SmartReadThreshold.begin());
  asi.Model = AtaText(identify, 27, 20, false);
  asi.SerialNumber = AtaText(identify, 10, 10, false);
  asi.FirmwareRev = AtaText(identify, 23, 4, false);
  asi.VendorSpecificText = AtaText(identify, 129, 31, true);
  asi.IsSsd = (identify[434] | (identify[435] << 8)) == 1 ? 1 : 0;
  asi.TotalDiskSize = static_cast<uint32_t>(kSectors * 512 / (1024 * 1024));
  asi.SupportLevel = machine.Ata.RecognizeMakerDisk(asi);
  // Attributes packed in sector order, thresholds aligned by Id.
  int32_t count = 0;
  for (int32_t i = 0; i < MAX_ATTRIBUTE; ++i) {
    const uint8_t* e = data.data() + 2 + 12 * i;
    if (e[0] == 0) continue;
    std::copy(e, e + 12, reinterpret_cast<uint8_t*>(&asi.Attribute[count]));
    for (int32_t j = 0; j < MAX_ATTRIBUTE; ++j) {
      const uint8_t* t = thresholds.data() + 2 + 12 * j;
      if (t[0] == e[0]) std::copy(t, t + 12, reinterpret_cast<uint8_t*>(&asi.Threshold[count]));
    }
    if (e[0] == 0xC2) asi.Temperature = static_cast<int8_t>(asi.Attribute[count].RawValue[0]);
    ++count;
  }
  asi.AttributeCount = count;
  asi.IsSmartCorrect = 1;
  asi.IsThresholdCorrect = 1;
  asi.IsSmartEnabled = 1;
  machine.Ata.ClassifySmartFamily(asi);
  return asi;
}

const std::filesystem::path kFolder =
    std::filesystem::path(STAVRION_SOURCE_DIR) / "fixtures" / "families";

bool Writing() {
  const char* v = std::getenv("STAVRION_WRITE_FIXTURES");
  return v != nullptr && std::string(v) == "1";
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CheckOrWrite(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
  if (Writing()) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return;
  }
  EXPECT_EQ(ReadAll(p), bytes) << p
                               << " differs from the table; regenerate with "
                                  "STAVRION_WRITE_FIXTURES=1";
}

std::vector<uint8_t> Bytes(const Sector& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::string Readme() {
  std::string text =
      "# Synthetic disks of the vendor families\n"
      "\n"
      "One folder per disk: `identify.bin`, `smart_data.bin`, `smart_thresholds.bin`\n"
      "(512-byte sectors as a disk returns them). The folder as a whole is a machine\n"
      "without a manifest. The disks are built by the table in\n"
      "`tests/engine/FamilyFixturesTest.cpp`, which also checks these files; after changing\n"
      "the table run `STAVRION_WRITE_FIXTURES=1 ./build/stavrion_tests\n"
      "--gtest_filter='FamilyFixtures.*'` to write them again.\n"
      "\n"
      "The family tests are numbered in the order the classifier tries them. The\n"
      "status is the one admission leaves (families that are not evaluated stay\n"
      "unknown).\n"
      "\n";
  for (const FixtureDisk& d : kDisks) {
    text += "- `" + std::string(d.Name) + "` (`" + d.Model + "`, family " +
            std::to_string(d.Family) + "): " + d.Rule + ".\n";
  }
  return text;
}

TEST(FamilyFixtures, FilesAreWhatTheTableBuilds) {
  std::set<std::string> names;
  std::set<std::string> disks;
  for (const FixtureDisk& d : kDisks) {
    ASSERT_TRUE(names.insert(d.Name).second) << d.Name;
    // Discovery drops a second disk of the same model and serial number.
    ASSERT_TRUE(disks.insert(d.Model + "/" + d.Serial).second) << d.Name;
    CheckOrWrite(kFolder / d.Name / "identify.bin", Bytes(Identify(d)));
    CheckOrWrite(kFolder / d.Name / "smart_data.bin", Bytes(SmartData(d)));
    CheckOrWrite(kFolder / d.Name / "smart_thresholds.bin", Bytes(SmartThresholds(d)));
  }
  EXPECT_LE(names.size(), static_cast<size_t>(MAX_DISK));  // one machine holds them all
  const std::string readme = Readme();
  CheckOrWrite(kFolder / "README.md", std::vector<uint8_t>(readme.begin(), readme.end()));
}

TEST(FamilyFixtures, EachDiskReachesItsFamily) {
  for (const FixtureDisk& d : kDisks) {
    NullMachine machine;
    const Sector identify = Identify(d);
    uint8_t sum = 0;
    for (uint8_t b : identify) sum = static_cast<uint8_t>(sum + b);
    EXPECT_EQ(sum, 0) << d.Name;
    ATA_SMART_INFO asi = Admit(machine, identify, SmartData(d), SmartThresholds(d));
    EXPECT_EQ(asi.Model, d.Model) << d.Name;
    EXPECT_EQ(asi.DiskVendorId, d.Family) << d.Name;
    EXPECT_EQ(asi.SmartKeyName, d.Key) << d.Name;
    EXPECT_EQ(EvaluateDiskStatus(asi), d.Status) << d.Name;
  }
}

TEST(FamilyFixtures, DerivedFiguresOfSelectedDisks) {
  auto admit = [](const char* name) {
    for (const FixtureDisk& d : kDisks) {
      if (std::string(d.Name) == name) {
        NullMachine machine;
        return Admit(machine, Identify(d), SmartData(d), SmartThresholds(d));
      }
    }
    ADD_FAILURE() << name;
    return ATA_SMART_INFO{};
  };
  ATA_SMART_INFO smi = admit("smi-sm2246en");
  EXPECT_EQ(smi.SupportLevel, SUPPORT_CONTROLLER);
  EXPECT_EQ(smi.FormFactorCode, 3);  // serial letter 11 'C', read at level 3
  EXPECT_EQ(smi.TemperatureGrade, 2);
  EXPECT_EQ(smi.Life, 95);
  EXPECT_EQ(smi.HostWrites, 100);  // 3200 units of 32 MB
  EXPECT_EQ(smi.NandWrites, 150);  // 4800 units of 32 MB
  EXPECT_FLOAT_EQ(smi.WriteAmplification, 1.5f);

  ATA_SMART_INFO sage = admit("sage-686");
  EXPECT_EQ(sage.HostWrites, 5000);
  EXPECT_EQ(sage.Life, 97);

  ATA_SMART_INFO line = admit("line-7kp1");
  EXPECT_EQ(line.FlashType, 2);
  EXPECT_EQ(line.SupportLevel, SUPPORT_MODEL_TABLE);

  ATA_SMART_INFO part = admit("line-7lb3");
  EXPECT_EQ(part.VendorSpecificText, "MT3S00000000S");
  EXPECT_EQ(part.SupportLevel, SUPPORT_MODEL_TABLE);

  ATA_SMART_INFO realtek = admit("realtek-bad");
  EXPECT_EQ(realtek.NandWrites, 1000);  // F9 900 + FA 100
  EXPECT_EQ(realtek.HostWrites, 800);

  ATA_SMART_INFO mtron = admit("mtron");
  EXPECT_EQ(GetTemperatureClass(mtron).Image, "temperatureUnknown");
  EXPECT_EQ(GetTemperatureClass(smi).Image, "temperatureGood");
}

}  // namespace
