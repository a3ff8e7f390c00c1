// Judging a disk: by its life percentage where the family's is trusted,
// otherwise by attribute values against thresholds, reallocation counters
// against the user's caution limits, and the family's life attribute.
#include "engine/DiskStatus.h"

#include <stdexcept>

#include "engine/AtaSmart.h"
#include "engine/SmartFamily.h"

namespace {

// Families and the attribute that carries their life.
struct LifeAttributeRow {
  uint8_t Id;
  int32_t Family;
};

constexpr LifeAttributeRow kLifeAttributes[] = {
    {0xE8, FAMILY_INTEL},
    {0xE8, FAMILY_PLEXTOR},
    {0xE8, FAMILY_SANDISK},
    {0xBB, FAMILY_MTRON},
    {0xB1, FAMILY_SAMSUNG},
    {0xB3, FAMILY_SAMSUNG},
    {0xB4, FAMILY_SAMSUNG},
    {0xB1, FAMILY_SAMSUNG_39},
    {0xB3, FAMILY_SAMSUNG_39},
    {0xB4, FAMILY_SAMSUNG_39},
    {0xB1, FAMILY_SAMSUNG_MCX},
    {0xB3, FAMILY_SAMSUNG_MCX},
    {0xB4, FAMILY_SAMSUNG_MCX},
    {0xB1, FAMILY_SAMSUNG_MJX},
    {0xB3, FAMILY_SAMSUNG_MJX},
    {0xB4, FAMILY_SAMSUNG_MJX},
    {0xD1, FAMILY_INDILINX},
    {0xE7, FAMILY_SANDFORCE},
    {0xAA, FAMILY_JMICRON},  // only without the early controller, see below
    {0xCA, FAMILY_MICRON},
    {0xE9, FAMILY_OCZ},
    {0xE9, FAMILY_OCZ_VECTOR},
    {0xE9, FAMILY_INDILINX_BAREFOOT},
    {0xE9, FAMILY_BAREFOOT3_M00},
    {0xE9, FAMILY_BAREFOOT3_M10},
    {0xE9, FAMILY_INDILINX_EVEREST2},
};

constexpr int32_t kLifeRatedFamilies[] = {
    FAMILY_SMI_SM2246EN,      FAMILY_SMI_SM2246XT,
    FAMILY_SMI_SM2236,        FAMILY_SAGE,
    FAMILY_SMI_SM2258,        FAMILY_MAXIOTEK_MK8215,
    FAMILY_MARVELL_88SS1080,  FAMILY_LINE_JM609,
    FAMILY_JMICRON_JMF670H,   FAMILY_LINE_SM2258,
    FAMILY_INTEL_PC29AS21BA0, FAMILY_INTEL_PC29AS21CA0,
    FAMILY_INTEL_PC29AS21CB0, FAMILY_JMICRON_JMF618,
    FAMILY_JMICRON_JMF661,    FAMILY_JMICRON_JMF667H,
    FAMILY_SAMSUNG_MCX,
};

// Inclusive ranges of attribute Ids that matter on a hard disk.
struct IdRange {
  uint8_t Low;
  uint8_t High;
};
constexpr IdRange kCriticalAttributes[] = {
    {0x01, 0x0D}, {0xBB, 0xBD}, {0xBF, 0xC1}, {0xC3, 0xD1}, {0xD3, 0xD4},
    {0xDC, 0xE4}, {0xE6, 0xE7}, {0xF0, 0xF0}, {0xFA, 0xFA}, {0xFE, 0xFE},
};

int32_t LifeStatus(int32_t life) {
  if (life >= 70) return DISK_STATUS_GOOD;
  if (life >= 30) return DISK_STATUS_CAUTION;
  if (life >= 0) return DISK_STATUS_BAD;
  return DISK_STATUS_UNKNOWN;
}

int32_t NvmeStatus(int32_t life) {
  if (life < 0) return DISK_STATUS_UNKNOWN;  // no health log was read
  if (life > 10) return DISK_STATUS_GOOD;
  if (life == 10) return DISK_STATUS_CAUTION;
  return DISK_STATUS_BAD;
}

// The caution limit for a reallocation counter, or nothing for other Ids.
const uint16_t* CautionLimit(const ATA_SMART_INFO& asi, uint8_t id) {
  switch (id) {
    case 0x05:
      return &asi.Threshold05;
    case 0xC5:
      return &asi.ThresholdC5;
    case 0xC6:
      return &asi.ThresholdC6;
    default:
      return nullptr;
  }
}

}  // namespace

