// Request layouts of the device paths that do not speak plain ATA: SCSI
// pass-through buffers (USB bridges, the Samsung NVMe driver and the
// USB-to-NVMe bridges), the storage query for NVMe protocol data, the NVMe
// miniport pass-through and the CSMI RAID interface. They build on the
// common layouts of os/wire/WinIoctl.h (SCSI_PASS_THROUGH in the form of this
// build, SRB_IO_CONTROL, STORAGE_PROTOCOL_SPECIFIC_DATA); everything after a
// pass-through header is placed with offsetof, so one set of code serves the
// 44-byte and the 56-byte header alike.
#pragma once

#include <cstddef>
#include <cstdint>

#include "os/wire/WinIoctl.h"

namespace winio {

// Header, 24 sense bytes right after it, then the data (the Samsung NVMe
// driver and the JMicron NVMe bridge).
struct SCSI_PASS_THROUGH_SENSE24 {
  SCSI_PASS_THROUGH Spt;
  uint8_t SenseBuf[24];
  uint8_t DataBuf[512];
};
static_assert(offsetof(SCSI_PASS_THROUGH_SENSE24, SenseBuf) == sizeof(SCSI_PASS_THROUGH));
static_assert(offsetof(SCSI_PASS_THROUGH_SENSE24, DataBuf) == sizeof(SCSI_PASS_THROUGH) + 24);
static_assert(sizeof(void*) != 4 || offsetof(SCSI_PASS_THROUGH_SENSE24, DataBuf) == 68);

// Header, a 4-byte filler, 32 sense bytes, then the data (USB-to-ATA
// bridges with 512 bytes, the ASMedia NVMe bridge with up to 4096).
template <size_t N>
struct SCSI_PASS_THROUGH_SENSE32 {
  SCSI_PASS_THROUGH Spt;
  uint32_t Filler;
  uint8_t SenseBuf[32];
  uint8_t DataBuf[N];
};
using SCSI_PASS_THROUGH_WITH_BUFFERS = SCSI_PASS_THROUGH_SENSE32<512>;
static_assert(offsetof(SCSI_PASS_THROUGH_WITH_BUFFERS, SenseBuf) == sizeof(SCSI_PASS_THROUGH) + 4);
static_assert(offsetof(SCSI_PASS_THROUGH_WITH_BUFFERS, DataBuf) == sizeof(SCSI_PASS_THROUGH) + 36);
static_assert(sizeof(void*) != 4 || offsetof(SCSI_PASS_THROUGH_WITH_BUFFERS, SenseBuf) == 48);
static_assert(sizeof(void*) != 4 || offsetof(SCSI_PASS_THROUGH_WITH_BUFFERS, DataBuf) == 80);
static_assert(sizeof(void*) != 4 || sizeof(SCSI_PASS_THROUGH_WITH_BUFFERS) == 592);

// ---- storage query of NVMe protocol-specific data ----
// STORAGE_PROPERTY_QUERY whose AdditionalParameters carry the protocol
// request, followed by room for the answer. The driver answers in the same
// buffer with a STORAGE_PROTOCOL_DATA_DESCRIPTOR (Version, Size, then the
// same protocol structure), so the data lands at offset 48 either way.
struct STORAGE_QUERY_NVME {
  uint32_t PropertyId;
  uint32_t QueryType;
  STORAGE_PROTOCOL_SPECIFIC_DATA Protocol;
  uint8_t Data[4096];
};
static_assert(offsetof(STORAGE_QUERY_NVME, Protocol) == 8);
static_assert(offsetof(STORAGE_QUERY_NVME, Data) == 48);
static_assert(sizeof(STORAGE_QUERY_NVME) == 4144);

// ---- NVMe miniport pass-through ("NvmeMini") ----
constexpr uint32_t NVME_IOCTL_PASS_THROUGH = 0xE0002000;
constexpr uint32_t NVME_FROM_DEV_TO_HOST = 2;

struct NVME_PASS_THROUGH_IOCTL {
  SRB_IO_CONTROL SrbIoCtrl;
  uint32_t VendorSpecific[6];
  uint32_t NVMeCmd[16];
  uint32_t CplEntry[4];
  uint32_t Direction;
  uint32_t QueueId;
  uint32_t DataBufferLen;
  uint32_t MetaDataLen;
  uint32_t ReturnBufferLen;
  uint8_t DataBuffer[4096];
};
static_assert(offsetof(NVME_PASS_THROUGH_IOCTL, NVMeCmd) == 52);
static_assert(offsetof(NVME_PASS_THROUGH_IOCTL, CplEntry) == 116);
static_assert(offsetof(NVME_PASS_THROUGH_IOCTL, Direction) == 132);
static_assert(offsetof(NVME_PASS_THROUGH_IOCTL, ReturnBufferLen) == 148);
static_assert(offsetof(NVME_PASS_THROUGH_IOCTL, DataBuffer) == 152);
static_assert(sizeof(NVME_PASS_THROUGH_IOCTL) == 4248);

// ---- CSMI ----
constexpr uint32_t CC_CSMI_SAS_GET_DRIVER_INFO = 1;
constexpr uint32_t CC_CSMI_SAS_GET_RAID_INFO = 10;
constexpr uint32_t CC_CSMI_SAS_GET_RAID_CONFIG = 11;
constexpr uint32_t CC_CSMI_SAS_GET_PHY_INFO = 20;
constexpr uint32_t CC_CSMI_SAS_STP_PASSTHRU = 25;

constexpr uint32_t CSMI_SAS_STP_READ = 0x01;
constexpr uint32_t CSMI_SAS_STP_UNSPECIFIED = 0x04;
constexpr uint32_t CSMI_SAS_STP_PIO = 0x10;

constexpr int CSMI_MAX_PHYS = 32;

// CSMI buffers are byte-packed: the driver information buffer is 202 bytes.
#pragma pack(push, 1)

struct CSMI_SAS_DRIVER_INFO_BUFFER {
  SRB_IO_CONTROL IoctlHeader;
  uint8_t szName[81];
  uint8_t szDescription[81];
  uint16_t usMajorRevision;
  uint16_t usMinorRevision;
  uint16_t usBuildRevision;
  uint16_t usReleaseRevision;
  uint16_t usCSMIMajorRevision;
  uint16_t usCSMIMinorRevision;
};
static_assert(sizeof(CSMI_SAS_DRIVER_INFO_BUFFER) == 202);

struct CSMI_SAS_RAID_INFO_BUFFER {
  SRB_IO_CONTROL IoctlHeader;
  uint32_t uNumRaidSets;
  uint32_t uMaxDrivesPerSet;
  uint8_t bReserved[92];
};
static_assert(sizeof(CSMI_SAS_RAID_INFO_BUFFER) == 128);

struct CSMI_SAS_RAID_DRIVES {
  uint8_t bModel[40];
  uint8_t bFirmware[8];
  uint8_t bSerialNumber[40];
  uint8_t bSASAddress[8];
  uint8_t bSASLun[8];
  uint8_t bDriveStatus;
  uint8_t bDriveUsage;
  uint8_t bReserved[30];
};
static_assert(sizeof(CSMI_SAS_RAID_DRIVES) == 136);

// The configuration of one RAID set; its drive list follows it in the buffer.
struct CSMI_SAS_RAID_CONFIG_HEAD {
  SRB_IO_CONTROL IoctlHeader;
  uint32_t uRaidSetIndex;
  uint32_t uCapacity;
  uint32_t uStripeSize;
  uint8_t bRaidType;
  uint8_t bStatus;
  uint8_t bInformation;
  uint8_t bDriveCount;
  uint8_t bReserved[20];
};
static_assert(sizeof(CSMI_SAS_RAID_CONFIG_HEAD) == 64);
static_assert(offsetof(CSMI_SAS_RAID_CONFIG_HEAD, uRaidSetIndex) == 28);

struct CSMI_SAS_IDENTIFY {
  uint8_t bDeviceType;
  uint8_t bRestricted;
  uint8_t bInitiatorPortProtocol;
  uint8_t bTargetPortProtocol;
  uint8_t bRestricted2[8];
  uint8_t bSASAddress[8];
  uint8_t bPhyIdentifier;
  uint8_t bSignalClass;
  uint8_t bReserved[6];
};
static_assert(sizeof(CSMI_SAS_IDENTIFY) == 28);
static_assert(offsetof(CSMI_SAS_IDENTIFY, bSASAddress) == 12);
static_assert(offsetof(CSMI_SAS_IDENTIFY, bPhyIdentifier) == 20);

// One phy and the device attached to it: 64 bytes, kept whole in the disk
// record as its address on the controller.
struct CSMI_SAS_PHY_ENTITY {
  CSMI_SAS_IDENTIFY Identify;
  uint8_t bPortIdentifier;
  uint8_t bNegotiatedLinkRate;
  uint8_t bMinimumLinkRate;
  uint8_t bMaximumLinkRate;
  uint8_t bPhyChangeCount;
  uint8_t bAutoDiscover;
  uint8_t bPhyFeatures;
  uint8_t bReserved;
  CSMI_SAS_IDENTIFY Attached;
};
static_assert(sizeof(CSMI_SAS_PHY_ENTITY) == 64);
static_assert(offsetof(CSMI_SAS_PHY_ENTITY, bPortIdentifier) == 28);
static_assert(offsetof(CSMI_SAS_PHY_ENTITY, Attached) == 36);

struct CSMI_SAS_PHY_INFO_BUFFER {
  SRB_IO_CONTROL IoctlHeader;
  uint8_t bNumberOfPhys;
  uint8_t bReserved[3];
  CSMI_SAS_PHY_ENTITY Phy[CSMI_MAX_PHYS];
};
static_assert(sizeof(CSMI_SAS_PHY_INFO_BUFFER) == 2080);
static_assert(offsetof(CSMI_SAS_PHY_INFO_BUFFER, Phy) == 32);

struct CSMI_SAS_STP_PASSTHRU {
  uint8_t bPhyIdentifier;
  uint8_t bPortIdentifier;
  uint8_t bConnectionRate;
  uint8_t bReserved;
  uint8_t bDestinationSASAddress[8];
  uint8_t bReserved2[4];
  uint8_t bCommandFIS[20];
  uint32_t uFlags;
  uint32_t uDataLength;
};
static_assert(sizeof(CSMI_SAS_STP_PASSTHRU) == 44);

struct CSMI_SAS_STP_PASSTHRU_STATUS {
  uint8_t bConnectionStatus;
  uint8_t bReserved[3];
  uint8_t bStatusFIS[20];
  uint32_t uSCR[16];
  uint32_t uDataBytes;
};
static_assert(sizeof(CSMI_SAS_STP_PASSTHRU_STATUS) == 92);

// The STP pass-through request; `dataSize` data bytes follow the status.
struct CSMI_SAS_STP_PASSTHRU_HEAD {
  SRB_IO_CONTROL IoctlHeader;
  CSMI_SAS_STP_PASSTHRU Parameters;
  CSMI_SAS_STP_PASSTHRU_STATUS Status;
};
static_assert(sizeof(CSMI_SAS_STP_PASSTHRU_HEAD) == 164);
#pragma pack(pop)

// Total size of a pass-through buffer for `dataSize` bytes: the header with
// its one-byte data field rounded to four (168), plus the data.
constexpr uint32_t CsmiStpBufferSize(uint32_t dataSize) { return 168 + dataSize; }
constexpr uint32_t CSMI_STP_DATA_OFFSET = sizeof(CSMI_SAS_STP_PASSTHRU_HEAD);

}  // namespace winio
