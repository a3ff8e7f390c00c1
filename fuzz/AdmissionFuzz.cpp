// Arbitrary IDENTIFY, S.M.A.R.T. data and threshold sectors through
// admission (on a one-disk simulated machine), refresh, classification and
// status, and straight through the parsers with every family and unit.
//
// Input: one byte of switches, then up to four 512-byte sectors (IDENTIFY,
// first data, second data, thresholds); missing bytes read as zero.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/AtaSmart.h"
#include "engine/DiskStatus.h"
#include "engine/SmartFamily.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/StdFileSystem.h"

namespace {

using Sector = std::array<uint8_t, 512>;

Sector Take(const uint8_t* data, size_t size, size_t index) {
  Sector s{};
  const size_t at = 1 + index * 512;
  if (at < size) std::memcpy(s.data(), data + at, std::min<size_t>(512, size - at));
  return s;
}

void Exercise(const ATA_SMART_INFO& asi) {
  GetTemperatureClass(asi);
  EvaluateDiskStatus(asi);
  DiskStatusImage(asi.DiskStatus, true);
}

// The parsers alone, on a record decoded from the sector, for one family
// and counter unit picked by the input.
void Parsers(const Sector& identify, const Sector& data, const Sector& thresholds,
             uint8_t switches) {
  ATA_SMART_INFO asi;
  Sector work = identify;
  std::copy(identify.begin(), identify.end(), asi.IdentifyDevice.begin());
  if (CAtaSmart::DecodeIdentifyTexts(asi, work.data()) == CAtaSmart::IDENTIFY_OK) {
    CAtaSmart::DecodeIdentifyFeatures(asi, work.data());
    CAtaSmart::DecodeIdentifyGeometry(asi, work.data());
  }
  asi.SmartReadData = data;
  asi.SmartReadThreshold = thresholds;
  asi.DiskVendorId = data[0] & 0x7F;
  asi.HostReadsWritesUnit = switches & 0x07;
  asi.FlashType = (switches & 0x08) ? 2 : 1;
  asi.IsEarlyController = (switches >> 4) & 1;
  asi.TemperatureMultiplier = (switches & 0x20) ? 0.5 : 1.0;
  CAtaSmart::FillSmartData(asi);
  CAtaSmart::FillSmartThreshold(asi);
  RederiveSmartFigures(asi);
  Exercise(asi);
  CAtaSmart::ApplyNvmeHealthLog(asi);
  CAtaSmart::ResetSmartFigures(asi);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t switches = size > 0 ? data[0] : 0;
  const Sector identify = Take(data, size, 0);
  const Sector first = Take(data, size, 1);
  const Sector second = Take(data, size, 2);
  const Sector thresholds = Take(data, size, 3);

  Parsers(identify, first, thresholds, switches);

  os::sim::SimMachine machine;
  os::sim::SimDisk disk;
  disk.PhysicalDrive = 0;
  disk.Paths[static_cast<size_t>(os::sim::SimPath::AtaPassThrough)] = true;
  disk.Paths[static_cast<size_t>(os::sim::SimPath::SmartIoctl)] = true;
  disk.Identify = identify;
  disk.SmartData = {first, (switches & 0x40) ? second : first, second};
  disk.SmartThresholds = thresholds;
  disk.Sector0.assign(512, 0);  // what the wake-up read returns
  machine.Disks.push_back(disk);

  testutil::CStdFileSystem files;
  os::sim::CSimPlatform sim(std::move(machine), files);
  CAtaSmart ata(sim.Get());
  ata.m_FlagAdvancedDiskSearch = (switches & 0x80) != 0;
  if (!ata.GetDiskInfo(0, -1, -1, INTERFACE_TYPE_UNKNOWN, 0, 0, -1, 0, false, false, "", false)) {
    return 0;
  }
  ata.vars[0].DiskStatus = ata.CheckDiskStatus(0);
  Exercise(ata.vars[0]);
  ata.UpdateSmartInfo(0);
  ata.UpdateSmartInfo(0);
  Exercise(ata.vars[0]);
  ata.GetPowerOnHoursEx(0, switches & 0x07);
  ata.m_LastInitTick = sim.Clock().TickCount();
  sim.Clock().Advance(130000);
  ata.MeasurePowerOnTimeUnit();
  ata.EnableAam(0, 0x80);
  ata.DisableApm(0);
  // A second admission of the same drive is refused; of the same disk on
  // another drive, it is settled as a duplicate.
  Sector again = identify;
  ata.AddDisk(1, -1, -1, -1, 0xA0, CMD_TYPE_PHYSICAL_DRIVE, again.data(), 0, nullptr, "");
  return 0;
}
