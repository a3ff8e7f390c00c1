// Arbitrary bytes as a disk's "Smart.ini" and as the disk's model and
// serial: a record over that file must neither crash nor lose the record's
// own values — the latest life must read back as the next record's
// previous life whatever the file held and whatever the disk calls itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "monitor/HistoryLog.h"

namespace {

// Files in memory; folders always exist.
class CMemoryFiles : public os::IFileSystem {
 public:
  std::optional<std::vector<uint8_t>> ReadFile(const std::string& path) override {
    auto it = m_Files.find(path);
    if (it == m_Files.end()) return std::nullopt;
    return it->second;
  }
  bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data) override {
    m_Files[path] = data;
    return true;
  }
  bool AppendFile(const std::string& path, const std::string& data) override {
    auto& f = m_Files[path];
    f.insert(f.end(), data.begin(), data.end());
    return true;
  }
  bool Exists(const std::string& path) override { return m_Files.count(path) != 0; }
  bool Remove(const std::string& path) override { return m_Files.erase(path) != 0; }
  bool CreateDirectories(const std::string&) override { return true; }
  std::string ExecutablePath() override { return "/p/stavrion"; }
  char Separator() override { return '/'; }
  std::string LastErrorText() override { return {}; }
  std::string HandOffFilePath() override { return {}; }

 private:
  std::map<std::string, std::vector<uint8_t>> m_Files;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // First byte: length of the model; then model, serial (up to 20 bytes),
  // and the rest is the file.
  const size_t modelLength = std::min<size_t>(data[0] % 41, size - 1);
  const size_t serialLength = std::min<size_t>(20, size - 1 - modelLength);
  ATA_SMART_INFO disk;
  disk.Model.assign(reinterpret_cast<const char*>(data + 1), modelLength);
  disk.SerialNumber.assign(reinterpret_cast<const char*>(data + 1 + modelLength), serialLength);
  disk.ModelSerial = CAtaSmart::GetModelSerial(disk.Model, disk.SerialNumber);
  disk.IsSmartCorrect = 1;
  disk.Life = 42;
  disk.DiskStatus = DISK_STATUS_CAUTION;
  disk.Temperature = 30;
  const size_t used = 1 + modelLength + serialLength;

  CMemoryFiles files;
  monitor::CHistoryLog log(files, "/h", "PC", "\r\n", nullptr);
  log.SetSettings({true, 0, true, false});
  const std::string ini = log.DiskFolder(disk.ModelSerial) + "Smart.ini";
  files.WriteFileAtomic(ini, std::vector<uint8_t>(data + used, data + size));

  std::tm t{};
  t.tm_year = 126;
  t.tm_mday = 1;
  if (!log.BeginRecord(disk, 1000)) std::abort();
  log.WriteRecord(disk, t);
  std::optional<monitor::PreviousRecord> previous = log.BeginRecord(disk, 2000);
  if (!previous || previous->Life != 42 || previous->HealthStatus != DISK_STATUS_CAUTION) {
    std::abort();
  }
  return 0;
}
