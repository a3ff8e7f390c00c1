// The Windows backend: per thread its own handle on the test file, opened
// for overlapped I/O (unbuffered and write-through under -S), tied to its
// own I/O completion port; sector-aligned buffers from VirtualAlloc.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "loadgen/LoadBackend.h"

namespace loadgen {
namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string ErrorText(const std::string& what, DWORD error) {
  char buf[256] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, buf, sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r' || buf[n - 1] == ' ')) buf[--n] = 0;
  return what + ": " + (n ? std::string(buf) : "error " + std::to_string(error));
}

class CHandle {
 public:
  explicit CHandle(HANDLE h = nullptr) : m_Handle(h) {}
  ~CHandle() {
    if (m_Handle && m_Handle != INVALID_HANDLE_VALUE) CloseHandle(m_Handle);
  }
  CHandle(const CHandle&) = delete;
  CHandle& operator=(const CHandle&) = delete;
  HANDLE Get() const { return m_Handle; }
  bool Valid() const { return m_Handle && m_Handle != INVALID_HANDLE_VALUE; }

 private:
  HANDLE m_Handle;
};

// The start of the run, once every thread is ready: a count and an event
// that the last thread to arrive sets, after noting the start time.
// (std::barrier waits through the C++ library's atomic wait, which on this
// platform can miss its wake-up under load and leave every thread, and the
// benchmark waiting on the program, waiting for ever.)
class CStartGate {
 public:
  CStartGate(size_t threads, std::chrono::steady_clock::time_point* start)
      : m_Left(static_cast<LONG>(threads)),
        m_Start(start),
        m_Event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~CStartGate() {
    if (m_Event != nullptr) CloseHandle(m_Event);
  }
  CStartGate(const CStartGate&) = delete;
  CStartGate& operator=(const CStartGate&) = delete;
  // This thread is ready: waits until all are. (Without an event, which
  // only a system out of handles refuses, the threads start unaligned.)
  void ArriveAndWait() {
    Arrive();
    if (m_Event != nullptr) WaitForSingleObject(m_Event, INFINITE);
  }
  // This thread's set-up failed: it counts as arrived and does not wait.
  void ArriveAndDrop() { Arrive(); }

 private:
  void Arrive() {
    if (InterlockedDecrement(&m_Left) != 0) return;
    *m_Start = std::chrono::steady_clock::now();
    if (m_Event != nullptr) SetEvent(m_Event);
  }

