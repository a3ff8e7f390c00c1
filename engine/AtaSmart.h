// CAtaSmart: the disk engine. Finds disks, talks to them over every path,
// decodes IDENTIFY and S.M.A.R.T. data, sorts them into controller families
// and judges their health. One object, used from one thread.
//
// The implementation is split by subject; each .cpp owns the block of
// declarations marked with its name below.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/AtaSmartInfo.h"
#include "os/Platform.h"

// The disk list. A vector that refuses the 49th record and reports an index
// out of range by throwing, as the rest of the program relies on.
class CDiskArray {
 public:
  int32_t GetCount() const { return static_cast<int32_t>(m_Items.size()); }
  ATA_SMART_INFO& operator[](int32_t i) { return m_Items.at(static_cast<size_t>(i)); }
  const ATA_SMART_INFO& operator[](int32_t i) const { return m_Items.at(static_cast<size_t>(i)); }
  // Appends a copy; returns false (and appends nothing) when 48 are held.
  bool Add(const ATA_SMART_INFO& record);
  void RemoveAt(int32_t i);
  void RemoveAll() { m_Items.clear(); }
  auto begin() { return m_Items.begin(); }
  auto end() { return m_Items.end(); }
  auto begin() const { return m_Items.begin(); }
  auto end() const { return m_Items.end(); }
  std::vector<ATA_SMART_INFO>& Items() { return m_Items; }

 private:
  std::vector<ATA_SMART_INFO> m_Items;
};

class CAtaSmart {
 public:
  explicit CAtaSmart(const os::Platform& platform);
  CAtaSmart(const CAtaSmart&) = delete;
  CAtaSmart& operator=(const CAtaSmart&) = delete;

  // ---- record and state (AtaSmart.cpp) ----
  CDiskArray vars;
  std::vector<EXTERNAL_DISK_INFO> m_ExternalDiskList;
  std::string m_ControllerMap;
  std::vector<std::string> m_BlackScsiControllerList;
  std::vector<std::string> m_SiliconImageControllerList;
  std::vector<std::string> m_UaspControllerList;
  std::vector<uint32_t> m_SiliconImageTypeList;
  bool m_FlagAdvancedDiskSearch = false;
  bool m_FlagWmiReady = false;
  bool m_FlagWorkaroundHD204UI = false;
  uint64_t m_LastInitTick = 0;
  bool m_FlagNvidiaController = false;
  bool m_FlagMarvellController = false;
  bool m_FlagUsbSat = true;
  bool m_FlagUsbSunplus = true;
  bool m_FlagUsbIodata = true;
  bool m_FlagUsbLogitec1 = true;
  bool m_FlagUsbLogitec2 = true;
  bool m_FlagUsbJmicron = true;
  bool m_FlagUsbCypress = true;
  bool m_FlagUsbMemory = true;
  bool m_FlagUsbNVMeJMicron = true;
  bool m_FlagUsbNVMeASMedia = true;
  int32_t m_CsmiType = 0;
  os::OsVersion m_OsVersionInfo;
  bool m_FlagAtaPassThrough = false;
  bool m_FlagNVMeStorageQuery = false;

  // A record with every default of a newly admitted ATA disk.
  ATA_SMART_INFO NewRecord() const;
  // Same for an NVMe disk.
  ATA_SMART_INFO NewNvmeRecord() const;
  // Fills CommandTypeText from CommandType and Target.
  static void SetCommandTypeText(ATA_SMART_INFO& asi);
  // Sets the USB flags from the "SupportUSB" setting.
  void SetUsbSupport(bool enabled);

