#include "loadgen/LoadOptions.h"

#include <cstdio>

namespace loadgen {
namespace {

bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value) {
  if (text.empty() || text.size() > 12) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > max) return false;
  *value = v;
  return true;
}

bool ParseCount(const std::string& text, uint32_t min, uint32_t max, uint32_t* value) {
  uint64_t v = 0;
  if (!ParseNumber(text, max, &v) || v < min) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

bool ParseSize(const std::string& text, uint64_t max, uint64_t* bytes) {
  if (text.empty()) return false;
  uint64_t scale = 1;
  std::string digits = text;
  switch (text.back()) {
    case 'k':
    case 'K':
      scale = 1ull << 10;
      break;
    case 'm':
    case 'M':
      scale = 1ull << 20;
      break;
    case 'g':
    case 'G':
      scale = 1ull << 30;
      break;
    default:
      break;
  }
  if (scale != 1) digits.pop_back();
  uint64_t v = 0;
  if (!ParseNumber(digits, max / scale, &v)) return false;
  *bytes = v * scale;
  return true;
}

bool ParseLoadArgs(const std::vector<std::string>& args, CLoadOptions* options,
                   std::string* error) {
  CLoadOptions o;
  auto fail = [error](const std::string& word, const char* why) {
    *error = "'" + word + "': " + why;
    return false;
  };
  bool sawPath = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (sawPath) return fail(a, "the test file's path must come last");
    if (a == "--json") {
      o.Json = true;
      continue;
    }
    if (a == "-h" || a == "--help" || a == "-?") {
      o.Help = true;
      continue;
    }
    if (a.size() < 2 || a[0] != '-') {
      if (a.empty()) return fail(a, "empty test file path");
      o.Path = a;
      sawPath = true;
      continue;
    }
    const char flag = a[1];
    const std::string value = a.substr(2);
    uint64_t size = 0;
    switch (flag) {
      case 'b':
        if (!ParseSize(value, MAX_BLOCK_SIZE, &size) || size == 0)
          return fail(a, "block size must be 1 byte to 64M (e.g. -b4K, -b128k)");
        o.BlockSize = static_cast<uint32_t>(size);
        break;
      case 'd':
        if (!ParseCount(value, 1, MAX_SECONDS, &o.Seconds))
          return fail(a, "duration must be 1 to 86400 seconds (e.g. -d5)");
        break;
      case 'W':
        if (!ParseCount(value, 0, MAX_SECONDS, &o.WarmupSeconds))
          return fail(a, "warm-up must be 0 to 86400 seconds (e.g. -W0)");
        break;
      case 'o':
        if (!ParseCount(value, 1, MAX_QUEUE_DEPTH, &o.QueueDepth))
          return fail(a, "queue depth must be 1 to 1024 (e.g. -o32)");
        break;
      case 't':
        if (!ParseCount(value, 1, MAX_THREADS, &o.Threads))
          return fail(a, "thread count must be 1 to 256 (e.g. -t8)");
        break;
      case 'w':
        if (!ParseCount(value, 0, 100, &o.WritePercent))
          return fail(a, "write share must be 0 to 100 percent (e.g. -w100)");
        break;
      case 'r':
        if (!value.empty()) return fail(a, "-r takes no value (offsets align to the block size)");
        o.Random = true;
        break;
      case 'S':
        if (!value.empty()) return fail(a, "only plain -S (no caching) is supported");
        o.Unbuffered = true;
        break;
      case 'Z':
        if (!ParseSize(value, MAX_BUFFER_BYTES, &size) || size == 0)
          return fail(a, "random write data size must be 1 byte to 2G (e.g. -Z128K)");
        o.RandomDataSize = size;
        break;
      default:
        return fail(a, "unknown flag");
    }
  }
  if (o.Help) {
    *options = o;
    return true;
  }
  if (!sawPath) {
    *error = "the test file's path is missing (it comes last)";
    return false;
  }
  if (o.Unbuffered && o.BlockSize % 512 != 0) {
    *error = "with -S the block size must be a multiple of 512 bytes";
    return false;
  }
  if (uint64_t{o.Threads} * o.QueueDepth * o.BlockSize * 2 > MAX_BUFFER_BYTES) {
    *error = "threads x queue depth x block size needs more than 1 GiB of buffers";
    return false;
  }
  *options = o;
  return true;
}

std::string LoadUsage(const std::string& program) {
  return "usage: " + program +
         " [flags] TESTFILE\n"
         "  -b<size>  block size, bytes or with K/M/G (default 64K)\n"
         "  -d<s>     seconds counted (default 10)\n"
         "  -W<s>     warm-up seconds before counting (default 5)\n"
         "  -o<n>     I/Os in flight per thread (default 2)\n"
         "  -t<n>     threads (default 1)\n"
         "  -w<pct>   percentage of writes (default 0)\n"
         "  -r        random block-aligned offsets over the whole file (default sequential,\n"
         "            each thread in its own part of the file)\n"
         "  -S        bypass the file-system cache\n"
         "  -Z<size>  writes carry random (incompressible) data instead of a byte pattern\n"
         "  --json    print the result as one JSON object\n"
         "The test file must exist; its size sets the range tested.\n";
}

}  // namespace loadgen
