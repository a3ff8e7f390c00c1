// Figures that depend on the family. The attribute parser runs before the
// family is known, so the classifier walks the table once more with the
// family-dependent rules. Figures set here stand until the next full parse
// of a refresh, which then knows the family itself.
#include <initializer_list>

#include "engine/SmartFamily.h"

namespace {

bool In(int32_t family, std::initializer_list<int32_t> families) {
  for (int32_t f : families) {
    if (f == family) return true;
  }
  return false;
}

bool InRange(int32_t family, int32_t low, int32_t high) { return family >= low && family <= high; }

// The Marvell controllers 88SS9174 to 88SS9193.
bool IsMarvell9xxx(int32_t family) {
  return InRange(family, FAMILY_MARVELL_88SS9174, FAMILY_MARVELL_88SS9193);
}

uint32_t Raw16(const ATTRIBUTE_ENTRY& a) {
  return static_cast<uint32_t>(a.RawValue[0] | (a.RawValue[1] << 8));
}

uint32_t Raw32(const ATTRIBUTE_ENTRY& a) {
  return static_cast<uint32_t>(a.RawValue[0]) | (static_cast<uint32_t>(a.RawValue[1]) << 8) |
         (static_cast<uint32_t>(a.RawValue[2]) << 16) |
         (static_cast<uint32_t>(a.RawValue[3]) << 24);
}

// Counters are signed 32-bit fields; a raw value above 2^31 wraps as the
// disk list has always stored it.
int32_t AsInt(uint64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// raw32 counts 32 MB (or 16 MB) units; GB in signed 32-bit arithmetic.
int32_t UnitsToGb(uint32_t raw32, uint32_t unitMb) {
  return static_cast<int32_t>(raw32 * unitMb) / 1024;
}

int32_t ScaledByEighth(uint32_t raw32) {  // raw32 x 0.03125, truncated
  return static_cast<int32_t>(static_cast<double>(raw32) * 0.03125);
}

void SetLifeFromCurrent(ATA_SMART_INFO& asi, const ATTRIBUTE_ENTRY& a) {
  if (a.CurrentValue <= 100) asi.Life = a.CurrentValue;
}

// Host writes (F1) or reads (F2) by family and unit. Returns false when the
// family leaves the figure alone.
bool HostCounter(const ATA_SMART_INFO& asi, const ATTRIBUTE_ENTRY& a, bool reads, int32_t& out) {
  const int32_t f = asi.DiskVendorId;
  const int32_t unit = asi.HostReadsWritesUnit;
  const uint32_t raw32 = Raw32(a);
  const int32_t sectorsToGb = AsInt(RawValue48(a) >> 21);
  if ((f == FAMILY_TOSHIBA && unit == HOST_READS_WRITES_GB) || f == FAMILY_SAGE ||
      InRange(f, FAMILY_INDILINX_BAREFOOT, FAMILY_INDILINX_EVEREST2)) {
    out = AsInt(raw32);
  } else if (In(f, {FAMILY_INTEL, FAMILY_TOSHIBA, FAMILY_INTEL_PC29AS21BA0,
                    FAMILY_INTEL_PC29AS21CA0, FAMILY_INTEL_PC29AS21CB0})) {
    out = ScaledByEighth(raw32);
  } else if (In(f, {FAMILY_SANDFORCE, FAMILY_OCZ_VECTOR, FAMILY_CORSAIR, FAMILY_KINGSTON,
                    FAMILY_REALTEK, FAMILY_LAMD_LM87800, FAMILY_SANDFORCE_SF1222,
                    FAMILY_SANDFORCE_SF2281, FAMILY_SANDFORCE_SF2581})) {
    if (!reads && unit != HOST_READS_WRITES_GB) return false;
    out = AsInt(raw32);
  } else if ((f == FAMILY_SAMSUNG && unit == HOST_READS_WRITES_GB) ||
             In(f, {FAMILY_SAMSUNG_MCX, FAMILY_SAMSUNG_MJX})) {
    out = AsInt(raw32);
  } else if (In(f, {FAMILY_SAMSUNG, FAMILY_SAMSUNG_39, FAMILY_WDC, FAMILY_LINE_JM609,
                    FAMILY_JMICRON_JMF670H, FAMILY_JMICRON_JMF618, FAMILY_JMICRON_JMF661,
                    FAMILY_JMICRON_JMF667H})) {
    out = sectorsToGb;
  } else if (In(f, {FAMILY_PLEXTOR, FAMILY_MICRON_MU02, FAMILY_SMI_SM2246EN, FAMILY_SMI_SM2246XT,
                    FAMILY_SMI_SM2236, FAMILY_SMI, FAMILY_MAXIOTEK_MK8215, FAMILY_LINE_SM2246EN,
                    FAMILY_LINE_SM2246XT})) {
    out = UnitsToGb(raw32, 32);
  } else if (f == FAMILY_SANDISK) {
    out = unit == HOST_READS_WRITES_GB ? AsInt(raw32) : sectorsToGb;
  } else {
    switch (unit) {
      case HOST_READS_WRITES_GB:
        out = AsInt(raw32);
        break;
      case HOST_READS_WRITES_32MB:
        out = UnitsToGb(raw32, 32);
        break;
      case HOST_READS_WRITES_16MB:
        out = UnitsToGb(raw32, 16);
        break;
      case HOST_READS_WRITES_512B:
        out = sectorsToGb;
        break;
      default:
        return false;
    }
  }
  return true;
}

void Rederive(ATA_SMART_INFO& asi, const ATTRIBUTE_ENTRY& a) {
  const int32_t f = asi.DiskVendorId;
  const uint32_t raw32 = Raw32(a);
  switch (a.Id) {
    case 0x64:
      if (f == FAMILY_SANDFORCE) asi.GBytesErased = AsInt(raw32);
      break;
    case 0xA7:
      if (!In(f, {FAMILY_JMICRON, FAMILY_JMICRON_JM602, FAMILY_JMICRON_JM609, FAMILY_PHISON,
                  FAMILY_LINE_JM609, FAMILY_JMICRON_JMF670H, FAMILY_JMICRON_JMF618,
                  FAMILY_JMICRON_JMF661, FAMILY_JMICRON_JMF667H})) {
        asi.AverageEraseCount = AsInt(raw32);
      }
      break;
    case 0xA9:
      if (In(f,
             {FAMILY_SMI_SM2246EN, FAMILY_SMI_SM2246XT, FAMILY_SMI_SM2258, FAMILY_MAXIOTEK_MK8215,
              FAMILY_LINE_SM2246EN, FAMILY_LINE_SM2246XT, FAMILY_LINE_SM2258})) {
        asi.Life = a.RawValue[0];
      } else if (In(f, {FAMILY_MICRON_MU02, FAMILY_REALTEK})) {
        SetLifeFromCurrent(asi, a);
      }
      break;
    case 0xAA:
      if (f == FAMILY_JMICRON && asi.IsEarlyController == 0) SetLifeFromCurrent(asi, a);
      break;
    case 0xAD:
      if (f == FAMILY_MICRON || IsMarvell9xxx(f)) {
        asi.WearLevelingCount = AsInt(raw32);
        asi.AverageEraseCount = AsInt(raw32);
      } else if (In(f, {FAMILY_JMICRON, FAMILY_JMICRON_JM602, FAMILY_JMICRON_JM609,
                        FAMILY_LINE_JM609, FAMILY_JMICRON_JMF670H, FAMILY_JMICRON_JMF618,
                        FAMILY_JMICRON_JMF661, FAMILY_JMICRON_JMF667H})) {
        asi.AverageEraseCount = a.RawValue[2] | (a.RawValue[3] << 8);
      }
      break;
    case 0xB1:
      if (In(f, {FAMILY_SAMSUNG, FAMILY_SAMSUNG_39, FAMILY_SAMSUNG_MCX, FAMILY_SAMSUNG_MJX})) {
        asi.WearLevelingCount = AsInt(raw32);
        SetLifeFromCurrent(asi, a);
      }
      break;
    case 0xC7:
      if (f == FAMILY_OCZ_VECTOR) asi.HostWrites = AsInt(raw32);
      break;
    case 0xCA:
      if (f == FAMILY_MICRON || f == FAMILY_MARVELL_88SS1080 || IsMarvell9xxx(f)) {
        SetLifeFromCurrent(asi, a);
      }
      break;
    case 0xD0:
      if (f == FAMILY_INDILINX) asi.AverageEraseCount = AsInt(raw32);
      break;
    case 0xD1:
      if (f == FAMILY_INDILINX) SetLifeFromCurrent(asi, a);
      break;
    case 0xE1:
      if (f == FAMILY_INTEL) asi.HostWrites = ScaledByEighth(raw32);
      break;
    case 0xE6:
      if (f == FAMILY_SANDISK) SetLifeFromCurrent(asi, a);
      break;
    case 0xE7:
      if (In(f, {FAMILY_SANDFORCE, FAMILY_CORSAIR, FAMILY_KINGSTON, FAMILY_REALTEK,
                 FAMILY_LAMD_LM87800, FAMILY_SANDFORCE_SF1222, FAMILY_SANDFORCE_SF2281,
                 FAMILY_SANDFORCE_SF2581, FAMILY_LINE_JM609})) {
        SetLifeFromCurrent(asi, a);
      } else if (f == FAMILY_PHISON) {
        asi.Life = static_cast<int32_t>(Raw16(a));
      }
      break;
    case 0xE8:
      if (In(f, {FAMILY_PLEXTOR, FAMILY_SANDISK})) {
        SetLifeFromCurrent(asi, a);
      } else if (f == FAMILY_SAGE) {
        asi.Life = AsInt(raw32);
      } else if (f == FAMILY_OCZ) {
        asi.HostWrites = AsInt(RawValue48(a) >> 21);
      }
      break;
    case 0xE9:
      if (In(f, {FAMILY_INTEL, FAMILY_OCZ, FAMILY_OCZ_VECTOR, FAMILY_SAMSUNG_39, FAMILY_SAMSUNG_MCX,
                 FAMILY_SAMSUNG_MJX}) ||
          InRange(f, FAMILY_INDILINX_BAREFOOT, FAMILY_INTEL_PC29AS21CB0)) {
        SetLifeFromCurrent(asi, a);
      } else if (In(f, {FAMILY_PLEXTOR, FAMILY_KINGSTON}) ||
                 (f == FAMILY_SANDISK && asi.HostReadsWritesUnit == HOST_READS_WRITES_GB)) {
        asi.NandWrites = AsInt(raw32);
      }
      break;
    case 0xF1: {
      int32_t value = 0;
      if (HostCounter(asi, a, false, value)) asi.HostWrites = value;
      if (f == FAMILY_SAGE) EstimateLifeFromWrites(asi);
      break;
    }
    case 0xF2: {
      if (f == FAMILY_MICRON) {
        SetLifeFromCurrent(asi, a);
        break;
      }
      int32_t value = 0;
      if (HostCounter(asi, a, true, value)) asi.HostReads = value;
      break;
    }
    case 0xF5:
      if (f == FAMILY_MICRON || IsMarvell9xxx(f)) {
        asi.NandWrites = AsInt(RawValue48(a) >> 17);
      } else if (In(f, {FAMILY_MICRON_MU02, FAMILY_SMI_SM2246EN, FAMILY_SMI_SM2246XT,
                        FAMILY_SMI_SM2236, FAMILY_SMI_SM2258, FAMILY_LINE_SM2246EN,
                        FAMILY_LINE_SM2246XT, FAMILY_LINE_SM2258})) {
        asi.NandWrites = UnitsToGb(raw32, 32);
      }
      break;
    case 0xF6:
      if (f == FAMILY_MICRON || IsMarvell9xxx(f)) asi.HostWrites = AsInt(RawValue48(a) >> 21);
      break;
    case 0xF9:
      if (In(f, {FAMILY_INTEL, FAMILY_REALTEK})) {
        asi.NandWrites = AsInt(raw32);
      } else if (f == FAMILY_OCZ_VECTOR) {
        asi.NandWrites = AsInt(RawValue48(a) >> 16);
      }
      break;
    case 0xFA:
      if (f == FAMILY_REALTEK)
        asi.NandWrites = AsInt(static_cast<uint32_t>(asi.NandWrites) + raw32);
      break;
    default:
      break;
  }
}

}  // namespace

// Family 25 reports its life coarsely; the host writes against the rated
// endurance (3000 cycles of the capacity) refine it by up to ten points.
void EstimateLifeFromWrites(ATA_SMART_INFO& asi) {
  if (asi.Life < 0 || asi.Life >= 100) return;
  const uint32_t total = asi.TotalDiskSize * 3000u;
  if (total == 0) return;
  const double t = total;
  const double w = static_cast<double>(asi.HostWrites) * 1024.0;
  for (double factor : {2.0, 2.5, 1.5}) {
    const float candidate = static_cast<float>(100.0 * (t - factor * w) / t);
    if (candidate > static_cast<float>(asi.Life) &&
        candidate <= static_cast<float>(asi.Life + 10)) {
      asi.Life = static_cast<int32_t>(candidate + 0.5f);
      return;
    }
  }
}

float ComputeWriteAmplification(const ATA_SMART_INFO& asi) {
  if (asi.HostWrites > 0 && asi.NandWrites > 0) {
    return static_cast<float>(asi.NandWrites) / static_cast<float>(asi.HostWrites);
  }
  if (asi.HostWrites > 0 && asi.AverageEraseCount != ERASE_COUNT_UNKNOWN &&
      asi.AverageEraseCount != 0 && asi.HostReadsWritesUnit != HOST_READS_WRITES_NONE) {
    const uint32_t erase = static_cast<uint32_t>(asi.AverageEraseCount);
    uint32_t erased = erase * asi.TotalDiskSize;
    if (asi.AverageEraseCount <= 10) erased += asi.TotalDiskSize * 5u / 10u;
    return static_cast<float>(static_cast<double>(erased) /
                              (static_cast<double>(asi.HostWrites) * 1000.0));
  }
  return 0.0f;
}

void RederiveSmartFigures(ATA_SMART_INFO& asi) {
  const int32_t count = asi.AttributeCount < MAX_ATTRIBUTE ? asi.AttributeCount : MAX_ATTRIBUTE;
  for (int32_t i = 0; i < count; ++i) Rederive(asi, asi.Attribute[i]);
  asi.WriteAmplification = ComputeWriteAmplification(asi);
}
