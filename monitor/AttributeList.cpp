#include "monitor/AttributeList.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace monitor {

namespace {

bool In(int32_t v, std::initializer_list<int32_t> set) {
  return std::find(set.begin(), set.end(), v) != set.end();
}

// Families 54 to 61 (the Marvell controllers of one maker).
bool IsMarvellLine(int32_t f) { return f >= 54 && f <= 61; }

struct IdRange {
  uint8_t Low;
  uint8_t High;
};
// Attributes whose threshold counts on a disk the list knows nothing else of.
constexpr IdRange kThresholdIds[] = {
    {0x01, 0x0D}, {0xBB, 0xC1}, {0xC3, 0xD1}, {0xD3, 0xD4}, {0xDC, 0xE4},
    {0xE6, 0xE7}, {0xF0, 0xF0}, {0xFA, 0xFA}, {0xFE, 0xFE},
};

bool IsThresholdId(uint8_t id) {
  for (const IdRange& r : kThresholdIds) {
    if (id >= r.Low && id <= r.High) return true;
  }
  return false;
}

int32_t ThresholdIcon(uint8_t current, uint8_t threshold) {
  if (threshold == 0) return ROW_ICON_GOOD;
  return current < threshold ? ROW_ICON_BAD : ROW_ICON_GOOD;
}

bool IsLifeRow(const ATA_SMART_INFO& asi, uint8_t id, bool nvme) {
  const int32_t f = asi.DiskVendorId;
  switch (id) {
    case 0xE8:
      return In(f, {12, 13, 25});
    case 0xBB:
      return f == 2;
    case 0xB1:
    case 0xB3:
    case 0xB4:
      return f == 6;
    case 0xD1:
      return f == 3;
    case 0xE6:
      return f == 13;
    case 0xE7:
      return In(f, {7, 16, 17, 32, 36, 37, 50, 51, 52, 53});
    case 0xAA:
      return f == 4 && asi.IsEarlyController == 0;
    case 0xCA:
      return In(f, {8, 32});
    case 0xE9:
      return In(f, {5, 9, 14, 39, 65, 66});
    case 0xA9:
      return In(f, {21, 22, 26, 31, 34, 35, 38});
    case 0x03:
      return nvme;
    default:
      return false;
  }
}

class CTexts {
 public:
  CTexts(const ListTexts& t, bool englishOnly) : m_T(t), m_EnglishOnly(englishOnly) {}
  std::string Current(const std::string& section, const std::string& key) const {
    return m_T.Current ? m_T.Current(section, key) : std::string();
  }
  std::string English(const std::string& section, const std::string& key) const {
    return m_T.English ? m_T.English(section, key) : std::string();
  }
  // The current language, English where it has no text (English alone with
  // "SmartEnglish").
  std::string Get(const std::string& section, const std::string& key) const {
    std::string s = m_EnglishOnly ? std::string() : Current(section, key);
    return s.empty() ? English(section, key) : s;
  }

