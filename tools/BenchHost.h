// The disk benchmark's host on a real system, for the window pane and
// `stavrion bench` alike: folders and the test file through the platform,
// the shipped load generator run to its end, and its figure read the way
// the system lets it be carried.
#pragma once

#include <string>
#include <vector>

#include "os/BenchFiles.h"
#include "os/FileSystem.h"
#include "tools/DiskBenchmark.h"

namespace tools {

// How a load-generator run hands back its figure: the exit code (MB/s x
// 10,000, which needs the 32 bits of a Windows exit code), or the JSON line
// the generator prints with --json (an exit status elsewhere holds 8 bits).
enum class ELoadFigure { ExitCode, JsonLine };

// The generator's words for one run: the blank-separated `arguments`,
// --json when the figure comes that way, then the test file.
std::vector<std::string> LoadGeneratorWords(const std::string& arguments,
                                            const std::string& testFile, ELoadFigure figure);
// The figure of a finished run; 0 when it gave none (it failed, or could
// not be started).
double LoadGeneratorFigure(const os::ProgramRun& run, ELoadFigure figure);

class CSystemBenchHost : public IBenchHost {
 public:
  CSystemBenchHost(os::IFileSystem& files, std::string generator, ELoadFigure figure)
      : m_Files(files), m_Generator(std::move(generator)), m_Figure(figure) {}

  bool LoadGeneratorExists() override;
  bool FreeBytes(const std::string& folder, uint64_t* bytes) override;
  // Only a folder that is not there yet: the run removes it at its end.
  bool CreateFolder(const std::string& path) override;
  bool RemoveFolder(const std::string& path) override { return m_Files.Remove(path); }
  bool RemoveFile(const std::string& path) override { return m_Files.Remove(path); }
  std::unique_ptr<IFile> CreateTestFile(const std::string& path) override;
  LoadRun RunLoad(const std::string& arguments, const std::string& testFile) override;
  void SleepSeconds(uint32_t seconds) override;
  uint32_t Ticks() override;

 private:
  os::IFileSystem& m_Files;
  std::string m_Generator;
  ELoadFigure m_Figure;
};

}  // namespace tools
