// Controller families of S.M.A.R.T. data. Every admitted disk carries a family
// number (`DiskVendorId`) that says how its attributes are to be read: which
// attribute holds the life, how host writes are counted, which language
// section names the attributes. The numbers are stable: they are stored in
// history files and published to other programs.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/AtaSmartInfo.h"

// Family numbers (values of ATA_SMART_INFO::DiskVendorId).
constexpr int32_t FAMILY_UNKNOWN = 0;
constexpr int32_t FAMILY_GENERAL = 1;
constexpr int32_t FAMILY_MTRON = 2;
constexpr int32_t FAMILY_INDILINX = 3;
constexpr int32_t FAMILY_JMICRON = 4;
constexpr int32_t FAMILY_INTEL = 5;
constexpr int32_t FAMILY_SAMSUNG = 6;
constexpr int32_t FAMILY_SANDFORCE = 7;
constexpr int32_t FAMILY_MICRON = 8;
constexpr int32_t FAMILY_OCZ = 9;
constexpr int32_t FAMILY_SEAGATE = 10;
constexpr int32_t FAMILY_WDC = 11;
constexpr int32_t FAMILY_PLEXTOR = 12;
constexpr int32_t FAMILY_SANDISK = 13;
constexpr int32_t FAMILY_OCZ_VECTOR = 14;
constexpr int32_t FAMILY_TOSHIBA = 15;
constexpr int32_t FAMILY_CORSAIR = 16;
constexpr int32_t FAMILY_KINGSTON = 17;
constexpr int32_t FAMILY_MICRON_MU02 = 18;
constexpr int32_t FAMILY_NVME = 19;
constexpr int32_t FAMILY_REALTEK = 20;
constexpr int32_t FAMILY_SMI_SM2246EN = 21;
constexpr int32_t FAMILY_SMI_SM2246XT = 22;
constexpr int32_t FAMILY_SMI_SM2236 = 23;
constexpr int32_t FAMILY_SMI_SM2263 = 24;
constexpr int32_t FAMILY_SAGE = 25;
constexpr int32_t FAMILY_SMI_SM2258 = 26;
constexpr int32_t FAMILY_JMICRON_JM602 = 27;
constexpr int32_t FAMILY_JMICRON_JM609 = 28;
constexpr int32_t FAMILY_SMI = 29;
constexpr int32_t FAMILY_PHISON = 30;
constexpr int32_t FAMILY_MAXIOTEK_MK8215 = 31;
constexpr int32_t FAMILY_MARVELL_88SS1080 = 32;
constexpr int32_t FAMILY_MARVELL_88NV1120 = 33;
constexpr int32_t FAMILY_LINE_SM2246EN = 34;  // the maker's model lines (model table)
constexpr int32_t FAMILY_LINE_SM2246XT = 35;
constexpr int32_t FAMILY_LINE_JM609 = 36;
constexpr int32_t FAMILY_JMICRON_JMF670H = 37;
constexpr int32_t FAMILY_LINE_SM2258 = 38;
constexpr int32_t FAMILY_SAMSUNG_39 = 39;
constexpr int32_t FAMILY_SMI_SM619 = 40;
constexpr int32_t FAMILY_SMI_SM659 = 41;
constexpr int32_t FAMILY_SMI_SM2232 = 42;
constexpr int32_t FAMILY_INDILINX_BAREFOOT = 43;
constexpr int32_t FAMILY_BAREFOOT3_M00 = 44;
constexpr int32_t FAMILY_BAREFOOT3_M10 = 45;
constexpr int32_t FAMILY_INDILINX_EVEREST2 = 46;
constexpr int32_t FAMILY_INTEL_PC29AS21BA0 = 47;
constexpr int32_t FAMILY_INTEL_PC29AS21CA0 = 48;
constexpr int32_t FAMILY_INTEL_PC29AS21CB0 = 49;
constexpr int32_t FAMILY_JMICRON_JMF618 = 50;
constexpr int32_t FAMILY_JMICRON_JMF661 = 51;
constexpr int32_t FAMILY_JMICRON_JMF667H = 52;
constexpr int32_t FAMILY_LAMD_LM87800 = 53;
constexpr int32_t FAMILY_MARVELL_88SS9174 = 54;
constexpr int32_t FAMILY_MARVELL_88SS9176 = 55;
constexpr int32_t FAMILY_MARVELL_88SS9183 = 56;
constexpr int32_t FAMILY_MARVELL_88SS9187 = 57;
constexpr int32_t FAMILY_MARVELL_88SS9188 = 58;
constexpr int32_t FAMILY_MARVELL_88SS9189 = 59;
constexpr int32_t FAMILY_MARVELL_88SS9190 = 60;
constexpr int32_t FAMILY_MARVELL_88SS9193 = 61;
constexpr int32_t FAMILY_PHISON_S8_S10 = 62;
constexpr int32_t FAMILY_PHISON_PS3109 = 63;
constexpr int32_t FAMILY_PHISON_PS3110 = 64;
constexpr int32_t FAMILY_SAMSUNG_MCX = 65;
constexpr int32_t FAMILY_SAMSUNG_MJX = 66;
constexpr int32_t FAMILY_SANDFORCE_SF1222 = 67;
constexpr int32_t FAMILY_SANDFORCE_SF2281 = 68;
constexpr int32_t FAMILY_SANDFORCE_SF2581 = 69;
constexpr int32_t FAMILY_SMI_SM2256 = 70;
constexpr int32_t FAMILY_TOSHIBA_ALISHAN = 71;
constexpr int32_t FAMILY_TOSHIBA_TC58NC5HA9GST = 72;
constexpr int32_t FAMILY_TOSHIBA_TC358790XBG = 73;
// NVMe controllers, named by the NVMe admission.
constexpr int32_t FAMILY_NVME_INTEL_CH29AE41AB0 = 120;
constexpr int32_t FAMILY_NVME_INTEL_CH29AE41AB1 = 121;
constexpr int32_t FAMILY_NVME_MARVELL_88SS1093 = 122;
constexpr int32_t FAMILY_NVME_SAMSUNG_UBX = 123;
constexpr int32_t FAMILY_NVME_SAMSUNG_PHOENIX = 124;
constexpr int32_t FAMILY_NVME_SAMSUNG_POLARIS = 125;
constexpr int32_t FAMILY_NVME_SMI_SM2262 = 126;
constexpr int32_t FAMILY_NVME_MARVELL_88NV1120 = 127;
constexpr int32_t FAMILY_COUNT = 128;

