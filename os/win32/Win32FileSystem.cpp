#include "os/win32/Win32FileSystem.h"

#include <windows.h>

#include <atomic>

#include "os/win32/WinHandle.h"
#include "os/win32/WinText.h"

namespace os {
namespace {

thread_local DWORD t_LastError = ERROR_SUCCESS;

bool Fail() {
  t_LastError = GetLastError();
  return false;
}

bool Fail(DWORD error) {
  t_LastError = error;
  return false;
}

// The path as a wide string; false (with ERROR_INVALID_NAME) for an empty
// path or one holding a NUL, which would name another file.
bool ToWidePath(const std::string& path, std::wstring* wide) {
  if (path.empty() || HasNul(path)) return Fail(ERROR_INVALID_NAME);
  *wide = Utf8ToWide(path);
  return true;
}

bool WriteAll(HANDLE file, const uint8_t* data, size_t size) {
  while (size > 0) {
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr)) return Fail();
    if (written == 0) return Fail(ERROR_WRITE_FAULT);
    data += written;
    size -= written;
  }
  return true;
}

class CWin32ReadableFile : public IReadableFile {
 public:
  CWin32ReadableFile(CWinHandle file, uint64_t size) : m_File(std::move(file)), m_Size(size) {}
  uint64_t Size() const override { return m_Size; }
  std::optional<size_t> ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override {
    size_t done = 0;
    while (done < count) {
      const uint64_t at = offset + done;
      OVERLAPPED where{};
      where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
      where.OffsetHigh = static_cast<DWORD>(at >> 32);
      const size_t left = count - done;
      const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
      DWORD got = 0;
      if (!::ReadFile(m_File.Get(), buffer + done, chunk, &got, &where)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        Fail();
        return std::nullopt;
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

 private:
  CWinHandle m_File;
  uint64_t m_Size;
};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// End of "\\server\share" starting at `at` (the server name).
size_t SkipServerAndShare(const std::wstring& p, size_t at) {
  while (at < p.size() && !IsSeparator(p[at])) ++at;
  if (at < p.size()) ++at;
  while (at < p.size() && !IsSeparator(p[at])) ++at;
  return at;
}

// Length of the part of a path that names a volume and is never created:
// "C:", "\\server\share", "\\?\C:", "\\?\UNC\server\share", "\\.\".
size_t RootLength(const std::wstring& p) {
  if (p.size() >= 2 && IsSeparator(p[0]) && IsSeparator(p[1])) {
    if (p.size() >= 4 && (p[2] == L'?' || p[2] == L'.') && IsSeparator(p[3])) {
      if (p.size() >= 6 && p[5] == L':') return 6;
      if (p.size() >= 8 && _wcsnicmp(p.c_str() + 4, L"UNC", 3) == 0 && IsSeparator(p[7])) {
        return SkipServerAndShare(p, 8);
      }
      return 4;
    }
    return SkipServerAndShare(p, 2);
  }
  if (p.size() >= 2 && p[1] == L':') return 2;
  return 0;
}

}  // namespace

std::optional<std::vector<uint8_t>> CWin32FileSystem::ReadFile(const std::string& path) {
  std::wstring wide;
  if (!ToWidePath(path, &wide)) return std::nullopt;
  CWinHandle file(CreateFileW(wide.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    Fail();
    return std::nullopt;
  }
  std::vector<uint8_t> data;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file.Get(), &size) && size.QuadPart > 0 && size.QuadPart < (1LL << 31)) {
    data.reserve(static_cast<size_t>(size.QuadPart));
  }
  // Read to the end rather than trust the size: the file may change.
  std::vector<uint8_t> chunk(65536);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
      Fail();
      return std::nullopt;
    }
    if (got == 0) break;
    data.insert(data.end(), chunk.begin(), chunk.begin() + got);
  }
  return data;
}

