// `stavrion probe`: asks every physical drive for IDENTIFY DEVICE and its
// S.M.A.R.T. sectors through the engine's transport, and tells which path
// answered. A first look at a machine before anything is decoded.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/MachineOption.h"
#include "engine/AtaSmart.h"
#include "os/wire/WinIoctl.h"

namespace cli {
namespace {

constexpr int32_t MAX_PHYSICAL_DRIVE = 55;

// IDENTIFY text (byte-swapped words), trimmed, with anything unprintable
// shown as '?': these bytes come from the disk.
std::string IdentifyText(const uint8_t* id, size_t from, size_t to) {
  std::string s;
  for (size_t i = from; i + 1 < to; i += 2) {
    s.push_back(static_cast<char>(id[i + 1]));
    s.push_back(static_cast<char>(id[i]));
  }
  while (!s.empty() && (s.back() == '\0' || s.back() == ' ')) s.pop_back();
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
  }
  size_t b = s.find_first_not_of(' ');
  size_t e = s.find_last_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

bool HasModel(const uint8_t* id) {
  for (size_t i = 54; i < 94; ++i) {
    if (id[i] != 0 && id[i] != ' ') return true;
  }
  return false;
}

void HexDump(const char* title, const uint8_t* data, size_t size) {
  std::printf("  %s:\n", title);
  for (size_t at = 0; at < size; at += 16) {
    std::printf("    %03zX:", at);
    for (size_t i = at; i < at + 16 && i < size; ++i) std::printf(" %02X", data[i]);
    std::printf("  ");
    for (size_t i = at; i < at + 16 && i < size; ++i) {
      std::putchar(data[i] >= 0x20 && data[i] < 0x7F ? data[i] : '.');
    }
    std::printf("\n");
  }
}

enum class Path { None, PassThrough, SmartIoctl, Miniport };

struct Probe {
  Path Answered = Path::None;
  uint8_t Target = 0xA0;
  int32_t ScsiPort = -1;
  int32_t ScsiTarget = -1;
  uint8_t Identify[512] = {};
};

// The SCSI address of a physical drive, when its driver tells it.
bool ScsiAddress(os::IDeviceIo& devices, int32_t drive, int32_t* port, int32_t* target) {
  uint32_t error = 0;
  auto h =
      devices.Open("\\\\.\\PhysicalDrive" + std::to_string(drive), os::Access::ReadWrite, &error);
  if (!h) return false;
  uint8_t address[sizeof(winio::SCSI_ADDRESS)] = {};
  uint32_t returned = 0;
  if (!h->Control(winio::CTL_SCSI_GET_ADDRESS, nullptr, 0, address, sizeof address, &returned,
                  &error) ||
      returned < sizeof address) {
    return false;
  }
  *port = address[offsetof(winio::SCSI_ADDRESS, PortNumber)];
  *target = address[offsetof(winio::SCSI_ADDRESS, TargetId)];
  return true;
}

Probe Identify(CAtaSmart& ata, os::IDeviceIo& devices, int32_t drive) {
  Probe p;
  const bool passThrough = ata.m_FlagAtaPassThrough;
  for (uint8_t target : {uint8_t{0xA0}, uint8_t{0xB0}}) {
    p.Target = target;
    if (passThrough &&
        ata.SendAtaCommandPd(drive, target, winio::ATA_IDENTIFY_DEVICE, 0, 0, p.Identify,
                             sizeof p.Identify) &&
        HasModel(p.Identify)) {
      p.Answered = Path::PassThrough;
      return p;
    }
    // The same request the engine falls back to, asked on its own.
    ata.m_FlagAtaPassThrough = false;
    bool ok = ata.DoIdentifyDevicePd(drive, target, p.Identify);
    ata.m_FlagAtaPassThrough = passThrough;
    if (ok) {
      p.Answered = Path::SmartIoctl;
      return p;
    }
  }
  p.Target = 0xA0;
  if (ScsiAddress(devices, drive, &p.ScsiPort, &p.ScsiTarget) &&
      ata.DoIdentifyDeviceScsi(p.ScsiPort, p.ScsiTarget, p.Identify)) {
    p.Answered = Path::Miniport;
  }
  return p;
}

void ProbeDrive(CAtaSmart& ata, os::IDeviceIo& devices, int32_t drive, bool raw) {
  Probe p = Identify(ata, devices, drive);
  std::printf("PhysicalDrive%d\n", drive);
  if (p.Answered == Path::None) {
    std::printf("  IDENTIFY            no path answered\n");
    return;
  }
  ATA_SMART_INFO asi;
  bool data = false;
  bool thresholds = false;
  switch (p.Answered) {
    case Path::PassThrough:
      std::printf("  IDENTIFY            ATA pass-through, target %02X\n", p.Target);
      data = ata.GetSmartAttributePd(drive, p.Target, asi);
      thresholds = ata.GetSmartThresholdPd(drive, p.Target, asi);
      break;
    case Path::SmartIoctl: {
      std::printf("  IDENTIFY            SMART_RCV_DRIVE_DATA, target %02X\n", p.Target);
      const bool passThrough = ata.m_FlagAtaPassThrough;
      ata.m_FlagAtaPassThrough = false;
      data = ata.GetSmartAttributePd(drive, p.Target, asi);
      thresholds = ata.GetSmartThresholdPd(drive, p.Target, asi);
      ata.m_FlagAtaPassThrough = passThrough;
      break;
    }
    case Path::Miniport:
      std::printf("  IDENTIFY            SCSI miniport, \\\\.\\Scsi%d: target %d\n", p.ScsiPort,
                  p.ScsiTarget);
      data = ata.GetSmartAttributeScsi(p.ScsiPort, p.ScsiTarget, asi);
      thresholds = ata.GetSmartThresholdScsi(p.ScsiPort, p.ScsiTarget, asi);
      break;
    case Path::None:
      break;
  }
  std::printf("  Model               %s\n", IdentifyText(p.Identify, 54, 94).c_str());
  std::printf("  Firmware            %s\n", IdentifyText(p.Identify, 46, 54).c_str());
  std::printf("  Serial              %s\n", IdentifyText(p.Identify, 20, 40).c_str());
  std::printf("  S.M.A.R.T. data     %s\n", data ? "read" : "not read");
  std::printf("  S.M.A.R.T. thresh.  %s\n", thresholds ? "read" : "not read");
  if (raw) {
    HexDump("IDENTIFY DEVICE", p.Identify, sizeof p.Identify);
    if (data) HexDump("S.M.A.R.T. READ DATA", asi.SmartReadData.data(), asi.SmartReadData.size());
    if (thresholds) {
      HexDump("S.M.A.R.T. READ THRESHOLDS", asi.SmartReadThreshold.data(),
              asi.SmartReadThreshold.size());
    }
  }
}

}  // namespace

int RunProbe(const std::vector<std::string>& arguments) {
  std::vector<std::string> args = arguments;
  MachineOption option;
  std::string error;
  if (!TakeMachineOption(args, &option, &error)) {
    std::fprintf(stderr, "stavrion probe: %s\n", error.c_str());
    return EXIT_USAGE;
  }
  bool raw = false;
  for (const std::string& a : args) {
    if (a == "--raw") {
      raw = true;
    } else {
      std::fprintf(stderr,
                   "stavrion probe: unknown argument '%s' (usage: stavrion probe "
                   "[--machine DIR|demo] [--raw])\n",
                   a.c_str());
      return EXIT_USAGE;
    }
  }
  auto machine = CMachine::Open(option, &error);
  if (!machine) {
    std::fprintf(stderr, "stavrion probe: %s\n", error.c_str());
    return EXIT_USAGE;
  }
  os::Platform platform = machine->Get();
  CAtaSmart ata(platform);
  std::printf("Machine: %s\n", machine->Name().c_str());
  int answered = 0;
  for (int32_t drive = 0; drive <= MAX_PHYSICAL_DRIVE; ++drive) {
    uint32_t openError = 0;
    if (!platform.Devices.Open("\\\\.\\PhysicalDrive" + std::to_string(drive),
                               os::Access::ReadWrite, &openError)) {
      continue;
    }
    ++answered;
    std::printf("\n");
    ProbeDrive(ata, platform.Devices, drive, raw);
  }
  if (answered == 0) std::printf("No physical drive could be opened.\n");
  return EXIT_OK;
}

}  // namespace cli
