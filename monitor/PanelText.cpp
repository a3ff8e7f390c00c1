#include "monitor/PanelText.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

#include "engine/DiskStatus.h"

namespace monitor {

namespace {

constexpr const char* DEGREE = "\xC2\xB0";  // UTF-8 degree sign
constexpr int32_t TEN_YEARS_HOURS = 87600;
constexpr int32_t ONE_YEAR_HOURS = 8760;

std::string Get(const TextLookup& text, const char* section, const char* key) {
  return text ? text(section, key) : std::string();
}

std::string Dialog(const TextLookup& text, const char* key) { return Get(text, "Dialog", key); }

bool IsNvme(const ATA_SMART_INFO& asi) { return asi.InterfaceType == INTERFACE_TYPE_NVME; }

// The disks the panel does not rate: not the maker's, not NVMe.
bool IsUnrated(const ATA_SMART_INFO& asi) { return asi.SupportLevel == 0 && !IsNvme(asi); }

int32_t AttributeCountOf(const ATA_SMART_INFO& asi) {
  return std::clamp(asi.AttributeCount, 0, MAX_ATTRIBUTE);
}

struct IdRange {
  uint8_t Low;
  uint8_t High;
};
// Attributes whose threshold counts on a hard disk.
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

// The attribute that carries a family's life, as the status tooltip names it.
struct LifeRow {
  uint8_t Id;
  int32_t Family;
};
constexpr LifeRow kTooltipLife[] = {
    {0xE8, 5}, {0xE8, 12}, {0xE8, 13}, {0xBB, 2}, {0xB3, 6}, {0xB4, 6},
    {0xD1, 3}, {0xE7, 7},  {0xAA, 4},  {0xCA, 8}, {0xE9, 9}, {0xE9, 14},
};

bool IsTooltipLifeAttribute(const ATA_SMART_INFO& asi, uint8_t id) {
  if (id == 0xAA && asi.DiskVendorId == 4 && asi.IsEarlyController != 0) return false;
  for (const LifeRow& r : kTooltipLife) {
    if (r.Id == id && r.Family == asi.DiskVendorId) return true;
  }
  return false;
}

std::string TrimRight(std::string s) {
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
    s.pop_back();
  }
  return s;
}

// Cuts a UTF-8 text to at most `bytes` bytes without splitting a character.
std::string CutUtf8(const std::string& s, size_t bytes) {
  if (s.size() <= bytes) return s;
  size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  return s.substr(0, end);
}

}  // namespace

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  char small[256];
  const int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string out;
  if (n < 0) {
    va_end(copy);
    return out;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    out.assign(small, static_cast<size_t>(n));
  } else {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), format, copy);
    out.resize(static_cast<size_t>(n));
  }
  va_end(copy);
  return out;
}

int32_t Fahrenheit(int32_t celsius) { return celsius * 9 / 5 + 32; }

std::string CapacityText(uint32_t mb, const std::string& unknownText) {
  if (mb == 0) return unknownText;
  if (mb < 1024) return Format("%u MB", mb);
  if (mb < 1048576) return Format("%.1f GB", mb / 1024.0);
  return Format("%.3f TB", mb / 1048576.0);
}

std::string SizeText(int32_t gb) {
  if (gb == -1 || gb == 0) return "----";
  if (gb <= 1024) return Format("%d GB", gb);
  if (gb <= 1048576) return Format("%.3f TB", gb / 1024.0);
  return Format("%.3f PB", gb / 1048576.0);
}

std::string TemperatureText(int32_t celsius, bool fahrenheit) {
  const char* unit = fahrenheit ? "F" : "C";
  if (celsius < -126) return Format("--%s%s", DEGREE, unit);
  return Format("%d%s%s", fahrenheit ? Fahrenheit(celsius) : celsius, DEGREE, unit);
}

// ---- status, life, temperature --------------------------------------------

int32_t LifeBarStep(int32_t life) {
  if (life < 10) return 0;
  if (life >= 100) return 10;
  return life / 10;
}