  // ---- ATA command transport (AtaTransport.cpp) ----
  void WakeUp(int32_t physicalDriveId);
  bool SendAtaCommandPd(int32_t physicalDriveId, uint8_t target, uint8_t main, uint8_t sub,
                        uint8_t param, uint8_t* data, uint32_t dataSize);
  bool DoIdentifyDevicePd(int32_t physicalDriveId, uint8_t target, uint8_t* buffer);
  bool GetSmartAttributePd(int32_t physicalDriveId, uint8_t target, ATA_SMART_INFO& asi);
  bool GetSmartThresholdPd(int32_t physicalDriveId, uint8_t target, ATA_SMART_INFO& asi);
  bool ControlSmartStatusPd(int32_t physicalDriveId, uint8_t target);
  bool GetSmartAttributeSi(int32_t physicalDriveId, ATA_SMART_INFO& asi);
  bool DoIdentifyDeviceScsi(int32_t scsiPort, int32_t scsiTargetId, uint8_t* buffer);
  bool GetSmartAttributeScsi(int32_t scsiPort, int32_t scsiTargetId, ATA_SMART_INFO& asi);
  bool GetSmartThresholdScsi(int32_t scsiPort, int32_t scsiTargetId, ATA_SMART_INFO& asi);
  bool ControlSmartStatusScsi(int32_t scsiPort, int32_t scsiTargetId);
  // Opens the controller's port; null when neither name answers.
  std::unique_ptr<os::IDeviceHandle> OpenSiliconImagePort(int32_t scsiPort,
                                                          int32_t siliconImageType);
  bool DoIdentifyDeviceSi(int32_t scsiPort, int32_t scsiBus, int32_t siliconImageType,
                          uint8_t* buffer);
  // kind 0: data, 1: thresholds.
  bool GetSmartAttributeWmi(int32_t kind, ATA_SMART_INFO& asi);

  // ---- IDENTIFY decoding and admission (AtaAdmission.cpp, IdentifyDecoder.cpp) ----
  bool GetDiskInfo(int32_t physicalDriveId, int32_t scsiPort, int32_t scsiTargetId,
                   int32_t interfaceType, int32_t usbVendorId, int32_t usbProductId,
                   int32_t scsiBus, int32_t siliconImageType, bool flagNvidiaController,
                   bool flagMarvellController, const std::string& pnpDeviceId, bool flagNVMe);
  // `identify` is the caller's 512-byte sector; its text fields are
  // byte-swapped and its geometry words clamped in place. `sasPhyEntity`
  // is 64 bytes or null.
  bool AddDisk(int32_t physicalDriveId, int32_t scsiPort, int32_t scsiTargetId, int32_t scsiBus,
               uint8_t target, int32_t commandType, uint8_t* identify, int32_t siliconImageType,
               const uint8_t* sasPhyEntity, const std::string& pnpDeviceId);
  static uint32_t GetTransferMode(uint16_t w63, uint16_t w76, uint16_t w77, uint16_t w88,
                                  std::string& currentMode, std::string& maxMode,
                                  std::string& interfaceText, int32_t& interfaceType);
  static int32_t GetAtaMajorVersion(uint16_t w80, std::string& text);
  static void GetAtaMinorVersion(uint16_t w81, std::string& text);
  static int32_t GetTimeUnitType(const std::string& model, const std::string& firmware,
                                 int32_t majorVersion, int32_t transferMode);
  static std::string GetModelSerial(const std::string& model, const std::string& serial);
  bool SendSetFeatures(int32_t index, uint8_t feature, uint8_t count);
  bool RefreshIdentify(int32_t index);
  bool EnableAam(int32_t index, uint8_t level);
  bool DisableAam(int32_t index);
  bool EnableApm(int32_t index, uint8_t level);
  bool DisableApm(int32_t index);

  // Why the IDENTIFY decoder refused a sector (kept for the log and tests).
  enum IDENTIFY_VERDICT : int32_t {
    IDENTIFY_OK = 0,
    IDENTIFY_BAD_CHARACTER = 1,  // a 0x7F byte in the serial, firmware or model
    IDENTIFY_NO_MODEL = 2,       // empty model or firmware
    IDENTIFY_NO_GEOMETRY = 3,    // zero cylinders, heads or sectors
  };
  // The pure parts of admission, in the order AddDisk runs them. Each reads
  // only the 512 bytes it is given and the record.
  // Checksum, character check, the swapped and unswapped texts (the text
  // fields of `identify` end up byte-swapped).
  static int32_t DecodeIdentifyTexts(ATA_SMART_INFO& asi, uint8_t* identify);
  // Multiplier, key, versions, transfer mode, time unit and feature flags.
  static void DecodeIdentifyFeatures(ATA_SMART_INFO& asi, const uint8_t* identify);
  // Geometry clamps (in `identify`), sector counts and capacity.
  static int32_t DecodeIdentifyGeometry(ATA_SMART_INFO& asi, uint8_t* identify);

