#include "monitor/HistoryLog.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/DebugLog.h"
#include "engine/SmartFamily.h"
#include "monitor/HistoryCsv.h"
#include "monitor/OneLineText.h"

namespace monitor {
namespace {

// "Smart.ini" is a few kilobytes; anything far bigger is not ours and is
// neither read nor replaced.
constexpr uint64_t MAX_SMART_INI_SIZE = 4u * 1024u * 1024u;
// Ends a line a crash cut short; no value ends with it, so no reader takes
// the line for a reading.
constexpr const char* INCOMPLETE_MARK = " [incomplete]";
// Folders deeper than this inside a disk folder are not ours either.
constexpr int32_t MAX_TREE_DEPTH = 16;

std::string Hex2(uint32_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", id & 0xFFu);
  return text;
}

uint32_t RawLow32(const ATTRIBUTE_ENTRY& a) {
  return static_cast<uint32_t>(a.RawValue[0]) | (static_cast<uint32_t>(a.RawValue[1]) << 8) |
         (static_cast<uint32_t>(a.RawValue[2]) << 16) |
         (static_cast<uint32_t>(a.RawValue[3]) << 24);
}

int32_t RawLow16(const ATTRIBUTE_ENTRY& a) {
  return static_cast<int32_t>(a.RawValue[0] | (a.RawValue[1] << 8));
}

int32_t AttributeCount(const ATA_SMART_INFO& disk) {
  return std::clamp(disk.AttributeCount, 0, MAX_ATTRIBUTE);
}

bool IsWindowsDeviceName(const std::string& name) {
  // The part before the first dot, without trailing blanks, as Windows
  // compares it.
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* n : kNames) {
    if (stem == n) return true;
  }
  if (stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
      stem[3] >= '0' && stem[3] <= '9') {
    return true;
  }
  return false;
}

// Families whose daily file leaves some ids out.
bool DailyFilterDrops(int32_t family, uint8_t id) {
  static const uint8_t kSm2246Xt[] = {0x0C, 0xA5, 0xA6, 0xC4, 0xC7};
  static const uint8_t kSm2246En[] = {0x09, 0x0C, 0xA3, 0xA5, 0xA6, 0xA8,
                                      0xA9, 0xB1, 0xC4, 0xC7, 0xE1};
  if (family == FAMILY_SMI_SM2246XT || family == FAMILY_SMI_SM2236) {
    return std::find(std::begin(kSm2246Xt), std::end(kSm2246Xt), id) != std::end(kSm2246Xt);
  }
  if (family == FAMILY_SMI_SM2246EN || family == FAMILY_SMI_SM2258) {
    return std::find(std::begin(kSm2246En), std::end(kSm2246En), id) != std::end(kSm2246En);
  }
  return false;
}

bool HasSpareBlockColumn(const ATA_SMART_INFO& disk) {
  return disk.DiskVendorId == FAMILY_SMI_SM2246XT || disk.DiskVendorId == FAMILY_SMI_SM2236;
}

}  // namespace

CHistoryLog::CHistoryLog(os::IFileSystem& files, std::string root, std::string computerName,
                         std::string newline, const app::CLanguageText* language)
    : m_Files(files),
      m_Root(std::move(root)),
      m_ComputerName(OneLine(computerName)),
      m_Newline(std::move(newline)),
      m_Language(language) {
  const char sep = m_Files.Separator();
  if (m_Root.empty() || (m_Root.back() != sep && m_Root.back() != '/')) m_Root.push_back(sep);
}

std::string CHistoryLog::HistoryRoot(const std::string& smartFolder,
                                     const std::optional<std::array<uint8_t, 6>>& address,
                                     char separator) {
  std::string root = smartFolder + "-";
  if (address) {
    char text[32];
    const auto& a = *address;
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", a[0], a[1], a[2], a[3], a[4],
                  a[5]);
    root += text;
  }
  root.push_back(separator);
  return root;
}