bool IsLifeRatedFamily(int32_t diskVendorId) {
  for (int32_t f : kLifeRatedFamilies) {
    if (f == diskVendorId) return true;
  }
  return false;
}

bool IsFamilyLifeAttribute(const ATA_SMART_INFO& asi, uint8_t id) {
  if (id == 0xAA && asi.DiskVendorId == FAMILY_JMICRON && asi.IsEarlyController != 0) {
    return false;
  }
  for (const LifeAttributeRow& row : kLifeAttributes) {
    if (row.Id == id && row.Family == asi.DiskVendorId) return true;
  }
  return false;
}

bool IsCriticalAttribute(uint8_t id) {
  for (const IdRange& r : kCriticalAttributes) {
    if (id >= r.Low && id <= r.High) return true;
  }
  return false;
}

bool IsJudgedOnlyByOption(const ATA_SMART_INFO& asi, bool evaluateAllDisks) {
  return evaluateAllDisks && asi.SupportLevel == SUPPORT_NONE;
}

int32_t EvaluateDiskStatus(const ATA_SMART_INFO& asi, bool evaluateAllDisks) {
  // Critical warning of an NVMe health log: reliability degraded (bit 2),
  // media read-only (bit 3) or volatile-memory backup failed (bit 4). The
  // disk says it is failing, however much spare it has left and whether or
  // not its controller is one this program rates.
  if (asi.DiskVendorId == FAMILY_NVME && (asi.SmartReadData[0] & 0x1C)) return DISK_STATUS_BAD;
  if (asi.SupportLevel == SUPPORT_NONE && !evaluateAllDisks) return DISK_STATUS_UNKNOWN;
  if (asi.DiskVendorId == FAMILY_NVME) return NvmeStatus(asi.Life);
  if (asi.IsSmartCorrect == 0) return DISK_STATUS_UNKNOWN;
  if (!((asi.IsSsd == 1 || asi.IsThresholdCorrect == 1) && asi.IsThresholdBug == 0)) {
    return DISK_STATUS_UNKNOWN;
  }
  if (IsLifeRatedFamily(asi.DiskVendorId)) return LifeStatus(asi.Life);

  const bool ssd = asi.IsSsd != 0;
  const int32_t count = asi.AttributeCount < MAX_ATTRIBUTE ? asi.AttributeCount : MAX_ATTRIBUTE;
  int32_t bad = 0;
  bool caution = false;
  bool undecided = true;
  for (int32_t i = 0; i < count; ++i) {
    const ATTRIBUTE_ENTRY& a = asi.Attribute[i];
    const uint8_t threshold = asi.Threshold[i].ThresholdValue;

    // A table that names one attribute twice cannot be read with confidence.
    for (int32_t j = 0; j < i; ++j) {
      if (a.Id != 0 && asi.Attribute[j].Id == a.Id) return DISK_STATUS_UNKNOWN;
    }

    // SandForce reports a raw read error rate of zero with a current value
    // of zero on healthy disks.
    const bool sandForceIdleErrorRate = asi.DiskVendorId == FAMILY_SANDFORCE && a.Id == 0x01 &&
                                        a.CurrentValue == 0 && a.RawValue[0] == 0 &&
                                        a.RawValue[1] == 0;
    const bool skipThreshold =
        a.Id == 0xC2 || sandForceIdleErrorRate || (ssd && asi.IsEarlyController != 0);
    if (!skipThreshold && (ssd || IsCriticalAttribute(a.Id))) {
      if (threshold != 0 && a.CurrentValue < threshold) ++bad;
    }
    if (ssd && threshold != 0) undecided = false;

    if (const uint16_t* limit = CautionLimit(asi, a.Id)) {
      const bool saturated = a.RawValue[0] == 0xFF && a.RawValue[1] == 0xFF &&
                             a.RawValue[2] == 0xFF && a.RawValue[3] == 0xFF;
      if (!saturated) {
        const uint32_t raw = a.RawValue[0] | (a.RawValue[1] << 8);
        if (!ssd && *limit != 0 && raw >= *limit) caution = true;
      }
      if (!ssd) undecided = false;
    } else if (IsFamilyLifeAttribute(asi, a.Id)) {
      undecided = false;
      if (a.CurrentValue != 0 && a.CurrentValue >= threshold) {
        if (a.CurrentValue <= asi.ThresholdFF) caution = true;
      } else {
        bad = 1;
      }
    }
  }

  if (bad > 0) return DISK_STATUS_BAD;
  if (undecided) return DISK_STATUS_UNKNOWN;
  return caution ? DISK_STATUS_CAUTION : DISK_STATUS_GOOD;
}

