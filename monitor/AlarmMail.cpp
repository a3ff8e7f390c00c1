#include "monitor/AlarmMail.h"

namespace monitor {

MailSettings ReadMailSettings(app::CSettings& settings) {
  using app::Setting;
  MailSettings m;
  m.To = settings.GetText(Setting::MAIL_TO);
  m.From = settings.GetText(Setting::MAIL_FROM);
  m.Host = settings.GetText(Setting::MAIL_HOST);
  m.Port = static_cast<uint16_t>(settings.Get(Setting::MAIL_PORT));
  m.User = settings.GetText(Setting::MAIL_ID);
  m.Password = settings.GetText(Setting::MAIL_PASSWORD);
  m.Authenticate = settings.Get(Setting::SMTP) == 1;
  m.Security = static_cast<MailSecurity>(settings.Get(Setting::MAIL_SECURITY));
  m.TrustFile = settings.GetText(Setting::MAIL_TRUST_FILE);
  return m;
}

std::string ProgramWord(const std::string& settingsPath) {
  size_t slash = settingsPath.find_last_of("/\\");
  std::string name = slash == std::string::npos ? settingsPath : settingsPath.substr(slash + 1);
  return name.size() >= 4 ? name.substr(0, name.size() - 4) : std::string();
}

std::optional<AlarmMail> ComposeAlarmMail(const MailSettings& mail, const std::string& programWord,
                                          const std::string& computerName, int id,
                                          const std::string& title, const std::string& text,
                                          int64_t now) {
  if (mail.To.empty() || mail.From.empty() || mail.Host.empty() || mail.Port == 0)
    return std::nullopt;
  AlarmMail out;
  out.Server.Host = mail.Host;
  out.Server.Port = mail.Port;
  if (mail.Authenticate) {
    out.Server.User = mail.User;
    out.Server.Password = mail.Password;
  }
  out.Server.Security = mail.Security;
  out.Server.TrustFile = mail.TrustFile;
  std::string ids = std::to_string(id);
  // The title holds disk texts (model, drive letters with line feeds between
  // them); the header encoder makes one line of it.
  out.Message.Subject = "[" + programWord + "] " + computerName + " " + title + " [" + ids + "]";
  out.Message.Body = computerName + " " + title + "\r\n[" + ids + "] " + text;
  out.Message.From = mail.From;
  out.Message.To = mail.To;
  out.Message.Date = now;
  return out;
}

}  // namespace monitor
