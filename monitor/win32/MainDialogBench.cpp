// The main window's own measurements (--bench FILE): start-up shares, a
// refresh of every disk with the redraw it causes, the graph pane's reading
// and drawing, and the memory the process holds. Written by the program
// itself: from another process Wine reads the memory figures as 0.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "monitor/win32/MainDialog.h"

namespace monitor {
namespace {

double WallMs() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// User and kernel time of this process, milliseconds.
double ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           10000.0;
  };
  return ms(kernel) + ms(user);
}

// The committed private memory of this process, summed over its address
// space: what "private bytes" counts, also where the system's counter reads 0
// (Wine).
uint64_t PrivateCommittedBytes() {
  uint64_t total = 0;
  MEMORY_BASIC_INFORMATION info{};
  const char* address = nullptr;
  while (VirtualQuery(address, &info, sizeof(info)) == sizeof(info)) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
    const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return total;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

void CMainDialog::RunBench() {
  // A refresh of every disk with the redraw it causes (what it invalidated,
  // painted at once), in process CPU time, which Wine counts in whole clock
  // ticks: the mean of the rounds is the finer figure. Then the refresh
  // alone, and the whole window drawn again (as when it is uncovered).
  constexpr int ROUNDS = 20;
  auto paint = [this](UINT extra) {
    RedrawWindow(m_Hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN | extra);
  };
  std::vector<double> cpu, wall;
  const double allStart = ProcessCpuMs();
  for (int i = 0; i < ROUNDS; ++i) {
    const double cpuStart = ProcessCpuMs();
    const double wallStart = WallMs();
    m_Monitor.Refresh(true);
    paint(0);
    wall.push_back(WallMs() - wallStart);
    cpu.push_back(ProcessCpuMs() - cpuStart);
  }
  const double cpuMean = (ProcessCpuMs() - allStart) / ROUNDS;
  double start = ProcessCpuMs();
  for (int i = 0; i < ROUNDS; ++i) m_Monitor.Refresh(true);
  const double refreshMean = (ProcessCpuMs() - start) / ROUNDS;
  paint(0);
  start = ProcessCpuMs();
  for (int i = 0; i < ROUNDS; ++i) paint(RDW_INVALIDATE | RDW_ERASE);
  const double fullRedrawMean = (ProcessCpuMs() - start) / ROUNDS;
  // The disk list built again (as a rescan does), in CPU time: the engine
  // and monitor share of the start without the machine's load in it.
  constexpr int INITS = 10;
  start = ProcessCpuMs();
  for (int i = 0; i < INITS; ++i) m_Monitor.InitAta();
  const double initMean = (ProcessCpuMs() - start) / INITS;
  // With the graph pane shown: each interval of its item read and drawn.
  std::vector<double> graph[6];
  if (m_Graph && m_View == 6) {
    m_Graph->FillDiskCombo();
    for (int round = 0; round < 5; ++round) {
      for (int interval = 0; interval < 6; ++interval) {
        const double t = WallMs();
        m_Graph->Choose(m_Setup.ScreenshotGraphCode, interval);
        RedrawWindow(m_Graph->Hwnd(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        graph[interval].push_back(WallMs() - t);
      }
    }
  }
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                       sizeof(memory));
  FILE* out = _wfopen(m_Setup.Bench.c_str(), L"wb");
  if (out != nullptr) {
    std::fprintf(out, "disks %d\n", m_Monitor.DiskCount());
    std::fprintf(out, "system_info_ms %.2f\n", m_SystemInfoMs);
    std::fprintf(out, "init_ata_ms %.2f\n", m_InitAtaMs);
    std::fprintf(out, "init_ata_cpu_ms_mean %.2f\n", initMean);
    std::fprintf(out, "monitor_before_first_paint_ms %.2f\n", m_MonitorMs);
    std::fprintf(out, "start_to_first_paint_ms %.2f\n", m_FirstPaintMs);
    std::fprintf(out, "refresh_redraw_cpu_ms_median %.2f\n", Median(cpu));
    std::fprintf(out, "refresh_redraw_cpu_ms_mean %.2f\n", cpuMean);
    std::fprintf(out, "refresh_cpu_ms_mean %.2f\n", refreshMean);
    std::fprintf(out, "full_redraw_cpu_ms_mean %.2f\n", fullRedrawMean);
    std::fprintf(out, "refresh_redraw_wall_ms_median %.2f\n", Median(wall));
    std::fprintf(out, "private_bytes %llu\n", static_cast<unsigned long long>(memory.PrivateUsage));
    std::fprintf(out, "private_committed_bytes %llu\n",
                 static_cast<unsigned long long>(PrivateCommittedBytes()));
    std::fprintf(out, "working_set_bytes %llu\n",
                 static_cast<unsigned long long>(memory.WorkingSetSize));
    for (int interval = 0; interval < 6; ++interval) {
      std::vector<double>& g = graph[interval];
      if (g.empty()) continue;
      std::sort(g.begin(), g.end());
      std::fprintf(out, "graph_read_draw_ms_interval_%d_median %.2f\n", interval, g[g.size() / 2]);
      std::fprintf(out, "graph_read_draw_ms_interval_%d_max %.2f\n", interval, g.back());
    }
    std::fclose(out);
  }
  m_Monitor.CanExit();
  Leave(IDOK);
}

}  // namespace monitor
