// Arbitrary IDENTIFY, data and threshold sectors and disk texts through the
// family classifier, the maker-disk recognition and the status evaluation:
// no crash, no read outside the record, no undefined behaviour.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/AtaSmart.h"
#include "engine/DiskStatus.h"
#include "engine/SmartFamily.h"
#include "tests/support/FamilyTestSupport.h"

namespace {

// Takes up to n bytes from the input.
std::string Take(const uint8_t*& data, size_t& size, size_t n) {
  n = std::min(n, size);
  std::string out(reinterpret_cast<const char*>(data), n);
  data += n;
  size -= n;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static testutil::NullMachine machine;
  ATA_SMART_INFO asi = machine.Ata.NewRecord();
  if (size < 8) return 0;
  // A few bytes of settings, then the texts, then the sectors.
  asi.IsSsd = data[0] & 1;
  asi.IsEarlyController = (data[0] >> 1) & 1;
  asi.IsSmartCorrect = (data[0] >> 2) & 1;
  asi.IsThresholdCorrect = (data[0] >> 3) & 1;
  asi.DiskVendorId = data[1];
  asi.AttributeCount = static_cast<int8_t>(data[2]);  // may be negative or above 30
  asi.TotalDiskSize = static_cast<uint32_t>(data[3]) << 12;
  asi.ThresholdFF = data[4];
  asi.Threshold05 = data[5];
  asi.Temperature = static_cast<int8_t>(data[6]);
  asi.TemperatureGrade = static_cast<int8_t>(data[7]);
  data += 8;
  size -= 8;
  asi.Model = Take(data, size, 40);
  asi.SerialNumber = Take(data, size, 20);
  asi.VendorSpecificText = Take(data, size, 62);
  std::string sector = Take(data, size, 512);
  std::memcpy(asi.IdentifyDevice.data(), sector.data(), sector.size());
  sector = Take(data, size, 512);
  std::memcpy(asi.SmartReadData.data(), sector.data(), sector.size());
  std::memcpy(asi.Attribute, asi.SmartReadData.data() + 2, sizeof(asi.Attribute));
  sector = Take(data, size, sizeof(asi.Threshold));
  std::memcpy(asi.Threshold, sector.data(), sector.size());

  asi.SupportLevel = machine.Ata.RecognizeMakerDisk(asi);
  (void)CAtaSmart::GetFormFactorCode(asi);
  (void)CAtaSmart::GetModelTableFamily(asi);
  machine.Ata.ClassifySmartFamily(asi);
  (void)EvaluateDiskStatus(asi);
  (void)GetTemperatureClass(asi);
  (void)FamilyControllerText(asi.DiskVendorId);
  return 0;
}
