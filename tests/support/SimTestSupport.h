// Building small simulated machines in memory for tests.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "os/sim/SimMachine.h"

namespace testutil {

inline std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// A sector whose byte i is (seed + i) % 251 + 1: never zero, distinct per seed.
inline std::vector<uint8_t> Pattern(uint8_t seed) {
  std::vector<uint8_t> s(512);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<uint8_t>((seed + i) % 251 + 1);
  return s;
}

// An IDENTIFY sector with the given model, firmware and serial (byte-swapped
// as disks send them).
inline std::vector<uint8_t> Identify(const std::string& model, const std::string& firmware = "FW1",
                                     const std::string& serial = "SN1") {
  std::vector<uint8_t> s(512, 0);
  auto put = [&](const std::string& text, size_t from, size_t to) {
    std::string padded = text;
    padded.resize(to - from, ' ');
    for (size_t i = 0; i + 1 < padded.size(); i += 2) {
      s[from + i] = static_cast<uint8_t>(padded[i + 1]);
      s[from + i + 1] = static_cast<uint8_t>(padded[i]);
    }
  };
  put(serial, 20, 40);
  put(firmware, 46, 54);
  put(model, 54, 94);
  s[0] = 0x40;  // fixed disk
  s[2] = 0xFF;  // 16383 cylinders
  s[3] = 0x3F;
  s[6] = 16;
  s[12] = 63;
  return s;
}

class CMachineBuilder {
 public:
  explicit CMachineBuilder(std::string manifest) { m_Files["machine.ini"] = Bytes(manifest); }
  CMachineBuilder& File(const std::string& path, std::vector<uint8_t> bytes) {
    m_Files[path] = std::move(bytes);
    return *this;
  }
  os::sim::LoadResult Load() const {
    os::sim::CMemorySource source("mem", m_Files);
    return os::sim::LoadMachine(source);
  }
  os::sim::SimMachine Machine() const {
    os::sim::LoadResult r = Load();
    EXPECT_TRUE(r.Machine.has_value()) << r.Error;
    return r.Machine ? std::move(*r.Machine) : os::sim::SimMachine{};
  }

 private:
  std::map<std::string, std::vector<uint8_t>> m_Files;
};

inline std::string SourceDir() { return STAVRION_SOURCE_DIR; }

}  // namespace testutil
