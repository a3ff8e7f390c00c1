// Alarm mails: composed from the mail settings and an alarm's title and
// text, then sent off the caller's thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/Settings.h"
#include "monitor/MailQueue.h"
#include "monitor/SmtpClient.h"

namespace monitor {

// The mail keys of the settings file.
struct MailSettings {
  std::string To;
  std::string From;
  std::string Host;
  uint16_t Port = 0;
  std::string User;          // "MailID"
  std::string Password;      // "MailPassword"
  bool Authenticate = true;  // "SMTP" = 1
  MailSecurity Security = MailSecurity::NONE;
  std::string TrustFile;
};

MailSettings ReadMailSettings(app::CSettings& settings);

// "Smart.ini" -> "Smart": the settings file's name without its last four
// characters.
std::string ProgramWord(const std::string& settingsPath);

struct AlarmMail {
  SmtpServer Server;
  MailMessage Message;
};

// The alarm mail of alarm `id`, or nothing when mail is off (no recipient,
// sender or host, or port 0). Subject "[program] computer title [id]", body
// "computer title" CRLF "[id] text".
std::optional<AlarmMail> ComposeAlarmMail(const MailSettings& mail, const std::string& programWord,
                                          const std::string& computerName, int id,
                                          const std::string& title, const std::string& text,
                                          int64_t now);

}  // namespace monitor