StatusView PanelStatus(const ATA_SMART_INFO& asi, bool greenMode, const TextLookup& text) {
  StatusView v;
  v.Text = Get(text, "DiskStatus", std::string(DiskStatusTextKey(asi.DiskStatus)).c_str());
  v.Image = std::string(DiskStatusImage(asi.DiskStatus, greenMode));
  v.Style.Weight = 700;
  switch (asi.DiskStatus) {
    case DISK_STATUS_GOOD:
      v.Style.Color = {110, 166, 60};
      v.Style.Size = 30;
      break;
    case DISK_STATUS_CAUTION:
      v.Style.Color = {255, 204, 102};
      v.Style.Size = 24;
      break;
    case DISK_STATUS_BAD:
      v.Style.Color = {206, 58, 50};
      v.Style.Size = 30;
      break;
    default:
      v.Style.Color = {110, 110, 110};
      v.Style.Size = 24;
      break;
  }
  if (asi.SupportLevel == 0) {
    v.Style.Color = {0, 0, 0};
    v.Style.Size = 30;
  }
  // A life the disk does not give, or one out of range, reads as unknown,
  // not as "0%" (a worn-out disk); a disk that is not rated still shows the
  // life it reports.
  if (asi.Life < 0 || asi.Life > 100) {
    v.LifeText = Dialog(text, "UNKNOWN");
    v.LifeBarStep = 0;
  } else {
    v.LifeText = Format("%d%%", asi.Life);
    v.LifeBarStep = LifeBarStep(asi.Life);
  }
  if (IsUnrated(asi)) v.Text = "N/A";
  return v;
}

std::string StatusReasonText(const ATA_SMART_INFO& asi, const TextLookup& text) {
  if (asi.DiskStatus != DISK_STATUS_CAUTION && asi.DiskStatus != DISK_STATUS_BAD) return {};
  const bool bad = asi.DiskStatus == DISK_STATUS_BAD;
  const std::string badText = Get(text, "DiskStatus", "BAD");
  const std::string cautionText = Get(text, "DiskStatus", "CAUTION");
  const int32_t count = AttributeCountOf(asi);
  auto name = [&](const std::string& section, uint8_t id) {
    return text ? text(section, Format("%02X", id)) : std::string();
  };
  std::string out;
  if (bad && !(asi.IsSsd != 0 && asi.IsEarlyController != 0)) {
    for (int32_t i = 0; i < count; ++i) {
      const ATTRIBUTE_ENTRY& a = asi.Attribute[i];
      if (asi.IsSsd == 0 && !IsThresholdId(a.Id)) continue;
      const uint8_t threshold = asi.Threshold[i].ThresholdValue;
      if (threshold == 0 || a.CurrentValue >= threshold) continue;
      out += badText + " (" + Format("%02X", a.Id) + ") " + name(asi.SmartKeyName, a.Id) + "\n";
    }
  }
  for (int32_t i = 0; i < count; ++i) {
    const ATTRIBUTE_ENTRY& a = asi.Attribute[i];
    if (asi.IsSsd == 0 && (a.Id == 0x05 || a.Id == 0xC5 || a.Id == 0xC6)) {
      const uint32_t raw = a.RawValue[0] | (a.RawValue[1] << 8) | (a.RawValue[2] << 16) |
                           (static_cast<uint32_t>(a.RawValue[3]) << 24);
      if (raw != 0 && raw != 0xFFFFFFFFu) {
        out += cautionText + " [" + Format("%02X", a.Id) + "] " + name("Smart", a.Id) +
               Format(" : %d\n", static_cast<int32_t>(raw));
      }
    } else if (IsTooltipLifeAttribute(asi, a.Id)) {
      out += (bad ? badText : cautionText) + " [" + Format("%02X", a.Id) + "] " +
             name(asi.SmartKeyName, a.Id) + Format(" : %d\n", asi.Life);
    }
  }
  return out;
}

std::string WriteAmplificationTip(const ATA_SMART_INFO& asi, const TextLookup& text) {
  if (!(asi.WriteAmplification > 0)) return {};
  std::string out =
      Format("%s: %d GB\n", Dialog(text, "TOTAL_HOST_WRITES").c_str(), asi.HostWrites);
  if (asi.NandWrites > 0) {
    out += Format("%s: %d GB\n", Dialog(text, "TOTAL_NAND_WRITES").c_str(), asi.NandWrites);
  } else if (asi.AverageEraseCount != 0) {
    out += Format("%s: %d %s\n", Dialog(text, "AVERAGE_ERASE_COUNT").c_str(), asi.AverageEraseCount,
                  Dialog(text, "POWER_ON_COUNT_UNIT").c_str());
  }
  out += Format("%s: %.2f", Dialog(text, "WRITE_AMPLIFICATION").c_str(),
                static_cast<double>(asi.WriteAmplification));
  // The blank line keeps the tooltip wide enough for its longest line.
  out += "\n" + std::string(50, ' ');
  return out;
}

