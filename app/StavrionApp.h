// The application object: the start-up routine that every front end runs
// first. It finds the settings file and the resource folders beside the
// executable, sets the diagnostic level, handles the command line
// ("/Startup" delayed relaunch, "/Zedarareda" second copy), holds the
// single-instance mutex "Vardex" while the main window runs, and leaves the
// program's folder in the hand-off file for helpers started elsewhere.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/DebugLogSink.h"
#include "app/Settings.h"
#include "os/Platform.h"

namespace app {

class CStavrionApp {
 public:
  // How the start-up routine ended.
  enum class Outcome {
    NOT_RUN,
    RELAUNCHED,       // "/Startup": waited, started the program again, ended
    ALREADY_RUNNING,  // another instance holds the mutex: ended silently
    MAIN_WINDOW_RAN,  // the main window ran and has ended
  };

  // Stands for the main window: runs until the user leaves it.
  using MainWindow = std::function<void(CStavrionApp&)>;

  explicit CStavrionApp(const os::Platform& platform);
  ~CStavrionApp();
  CStavrionApp(const CStavrionApp&) = delete;
  CStavrionApp& operator=(const CStavrionApp&) = delete;

  // The start-up routine. `args` are the command-line arguments after the
  // program name. Always returns false: the process ends afterwards.
  bool Run(const std::vector<std::string>& args, const MainWindow& mainWindow);

  Outcome GetOutcome() const { return m_Outcome; }
  // A problem the user has to fix (one line), e.g. a settings file that
  // cannot be written; empty when there is none.
  std::string Warning() const;

  const std::string& SettingsPath() const { return m_SettingsPath; }
  const std::string& ExeFolder() const { return m_ExeFolder; }
  const std::string& CustomizationFolder() const { return m_CustomizationFolder; }
  const std::string& LanguageFolder() const { return m_LanguageFolder; }
  const std::string& SmartFolder() const { return m_SmartFolder; }
  const std::string& OpusDecoderPath() const { return m_OpusDecoderPath; }
  const std::string& UpdaterFolder() const { return m_UpdaterFolder; }
  // The settings file; valid once Run has computed its path.
  CSettings& Settings() { return *m_Settings; }

  // The settings file of an executable: its path with the extension of the
  // file name replaced by ".ini", or ".ini" appended when the name has none
  // (the settings must never be the program itself). `separators` are the
  // characters that end a folder name.
  static std::string SettingsPathFor(const std::string& exePath, const std::string& separators);

 private:
  void ComputeFolders(char separator);
  void WriteHandOffFile();

  os::Platform m_Platform;
  CDebugLogSink m_LogSink;
  std::unique_ptr<CSettings> m_Settings;
  std::unique_ptr<os::INamedMutex> m_Mutex;
  Outcome m_Outcome = Outcome::NOT_RUN;

  std::string m_ExePath;
  std::string m_SettingsPath;
  std::string m_ExeFolder;
  std::string m_CustomizationFolder;
  std::string m_LanguageFolder;
  std::string m_SmartFolder;
  std::string m_OpusDecoderPath;
  std::string m_UpdaterFolder;
};

}  // namespace app
