// A strict scripted device seam: the test lists, in order, every device the
// engine may open and every request it must send, with the bytes to answer.
// Opening a device the script does not name, a request out of order or with
// other input bytes, and a script line left unused at the end each fail the
// test. For engine tests that pin down the exact conversation with a disk.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "os/DeviceIo.h"

namespace testutil {

// One expected request and its answer.
struct Exchange {
  std::string Device;  // as opened ("\\.\PhysicalDrive0")
  uint32_t Code = 0;   // control code
  // The request's input must start with these bytes (all of them when
  // `WholeInput`); empty checks nothing.
  std::vector<uint8_t> Input;
  bool WholeInput = false;
  // Written at the start of the output buffer (cut to its size).
  std::vector<uint8_t> Answer;
  // Bytes reported as returned; the answer's size when not given.
  int64_t Returned = -1;
  // Nonzero: the request fails with this error.
  uint32_t Error = 0;
};

class CStrictDevices : public os::IDeviceIo {
 public:
  // `devices`: the names that open; any other open fails the test.
  CStrictDevices(std::set<std::string> devices, std::vector<Exchange> script)
      : m_Devices(std::move(devices)), m_Script(std::move(script)) {}
  ~CStrictDevices() override {
    for (size_t i = m_Next; i < m_Script.size(); ++i) {
      ADD_FAILURE() << "unused script line " << i << ": " << m_Script[i].Device << " code 0x"
                    << std::hex << m_Script[i].Code;
    }
  }
  CStrictDevices(const CStrictDevices&) = delete;
  CStrictDevices& operator=(const CStrictDevices&) = delete;

  std::unique_ptr<os::IDeviceHandle> Open(const std::string& name, os::Access,
                                          uint32_t* error) override {
    if (m_Devices.count(name) == 0) {
      ADD_FAILURE() << "unexpected open of " << name;
      if (error) *error = os::ERR_FILE_NOT_FOUND;
      return nullptr;
    }
    if (error) *error = 0;
    return std::make_unique<CHandle>(*this, name);
  }
  bool DefineRawDosDevice(const std::string& name, const std::string& target) override {
    ADD_FAILURE() << "unexpected DefineRawDosDevice(" << name << ", " << target << ")";
    return false;
  }

  // How many script lines were used.
  size_t Used() const { return m_Next; }

 private:
  class CHandle : public os::IDeviceHandle {
   public:
    CHandle(CStrictDevices& owner, std::string name) : m_Owner(owner), m_Name(std::move(name)) {}
    bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                 uint32_t* returned, uint32_t* error) override {
      return m_Owner.Answer(m_Name, code, static_cast<const uint8_t*>(in), inSize,
                            static_cast<uint8_t*>(out), outSize, returned, error);
    }
    bool Read(void*, uint32_t, uint32_t* read) override {
      ADD_FAILURE() << "unexpected read of " << m_Name;
      if (read) *read = 0;
      return false;
    }

   private:
    CStrictDevices& m_Owner;
    std::string m_Name;
  };

  bool Answer(const std::string& device, uint32_t code, const uint8_t* in, uint32_t inSize,
              uint8_t* out, uint32_t outSize, uint32_t* returned, uint32_t* error) {
    auto refuse = [&](uint32_t e) {
      if (returned) *returned = 0;
      if (error) *error = e;
      return false;
    };
    if (m_Next >= m_Script.size()) {
      ADD_FAILURE() << "unexpected request 0x" << std::hex << code << " to " << device
                    << " after the script ended";
      return refuse(os::ERR_INVALID_FUNCTION);
    }
    // The line is used up either way: one departure is one failure, not a
    // second one for the line left over.
    const Exchange& x = m_Script[m_Next++];
    if (x.Device != device || x.Code != code) {
      ADD_FAILURE() << "script line " << (m_Next - 1) << " expects 0x" << std::hex << x.Code
                    << " to " << x.Device << ", got 0x" << code << " to " << device;
      return refuse(os::ERR_INVALID_FUNCTION);
    }
    const size_t have = in ? inSize : 0;
    const bool sizeOk = x.WholeInput ? have == x.Input.size() : have >= x.Input.size();
    if (!sizeOk || (!x.Input.empty() && std::memcmp(in, x.Input.data(), x.Input.size()) != 0)) {
      ADD_FAILURE() << "script line " << (m_Next - 1) << ": request 0x" << std::hex << code
                    << " carries other input bytes (" << std::dec << have << " bytes)";
    }
    if (x.Error != 0) return refuse(x.Error);
    const size_t n = std::min<size_t>(x.Answer.size(), out ? outSize : 0);
    if (n > 0) std::memcpy(out, x.Answer.data(), n);
    if (returned) *returned = static_cast<uint32_t>(x.Returned >= 0 ? x.Returned : int64_t(n));
    if (error) *error = 0;
    return true;
  }

  std::set<std::string> m_Devices;
  std::vector<Exchange> m_Script;
  size_t m_Next = 0;
};

}  // namespace testutil
