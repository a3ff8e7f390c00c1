// The record of one admitted disk and the enumerations that classify it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Access path of a disk. Indexes kCommandTypeCodes.
enum COMMAND_TYPE : int32_t {
  CMD_TYPE_UNKNOWN = 0,
  CMD_TYPE_PHYSICAL_DRIVE = 1,
  CMD_TYPE_SCSI_MINIPORT = 2,
  CMD_TYPE_SILICON_IMAGE = 3,
  CMD_TYPE_SAT = 4,
  CMD_TYPE_SUNPLUS = 5,
  CMD_TYPE_IO_DATA = 6,
  CMD_TYPE_LOGITEC1 = 7,
  CMD_TYPE_LOGITEC2 = 8,
  CMD_TYPE_JMICRON = 9,
  CMD_TYPE_CYPRESS = 10,
  CMD_TYPE_PROLIFIC = 11,
  CMD_TYPE_CSMI = 12,
  CMD_TYPE_CSMI_PHYSICAL_DRIVE = 13,
  CMD_TYPE_WMI = 14,
  CMD_TYPE_NVME_SAMSUNG = 15,
  CMD_TYPE_NVME_INTEL = 16,
  CMD_TYPE_NVME_STORAGE_QUERY = 17,
  CMD_TYPE_NVME_JMICRON = 18,
  CMD_TYPE_NVME_ASMEDIA = 19,
  CMD_TYPE_COUNT = 20,
};

// Two-letter code of each command type, in value order.
extern const char* const kCommandTypeCodes[CMD_TYPE_COUNT];

// Symbolic name of a command type ("CMD_TYPE_PHYSICAL_DRIVE"), for logs.
const char* CommandTypeName(int32_t commandType);

enum INTERFACE_TYPE : int32_t {
  INTERFACE_TYPE_UNKNOWN = 0,
  INTERFACE_TYPE_PATA = 1,
  INTERFACE_TYPE_SATA = 2,
  INTERFACE_TYPE_USB = 3,
  INTERFACE_TYPE_IEEE1394 = 4,
  INTERFACE_TYPE_NVME = 6,
};

enum USB_VENDOR : int32_t {
  USB_VENDOR_CYPRESS = 0x04B4,
  USB_VENDOR_IO_DATA = 0x04BB,
  USB_VENDOR_SUNPLUS = 0x04FC,
  USB_VENDOR_LOGITEC = 0x0789,
  USB_VENDOR_OXFORD = 0x0928,
  USB_VENDOR_INITIO = 0x13FD,
  USB_VENDOR_JMICRON = 0x152D,
};

enum TRANSFER_MODE_TYPE : int32_t {
  TRANSFER_MODE_SATA_RESERVED = 0,
  TRANSFER_MODE_PIO = 1,
  TRANSFER_MODE_PIO_DMA = 2,
  TRANSFER_MODE_ULTRA_DMA_16 = 3,
  TRANSFER_MODE_ULTRA_DMA_25 = 4,
  TRANSFER_MODE_ULTRA_DMA_33 = 5,
  TRANSFER_MODE_ULTRA_DMA_44 = 6,
  TRANSFER_MODE_ULTRA_DMA_66 = 7,
  TRANSFER_MODE_ULTRA_DMA_100 = 8,
  TRANSFER_MODE_ULTRA_DMA_133 = 9,
  TRANSFER_MODE_SATA_150 = 10,
  TRANSFER_MODE_SATA_300 = 11,
  TRANSFER_MODE_SATA_600 = 12,
};

enum DISK_STATUS : int32_t {
  DISK_STATUS_UNKNOWN = 0,
  DISK_STATUS_GOOD = 1,
  DISK_STATUS_CAUTION = 2,
  DISK_STATUS_BAD = 3,
};

enum TIME_UNIT : int32_t {
  TIME_UNIT_UNKNOWN = 0,
  TIME_UNIT_HOURS = 1,
  TIME_UNIT_MINUTES = 2,
  TIME_UNIT_HALF_MINUTES = 3,
  TIME_UNIT_SECONDS = 4,
  TIME_UNIT_10_MINUTES = 5,
  TIME_UNIT_HOURS_OFFSET = 6,
};

