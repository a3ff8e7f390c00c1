// The Linux load backend when an I/O never completes: the run ends with an
// error that says so once the time limit has passed, instead of waiting for
// ever. A FIFO with a writer that never writes stands for the lost
// completion: the read on it stays in flight.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/LoadStall.h"
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

  // Without a limit the run would wait for ever: closing the writer ends
  // the read (with 0 bytes) so that the test itself ends.
  const testutil::CStallRun run = testutil::RunIntoStall(path, [writer] { close(writer); });
  EXPECT_TRUE(run.Ended) << "the run did not end on its own";
  EXPECT_FALSE(run.Ok);
  EXPECT_NE(run.Error.find("no I/O completed"), std::string::npos) << run.Error;
  EXPECT_NE(run.Error.find("2 in flight"), std::string::npos) << run.Error;
}

}  // namespace
