// The status service over real loopback sockets: one line per maker disk and
// "END", with a bounded wait for each reply, so a service that never
// answers costs a little time and never freezes the caller.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/Settings.h"
#include "monitor/Monitor.h"
#include "monitor/MonitorServices.h"
#include "monitor/StatusService.h"
#include "monitor/TimerHost.h"
#include "monitor/Watch.h"
#include "os/NativePlatform.h"
#include "os/sim/DemoMachine.h"
#include "os/sim/SimPlatform.h"
#include "tests/support/StdFileSystem.h"
#include "tests/support/TempDir.h"

namespace {

class StatusServiceTest : public testing::Test {
 protected:
  void SetUp() override {
    if (m_Native.Get().Net == nullptr) GTEST_SKIP() << "this platform has no sockets";
    os::sim::LoadResult loaded = os::sim::LoadDemoMachine();
    ASSERT_TRUE(loaded.Machine) << loaded.Error;
    m_Sim = std::make_unique<os::sim::CSimPlatform>(std::move(*loaded.Machine), m_Files);
    m_Settings =
        std::make_unique<app::CSettings>(m_Sim->Get().Profile, m_Sim->Clock(), m_Dir.File("s.ini"));
    m_Watch = std::make_unique<monitor::CWatch>(m_Sim->Get(), *m_Settings, &m_Services);
    m_Watch->Start();
    std::string error;
    m_Listener = Net().Listen("127.0.0.1", 0, &error);
    ASSERT_NE(m_Listener, nullptr) << error;
  }
  os::INet& Net() { return *m_Native.Get().Net; }
  // The maker disks of the demo machine: the ones the service hears of.
  int32_t MakerDisks() {
    int32_t n = 0;
    for (int32_t i = 0; i < m_Watch->Monitor().DiskCount(); ++i) {
      if (m_Watch->Monitor().Disks()[i].SupportLevel != 0) ++n;
    }
    return n;
  }
  std::string ReadAll(os::ISocket& s) {
    std::string all;
    char buffer[4096];
    size_t got = 0;
    while (s.Receive(buffer, sizeof buffer, &got, 200) == os::NetStatus::Ok)
      all.append(buffer, got);
    return all;
  }

