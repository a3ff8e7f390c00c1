#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "app/Settings.h"
#include "monitor/AlarmMail.h"
#include "monitor/MailAlarmSink.h"
#include "monitor/MailQueue.h"
#include "tests/support/AppFakes.h"
#include "tests/support/TempDir.h"

namespace {

using namespace monitor;

MailSettings Configured() {
  MailSettings m;
  m.To = "admin@example.org";
  m.From = "alarm@example.org";
  m.Host = "mx.example.org";
  m.Port = 587;
  m.User = "user";
  m.Password = "secret";
  return m;
}

TEST(AlarmMail, NothingIsComposedUntilMailIsSetUp) {
  struct Case {
    const char* Name;
    void (*Change)(MailSettings&);
  };
  const Case cases[] = {
      {"no recipient", [](MailSettings& m) { m.To.clear(); }},
      {"no sender", [](MailSettings& m) { m.From.clear(); }},
      {"no host", [](MailSettings& m) { m.Host.clear(); }},
      {"port 0", [](MailSettings& m) { m.Port = 0; }},
  };
  for (const Case& c : cases) {
    MailSettings m = Configured();
    c.Change(m);
    EXPECT_FALSE(ComposeAlarmMail(m, "Smart", "PC", 1, "t", "x", 0).has_value()) << c.Name;
  }
  EXPECT_TRUE(ComposeAlarmMail(Configured(), "Smart", "PC", 1, "t", "x", 0).has_value());
}

TEST(AlarmMail, SubjectAndBodyCarryComputerTitleAndId) {
  MailSettings m = Configured();
  // A title with drive letters one per line, as the alarm texts hold them.
  auto mail = ComposeAlarmMail(m, "Smart", "OFFICE-PC", 3, "Temperature C:\nD:",
                               "Disk 1: 58 \xC2\xB0"
                               "C",
                               1796858436);
  ASSERT_TRUE(mail.has_value());
  EXPECT_EQ(mail->Message.Subject, "[Smart] OFFICE-PC Temperature C:\nD: [3]");
  EXPECT_EQ(mail->Message.Body,
            "OFFICE-PC Temperature C:\nD:\r\n[3] Disk 1: 58 \xC2\xB0"
            "C");
  EXPECT_EQ(mail->Server.User, "user");
  EXPECT_EQ(mail->Server.Port, 587);
  // On the wire the subject stays one header line.
  std::string data = ComposeMail(mail->Message);
  EXPECT_NE(data.find("Subject: [Smart] OFFICE-PC Temperature C: D: [3]\r\n"), std::string::npos)
      << data;
  EXPECT_EQ(data.substr(0, data.find("\r\n\r\n")).find("\r\nD:"), std::string::npos);

  m.Authenticate = false;  // "SMTP" 0: no AUTH even with a user set
  mail = ComposeAlarmMail(m, "Smart", "PC", 1, "t", "x", 0);
  EXPECT_EQ(mail->Server.User, "");
  EXPECT_EQ(mail->Server.Password, "");
}

TEST(AlarmMail, SettingsAndProgramWord) {
  testutil::CTempDir dir;
  testutil::CFakeMutexTable mutexes;
  testutil::CTestProcess process(mutexes, dir.File("prog.exe"), "");
  std::string path = dir.File("Smart.ini");
  std::ofstream(path, std::ios::binary)
      << "[Setting]\r\nMailTo=a@b.c\r\nMailFrom=d@e.f\r\nMailHost="
         "mx\r\nMailPort=465\r\n"
         "MailID=u\r\nMailPassword=p\r\nSMTP=0\r\nMailSecurity="
         "2\r\nMailTrustFile=/ca.pem\r\n";
  app::CSettings settings(process.Profile, process.Clock, path);
  MailSettings m = ReadMailSettings(settings);
  EXPECT_EQ(m.To, "a@b.c");
  EXPECT_EQ(m.From, "d@e.f");
  EXPECT_EQ(m.Host, "mx");
  EXPECT_EQ(m.Port, 465);
  EXPECT_EQ(m.User, "u");
  EXPECT_EQ(m.Password, "p");
  EXPECT_FALSE(m.Authenticate);
  EXPECT_EQ(m.Security, MailSecurity::TLS);
  EXPECT_EQ(m.TrustFile, "/ca.pem");
  EXPECT_EQ(ProgramWord(path), "Smart");
  EXPECT_EQ(ProgramWord("C:\\Program Files\\Tool\\DiskInfo.ini"), "DiskInfo");
  EXPECT_EQ(ProgramWord("a.i"), "");
}

TEST(MailQueue, SendsInOrderOffTheCallersThreadAndDrainsOnExit) {
  std::mutex gate;
  gate.lock();  // the first mail waits here until the test lets it go
  std::vector<std::string> sent;
  std::vector<std::string> done;
  std::mutex lists;
  std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool> otherThread{true};
  {
    CMailQueue queue([&](const SmtpServer&, const MailMessage& m) {
      if (std::this_thread::get_id() == caller) otherThread = false;
      if (m.Subject == "1") {
        gate.lock();
        gate.unlock();
      }
      std::lock_guard<std::mutex> lock(lists);
      sent.push_back(m.Subject);
      return SmtpResult{m.Subject != "2", SmtpFailure::NONE, ""};
    });
    for (int i = 1; i <= 3; ++i) {
      MailMessage m;
      m.Subject = std::to_string(i);
      // Returns at once although the first mail is stuck.
      EXPECT_TRUE(queue.Post(SmtpServer{}, m, [&, i](const SmtpResult& r) {
        std::lock_guard<std::mutex> lock(lists);
        done.push_back(std::to_string(i) + (r.Ok ? "ok" : "failed"));
      }));
    }
    {
      std::lock_guard<std::mutex> lock(lists);
      EXPECT_TRUE(sent.empty());
    }
    // A storm of alarms against a stuck server is bounded.
    int refused = 0;
    for (size_t i = 0; i < CMailQueue::MAX_WAITING + 5; ++i)
      if (!queue.Post(SmtpServer{}, MailMessage{}, nullptr)) ++refused;
    EXPECT_GE(refused, 5);
    gate.unlock();
    queue.WaitIdle();
    MailMessage last;
    last.Subject = "last";
    ASSERT_TRUE(queue.Post(SmtpServer{}, last, nullptr));
  }  // the queue's end sends what still waits
  EXPECT_TRUE(otherThread);
  ASSERT_GE(sent.size(), 4u);
  EXPECT_EQ(sent[0], "1");
  EXPECT_EQ(sent[1], "2");
  EXPECT_EQ(sent[2], "3");
  EXPECT_EQ(sent.back(), "last");
  EXPECT_EQ(done, (std::vector<std::string>{"1ok", "2failed", "3ok"}));
}

}  // namespace

