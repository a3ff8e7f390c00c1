// The alert sound: plays what ChooseAlertSound decides when an alarm's
// sound is due — the user's MP3 through MCI, the user's WAV, an OPUS file
// through the decoder beside the program, or the built-in sound. Playing a
// WAV waits for its end, as the alarm's moment asks for attention; an MP3
// plays on and is stopped by the next sound or at exit.
#pragma once

#include <windows.h>

#include <string>

#include "app/Settings.h"
#include "monitor/AlarmEvent.h"
#include "monitor/win32/DeliveryLog.h"

namespace monitor {

// The built-in sounds in the program's resources.
inline constexpr const wchar_t* BUILTIN_SOUND_WAV = L"QVN_SOUND_WAV";   // type "WAVE"
inline constexpr const wchar_t* BUILTIN_SOUND_OPUS = L"QVN_SOUND_001";  // type "OPUS"

class CAlertSoundPlayer : public IAlarmSink {
 public:
  // `decoderPath` is the OPUS decoder's path beside the program. Each sound
  // played is also written to `log` (when on).
  CAlertSoundPlayer(app::CSettings& settings, std::wstring decoderPath,
                    CDeliveryLog log = CDeliveryLog());
  ~CAlertSoundPlayer() override;
  CAlertSoundPlayer(const CAlertSoundPlayer&) = delete;
  CAlertSoundPlayer& operator=(const CAlertSoundPlayer&) = delete;

  void OnAlarm(const AlarmEvent& /*event*/) override {}
  void OnAlertSound(int32_t alarmId) override;
  // Stops and closes a playing MP3.
  void StopMp3();

 private:
  // Decodes `opus` to the temporary WAV file with the decoder and plays it;
  // the WAV is deleted afterwards.
  bool DecodeAndPlay(const std::wstring& opus);

  app::CSettings& m_Settings;
  std::wstring m_DecoderPath;
  bool m_Mp3Open = false;
  CDeliveryLog m_Log;
};

}  // namespace monitor