TemperatureView PanelTemperature(const ATA_SMART_INFO& asi, bool fahrenheit) {
  TemperatureView v;
  const TemperatureClass c = GetTemperatureClass(asi);
  v.Image = std::string(c.Image);
  v.Text = TemperatureText(asi.Temperature, fahrenheit);
  v.Style.Weight = 400;
  v.Style.Size = fahrenheit ? 24 : 30;
  switch (c.Class) {
    case TEMPERATURE_CLASS_CAUTION:
      v.Style.Color = {255, 174, 42};
      break;
    case TEMPERATURE_CLASS_BAD:
      v.Style.Color = {255, 0, 0};
      break;
    default:
      v.Style.Color = {127, 127, 127};
      break;
  }
  const int32_t t = asi.Temperature;
  if (t >= 80) {
    v.ThermometerStep = 10;
  } else if (t < -28) {
    v.ThermometerStep = 0;
  } else {
    v.ThermometerStep = (t + 28) / 12 + 1;
  }
  return v;
}

// ---- remaining service time -----------------------------------------------

std::string UsageMeterImage(int32_t hours) {
  if (hours <= 0) return "lifeMeter0";
  if (hours >= 4380) return "lifeMeter100";
  if (hours >= 2920) return "lifeMeter80";
  if (hours >= 2190) return "lifeMeter40";
  return "lifeMeter20";
}

int32_t UsageMeterStep(int32_t hours) {
  if (hours < 876) return 0;
  if (hours > 8759) return 10;
  return hours / 876;
}

RemainingTime EstimateRemainingTime(const ATA_SMART_INFO& asi, int64_t now, int64_t initialDate,
                                    uint32_t tslOpt, const TextLookup& text) {
  const std::string years = Dialog(text, "POWER_ON_YEARS_UNIT");
  const std::string days = Dialog(text, "POWER_ON_DAYS_UNIT");
  RemainingTime r;
  auto finish = [&](int32_t hours) {
    r.Hours = hours;
    r.MeterImage = UsageMeterImage(hours);
    r.MeterStep = UsageMeterStep(hours);
    return r;
  };
  auto tenYears = [&] {
    r.Text = Format(">10 %s", years.c_str());
    r.Unit = years;
    r.Estimated = true;
    return finish(TEN_YEARS_HOURS);
  };
  // No estimate: no number, the years label, an empty meter.
  auto none = [&] {
    r.Text.clear();
    r.Unit = years;
    r.Estimated = false;
    return finish(0);
  };

  int64_t age = asi.DetectedPowerOnHours;
  if (asi.ManufactureDate != initialDate) {
    const int64_t since = (now - asi.ManufactureDate) / 3600;
    if (since > 0) age = since;
  }
  // A disk that is not rated has no estimate ("0 years" would say it is
  // worn out).
  if (IsUnrated(asi)) return none();
  const int32_t life = asi.Life;
  // Unknown life or age, or a life out of range, allow no estimate (in
  // unsigned arithmetic they would read as more than ten years).
  if (age < 0 || life > 100) return none();

  uint64_t hours = 0;
  const bool lifeFamily = asi.DiskVendorId == 24 || asi.DiskVendorId == 25 || IsNvme(asi);
  if (lifeFamily) {
    if (life < 0) return none();
    if (life == 100) return tenYears();
    if (life == 0) {
      none();
      r.Text = "0 " + years;
      r.Estimated = true;
      return r;
    }
    // Without any age there is nothing to extrapolate from.
    if (age == 0) return none();
  } else {
    if (age == 0 || (tslOpt & 0x4000) != 0) return tenYears();
    if (life < 0) return none();
    const int32_t cycles = asi.FlashType == 0 ? 20000 : asi.FlashType == 2 ? 500 : 3000;
    if (cycles < asi.AverageEraseCount && life < 10) {
      r.Text = Get(text, "DiskStatus", "FEW_DAYS");
      r.Unit = days;
      r.Estimated = true;
      return finish(200);
    }
    if (life == 100) return tenYears();
  }
  // The division first, in whole hours, as the estimate has always been made.
  hours = static_cast<uint64_t>(life) *
          (static_cast<uint64_t>(age) / static_cast<uint64_t>(100 - life));
  if (hours >= static_cast<uint64_t>(TEN_YEARS_HOURS)) return tenYears();
  const int32_t h = static_cast<int32_t>(hours);
  r.Estimated = true;
  if (h <= ONE_YEAR_HOURS) {
    r.Text = Format("%d %s", h / 24, days.c_str());
    r.Unit = days;
  } else {
    r.Text =
        Format("%1.1f %s", static_cast<double>(static_cast<float>(h) / 8760.0f), years.c_str());
    r.Unit = years;
  }
  return finish(h);
}