std::string CHistoryLog::ChooseHistoryRoot(os::IFileSystem& files, const std::string& smartFolder,
                                           const std::optional<std::array<uint8_t, 6>>& address) {
  const char separator = files.Separator();
  if (address) return HistoryRoot(smartFolder, address, separator);
  const size_t cut = smartFolder.find_last_of(separator == '\\' ? "\\/" : "/");
  const std::string parent = cut == std::string::npos ? std::string() : smartFolder.substr(0, cut);
  const std::string stem =
      (cut == std::string::npos ? smartFolder : smartFolder.substr(cut + 1)) + "-";
  // "<stem>XX-XX-XX-XX-XX-XX": upper-case hexadecimal pairs joined by "-".
  auto namedByAddress = [&stem](const std::string& name) {
    if (name.size() != stem.size() + 17 || name.compare(0, stem.size(), stem) != 0) return false;
    for (size_t i = 0; i < 17; ++i) {
      const char c = name[stem.size() + i];
      const bool ok = i % 3 == 2
                          ? c == '-'
                          : (std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F'));
      if (!ok) return false;
    }
    return true;
  };
  std::vector<std::string> roots;
  if (auto entries = files.ListFolder(parent.empty() ? std::string(".") : parent)) {
    for (const auto& entry : *entries) {
      if (entry.IsFolder && namedByAddress(entry.Name)) roots.push_back(entry.Name);
    }
  }
  if (roots.size() == 1) {
    return (parent.empty() ? std::string() : parent + separator) + roots.front() + separator;
  }
  return HistoryRoot(smartFolder, std::nullopt, separator);
}

std::string CHistoryLog::ChooseHistoryRoot(os::IFileSystem& files, os::ISystem& system,
                                           const std::string& smartFolder) {
  std::vector<os::NetworkAdapter> adapters;
  const bool listed = system.GetNetworkAdapters(&adapters);
  return ChooseHistoryRoot(files, smartFolder,
                           listed ? os::FirstHardwareAddress(adapters) : std::nullopt);
}

std::string CHistoryLog::DiskFolderName(const std::string& modelSerial) {
  bool safe = !IsWindowsDeviceName(modelSerial);
  bool onlyDotsAndBlanks = true;
  for (char c : modelSerial) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::strchr("\\/:*?\"<>|", c) != nullptr) safe = false;
    if (c != '.' && c != ' ') onlyDotsAndBlanks = false;
  }
  if (safe && !onlyDotsAndBlanks) return modelSerial;
  std::string name = "Disk-";
  for (char c : modelSerial) name += Hex2(static_cast<unsigned char>(c));
  return name;
}

std::string CHistoryLog::SectionName(const std::string& modelSerial) {
  return os::CIniFile::StorableName(modelSerial);
}

std::string CHistoryLog::DiskFolder(const std::string& modelSerial) const {
  return m_Root + DiskFolderName(modelSerial) + m_Files.Separator();
}

std::vector<HistoryItem> CHistoryLog::Items(const ATA_SMART_INFO& disk) {
  std::vector<HistoryItem> items;
  items.reserve(16 + 2 * MAX_ATTRIBUTE);
  auto add = [&](const char* key, int32_t value) { items.push_back({key, value, false, 0}); };
  // Figures the disk does not report are left out rather than written as
  // if they had been measured: an unknown temperature (-127), power-on
  // hours never counted (-1), a spare block count that is not there.
  if (disk.Temperature != TEMPERATURE_UNKNOWN) add("Temperature", disk.Temperature);
  if (disk.MeasuredPowerOnHours >= 0) add("PowerOnHours", disk.MeasuredPowerOnHours);
  add("PowerOnCount", disk.PowerOnCount);
  if (disk.Life >= 0) {
    add("Life", disk.Life);
    add("HealthStatus", disk.DiskStatus);
  }
  if (disk.HostWrites >= 0) add("HostWrites", disk.HostWrites);
  if (disk.HostReads >= 0) add("HostReads", disk.HostReads);
  if (disk.NandWrites >= 0) add("NandWrites", disk.NandWrites);
  if (disk.GBytesErased >= 0) add("GBytesErased", disk.GBytesErased);
  if (disk.WearLevelingCount >= 0) add("WearLevelingCount", disk.WearLevelingCount);
  if (disk.SpareBlockCount >= 0 && disk.SpareBlockCount != ERASE_COUNT_UNKNOWN) {
    add("SpareBlock", disk.SpareBlockCount);
  }
  const int32_t count = AttributeCount(disk);
  for (int32_t j = 0; j < count; ++j) {
    const ATTRIBUTE_ENTRY& a = disk.Attribute[j];
    const int32_t own = static_cast<int32_t>(RawLow32(a));
    items.push_back({Hex2(a.Id), own, true, disk.Threshold[j].ThresholdValue});
    // The figures derived from ATA attributes; an NVMe disk's "attribute"
    // 05 is its percentage used, not reallocated sectors.
    if (disk.IsNvme) continue;
    switch (a.Id) {
      case 0x05:
        add("ReallocatedSectorsCount", RawLow16(a));
        break;
      case 0xC4:
        add("ReallocationEventCount", own);
        break;
      case 0xA7:
        add("AverageEraseCount", own);
        break;
      case 0xC5:
        add("CurrentPendingSectorCount", RawLow16(a));
        break;
      case 0xC6:
        add("UncorrectableSectorCount", own);
        break;
      default:
        break;
    }
  }
  return items;
}

