// What the graph pane can draw: the logged figures by their item codes
// (300 and up) and the raw S.M.A.R.T. attributes (codes 0-255), with the
// file each is read from, its texts, the value axis's margins and how its
// values are read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include <vector>

#include "engine/AtaSmart.h"
#include "monitor/HistoryWindow.h"

namespace monitor {

struct GraphItem {
  int32_t Code = 0;
  std::string Stem;          // the item file's name without ".csv"
  std::string LabelKey;      // language section "Dialog"; empty when not offered
  std::string UnitSection;   // language section and key of the unit text;
  std::string UnitKey;       // empty for raw attributes
  int32_t TopMargin = 1;     // the value axis runs from (smallest - bottom)
  int32_t BottomMargin = 1;  // to (largest + top)
  HistoryValueRule Rule;
};

constexpr int32_t GRAPH_ITEM_TEMPERATURE = 300;

// The attribute combo's entries: combo index -> item code.
constexpr std::array<int32_t, 8> GRAPH_COMBO_CODES = {300, 302, 303, 304, 301, 305, 308, 307};

// The item of a code; nullopt for codes that draw nothing.
std::optional<GraphItem> FindGraphItem(int32_t code);

// The item file of a disk: the history root (with its separator at the
// end), the disk's folder as the history log names it, the stem and ".csv".
std::string GraphItemPath(const std::string& historyRoot, const std::string& modelSerial,
                          const GraphItem& item, char separator);

// The disk combo's entries, one per disk of the list in its order:
// "(n) model (drive letters)", the maker's own disks by their product name.
std::vector<std::string> GraphDiskEntries(const CDiskArray& disks);

}  // namespace monitor
