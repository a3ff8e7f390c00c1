// What the memory pane shows: the slot list and its first selection, the
// rows of one slot (decoded from the maker's part number, or from the
// module's own type and speed), the speed-grade gauge, and the memory use
// refreshed every second.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/MemoryInfo.h"

// An entry of the slot list: "Slot #2", and the slot it stands for.
struct MemorySlotEntry {
  std::string Text;
  int32_t Slot = 0;
};

// Every present slot as "%s #%d" with `slotText`, in slot order.
std::vector<MemorySlotEntry> MemorySlotEntries(const MemoryModuleTable& slots,
                                               const std::string& slotText);
// The entry first selected: the last present slot whose part number
// decoded, else the first entry; none when no slot is present.
std::optional<size_t> InitialMemorySlot(const MemoryModuleTable& slots,
                                        const std::vector<MemorySlotEntry>& entries);

// The rows of one slot.
struct MemorySlotView {
  std::string Type, Capacity, Speed, Manufacturer, PartNumber, SerialNumber;
  std::string DimmType, CasLatency, Configure, Grade, IcBrand;
  int32_t SpeedGrade = 1;  // 1 to 7: the gauge image "dramGrade%d"
};
// A slot that is not present (or none: null) shows empty rows.
MemorySlotView ShowMemorySlot(const MEMORY_MODULE_INFO* slot);

// The speed text, data-rate text and grade of a speed (in MT/s) for the
// decoded part numbers (`generation` "DDR4" ...) and for other modules
// (`type` the memory type's name, which an "Unknown" type may turn into
// the generation the speed belongs to).
struct MemorySpeed {
  std::string Text;      // "PC4-19200 (1200MHz)"
  std::string DataRate;  // "DDR4-2400"
  int32_t Grade = 1;
};
MemorySpeed DecodedMemorySpeed(int32_t speedCode, const std::string& generation);
MemorySpeed ModuleMemorySpeed(int32_t speed, std::string* type);

// "15%" ... "100%" of grades 1 to 7.
std::string SpeedGradeText(int32_t grade);
// The gauge step of a grade (1 to 7; a grade out of range takes the nearest)
// and its skin image "dramGrade1" ... "dramGrade7".
int32_t SpeedGradeStep(int32_t grade);
std::string SpeedGradeImageKey(int32_t grade);

// "%.2fGB" of MiB / 1024 above 1023 MiB, else "%dMB".
std::string MemorySizeText(int64_t mb);

// The memory use of the pane's one-second timer. Unknown (empty texts, no
// percent) when the installed memory is unknown or nothing was read.
struct MemoryUsageView {
  std::optional<int32_t> Percent;  // 0 to 100
  std::string UsedText;            // "%.2fGB" / "%dMB"
  std::string PercentText;         // "%02d%%"
  std::string AvailableText;       // "%.2fGB" / "%dMB"
  int32_t Image = 509;
};
MemoryUsageView ComputeMemoryUsage(uint32_t ramSizeMb, std::optional<int64_t> availableMb);
// Usage gauge image for p percent.
int32_t MemoryUsageImage(int32_t p);
