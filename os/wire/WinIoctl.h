// The Windows device requests the disk engine sends, declared once with their
// exact byte layouts so that every platform builds and parses the same bytes:
// the contract between the engine and each backend of the device seam
// (os/win32 passes them on, os/sim and os/linux parse and answer them).
//
// Everything lives in namespace winio. Constant names are chosen so they
// never collide with the SDK's macros (IOCTL_ATA_PASS_THROUGH, SMART_CMD ...
// are macros there): control codes carry a CTL_ prefix, register values an
// ATA_ or SMART_ prefix of our own. Structure names follow the SDK's where
// the SDK has one; they are distinct types because of the namespace.
//
// Two structures hold a pointer-sized field (ATA_PASS_THROUGH_EX and
// SCSI_PASS_THROUGH). Windows expects the layout of the calling process:
// a 32-bit process sends the 32-bit form (the kernel widens it), a 64-bit
// process the 64-bit form. Both forms are declared; the unsuffixed name is
// the form of this build. Every other structure has one layout everywhere.
//
// Multi-byte fields are little-endian on the wire. Code that builds or parses
// a buffer uses the Load/Store helpers below on byte offsets (offsetof of
// these structures), never a cast of a foreign buffer to a structure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "base/ByteOrder.h"

namespace winio {

// ---- little-endian byte access ----------------------------------------

using base::Fits;
using base::Load16;
using base::Load32;
using base::Load64;
using base::Store16;
using base::Store32;
using base::Store64;

// Stores a pointer-sized field of `width` bytes (4 or 8).
inline void StoreUintPtr(uint8_t* p, uint64_t v, size_t width) {
  if (width == 8) {
    Store64(p, v);
  } else {
    Store32(p, static_cast<uint32_t>(v));
  }
}
inline uint64_t LoadUintPtr(const uint8_t* p, size_t width) {
  return width == 8 ? Load64(p) : Load32(p);
}

// ---- control codes ------------------------------------------------------

constexpr uint32_t CtlCode(uint32_t deviceType, uint32_t function, uint32_t method,
                           uint32_t access) {
  return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

constexpr uint32_t DEVICE_CONTROLLER = 0x04;    // IOCTL_SCSI_BASE
constexpr uint32_t DEVICE_DISK = 0x07;          // IOCTL_DISK_BASE
constexpr uint32_t DEVICE_SCSI = 0x1B;          // FILE_DEVICE_SCSI (miniport codes)
constexpr uint32_t DEVICE_MASS_STORAGE = 0x2D;  // IOCTL_STORAGE_BASE
constexpr uint32_t DEVICE_VOLUME = 0x56;        // IOCTL_VOLUME_BASE ('V')
constexpr uint32_t BUFFERED = 0;
constexpr uint32_t ANY_ACCESS = 0;
constexpr uint32_t READ_ACCESS = 1;
constexpr uint32_t READ_WRITE_ACCESS = 3;

constexpr uint32_t CTL_SCSI_PASS_THROUGH =
    CtlCode(DEVICE_CONTROLLER, 0x0401, BUFFERED, READ_WRITE_ACCESS);
constexpr uint32_t CTL_SCSI_MINIPORT =
    CtlCode(DEVICE_CONTROLLER, 0x0402, BUFFERED, READ_WRITE_ACCESS);
constexpr uint32_t CTL_SCSI_GET_ADDRESS = CtlCode(DEVICE_CONTROLLER, 0x0406, BUFFERED, ANY_ACCESS);
constexpr uint32_t CTL_SCSI_PASS_THROUGH_DIRECT =
    CtlCode(DEVICE_CONTROLLER, 0x0405, BUFFERED, READ_WRITE_ACCESS);
constexpr uint32_t CTL_IDE_PASS_THROUGH =
    CtlCode(DEVICE_CONTROLLER, 0x040A, BUFFERED, READ_WRITE_ACCESS);
constexpr uint32_t CTL_ATA_PASS_THROUGH =
    CtlCode(DEVICE_CONTROLLER, 0x040B, BUFFERED, READ_WRITE_ACCESS);
constexpr uint32_t CTL_DISK_GET_DRIVE_GEOMETRY = CtlCode(DEVICE_DISK, 0x0000, BUFFERED, ANY_ACCESS);
constexpr uint32_t CTL_DISK_GET_DRIVE_GEOMETRY_EX =
    CtlCode(DEVICE_DISK, 0x0028, BUFFERED, ANY_ACCESS);
constexpr uint32_t CTL_DISK_GET_LENGTH_INFO = CtlCode(DEVICE_DISK, 0x0017, BUFFERED, READ_ACCESS);
constexpr uint32_t CTL_SMART_GET_VERSION = CtlCode(DEVICE_DISK, 0x0020, BUFFERED, READ_ACCESS);
constexpr uint32_t CTL_SMART_SEND_DRIVE_COMMAND =
    CtlCode(DEVICE_DISK, 0x0021, BUFFERED, READ_WRITE_ACCESS);
constexpr uint32_t CTL_SMART_RCV_DRIVE_DATA =
    CtlCode(DEVICE_DISK, 0x0022, BUFFERED, READ_WRITE_ACCESS);
constexpr uint32_t CTL_STORAGE_PREDICT_FAILURE =
    CtlCode(DEVICE_MASS_STORAGE, 0x0440, BUFFERED, ANY_ACCESS);
constexpr uint32_t CTL_STORAGE_QUERY_PROPERTY =
    CtlCode(DEVICE_MASS_STORAGE, 0x0500, BUFFERED, ANY_ACCESS);
constexpr uint32_t CTL_VOLUME_GET_VOLUME_DISK_EXTENTS =
    CtlCode(DEVICE_VOLUME, 0x0000, BUFFERED, ANY_ACCESS);

static_assert(CTL_SCSI_PASS_THROUGH == 0x0004D004);
static_assert(CTL_SCSI_MINIPORT == 0x0004D008);
static_assert(CTL_SCSI_GET_ADDRESS == 0x00041018);
static_assert(CTL_SCSI_PASS_THROUGH_DIRECT == 0x0004D014);
static_assert(CTL_IDE_PASS_THROUGH == 0x0004D028);
static_assert(CTL_ATA_PASS_THROUGH == 0x0004D02C);
static_assert(CTL_DISK_GET_DRIVE_GEOMETRY == 0x00070000);
static_assert(CTL_DISK_GET_DRIVE_GEOMETRY_EX == 0x000700A0);
static_assert(CTL_DISK_GET_LENGTH_INFO == 0x0007405C);
static_assert(CTL_SMART_GET_VERSION == 0x00074080);
static_assert(CTL_SMART_SEND_DRIVE_COMMAND == 0x0007C084);
static_assert(CTL_SMART_RCV_DRIVE_DATA == 0x0007C088);
static_assert(CTL_STORAGE_PREDICT_FAILURE == 0x002D1100);
static_assert(CTL_STORAGE_QUERY_PROPERTY == 0x002D1400);
static_assert(CTL_VOLUME_GET_VOLUME_DISK_EXTENTS == 0x00560000);

// Control codes of the SCSI miniport "SCSIDISK" interface (SRB_IO_CONTROL
// ControlCode, sent inside CTL_SCSI_MINIPORT).
constexpr uint32_t MINIPORT_BASE = DEVICE_SCSI << 16;
constexpr uint32_t CTL_MINIPORT_IDENTIFY = MINIPORT_BASE + 0x0501;
constexpr uint32_t CTL_MINIPORT_READ_SMART_ATTRIBS = MINIPORT_BASE + 0x0502;
constexpr uint32_t CTL_MINIPORT_READ_SMART_THRESHOLDS = MINIPORT_BASE + 0x0503;
constexpr uint32_t CTL_MINIPORT_ENABLE_SMART = MINIPORT_BASE + 0x0504;
constexpr uint32_t CTL_MINIPORT_DISABLE_SMART = MINIPORT_BASE + 0x0505;
constexpr uint32_t CTL_MINIPORT_RETURN_STATUS = MINIPORT_BASE + 0x0506;
constexpr uint32_t CTL_MINIPORT_ENABLE_DISABLE_AUTOSAVE = MINIPORT_BASE + 0x0507;
constexpr uint32_t CTL_MINIPORT_SAVE_ATTRIBUTE_VALUES = MINIPORT_BASE + 0x0508;
constexpr uint32_t CTL_MINIPORT_EXECUTE_OFFLINE_DIAGS = MINIPORT_BASE + 0x0509;
constexpr uint32_t CTL_MINIPORT_ENABLE_DISABLE_AUTO_OFFLINE = MINIPORT_BASE + 0x050A;
constexpr uint32_t CTL_MINIPORT_READ_SMART_LOG = MINIPORT_BASE + 0x050B;
constexpr uint32_t CTL_MINIPORT_WRITE_SMART_LOG = MINIPORT_BASE + 0x050C;
static_assert(CTL_MINIPORT_IDENTIFY == 0x001B0501);
static_assert(CTL_MINIPORT_WRITE_SMART_LOG == 0x001B050C);

// The Silicon Image controllers' own miniport request ("CMD_IDE").
constexpr uint32_t CTL_SILICON_IMAGE_IDENTIFY = 0x00042008;

// ---- ATA register values ----------------------------------------------

constexpr uint8_t ATA_IDENTIFY_DEVICE = 0xEC;
constexpr uint8_t ATA_IDENTIFY_PACKET_DEVICE = 0xA1;
constexpr uint8_t ATA_SMART = 0xB0;
constexpr uint8_t ATA_SET_FEATURES = 0xEF;
constexpr uint8_t SMART_READ_DATA = 0xD0;
constexpr uint8_t SMART_READ_THRESHOLDS = 0xD1;
constexpr uint8_t SMART_ENABLE_OPERATIONS = 0xD8;
constexpr uint8_t SMART_LBA_MID = 0x4F;
constexpr uint8_t SMART_LBA_HIGH = 0xC2;
constexpr uint8_t ATA_TARGET_MASTER = 0xA0;
constexpr uint8_t ATA_TARGET_SLAVE = 0xB0;

constexpr size_t SECTOR_SIZE = 512;

// ---- structures ----------------------------------------------------------
// All are declared packed with their padding spelled out, so the layout is
// the same under every compiler and equals the SDK's for the same width.
#pragma pack(push, 1)

// Task-file registers of the SMART_* and IDE pass-through requests.
struct IDEREGS {
  uint8_t bFeaturesReg;
  uint8_t bSectorCountReg;
  uint8_t bSectorNumberReg;
  uint8_t bCylLowReg;
  uint8_t bCylHighReg;
  uint8_t bDriveHeadReg;
  uint8_t bCommandReg;
  uint8_t bReserved;
};
static_assert(sizeof(IDEREGS) == 8);
static_assert(offsetof(IDEREGS, bCommandReg) == 6);

struct DRIVERSTATUS {
  uint8_t bDriverError;
  uint8_t bIDEError;
  uint8_t bReserved[2];
  uint32_t dwReserved[2];
};
static_assert(sizeof(DRIVERSTATUS) == 12);

// SMART_RCV_DRIVE_DATA / SMART_SEND_DRIVE_COMMAND input (packed by Windows).
struct SENDCMDINPARAMS {
  uint32_t cBufferSize;
  IDEREGS irDriveRegs;
  uint8_t bDriveNumber;
  uint8_t bReserved[3];
  uint32_t dwReserved[4];
  uint8_t bBuffer[1];
};
static_assert(sizeof(SENDCMDINPARAMS) == 33);
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs) == 4);
static_assert(offsetof(SENDCMDINPARAMS, bDriveNumber) == 12);
static_assert(offsetof(SENDCMDINPARAMS, bBuffer) == 32);