std::string RemainingTimeText(const RemainingTime& remaining) {
  if (!remaining.Text.empty()) return remaining.Text;
  return remaining.Unit.empty() ? std::string("-----") : "----- " + remaining.Unit;
}

// ---- form factor ------------------------------------------------------------

FormFactorView PanelFormFactor(const ATA_SMART_INFO& asi) {
  struct Row {
    const char* Image;
    const char* Text;
  };
  // The "II (180°)" modules: the image with the case goes with the text that
  // names the case.
  static const Row kRows[] = {
      {"TSL_UNKNOWN", ""},
      {"TSL_SATA_MODULE", "SATA Module"},
      {"TSL_mSATA", "mSATA"},
      {"", "CF Card"},
      {"TSL_M2_SATA_2242", "M.2 SATA"},
      {"TSL_M2_PCIE", "M.2 PCIe"},
      {"", "CFast"},
      {"TSL_25_SERIAL", "2.5\" SSD"},
      {"TSL_SLIM_SATA", "Slim SATA"},
      {"TSL_MINI_mSATA", "Mini mSATA"},
      {"", "Micro SD Card"},
      {"TSL_U2_PCIE", "U.2 PCIe"},
      {"TSL_SATA_MODULE_180", "SATA Module (180\xC2\xB0)"},
      {"TSL_M2_SATA", "M.2 SATA"},
      {"TSL_SATA_MODULE_II_180_CASE", "SATA Module II (180\xC2\xB0 + Case)"},
      {"TSL_SATA_MODULE_II_180", "SATA Module II (180\xC2\xB0)"},
      {"TSL_SATA_MODULE_II_90", "SATA Module II (90\xC2\xB0)"},
      {"TSL_M2_SATA_22110", "M.2 SATA (22110)"},
      {"TSL_M2_SATA_2260", "M.2 SATA (2260)"},
  };
  if (asi.SupportLevel == 0 || asi.FormFactorCode < 0 ||
      asi.FormFactorCode >= static_cast<int32_t>(std::size(kRows))) {
    return {"TSL_UNKNOWN", ""};
  }
  const Row& row = kRows[asi.FormFactorCode];
  return {row.Image, row.Text};
}

// ---- identity and usage -----------------------------------------------------

std::string DriveLetterText(const ATA_SMART_INFO& asi, const VolumeLookup& volumes,
                            size_t maxLength) {
  std::string longText, mediumText, shortText;
  for (int bit = 0; bit < 26; ++bit) {
    if ((asi.DriveLetterMap & (1u << bit)) == 0) continue;
    const char letter = static_cast<char>('A' + bit);
    VolumeSpace v;
    if (volumes) {
      if (auto found = volumes(letter)) v = *found;
    }
    const double freeGb = static_cast<double>(v.FreeBytes >> 20) / 1024.0;
    const double totalGb = static_cast<double>(v.TotalBytes >> 20) / 1024.0;
    // An empty card reader or a volume that did not answer has no size to
    // divide by.
    const std::string percent = v.TotalBytes == 0
                                    ? std::string("--")
                                    : Format("%.1f", static_cast<double>(v.FreeBytes) /
                                                         static_cast<double>(v.TotalBytes) * 100.0);
    longText += Format("%c: %s [%.1f/%.1f GB (%s %%)]\r\n", letter, v.Label.c_str(), freeGb,
                       totalGb, percent.c_str());
    mediumText += Format("%c: %s [%.1f GB]\r\n", letter, v.Label.c_str(), totalGb);
    shortText += Format("%c: %s\r\n", letter, v.Label.c_str());
  }
  const std::string tail = "\r\n \r\n ";
  longText = TrimRight(longText) + tail;
  mediumText = TrimRight(mediumText) + tail;
  shortText = TrimRight(shortText) + tail;
  if (longText.size() < maxLength) return longText;
  if (mediumText.size() < maxLength) return mediumText;
  // Even the short text may not fit (the tray tooltip holds 128 characters).
  return CutUtf8(shortText, maxLength == 0 ? 0 : maxLength - 1);
}

