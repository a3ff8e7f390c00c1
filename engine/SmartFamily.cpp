// Scaffolding: replaced by the vendor family tables. Nothing is classified.
#include "engine/AtaSmart.h"

void CAtaSmart::ClassifySmartFamily(ATA_SMART_INFO&) {}
int32_t CAtaSmart::GetModelTableFamily(const ATA_SMART_INFO&) { return 0; }
int32_t CAtaSmart::RecognizeMakerDisk(ATA_SMART_INFO&) { return 0; }
int32_t CAtaSmart::GetFormFactorCode(const ATA_SMART_INFO&) { return 0; }