struct SENDCMDOUTPARAMS {
  uint32_t cBufferSize;
  DRIVERSTATUS DriverStatus;
  uint8_t bBuffer[1];
};
static_assert(sizeof(SENDCMDOUTPARAMS) == 17);
static_assert(offsetof(SENDCMDOUTPARAMS, DriverStatus) == 4);
static_assert(offsetof(SENDCMDOUTPARAMS, bBuffer) == 16);

// DRIVERSTATUS.bDriverError when the disk refused the command.
constexpr uint8_t SMART_DRIVER_IDE_ERROR = 1;

// SMART_GET_VERSION output.
struct GETVERSIONINPARAMS {
  uint8_t bVersion;
  uint8_t bRevision;
  uint8_t bReserved;
  uint8_t bIDEDeviceMap;
  uint32_t fCapabilities;
  uint32_t dwReserved[4];
};
static_assert(sizeof(GETVERSIONINPARAMS) == 24);
// GETVERSIONINPARAMS.fCapabilities bits.
constexpr uint32_t SMART_CAPS_ATA_IDENTIFY = 0x01;
constexpr uint32_t SMART_CAPS_SMART_COMMANDS = 0x04;

// IOCTL_IDE_PASS_THROUGH: the registers, the data size, then the data.
struct IDE_PASS_THROUGH_HEADER {
  IDEREGS IdeReg;
  uint32_t DataBufferSize;
};
static_assert(sizeof(IDE_PASS_THROUGH_HEADER) == 12);
static_assert(offsetof(IDE_PASS_THROUGH_HEADER, DataBufferSize) == 8);

