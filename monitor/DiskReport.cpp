#include "monitor/DiskReport.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "app/JsonWriter.h"
#include "engine/DiskStatus.h"

namespace monitor {

using app::CJsonWriter;

namespace {

// ---- JSON ----------------------------------------------------------------

class CRecordJson {
 public:
  explicit CRecordJson(CJsonWriter& w) : m_W(w) {}
  void Int(const char* name, int64_t v) {
    m_W.Key(name);
    m_W.Int(v);
  }
  void UInt(const char* name, uint64_t v) {
    m_W.Key(name);
    m_W.UInt(v);
  }
  void Str(const char* name, const std::string& v) {
    m_W.Key(name);
    m_W.String(v);
  }
  template <size_t N>
  void Bytes(const char* name, const std::array<uint8_t, N>& v) {
    m_W.Key(name);
    m_W.Hex(v.data(), v.size());
  }

 private:
  CJsonWriter& m_W;
};

void WriteRecord(CJsonWriter& w, const ATA_SMART_INFO& a, bool evaluateAllDisks = false) {
  CRecordJson f(w);
  w.BeginObject();
  f.Bytes("IdentifyDevice", a.IdentifyDevice);
  f.Bytes("SmartReadData", a.SmartReadData);
  f.Bytes("SmartReadThreshold", a.SmartReadThreshold);
  const int32_t count = std::min(std::max(a.AttributeCount, 0), MAX_ATTRIBUTE);
  w.Key("Attribute");
  w.BeginArray();
  for (int32_t i = 0; i < count; ++i) {
    const ATTRIBUTE_ENTRY& e = a.Attribute[i];
    w.BeginObject();
    f.Int("Id", e.Id);
    f.Int("StatusFlags", e.StatusFlags);
    f.Int("CurrentValue", e.CurrentValue);
    f.Int("WorstValue", e.WorstValue);
    w.Key("RawValue");
    w.Hex(e.RawValue, sizeof(e.RawValue));
    f.Int("Reserved", e.Reserved);
    w.EndObject();
  }
  w.EndArray();
  w.Key("Threshold");
  w.BeginArray();
  for (int32_t i = 0; i < count; ++i) {
    const THRESHOLD_ENTRY& e = a.Threshold[i];
    w.BeginObject();
    f.Int("Id", e.Id);
    f.Int("ThresholdValue", e.ThresholdValue);
    w.Key("Reserved");
    w.Hex(e.Reserved, sizeof(e.Reserved));
    w.EndObject();
  }
  w.EndArray();

  f.Int("IsSmartEnabled", a.IsSmartEnabled);
  f.Int("IsIdInfoIncorrect", a.IsIdInfoIncorrect);
  f.Int("IsSmartCorrect", a.IsSmartCorrect);
  f.Int("IsThresholdCorrect", a.IsThresholdCorrect);
  f.Int("IsCheckSumError", a.IsCheckSumError);
  f.Int("IsEarlyController", a.IsEarlyController);
  f.Int("IsSandForce", a.IsSandForce);
  f.Int("IsSmartAssumed", a.IsSmartAssumed);
  f.Int("IsThresholdBug", a.IsThresholdBug);
  f.Int("IsSmartSupported", a.IsSmartSupported);
  f.Int("IsLba48Supported", a.IsLba48Supported);
  f.Int("IsAamSupported", a.IsAamSupported);
  f.Int("IsApmSupported", a.IsApmSupported);
  f.Int("IsAamEnabled", a.IsAamEnabled);
  f.Int("IsApmEnabled", a.IsApmEnabled);
  f.Int("IsNcqSupported", a.IsNcqSupported);
  f.Int("IsNvCacheSupported", a.IsNvCacheSupported);
  f.Int("IsDeviceSleepSupported", a.IsDeviceSleepSupported);
  f.Int("IsMaxtor21", a.IsMaxtor21);
  f.Int("IsSsd", a.IsSsd);
  f.Int("IsTrimSupported", a.IsTrimSupported);
  f.Int("IsNvme", a.IsNvme);
  f.Int("IsUasp", a.IsUasp);

  f.Int("PhysicalDriveId", a.PhysicalDriveId);
  f.Int("ScsiPort", a.ScsiPort);
  f.Int("ScsiTargetId", a.ScsiTargetId);
  f.Int("ScsiBus", a.ScsiBus);
  f.Int("SiliconImageType", a.SiliconImageType);
  f.Int("FlashType", a.FlashType);

  f.UInt("TotalDiskSize", a.TotalDiskSize);
  f.UInt("Cylinder", a.Cylinder);
  f.UInt("Head", a.Head);
  f.UInt("Sector", a.Sector);
  f.UInt("Sector28", a.Sector28);
  f.UInt("Sector48Low", a.Sector48Low);
  f.UInt("Sector48High", a.Sector48High);
  f.UInt("NumberOfSectors", a.NumberOfSectors);
  f.UInt("DiskSizeChs", a.DiskSizeChs);
  f.UInt("DiskSizeLba28", a.DiskSizeLba28);
  f.UInt("DiskSizeLba48", a.DiskSizeLba48);
  f.UInt("DiskSizeWmi", a.DiskSizeWmi);
  f.UInt("BufferSize", a.BufferSize);
  f.UInt("NvCacheSize", a.NvCacheSize);
  f.UInt("TransferModeType", a.TransferModeType);

  f.Int("DetectedTimeUnitType", a.DetectedTimeUnitType);
  f.Int("MeasuredTimeUnitType", a.MeasuredTimeUnitType);
  f.Int("AttributeCount", a.AttributeCount);
  f.Int("DetectedPowerOnHours", a.DetectedPowerOnHours);
  f.Int("MeasuredPowerOnHours", a.MeasuredPowerOnHours);
  f.Int("PowerOnRawValue", a.PowerOnRawValue);
  f.Int("PowerOnStartRawValue", a.PowerOnStartRawValue);
  f.Int("PowerOnCount", a.PowerOnCount);
  f.Int("Temperature", a.Temperature);
  w.Key("TemperatureMultiplier");
  w.Double(a.TemperatureMultiplier);
  f.Int("NominalMediaRotationRate", a.NominalMediaRotationRate);
  f.Int("HostWrites", a.HostWrites);
  f.Int("HostReads", a.HostReads);
  f.Int("GBytesErased", a.GBytesErased);
  f.Int("NandWrites", a.NandWrites);
  f.Int("WearLevelingCount", a.WearLevelingCount);
  f.Int("SpareBlockCount", a.SpareBlockCount);
  f.Int("AverageEraseCount", a.AverageEraseCount);
  w.Key("WriteAmplification");
  w.Float(a.WriteAmplification);
  f.Int("AttributeC3Raw", a.AttributeC3Raw);
  f.Int("AttributeC7Raw", a.AttributeC7Raw);
  f.Int("Life", a.Life);
  f.Int("MajorVersion", a.MajorVersion);
  f.Int("DiskStatus", a.DiskStatus);
  // Only with `--all-disks`: the status above comes from that option alone.
  if (IsJudgedOnlyByOption(a, evaluateAllDisks)) {
    w.Key("JudgedByAttributesOnly");
    w.Bool(true);
  }
  f.UInt("DriveLetterMap", a.DriveLetterMap);

  f.Int("AlarmTemperature", a.AlarmTemperature);
  f.Int("AlarmTemperatureBelow", a.AlarmTemperatureBelow);
  f.Int("AlarmHealthStatus", a.AlarmHealthStatus);
  f.Int("AlarmEventLog", a.AlarmEventLog);
  f.Int("AlarmEmail", a.AlarmEmail);

  f.Int("InterfaceType", a.InterfaceType);
  f.Int("CommandType", a.CommandType);
  f.Int("HostReadsWritesUnit", a.HostReadsWritesUnit);
  f.Int("DiskVendorId", a.DiskVendorId);
  f.Int("FormFactorCode", a.FormFactorCode);
  f.Int("TemperatureGrade", a.TemperatureGrade);
  f.Int("UsbVendorId", a.UsbVendorId);
  f.Int("UsbProductId", a.UsbProductId);
  f.Int("Target", a.Target);
  f.Int("Threshold05", a.Threshold05);
  f.Int("ThresholdC5", a.ThresholdC5);
  f.Int("ThresholdC6", a.ThresholdC6);
  f.Int("ThresholdFF", a.ThresholdFF);
  f.Bytes("SasPhyEntity", a.SasPhyEntity);

  f.Str("SerialNumber", a.SerialNumber);
  f.Str("SerialNumberReverse", a.SerialNumberReverse);
  f.Str("FirmwareRev", a.FirmwareRev);
  f.Str("FirmwareRevReverse", a.FirmwareRevReverse);
  f.Str("Model", a.Model);
  f.Str("ModelReverse", a.ModelReverse);
  f.Str("ModelWmi", a.ModelWmi);
  f.Str("Controller", a.Controller);
  f.Str("ModelSerial", a.ModelSerial);
  f.Str("DriveMap", a.DriveMap);
  f.Str("DriveMapLine", a.DriveMapLine);
  f.Str("MaxTransferMode", a.MaxTransferMode);
  f.Str("CurrentTransferMode", a.CurrentTransferMode);
  f.Str("MajorVersionText", a.MajorVersionText);
  f.Str("MinorVersionText", a.MinorVersionText);
  f.Str("Interface", a.Interface);
  f.Str("Enclosure", a.Enclosure);
  f.Str("CommandTypeText", a.CommandTypeText);
  f.Str("FormFactor", a.FormFactor);
  f.Str("PnpDeviceId", a.PnpDeviceId);
  f.Str("SmartKeyName", a.SmartKeyName);
  f.Str("VendorSpecificText", a.VendorSpecificText);
  f.Str("VendorSpecificTextTrimmed", a.VendorSpecificTextTrimmed);

  f.Int("SupportLevel", a.SupportLevel);
  f.Int("ManufactureDate", a.ManufactureDate);
  f.Str("DevicePath", a.DevicePath);
  w.EndObject();
}

// ---- text ----------------------------------------------------------------

std::string Lookup(const TextLookup& text, const std::string& section, const std::string& key,
                   const std::string& fallback) {
  std::string value = text ? text(section, key) : std::string();
  return value.empty() ? fallback : value;
}

// Capacity of `mb` megabytes as the panel writes it.
std::string ReportCapacity(uint32_t mb) { return CapacityText(mb, "Unknown"); }

std::string StatusText(const TextLookup& text, const ATA_SMART_INFO& a) {
  static const char* const kKeys[] = {"UNKNOWN", "GOOD", "CAUTION", "BAD"};
  static const char* const kFallback[] = {"Unknown", "Good", "Caution", "Bad"};
  const int s = (a.DiskStatus >= 0 && a.DiskStatus <= 3) ? a.DiskStatus : 0;
  std::string status = Lookup(text, "DiskStatus", kKeys[s], kFallback[s]);
  if (a.SupportLevel == 0 && a.InterfaceType != INTERFACE_TYPE_NVME) {
    // The panel shows "N/A" for disks it does not rate.
    status = "N/A (" + status + ")";
  }
  return status;
}

std::string PowerOnText(const ATA_SMART_INFO& a) {
  const int32_t h = PowerOnHoursShown(a);
  if (h < 0) return "Unknown";
  return Format("%d days %d hours (%d hours)", h / 24, h % 24, h);
}

std::string AttributeName(const TextLookup& text, const ATA_SMART_INFO& a, uint8_t id) {
  std::string vendorSpecific = Lookup(text, "Smart", "VENDOR_SPECIFIC", "Vendor Specific");
  if (a.SmartKeyName.empty()) return vendorSpecific;
  return Lookup(text, a.SmartKeyName, Format("%02X", id), vendorSpecific);
}

void AppendDisk(std::string& out, const TextLookup& text, int32_t index, const ATA_SMART_INFO& a,
                bool evaluateAllDisks) {
  auto line = [&out](const char* label, const std::string& value) {
    out += Format("  %-20s: ", label) + value + "\n";
  };
  out +=
      Format("(%d) %s %s\n", index + 1, a.Model.c_str(), ReportCapacity(a.TotalDiskSize).c_str());
  line("Model", a.Model);
  line("Serial number", a.SerialNumber);
  line("Firmware", a.FirmwareRev);
  line("Capacity", ReportCapacity(a.TotalDiskSize) + Format(" (%u MB)", a.TotalDiskSize));
  line("Interface", a.Interface);
  line("Transfer mode", a.CurrentTransferMode + " | " + a.MaxTransferMode);
  line("Standard", a.MajorVersionText + " | " + a.MinorVersionText);
  line("Family", Format("%d", a.DiskVendorId) +
                     (a.SmartKeyName.empty() ? std::string() : " (" + a.SmartKeyName + ")"));
  line("Controller", a.Controller.empty() ? std::string("Unknown") : a.Controller);
  line("Status", StatusText(text, a));
  if (IsJudgedOnlyByOption(a, evaluateAllDisks)) {
    line("Judged by", "attributes only (--all-disks): no rated family or maker");
  }
  line("Life", a.Life < 0 ? std::string("Unknown") : Format("%d%%", a.Life));
  line("Temperature", TemperatureText(a.Temperature, false));
  line("Power-on time", PowerOnText(a));
  line("Power-on count", a.PowerOnCount != 0 ? Format("%d", a.PowerOnCount) : "Unknown");
  line("Host writes", SizeText(a.HostWrites));
  line("Host reads", SizeText(a.HostReads));
  line("NAND writes", SizeText(a.NandWrites));
  if (!a.DriveMapLine.empty()) {
    // Without drive letters the map holds the disk's mount points.
    line(a.DriveLetterMap != 0 ? "Drive letters" : "Mount points", a.DriveMapLine);
  }
  if (!a.DevicePath.empty()) line("Device", a.DevicePath);
  if (!a.Enclosure.empty()) line("Enclosure", a.Enclosure);
  line("Path", a.CommandTypeText + " (" + CommandTypeName(a.CommandType) + ")");
  out += "  ID  Attribute name                              Cur  Wor  Thr  Raw\n";
  const int32_t count = std::min(std::max(a.AttributeCount, 0), MAX_ATTRIBUTE);
  for (int32_t i = 0; i < count; ++i) {
    const ATTRIBUTE_ENTRY& e = a.Attribute[i];
    if (e.Id == 0x00 || e.Id == 0xFF) continue;
    std::string name = AttributeName(text, a, e.Id);
    if (name.size() > 40) name.resize(40);
    out += Format("  %02X  %-40s  %3u  %3u  %3u  %02X%02X%02X%02X%02X%02X\n", e.Id, name.c_str(),
                  e.CurrentValue, e.WorstValue, a.Threshold[i].ThresholdValue, e.RawValue[5],
                  e.RawValue[4], e.RawValue[3], e.RawValue[2], e.RawValue[1], e.RawValue[0]);
  }
}

const char* CauseName(UnreadCause cause) {
  switch (cause) {
    case UnreadCause::NotPrivileged:
      return "NotPrivileged";
    case UnreadCause::RefusedToPrivileged:
      return "RefusedToPrivileged";
    case UnreadCause::NoSmartCommand:
      break;
  }
  return "NoSmartCommand";
}

// The drive number of an inventory row: its Index, else the number at the
// end of "\\.\PhysicalDriveN"; -1 when neither is there.
int32_t DriveNumberOf(const os::WmiObject& row) {
  const int64_t index = row.Int("Index", -1);
  if (index >= 0 && index < 100000) return static_cast<int32_t>(index);
  static const std::string kPrefix = "PHYSICALDRIVE";
  std::string id = row.String("DeviceID");
  for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const size_t at = id.rfind(kPrefix);
  if (at == std::string::npos) return -1;
  const std::string digits = id.substr(at + kPrefix.size());
  if (digits.empty() || digits.size() > 5) return -1;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
  }
  return std::atoi(digits.c_str());
}

// Win32_DiskDrive.Size is a decimal text (uint64 in WMI); some providers
// give a number.
uint64_t SizeOf(const os::WmiObject& row) {
  const int64_t number = row.Int("Size", -1);
  if (number >= 0) return static_cast<uint64_t>(number);
  const std::string text = row.String("Size");
  if (text.empty() || text.size() > 20) return 0;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return value;
}

std::string BytesText(uint64_t bytes) {
  if (bytes == 0) return "Unknown";
  const double gb = static_cast<double>(bytes) / 1e9;
  if (gb < 1.0) return Format("%.1f MB", static_cast<double>(bytes) / 1e6);
  if (gb < 1000.0) return Format("%.1f GB", gb);
  return Format("%.3f TB", gb / 1000.0);
}

}  // namespace