 private:
  const ListTexts& m_T;
  bool m_EnglishOnly;
};

// Icon and description of one row; the first rule that applies decides.
void JudgeRow(const ATA_SMART_INFO& asi, const ATTRIBUTE_ENTRY& a, uint8_t threshold,
              const ListOptions& o, const CTexts& t, AttributeRow& row) {
  const bool nvme = asi.InterfaceType == INTERFACE_TYPE_NVME;
  const int32_t f = asi.DiskVendorId;
  const uint8_t id = a.Id;
  if (asi.IsSmartCorrect == 0 || asi.IsThresholdCorrect == 0 || asi.IsThresholdBug != 0) {
    row.Icon = ROW_ICON_UNTRUSTED;
    return;
  }
  if (asi.IsSsd == 0 && (id == 0x05 || id == 0xC5 || id == 0xC6)) {
    const uint16_t limit = id == 0x05   ? asi.Threshold05
                           : id == 0xC5 ? asi.ThresholdC5
                                        : asi.ThresholdC6;
    const uint32_t raw = a.RawValue[0] | (a.RawValue[1] << 8);
    if (threshold != 0 && a.CurrentValue < threshold) {
      row.Icon = ROW_ICON_BAD;
    } else if (limit != 0 && raw >= limit) {
      row.Icon = ROW_ICON_CAUTION;
    } else {
      row.Icon = ROW_ICON_GOOD;
    }
    return;
  }
  row.Icon = ROW_ICON_GOOD;
  if ((id == 0x09 && !nvme) || (id == 0x0C && nvme)) {
    const int32_t h = asi.DetectedPowerOnHours;
    if (h >= 0) {
      const char* suffix =
          asi.DetectedTimeUnitType == TIME_UNIT_MINUTES && asi.IsMaxtor21 != 0 ? " (?)" : "";
      row.Description =
          Format("%d %s %d %s%s", h / 24, t.Get("Dialog", "POWER_ON_DAYS_UNIT").c_str(), h % 24,
                 t.Get("Dialog", "POWER_ON_HOURS_UNIT").c_str(), suffix);
      if (o.MeasuringPowerOnUnit) {
        row.Description += "\r\n" + t.Get("Message", "DETECT_UNIT_POWER_ON_HOURS");
      }
    }
    return;
  }
  if (id == 0xC2 || (id == 0x02 && nvme)) {
    // A disk without a temperature shows none, not -127 °C.
    row.Description = asi.Temperature < -126 ? std::string(
                                                   "--\xC2\xB0"
                                                   "C  --\xC2\xB0"
                                                   "F")
                                             : Format(
                                                   "%d\xC2\xB0"
                                                   "C  %d\xC2\xB0"
                                                   "F",
                                                   asi.Temperature, Fahrenheit(asi.Temperature));
    return;
  }
  if (id == 0xB8) return;
  if ((id == 0xA7 && !In(f, {4, 27, 28, 30, 36, 37, 50, 51, 52})) || (id == 0xD0 && f == 3) ||
      (id == 0xAD && (f == 8 || IsMarvellLine(f)))) {
    const int32_t count = asi.AverageEraseCount;
    if (count == ERASE_COUNT_UNKNOWN) {
      row.Description = t.Get("Dialog", "UNKNOWN");
    } else {
      row.Description =
          static_cast<uint32_t>(count) >= 10 ? Format("%d", count) : Format("%d.x", count);
    }
    return;
  }
  if (IsLifeRow(asi, id, nvme)) {
    if (nvme) {
      row.Icon = ROW_ICON_GOOD;
    } else if (a.CurrentValue == 0 || a.CurrentValue < threshold) {
      row.Icon = ROW_ICON_BAD;
    } else if (a.CurrentValue > asi.ThresholdFF) {
      row.Icon = ROW_ICON_GOOD;
    } else {
      row.Icon = ROW_ICON_CAUTION;
    }
    // An unknown life (-1) is shown as unknown, as the panel does.
    row.Description = asi.Life < 0 ? t.Get("Dialog", "UNKNOWN") : Format("%d%%", asi.Life);
    return;
  }
  if (id == 0xF1 || (id == 0xEA && (f == 8 || f == 18 || IsMarvellLine(f)))) {
    row.Description = SizeText(asi.HostWrites);
    return;
  }
  if (id == 0xF2 || (id == 0xF6 && (f == 8 || f == 18 || IsMarvellLine(f)))) {
    row.Description = SizeText(asi.HostReads);
    return;
  }
  if ((id == 0xF5 && (In(f, {8, 18, 21, 22, 23, 26, 34, 35, 38}) || IsMarvellLine(f))) ||
      (id == 0xE9 && In(f, {12, 13, 17})) || (id == 0xE8 && f == 9)) {
    row.Description = SizeText(asi.NandWrites);
    return;
  }
  if (id == 0x01 && f == 7) {
    row.Icon = a.CurrentValue == 0 && a.RawValue[0] == 0 && a.RawValue[1] == 0
                   ? ROW_ICON_GOOD
                   : ThresholdIcon(a.CurrentValue, threshold);
    return;
  }
  if (asi.IsSsd != 0 && asi.IsEarlyController == 0) {
    row.Icon = ThresholdIcon(a.CurrentValue, threshold);
    return;
  }
  row.Icon = IsThresholdId(id) ? ThresholdIcon(a.CurrentValue, threshold) : ROW_ICON_GOOD;
}

}  // namespace

