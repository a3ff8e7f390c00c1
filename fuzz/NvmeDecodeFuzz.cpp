// NVMe identify data and health logs from a hostile or broken disk, over
// every NVMe path: admission decodes the texts, names the controller, reads
// the version and the health figures; the refresh reads the log again.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/AtaSmart.h"
#include "fuzz/PathsFuzzPlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The decoders on the raw bytes.
  uint8_t page[512] = {};
  std::memcpy(page, data, size < sizeof(page) ? size : sizeof(page));
  ATA_SMART_INFO asi;
  std::memcpy(asi.SmartReadData.data(), page, sizeof(page));
  CAtaSmart::ApplyNvmeHealthLog(asi);
  CAtaSmart::FillSmartDataNVMe(page, asi.Attribute, true);
  CAtaSmart::GetNVMeVersionText(page);
  CAtaSmart::GetNVMeVendorSeries(page);

  // Admission and refresh with the device answers taken from the input.
  pathsfuzz::CByteStream stream(data, size);
  pathsfuzz::CFuzzPlatform platform(stream);
  CAtaSmart ata(platform.Get());
  const uint8_t choice = stream.Byte();
  const int32_t interfaceType = (choice & 1) ? INTERFACE_TYPE_NVME : INTERFACE_TYPE_USB;
  ata.m_FlagNVMeStorageQuery = (choice & 2) != 0;
  ata.GetDiskInfo(0, 0, 0, interfaceType, 0, 0, 0, 0, false, false, "", (choice & 4) != 0);
  uint8_t identify[512] = {};
  stream.Fill(identify, sizeof(identify));
  ata.AddDiskNVMe(1, 1, 0, 0, 0, CMD_TYPE_NVME_SAMSUNG + (choice >> 3) % 5, identify, "");
  for (int32_t i = 0; i < ata.vars.GetCount(); ++i) ata.UpdateSmartInfo(i);
  return 0;
}
