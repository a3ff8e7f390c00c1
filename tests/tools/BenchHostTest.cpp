// The benchmark host's reading of the load generator: the words of a run
// and the figure it hands back, by exit code or by JSON line.
#include "tools/BenchHost.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

using tools::ELoadFigure;
using Words = std::vector<std::string>;

TEST(BenchHost, GeneratorWordsOfARun) {
  struct Case {
    std::string Arguments;
    ELoadFigure Figure;
    Words Expected;
  };
  const Case cases[] = {
      {"-b4K -d5 -o1 -t1 -W0 -r -S -w0",
       ELoadFigure::ExitCode,
       {"-b4K", "-d5", "-o1", "-t1", "-W0", "-r", "-S", "-w0", "C:\\T\\t.tmp"}},
      {"-b128k -d5 -w100 -Z128K",
       ELoadFigure::JsonLine,
       {"-b128k", "-d5", "-w100", "-Z128K", "--json", "C:\\T\\t.tmp"}},
      // Blanks in a row, at the start and the end make no empty word.
      {"  -b4K   -d5 ", ELoadFigure::JsonLine, {"-b4K", "-d5", "--json", "C:\\T\\t.tmp"}},
      {"", ELoadFigure::ExitCode, {"C:\\T\\t.tmp"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tools::LoadGeneratorWords(c.Arguments, "C:\\T\\t.tmp", c.Figure), c.Expected)
        << c.Arguments;
  }
}

TEST(BenchHost, FigureOfARun) {
  struct Case {
    const char* Name;
    bool Started;
    int ExitCode;
    std::string Output;
    ELoadFigure Figure;
    double Expected;
  };
  const std::string json =
      "{\"bytes\":817897472,\"seconds\":3.000000,\"mb_per_s\":272.632491,"
      "\"ios\":199682,\"exit_code\":2726324,\"saturated\":false}\n";
  const Case cases[] = {
      {"exit code", true, 5123456, "", ELoadFigure::ExitCode, 512.345},
      {"exit code, output ignored", true, 10, json, ELoadFigure::ExitCode, 0.001},
      {"failed run", true, -1, "", ELoadFigure::ExitCode, 0},
      {"not started", false, 5123456, "", ELoadFigure::ExitCode, 0},
      {"json", true, 0, json, ELoadFigure::JsonLine, 272.632491},
      // On Linux the exit status is the figure mod 256: never read.
      {"json, status ignored", true, 36, json, ELoadFigure::JsonLine, 272.632491},
      {"json missing", true, 1, "stavrion-load: cannot open", ELoadFigure::JsonLine, 0},
      {"json not a number", true, 0, "{\"mb_per_s\":nan}", ELoadFigure::JsonLine, 0},
      {"json negative", true, 0, "{\"mb_per_s\":-5}", ELoadFigure::JsonLine, 0},
      {"json cut short", true, 0, "{\"mb_per_s\":", ELoadFigure::JsonLine, 0},
      {"json not started", false, 0, json, ELoadFigure::JsonLine, 0},
  };
  for (const Case& c : cases) {
    os::ProgramRun run;
    run.Started = c.Started;
    run.ExitCode = c.ExitCode;
    run.Output = c.Output;
    EXPECT_DOUBLE_EQ(tools::LoadGeneratorFigure(run, c.Figure), c.Expected) << c.Name;
  }
}

}  // namespace
