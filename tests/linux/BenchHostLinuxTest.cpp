// The benchmark host on the real system: its folder and test file, and runs
// of the real load generator (JSON figure) and of a stand-in that answers
// with an exit code.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "os/linux/LinuxFileSystem.h"
#include "tests/support/TempDir.h"
#include "tools/BenchHost.h"

namespace {

using tools::CSystemBenchHost;
using tools::ELoadFigure;

TEST(BenchHostLinux, FolderAndTestFileComeAndGo) {
  testutil::CTempDir dir;
  os::CLinuxFileSystem files;
  CSystemBenchHost host(files, STAVRION_LOAD_PATH, ELoadFigure::JsonLine);
  const std::string folder = dir.File("TslBenchmark0000002A");
  const std::string file = folder + "/TslBenchmark0000002A.tmp";
  ASSERT_TRUE(host.CreateFolder(folder));
  // A folder that is there already is not the run's to remove later.
  EXPECT_FALSE(host.CreateFolder(folder));
  uint64_t free = 0;
  EXPECT_TRUE(host.FreeBytes(folder, &free));
  EXPECT_GT(free, 0u);
  {
    std::unique_ptr<tools::IBenchHost::IFile> out = host.CreateTestFile(file);
    ASSERT_NE(out, nullptr);
    std::vector<uint8_t> mib(1 << 20, 0x5A);
    EXPECT_TRUE(out->Write(mib));
    EXPECT_TRUE(out->Write(mib));
  }
  EXPECT_EQ(std::filesystem::file_size(file), 2u << 20);
  EXPECT_EQ(host.CreateTestFile(dir.File("absent/t.tmp")), nullptr);
  EXPECT_TRUE(host.RemoveFile(file));
  EXPECT_TRUE(host.RemoveFolder(folder));
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_FALSE(host.RemoveFolder(folder));
  EXPECT_NE(host.Ticks(), 0u);
}

TEST(BenchHostLinux, RunsTheGeneratorAndReadsItsFigure) {
  testutil::CTempDir dir;
  os::CLinuxFileSystem files;
  const std::string file = dir.File("t.tmp");
  {
    std::ofstream out(file, std::ios::binary);
    std::vector<char> mib(1 << 20, 'x');
    for (int i = 0; i < 8; ++i) out.write(mib.data(), static_cast<std::streamsize>(mib.size()));
  }
  CSystemBenchHost real(files, STAVRION_LOAD_PATH, ELoadFigure::JsonLine);
  EXPECT_TRUE(real.LoadGeneratorExists());
  tools::IBenchHost::LoadRun run = real.RunLoad("-b4K -d1 -o4 -t1 -W0 -r -S -w0", file);
  EXPECT_TRUE(run.Started);
  EXPECT_GT(run.MegabytesPerSecond, 0);
  // A run that fails gives no figure.
  run = real.RunLoad("-b4K -d1 -o4 -t1 -W0 -r -S -w0", dir.File("absent.tmp"));
  EXPECT_TRUE(run.Started);
  EXPECT_EQ(run.MegabytesPerSecond, 0);

  // The exit-code contract, with a stand-in that exits with 42 (MB/s x
  // 10,000: 0.004 MB/s) when it is handed the test file last.
  const std::string script = dir.File("generator.sh");
  {
    std::ofstream out(script);
    out << "#!/bin/sh\nfor last; do :; done\n[ \"$last\" = \"" << file
        << "\" ] && exit 42\nexit 1\n";
  }
  ASSERT_EQ(chmod(script.c_str(), 0700), 0);
  CSystemBenchHost byCode(files, script, ELoadFigure::ExitCode);
  run = byCode.RunLoad("-b4K -d1", file);
  EXPECT_TRUE(run.Started);
  EXPECT_DOUBLE_EQ(run.MegabytesPerSecond, 0.004);

  for (const std::string& missing : {dir.File("absent"), dir.Path().string()}) {
    CSystemBenchHost none(files, missing, ELoadFigure::JsonLine);
    EXPECT_FALSE(none.LoadGeneratorExists()) << missing;
    EXPECT_FALSE(none.RunLoad("-b4K -d1", file).Started) << missing;
  }
}

}  // namespace
