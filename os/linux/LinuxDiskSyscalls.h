// SG_IO, NVME_IOCTL_ADMIN_CMD and pread on real device nodes.
#pragma once

#include "os/linux/DiskSyscalls.h"

namespace os {

class CLinuxDiskSyscalls : public IDiskSyscalls {
 public:
  int Scsi(const std::string& node, ScsiRequest& request) override;
  int NvmeAdmin(const std::string& node, NvmeAdminRequest& request) override;
  int Read(const std::string& node, uint64_t offset, void* data, uint32_t length,
           uint32_t* got) override;
};

}  // namespace os