constexpr uint16_t APT_FLAGS_DRDY_REQUIRED = 0x01;
constexpr uint16_t APT_FLAGS_DATA_IN = 0x02;
constexpr uint16_t APT_FLAGS_DATA_OUT = 0x04;
constexpr uint16_t APT_FLAGS_48BIT_COMMAND = 0x08;
constexpr uint16_t APT_FLAGS_USE_DMA = 0x10;

// IOCTL_ATA_PASS_THROUGH header as a 32-bit process sends it.
struct ATA_PASS_THROUGH_EX32 {
  uint16_t Length;
  uint16_t AtaFlags;
  uint8_t PathId;
  uint8_t TargetId;
  uint8_t Lun;
  uint8_t ReservedAsUchar;
  uint32_t DataTransferLength;
  uint32_t TimeOutValue;
  uint32_t ReservedAsUlong;
  uint32_t DataBufferOffset;
  uint8_t PreviousTaskFile[8];
  uint8_t CurrentTaskFile[8];
};
static_assert(sizeof(ATA_PASS_THROUGH_EX32) == 40);
static_assert(offsetof(ATA_PASS_THROUGH_EX32, DataTransferLength) == 8);
static_assert(offsetof(ATA_PASS_THROUGH_EX32, TimeOutValue) == 12);
static_assert(offsetof(ATA_PASS_THROUGH_EX32, DataBufferOffset) == 20);
static_assert(offsetof(ATA_PASS_THROUGH_EX32, PreviousTaskFile) == 24);
static_assert(offsetof(ATA_PASS_THROUGH_EX32, CurrentTaskFile) == 32);

