// Sorting a disk into its controller family. The knowledge is in the tables
// at the top of this file: model prefix lists, attribute-Id signatures,
// IDENTIFY-word signatures, the maker's model lines and the ordered list of
// family tests. The functions below only walk them. Adding a family means
// adding rows; the order of kFamilyTests is the order in which disks are
// recognised, and the first test that passes decides.
#include <algorithm>
#include <array>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "engine/AtaSmart.h"
#include "engine/FamilyText.h"
#include "engine/SmartFamily.h"

using family_text::CharIsOneOf;
using family_text::Contains;
using family_text::ContainsAfterStart;
using family_text::EndsWith;
using family_text::StartsWith;

namespace {

// ---------------------------------------------------------------------------
// Controller texts, by family number.

constexpr std::array<std::string_view, 74> kControllerTexts = {
    "Unknown",
    "Unknown",
    "MTron-series",
    "Indilinx Barefoot",
    "JMicron-series",
    "Intel-series",
    "Samsung-series",
    "SandForce-series",
    "Micron-series",
    "Indilinx Barefoot",
    "SEAGATE-series",
    "WDC-series",
    "PLEXTOR-series",
    "SanDisk-series",
    "Barefoot 3 M00",
    "TOSHIABA-series",
    "Corsair-series",
    "Kingston-series",
    "Micron-series",
    "NVMe",
    "Realtek-series",
    "SM2246EN",
    "SM2246XT",
    "SM2236",
    "SM2263",
    "SAGE 686",
    "SM2258",
    "JMicron JM602",
    "JMicron JM609",
    "SMI-series",
    "Phison-series",
    "Maxiotek MK8215",
    "Marvell 88SS1080",
    "Marvell 88NV1120",
    "SMI SM2246EN",
    "SMI SM2246XT",
    "JMicron JM609",
    "JMicron JMF670H",
    "SMI SM2258",
    "Samsung-series",
    "SMI SM619",
    "SMI SM659",
    "SMI SM2232",
    "Indilinx Barefoot",
    "Barefoot 3 M00",
    "Barefoot 3 M10",
    "Indilinx Everest2",
    "Intel PC29AS21BA0",
    "Intel PC29AS21CA0",
    "Intel PC29AS21CB0",
    "JMicron JMF618",
    "JMicron JMF661",
    "JMicron JMF667H",
    "LAMD LM87800",
    "Marvell 88SS9174",
    "Marvell 88SS9176",
    "Marvell 88SS9183",
    "Marvell 88SS9187",
    "Marvell 88SS9188",
    "Marvell 88SS9189",
    "Marvell 88SS9190",
    "Marvell 88SS9193",
    "Phison S8/S9/S10",
    "Phison PS3109 S9",
    "Phison PS3110 S10",
    "MCX/MDX/MEX",
    "Samsung MJX",
    "SandForce SF1222",
    "SandForce SF2281",
    "SandForce SF2581",
    "SMI SM2256",
    "Toshiba Alishan",
    "TC58NC5HA9GST",
    "TC358790XBG",
};

constexpr std::array<std::string_view, 8> kNvmeControllerTexts = {
    "Intel CH29AE41AB0", "Intel CH29AE41AB1", "Marvell 88SS1093", "SAMSUNG UBX",
    "SAMSUNG Phoenix",   "SAMSUNG Polaris",   "SMI SM2262",       "Marvell 88NV1120",
};

// ---------------------------------------------------------------------------
// Model lists.

// A model that names itself a solid-state disk.
constexpr std::string_view kSsdModelPrefixes[] = {
    "OCZ", "SPCC", "PATRIOT", "PHOTOFAST", "STT_FTM", "Super Talent",
};
constexpr std::string_view kSsdModelWords[] = {"Solid", "SSD", "SiliconHardDisk"};

constexpr std::string_view kSamsungCommercialPrefixes[] = {
    "Samsung based SSDs",  "SAMSUNG SSD PM800",       "SAMSUNG SSD PM810",
    "Samsung SSD 750 EVO", "SAMSUNG SSD 830 Series",  "MZ7PC",
    "Samsung SSD 840",     "SAMSUNG SSD 840 EVO",     "SAMSUNG SSD 850 EVO",
    "Samsung SSD 850 PRO", "SAMSUNG MZ7PA256HMDR-",   "Samsung SSD 845DC EVO",
    "SAMSUNG MZ",          "SAMSUNG SSD PM871",       "SAMSUNG MZHPV",
    "Samsung SSD 860",     "SAMSUNG SSD SM841N",      "SAMSUNG SSD PM851",
    "SAMSUNG SSD PM830",   "Samsung Portable SSD T5",
};
constexpr std::string_view kSamsungCommercialWords[] = {"SAMSUNG SSD PM851", "SAMSUNG SSD SM841N",
                                                        "SAMSUNG 470 Series SSD"};

constexpr std::string_view kPhisonPrefixes[] = {
    "KINGSTON SUV300S37A",
    "SATA SSD",
    "S9FM02",
    "KINGSTON SM2280S3",
    "Phison",
    "KINGSTON SKC310S3B",
    "KINGSTON SKC400S37",
    "KINGSTON SV310S3",
    "KINGSTON SHSS3",
    "SQF-SMSU4",
    "INTENSO",
    "SSD Smartbuy",
    "Lenovo SSD SL700",
    "Patriot Blaze",
    "Corsair Neutron XT",
    "TOSHIBA Q300",
    "ZOTAC SATA SSD",
    "IRP-SSDPR-S25B",
    "SATAFIRM S11",
    "KINGSTON SA400S",
    "GALAX GX024010A",
    "GALAX GXTA1C0",
    "PH3-CE240",
    "Corsair Force LE SSD",
    "Corsair Neutron XT SSD",
    "GOODRAM",
    "PNY CS1311",
    "KINGSTON RBU-SC100S37",
    "KINGSTON RBU-SM",
    "KINGSTON RBU-SNS6100",
    "KINGSTON SMSM",
    "KINGSTON SS200",
    "SG9MSM6D",
    "SPCC Solid State Disk",
};

constexpr std::string_view kJMicron66xPrefixes[] = {
    "JMicron based SSDs", "ADATA S596 Turbo",  "ADATA SP600",          "ADATA SP310",
    "APPLE SSD TS",       "KINGSTON SNV425S2", "KINGSTON SSDNOW 30GB", "KINGSTON SS100S2",
    "KINGSTON SNVP325S2", "KINGSTON SVP",      "KINGSTON SV200S3",
};
constexpr std::string_view kJMicron66xInnerWords[] = {"GSSD25", "GSSD340", "GMSA340"};

constexpr std::string_view kSandForceWords[] = {"SandForce", "Comay BladeDrive E28",
                                                "Corsair CSSD - F"};

constexpr std::string_view kPlextorPrefixes[] = {
    "PLEXTOR", "LITEON", "CV6-CQ", "CSSD-S6T128NM3PQ", "CSSD-S6T256NM3PQ",
};

// Upper-cased model.
constexpr std::string_view kMicronUpperPrefixes[] = {
    "P600", "C600", "M6-",  "M600", "P500", "C500", "M5-",  "M500",    "P400",
    "C400", "M4-",  "M400", "P300", "C300", "M3-",  "M300", "CRUCIAL", "MICRON",
};

// ---------------------------------------------------------------------------
// Choosing a family number by model. Rows are tried in order; the first
// that matches gives the family.

enum class Match : uint8_t {
  BEGINS,               // the model begins with the text
  CONTAINS,             // the text occurs anywhere
  CONTAINS_AFTER_START  // the text occurs at a position other than 0
};

struct ModelRow {
  Match How;
  std::string_view Text;
  int32_t Family;
};

bool Matches(std::string_view model, Match how, std::string_view text) {
  switch (how) {
    case Match::BEGINS:
      return StartsWith(model, text);
    case Match::CONTAINS:
      return Contains(model, text);
    case Match::CONTAINS_AFTER_START:
      return ContainsAfterStart(model, text);
  }
  return false;
}

// Family of the first matching row, or `otherwise`.
int32_t PickByModel(std::string_view model, std::span<const ModelRow> rows, int32_t otherwise) {
  for (const ModelRow& row : rows) {
    if (Matches(model, row.How, row.Text)) return row.Family;
  }
  return otherwise;
}

constexpr ModelRow kSamsungCommercialRows[] = {
    {Match::BEGINS, "860", FAMILY_SAMSUNG_MJX},
    {Match::BEGINS, "SAMSUNG MZ7LM", FAMILY_SAMSUNG_MJX},
};

constexpr ModelRow kPhisonKingstonRows[] = {
    {Match::CONTAINS, "SUV300S37A", FAMILY_PHISON_PS3110},
    {Match::CONTAINS, "SA400S", FAMILY_PHISON_PS3110},
    {Match::CONTAINS, "RBU-SNS8", FAMILY_PHISON_PS3110},
    {Match::CONTAINS, "SHSS3", FAMILY_PHISON_PS3110},
    {Match::CONTAINS, "SKC400S37", FAMILY_PHISON_PS3110},
    {Match::CONTAINS, "SM2280S3", FAMILY_PHISON_PS3110},
    {Match::CONTAINS, "RBU-SM", FAMILY_PHISON_PS3109},
    {Match::CONTAINS, "SMSM", FAMILY_PHISON_PS3109},
};

constexpr ModelRow kPhisonRows[] = {
    {Match::BEGINS, "Corsair Neutron XT SSD", FAMILY_PHISON_PS3110},
    {Match::BEGINS, "GALAX GXTA1C0", FAMILY_PHISON_PS3110},
    {Match::BEGINS, "GALAX GX024010A", FAMILY_PHISON_PS3110},
    {Match::BEGINS, "GOODRAM CX100", FAMILY_PHISON_PS3110},
    {Match::BEGINS, "GOODRAM IRIDIUM PRO", FAMILY_PHISON_PS3110},
    {Match::BEGINS, "PH3-CE240", FAMILY_PHISON_PS3110},
    {Match::BEGINS, "TOSHIBA Q300", FAMILY_PHISON_PS3110},
    {Match::BEGINS, "ZOTAC SATA SSD", FAMILY_PHISON_PS3110},
    {Match::BEGINS, "IRP-SSDPR-S25B", FAMILY_PHISON_PS3110},
    {Match::BEGINS, "SATAFIRM S11", FAMILY_PHISON_PS3110},
    {Match::BEGINS, "GOODRAM C40", FAMILY_PHISON_PS3109},
    {Match::BEGINS, "Patriot Blaze", FAMILY_PHISON_PS3109},
    {Match::BEGINS, "SSD Smartbuy", FAMILY_PHISON_PS3109},
};

constexpr ModelRow kJMicron61xRows[] = {
    {Match::BEGINS, "KINGSTON SSDNOW", FAMILY_JMICRON_JMF618},
    {Match::BEGINS, "KINGSTON SV100", FAMILY_JMICRON_JMF618},
};

constexpr ModelRow kJMicron66xRows[] = {
    {Match::BEGINS, "ADATA S596 Turbo", FAMILY_JMICRON_JMF661},
    {Match::BEGINS, "ADATA SP600", FAMILY_JMICRON_JMF661},
    {Match::BEGINS, "ADATA SP310", FAMILY_JMICRON_JMF667H},
    {Match::BEGINS, "KINGSTON SNV425S2", FAMILY_JMICRON_JMF618},
};

constexpr ModelRow kSandForceRows[] = {
    {Match::CONTAINS, "OCZ-AGILITY2", FAMILY_SANDFORCE_SF1222},
    {Match::CONTAINS, "OCZ-VERTEX2", FAMILY_SANDFORCE_SF1222},
    {Match::CONTAINS, "SanDisk SDSSDH2", FAMILY_SANDFORCE_SF1222},
    {Match::CONTAINS, "SanDisk SDSSDH3", FAMILY_SANDFORCE_SF1222},
    {Match::CONTAINS, "Comay BladeDrive E28", FAMILY_SANDFORCE_SF2581},
};
// Checked after the Intel character tests of the SandForce rule.
constexpr ModelRow kSandForceSf2281Rows[] = {
    {Match::CONTAINS, "ADATA", FAMILY_SANDFORCE_SF2281},
    {Match::CONTAINS, "KINGSTON SMS450S3", FAMILY_SANDFORCE_SF2281},
    {Match::CONTAINS, "KINGSTON SV300S3", FAMILY_SANDFORCE_SF2281},
    {Match::CONTAINS, "KINGSTON SKC100S3", FAMILY_SANDFORCE_SF2281},
    {Match::CONTAINS, "KINGSTON SE100S3", FAMILY_SANDFORCE_SF2281},
    {Match::CONTAINS, "MKNSSDCR", FAMILY_SANDFORCE_SF2281},
    {Match::CONTAINS, "MKNSSDAT", FAMILY_SANDFORCE_SF2281},
    {Match::CONTAINS, "SanDisk SDSSDX", FAMILY_SANDFORCE_SF2281},
    {Match::CONTAINS, "Corsair Force 3", FAMILY_SANDFORCE_SF2281},
    {Match::CONTAINS, "Corsair Force LS", FAMILY_SANDFORCE_SF2281},
};

constexpr ModelRow kIntelRows[] = {
    {Match::CONTAINS, "INTEL SSDSA2BZ100G3", FAMILY_INTEL_PC29AS21BA0},
    {Match::CONTAINS, "INTEL SSDSA2BZ200G3", FAMILY_INTEL_PC29AS21BA0},
    {Match::CONTAINS, "INTEL SSDSA2BZ300G3", FAMILY_INTEL_PC29AS21BA0},
};
constexpr ModelRow kIntelCb0Rows[] = {
    {Match::CONTAINS, "INTEL SSDSC2BA200G", FAMILY_INTEL_PC29AS21CB0},
    {Match::CONTAINS, "INTEL SSDSC2BA400G", FAMILY_INTEL_PC29AS21CB0},
    {Match::CONTAINS, "INTEL SSDSC2BA800G", FAMILY_INTEL_PC29AS21CB0},
    {Match::CONTAINS, "INTEL SSDSC2BA012T", FAMILY_INTEL_PC29AS21CB0},
    {Match::CONTAINS, "INTEL SSDSC2BX", FAMILY_INTEL_PC29AS21CB0},
};
constexpr std::string_view kIntelCa0Words[] = {"INTEL SSDSC2BA", "INTEL SSDSC2BB",
                                               "INTEL SSDSC2BP"};

constexpr ModelRow kMicronRows[] = {
    {Match::BEGINS, "PLEXTOR PX-G", FAMILY_MARVELL_88SS9183},
    {Match::BEGINS, "C400-MTFDDA", FAMILY_MARVELL_88SS9176},
    {Match::BEGINS, "M4-CT", FAMILY_MARVELL_88SS9176},
    {Match::BEGINS, "MTFDDA", FAMILY_MARVELL_88SS9176},
    {Match::BEGINS, "PLEXTOR PX-", FAMILY_MARVELL_88SS9187},
    {Match::BEGINS, "SanDisk SDSSDXPS", FAMILY_MARVELL_88SS9187},
    {Match::BEGINS, "M500SSD", FAMILY_MARVELL_88SS9187},
    {Match::BEGINS, "ADATA SP920", FAMILY_MARVELL_88SS9189},
    {Match::BEGINS, "MX100SSD1", FAMILY_MARVELL_88SS9189},
    {Match::BEGINS, "MX200SSD", FAMILY_MARVELL_88SS9189},
    {Match::CONTAINS, "MTFDDAK", FAMILY_MARVELL_88SS9189},
    {Match::CONTAINS, "SHPM2280P2", FAMILY_MARVELL_88SS9193},
};

constexpr ModelRow kPlextorPxRows[] = {
    {Match::CONTAINS_AFTER_START, "M3", FAMILY_MARVELL_88SS9174},
    {Match::CONTAINS_AFTER_START, "M5", FAMILY_MARVELL_88SS9174},
    {Match::CONTAINS_AFTER_START, "M6", FAMILY_MARVELL_88SS9174},
    {Match::BEGINS, "PLEXTOR PX-G", FAMILY_MARVELL_88SS9183},
};

constexpr ModelRow kOczRows[] = {
    {Match::BEGINS, "OCZ-VERTEX4", FAMILY_INDILINX_EVEREST2},
};

constexpr ModelRow kOczVectorRows[] = {
    {Match::BEGINS, "OCZ-VERTEX460", FAMILY_BAREFOOT3_M10},
    {Match::BEGINS, "OCZ-ARC100", FAMILY_BAREFOOT3_M10},
    {Match::BEGINS, "OCZ-VECTOR150", FAMILY_BAREFOOT3_M10},
    {Match::BEGINS, "OCZ-VERTEX450", FAMILY_BAREFOOT3_M10},
};

constexpr ModelRow kSanDiskRows[] = {
    {Match::BEGINS, "SanDisk SD6PP4M", FAMILY_MARVELL_88SS9183},
    {Match::BEGINS, "SanDisk SDSSDHII", FAMILY_MARVELL_88SS9190},
};

constexpr ModelRow kCorsairRows[] = {
    {Match::BEGINS, "Corsair Neutron GTX", FAMILY_LAMD_LM87800},
};

// ---------------------------------------------------------------------------
// Attribute-Id signatures: the parsed attribute table begins with exactly
// these Ids. A group may have several rows; any of them matches.

enum class Sig : uint8_t {
  JMICRON_61X,
  JMICRON_66X,
  SANDFORCE,
  PLEXTOR,
  INTEL,
  MICRON_MU02,
  MICRON,
  OCZ,
  OCZ_VECTOR,
  KINGSTON,
  REALTEK,
  SAMSUNG,
  JMICRON_60X,
  INDILINX,
};

struct SignatureRow {
  Sig Group;
  std::initializer_list<uint8_t> Ids;
};

const SignatureRow kSignatures[] = {
    {Sig::JMICRON_61X,
     {0x01, 0x02, 0x03, 0x05, 0x07, 0x08, 0x09, 0x0A, 0x0C, 0xA8, 0xAF, 0xC0, 0xC2}},
    {Sig::JMICRON_66X, {0x01, 0x02, 0x03, 0x05, 0x07, 0x08, 0x09, 0x0A, 0x0C, 0xA7, 0xA8, 0xA9}},
    {Sig::SANDFORCE, {0x01, 0x05, 0x09, 0x0C, 0x0D, 0x64, 0xAA}},
    {Sig::SANDFORCE, {0x01, 0x05, 0x09, 0x0C, 0xAB, 0xAC}},
    {Sig::SANDFORCE,
     {0x01, 0x02, 0x03, 0x05, 0x07, 0x08, 0x09, 0x0A, 0x0C, 0xA7, 0xA8, 0xA9, 0xAA, 0xAD, 0xAF,
      0xB1}},
    {Sig::PLEXTOR, {0x01, 0x05, 0x09, 0x0C, 0xB1, 0xB2, 0xB5, 0xB6}},
    {Sig::INTEL, {0x03, 0x04, 0x05, 0x09, 0x0C, 0xC0, 0xE8, 0xE9}},
    {Sig::INTEL, {0x03, 0x04, 0x05, 0x09, 0x0C, 0xC0, 0xE1}},
    {Sig::INTEL, {0x03, 0x04, 0x05, 0x09, 0x0C, 0xAA, 0xAB, 0xAC}},
    {Sig::MICRON_MU02, {0x01, 0x05, 0x09, 0x0C, 0xA0, 0xA1, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7}},
    {Sig::MICRON_MU02, {0x01, 0x05, 0x09, 0x0C, 0xA0, 0xA1, 0xA3, 0x94, 0x95, 0x96, 0x97}},
    {Sig::MICRON, {0x01, 0x05, 0x09, 0x0C, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xB5, 0xB7}},
    {Sig::OCZ, {0x01, 0x03, 0x04, 0x05, 0x09, 0x0C, 0xE8, 0xE9}},
    {Sig::OCZ_VECTOR, {0x05, 0x09, 0x0C, 0xAB, 0xAE, 0xC3, 0xC4, 0xC5, 0xC6}},
    {Sig::KINGSTON, {0x01, 0x02, 0x03, 0x05, 0x07, 0x08, 0x09, 0x0A, 0x0C, 0xA8}},
    {Sig::REALTEK, {0x01, 0x05, 0x09, 0x0C, 0xA1, 0xA2, 0xA3, 0xA4, 0xA6, 0xA7}},
    {Sig::SAMSUNG, {0x05, 0x09, 0x0C, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xB2, 0xB4}},
    {Sig::SAMSUNG, {0x09, 0x0C, 0xB2, 0xB3, 0xB4}},
    {Sig::SAMSUNG, {0x09, 0x0C, 0xB1, 0xB2, 0xB3, 0xB4, 0xB7}},
    {Sig::SAMSUNG, {0x09, 0x0C, 0xAF, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4}},
    {Sig::SAMSUNG, {0x05, 0x09, 0x0C, 0xB1, 0xB3, 0xB5, 0xB6}},
    {Sig::JMICRON_60X, {0x0C, 0x09, 0xC2, 0xE5, 0xE8, 0xE9}},
    {Sig::INDILINX, {0x01, 0x09, 0x0C, 0xB8, 0xC3, 0xC4}},
};

bool TableBeginsWith(const ATA_SMART_INFO& asi, std::initializer_list<uint8_t> ids) {
  int32_t count = asi.AttributeCount < MAX_ATTRIBUTE ? asi.AttributeCount : MAX_ATTRIBUTE;
  if (static_cast<int32_t>(ids.size()) > count) return false;
  int32_t i = 0;
  for (uint8_t id : ids) {
    if (asi.Attribute[i++].Id != id) return false;
  }
  return true;
}

bool HasSignature(const ATA_SMART_INFO& asi, Sig group) {
  for (const SignatureRow& row : kSignatures) {
    if (row.Group == group && TableBeginsWith(asi, row.Ids)) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// IDENTIFY-word signatures, tried for disks whose word 2 is 0xC837. Every
// listed word must hold its value.

struct WordValue {
  uint16_t Word;
  uint16_t Value;
};

struct IdentifySignature {
  std::array<uint16_t, 5> Words80To84;
  std::initializer_list<WordValue> Others;
  int32_t Family;
  const char* Key;
  int32_t Unit;
};

const IdentifySignature kIdentifySignatures[] = {
    {{0x03F8, 0x0000, 0x706B, 0x7409, 0x4163},
     {{234, 0x0001}, {235, 0x0180}},
     FAMILY_JMICRON_JMF667H,
     "SmartJMicron607H",
     HOST_READS_WRITES_512B},
    {{0x01FE, 0x0021, 0x0068, 0x5000, 0x4000},
     {},
     FAMILY_JMICRON_JMF670H,
     "SmartJMicron607H",
     HOST_READS_WRITES_512B},
    {{0x01F0, 0x0000, 0x746B, 0x7D08, 0x4040},
     {},
     FAMILY_LINE_JM609,
     "SmartJMicron607H",
     HOST_READS_WRITES_512B},
    {{0x03F8, 0x0000, 0x746B, 0x7D09, 0x4163},
     {},
     FAMILY_PHISON_PS3110,
     "SmartPhison",
     HOST_READS_WRITES_GB},
    {{0x07F8, 0x0000, 0x346B, 0x7D09, 0x6063},
     {{77, 0x0084}},
     FAMILY_PHISON_PS3109,
     "SmartPhison",
     HOST_READS_WRITES_GB},
    {{0x01F8, 0x0000, 0x346B, 0x7D09, 0x6063},
     {{77, 0x0000}},
     FAMILY_PHISON_S8_S10,
     "SmartPhison",
     HOST_READS_WRITES_GB},
};

uint16_t IdentifyWord(const ATA_SMART_INFO& asi, size_t word) {
  if (word >= asi.IdentifyDevice.size() / 2) return 0;
  return static_cast<uint16_t>(asi.IdentifyDevice[word * 2] |
                               (asi.IdentifyDevice[word * 2 + 1] << 8));
}

const IdentifySignature* FindIdentifySignature(const ATA_SMART_INFO& asi) {
  for (const IdentifySignature& row : kIdentifySignatures) {
    bool match = true;
    for (size_t k = 0; k < row.Words80To84.size() && match; ++k) {
      match = IdentifyWord(asi, 80 + k) == row.Words80To84[k];
    }
    for (const WordValue& wv : row.Others) {
      if (!match) break;
      match = IdentifyWord(asi, wv.Word) == wv.Value;
    }
    if (match) return &row;
  }
  return nullptr;
}

// IDENTIFY words 63, 64, 82, 83 and 84 of the SAGE controller's two forms.
constexpr std::array<uint16_t, 5> kSageWords[] = {
    {0x0407, 0x0003, 0x346B, 0x70D9, 0x6023},
    {0x0007, 0x0003, 0x000B, 0x7400, 0x4000},
};

// ---------------------------------------------------------------------------
// The maker's model lines, searched in order anywhere in the model.

struct ModelLineRow {
  std::string_view Code;
  int32_t Family;
  int32_t FlashType;  // 0: left as it was
  const char* Key;    // null: SmartKeyName and the unit are left as they were
  int32_t Unit;
};

constexpr ModelLineRow kModelLines[] = {
    {"SSD 7KP1", FAMILY_MAXIOTEK_MK8215, 2, "SmartMaxiotek8215", HOST_READS_WRITES_32MB},
    {"SSD 7KR2", FAMILY_MARVELL_88SS1080, 2, "SmartMarvell", HOST_READS_WRITES_GB},
    {"SSD 7LB3", FAMILY_LINE_SM2246EN, 0, "SmartIE", HOST_READS_WRITES_32MB},
    {"SSD 7LC4", FAMILY_LINE_SM2246XT, 0, "SmartIX", HOST_READS_WRITES_32MB},
    {"SSD 7LD5", FAMILY_LINE_JM609, 0, "SmartJMicron607H", HOST_READS_WRITES_512B},
    {"SSD 7LF6", FAMILY_MARVELL_88NV1120, 0, nullptr, 0},
    {"SSD 7LG7", FAMILY_LINE_SM2258, 0, "Smart369", HOST_READS_WRITES_32MB},
    {"SSD 7LH8", FAMILY_LINE_SM2246EN, 0, "SmartIE", HOST_READS_WRITES_32MB},
    {"SSD 7LJ9", FAMILY_JMICRON_JMF670H, 0, "SmartJMicron607H", HOST_READS_WRITES_512B},
};

const ModelLineRow* FindModelLine(std::string_view model) {
  for (const ModelLineRow& row : kModelLines) {
    if (Contains(model, row.Code)) return &row;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// What the tests look at, gathered once per classification.

struct Facts {
  const ATA_SMART_INFO& Asi;
  std::string_view Model;
  std::string ModelUpper;
  std::string SmartText;  // up to 10 bytes at offset 400 of the data sector
};

template <size_t N>
bool BeginsWithAny(std::string_view text, const std::string_view (&list)[N]) {
  for (std::string_view p : list) {
    if (StartsWith(text, p)) return true;
  }
  return false;
}

template <size_t N>
bool ContainsAny(std::string_view text, const std::string_view (&list)[N]) {
  for (std::string_view p : list) {
    if (Contains(text, p)) return true;
  }
  return false;
}

bool IsSsdModel(std::string_view model) {
  return BeginsWithAny(model, kSsdModelPrefixes) || ContainsAny(model, kSsdModelWords);
}

bool SageTest(const Facts& f) {
  if (Contains(f.Asi.SerialNumber, "SS13-")) return true;
  const std::array<uint16_t, 5> words = {IdentifyWord(f.Asi, 63), IdentifyWord(f.Asi, 64),
                                         IdentifyWord(f.Asi, 82), IdentifyWord(f.Asi, 83),
                                         IdentifyWord(f.Asi, 84)};
  for (const auto& sage : kSageWords) {
    if (words == sage) return true;
  }
  return false;
}

bool JMicron66xTest(const Facts& f) {
  return HasSignature(f.Asi, Sig::JMICRON_66X) || BeginsWithAny(f.Model, kJMicron66xPrefixes) ||
         [&] {
           for (std::string_view w : kJMicron66xInnerWords) {
             if (ContainsAfterStart(f.Model, w)) return true;
           }
           return false;
         }();
}

int32_t PhisonFamily(const Facts& f) {
  if (Contains(f.Model, "KINGSTON")) {
    int32_t family = PickByModel(f.Model, kPhisonKingstonRows, FAMILY_UNKNOWN);
    if (family != FAMILY_UNKNOWN) return family;
  }
  return PickByModel(f.Model, kPhisonRows, FAMILY_PHISON_S8_S10);
}

int32_t SandForceFamily(const Facts& f) {
  int32_t family = PickByModel(f.Model, kSandForceRows, FAMILY_UNKNOWN);
  if (family != FAMILY_UNKNOWN) return family;
  // Character positions count from the start of the model.
  if ((Contains(f.Model, "INTEL SSDSC2") && CharIsOneOf(f.Model, 13, "W")) ||
      (Contains(f.Model, "INTEL SSDSC2CT") && CharIsOneOf(f.Model, 17, "A"))) {
    return FAMILY_SANDFORCE_SF2281;
  }
  return PickByModel(f.Model, kSandForceSf2281Rows, FAMILY_SANDFORCE);
}

int32_t PlextorFamily(const Facts& f) {
  if (!StartsWith(f.Model, "PLEXTOR PX-")) return FAMILY_PLEXTOR;
  return PickByModel(f.Model, kPlextorPxRows, FAMILY_MARVELL_88SS9187);
}

int32_t IntelFamily(const Facts& f) {
  if (PickByModel(f.Model, kIntelRows, FAMILY_UNKNOWN) != FAMILY_UNKNOWN ||
      (Contains(f.Model, "INTEL SSDSA") && CharIsOneOf(f.Model, 11, "12") &&
       CharIsOneOf(f.Model, 12, "BCN") && CharIsOneOf(f.Model, 13, "WT"))) {
    return FAMILY_INTEL_PC29AS21BA0;
  }
  int32_t family = PickByModel(f.Model, kIntelCb0Rows, FAMILY_UNKNOWN);
  if (family != FAMILY_UNKNOWN) return family;
  if (ContainsAny(f.Model, kIntelCa0Words)) {
    if (CharIsOneOf(f.Model, 17, "G") && CharIsOneOf(f.Model, 18, "3")) {
      return FAMILY_INTEL_PC29AS21CA0;
    }
    return f.Asi.DiskVendorId;  // an Intel model of no known line keeps its family
  }
  return FAMILY_INTEL;
}

bool MicronTest(const Facts& f) {
  return BeginsWithAny(f.ModelUpper, kMicronUpperPrefixes) ||
         (StartsWith(f.ModelUpper, "CT") && EndsWith(f.ModelUpper, "SSD1")) ||
         HasSignature(f.Asi, Sig::MICRON);
}

// ---------------------------------------------------------------------------
// The ordered family tests.

enum Effect : uint32_t {
  SSD = 1u << 0,         // IsSsd = 1
  SUPPORT_4 = 1u << 1,   // SupportLevel = 4
  SUPPORT_5 = 1u << 2,   // SupportLevel = 5
  SMI = 1u << 3,         // form-factor code, temperature grade 2, SupportLevel 5, IsSsd 1
  EARLY = 1u << 4,       // IsEarlyController = 1
  SANDFORCE_F = 1u << 5  // IsSandForce = 1
};

constexpr int32_t UNIT_UNCHANGED = -1;

struct Outcome {
  int32_t Family = FAMILY_UNKNOWN;
  const char* Key = nullptr;  // null: SmartKeyName left as it was
  int32_t Unit = UNIT_UNCHANGED;
  uint32_t Effects = 0;
  int32_t FlashType = 0;  // 0: left as it was
  bool Stop = false;      // no controller text from the table, no re-derivation
};

const char* SsdOrHddKey(const Facts& f) { return f.Asi.IsSsd ? "SmartSsd" : "Smart"; }

struct FamilyTest {
  const char* Name;
  bool (*Passes)(const Facts&);
  Outcome (*Decide)(const Facts&);
};

constexpr int32_t U1 = HOST_READS_WRITES_512B;
constexpr int32_t U2 = HOST_READS_WRITES_32MB;
constexpr int32_t U3 = HOST_READS_WRITES_GB;

const FamilyTest kFamilyTests[] = {
    {"SMART text SM2246", [](const Facts& f) { return Contains(f.SmartText, "SM2246"); },
     [](const Facts&) {
       return Outcome{FAMILY_SMI_SM2246EN, "SmartIE", U2, SMI};
     }},
    {"SMART text SMI2246XT", [](const Facts& f) { return Contains(f.SmartText, "SMI2246XT"); },
     [](const Facts&) {
       return Outcome{FAMILY_SMI_SM2246XT, "SmartIX", U2, SMI};
     }},
    {"SMART text SM2258", [](const Facts& f) { return Contains(f.SmartText, "SM2258"); },
     [](const Facts&) {
       return Outcome{FAMILY_SMI_SM2258, "Smart369", U2, SMI};
     }},
    {"SMART text SM2256",
     [](const Facts& f) {
       return Contains(f.SmartText, "SM2256") || Contains(f.SmartText, "SMI2256");
     },
     [](const Facts&) {
       return Outcome{FAMILY_SMI_SM2256, "SmartIE", U2, SUPPORT_5 | SSD};
     }},
    {"SMART text SMI2236", [](const Facts& f) { return Contains(f.SmartText, "SMI2236"); },
     [](const Facts&) {
       return Outcome{FAMILY_SMI_SM2236, "SmartP60", U2, SMI};
     }},
    {"SAGE", SageTest,
     [](const Facts&) {
       return Outcome{FAMILY_SAGE, "Smart563", U3, SMI};
     }},
    {"SMART text SM", [](const Facts& f) { return Contains(f.SmartText, "SM"); },
     [](const Facts&) {
       return Outcome{FAMILY_SMI, "SmartIE", U2, SSD | SUPPORT_5};
     }},
    {"model line", [](const Facts& f) { return FindModelLine(f.Model) != nullptr; },
     [](const Facts& f) {
       const ModelLineRow* row = FindModelLine(f.Model);
       return Outcome{row->Family, row->Key, row->Key ? row->Unit : UNIT_UNCHANGED, SUPPORT_4 | SSD,
                      row->FlashType};
     }},
    {"Seagate",
     [](const Facts& f) { return StartsWith(f.Model, "ST") && !StartsWith(f.Model, "STT"); },
     [](const Facts& f) {
       return Outcome{FAMILY_SEAGATE, SsdOrHddKey(f)};
     }},
    {"WDC hard disk",
     [](const Facts& f) { return StartsWith(f.Model, "WDC ") && f.Asi.IsSsd == 0; },
     [](const Facts&) {
       return Outcome{FAMILY_WDC, "Smart"};
     }},
    {"Samsung commercial",
     [](const Facts& f) {
       return BeginsWithAny(f.Model, kSamsungCommercialPrefixes) ||
              ContainsAny(f.Model, kSamsungCommercialWords);
     },
     [](const Facts& f) {
       return Outcome{PickByModel(f.Model, kSamsungCommercialRows, FAMILY_SAMSUNG_MCX),
                      "SmartSamsungComm", U1, SUPPORT_5 | SSD};
     }},
    {"Phison", [](const Facts& f) { return BeginsWithAny(f.Model, kPhisonPrefixes); },
     [](const Facts& f) {
       return Outcome{PhisonFamily(f), "SmartPhison", U3, SSD};
     }},
    {"JMicron 61x", [](const Facts& f) { return HasSignature(f.Asi, Sig::JMICRON_61X); },
     [](const Facts& f) {
       return Outcome{PickByModel(f.Model, kJMicron61xRows, FAMILY_JMICRON), "SmartJMicron61x", U1,
                      SSD};
     }},
    {"JMicron 66x", JMicron66xTest,
     [](const Facts& f) {
       return Outcome{PickByModel(f.Model, kJMicron66xRows, FAMILY_JMICRON_JMF667H),
                      "SmartJMicron607H", U1, SSD};
     }},
    {"SandForce",
     [](const Facts& f) {
       return HasSignature(f.Asi, Sig::SANDFORCE) || ContainsAny(f.Model, kSandForceWords);
     },
     [](const Facts& f) {
       return Outcome{SandForceFamily(f), "SmartSandForce", Contains(f.Model, "INTEL") ? U2 : U3,
                      SSD | SANDFORCE_F};
     }},
    {"Plextor",
     [](const Facts& f) {
       return HasSignature(f.Asi, Sig::PLEXTOR) || BeginsWithAny(f.Model, kPlextorPrefixes);
     },
     [](const Facts& f) {
       return Outcome{PlextorFamily(f), "SmartPlextor", U2, SSD};
     }},
    {"Intel",
     [](const Facts& f) { return HasSignature(f.Asi, Sig::INTEL) || Contains(f.Model, "INTEL"); },
     [](const Facts& f) {
       return Outcome{IntelFamily(f), "SmartIntel", U2, SSD | SUPPORT_5};
     }},
    {"Micron MU02", [](const Facts& f) { return HasSignature(f.Asi, Sig::MICRON_MU02); },
     [](const Facts&) {
       return Outcome{FAMILY_MICRON_MU02, "SmartMicronMU02", U2, SSD};
     }},
    {"Micron", MicronTest,
     [](const Facts& f) {
       return Outcome{PickByModel(f.Model, kMicronRows, FAMILY_MARVELL_88SS9174), "SmartMicron", U2,
                      SSD};
     }},
    {"OCZ",
     [](const Facts& f) {
       return StartsWith(f.ModelUpper, "OCZ") &&
              (StartsWith(f.ModelUpper, "OCZ-TRION") || HasSignature(f.Asi, Sig::OCZ));
     },
     [](const Facts& f) {
       return Outcome{PickByModel(f.Model, kOczRows, FAMILY_OCZ), "SmartOcz", U3, SSD};
     }},
    {"OCZ Vector",
     [](const Facts& f) {
       return HasSignature(f.Asi, Sig::OCZ_VECTOR) ||
              StartsWith(f.ModelUpper, "PANASONIC RP-SSB") || StartsWith(f.ModelUpper, "OCZ");
     },
     [](const Facts& f) {
       return Outcome{PickByModel(f.Model, kOczVectorRows, FAMILY_OCZ_VECTOR), "SmartOczVector", U3,
                      SSD};
     }},
    {"SanDisk", [](const Facts& f) { return Contains(f.Model, "SanDisk"); },
     [](const Facts& f) {
       bool gb = false;  // all 30 entries, as the sector was laid out
       for (const ATTRIBUTE_ENTRY& a : f.Asi.Attribute) gb = gb || a.Id == 0xE9;
       return Outcome{PickByModel(f.Model, kSanDiskRows, FAMILY_SANDISK),
                      gb ? "SmartSanDiskGb" : "SmartSanDisk", U3, SSD};
     }},
    {"Kingston", [](const Facts& f) { return HasSignature(f.Asi, Sig::KINGSTON); },
     [](const Facts&) {
       return Outcome{FAMILY_KINGSTON, "SmartKingston", U3};
     }},
    {"Toshiba SSD",
     [](const Facts& f) { return StartsWith(f.Model, "TOSHIBA") && f.Asi.IsSsd == 1; },
     [](const Facts&) {
       return Outcome{FAMILY_TOSHIBA, "SmartToshiba"};
     }},
    {"Corsair", [](const Facts& f) { return StartsWith(f.Model, "Corsair"); },
     [](const Facts& f) {
       return Outcome{PickByModel(f.Model, kCorsairRows, FAMILY_CORSAIR), "SmartCorsair", U3};
     }},
    {"Realtek", [](const Facts& f) { return HasSignature(f.Asi, Sig::REALTEK); },
     [](const Facts&) {
       return Outcome{FAMILY_REALTEK, "SmartRealtek", U3, SUPPORT_5};
     }},
    {"Samsung",
     [](const Facts& f) {
       return HasSignature(f.Asi, Sig::SAMSUNG) ||
              ((Contains(f.Model, "SAMSUNG") || Contains(f.Model, "MZ-")) && f.Asi.IsSsd == 1);
     },
     [](const Facts&) {
       return Outcome{FAMILY_SAMSUNG, "SmartSamsung", U1, SSD | SUPPORT_5};
     }},
    {"JMicron 60x", [](const Facts& f) { return HasSignature(f.Asi, Sig::JMICRON_60X); },
     [](const Facts&) {
       return Outcome{FAMILY_JMICRON, "SmartJMicron60x", U1, SSD | EARLY};
     }},
    {"Indilinx", [](const Facts& f) { return HasSignature(f.Asi, Sig::INDILINX); },
     [](const Facts&) {
       return Outcome{FAMILY_INDILINX, "SmartIndlinx", U3, SSD | EARLY};
     }},
    {"MTron",
     [](const Facts& f) {
       return (f.Asi.AttributeCount == 1 && f.Asi.Attribute[0].Id == 0xBB) ||
              StartsWith(f.Model, "MTRON");
     },
     [](const Facts&) {
       return Outcome{FAMILY_MTRON, "SmartMtron", UNIT_UNCHANGED, SSD};
     }},
    {"IDENTIFY word 2 not C837", [](const Facts& f) { return IdentifyWord(f.Asi, 2) != 0xC837; },
     [](const Facts& f) {
       Outcome o{FAMILY_UNKNOWN, SsdOrHddKey(f)};
       o.Stop = true;
       return o;
     }},
    {"IDENTIFY words", [](const Facts&) { return true; },
     [](const Facts& f) {
       if (const IdentifySignature* row = FindIdentifySignature(f.Asi)) {
         return Outcome{row->Family, row->Key, row->Unit};
       }
       // No controller of ours answers with these words. A hard disk keeps
       // the hard-disk names: giving it the SSD names would label its
       // mechanical attributes as flash wear.
       Outcome o{FAMILY_UNKNOWN, SsdOrHddKey(f)};
       o.Stop = true;
       return o;
     }},
};

void Apply(ATA_SMART_INFO& asi, const Outcome& o) {
  asi.DiskVendorId = o.Family;
  if (o.Key != nullptr) asi.SmartKeyName = o.Key;
  if (o.Unit != UNIT_UNCHANGED) asi.HostReadsWritesUnit = o.Unit;
  if (o.FlashType != 0) asi.FlashType = o.FlashType;
  if (o.Effects & SMI) {
    // The form-factor letter depends on how the disk was recognised, so it
    // is read before the support level is raised.
    asi.FormFactorCode = CAtaSmart::GetFormFactorCode(asi);
    asi.TemperatureGrade = 2;
    asi.SupportLevel = SUPPORT_CONTROLLER;
    asi.IsSsd = 1;
  }
  if (o.Effects & SSD) asi.IsSsd = 1;
  if (o.Effects & SUPPORT_4) asi.SupportLevel = SUPPORT_MODEL_TABLE;
  if (o.Effects & SUPPORT_5) asi.SupportLevel = SUPPORT_CONTROLLER;
  if (o.Effects & EARLY) asi.IsEarlyController = 1;
  if (o.Effects & SANDFORCE_F) asi.IsSandForce = 1;
}

}  // namespace

const std::string_view kSmartKeyNames[30] = {
    "Smart",
    "SmartSsd",
    "SmartIE",
    "SmartIX",
    "Smart369",
    "SmartP60",
    "Smart563",
    "SmartMaxiotek8215",
    "SmartMarvell",
    "SmartJMicron607H",
    "SmartJMicron61x",
    "SmartJMicron60x",
    "SmartSamsungComm",
    "SmartSamsung",
    "SmartPhison",
    "SmartSandForce",
    "SmartPlextor",
    "SmartIntel",
    "SmartMicronMU02",
    "SmartMicron",
    "SmartOcz",
    "SmartOczVector",
    "SmartSanDisk",
    "SmartSanDiskGb",
    "SmartKingston",
    "SmartToshiba",
    "SmartCorsair",
    "SmartRealtek",
    "SmartIndlinx",
    "SmartMtron",
};

std::string_view FamilyControllerText(int32_t diskVendorId) {
  if (diskVendorId >= 0 && diskVendorId < static_cast<int32_t>(kControllerTexts.size())) {
    return kControllerTexts[static_cast<size_t>(diskVendorId)];
  }
  if (diskVendorId >= FAMILY_NVME_INTEL_CH29AE41AB0 && diskVendorId < FAMILY_COUNT) {
    return kNvmeControllerTexts[static_cast<size_t>(diskVendorId - FAMILY_NVME_INTEL_CH29AE41AB0)];
  }
  return {};
}

int32_t CAtaSmart::GetModelTableFamily(const ATA_SMART_INFO& asi) {
  const ModelLineRow* row = FindModelLine(asi.Model);
  return row != nullptr ? row->Family : FAMILY_UNKNOWN;
}

void CAtaSmart::ClassifySmartFamily(ATA_SMART_INFO& asi) {
  asi.Controller = "Unknown";
  asi.HostReadsWritesUnit = HOST_READS_WRITES_NONE;
  if (IsSsdModel(asi.Model)) asi.IsSsd = 1;

  Facts facts{asi, asi.Model, family_text::UpperAscii(asi.Model), {}};
  // SMI controllers keep their name here: text up to the first zero byte.
  auto textBegin = asi.SmartReadData.begin() + 400;
  auto textEnd = std::find(textBegin, textBegin + 10, uint8_t{0});
  facts.SmartText.assign(textBegin, textEnd);

  for (const FamilyTest& test : kFamilyTests) {
    if (!test.Passes(facts)) continue;
    Outcome outcome = test.Decide(facts);
    Apply(asi, outcome);
    if (outcome.Stop) {
      asi.Controller = "Unknown";
      return;
    }
    break;
  }
  asi.Controller = std::string(FamilyControllerText(asi.DiskVendorId));
  RederiveSmartFigures(asi);
}
