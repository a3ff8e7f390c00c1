// The memory pane: slot list and first selection, the rows of decoded and
// other modules, the speed grade, and the memory use.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tools/MemoryPane.h"

namespace {

MEMORY_MODULE_INFO Module(const std::string& part, const std::string& size, bool bytes,
                          const std::string& type, bool smbiosType, const std::string& speed) {
  MEMORY_MODULE_INFO m;
  m.IsPresent = 1;
  m.IsSizeInBytes = bytes ? 1 : 0;
  m.Size = size;
  m.MemoryType = type;
  m.IsSmbiosMemoryType = smbiosType ? 1 : 0;
  m.Speed = speed;
  m.Manufacturer = "  Samsung ";
  m.PartNumber = part;
  m.SerialNumber = "40C2E5F7";
  DecodeModulePartNumber(part, m.PartInfo);
  return m;
}

TEST(MemoryPane, SlotListAndFirstSelection) {
  MemoryModuleTable slots;
  // No slot present: no entry and no selection (not entry -1 of an empty list).
  auto entries = MemorySlotEntries(slots, "Slot");
  EXPECT_TRUE(entries.empty());
  EXPECT_FALSE(InitialMemorySlot(slots, entries));
  const MemorySlotView none = ShowMemorySlot(nullptr);
  EXPECT_EQ(none.Type + none.Capacity + none.Speed + none.Manufacturer + none.PartNumber, "");

  slots[1] = Module("M471A2K43DB1-CWE", "16384", false, "26", true, "3200");
  slots[3] = Module("D4S8GXMPG0C", "8192", false, "26", true, "2400");
  slots[6] = Module("M471A2K43DB1-CWE", "16384", false, "26", true, "3200");
  entries = MemorySlotEntries(slots, "Slot");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].Text, "Slot #3");
  EXPECT_EQ(entries[2].Slot, 6);
  EXPECT_EQ(InitialMemorySlot(slots, entries), 1u);  // the last that decoded
  slots[3].PartInfo = DRAM_PART_INFO();
  EXPECT_EQ(InitialMemorySlot(slots, entries), 0u);  // none decoded: the first
  // Slot numbers of two digits are not cut to their last digit.
  EXPECT_EQ(MemorySlotEntries(slots, "Steckplatz")[2].Text, "Steckplatz #6");
}

TEST(MemoryPane, DecodedModule) {
  const MEMORY_MODULE_INFO m = Module("D4S8GXMPG0C", "8192", false, "26", true, "2400");
  const MemorySlotView v = ShowMemorySlot(&m);
  EXPECT_EQ(v.Type, "DDR4, DDR4-2400");
  EXPECT_EQ(v.Capacity, "8 GBytes");
  EXPECT_EQ(v.Speed, "PC4-19200 (1200MHz)");
  EXPECT_EQ(v.SpeedGrade, 5);
  EXPECT_EQ(SpeedGradeText(v.SpeedGrade), "75%");
  EXPECT_EQ(v.Manufacturer, "Tessaly");
  EXPECT_EQ(v.DimmType, "SO-DIMM");
  EXPECT_EQ(v.CasLatency, "CL-17");
  EXPECT_EQ(v.Configure, "2048M * 4");
  EXPECT_EQ(v.Grade, "Commercial");
  EXPECT_EQ(v.IcBrand, "Tessaly");
}

TEST(MemoryPane, DecodedSpeedTable) {
  const struct {
    int32_t Code;
    const char* Generation;
    const char* Text;
    const char* Rate;
    int32_t Grade;
  } cases[] = {
      {200, "DDR1", "PC-1600 (100MHz)", "DDR-200", 2},
      {200, "SDRAM", "PC-200 (200MHz)", "", 6},
      {800, "DDR3L", "PC3-6400 (400MHz)", "DDR3-800", 2},
      {800, "DDR2", "PC2-6400 (400MHz)", "DDR2-800", 6},
      {2133, "DDR4", "PC4-17000 (1066MHz)", "DDR4-2133", 4},
      {2133, "DDR3", "PC3-17000 (1066MHz)", "DDR3-2133", 7},
      {3200, "DDR4", "PC4-25600 (1600MHz)", "DDR4-3200", 7},
      {2933, "DDR4", "", "", 1},
      {0, "DDR4", "", "", 1},
  };
  for (const auto& c : cases) {
    const MemorySpeed s = DecodedMemorySpeed(c.Code, c.Generation);
    EXPECT_EQ(s.Text, c.Text) << c.Code << c.Generation;
    EXPECT_EQ(s.DataRate, c.Rate) << c.Code << c.Generation;
    EXPECT_EQ(s.Grade, c.Grade) << c.Code << c.Generation;
  }
}

