// NVMe disks: the five ways to reach them (the system's storage query, the
// Samsung driver's pass-through, an NVMe miniport driver and two USB-to-NVMe
// bridges), admission of a disk from its identify data and health log, and
// the PCI Express link of its controller.
#include <cstring>
#include <exception>
#include <memory>

#include "base/DebugLog.h"
#include "base/Text.h"
#include "engine/AtaSmart.h"
#include "engine/PathUtil.h"
#include "os/wire/DiskPages.h"
#include "os/wire/WinIoctlPaths.h"

using namespace winio;

namespace {

constexpr uint32_t NVME_ADMIN_GET_LOG_PAGE = 0x02;
constexpr uint32_t NVME_ADMIN_IDENTIFY = 0x06;
constexpr uint32_t NVME_LOG_HEALTH = 0x02;
constexpr uint32_t NVME_CNS_CONTROLLER = 1;

// Class of SCSI adapters, and the PCI property set with the link fields.
const char* const SCSI_ADAPTER_CLASS = "{4D36E97B-E325-11CE-BFC1-08002BE10318}";
const char* const PCI_PROPERTY_SET = "{3AB22E31-8264-4B4E-9AF5-A8D2D8E33E62}";
constexpr uint32_t PCI_CURRENT_LINK_SPEED = 9;
constexpr uint32_t PCI_CURRENT_LINK_WIDTH = 10;
constexpr uint32_t PCI_MAX_LINK_SPEED = 11;
constexpr uint32_t PCI_MAX_LINK_WIDTH = 12;

// A pass-through header for the paths that carry NVMe commands in SCSI
// command blocks. `dataOffset` and `senseOffset` come from the layout.
void FillPassThrough(SCSI_PASS_THROUGH& spt, uint8_t cdbLength, uint8_t dataIn, uint32_t dataLength,
                     size_t senseOffset, size_t dataOffset, uint8_t senseLength,
                     const uint8_t* cdb) {
  std::memset(&spt, 0, sizeof(spt));
  spt.Length = sizeof(SCSI_PASS_THROUGH);
  spt.CdbLength = cdbLength;
  spt.SenseInfoLength = senseLength;
  spt.DataIn = dataIn;
  spt.DataTransferLength = dataLength;
  spt.TimeOutValue = 2;
  spt.DataBufferOffset = dataOffset;
  spt.SenseInfoOffset = static_cast<uint32_t>(senseOffset);
  std::memcpy(spt.Cdb, cdb, cdbLength);
}

bool SendPassThrough(os::IDeviceHandle& handle, void* buffer, uint32_t size) {
  uint32_t returned = 0;
  uint32_t error = 0;
  return handle.Control(CTL_SCSI_PASS_THROUGH, buffer, size, buffer, size, &returned, &error);
}

// ---- storage query ----

bool StorageQuery(os::IDeviceIo& devices, int32_t physicalDriveId, uint32_t dataType,
                  uint32_t requestValue, uint32_t subValue, uint8_t* answer) {
  auto handle = paths::OpenForCommands(devices, paths::PhysicalDriveName(physicalDriveId));
  if (!handle) return false;
  auto query = std::make_unique<STORAGE_QUERY_NVME>();
  std::memset(query.get(), 0, sizeof(*query));
  query->PropertyId = PROPERTY_STORAGE_ADAPTER_PROTOCOL_SPECIFIC;
  query->QueryType = PROPERTY_STANDARD_QUERY;
  query->Protocol.ProtocolType = PROTOCOL_NVME;
  query->Protocol.DataType = dataType;
  query->Protocol.ProtocolDataRequestValue = requestValue;
  query->Protocol.ProtocolDataRequestSubValue = subValue;
  query->Protocol.ProtocolDataOffset = sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA);
  query->Protocol.ProtocolDataLength = sizeof(query->Data);
  uint32_t returned = 0;
  uint32_t error = 0;
  bool ok = handle->Control(CTL_STORAGE_QUERY_PROPERTY, query.get(), sizeof(*query), query.get(),
                            sizeof(*query), &returned, &error);
  // The answer is handed on whatever the outcome; only the result counts.
  std::memcpy(answer, query->Data, 512);
  return ok;
}

// ---- Samsung driver ----

