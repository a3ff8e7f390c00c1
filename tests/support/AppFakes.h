// Stand-ins for the process-level facilities the application shell uses:
// a virtual clock and a system that records what it was asked to do. Files
// stay real (a temporary folder, through CStdFileSystem).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "os/IniProfile.h"
#include "os/Platform.h"
#include "tests/support/StdFileSystem.h"

namespace testutil {

// Time moves only when the code sleeps or the test advances it.
class CFakeClock : public os::IClock {
 public:
  uint64_t TickCount() override { return m_Ticks; }
  int64_t Now() override { return m_Now + static_cast<int64_t>(m_Ticks / 1000); }
  std::tm LocalTime(int64_t) override { return m_Local; }
  int64_t MakeLocalTime(const std::tm&) override { return m_Now; }
  void Sleep(uint32_t milliseconds) override {
    m_Sleeps.push_back(milliseconds);
    m_Ticks += milliseconds;
  }

  void Advance(uint64_t milliseconds) { m_Ticks += milliseconds; }

  uint64_t m_Ticks = 5000000;  // not zero: stamps must count from the first line
  int64_t m_Now = 1700000000;
  std::tm m_Local{};
  std::vector<uint32_t> m_Sleeps;
};

// Named mutexes shared by every CFakeSystem of a test (one "machine"), so
// two application objects see each other's mutex like two processes.
struct CFakeMutexTable {
  std::map<std::string, int> Holders;
};

class CFakeSystem : public os::ISystem {
 public:
  struct Started {
    std::string Path;
    std::vector<std::string> Args;
  };

  explicit CFakeSystem(CFakeMutexTable& mutexes) : m_Mutexes(mutexes) {}

  os::OsVersion GetOsVersion() override { return {}; }
  std::unique_ptr<os::INamedMutex> CreateNamedMutex(const std::string& name,
                                                    bool* alreadyExisted) override {
    int& holders = m_Mutexes.Holders[name];
    *alreadyExisted = holders > 0;
    ++holders;
    return std::make_unique<CMutex>(holders);
  }
  bool StartProcess(const std::string& path, const std::vector<std::string>& args) override {
    m_Started.push_back({path, args});
    return true;
  }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    m_Messages.push_back(caption + "|" + text);
  }

  std::vector<Started> m_Started;
  std::vector<std::string> m_Messages;

 private:
  class CMutex : public os::INamedMutex {
   public:
    explicit CMutex(int& holders) : m_Holders(holders) {}
    ~CMutex() override { --m_Holders; }

   private:
    int& m_Holders;
  };

  CFakeMutexTable& m_Mutexes;
};

// Devices and WMI the shell never touches.
class CNoDevices : public os::IDeviceIo {
 public:
  std::unique_ptr<os::IDeviceHandle> Open(const std::string&, os::Access,
                                          uint32_t* error) override {
    *error = os::ERR_FILE_NOT_FOUND;
    return nullptr;
  }
  bool DefineRawDosDevice(const std::string&, const std::string&) override { return false; }
};

class CNoWmi : public os::IWmi {
 public:
  std::optional<std::vector<os::WmiObject>> Query(const std::string&, const std::string&) override {
    return std::nullopt;
  }
};

// One process of the program: real files, virtual clock, recorded system.
struct CTestProcess {
  CTestProcess(CFakeMutexTable& mutexes, std::string exePath, std::string handOff)
      : Files(std::move(exePath), std::move(handOff)), System(mutexes) {}

  os::Platform Get() { return os::Platform{Devices, Wmi, Clock, Files, Profile, System}; }

  CNoDevices Devices;
  CNoWmi Wmi;
  CFakeClock Clock;
  CStdFileSystem Files;
  os::CIniProfile Profile{Files};
  CFakeSystem System;
};

}  // namespace testutil
