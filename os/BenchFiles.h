// What the disk benchmark needs of the system beyond plain files: an
// uncached test file written in whole MiBs, the free space of a file
// system, and running the load generator to its end with its output.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace os {

// A file written past the system's cache (O_DIRECT, FILE_FLAG_NO_BUFFERING),
// so the data is on the disk when the benchmark reads it back.
class IUncachedFile {
 public:
  virtual ~IUncachedFile() = default;
  // `data` is a whole number of 4 KiB sectors. False when the system
  // wrote less than all of it (disk full, file too large for the system).
  virtual bool Write(std::span<const uint8_t> data) = 0;
};

// Creates (or truncates) `path`; null when it cannot be created.
std::unique_ptr<IUncachedFile> CreateUncachedFile(const std::string& path);

// Free bytes the user may write on the file system holding `folder`.
bool FreeDiskBytes(const std::string& folder, uint64_t* bytes);

struct ProgramRun {
  bool Started = false;  // false: it could not be started at all
  int ExitCode = 0;      // the full exit code (32 bits on Windows, 8 elsewhere)
  std::string Output;    // what it wrote to its standard output (first 64 KiB)
};

// The load generator shipped with the running program: "stavrion-load"
// beside it, or on Windows "TslResource\\diskspd\\diskspd32.exe" below
// its folder.
std::string LoadGeneratorPath();

// Runs a program without a shell and waits for it to end; its window, if
// any, stays hidden.
ProgramRun RunProgramAndWait(const std::string& path, const std::vector<std::string>& arguments);

}  // namespace os