namespace {

TEST(MailAlarmSink, QueuesOneMailPerAlarmThatAsksForMail) {
  testutil::CTempDir dir;
  testutil::CFakeMutexTable mutexes;
  testutil::CTestProcess process(mutexes, dir.File("prog.exe"), "");
  std::string path = dir.File("Smart.ini");
  std::ofstream(path, std::ios::binary)
      << "[Setting]\r\nMailTo=a@b.c\r\nMailFrom=d@e.f\r\nMailHost=mx\r\nMailPort=25\r\n";
  app::CSettings settings(process.Profile, process.Clock, path);
  std::vector<monitor::MailMessage> sent;
  std::mutex lock;
  {
    monitor::CMailQueue queue([&](const monitor::SmtpServer& s, const monitor::MailMessage& m) {
      std::lock_guard<std::mutex> guard(lock);
      sent.push_back(m);
      EXPECT_EQ(s.Host, "mx");
      return monitor::SmtpResult{true, monitor::SmtpFailure::NONE, ""};
    });
    monitor::CMailAlarmSink sink(settings, process.Clock, queue, "PC");
    monitor::AlarmEvent e;
    e.Kind = monitor::AlarmKind::TEMPERATURE;
    e.Id = monitor::ALARM_ID_TEMPERATURE;
    e.MailTitle = "Temperature C: D:";
    e.MailText = "Disk 1 (ST1000): 55 C";
    sink.OnAlarm(e);  // the disk did not ask for mail
    e.Email = true;
    sink.OnAlarm(e);
    e.Kind = monitor::AlarmKind::OVERVIEW;
    sink.OnAlarm(e);  // never mailed
    queue.WaitIdle();
  }
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Subject, "[Smart] PC Temperature C: D: [606]");
  EXPECT_EQ(sent[0].Body, "PC Temperature C: D:\r\n[606] Disk 1 (ST1000): 55 C");
  EXPECT_EQ(sent[0].Date, process.Clock.Now());
}

}  // namespace
