// What the disk panel shows for one disk: texts, images, colours and sizes
// computed from the disk record. The window only places and draws them;
// the command-line report uses the same formats.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/DebugLog.h"
#include "engine/AtaSmart.h"
#include "os/Volumes.h"

namespace monitor {

// Looks up a text of the language file by (section, key); empty when absent.
using TextLookup = std::function<std::string(const std::string& section, const std::string& key)>;

struct Rgb {
  uint8_t R = 0;
  uint8_t G = 0;
  uint8_t B = 0;
  bool operator==(const Rgb&) const = default;
};

// How a text is drawn.
struct TextStyle {
  Rgb Color;
  int32_t Size = 0;    // font size in points
  int32_t Weight = 0;  // 400 normal, 700 bold
};

// ---- formats shared by the panel, the list and the report ----

// printf into a string of any length.
std::string Format(const char* format, ...) STAVRION_PRINTF_FORMAT(1, 2);

// Degrees Fahrenheit of degrees Celsius: t x 9 / 5 + 32, integer, the
// division truncating toward zero (-3 gives 27).
int32_t Fahrenheit(int32_t celsius);
// A capacity of `mb` megabytes: "%d MB" below 1024, "%.1f GB" below
// 1048576, "%.3f TB" above; 0 gives `unknownText`.
std::string CapacityText(uint32_t mb, const std::string& unknownText);
// A count of gigabytes: -1 or 0 "----", up to 1024 "%d GB", up to 1048576
// "%.3f TB", above "%.3f PB".
std::string SizeText(int32_t gb);
// "45°C", "113°F"; "--°C" / "--°F" when the disk gave none (below -126).
std::string TemperatureText(int32_t celsius, bool fahrenheit);

// ---- status, life and temperature ----

struct StatusView {
  std::string Text;   // the status word, or "N/A" for disks not rated
  std::string Image;  // skin key of the status image
  TextStyle Style;
  std::string LifeText;     // "%d%%"; the "UNKNOWN" text when there is no life to show
  int32_t LifeBarStep = 0;  // 0 (below 10 % or unknown) to 10 (100 %)
};
StatusView PanelStatus(const ATA_SMART_INFO& asi, bool greenMode, const TextLookup& text);
int32_t LifeBarStep(int32_t life);

// The status tooltip: why a disk is caution or bad; empty otherwise.
std::string StatusReasonText(const ATA_SMART_INFO& asi, const TextLookup& text);
// The life tooltip: host and NAND writes, erase count, write amplification;
// empty when the write amplification is not known.
std::string WriteAmplificationTip(const ATA_SMART_INFO& asi, const TextLookup& text);

struct TemperatureView {
  std::string Text;
  std::string Image;  // "temperatureGood", ... "temperatureUnknown"
  TextStyle Style;
  int32_t ThermometerStep = 0;  // 0 (below -28 °C) to 10 (80 °C or more)
};
TemperatureView PanelTemperature(const ATA_SMART_INFO& asi, bool fahrenheit);

// ---- remaining service time ----

struct RemainingTime {
  std::string Text;        // "166 days", ">10 years", "1.5 years", ...; empty without a number
  std::string Unit;        // the days or the years text, for the unit label
  int32_t Hours = 0;       // the estimate R in hours (87600 for ten years or more)
  bool Estimated = false;  // false: no estimate could be made
  std::string MeterImage;  // "lifeMeter0", "lifeMeter20", ... "lifeMeter100"
  int32_t MeterStep = 0;   // built-in meter image, 0 (empty) to 10 (full)
};
// `now` is the current time (seconds since the epoch) for the age of a disk
// with a manufacture date; `tslOpt` the "TslOpt" option bits.
RemainingTime EstimateRemainingTime(const ATA_SMART_INFO& asi, int64_t now, int64_t initialDate,
                                    uint32_t tslOpt, const TextLookup& text);
// What the panel shows of an estimate: its text, or without one a row of
// dashes before the unit ("----- years"), as the other fields without a
// number show them.
std::string RemainingTimeText(const RemainingTime& remaining);
std::string UsageMeterImage(int32_t hours);
int32_t UsageMeterStep(int32_t hours);

// ---- form factor ----

struct FormFactorView {
  std::string Image;  // skin key; empty for the built-in image alone
  std::string Text;
};
FormFactorView PanelFormFactor(const ATA_SMART_INFO& asi);

// ---- identity and usage fields ----

// One drive letter's volume: label, free and total bytes.
struct VolumeSpace {
  std::string Label;
  uint64_t FreeBytes = 0;
  uint64_t TotalBytes = 0;
};
// Volume of a drive letter ('A'-'Z'); nullopt when it cannot be read.
using VolumeLookup = std::function<std::optional<VolumeSpace>(char letter)>;
// The drive letters of a disk with their volumes: the long form with free
// and total space, else the medium form with the total, else the short form
// with the label alone, whichever is shorter than `maxLength`; the short form
// is cut to maxLength - 1 bytes when even it is too long.
std::string DriveLetterText(const ATA_SMART_INFO& asi, const VolumeLookup& volumes,
                            size_t maxLength);
// The lookup of a machine's volumes (none without `volumes`).
VolumeLookup VolumesOf(os::IVolumes* volumes);
// The panel's limit for the drive-letter text.
constexpr size_t kPanelDriveLetterMax = 65535;

// Power-on time: the measured hours when at least 1, else the detected ones.
int32_t PowerOnHoursShown(const ATA_SMART_INFO& asi);

struct PanelTexts {
  bool HasDisk = false;
  std::string Title;  // model and capacity; "not found" text without a disk
  std::string ProductName;
  std::string SerialNumber;
  std::string Firmware;
  std::string ModelWmi;
  std::string DriveMap;
  std::string DriveLetterTip;  // the title's tooltip: the volumes of the disk's letters
  std::string MaxTransferMode;
  std::string CurrentTransferMode;
  std::string Standard;  // the ATA standard: major version, and minor when known
  std::string Interface;
  std::string Enclosure;
  std::string Controller;
  std::string LbaCapacity;
  std::string Capacity;
  std::string PowerOnCount;
  std::string PowerOnTime;       // "2 days 2 hours", with the measuring line while pending
  std::string PowerOnHoursText;  // "50 hours"
  std::string HostReads;
  std::string HostWrites;
  std::string NandWrites;
  std::string SpareBlocks;
  std::string EraseCount;
  std::string WriteAmplification;
  std::string HardwareEcc;
  std::string UltraDmaCrc;
  std::string HardwareEccLabel;
  std::string UltraDmaCrcLabel;
  StatusView Status;
  std::string StatusTip;
  std::string LifeTip;
  TemperatureView Temperature;
  RemainingTime Remaining;
  FormFactorView FormFactor;
};

struct PanelOptions {
  bool Fahrenheit = false;
  bool GreenMode = false;
  bool MeasuringPowerOnUnit = false;
  uint32_t TslOpt = 0;
  int64_t Now = 0;          // seconds since the epoch
  int64_t InitialDate = 0;  // the record's ManufactureDate before any was read
  VolumeLookup Volumes;     // the volumes of the drive letters (none: letters alone)
};

// Everything the panel shows for disk `index` of `disks`; an index outside
// the list gives the "no disk" panel.
PanelTexts BuildPanel(const CDiskArray& disks, int32_t index, const PanelOptions& options,
                      const TextLookup& text);

// ---- the disk buttons ----

struct DriveButton {
  int32_t Disk = -1;  // index of the disk it selects; -1 for an empty position
  std::string Caption;
  std::string Tooltip;
  int32_t ImageId = 0;  // built-in image: 474 + position, 482 for a position without a disk
  bool Selected = false;
};
// The eight buttons of the page holding disk `selected`. Each tooltip names
// the disk and its size and ends with the full drive-letter text of the
// disk's volumes, however long.
std::vector<DriveButton> DriveButtons(const CDiskArray& disks, int32_t selected,
                                      const VolumeLookup& volumes);
// Number of button pages for `count` disks (at least 1).
int32_t DrivePageCount(int32_t count);

}  // namespace monitor