std::optional<uint64_t> CWin32FileSystem::FileSize(const std::string& path) {
  std::wstring wide;
  if (!ToWidePath(path, &wide)) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA info{};
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &info)) {
    Fail();
    return std::nullopt;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
  return (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

std::unique_ptr<IReadableFile> CWin32FileSystem::OpenForReading(const std::string& path) {
  std::wstring wide;
  if (!ToWidePath(path, &wide)) return nullptr;
  CWinHandle file(CreateFileW(wide.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    Fail();
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.Get(), &info)) {
    Fail();
    return nullptr;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    Fail(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return std::make_unique<CWin32ReadableFile>(std::move(file), size);
}

std::optional<std::vector<uint8_t>> CWin32FileSystem::ReadFileTail(const std::string& path,
                                                                   uint64_t count) {
  std::wstring wide;
  if (!ToWidePath(path, &wide)) return std::nullopt;
  CWinHandle file(CreateFileW(wide.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    Fail();
    return std::nullopt;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) {
    Fail();
    return std::nullopt;
  }
  const uint64_t total = static_cast<uint64_t>(size.QuadPart);
  const uint64_t want = count < total ? count : total;
  if (want > (1u << 30)) return std::nullopt;
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(total - want);
  if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN)) {
    Fail();
    return std::nullopt;
  }
  std::vector<uint8_t> data(static_cast<size_t>(want));
  size_t done = 0;
  while (done < data.size()) {
    DWORD got = 0;
    if (!::ReadFile(file.Get(), data.data() + done, static_cast<DWORD>(data.size() - done), &got,
                    nullptr)) {
      Fail();
      return std::nullopt;
    }
    if (got == 0) break;  // the file shrank meanwhile
    done += got;
  }
  data.resize(done);
  return data;
}

std::optional<std::vector<IFileSystem::FolderEntry>> CWin32FileSystem::ListFolder(
    const std::string& path) {
  std::wstring wide;
  if (!ToWidePath(path, &wide)) return std::nullopt;
  if (!IsSeparator(wide.back())) wide.push_back(L'\\');
  wide.push_back(L'*');
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileW(wide.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) {
    Fail();
    return std::nullopt;
  }
  std::vector<FolderEntry> entries;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const DWORD a = found.dwFileAttributes;
    const bool folder = (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT);
    entries.push_back({WideToUtf8(name), folder});
  } while (FindNextFileW(find, &found));
  DWORD error = GetLastError();
  FindClose(find);
  if (error != ERROR_NO_MORE_FILES) {
    Fail(error);
    return std::nullopt;
  }
  return entries;
}

bool CWin32FileSystem::WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data) {
  std::wstring target;
  if (!ToWidePath(path, &target)) return false;
  DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Fail(ERROR_DIRECTORY);
  }

  static std::atomic<unsigned> counter{0};
  std::wstring temp;
  CWinHandle file;
  for (int attempt = 0; attempt < 16 && !file; ++attempt) {
    temp = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
           std::to_wstring(counter++) + L".tmp";
    file = CWinHandle(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && GetLastError() != ERROR_FILE_EXISTS) return Fail();
  }
  if (!file) return Fail();

  bool ok = WriteAll(file.Get(), data.data(), data.size());
  if (ok && !FlushFileBuffers(file.Get())) ok = Fail();
  file.Reset();
  if (ok && !MoveFileExW(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = Fail();
  }
  if (!ok) {
    DWORD error = t_LastError;
    DeleteFileW(temp.c_str());
    t_LastError = error;
  }
  return ok;
}

bool CWin32FileSystem::AppendFile(const std::string& path, const std::string& data) {
  std::wstring wide;
  if (!ToWidePath(path, &wide)) return false;
  CWinHandle file(CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return Fail();
  return WriteAll(file.Get(), reinterpret_cast<const uint8_t*>(data.data()), data.size());
}

bool CWin32FileSystem::Exists(const std::string& path) {
  std::wstring wide;
  if (!ToWidePath(path, &wide)) return false;
  return GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CWin32FileSystem::Remove(const std::string& path) {
  std::wstring wide;
  if (!ToWidePath(path, &wide)) return false;
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Fail();
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    return RemoveDirectoryW(wide.c_str()) ? true : Fail();
  }
  return DeleteFileW(wide.c_str()) ? true : Fail();
}

bool CWin32FileSystem::CreateDirectories(const std::string& path) {
  std::wstring wide;
  if (!ToWidePath(path, &wide)) return false;
  size_t root = RootLength(wide);
  for (size_t i = root + 1; i <= wide.size(); ++i) {
    if (i < wide.size() && !IsSeparator(wide[i])) continue;
    if (IsSeparator(wide[i - 1])) continue;  // doubled separators
    std::wstring part = wide.substr(0, i);
    if (!CreateDirectoryW(part.c_str(), nullptr)) {
      DWORD error = GetLastError();
      if (error != ERROR_ALREADY_EXISTS) return Fail(error);
    }
  }
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Fail();
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Fail(ERROR_ALREADY_EXISTS);
  return true;
}

std::string CWin32FileSystem::ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      Fail();
      return {};
    }
    if (n < buffer.size()) return WideToUtf8(buffer.data(), n);
    if (buffer.size() >= 32768) {
      Fail(ERROR_INSUFFICIENT_BUFFER);
      return {};
    }
    buffer.assign(buffer.size() * 2, L'\0');
  }
}

std::string CWin32FileSystem::LastErrorText() {
  DWORD error = t_LastError;
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out;
  if (n > 0 && text) {
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) --n;
    out = WideToUtf8(text, n);
  }
  if (text) LocalFree(text);
  if (out.empty()) out = "error " + std::to_string(error);
  return out;
}

std::string CWin32FileSystem::HandOffFilePath() { return "c:\\m.out"; }

}  // namespace os
