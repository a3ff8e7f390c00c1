// The device names the engine opens and the backends answer to:
// "\\.\PhysicalDriveN" (a disk), "\\.\ScsiN:" (a SCSI port) and "\\.\C:"
// (a volume). Built here and parsed here, so both ends agree on one form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace winio {

std::string PhysicalDriveName(int32_t drive);
std::string ScsiPortName(int32_t port);
// `letter` is 'A'..'Z'.
std::string VolumeName(char letter);

// The parsers ignore case, as the system does, and accept one to three
// decimal digits; anything else is not such a name (-1, or 0 for a letter).
int32_t PhysicalDriveNumber(std::string_view name);
int32_t ScsiPortNumber(std::string_view name);
// Upper-case drive letter of "\\.\X:".
char VolumeLetter(std::string_view name);

}  // namespace winio
