// A simulated machine on disk whose one hard disk gets worse with every
// S.M.A.R.T. read: more reallocated sectors, hotter. For the tests of
// `stavrion watch`.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

#include "tests/support/SectorBuilder.h"
#include "tests/support/TempDir.h"

namespace testutil {

constexpr int WORSENING_STEPS = 8;
constexpr const char* WORSENING_MODEL = "WATCH TEST DISK";
constexpr const char* WORSENING_SERIAL = "WTD0001";

// Reallocated sectors and temperature (degrees Celsius) of step `n`.
inline uint64_t WorseningReallocated(int n) { return static_cast<uint64_t>(n) * 8; }
inline uint64_t WorseningTemperature(int n) { return 35 + static_cast<uint64_t>(n) * 3; }

inline void WriteSector(const std::string& path, const testutil::Sector& s) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(s.data()), static_cast<std::streamsize>(s.size()));
}

// Writes the machine into `folder` (which exists) and returns it.
inline std::string WriteWorseningMachine(const std::string& folder,
                                         const std::string& model = WORSENING_MODEL,
                                         const std::string& serial = WORSENING_SERIAL) {
  WriteSector(folder + "/identify.bin",
              testutil::IdentifyBuilder().Model(model).Serial(serial).Checksum().Build());
  WriteSector(folder + "/thresholds.bin",
              testutil::ThresholdBuilder().Add(0x05, 36).Add(0x09, 0).Add(0xC2, 0).Build());
  std::string queue;
  for (int n = 0; n < WORSENING_STEPS; ++n) {
    const std::string name = "day" + std::to_string(n) + ".bin";
    WriteSector(folder + "/" + name, testutil::SmartDataBuilder()
                                         .Add({0x05, 100, 100, WorseningReallocated(n)})
                                         .Add({0x09, 99, 99, 1000 + static_cast<uint64_t>(n)})
                                         .Add({0xC2, 65, 60, WorseningTemperature(n)})
                                         .Build());
    queue += (queue.empty() ? "" : " ") + name;
  }
  std::ofstream(folder + "/machine.ini")
      << "[machine]\nversion = 2\n\n[disk a]\nfolder = .\nphysical_drive = 0\n"
      << "identify = identify.bin\nsmart_thresholds = thresholds.bin\nsmart_data = " << queue
      << "\n";
  return folder;
}

}  // namespace testutil