// The same header as a 64-bit process sends it (DataBufferOffset is a
// ULONG_PTR, aligned to 8).
struct ATA_PASS_THROUGH_EX64 {
  uint16_t Length;
  uint16_t AtaFlags;
  uint8_t PathId;
  uint8_t TargetId;
  uint8_t Lun;
  uint8_t ReservedAsUchar;
  uint32_t DataTransferLength;
  uint32_t TimeOutValue;
  uint32_t ReservedAsUlong;
  uint32_t Padding;
  uint64_t DataBufferOffset;
  uint8_t PreviousTaskFile[8];
  uint8_t CurrentTaskFile[8];
};
static_assert(sizeof(ATA_PASS_THROUGH_EX64) == 48);
static_assert(offsetof(ATA_PASS_THROUGH_EX64, DataTransferLength) == 8);
static_assert(offsetof(ATA_PASS_THROUGH_EX64, TimeOutValue) == 12);
static_assert(offsetof(ATA_PASS_THROUGH_EX64, DataBufferOffset) == 24);
static_assert(offsetof(ATA_PASS_THROUGH_EX64, PreviousTaskFile) == 32);
static_assert(offsetof(ATA_PASS_THROUGH_EX64, CurrentTaskFile) == 40);

// Byte offsets of one ATA_PASS_THROUGH_EX form, so that code handling
// either form is one piece of code driven by this description.
struct AtaPassThroughLayout {
  size_t HeaderSize;    // also the value of Length
  size_t PointerWidth;  // width of DataBufferOffset
  size_t DataBufferOffsetAt;
  size_t PreviousTaskFileAt;
  size_t CurrentTaskFileAt;
  // Where the data area starts in the program's requests: the header and
  // a 4-byte filler.
  size_t DataAt() const { return HeaderSize + 4; }
};
constexpr AtaPassThroughLayout APT_LAYOUT_32{sizeof(ATA_PASS_THROUGH_EX32), 4,
                                             offsetof(ATA_PASS_THROUGH_EX32, DataBufferOffset),
                                             offsetof(ATA_PASS_THROUGH_EX32, PreviousTaskFile),
                                             offsetof(ATA_PASS_THROUGH_EX32, CurrentTaskFile)};
