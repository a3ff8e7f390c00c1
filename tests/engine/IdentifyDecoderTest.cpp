// IDENTIFY DEVICE decoding: texts, versions, transfer modes, time units,
// feature flags, geometry and capacity.
#include <gtest/gtest.h>

#include "engine/AtaSmart.h"
#include "tests/support/SectorBuilder.h"

using testutil::IdentifyBuilder;
using testutil::Sector;

namespace {

struct TransferCase {
  uint16_t W63, W76, W77, W88;
  uint32_t Type;
  const char* Current;
  const char* Max;
  const char* Interface;
  int32_t InterfaceType;
};

class TransferModeTest : public testing::TestWithParam<TransferCase> {};

TEST_P(TransferModeTest, Decodes) {
  const TransferCase& c = GetParam();
  std::string current = "x", max = "x", iface = "x";
  int32_t type = -1;
  EXPECT_EQ(CAtaSmart::GetTransferMode(c.W63, c.W76, c.W77, c.W88, current, max, iface, type),
            c.Type);
  EXPECT_EQ(current, c.Current);
  EXPECT_EQ(max, c.Max);
  EXPECT_EQ(iface, c.Interface);
  EXPECT_EQ(type, c.InterfaceType);
}

INSTANTIATE_TEST_SUITE_P(
    Words, TransferModeTest,
    testing::Values(
        // Plain PIO disk: nothing known.
        TransferCase{0, 0, 0, 0, 1, "", "", "Parallel ATA", 1},
        // Multiword DMA selected.
        TransferCase{0x0407, 0, 0, 0, 2, "PIO/DMA", "PIO/DMA", "Parallel ATA", 1},
        // UDMA/133 supported, UDMA/100 selected.
        TransferCase{0x0007, 0, 0, 0x203F | 0x0040, 9, "UDMA/100", "UDMA/133", "Parallel ATA", 1},
        // Bit 14 wins over bit 13.
        TransferCase{0, 0, 0, 0x607F, 9, "UDMA/133", "UDMA/133", "Parallel ATA", 1},
        TransferCase{0, 0, 0, 0x0401, 3, "UDMA/33", "UDMA/16", "Parallel ATA", 1},
        // SATA: the highest supported generation, current from word 77.
        TransferCase{0, 0x0106, 0x0004, 0x007F, 11, "SATA/300", "SATA/300", "Serial ATA", 2},
        TransferCase{0, 0x010E, 0x0006, 0x007F, 12, "SATA/600", "SATA/600", "Serial ATA", 2},
        TransferCase{0, 0x010E, 0x0002, 0x007F, 12, "SATA/150", "SATA/600", "Serial ATA", 2},
        // No negotiated speed: current unknown.
        TransferCase{0, 0x0002, 0x0000, 0, 10, "----", "SATA/150", "Serial ATA", 2},
        // Reserved speed bit 4.
        TransferCase{0, 0x0016, 0x0000, 0, 0, "----", "----", "Serial ATA", 2},
        // Word 76 of 0xFFFF is not SATA, but its bit 4 still marks the speed.
        TransferCase{0, 0xFFFF, 0x0000, 0x0001, 0, "----", "----", "Parallel ATA", 1},
        // Word 77 alone moves the current text even on a parallel disk.
        TransferCase{0, 0, 0x0006, 0x0001, 3, "SATA/600", "UDMA/16", "Parallel ATA", 1}));

struct MajorCase {
  uint16_t W80;
  int32_t Version;
  const char* Text;
};

class MajorVersionTest : public testing::TestWithParam<MajorCase> {};

TEST_P(MajorVersionTest, Decodes) {
  std::string text = "unchanged";
  EXPECT_EQ(CAtaSmart::GetAtaMajorVersion(GetParam().W80, text), GetParam().Version);
  EXPECT_EQ(text, GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(
    Words, MajorVersionTest,
    testing::Values(MajorCase{0x0000, 0, "unchanged"}, MajorCase{0xFFFF, 0, "unchanged"},
                    MajorCase{0x0001, 0, "----"}, MajorCase{0x8000, 0, "----"},
                    MajorCase{0x0002, 1, "ATA-1"}, MajorCase{0x000E, 3, "ATA-3"},
                    MajorCase{0x0010, 4, "ATA/ATAPI-4"}, MajorCase{0x00FE, 7, "ATA/ATAPI-7"},
                    MajorCase{0x01F0, 8, "ATA8-ACS"}, MajorCase{0x03F0, 9, "ACS-2"},
                    MajorCase{0x07F0, 10, "ACS-3"}, MajorCase{0x0800, 11, ""},
                    MajorCase{0xFFFE & 0x7FFF, 14, ""}));

struct MinorCase {
  uint16_t W81;
  const char* Text;
};

class MinorVersionTest : public testing::TestWithParam<MinorCase> {};

TEST_P(MinorVersionTest, Decodes) {
  std::string text;
  CAtaSmart::GetAtaMinorVersion(GetParam().W81, text);
  EXPECT_EQ(text, GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(
    Words, MinorVersionTest,
    testing::Values(MinorCase{0x0000, "----"}, MinorCase{0xFFFF, "----"},
                    MinorCase{0x0001, "ATA (ATA-1) X3T9.2 781D prior to revision 4"},
                    MinorCase{0x001D, "ATA/ATAPI-7 published ANSI INCITS 397-2005."},
                    MinorCase{0x001F, "ACS-3 Revision 3b"}, MinorCase{0x0020, "---- [0020h]"},
                    MinorCase{0x0028, "ATA8-ACS version 6"}, MinorCase{0x005E, "ACS-4 Revision 5"},
                    MinorCase{0x006D, "ACS-3 Revision 4"}, MinorCase{0x011B, "ACS-3 Revision 4"},
                    MinorCase{0x0110, "ACS-2 Revision 3"}, MinorCase{0x1234, "---- [1234h]"}));

struct TimeUnitCase {
  const char* Model;
  const char* Firmware;
  int32_t Major;
  int32_t Transfer;
  int32_t Unit;
};

class TimeUnitTest : public testing::TestWithParam<TimeUnitCase> {};

TEST_P(TimeUnitTest, FromModel) {
  const TimeUnitCase& c = GetParam();
  EXPECT_EQ(CAtaSmart::GetTimeUnitType(c.Model, c.Firmware, c.Major, c.Transfer), c.Unit)
      << c.Model << " / " << c.Firmware;
}

INSTANTIATE_TEST_SUITE_P(Models, TimeUnitTest,
                         testing::Values(TimeUnitCase{"FUJITSU MHY2120BH", "0084000D", 7, 11, 4},
                                         TimeUnitCase{"FUJITSU MHY2120BH", "0084000D", 8, 11, 1},
                                         TimeUnitCase{"fujitsu mhv2080ah", "x", 6, 8,
                                                      4},  // names compare without case
                                         TimeUnitCase{"HITACHI_DK23EA-30", "00H1A0A1", 5, 7, 2},
                                         TimeUnitCase{"MAXTOR 6L080J4", "A93.0500", 7, 9, 1},
                                         TimeUnitCase{"MAXTOR 6Y080L0", "YAR41BW0", 7, 9, 2},
                                         TimeUnitCase{"MAXTOR STM3500630AS", "3.AAE", 7, 11, 1},
                                         TimeUnitCase{"SAMSUNG HD501LJ", "CR100-12", 8, 11, 1},
                                         TimeUnitCase{"SAMSUNG HD501LJ", "CR100-12", 8, 10, 1},
                                         TimeUnitCase{"SAMSUNG SP1614C", "SW100-25", 7, 10, 3},
                                         TimeUnitCase{"SAMSUNG HD080HJ", "WT100-33", 7, 10, 3},
                                         TimeUnitCase{"SAMSUNG HD080HJ", "WT100-22", 7, 10, 1},
                                         TimeUnitCase{"SAMSUNG HD080HJ", "-39", 7, 10, 3},
                                         TimeUnitCase{"SAMSUNG HD080HJ", "", 7, 10, 1},
                                         TimeUnitCase{"CFD_CSSD-S6TM128NMPQ", "VM21", 8, 11, 5},
                                         TimeUnitCase{"CFD_CSSD-S6TM128NMPQ", "VM22", 8, 11, 1},
                                         TimeUnitCase{"PLEXTOR PX-128M2P", "1.03", 8, 11, 5},
                                         TimeUnitCase{"PLEXTOR PX-128M2P", "1.06", 8, 11, 1},
                                         TimeUnitCase{"PLEXTOR PX-128M2P", "1.059", 8, 11, 1},
                                         TimeUnitCase{"Corsair Performance Pro", "1.02", 8, 11, 5},
                                         TimeUnitCase{"INTEL SSDSC2CW120A3", "400i", 8, 12, 6},
                                         TimeUnitCase{"INTEL SSDSC2CW120G3", "400i", 8, 12, 1},
                                         TimeUnitCase{"INTEL SSDSA2CW120G3", "4PC10302", 8, 11, 1},
                                         TimeUnitCase{"ST9100821AS", "3.CME", 7, 10, 1}));

TEST(ModelSerial, RemovesFileNameCharacters) {
  EXPECT_EQ(CAtaSmart::GetModelSerial("WDC WD5000AAKS-00TMA0", "WD-WCAPW1234567"),
            "WDC WD5000AAKS-00TMA0WD-WCAPW1234567");
  EXPECT_EQ(CAtaSmart::GetModelSerial("A\\B/C:D*E?F\"G<H>I|J", "K"), "ABCDEFGHIJK");
  // Control characters cannot be part of a folder name either.
  EXPECT_EQ(CAtaSmart::GetModelSerial("MO\tDEL", "S\x01N"), "MODELSN");
}

// Decodes a whole sector the way admission does, stopping at a refusal.
struct Decoded {
  ATA_SMART_INFO Asi;
  int32_t Verdict = CAtaSmart::IDENTIFY_OK;
  Sector After{};
};

Decoded Decode(const Sector& sector) {
  Decoded d;
  d.After = sector;
  std::copy(sector.begin(), sector.end(), d.Asi.IdentifyDevice.begin());
  d.Verdict = CAtaSmart::DecodeIdentifyTexts(d.Asi, d.After.data());
  if (d.Verdict != CAtaSmart::IDENTIFY_OK) return d;
  CAtaSmart::DecodeIdentifyFeatures(d.Asi, d.After.data());
  d.Verdict = CAtaSmart::DecodeIdentifyGeometry(d.Asi, d.After.data());
  return d;
}

TEST(IdentifyTexts, SwappedAndUnswapped) {
  Decoded d = Decode(IdentifyBuilder()
                         .Model("WDC WD5000AAKS-00TMA0")
                         .Serial("  WD-WCAPW1234567")
                         .Firmware("12.01C01")
                         .VendorText("MA2SSD123456S")
                         .Build());
  ASSERT_EQ(d.Verdict, CAtaSmart::IDENTIFY_OK);
  EXPECT_EQ(d.Asi.Model, "WDC WD5000AAKS-00TMA0");
  EXPECT_EQ(d.Asi.SerialNumber, "WD-WCAPW1234567");
  EXPECT_EQ(d.Asi.FirmwareRev, "12.01C01");
  EXPECT_EQ(d.Asi.ModelReverse, "DW CDW0500AASK0-T0AM 0");
  EXPECT_EQ(d.Asi.FirmwareRevReverse, "210.C110");
  EXPECT_EQ(d.Asi.VendorSpecificText, "MA2SSD123456S");
  EXPECT_EQ(d.Asi.VendorSpecificTextTrimmed, "MA2SSD123456S");
  // The caller's buffer holds the texts in reading order afterwards.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.After.data() + 54), 5), "WDC W");
  // The record keeps the sector as the disk sent it.
  EXPECT_EQ(d.Asi.IdentifyDevice[54], 'D');
  EXPECT_EQ(d.Asi.ModelSerial, "WDC WD5000AAKS-00TMA0WD-WCAPW1234567");
}

TEST(IdentifyTexts, HighBytesBecomeUtf8) {
  Decoded d = Decode(IdentifyBuilder().Model("DISK \xE9").Build());
  ASSERT_EQ(d.Verdict, CAtaSmart::IDENTIFY_OK);
  EXPECT_EQ(d.Asi.Model, "DISK \xC3\xA9");
}

struct CharacterCase {
  const char* Name;
  size_t Offset;  // byte of the sector to overwrite
  uint8_t Value;
  int32_t Verdict;
  const char* Model;
};

class CharacterCheckTest : public testing::TestWithParam<CharacterCase> {};

TEST_P(CharacterCheckTest, Model) {
  const CharacterCase& c = GetParam();
  Decoded d = Decode(IdentifyBuilder().Model("ABCDEFGH").Byte(c.Offset, c.Value).Build());
  EXPECT_EQ(d.Verdict, c.Verdict);
  if (c.Verdict == CAtaSmart::IDENTIFY_OK) {
    EXPECT_EQ(d.Asi.Model, c.Model);
    EXPECT_EQ(d.Asi.IsIdInfoIncorrect, 0);
  } else {
    EXPECT_EQ(d.Asi.IsIdInfoIncorrect, 1);
  }
}

// Model bytes in the disk's order: offset 54 holds 'B', 55 'A', 56 'D', 57 'C'.
INSTANTIATE_TEST_SUITE_P(
    Bytes, CharacterCheckTest,
    testing::Values(CharacterCase{"del", 56, 0x7F, CAtaSmart::IDENTIFY_BAD_CHARACTER, ""},
                    CharacterCase{"del_in_serial", 25, 0x7F, CAtaSmart::IDENTIFY_BAD_CHARACTER, ""},
                    CharacterCase{"del_in_firmware", 47, 0x7F, CAtaSmart::IDENTIFY_BAD_CHARACTER,
                                  ""},
                    // A control byte becomes a blank and ends the scan of the
                    // field, so a DEL after it passes.
                    CharacterCase{"control", 54, 0x09, CAtaSmart::IDENTIFY_OK, "A CDEFGH"},
                    CharacterCase{"control_later", 55, 0x01, CAtaSmart::IDENTIFY_OK, "BCDEFGH"},
                    CharacterCase{"high", 56, 0x80, CAtaSmart::IDENTIFY_OK,
                                  "ABC\xC2\x80"
                                  "EFGH"},
                    CharacterCase{"nul", 56, 0x00, CAtaSmart::IDENTIFY_OK, "ABC"}),
    [](const testing::TestParamInfo<CharacterCase>& i) { return std::string(i.param.Name); });

TEST(IdentifyTexts, DelAfterAControlCharacterPasses) {
  // Scan order is sector order: the tab at byte 54 ends the scan before the
  // DEL at byte 56 is seen.
  Decoded d = Decode(IdentifyBuilder().Model("A\tC\x7F").Build());
  ASSERT_EQ(d.Verdict, CAtaSmart::IDENTIFY_OK);
  EXPECT_EQ(d.Asi.Model, "A C\x7F");
  EXPECT_EQ(d.Asi.ModelSerial, "A CSN0001");
}

TEST(IdentifyTexts, ChecksumError) {
  EXPECT_EQ(Decode(IdentifyBuilder().Checksum().Build()).Asi.IsCheckSumError, 0);
  EXPECT_EQ(Decode(IdentifyBuilder().Checksum().Word(0, 1).Build()).Asi.IsCheckSumError, 1);
}

TEST(IdentifyGeometry, ClampsDamagedWords) {
  Decoded d = Decode(IdentifyBuilder().Word(1, 20000).Word(3, 17).Word(6, 64).Build());
  ASSERT_EQ(d.Verdict, CAtaSmart::IDENTIFY_OK);
  EXPECT_EQ(d.Asi.Cylinder, 16383u);
  EXPECT_EQ(d.Asi.Head, 16u);
  EXPECT_EQ(d.Asi.Sector, 63u);
  EXPECT_EQ(d.Asi.IsIdInfoIncorrect, 1);
  // The clamp is written back into the caller's sector.
  EXPECT_EQ(d.After[2] | (d.After[3] << 8), 16383);

  Decoded ok = Decode(IdentifyBuilder().Build());
  EXPECT_EQ(ok.Asi.IsIdInfoIncorrect, 0);
}

TEST(IdentifyGeometry, ZeroGeometryIsRefused) {
  for (int word : {1, 3, 6}) {
    EXPECT_EQ(Decode(IdentifyBuilder().Word(word, 0).Build()).Verdict,
              CAtaSmart::IDENTIFY_NO_GEOMETRY)
        << word;
  }
}

struct CapacityCase {
  const char* Name;
  uint16_t Cylinders, Heads, Sectors;
  uint32_t Words60;
  uint64_t Words100;
  bool Lba48;
  uint32_t Chs, Lba28, Lba48Size, Total;
  uint64_t NumberOfSectors;
};

class CapacityTest : public testing::TestWithParam<CapacityCase> {};

TEST_P(CapacityTest, Sizes) {
  const CapacityCase& c = GetParam();
  Decoded d = Decode(IdentifyBuilder()
                         .Word(1, c.Cylinders)
                         .Word(3, c.Heads)
                         .Word(6, c.Sectors)
                         .Sectors28(c.Words60)
                         .Sectors48(c.Words100)
                         .Word(83, c.Lba48 ? 0x0400 : 0)
                         .Build());
  ASSERT_EQ(d.Verdict, CAtaSmart::IDENTIFY_OK);
  EXPECT_EQ(d.Asi.DiskSizeChs, c.Chs);
  EXPECT_EQ(d.Asi.DiskSizeLba28, c.Lba28);
  EXPECT_EQ(d.Asi.DiskSizeLba48, c.Lba48Size);
  EXPECT_EQ(d.Asi.TotalDiskSize, c.Total);
  EXPECT_EQ(d.Asi.NumberOfSectors, c.NumberOfSectors);
}

INSTANTIATE_TEST_SUITE_P(
    Disks, CapacityTest,
    testing::Values(
        // 500 GB: 976773168 sectors = 476940 MB, less 49.
        CapacityCase{"lba48", 16383, 16, 63, 0x0FFFFFFF, 976773168, true, 8063 - 49, 131071 - 49,
                     476940 - 49, 476940 - 49, 976773168},
        // 48-bit count above 32 bits: 8 TB of 512-byte sectors.
        CapacityCase{"lba48_high_word", 16383, 16, 63, 0x0FFFFFFF, 15628053168ull, true, 8014,
                     131022, 7630885 - 49, 7630885 - 49, 15628053168ull},
        // Without the 48-bit feature the 28-bit count decides.
        CapacityCase{"lba28", 16383, 16, 63, 0x0FFFFFFF, 976773168, false, 8014, 131022, 0, 131022,
                     0x0FFFFFFF},
        // A small disk: LBA48 equal to LBA28 is kept.
        CapacityCase{"small", 16383, 16, 63, 78165360, 78165360, true, 8014, 38166 - 49, 38166 - 49,
                     38166 - 49, 78165360},
        // A small disk whose 48-bit count differs: LBA48 is cleared afterwards.
        CapacityCase{"small_differs", 16383, 16, 63, 78165360, 78165361 + 4096, true, 8014, 38117,
                     0, 38119, 78165361 + 4096},
        // Words 60-61 beyond 28 bits: capacity left to WMI.
        CapacityCase{"words60_over", 16383, 16, 63, 0x10000000, 976773168, true, 8014, 0, 476891, 0,
                     976773168},
        // CHS only: 1024/16/63 = 504 MB, not above 1 GiB.
        CapacityCase{"chs", 1024, 16, 63, 0, 0, false, 504, 0, 0, 504, 1032192},
        // LBA28 below 50 MB is not a capacity; CHS wins.
        CapacityCase{"tiny", 100, 16, 63, 100800, 0, false, 49, 0, 0, 49, 100800}),
    [](const testing::TestParamInfo<CapacityCase>& i) { return std::string(i.param.Name); });

TEST(IdentifyFeatures, FlagsFollowTheMajorVersion) {
  IdentifyBuilder all;
  all.Word(82, 0x0001)
      .Word(83, 0x0608)   // APM, AAM, 48-bit
      .Word(86, 0x0208)   // APM and AAM enabled
      .Word(76, 0x0106)   // NCQ
      .Word(214, 0x0001)  // NV cache
      .Word(215, 0x1000)
      .Word(169, 0x0001)  // TRIM
      .Word(217, 0x0001)  // SSD
      .Word(168, 0x0003)  // 2.5 inch
      .Word(78, 0x0100);  // device sleep
  struct Case {
    uint16_t W80;
    int Smart, Apm, Aam, Lba48, Ncq, Trim, Ssd;
  };
  for (const Case& c : {Case{0x0004, 0, 0, 0, 0, 0, 0, 0},  // ATA-2
                        Case{0x0008, 1, 1, 0, 0, 0, 0, 0},  // ATA-3
                        Case{0x0020, 1, 1, 1, 1, 0, 0, 0},  // ATA/ATAPI-5
                        Case{0x0040, 1, 1, 1, 1, 1, 0, 0},  // ATA/ATAPI-6
                        Case{0x0080, 1, 1, 1, 1, 1, 1, 1}}) {
    Decoded d = Decode(IdentifyBuilder(all).Word(80, c.W80).Build());
    SCOPED_TRACE(c.W80);
    EXPECT_EQ(d.Asi.IsSmartSupported, c.Smart);
    EXPECT_EQ(d.Asi.IsApmSupported, c.Apm);
    EXPECT_EQ(d.Asi.IsApmEnabled, c.Apm);
    EXPECT_EQ(d.Asi.IsAamSupported, c.Aam);
    EXPECT_EQ(d.Asi.IsAamEnabled, c.Aam);
    EXPECT_EQ(d.Asi.IsLba48Supported, c.Lba48);
    EXPECT_EQ(d.Asi.IsNcqSupported, c.Ncq);
    EXPECT_EQ(d.Asi.IsTrimSupported, c.Trim);
    EXPECT_EQ(d.Asi.IsSsd, c.Ssd);
    EXPECT_EQ(d.Asi.IsNvCacheSupported, c.Trim);
    EXPECT_EQ(d.Asi.IsDeviceSleepSupported, c.Trim);
    EXPECT_EQ(d.Asi.NvCacheSize, c.Trim ? 0x1000u * 512 : 0u);
    EXPECT_EQ(d.Asi.FormFactor, c.Trim ? "2.5 inch" : "");
  }
}

TEST(IdentifyFeatures, RotationRate) {
  struct Case {
    uint16_t W217;
    int32_t Rate, Ssd;
  };
  for (const Case& c : {Case{0, 0, 0}, Case{1, 1, 1}, Case{0x0400, 0, 0}, Case{0x0401, 0x0401, 0},
                        Case{7200, 7200, 0}, Case{0xFFFF, 0, 0}}) {
    Decoded d = Decode(IdentifyBuilder().Word(217, c.W217).Build());
    EXPECT_EQ(d.Asi.NominalMediaRotationRate, c.Rate) << c.W217;
    EXPECT_EQ(d.Asi.IsSsd, c.Ssd) << c.W217;
  }
}

TEST(IdentifyFeatures, AdataTemperatureMultiplier) {
  struct Case {
    const char* Model;
    const char* Firmware;
    double Multiplier;
  };
  for (const Case& c :
       {Case{"ADATA SSD S510 120GB", "3.4.6", 0.5}, Case{"ADATA SSD S510 120GB", "346", 0.5},
        Case{"ADATA SSD S510 120GB", "3.4.7", 1.0}, Case{"ADATA SP900", "3.4.6", 1.0}}) {
    Decoded d = Decode(IdentifyBuilder().Model(c.Model).Firmware(c.Firmware).Build());
    EXPECT_EQ(d.Asi.TemperatureMultiplier, c.Multiplier) << c.Model << " " << c.Firmware;
  }
}

TEST(IdentifyFeatures, TimeUnitAndMaxtor) {
  // An old Maxtor counts minutes; the measured unit waits for the measurement.
  Decoded m = Decode(IdentifyBuilder().Model("MAXTOR 6Y080L0").Word(76, 0).Word(77, 0).Build());
  EXPECT_EQ(m.Asi.DetectedTimeUnitType, TIME_UNIT_MINUTES);
  EXPECT_EQ(m.Asi.MeasuredTimeUnitType, TIME_UNIT_UNKNOWN);
  EXPECT_EQ(m.Asi.IsMaxtor21, 1);
  // Units 5 and 6 are certain and become the measured unit at once.
  Decoded i = Decode(IdentifyBuilder().Model("INTEL SSDSC2CW120A3").Build());
  EXPECT_EQ(i.Asi.DetectedTimeUnitType, TIME_UNIT_HOURS_OFFSET);
  EXPECT_EQ(i.Asi.MeasuredTimeUnitType, TIME_UNIT_HOURS_OFFSET);
  EXPECT_EQ(i.Asi.IsMaxtor21, 0);
}

TEST(IdentifyFeatures, SmartAssumedAndBuffer) {
  Decoded d = Decode(IdentifyBuilder().Sectors28(0x01100003).Word(21, 16).Build());
  EXPECT_EQ(d.Asi.IsSmartAssumed, 1);
  EXPECT_EQ(d.Asi.BufferSize, 16u * 512);
  EXPECT_EQ(Decode(IdentifyBuilder().Build()).Asi.IsSmartAssumed, 0);
}

}  // namespace
