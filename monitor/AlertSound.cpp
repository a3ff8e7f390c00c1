#include "monitor/AlertSound.h"

namespace monitor {

std::string UpperExtension(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot);
  for (char& c : ext) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return ext;
}

AlertSoundPlan ChooseAlertSound(const AlertSoundFacts& f) {
  if (f.AlarmId == 0) return AlertSoundPlan::NONE;
  const bool alarm = f.AlarmId >= 600 && f.AlarmId <= 799;
  if (alarm && f.UserFileOpens) {
    const std::string ext = UpperExtension(f.UserPath);
    // Compared at the start of the extension, as ".MP3x" always was.
    if (ext.rfind(".MP3", 0) == 0) return AlertSoundPlan::USER_MP3;
    if (ext.rfind(".WAV", 0) == 0) return AlertSoundPlan::USER_WAV;
    if (ext.rfind(".OPUS", 0) == 0) {
      if (f.DecoderPresent) return AlertSoundPlan::USER_OPUS;
    } else {
      return AlertSoundPlan::NONE;
    }
  }
  // A playing MP3 is not cut off by the built-in sound.
  if (f.Mp3Open) return AlertSoundPlan::NONE;
  if (f.DecoderPresent && f.BuiltinOpusPresent) return AlertSoundPlan::BUILTIN_OPUS;
  return AlertSoundPlan::BUILTIN_WAV;
}

}  // namespace monitor
