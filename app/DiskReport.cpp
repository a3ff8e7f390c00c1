#include "app/DiskReport.h"

#include <cstdarg>
#include <cstdio>

#include "app/JsonWriter.h"

namespace app {

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  return buffer;
}

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

void WriteRecord(CJsonWriter& w, const ATA_SMART_INFO& a) {
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
std::string CapacityText(uint32_t mb) {
  if (mb == 0) return "Unknown";
  if (mb < 1024) return Format("%u MB", mb);
  if (mb < 1048576) return Format("%.1f GB", mb / 1024.0);
  return Format("%.3f TB", mb / 1048576.0);
}

// A count of gigabytes as the attribute list writes it.
std::string SizeText(int32_t gb) {
  if (gb == -1 || gb == 0) return "----";
  if (gb <= 1024) return Format("%d GB", gb);
  if (gb <= 1048576) return Format("%.3f TB", gb / 1024.0);
  return Format("%.3f PB", gb / 1048576.0);
}

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

std::string TemperatureText(const ATA_SMART_INFO& a) {
  if (a.Temperature < -126)
    return "--\xC2\xB0"
           "C";
  return Format(
      "%d\xC2\xB0"
      "C",
      a.Temperature);
}

std::string PowerOnText(const ATA_SMART_INFO& a) {
  const int32_t h = a.MeasuredPowerOnHours >= 1 ? a.MeasuredPowerOnHours : a.DetectedPowerOnHours;
  if (h < 0) return "Unknown";
  return Format("%d days %d hours (%d hours)", h / 24, h % 24, h);
}

std::string AttributeName(const TextLookup& text, const ATA_SMART_INFO& a, uint8_t id) {
  std::string vendorSpecific = Lookup(text, "Smart", "VENDOR_SPECIFIC", "Vendor Specific");
  if (a.SmartKeyName.empty()) return vendorSpecific;
  return Lookup(text, a.SmartKeyName, Format("%02X", id), vendorSpecific);
}

void AppendDisk(std::string& out, const TextLookup& text, int32_t index, const ATA_SMART_INFO& a) {
  auto line = [&out](const char* label, const std::string& value) {
    out += Format("  %-20s: ", label) + value + "\n";
  };
  out += Format("(%d) %s %s\n", index + 1, a.Model.c_str(), CapacityText(a.TotalDiskSize).c_str());
  line("Model", a.Model);
  line("Serial number", a.SerialNumber);
  line("Firmware", a.FirmwareRev);
  line("Capacity", CapacityText(a.TotalDiskSize) + Format(" (%u MB)", a.TotalDiskSize));
  line("Interface", a.Interface);
  line("Transfer mode", a.CurrentTransferMode + " | " + a.MaxTransferMode);
  line("Standard", a.MajorVersionText + " | " + a.MinorVersionText);
  line("Family", Format("%d", a.DiskVendorId) +
                     (a.SmartKeyName.empty() ? std::string() : " (" + a.SmartKeyName + ")"));
  line("Controller", a.Controller.empty() ? std::string("Unknown") : a.Controller);
  line("Status", StatusText(text, a));
  line("Life", a.Life < 0 ? std::string("Unknown") : Format("%d%%", a.Life));
  line("Temperature", TemperatureText(a));
  line("Power-on time", PowerOnText(a));
  line("Power-on count", a.PowerOnCount != 0 ? Format("%d", a.PowerOnCount) : "Unknown");
  line("Host writes", SizeText(a.HostWrites));
  line("Host reads", SizeText(a.HostReads));
  line("NAND writes", SizeText(a.NandWrites));
  if (!a.DriveMapLine.empty()) line("Drive letters", a.DriveMapLine);
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

}  // namespace

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

std::string DiskReportText(const CDiskArray& disks, const TextLookup& text) {
  std::string out;
  if (disks.GetCount() == 0) return "No disk found.\n";
  for (int32_t i = 0; i < disks.GetCount(); ++i) {
    if (i > 0) out += "\n";
    AppendDisk(out, text, i, disks[i]);
  }
  return out;
}

}  // namespace app
