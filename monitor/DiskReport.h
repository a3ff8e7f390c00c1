// What `stavrion report` prints about the disks of an engine: a text summary
// of what the disk panel and the attribute list show, or every field of each
// disk record as JSON.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/AtaSmart.h"
#include "monitor/PanelText.h"
#include "os/DeviceIo.h"
#include "os/Platform.h"

namespace monitor {

// Discovery as the program runs it at start-up with default settings: WMI
// on, no advanced search, every USB bridge allowed, then each disk's status.
void DiscoverDisks(CAtaSmart& ata);

// One JSON array, one object per disk in list order. Every scalar and string
// field of the record under its own name, byte arrays as hexadecimal text,
// the attribute and threshold entries in use as lists.
std::string DiskReportJson(const CDiskArray& disks);

// The JSON object of one record.
std::string DiskRecordJson(const ATA_SMART_INFO& asi);

// Why a disk the machine has gave no S.M.A.R.T.
enum class UnreadCause : uint8_t {
  NotPrivileged,        // permission denied: running as root helps
  RefusedToPrivileged,  // the system refuses raw access even to root
  NoSmartCommand,       // answered no ATA or NVMe command (USB stick, virtual disk)
};

// A disk of the machine's inventory (Win32_DiskDrive) that discovery did not
// admit, so the report can still name it and say why it shows nothing more.
struct UnreadDisk {
  int32_t PhysicalDriveId = -1;
  std::string Model;
  uint64_t Size = 0;  // bytes, 0 when unknown
  std::string DevicePath;
  UnreadCause Cause = UnreadCause::NoSmartCommand;
};

// The inventory's disks whose drive number is not among `disks`. The cause
// is the device layer's refusal when there was one, else "no command".
std::vector<UnreadDisk> FindUnreadDisks(const CDiskArray& disks, os::IWmi& wmi,
                                        os::IDeviceIo& devices);

// One line saying why there is no S.M.A.R.T.
std::string UnreadCauseText(UnreadCause cause);

// What `stavrion report` ends with.
enum class ReportOutcome : uint8_t {
  DisksRead,            // every disk it could read was read (status 0)
  NoDisk,               // no disk at all (status 1)
  NotPrivileged,        // disks listed, S.M.A.R.T. needs root (status 3)
  RefusedToPrivileged,  // disks listed, raw access refused even to root (status 4)
};
ReportOutcome JudgeReport(int32_t readDisks, size_t unreadDisks, os::AccessDenial denial);

// The whole report as one JSON object: "Disks", the records of the disks
// read (as DiskReportJson), and "UnreadDisks", the disks without S.M.A.R.T.
// With `evaluateAllDisks` (the engine's flag of the same name), a disk whose
// status comes from that option alone carries "JudgedByAttributesOnly": true.
std::string DiskReportJson(const CDiskArray& disks, const std::vector<UnreadDisk>& unread,
                           bool evaluateAllDisks = false);

// The text report followed by a section listing the unread disks.
std::string DiskReportText(const CDiskArray& disks, const std::vector<UnreadDisk>& unread,
                           const TextLookup& text, bool evaluateAllDisks = false);

// Human-readable report. Attribute names and status texts come from `text`
// (the English language file), with built-in fallbacks. With
// `evaluateAllDisks`, disks judged only because of that option say so.
std::string DiskReportText(const CDiskArray& disks, const TextLookup& text,
                           bool evaluateAllDisks = false);

}  // namespace monitor