std::vector<int32_t> CHistoryLog::DailyColumns(const ATA_SMART_INFO& disk) {
  std::vector<int32_t> columns;
  const int32_t count = AttributeCount(disk);
  for (int32_t j = 0; j < count; ++j) {
    const uint8_t id = disk.Attribute[j].Id;
    if (id == 0x00 || id == 0xFF || DailyFilterDrops(disk.DiskVendorId, id)) continue;
    columns.push_back(j);
  }
  return columns;
}

std::string CHistoryLog::DailyHeader(const ATA_SMART_INFO& disk) const {
  const bool english = m_Settings.SmartEnglish;
  auto text = [&](const std::string& section, const std::string& key) {
    return m_Language != nullptr ? m_Language->Get(section, key, english) : std::string();
  };
  std::string header = "Time";
  if (HasSpareBlockColumn(disk)) {
    header += "," + OneLine(text(disk.SmartKeyName, "NUMBER_OF_SPARE_BLOCK"));
  }
  for (int32_t j : DailyColumns(disk)) {
    const std::string id = Hex2(disk.Attribute[j].Id);
    std::string name = text(disk.SmartKeyName, id);
    if (name.empty()) name = text("Smart", "VENDOR_SPECIFIC");
    if (name.empty()) name = id;
    header += "," + OneLine(name);
  }
  return header;
}

std::string CHistoryLog::DailyLine(const ATA_SMART_INFO& disk, const std::string& time) {
  std::string line = time;
  if (HasSpareBlockColumn(disk)) {
    line += "," + std::to_string(disk.SmartReadData[418] | (disk.SmartReadData[419] << 8));
  }
  for (int32_t j : DailyColumns(disk)) line += "," + std::to_string(RawLow32(disk.Attribute[j]));
  return line;
}

std::optional<PreviousRecord> CHistoryLog::BeginRecord(const ATA_SMART_INFO& disk, int64_t now) {
  m_PendingIni.reset();
  if (!m_Settings.SmartLog || disk.IsSmartCorrect == 0) return std::nullopt;
  auto last = m_LastRecord.find(disk.ModelSerial);
  if (last != m_LastRecord.end()) {
    const int64_t elapsed = now - last->second;
    if (elapsed >= 0 && elapsed < m_Settings.SaveSmartPeriod) return std::nullopt;
  }
  m_LastRecord[disk.ModelSerial] = now;

  const std::string folder = DiskFolder(disk.ModelSerial);
  m_Files.CreateDirectories(m_Root);
  m_Files.CreateDirectories(folder);

  const std::string path = folder + "Smart.ini";
  PreviousRecord previous;
  std::optional<uint64_t> size = m_Files.FileSize(path);
  if (!size) {
    // Missing (the disk's first record) or not a file we could replace.
    if (!m_Files.Exists(path)) m_PendingIni.emplace(m_Newline);
  } else if (*size <= MAX_SMART_INI_SIZE) {
    if (std::optional<std::vector<uint8_t>> bytes = m_Files.ReadFile(path)) {
      m_PendingIni = os::CIniFile::Parse(*bytes, m_Newline);
    }
  }
  if (m_PendingIni) {
    const std::string section = SectionName(disk.ModelSerial);
    previous.HealthStatus = m_PendingIni->GetInt(section, "HealthStatus", 0);
    previous.Life = m_PendingIni->GetInt(section, "Life", -1);
  } else {
    base::DebugLogF("SaveSmartInfo: %s cannot be read, it is left as it is", path.c_str());
  }
  m_PendingKey = disk.ModelSerial;
  return previous;
}

