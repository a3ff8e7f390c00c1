// A history log and alarm check over real files in a temporary folder, with
// a virtual clock and the English texts: what the history and alarm tests
// share.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/LanguageFile.h"
#include "app/Settings.h"
#include "engine/AtaSmart.h"
#include "monitor/AlarmEvent.h"
#include "monitor/DiskServices.h"
#include "os/IniProfile.h"
#include "os/sim/VirtualClock.h"
#include "tests/support/StdFileSystem.h"
#include "tests/support/TempDir.h"

namespace testutil {

// 2026-03-01 12:00:00 UTC (the virtual clock's local time is UTC).
constexpr int64_t START = 1772366400;
constexpr const char* START_TEXT = "2026/03/01 12:00:00";

struct CRecordingSink : monitor::IAlarmSink {
  std::vector<monitor::AlarmEvent> Events;
  std::vector<int32_t> Sounds;
  void OnAlarm(const monitor::AlarmEvent& e) override { Events.push_back(e); }
  void OnAlertSound(int32_t id) override { Sounds.push_back(id); }
  std::vector<int32_t> Ids() const {
    std::vector<int32_t> ids;
    for (const auto& e : Events) ids.push_back(e.Id);
    return ids;
  }
};

// An ATA disk with a few attributes and ordinary figures.
inline ATA_SMART_INFO MakeDisk(const std::string& model, const std::string& serial) {
  ATA_SMART_INFO d;
  d.Model = model;
  d.SerialNumber = serial;
  d.ModelSerial = CAtaSmart::GetModelSerial(model, serial);
  d.SmartKeyName = "Smart";
  d.IsSmartCorrect = 1;
  d.Temperature = 40;
  d.MeasuredPowerOnHours = 1000;
  d.PowerOnCount = 10;
  d.DiskStatus = DISK_STATUS_GOOD;
  d.AttributeCount = 3;
  d.Attribute[0].Id = 0x05;
  d.Attribute[0].RawValue[0] = 2;
  d.Threshold[0].Id = 0x05;
  d.Threshold[0].ThresholdValue = 36;
  d.Attribute[1].Id = 0x09;
  d.Attribute[1].RawValue[0] = 0xE8;
  d.Attribute[1].RawValue[1] = 0x03;
  d.Attribute[2].Id = 0xC2;
  d.Attribute[2].RawValue[0] = 40;
  return d;
}

// An NVMe disk as the engine presents it: its figures as attributes 01-0F,
// 05 being the percentage used.
inline ATA_SMART_INFO MakeNvmeDisk(const std::string& model, const std::string& serial) {
  ATA_SMART_INFO d = MakeDisk(model, serial);
  d.IsNvme = 1;
  d.InterfaceType = INTERFACE_TYPE_NVME;
  d.AttributeCount = 5;
  for (int j = 0; j < 5; ++j) {
    d.Attribute[j] = {};
    d.Threshold[j] = {};
    d.Attribute[j].Id = static_cast<uint8_t>(j + 1);
    d.Attribute[j].RawValue[0] = static_cast<uint8_t>(10 * (j + 1));
  }
  d.Life = 95;
  return d;
}

class CRig {
 public:
  explicit CRig(const std::string& newline = "\r\n")
      : m_Profile(m_Files),
        Clock(START),
        Settings(m_Profile, Clock, m_Dir.File("stavrion.ini")),
        m_Newline(newline) {
    Language.English().Load(
        m_Files, std::string(STAVRION_SOURCE_DIR) + "/resources/TslResource/language/English.lang");
    Settings.Set(app::Setting::SMART_LOG, 1);
  }

  // The services, built on first use from the settings as they are then.
  monitor::CDiskServices& Services() {
    if (!m_Services) {
      m_Services = std::make_unique<monitor::CDiskServices>(m_Files, Clock, Settings, &Language,
                                                            Root(), "BENCH-PC", m_Newline);
      m_Services->AddSink(&Sink);
    }
    return *m_Services;
  }
  std::string Root() { return m_Dir.File("Smart-00-1A-2B-3C-4D-5E") + "/"; }
  std::string Folder(const ATA_SMART_INFO& d) {
    return Root() + monitor::CHistoryLog::DiskFolderName(d.ModelSerial) + "/";
  }
  std::string Read(const std::string& path) {
    auto bytes = m_Files.ReadFile(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<missing>");
  }
  std::string Ini(const ATA_SMART_INFO& d, const std::string& section, const std::string& key) {
    return m_Profile.GetString(section, key, "<missing>", Folder(d) + "Smart.ini");
  }
  void Save(const ATA_SMART_INFO& d, int32_t index = 0) { Services().SaveSmartInfo(d, index); }
  void AdvanceSeconds(int64_t s) { Clock.Advance(static_cast<uint64_t>(s) * 1000); }
  testutil::CTempDir& Dir() { return m_Dir; }
  testutil::CStdFileSystem& Files() { return m_Files; }

 private:
  testutil::CTempDir m_Dir;
  testutil::CStdFileSystem m_Files;
  os::CIniProfile m_Profile;

 public:
  os::sim::CVirtualClock Clock;
  app::CSettings Settings;
  app::CLanguageText Language;
  CRecordingSink Sink;

 private:
  std::string m_Newline;
  std::unique_ptr<monitor::CDiskServices> m_Services;
};

}  // namespace testutil