constexpr AtaPassThroughLayout APT_LAYOUT_64{sizeof(ATA_PASS_THROUGH_EX64), 8,
                                             offsetof(ATA_PASS_THROUGH_EX64, DataBufferOffset),
                                             offsetof(ATA_PASS_THROUGH_EX64, PreviousTaskFile),
                                             offsetof(ATA_PASS_THROUGH_EX64, CurrentTaskFile)};
// Task-file register order inside PreviousTaskFile / CurrentTaskFile.
enum : size_t {
  TASK_FEATURES = 0,
  TASK_SECTOR_COUNT = 1,
  TASK_LBA_LOW = 2,
  TASK_LBA_MID = 3,
  TASK_LBA_HIGH = 4,
  TASK_DEVICE = 5,
  TASK_COMMAND = 6,
  TASK_RESERVED = 7,
};

// SCSI_PASS_THROUGH, both forms.
struct SCSI_PASS_THROUGH32 {
  uint16_t Length;
  uint8_t ScsiStatus;
  uint8_t PathId;
  uint8_t TargetId;
  uint8_t Lun;
  uint8_t CdbLength;
  uint8_t SenseInfoLength;
  uint8_t DataIn;
  uint8_t Padding0[3];
  uint32_t DataTransferLength;
  uint32_t TimeOutValue;
  uint32_t DataBufferOffset;
  uint32_t SenseInfoOffset;
  uint8_t Cdb[16];
};
static_assert(sizeof(SCSI_PASS_THROUGH32) == 44);
static_assert(offsetof(SCSI_PASS_THROUGH32, DataIn) == 8);
static_assert(offsetof(SCSI_PASS_THROUGH32, DataTransferLength) == 12);
static_assert(offsetof(SCSI_PASS_THROUGH32, TimeOutValue) == 16);
static_assert(offsetof(SCSI_PASS_THROUGH32, DataBufferOffset) == 20);
static_assert(offsetof(SCSI_PASS_THROUGH32, SenseInfoOffset) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH32, Cdb) == 28);