std::vector<UnreadDisk> FindUnreadDisks(const CDiskArray& disks, os::IWmi& wmi,
                                        os::IDeviceIo& devices) {
  std::vector<UnreadDisk> unread;
  auto rows = wmi.Query("root\\cimv2", "SELECT * FROM Win32_DiskDrive");
  if (!rows) return unread;
  std::set<int32_t> seen;
  for (const auto& asi : disks) seen.insert(asi.PhysicalDriveId);
  UnreadCause cause = UnreadCause::NoSmartCommand;
  switch (devices.DeviceAccessDenial()) {
    case os::AccessDenial::NotPrivileged:
      cause = UnreadCause::NotPrivileged;
      break;
    case os::AccessDenial::RefusedToPrivileged:
      cause = UnreadCause::RefusedToPrivileged;
      break;
    case os::AccessDenial::None:
      break;
  }
  for (const os::WmiObject& row : *rows) {
    const int32_t drive = DriveNumberOf(row);
    if (drive < 0 || !seen.insert(drive).second) continue;
    UnreadDisk d;
    d.PhysicalDriveId = drive;
    d.Model = row.String("Model");
    if (d.Model.empty()) d.Model = row.String("Caption");
    d.Size = SizeOf(row);
    d.DevicePath = row.String("DevicePath");
    if (d.DevicePath.empty()) d.DevicePath = devices.DevicePath(drive);
    d.Cause = cause;
    unread.push_back(std::move(d));
  }
  return unread;
}

