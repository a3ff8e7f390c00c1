// Scaffolding: replaced by the S.M.A.R.T. parser. Every function fails.
#include "engine/AtaSmart.h"

bool CAtaSmart::FillSmartData(ATA_SMART_INFO&) { return false; }
bool CAtaSmart::FillSmartThreshold(ATA_SMART_INFO&) { return false; }
bool CAtaSmart::CheckSmartAttributeCorrect(const ATA_SMART_INFO&, const ATA_SMART_INFO&) {
  return false;
}
uint32_t CAtaSmart::GetPowerOnHours(uint32_t, int32_t) { return 0; }
uint32_t CAtaSmart::GetPowerOnHoursEx(uint32_t, int32_t) { return 0; }
int32_t CAtaSmart::UpdateSmartInfo(int32_t) { return SMART_STATUS_NO_CHANGE; }
bool CAtaSmart::MeasurePowerOnTimeUnit() { return false; }
