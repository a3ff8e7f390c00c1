// A platform for the path fuzzers: every device request on any name is
// answered from the fuzzer's bytes (each answer takes the next slice); the
// other facilities are the tests' inert ones.
#pragma once

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "os/Platform.h"
#include "tests/support/NullPlatform.h"

namespace pathsfuzz {

class CByteStream {
 public:
  CByteStream(const uint8_t* data, size_t size) : m_Data(data), m_Size(size) {}
  uint8_t Byte() { return m_At < m_Size ? m_Data[m_At++] : 0; }
  // Copies up to `size` bytes into `out`; the rest of `out` is left alone.
  void Fill(uint8_t* out, size_t size) {
    size_t n = std::min(size, m_Size - m_At);
    if (n) std::memcpy(out, m_Data + m_At, n);
    m_At += n;
  }
  bool Empty() const { return m_At >= m_Size; }

 private:
  const uint8_t* m_Data;
  size_t m_Size;
  size_t m_At = 0;
};

// One control byte decides each answer: bit 0 fails the request (with an
// error picked from the next byte), bits 1-7 pick how many answer bytes to
// take (0 to 127 blocks of 32), which land at the start of the output.
class CFuzzDevices : public os::IDeviceIo {
 public:
  explicit CFuzzDevices(CByteStream& stream) : m_Stream(stream) {}
  std::unique_ptr<os::IDeviceHandle> Open(const std::string&, os::Access,
                                          uint32_t* error) override {
    if (m_Stream.Empty()) {
      *error = os::ERR_FILE_NOT_FOUND;
      return nullptr;
    }
    return std::make_unique<CHandle>(m_Stream);
  }
  bool DefineRawDosDevice(const std::string&, const std::string&) override { return false; }

 private:
  class CHandle : public os::IDeviceHandle {
   public:
    explicit CHandle(CByteStream& stream) : m_Stream(stream) {}
    bool Control(uint32_t, const void*, uint32_t, void* out, uint32_t outSize, uint32_t* returned,
                 uint32_t* error) override {
      uint8_t control = m_Stream.Byte();
      if (control & 1) {
        static const uint32_t kErrors[] = {os::ERR_INVALID_FUNCTION, os::ERR_NOT_SUPPORTED,
                                           os::ERR_DEV_NOT_EXIST, os::ERR_IO_DEVICE,
                                           os::ERR_GEN_FAILURE};
        *error = kErrors[m_Stream.Byte() % 5];
        return false;
      }
      size_t n = std::min<size_t>(static_cast<size_t>(control >> 1) * 32, outSize);
      if (out != nullptr) m_Stream.Fill(static_cast<uint8_t*>(out), n);
      *returned = static_cast<uint32_t>(m_Stream.Byte() & 1 ? n : outSize);
      return true;
    }
    bool Read(void* buffer, uint32_t size, uint32_t* read) override {
      std::memset(buffer, 0, size);
      *read = size;
      return true;
    }

   private:
    CByteStream& m_Stream;
  };
  CByteStream& m_Stream;
};

struct CFuzzPlatform {
  explicit CFuzzPlatform(CByteStream& stream) : Devices(stream) {}
  CFuzzDevices Devices;
  testutil::NullWmi Wmi;
  testutil::RecordingClock Clock;
  testutil::NullFiles Files;
  testutil::NullProfile Profile;
  testutil::NullSystem System;
  os::Platform Get() { return os::Platform{Devices, Wmi, Clock, Files, Profile, System}; }
};

}  // namespace pathsfuzz
