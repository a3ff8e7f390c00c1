// S.M.A.R.T. parsing: the attribute and threshold tables of a record and the
// figures derived from them (temperature, power-on time, host and NAND
// counters, erase counts, life, write amplification).
#include <cstring>
#include <initializer_list>

#include "base/DebugLog.h"
#include "engine/AtaSmart.h"
#include "engine/EngineText.h"
#include "engine/SmartFamily.h"

namespace {

constexpr size_t TABLE_OFFSET = 2;  // the 30 entries start at byte 2 of a sector
constexpr int32_t POWER_ON_COUNTER_OFFSET = 894803;
constexpr uint32_t POWER_ON_OFFSET_LIMIT = 892927;

bool In(int32_t family, std::initializer_list<int32_t> families) {
  for (int32_t f : families) {
    if (f == family) return true;
  }
  return false;
}

bool Marvell(int32_t family) { return family >= 54 && family <= 61; }

uint32_t Raw16(const ATTRIBUTE_ENTRY& a) {
  return static_cast<uint32_t>(a.RawValue[0] | (a.RawValue[1] << 8));
}
uint32_t Raw24(const ATTRIBUTE_ENTRY& a) {
  return Raw16(a) | (static_cast<uint32_t>(a.RawValue[2]) << 16);
}
uint32_t Raw32(const ATTRIBUTE_ENTRY& a) {
  return Raw24(a) | (static_cast<uint32_t>(a.RawValue[3]) << 24);
}
uint64_t Raw48(const ATTRIBUTE_ENTRY& a) { return RawValue48(a); }

// Counters are stored as int32; larger raw values wrap as they always have.
int32_t AsInt(uint64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// raw32 counting 32 MB (or 16 MB) units, in GB: a signed 32-bit product
// divided with truncation toward zero.
int32_t UnitsToGb(uint32_t raw32, uint32_t unitMb) {
  return static_cast<int32_t>(raw32 * unitMb) / 1024;
}

int32_t ThirtySecondths(uint32_t raw32) {
  return static_cast<int32_t>(static_cast<double>(raw32) * 0.03125);
}

void LifeFromCurrent(ATA_SMART_INFO& asi, const ATTRIBUTE_ENTRY& a) {
  if (a.CurrentValue <= 100) asi.Life = a.CurrentValue;
}

// Life of the early JMicron families from the average erase count in raw
// bytes 2-3 against the rated cycles of the flash.
void LifeFromEraseCount(ATA_SMART_INFO& asi, const ATTRIBUTE_ENTRY& a) {
  const uint32_t e = static_cast<uint32_t>(a.RawValue[2] | (a.RawValue[3] << 8));
  const uint32_t rated = asi.FlashType == 2 ? 500 : 3000;
  if (e > rated) {
    asi.Life = 1;
    return;
  }
  const float p = 100.0f * static_cast<float>(rated - e) / static_cast<float>(rated);
  asi.Life = p > 99.5f ? 100 : static_cast<int32_t>(p);
}

// Host writes (F1) or reads (F2) by family and counter unit.
void ApplyHostCounter(ATA_SMART_INFO& asi, const ATTRIBUTE_ENTRY& a, bool writes) {
  const int32_t f = asi.DiskVendorId;
  const int32_t unit = asi.HostReadsWritesUnit;
  int32_t& counter = writes ? asi.HostWrites : asi.HostReads;
  const uint32_t raw32 = Raw32(a);
  if (!writes && f == 8) {
    LifeFromCurrent(asi, a);
  } else if ((f == 15 && unit == HOST_READS_WRITES_GB) || f == 25 || (f >= 43 && f <= 46)) {
    counter = AsInt(raw32);
    if (writes && f == 25) EstimateLifeFromWrites(asi);
  } else if (In(f, {5, 15, 47, 48, 49})) {
    counter = ThirtySecondths(raw32);
  } else if (In(f, {7, 14, 16, 17, 20, 53, 67, 68, 69})) {
    if (!writes || unit == HOST_READS_WRITES_GB) counter = AsInt(raw32);
  } else if ((f == 6 && unit == HOST_READS_WRITES_GB) || f == 65 || f == 66) {
    counter = AsInt(raw32);
  } else if (In(f, {6, 39, 11, 36, 37, 50, 51, 52})) {
    counter = AsInt(Raw48(a) >> 21);
  } else if (In(f, {12, 18, 21, 22, 23, 29, 31, 34, 35})) {
    counter = UnitsToGb(raw32, 32);
  } else if (f == 13) {
    counter = unit == HOST_READS_WRITES_GB ? AsInt(raw32) : AsInt(Raw48(a) >> 21);
  } else {
    switch (unit) {
      case HOST_READS_WRITES_GB:
        counter = AsInt(raw32);
        break;
      case HOST_READS_WRITES_32MB:
        counter = UnitsToGb(raw32, 32);
        break;
      case HOST_READS_WRITES_16MB:
        counter = UnitsToGb(raw32, 16);
        break;
      case HOST_READS_WRITES_512B:
        counter = AsInt(Raw48(a) >> 21);
        break;
      default:
        break;
    }
  }
}

// The rules of the attributes that carry counters and life by family.
void ApplyCounterAndLifeRule(ATA_SMART_INFO& asi, const ATTRIBUTE_ENTRY& a) {
  const int32_t f = asi.DiskVendorId;
  const uint32_t raw32 = Raw32(a);
  switch (a.Id) {
    case 0x64:
      if (f == 7) asi.GBytesErased = AsInt(raw32);
      break;
    case 0xA7:
      if (!In(f, {4, 27, 28, 30, 36, 37, 50, 51, 52})) asi.AverageEraseCount = AsInt(raw32);
      break;
    case 0xAA:
      if (f == 4 && asi.IsEarlyController == 0) LifeFromCurrent(asi, a);
      break;
    case 0xCA:
      if (f == 8 || f == 32 || Marvell(f)) LifeFromCurrent(asi, a);
      break;
    case 0xD1:
      if (f == 3) LifeFromCurrent(asi, a);
      break;
    case 0xE1:
      if (f == 5) asi.HostWrites = ThirtySecondths(raw32);
      break;
    case 0xE8:
      if (f == 12 || f == 13) {
        LifeFromCurrent(asi, a);
      } else if (f == 25) {
        asi.Life = AsInt(raw32);
      } else if (f == 9) {
        asi.HostWrites = AsInt(Raw48(a) >> 21);
      }
      break;
    case 0xE9:
      if (In(f, {5, 9, 14, 39, 65, 66}) || (f >= 43 && f <= 49)) {
        LifeFromCurrent(asi, a);
      } else if (f == 12 || f == 17 || (f == 13 && asi.HostReadsWritesUnit == 3)) {
        asi.NandWrites = AsInt(raw32);
      }
      break;
    case 0xF1:
      ApplyHostCounter(asi, a, true);
      break;
    case 0xF2:
      ApplyHostCounter(asi, a, false);
      break;
    case 0xF5:
      if (f == 8 || Marvell(f)) {
        asi.NandWrites = AsInt(Raw48(a) >> 17);
      } else if (In(f, {18, 21, 22, 23, 26, 34, 35, 38})) {
        asi.NandWrites = UnitsToGb(raw32, 32);
      }
      break;
    case 0xF6:
      if (f == 8 || Marvell(f)) asi.HostWrites = AsInt(Raw48(a) >> 21);
      break;
    case 0xF9:
      if (f == 5 || f == 20) {
        asi.NandWrites = AsInt(raw32);
      } else if (f == 14) {
        asi.NandWrites = AsInt(Raw48(a) >> 16);
      }
      break;
    case 0xFA:
      if (f == 20) asi.NandWrites = AsInt(static_cast<uint32_t>(asi.NandWrites) + raw32);
      break;
    default:
      break;
  }
}

// Raw power-on value (attribute 09) or power cycle count (0C) of an entry.
uint32_t PowerOnRaw(const ATTRIBUTE_ENTRY& a, int32_t family) {
  if (family == 3) return static_cast<uint32_t>(a.WorstValue * 256 + a.CurrentValue);
  return Raw32(a);
}

}  // namespace

uint32_t CAtaSmart::GetPowerOnHours(uint32_t rawValue, int32_t unit) {
  switch (unit) {
    case TIME_UNIT_UNKNOWN:
      return 0;
    case TIME_UNIT_MINUTES:
      return rawValue / 60;
    case TIME_UNIT_HALF_MINUTES:
      return rawValue / 120;
    case TIME_UNIT_SECONDS:
      return rawValue / 3600;
    case TIME_UNIT_10_MINUTES:
      return rawValue / 6;
    default:  // hours, hours with the offset already removed, anything else
      return rawValue;
  }
}

void CAtaSmart::ApplySmartAttributeRule(ATA_SMART_INFO& asi, const ATTRIBUTE_ENTRY& a) {
  const int32_t f = asi.DiskVendorId;
  const uint32_t raw32 = Raw32(a);
  switch (a.Id) {
    case 0x09:
      if (f == 3) {
        asi.PowerOnRawValue = static_cast<int32_t>(PowerOnRaw(a, f));
      } else if (asi.DetectedTimeUnitType == TIME_UNIT_HOURS_OFFSET ||
                 (asi.DetectedTimeUnitType == TIME_UNIT_HOURS && raw32 > POWER_ON_OFFSET_LIMIT) ||
                 (engine_text::StartsWith(asi.Model, "Intel") && raw32 > POWER_ON_OFFSET_LIMIT)) {
        asi.MeasuredTimeUnitType = TIME_UNIT_HOURS_OFFSET;
        const int32_t hours = static_cast<int32_t>(Raw24(a)) - POWER_ON_COUNTER_OFFSET;
        asi.PowerOnRawValue = hours < 0 ? 0 : hours;
      } else {
        asi.PowerOnRawValue = AsInt(raw32);
      }
      asi.DetectedPowerOnHours = static_cast<int32_t>(
          GetPowerOnHours(static_cast<uint32_t>(asi.PowerOnRawValue), asi.DetectedTimeUnitType));
      asi.MeasuredPowerOnHours = static_cast<int32_t>(
          GetPowerOnHours(static_cast<uint32_t>(asi.PowerOnRawValue), asi.MeasuredTimeUnitType));
      break;
    case 0x0C:
      asi.PowerOnCount = static_cast<int32_t>(PowerOnRaw(a, f));
      break;
    case 0xA1:
      asi.SpareBlockCount = static_cast<int32_t>(Raw16(a));
      break;
    case 0xA9:
      if (In(f, {21, 22, 26, 31, 34, 35, 38})) {
        asi.Life = AsInt(raw32);
      } else if (f == 18 || f == 20) {
        LifeFromCurrent(asi, a);
      }
      break;
    case 0xAD:
      if (f == 8) {
        asi.WearLevelingCount = AsInt(raw32);
      } else if (f == 30 || f == 32) {
        asi.AverageEraseCount = AsInt(raw32);
      } else if (In(f, {4, 27, 28, 36, 37, 50, 51, 52})) {
        LifeFromEraseCount(asi, a);
      }
      break;
    case 0xB1:
      if (f == 6) asi.WearLevelingCount = AsInt(raw32);
      break;
    case 0xB3:
    case 0xB4:
      if (f == 6) LifeFromCurrent(asi, a);
      break;
    case 0xBB:
      if (f == 2) LifeFromCurrent(asi, a);
      break;
    case 0xBE:
      if (a.RawValue[0] >= 1 && a.RawValue[0] <= 99) {
        asi.Temperature = static_cast<int8_t>(a.RawValue[0]);
      }
      break;
    case 0xC2:
      if (engine_text::StartsWith(asi.Model, "SAMSUNG SV") &&
          !(a.RawValue[1] == 0 && a.RawValue[0] <= 70)) {
        // Tenths of a degree.
        asi.Temperature = static_cast<int8_t>(Raw16(a) / 10);
      } else {
        asi.Temperature = static_cast<int8_t>(a.RawValue[0]);
        if (a.RawValue[0] != 0 && asi.TemperatureMultiplier < 1.0) {
          asi.Temperature =
              static_cast<int8_t>(static_cast<int32_t>(a.RawValue[0] * asi.TemperatureMultiplier));
        }
      }
      break;
    case 0xC3:
      if (In(f, {21, 22, 23, 34, 35, 38})) asi.AttributeC3Raw = AsInt(raw32);
      break;
    case 0xC6:
      if (f == 14) asi.HostReads = AsInt(raw32);
      break;
    case 0xC7:
      if (In(f, {21, 22, 26, 34, 35, 38})) {
        asi.AttributeC7Raw = AsInt(raw32);
      } else if (f == 14) {
        asi.HostWrites = AsInt(raw32);
      }
      break;
    case 0xE7:
      if (In(f, {7, 16, 17, 20, 53, 67, 68, 69})) LifeFromCurrent(asi, a);
      break;
    case 0xF7:
      if (f == 17) LifeFromCurrent(asi, a);
      break;
    default:
      ApplyCounterAndLifeRule(asi, a);
      break;
  }
}

bool CAtaSmart::FillSmartData(ATA_SMART_INFO& asi) {
  asi.AttributeCount = 0;
  for (int32_t j = 0; j < MAX_ATTRIBUTE; ++j) {
    ATTRIBUTE_ENTRY& a = asi.Attribute[asi.AttributeCount];
    std::memcpy(&a, asi.SmartReadData.data() + TABLE_OFFSET + j * sizeof(ATTRIBUTE_ENTRY),
                sizeof(ATTRIBUTE_ENTRY));
    if (a.Id == 0) continue;
    ApplySmartAttributeRule(asi, a);
    ++asi.AttributeCount;
  }
  asi.WriteAmplification = ComputeWriteAmplification(asi);
  return asi.AttributeCount > 0;
}

bool CAtaSmart::FillSmartThreshold(ATA_SMART_INFO& asi) {
  int32_t count = 0;
  const int32_t attributes =
      asi.AttributeCount < MAX_ATTRIBUTE ? asi.AttributeCount : MAX_ATTRIBUTE;
  for (int32_t j = 0; j < MAX_ATTRIBUTE; ++j) {
    const uint8_t* entry =
        asi.SmartReadThreshold.data() + TABLE_OFFSET + j * sizeof(THRESHOLD_ENTRY);
    if (entry[0] == 0) continue;
    for (int32_t i = 0; i < attributes; ++i) {
      if (asi.Attribute[i].Id == entry[0]) {
        std::memcpy(&asi.Threshold[i], entry, sizeof(THRESHOLD_ENTRY));
        ++count;
      }
    }
  }
  // Some Micron firmware keeps the threshold in the attribute's last byte
  // and sends an empty threshold sector.
  if (asi.DiskVendorId == 8 && count == 0) {
    for (int32_t i = 0; i < MAX_ATTRIBUTE; ++i) {
      if (asi.Attribute[i].Reserved != 0) {
        asi.Threshold[i].Id = asi.Attribute[i].Id;
        asi.Threshold[i].ThresholdValue = asi.Attribute[i].Reserved;
        ++count;
      }
    }
  }
  return count > 0;
}

bool CAtaSmart::CheckSmartAttributeCorrect(const ATA_SMART_INFO& a, const ATA_SMART_INFO& b) {
  if (a.AttributeCount != b.AttributeCount) {
    base::DebugLog("asi1->AttributeCount != asi2->AttributeCount");
    return false;
  }
  for (int32_t i = 0; i < a.AttributeCount && i < MAX_ATTRIBUTE; ++i) {
    if (a.Attribute[i].Id != b.Attribute[i].Id) {
      base::DebugLog("asi1->Attribute[i].Id != asi2->Attribute[i].Id");
      return false;
    }
  }
  return true;
}

void CAtaSmart::ApplyNvmeHealthLog(ATA_SMART_INFO& asi) {
  const uint8_t* log = asi.SmartReadData.data();
  auto le = [log](size_t offset, size_t size) {
    uint64_t v = 0;
    for (size_t i = size; i-- > 0;) v = (v << 8) | log[offset + i];
    return v;
  };
  // Composite temperature in Kelvin; its low byte minus 273, modulo 256.
  // 0 K is a controller that does not report it.
  asi.Temperature = (log[1] == 0 && log[2] == 0)
                        ? TEMPERATURE_UNKNOWN
                        : static_cast<int8_t>(static_cast<uint8_t>(log[1] - 17));
  asi.Life = log[3];
  // Data units of 512000 bytes; 7 bytes are plenty for a GB figure.
  asi.HostReads = AsInt(le(32, 7) >> 11);
  asi.HostWrites = AsInt(le(48, 7) >> 11);
  asi.PowerOnCount = AsInt(le(112, 4));
  asi.DetectedPowerOnHours = AsInt(le(128, 4));
  asi.MeasuredPowerOnHours = asi.DetectedPowerOnHours;
}

void CAtaSmart::ResetSmartFigures(ATA_SMART_INFO& asi) {
  asi.Temperature = TEMPERATURE_UNKNOWN;
  asi.DetectedPowerOnHours = COUNTER_UNKNOWN;
  asi.MeasuredPowerOnHours = COUNTER_UNKNOWN;
  asi.PowerOnRawValue = COUNTER_UNKNOWN;
  asi.PowerOnStartRawValue = COUNTER_UNKNOWN;
  asi.PowerOnCount = 0;
  asi.HostWrites = COUNTER_UNKNOWN;
  asi.HostReads = COUNTER_UNKNOWN;
  asi.GBytesErased = COUNTER_UNKNOWN;
  asi.NandWrites = COUNTER_UNKNOWN;
  asi.WearLevelingCount = COUNTER_UNKNOWN;
  asi.Life = COUNTER_UNKNOWN;
  asi.SpareBlockCount = ERASE_COUNT_UNKNOWN;
  asi.AverageEraseCount = ERASE_COUNT_UNKNOWN;
  asi.WriteAmplification = 0.0f;
  asi.AttributeC3Raw = 0;
  asi.AttributeC7Raw = 0;
}
