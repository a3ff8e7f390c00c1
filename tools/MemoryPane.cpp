#include "tools/MemoryPane.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char* NOT_DECODED = "N/A";

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Trim(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

std::optional<int64_t> ParseNumber(const std::string& text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

struct DecodedSpeed {
  int32_t Code;
  const char* Generation;  // nullptr: any; else this generation (or the alternate)
  const char* Alternate;   // a second generation of the same entry, or nullptr
  const char* Text;
  const char* DataRate;
  int32_t Grade;
};

// In order: an entry with a generation comes before the "other" entry of
// its code.
constexpr DecodedSpeed DECODED_SPEEDS[] = {
    {100, nullptr, nullptr, "PC-100 (100MHz)", "", 2},
    {133, nullptr, nullptr, "PC-133 (133MHz)", "", 4},
    {166, nullptr, nullptr, "PC-166 (166MHz)", "", 5},
    {200, "DDR1", nullptr, "PC-1600 (100MHz)", "DDR-200", 2},
    {200, nullptr, nullptr, "PC-200 (200MHz)", "", 6},
    {266, nullptr, nullptr, "PC-2100 (133MHz)", "DDR-266", 3},
    {333, nullptr, nullptr, "PC-2700 (166MHz)", "DDR-333", 5},
    {400, "DDR2", nullptr, "PC2-3200 (200MHz)", "DDR2-400", 2},
    {400, nullptr, nullptr, "PC-3200 (200MHz)", "DDR-400", 7},
    {533, nullptr, nullptr, "PC2-4200 (266MHz)", "DDR2-533", 3},
    {667, nullptr, nullptr, "PC2-5300 (333MHz)", "DDR2-667", 4},
    {800, "DDR3", "DDR3L", "PC3-6400 (400MHz)", "DDR3-800", 2},
    {800, nullptr, nullptr, "PC2-6400 (400MHz)", "DDR2-800", 6},
    {1066, "DDR3", "DDR3L", "PC3-8500 (533MHz)", "DDR3-1066", 3},
    {1066, nullptr, nullptr, "PC2-8500 (533MHz)", "DDR2-1066", 7},
    {1333, nullptr, nullptr, "PC3-10600 (667MHz)", "DDR3-1333", 4},
    {1600, "DDR4", nullptr, "PC4-12800 (800MHz)", "DDR4-1600", 2},
    {1600, nullptr, nullptr, "PC3-12800 (800MHz)", "DDR3-1600", 5},
    {1866, "DDR4", nullptr, "PC4-14900 (933MHz)", "DDR4-1866", 3},
    {1866, nullptr, nullptr, "PC3-14900 (933MHz)", "DDR3-1866", 6},
    {2133, "DDR4", nullptr, "PC4-17000 (1066MHz)", "DDR4-2133", 4},
    {2133, nullptr, nullptr, "PC3-17000 (1066MHz)", "DDR3-2133", 7},
    {2400, nullptr, nullptr, "PC4-19200 (1200MHz)", "DDR4-2400", 5},
    {2666, nullptr, nullptr, "PC4-21400 (1333MHz)", "DDR4-2666", 6},
    {3200, nullptr, nullptr, "PC4-25600 (1600MHz)", "DDR4-3200", 7},
};

// A module's speed of no named entry: its name from the data rate
// ("PC4-25600 (1600MHz)" for DDR4-3200): eight bytes per transfer, the
// clock half the rate.
std::string ComputedSpeedText(const char* prefix, int32_t t) {
  char text[48];
  std::snprintf(text, sizeof text, "%s-%d (%dMHz)", prefix, t * 8, t / 2);
  return text;
}

// The module-name prefix of a memory generation; `fallback` when the type
// names none.
const char* PrefixOf(const std::string& type, const char* fallback) {
  if (type.rfind("DDR5", 0) == 0 || type == "LPDDR5") return "PC5";
  if (type.rfind("DDR4", 0) == 0 || type == "LPDDR4") return "PC4";
  if (type.rfind("DDR3", 0) == 0 || type == "LPDDR3") return "PC3";
  if (type.rfind("DDR2", 0) == 0 || type == "LPDDR2") return "PC2";
  if (type == "DDR" || type == "LPDDR") return "PC";
  return fallback;
}

std::string Rate(const std::string& type, int32_t t) { return type + "-" + std::to_string(t); }

}  // namespace

std::vector<MemorySlotEntry> MemorySlotEntries(const MemoryModuleTable& slots,
                                               const std::string& slotText) {
  std::vector<MemorySlotEntry> entries;
  for (size_t n = 0; n < slots.size(); ++n) {
    if (!slots[n].IsPresent) continue;
    entries.push_back({slotText + " #" + std::to_string(n), static_cast<int32_t>(n)});
  }
  return entries;
}

std::optional<size_t> InitialMemorySlot(const MemoryModuleTable& slots,
                                        const std::vector<MemorySlotEntry>& entries) {
  if (entries.empty()) return std::nullopt;
  for (size_t i = entries.size(); i-- > 0;) {
    const int32_t slot = entries[i].Slot;
    if (slot >= 0 && static_cast<size_t>(slot) < slots.size() &&
        slots[static_cast<size_t>(slot)].PartInfo.IsValid) {
      return i;
    }
  }
  return 0;
}

MemorySpeed DecodedMemorySpeed(int32_t speedCode, const std::string& generation) {
  for (const DecodedSpeed& s : DECODED_SPEEDS) {
    if (s.Code != speedCode) continue;
    if (s.Generation != nullptr && generation != s.Generation &&
        (s.Alternate == nullptr || generation != s.Alternate)) {
      continue;
    }
    return {s.Text, s.DataRate, s.Grade};
  }
  return {};
}

MemorySpeed ModuleMemorySpeed(int32_t t, std::string* type) {
  MemorySpeed s;
  if (t <= 0) return s;
  const bool unknown = *type == "Unknown";
  if (t <= 399) {
    if (unknown) *type = "DDR";
    s.DataRate = unknown ? Rate("DDR", t) : std::string();
    switch (t) {
      case 200:
        s = {"PC-1600 (100MHz)", s.DataRate, 2};
        break;
      case 266:
        s = {"PC-2100 (133MHz)", s.DataRate, 4};
        break;
      case 333:
        s = {"PC-2700 (166MHz)", s.DataRate, 5};
        break;
      default: {
        // SDRAM modules are named by their clock ("PC-133 (133MHz)").
        const bool sdram = *type == "SDRAM" || *type == "Synchronous DRAM";
        char text[48];
        std::snprintf(text, sizeof text, "PC-%d (%dMHz)", t, t);
        s = {sdram ? std::string(text) : ComputedSpeedText(PrefixOf(*type, "PC"), t), s.DataRate,
             2};
      }
    }
    return s;
  }
  if (t <= 1066) {
    if (unknown) *type = "DDR2";
    const bool ddr3 = *type == "DDR3" || *type == "DDR3L";
    s.DataRate = Rate(*type, t);
    if (t == 533) return {"PC2-4200 (266MHz)", s.DataRate, 3};
    if (t == 667) return {"PC2-5300 (333MHz)", s.DataRate, 4};
    if (t == 800)
      return ddr3 ? MemorySpeed{"PC3-6400 (400MHz)", s.DataRate, 2}
                  : MemorySpeed{"PC2-6400 (400MHz)", s.DataRate, 6};
    if (t == 1066)
      return ddr3 ? MemorySpeed{"PC3-8500 (533MHz)", s.DataRate, 3}
                  : MemorySpeed{"PC2-8500 (533MHz)", s.DataRate, 7};
    return {ComputedSpeedText(PrefixOf(*type, "PC2"), t), s.DataRate, 2};
  }
  if (t <= 2133) {
    if (unknown) *type = "DDR3";
    const bool ddr4 = *type == "DDR4";
    s.DataRate = Rate(*type, t);
    if (t == 1333) return {"PC3-10600 (667MHz)", s.DataRate, 4};
    if (t == 1600)
      return ddr4 ? MemorySpeed{"PC4-12800 (800MHz)", s.DataRate, 2}
                  : MemorySpeed{"PC3-12800 (800MHz)", s.DataRate, 5};
    if (t == 1866)
      return ddr4 ? MemorySpeed{"PC4-14900 (933MHz)", s.DataRate, 3}
                  : MemorySpeed{"PC3-14900 (933MHz)", s.DataRate, 6};
    if (t == 2133)
      return ddr4 ? MemorySpeed{"PC4-17000 (1066MHz)", s.DataRate, 3}
                  : MemorySpeed{"PC3-17000 (1066MHz)", s.DataRate, 1};
    return {ComputedSpeedText(PrefixOf(*type, "PC3"), t), s.DataRate, 2};
  }
  if (unknown) *type = "DDR4";
  s.DataRate = Rate(*type, t);
  if (t == 2400) return {"PC4-19200 (1200MHz)", s.DataRate, 4};
  return {ComputedSpeedText(PrefixOf(*type, "PC4"), t), s.DataRate, 2};
}

int32_t SpeedGradeStep(int32_t grade) { return std::clamp(grade, 1, 7); }

std::string SpeedGradeText(int32_t grade) {
  static const char* const TEXTS[] = {"15%", "30%", "45%", "60%", "75%", "90%", "100%"};
  return TEXTS[SpeedGradeStep(grade) - 1];
}

std::string SpeedGradeImageKey(int32_t grade) {
  return "dramGrade" + std::to_string(SpeedGradeStep(grade));
}

MemorySlotView ShowMemorySlot(const MEMORY_MODULE_INFO* slot) {
  MemorySlotView v;
  if (slot == nullptr || !slot->IsPresent) return v;
  const DRAM_PART_INFO& p = slot->PartInfo;
  if (p.IsValid) {
    const MemorySpeed speed = DecodedMemorySpeed(p.SpeedCode, p.Generation);
    v.Type = p.Generation + ", " + speed.DataRate;
    v.Capacity = p.Capacity;
    v.Speed = speed.Text;
    v.SpeedGrade = speed.Grade;
    v.Manufacturer = "Tessaly";
    v.DimmType = p.ModuleType;
    v.CasLatency = p.CasLatency;
    v.Configure = p.Organisation;
    v.Grade = p.TemperatureGrade;
    v.IcBrand = p.ChipBrand;
  } else {
    v.DimmType = v.CasLatency = v.Configure = v.Grade = v.IcBrand = NOT_DECODED;
    if (!slot->Size.empty()) {
      const auto size = ParseNumber(slot->Size);
      v.Capacity = slot->IsSizeInBytes ? std::to_string(size.value_or(0) / 1024 / 1024) + " MBytes"
                                       : slot->Size + " MBytes";
    }
    // A code of neither table leaves the text as it stands.
    std::string type = MemoryTypeText(*slot);
    if (type.empty()) type = slot->MemoryType;
    const MemorySpeed speed = ModuleMemorySpeed(
        static_cast<int32_t>(std::min<int64_t>(ParseNumber(slot->Speed).value_or(0), INT32_MAX)),
        &type);
    // The data rate names the type better ("DDR4-3200"); a speed without
    // one keeps the type's name.
    v.Type = speed.DataRate.empty() ? type : speed.DataRate;
    v.Speed = speed.Text;
    v.SpeedGrade = speed.Grade;
    v.Manufacturer = slot->Manufacturer;
  }
  v.PartNumber = slot->PartNumber;
  v.SerialNumber = slot->SerialNumber;
  for (std::string* s :
       {&v.Type, &v.Capacity, &v.Speed, &v.Manufacturer, &v.PartNumber, &v.SerialNumber}) {
    *s = Trim(*s);
  }
  return v;
}

std::string MemorySizeText(int64_t mb) {
  char text[32];
  if (mb > 1023) {
    std::snprintf(text, sizeof text, "%.2fGB", static_cast<double>(mb) / 1024);
  } else {
    std::snprintf(text, sizeof text, "%dMB", static_cast<int>(mb));
  }
  return text;
}

int32_t MemoryUsageImage(int32_t p) {
  if (p <= 0) return 509;
  if (p >= 96) return 519;
  const int32_t band = (p + 4) / 5;  // 1 for 1-5 ... 19 for 91-95
  return band % 2 == 1 ? 548 + (band - 1) / 2 : 510 + band / 2 - 1;
}

MemoryUsageView ComputeMemoryUsage(uint32_t ramSizeMb, std::optional<int64_t> availableMb) {
  MemoryUsageView v;
  if (!availableMb) return v;
  v.AvailableText = MemorySizeText(*availableMb);
  // An unknown installed size leaves the use unknown; it is never divided by.
  if (ramSizeMb == 0) return v;
  const int64_t used = std::max<int64_t>(0, static_cast<int64_t>(ramSizeMb) - *availableMb);
  const int32_t percent = static_cast<int32_t>(std::clamp<int64_t>(
      (static_cast<int64_t>(ramSizeMb) - *availableMb) * 100 / ramSizeMb, 0, 100));
  v.Percent = percent;
  v.UsedText = MemorySizeText(used);
  char text[16];
  std::snprintf(text, sizeof text, "%02d%%", percent);
  v.PercentText = text;
  v.Image = MemoryUsageImage(percent);
  return v;
}