VolumeLookup VolumesOf(os::IVolumes* volumes) {
  if (volumes == nullptr) return nullptr;
  return [volumes](char letter) -> std::optional<VolumeSpace> {
    std::optional<os::VolumeInfo> info = volumes->InfoOf(letter);
    if (!info) return std::nullopt;
    return VolumeSpace{info->Label, info->FreeBytes, info->TotalBytes};
  };
}

int32_t PowerOnHoursShown(const ATA_SMART_INFO& asi) {
  return asi.MeasuredPowerOnHours >= 1 ? asi.MeasuredPowerOnHours : asi.DetectedPowerOnHours;
}

namespace {

void FillUsage(PanelTexts& p, const ATA_SMART_INFO& asi, const PanelOptions& o,
               const TextLookup& text) {
  const std::string unknown = Dialog(text, "UNKNOWN");
  const std::string countUnit = Dialog(text, "POWER_ON_COUNT_UNIT");
  const std::string hoursUnit = Dialog(text, "POWER_ON_HOURS_UNIT");
  const std::string daysUnit = Dialog(text, "POWER_ON_DAYS_UNIT");

  p.PowerOnCount =
      asi.PowerOnCount != 0 ? Format("%d %s", asi.PowerOnCount, countUnit.c_str()) : unknown;

  const bool measured = asi.MeasuredPowerOnHours >= 1;
  const int32_t h = PowerOnHoursShown(asi);
  if (h < 0) {
    p.PowerOnTime = unknown;
    p.PowerOnHoursText = unknown;
  } else {
    const int32_t unit = measured ? asi.MeasuredTimeUnitType : asi.DetectedTimeUnitType;
    std::string q, pre = " ";
    if (unit == TIME_UNIT_MINUTES) {
      q = asi.IsMaxtor21 != 0 ? " (?)" : "";
      pre = asi.IsMaxtor21 != 0 ? "?" : "";
    }
    p.PowerOnTime =
        Format("%d %s %d %s%s", h / 24, daysUnit.c_str(), h % 24, hoursUnit.c_str(), q.c_str());
    if (o.MeasuringPowerOnUnit) {
      p.PowerOnTime += "\r\n" + Get(text, "Message", "DETECT_UNIT_POWER_ON_HOURS");
    }
    p.PowerOnHoursText = Format("%d%s%s", h, pre.c_str(), hoursUnit.c_str());
  }

  if (asi.HostReads < 0) {
    if (asi.BufferSize == 0x1FFFE00) {
      p.HostReads = ">= 32 MB";
    } else if (asi.BufferSize != 0) {
      p.HostReads = Format("%u KB", asi.BufferSize / 1024);
    } else {
      p.HostReads = "----";
    }
  } else {
    p.HostReads = Format("%d GB", asi.HostReads);
  }
  if (asi.HostWrites < 0) {
    p.HostWrites = asi.NvCacheSize != 0
                       ? Format("%llu MB", static_cast<unsigned long long>(asi.NvCacheSize >> 20))
                       : "----";
  } else {
    p.HostWrites = Format("%d GB", asi.HostWrites);
  }
  if (asi.NandWrites >= 0) {
    p.NandWrites = Format("%d GB", asi.NandWrites);
  } else if (asi.GBytesErased >= 0) {
    p.NandWrites = Format("%d GB", asi.GBytesErased);
  } else if (asi.NominalMediaRotationRate == 1) {
    p.NandWrites = "---- (SSD)";
  } else if (asi.NominalMediaRotationRate != 0) {
    p.NandWrites = Format("%d RPM", asi.NominalMediaRotationRate);
  } else {
    p.NandWrites = "----";
  }

  const bool plain = !IsNvme(asi) && asi.DiskVendorId != 25;
  const std::string blockUnit = Dialog(text, "BLOCK_UNIT");
  p.SpareBlocks = plain && asi.SupportLevel != 0 && asi.SpareBlockCount != ERASE_COUNT_UNKNOWN
                      ? Format("%d %s", asi.SpareBlockCount, blockUnit.c_str())
                      : "----- " + blockUnit;
  if (plain && asi.AverageEraseCount != ERASE_COUNT_UNKNOWN) {
    p.EraseCount = Format("%d %s", asi.AverageEraseCount, countUnit.c_str());
    p.WriteAmplification = asi.WriteAmplification >= 1
                               ? Format("%.2f", static_cast<double>(asi.WriteAmplification))
                               : "-----";
  } else {
    p.EraseCount = "----- " + countUnit;
    p.WriteAmplification = "-----";
  }
  p.HardwareEcc = Format("%d %s", asi.AttributeC3Raw, countUnit.c_str());
  p.UltraDmaCrc = Format("%d %s", asi.AttributeC7Raw, countUnit.c_str());
  p.HardwareEccLabel = Dialog(text, "HARDWARE_ECC");
  p.UltraDmaCrcLabel = Dialog(text, "ULTRA_DMA_CRC");
}

}  // namespace

