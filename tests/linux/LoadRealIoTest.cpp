// stavrion-load against a real file: its figure must agree with the bytes
// the kernel saw it move (the child's I/O accounting, read from wait4).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace {

struct CChildRun {
  int Status = -1;
  std::string Out;
  uint64_t ReadBytes = 0;
  uint64_t WrittenBytes = 0;
};

CChildRun RunLoad(const std::vector<std::string>& args) {
  CChildRun run;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return run;
  std::vector<char*> argv;
  std::string program = STAVRION_LOAD_PATH;
  argv.push_back(program.data());
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], 1);
    close(pipeFds[0]);
    close(pipeFds[1]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  char buf[1024];
  ssize_t n;
  while ((n = read(pipeFds[0], buf, sizeof buf)) > 0) run.Out.append(buf, static_cast<size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) run.Status = WEXITSTATUS(status);
  // Block counts are of 512-byte units.
  run.ReadBytes = static_cast<uint64_t>(usage.ru_inblock) * 512;
  run.WrittenBytes = static_cast<uint64_t>(usage.ru_oublock) * 512;
  return run;
}

uint64_t JsonNumber(const std::string& json, const std::string& key) {
  size_t at = json.find("\"" + key + "\":");
  if (at == std::string::npos) return 0;
  return std::strtoull(json.c_str() + at + key.size() + 3, nullptr, 10);
}

double JsonDouble(const std::string& json, const std::string& key) {
  size_t at = json.find("\"" + key + "\":");
  if (at == std::string::npos) return -1;
  return std::strtod(json.c_str() + at + key.size() + 3, nullptr);
}

TEST(LoadGeneratorRealIo, FigureAgreesWithTheBytesMoved) {
  testutil::CTempDir dir;
  const std::string file = dir.File("load.tmp");
  {
    std::ofstream out(file, std::ios::binary);
    std::vector<char> chunk(1 << 20, 'x');
    for (int i = 0; i < 32; ++i)
      out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    ASSERT_TRUE(out.good());
  }
  struct Case {
    std::vector<std::string> Args;
    uint64_t InFlightBytes;  // what may complete after the window closes
    bool Writes;
  };
  const Case cases[] = {
      {{"-b128k", "-d1", "-o32", "-t1", "-W0", "-S", "-w100", "-Z128K", "--json", file},
       32 * 131072,
       true},
      {{"-b4K", "-d1", "-o8", "-t2", "-W0", "-r", "-S", "-w0", "--json", file}, 16 * 4096, false},
  };
  for (const Case& c : cases) {
    CChildRun run = RunLoad(c.Args);
    ASSERT_EQ(run.Status, 0) << c.Args[0] << run.Out;
    const uint64_t bytes = JsonNumber(run.Out, "bytes");
    const double seconds = JsonDouble(run.Out, "seconds");
    const double rate = JsonDouble(run.Out, "mb_per_s");
    EXPECT_GT(bytes, 0u) << run.Out;
    EXPECT_EQ(bytes % (c.Writes ? 131072 : 4096), 0u);
    EXPECT_NEAR(seconds, 1.0, 1e-6);
    EXPECT_NEAR(rate, static_cast<double>(bytes) / 1e6 / seconds, 1e-5);
    // What the kernel accounted to the process: every counted byte, plus at
    // most one queue's worth that completed after the window. The count
    // also holds blocks that are not the test's: the program's own pages
    // read when they were not cached, a file-system metadata block written
    // (one 4 KiB block over was seen each way): at most 1 MiB of those.
    const uint64_t moved = c.Writes ? run.WrittenBytes : run.ReadBytes;
    constexpr uint64_t NOT_THE_TESTS = uint64_t{1} << 20;
    EXPECT_GE(moved, bytes) << run.Out;
    EXPECT_LE(moved, bytes + c.InFlightBytes + NOT_THE_TESTS) << run.Out;
  }
}

TEST(LoadGeneratorRealIo, MissingFileAndBadFlagsFailClearly) {
  testutil::CTempDir dir;
  CChildRun run = RunLoad({"-b4K", "-d1", dir.File("absent.tmp")});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Out, "");
  run = RunLoad({"-b4K", "-d1", "-Q", dir.File("absent.tmp")});
  EXPECT_EQ(run.Status, 2);
}

}  // namespace
