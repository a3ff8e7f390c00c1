// CSMI answers from a hostile or broken RAID driver: the phy table, the RAID
// counts and every pass-through answer come from the fuzzer. The scan must
// stay inside its buffers and never allocate without bound.
#include <cstddef>
#include <cstdint>

#include "engine/AtaSmart.h"
#include "fuzz/PathsFuzzPlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The phy table parser on the raw bytes, at every length.
  CAtaSmart::ParseCsmiPhyInfo(data, size);

  pathsfuzz::CByteStream stream(data, size);
  pathsfuzz::CFuzzPlatform platform(stream);
  CAtaSmart ata(platform.Get());
  ata.m_CsmiType = 1;
  ata.AddDiskCsmi(0);
  for (int32_t i = 0; i < ata.vars.GetCount(); ++i) {
    ata.UpdateSmartInfo(i);
    ata.RefreshIdentify(i);
  }
  return 0;
}
