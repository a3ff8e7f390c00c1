#include "monitor/Publication.h"

#include <cstdio>

#include "engine/DiskStatus.h"
#include "os/IniFile.h"

namespace monitor {
namespace {

constexpr const char* DEGREE = "\xC2\xB0";  // U+00B0 in UTF-8
// "Exchange.ini" is a few kilobytes; anything far bigger is not ours and
// is replaced rather than read.
constexpr uint64_t EXCHANGE_MAX_SIZE = 1u << 20;

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char buffer[128];
  const int n = std::snprintf(buffer, sizeof buffer, format, args...);
  if (n < 0) return {};
  return std::string(
      buffer, static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1);
}

}  // namespace

std::string ShareTemperatureText(int32_t celsius, int32_t temperatureUnit) {
  const bool fahrenheit = temperatureUnit == 1;
  const char* unit = fahrenheit ? "F" : "C";
  if (celsius <= TEMPERATURE_UNKNOWN) return Format("-- %s%s", DEGREE, unit);
  if (!fahrenheit) return Format("%d %sC", celsius, DEGREE);
  const int32_t f = celsius * 9 / 5 + 32;
  return Format(f > 100 ? "%d%sF" : "%d %sF", f, DEGREE);
}

std::string ShareDiskSizeText(uint32_t totalDiskSizeMb) {
  if (totalDiskSizeMb < 1024) return Format("%d MB", static_cast<int32_t>(totalDiskSizeMb));
  return Format("%.1f GB", totalDiskSizeMb / 1024.0);
}

std::string ShareKeyName(const std::string& modelSerial) {
  std::string name = modelSerial;
  for (char& c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '\\' || u < 0x20 || u == 0x7F) c = '_';
  }
  return name;
}

std::string ExchangeValue(const std::string& text) {
  std::string value;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      if (!value.empty() && value.back() != ' ') value.push_back(' ');
    } else {
      value.push_back(c);
    }
  }
  while (!value.empty() && value.back() == ' ') value.pop_back();
  return value;
}

CPublisher::CPublisher(os::IRegistry* registry, os::IFileSystem& files, os::IClock& clock,
                       std::string exchangePath, std::string newline)
    : m_Registry(registry),
      m_Files(files),
      m_Clock(clock),
      m_ExchangePath(std::move(exchangePath)),
      m_Newline(std::move(newline)) {}

void CPublisher::UpdateShareInfo(const CDiskArray& disks) {
  if (!m_Gadget || m_Registry == nullptr) return;
  const auto dword = [](const char* name, uint32_t value) {
    return os::RegistryValue{name, true, value, {}};
  };
  const auto text = [](std::string name, std::string value) {
    return os::RegistryValue{std::move(name), false, 0, std::move(value)};
  };
  os::RegistryTree tree;
  tree.Values = {dword("Version", 1),
                 dword("LastUpdate", static_cast<uint32_t>(m_Clock.TickCount())),
                 dword("DiskCount", static_cast<uint32_t>(disks.GetCount()))};
  for (int32_t i = 0; i < disks.GetCount(); ++i) {
    const ATA_SMART_INFO& d = disks[i];
    std::string name = ShareKeyName(d.ModelSerial);
    if (name.empty()) continue;
    os::RegistryTree::Subkey sub;
    sub.ParentValues = {text(Format("Disk%d", i), name)};
    sub.Values = {
        text("DriveLetter", d.DriveMap),
        text("Model", d.Model),
        text("DiskSize", ShareDiskSizeText(d.TotalDiskSize)),
        text("Temperature", ShareTemperatureText(d.Temperature, m_TemperatureUnit)),
        text("TemperatureClass", std::string(GetTemperatureClass(d).Image)),
        dword("DiskStatus", static_cast<uint32_t>(d.DiskStatus)),
    };
    sub.Name = std::move(name);
    tree.Subkeys.push_back(std::move(sub));
  }
  m_Registry->ReplaceTree(SHARE_KEY, tree);
}

void CPublisher::DeleteShareInfo() {
  if (m_Registry != nullptr) m_Registry->DeleteTree(SHARE_KEY);
}

bool CPublisher::WriteExchangeFile(const CDiskArray& disks) {
  os::CIniFile file(m_Newline);
  std::optional<uint64_t> size = m_Files.FileSize(m_ExchangePath);
  if (size && *size <= EXCHANGE_MAX_SIZE) {
    if (auto data = m_Files.ReadFile(m_ExchangePath)) file = os::CIniFile::Parse(*data, m_Newline);
  }
  bool changed = !size.has_value();
  bool flag = false;
  file.Set("EXCHANGE", "DetectedDisk", Format("%d", disks.GetCount()), &flag);
  changed = changed || flag;
  for (int32_t i = 0; i < disks.GetCount(); ++i) {
    const std::string key = Format("%d", i);
    for (auto [section, text] :
         {std::pair<const char*, const std::string*>{"MODEL", &disks[i].Model},
          {"SERIAL", &disks[i].SerialNumber},
          {"DRIVE", &disks[i].DriveMap}}) {
      // A value that is empty after cleaning is written empty.
      flag = false;
      file.Set(section, key, ExchangeValue(*text), &flag);
      changed = changed || flag;
    }
  }
  if (!changed) return true;
  return m_Files.WriteFileAtomic(m_ExchangePath, file.Serialise());
}

std::string StatusField(const std::string& text) {
  std::string field = text;
  for (char& c : field) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == ',' || u < 0x20 || u == 0x7F) {
      c = ' ';
    } else if (u >= 0x80) {
      c = '?';
    }
  }
  return field;
}

std::string StatusLine(const ATA_SMART_INFO& disk, int32_t index, const StatusFigures& figures) {
  const std::string head = index == 0 ? "127.0.0.1,1," : "127.0.0.2,2,";
  char tail[160];
  const int n = std::snprintf(
      tail, sizeof tail, ",%d,%d,%d,%d,%d,%d,%d", static_cast<int32_t>(disk.Temperature), disk.Life,
      disk.HostReads, disk.HostWrites, figures.CpuUsage, figures.AvailableMb, figures.RamSizeMb);
  const std::string numbers(tail, n > 0 ? static_cast<size_t>(n) : 0);
  std::string model = StatusField(disk.Model);
  std::string serial = StatusField(disk.SerialNumber);
  // Texts are cut so that the line fits; the numbers are never cut.
  const size_t room = STATUS_LINE_MAX - head.size() - 1 - numbers.size();
  if (model.size() + serial.size() > room) {
    if (serial.size() > room / 2) serial.resize(room / 2);
    if (model.size() > room - serial.size()) model.resize(room - serial.size());
  }
  return head + model + "," + serial + numbers;
}

}  // namespace monitor
