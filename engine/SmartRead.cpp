// S.M.A.R.T. reading: the double read that decides whether a disk's data is
// trusted at admission, the refresh of one disk, and the measurement of the
// power-on time unit.
#include <cstring>
#include <stdexcept>

#include "base/DebugLog.h"
#include "engine/AtaSmart.h"
#include "engine/EngineText.h"

using engine_text::StartsWith;

namespace {

constexpr int32_t POWER_ON_COUNTER_OFFSET = 894803;

// One read pass: read the attributes, classify the disk, read them a second
// time into a scratch record, trust them when both reads list the same
// attributes, then read the thresholds. A second read that fails is a read
// that disagrees. Returns false when the first read failed.
template <typename ReadData, typename ReadThreshold>
bool ReadPass(CAtaSmart& ata, ATA_SMART_INFO& asi, ReadData readData, ReadThreshold readThreshold,
              const char* agreedLog) {
  if (!readData(asi)) return false;
  ata.ClassifySmartFamily(asi);
  ATA_SMART_INFO check = asi;
  check.AttributeCount = 0;
  if (readData(check) && CAtaSmart::CheckSmartAttributeCorrect(asi, check)) {
    if (agreedLog != nullptr) base::DebugLog(agreedLog);
    asi.IsSmartCorrect = 1;
  }
  if (readThreshold(asi)) asi.IsThresholdCorrect = 1;
  asi.IsSmartEnabled = 1;
  return true;
}

std::string Format(const char* format, int32_t value) {
  char buf[96];
  std::snprintf(buf, sizeof buf, format, value);
  return buf;
}

bool IsBridgeType(int32_t commandType) {
  return commandType >= CMD_TYPE_SAT && commandType <= CMD_TYPE_PROLIFIC;
}

}  // namespace

