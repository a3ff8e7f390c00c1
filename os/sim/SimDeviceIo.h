// Device requests answered by a simulated machine: an emulated storage stack
// that parses the request buffers and answers as the drivers would. Every
// request it receives is recorded, for tests to check byte for byte.
//
// Devices: "\\.\PhysicalDriveN" (a disk with that physical_drive),
// "\\.\ScsiN:" (a SCSI port that some disk sits on and shows), "\\.\X:"
// (a volume on the disks that list letter X), and the names made with
// DefineRawDosDevice whose target is a Silicon Image controller
// ("\Device\Scsi\SI31121" for chips 3112 and 3512).
//
// To answer a new request: add its control code to AnswerDrive (physical
// drives), its signature to AnswerPort (SCSI miniport requests) or a handle
// kind in SimDeviceIo.cpp; carry ATA commands out with ExecuteAta/ExecuteOp
// (SimAtaDevice.h) so the manifest's paths, faults and S.M.A.R.T. queue
// apply; and add a manifest path name in SimMachine.cpp for it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "os/DeviceIo.h"
#include "os/sim/SimMachine.h"

namespace os::sim {

struct SimRequest {
  enum class Kind : uint8_t { Open, Control, Read, DefineDosDevice };
  Kind Type = Kind::Control;
  std::string Device;  // the name as the caller gave it
  Access OpenAccess = Access::ReadWrite;
  uint32_t Code = 0;        // control code
  std::vector<uint8_t> In;  // input bytes as sent
  uint32_t OutSize = 0;     // output room offered (bytes asked, for reads)
  bool Ok = false;
  uint32_t Error = 0;
  uint32_t Returned = 0;
  std::string Target;  // DefineDosDevice target
};

class CSimDeviceIo : public IDeviceIo {
 public:
  // `machine` must outlive this object; its disks' running state (the
  // S.M.A.R.T. read queue) advances as requests are answered.
  explicit CSimDeviceIo(SimMachine& machine) : m_Machine(machine) {}

  std::unique_ptr<IDeviceHandle> Open(const std::string& name, Access access,
                                      uint32_t* error) override;
  bool DefineRawDosDevice(const std::string& name, const std::string& target) override;

  const std::vector<SimRequest>& Requests() const { return m_Requests; }
  void ClearRequests() { m_Requests.clear(); }
  // Requests of one kind, or with one control code.
  std::vector<SimRequest> RequestsWithCode(uint32_t code) const;
  size_t CountOpens() const;

  // Used by the handles.
  void Record(SimRequest request) { m_Requests.push_back(std::move(request)); }
  SimMachine& Machine() { return m_Machine; }

 private:
  SimMachine& m_Machine;
  std::vector<SimRequest> m_Requests;
  std::map<std::string, std::string> m_DosDevices;  // lower-case name -> target
};

}  // namespace os::sim
