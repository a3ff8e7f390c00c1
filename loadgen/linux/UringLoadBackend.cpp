// The Linux backend: one io_uring per thread with the queue depth as its
// size, the test file and the slot buffers registered with the ring (fixed
// reads and writes skip the per-I/O page pinning), O_DIRECT under -S. The
// loop itself is IoLoop's.
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

#include "loadgen/IoLoop.h"
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

// One thread's ring as the I/O loop's queue. Slot i uses buffer indexes 2i
// (reads) and 2i+1 (writes) of the ring's registered set: a mixed run must
// not overwrite its write data with what it reads.
class CUringQueue : public IIoQueue {
 public:
  CUringQueue(io_uring& ring, int fd, bool fixedFile, bool fixedBuffers,
              const std::vector<iovec>& buffers, uint32_t blockSize, uint32_t depth)
      : m_Ring(ring),
        m_Fd(fixedFile ? 0 : fd),
        m_FixedFile(fixedFile),
        m_FixedBuffers(fixedBuffers),
        m_Buffers(buffers),
        m_BlockSize(blockSize),
        m_Busy(depth, false) {}

  void Queue(uint32_t slot, const CIo& io) override {
    io_uring_sqe* sqe = io_uring_get_sqe(&m_Ring);  // never null: at most `depth` in flight
    m_Busy[slot] = true;
    const unsigned index = 2 * slot + (io.Write ? 1 : 0);
    void* data = m_Buffers[index].iov_base;
    if (m_FixedBuffers) {
      if (io.Write)
        io_uring_prep_write_fixed(sqe, m_Fd, data, m_BlockSize, io.Offset, static_cast<int>(index));
      else
        io_uring_prep_read_fixed(sqe, m_Fd, data, m_BlockSize, io.Offset, static_cast<int>(index));
    } else if (io.Write) {
      io_uring_prep_write(sqe, m_Fd, data, m_BlockSize, io.Offset);
    } else {
      io_uring_prep_read(sqe, m_Fd, data, m_BlockSize, io.Offset);
    }
    if (m_FixedFile) sqe->flags |= IOSQE_FIXED_FILE;
    sqe->user_data = slot;
  }

  bool Submit(int* error) override {
    // Also posts the completions that are ready by now, for the next pass.
    const int rc = io_uring_submit_and_get_events(&m_Ring);
    if (rc >= 0 || rc == -EAGAIN || rc == -EBUSY || rc == -EINTR) return true;
    *error = -rc;
    return false;
  }

  uint32_t Ready() override { return io_uring_cq_ready(&m_Ring); }

  CCompletion Take() override {
    io_uring_cqe* cqe = nullptr;
    io_uring_peek_cqe(&m_Ring, &cqe);
    CCompletion done;
    done.Slot = static_cast<uint32_t>(cqe->user_data);
    done.Result = cqe->res;
    io_uring_cqe_seen(&m_Ring, cqe);
    m_Busy[done.Slot] = false;
    return done;
  }

  EWait Wait(uint32_t ms, int* error) override {
    __kernel_timespec limit{};
    limit.tv_sec = ms / 1000;
    limit.tv_nsec = static_cast<long long>(ms % 1000) * 1000000;
    io_uring_cqe* ready = nullptr;
    const int rc = io_uring_submit_and_wait_timeout(&m_Ring, &ready, 1, &limit, nullptr);
    if (rc >= 0) return EWait::Ready;
    if (rc == -ETIME) return EWait::TimedOut;
    if (rc == -EINTR) return EWait::Interrupted;
    *error = -rc;
    return EWait::Failed;
  }

  // Cancels the I/Os of the busy slots and waits up to two seconds for
  // their completions. True when none is left in flight.
  bool CancelInFlight(uint32_t pending) {
    constexpr uint64_t CANCEL = ~uint64_t{0};
    for (size_t slot = 0; slot < m_Busy.size(); ++slot) {
      if (!m_Busy[slot]) continue;
      io_uring_sqe* sqe = io_uring_get_sqe(&m_Ring);
      if (sqe == nullptr) break;
      io_uring_prep_cancel64(sqe, slot, 0);
      sqe->user_data = CANCEL;
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (pending > 0 && std::chrono::steady_clock::now() < until) {
      __kernel_timespec limit{};
      limit.tv_nsec = 100 * 1000000;
      io_uring_cqe* ready = nullptr;
      const int rc = io_uring_submit_and_wait_timeout(&m_Ring, &ready, 1, &limit, nullptr);
      if (rc < 0 && rc != -ETIME && rc != -EINTR) break;
      unsigned head = 0;
      unsigned seen = 0;
      io_uring_cqe* cqe = nullptr;
      io_uring_for_each_cqe(&m_Ring, head, cqe) {
        ++seen;
        if (cqe->user_data != CANCEL) --pending;
      }
      io_uring_cq_advance(&m_Ring, seen);
    }
    return pending == 0;
  }

 private:
  io_uring& m_Ring;
  int m_Fd;
  bool m_FixedFile;
  bool m_FixedBuffers;
  const std::vector<iovec>& m_Buffers;
  uint32_t m_BlockSize;
  std::vector<bool> m_Busy;
};

// The ring of one thread. Completions are taken only when the thread asks
// (it is the ring's only user), not pushed to it between its own calls,
// which keeps the refills flowing; kernels before 6.1 do not know that mode
// and get a plain ring.
int SetUpRing(uint32_t depth, io_uring* ring) {
  const int rc = io_uring_queue_init(
      depth, ring,
      IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN | IORING_SETUP_COOP_TASKRUN);
  if (rc != -EINVAL) return rc;
  return io_uring_queue_init(depth, ring, 0);
}

// One thread's run.
void RunThread(CRunShared& shared, const CThreadPlan& plan, CThreadTally* tally) {
  const CLoadOptions& o = *shared.Options;
  const uint32_t depth = o.QueueDepth;
  io_uring ring{};
  const int rc = SetUpRing(depth, &ring);
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
  CUringQueue queue(ring, shared.Fd, fixedFile, fixedBuffers, buffers, o.BlockSize, depth);
  COffsetSource source(plan, o.BlockSize, o.Random, o.WritePercent);

  shared.Ready->arrive_and_wait();
  const auto start = shared.Start;
  CIoLoopSetup setup;
  setup.Depth = depth;
  setup.BlockSize = o.BlockSize;
  setup.Window = CRunWindow(o.WarmupSeconds, o.Seconds);
  setup.StallSeconds = o.StallSeconds;
  setup.Now = [start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  setup.Failed = &shared.Failed;
  uint32_t pending = 0;
  switch (RunIoLoop(queue, source, setup, tally, &pending)) {
    case ELoopEnd::Finished:
      break;
    case ELoopEnd::Stalled:
      // What is in flight is cancelled and waited for a while; what is
      // still in flight then may yet write into its buffer, which is left
      // to the process's end rather than reused.
      if (!queue.CancelInFlight(pending)) memory.Abandon();
      break;
    case ELoopEnd::Broken:
      memory.Abandon();
      break;
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
    return SumTallies(tallies, CRunWindow(options.WarmupSeconds, options.Seconds), result, error);
  }
};

}  // namespace

std::unique_ptr<ILoadBackend> MakeNativeLoadBackend() {
  return std::make_unique<CUringLoadBackend>();
}

}  // namespace loadgen
