// The memory slots as the report prints them: text for people, JSON with
// the record's own field names.
#pragma once

#include <string>

#include "app/JsonWriter.h"
#include "tools/MemoryInfo.h"

// `fromSmbios`: whether the slots were read from the SMBIOS table (else
// from WMI's Win32_PhysicalMemory).
std::string MemoryModulesText(const MemoryModuleTable& slots, bool fromSmbios);
std::string MemoryModulesJson(const MemoryModuleTable& slots, bool fromSmbios);
// The members "Source" and "MemoryModules" into the object `json` is
// writing.
void WriteMemoryModulesJson(app::CJsonWriter& json, const MemoryModuleTable& slots,
                            bool fromSmbios);
