// The load generator's command line. The benchmark pane drives the program
// with diskspd-style flags, each value glued to its letter:
//   -b<size>  block size (bytes, or with K, M, G)      -d<s>  counted seconds
//   -o<n>     I/Os in flight per thread                -t<n>  threads
//   -W<s>     warm-up seconds before counting          -r     random offsets
//   -S        no file-system caching (O_DIRECT / FILE_FLAG_NO_BUFFERING)
//   -w<pct>   share of writes, 0-100                   -Z<size> random write data
// followed by the test file's path, last. `--json` asks for a JSON result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace loadgen {

struct CLoadOptions {
  uint32_t BlockSize = 64 * 1024;
  uint32_t Seconds = 10;
  uint32_t WarmupSeconds = 5;
  uint32_t QueueDepth = 2;
  uint32_t Threads = 1;
  uint32_t WritePercent = 0;
  bool Random = false;
  bool Unbuffered = false;
  // 0: writes carry a repeating byte pattern; otherwise the size of the
  // random write data the user asked for with -Z.
  uint64_t RandomDataSize = 0;
  // Seconds without any completion after which a thread gives the run up
  // as failed (see CStallWatch); not on the command line.
  double StallSeconds = 30;
  bool Json = false;
  bool Help = false;
  std::string Path;
};

// Limits of the values; larger ones are usage errors, not silently cut.
constexpr uint32_t MAX_BLOCK_SIZE = 64u << 20;
constexpr uint32_t MAX_QUEUE_DEPTH = 1024;
constexpr uint32_t MAX_THREADS = 256;
constexpr uint32_t MAX_SECONDS = 24 * 3600;
// Buffers of one run (threads x depth x block x 2) stay below this.
constexpr uint64_t MAX_BUFFER_BYTES = 2ull << 30;

// Reads the words after the program name. On a usage error returns false
// and sets *error to one line naming the offending word.
bool ParseLoadArgs(const std::vector<std::string>& args, CLoadOptions* options, std::string* error);

// The usage text, one flag per line.
std::string LoadUsage(const std::string& program);

// "128k", "4K", "1M", "512": bytes, K/M/G binary multiples. False when the
// text is not such a size or exceeds `max`.
bool ParseSize(const std::string& text, uint64_t max, uint64_t* bytes);

}  // namespace loadgen