 private:
  // Index of the record AddDisk's new disk would replace, -1 for none;
  // false when the new disk is refused as a duplicate.
  bool FindDuplicate(const ATA_SMART_INFO& asi, int32_t physicalDriveId, int32_t* duplicate);

 public:
  // ---- S.M.A.R.T. reading and validation (SmartData.cpp, SmartRead.cpp) ----
  static bool FillSmartData(ATA_SMART_INFO& asi);
  static bool FillSmartThreshold(ATA_SMART_INFO& asi);
  static bool CheckSmartAttributeCorrect(const ATA_SMART_INFO& a, const ATA_SMART_INFO& b);
  static uint32_t GetPowerOnHours(uint32_t rawValue, int32_t unit);
  // The same conversion of the record's PowerOnRawValue. Not an overload of
  // GetPowerOnHours: an int32 raw value would silently pick it.
  uint32_t GetPowerOnHoursEx(int32_t index, int32_t unit) const;
  int32_t UpdateSmartInfo(int32_t index);
  bool MeasurePowerOnTimeUnit();

  // One attribute's rule of FillSmartData, with the record's family and unit.
  static void ApplySmartAttributeRule(ATA_SMART_INFO& asi, const ATTRIBUTE_ENTRY& a);
  // Temperature, life, counters and power-on figures from the NVMe health
  // log held in SmartReadData.
  static void ApplyNvmeHealthLog(ATA_SMART_INFO& asi);
  // Every derived figure back to its unknown marker.
  static void ResetSmartFigures(ATA_SMART_INFO& asi);

 private:
  // The first reads of a disk being admitted, by its CommandType, and the
  // fixes that follow them.
  void ReadSmartAtAdmission(ATA_SMART_INFO& asi);
  static void ApplyPostReadFixes(ATA_SMART_INFO& asi);
  // The attribute table of each disk slot as last reported changed.
  std::vector<std::array<uint8_t, sizeof(ATTRIBUTE_ENTRY)* MAX_ATTRIBUTE>> m_SmartBaseline =
      std::vector<std::array<uint8_t, sizeof(ATTRIBUTE_ENTRY) * MAX_ATTRIBUTE>>(MAX_DISK);

 public:
  // ---- vendor families (SmartFamily.cpp) ----
  void ClassifySmartFamily(ATA_SMART_INFO& asi);
  static int32_t GetModelTableFamily(const ATA_SMART_INFO& asi);
  int32_t RecognizeMakerDisk(ATA_SMART_INFO& asi);
  static int32_t GetFormFactorCode(const ATA_SMART_INFO& asi);

  // ---- status (DiskStatus.cpp) ----
  int32_t CheckDiskStatus(int32_t index);

  // ---- discovery (Discovery.cpp) ----
  // Rebuilds `vars` from scratch: WMI's disks and controllers (when
  // `useWmi`), the physical drives 0 to 55, the SCSI ports (with advanced
  // search), then orders the list and maps drive letters. When
  // `flagChangeDisk` is given, the int behind it is set to 1 if the disks or
  // their positions differ from the previous list, else 0.
  void Init(bool useWmi, bool advancedDiskSearch, int32_t* flagChangeDisk, bool workaroundHD204UI,
            bool hideNoSmartDisk);
  // True when the WMI service runs (or the platform has no service manager).
  bool IsWinmgmtRunning();
  // Starts the WMI service, making it start automatically if it will not
  // start at once. True when it runs.
  bool StartWinmgmt();

  const os::Platform& Platform() const { return m_Platform; }

 private:
  os::Platform m_Platform;
};
