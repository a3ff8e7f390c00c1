// The status service over real loopback sockets: one line per maker disk and
// "END", with a bounded wait for each reply, so a service that never
// answers costs a little time and never freezes the caller.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/Settings.h"
#include "monitor/MonitorServices.h"
#include "monitor/StatusService.h"
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

}  // namespace