struct SCSI_PASS_THROUGH64 {
  uint16_t Length;
  uint8_t ScsiStatus;
  uint8_t PathId;
  uint8_t TargetId;
  uint8_t Lun;
  uint8_t CdbLength;
  uint8_t SenseInfoLength;
  uint8_t DataIn;
  uint8_t Padding0[3];
  uint32_t DataTransferLength;
  uint32_t TimeOutValue;
  uint32_t Padding1;
  uint64_t DataBufferOffset;
  uint32_t SenseInfoOffset;
  uint8_t Cdb[16];
  uint8_t Padding2[4];
};
static_assert(sizeof(SCSI_PASS_THROUGH64) == 56);
static_assert(offsetof(SCSI_PASS_THROUGH64, DataBufferOffset) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH64, SenseInfoOffset) == 32);
static_assert(offsetof(SCSI_PASS_THROUGH64, Cdb) == 36);

struct ScsiPassThroughLayout {
  size_t HeaderSize;  // also the value of Length
  size_t PointerWidth;
  size_t DataBufferOffsetAt;
  size_t SenseInfoOffsetAt;
  size_t CdbAt;
};
constexpr ScsiPassThroughLayout SPT_LAYOUT_32{
    sizeof(SCSI_PASS_THROUGH32), 4, offsetof(SCSI_PASS_THROUGH32, DataBufferOffset),
    offsetof(SCSI_PASS_THROUGH32, SenseInfoOffset), offsetof(SCSI_PASS_THROUGH32, Cdb)};
constexpr ScsiPassThroughLayout SPT_LAYOUT_64{
    sizeof(SCSI_PASS_THROUGH64), 8, offsetof(SCSI_PASS_THROUGH64, DataBufferOffset),
    offsetof(SCSI_PASS_THROUGH64, SenseInfoOffset), offsetof(SCSI_PASS_THROUGH64, Cdb)};
constexpr uint8_t SPT_DATA_OUT = 0;
constexpr uint8_t SPT_DATA_IN = 1;
constexpr uint8_t SPT_DATA_UNSPECIFIED = 2;

struct SCSI_ADDRESS {
  uint32_t Length;
  uint8_t PortNumber;
  uint8_t PathId;
  uint8_t TargetId;
  uint8_t Lun;
};
static_assert(sizeof(SCSI_ADDRESS) == 8);

// Header of every IOCTL_SCSI_MINIPORT buffer.
struct SRB_IO_CONTROL {
  uint32_t HeaderLength;
  uint8_t Signature[8];
  uint32_t Timeout;
  uint32_t ControlCode;
  uint32_t ReturnCode;
  uint32_t Length;
};
static_assert(sizeof(SRB_IO_CONTROL) == 28);
static_assert(offsetof(SRB_IO_CONTROL, Signature) == 4);
static_assert(offsetof(SRB_IO_CONTROL, Timeout) == 12);
static_assert(offsetof(SRB_IO_CONTROL, ControlCode) == 16);
static_assert(offsetof(SRB_IO_CONTROL, ReturnCode) == 20);
static_assert(offsetof(SRB_IO_CONTROL, Length) == 24);

// The "SCSIDISK" miniport request: the header and SENDCMDINPARAMS in,
// the header and SENDCMDOUTPARAMS with one sector out.
constexpr size_t SCSIDISK_INPUT_SIZE = sizeof(SRB_IO_CONTROL) + sizeof(SENDCMDINPARAMS) - 1;
constexpr size_t SCSIDISK_OUTPUT_SIZE =
    sizeof(SRB_IO_CONTROL) + sizeof(SENDCMDOUTPARAMS) + SECTOR_SIZE;
constexpr size_t SCSIDISK_DATA_AT = sizeof(SRB_IO_CONTROL) + offsetof(SENDCMDOUTPARAMS, bBuffer);
static_assert(SCSIDISK_INPUT_SIZE == 60);
static_assert(SCSIDISK_OUTPUT_SIZE == 557);
static_assert(SCSIDISK_DATA_AT == 44);