int32_t CAtaSmart::CheckDiskStatus(int32_t index) {
  if (vars.GetCount() == 0) return DISK_STATUS_UNKNOWN;
  if (index < 0 || index >= vars.GetCount()) {
    throw std::invalid_argument("CheckDiskStatus: no disk at this index");
  }
  return EvaluateDiskStatus(vars[index], m_FlagEvaluateAllDisks);
}

TemperatureClass GetTemperatureClass(int32_t temperature, int32_t temperatureGrade) {
  // -127 is the record's "no temperature" marker: a disk without a sensor is
  // not a hot disk.
  if (temperature <= TEMPERATURE_UNKNOWN) {
    return {"temperatureUnknown", TEMPERATURE_CLASS_UNKNOWN};
  }
  int32_t high = 70;
  int32_t low = 0;
  if (temperatureGrade == 1) {
    high = 85;
    low = -25;
  } else if (temperatureGrade >= 2 && temperatureGrade <= 4) {
    high = 85;
    low = -40;
  }
  if (temperature >= high) return {"temperatureBad", TEMPERATURE_CLASS_BAD};
  if (temperature >= high - 15) return {"temperatureCaution", TEMPERATURE_CLASS_CAUTION};
  if (temperature <= low) return {"temperatureBad", TEMPERATURE_CLASS_BAD};
  if (temperature <= low + 5) return {"temperatureCaution", TEMPERATURE_CLASS_CAUTION};
  return {"temperatureGood", TEMPERATURE_CLASS_GOOD};
}

TemperatureClass GetTemperatureClass(const ATA_SMART_INFO& asi) {
  if (asi.IsSmartCorrect == 0) return {"temperatureUnknown", TEMPERATURE_CLASS_UNKNOWN};
  return GetTemperatureClass(asi.Temperature, asi.TemperatureGrade);
}

std::string_view DiskStatusTextKey(int32_t status) {
  switch (status) {
    case DISK_STATUS_GOOD:
      return "GOOD";
    case DISK_STATUS_CAUTION:
      return "CAUTION";
    case DISK_STATUS_BAD:
      return "BAD";
    default:
      return "UNKNOWN";
  }
}

std::string_view DiskStatusImage(int32_t status, bool greenMode) {
  switch (status) {
    case DISK_STATUS_GOOD:
      return greenMode ? "diskStatusGoodGreen" : "diskStatusGood";
    case DISK_STATUS_CAUTION:
      return "diskStatusCaution";
    case DISK_STATUS_BAD:
      return "diskStatusBad";
    default:
      return "diskStatusUnknown";
  }
}
