#include "monitor/GraphItems.h"

#include <cstdio>

#include "monitor/AttributeList.h"
#include "monitor/HistoryLog.h"

namespace monitor {
namespace {

// Unknown markers of the derived figures, which older files hold as if
// they were readings.
constexpr int64_t TEMPERATURE_UNKNOWN_MARK = -127;
constexpr int64_t COUNT_UNKNOWN_MARK = 99999;

HistoryValueRule NotNegative() { return {false, true, std::nullopt}; }
HistoryValueRule Raw() { return {true, false, std::nullopt}; }

struct Row {
  int32_t Code;
  const char* Stem;
  const char* LabelKey;
  const char* UnitSection;
  const char* UnitKey;
  int32_t Top, Bottom;
  HistoryValueRule Rule;
};

const Row* Rows(size_t* count) {
  static const Row kRows[] = {
      {300,
       "Temperature",
       "TEMPERATURE",
       "TslSettings",
       "CELSIUS",
       1,
       1,
       {false, false, TEMPERATURE_UNKNOWN_MARK}},
      {301, "PowerOnHours", "POWER_ON_HOURS", "TslSettings", "HOUR", 100, 100, NotNegative()},
      {302, "Life", "HEALTH_STATUS", "Grpahs", "LIFE", 1, 1, NotNegative()},
      {303,
       "SpareBlock",
       "SPARE_BLOCK",
       "Grpahs",
       "BLOCKS",
       10,
       0,
       {false, true, COUNT_UNKNOWN_MARK}},
      {304,
       "AverageEraseCount",
       "AVERAGE_ERASE_COUNT",
       "Grpahs",
       "COUNTERS",
       10,
       0,
       {true, false, COUNT_UNKNOWN_MARK}},
      {305, "ReallocatedSectorsCount", "REALLOCATED_SECTORS_COUNT", "Grpahs", "COUNTERS", 50, 0,
       Raw()},
      {306, "UncorrectableSectorCount", "", "Grpahs", "COUNTERS", 1, 1, Raw()},
      {307, "HostWrites", "TOTAL_HOST_WRITES", "Grpahs", "USAGE", 1, 1, NotNegative()},
      {308, "HostReads", "TOTAL_HOST_READS", "Grpahs", "USAGE", 1, 1, NotNegative()},
      {309, "NandWrites", "", "Grpahs", "TIMES", 1, 0, NotNegative()},
      {310, "GBytesErased", "", "Grpahs", "TIMES", 1, 0, NotNegative()},
      {311, "WearLevelingCount", "", "Grpahs", "COUNTERS", 1, 1, NotNegative()},
      {312, "Life", "", "Grpahs", "LIFE", 1, 0, NotNegative()},
  };
  *count = std::size(kRows);
  return kRows;
}

}  // namespace

std::optional<GraphItem> FindGraphItem(int32_t code) {
  if (code >= 0 && code <= 255) {
    char stem[8];
    std::snprintf(stem, sizeof stem, "%02X", static_cast<unsigned>(code));
    GraphItem item;
    item.Code = code;
    item.Stem = stem;
    item.Rule = Raw();
    return item;
  }
  size_t count = 0;
  const Row* rows = Rows(&count);
  for (size_t i = 0; i < count; ++i) {
    const Row& r = rows[i];
    if (r.Code != code) continue;
    return GraphItem{r.Code, r.Stem, r.LabelKey, r.UnitSection, r.UnitKey, r.Top, r.Bottom, r.Rule};
  }
  return std::nullopt;
}

std::string GraphItemPath(const std::string& historyRoot, const std::string& modelSerial,
                          const GraphItem& item, char separator) {
  std::string path = historyRoot;
  if (path.empty() || (path.back() != separator && path.back() != '/')) path.push_back(separator);
  return path + CHistoryLog::DiskFolderName(modelSerial) + separator + item.Stem + ".csv";
}

std::vector<std::string> GraphDiskEntries(const CDiskArray& disks) {
  std::vector<std::string> entries = DiskSelectorEntries(disks);
  for (int32_t i = 0; i < disks.GetCount() && static_cast<size_t>(i) < entries.size(); ++i) {
    if (disks[i].Model.find("ZaziDavod") == std::string::npos) continue;
    // "(n) " and the model are replaced; the drive part stays.
    const std::string head = "(" + std::to_string(i + 1) + ") " + disks[i].Model + " ";
    std::string& e = entries[static_cast<size_t>(i)];
    const std::string where = e.rfind(head, 0) == 0 ? e.substr(head.size()) : std::string();
    e = "(" + std::to_string(i + 1) + ") Tessaly 2.5\" SSD " + where;
  }
  return entries;
}

}  // namespace monitor