// The Silicon Image "CMD_IDE" identify request (in and out).
struct SILICON_IMAGE_IDE_REQUEST {
  SRB_IO_CONTROL Header;
  uint16_t Port;    // port on the controller
  uint16_t Device;  // 1
  uint8_t Reserved[20];
  uint8_t Data[512];
};
static_assert(sizeof(SILICON_IMAGE_IDE_REQUEST) == 564);
static_assert(offsetof(SILICON_IMAGE_IDE_REQUEST, Port) == 28);
static_assert(offsetof(SILICON_IMAGE_IDE_REQUEST, Device) == 30);
static_assert(offsetof(SILICON_IMAGE_IDE_REQUEST, Data) == 52);

struct STORAGE_PREDICT_FAILURE {
  uint32_t PredictFailure;
  uint8_t VendorSpecific[512];
};
static_assert(sizeof(STORAGE_PREDICT_FAILURE) == 516);
static_assert(offsetof(STORAGE_PREDICT_FAILURE, VendorSpecific) == 4);

// MEDIA_TYPE values the engine tests.
constexpr uint32_t MEDIA_TYPE_UNKNOWN = 0;
constexpr uint32_t MEDIA_TYPE_REMOVABLE = 11;
constexpr uint32_t MEDIA_TYPE_FIXED = 12;

struct DISK_GEOMETRY {
  int64_t Cylinders;
  uint32_t MediaType;
  uint32_t TracksPerCylinder;
  uint32_t SectorsPerTrack;
  uint32_t BytesPerSector;
};
static_assert(sizeof(DISK_GEOMETRY) == 24);
static_assert(offsetof(DISK_GEOMETRY, MediaType) == 8);
static_assert(offsetof(DISK_GEOMETRY, BytesPerSector) == 20);

// DISK_GEOMETRY_EX up to DiskSize; drivers append partition and detection
// information after it.
struct DISK_GEOMETRY_EX_HEADER {
  DISK_GEOMETRY Geometry;
  int64_t DiskSize;
};
static_assert(sizeof(DISK_GEOMETRY_EX_HEADER) == 32);

// STORAGE_PROPERTY_ID / STORAGE_QUERY_TYPE values.
constexpr uint32_t PROPERTY_STORAGE_DEVICE = 0;
constexpr uint32_t PROPERTY_STORAGE_ADAPTER = 1;
constexpr uint32_t PROPERTY_STORAGE_ADAPTER_PROTOCOL_SPECIFIC = 49;
constexpr uint32_t PROPERTY_STORAGE_DEVICE_PROTOCOL_SPECIFIC = 50;
constexpr uint32_t PROPERTY_STANDARD_QUERY = 0;
constexpr uint32_t PROPERTY_EXISTS_QUERY = 1;

struct STORAGE_PROPERTY_QUERY {
  uint32_t PropertyId;
  uint32_t QueryType;
  uint8_t AdditionalParameters[1];
  uint8_t Padding[3];
};
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12);
static_assert(offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters) == 8);

// STORAGE_BUS_TYPE values.
constexpr uint32_t BUS_UNKNOWN = 0x00;
constexpr uint32_t BUS_SCSI = 0x01;
constexpr uint32_t BUS_ATAPI = 0x02;
constexpr uint32_t BUS_ATA = 0x03;
constexpr uint32_t BUS_1394 = 0x04;
constexpr uint32_t BUS_USB = 0x07;
constexpr uint32_t BUS_RAID = 0x08;
constexpr uint32_t BUS_SAS = 0x0A;
constexpr uint32_t BUS_SATA = 0x0B;
constexpr uint32_t BUS_MMC = 0x0D;
constexpr uint32_t BUS_VIRTUAL = 0x0E;
constexpr uint32_t BUS_NVME = 0x11;

