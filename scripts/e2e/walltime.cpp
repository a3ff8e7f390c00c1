// walltime RUNS -- COMMAND [ARGS...]
// Runs a command RUNS times, its output discarded, and prints the wall time
// of each run in nanoseconds, one per line. A command given as "-" reads the
// commands of one run from standard input instead, one per line, each split
// at blanks, and times them together.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

static long long Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

static void Run(const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
}

int main(int argc, char** argv) {
  if (argc < 4 || std::string(argv[2]) != "--") {
    std::fprintf(stderr, "usage: walltime RUNS -- COMMAND [ARGS...] | -\n");
    return 2;
  }
  int runs = std::atoi(argv[1]);
  std::vector<std::vector<std::string>> commands;
  if (std::string(argv[3]) == "-") {
    std::string line;
    char buffer[4096];
    while (std::fgets(buffer, sizeof(buffer), stdin)) {
      std::istringstream words(buffer);
      std::vector<std::string> args;
      std::string w;
      while (words >> w) args.push_back(w);
      if (!args.empty()) commands.push_back(args);
    }
  } else {
    commands.emplace_back(argv + 3, argv + argc);
  }
  for (int i = 0; i < runs; ++i) {
    long long start = Now();
    for (const auto& c : commands) Run(c);
    std::printf("%lld\n", Now() - start);
  }
  return 0;
}
