#include "os/linux/LinuxDiskSyscalls.h"

#include <fcntl.h>
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace os {
namespace {

// Commands need a descriptor opened for writing on many drivers, but root
// can send them on a read-only one too; O_NONBLOCK keeps an empty card reader
// or a tray without a disc from blocking the open.
int OpenForCommands(const std::string& node) {
  int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    int saved = errno;
    fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) errno = saved;
  }
  return fd;
}

class CFd {
 public:
  explicit CFd(int fd) : m_Fd(fd) {}
  ~CFd() {
    if (m_Fd >= 0) ::close(m_Fd);
  }
  CFd(const CFd&) = delete;
  CFd& operator=(const CFd&) = delete;
  int Get() const { return m_Fd; }

 private:
  int m_Fd;
};

}  // namespace

int CLinuxDiskSyscalls::Scsi(const std::string& node, ScsiRequest& request) {
  CFd fd(OpenForCommands(node));
  if (fd.Get() < 0) return errno;

  sg_io_hdr_t io;
  std::memset(&io, 0, sizeof(io));
  io.interface_id = 'S';
  switch (request.Direction) {
    case DataDirection::None:
      io.dxfer_direction = SG_DXFER_NONE;
      break;
    case DataDirection::In:
      io.dxfer_direction = SG_DXFER_FROM_DEV;
      break;
    case DataDirection::Out:
      io.dxfer_direction = SG_DXFER_TO_DEV;
      break;
  }
  io.cmd_len = request.CdbLength;
  io.cmdp = request.Cdb.data();
  io.dxfer_len = request.Direction == DataDirection::None ? 0 : request.DataLength;
  io.dxferp = request.Direction == DataDirection::None ? nullptr : request.Data;
  io.mx_sb_len = static_cast<unsigned char>(request.Sense.size());
  io.sbp = request.Sense.data();
  io.timeout = request.TimeoutMs;

  if (::ioctl(fd.Get(), SG_IO, &io) < 0) return errno;
  request.SenseLength = io.sb_len_wr;
  request.ScsiStatus = io.status;
  request.HostStatus = io.host_status;
  request.DriverStatus = io.driver_status;
  request.Residual = io.resid;
  return 0;
}

int CLinuxDiskSyscalls::NvmeAdmin(const std::string& node, NvmeAdminRequest& request) {
  CFd fd(OpenForCommands(node));
  if (fd.Get() < 0) return errno;

  nvme_admin_cmd cmd;
  std::memset(&cmd, 0, sizeof(cmd));
  cmd.opcode = request.Opcode;
  cmd.nsid = request.Nsid;
  cmd.addr = reinterpret_cast<uintptr_t>(request.Data);
  cmd.data_len = request.DataLength;
  cmd.cdw10 = request.Cdw10;
  cmd.cdw11 = request.Cdw11;
  cmd.cdw12 = request.Cdw12;
  cmd.cdw13 = request.Cdw13;
  cmd.cdw14 = request.Cdw14;
  cmd.cdw15 = request.Cdw15;
  cmd.timeout_ms = request.TimeoutMs;

  int rc = ::ioctl(fd.Get(), NVME_IOCTL_ADMIN_CMD, &cmd);
  if (rc < 0) return errno;
  // A positive result is the NVMe status of a command the device refused.
  request.Status = static_cast<uint32_t>(rc);
  request.Result = cmd.result;
  return 0;
}

int CLinuxDiskSyscalls::Read(const std::string& node, uint64_t offset, void* data, uint32_t length,
                             uint32_t* got) {
  CFd fd(::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0) return errno;
  ssize_t n = ::pread(fd.Get(), data, length, static_cast<off_t>(offset));
  if (n < 0) return errno;
  *got = static_cast<uint32_t>(n);
  return 0;
}

}  // namespace os