struct STORAGE_DEVICE_DESCRIPTOR {
  uint32_t Version;
  uint32_t Size;
  uint8_t DeviceType;
  uint8_t DeviceTypeModifier;
  uint8_t RemovableMedia;
  uint8_t CommandQueueing;
  uint32_t VendorIdOffset;
  uint32_t ProductIdOffset;
  uint32_t ProductRevisionOffset;
  uint32_t SerialNumberOffset;
  uint32_t BusType;
  uint32_t RawPropertiesLength;
  uint8_t RawDeviceProperties[1];
  uint8_t Padding[3];
};
static_assert(sizeof(STORAGE_DEVICE_DESCRIPTOR) == 40);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset) == 12);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset) == 16);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductRevisionOffset) == 20);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset) == 24);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == 28);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties) == 36);

// STORAGE_PROTOCOL_TYPE / STORAGE_PROTOCOL_NVME_DATA_TYPE values.
constexpr uint32_t PROTOCOL_NVME = 3;
constexpr uint32_t NVME_DATA_IDENTIFY = 1;
constexpr uint32_t NVME_DATA_LOG_PAGE = 2;

struct STORAGE_PROTOCOL_SPECIFIC_DATA {
  uint32_t ProtocolType;
  uint32_t DataType;
  uint32_t ProtocolDataRequestValue;
  uint32_t ProtocolDataRequestSubValue;
  uint32_t ProtocolDataOffset;  // from the start of this structure
  uint32_t ProtocolDataLength;
  uint32_t FixedProtocolReturnData;
  uint32_t ProtocolDataRequestSubValue2;
  uint32_t ProtocolDataRequestSubValue3;
  uint32_t ProtocolDataRequestSubValue4;
};
static_assert(sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA) == 40);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataOffset) == 16);

struct DISK_EXTENT {
  uint32_t DiskNumber;
  uint32_t Padding;
  int64_t StartingOffset;
  int64_t ExtentLength;
};
static_assert(sizeof(DISK_EXTENT) == 24);

struct VOLUME_DISK_EXTENTS {
  uint32_t NumberOfDiskExtents;
  uint32_t Padding;
  DISK_EXTENT Extents[1];
};
static_assert(sizeof(VOLUME_DISK_EXTENTS) == 32);
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == 8);

#pragma pack(pop)

// The forms this build sends.
constexpr bool WIDE_POINTERS = sizeof(void*) == 8;
using ATA_PASS_THROUGH_EX =
    std::conditional_t<WIDE_POINTERS, ATA_PASS_THROUGH_EX64, ATA_PASS_THROUGH_EX32>;
using SCSI_PASS_THROUGH =
    std::conditional_t<WIDE_POINTERS, SCSI_PASS_THROUGH64, SCSI_PASS_THROUGH32>;
constexpr AtaPassThroughLayout APT_LAYOUT = WIDE_POINTERS ? APT_LAYOUT_64 : APT_LAYOUT_32;
constexpr ScsiPassThroughLayout SPT_LAYOUT = WIDE_POINTERS ? SPT_LAYOUT_64 : SPT_LAYOUT_32;

// The layout a driver sees for a request whose Length field reads `length`;
// null when it matches neither form.
inline const AtaPassThroughLayout* AtaPassThroughLayoutFor(uint16_t length) {
  if (length == APT_LAYOUT_32.HeaderSize) return &APT_LAYOUT_32;
  if (length == APT_LAYOUT_64.HeaderSize) return &APT_LAYOUT_64;
  return nullptr;
}
inline const ScsiPassThroughLayout* ScsiPassThroughLayoutFor(uint16_t length) {
  if (length == SPT_LAYOUT_32.HeaderSize) return &SPT_LAYOUT_32;
  if (length == SPT_LAYOUT_64.HeaderSize) return &SPT_LAYOUT_64;
  return nullptr;
}

}  // namespace winio
