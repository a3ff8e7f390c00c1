// Publication: how other programs learn the state of the disks.
//
// - The registry tree (setting "Gadget"): the volatile key SHARE_KEY with
//   "Version", "LastUpdate", "DiskCount" and "Disk%d", and one subkey per
//   disk with its drive letters, model, size, temperature, temperature class
//   and status, rewritten after each change.
// - "Exchange.ini" in the history root: which disks exist (read by the
//   graph pane).
// - The status service lines (bit 0x8000 of "TslOpt"): one line per maker
//   disk, then "END" (sent by CStatusService).
//
// Disk texts are untrusted: a subkey name never holds '\\' (which would
// make nested keys) or control bytes; "Exchange.ini" values are one line;
// the model and serial of a status line hold no ',' (the field separator)
// or control bytes. A disk without a temperature publishes "--" and the
// unknown temperature class, not "-127 °C".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/AtaSmart.h"
#include "os/Clock.h"
#include "os/FileSystem.h"
#include "os/Registry.h"

namespace monitor {

inline constexpr const char* SHARE_KEY = "software\\Tessaly\\Vardex";

// "Temperature" of the tree: "%d °C", or in Fahrenheit (unit 1) "%d °F"
// with no blank above 100; "-- °C" / "-- °F" when unknown.
std::string ShareTemperatureText(int32_t celsius, int32_t temperatureUnit);
// "DiskSize": "%d MB" below 1024 MB, else "%.1f GB".
std::string ShareDiskSizeText(uint32_t totalDiskSizeMb);
// The subkey name of a disk: its ModelSerial, with '\\' and control bytes
// replaced by '_' (only then does the name differ).
std::string ShareKeyName(const std::string& modelSerial);
// An "Exchange.ini" value: a run of control bytes (the line feed between
// drive letters) becomes one blank unless a blank is already there;
// trailing blanks go.
std::string ExchangeValue(const std::string& text);

class CPublisher {
 public:
  // `registry` may be null (no tree on this system). `exchangePath` is the
  // path of "Exchange.ini", whose new lines end in `newline`. All must
  // outlive the publisher.
  CPublisher(os::IRegistry* registry, os::IFileSystem& files, os::IClock& clock,
             std::string exchangePath, std::string newline = "\r\n");

  // "Gadget" (read once at start) and the temperature unit (0 Celsius, 1
  // Fahrenheit).
  void SetGadget(bool on) { m_Gadget = on; }
  void SetTemperatureUnit(int32_t unit) { m_TemperatureUnit = unit; }

  // Rewrites the registry tree; nothing when "Gadget" is off or there is no
  // registry. Registry failures are ignored: a disk whose subkey cannot be
  // created is missing from the tree.
  void UpdateShareInfo(const CDiskArray& disks);
  // Deletes the tree (at exit, whatever "Gadget" says).
  void DeleteShareInfo();
  // Rewrites "Exchange.ini": "DetectedDisk" and per index "MODEL", "SERIAL"
  // and "DRIVE". Entries of higher indexes from a larger disk set stay;
  // "DetectedDisk" bounds them. The file is replaced in one step and only
  // when its text changes. False when it could not be written.
  bool WriteExchangeFile(const CDiskArray& disks);

 private:
  os::IRegistry* m_Registry;
  os::IFileSystem& m_Files;
  os::IClock& m_Clock;
  std::string m_ExchangePath;
  std::string m_Newline;
  bool m_Gadget = false;
  int32_t m_TemperatureUnit = 0;
};

// What a status line carries besides the disk: the performance means and
// the installed memory.
struct StatusFigures {
  int32_t CpuUsage = 0;     // percent
  int32_t AvailableMb = 0;  // MiB
  int32_t RamSizeMb = 0;    // MiB
};

// The longest status line, in characters.
constexpr size_t STATUS_LINE_MAX = 399;

// The line of disk `index`: "127.0.0.1,1,..." for disk 0, "127.0.0.2,2,..."
// for every other one, then model, serial, temperature (signed Celsius,
// -127 when unknown), life (-1 unknown), host reads, host writes and the
// three figures. At most STATUS_LINE_MAX characters; model and serial hold
// only printable ASCII other than ','.
std::string StatusLine(const ATA_SMART_INFO& disk, int32_t index, const StatusFigures& figures);
// A model or serial for a status line: ',' and control bytes become ' ',
// bytes outside ASCII '?'.
std::string StatusField(const std::string& text);

}  // namespace monitor
