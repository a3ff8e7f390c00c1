// The engine's own CPU cost on a simulated machine, with the time spent in
// the simulated devices measured and taken out: admission of one disk, and
// one refresh (UpdateSmartInfo + CheckDiskStatus) of one disk.
//
// Every device call goes through a timing wrapper; "engine" is the total
// minus what the wrapped calls took. The wrapper's own clock reads count
// half on each side, so the engine figure is slightly pessimistic.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>

#include "engine/AtaSmart.h"
#include "os/IniProfile.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/StdFileSystem.h"

namespace {

using Clock = std::chrono::steady_clock;
using Sector = std::array<uint8_t, 512>;

uint64_t g_DeviceNs = 0;

struct DeviceTimer {
  Clock::time_point Start = Clock::now();
  ~DeviceTimer() {
    g_DeviceNs += static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - Start).count());
  }
};

class CTimedHandle : public os::IDeviceHandle {
 public:
  explicit CTimedHandle(std::unique_ptr<os::IDeviceHandle> inner) : m_Inner(std::move(inner)) {}
  ~CTimedHandle() override {
    DeviceTimer t;
    m_Inner.reset();
  }
  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned, uint32_t* error) override {
    DeviceTimer t;
    return m_Inner->Control(code, in, inSize, out, outSize, returned, error);
  }
  bool Read(void* buffer, uint32_t size, uint32_t* read) override {
    DeviceTimer t;
    return m_Inner->Read(buffer, size, read);
  }

 private:
  std::unique_ptr<os::IDeviceHandle> m_Inner;
};

class CTimedDeviceIo : public os::IDeviceIo {
 public:
  explicit CTimedDeviceIo(os::IDeviceIo& inner) : m_Inner(inner) {}
  std::unique_ptr<os::IDeviceHandle> Open(const std::string& name, os::Access access,
                                          uint32_t* error) override {
    std::unique_ptr<os::IDeviceHandle> h;
    {
      DeviceTimer t;
      h = m_Inner.Open(name, access, error);
    }
    if (!h) return nullptr;
    return std::make_unique<CTimedHandle>(std::move(h));
  }
  bool DefineRawDosDevice(const std::string& name, const std::string& target) override {
    DeviceTimer t;
    return m_Inner.DefineRawDosDevice(name, target);
  }

 private:
  os::IDeviceIo& m_Inner;
};

Sector ReadSector(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() != 512) throw std::runtime_error("not a sector: " + path);
  Sector s{};
  std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(s.data()));
  return s;
}

struct Result {
  double TotalNs;
  double DeviceNs;
};

template <typename Step, typename Between>
Result Measure(int iterations, Step step, Between between) {
  uint64_t totalNs = 0;
  g_DeviceNs = 0;
  for (int i = 0; i < iterations; ++i) {
    between(i);
    const Clock::time_point start = Clock::now();
    step();
    totalNs += static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
  }
  return {static_cast<double>(totalNs) / iterations, static_cast<double>(g_DeviceNs) / iterations};
}

void Print(const char* what, const Result& r) {
  std::printf("%-46s total %8.0f ns   devices %8.0f ns   engine %8.0f ns\n", what, r.TotalNs,
              r.DeviceNs, r.TotalNs - r.DeviceNs);
}

void BenchDisk(const char* folder) {
  const std::string dir = std::string(STAVRION_SOURCE_DIR) + "/fixtures/real-ata/" + folder;
  const Sector data = ReadSector(dir + "/smart_data.bin");
  Sector warmer = data;  // the same disk one degree warmer: a changed reading
  for (size_t e = 2; e + 12 <= 362; e += 12) {
    if (warmer[e] == 0xC2 || warmer[e] == 0xBE) ++warmer[e + 5];
  }

  os::sim::SimMachine machine;
  os::sim::SimDisk disk;
  disk.PhysicalDrive = 0;
  disk.Paths[static_cast<size_t>(os::sim::SimPath::AtaPassThrough)] = true;
  disk.Identify = ReadSector(dir + "/identify.bin");
  disk.SmartData = {data};
  disk.SmartThresholds = ReadSector(dir + "/smart_thresholds.bin");
  disk.Sector0.assign(512, 0);
  machine.Disks.push_back(disk);

  testutil::CStdFileSystem files;
  os::CIniProfile profile(files);
  os::sim::CSimPlatform sim(std::move(machine), files);
  CTimedDeviceIo timed(sim.Devices());
  const os::Platform platform{timed, sim.Wmi(), sim.Clock(), files, profile, sim.System()};
  CAtaSmart ata(platform);

  auto clearLog = [&](int i) {
    if (i % 256 == 0) sim.Devices().ClearRequests();
  };
  auto admit = [&] {
    if (!ata.GetDiskInfo(0, -1, -1, INTERFACE_TYPE_UNKNOWN, 0, 0, -1, 0, false, false, "", false)) {
      throw std::runtime_error("disk not admitted");
    }
  };
  std::printf("%s\n", folder);
  Print("  admission (GetDiskInfo + AddDisk)", Measure(20000, admit, [&](int i) {
          clearLog(i);
          ata.vars.RemoveAll();
        }));

  ata.vars.RemoveAll();
  admit();
  auto refresh = [&] {
    ata.UpdateSmartInfo(0);
    ata.vars[0].DiskStatus = ata.CheckDiskStatus(0);
  };
  Print("  refresh, reading unchanged", Measure(200000, refresh, clearLog));
  Print("  refresh, temperature moving", Measure(200000, refresh, [&](int i) {
          clearLog(i);
          sim.Machine().Disks[0].SmartData[0] = (i & 1) ? warmer : data;
        }));
}

}  // namespace

int main() {
  try {
    BenchDisk("WDC_WD5000AAKS--00TMA0-12.01C01");
    BenchDisk("INTEL_SSDSA2CW120G3--4PC10302");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "EngineBench: %s\n", e.what());
    return 1;
  }
  return 0;
}
