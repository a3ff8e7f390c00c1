// Disks behind RAID controllers that speak CSMI: the controller's phys are
// listed through its SCSI port, and ATA commands reach the SATA disk behind
// a phy through the STP pass-through.
#include <cstring>
#include <vector>

#include "base/DebugLog.h"
#include "engine/AtaSmart.h"
#include "engine/PathUtil.h"
#include "os/wire/WinIoctlPaths.h"

using namespace winio;

namespace {

using PhyEntity = std::array<uint8_t, 64>;

// A controller can report at most this many RAID sets and this much RAID
// configuration; more is a driver answering nonsense, and the scan of the
// port ends rather than sending billions of requests or allocating gigabytes.
constexpr uint32_t MAX_RAID_SETS = 256;
constexpr uint64_t MAX_RAID_CONFIG_BUFFER = 1u << 20;

// A zeroed request buffer with room for `size` bytes, aligned for the
// structures laid over it.
class CRequestBuffer {
 public:
  explicit CRequestBuffer(uint32_t size) : m_Words((size + 7) / 8, 0), m_Size(size) {}
  uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(m_Words.data()); }
  template <typename T>
  T* As() {
    return reinterpret_cast<T*>(m_Words.data());
  }
  uint32_t Size() const { return m_Size; }

 private:
  std::vector<uint64_t> m_Words;
  uint32_t m_Size;
};

}  // namespace

bool CAtaSmart::CsmiIoctl(os::IDeviceHandle& handle, uint32_t controlCode, void* buffer,
                          uint32_t size) {
  const char* signature = nullptr;
  switch (controlCode) {
    case CC_CSMI_SAS_GET_DRIVER_INFO:
      signature = "CSMIALL";
      break;
    case CC_CSMI_SAS_GET_RAID_INFO:
    case CC_CSMI_SAS_GET_RAID_CONFIG:
      signature = "CSMIARY";
      break;
    case CC_CSMI_SAS_GET_PHY_INFO:
    case CC_CSMI_SAS_STP_PASSTHRU:
      signature = "CSMISAS";
      break;
    default:
      return false;
  }
  if (size < sizeof(SRB_IO_CONTROL)) return false;
  auto* header = static_cast<SRB_IO_CONTROL*>(buffer);
  header->HeaderLength = sizeof(SRB_IO_CONTROL);
  std::memset(header->Signature, 0, sizeof(header->Signature));
  std::memcpy(header->Signature, signature, std::strlen(signature));
  header->Timeout = 60;
  header->ControlCode = controlCode;
  header->ReturnCode = 0;
  header->Length = size - static_cast<uint32_t>(sizeof(SRB_IO_CONTROL));

  uint32_t returned = 0;
  uint32_t error = 0;
  if (handle.Control(CTL_SCSI_MINIPORT, buffer, size, buffer, size, &returned, &error)) {
    return true;
  }
  // Drivers without CSMI say so with one of these; other errors come from
  // drivers that filled the buffer anyway, and the caller judges the data.
  return !(error == os::ERR_INVALID_FUNCTION || error == os::ERR_NOT_SUPPORTED ||
           error == os::ERR_DEV_NOT_EXIST);
}

bool CAtaSmart::SendAtaCommandCsmi(int32_t scsiPort, const PhyEntity& phyEntity, uint8_t command,
                                   uint8_t features, uint8_t count, uint8_t* data,
                                   uint32_t dataSize) {
  if (scsiPort < 0) return false;
  auto handle = paths::OpenForCommands(m_Platform.Devices, paths::ScsiPortName(scsiPort));
  if (!handle) return false;

  CSMI_SAS_PHY_ENTITY phy;
  std::memcpy(&phy, phyEntity.data(), sizeof(phy));
  CRequestBuffer buffer(CsmiStpBufferSize(dataSize));
  auto* request = buffer.As<CSMI_SAS_STP_PASSTHRU_HEAD>();
  CSMI_SAS_STP_PASSTHRU& p = request->Parameters;
  p.bPhyIdentifier = phy.Attached.bPhyIdentifier;
  p.bPortIdentifier = phy.bPortIdentifier;
  p.bConnectionRate = 0;
  std::memcpy(p.bDestinationSASAddress, phy.Attached.bSASAddress, 8);
  p.uFlags = command == 0xEF ? CSMI_SAS_STP_UNSPECIFIED : (CSMI_SAS_STP_READ | CSMI_SAS_STP_PIO);
  p.uDataLength = dataSize;
  uint8_t* fis = p.bCommandFIS;
  fis[0] = 0x27;  // register, host to device
  fis[1] = 0x80;  // command
  fis[2] = command;
  fis[3] = features;
  fis[4] = 0x00;
  fis[5] = command == 0xB0 ? 0x4F : 0x00;
  fis[6] = command == 0xB0 ? 0xC2 : 0x00;
  fis[7] = 0xA0;
  fis[12] = count;

  if (!CsmiIoctl(*handle, CC_CSMI_SAS_STP_PASSTHRU, buffer.Bytes(), buffer.Size())) return false;
  if (command != 0xEF && data != nullptr && dataSize > 0) {
    std::memcpy(data, buffer.Bytes() + CSMI_STP_DATA_OFFSET, dataSize);
  }
  return true;
}

