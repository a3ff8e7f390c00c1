#include <windows.h>
#include <winioctl.h>

#include <cstring>

#include "os/BenchFiles.h"
#include "os/WindowsCommandLine.h"
#include "os/win32/WinHandle.h"
#include "os/win32/WinText.h"

namespace os {
namespace {

class CUnbufferedFile : public IUncachedFile {
 public:
  explicit CUnbufferedFile(HANDLE file) : m_File(file) {}
  ~CUnbufferedFile() override {
    if (m_Buffer) VirtualFree(m_Buffer, 0, MEM_RELEASE);
  }
  CUnbufferedFile(const CUnbufferedFile&) = delete;
  CUnbufferedFile& operator=(const CUnbufferedFile&) = delete;

  bool Write(std::span<const uint8_t> data) override {
    // Unbuffered writes want a sector-aligned buffer; VirtualAlloc's is.
    if (m_Size < data.size()) {
      if (m_Buffer) VirtualFree(m_Buffer, 0, MEM_RELEASE);
      m_Buffer = VirtualAlloc(nullptr, data.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
      m_Size = m_Buffer ? data.size() : 0;
      if (!m_Buffer) return false;
    }
    std::memcpy(m_Buffer, data.data(), data.size());
    DWORD written = 0;
    return WriteFile(m_File.Get(), m_Buffer, static_cast<DWORD>(data.size()), &written, nullptr) &&
           written == data.size();
  }

 private:
  CWinHandle m_File;
  void* m_Buffer = nullptr;
  size_t m_Size = 0;
};

}  // namespace

std::unique_ptr<IUncachedFile> CreateUncachedFile(const std::string& path) {
  HANDLE file =
      CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                  FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  // Compression would let the disk write less than the benchmark measures.
  USHORT format = COMPRESSION_FORMAT_NONE;
  DWORD returned = 0;
  DeviceIoControl(file, FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0, &returned,
                  nullptr);
  return std::make_unique<CUnbufferedFile>(file);
}

bool FreeDiskBytes(const std::string& folder, uint64_t* bytes) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(Utf8ToWide(folder).c_str(), &available, nullptr, nullptr)) {
    return false;
  }
  *bytes = available.QuadPart;
  return true;
}

std::string LoadGeneratorPath() {
  wchar_t exe[MAX_PATH * 4];
  DWORD n = GetModuleFileNameW(nullptr, exe, static_cast<DWORD>(std::size(exe)));
  std::string path = WideToUtf8(exe, n);
  return path.substr(0, path.find_last_of('\\') + 1) + "TslResource\\diskspd\\diskspd32.exe";
}

ProgramRun RunProgramAndWait(const std::string& path, const std::vector<std::string>& arguments) {
  ProgramRun run;
  std::optional<std::string> line = BuildWindowsCommandLine(path, arguments);
  if (!line) return run;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  CWinHandle reader(readEnd);
  CWinHandle writer(writeEnd);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring application = Utf8ToWide(path);
  std::wstring command = Utf8ToWide(*line);
  command.push_back(L'\0');
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process)) {
    return run;
  }
  CWinHandle processHandle(process.hProcess);
  CWinHandle threadHandle(process.hThread);
  writer.Reset();  // our copy: the pipe ends when the child's goes
  run.Started = true;
  char buf[4096];
  DWORD n = 0;
  while (ReadFile(reader.Get(), buf, sizeof buf, &n, nullptr) && n > 0) {
    if (run.Output.size() < 65536) run.Output.append(buf, n);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  run.ExitCode = static_cast<int>(code);
  return run;
}

}  // namespace os