// Command block sent to the disk (data out), then the answer read (data in).
bool SamsungCommand(os::IDeviceIo& devices, int32_t physicalDriveId, uint8_t page,
                    const uint8_t (&dataOut)[8], uint8_t* answer) {
  auto handle = paths::OpenForCommands(devices, paths::PhysicalDriveName(physicalDriveId));
  if (!handle) return false;
  SCSI_PASS_THROUGH_SENSE24 sptwb;
  std::memset(&sptwb, 0, sizeof(sptwb));
  constexpr size_t kSense = offsetof(SCSI_PASS_THROUGH_SENSE24, SenseBuf);
  constexpr size_t kData = offsetof(SCSI_PASS_THROUGH_SENSE24, DataBuf);
  constexpr uint32_t kLength = kData + 512;

  const uint8_t cdb1[16] = {0xB5, 0xFE, 0x00, page, 0, 0, 0, 0, 0, 0x40};
  FillPassThrough(sptwb.Spt, 16, SPT_DATA_OUT, 512, kSense, kData, 24, cdb1);
  std::memcpy(sptwb.DataBuf, dataOut, sizeof(dataOut));
  if (!SendPassThrough(*handle, &sptwb, kLength)) return false;

  const uint8_t cdb2[16] = {0xA2, 0xFE, 0x00, page, 0, 0, 0, 0, 0x01};
  FillPassThrough(sptwb.Spt, 16, SPT_DATA_IN, 512, kSense, kData, 24, cdb2);
  sptwb.DataBuf[0] = 0;
  if (!SendPassThrough(*handle, &sptwb, kLength)) return false;
  if (paths::ByteSum(sptwb.DataBuf, 512) == 0) return false;
  std::memcpy(answer, sptwb.DataBuf, 512);
  return true;
}

// ---- NVMe miniport ----

enum class MiniportResult { OK, NO_PORT, REQUEST_FAILED, EMPTY };

MiniportResult MiniportCommand(CAtaSmart& ata, int32_t physicalDriveId, uint32_t opcode,
                               uint32_t nsid, uint32_t cdw10, uint8_t* answer) {
  std::string port = ata.GetScsiPath(paths::PhysicalDriveName(physicalDriveId));
  if (port.empty()) return MiniportResult::NO_PORT;
  auto handle = paths::OpenForCommands(ata.Platform().Devices, port);
  if (!handle) return MiniportResult::NO_PORT;
  auto request = std::make_unique<NVME_PASS_THROUGH_IOCTL>();
  std::memset(request.get(), 0, sizeof(*request));
  request->SrbIoCtrl.HeaderLength = sizeof(SRB_IO_CONTROL);
  std::memcpy(request->SrbIoCtrl.Signature, "NvmeMini", 8);
  request->SrbIoCtrl.Timeout = 40;
  request->SrbIoCtrl.ControlCode = NVME_IOCTL_PASS_THROUGH;
  request->SrbIoCtrl.ReturnCode = 0;
  request->SrbIoCtrl.Length = sizeof(NVME_PASS_THROUGH_IOCTL) - sizeof(SRB_IO_CONTROL);
  request->NVMeCmd[0] = opcode;
  request->NVMeCmd[1] = nsid;
  request->NVMeCmd[10] = cdw10;
  request->Direction = NVME_FROM_DEV_TO_HOST;
  request->QueueId = 0;
  request->DataBufferLen = sizeof(request->DataBuffer);
  request->MetaDataLen = 0;
  request->ReturnBufferLen = sizeof(NVME_PASS_THROUGH_IOCTL);
  uint32_t returned = 0;
  uint32_t error = 0;
  if (!handle->Control(CTL_SCSI_MINIPORT, request.get(), sizeof(*request), request.get(),
                       sizeof(*request), &returned, &error)) {
    return MiniportResult::REQUEST_FAILED;
  }
  if (paths::ByteSum(request->DataBuffer, 512) == 0) return MiniportResult::EMPTY;
  std::memcpy(answer, request->DataBuffer, 512);
  return MiniportResult::OK;
}

// ---- JMicron USB-to-NVMe bridge ----

constexpr uint32_t JMICRON_ECHO_SUM = 317;  // the identify command block itself

