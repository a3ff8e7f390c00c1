// Helpers for the family and status tests: a platform on which every device
// and file request fails (classification and status never touch a device),
// a clock that records the local time it was asked to convert, and a builder
// of disk records from the facts the classifier looks at.
#pragma once

#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/AtaSmart.h"
#include "os/Platform.h"
#include "tests/support/NullPlatform.h"

namespace testutil {

// An engine on a machine with no devices.
struct NullMachine {
  NullDevices Devices;
  NullWmi Wmi;
  RecordingClock Clock;
  NullFiles Files;
  NullProfile Profile;
  NullSystem System;
  os::Platform Platform{Devices, Wmi, Clock, Files, Profile, System};
  CAtaSmart Ata{Platform};
};

inline void SetWord(ATA_SMART_INFO& asi, size_t word, uint16_t value) {
  asi.IdentifyDevice[word * 2] = static_cast<uint8_t>(value & 0xFF);
  asi.IdentifyDevice[word * 2 + 1] = static_cast<uint8_t>(value >> 8);
}

// Puts attributes into the parsed table (as the parser leaves it), all with
// current and worst 100 and a zero raw value.
template <class Container>
void SetAttributeIds(ATA_SMART_INFO& asi, const Container& ids) {
  int32_t i = 0;
  for (uint8_t id : ids) {
    if (i >= MAX_ATTRIBUTE) break;
    ATTRIBUTE_ENTRY& a = asi.Attribute[i];
    a = ATTRIBUTE_ENTRY{};
    a.Id = id;
    a.CurrentValue = 100;
    a.WorstValue = 100;
    asi.Threshold[i] = THRESHOLD_ENTRY{};
    asi.Threshold[i].Id = id;
    ++i;
  }
  asi.AttributeCount = i;
}
inline void SetAttributeIds(ATA_SMART_INFO& asi, std::initializer_list<uint8_t> ids) {
  SetAttributeIds<std::initializer_list<uint8_t>>(asi, ids);
}

// Finds the parsed entry of an Id (the test's own table, never null).
inline ATTRIBUTE_ENTRY& Entry(ATA_SMART_INFO& asi, uint8_t id) {
  for (int32_t i = 0; i < asi.AttributeCount; ++i) {
    if (asi.Attribute[i].Id == id) return asi.Attribute[i];
  }
  static ATTRIBUTE_ENTRY none{};
  return none;
}

inline void SetRaw(ATTRIBUTE_ENTRY& a, uint64_t raw) {
  for (int k = 0; k < 6; ++k) a.RawValue[k] = static_cast<uint8_t>(raw >> (8 * k));
}

// The text SMI controllers keep at offset 400 of the data sector.
inline void SetSmartText(ATA_SMART_INFO& asi, const std::string& text) {
  for (size_t k = 0; k < 10; ++k) {
    asi.SmartReadData[400 + k] = k < text.size() ? static_cast<uint8_t>(text[k]) : 0;
  }
}

}  // namespace testutil
