#include "monitor/FrontEndServices.h"

#include "monitor/SmtpClient.h"
#include "os/Net.h"

namespace monitor {

// The status tree at each publication, and "Exchange.ini" when asked for.
class CFrontEndServices::CTreeAndExchange : public IPublisher {
 public:
  CTreeAndExchange(CPublisher& publisher, bool exchange)
      : m_Publisher(publisher), m_Exchange(exchange) {}
  void Publish(const CDiskArray& disks) override {
    m_Publisher.UpdateShareInfo(disks);
    if (m_Exchange) m_Publisher.WriteExchangeFile(disks);
  }

 private:
  CPublisher& m_Publisher;
  bool m_Exchange;
};

CFrontEndServices::CFrontEndServices(FrontEndServicesSetup setup) : m_Setup(std::move(setup)) {
  const os::Platform& platform = *m_Setup.Platform;
  app::CSettings& settings = *m_Setup.Settings;
  m_Publisher = std::make_unique<CPublisher>(m_Setup.Registry.get(), platform.Files, platform.Clock,
                                             m_Setup.ExchangePath, m_Setup.Newline);
  m_Publisher->SetGadget(settings.Get(app::Setting::GADGET) != 0);
  m_Publisher->SetTemperatureUnit(settings.Get(app::Setting::TEMPERATURE) == 1 ? 1 : 0);
  m_TreeAndExchange = std::make_unique<CTreeAndExchange>(*m_Publisher, m_Setup.ExchangeOnPublish);
  m_Disk =
      std::make_unique<CDiskServices>(platform.Files, platform.Clock, settings, m_Setup.Language,
                                      m_Setup.HistoryRoot, m_Setup.ComputerName, m_Setup.Newline);
  if (m_Setup.SystemLog) {
    m_LogSink = std::make_unique<CSystemLogSink>(*m_Setup.SystemLog, m_Setup.SystemLogEveryAlarm);
    m_Disk->AddSink(m_LogSink.get());
  }
  if (platform.Net != nullptr) {
    os::INet& net = *platform.Net;
    os::ITls* tls = platform.Tls;
    m_MailQueue = std::make_unique<CMailQueue>(
        [&net, tls](const SmtpServer& server, const MailMessage& message) {
          return CSmtpClient(net, tls).Send(server, message);
        });
    m_MailSink = std::make_unique<CMailAlarmSink>(settings, platform.Clock, *m_MailQueue,
                                                  m_Setup.ComputerName, m_Setup.MailDone);
    m_Disk->AddSink(m_MailSink.get());
  }
  if (!m_Setup.AlarmCommand.empty()) {
    m_CommandSink =
        std::make_unique<CAlarmCommandSink>(m_Setup.AlarmCommand, m_Setup.AlarmCommandReport);
    m_Disk->AddSink(m_CommandSink.get());
  }
  m_Disk->AddPublisher(m_TreeAndExchange.get());
}

CFrontEndServices::~CFrontEndServices() {
  // The queue's worker may still call the mail sink's callback: it goes
  // first, while everything it may touch is still there.
  m_MailQueue.reset();
}

void CFrontEndServices::ApplySettings() {
  m_Publisher->SetTemperatureUnit(m_Setup.Settings->Get(app::Setting::TEMPERATURE) == 1 ? 1 : 0);
  m_Disk->ApplySettings();
}

void CFrontEndServices::Close() { m_Publisher->DeleteShareInfo(); }

}  // namespace monitor
