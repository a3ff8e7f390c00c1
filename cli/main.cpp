// stavrion: the command-line front end. A small dispatcher; each command
// lives in its own file (cli/*Command.cpp).
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace {

struct Command {
  const char* Name;
  int (*Run)(const std::vector<std::string>& args);
  const char* Usage;
};

const Command kCommands[] = {
    {"probe", cli::RunProbe, "stavrion probe [--machine DIR|demo] [--raw]"},
    {"report", cli::RunReport, "stavrion report [--machine DIR|demo] [--json]"},
};

void PrintUsage(std::FILE* to) {
  std::fprintf(to, "usage:\n");
  for (const Command& c : kCommands) std::fprintf(to, "  %s\n", c.Usage);
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
  std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command& c : kCommands) {
    if (name == c.Name) return c.Run(args);
  }
  std::fprintf(stderr, "stavrion: unknown command '%s' (try stavrion --help)\n", name.c_str());
  return cli::EXIT_USAGE;
}
