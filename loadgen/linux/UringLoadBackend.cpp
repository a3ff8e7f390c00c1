// The Linux backend: one io_uring per thread with the queue depth as its
// size, the test file and the slot buffers registered with the ring (fixed
// reads and writes skip the per-I/O page pinning), O_DIRECT under -S.
#include <fcntl.h>
#include <liburing.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "loadgen/LoadBackend.h"

namespace loadgen {
namespace {

constexpr size_t BUFFER_ALIGNMENT = 4096;

std::string SystemError(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

class CAlignedBuffer {
 public:
  explicit CAlignedBuffer(size_t size) {
    const size_t rounded = (size + BUFFER_ALIGNMENT - 1) / BUFFER_ALIGNMENT * BUFFER_ALIGNMENT;
    m_Data = static_cast<uint8_t*>(std::aligned_alloc(BUFFER_ALIGNMENT, rounded));
  }
  ~CAlignedBuffer() { std::free(m_Data); }
  // For when I/O into the buffer may still be under way and cannot be
  // waited for: better lost than reused while the disk writes into it.
  void Abandon() { m_Data = nullptr; }
  CAlignedBuffer(const CAlignedBuffer&) = delete;
  CAlignedBuffer& operator=(const CAlignedBuffer&) = delete;
  uint8_t* Data() const { return m_Data; }

 private:
  uint8_t* m_Data = nullptr;
};

struct CMarkStart {
  std::chrono::steady_clock::time_point* Start;
  void operator()() noexcept { *Start = std::chrono::steady_clock::now(); }
};

struct CRunShared {
  const CLoadOptions* Options = nullptr;
  int Fd = -1;
  // The clock starts once every thread has its ring and buffers ready, so
  // setting up is not counted as time without I/O.
  std::chrono::steady_clock::time_point Start;
  std::barrier<CMarkStart>* Ready = nullptr;
  std::atomic<bool> Failed{false};  // any thread's failure ends the others early
};

// Cancels the I/Os of the busy slots and waits up to two seconds for their
// completions. True when none is left in flight.
bool CancelInFlight(io_uring& ring, const std::vector<bool>& busy, uint32_t pending) {
  constexpr uint64_t CANCEL = ~uint64_t{0};
  for (size_t slot = 0; slot < busy.size(); ++slot) {
    if (!busy[slot]) continue;
    io_uring_sqe* sqe = io_uring_get_sqe(&ring);
    if (sqe == nullptr) break;
    io_uring_prep_cancel64(sqe, slot, 0);
    sqe->user_data = CANCEL;
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (pending > 0 && std::chrono::steady_clock::now() < until) {
    __kernel_timespec limit{};
    limit.tv_nsec = 100 * 1000000;
    io_uring_cqe* ready = nullptr;
    const int rc = io_uring_submit_and_wait_timeout(&ring, &ready, 1, &limit, nullptr);
    if (rc < 0 && rc != -ETIME && rc != -EINTR) break;
    unsigned head = 0;
    unsigned seen = 0;
    io_uring_cqe* cqe = nullptr;
    io_uring_for_each_cqe(&ring, head, cqe) {
      ++seen;
      if (cqe->user_data != CANCEL) --pending;
    }
    io_uring_cq_advance(&ring, seen);
  }
  return pending == 0;
}

// One thread's run. Every slot has a read buffer and a write buffer (a
// mixed run must not overwrite its write data with what it reads); slot i
// uses buffer indexes 2i and 2i+1 of the ring's registered set.
void RunThread(CRunShared& shared, const CThreadPlan& plan, CThreadTally* tally) {
  const CLoadOptions& o = *shared.Options;
  const uint32_t depth = o.QueueDepth;
  io_uring ring{};
  int rc = io_uring_queue_init(depth, &ring, 0);
  if (rc < 0) {
    tally->Error = SystemError("cannot set up io_uring", -rc);
    shared.Failed = true;
    shared.Ready->arrive_and_drop();
    return;
  }
  CAlignedBuffer memory(size_t{o.BlockSize} * depth * 2);
  if (!memory.Data()) {
    io_uring_queue_exit(&ring);
    tally->Error = "out of memory for the I/O buffers";
    shared.Failed = true;
    shared.Ready->arrive_and_drop();
    return;
  }
  std::vector<iovec> buffers(size_t{depth} * 2);
  for (size_t i = 0; i < buffers.size(); ++i) {
    buffers[i].iov_base = memory.Data() + i * o.BlockSize;
    buffers[i].iov_len = o.BlockSize;
  }
  for (uint32_t s = 0; s < depth; ++s) {
    FillWriteData({static_cast<uint8_t*>(buffers[2 * s + 1].iov_base), o.BlockSize},
                  o.RandomDataSize != 0, plan.Seed ^ (uint64_t{s} << 32 | 0x5157));
  }
  // Registration fails where locked memory is limited; plain reads and
  // writes still work, a little slower.
  const bool fixedBuffers =
      io_uring_register_buffers(&ring, buffers.data(), static_cast<unsigned>(buffers.size())) == 0;
  const bool fixedFile = io_uring_register_files(&ring, &shared.Fd, 1) == 0;

  COffsetSource source(plan, o.BlockSize, o.Random, o.WritePercent);
  CRunWindow window(o.WarmupSeconds, o.Seconds);
  std::vector<CIo> inFlight(depth);
  shared.Ready->arrive_and_wait();
  const auto start = shared.Start;
  auto now = [start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  std::vector<bool> busy(depth, false);
  auto queue = [&](uint32_t slot) {
    io_uring_sqe* sqe = io_uring_get_sqe(&ring);  // never null: at most `depth` in flight
    const CIo io = source.Next();
    inFlight[slot] = io;
    busy[slot] = true;
    const int fd = fixedFile ? 0 : shared.Fd;
    const unsigned index = 2 * slot + (io.Write ? 1 : 0);
    void* data = buffers[index].iov_base;
    if (fixedBuffers) {
      if (io.Write)
        io_uring_prep_write_fixed(sqe, fd, data, o.BlockSize, io.Offset, static_cast<int>(index));
      else
        io_uring_prep_read_fixed(sqe, fd, data, o.BlockSize, io.Offset, static_cast<int>(index));
    } else if (io.Write) {
      io_uring_prep_write(sqe, fd, data, o.BlockSize, io.Offset);
    } else {
      io_uring_prep_read(sqe, fd, data, o.BlockSize, io.Offset);
    }
    if (fixedFile) sqe->flags |= IOSQE_FIXED_FILE;
    sqe->user_data = slot;
  };

  for (uint32_t s = 0; s < depth; ++s) queue(s);
  uint32_t pending = depth;
  bool stopping = false;
  CStallWatch stall(o.StallSeconds);
  stall.Progress(now());
  while (pending > 0) {
    const uint32_t waitMs = stall.WaitMs(now());
    __kernel_timespec limit{};
    limit.tv_sec = waitMs / 1000;
    limit.tv_nsec = static_cast<long long>(waitMs % 1000) * 1000000;
    io_uring_cqe* ready = nullptr;
    rc = io_uring_submit_and_wait_timeout(&ring, &ready, 1, &limit, nullptr);
    if (rc == -ETIME || rc == -EINTR) {
      if (!stall.Expired(now())) continue;
      if (rc == -ETIME) {
        if (tally->Error.empty()) tally->Error = stall.Error(pending);
        shared.Failed = true;
        // What is in flight is cancelled and waited for a while; what is
        // still in flight then may yet write into its buffer, which is left
        // to the process's end rather than reused.
        if (!CancelInFlight(ring, busy, pending)) memory.Abandon();
        break;
      }
    } else if (rc < 0) {
      tally->Error = SystemError("io_uring submission failed", -rc);
      shared.Failed = true;
      memory.Abandon();
      break;
    }
    const double t = now();
    if (shared.Failed) stopping = true;
    unsigned head = 0;
    unsigned seen = 0;
    io_uring_cqe* cqe = nullptr;
    io_uring_for_each_cqe(&ring, head, cqe) {
      ++seen;
      const auto slot = static_cast<uint32_t>(cqe->user_data);
      --pending;
      busy[slot] = false;
      if (cqe->res != static_cast<int>(o.BlockSize)) {
        if (tally->Error.empty()) {
          const CIo& io = inFlight[slot];
          const std::string what = std::string(io.Write ? "write" : "read") + " of " +
                                   std::to_string(o.BlockSize) + " bytes at offset " +
                                   std::to_string(io.Offset);
          tally->Error = cqe->res < 0 ? SystemError(what + " failed", -cqe->res)
                                      : what + " moved only " + std::to_string(cqe->res);
        }
        shared.Failed = true;
        stopping = true;
        continue;
      }
      if (Complete(window, t, o.BlockSize, tally) && !stopping) {
        queue(slot);
        ++pending;
      } else {
        stopping = true;
      }
    }
    io_uring_cq_advance(&ring, seen);
    if (seen > 0) stall.Progress(t);
  }
  io_uring_queue_exit(&ring);
}

class CUringLoadBackend : public ILoadBackend {
 public:
  bool FileSize(const std::string& path, uint64_t* size, std::string* error) override {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
      *error = SystemError("cannot use the test file " + path, errno);
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      *error = "the test file " + path + " is not a regular file";
      return false;
    }
    *size = static_cast<uint64_t>(st.st_size);
    return true;
  }

  bool Run(const CLoadOptions& options, const std::vector<CThreadPlan>& plans, CLoadResult* result,
           std::string* error) override {
    const bool writes = options.WritePercent > 0;
    int flags = (writes ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    if (options.Unbuffered) flags |= O_DIRECT;
    CRunShared shared;
    shared.Options = &options;
    shared.Fd = open(options.Path.c_str(), flags);
    if (shared.Fd < 0) {
      *error = SystemError("cannot open the test file " + options.Path, errno);
      return false;
    }
    std::vector<CThreadTally> tallies(plans.size());
    std::vector<std::thread> threads;
    std::barrier<CMarkStart> ready(static_cast<std::ptrdiff_t>(plans.size()),
                                   CMarkStart{&shared.Start});
    shared.Ready = &ready;
    for (size_t i = 0; i < plans.size(); ++i) {
      threads.emplace_back(RunThread, std::ref(shared), std::cref(plans[i]), &tallies[i]);
    }
    for (std::thread& t : threads) t.join();
    close(shared.Fd);
    *result = CLoadResult{};
    for (const CThreadTally& t : tallies) {
      if (!t.Error.empty()) {
        *error = t.Error;
        return false;
      }
      result->Bytes += t.Bytes;
      result->Ios += t.Ios;
    }
    result->Seconds = CRunWindow(options.WarmupSeconds, options.Seconds).CountedSeconds();
    return true;
  }
};

}  // namespace

std::unique_ptr<ILoadBackend> MakeNativeLoadBackend() {
  return std::make_unique<CUringLoadBackend>();
}

}  // namespace loadgen
