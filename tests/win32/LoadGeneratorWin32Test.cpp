// diskspd32.exe, the Windows load generator, against a real file: the exit
// code carries the figure it prints, and each thread of a sequential write
// run wrote random data into its own part of the file.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <vector>

#include "loadgen/LoadBackend.h"
#include "os/BenchFiles.h"
#include "tests/support/LoadStall.h"
#include "tests/support/TempDir.h"

namespace {

double JsonValue(const std::string& json, const std::string& key) {
  size_t at = json.find("\"" + key + "\":");
  if (at == std::string::npos) return -1;
  return std::strtod(json.c_str() + at + key.size() + 3, nullptr);
}

std::vector<char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

TEST(LoadGeneratorWin32, ExitCodeCarriesTheFigureAndThreadsWriteTheirOwnParts) {
  testutil::CTempDir dir;
  const std::string file = dir.File("load.tmp");
  {
    std::ofstream out(file, std::ios::binary);
    std::vector<char> chunk(1 << 20, 'x');
    for (int i = 0; i < 8; ++i) out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    ASSERT_TRUE(out.good());
  }
  const std::string generator = os::LoadGeneratorPath();
  os::ProgramRun run = os::RunProgramAndWait(
      generator, {"-b128k", "-d1", "-o4", "-t2", "-W0", "-S", "-w100", "-Z128K", "--json", file});
  ASSERT_TRUE(run.Started) << generator;
  const double bytes = JsonValue(run.Output, "bytes");
  const double seconds = JsonValue(run.Output, "seconds");
  const double rate = JsonValue(run.Output, "mb_per_s");
  ASSERT_GT(bytes, 0) << run.Output;
  EXPECT_NEAR(seconds, 1.0, 1e-6);
  EXPECT_NEAR(rate, bytes / 1e6 / seconds, 1e-5);
  // The printed rate has 6 decimals; the code truncates rate x 10,000.
  EXPECT_NEAR(run.ExitCode, std::floor(rate * 10000), 1.0) << run.Output;

  // Thread 0 owns the first 4 MiB, thread 1 the rest: both start at their
  // part's beginning, and what they wrote is random, not the old bytes.
  const std::vector<char> data = ReadAll(file);
  ASSERT_EQ(data.size(), 8u << 20);
  for (size_t start : {size_t{0}, size_t{4} << 20}) {
    int sameAsBefore = 0;
    for (size_t i = start; i < start + 4096; ++i) sameAsBefore += data[i] == 'x';
    EXPECT_LT(sameAsBefore, 64) << start;
  }

  run = os::RunProgramAndWait(generator,
                              {"-b4K", "-d1", "-o8", "-t2", "-W0", "-r", "-S", "-w0", file});
  ASSERT_TRUE(run.Started);
  EXPECT_GT(run.ExitCode, 0) << run.Output;
}

TEST(LoadGeneratorWin32, FailuresExitWithZero) {
  testutil::CTempDir dir;
  const std::string generator = os::LoadGeneratorPath();
  os::ProgramRun run = os::RunProgramAndWait(generator, {"-b4K", "-d1", dir.File("absent.tmp")});
  ASSERT_TRUE(run.Started);
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Output, "");
  run = os::RunProgramAndWait(generator, {"-Sh", dir.File("absent.tmp")});
  EXPECT_EQ(run.ExitCode, 0);
}

// The Windows load backend when an I/O never completes (a completion lost
// under load): the run ends with an error that says so once the time limit
// has passed, instead of waiting for ever. A named pipe whose server never
// writes stands for it: the read on it stays in flight.
TEST(LoadBackendStall, AnIoThatNeverCompletesEndsTheRunWithAClearError) {
  const std::wstring name =
      L"\\\\.\\pipe\\stavrion-stall-" + std::to_wstring(GetCurrentProcessId());
  HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  // Without a limit the run would wait for ever: closing the server ends
  // the reads so that the test itself ends.
  const testutil::CStallRun run =
      testutil::RunIntoStall("\\\\.\\pipe\\stavrion-stall-" + std::to_string(GetCurrentProcessId()),
                             [server] { CloseHandle(server); });
  EXPECT_TRUE(run.Ended) << "the run did not end on its own";
  EXPECT_FALSE(run.Ok);
  EXPECT_NE(run.Error.find("no I/O completed"), std::string::npos) << run.Error;
}

}  // namespace