  LONG volatile m_Left;
  std::chrono::steady_clock::time_point* m_Start;
  HANDLE m_Event;
};

struct CRunShared {
  const CLoadOptions* Options = nullptr;
  std::wstring Path;
  std::chrono::steady_clock::time_point Start;
  CStartGate* Ready = nullptr;
  std::atomic<bool> Failed{false};
};

HANDLE OpenTestFile(const CRunShared& shared) {
  const CLoadOptions& o = *shared.Options;
  DWORD access = GENERIC_READ | (o.WritePercent > 0 ? GENERIC_WRITE : 0);
  DWORD flags = FILE_FLAG_OVERLAPPED;
  if (o.Unbuffered) flags |= FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH;
  return CreateFileW(shared.Path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, flags, nullptr);
}

// One thread's run: slot i has OVERLAPPED i, read buffer 2i, write buffer
// 2i+1.
void RunThread(CRunShared& shared, const CThreadPlan& plan, CThreadTally* tally) {
  const CLoadOptions& o = *shared.Options;
  const uint32_t depth = o.QueueDepth;
  auto setupFailed = [&](const std::string& error) {
    tally->Error = error;
    shared.Failed = true;
    shared.Ready->ArriveAndDrop();
  };
  CHandle file(OpenTestFile(shared));
  if (!file.Valid()) return setupFailed(ErrorText("cannot open the test file", GetLastError()));
  CHandle port(CreateIoCompletionPort(file.Get(), nullptr, 0, 1));
  if (!port.Valid()) return setupFailed(ErrorText("cannot make a completion port", GetLastError()));
  const size_t bytes = size_t{o.BlockSize} * depth * 2;
  auto* memory =
      static_cast<uint8_t*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (!memory) return setupFailed("out of memory for the I/O buffers");
  for (uint32_t s = 0; s < depth; ++s) {
    FillWriteData({memory + (2 * size_t{s} + 1) * o.BlockSize, o.BlockSize}, o.RandomDataSize != 0,
                  plan.Seed ^ (uint64_t{s} << 32 | 0x5157));
  }
  std::vector<OVERLAPPED> overlapped(depth);
  std::vector<CIo> inFlight(depth);
  COffsetSource source(plan, o.BlockSize, o.Random, o.WritePercent);
  CRunWindow window(o.WarmupSeconds, o.Seconds);

  shared.Ready->ArriveAndWait();
  const auto start = shared.Start;
  auto now = [start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  uint32_t pending = 0;
  auto issue = [&](uint32_t slot) {
    const CIo io = source.Next();
    inFlight[slot] = io;
    OVERLAPPED& ov = overlapped[slot];
    ov = OVERLAPPED{};
    ov.Offset = static_cast<DWORD>(io.Offset);
    ov.OffsetHigh = static_cast<DWORD>(io.Offset >> 32);
    uint8_t* data = memory + (2 * size_t{slot} + (io.Write ? 1 : 0)) * o.BlockSize;
    BOOL ok = io.Write ? WriteFile(file.Get(), data, o.BlockSize, nullptr, &ov)
                       : ReadFile(file.Get(), data, o.BlockSize, nullptr, &ov);
    // Finished at once or pending: either way a completion packet follows.
    if (!ok && GetLastError() != ERROR_IO_PENDING) {
      if (tally->Error.empty()) {
        tally->Error = ErrorText(std::string(io.Write ? "write" : "read") + " at offset " +
                                     std::to_string(io.Offset) + " failed",
                                 GetLastError());
      }
      shared.Failed = true;
      return false;
    }
    ++pending;
    return true;
  };

  bool stopping = false;
  for (uint32_t s = 0; s < depth && !stopping; ++s) stopping = !issue(s);
  std::vector<OVERLAPPED_ENTRY> entries(depth);
  CStallWatch stall(o.StallSeconds);
  stall.Progress(now());
  while (pending > 0) {
    ULONG count = 0;
    if (!GetQueuedCompletionStatusEx(port.Get(), entries.data(), depth, &count, stall.WaitMs(now()),
                                     FALSE)) {
      const DWORD error = GetLastError();
      if (error == WAIT_TIMEOUT && !stall.Expired(now())) continue;
      if (tally->Error.empty()) {
        tally->Error = error == WAIT_TIMEOUT ? stall.Error(pending)
                                             : ErrorText("waiting for I/O failed", error);
      }
      shared.Failed = true;
      break;
    }
    const double t = now();
    if (count > 0) stall.Progress(t);
    if (shared.Failed) stopping = true;
    for (ULONG i = 0; i < count; ++i) {
      OVERLAPPED* ov = entries[i].lpOverlapped;
      const auto slot = static_cast<uint32_t>(ov - overlapped.data());
      --pending;
      DWORD moved = 0;
      if (!GetOverlappedResult(file.Get(), ov, &moved, FALSE) || moved != o.BlockSize) {
        if (tally->Error.empty()) {
          const CIo& io = inFlight[slot];
          tally->Error = ErrorText(std::string(io.Write ? "write" : "read") + " at offset " +
                                       std::to_string(io.Offset) + " moved " +
                                       std::to_string(moved) + " bytes",
                                   GetLastError());
        }
        shared.Failed = true;
        stopping = true;
        continue;
      }
      if (Complete(window, t, o.BlockSize, tally) && !stopping) {
        if (!issue(slot)) stopping = true;
      } else {
        stopping = true;
      }
    }
  }
  bool buffersFree = true;
  if (pending > 0) {
    // Only after a failed wait: let the system finish before the buffers go,
    // for a while. An I/O still not done then may yet write into its buffer:
    // the buffers are left to the process's end rather than reused.
    CancelIoEx(file.Get(), nullptr);
    for (OVERLAPPED& ov : overlapped) {
      if (HasOverlappedIoCompleted(&ov)) continue;
      DWORD moved = 0;
      if (!GetOverlappedResultEx(file.Get(), &ov, &moved, 2000, FALSE) &&
          GetLastError() == WAIT_TIMEOUT) {
        buffersFree = false;
      }
    }
  }
  if (buffersFree) VirtualFree(memory, 0, MEM_RELEASE);
}

class CWin32LoadBackend : public ILoadBackend {
 public:
  bool FileSize(const std::string& path, uint64_t* size, std::string* error) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) {
      *error = ErrorText("cannot use the test file " + path, GetLastError());
      return false;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      *error = "the test file " + path + " is a folder";
      return false;
    }
    *size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return true;
  }

  bool Run(const CLoadOptions& options, const std::vector<CThreadPlan>& plans, CLoadResult* result,
           std::string* error) override {
    CRunShared shared;
    shared.Options = &options;
    shared.Path = Wide(options.Path);
    std::vector<CThreadTally> tallies(plans.size());
    CStartGate ready(plans.size(), &shared.Start);
    shared.Ready = &ready;
    std::vector<std::thread> threads;
    for (size_t i = 0; i < plans.size(); ++i) {
      threads.emplace_back(RunThread, std::ref(shared), std::cref(plans[i]), &tallies[i]);
    }
    for (std::thread& t : threads) t.join();
    return SumTallies(tallies, CRunWindow(options.WarmupSeconds, options.Seconds), result, error);
  }
};

}  // namespace

std::unique_ptr<ILoadBackend> MakeNativeLoadBackend() {
  return std::make_unique<CWin32LoadBackend>();
}

}  // namespace loadgen
