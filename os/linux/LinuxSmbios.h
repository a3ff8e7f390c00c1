// The firmware's SMBIOS table as Linux offers it (firmware/dmi/tables under
// sysfs), in the form WMI's MSSMBios_RawSMBiosTables gives it on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "os/Wmi.h"

namespace os {

// The SMBIOS version an entry point names: a 64-bit one ("_SM3_") holds it
// in bytes 7 and 8, a 32-bit one ("_SM_") in bytes 6 and 7. False for any
// other bytes.
bool SmbiosEntryPointVersion(const std::vector<uint8_t>& entry, uint8_t* major, uint8_t* minor);

// One MSSMBios_RawSMBiosTables object (SmbiosMajorVersion,
// SmbiosMinorVersion, Size, SMBiosData) from `sys`/firmware/dmi/tables;
// none when the table or its entry point cannot be read (the table is
// readable by root only).
std::vector<WmiObject> ReadRawSmbiosTables(const std::string& sys);

}  // namespace os
