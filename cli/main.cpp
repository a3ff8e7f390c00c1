#include <cstdio>
#include <string>

#include "cli/ReportCommand.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: stavrion probe|report [--machine DIR|demo] [--json] [--raw]\n");
    return 2;
  }
  if (std::string(argv[1]) == "report") return RunReportCommand(argc, argv);
  std::fprintf(stderr, "stavrion: unknown command '%s'\n", argv[1]);
  return 2;
}
