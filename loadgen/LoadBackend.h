// The operating-system half of the load generator: opens the test file and
// keeps every thread's queue of I/Os full for the run. linux/ does it with
// io_uring and O_DIRECT, win32/ with overlapped I/O and one completion port
// per thread. The backend moves bytes; the offsets, the write data and the
// counting come from LoadPlan.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "loadgen/LoadOptions.h"
#include "loadgen/LoadPlan.h"
#include "loadgen/LoadResult.h"

namespace loadgen {

class ILoadBackend {
 public:
  virtual ~ILoadBackend() = default;
  // Size of the existing test file. False with *error (naming the path and
  // the system's reason) when it is missing or cannot be opened.
  virtual bool FileSize(const std::string& path, uint64_t* size, std::string* error) = 0;
  // Runs one thread per plan for options.WarmupSeconds + options.Seconds.
  // False with *error when the file cannot be opened or an I/O fails (the
  // first failure ends the run; what was counted before it is discarded).
  virtual bool Run(const CLoadOptions& options, const std::vector<CThreadPlan>& plans,
                   CLoadResult* result, std::string* error) = 0;
};

// The backend of the system the program was built for.
std::unique_ptr<ILoadBackend> MakeNativeLoadBackend();

}  // namespace loadgen
