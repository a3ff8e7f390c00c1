// The Linux load backend when an I/O never completes: the run ends with an
// error that says so once the time limit has passed, instead of waiting for
// ever. A FIFO with a writer that never writes stands for the lost
// completion: the read on it stays in flight.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "loadgen/LoadBackend.h"
#include "tests/support/TempDir.h"

namespace {

TEST(LoadBackendStall, AnIoThatNeverCompletesEndsTheRunWithAClearError) {
  testutil::CTempDir dir;
  const std::string path = dir.File("never.fifo");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  // Opened for reading and writing: the backend's open does not wait for a
  // writer, and no data ever comes.
  const int writer = open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);

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
  std::string error;
  auto run =
      std::async(std::launch::async, [&] { return backend->Run(options, plans, &result, &error); });
  const bool ended = run.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  // Without a limit the run would wait for ever: closing the writer ends
  // the read (with 0 bytes) so that the test itself ends.
  close(writer);
  EXPECT_TRUE(ended) << "the run did not end on its own";
  EXPECT_FALSE(run.get());
  EXPECT_NE(error.find("no I/O completed"), std::string::npos) << error;
  EXPECT_NE(error.find("2 in flight"), std::string::npos) << error;
}

}  // namespace
