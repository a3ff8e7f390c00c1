// The S.M.A.R.T. history log: per disk a folder under the history root
// holding one CSV file per figure ("Temperature.csv", "05.csv" ...), the
// first and latest values in "Smart.ini" and, with "CRMode", a daily file of
// every attribute. A record is written at most once per "SAVE_SMART_PERIOD"
// seconds per disk, whatever the refresh rate.
//
// Crash safety: item and daily files are only appended to, one line per
// write; a line cut short by a crash is marked " [incomplete]" and ended by
// the next append, which starts on a line of its own: every complete line
// stays readable and the cut one is never read as a value (ReadHistoryCsv
// skips it). "Smart.ini" is rewritten whole
// through IFileSystem::WriteFileAtomic: old or new, never a mixture. The
// cost of a record does not depend on how long the files already are.
//
// Nothing is written or deleted outside root + the disk's folder name; a
// disk whose model and serial would make a name that leaves that place
// ("", ".", "..", a device name) gets a stand-in name (DiskFolderName).
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/LanguageFile.h"
#include "engine/AtaSmart.h"
#include "os/FileSystem.h"
#include "os/IniFile.h"
#include "os/System.h"

namespace monitor {

// One figure of a record: its file name stem and "Smart.ini" key, and value.
struct HistoryItem {
  std::string Key;
  int32_t Value = 0;
  // Attribute items (keys of two hexadecimal digits) also keep the
  // attribute's threshold in the first record.
  bool IsAttribute = false;
  int32_t Threshold = 0;
};

// What the alarm check needs of the disk's latest record, read before the
// new record replaces it.
struct PreviousRecord {
  int32_t HealthStatus = 0;  // DiskStatus of the latest record; 0 when none
  int32_t Life = -1;         // life of the latest record; -1 when none
};

// Copies of the settings the log works with ("settings copies read at
// start"; reloaded when the settings change).
struct HistorySettings {
  bool SmartLog = false;
  int32_t SaveSmartPeriod = 150;  // seconds
  bool CrMode = false;
  bool SmartEnglish = false;
};

class CHistoryLog {
 public:
  // `root` is the history root (HistoryRoot); `newline` ends every line
  // written ("\r\n" on Windows, where the files were always text-mode
  // files, "\n" elsewhere). `language` names the daily file's columns; it
  // may be null (the columns are then named by their ids). Everything must
  // outlive the log.
  CHistoryLog(os::IFileSystem& files, std::string root, std::string computerName,
              std::string newline, const app::CLanguageText* language);

  void SetSettings(const HistorySettings& settings) { m_Settings = settings; }
  const HistorySettings& Settings() const { return m_Settings; }
  const std::string& Root() const { return m_Root; }

  // First half of a record. Returns nullopt when nothing is to be written:
  // "SmartLog" off, the disk's data did not pass its double read, or its
  // last record is younger than "SAVE_SMART_PERIOD" (a last record stamped
  // in the future, after the clock was set back, counts as expired). When
  // a record is due it takes `now` as the disk's latest record time,
  // creates the folders and returns the latest record's values from
  // "Smart.ini" for the alarm check.
  std::optional<PreviousRecord> BeginRecord(const ATA_SMART_INFO& disk, int64_t now);
  // Second half: "Smart.ini", the item files and the daily file, stamped
  // with `local`. Only after a BeginRecord of the same disk that returned a
  // value. A file that cannot be written is skipped; the others are still
  // written.
  void WriteRecord(const ATA_SMART_INFO& disk, const std::tm& local);

  // Deletes the history of a disk: its folder with everything in it. Links
  // inside are removed, never followed. False when something stayed.
  bool ClearLogs(const std::string& modelSerial);

  // Forgets every disk's latest record time (the next record of each disk
  // is written whatever its age).
  void ResetRateLimit() { m_LastRecord.clear(); }

  // root + folder name of the disk, with the separator at the end.
  std::string DiskFolder(const std::string& modelSerial) const;

  // ---- formats, for readers and tests ----
  // The history root: `smartFolder` followed by "-" and the first network
  // adapter's address as "%02X-%02X-%02X-%02X-%02X-%02X" (nothing when
  // unknown) and the separator.
  static std::string HistoryRoot(const std::string& smartFolder,
                                 const std::optional<std::array<uint8_t, 6>>& address,
                                 char separator);
  // The history root a program uses: HistoryRoot with the address when it
  // is known. When it cannot be read this time (the adapter disabled or
  // removed, the list failed) and exactly one root named by an address is
  // beside `smartFolder`, that one: the history written while the address
  // could be read stays in use instead of looking lost. Otherwise the root
  // without an address.
  static std::string ChooseHistoryRoot(os::IFileSystem& files, const std::string& smartFolder,
                                       const std::optional<std::array<uint8_t, 6>>& address);
  // The same with the address read from `system`'s adapters: the root of
  // the window program, and of `stavrion watch` on Windows, for the machine
  // whose disks they show.
  static std::string ChooseHistoryRoot(os::IFileSystem& files, os::ISystem& system,
                                       const std::string& smartFolder);
  // The disk's folder name: its ModelSerial, or, when that is empty, made
  // of dots and blanks only, holds a control or path character or is a
  // device name of Windows ("CON", "COM1" ...), "Disk-" followed by the
  // name's bytes in hexadecimal.
  static std::string DiskFolderName(const std::string& modelSerial);
  // The disk's section in "Smart.ini": its ModelSerial, or, when an INI
  // file cannot hold that name as it stands, CIniFile::StorableName of it
  // (the same name the disk has in the settings file).
  static std::string SectionName(const std::string& modelSerial);
  // The figures of a record, in the order they are written.
  static std::vector<HistoryItem> Items(const ATA_SMART_INFO& disk);
  // The daily file's header and record lines, without their line ends.
  std::string DailyHeader(const ATA_SMART_INFO& disk) const;
  static std::string DailyLine(const ATA_SMART_INFO& disk, const std::string& time);
  // The attribute indexes that are columns of the daily file.
  static std::vector<int32_t> DailyColumns(const ATA_SMART_INFO& disk);

 private:
  // Appends one line; a file that ends inside a line (a crash cut it
  // short) gets a line end first.
  bool AppendLine(const std::string& path, const std::string& text);
  void WriteSmartIni(const ATA_SMART_INFO& disk, const std::vector<HistoryItem>& items,
                     const std::string& time);
  bool RemoveTree(const std::string& path, int32_t depth);

  os::IFileSystem& m_Files;
  std::string m_Root;
  std::string m_ComputerName;
  std::string m_Newline;
  const app::CLanguageText* m_Language;
  HistorySettings m_Settings;

  // Latest record time of each disk, by ModelSerial: a rescan that moves
  // disks to other places of the list keeps each disk's own time.
  std::map<std::string, int64_t> m_LastRecord;
  // Files whose end this process has checked (or written) whole lines to.
  std::set<std::string> m_WholeLines;
  // "Smart.ini" as BeginRecord read it, for WriteRecord.
  std::string m_PendingKey;
  std::optional<os::CIniFile> m_PendingIni;
};

}  // namespace monitor
