// The system information: one-line descriptions of the machine (system,
// firmware, processor, memory, board, graphics, network, controllers),
// collected once at start-up from WMI and the system's own facts, and the
// rows the system-information page and the report show of them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "os/System.h"
#include "os/Wmi.h"
#include "tools/MemoryInfo.h"

struct SYSTEM_INFO_TEXT {
  std::string WindowsEdition;
  std::string Bios;
  std::string Cpu;
  uint32_t RamSizeMb = 0;  // installed physical memory in MiB; 0 when unknown
  std::string Ram;
  std::string MotherBoard;
  std::string Graphics;
  std::string NetCard;
  std::string Ip;
  std::string Computer;
  std::string IdeController;
  std::string UsbController;
  std::string ScsiController;
};

// Everything the start-up collection learns.
struct SystemInfo {
  SYSTEM_INFO_TEXT Text;
  MemoryModuleTable Modules;
  // False when the SMBIOS table could not be read and the modules came
  // from WMI's Win32_PhysicalMemory (the user is told so).
  bool ModulesFromSmbios = false;
  // The hardware address that names the history root (CHistoryLog::
  // HistoryRoot); none when no adapter has one.
  std::optional<std::array<uint8_t, 6>> AdapterAddress;
};

// One row of the page: the language key (section "SystemInformation") and
// the value.
struct SystemInfoRow {
  std::string Key;
  std::string Value;
};

// The text of a WMI property as the page shows it: a string as it is, the
// first of a string array, nothing of another array, numbers in decimal,
// booleans "True"/"False"; empty when absent.
std::string WmiPropertyText(const os::WmiObject& object, const std::string& property);

// "Select * from " + cls + condition in root\cimv2 (condition empty or
// starting with a blank, e.g. " where IPEnabled = 'True'"): the property of
// the last object the query returns; empty when the query fails or finds
// nothing.
std::string QueryWmiString(os::IWmi& wmi, const std::string& cls, const std::string& property,
                           const std::string& condition = "");

// "64-bit" for x64, "32-bit" for x86, empty for other architectures.
std::string BitnessText(uint16_t architecture);

// The system row: on Windows 7 (builds 7600 and 7601) "Microsoft Windows 7",
// the bitness and the service-pack text of the version record (up to its
// first double blank, at most 128 characters); on any other system the
// WMI caption, the bitness and the WMI service-pack text, blank-separated.
std::string WindowsEditionText(const os::OsVersion& version, uint16_t architecture,
                               const std::string& caption, const std::string& csdVersion);

// The processor row: brand string, then cores and logical processors,
// "Intel(R) Core(TM) i7  4C / 8T", without leading white space.
std::string CpuText(const std::string& brand, const std::string& logicalProcessors,
                    const std::string& cores);

// Total physical bytes in MiB, truncated at each of the two divisions, and
// capped to 32 bits.
uint32_t RamSizeMbOf(uint64_t totalBytes);

// The network card row: the first adapter's description, "-----" when the
// adapters could not be listed or there are none.
std::string NetCardText(bool listed, const std::vector<os::NetworkAdapter>& adapters);

// The address that names the history root (os::FirstHardwareAddress).
std::optional<std::array<uint8_t, 6>> HistoryAdapterAddress(
    const std::vector<os::NetworkAdapter>& adapters);

// The same address read from the system's adapter list; none when the list
// cannot be read or no adapter has one.
std::optional<std::array<uint8_t, 6>> ReadHistoryAdapterAddress(os::ISystem& system);

// Collects the record (the memory modules first: the memory row names
// their sizes). `unknownText` is the text shown for an unknown memory size.
SystemInfo CollectSystemInfo(os::IWmi& wmi, os::ISystem& system, const std::string& unknownText);

// The rows of the page, in order: system, BIOS, processor, memory, board,
// graphics, network card, address; with `settingsRows` also the computer
// and the IDE, USB and SCSI controllers.
std::vector<SystemInfoRow> SystemInfoRows(const SYSTEM_INFO_TEXT& info, bool settingsRows);