void CAtaSmart::ReadSmartAtAdmission(ATA_SMART_INFO& asi) {
  asi.IsSmartEnabled = 0;
  asi.IsSmartCorrect = 0;
  asi.IsThresholdCorrect = 0;
  const int32_t pd = asi.PhysicalDriveId;
  const uint8_t target = asi.Target;
  auto readPd = [this, pd, target](ATA_SMART_INFO& r) {
    return GetSmartAttributePd(pd, target, r);
  };
  auto thresholdPd = [this, pd, target](ATA_SMART_INFO& r) {
    return GetSmartThresholdPd(pd, target, r);
  };

  switch (asi.CommandType) {
    case CMD_TYPE_PHYSICAL_DRIVE: {
      base::DebugLogF("GetSmartAttributePd(%d) - 1", pd);
      ReadPass(*this, asi, readPd, thresholdPd, Format("GetSmartAttributePd(%d) - 1A", pd).c_str());
      if (asi.IsSmartCorrect == 0 && ControlSmartStatusPd(pd, target)) {
        base::DebugLogF("GetSmartAttributePd(%d) - 2", pd);
        ReadPass(*this, asi, readPd, thresholdPd,
                 Format("GetSmartAttributePd(%d) - 2A", pd).c_str());
      }
      // A bridge that answers every command with the same buffer.
      if (asi.SmartReadData == asi.SmartReadThreshold && asi.DiskVendorId != 3) {
        base::DebugLog("asi.SmartReadData == asi.SmartReadThreshold");
        asi.IsSmartCorrect = 0;
        asi.IsThresholdCorrect = 0;
        asi.IsSmartEnabled = 0;
      }
      break;
    }
    case CMD_TYPE_SCSI_MINIPORT: {
      const int32_t port = asi.ScsiPort;
      const int32_t id = asi.ScsiTargetId;
      auto read = [this, port, id](ATA_SMART_INFO& r) {
        return GetSmartAttributeScsi(port, id, r);
      };
      auto threshold = [this, port, id](ATA_SMART_INFO& r) {
        return GetSmartThresholdScsi(port, id, r);
      };
      ReadPass(*this, asi, read, threshold, nullptr);
      if (asi.IsSmartCorrect == 0 && ControlSmartStatusScsi(port, id)) {
        ReadPass(*this, asi, read, threshold, nullptr);
      }
      break;
    }
    case CMD_TYPE_SILICON_IMAGE: {
      base::DebugLog("GetSmartAttributeSi(physicalDriveId, &asi)");
      if (!GetSmartAttributeSi(pd, asi)) break;
      asi.IsSmartEnabled = 1;
      ClassifySmartFamily(asi);
      ATA_SMART_INFO check = asi;
      check.AttributeCount = 0;
      base::DebugLog("GetSmartAttributeSi(physicalDriveId, &asiCheck)");
      const bool second = GetSmartAttributeSi(pd, check);
      base::DebugLog("CheckSmartAttributeCorrect(&asi, &asiCheck) - 1");
      if (second && CheckSmartAttributeCorrect(asi, check)) {
        asi.IsSmartCorrect = 1;
        GetSmartAttributePd(pd, 0xA0, check);
        base::DebugLog("CheckSmartAttributeCorrect(&asi, &asiCheck) - 2");
        if (CheckSmartAttributeCorrect(asi, check)) {
          base::DebugLog("GetSmartThresholdPd");
          GetSmartThresholdPd(pd, 0xA0, asi);
          asi.IsThresholdCorrect = 1;
        }
      }
      break;
    }
    case CMD_TYPE_CSMI_PHYSICAL_DRIVE:
      base::DebugLogF("GetSmartAttributePd(%d) - 1 CSMI", pd);
      ReadPass(*this, asi, readPd, thresholdPd,
               Format("GetSmartAttributePd(%d) - 1A CSMI", pd).c_str());
      ReadSmartAtAdmissionCsmiAfterPd(asi);
      break;
    case CMD_TYPE_CSMI:
      ReadSmartAtAdmissionCsmi(asi);
      break;
    case CMD_TYPE_WMI: {
      asi.IsSmartCorrect = GetSmartAttributeWmi(0, asi) ? 1 : 0;
      const bool windows2000 =
          m_OsVersionInfo.MajorVersion == 5 && m_OsVersionInfo.MinorVersion == 0;
      asi.IsThresholdCorrect = !windows2000 && GetSmartAttributeWmi(1, asi) ? 1 : 0;
      if (asi.IsSmartCorrect) {
        ClassifySmartFamily(asi);
        asi.IsSmartEnabled = 1;
      }
      break;
    }
    default:
      if (IsBridgeType(asi.CommandType)) ReadSmartAtAdmissionSat(asi);
      break;
  }
}

void CAtaSmart::ApplyPostReadFixes(ATA_SMART_INFO& asi) {
  if ((asi.DiskVendorId == 7 && StartsWith(asi.Model, "OCZ-VERTEX3") &&
       StartsWith(asi.FirmwareRev, "2.02")) ||
      (StartsWith(asi.Model, "OCZ-VERTEX2") && StartsWith(asi.FirmwareRev, "1.27")) ||
      (StartsWith(asi.Model, "SSD G2 Series") && StartsWith(asi.FirmwareRev, "3.6.5"))) {
    asi.IsThresholdBug = 1;
  }
  asi.PowerOnStartRawValue = asi.PowerOnRawValue;
  if (asi.IsSmartCorrect == 0) {
    ResetSmartFigures(asi);
    asi.DiskStatus = DISK_STATUS_UNKNOWN;
  }
  if (StartsWith(asi.Model, "Intel") && asi.MeasuredPowerOnHours > POWER_ON_COUNTER_OFFSET) {
    asi.PowerOnRawValue -= POWER_ON_COUNTER_OFFSET;
    asi.DetectedPowerOnHours -= POWER_ON_COUNTER_OFFSET;
    asi.MeasuredPowerOnHours -= POWER_ON_COUNTER_OFFSET;
  }
}

uint32_t CAtaSmart::GetPowerOnHoursEx(int32_t index, int32_t unit) const {
  if (index < 0 || index >= vars.GetCount()) {
    throw std::invalid_argument("GetPowerOnHours: disk index out of range");
  }
  return GetPowerOnHours(static_cast<uint32_t>(vars[index].PowerOnRawValue), unit);
}

int32_t CAtaSmart::UpdateSmartInfo(int32_t index) { return UpdateSmartInfo(index, nullptr); }

