#include "os/win32/Win32System.h"

#include <windows.h>
// After windows.h:
#include <iphlpapi.h>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

#include <cstring>
#include <iterator>

#include "os/WindowsCommandLine.h"
#include "os/win32/WinHandle.h"
#include "os/win32/WinText.h"

namespace os {
namespace {

// The longest command line CreateProcessW accepts, in UTF-16 units with
// the terminating NUL.
constexpr size_t MAX_COMMAND_LINE = 32768;

class CWin32NamedMutex final : public INamedMutex {
 public:
  explicit CWin32NamedMutex(CWinHandle handle) : m_Handle(std::move(handle)) {}

 private:
  CWinHandle m_Handle;
};

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);

OsVersion FromRecord(const OSVERSIONINFOEXW& info, bool extended) {
  OsVersion v;
  v.MajorVersion = info.dwMajorVersion;
  v.MinorVersion = info.dwMinorVersion;
  v.BuildNumber = info.dwBuildNumber;
  v.PlatformId = info.dwPlatformId;
  size_t length = 0;
  while (length < std::size(info.szCSDVersion) && info.szCSDVersion[length] != L'\0') ++length;
  v.CSDVersion = WideToUtf8(info.szCSDVersion, length);
  v.Extended = extended;
  if (extended) {
    v.ServicePackMajor = info.wServicePackMajor;
    v.ServicePackMinor = info.wServicePackMinor;
    v.ProductType = info.wProductType;
  }
  return v;
}

// Text of the ANSI code page as UTF-8.
std::string AnsiToUtf8(const char* text, size_t length) {
  if (length == 0) return {};
  const int wide = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  if (wide <= 0) return {};
  std::wstring buffer(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), buffer.data(), wide);
  return WideToUtf8(buffer);
}

}  // namespace

uint16_t CWin32System::NativeArchitecture() {
  SYSTEM_INFO info{};
  GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture;
}

std::string CWin32System::CpuBrandString() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned int highest = __get_cpuid_max(0x80000000u, nullptr);
  if (highest < 0x80000004u) return {};
  char brand[49] = {};
  for (unsigned int leaf = 0; leaf < 3; ++leaf) {
    unsigned int regs[4] = {};
    __get_cpuid(0x80000002u + leaf, &regs[0], &regs[1], &regs[2], &regs[3]);
    std::memcpy(brand + leaf * 16, regs, 16);
  }
  return std::string(brand, strnlen(brand, 48));
#else
  return {};
#endif
}

uint64_t CWin32System::TotalPhysicalMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

bool CWin32System::GetNetworkAdapters(std::vector<NetworkAdapter>* adapters) {
  adapters->clear();
  // The list may grow between asking its size and reading it (a VPN
  // connecting): ask again with the new size a few times.
  std::vector<uint64_t> storage;  // 8-byte aligned, as the records need
  ULONG size = 0;
  DWORD result = GetAdaptersInfo(nullptr, &size);
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    storage.assign(size / sizeof(uint64_t) + 1, 0);
    size = static_cast<ULONG>(storage.size() * sizeof(uint64_t));
    result = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(storage.data()), &size);
  }
  if (result == ERROR_NO_DATA) return true;  // no adapter at all
  if (result != ERROR_SUCCESS) return false;
  for (auto* a = reinterpret_cast<const IP_ADAPTER_INFO*>(storage.data()); a != nullptr;
       a = a->Next) {
    NetworkAdapter adapter;
    adapter.Description =
        AnsiToUtf8(a->Description, strnlen(a->Description, sizeof a->Description));
    const size_t length =
        a->AddressLength < sizeof a->Address ? a->AddressLength : sizeof a->Address;
    adapter.Address.assign(a->Address, a->Address + length);
    adapters->push_back(std::move(adapter));
  }
  return true;
}

OsVersion CWin32System::GetOsVersion() {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
    // Through a plain function pointer type first: gcc warns on a direct
    // cast between unrelated function types.
    auto proc = reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "RtlGetVersion"));
    if (auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(proc)) {
      if (rtlGetVersion(&info) == 0) return FromRecord(info, true);
    }
  }
  info = OSVERSIONINFOEXW{};
  info.dwOSVersionInfoSize = sizeof info;
  if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return FromRecord(info, true);
  info = OSVERSIONINFOEXW{};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
  if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return FromRecord(info, false);
  return OsVersion{};
}

std::unique_ptr<INamedMutex> CWin32System::CreateNamedMutex(const std::string& name,
                                                            bool* alreadyExisted) {
  if (alreadyExisted) *alreadyExisted = false;
  if (HasNul(name)) return nullptr;
  std::wstring wide = Utf8ToWide(name);
  CWinHandle handle(CreateMutexW(nullptr, FALSE, wide.empty() ? nullptr : wide.c_str()));
  DWORD error = GetLastError();
  if (!handle) return nullptr;
  if (alreadyExisted) *alreadyExisted = error == ERROR_ALREADY_EXISTS;
  return std::make_unique<CWin32NamedMutex>(std::move(handle));
}

bool CWin32System::StartProcess(const std::string& path, const std::vector<std::string>& args) {
  if (path.empty()) return false;
  std::optional<std::string> line = BuildWindowsCommandLine(path, args);
  if (!line) return false;
  std::wstring application = Utf8ToWide(path);
  std::wstring command = Utf8ToWide(*line);
  if (command.size() >= MAX_COMMAND_LINE) return false;
  // CreateProcessW may write into the command line buffer.
  command.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  CWinHandle processHandle(process.hProcess);
  CWinHandle threadHandle(process.hThread);
  return true;
}

void CWin32System::ShowMessage(const std::string& text, const std::string& caption) {
  std::wstring wideText = Utf8ToWide(text);
  std::wstring wideCaption = Utf8ToWide(caption);
  MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), MB_OK);
}

}  // namespace os