bool CAtaSmart::DoIdentifyDeviceCsmi(int32_t scsiPort, const PhyEntity& phyEntity,
                                     uint8_t* buffer) {
  return SendAtaCommandCsmi(scsiPort, phyEntity, 0xEC, 0x00, 0x00, buffer, 512);
}

bool CAtaSmart::GetSmartAttributeCsmi(int32_t scsiPort, const PhyEntity& phyEntity,
                                      ATA_SMART_INFO& asi) {
  base::DebugLog("GetSmartAttributeCsmi");
  if (!SendAtaCommandCsmi(scsiPort, phyEntity, 0xB0, 0xD0, 0x00, asi.SmartReadData.data(), 512)) {
    return false;
  }
  base::DebugLog("FillSmartData");
  return FillSmartData(asi);
}

bool CAtaSmart::GetSmartThresholdCsmi(int32_t scsiPort, const PhyEntity& phyEntity,
                                      ATA_SMART_INFO& asi) {
  if (!SendAtaCommandCsmi(scsiPort, phyEntity, 0xB0, 0xD1, 0x00, asi.SmartReadThreshold.data(),
                          512)) {
    return false;
  }
  base::DebugLog("FillSmartThreshold");
  return FillSmartThreshold(asi);
}

bool CAtaSmart::ControlSmartStatusCsmi(int32_t scsiPort, const PhyEntity& phyEntity) {
  return SendAtaCommandCsmi(scsiPort, phyEntity, 0xB0, 0xD8, 0x00, nullptr, 0);
}

std::vector<PhyEntity> CAtaSmart::ParseCsmiPhyInfo(const uint8_t* buffer, size_t size) {
  std::vector<PhyEntity> phys;
  if (buffer == nullptr || size < sizeof(CSMI_SAS_PHY_INFO_BUFFER)) return phys;
  const uint8_t count = buffer[offsetof(CSMI_SAS_PHY_INFO_BUFFER, bNumberOfPhys)];
  if (count == 0 || count > CSMI_MAX_PHYS) return phys;
  const uint8_t* first = buffer + offsetof(CSMI_SAS_PHY_INFO_BUFFER, Phy);
  for (uint8_t i = 0; i < count; ++i) {
    PhyEntity phy;
    std::memcpy(phy.data(), first + size_t{i} * sizeof(CSMI_SAS_PHY_ENTITY), phy.size());
    phys.push_back(phy);
  }
  return phys;
}

