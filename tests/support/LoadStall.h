// The load backends' test of an I/O that never completes: a run on a file
// whose reads stay in flight (a FIFO, a named pipe that nobody writes)
// must end on its own with a clear error once its stall limit has passed.
#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "loadgen/LoadBackend.h"

namespace testutil {

struct CStallRun {
  bool Ended = false;  // within 20 s, on its own
  bool Ok = true;
  std::string Error;
};

// Runs the native backend on `path` with two reads in flight and a stall
// limit of 0.3 s. `release` then ends the reads whatever happened, so that
// a backend that waits for ever does not hang the test.
inline CStallRun RunIntoStall(const std::string& path, const std::function<void()>& release) {
  loadgen::CLoadOptions options;
  options.Path = path;
  options.BlockSize = 4096;
  options.QueueDepth = 2;
  options.Threads = 1;
  options.WarmupSeconds = 0;
  options.Seconds = 1;
  options.StallSeconds = 0.3;
  const std::vector<loadgen::CThreadPlan> plans = {{0, 4096, 1}};
  auto backend = loadgen::MakeNativeLoadBackend();
  loadgen::CLoadResult result;
  CStallRun stall;
  auto run = std::async(std::launch::async,
                        [&] { return backend->Run(options, plans, &result, &stall.Error); });
  stall.Ended = run.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  release();
  stall.Ok = run.get();
  return stall;
}

}  // namespace testutil
