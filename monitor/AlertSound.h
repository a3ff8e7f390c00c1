// Which alert sound plays when an alarm left one pending. The user's file
// ("AlertSoundPath") plays by its extension: MP3 through the media control
// interface, WAV directly, OPUS decoded to WAV by the external decoder
// beside the program. Otherwise the built-in sound plays: decoded from its
// OPUS form when the decoder is there, else (and whenever the decoder is
// missing for a user's OPUS file) the built-in WAV sound, so an alarm is
// never silent because one outside program is missing.
#pragma once

#include <cstdint>
#include <string>

namespace monitor {

enum class AlertSoundPlan : uint8_t {
  NONE,          // nothing plays
  USER_MP3,      // the user's file through MCI ("MPEGVideo"), not waited for
  USER_WAV,      // the user's WAV file, played to its end
  USER_OPUS,     // the user's OPUS file through the decoder, then its WAV
  BUILTIN_OPUS,  // the built-in OPUS sound through the decoder
  BUILTIN_WAV,   // the built-in WAV sound
};

struct AlertSoundFacts {
  int32_t AlarmId = 0;              // the pending alarm; 0 none
  std::string UserPath;             // "AlertSoundPath"
  bool UserFileOpens = false;       // the file opens for reading
  bool DecoderPresent = false;      // the OPUS decoder is beside the program
  bool BuiltinOpusPresent = false;  // the program carries its sound in OPUS form
  bool Mp3Open = false;             // an MP3 still plays (the built-in sound waits for it)
};

AlertSoundPlan ChooseAlertSound(const AlertSoundFacts& facts);

// The extension of a path, upper-cased, with its dot (".MP3"); empty when
// the file name has none.
std::string UpperExtension(const std::string& path);

}  // namespace monitor
