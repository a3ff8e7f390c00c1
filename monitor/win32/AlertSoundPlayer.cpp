#include "monitor/win32/AlertSoundPlayer.h"

#include <mmsystem.h>

#include "base/DebugLog.h"
#include "monitor/AlertSound.h"
#include "os/win32/WinText.h"

namespace monitor {
namespace {

constexpr const wchar_t* MP3_ALIAS = L"StavrionAlert";

std::wstring TempFile(const wchar_t* name) {
  wchar_t folder[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
  if (n == 0 || n > MAX_PATH) return {};
  return std::wstring(folder) + name;
}

bool Opens(const std::wstring& path) {
  if (path.empty()) return false;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

bool PlayWavFile(const std::wstring& path) {
  return PlaySoundW(path.c_str(), nullptr, SND_FILENAME | SND_SYNC | SND_NODEFAULT) != FALSE;
}

const char* PlanName(AlertSoundPlan plan) {
  switch (plan) {
    case AlertSoundPlan::USER_MP3:
      return "user-mp3";
    case AlertSoundPlan::USER_WAV:
      return "user-wav";
    case AlertSoundPlan::USER_OPUS:
      return "user-opus";
    case AlertSoundPlan::BUILTIN_OPUS:
      return "builtin-opus";
    case AlertSoundPlan::BUILTIN_WAV:
      return "builtin-wav";
    default:
      return "none";
  }
}

}  // namespace

CAlertSoundPlayer::CAlertSoundPlayer(app::CSettings& settings, std::wstring decoderPath,
                                     CDeliveryLog log)
    : m_Settings(settings), m_DecoderPath(std::move(decoderPath)), m_Log(std::move(log)) {}

CAlertSoundPlayer::~CAlertSoundPlayer() { StopMp3(); }

void CAlertSoundPlayer::StopMp3() {
  if (!m_Mp3Open) return;
  mciSendStringW((std::wstring(L"stop ") + MP3_ALIAS + L" wait").c_str(), nullptr, 0, nullptr);
  if (mciSendStringW((std::wstring(L"close ") + MP3_ALIAS + L" wait").c_str(), nullptr, 0,
                     nullptr) == 0) {
    m_Mp3Open = false;
  }
}

bool CAlertSoundPlayer::DecodeAndPlay(const std::wstring& opus) {
  const std::wstring wav = TempFile(L"Quorvane.wav");
  if (wav.empty()) return false;
  std::wstring command = L"\"" + m_DecoderPath + L"\" \"" + opus + L"\" \"" + wav + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(m_DecoderPath.c_str(), command.data(), nullptr, nullptr, FALSE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
    return false;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  PlaySoundW(nullptr, nullptr, 0);
  const bool played = PlayWavFile(wav);
  DeleteFileW(wav.c_str());
  return played;
}

void CAlertSoundPlayer::OnAlertSound(int32_t alarmId) {
  AlertSoundFacts f;
  f.AlarmId = alarmId;
  f.UserPath = m_Settings.GetText(app::Setting::ALERT_SOUND_PATH);
  const std::wstring user = os::Utf8ToWide(f.UserPath);
  f.UserFileOpens = Opens(user);
  f.DecoderPresent = GetFileAttributesW(m_DecoderPath.c_str()) != INVALID_FILE_ATTRIBUTES;
  f.BuiltinOpusPresent = FindResourceW(nullptr, BUILTIN_SOUND_OPUS, L"OPUS") != nullptr;
  f.Mp3Open = m_Mp3Open;
  const AlertSoundPlan plan = ChooseAlertSound(f);
  bool played = false;
  switch (plan) {
    case AlertSoundPlan::NONE:
      break;
    case AlertSoundPlan::USER_MP3: {
      StopMp3();
      if (m_Mp3Open) break;  // the old one would not close
      const std::wstring open =
          L"open \"" + user + L"\" type MPEGVideo alias " + std::wstring(MP3_ALIAS);
      if (mciSendStringW(open.c_str(), nullptr, 0, nullptr) != 0) break;
      m_Mp3Open = true;
      mciSendStringW((std::wstring(L"seek ") + MP3_ALIAS + L" to start").c_str(), nullptr, 0,
                     nullptr);
      played =
          mciSendStringW((std::wstring(L"play ") + MP3_ALIAS).c_str(), nullptr, 0, nullptr) == 0;
      break;
    }
    case AlertSoundPlan::USER_WAV:
      played = PlayWavFile(user);
      break;
    case AlertSoundPlan::USER_OPUS:
      played = DecodeAndPlay(user);
      break;
    case AlertSoundPlan::BUILTIN_OPUS: {
      HRSRC found = FindResourceW(nullptr, BUILTIN_SOUND_OPUS, L"OPUS");
      HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
      const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
      const std::wstring opus = TempFile(L"Quorvane.opus");
      if (bytes == nullptr || opus.empty()) break;
      HANDLE h = CreateFileW(opus.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_HIDDEN, nullptr);
      if (h == INVALID_HANDLE_VALUE) break;
      DWORD written = 0;
      const DWORD size = SizeofResource(nullptr, found);
      const bool ok = WriteFile(h, bytes, size, &written, nullptr) && written == size;
      CloseHandle(h);
      if (ok) played = DecodeAndPlay(opus);
      DeleteFileW(opus.c_str());
      break;
    }
    case AlertSoundPlan::BUILTIN_WAV:
      PlaySoundW(nullptr, nullptr, 0);
      played = PlaySoundW(BUILTIN_SOUND_WAV, GetModuleHandleW(nullptr),
                          SND_RESOURCE | SND_SYNC | SND_NODEFAULT) != FALSE;
      if (!played) base::DebugLog("Alert sound: the built-in sound did not play");
      break;
  }
  m_Log.Write({"sound", std::to_string(alarmId), PlanName(plan), played ? "1" : "0"});
}

}  // namespace monitor