enum HOST_READS_WRITES_UNIT : int32_t {
  HOST_READS_WRITES_NONE = 0,
  HOST_READS_WRITES_512B = 1,
  HOST_READS_WRITES_32MB = 2,
  HOST_READS_WRITES_GB = 3,
  HOST_READS_WRITES_16MB = 4,
};

enum SMART_UPDATE_RESULT : int32_t {
  SMART_STATUS_NO_CHANGE = 0,
  SMART_STATUS_MINOR_CHANGE = 1,
  SMART_STATUS_CHANGED = 2,
};

constexpr int32_t MAX_DISK = 48;
constexpr int32_t MAX_ATTRIBUTE = 30;
constexpr int8_t TEMPERATURE_UNKNOWN = -127;
constexpr int32_t COUNTER_UNKNOWN = -1;
constexpr int32_t ERASE_COUNT_UNKNOWN = 99999;

#pragma pack(push, 1)
// One attribute as the S.M.A.R.T. data sector lays it out (12 bytes, from
// offset 2 of the sector).
struct ATTRIBUTE_ENTRY {
  uint8_t Id;
  uint16_t StatusFlags;
  uint8_t CurrentValue;
  uint8_t WorstValue;
  uint8_t RawValue[6];
  uint8_t Reserved;
};
// One threshold as the threshold sector lays it out (12 bytes).
struct THRESHOLD_ENTRY {
  uint8_t Id;
  uint8_t ThresholdValue;
  uint8_t Reserved[10];
};
#pragma pack(pop)
static_assert(sizeof(ATTRIBUTE_ENTRY) == 12);
static_assert(offsetof(ATTRIBUTE_ENTRY, CurrentValue) == 3);
static_assert(offsetof(ATTRIBUTE_ENTRY, RawValue) == 5);
static_assert(sizeof(THRESHOLD_ENTRY) == 12);

// 48-bit little-endian raw value of an attribute.
inline uint64_t RawValue48(const ATTRIBUTE_ENTRY& a) {
  uint64_t v = 0;
  for (int i = 5; i >= 0; --i) v = (v << 8) | a.RawValue[i];
  return v;
}

struct ATA_SMART_INFO {
  // Raw sectors and parsed entries.
  std::array<uint8_t, 512> IdentifyDevice{};
  std::array<uint8_t, 512> SmartReadData{};
  std::array<uint8_t, 512> SmartReadThreshold{};
  ATTRIBUTE_ENTRY Attribute[MAX_ATTRIBUTE]{};
  THRESHOLD_ENTRY Threshold[MAX_ATTRIBUTE]{};

  // Flags (0/1).
  int32_t IsSmartEnabled = 0;
  int32_t IsIdInfoIncorrect = 0;
  int32_t IsSmartCorrect = 0;
  int32_t IsThresholdCorrect = 0;
  int32_t IsCheckSumError = 0;
  int32_t IsEarlyController = 0;
  int32_t IsSandForce = 0;
  int32_t IsSmartAssumed = 0;
  int32_t IsThresholdBug = 0;
  int32_t IsSmartSupported = 0;
  int32_t IsLba48Supported = 0;
  int32_t IsAamSupported = 0;
  int32_t IsApmSupported = 0;
  int32_t IsAamEnabled = 0;
  int32_t IsApmEnabled = 0;
  int32_t IsNcqSupported = 0;
  int32_t IsNvCacheSupported = 0;
  int32_t IsDeviceSleepSupported = 0;
  int32_t IsMaxtor21 = 0;
  int32_t IsSsd = 0;
  int32_t IsTrimSupported = 0;
  int32_t IsNvme = 0;
  int32_t IsUasp = 0;

  // Location.
  int32_t PhysicalDriveId = -1;
  int32_t ScsiPort = -1;
  int32_t ScsiTargetId = -1;
  int32_t ScsiBus = -1;
  int32_t SiliconImageType = 0;
  int32_t FlashType = 1;

  // Capacity and geometry.
  uint32_t TotalDiskSize = 0;
  uint32_t Cylinder = 0;
  uint32_t Head = 0;
  uint32_t Sector = 0;
  uint32_t Sector28 = 0;
  uint32_t Sector48Low = 0;   // words 100-101
  uint32_t Sector48High = 0;  // word 102
  uint64_t NumberOfSectors = 0;
  uint32_t DiskSizeChs = 0;
  uint32_t DiskSizeLba28 = 0;
  uint32_t DiskSizeLba48 = 0;
  uint32_t DiskSizeWmi = 0;
  uint32_t BufferSize = 0;
  uint64_t NvCacheSize = 0;
  uint32_t TransferModeType = 0;