std::string UnreadCauseText(UnreadCause cause) {
  switch (cause) {
    case UnreadCause::NotPrivileged:
      return "permission denied: run as root to read its S.M.A.R.T.";
    case UnreadCause::RefusedToPrivileged:
      return "the system refuses raw disk access even to root (container, virtual machine "
             "or security policy)";
    case UnreadCause::NoSmartCommand:
      break;
  }
  return "it answered no ATA or NVMe command (a USB stick, a card reader or a virtual disk)";
}

ReportOutcome JudgeReport(int32_t readDisks, size_t unreadDisks, os::AccessDenial denial) {
  if (readDisks <= 0 && unreadDisks == 0) return ReportOutcome::NoDisk;
  if (unreadDisks > 0 && denial == os::AccessDenial::NotPrivileged) {
    return ReportOutcome::NotPrivileged;
  }
  if (unreadDisks > 0 && denial == os::AccessDenial::RefusedToPrivileged) {
    return ReportOutcome::RefusedToPrivileged;
  }
  return ReportOutcome::DisksRead;
}

std::string DiskReportJson(const CDiskArray& disks, const std::vector<UnreadDisk>& unread,
                           bool evaluateAllDisks) {
  CJsonWriter w;
  w.BeginObject();
  w.Key("Disks");
  w.BeginArray();
  for (const auto& asi : disks) WriteRecord(w, asi, evaluateAllDisks);
  w.EndArray();
  w.Key("UnreadDisks");
  w.BeginArray();
  for (const UnreadDisk& d : unread) {
    w.BeginObject();
    w.Key("PhysicalDriveId");
    w.Int(d.PhysicalDriveId);
    w.Key("Model");
    w.String(d.Model);
    w.Key("Size");
    w.UInt(d.Size);
    w.Key("DevicePath");
    w.String(d.DevicePath);
    w.Key("Cause");
    w.String(CauseName(d.Cause));
    w.Key("Reason");
    w.String(UnreadCauseText(d.Cause));
    w.EndObject();
  }
  w.EndArray();
  w.EndObject();
  return w.Text() + "\n";
}

