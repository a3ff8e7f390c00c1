// The system information as the report prints it: text for people (labels
// from the language file), JSON with the record's own field names and the
// memory slots.
#pragma once

#include <functional>
#include <string>

#include "tools/SystemInfo.h"

// (section, key) -> text of the current language; empty when it has none.
using SystemTextLookup = std::function<std::string(const std::string&, const std::string&)>;

std::string SystemInfoText(const SystemInfo& info, const SystemTextLookup& text);
std::string SystemInfoJson(const SystemInfo& info);
