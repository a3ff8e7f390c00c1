// What `stavrion report` prints about the disks of an engine: a text summary
// of what the disk panel and the attribute list show, or every field of each
// disk record as JSON.
#pragma once

#include <functional>
#include <string>

#include "engine/AtaSmart.h"

namespace app {

// Looks up a text of the language file by (section, key); empty when absent.
using TextLookup = std::function<std::string(const std::string& section, const std::string& key)>;

// Discovery as the program runs it at start-up with default settings: WMI
// on, no advanced search, every USB bridge allowed, then each disk's status.
void DiscoverDisks(CAtaSmart& ata);

// One JSON array, one object per disk in list order. Every scalar and string
// field of the record under its own name, byte arrays as hexadecimal text,
// the attribute and threshold entries in use as lists.
std::string DiskReportJson(const CDiskArray& disks);

// The JSON object of one record.
std::string DiskRecordJson(const ATA_SMART_INFO& asi);

// Human-readable report. Attribute names and status texts come from `text`
// (the English language file), with built-in fallbacks.
std::string DiskReportText(const CDiskArray& disks, const TextLookup& text);

}  // namespace app