// SupportLevel values.
constexpr int32_t SUPPORT_NONE = 0;         // not evaluated: status stays unknown
constexpr int32_t SUPPORT_PART_NUMBER = 1;  // the maker's disk, by part number
constexpr int32_t SUPPORT_SERIAL = 2;       // the maker's disk, by serial number
constexpr int32_t SUPPORT_SERIAL_M = 3;     // the same, serial number with an "M" prefix
constexpr int32_t SUPPORT_MODEL_TABLE = 4;  // one of the maker's model lines
constexpr int32_t SUPPORT_CONTROLLER = 5;   // a recognised controller family

// Controller text shown for a family: "" for numbers without a text
// (74 to 119, anything outside 0..127).
std::string_view FamilyControllerText(int32_t diskVendorId);

// The family names used as language-file sections (the values SmartKeyName
// can take), in a fixed order. Tests and the language file check each other
// against this list.
extern const std::string_view kSmartKeyNames[30];

// Re-walks the parsed attributes once the family is known and sets the
// figures that depend on it (life, host and NAND writes, erase counts, write
// amplification). The last step of ClassifySmartFamily.
void RederiveSmartFigures(ATA_SMART_INFO& asi);

// NandWrites / HostWrites, or the estimate from the average erase count and
// the capacity; 0 when neither can be formed.
float ComputeWriteAmplification(const ATA_SMART_INFO& asi);

// Family 25 reports a life that lags its writes: steps Life towards the
// estimate from host writes against 3000 rated cycles of the capacity, by at
// most ten points. Leaves an unknown or full Life alone.
void EstimateLifeFromWrites(ATA_SMART_INFO& asi);
