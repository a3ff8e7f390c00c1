// What the S.M.A.R.T. detail pane lists for one disk: one row per
// attribute with its status icon, Id, name, current value, raw value in the
// chosen notation, the raw value as a grouped number and the derived figure
// it carries; and the entries of the pane's disk selector. The pane only puts
// these rows into its list control.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/AtaSmart.h"
#include "monitor/PanelText.h"

namespace monitor {

// Icons of the rows, in the order of the pane's image list.
enum ROW_ICON : int32_t {
  ROW_ICON_BLUE = 0,  // not used by the list
  ROW_ICON_GOOD = 1,
  ROW_ICON_CAUTION = 2,
  ROW_ICON_BAD = 3,
  ROW_ICON_UNTRUSTED = 4,  // the disk's S.M.A.R.T. data are not trusted
};

struct AttributeRow {
  int32_t Icon = ROW_ICON_GOOD;
  std::string Id;           // "%02X"
  std::string Name;         // in the user's language
  std::string Current;      // "%d", or "---" where the family has none
  std::string Raw;          // in the chosen notation
  std::string Values;       // the raw value as a grouped decimal number
  std::string Description;  // the derived figure of this attribute, if any
};

// The user's number format (the system's locale on Windows).
struct NumberFormat {
  std::string Thousands = ",";
  size_t Grouping = 3;  // digits per group; 0 for none
};

struct ListOptions {
  int32_t RawValues = 0;      // "RawValues": 0 hex, 1 decimal, 2 words, 3 bytes
  bool EnglishNames = false;  // "SmartEnglish"
  bool MeasuringPowerOnUnit = false;
  NumberFormat Numbers;
};

// Texts of the list: `current` in the user's language, `english` the
// English file (names fall back to it).
struct ListTexts {
  TextLookup Current;
  TextLookup English;
};

struct AttributeList {
  bool TextTrusted = true;  // false: rows in grey (192, 192, 192)
  std::vector<AttributeRow> Rows;
};

// The rows of disk `index`; no row for an index outside the list (for
// instance a selector entry left over from before a rescan).
AttributeList BuildAttributeList(const CDiskArray& disks, int32_t index, const ListOptions& options,
                                 const ListTexts& texts);

// The raw bytes of an attribute entry in a notation ("RawValues"; any value
// outside 0-3 is 0), with the bytes the family shows.
std::string RawValueText(const ATA_SMART_INFO& asi, const ATTRIBUTE_ENTRY& entry, int32_t notation);
// A whole number with the user's digit grouping ("10,000").
std::string GroupedNumber(uint64_t value, const NumberFormat& format);

// The disk selector: "(%d) %s %s" for each disk.
std::vector<std::string> DiskSelectorEntries(const CDiskArray& disks);

}  // namespace monitor
