#include "tools/BenchHost.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace tools {
namespace {

class CTestFile : public IBenchHost::IFile {
 public:
  explicit CTestFile(std::unique_ptr<os::IUncachedFile> file) : m_File(std::move(file)) {}
  bool Write(std::span<const uint8_t> data) override { return m_File->Write(data); }

 private:
  std::unique_ptr<os::IUncachedFile> m_File;
};

}  // namespace

std::vector<std::string> LoadGeneratorWords(const std::string& arguments,
                                            const std::string& testFile, ELoadFigure figure) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start < arguments.size()) {
    size_t end = arguments.find(' ', start);
    if (end == std::string::npos) end = arguments.size();
    if (end > start) words.push_back(arguments.substr(start, end - start));
    start = end + 1;
  }
  if (figure == ELoadFigure::JsonLine) words.push_back("--json");
  words.push_back(testFile);
  return words;
}

double LoadGeneratorFigure(const os::ProgramRun& run, ELoadFigure figure) {
  if (!run.Started) return 0;
  double rate = 0;
  if (figure == ELoadFigure::ExitCode) {
    rate = RateFromExitCode(run.ExitCode);
  } else {
    const std::string key = "\"mb_per_s\":";
    const size_t at = run.Output.find(key);
    if (at != std::string::npos) rate = std::strtod(run.Output.c_str() + at + key.size(), nullptr);
  }
  // A failing run (a negative exit code) and a figure that is not a number
  // are no figure.
  return std::isfinite(rate) && rate > 0 ? rate : 0;
}

bool CSystemBenchHost::LoadGeneratorExists() { return m_Files.FileSize(m_Generator).has_value(); }

bool CSystemBenchHost::FreeBytes(const std::string& folder, uint64_t* bytes) {
  return os::FreeDiskBytes(folder, bytes);
}

bool CSystemBenchHost::CreateFolder(const std::string& path) {
  return !m_Files.Exists(path) && m_Files.CreateDirectories(path);
}

std::unique_ptr<IBenchHost::IFile> CSystemBenchHost::CreateTestFile(const std::string& path) {
  std::unique_ptr<os::IUncachedFile> file = os::CreateUncachedFile(path);
  if (!file) return nullptr;
  return std::make_unique<CTestFile>(std::move(file));
}

IBenchHost::LoadRun CSystemBenchHost::RunLoad(const std::string& arguments,
                                              const std::string& testFile) {
  const os::ProgramRun run =
      os::RunProgramAndWait(m_Generator, LoadGeneratorWords(arguments, testFile, m_Figure));
  LoadRun result;
  result.Started = run.Started;
  result.MegabytesPerSecond = LoadGeneratorFigure(run, m_Figure);
  return result;
}

void CSystemBenchHost::SleepSeconds(uint32_t seconds) {
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
}

uint32_t CSystemBenchHost::Ticks() {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace tools
