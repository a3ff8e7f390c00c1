// Feeds arbitrary bytes to the machine loader as machine.ini, then sends a
// round of requests to whatever machine came out of it.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "os/sim/SimDeviceIo.h"
#include "os/sim/SimMachine.h"
#include "os/sim/SimWmi.h"
#include "os/wire/WinIoctl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::map<std::string, std::vector<uint8_t>> files;
  files["machine.ini"].assign(data, data + size);
  std::vector<uint8_t> sector(512, 0x41);
  for (const char* name : {"a/identify.bin", "a/smart_data.bin", "a/smart_thresholds.bin",
                           "b/identify.bin", "s.bin", "short.bin"}) {
    files[name] = sector;
  }
  files["short.bin"].resize(100);
  os::sim::CMemorySource source("fuzz", files);
  os::sim::LoadResult r = os::sim::LoadMachine(source);
  if (!r.Machine) return 0;

  os::sim::CSimDeviceIo io(*r.Machine);
  const uint32_t codes[] = {winio::CTL_ATA_PASS_THROUGH,        winio::CTL_SMART_RCV_DRIVE_DATA,
                            winio::CTL_STORAGE_PREDICT_FAILURE, winio::CTL_DISK_GET_DRIVE_GEOMETRY,
                            winio::CTL_STORAGE_QUERY_PROPERTY,  winio::CTL_SCSI_MINIPORT};
  std::vector<uint8_t> buf(1024);
  for (const os::sim::SimDisk& d : r.Machine->Disks) {
    for (const std::string& name : {"\\\\.\\PhysicalDrive" + std::to_string(d.PhysicalDrive),
                                    "\\\\.\\Scsi" + std::to_string(d.ScsiPort) + ":"}) {
      uint32_t error = 0;
      auto h = io.Open(name, os::Access::ReadWrite, &error);
      if (!h) continue;
      for (uint32_t code : codes) {
        // The request bytes are the fuzzer's too, so every parser sees them.
        std::fill(buf.begin(), buf.end(), 0);
        std::copy(data, data + std::min(size, buf.size()), buf.begin());
        uint32_t returned = 0;
        h->Control(code, buf.data(), static_cast<uint32_t>(std::min<size_t>(size, buf.size())),
                   buf.data(), static_cast<uint32_t>(buf.size()), &returned, &error);
      }
      uint32_t read = 0;
      h->Read(buf.data(), 512, &read);
    }
  }
  os::sim::CSimWmi wmi(*r.Machine);
  wmi.Query("root\\WMI", "SELECT * FROM MSStorageDriver_FailurePredictData");
  return 0;
}
