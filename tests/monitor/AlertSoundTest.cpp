// Which alert sound plays: the user's file by its extension, the built-in
// sound otherwise, and the built-in WAV sound whenever the decoder is not
// beside the program.
#include "monitor/AlertSound.h"

#include <gtest/gtest.h>

namespace {

using monitor::AlertSoundPlan;

TEST(AlertSound, ThePlanFollowsFileExtensionAndDecoder) {
  const struct {
    int32_t Id;
    const char* Path;
    bool Opens, Decoder, BuiltinOpus, Mp3Open;
    AlertSoundPlan Plan;
  } cases[] = {
      {0, "a.wav", true, true, true, false, AlertSoundPlan::NONE},
      {606, "C:\\s\\alarm.mp3", true, false, false, false, AlertSoundPlan::USER_MP3},
      {607, "C:\\s\\alarm.Mp3x", true, false, false, false, AlertSoundPlan::USER_MP3},
      {606, "alarm.WAV", true, false, false, false, AlertSoundPlan::USER_WAV},
      {606, "alarm.opus", true, true, true, false, AlertSoundPlan::USER_OPUS},
      // No decoder: not silent, the built-in WAV sound.
      {606, "alarm.opus", true, false, true, false, AlertSoundPlan::BUILTIN_WAV},
      {606, "alarm.ogg", true, true, true, false, AlertSoundPlan::NONE},
      // A file that does not open: the built-in sound.
      {606, "gone.wav", false, false, false, false, AlertSoundPlan::BUILTIN_WAV},
      {606, "gone.wav", false, true, true, false, AlertSoundPlan::BUILTIN_OPUS},
      {606, "gone.wav", false, true, false, false, AlertSoundPlan::BUILTIN_WAV},
      // Not an alarm sound: the user's file is not used.
      {900, "alarm.wav", true, false, false, false, AlertSoundPlan::BUILTIN_WAV},
      // An MP3 still playing is not cut off.
      {606, "", false, false, false, true, AlertSoundPlan::NONE},
      {606, "C:\\dir.v\\noext", true, false, false, false, AlertSoundPlan::NONE},
  };
  for (const auto& c : cases) {
    monitor::AlertSoundFacts f;
    f.AlarmId = c.Id;
    f.UserPath = c.Path;
    f.UserFileOpens = c.Opens;
    f.DecoderPresent = c.Decoder;
    f.BuiltinOpusPresent = c.BuiltinOpus;
    f.Mp3Open = c.Mp3Open;
    EXPECT_EQ(monitor::ChooseAlertSound(f), c.Plan) << c.Id << " " << c.Path;
  }
  EXPECT_EQ(monitor::UpperExtension("a\\b.c\\file.opus"), ".OPUS");
  EXPECT_EQ(monitor::UpperExtension("a.b\\file"), "");
}

}  // namespace
