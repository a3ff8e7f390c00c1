// Scaffolding: replaced by IDENTIFY decoding and admission. Nothing is admitted.
#include "engine/AtaSmart.h"

bool CAtaSmart::GetDiskInfo(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                            bool, bool, const std::string&, bool) {
  return false;
}
bool CAtaSmart::AddDisk(int32_t, int32_t, int32_t, int32_t, uint8_t, int32_t, uint8_t*, int32_t,
                        const uint8_t*, const std::string&) {
  return false;
}
uint32_t CAtaSmart::GetTransferMode(uint16_t, uint16_t, uint16_t, uint16_t, std::string&,
                                    std::string&, std::string&, int32_t&) {
  return 0;
}
int32_t CAtaSmart::GetAtaMajorVersion(uint16_t, std::string&) { return 0; }
void CAtaSmart::GetAtaMinorVersion(uint16_t, std::string&) {}
int32_t CAtaSmart::GetTimeUnitType(const std::string&, const std::string&, int32_t, int32_t) {
  return TIME_UNIT_UNKNOWN;
}
std::string CAtaSmart::GetModelSerial(const std::string&, const std::string&) { return {}; }
bool CAtaSmart::SendSetFeatures(int32_t, uint8_t, uint8_t) { return false; }
bool CAtaSmart::RefreshIdentify(int32_t) { return false; }
bool CAtaSmart::EnableAam(int32_t, uint8_t) { return false; }
bool CAtaSmart::DisableAam(int32_t) { return false; }
bool CAtaSmart::EnableApm(int32_t, uint8_t) { return false; }
bool CAtaSmart::DisableApm(int32_t) { return false; }
