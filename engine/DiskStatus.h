// The health verdict of a disk and the names under which it is shown.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/AtaSmartInfo.h"

// The verdict for one record (the work of CAtaSmart::CheckDiskStatus): one of
// DISK_STATUS_UNKNOWN, _GOOD, _CAUTION, _BAD. A pure function of the record.
// A disk this program does not rate (SupportLevel 0: not the maker's own and
// no known SSD family) is unknown, unless `evaluateAllDisks` is set: then it
// is judged by the same walk over its attributes as a rated disk.
int32_t EvaluateDiskStatus(const ATA_SMART_INFO& asi, bool evaluateAllDisks = false);

// True when the verdict of `asi` under `evaluateAllDisks` comes from that
// opt-in alone: the disk is not rated, so by default it would be unknown.
bool IsJudgedOnlyByOption(const ATA_SMART_INFO& asi, bool evaluateAllDisks);

// The families whose life percentage is trusted on its own.
bool IsLifeRatedFamily(int32_t diskVendorId);

// True when `id` is the attribute that carries the life of the record's
// family (E8 for Intel, E7 for SandForce, ...).
bool IsFamilyLifeAttribute(const ATA_SMART_INFO& asi, uint8_t id);

// Attributes judged against their thresholds on a hard disk.
bool IsCriticalAttribute(uint8_t id);

enum TEMPERATURE_CLASS : int32_t {
  TEMPERATURE_CLASS_UNKNOWN = 0,
  TEMPERATURE_CLASS_GOOD = 1,
  TEMPERATURE_CLASS_CAUTION = 2,
  TEMPERATURE_CLASS_BAD = 3,
};

struct TemperatureClass {
  std::string_view Image;  // "temperatureGood", ... "temperatureUnknown"
  int32_t Class;           // TEMPERATURE_CLASS_*
};

// Class of a temperature in degrees Celsius for the operating range of
// `temperatureGrade` (0: 0..70, 1: -25..85, 2..4: -40..85; any other grade
// is read as 0). A temperature of -127 or below means the disk gave none
// and is unknown.
TemperatureClass GetTemperatureClass(int32_t temperature, int32_t temperatureGrade);
// The same for a disk: unknown unless its S.M.A.R.T. data was trusted.
TemperatureClass GetTemperatureClass(const ATA_SMART_INFO& asi);

// Language section and key of a status word ("DiskStatus", "GOOD").
constexpr std::string_view DISK_STATUS_SECTION = "DiskStatus";
std::string_view DiskStatusTextKey(int32_t status);
// Skin image of a status; `greenMode` is the "GreenMode" setting.
std::string_view DiskStatusImage(int32_t status, bool greenMode);