std::string RawValueText(const ATA_SMART_INFO& asi, const ATTRIBUTE_ENTRY& entry,
                         int32_t notation) {
  uint8_t e[sizeof(ATTRIBUTE_ENTRY)];
  std::memcpy(e, &entry, sizeof e);
  int first = 5;
  int last = 10;
  const int32_t f = asi.DiskVendorId;
  if (f == 7 || f == 19) {
    last = 11;
  } else if (f == 4 && asi.IsEarlyController != 0) {
    first = 4;
    last = 11;
  } else if (f == 3) {
    first = 3;
  }
  if (notation < 0 || notation > 3) notation = 0;
  std::string out;
  switch (notation) {
    case 1: {
      uint64_t v = 0;
      for (int i = last; i >= first; --i) v = (v << 8) | e[i];
      return Format("%llu", static_cast<unsigned long long>(v));
    }
    case 2: {
      int i = last;
      if ((last - first + 1) % 2 == 1) {
        out = Format("%d", e[i]);
        --i;
      }
      for (; i > first; i -= 2) {
        if (!out.empty()) out += ' ';
        out += Format("%d", e[i] * 256 + e[i - 1]);
      }
      return out;
    }
    case 3:
      for (int i = last; i >= first; --i) {
        if (!out.empty()) out += ' ';
        out += Format("%d", e[i]);
      }
      return out;
    default:
      for (int i = last; i >= first; --i) out += Format("%02X", e[i]);
      return out;
  }
}

std::string GroupedNumber(uint64_t value, const NumberFormat& format) {
  const std::string digits = Format("%llu", static_cast<unsigned long long>(value));
  if (format.Grouping == 0) return digits;
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % format.Grouping == 0) out += format.Thousands;
    out += digits[i];
  }
  return out;
}

AttributeList BuildAttributeList(const CDiskArray& disks, int32_t index, const ListOptions& o,
                                 const ListTexts& texts) {
  AttributeList list;
  if (index < 0 || index >= disks.GetCount()) return list;
  const ATA_SMART_INFO& asi = disks[index];
  const CTexts t(texts, o.EnglishNames);
  list.TextTrusted = asi.IsSmartCorrect != 0;
  const std::string vendorSpecific = t.Get("Smart", "VENDOR_SPECIFIC");
  const bool noCurrent = asi.DiskVendorId == 3 || asi.DiskVendorId == 19;
  const int32_t count = std::clamp(asi.AttributeCount, 0, MAX_ATTRIBUTE);
  for (int32_t i = 0; i < count; ++i) {
    const ATTRIBUTE_ENTRY& a = asi.Attribute[i];
    if (a.Id == 0x00 || a.Id == 0xFF) continue;
    AttributeRow row;
    JudgeRow(asi, a, asi.Threshold[i].ThresholdValue, o, t, row);
    row.Id = Format("%02X", a.Id);
    const std::string english = t.English(asi.SmartKeyName, row.Id);
    if (o.EnglishNames) {
      row.Name = english.empty() ? vendorSpecific : english;
    } else {
      row.Name = t.Current(asi.SmartKeyName, row.Id);
      if (row.Name.empty()) row.Name = english.empty() ? vendorSpecific : english;
    }
    row.Current = noCurrent ? "---" : Format("%d", a.CurrentValue);
    row.Raw = RawValueText(asi, a, o.RawValues);
    row.Values = GroupedNumber(RawValue48(a), o.Numbers);
    if (asi.DiskVendorId == 19 && (a.Id == 0x07 || a.Id == 0x06)) {
      const int32_t gb = a.Id == 0x07 ? asi.HostWrites : asi.HostReads;
      row.Description = gb == -1 || gb == 0 ? "----" : Format("%d GB", gb);
    }
    list.Rows.push_back(std::move(row));
  }
  if (asi.WriteAmplification > 0) {
    AttributeRow row;
    row.Icon = ROW_ICON_GOOD;
    row.Id = "--";
    row.Name = t.Get("Dialog", "WRITE_AMPLIFICATION") + " (" + t.Get("Message", "WAF_INFO") + ")";
    row.Current = "---";
    row.Raw = "--------";
    row.Values = Format("%.2f", static_cast<double>(asi.WriteAmplification));
    list.Rows.push_back(std::move(row));
  }
  return list;
}

std::vector<std::string> DiskSelectorEntries(const CDiskArray& disks) {
  std::vector<std::string> entries;
  for (int32_t i = 0; i < disks.GetCount(); ++i) {
    const ATA_SMART_INFO& asi = disks[i];
    // The letters on one line: a selector entry has no second line.
    std::string where;
    if (!asi.DriveMapLine.empty()) {
      where = "(" + asi.DriveMapLine + ")";
    } else if (asi.PhysicalDriveId >= 0) {
      where = Format("(Disk %d)", asi.PhysicalDriveId);
    }
    entries.push_back(Format("(%d) %s %s", i + 1, asi.Model.c_str(), where.c_str()));
  }
  return entries;
}

}  // namespace monitor