TEST(MemoryPane, OtherModules) {
  const struct {
    MEMORY_MODULE_INFO Module;
    const char *Type, *Capacity, *Speed;
    int32_t Grade;
  } cases[] = {
      // SMBIOS numbering: 26 is DDR4, 34 DDR5 (in WMI's own, 26 is DDR4 too).
      {Module("M471A2K43DB1-CWE", "16384", false, "26", true, "3200"), "DDR4-3200", "16384 MBytes",
       "PC4-25600 (1600MHz)", 2},
      {Module("M425R1GB4BB0-CQK", "16384", false, "34", true, "4800"), "DDR5-4800", "16384 MBytes",
       "PC5-38400 (2400MHz)", 2},
      {Module("X", "8589934592", true, "24", false, "1600"), "DDR3-1600", "8192 MBytes",
       "PC3-12800 (800MHz)", 5},
      // WMI code 0 leaves the type unknown: the speed says which generation.
      {Module("X", "8589934592", true, "0", false, "1333"), "DDR3-1333", "8192 MBytes",
       "PC3-10600 (667MHz)", 4},
      {Module("X", "4294967296", true, "0", false, "2400"), "DDR4-2400", "4096 MBytes",
       "PC4-19200 (1200MHz)", 4},
      {Module("X", "1073741824", true, "17", false, "133"), "SDRAM", "1024 MBytes",
       "PC-133 (133MHz)", 2},
      {Module("X", "", true, "99", false, "0"), "99", "", "", 1},
  };
  for (const auto& c : cases) {
    const MemorySlotView v = ShowMemorySlot(&c.Module);
    EXPECT_EQ(v.Type, c.Type) << c.Module.Speed;
    EXPECT_EQ(v.Capacity, c.Capacity) << c.Module.Speed;
    EXPECT_EQ(v.Speed, c.Speed) << c.Module.Speed;
    EXPECT_EQ(v.SpeedGrade, c.Grade) << c.Module.Speed;
    EXPECT_EQ(v.Manufacturer, "Samsung");  // trimmed
    EXPECT_EQ(v.DimmType, "N/A");
  }
}

TEST(MemoryPane, Usage) {
  const struct {
    uint32_t Ram;
    std::optional<int64_t> Available;
    std::optional<int32_t> Percent;
    const char *Used, *PercentText, *AvailableText;
    int32_t Image;
  } cases[] = {
      {16384, 12288, 25, "4.00GB", "25%", "12.00GB", 550},
      {16384, 16384, 0, "0MB", "00%", "16.00GB", 509},
      {16384, 0, 100, "16.00GB", "100%", "0MB", 519},
      {16384, 15900, 2, "484MB", "02%", "15.53GB", 548},
      // Unknown installed memory: the use is unknown, never divided by 0.
      {0, 4096, std::nullopt, "", "", "4.00GB", 509},
      {16384, std::nullopt, std::nullopt, "", "", "", 509},
  };
  for (const auto& c : cases) {
    const MemoryUsageView v = ComputeMemoryUsage(c.Ram, c.Available);
    EXPECT_EQ(v.Percent, c.Percent);
    EXPECT_EQ(v.UsedText, c.Used);
    EXPECT_EQ(v.PercentText, c.PercentText);
    EXPECT_EQ(v.AvailableText, c.AvailableText);
    EXPECT_EQ(v.Image, c.Image);
  }
  const struct {
    int32_t P, Image;
  } images[] = {{0, 509},  {1, 548},  {5, 548},  {6, 510},  {25, 550},
                {50, 514}, {90, 518}, {95, 557}, {96, 519}, {100, 519}};
  for (const auto& c : images) EXPECT_EQ(MemoryUsageImage(c.P), c.Image) << c.P;
  EXPECT_EQ(MemorySizeText(1023), "1023MB");
  EXPECT_EQ(MemorySizeText(1024), "1.00GB");
}

TEST(MemoryPane, SpeedGradeImages) {
  const struct {
    int32_t Grade, Step;
    const char* Key;
    const char* Text;
  } cases[] = {
      {1, 1, "dramGrade1", "15%"}, {4, 4, "dramGrade4", "60%"},  {7, 7, "dramGrade7", "100%"},
      {0, 1, "dramGrade1", "15%"}, {-3, 1, "dramGrade1", "15%"}, {8, 7, "dramGrade7", "100%"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SpeedGradeStep(c.Grade), c.Step) << c.Grade;
    EXPECT_EQ(SpeedGradeImageKey(c.Grade), c.Key) << c.Grade;
    EXPECT_EQ(SpeedGradeText(c.Grade), c.Text) << c.Grade;
  }
}

}  // namespace
