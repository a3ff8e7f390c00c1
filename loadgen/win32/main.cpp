// diskspd32.exe: the load generator of the benchmark pane, Windows build.
// The exit code carries MB/s x 10,000; the figure is printed as well.
#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include "loadgen/LoadMain.h"

namespace {

std::string Utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.pop_back();  // the terminating NUL
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
  std::unique_ptr<loadgen::ILoadBackend> backend = loadgen::MakeNativeLoadBackend();
  std::random_device entropy;
  const uint64_t seed = (uint64_t{entropy()} << 32) | entropy();
  return loadgen::LoadMain("diskspd32", args, *backend, seed, loadgen::ExitStyle::RateInExitCode,
                           stdout, stderr);
}
