#include "loadgen/LoadPlan.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace loadgen {

bool PlanThreads(const CLoadOptions& options, uint64_t fileSize, uint64_t seed,
                 std::vector<CThreadPlan>* plans, std::string* error) {
  const uint64_t block = options.BlockSize;
  const uint64_t blocks = fileSize / block;
  const uint64_t perThread = options.Random ? blocks : blocks / options.Threads;
  if (perThread == 0) {
    *error = "the test file (" + std::to_string(fileSize) + " bytes) is too small for " +
             (options.Random ? std::string("one block") : "one block per thread") + " of " +
             std::to_string(block) + " bytes";
    return false;
  }
  plans->clear();
  CSplitMix seeds(seed);
  for (uint32_t t = 0; t < options.Threads; ++t) {
    CThreadPlan p;
    p.RegionStart = options.Random ? 0 : t * perThread * block;
    p.RegionSize = perThread * block;
    p.Seed = seeds.Next();
    plans->push_back(p);
  }
  return true;
}

COffsetSource::COffsetSource(const CThreadPlan& plan, uint32_t blockSize, bool random,
                             uint32_t writePercent)
    : m_Plan(plan),
      m_BlockSize(blockSize),
      m_Blocks(plan.RegionSize / blockSize),
      m_Random(random),
      m_WritePercent(writePercent),
      m_Rng(plan.Seed) {}

CIo COffsetSource::Next() {
  CIo io;
  uint64_t block;
  if (m_Random) {
    // The modulo bias is below 2^-40 for any file that fits on a disk.
    block = m_Rng.Next() % m_Blocks;
  } else {
    block = m_Position;
    if (++m_Position == m_Blocks) m_Position = 0;
  }
  io.Offset = m_Plan.RegionStart + block * m_BlockSize;
  if (m_WritePercent >= 100) {
    io.Write = true;
  } else if (m_WritePercent > 0) {
    io.Write = m_Rng.Next() % 100 < m_WritePercent;
  }
  return io;
}

void FillWriteData(std::span<uint8_t> buffer, bool random, uint64_t seed) {
  if (!random) {
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i);
    return;
  }
  CSplitMix rng(seed);
  size_t i = 0;
  for (; i + 8 <= buffer.size(); i += 8) {
    uint64_t v = rng.Next();
    std::memcpy(buffer.data() + i, &v, 8);
  }
  if (i < buffer.size()) {
    uint64_t v = rng.Next();
    std::memcpy(buffer.data() + i, &v, buffer.size() - i);
  }
}

bool SumTallies(const std::vector<CThreadTally>& tallies, const CRunWindow& window,
                CLoadResult* result, std::string* error) {
  *result = CLoadResult{};
  for (const CThreadTally& t : tallies) {
    if (!t.Error.empty()) {
      *error = t.Error;
      return false;
    }
    result->Bytes += t.Bytes;
    result->Ios += t.Ios;
  }
  result->Seconds = window.CountedSeconds();
  return true;
}

uint32_t CStallWatch::WaitMs(double now) const {
  const double left = (m_Limit - (now - m_Last)) * 1000.0;
  if (!(left >= 1.0)) return 1;  // also for a limit that is not a number
  if (left >= 4.0e9) return 4000000000u;
  return static_cast<uint32_t>(std::ceil(left));
}

std::string CStallWatch::Error(uint32_t pending) const {
  char text[160];
  std::snprintf(text, sizeof text,
                "no I/O completed for %.0f seconds with %u in flight: the system lost them or the "
                "disk stopped answering",
                m_Limit, pending);
  return text;
}

}  // namespace loadgen
