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

// PCI Express link of the controller that holds an NVMe disk: generation
// numbers (1, 2, 3, ...) and lane counts; all 0 when it was not found.
struct PCIE_LINK_INFO {
  int32_t MaxLinkSpeed = 0;
  int32_t MaxLinkWidth = 0;
  int32_t CurrentLinkSpeed = 0;
  int32_t CurrentLinkWidth = 0;
};

// The five ATA operations a USB bridge carries (one CDB per form and operation).
enum SAT_OPERATION : int32_t {
  SAT_IDENTIFY = 0,
  SAT_READ_DATA = 1,
  SAT_READ_THRESHOLDS = 2,
  SAT_ENABLE = 3,
  SAT_SET_FEATURES = 4,
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
  // Judge disks this program does not rate by their attributes instead of
  // calling them unknown (the "EvaluateAllDisks" setting, `--all-disks`).
  bool m_FlagEvaluateAllDisks = false;

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

  // ---- NVMe (NvmeAccess.cpp) ----
  // Identify controller: the first 512 bytes of the identify data.
  bool DoIdentifyDeviceNVMeStorageQuery(int32_t physicalDriveId, uint8_t* buffer);
  bool DoIdentifyDeviceNVMeSamsung(int32_t physicalDriveId, uint8_t* buffer);
  bool DoIdentifyDeviceNVMeIntel(int32_t physicalDriveId, uint8_t* buffer);
  bool DoIdentifyDeviceNVMeJMicron(int32_t physicalDriveId, uint8_t* buffer);
  bool DoIdentifyDeviceNVMeASMedia(int32_t physicalDriveId, uint8_t* buffer);
  // SMART / Health Information log into asi.SmartReadData. `quiet`
  // suppresses the log lines when the miniport read stands in for the
  // Samsung one.
  bool GetSmartAttributeNVMeStorageQuery(int32_t physicalDriveId, ATA_SMART_INFO& asi);
  bool GetSmartAttributeNVMeSamsung(int32_t physicalDriveId, ATA_SMART_INFO& asi);
  bool GetSmartAttributeNVMeIntel(int32_t physicalDriveId, ATA_SMART_INFO& asi, bool quiet = false);
  bool GetSmartAttributeNVMeJMicron(int32_t physicalDriveId, ATA_SMART_INFO& asi);
  bool GetSmartAttributeNVMeASMedia(int32_t physicalDriveId, ATA_SMART_INFO& asi);
  // The health read that belongs to asi.CommandType (Samsung falls back to
  // the miniport read); false for other types.
  bool ReadSmartAttributeNVMe(ATA_SMART_INFO& asi);
  // "\\.\SCSI%d:" of the port behind `devicePath`; empty when the address
  // request fails.
  std::string GetScsiPath(const std::string& devicePath);
  // Rows 1-15 of the NVMe attribute table from a 512-byte health log, and
  // rows 16-19 when `withExtras`.
  static void FillSmartDataNVMe(const uint8_t* healthLog, ATTRIBUTE_ENTRY* attribute,
                                bool withExtras);
  // "NVM Express %d.%d" from the identify data's version field.
  static std::string GetNVMeVersionText(const uint8_t* identify);
  // Names the controller of an NVMe record from its model (and maker-disk
  // recognition), then the vendor-series lookup.
  void NameControllerNVMe(ATA_SMART_INFO& asi);
  static std::string GetNVMeVendorSeries(const uint8_t* identify);
  std::string GetControllerDeviceId(int32_t physicalDriveId);
  PCIE_LINK_INFO GetPcieLinkInfo(int32_t physicalDriveId);
  bool AddDiskNVMe(int32_t physicalDriveId, int32_t scsiPort, int32_t scsiTargetId, int32_t scsiBus,
                   uint8_t target, int32_t commandType, const uint8_t* identify,
                   const std::string& pnpDeviceId);
  // GetDiskInfo for every interface but unknown, PATA and SATA: the NVMe
  // paths, the USB bridges by vendor, and the generic bridge sequence.
  bool GetDiskInfoExternal(int32_t physicalDriveId, int32_t scsiPort, int32_t scsiTargetId,
                           int32_t interfaceType, int32_t usbVendorId, int32_t usbProductId,
                           int32_t scsiBus, int32_t siliconImageType,
                           const std::string& pnpDeviceId, bool flagNVMe);