std::string DiskReportText(const CDiskArray& disks, const std::vector<UnreadDisk>& unread,
                           const TextLookup& text, bool evaluateAllDisks) {
  if (unread.empty()) return DiskReportText(disks, text, evaluateAllDisks);
  std::string out;
  if (disks.GetCount() > 0) out = DiskReportText(disks, text, evaluateAllDisks) + "\n";
  out += "Disks without S.M.A.R.T.:\n";
  for (const UnreadDisk& d : unread) {
    out += Format("  %s %s", d.Model.empty() ? "(no model)" : d.Model.c_str(),
                  BytesText(d.Size).c_str());
    if (!d.DevicePath.empty()) out += " " + d.DevicePath;
    out += ": " + UnreadCauseText(d.Cause) + "\n";
  }
  return out;
}

void DiscoverDisks(CAtaSmart& ata) {
  ata.SetUsbSupport(true);
  ata.Init(true, false, nullptr, false, false);
  for (int32_t i = 0; i < ata.vars.GetCount(); ++i) {
    ata.vars[i].DiskStatus = ata.CheckDiskStatus(i);
  }
}

std::string DiskRecordJson(const ATA_SMART_INFO& asi) {
  CJsonWriter w;
  WriteRecord(w, asi);
  return w.Text();
}

std::string DiskReportJson(const CDiskArray& disks) {
  CJsonWriter w;
  w.BeginArray();
  for (const auto& asi : disks) WriteRecord(w, asi);
  w.EndArray();
  return w.Text() + "\n";
}

std::string DiskReportText(const CDiskArray& disks, const TextLookup& text, bool evaluateAllDisks) {
  std::string out;
  if (disks.GetCount() == 0) return "No disk found.\n";
  for (int32_t i = 0; i < disks.GetCount(); ++i) {
    if (i > 0) out += "\n";
    AppendDisk(out, text, i, disks[i], evaluateAllDisks);
  }
  return out;
}

}  // namespace monitor