PanelTexts BuildPanel(const CDiskArray& disks, int32_t index, const PanelOptions& o,
                      const TextLookup& text) {
  PanelTexts p;
  if (index < 0 || index >= disks.GetCount()) {
    p.Title = Get(text, "Message", "DISK_NOT_FOUND");
    p.Status.Text = "N/A";
    p.PowerOnCount = "----";
    p.PowerOnTime = "----";
    p.FormFactor = {"TSL_UNKNOWN", ""};
    return p;
  }
  const ATA_SMART_INFO& asi = disks[index];
  const std::string unknown = Dialog(text, "UNKNOWN");
  p.HasDisk = true;
  p.Capacity = CapacityText(asi.TotalDiskSize, unknown);
  p.Title = asi.Model + " " + p.Capacity;
  p.ProductName =
      asi.Model.find("ZaziDavod") != std::string::npos ? "Tessaly 2.5\" SSD" : asi.Model;
  p.SerialNumber = asi.SerialNumber;
  p.Firmware = asi.FirmwareRev;
  p.ModelWmi = asi.ModelWmi;
  p.DriveMap = asi.DriveMap;
  p.DriveLetterTip = DriveLetterText(asi, o.Volumes, kPanelDriveLetterMax);
  p.MaxTransferMode = asi.MaxTransferMode;
  p.CurrentTransferMode = asi.CurrentTransferMode;
  p.Standard = asi.MinorVersionText.empty() ? asi.MajorVersionText
                                            : asi.MajorVersionText + " | " + asi.MinorVersionText;
  p.Interface = asi.Interface;
  p.Enclosure = asi.Enclosure;
  p.Controller = asi.Controller.empty() || asi.Controller == "Unknown" ? unknown : asi.Controller;
  p.LbaCapacity = Format("%.1f GB", std::max(asi.DiskSizeLba48, asi.DiskSizeLba28) / 1024.0);
  FillUsage(p, asi, o, text);
  p.Status = PanelStatus(asi, o.GreenMode, text);
  p.StatusTip = StatusReasonText(asi, text);
  p.LifeTip = WriteAmplificationTip(asi, text);
  p.Temperature = PanelTemperature(asi, o.Fahrenheit);
  p.Remaining = EstimateRemainingTime(asi, o.Now, o.InitialDate, o.TslOpt, text);
  p.FormFactor = PanelFormFactor(asi);
  return p;
}

// ---- disk buttons -----------------------------------------------------------

int32_t DrivePageCount(int32_t count) { return count <= 8 ? 1 : (count + 7) / 8; }

std::vector<DriveButton> DriveButtons(const CDiskArray& disks, int32_t selected,
                                      const VolumeLookup& volumes) {
  const int32_t count = disks.GetCount();
  const int32_t page = std::clamp(selected, 0, std::max(count - 1, 0)) / 8;
  std::vector<DriveButton> buttons(8);
  for (int32_t p = 0; p < 8; ++p) {
    DriveButton& b = buttons[static_cast<size_t>(p)];
    const int32_t i = page * 8 + p;
    if (i >= count) {
      b.ImageId = 482;
      continue;
    }
    const ATA_SMART_INFO& asi = disks[i];
    b.Disk = i;
    b.ImageId = 474 + p;
    b.Selected = i == selected;
    const std::string disk =
        asi.PhysicalDriveId >= 0 ? Format("Disk %d", asi.PhysicalDriveId) : "Disk --";
    if (asi.DriveMap.empty()) {
      b.Caption = disk;
    } else if (asi.DriveMap.size() > 12) {
      b.Caption = CutUtf8(asi.DriveMap, 11) + "\n...";
    } else {
      b.Caption = asi.DriveMap;
    }
    const std::string letters = DriveLetterText(asi, volumes, std::numeric_limits<size_t>::max());
    b.Tooltip = Format("%s : %s %.1f GB\n%s", disk.c_str(), asi.Model.c_str(),
                       asi.TotalDiskSize / 1024.0, letters.c_str());
  }
  return buttons;
}

}  // namespace monitor
