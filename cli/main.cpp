// stavrion: the command-line front end. A small dispatcher; each command
// lives in its own file (cli/*Command.cpp).
#include <cstdio>
#include <string>
#include <vector>

#include "app/Version.h"
#include "cli/Commands.h"

namespace {

struct Command {
  const char* Name;
  int (*Run)(const std::vector<std::string>& args);
  const char* Usage;
};

const Command kCommands[] = {
    {"probe", cli::RunProbe, "stavrion probe [--machine DIR|demo] [--raw]"},
    {"report", cli::RunReport,
     "stavrion report [--machine DIR|demo] [--json] [--all-disks | --system]"},
    {"watch", cli::RunWatch,
     "stavrion watch [--once] [--machine demo|DIR] [--config FILE] [--metrics HOST:PORT]\n"
     "                 [--alarm-command PROG] [--all-disks]   (stavrion watch --help)"},
    {"bench", cli::RunBench,
     "stavrion bench PATH [--json] [--type 0-4] [--size MIB] [--loops 1-8]"},
};

void PrintUsage(std::FILE* to) {
  std::fprintf(to, "usage:\n  stavrion --version\n");
  for (const Command& c : kCommands) std::fprintf(to, "  %s\n", c.Usage);
  std::fprintf(to,
               "--all-disks: judge every disk by its S.M.A.R.T. attributes and thresholds.\n"
               "  By default a disk of no rated family or maker (most hard disks of other\n"
               "  makers) has status Unknown, as the window program shows it; with this\n"
               "  option a failing one is Caution or Bad (report and watch). The report names\n"
               "  the disks judged this way. The setting \"EvaluateAllDisks\" (section\n"
               "  \"Setting\") does the same for every run.\n"
               "exit status of report:\n"
               "  0  disks read\n"
               "  1  no disk found at all\n"
               "  2  usage or machine error\n"
               "  3  disks listed, S.M.A.R.T. not readable without root (CAP_SYS_RAWIO)\n"
               "  4  disks listed, the system refuses raw disk access even to root\n"
               "     (container, virtual machine)\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return cli::EXIT_USAGE;
  }
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintUsage(stdout);
    return cli::EXIT_OK;
  }
  if (name == "--version" || name == "-V" || name == "version") {
    std::printf("stavrion %s\n", STAVRION_VERSION_TEXT);
    return cli::EXIT_OK;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command& c : kCommands) {
    if (name == c.Name) return c.Run(args);
  }
  std::fprintf(stderr, "stavrion: unknown command '%s' (try stavrion --help)\n", name.c_str());
  return cli::EXIT_USAGE;
}
