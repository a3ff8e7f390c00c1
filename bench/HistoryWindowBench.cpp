// Opening a graph of a long history: a five-year item file of one record
// every 150 s (about 1.05 million lines, 25 MB), a window of each interval
// the graph pane offers, at the file's end (what the pane shows) and in its
// middle, read and reduced to at most 1000 points. Times with the file in
// the page cache (median and worst of the runs) and with the file dropped
// from it before each run (posix_fadvise DONTNEED; pages the kernel keeps
// anyway make this a lower bound of a truly cold read), and the heap the
// read uses at most.
//
//   build/linux/HistoryWindowBench [FOLDER]   (default: the system's temp folder)
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "monitor/GraphItems.h"
#include "monitor/HistoryCsv.h"
#include "monitor/HistoryWindow.h"
#include "os/linux/LinuxFileSystem.h"

// Heap in use and its high-water mark, counted by the global allocation
// functions.
namespace {
std::atomic<size_t> g_HeapNow{0};
std::atomic<size_t> g_HeapPeak{0};

void* Allocate(size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (!p) throw std::bad_alloc();
  const size_t now = g_HeapNow += malloc_usable_size(p);
  size_t peak = g_HeapPeak.load();
  while (now > peak && !g_HeapPeak.compare_exchange_weak(peak, now)) {
  }
  return p;
}
void Release(void* p) {
  if (!p) return;
  g_HeapNow -= malloc_usable_size(p);
  std::free(p);
}
}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }

namespace {

constexpr int64_t RECORD_PERIOD = 150;
constexpr int64_t YEARS = 5;

double Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void DropFromCache(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  fdatasync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
}

struct Run {
  double Ms = 0;
  size_t Points = 0, Samples = 0;
  uint64_t Bytes = 0;
  size_t Heap = 0;
};

Run Open(os::IFileSystem& files, const std::string& path, int64_t from, int64_t to) {
  const size_t heapBefore = g_HeapNow.load();
  g_HeapPeak.store(heapBefore);
  const auto start = std::chrono::steady_clock::now();
  std::unique_ptr<os::IReadableFile> file = files.OpenForReading(path);
  if (!file) {
    std::fprintf(stderr, "cannot open %s\n", path.c_str());
    std::exit(1);
  }
  monitor::HistoryWindowRequest request{from, to, 1000, monitor::FindGraphItem(300)->Rule};
  std::optional<monitor::HistoryWindow> w = monitor::ReadHistoryWindow(*file, request);
  file.reset();
  const auto end = std::chrono::steady_clock::now();
  if (!w || w->Points.empty() || w->Points.size() > 1000) {
    std::fprintf(stderr, "read failed\n");
    std::exit(1);
  }
  return {Ms(end - start), w->Points.size(), w->SampleCount, w->BytesRead,
          g_HeapPeak.load() - heapBefore};
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path dir =
      (argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path()) /
      ("stavrion-window-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "Temperature.csv").string();

  // Five years of temperatures with a daily cycle, CRLF lines as the
  // Windows program writes them.
  const int64_t start = *monitor::ParseHistoryTime("2021/01/01 00:00:00");
  const int64_t records = YEARS * 365 * 86400 / RECORD_PERIOD;
  const int64_t last = start + (records - 1) * RECORD_PERIOD;
  {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return 1;
    for (int64_t i = 0; i < records; ++i) {
      const int64_t t = start + i * RECORD_PERIOD;
      const std::time_t tt = static_cast<std::time_t>(t);
      std::tm tm{};
      gmtime_r(&tt, &tm);
      const int value = 35 + (tm.tm_hour >= 9 && tm.tm_hour < 18 ? 8 : 0) + static_cast<int>(i % 3);
      std::fprintf(out, "%s,%d\r\n", monitor::FormatHistoryTime(tm).c_str(), value);
    }
    std::fclose(out);
  }
  const uint64_t size = std::filesystem::file_size(path);
  std::printf("file: %lld lines, %.1f MB, %s\n", static_cast<long long>(records),
              static_cast<double>(size) / 1e6, path.c_str());

  os::CLinuxFileSystem files;
  struct Interval {
    const char* Name;
    int64_t Seconds;
  } intervals[] = {{"1 day", 86400},      {"1 week", 604800},     {"1 month", 2592000},
                   {"3 months", 7776000}, {"6 months", 15552000}, {"1 year", 31536000}};
  std::printf("%-9s %-6s %6s %8s %8s %9s %9s %9s %9s\n", "interval", "where", "points", "samples",
              "read KB", "warm med", "warm max", "cold med", "heap KB");
  double worstWarm = 0, worstCold = 0;
  size_t worstHeap = 0;
  for (const Interval& in : intervals) {
    for (const bool atEnd : {true, false}) {
      const int64_t to = atEnd ? last : start + (last - start) / 2;
      const int64_t from = to - in.Seconds;
      std::vector<double> warm, cold;
      Run r = Open(files, path, from, to);  // brings the window into the cache
      for (int i = 0; i < 15; ++i) warm.push_back(Open(files, path, from, to).Ms);
      for (int i = 0; i < 5; ++i) {
        DropFromCache(path);
        r = Open(files, path, from, to);
        cold.push_back(r.Ms);
      }
      std::sort(warm.begin(), warm.end());
      std::sort(cold.begin(), cold.end());
      std::printf("%-9s %-6s %6zu %8zu %8.0f %8.2fms %8.2fms %8.2fms %9.0f\n", in.Name,
                  atEnd ? "end" : "middle", r.Points, r.Samples,
                  static_cast<double>(r.Bytes) / 1024, warm[warm.size() / 2], warm.back(),
                  cold[cold.size() / 2], static_cast<double>(r.Heap) / 1024);
      worstWarm = std::max(worstWarm, warm.back());
      worstCold = std::max(worstCold, cold.back());
      worstHeap = std::max(worstHeap, r.Heap);
    }
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("worst: warm %.2f ms, cold %.2f ms, heap %.0f KB; process peak RSS %ld KB\n",
              worstWarm, worstCold, static_cast<double>(worstHeap) / 1024, usage.ru_maxrss);
  std::filesystem::remove_all(dir);
  return 0;
}
