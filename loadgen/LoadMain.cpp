#include "loadgen/LoadMain.h"

namespace loadgen {

int LoadMain(const std::string& program, const std::vector<std::string>& args,
             ILoadBackend& backend, uint64_t seed, ExitStyle style, std::FILE* out,
             std::FILE* err) {
  const bool conventional = style == ExitStyle::Conventional;
  const int usageStatus = conventional ? 2 : 0;
  const int failedStatus = conventional ? 1 : 0;

  CLoadOptions options;
  std::string error;
  if (!ParseLoadArgs(args, &options, &error)) {
    std::fprintf(err, "%s: %s\n%s", program.c_str(), error.c_str(), LoadUsage(program).c_str());
    return usageStatus;
  }
  if (options.Help) {
    std::fputs(LoadUsage(program).c_str(), out);
    return 0;
  }
  uint64_t fileSize = 0;
  std::vector<CThreadPlan> plans;
  if (!backend.FileSize(options.Path, &fileSize, &error) ||
      !PlanThreads(options, fileSize, seed, &plans, &error)) {
    std::fprintf(err, "%s: %s\n", program.c_str(), error.c_str());
    return failedStatus;
  }
  CLoadResult result;
  if (!backend.Run(options, plans, &result, &error)) {
    std::fprintf(err, "%s: %s\n", program.c_str(), error.c_str());
    return failedStatus;
  }
  bool saturated = false;
  const int32_t code = ExitCodeForRate(MegabytesPerSecond(result), &saturated);
  if (saturated) {
    std::fprintf(err,
                 "%s: %.1f MB/s is more than an exit code can carry (214748.3647 MB/s); "
                 "the exit code says 214748.3647\n",
                 program.c_str(), MegabytesPerSecond(result));
  }
  std::fprintf(out, "%s\n", (options.Json ? ResultJson(result) : ResultLine(result)).c_str());
  std::fflush(out);
  return conventional ? 0 : code;
}

}  // namespace loadgen