  // Power-on time and counters.
  int32_t DetectedTimeUnitType = TIME_UNIT_UNKNOWN;
  int32_t MeasuredTimeUnitType = TIME_UNIT_UNKNOWN;
  int32_t AttributeCount = 0;
  int32_t DetectedPowerOnHours = -1;
  int32_t MeasuredPowerOnHours = -1;
  int32_t PowerOnRawValue = -1;
  int32_t PowerOnStartRawValue = -1;
  int32_t PowerOnCount = 0;
  int8_t Temperature = TEMPERATURE_UNKNOWN;
  double TemperatureMultiplier = 1.0;
  int32_t NominalMediaRotationRate = 0;
  int32_t HostWrites = -1;
  int32_t HostReads = -1;
  int32_t GBytesErased = -1;
  int32_t NandWrites = -1;
  int32_t WearLevelingCount = -1;
  int32_t SpareBlockCount = ERASE_COUNT_UNKNOWN;
  int32_t AverageEraseCount = ERASE_COUNT_UNKNOWN;
  float WriteAmplification = 0.0f;
  int32_t AttributeC3Raw = 0;
  int32_t AttributeC7Raw = 0;
  int32_t Life = -1;
  int32_t MajorVersion = 0;
  int32_t DiskStatus = DISK_STATUS_UNKNOWN;
  uint32_t DriveLetterMap = 0;

  // Per-disk alarm settings.
  int32_t AlarmTemperature = 0;
  int32_t AlarmTemperatureBelow = 0;
  int32_t AlarmHealthStatus = 0;
  int32_t AlarmEventLog = 0;
  int32_t AlarmEmail = 0;
  int32_t AlarmStatus = 1;  // alarm when DiskStatus gets worse

  // Classification.
  int32_t InterfaceType = INTERFACE_TYPE_UNKNOWN;
  int32_t CommandType = CMD_TYPE_UNKNOWN;
  int32_t HostReadsWritesUnit = HOST_READS_WRITES_NONE;
  int32_t DiskVendorId = 0;
  int32_t FormFactorCode = 0;
  int32_t TemperatureGrade = 0;
  int32_t UsbVendorId = 0;
  int32_t UsbProductId = 0;
  uint8_t Target = 0xA0;
  uint16_t Threshold05 = 1;
  uint16_t ThresholdC5 = 1;
  uint16_t ThresholdC6 = 1;
  uint16_t ThresholdFF = 10;
  std::array<uint8_t, 64> SasPhyEntity{};

  // Strings (UTF-8).
  std::string SerialNumber;
  std::string SerialNumberReverse;
  std::string FirmwareRev;
  std::string FirmwareRevReverse;
  std::string Model;
  std::string ModelReverse;
  std::string ModelWmi;
  std::string Controller;
  std::string ModelSerial;
  std::string DriveMap;
  std::string DriveMapLine;
  std::string MaxTransferMode;
  std::string CurrentTransferMode;
  std::string MajorVersionText;
  std::string MinorVersionText;
  std::string Interface;
  std::string Enclosure;
  std::string CommandTypeText;
  std::string FormFactor;
  std::string PnpDeviceId;
  std::string SmartKeyName;
  std::string VendorSpecificText;
  std::string VendorSpecificTextTrimmed;

  // Support and history.
  int32_t SupportLevel = 0;
  int64_t ManufactureDate = 0;  // set by the engine: local midnight of 1979-12-03

  // On Linux, where there are no drive letters, the disk's device node
  // ("/dev/sda"). Empty elsewhere.
  std::string DevicePath;
};

struct DISK_POSITION {
  int32_t PhysicalDriveId = -1;
  int32_t ScsiPort = -1;
  int32_t ScsiTargetId = -1;
  std::array<uint8_t, 64> SasPhyEntity{};
  bool operator==(const DISK_POSITION&) const = default;
};

struct EXTERNAL_DISK_INFO {
  std::string Enclosure;
  int32_t UsbVendorId = 0;
  int32_t UsbProductId = 0;
};