// The 512-byte block that carries an NVMe admin command through the bridge.
void JMicronBlock(uint8_t* block, bool health) {
  std::memset(block, 0, 512);
  std::memcpy(block, "NVME", 4);
  if (!health) {
    block[8] = NVME_ADMIN_IDENTIFY;
    block[48] = NVME_CNS_CONTROLLER;
    return;
  }
  block[8] = NVME_ADMIN_GET_LOG_PAGE;
  block[10] = 0x56;
  block[12] = block[13] = block[14] = block[15] = 0xFF;
  block[33] = 0x40;
  block[34] = 0x7A;
  block[48] = NVME_LOG_HEALTH;
  block[50] = 0x7F;
}

bool JMicronCommand(os::IDeviceIo& devices, int32_t physicalDriveId, bool health, uint8_t* answer) {
  auto handle = paths::OpenForCommands(devices, paths::PhysicalDriveName(physicalDriveId));
  if (!handle) return false;
  SCSI_PASS_THROUGH_SENSE24 sptwb;
  std::memset(&sptwb, 0, sizeof(sptwb));
  constexpr size_t kSense = offsetof(SCSI_PASS_THROUGH_SENSE24, SenseBuf);
  constexpr size_t kData = offsetof(SCSI_PASS_THROUGH_SENSE24, DataBuf);
  constexpr uint32_t kLength = kData + 512;

  const uint8_t cdb1[12] = {0xA1, 0x80, 0x00, 0x00, 0x02};
  FillPassThrough(sptwb.Spt, 12, SPT_DATA_OUT, 512, kSense, kData, 24, cdb1);
  JMicronBlock(sptwb.DataBuf, health);
  if (!SendPassThrough(*handle, &sptwb, kLength)) return false;

  // The identify answer overwrites the command block in place; a bridge that
  // sends no data leaves the block there, which the sum gives away.
  if (health) std::memset(&sptwb, 0, sizeof(sptwb));
  const uint8_t cdb2[12] = {0xA1, 0x82, 0x00, 0x00, 0x02};
  FillPassThrough(sptwb.Spt, 12, SPT_DATA_IN, 512, kSense, kData, 24, cdb2);
  if (!SendPassThrough(*handle, &sptwb, kLength)) return false;
  uint32_t sum = paths::ByteSum(sptwb.DataBuf, 512);
  if (sum == 0 || (!health && sum == JMICRON_ECHO_SUM)) return false;
  std::memcpy(answer, sptwb.DataBuf, 512);
  return true;
}

// ---- ASMedia USB-to-NVMe bridge ----

bool ASMediaCommand(os::IDeviceIo& devices, int32_t physicalDriveId, bool health, uint8_t* answer) {
  auto handle = paths::OpenForCommands(devices, paths::PhysicalDriveName(physicalDriveId));
  if (!handle) return false;
  using Buffer = SCSI_PASS_THROUGH_SENSE32<4096>;
  auto sptwb = std::make_unique<Buffer>();
  std::memset(sptwb.get(), 0, sizeof(Buffer));
  constexpr size_t kSense = offsetof(Buffer, SenseBuf);
  constexpr size_t kData = offsetof(Buffer, DataBuf);
  const uint32_t dataLength = health ? 512 : 4096;
  const uint8_t identifyCdb[16] = {0xE6, NVME_ADMIN_IDENTIFY, 0x00, NVME_CNS_CONTROLLER};
  const uint8_t healthCdb[16] = {
      0xE6, NVME_ADMIN_GET_LOG_PAGE, 0x00, NVME_LOG_HEALTH, 0x00, 0x00, 0x00, 0x7F};
  FillPassThrough(sptwb->Spt, 16, SPT_DATA_IN, dataLength, kSense, kData, 32,
                  health ? healthCdb : identifyCdb);
  if (!SendPassThrough(*handle, sptwb.get(), static_cast<uint32_t>(kData + dataLength))) {
    return false;
  }
  if (paths::ByteSum(sptwb->DataBuf, 512) == 0) return false;
  std::memcpy(answer, sptwb->DataBuf, 512);
  return true;
}

// ---- controller naming ----

struct NamingRule {
  const char* SubTests[5];  // any of these contained in the model
  const char* Controller;
};

struct NamingRow {
  bool BeginsWith;        // else "contains"
  const char* Tests[2];   // any of these
  NamingRule Rules[8];    // tried in order
  const char* Otherwise;  // when no rule matched; null keeps "Unknown"
};