int32_t CAtaSmart::UpdateSmartInfo(int32_t index, bool* readBack) {
  bool unused = false;
  bool& read = readBack != nullptr ? *readBack : unused;
  read = false;
  if (vars.GetCount() == 0) return SMART_STATUS_NO_CHANGE;
  if (index < 0 || index >= vars.GetCount()) {
    throw std::invalid_argument("UpdateSmartInfo: disk index out of range");
  }
  ATA_SMART_INFO& asi = vars[index];

  if (asi.DiskVendorId == 19) {
    // The table follows the log just read (its sensor rows keep the values
    // of admission); without a read the figures stay.
    read = ReadSmartAttributeNVMe(asi);
    if (read) {
      FillSmartDataNVMe(asi.SmartReadData.data(), asi.Attribute, false);
      ApplyNvmeHealthLog(asi);
    }
    asi.DiskStatus = CheckDiskStatus(index);
    return SMART_STATUS_CHANGED;
  }

  if (asi.IsSmartEnabled == 0 || asi.IsSmartCorrect == 0) return SMART_STATUS_NO_CHANGE;

  switch (asi.CommandType) {
    case CMD_TYPE_PHYSICAL_DRIVE:
      base::DebugLog("CommandType: CMD_TYPE_PHYSICAL_DRIVE");
      read = GetSmartAttributePd(asi.PhysicalDriveId, asi.Target, asi);
      if (!read) {
        base::DebugLog("Before WakeUp()");
        WakeUp(asi.PhysicalDriveId);
        base::DebugLog("Before GetSmartAttributePd() 2");
        if (!GetSmartAttributePd(asi.PhysicalDriveId, asi.Target, asi)) {
          base::DebugLog("return SMART_STATUS_NO_CHANGE");
          return SMART_STATUS_NO_CHANGE;
        }
        base::DebugLog("return SMART_STATUS_N");
        read = true;
      }
      base::DebugLog("before CheckDiskStatus(i)");
      break;
    case CMD_TYPE_SCSI_MINIPORT:
      base::DebugLog("CommandType: CMD_TYPE_SCSI_MINIPORT");
      read = GetSmartAttributeScsi(asi.ScsiPort, asi.ScsiTargetId, asi);
      break;
    case CMD_TYPE_SILICON_IMAGE:
      base::DebugLog("CommandType: CMD_TYPE_SILICON_IMAGE");
      read = GetSmartAttributeSi(asi.PhysicalDriveId, asi);
      break;
    case CMD_TYPE_CSMI:
      base::DebugLog("CommandType: CMD_TYPE_CSMI");
      read = GetSmartAttributeCsmi(asi.ScsiPort, asi.SasPhyEntity, asi);
      break;
    case CMD_TYPE_CSMI_PHYSICAL_DRIVE:
      base::DebugLog("CommandType: CMD_TYPE_CSMI_PHYSICAL_DRIVE");
      read = GetSmartAttributePd(asi.PhysicalDriveId, asi.Target, asi);
      if (!read) {
        WakeUp(asi.PhysicalDriveId);
        read = GetSmartAttributePd(asi.PhysicalDriveId, asi.Target, asi);
      }
      if (!read && GetSmartAttributeCsmi(asi.ScsiPort, asi.SasPhyEntity, asi)) {
        read = true;  // from now on through the controller
        asi.CommandType = CMD_TYPE_CSMI;
        SetCommandTypeText(asi);
      }
      break;
    case CMD_TYPE_WMI:
      base::DebugLog("CommandType: CMD_TYPE_WMI");
      read = GetSmartAttributeWmi(0, asi);
      break;
    default:
      if (IsBridgeType(asi.CommandType)) {
        read = RefreshSmartSat(asi);
      }
      break;
  }
  if (!read) return SMART_STATUS_NO_CHANGE;

  asi.DiskStatus = CheckDiskStatus(index);

  auto& baseline = m_SmartBaseline[static_cast<size_t>(index)];
  static_assert(sizeof(asi.Attribute) == sizeof(baseline));
  if (asi.IsSmartCorrect == 0 ||
      std::memcmp(asi.Attribute, baseline.data(), baseline.size()) == 0) {
    return SMART_STATUS_NO_CHANGE;
  }
  // Only power-on time, power cycles and temperature move the baseline.
  ATTRIBUTE_ENTRY old[MAX_ATTRIBUTE];
  std::memcpy(old, baseline.data(), sizeof old);
  const int32_t family = asi.DiskVendorId;
  auto rawCount = [family](const ATTRIBUTE_ENTRY& a) {
    if (family == 3) return static_cast<uint32_t>(a.WorstValue * 256 + a.CurrentValue);
    return static_cast<uint32_t>(a.RawValue[0] | (a.RawValue[1] << 8) | (a.RawValue[2] << 16) |
                                 (static_cast<uint32_t>(a.RawValue[3]) << 24));
  };
  bool moved = false;
  for (int32_t i = 0; i < MAX_ATTRIBUTE; ++i) {
    const ATTRIBUTE_ENTRY& now = asi.Attribute[i];
    const ATTRIBUTE_ENTRY& before = old[i];
    switch (now.Id) {
      case 0x09:
        for (int32_t unit : {asi.DetectedTimeUnitType, asi.MeasuredTimeUnitType}) {
          if (GetPowerOnHours(rawCount(now), unit) != GetPowerOnHours(rawCount(before), unit)) {
            moved = true;
          }
        }
        break;
      case 0x0C:
        if (rawCount(now) != rawCount(before)) moved = true;
        break;
      case 0xBE:
      case 0xC2:
        if (now.RawValue[0] != before.RawValue[0] || now.CurrentValue != before.CurrentValue) {
          moved = true;
        }
        break;
      default:
        break;
    }
  }
  if (moved) std::memcpy(baseline.data(), asi.Attribute, baseline.size());
  return SMART_STATUS_CHANGED;
}

