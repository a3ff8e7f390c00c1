// stavrion-load: the load generator of the benchmark, Linux build. The exit
// status says whether the run worked; the figure is on stdout.
#include <random>
#include <string>
#include <vector>

#include "loadgen/LoadMain.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::unique_ptr<loadgen::ILoadBackend> backend = loadgen::MakeNativeLoadBackend();
  std::random_device entropy;
  const uint64_t seed = (uint64_t{entropy()} << 32) | entropy();
  return loadgen::LoadMain("stavrion-load", args, *backend, seed, loadgen::ExitStyle::Conventional,
                           stdout, stderr);
}