  os::NativePlatform m_Native;
  testutil::CTempDir m_Dir;
  testutil::CStdFileSystem m_Files;
  std::unique_ptr<os::sim::CSimPlatform> m_Sim;
  std::unique_ptr<app::CSettings> m_Settings;
  monitor::CNotYetServices m_Services;
  std::unique_ptr<monitor::CWatch> m_Watch;
  std::unique_ptr<os::IListener> m_Listener;
};

TEST_F(StatusServiceTest, ASilentServiceGetsEveryLineAndEndWithoutFreezingTheCaller) {
  ASSERT_GT(MakerDisks(), 1);
  monitor::CStatusService service(
      Net(), m_Sim->Clock(), [] { return monitor::StatusFigures{}; }, m_Listener->Port());
  std::string error;
  ASSERT_TRUE(service.Connect(&error)) << error;
  std::unique_ptr<os::ISocket> peer;
  ASSERT_EQ(m_Listener->Accept(&peer, 2000), os::NetStatus::Ok);

  // The peer never answers: each reply wait ends at its time-out and the
  // next line goes out all the same.
  EXPECT_TRUE(service.SendDiskStatus(m_Watch->Monitor()));
  const std::string got = ReadAll(*peer);
  for (int32_t i = 0; i < m_Watch->Monitor().DiskCount(); ++i) {
    const ATA_SMART_INFO& d = m_Watch->Monitor().Disks()[i];
    const bool listed =
        got.find("," + monitor::StatusField(d.SerialNumber) + ",") != std::string::npos;
    EXPECT_EQ(listed, d.SupportLevel != 0) << d.Model;
  }
  ASSERT_GE(got.size(), 3u);
  EXPECT_EQ(got.substr(got.size() - 3), "END");
  EXPECT_TRUE(service.IsConnected());
}

TEST_F(StatusServiceTest, AServiceThatWentAwayStopsTheServiceInsteadOfHanging) {
  monitor::CStatusService service(
      Net(), m_Sim->Clock(), [] { return monitor::StatusFigures{}; }, m_Listener->Port());
  std::string error;
  ASSERT_TRUE(service.Connect(&error)) << error;
  std::unique_ptr<os::ISocket> peer;
  ASSERT_EQ(m_Listener->Accept(&peer, 2000), os::NetStatus::Ok);
  peer.reset();  // the service ends
  EXPECT_FALSE(service.SendDiskStatus(m_Watch->Monitor()));
  EXPECT_FALSE(service.IsConnected());
  // Later cycles do nothing and say so.
  EXPECT_FALSE(service.SendDiskStatus(m_Watch->Monitor()));
}

TEST_F(StatusServiceTest, NoServiceListeningIsAClearError) {
  const uint16_t port = m_Listener->Port();
  m_Listener.reset();
  monitor::CStatusService service(
      Net(), m_Sim->Clock(), [] { return monitor::StatusFigures{}; }, port);
  std::string error;
  EXPECT_FALSE(service.Connect(&error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(service.IsConnected());
}

// ---- the service on a front end's timers ----

// A service that answers every line at once, as a real one does, and keeps
// what it received.
class CAnsweringPeer {
 public:
  explicit CAnsweringPeer(std::unique_ptr<os::ISocket> socket)
      : m_Socket(std::move(socket)), m_Thread([this] { Run(); }) {}
  ~CAnsweringPeer() {
    m_Stop = true;
    if (m_Thread.joinable()) m_Thread.join();
  }
  // Everything received, once the program has closed its end.
  std::string ReceivedUntilClosed() {
    if (m_Thread.joinable()) m_Thread.join();
    return m_Got;
  }

 private:
  void Run() {
    char buffer[4096];
    size_t got = 0;
    while (!m_Stop) {
      const os::NetStatus s = m_Socket->Receive(buffer, sizeof buffer, &got, 50);
      if (s == os::NetStatus::TimedOut) continue;
      if (s != os::NetStatus::Ok) return;
      m_Got.append(buffer, got);
      // A disk line waits for its reply; "END" does not.
      if (m_Got.size() < 3 || m_Got.compare(m_Got.size() - 3, 3, "END") != 0) {
        m_Socket->Send("OK", 1000);
      }
    }
  }
  std::unique_ptr<os::ISocket> m_Socket;
  std::atomic<bool> m_Stop{false};
  std::string m_Got;
  std::thread m_Thread;
};

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(StatusServiceTest, TheBitOfTslOptDecidesWhetherTheServiceIsConnectedAtAll) {
  const struct {
    int32_t TslOpt;
    bool Runs;
  } cases[] = {{0, false}, {0x4000, false}, {1, false}, {0x8000, true}, {0xC000, true}};
  for (const auto& c : cases) {
    monitor::CTimerQueue timers(m_Sim->Clock());
    std::vector<std::string> log;
    monitor::CStatusServiceTimer status(
        &Net(), m_Sim->Clock(), timers, [] { return monitor::StatusFigures{}; },
        [&log](const std::string& line) { log.push_back(line); }, m_Listener->Port());
    EXPECT_EQ(status.Start(c.TslOpt), c.Runs) << std::hex << c.TslOpt;
    EXPECT_EQ(status.IsRunning(), c.Runs) << std::hex << c.TslOpt;
    EXPECT_EQ(timers.Period(monitor::TIMER_STATUS_SERVICE), c.Runs ? 1000u : 0u)
        << std::hex << c.TslOpt;
    std::unique_ptr<os::ISocket> peer;
    EXPECT_EQ(m_Listener->Accept(&peer, c.Runs ? 2000 : 100),
              c.Runs ? os::NetStatus::Ok : os::NetStatus::TimedOut)
        << std::hex << c.TslOpt;
    // The connection is made once: a second start changes nothing.
    EXPECT_EQ(status.Start(0x8000), c.Runs) << std::hex << c.TslOpt;
    EXPECT_EQ(m_Listener->Accept(&peer, 100), os::NetStatus::TimedOut) << std::hex << c.TslOpt;
    EXPECT_TRUE(log.empty());
  }
}

TEST_F(StatusServiceTest, EachTickOfTheTimerSendsOneCycleOnTheWatchQueue) {
  ASSERT_GT(MakerDisks(), 0);
  monitor::CStatusServiceTimer status(
      &Net(), m_Sim->Clock(), m_Watch->Timers(),
      [] { return monitor::MakeStatusFigures(37, 2048, 24463); }, {}, m_Listener->Port());
  m_Watch->SetOwnTimerHandler(monitor::TIMER_STATUS_SERVICE, [&] {
    status.OnTimer(monitor::TIMER_STATUS_SERVICE, m_Watch->Monitor());
  });
  ASSERT_TRUE(status.Start(0x8000));
  std::unique_ptr<os::ISocket> socket;
  ASSERT_EQ(m_Listener->Accept(&socket, 2000), os::NetStatus::Ok);
  CAnsweringPeer peer(std::move(socket));
  // The watch's own loop on its virtual clock, until three cycles have
  // gone out: each one line per maker disk and "END".
  uint64_t waited = 0;
  m_Watch->Run([&](uint32_t ms) {
    if (status.Cycles() >= 3 || waited > 60000) return true;
    m_Sim->Clock().Advance(ms);
    waited += ms;
    return false;
  });
  EXPECT_TRUE(status.IsRunning());
  status.Stop();
  EXPECT_FALSE(m_Watch->Timers().IsArmed(monitor::TIMER_STATUS_SERVICE));
  const std::string got = peer.ReceivedUntilClosed();
  EXPECT_EQ(status.Cycles(), 3u);
  EXPECT_EQ(Count(got, "END"), 3u) << got;
  EXPECT_EQ(Count(got, "127.0.0.2,2,") + Count(got, "127.0.0.1,1,"),
            3u * static_cast<size_t>(MakerDisks()))
      << got;
  EXPECT_NE(got.find(",37,2048,24463"), std::string::npos) << got;
}

TEST_F(StatusServiceTest, AFailedSendStopsTheServiceForTheRestOfTheRunAndSaysSo) {
  monitor::CTimerQueue timers(m_Sim->Clock());
  std::vector<std::string> log;
  monitor::CStatusServiceTimer status(
      &Net(), m_Sim->Clock(), timers, [] { return monitor::StatusFigures{}; },
      [&log](const std::string& line) { log.push_back(line); }, m_Listener->Port());
  ASSERT_TRUE(status.Start(0x8000));
  std::unique_ptr<os::ISocket> peer;
  ASSERT_EQ(m_Listener->Accept(&peer, 2000), os::NetStatus::Ok);
  peer.reset();  // the service ends
  status.OnTimer(monitor::TIMER_STATUS_SERVICE, m_Watch->Monitor());
  EXPECT_FALSE(status.IsRunning());
  EXPECT_FALSE(timers.IsArmed(monitor::TIMER_STATUS_SERVICE));
  EXPECT_EQ(log, std::vector<std::string>{monitor::STATUS_SERVICE_STOPPED});
  // No reconnection: a later tick does nothing, nobody is called again.
  status.OnTimer(monitor::TIMER_STATUS_SERVICE, m_Watch->Monitor());
  EXPECT_EQ(m_Listener->Accept(&peer, 100), os::NetStatus::TimedOut);
  EXPECT_EQ(status.Cycles(), 1u);
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(StatusServiceTest, NoServiceListeningLeavesTheTimerUnarmedWithALogLine) {
  const uint16_t port = m_Listener->Port();
  m_Listener.reset();
  monitor::CTimerQueue timers(m_Sim->Clock());
  std::vector<std::string> log;
  monitor::CStatusServiceTimer status(
      &Net(), m_Sim->Clock(), timers, [] { return monitor::StatusFigures{}; },
      [&log](const std::string& line) { log.push_back(line); }, port);
  EXPECT_FALSE(status.Start(0x8000));
  EXPECT_FALSE(timers.IsArmed(monitor::TIMER_STATUS_SERVICE));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind("Status service not connected: ", 0), 0u) << log[0];
  // No network at all: never started.
  monitor::CStatusServiceTimer none(
      nullptr, m_Sim->Clock(), timers, [] { return monitor::StatusFigures{}; }, {}, port);
  EXPECT_FALSE(none.Start(0x8000));
}

// A tick that a message box inside a rescan lets in must not read disks
// while the list is rebuilt under it.
class CTickDuringRescan : public monitor::IMonitorListener {
 public:
  void OnMonitorChanged(uint32_t) override {}
  void OnRescan(bool begins) override {
    if (begins && Status != nullptr && Monitor != nullptr) {
      Status->OnTimer(monitor::TIMER_STATUS_SERVICE, *Monitor);
      ++Ticks;
    }
  }
  monitor::CStatusServiceTimer* Status = nullptr;
  monitor::CMonitor* Monitor = nullptr;
  int Ticks = 0;
};

TEST_F(StatusServiceTest, ATickInTheMiddleOfARescanIsLeftOut) {
  monitor::CTimerQueue timers(m_Sim->Clock());
  CTickDuringRescan listener;
  monitor::CMonitor monitor(m_Sim->Get(), *m_Settings, timers, &listener);
  ASSERT_TRUE(monitor.InitAta());
  monitor::CStatusServiceTimer status(
      &Net(), m_Sim->Clock(), timers, [] { return monitor::StatusFigures{}; }, {},
      m_Listener->Port());
  ASSERT_TRUE(status.Start(0x8000));
  std::unique_ptr<os::ISocket> peer;
  ASSERT_EQ(m_Listener->Accept(&peer, 2000), os::NetStatus::Ok);
  listener.Status = &status;
  listener.Monitor = &monitor;
  ASSERT_TRUE(monitor.Rescan());
  EXPECT_EQ(listener.Ticks, 1);
  EXPECT_EQ(status.Cycles(), 0u);
  EXPECT_EQ(ReadAll(*peer), "");
  // Once the rescan is over, the next tick goes out.
  EXPECT_FALSE(status.OnTimer(monitor::TIMER_AUTO_REFRESH, monitor));
  EXPECT_EQ(status.Cycles(), 0u);
  EXPECT_TRUE(status.OnTimer(monitor::TIMER_STATUS_SERVICE, monitor));
  EXPECT_EQ(status.Cycles(), 1u);
  EXPECT_TRUE(status.IsRunning());
}

TEST(StatusFigures, TheSamplersMeansAndTheMemoryStayWithinALinesNumbers) {
  const struct {
    std::optional<int32_t> Cpu;
    std::optional<int64_t> AvailableMb;
    uint64_t RamMb;
    monitor::StatusFigures Want;
  } cases[] = {
      {std::nullopt, std::nullopt, 0, {0, 0, 0}},  // nothing sampled yet
      {12, 4096, 16384, {12, 4096, 16384}},
      {-5, -1, 1, {0, 0, 1}},
      {250, int64_t{1} << 40, uint64_t{1} << 40, {100, INT32_MAX, INT32_MAX}},
  };
  for (const auto& c : cases) {
    const monitor::StatusFigures f = monitor::MakeStatusFigures(c.Cpu, c.AvailableMb, c.RamMb);
    EXPECT_EQ(f.CpuUsage, c.Want.CpuUsage);
    EXPECT_EQ(f.AvailableMb, c.Want.AvailableMb);
    EXPECT_EQ(f.RamSizeMb, c.Want.RamSizeMb);
  }
}

}  // namespace