bool CAtaSmart::MeasurePowerOnTimeUnit(std::vector<bool>* measured) {
  if (measured != nullptr) measured->assign(static_cast<size_t>(vars.GetCount()), false);
  const uint64_t now = m_Platform.Clock.TickCount();
  const uint64_t start = m_LastInitTick;
  if (now < start + 125000 || now > start + 155000) return false;

  for (int32_t i = 0; i < vars.GetCount(); ++i) {
    if (vars[i].PowerOnRawValue < 0) continue;
    bool read = false;
    UpdateSmartInfo(i, &read);
    // A disk that did not answer keeps its start value: its unit was not
    // measured, whatever the comparison below makes of it.
    if (measured != nullptr) (*measured)[static_cast<size_t>(i)] = read;
    ATA_SMART_INFO& asi = vars[i];
    const uint32_t d = static_cast<uint32_t>(asi.PowerOnRawValue) -
                       static_cast<uint32_t>(asi.PowerOnStartRawValue);
    const int32_t byDelta = d < 2 ? TIME_UNIT_HOURS : TIME_UNIT_MINUTES;
    if (asi.DetectedTimeUnitType == TIME_UNIT_HOURS_OFFSET ||
        asi.DetectedTimeUnitType == TIME_UNIT_10_MINUTES) {
      asi.MeasuredTimeUnitType = asi.DetectedTimeUnitType;
    } else if (asi.DiskVendorId == 3) {
      asi.MeasuredTimeUnitType = TIME_UNIT_HOURS;
    } else if (StartsWith(asi.Model, "SAMSUNG")) {
      asi.MeasuredTimeUnitType = d < 2 ? TIME_UNIT_HOURS : TIME_UNIT_HALF_MINUTES;
    } else if (StartsWith(asi.Model, "FUJITSU")) {
      asi.MeasuredTimeUnitType = d > 5   ? TIME_UNIT_SECONDS
                                 : d > 3 ? TIME_UNIT_HALF_MINUTES
                                         : byDelta;
    } else if (StartsWith(asi.Model, "MAXTOR")) {
      asi.MeasuredTimeUnitType = byDelta;
      asi.IsMaxtor21 = d >= 2 ? 1 : 0;
    } else {
      asi.MeasuredTimeUnitType = byDelta;
    }
  }
  return true;
}
