// The inert platform the tests, benchmarks and fuzz targets build on: no
// devices, no WMI, no files, no settings, a clock that keeps still (and
// remembers the last local time it converted), Windows 10.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/CivilDate.h"
#include "os/Platform.h"

namespace testutil {

class NullDevices : public os::IDeviceIo {
 public:
  std::unique_ptr<os::IDeviceHandle> Open(const std::string&, os::Access,
                                          uint32_t* error) override {
    if (error) *error = os::ERR_FILE_NOT_FOUND;
    return nullptr;
  }
  bool DefineRawDosDevice(const std::string&, const std::string&) override { return false; }
};

class NullWmi : public os::IWmi {
 public:
  std::optional<std::vector<os::WmiObject>> Query(const std::string&, const std::string&) override {
    return std::nullopt;
  }
};

// Local time is taken as UTC; the last converted time is kept for tests.
class RecordingClock : public os::IClock {
 public:
  uint64_t TickCount() override { return 0; }
  int64_t Now() override { return 0; }
  std::tm LocalTime(int64_t) override { return std::tm{}; }
  int64_t MakeLocalTime(const std::tm& local) override {
    Last = local;
    ++Calls;
    return base::DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) * 86400 +
           local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  }
  void Sleep(uint32_t) override {}
  std::tm Last{};
  int Calls = 0;
};

class NullFiles : public os::IFileSystem {
 public:
  std::optional<std::vector<uint8_t>> ReadFile(const std::string&) override { return std::nullopt; }
  bool WriteFileAtomic(const std::string&, const std::vector<uint8_t>&) override { return false; }
  bool AppendFile(const std::string&, const std::string&) override { return false; }
  bool Exists(const std::string&) override { return false; }
  bool Remove(const std::string&) override { return false; }
  bool CreateDirectories(const std::string&) override { return false; }
  std::string ExecutablePath() override { return "/nowhere/stavrion"; }
  char Separator() override { return '/'; }
  std::string LastErrorText() override { return "no files here"; }
  std::string HandOffFilePath() override { return "/nowhere/m.out"; }
};

class NullProfile : public os::IProfile {
 public:
  std::string GetString(const std::string&, const std::string&, const std::string& fallback,
                        const std::string&, uint32_t) override {
    return fallback;
  }
  int32_t GetInt(const std::string&, const std::string&, int32_t fallback,
                 const std::string&) override {
    return fallback;
  }
  bool WriteString(const std::string&, const std::string&, const std::string&,
                   const std::string&) override {
    return false;
  }
  bool DeleteKey(const std::string&, const std::string&, const std::string&) override {
    return false;
  }
  bool DeleteSection(const std::string&, const std::string&) override { return false; }
  std::vector<std::string> Keys(const std::string&, const std::string&) override { return {}; }
};

class NullSystem : public os::ISystem {
 public:
  os::OsVersion GetOsVersion() override {
    os::OsVersion v;
    v.MajorVersion = 10;
    return v;
  }
  std::unique_ptr<os::INamedMutex> CreateNamedMutex(const std::string&, bool*) override {
    return nullptr;
  }
  bool StartProcess(const std::string&, const std::vector<std::string>&) override { return false; }
  void ShowMessage(const std::string&, const std::string&) override {}
};

}  // namespace testutil