const NamingRow kNamingRows[] = {
    {false, {"SSD 7LF6"}, {}, "Marvell 88NV1120"},
    {false,
     {"Intel", "INTEL"},
     {{{"SSDPE2MX", "SSDPEDMX", "SSDPECME"}, "Intel CH29AE41AB1"},
      {{"SSDPEK1"}, "AHU19W23"},
      {{"SSDPED1"}, "Intel EAU01D76"},
      {{"SSDPE21K"}, "Intel EAT39099"},
      {{"SSDPE21"}, "Intel SLM58"},
      {{"SSDPEKK"}, "SMI SM2260"},
      {{"SSDPEKN"}, "SMI SM2263"}},
     "Intel CH29AE41AB0"},
    {false,
     {"Samsung", "SAMSUNG"},
     {{{"MZVLV", "MZHPV", "MZVPV", "951", "950"}, "Samsung UBX"},
      {{"960", "MZVLW", "MZVKW", "961"}, "Samsung Polaris"},
      {{"970", "980", "981"}, "Samsung Phoenix"},
      {{"PM971"}, "Samsung Photon"}},
     "Samsung UBX"},
    {false,
     {"ADATA"},
     {{{"SX8200", "GAMMIX S11"}, "SMI SM2262EN"}, {{"SX6000", "GAMMIX S5"}, "Realtek RTS5760"}},
     nullptr},
    {false,
     {"Apacer"},
     {{{"AS2280"}, "Phison PS5008-10"}, {{"Z280"}, "Phison PS5007-11"}},
     nullptr},
    {true, {"TS"}, {{{"110S"}, "SMI SM2263XT"}, {{"220S"}, "SMI SM2263EN"}}, "SMI SM2263XT"},
};

bool Contains(const std::string& text, const char* part) {
  return part != nullptr && text.find(part) != std::string::npos;
}

bool RowApplies(const NamingRow& row, const std::string& model) {
  for (const char* test : row.Tests) {
    if (test == nullptr) continue;
    if (row.BeginsWith ? model.rfind(test, 0) == 0 : Contains(model, test)) return true;
  }
  return false;
}

// PCI vendor ids of the vendor-series lookup.
struct VendorSeries {
  uint16_t VendorId;
  const char* Text;
};
const VendorSeries kVendorSeries[] = {
    {7157, "Greenliant"},     {7104, "InnoDisk-series"}, {4473, "Toshiba-series"},
    {0x8086, "Intel-series"}, {6523, "JMicron-series"},  {4424, "Marvell-series"},
    {4932, "Micron-series"},  {6535, "Phison-series"},   {4332, "Realtek-series"},
    {5197, "Samsung-series"}, {4719, "SMI-series"},      {4358, "VIA-series"},
};

}  // namespace

// ---- identify ----

bool CAtaSmart::DoIdentifyDeviceNVMeStorageQuery(int32_t physicalDriveId, uint8_t* buffer) {
  if (physicalDriveId < 0) return false;
  return StorageQuery(m_Platform.Devices, physicalDriveId, NVME_DATA_IDENTIFY, NVME_CNS_CONTROLLER,
                      0, buffer);
}

bool CAtaSmart::DoIdentifyDeviceNVMeSamsung(int32_t physicalDriveId, uint8_t* buffer) {
  std::memset(buffer, 0, 512);
  if (physicalDriveId < 0) return false;
  const uint8_t dataOut[8] = {NVME_CNS_CONTROLLER};
  return SamsungCommand(m_Platform.Devices, physicalDriveId, 0x05, dataOut, buffer);
}

bool CAtaSmart::DoIdentifyDeviceNVMeIntel(int32_t physicalDriveId, uint8_t* buffer) {
  std::memset(buffer, 0, 512);
  if (physicalDriveId < 0) return false;
  return MiniportCommand(*this, physicalDriveId, NVME_ADMIN_IDENTIFY, 0, NVME_CNS_CONTROLLER,
                         buffer) == MiniportResult::OK;
}

bool CAtaSmart::DoIdentifyDeviceNVMeJMicron(int32_t physicalDriveId, uint8_t* buffer) {
  std::memset(buffer, 0, 512);
  if (physicalDriveId < 0) return false;
  return JMicronCommand(m_Platform.Devices, physicalDriveId, false, buffer);
}