void CHistoryLog::WriteRecord(const ATA_SMART_INFO& disk, const std::tm& local) {
  const std::string time = FormatHistoryTime(local);
  const std::vector<HistoryItem> items = Items(disk);
  const std::string folder = DiskFolder(disk.ModelSerial);

  if (m_PendingIni && m_PendingKey == disk.ModelSerial) WriteSmartIni(disk, items, time);
  m_PendingIni.reset();

  if (m_Settings.CrMode) {
    // "%Y%m%d" of the record's own stamp.
    const std::string day = time.substr(0, 4) + time.substr(5, 2) + time.substr(8, 2);
    const std::string path = folder + "Smart_" + day + ".csv";
    std::string text;
    if (!m_Files.Exists(path)) text = DailyHeader(disk) + m_Newline;
    AppendLine(path, text + DailyLine(disk, time));
  }
  for (const HistoryItem& item : items) {
    AppendLine(folder + item.Key + ".csv", time + "," + std::to_string(item.Value));
  }
}

void CHistoryLog::WriteSmartIni(const ATA_SMART_INFO& disk, const std::vector<HistoryItem>& items,
                                const std::string& time) {
  os::CIniFile& ini = *m_PendingIni;
  const std::string section = SectionName(disk.ModelSerial);
  const std::string status = std::to_string(disk.DiskStatus);
  if (!m_ComputerName.empty()) ini.Set("PC", "ComputerName", m_ComputerName);

  // The first record is the one that finds no date in the disk's section.
  // A disk with attribute 05 whose threshold is missing also counts as new,
  // so a file whose thresholds were lost gets them again; for other disks
  // (most SSDs, NVMe) a missing "05" says nothing and must not overwrite
  // the first values record after record.
  bool first = !ini.Find(section, "Date").has_value();
  if (first) {
    ini.Set("FIRST", "Date", time);
    ini.Set("FIRST", "HealthStatus", status);
  }
  const bool has05 = std::any_of(items.begin(), items.end(), [](const HistoryItem& i) {
    return i.IsAttribute && i.Key == "05";
  });
  if (has05 && !ini.Find("THRESHOLD", "05").has_value()) first = true;

  ini.Set(section, "Date", time);
  ini.Set(section, "HealthStatus", status);
  for (const HistoryItem& item : items) {
    const std::string value = std::to_string(item.Value);
    if (first) {
      ini.Set("FIRST", item.Key, value);
      if (item.IsAttribute) ini.Set("THRESHOLD", item.Key, std::to_string(item.Threshold));
    }
    ini.Set(section, item.Key, value);
  }
  const std::string path = DiskFolder(disk.ModelSerial) + "Smart.ini";
  if (!m_Files.WriteFileAtomic(path, ini.Serialise())) {
    base::DebugLogF("SaveSmartInfo: %s not written: %s", path.c_str(),
                    m_Files.LastErrorText().c_str());
  }
}

bool CHistoryLog::AppendLine(const std::string& path, const std::string& text) {
  std::string data;
  if (m_WholeLines.count(path) == 0) {
    std::optional<std::vector<uint8_t>> tail = m_Files.ReadFileTail(path, 1);
    // Completing the cut line could turn "40" cut to "4" into a reading
    // that never was: mark it so no reader takes it, and end it.
    if (tail && !tail->empty() && tail->back() != '\n') data = INCOMPLETE_MARK + m_Newline;
  }
  data += text;
  data += m_Newline;
  if (!m_Files.AppendFile(path, data)) {
    // Part of the line may have been written: check the end next time.
    m_WholeLines.erase(path);
    return false;
  }
  m_WholeLines.insert(path);
  return true;
}

bool CHistoryLog::ClearLogs(const std::string& modelSerial) {
  std::string folder = DiskFolder(modelSerial);
  folder.pop_back();
  m_LastRecord.erase(modelSerial);
  if (!m_Files.Exists(folder)) return true;
  return RemoveTree(folder, 0);
}

bool CHistoryLog::RemoveTree(const std::string& path, int32_t depth) {
  std::optional<std::vector<os::IFileSystem::FolderEntry>> entries = m_Files.ListFolder(path);
  if (!entries) return false;
  bool ok = true;
  for (const auto& e : *entries) {
    const std::string child = path + m_Files.Separator() + e.Name;
    m_WholeLines.erase(child);
    if (e.IsFolder) {
      ok = depth < MAX_TREE_DEPTH && RemoveTree(child, depth + 1) && ok;
    } else {
      ok = m_Files.Remove(child) && ok;
    }
  }
  return m_Files.Remove(path) && ok;
}

}  // namespace monitor