  // ---- USB bridges (UsbBridge.cpp) ----
  // The CDB of one operation in one bridge form (command types 4 to 11).
  // Returns false for any other command type. `cdb` receives 16 bytes
  // (unused ones 0) and *cdbLength the form's length.
  static bool BuildSatCdb(int32_t commandType, int32_t operation, uint8_t target, uint8_t features,
                          uint8_t count, uint8_t* cdb, uint8_t* cdbLength);
  bool DoIdentifyDeviceSat(int32_t physicalDriveId, uint8_t target, uint8_t* buffer,
                           int32_t commandType);
  bool GetSmartAttributeSat(int32_t physicalDriveId, uint8_t target, ATA_SMART_INFO& asi);
  bool GetSmartThresholdSat(int32_t physicalDriveId, uint8_t target, ATA_SMART_INFO& asi);
  bool ControlSmartStatusSat(int32_t physicalDriveId, uint8_t target, int32_t commandType);
  bool SendSetFeaturesSat(int32_t physicalDriveId, uint8_t target, uint8_t features, uint8_t count,
                          int32_t commandType);
  // The S.M.A.R.T. reading of admission for the bridge types 4 to 11.
  void ReadSmartAtAdmissionSat(ATA_SMART_INFO& asi);
  // The bridge read of UpdateSmartInfo (wake-up, then the attribute read).
  bool RefreshSmartSat(ATA_SMART_INFO& asi);

  // ---- CSMI (Csmi.cpp) ----
  // Fills the CSMI header of `buffer` (`size` bytes, in and out) for
  // `controlCode` and sends it. True when the request succeeded or failed
  // with an error other than "invalid function", "not supported" and
  // "device does not exist".
  bool CsmiIoctl(os::IDeviceHandle& handle, uint32_t controlCode, void* buffer, uint32_t size);
  bool SendAtaCommandCsmi(int32_t scsiPort, const std::array<uint8_t, 64>& phyEntity,
                          uint8_t command, uint8_t features, uint8_t count, uint8_t* data,
                          uint32_t dataSize);
  bool DoIdentifyDeviceCsmi(int32_t scsiPort, const std::array<uint8_t, 64>& phyEntity,
                            uint8_t* buffer);
  bool GetSmartAttributeCsmi(int32_t scsiPort, const std::array<uint8_t, 64>& phyEntity,
                             ATA_SMART_INFO& asi);
  // Reads the threshold sector; true when it came back and FillSmartThreshold
  // accepted it.
  bool GetSmartThresholdCsmi(int32_t scsiPort, const std::array<uint8_t, 64>& phyEntity,
                             ATA_SMART_INFO& asi);
  bool ControlSmartStatusCsmi(int32_t scsiPort, const std::array<uint8_t, 64>& phyEntity);
  bool AddDiskCsmi(int32_t scsiPort);
  // The phys worth probing in a CC_CSMI_SAS_GET_PHY_INFO answer: none when
  // the count is 0 or above 32, or the buffer is short.
  static std::vector<std::array<uint8_t, 64>> ParseCsmiPhyInfo(const uint8_t* buffer, size_t size);
  // The S.M.A.R.T. reading of admission for CMD_TYPE_CSMI, and the CSMI part
  // of CMD_TYPE_CSMI_PHYSICAL_DRIVE once its physical-drive pass has run.
  void ReadSmartAtAdmissionCsmi(ATA_SMART_INFO& asi);
  void ReadSmartAtAdmissionCsmiAfterPd(ATA_SMART_INFO& asi);

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
  // The same; *read tells whether the disk answered the attribute read
  // (false when it was not read at all or the read failed).
  int32_t UpdateSmartInfo(int32_t index, bool* read);
  // Measures the power-on time unit of every disk with a power-on count,
  // 125 to 155 s after discovery; false outside that window. When given,
  // (*measured)[i] tells whether disk i answered the measuring read (its
  // unit is then a measurement, not a guess from an unchanged count).
  bool MeasurePowerOnTimeUnit(std::vector<bool>* measured = nullptr);

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