bool CAtaSmart::DoIdentifyDeviceNVMeASMedia(int32_t physicalDriveId, uint8_t* buffer) {
  std::memset(buffer, 0, 512);
  if (physicalDriveId < 0) return false;
  return ASMediaCommand(m_Platform.Devices, physicalDriveId, false, buffer);
}

// ---- health log ----

bool CAtaSmart::GetSmartAttributeNVMeStorageQuery(int32_t physicalDriveId, ATA_SMART_INFO& asi) {
  if (physicalDriveId < 0) return false;
  if (StorageQuery(m_Platform.Devices, physicalDriveId, NVME_DATA_LOG_PAGE, NVME_LOG_HEALTH, 0,
                   asi.SmartReadData.data())) {
    return true;
  }
  // Some drivers want the namespace "all" spelled out.
  return StorageQuery(m_Platform.Devices, physicalDriveId, NVME_DATA_LOG_PAGE, NVME_LOG_HEALTH,
                      0xFFFFFFFF, asi.SmartReadData.data());
}

bool CAtaSmart::GetSmartAttributeNVMeSamsung(int32_t physicalDriveId, ATA_SMART_INFO& asi) {
  if (physicalDriveId < 0) return false;
  const uint8_t dataOut[8] = {NVME_LOG_HEALTH, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  return SamsungCommand(m_Platform.Devices, physicalDriveId, 0x06, dataOut,
                        asi.SmartReadData.data());
}

bool CAtaSmart::GetSmartAttributeNVMeIntel(int32_t physicalDriveId, ATA_SMART_INFO& asi,
                                           bool quiet) {
  if (physicalDriveId < 0) return false;
  MiniportResult result =
      MiniportCommand(*this, physicalDriveId, NVME_ADMIN_GET_LOG_PAGE, 0xFFFFFFFF,
                      0x007F0000 | NVME_LOG_HEALTH, asi.SmartReadData.data());
  if (!quiet) {
    if (result == MiniportResult::REQUEST_FAILED) base::DebugLog("DeviceIoControl error.");
    if (result == MiniportResult::EMPTY) base::DebugLog("Count == 0 error.");
  }
  return result == MiniportResult::OK;
}

bool CAtaSmart::GetSmartAttributeNVMeJMicron(int32_t physicalDriveId, ATA_SMART_INFO& asi) {
  if (physicalDriveId < 0) return false;
  return JMicronCommand(m_Platform.Devices, physicalDriveId, true, asi.SmartReadData.data());
}

bool CAtaSmart::GetSmartAttributeNVMeASMedia(int32_t physicalDriveId, ATA_SMART_INFO& asi) {
  if (physicalDriveId < 0) return false;
  return ASMediaCommand(m_Platform.Devices, physicalDriveId, true, asi.SmartReadData.data());
}

bool CAtaSmart::ReadSmartAttributeNVMe(ATA_SMART_INFO& asi) {
  const int32_t pd = asi.PhysicalDriveId;
  switch (asi.CommandType) {
    case CMD_TYPE_NVME_STORAGE_QUERY:
      return m_FlagNVMeStorageQuery && GetSmartAttributeNVMeStorageQuery(pd, asi);
    case CMD_TYPE_NVME_INTEL:
      return GetSmartAttributeNVMeIntel(pd, asi);
    case CMD_TYPE_NVME_SAMSUNG:
      return GetSmartAttributeNVMeSamsung(pd, asi) || GetSmartAttributeNVMeIntel(pd, asi, true);
    case CMD_TYPE_NVME_JMICRON:
      return GetSmartAttributeNVMeJMicron(pd, asi);
    case CMD_TYPE_NVME_ASMEDIA:
      return GetSmartAttributeNVMeASMedia(pd, asi);
    default:
      return false;
  }
}

std::string CAtaSmart::GetScsiPath(const std::string& devicePath) {
  auto handle = paths::OpenForCommands(m_Platform.Devices, devicePath);
  if (!handle) return {};
  SCSI_ADDRESS address{};
  uint32_t returned = 0;
  uint32_t error = 0;
  if (!handle->Control(CTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof(address), &returned,
                       &error)) {
    return {};
  }
  char path[32];
  std::snprintf(path, sizeof(path), "\\\\.\\SCSI%d:", address.PortNumber);
  return path;
}

// ---- decoding ----

void CAtaSmart::FillSmartDataNVMe(const uint8_t* log, ATTRIBUTE_ENTRY* attribute, bool withExtras) {
  struct Row {
    uint16_t Offset;
    uint8_t Bytes;
  };
  static const Row kRows[19] = {
      {0, 1},   {1, 2},   {3, 1},   {4, 1},   {5, 1},   {32, 6},  {48, 6},
      {64, 6},  {80, 6},  {96, 6},  {112, 6}, {128, 6}, {144, 6}, {160, 6},
      {176, 6}, {192, 4}, {196, 4}, {200, 2}, {202, 2},
  };
  const int rows = withExtras ? 19 : 15;
  for (int i = 0; i < rows; ++i) {
    ATTRIBUTE_ENTRY& a = attribute[i];
    std::memset(&a, 0, sizeof(a));
    a.Id = static_cast<uint8_t>(i + 1);
    std::memcpy(a.RawValue, log + kRows[i].Offset, kRows[i].Bytes);
  }
}

std::string CAtaSmart::GetNVMeVersionText(const uint8_t* identify) {
  const uint8_t* majorAt = identify + pages::NVME_VERSION_MAJOR_AT;
  if (majorAt[0] == 0 && majorAt[1] == 0) return "NVM Express 1.0/1.1";
  const auto major = static_cast<int16_t>(base::Load16(majorAt));
  const auto minor = static_cast<int8_t>(identify[pages::NVME_VERSION_MINOR_AT]);
  char text[40];
  std::snprintf(text, sizeof(text), "NVM Express %d.%d", major, minor);
  return text;
}

void CAtaSmart::NameControllerNVMe(ATA_SMART_INFO& asi) {
  const std::string& model = asi.Model;
  for (const NamingRow& row : kNamingRows) {
    if (!RowApplies(row, model)) continue;
    for (const NamingRule& rule : row.Rules) {
      if (rule.Controller == nullptr) break;
      for (const char* sub : rule.SubTests) {
        if (Contains(model, sub)) {
          asi.Controller = rule.Controller;
          return;
        }
      }
    }
    if (row.Otherwise != nullptr) asi.Controller = row.Otherwise;
    return;
  }
  asi.SupportLevel = RecognizeMakerDisk(asi);
  if (asi.SupportLevel != 0) {
    asi.Controller = "SMI SM2263";
    asi.FormFactorCode = GetFormFactorCode(asi);
    asi.TemperatureGrade = 2;
  }
}

std::string CAtaSmart::GetNVMeVendorSeries(const uint8_t* identify) {
  const uint16_t vendorId = base::Load16(identify + pages::NVME_VENDOR_ID_AT);
  for (const VendorSeries& series : kVendorSeries) {
    if (series.VendorId == vendorId) return series.Text;
  }
  return {};
}

// ---- PCI Express link ----

std::string CAtaSmart::GetControllerDeviceId(int32_t physicalDriveId) {
  try {
    char wql[160];
    std::snprintf(wql, sizeof(wql),
                  "ASSOCIATORS OF {Win32_DiskDrive.DeviceID='\\\\.\\PhysicalDrive%d'} "
                  "WHERE ResultClass=Win32_PnPEntity",
                  physicalDriveId);
    auto entities = m_Platform.Wmi.Query("root\\cimv2", wql);
    if (!entities || entities->empty()) return {};
    const std::string entity = entities->back().String("DeviceID");
    if (entity.empty()) return {};
    auto controllers =
        m_Platform.Wmi.Query("root\\cimv2", "ASSOCIATORS OF {Win32_PnPEntity.DeviceID='" + entity +
                                                "'} WHERE AssocClass=Win32_SCSIControllerDevice");
    if (!controllers || controllers->empty()) return {};
    return controllers->back().String("DeviceID");
  } catch (const std::exception&) {
    return {};
  }
}

PCIE_LINK_INFO CAtaSmart::GetPcieLinkInfo(int32_t physicalDriveId) {
  PCIE_LINK_INFO link;
  os::IDeviceSetup* setup = m_Platform.DeviceSetup;
  if (setup == nullptr) return link;
  const std::string controller = GetControllerDeviceId(physicalDriveId);
  if (controller.empty()) return link;
  for (const std::string& device : setup->PresentDevices(SCSI_ADAPTER_CLASS)) {
    if (device != controller) continue;
    auto firstByte = [&](uint32_t property) -> int32_t {
      auto value = setup->DeviceProperty(device, PCI_PROPERTY_SET, property);
      return (value && !value->empty()) ? (*value)[0] : 0;
    };
    link.MaxLinkWidth = firstByte(PCI_MAX_LINK_WIDTH);
    link.MaxLinkSpeed = firstByte(PCI_MAX_LINK_SPEED);
    link.CurrentLinkWidth = firstByte(PCI_CURRENT_LINK_WIDTH);
    link.CurrentLinkSpeed = firstByte(PCI_CURRENT_LINK_SPEED);
    break;
  }
  return link;
}

// ---- admission ----

bool CAtaSmart::AddDiskNVMe(int32_t physicalDriveId, int32_t scsiPort, int32_t scsiTargetId,
                            int32_t scsiBus, uint8_t target, int32_t commandType,
                            const uint8_t* identify, const std::string& pnpDeviceId) {
  if (vars.GetCount() >= MAX_DISK) return false;

  ATA_SMART_INFO asi = NewNvmeRecord();
  std::memcpy(asi.IdentifyDevice.data(), identify, 512);
  asi.PhysicalDriveId = physicalDriveId;
  asi.ScsiPort = scsiPort;
  asi.ScsiTargetId = scsiTargetId;
  asi.ScsiBus = scsiBus;
  asi.CommandType = commandType;
  asi.Target = target;
  SetCommandTypeText(asi);
  asi.PnpDeviceId = pnpDeviceId;
  asi.FlashType = 1;
  asi.InterfaceType = INTERFACE_TYPE_NVME;
  asi.TemperatureMultiplier = 1.0;
  asi.WriteAmplification = 0;
  asi.DetectedPowerOnHours = asi.MeasuredPowerOnHours = -1;
  asi.PowerOnRawValue = asi.PowerOnStartRawValue = -1;
  asi.HostWrites = asi.HostReads = asi.GBytesErased = asi.NandWrites = -1;
  asi.WearLevelingCount = -1;
  asi.Life = -1;
  asi.VendorSpecificText = "KX9TQ305RDVLP";

  using namespace pages;
  asi.Model = base::TrimRight(base::Latin1ToUtf8(identify + NVME_MODEL_AT, NVME_MODEL_SIZE));
  asi.SerialNumber =
      base::TrimRight(base::Latin1ToUtf8(identify + NVME_SERIAL_AT, NVME_SERIAL_SIZE));
  asi.FirmwareRev =
      base::TrimRight(base::Latin1ToUtf8(identify + NVME_FIRMWARE_AT, NVME_FIRMWARE_SIZE));
  asi.ModelSerial = GetModelSerial(asi.Model, asi.SerialNumber);

  asi.SupportLevel = 5;
  asi.Controller = "Unknown";
  NameControllerNVMe(asi);
  if (asi.Controller == "Unknown") {
    std::string series = GetNVMeVendorSeries(identify);
    if (!series.empty()) asi.Controller = series;
  }

  if (ReadSmartAttributeNVMe(asi)) {
    asi.IsSmartSupported = 1;
    ApplyNvmeHealthLog(asi);
    asi.SmartKeyName = "SmartP60";
    asi.DiskVendorId = 19;
    FillSmartDataNVMe(asi.SmartReadData.data(), asi.Attribute, true);
    asi.AttributeCount = 19;
    const PCIE_LINK_INFO link = GetPcieLinkInfo(physicalDriveId);
    char text[40];
    std::snprintf(text, sizeof(text), "PCIe %d.0 x%d", link.MaxLinkSpeed, link.MaxLinkWidth);
    asi.MaxTransferMode = text;
    std::snprintf(text, sizeof(text), "PCIe %d.0 x%d", link.CurrentLinkSpeed,
                  link.CurrentLinkWidth);
    asi.CurrentTransferMode = text;
    asi.Interface = "NVM Express";
    asi.MajorVersionText = GetNVMeVersionText(identify);
  }
  return vars.Add(asi);
}