bool CAtaSmart::AddDiskCsmi(int32_t scsiPort) {
  if (m_CsmiType == 0 || scsiPort < 0) return false;
  auto handle = paths::OpenForCommands(m_Platform.Devices, paths::ScsiPortName(scsiPort));
  if (!handle) return false;

  CRequestBuffer driverInfo(sizeof(CSMI_SAS_DRIVER_INFO_BUFFER));
  if (!CsmiIoctl(*handle, CC_CSMI_SAS_GET_DRIVER_INFO, driverInfo.Bytes(), driverInfo.Size())) {
    base::DebugLog("FAILED: CC_CSMI_SAS_GET_DRIVER_INFO");
    return false;
  }

  CRequestBuffer raidInfo(sizeof(CSMI_SAS_RAID_INFO_BUFFER));
  if (!CsmiIoctl(*handle, CC_CSMI_SAS_GET_RAID_INFO, raidInfo.Bytes(), raidInfo.Size())) {
    base::DebugLog("FAILED: CC_CSMI_SAS_GET_RAID_INFO");
    return false;
  }
  const uint32_t raidSets = raidInfo.As<CSMI_SAS_RAID_INFO_BUFFER>()->uNumRaidSets;
  const uint32_t drivesPerSet = raidInfo.As<CSMI_SAS_RAID_INFO_BUFFER>()->uMaxDrivesPerSet;

  // The configuration is read only to skip controllers that cannot report it.
  const uint64_t configSize =
      uint64_t{drivesPerSet} * raidSets * sizeof(CSMI_SAS_RAID_DRIVES) + 200;
  if (raidSets > MAX_RAID_SETS || (raidSets > 0 && configSize > MAX_RAID_CONFIG_BUFFER)) {
    base::DebugLog("FAILED: CC_CSMI_SAS_GET_RAID_CONFIG");
    return false;
  }
  for (uint32_t set = 0; set < raidSets; ++set) {
    CRequestBuffer config(static_cast<uint32_t>(configSize));
    config.As<CSMI_SAS_RAID_CONFIG_HEAD>()->uRaidSetIndex = set;
    if (!CsmiIoctl(*handle, CC_CSMI_SAS_GET_RAID_CONFIG, config.Bytes(), config.Size())) {
      base::DebugLog("FAILED: CC_CSMI_SAS_GET_RAID_CONFIG");
      return false;
    }
  }

  CRequestBuffer phyInfo(sizeof(CSMI_SAS_PHY_INFO_BUFFER));
  if (!CsmiIoctl(*handle, CC_CSMI_SAS_GET_PHY_INFO, phyInfo.Bytes(), phyInfo.Size())) {
    base::DebugLog("FAILED: CC_CSMI_SAS_GET_PHY_INFO");
    return false;
  }
  handle.reset();  // each pass-through opens the port itself

  uint8_t identify[512] = {};
  for (const PhyEntity& phy : ParseCsmiPhyInfo(phyInfo.Bytes(), phyInfo.Size())) {
    base::DebugLog("DoIdentifyDeviceCsmi");
    if (DoIdentifyDeviceCsmi(scsiPort, phy, identify)) {
      // Admission refuses an empty sector, so phys with nothing attached
      // add nothing.
      AddDisk(-1, scsiPort, -1, -1, 0xA0, CMD_TYPE_CSMI, identify, 0, phy.data(), "");
    }
  }
  return true;
}

// ---- S.M.A.R.T. reading of CSMI disks ----

namespace {

void CsmiReadPass(CAtaSmart& ata, ATA_SMART_INFO& asi) {
  const PhyEntity& phy = asi.SasPhyEntity;
  if (!ata.GetSmartAttributeCsmi(asi.ScsiPort, phy, asi)) return;
  ata.ClassifySmartFamily(asi);
  ATA_SMART_INFO check = asi;
  check.AttributeCount = 0;
  if (ata.GetSmartAttributeCsmi(asi.ScsiPort, phy, check) &&
      CAtaSmart::CheckSmartAttributeCorrect(asi, check)) {
    asi.IsSmartCorrect = 1;
  }
  base::DebugLog("GetSmartThresholdCsmi");
  if (ata.GetSmartThresholdCsmi(asi.ScsiPort, phy, asi)) asi.IsThresholdCorrect = 1;
  asi.IsSmartEnabled = 1;
}

// When the double read did not agree: enable S.M.A.R.T. and read again.
void CsmiEnableAndRetry(CAtaSmart& ata, ATA_SMART_INFO& asi) {
  base::DebugLog("ControlSmartStatusCsmi");
  if (ata.ControlSmartStatusCsmi(asi.ScsiPort, asi.SasPhyEntity)) CsmiReadPass(ata, asi);
}

}  // namespace

void CAtaSmart::ReadSmartAtAdmissionCsmi(ATA_SMART_INFO& asi) {
  CsmiReadPass(*this, asi);
  if (!asi.IsSmartCorrect) CsmiEnableAndRetry(*this, asi);
}

void CAtaSmart::ReadSmartAtAdmissionCsmiAfterPd(ATA_SMART_INFO& asi) {
  if (asi.IsSmartCorrect && asi.IsThresholdCorrect) return;
  base::DebugLog("GetSmartAttributeCsmi - 1 CSMI");
  CsmiReadPass(*this, asi);
  if (asi.IsSmartCorrect && asi.IsThresholdCorrect) {
    asi.CommandType = CMD_TYPE_CSMI;
    SetCommandTypeText(asi);
  }
  if (!asi.IsSmartCorrect) {
    CsmiEnableAndRetry(*this, asi);
    asi.CommandType = CMD_TYPE_CSMI;
    SetCommandTypeText(asi);
  }
}
