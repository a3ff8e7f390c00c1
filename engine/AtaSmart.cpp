#include "engine/AtaSmart.h"

#include <cstdlib>
#include <ctime>
#include <stdexcept>

const char* const kCommandTypeCodes[CMD_TYPE_COUNT] = {
    "un", "pd", "sm", "si", "sa", "sp", "io", "l1", "l2", "jm",
    "cy", "pr", "cs", "cp", "wm", "ns", "ni", "sq", "nj", "na",
};

const char* CommandTypeName(int32_t commandType) {
  static const char* const kNames[CMD_TYPE_COUNT] = {
      "CMD_TYPE_UNKNOWN",       "CMD_TYPE_PHYSICAL_DRIVE",
      "CMD_TYPE_SCSI_MINIPORT", "CMD_TYPE_SILICON_IMAGE",
      "CMD_TYPE_SAT",           "CMD_TYPE_SUNPLUS",
      "CMD_TYPE_IO_DATA",       "CMD_TYPE_LOGITEC1",
      "CMD_TYPE_LOGITEC2",      "CMD_TYPE_JMICRON",
      "CMD_TYPE_CYPRESS",       "CMD_TYPE_PROLIFIC",
      "CMD_TYPE_CSMI",          "CMD_TYPE_CSMI_PHYSICAL_DRIVE",
      "CMD_TYPE_WMI",           "CMD_TYPE_NVME_SAMSUNG",
      "CMD_TYPE_NVME_INTEL",    "CMD_TYPE_NVME_STORAGE_QUERY",
      "CMD_TYPE_NVME_JMICRON",  "CMD_TYPE_NVME_ASMEDIA",
  };
  if (commandType < 0 || commandType >= CMD_TYPE_COUNT) return "CMD_TYPE_UNKNOWN";
  return kNames[commandType];
}

bool CDiskArray::Add(const ATA_SMART_INFO& record) {
  if (m_Items.size() >= static_cast<size_t>(MAX_DISK)) return false;
  m_Items.push_back(record);
  return true;
}

void CDiskArray::RemoveAt(int32_t i) {
  if (i < 0 || static_cast<size_t>(i) >= m_Items.size()) {
    throw std::out_of_range("CDiskArray::RemoveAt");
  }
  m_Items.erase(m_Items.begin() + i);
}

namespace {

// The number after "Service Pack " in the service-pack text, 0 if none.
int ServicePackNumber(const std::string& csd) {
  static const std::string kPrefix = "Service Pack ";
  size_t at = csd.find(kPrefix);
  if (at == std::string::npos) return 0;
  return std::atoi(csd.c_str() + at + kPrefix.size());
}

}  // namespace

CAtaSmart::CAtaSmart(const os::Platform& platform) : m_Platform(platform) {
  m_OsVersionInfo = m_Platform.System.GetOsVersion();
  const auto& v = m_OsVersionInfo;
  m_FlagAtaPassThrough =
      v.MajorVersion >= 6 || (v.MajorVersion == 5 && v.MinorVersion == 2) ||
      (v.MajorVersion == 5 && v.MinorVersion == 1 && ServicePackNumber(v.CSDVersion) > 1);
  m_FlagNVMeStorageQuery = v.MajorVersion >= 10 || (v.MajorVersion == 6 && v.MinorVersion == 2);
}

ATA_SMART_INFO CAtaSmart::NewRecord() const {
  ATA_SMART_INFO asi;
  std::tm midnight{};
  midnight.tm_year = 1979 - 1900;
  midnight.tm_mon = 11;
  midnight.tm_mday = 3;
  midnight.tm_isdst = -1;
  asi.ManufactureDate = m_Platform.Clock.MakeLocalTime(midnight);
  return asi;
}

ATA_SMART_INFO CAtaSmart::NewNvmeRecord() const {
  ATA_SMART_INFO asi = NewRecord();
  asi.Temperature = 24;
  asi.SpareBlockCount = 0;
  asi.AverageEraseCount = 0;
  asi.HostReadsWritesUnit = HOST_READS_WRITES_512B;
  asi.IsSmartEnabled = 1;
  asi.IsSmartCorrect = 1;
  asi.IsThresholdCorrect = 1;
  asi.IsSmartSupported = 1;
  asi.IsSsd = 1;
  asi.IsNvme = 1;
  asi.NominalMediaRotationRate = 1;
  return asi;
}

void CAtaSmart::SetCommandTypeText(ATA_SMART_INFO& asi) {
  int32_t t = asi.CommandType;
  const char* code = (t >= 0 && t < CMD_TYPE_COUNT) ? kCommandTypeCodes[t] : kCommandTypeCodes[0];
  bool numbered = t == CMD_TYPE_PHYSICAL_DRIVE || (t >= CMD_TYPE_SAT && t <= CMD_TYPE_PROLIFIC);
  asi.CommandTypeText = code;
  if (numbered) asi.CommandTypeText += (asi.Target == 0xB0) ? "2" : "1";
}

void CAtaSmart::SetUsbSupport(bool enabled) {
  m_FlagUsbSat = m_FlagUsbSunplus = m_FlagUsbIodata = m_FlagUsbLogitec1 = m_FlagUsbLogitec2 =
      m_FlagUsbJmicron = m_FlagUsbCypress = m_FlagUsbMemory = enabled;
  m_FlagUsbNVMeJMicron = m_FlagUsbNVMeASMedia = true;
}
