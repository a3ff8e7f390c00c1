#include "app/StavrionApp.h"

#include "base/DebugLog.h"

namespace app {
namespace {

constexpr const char* MUTEX_NAME = "Vardex";

bool SameArgument(const std::string& a, const char* b) {
  std::string other = b;
  if (a.size() != other.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(other[i])) return false;
  }
  return true;
}

}  // namespace

CStavrionApp::CStavrionApp(const os::Platform& platform)
    : m_Platform(platform), m_LogSink(platform) {}

CStavrionApp::~CStavrionApp() {
  m_Mutex.reset();
  base::SetDebugLogSink(nullptr);
}

std::string CStavrionApp::SettingsPathFor(const std::string& exePath,
                                          const std::string& separators) {
  if (exePath.empty()) return {};
  size_t nameStart = exePath.find_last_of(separators);
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  size_t dot = exePath.rfind('.');
  // Only a dot inside the file name starts an extension; one in a folder
  // name ("C:\Tools.v2\stavrion") does not, nor does a leading dot.
  if (dot == std::string::npos || dot <= nameStart) return exePath + ".ini";
  return exePath.substr(0, dot) + ".ini";
}

void CStavrionApp::ComputeFolders(char separator) {
  size_t last = m_ExePath.rfind(separator);
  std::string folder = last == std::string::npos ? std::string() : m_ExePath.substr(0, last);
  std::string sep(1, separator);
  m_ExeFolder = folder + sep;
  m_CustomizationFolder = folder + sep + "TslResource" + sep + "customization" + sep;
  m_LanguageFolder = folder + sep + "TslResource" + sep + "language" + sep;
  m_SmartFolder = folder + sep + "Smart";
  m_OpusDecoderPath = folder + sep + "TslResource" + sep + "opus" + sep + "opusdec.exe";
  m_UpdaterFolder = folder + sep + "TslResource" + sep + "wingup" + sep;
}

void CStavrionApp::WriteHandOffFile() {
  os::IFileSystem& files = m_Platform.Files;
  std::string path = files.HandOffFilePath();
  bool written = false;
  if (!path.empty()) {
    if (files.Exists(path)) {
      files.Remove(path);
      m_Platform.Clock.Sleep(100);
    }
    std::vector<uint8_t> text(m_ExeFolder.begin(), m_ExeFolder.end());
    written = files.WriteFileAtomic(path, text);
  }
  if (!written) {
    base::DebugLog("CFileException: Unable to save CD file...");
    base::DebugLog(path.empty() ? "no folder for the hand-off file" : files.LastErrorText());
  }
}

bool CStavrionApp::Run(const std::vector<std::string>& args, const MainWindow& mainWindow) {
  os::IFileSystem& files = m_Platform.Files;
  char separator = files.Separator();
  m_ExePath = files.ExecutablePath();
  m_SettingsPath =
      SettingsPathFor(m_ExePath, separator == '\\' ? "\\/" : std::string(1, separator));
  m_Settings = std::make_unique<CSettings>(m_Platform.Profile, m_Platform.Clock, m_SettingsPath);
  m_Settings->SetSecretProtector(m_Platform.Secrets);

  // The level takes only 0, 1 and 2; the value as read goes back so the key
  // is there for the user to find after the first start.
  int32_t debugMode = m_Settings->GetRaw(Setting::DEBUG_MODE);
  base::SetDebugLogLevel(debugMode);
  base::SetDebugLogSink(&m_LogSink);
  m_Settings->Set(Setting::DEBUG_MODE, debugMode);

  std::string first = args.empty() ? std::string() : args[0];
  if (SameArgument(first, "/Startup")) {
    int32_t seconds = StartupWaitSeconds(m_Settings->GetRaw(Setting::STARTUP_WAIT_TIME));
    if (seconds > 0) m_Platform.Clock.Sleep(static_cast<uint32_t>(seconds) * 1000u);
    if (!m_Platform.System.StartProcess(m_ExePath, {})) {
      base::DebugLog("Startup: relaunch failed");
    }
    m_Outcome = Outcome::RELAUNCHED;
    return false;
  }

  if (!SameArgument(first, "/Zedarareda")) {
    base::DebugLog("CreateMutex");
    bool existed = false;
    m_Mutex = m_Platform.System.CreateNamedMutex(MUTEX_NAME, &existed);
    if (existed) {
      base::DebugLog("ERROR_ALREADY_EXISTS");
      m_Mutex.reset();
      m_Outcome = Outcome::ALREADY_RUNNING;
      return false;
    }
  }

  ComputeFolders(separator);
  WriteHandOffFile();

  if (mainWindow) mainWindow(*this);
  base::DebugLog("dlg.DoModal()");
  m_Outcome = Outcome::MAIN_WINDOW_RAN;

  m_Mutex.reset();
  return false;
}

std::string CStavrionApp::Warning() const {
  return m_Settings ? m_Settings->WriteError() : std::string();
}

}  // namespace app
