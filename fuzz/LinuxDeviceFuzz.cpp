// Disks on Linux answering anything at all: every SG_IO command, NVMe admin
// command and sector read of the Linux device layer gets its data, sense
// bytes, status fields and residual count from the input, and the engine
// discovers the disks of a captured machine on those answers (inventory,
// physical-drive pass, admission over every path, refresh, status). The
// mount-table parser and the sense decoders get the raw input too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "engine/AtaSmart.h"
#include "fuzz/PathsFuzzPlatform.h"
#include "os/linux/AtaPassThrough.h"
#include "os/linux/LinuxDeviceIo.h"
#include "os/linux/LinuxWmi.h"
#include "os/linux/MountTable.h"

namespace {

constexpr int kErrnos[] = {
    1 /*EPERM*/,   5 /*EIO*/,     13 /*EACCES*/,     16 /*EBUSY*/,      19 /*ENODEV*/,
    22 /*EINVAL*/, 25 /*ENOTTY*/, 95 /*EOPNOTSUPP*/, 110 /*ETIMEDOUT*/, 2 /*ENOENT*/};

uint32_t Word(pathsfuzz::CByteStream& s) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(s.Byte()) << (8 * i);
  return v;
}

// One control byte an answer: bit 0 fails the system call (errno from the
// next byte); bits 1-7 say how many blocks of 32 data bytes come from the
// input (the rest of the buffer keeps what the caller put there).
class CFuzzSyscalls : public os::IDiskSyscalls {
 public:
  explicit CFuzzSyscalls(pathsfuzz::CByteStream& stream) : m_Stream(stream) {}

  int Scsi(const std::string&, os::ScsiRequest& r) override {
    const uint8_t control = m_Stream.Byte();
    if (control & 1) return kErrnos[m_Stream.Byte() % std::size(kErrnos)];
    if (r.Direction == os::DataDirection::In && r.Data != nullptr) {
      m_Stream.Fill(r.Data, std::min<size_t>(static_cast<size_t>(control >> 1) * 32, r.DataLength));
    }
    r.ScsiStatus = m_Stream.Byte();
    r.HostStatus = static_cast<uint16_t>(m_Stream.Byte() % 16);
    r.DriverStatus = static_cast<uint16_t>(m_Stream.Byte() % 16);
    r.Residual = static_cast<int32_t>(Word(m_Stream));
    // The kernel never writes more sense than it was given room for; the
    // length field itself may say anything.
    r.SenseLength = m_Stream.Byte();
    m_Stream.Fill(r.Sense.data(), std::min<size_t>(r.SenseLength, r.Sense.size()));
    return 0;
  }

  int NvmeAdmin(const std::string&, os::NvmeAdminRequest& r) override {
    const uint8_t control = m_Stream.Byte();
    if (control & 1) return kErrnos[m_Stream.Byte() % std::size(kErrnos)];
    if (r.Data != nullptr) {
      m_Stream.Fill(r.Data, std::min<size_t>(static_cast<size_t>(control >> 1) * 32, r.DataLength));
    }
    r.Status = m_Stream.Byte() & 3 ? 0 : Word(m_Stream);
    r.Result = Word(m_Stream);
    return 0;
  }

  int Read(const std::string&, uint64_t, void* data, uint32_t length, uint32_t* got) override {
    const uint8_t control = m_Stream.Byte();
    if (control & 1) return kErrnos[m_Stream.Byte() % std::size(kErrnos)];
    const size_t n = std::min<size_t>(static_cast<size_t>(control >> 1) * 8, length);
    m_Stream.Fill(static_cast<uint8_t*>(data), n);
    *got = static_cast<uint32_t>(n);
    return 0;
  }

 private:
  pathsfuzz::CByteStream& m_Stream;
};

os::LinuxRoots Tree(uint8_t choice) {
  static const char* const kTrees[] = {"sata-laptop", "nvme-desktop", "usb-enclosure"};
  const std::string base =
      std::string(STAVRION_SOURCE_DIR) + "/fixtures/sysfs/" + kTrees[choice % 3];
  return os::LinuxRoots{base + "/sys", base + "/dev", base + "/proc/self/mounts",
                        base + "/proc/self/status"};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The parsers on the raw bytes.
  const std::string text(reinterpret_cast<const char*>(data), size);
  os::ParseMounts(text);
  os::AtaTaskFile current;
  os::AtaTaskFile previous;
  os::ParseAtaStatusReturn(data, size, &current, &previous);
  os::SenseKey(data, size);

  // Discovery of a captured machine whose disks answer from the input.
  pathsfuzz::CByteStream stream(data, size);
  const uint8_t choice = stream.Byte();
  CFuzzSyscalls syscalls(stream);
  const os::LinuxRoots roots = Tree(choice);
  os::CLinuxDeviceIo devices(roots, syscalls);
  os::CLinuxWmi wmi(roots);
  pathsfuzz::CFuzzPlatform rest(stream);
  const bool useWmi = (choice & 4) != 0;
  os::Platform platform{devices,      useWmi ? static_cast<os::IWmi&>(wmi) : rest.Wmi,
                        rest.Clock,   rest.Files,
                        rest.Profile, rest.System};
  CAtaSmart ata(platform);
  if (choice & 0x80) {
    // Whole discovery: slow (each device open reads the tree), so only now
    // and then.
    int32_t changed = 0;
    ata.Init(useWmi, (choice & 8) != 0, &changed, false, (choice & 16) != 0);
  } else {
    // Admission of the first disks, by each way discovery could ask.
    static constexpr int32_t kInterfaces[] = {INTERFACE_TYPE_SATA, INTERFACE_TYPE_USB,
                                              INTERFACE_TYPE_NVME, INTERFACE_TYPE_UNKNOWN};
    static constexpr int32_t kUsbVendors[] = {0,
                                              USB_VENDOR_CYPRESS,
                                              USB_VENDOR_IO_DATA,
                                              USB_VENDOR_SUNPLUS,
                                              USB_VENDOR_LOGITEC,
                                              USB_VENDOR_OXFORD,
                                              USB_VENDOR_INITIO,
                                              USB_VENDOR_JMICRON};
    for (int32_t drive = 0; drive < 3 && !stream.Empty(); ++drive) {
      const uint8_t how = stream.Byte();
      ata.GetDiskInfo(drive, -1, -1, kInterfaces[how % 4], kUsbVendors[(how >> 2) % 8], how >> 5, 0,
                      0, false, false, "", (how & 0x80) != 0);
    }
  }
  for (int32_t i = 0; i < ata.vars.GetCount(); ++i) {
    ata.UpdateSmartInfo(i);
    ata.CheckDiskStatus(i);
  }
  return 0;
}
